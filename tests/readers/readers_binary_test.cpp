// Exports read by independent readers: npm's pst-extractor (installed by the Makefile into the
// build folder) and readpst. Each must open the file and count exactly the contacts and lists the
// log reports, for the example book, the sample books and a generated 20,000-nickname book whose
// lists name nicknames defined after them (so they are saved twice); and show the note's names.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ShellText.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::HasSubstr;

// A book of `count` nicknames. Every tenth is a group of 2 to 8 members: mostly other nicknames,
// about half of them defined further down, the rest plain addresses. Every third contact has a
// note naming the person: `first` and `last`, or `name` written "Given Surname" or
// "Surname, Given".
std::string GenerateBook(int count) {
    std::uint32_t state = 20240501;
    auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    std::string book;
    for (int i = 0; i < count; ++i) {
        const std::string nick = "nick" + std::to_string(i);
        if (i % 10 == 9) {
            book += "alias " + nick + " ";
            const std::uint32_t members = 2 + next(7);
            for (std::uint32_t m = 0; m < members; ++m) {
                if (m > 0) book += ", ";
                book += next(4) == 0
                            ? "member" + std::to_string(next(100000)) + "@example.net"
                            : "nick" + std::to_string(next(static_cast<std::uint32_t>(count)));
            }
            book += "\r\n";
            continue;
        }
        book += "alias " + nick + " " + nick + "@example.com\r\n";
        const std::string given = "Given" + std::to_string(i);
        const std::string surname = "Surname" + std::to_string(i);
        switch (i % 9) {
            case 0:
                book += "note " + nick + " <first:" + given + "><last:" + surname + ">\r\n";
                break;
            case 3:
                book += "note " + nick + " <name:" + given + " " + surname + ">\r\n";
                break;
            case 6:
                book += "note " + nick + " <name:" + surname + ", " + given + ">Met in town.\r\n";
                break;
            default:
                break;
        }
    }
    return book;
}

struct Shelled {
    int status = -1;
    std::string out;
};

// What pst-extractor shows of a contact: given, middle, surname, display name, file-as, Email1
// display name.
struct Names {
    std::string nickname;
    std::vector<std::string> shown;
};

struct Book {
    std::string name;
    std::string path;  // empty: generated
    std::optional<Names> names;
};

class Readers : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarvelle-readers-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
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

    // Exports `book` into a folder of its own; returns the .pst and the log.
    fs::path Export(const std::string& book, std::string& log) {
        const fs::path out = dir_ / ("out" + std::to_string(++runs_));
        const Shelled r = Shell(Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-export") +
                                " --file " + Quote(book) + " --out-dir " + Quote(out.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        log = r.out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(out, ec)) {
            if (e.path().extension() == ".pst") return e.path();
        }
        return {};
    }

    fs::path dir_;
    int runs_ = 0;
};

std::size_t CountLines(const std::string& text, const std::string& start) {
    std::size_t n = 0;
    for (auto at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
        if (at == 0 || text[at - 1] == '\n') ++n;
    }
    return n;
}

// The sum of a JSON field over the folders pst_extractor_read.js reports.
std::size_t Sum(const std::string& json, const std::string& key) {
    std::size_t total = 0;
    const std::string needle = "\"" + key + "\":";
    for (auto at = json.find(needle); at != std::string::npos; at = json.find(needle, at + 1)) {
        total += std::stoul(json.substr(at + needle.size()));
    }
    return total;
}

TEST_F(Readers, EveryReaderCountsWhatTheLogReports) {
    const fs::path module = fs::path(TARVELLE_BINARY_DIR) / "npm/node_modules/pst-extractor";
    const bool extractor =
        fs::exists(module / "package.json") && Shell("node --version").status == 0;

    std::vector<Book> books = {
        {"example", std::string(TARVELLE_SOURCE_DIR) + "/examples/NNdbase.txt",
         Names{"anna", {"Anna", "", "Becker", "Anna Becker", "Becker, Anna", "Anna Becker"}}},
        {"generated", "",
         Names{
             "nick6",
             {"Given6", "", "Surname6", "Given6 Surname6", "Surname6, Given6", "Given6 Surname6"}}},
    };
    const fs::path samples = fs::path(TARVELLE_SHARED_DIR) / "eudora-samples";
    if (fs::exists(samples)) {
        for (const char* sample :
             {"01-typical", "03-cp1252-accents", "07-eudora-importer-style", "08-utf8-bom-lf"}) {
            books.push_back({sample, (samples / sample / "NNdbase.txt").string(), std::nullopt});
        }
    }
    for (Book& book : books) {
        SCOPED_TRACE(book.name);
        if (book.path.empty()) {
            book.path = (dir_ / "generated.txt").string();
            std::ofstream(book.path, std::ios::binary) << GenerateBook(20000);
        }
        std::string log;
        const fs::path pst = Export(book.path, log);
        ASSERT_FALSE(pst.empty()) << log;
        const std::size_t contacts = CountLines(log, "Creating Contact : ");
        const std::size_t lists = CountLines(log, "+ Creating Group : ");
        EXPECT_GT(contacts, 0u);

        // readpst: one vCard per contact (it leaves lists out).
        const fs::path cards = dir_ / ("readpst-" + book.name);
        fs::create_directories(cards);
        EXPECT_EQ(
            Shell("readpst -q -r -cv -8 -o " + Quote(cards.string()) + " " + Quote(pst.string()))
                .status,
            0);
        std::string vcards;
        for (const auto& e : fs::recursive_directory_iterator(cards)) {
            if (e.is_regular_file()) vcards += ReadAll(e.path());
        }
        EXPECT_EQ(CountLines(vcards, "BEGIN:VCARD"), contacts);
        if (book.names) {
            const auto& n = book.names->shown;
            EXPECT_THAT(vcards, HasSubstr("\nN:" + n[2] + ";" + n[0] + ";"));
        }

        if (!extractor) continue;
        const Shelled read =
            Shell("node " +
                  Quote(std::string(TARVELLE_SOURCE_DIR) + "/tests/readers/pst_extractor_read.js") +
                  " " + Quote(module.string()) + " " + Quote(pst.string()));
        ASSERT_EQ(read.status, 0) << read.out;
        EXPECT_EQ(Sum(read.out, "contacts"), contacts) << read.out.substr(0, 2000);
        EXPECT_EQ(Sum(read.out, "lists"), lists) << read.out.substr(0, 2000);
        EXPECT_EQ(Sum(read.out, "other"), 0u);
        EXPECT_THAT(read.out, HasSubstr("\"unreadable\":0}"));
        if (book.names) {
            std::string shown = "\"" + book.names->nickname + "\":[";
            for (std::size_t i = 0; i < book.names->shown.size(); ++i) {
                shown += (i ? ",\"" : "\"") + book.names->shown[i] + "\"";
            }
            EXPECT_THAT(read.out, HasSubstr(shown + "]"));
        }
    }
    if (!extractor) {
        GTEST_SKIP() << "pst-extractor is not installed in " << module
                     << " (make test installs it from npm where node and npm are there); "
                        "only readpst was checked";
    }
}

}  // namespace

#endif  // _WIN32
