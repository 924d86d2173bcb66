// Exports read by independent readers: npm's pst-extractor (the Makefile installs it into the
// build folder) and readpst must open the file, count exactly the contacts and lists the log
// reports and show the note's names; for the example book, the sample books and a generated
// 20,000-nickname book whose lists name nicknames defined after them (so they are saved twice).
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/ShellText.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::HasSubstr;

// Every tenth nickname is a group of 2 to 8 members, three in four of them nicknames from
// anywhere in the book; every third contact's note names the person: `first` and `last`, or
// `name` as "Given Surname" or "Surname, Given".
std::string GenerateBook(std::uint32_t count) {
    std::uint32_t state = 1;
    auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    std::string book;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        if (i % 10 == 9) {
            book += "alias nick" + n;
            for (std::uint32_t m = 0, members = 2 + next(7); m < members; ++m) {
                book += m == 0 ? " " : ", ";
                book += next(4) != 0 ? "nick" + std::to_string(next(count)) : "m" + n + "@x.net";
            }
            book += "\r\n";
            continue;
        }
        book += "alias nick" + n + " nick" + n + "@example.com\r\n";
        const std::string note = "note nick" + n + " <";
        if (i % 9 == 0) book += note + "first:Given" + n + "><last:Surname" + n + ">\r\n";
        if (i % 9 == 3) book += note + "name:Given" + n + " Surname" + n + ">\r\n";
        if (i % 9 == 6) book += note + "name:Surname" + n + ", Given" + n + ">\r\n";
    }
    return book;
}

// Runs a shell command; its exit status, and its output in `out`.
int Shell(const std::string& command, const fs::path& outFile, std::string& out) {
    const int raw = std::system(
        ("/bin/sh -c " + Quote(command + " >" + Quote(outFile.string()) + " 2>&1")).c_str());
    out = ReadAll(outFile);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(Readers, CountWhatTheLogReportsAndShowTheNotesNames) {
    const tarvelle::fakes::TempDir dir("tarvelle-readers-");
    const fs::path module = fs::path(TARVELLE_BINARY_DIR) / "npm/node_modules/pst-extractor";
    std::string out;
    const bool extractor =
        fs::exists(module / "package.json") && Shell("node --version", dir.path() / "o", out) == 0;

    struct Book {
        std::string name, path;
        std::string vcardName, shownNames;  // what readpst and pst-extractor show of one contact
    };
    std::vector<Book> books = {
        {"example", std::string(TARVELLE_SOURCE_DIR) + "/examples/NNdbase.txt", "\nN:Becker;Anna;",
         R"("anna":["Anna","","Becker","Anna Becker","Becker, Anna","Anna Becker"])"},
        {"generated", dir.Write("generated.txt", GenerateBook(20000)), "\nN:Surname6;Given6;",
         R"("nick6":["Given6","","Surname6","Given6 Surname6","Surname6, Given6","Given6 Surname6"])"},
    };
    const fs::path samples = fs::path(TARVELLE_SHARED_DIR) / "eudora-samples";
    for (const char* sample :
         {"01-typical", "03-cp1252-accents", "07-eudora-importer-style", "08-utf8-bom-lf"}) {
        if (fs::exists(samples))
            books.push_back({sample, (samples / sample / "NNdbase.txt").string()});
    }
    for (const Book& book : books) {
        SCOPED_TRACE(book.name);
        const fs::path folder = dir.path() / book.name;
        std::string log;
        ASSERT_EQ(Shell(Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-export") + " --file " +
                            Quote(book.path) + " --out-dir " + Quote(folder.string()),
                        dir.path() / "log", log),
                  0)
            << log;
        std::string pst;
        for (const auto& e : fs::directory_iterator(folder)) pst = e.path().string();
        const std::size_t contacts = Count(log, "\nCreating Contact : ");
        const std::size_t lists = Count(log, "\n+ Creating Group : ");

        // readpst writes one vCard per contact and leaves lists out.
        const fs::path cards = dir.path() / (book.name + "-readpst");
        fs::create_directory(cards);
        ASSERT_EQ(Shell("readpst -q -r -cv -8 -o " + Quote(cards.string()) + " " + Quote(pst),
                        dir.path() / "o", out),
                  0)
            << out;
        std::string vcards;
        for (const auto& e : fs::recursive_directory_iterator(cards)) {
            if (e.is_regular_file()) vcards += ReadAll(e.path());
        }
        EXPECT_EQ(Count(vcards, "BEGIN:VCARD"), contacts);
        EXPECT_THAT(vcards, HasSubstr(book.vcardName));

        if (!extractor) continue;
        EXPECT_EQ(Shell("node " +
                            Quote(std::string(TARVELLE_SOURCE_DIR) +
                                  "/tests/readers/pst_extractor_read.js") +
                            " " + Quote(module.string()) + " " + Quote(pst),
                        dir.path() / "o", out),
                  0);
        EXPECT_THAT(out, HasSubstr("{\"contacts\":" + std::to_string(contacts) + ",\"lists\":" +
                                   std::to_string(lists) + ",\"other\":0,\"unreadable\":0,"))
            << out.substr(0, 300);
        EXPECT_THAT(out, HasSubstr(book.shownNames));
    }
    if (!extractor) {
        GTEST_SKIP() << "pst-extractor is not installed in " << module
                     << " (make test installs it from npm where node and npm are there); "
                        "only readpst was checked";
    }
}

}  // namespace

#endif  // _WIN32
