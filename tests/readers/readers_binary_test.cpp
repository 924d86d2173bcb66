// Exports read by independent readers: npm's pst-extractor (the Makefile installs it into the
// build folder) and readpst must open the file, count exactly the contacts and lists the log
// reports and show the note's names; for the example book, the sample books and a generated
// 20,000-nickname book whose lists name nicknames defined after them (so they are saved twice).
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BookGenerator.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Program;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadTree;
using ::testing::HasSubstr;

int Shell(const std::string& command, std::string& out) {
    const auto r = tarvelle::fakes::RunCommand(command);
    out = r.out;
    return r.status;
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
    const bool extractor = fs::exists(module / "package.json") && Shell("node --version", out) == 0;

    struct Book {
        std::string name, path;
        std::string vcardName, shownNames;  // what readpst and pst-extractor show of one contact
    };
    std::vector<Book> books = {
        {"example", std::string(TARVELLE_SOURCE_DIR) + "/examples/NNdbase.txt", "\nN:Becker;Anna;",
         R"("anna":["Anna","","Becker","Anna Becker","Becker, Anna","Anna Becker"])"},
        {"generated", dir.Write("generated.txt", tarvelle::bench::BookGenerator().Generate(20000))},
    };
    for (const char* sample : {"typical", "windows-1252", "importer", "utf8-bom"}) {
        books.push_back({sample, std::string(TARVELLE_SOURCE_DIR) + "/tests/data/books/" + sample +
                                     "/NNdbase.txt"});
    }
    for (const Book& book : books) {
        SCOPED_TRACE(book.name);
        const fs::path folder = dir.path() / book.name;
        std::string log;
        ASSERT_EQ(Shell(Program("tarvelle-export") + " --file " + Quote(book.path) + " --out-dir " +
                            Quote(folder.string()),
                        log),
                  0)
            << log;
        std::string pst;
        for (const auto& e : fs::directory_iterator(folder)) pst = e.path().string();
        const std::size_t contacts = Count(log, "\nCreating Contact : ");
        const std::size_t lists = Count(log, "\n+ Creating Group : ");

        // readpst writes one vCard per contact and leaves lists out.
        const fs::path cards = dir.path() / (book.name + "-readpst");
        fs::create_directory(cards);
        ASSERT_EQ(Shell("readpst -q -r -cv -8 -o " + Quote(cards.string()) + " " + Quote(pst), out),
                  0)
            << out;
        const std::string vcards = ReadTree(cards);
        EXPECT_EQ(Count(vcards, "BEGIN:VCARD"), contacts);
        EXPECT_THAT(vcards, HasSubstr(book.vcardName));

        if (!extractor) continue;
        EXPECT_EQ(Shell("node " +
                            Quote(std::string(TARVELLE_SOURCE_DIR) +
                                  "/tests/readers/pst_extractor_read.js") +
                            " " + Quote(module.string()) + " " + Quote(pst),
                        out),
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
