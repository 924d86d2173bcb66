// The built tarvelle-export when the disk fills: the file size limit, and disks too small.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/ShellText.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

struct Result {
    int status = -1;  // exit status; -1 when killed by a signal
    std::string out;
    std::string err;
};

class BinaryTest : public ::testing::Test {
  protected:
    BinaryTest() {
        std::string pattern = (fs::temp_directory_path() / "tarvelle-bin-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir = pattern;
    }
    ~BinaryTest() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    // Runs the tool through the shell; `prefix` may set limits first (e.g. "ulimit -f 64;").
    Result Run(const std::string& args, const std::string& prefix = "",
               const std::string& program = "tarvelle-export") {
        const fs::path out = dir / "stdout.txt";
        const fs::path err = dir / "stderr.txt";
        const std::string command = prefix + " exec " +
                                    Quote(std::string(TARVELLE_BINARY_DIR) + "/" + program) + " " +
                                    args + " >" + Quote(out.string()) + " 2>" + Quote(err.string());
        const int raw = std::system(("/bin/sh -c " + Quote(command)).c_str());
        Result result;
        if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
        result.out = ReadAll(out);
        result.err = ReadAll(err);
        return result;
    }

    std::string WriteBook(const std::string& bytes) {
        const fs::path file = dir / "NNdbase.txt";
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

    // The real writer may not be part of this build yet; the placeholder says so.
    static bool WriterMissing(const Result& result) {
        return (result.out + result.err).find("PST writer is not available") != std::string::npos;
    }

    std::string LastErrLine(const Result& result) const {
        std::string text = result.err;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
    }

    // tarvelle-verify's exit status (0 = no error); its report goes to check.txt.
    int Check(const std::string& pst) const {
        const std::string command = Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-verify") +
                                    " " + Quote(pst) + " >" + Quote((dir / "check.txt").string()) +
                                    " 2>&1";
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    // Contacts and lists in the file last checked, from the verifier's summary; -1 if none.
    int ItemsInFile() const {
        static const std::regex summary(R"((\d+) contacts, (\d+) lists)");
        const std::string report = ReadAll(dir / "check.txt");
        std::smatch m;
        if (!std::regex_search(report, m, summary)) return -1;
        return std::stoi(m[1]) + std::stoi(m[2]);
    }

    fs::path dir;
};

// "The file keeps the first N items:" (or "the first item", "none of the items") as N.
int ItemsKeptInMessage(const std::string& err) {
    if (err.find("The file keeps none of the items:") != std::string::npos) return 0;
    if (err.find("The file keeps the first item:") != std::string::npos) return 1;
    const std::size_t at = err.find("The file keeps the first ");
    return at == std::string::npos ? -1 : std::stoi(err.substr(at + 25));
}

// A book of `contacts` contacts, then `lists` lists of `members` members each naming contacts
// (each such member costs the file far more than its few bytes of text).
std::string BookText(int contacts, int lists = 0, int members = 0) {
    std::string bytes;
    for (int i = 0; i < contacts; ++i)
        bytes += "alias c" + std::to_string(i) + " person" + std::to_string(i) + "@example.com\r\n";
    for (int g = 0; g < lists; ++g) {
        bytes += "alias list" + std::to_string(g) + " ";
        for (int m = 0; m < members; ++m)
            bytes += (m ? ", c" : "c") + std::to_string((g * 7 + m * 13) % contacts);
        bytes += "\r\n";
    }
    return bytes;
}

// The output folder on a filesystem of its own, `bytes` large: a tmpfs (the tests run as root).
class SmallDisk {
  public:
    SmallDisk(const fs::path& at, std::uint64_t bytes) : at_(at) {
        fs::create_directories(at);
        const std::string command = "mount -t tmpfs -o size=" + std::to_string(bytes) +
                                    ",mode=0755 tarvelle-test " + Quote(at.string()) + " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        char buffer[256];
        while (pipe && std::fgets(buffer, sizeof buffer, pipe) != nullptr) why_ += buffer;
        mounted_ = pipe && ::pclose(pipe) == 0;
    }
    ~SmallDisk() {
        if (mounted_) std::system(("umount " + Quote(at_.string())).c_str());
    }
    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }

  private:
    fs::path at_;
    bool mounted_ = false;
    std::string why_;
};

TEST_F(BinaryTest, FileSizeLimitBecomesAWriteErrorThatCountsTheItemsKept) {
    const std::string book = WriteBook(BookText(8000));
    // 4 MiB (512-byte blocks in /bin/sh): room for the new store, not for 8,000 contacts.
    const Result r = Run("--file " + Quote(book) + " --out-dir " + Quote((dir / "out").string()),
                         "ulimit -f 8192;");
    ASSERT_EQ(r.status, 1) << "killed by a signal or wrong status; stderr: " << r.err;
    EXPECT_THAT(r.out, HasSubstr("Could not write the Outlook file: "));
    EXPECT_THAT(r.err, HasSubstr("Export Failed: The Outlook file could not be written:\n"));
    // What was committed before the failure is a valid file, holding what the message says.
    const std::string pst = LastErrLine(r);
    ASSERT_TRUE(fs::is_regular_file(pst)) << pst;
    EXPECT_EQ(Check(pst), 0) << ReadAll(dir / "check.txt");
    // Commits come a second apart: a fast run may fail before its first one.
    EXPECT_GE(ItemsKeptInMessage(r.err), 0) << r.err;
    EXPECT_EQ(ItemsInFile(), ItemsKeptInMessage(r.err)) << r.err;
}

TEST_F(BinaryTest, SmallDisks) {
    // The size of an 8,000-contact book's file, written where there is room.
    const std::string small = WriteBook(BookText(8000));
    Result r = Run("--file " + Quote(small) + " --out-dir " + Quote((dir / "roomy").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::uintmax_t size = fs::file_size(LastErrLine(r));
    const fs::path book = dir / "book.txt";
    fs::rename(small, book);

    struct Row {
        const char* what;
        std::string bookText;
        std::uint64_t disk;
        bool fits;
    };
    const Row rows[] = {
        {"too small from the start", BookText(20000), 4u << 20, false},
        {"fills up while the items are written", BookText(2000, 300, 500), 12u << 20, false},
        {"room for 1.2 times the file", BookText(8000), size * 12 / 10, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::ofstream(book, std::ios::binary | std::ios::trunc) << row.bookText;
        const fs::path out = dir / "disk";
        SmallDisk disk(out, row.disk);
        if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a small filesystem here: " << disk.Why();
        r = Run("--file " + Quote(book.string()) + " --out-dir " + Quote(out.string()));
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(out)) files.push_back(e.path());
        if (row.fits) {
            EXPECT_EQ(r.status, 0) << r.err;
            ASSERT_EQ(files.size(), 1u) << r.err;
            EXPECT_EQ(Check(files[0].string()), 0) << ReadAll(dir / "check.txt");
            EXPECT_THAT(ReadAll(dir / "check.txt"), HasSubstr(" 0 errors, 0 warnings"));
        } else if (row.bookText.find("list") == std::string::npos) {
            // Said before anything is written, and nothing is left.
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_THAT(r.err, HasSubstr("Export Failed: Not enough free space in " + out.string() +
                                         ": about "));
            EXPECT_THAT(r.err, HasSubstr(" MB needed, 4 MB free"));
            EXPECT_THAT(r.out, Not(HasSubstr("Creating Contact")));
            EXPECT_TRUE(files.empty());
        } else {
            EXPECT_EQ(r.status, 1);
            ASSERT_EQ(files.size(), 1u) << r.err;
            EXPECT_EQ(LastErrLine(r), files[0].string());
            EXPECT_THAT(r.err, HasSubstr("No space left on device"));
            EXPECT_EQ(Check(files[0].string()), 0) << ReadAll(dir / "check.txt");
            EXPECT_GE(ItemsKeptInMessage(r.err), 0) << r.err;
            EXPECT_EQ(ItemsInFile(), ItemsKeptInMessage(r.err)) << r.err;
        }
    }
}

}  // namespace
