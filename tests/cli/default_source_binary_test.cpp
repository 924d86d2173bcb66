// The built tarvelle-export in default mode: Eudora's registry entry in a temporary WINEPREFIX
// points at a data folder under drive C: holding NNDBASE.TXT; the book ends up in a valid .pst.
// Wine's registry and dosdevices only exist off Windows.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/ShellText.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::EndsWith;
using ::testing::HasSubstr;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class DefaultModeBinaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarvelle-defbin-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        prefix_ = dir_ / "wine prefix";
        fs::create_directories(prefix_ / "dosdevices");
        fs::create_directory_symlink("../drive_c", prefix_ / "dosdevices" / "c:");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs the tool with WINEPREFIX (and HOME, so ~/.wine cannot be read) set to the test's own.
    Result Run(const std::string& args) const {
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        const std::string command =
            "WINEPREFIX=" + Quote(prefix_.string()) + " HOME=" + Quote(dir_.string()) + " exec " +
            Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-export") + " " + args + " >" +
            Quote(out.string()) + " 2>" + Quote(err.string());
        const int raw = std::system(("/bin/sh -c " + Quote(command)).c_str());
        Result result;
        if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
        result.out = ReadAll(out);
        result.err = ReadAll(err);
        return result;
    }

    fs::path dir_;
    fs::path prefix_;
};

TEST_F(DefaultModeBinaryTest, ExportsTheRegisteredBookIntoAValidPst) {
    const fs::path data = prefix_ / "drive_c/users/jdoe/Application Data/Qualcomm/Eudora";
    fs::create_directories(data);
    fs::copy_file(fs::path(TARVELLE_SHARED_DIR) / "eudora-samples/01-typical/NNdbase.txt",
                  data / "NNDBASE.TXT");
    std::ofstream(prefix_ / "user.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n"
           ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
           "#arch=win64\n\n"
           "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n"
           "#time=1dd85c91934116e\n"
           R"("Current"="C:\\PROG~FBU\\Qualcomm\\Eudora\\Eudora.exe )"
           R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora )"
           R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora\\Eudora.ini")"
           "\n";

    const fs::path outDir = dir_ / "out";
    const Result r = Run("--out-dir " + Quote(outDir.string()));
    if (r.err.find("PST writer is not available") != std::string::npos) {
        GTEST_SKIP() << "the PST writer is not in this build yet";
    }
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Creating Contact : 1 - "));
    EXPECT_THAT(r.out, EndsWith("Finished...\n"));

    fs::path pst;
    for (const auto& entry : fs::directory_iterator(outDir)) {
        if (entry.path().extension() == ".pst") pst = entry.path();
    }
    ASSERT_FALSE(pst.empty()) << r.err;
    const fs::path report = dir_ / "check.txt";
    const std::string check = Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-verify") + " " +
                              Quote(pst.string()) + " >" + Quote(report.string()) + " 2>&1";
    const int raw = std::system(check.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadAll(report);
}

TEST_F(DefaultModeBinaryTest, MissingInstallationExitsOneWithTheMessage) {
    const fs::path outDir = dir_ / "out";
    const Result r = Run("--out-dir " + Quote(outDir.string()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Address Book Help: Unable to Locate Eudora Installation.\n"
              "Please visit webpage to know, how to locate eudora address book file.\n");
    EXPECT_EQ(r.out, "");
}

}  // namespace

#endif  // _WIN32
