// Books as people and other Eudora versions wrote them (tests/data/books), exported by the built
// tarvelle-export and read back with libpff (tests/windows/pst_contents.py) and readpst.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ShellText.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::HasSubstr;

const fs::path kBooks = fs::path(TARVELLE_SOURCE_DIR) / "tests/data/books";

struct Shelled {
    int status = -1;
    std::string out;
};

struct Export {
    std::vector<std::string> log;  // the lines between "Reinitiating ..." and "Finished..."
    std::string contents;          // pst_contents.py
    std::string readpst;           // readpst's vCards
};

class RealBooksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarvelle-real-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        // Default mode finds tests/data/books/data-folder through a Wine registry.
        fs::create_directories(dir_ / "prefix/dosdevices");
        fs::create_directory_symlink(kBooks, dir_ / "prefix/dosdevices/c:");
        std::ofstream(dir_ / "prefix/user.reg", std::ios::binary)
            << "WINE REGISTRY Version 2\n\n"
               "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n"
               R"("Current"="C:\\Eudora\\Eudora.exe C:\\data-folder C:\\data-folder\\Eudora.ini")"
               "\n";
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir_, ec);
    }

    Shelled Shell(const std::string& command) const {
        const fs::path out = dir_ / "shell.txt";
        const int raw = std::system(
            ("/bin/sh -c " + Quote(command + " >" + Quote(out.string()) + " 2>&1")).c_str());
        Shelled r;
        if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
        r.out = ReadAll(out);
        return r;
    }

    // `book` under tests/data/books, or empty for the default mode.
    Export Run(const std::string& book) {
        const fs::path outDir = dir_ / ("out" + std::to_string(++runs_));
        const std::string source = book.empty() ? "" : "--file " + Quote((kBooks / book).string());
        const Shelled r = Shell("WINEPREFIX=" + Quote((dir_ / "prefix").string()) +
                                " HOME=" + Quote(dir_.string()) + " " +
                                Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-export") + " " +
                                source + " --out-dir " + Quote(outDir.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        Export e;
        bool inRun = false;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            if (line == "Finished...") break;
            if (inRun) e.log.push_back(line);
            if (line == "Reinitiating Outlook Connection...") inRun = true;
        }
        fs::path pst;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(outDir, ec)) pst = entry.path();
        if (pst.empty()) return e;
        e.contents =
            Shell("/usr/bin/python3 " +
                  Quote(std::string(TARVELLE_SOURCE_DIR) + "/tests/windows/pst_contents.py") + " " +
                  Quote(pst.string()))
                .out;
        const fs::path cards = outDir / "readpst";
        fs::create_directories(cards);
        EXPECT_EQ(Shell("readpst -r -cv -8 -o " + Quote(cards.string()) + " " + Quote(pst.string()))
                      .status,
                  0);
        for (const auto& f : fs::recursive_directory_iterator(cards, ec)) {
            if (f.is_regular_file()) e.readpst += ReadAll(f.path());
        }
        // The strict checker, where the reference material is at hand.
        const fs::path checker = fs::path(TARVELLE_SHARED_DIR) / "tools/pstwalk.py";
        if (fs::exists(checker)) {
            const Shelled check = Shell(std::string(TARVELLE_PYTHON) + " " +
                                        Quote(checker.string()) + " check " + Quote(pst.string()));
            EXPECT_EQ(check.status, 0) << check.out;
        }
        return e;
    }

    fs::path dir_;
    int runs_ = 0;
};

struct Row {
    const char* what;
    std::string book;                 // under tests/data/books
    std::vector<std::string> log;     // the whole run between its first and last line
    std::vector<std::string> pst;     // in pst_contents.py's listing
    std::vector<std::string> vcards;  // in readpst's vCards
    std::optional<std::string> twin;  // a book (empty: the default mode) exported the same way
};

TEST_F(RealBooksTest, EveryBookExportsWhatEudoraReadsInIt) {
    const std::vector<Row> rows = {
        {"edited by hand: comment, indented line, capitals, tabs",
         "hand-edited/NNdbase.txt",
         {"Skipped line 1: not a nickname line", "Creating Contact : 1 - ann",
          "Skipped line 3: not a nickname line", "Creating Contact : 2 - BOB",
          "Creating Contact : 3 - carol", "+ Creating Group : team",
          "     - Saved 3 Members in Group...", "Skipped line 8: not a nickname line"},
         {"0x3A09:001F='555-0101'"},
         {"EMAIL:carol@example.org"},
         {}},
        {"Eudora for Mac: Mac Roman, CR line ends, no extension",
         "mac/Eudora Nicknames",
         {"Creating Contact : 1 - rene", "+ Creating Group : Team Qu\u00e9bec",
          "     - Saved 2 Members in Group..."},
         {"0x8080:001F='Ren\u00e9 C\u00f4t\u00e9'", "0x8053:001F='Team Qu\u00e9bec'",
          "0x3A16:001F='Universit\u00e9 Laval'"},
         {"ORG:Universit\u00e9 Laval"},
         {}},
        {"a data folder's main book picked by hand",
         "data-folder/NNdbase.txt",
         {"Creating Contact : 1 - me", "+ Creating Group : everyone",
          "     ! Unknown nickname kept as an address: nobody",
          "     - Saved 4 Members in Group...", "Reading address book : Club",
          "Creating Contact : 2 - club-chair", "Reading address book : Work",
          "+ Creating Group : work-friends", "     - Saved 2 Members in Group..."},
         {"folder /Top of Outlook data file/Club (1 items)"},
         {"EMAIL:chair@example.org"},
         ""},
        {"the old <nick> layout",
         "old-layout/NNdbase.txt",
         {"Creating Contact : 1 - ana", "+ Creating Group : choir",
          "     - Saved 3 Members in Group..."},
         {"0x1000:001F='Ana Ruiz, Lisbon office'"},
         {"EMAIL:ana.ruiz@example.org"},
         "old-layout-twin/NNdbase.txt"},
        {"addresses typed with a name before them (UTF-8 without a mark)",
         "typed-names/NNdbase.txt",
         {"Creating Contact : 1 - quoted", "Creating Contact : 2 - plain"},
         {"0x8080:001F=\"Ren\u00e9e O'Brien\"", "0x8083:001F='renee@example.ie'",
          "0x8080:001F='John Plain'", "0x8083:001F='john.plain@example.com'"},
         {"EMAIL:renee@example.ie", "EMAIL:john.plain@example.com"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Export e = Run(row.book);
        EXPECT_EQ(e.log, row.log);
        for (const std::string& text : row.pst) EXPECT_THAT(e.contents, HasSubstr(text));
        for (const std::string& text : row.vcards) EXPECT_THAT(e.readpst, HasSubstr(text));
        if (!row.twin) continue;
        const Export twin = Run(*row.twin);
        EXPECT_EQ(twin.log, e.log);
        EXPECT_EQ(twin.contents, e.contents);
    }
}

}  // namespace

#endif  // _WIN32
