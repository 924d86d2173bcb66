// Default mode of tarvelle-export: the book found through Eudora's registry entry in a temporary
// WINEPREFIX (Wine's user.reg and drive C:), never the real home directory.
// Wine's registry and dosdevices only exist off Windows.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "cli/DefaultSource.h"
#include "cli/ExportCommand.h"
#include "support/RecordingStoreSession.h"
#include "tests/support/WinePrefix.h"

namespace tarvelle::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::HasSubstr;

// The value Wine stores when Eudora runs from "C:\Program Files" with its data under
// "Application Data" (Wine's short names for the two long names).
constexpr const char* kCommandLineValue =
    R"("Current"="C:\\PROG~FBU\\Qualcomm\\Eudora\\Eudora.exe )"
    R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora )"
    R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora\\Eudora.ini")";

class DefaultSourceTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(dataFolder_); }

    void WriteUserReg(const std::string& valueLines) const {
        wine_.WriteUserReg(
            "WINE REGISTRY Version 2\n"
            ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
            "#arch=win64\n\n"
            "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n"
            "#time=1dd85c91934116e\n" +
            valueLines + "\n");
    }
    // Eudora's book under the name real installations often use.
    void WriteBook() const {
        fs::copy_file(fs::path(TARVELLE_SOURCE_DIR) / "tests/data/books/typical/NNdbase.txt",
                      dataFolder_ / "NNDBASE.TXT");
    }

    fakes::ScopedWinePrefix wine_;
    const fs::path prefix_ = wine_.Root();
    const fs::path dataFolder_ = wine_.Drive() / "users/jdoe/Application Data/Qualcomm/Eudora";
};

TEST_F(DefaultSourceTest, FindsTheFolderFromWinesRegistry) {
    WriteUserReg(kCommandLineValue);
    std::ostringstream err;
    const auto source = FindDefaultSource(err);
    ASSERT_TRUE(source.has_value());
    EXPECT_TRUE(source->useDefault);
    EXPECT_EQ(source->path, R"(C:\users\jdoe\APPL~JHT\Qualcomm\Eudora)");
    EXPECT_EQ(err.str(), "");
}

TEST_F(DefaultSourceTest, FailedLookupsPrintTheirMessage) {
    std::ostringstream err;
    EXPECT_FALSE(FindDefaultSource(err).has_value());  // no user.reg at all
    EXPECT_EQ(err.str(),
              "Address Book Help: Unable to Locate Eudora Installation.\n"
              "Please visit webpage to know, how to locate eudora address book file.\n");

    WriteUserReg(R"("Current"="C:\\PROG~FBU\\Qualcomm\\Eudora\\Eudora.exe")");
    err.str("");
    EXPECT_FALSE(FindDefaultSource(err).has_value());
    EXPECT_EQ(err.str(),
              "Address Book Help: Unable to Locate Eudora Address Book.\n"
              "Please visit webpage to know, how to locate eudora address book file(s) "
              "manually.\n");
}

class DefaultModeCommandTest : public DefaultSourceTest {
  protected:
    int Run() {
        out_.str("");
        err_.str("");
        CommandEnvironment env{out_, err_, factory_, FindDefaultSource};
        return RunExportCommand({"--out-dir", (prefix_ / "out").string()}, env);
    }

    std::ostringstream out_;
    std::ostringstream err_;
    fakes::StoreRecord record_;
    fakes::RecordingSessionFactory factory_{record_};
};

TEST_F(DefaultModeCommandTest, ExportsTheBookInEudorasDataFolder) {
    WriteUserReg(kCommandLineValue);
    WriteBook();
    EXPECT_EQ(Run(), kExitSuccess) << err_.str();
    EXPECT_THAT(out_.str(), HasSubstr("Creating Contact : 1 - "));
    EXPECT_THAT(out_.str(), EndsWith("Finished...\n"));
    EXPECT_FALSE(record_.items.empty());
}

TEST_F(DefaultModeCommandTest, FailedLookupExitsOneBeforeAnyStore) {
    EXPECT_EQ(Run(), kExitFailure);
    EXPECT_THAT(err_.str(), HasSubstr("Address Book Help: Unable to Locate Eudora Installation."));
    EXPECT_EQ(out_.str(), "");
    EXPECT_TRUE(record_.calls.empty());
}

TEST_F(DefaultModeCommandTest, MissingBookIsReportedNotSilentlyEmpty) {
    WriteUserReg(kCommandLineValue);  // the folder exists, the book does not
    EXPECT_EQ(Run(), kExitFailure);
    EXPECT_THAT(out_.str(), ::testing::Not(HasSubstr("Creating Contact")));
    EXPECT_TRUE(record_.items.empty());
}

}  // namespace
}  // namespace tarvelle::cli

#endif  // _WIN32
