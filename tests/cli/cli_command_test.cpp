// tarvelle-export's behaviour in-process, over the recording store double.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/ExportCommand.h"
#include "support/FakeTextFile.h"
#include "support/RecordingStoreSession.h"
#include "support/TempDir.h"

namespace tarvelle::cli {
namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::RecordingSessionFactory;
using tarvelle::fakes::StoreRecord;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class CommandTest : public ::testing::Test {
  protected:
    CommandTest() : factory(record) { outDir = (dir / "out" / "nested").string(); }

    int Run(const std::vector<std::string>& args) {
        out.str({});
        err.str({});
        CommandEnvironment env{out, err, factory, findDefault, opener, showProgress};
        return RunExportCommand(args, env);
    }

    tarvelle::fakes::TempDir temp;
    fs::path dir = temp.path();
    std::string outDir;
    std::ostringstream out;
    std::ostringstream err;
    StoreRecord record;
    RecordingSessionFactory factory;
    std::function<std::optional<exporter::SelectedSource>(std::ostream&)> findDefault = nullptr;
    platform::TextFileOpener* opener = nullptr;
    bool showProgress = false;
    tarvelle::fakes::FakeTextFileOpener fake;
};

TEST_F(CommandTest, UsageErrorsExitWithTwoAndTouchNothing) {
    const std::string book = temp.Write("NNdbase.txt", "alias a a@example.com\r\n");
    // clang-format off
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"--file", book}, {"--out-dir"}, {"--out-dir", ""}, {"--out-dir="}, {"--bogus", "--out-dir", outDir},
             {"stray", "--out-dir", outDir}, {"--file", book, "--file", book, "--out-dir", outDir},
             {"--out-dir", outDir, "--out-dir", outDir}, {"--encoding", "latin-9", "--out-dir", outDir}}) {
        // clang-format on
        EXPECT_EQ(Run(args), kExitUsage) << ::testing::PrintToString(args);
        EXPECT_THAT(err.str(), HasSubstr("Try 'tarvelle-export --help'"));
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_TRUE(record.calls.empty());
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(CommandTest, HelpExplainsOptionsAndExitStatuses) {
    EXPECT_EQ(Run({"--help"}), kExitSuccess);
    for (const char* text : {"--file PATH", "--out-dir DIR", "Exit status", "  3  ", "stderr"})
        EXPECT_THAT(out.str(), HasSubstr(text));
    EXPECT_EQ(Run({"-h"}), kExitSuccess);
    EXPECT_TRUE(record.calls.empty());
}

TEST_F(CommandTest, FileFailingTheCheckExitsWithThreeAndWritesNothing) {
    // No nickname line at all, or fewer than half of the lines that are not blank.
    for (const std::string& bytes : std::vector<std::string>{
             "", "note a <phone:1>\r\n", "alias a a@example.com\r\nhello\r\n# me\r\n",
             std::string("\x00\x01\x02 binary", 10)}) {
        const std::string book = temp.Write("NNdbase.txt", bytes);
        EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitNotAnAddressBook);
        EXPECT_EQ(err.str(),
                  "Tarvelle:  *** NOT a Valid Eudora Address Book  ***\n"
                  "Please select a correct Eudora Address Book.\n");
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_TRUE(record.calls.empty());
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(CommandTest, UnreadableFileFailsBeforeAnythingIsCreated) {
    const std::string missing = (dir / "missing.txt").string();
    EXPECT_EQ(Run({"--file", missing, "--out-dir", outDir}), kExitFailure);
    EXPECT_EQ(err.str(), "Export Failed: The address book file could not be read:\n" + missing +
                             " (No such file or directory)\n");

    fake.failAfter = 1;
    fake.lines = {"alias a a@example.com", "alias b b@example.com"};
    opener = &fake;
    const std::string book = temp.Write("NNdbase.txt", "");
    EXPECT_EQ(Run({"--file=" + book, "--out-dir=" + outDir}), kExitFailure);
    EXPECT_THAT(err.str(), HasSubstr("(Input/output error)"));
    EXPECT_TRUE(record.calls.empty());
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(CommandTest, ExportPrintsTheLogOnStdoutAndThePathLastOnStderr) {
    const std::string book =
        temp.Write("NNdbase.txt",
                   "alias a a@example.com\r\nnote a <name:A>\r\n\r\nalias g x@example.com, "
                   "y@example.com\r\nalias b\r\n");
    EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitSuccess);
    // The run's log, a line each, ends with the book's lines; the message and the path go to
    // stderr.
    EXPECT_THAT(out.str(), StartsWith("Looking for file saving location...\n"));
    EXPECT_THAT(out.str(),
                EndsWith("Creating Contact : 1 - a\n+ Creating Group : g\n"
                         "     - Saved 2 Members in Group...\nSkipped line 5: no address\n"
                         "Finished...\n"));
    EXPECT_EQ(std::ranges::count(out.str(), '\n'), 12);
    EXPECT_THAT(err.str(),
                StartsWith("Export Complete: Address Book Export Complete !\n" +
                           (fs::absolute(outDir) / "Eudora Address Book Created-").string()));
    EXPECT_THAT(err.str(), EndsWith(".pst\n"));
    EXPECT_EQ(std::ranges::count(err.str(), '\n'), 2);
    EXPECT_TRUE(fs::is_directory(outDir));  // created, parents included
    EXPECT_EQ(record.SavedItems().size(), 2u);
}

TEST_F(CommandTest, RefusedItemsStoreFailureAndUnusableFolderExitWithOne) {
    const std::string book =
        temp.Write("NNdbase.txt", "alias a a@example.com\r\nalias b b@example.com\r\n");
    record.onSave = [](const tarvelle::fakes::RecordedItem& item) {
        if (item.Text(platform::ItemProperty::FirstName) == "b")
            throw platform::StoreError("refused");
    };
    EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitFailure);
    EXPECT_THAT(out.str(), HasSubstr("Creating Contact : 2 - b\n     ! Not written: refused\n"));
    EXPECT_THAT(err.str(), HasSubstr("Export Complete: Address Book Export Complete !\n"
                                     "1 item(s) could not be written.\n"));

    record.onSave = nullptr;
    record.FailOn("LogonPstStore");
    EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitFailure);
    EXPECT_THAT(err.str(), StartsWith("Outlook Error: The Outlook file could not be created in "));
    EXPECT_THAT(out.str(), Not(HasSubstr("Finished...")));

    const std::string notADir = temp.Write("plain-file", "x");
    EXPECT_EQ(Run({"--file", book, "--out-dir", notADir}), kExitFailure);
    EXPECT_THAT(err.str(), HasSubstr("cannot use the output folder"));
}

TEST_F(CommandTest, ProgressIsDrawnOnlyWhenAskedAndClearedBeforeThePath) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes += "alias c" + std::to_string(i) + " c@example.com\r\n";
    const std::string book = temp.Write("NNdbase.txt", bytes);

    EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitSuccess);
    EXPECT_THAT(err.str(), Not(HasSubstr("\r")));

    showProgress = true;
    EXPECT_EQ(Run({"--file", book, "--out-dir", outDir}), kExitSuccess);
    EXPECT_THAT(err.str(), HasSubstr(" items exported..."));
    EXPECT_THAT(err.str(), HasSubstr("\r\x1b[K"));  // cleared again
    EXPECT_THAT(err.str(), EndsWith(".pst\n"));
    EXPECT_THAT(out.str(), Not(HasSubstr("items exported")));
}

}  // namespace
}  // namespace tarvelle::cli
