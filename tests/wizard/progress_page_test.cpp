// The progress page's behaviour over a recording view: the first log lines, export runs started
// from the page with the Start guard, the log kept in step with the run, and the run's messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "RecordingViews.h"
#include "platform/PstStoreSession.h"
#include "support/TempDir.h"

namespace tarvelle::wizard {
namespace {

using enum ProgressControl;
using fakes::RecordingProgressView;
using fakes::TempDir;
using fakes::WizardBench;

const std::string kFirstLines = "Address Book Information Loaded...\r\nClick Start Exporting >\r\n";

class ProgressPageTest : public ::testing::Test {
  protected:
    ProgressPageTest() {
        // A book picked and checked on the selection page; the folder for the new file.
        bench.services.files.push_back(
            files.Write("NNdbase.txt", "alias a a@example.com\r\nalias g a, b@example.com\r\n"));
        bench.wizard.Selection().OnBrowse();
        std::filesystem::create_directory(files.path() / "out");
        bench.services.folder = (files.path() / "out").string();
        bench.services.messages.clear();  // the lookup's
    }

    TempDir files;
    WizardBench bench;
    ProgressPage& page = bench.wizard.Progress();
    RecordingProgressView& view = *bench.views.progress;
};

TEST_F(ProgressPageTest, FirstShowingHoldsExactlyTheTwoFirstLines) {
    EXPECT_EQ(view.log, kFirstLines);
    EXPECT_TRUE(view.enabled[Start]);
    EXPECT_FALSE(view.enabled[OpenMenu]);
}

TEST_F(ProgressPageTest, StartRunsOneExportAtATimeAndRunsAppend) {
    bool startDuringRun = true;
    bool logShownAtPicker = false;
    bench.services.onPickFolder = [&] {
        startDuringRun = view.enabled[Start];
        // The user sees the run's first line while choosing, and presses Start again.
        logShownAtPicker = view.log == kFirstLines + "Looking for file saving location...\r\n";
        page.OnStart();
        return bench.services.folder;
    };
    page.OnStart();
    EXPECT_FALSE(startDuringRun);
    EXPECT_TRUE(logShownAtPicker);
    EXPECT_EQ(bench.services.folderTitles.size(), 1u);  // no nested run
    EXPECT_TRUE(view.enabled[Start]);
    EXPECT_FALSE(page.Exporting());
    const std::string firstRun = view.log;
    EXPECT_NE(firstRun.find("\r\nCreating Contact : 1 - a\r\n+ Creating Group : g\r\n"),
              std::string::npos);
    EXPECT_TRUE(firstRun.ends_with("\r\nFinished...\r\n"));
    // The store is closed and let go at the end of the run, before the completion box.
    EXPECT_EQ(bench.record.Count("Close"), 1);
    EXPECT_EQ(bench.record.openSessions, 0);
    ASSERT_EQ(bench.services.messages.size(), 1u);
    EXPECT_EQ(bench.services.messages[0].title, "Export Complete");

    bench.services.onPickFolder = nullptr;
    bench.services.folder.clear();  // cancelled
    page.OnStart();
    EXPECT_EQ(view.log, firstRun + "Looking for file saving location...\r\n");
}

TEST_F(ProgressPageTest, LogReachesTheViewWhenEventsAreProcessedAndLineByLine) {
    std::vector<std::size_t> shownAtEvents;
    bench.services.onProcessEvents = [&] { shownAtEvents.push_back(view.log.size()); };
    page.OnStart();
    // Lines gathered between two rounds of events go to the view in one piece.
    ASSERT_FALSE(shownAtEvents.empty());
    EXPECT_GT(shownAtEvents.front(), kFirstLines.size());
    page.AppendLog("two\r\nlines");
    EXPECT_TRUE(view.log.ends_with("Finished...\r\ntwo lines\r\n"));
}

TEST_F(ProgressPageTest, AFailureEscapingTheRunIsShownAndStartWorksAgain) {
    bench.record.onSave = [](const fakes::RecordedItem&) { throw std::logic_error("broken"); };
    page.OnStart();
    ASSERT_EQ(bench.services.messages.size(), 1u);
    EXPECT_EQ(bench.services.messages[0].text, "The export stopped unexpectedly.\r\nbroken");
    EXPECT_TRUE(view.enabled[Start]);
    EXPECT_FALSE(page.Exporting());
}

TEST_F(ProgressPageTest, BackAndExitStayLiveDuringARun) {
    bench.wizard.ShowProgress();
    bench.services.onPickFolder = [&] {
        // Back hides the page and the run goes on; Exit asks, No goes on, Yes ends the program.
        page.OnBack();
        bench.services.answers = {BoxResult::No, BoxResult::Yes};
        page.OnExit();
        EXPECT_EQ(bench.services.exits, 0);
        page.OnMenu(MenuCommand::Exit);
        return bench.services.folder;
    };
    page.OnStart();
    EXPECT_EQ(bench.services.exits, 1);
    EXPECT_EQ(bench.services.messages[0].title, "Close Application");
    EXPECT_TRUE(bench.services.opened.empty());
    EXPECT_FALSE(view.shown);
    EXPECT_TRUE(bench.views.selection->shown);
    EXPECT_TRUE(view.log.ends_with("Finished...\r\n"));  // the double's exit returns
}

TEST(ProgressFileTest, AFileThatCannotBeCreatedIsReportedWithItsFolderNotOutlook) {
    // The real writer, asked to create the file in a folder that is not there.
    TempDir files;
    WizardBench bench;
    auto sessions = platform::MakePstSessionFactory();
    fakes::RecordingViews views;
    Wizard wizard(bench.services, *sessions, bench.registry, views);
    const std::string folder = (files.path() / "gone").string();
    bench.services.folder = folder;
    wizard.Progress().OnStart();
    ASSERT_FALSE(bench.services.messages.empty());
    const fakes::ShownMessage& box = bench.services.messages.back();
    EXPECT_EQ(box.title, "Outlook Error");
    EXPECT_EQ(box.text.rfind("The Outlook file could not be created in " + folder + ":\r\n", 0), 0u)
        << box.text;
    EXPECT_EQ(box.text.find("Outlook 2013"), std::string::npos);
    EXPECT_EQ(views.progress->log.find("Finished..."), std::string::npos);
}

}  // namespace
}  // namespace tarvelle::wizard
