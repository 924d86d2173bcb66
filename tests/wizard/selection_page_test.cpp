// The selection page's behaviour over recording views: the lookup at load, the two options,
// Browse and the address-book check, Next and Back.
#include <gtest/gtest.h>

#include <filesystem>

#include "RecordingViews.h"
#include "support/TempDir.h"
#include "wizard/AddressBookCheck.h"

namespace tarvelle::wizard {
namespace {

using enum SelectionControl;
using fakes::RecordingSelectionView;
using fakes::TempDir;
using fakes::WizardBench;

const std::string kEudora = "C:\\Eudora\\Eudora.exe D:\\Mail C:\\Eudora\\Eudora.ini";

struct LoadCase {
    const char* name;
    std::optional<std::string> commandLine;
    bool defaultMode;
    std::string label;
    std::string_view message;  // the lookup's, when it fails
};

class SelectionLoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SelectionLoadTest, OpensInTheModeTheLookupAllows) {
    const LoadCase& c = GetParam();
    WizardBench bench(c.commandLine);
    RecordingSelectionView& view = bench.Selection();
    EXPECT_EQ(view.selected, c.defaultMode ? DefaultOption : ChooseOption);
    EXPECT_EQ(view[DefaultOption].enabled, c.defaultMode);
    EXPECT_EQ(view[FileName].visible, !c.defaultMode);
    EXPECT_EQ(view[Browse].visible && view[Browse].enabled, !c.defaultMode);
    EXPECT_EQ(view[OpenMenu].enabled, !c.defaultMode);
    EXPECT_EQ(view[Next].enabled, c.defaultMode);
    EXPECT_EQ(view[SourceLabel].text, c.label);
    const exporter::SelectedSource source = bench.wizard.Selection().SelectedSource();
    EXPECT_EQ(source.useDefault, c.defaultMode);
    EXPECT_EQ(source.path, c.label);
    if (c.message.empty()) {
        EXPECT_TRUE(bench.services.messages.empty());
    } else {
        ASSERT_EQ(bench.services.messages.size(), 1u);
        EXPECT_EQ(bench.services.messages[0].text, c.message);
        EXPECT_EQ(bench.services.messages[0].icon, BoxIcon::Information);
    }
    EXPECT_FALSE(view.shown);  // loaded on first use, shown only when asked
}

INSTANTIATE_TEST_SUITE_P(EachLookup, SelectionLoadTest,
                         ::testing::Values(LoadCase{"FolderFound", kEudora, true, "D:\\Mail", {}},
                                           LoadCase{"NoInstallation", std::nullopt, false, "",
                                                    eudora::kInstallationNotFoundText},
                                           LoadCase{"NoAddressBook", "C:\\Eudora\\Eudora.exe",
                                                    false, "", eudora::kAddressBookNotFoundText}),
                         [](const auto& info) { return std::string(info.param.name); });

class SelectionPageTest : public ::testing::Test {
  protected:
    // Browse, with the dialog answering `path` (empty: cancelled).
    void Pick(const std::string& path) {
        bench.services.files.push_back(path);
        bench.wizard.Selection().OnBrowse();
    }
    std::string Good(const std::string& name = "good.txt") {
        return files.Write(name, "alias a a@example.com\r\n");
    }

    TempDir files;
    WizardBench bench;  // no Eudora: the page opens on choosing a file
    RecordingSelectionView& view = bench.Selection();
};

struct BrowseCase {
    const char* name;
    std::string bytes;  // the picked file's content; "<dir>" picks a folder, "<gone>" no file
    bool passes;
};

class BrowseTest : public SelectionPageTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(BrowseTest, PassingFilesEnableNextAndOthersAreRefused) {
    const BrowseCase& c = GetParam();
    Pick(Good("earlier.txt"));
    ASSERT_TRUE(view[Next].enabled);
    bench.services.messages.clear();

    std::string path = (files.path() / "gone.txt").string();
    if (c.bytes == "<dir>") {
        path = files.path().string();
    } else if (c.bytes != "<gone>") {
        path = files.Write("picked.txt", c.bytes);
    }
    // While the file is read, the page cannot move on.
    bool nextDuringCheck = false;
    bench.services.onProcessEvents = [&] { nextDuringCheck |= view[Next].enabled; };
    Pick(path);
    EXPECT_FALSE(nextDuringCheck);

    const auto& filters = bench.services.fileFilters.back();
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].pattern, "*.txt");
    EXPECT_EQ(filters[1].pattern, "*.*");  // a Mac book has no extension
    EXPECT_EQ(view[Next].enabled, c.passes);
    EXPECT_EQ(view[SourceLabel].text, c.passes ? path : "");
    EXPECT_EQ(view[FileName].text, c.passes ? path : "");
    EXPECT_EQ(bench.wizard.Selection().SelectedSource().path, c.passes ? path : "");
    if (c.passes) {
        EXPECT_TRUE(bench.services.messages.empty());
        return;
    }
    ASSERT_EQ(bench.services.messages.size(), 1u);
    EXPECT_EQ(bench.services.messages[0].title, "Tarvelle");
    if (c.bytes.starts_with('<')) {
        EXPECT_NE(bench.services.messages[0].text.find(path), std::string::npos);
    } else {
        EXPECT_EQ(bench.services.messages[0].text, kNotAnAddressBookText);
        EXPECT_EQ(bench.services.messages[0].icon, BoxIcon::None);
    }
    Pick(Good("again.txt"));  // the page stays usable
    EXPECT_TRUE(view[Next].enabled);
}

INSTANTIATE_TEST_SUITE_P(
    EachFile, BrowseTest,
    ::testing::Values(
        BrowseCase{
            "NicknamesNotesAndBlankLines",
            "alias jo jo@example.com\r\nnote jo <name:Jo>\r\n\r\nalias t jo@x.org,al@x.org\r\n",
            true},
        BrowseCase{"NoNicknameLine", "# jo jo@example.com\r\n", false},
        BrowseCase{"MostlyOtherLines", "alias a a@x.org\nfrom: x\nto: y\n", false},
        BrowseCase{"EmptyFile", "", false},
        BrowseCase{"BinaryFile", std::string("alias a a@x.org\0\r\n", 18), false},
        BrowseCase{"Folder", "<dir>", false}, BrowseCase{"MissingFile", "<gone>", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SelectionPageTest, CancelledPickKeepsTheEarlierChoiceAndNext) {
    Pick({});  // nothing chosen yet: Next stays off
    EXPECT_FALSE(view[Next].enabled);
    const std::string good = Good();
    Pick(good);
    Pick({});
    EXPECT_TRUE(view[Next].enabled);
    EXPECT_EQ(view[SourceLabel].text, good);
    EXPECT_EQ(view[FileName].text, good);
    EXPECT_EQ(bench.wizard.Selection().SelectedSource().path, good);
    EXPECT_EQ(bench.services.messages.size(), 1u);  // the lookup's, nothing since
}

TEST_F(SelectionPageTest, OpenMenuEntryBrowsesOnlyInChooseMode) {
    const std::string good = Good();
    bench.services.files.push_back(good);
    bench.wizard.Selection().OnMenu(MenuCommand::OpenAddressBook);
    EXPECT_EQ(view[SourceLabel].text, good);
    EXPECT_TRUE(bench.services.files.empty());
}

TEST(SelectionOptionsTest, SwitchingOptionsShowsTheMatchingControlsAndSource) {
    WizardBench bench(kEudora);
    RecordingSelectionView& view = bench.Selection();
    SelectionPage& page = bench.wizard.Selection();
    TempDir files;
    const std::string good = files.Write("pick.txt", "alias a a@example.com\r\n");

    page.OnOptionSelected(ChooseOption);
    EXPECT_TRUE(view[FileName].visible && view[Browse].enabled && view[OpenMenu].enabled);
    EXPECT_FALSE(view[Next].enabled);
    EXPECT_EQ(view[SourceLabel].text, "D:\\Mail");  // untouched until a file is picked
    bench.services.files.push_back(good);
    page.OnBrowse();
    page.OnOptionSelected(ChooseOption);  // selected already: nothing changes
    EXPECT_TRUE(view[Next].enabled);

    // Back to the default book: the folder found at load returns, browsing is off.
    page.OnOptionSelected(DefaultOption);
    EXPECT_TRUE(view[Next].enabled);
    EXPECT_FALSE(view[FileName].visible || view[Browse].visible || view[OpenMenu].enabled);
    EXPECT_EQ(view[SourceLabel].text, "D:\\Mail");
    EXPECT_TRUE(page.SelectedSource().useDefault);
    EXPECT_EQ(page.SelectedSource().path, "D:\\Mail");
    bench.services.files.push_back(good);
    page.OnMenu(MenuCommand::OpenAddressBook);
    EXPECT_EQ(bench.services.files.size(), 1u);  // no browsing for the default book
}

TEST(SelectionNextTest, NextThenBackKeepsThePageAndLoadsNothingAgain) {
    WizardBench bench(kEudora);
    bench.wizard.ShowSelection();
    RecordingSelectionView& view = bench.Selection();
    bench.wizard.Selection().OnOptionSelected(ChooseOption);
    const auto before = view.controls;

    bench.wizard.Selection().OnNext();
    EXPECT_FALSE(view.shown);
    EXPECT_TRUE(bench.Progress().shown);
    bench.wizard.Progress().OnBack();
    EXPECT_FALSE(bench.Progress().shown);
    EXPECT_TRUE(view.shown);
    EXPECT_EQ(bench.views.made, 2);  // one shared instance of each page
    EXPECT_FALSE(bench.wizard.Selection().SelectedSource().useDefault);
    EXPECT_EQ(view[Next].enabled, before.at(Next).enabled);
    EXPECT_EQ(view[SourceLabel].text, before.at(SourceLabel).text);
    EXPECT_TRUE(bench.services.messages.empty());
}

}  // namespace
}  // namespace tarvelle::wizard
