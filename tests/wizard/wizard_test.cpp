// The wizard's behaviour over recording views: what the selection page shows after the Eudora
// lookup and after each option, Browse and the address-book check, the pages' shared menus and
// endings, the About box, and export runs started from the progress page.
#include "wizard/Wizard.h"

#include <gtest/gtest.h>

#include "platform/PstStoreSession.h"
#include "support/RecordingStoreSession.h"
#include "support/TempDir.h"
#include "support/WizardFakes.h"
#include "wizard/AboutBox.h"
#include "wizard/AddressBookCheck.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"

namespace tarvelle::wizard {
namespace {

using enum SelectionControl;
using fakes::TempDir;
using Strings = std::vector<std::string>;

const std::string kEudora = "C:\\Eudora\\Eudora.exe D:\\Mail C:\\Eudora\\Eudora.ini";
const std::string kHome = "https://tarvelle.example/";
const std::string kProduct = kHome + "tarvelle/";

struct Control {
    bool visible = true, enabled = true;
    std::string text;
};

// A window of either page or the About box: whether it is shown, and what the wizard set in it.
struct Recorder : SelectionView, ProgressView, AboutView {
    std::map<SelectionControl, Control> controls;
    std::map<ProgressControl, bool> enabled;
    SelectionControl selected = DefaultOption;
    std::string log;
    bool shown = false;
    Control& operator[](SelectionControl c) { return controls[c]; }
    WindowHandle Handle() const override { return WindowHandle::None; }
    void Show() override { shown = true; }
    void Hide() override { shown = false; }
    void Close() override { shown = false; }
    void SetVisible(SelectionControl c, bool on) override { controls[c].visible = on; }
    void SetEnabled(SelectionControl c, bool on) override { controls[c].enabled = on; }
    void SetEnabled(ProgressControl c, bool on) override { enabled[c] = on; }
    void Select(SelectionControl option) override { selected = option; }
    void SetText(SelectionControl c, const std::string& text) override { controls[c].text = text; }
    void SetLog(const std::string& text) override { log = text; }
    void AppendLog(const std::string& lines) override { log += lines; }
};

// A wizard over recording views and services, a store double, and a registry with Eudora's
// command line (none: not installed).
struct Bench : ViewFactory {
    fakes::RecordingServices services;
    fakes::FakeRegistry registry;
    fakes::StoreRecord record;
    fakes::RecordingSessionFactory sessions{record};
    Recorder *selection = nullptr, *progress = nullptr, *about = nullptr;
    int made = 0;
    Wizard wizard{services, sessions, registry, *this};

    explicit Bench(std::optional<std::string> commandLine = {}) {
        registry.commandLine = std::move(commandLine);
    }
    std::unique_ptr<Recorder> Made(Recorder*& kept) {
        ++made;
        return std::unique_ptr<Recorder>(kept = new Recorder());
    }
    std::unique_ptr<SelectionView> MakeSelectionView(SelectionPage&) override {
        return Made(selection);
    }
    std::unique_ptr<ProgressView> MakeProgressView(ProgressPage&) override {
        return Made(progress);
    }
    std::unique_ptr<AboutView> MakeAboutView(AboutBox&) override { return Made(about); }

    // The selection page as the user sees it: the option selected, each control shown ("-": off)
    // with the label's and the file box's text; then the source an export would read.
    std::string Seen() {
        // In the order of SelectionControl.
        const char* names[] = {"label", "default", "choose", "file", "browse", "next", "open"};
        const exporter::SelectedSource source = wizard.Selection().SelectedSource();
        std::string seen = selection->selected == DefaultOption ? "(default)" : "(choose)";
        for (const auto& [c, k] : selection->controls) {
            if (!k.visible) continue;
            seen += std::string(" ") + names[static_cast<int>(c)] + (k.enabled ? "" : "-");
            if (c == SourceLabel || c == FileName) seen += ":" + k.text;
        }
        return seen + " => " + (source.useDefault ? "default " : "") + source.path;
    }
};

const std::string kFoundAtLoad =
    "(default) label:D:\\Mail default choose next open- => default D:\\Mail";

// Choosing a file, with `path` shown and taken, Next on or off.
std::string Choosing(const std::string& path, bool next) {
    return "(choose) label:" + path + " default- choose file:" + path + " browse next" +
           (next ? "" : "-") + " open => " + path;
}

TEST(SelectionPageTest, OpensInTheModeTheEudoraLookupAllows) {
    struct Case {
        std::optional<std::string> commandLine;
        std::string seen;
        std::string_view message;  // the lookup's, when it fails
    };
    for (const Case& c :
         {Case{kEudora, kFoundAtLoad, {}},
          Case{std::nullopt, Choosing("", false), eudora::kInstallationNotFoundText},
          Case{"C:\\Eudora\\Eudora.exe", Choosing("", false), eudora::kAddressBookNotFoundText}}) {
        Bench bench(c.commandLine);
        EXPECT_EQ(bench.Seen(), c.seen);
        EXPECT_FALSE(bench.selection->shown);  // loaded on first use, shown only when asked
        ASSERT_EQ(bench.services.messages.size(), c.message.empty() ? 0u : 1u);
        if (c.message.empty()) continue;
        EXPECT_EQ(bench.services.messages[0].text, c.message);
        EXPECT_EQ(bench.services.messages[0].icon, BoxIcon::Information);
    }
}

TEST(SelectionPageTest, BrowseChecksThePickedFileAndACancelKeepsTheChoice) {
    TempDir dir;
    const std::string good = dir.Write("good.txt", "alias a a@example.com\r\n");
    struct Case {
        std::string path;
        bool passes;
        BoxIcon icon;  // of the refusal: None for no book, Warning for a file that cannot be read
    };
    for (const Case& c :
         {Case{dir.Write("book.txt", "alias jo j@x.org\r\nnote jo <name:Jo>\r\n\r\n"), true, {}},
          Case{dir.Write("notes.txt", "# jo jo@example.com\r\n"), false, BoxIcon::None},
          Case{dir.Write("bin.txt", std::string("alias a a@x.org\0\r\n", 18)), false, {}},
          Case{dir.path().string(), false, BoxIcon::Warning},
          Case{(dir.path() / "gone.txt").string(), false, BoxIcon::Warning}}) {
        SCOPED_TRACE(c.path);
        Bench bench;  // no Eudora: the page opens on choosing a file
        SelectionPage& page = bench.wizard.Selection();
        page.OnBrowse();  // cancelled with nothing chosen yet
        EXPECT_EQ(bench.Seen(), Choosing("", false));
        bench.services.file = good;
        page.OnBrowse();
        ASSERT_EQ(bench.Seen(), Choosing(good, true));

        bool nextDuringCheck = false;
        int clicks = 0;
        bench.services.onProcessEvents = [&] {
            nextDuringCheck |= (*bench.selection)[Next].enabled;
            // Browse clicked again while the file is checked: no second picker, no second check.
            if (clicks++ > 0) return;
            bench.services.file = good;
            page.OnBrowse();
        };
        bench.services.file = c.path;
        page.OnBrowse();
        bench.services.onProcessEvents = [] {};
        EXPECT_FALSE(nextDuringCheck);
        EXPECT_EQ(std::exchange(bench.services.file, {}), good)
            << "a picker opened during the check";
        EXPECT_EQ(bench.services.filters.at(0).pattern, "*.txt");
        EXPECT_EQ(bench.services.filters.at(1).pattern, "*.*");  // a Mac book has no extension
        EXPECT_EQ(bench.Seen(), Choosing(c.passes ? c.path : "", c.passes));
        page.OnBrowse();  // cancelled
        EXPECT_EQ(bench.Seen(), Choosing(c.passes ? c.path : "", c.passes));
        ASSERT_EQ(bench.services.messages.size(), c.passes ? 1u : 2u);  // after the lookup's
        if (!c.passes) {
            const fakes::ShownMessage& box = bench.services.messages[1];
            EXPECT_EQ(box.title, kApplicationTitle);
            EXPECT_EQ(box.icon, c.icon);
            EXPECT_TRUE(c.icon == BoxIcon::None ? box.text == kNotAnAddressBookText
                                                : box.text.find(c.path) != std::string::npos);
        }
        bench.services.file = good;  // the page stays usable
        page.OnBrowse();
        EXPECT_EQ(bench.Seen(), Choosing(good, true));
    }
}

TEST(SelectionPageTest, OptionsSwitchTheControlsAndNextThenBackKeepsThePage) {
    TempDir dir;
    const std::string good = dir.Write("pick.txt", "alias a a@example.com\r\n");
    Bench bench(kEudora);
    bench.wizard.ShowSelection();
    SelectionPage& page = bench.wizard.Selection();
    page.OnOptionSelected(ChooseOption);  // the label is untouched until a file is picked
    EXPECT_EQ(bench.Seen(),
              "(default) label:D:\\Mail default choose file: browse next- open => D:\\Mail");
    bench.services.file = good;
    page.OnMenu(MenuCommand::OpenAddressBook);  // browses in this mode
    page.OnOptionSelected(ChooseOption);        // selected already: nothing changes
    const std::string picked =
        "(default) label:" + good + " default choose file:" + good + " browse next open => " + good;
    EXPECT_EQ(bench.Seen(), picked);

    page.OnNext();
    EXPECT_TRUE(!bench.selection->shown && bench.progress->shown);
    bench.wizard.Progress().OnBack();
    EXPECT_TRUE(bench.selection->shown && !bench.progress->shown);
    EXPECT_EQ(bench.made, 2);  // one shared instance of each page, as it was left
    EXPECT_EQ(bench.Seen(), picked);

    // Back to the default book: the folder found at load returns, browsing is off.
    page.OnOptionSelected(DefaultOption);
    EXPECT_EQ(bench.Seen(), kFoundAtLoad);
    bench.services.file = good;
    page.OnMenu(MenuCommand::OpenAddressBook);
    EXPECT_EQ(bench.services.file, good);  // not taken: no browsing for the default book
    EXPECT_TRUE(bench.services.messages.empty());
}

TEST(WizardTest, BothPagesShareExitClosingTheHelpMenuAndTheAboutBox) {
    for (bool onProgress : {false, true}) {
        SCOPED_TRACE(onProgress ? "progress page" : "selection page");
        Bench bench(kEudora);
        bench.wizard.ShowSelection();
        bench.wizard.Progress();  // both loaded: the hidden one adds nothing of its own
        auto menu = [&](MenuCommand c) {
            onProgress ? bench.wizard.Progress().OnMenu(c) : bench.wizard.Selection().OnMenu(c);
        };
        menu(MenuCommand::Exit);  // answered No
        EXPECT_EQ(bench.services.exits, 0);
        bench.services.answer = BoxResult::Yes;
        menu(MenuCommand::Exit);
        EXPECT_EQ(bench.services.exits, 1);
        EXPECT_EQ(bench.services.messages.at(1).title, "Close Application");

        EXPECT_EQ(bench.about, nullptr);  // made on first use only
        for (MenuCommand c : {MenuCommand::ProductGuide, MenuCommand::Website,
                              MenuCommand::OtherProducts, MenuCommand::About, MenuCommand::About}) {
            menu(c);
        }
        EXPECT_TRUE(bench.about->shown);
        // The box's links keep it open; OK and Cancel close the box and nothing else.
        bench.wizard.About().OnSiteLink();
        bench.wizard.About().OnHelpLink();
        EXPECT_TRUE(bench.about->shown);
        bench.wizard.About().OnOk();
        EXPECT_TRUE(!bench.about->shown && bench.selection->shown);
        menu(MenuCommand::About);
        bench.wizard.About().OnCancel();
        EXPECT_TRUE(!bench.about->shown && bench.selection->shown);
        EXPECT_EQ(bench.made, 3);  // the pages and one About box
        // Closing the window: no question, the product page, then the end.
        onProgress ? bench.wizard.Progress().OnClose() : bench.wizard.Selection().OnClose();
        EXPECT_EQ(bench.services.messages.size(), 2u);
        EXPECT_EQ(bench.services.opened,
                  (Strings{kProduct + "guide.html", kHome, kHome, kHome, kProduct, kProduct}));
        EXPECT_EQ(bench.services.exits, 2);
    }
}

// A book picked on the selection page, a folder for the new file, and the progress page.
class ProgressPageTest : public ::testing::Test {
  protected:
    ProgressPageTest() {
        bench.services.file = dir.Write("NNdbase.txt", "alias a a@x.org\r\nalias g a, b@x.org\r\n");
        bench.wizard.Selection().OnBrowse();
        bench.services.onPickFolder = [this] { return dir.path().string(); };
        bench.services.messages.clear();  // the lookup's
    }

    TempDir dir;
    Bench bench;
    ProgressPage& page = bench.wizard.Progress();
    Recorder& view = *bench.progress;
};

TEST_F(ProgressPageTest, StartRunsOneExportAtATimeAfterTheFirstLines) {
    const std::string first = "Address Book Information Loaded...\r\nClick Start Exporting >\r\n";
    const std::string looking = "Looking for file saving location...\r\n";
    EXPECT_EQ(view.log, first);
    EXPECT_TRUE(view.enabled[ProgressControl::Start]);
    EXPECT_FALSE(view.enabled[ProgressControl::OpenMenu]);
    std::string atPicker;  // Start's state and the log, at every pick
    std::vector<std::size_t> shownAtEvents;
    bench.services.onProcessEvents = [&] { shownAtEvents.push_back(view.log.size()); };
    bench.services.onPickFolder = [&, picks = 0]() mutable {
        atPicker += (view.enabled[ProgressControl::Start] ? "on:" : "off:") + view.log;
        if (++picks == 1) page.OnStart();  // pressed again during the run: ignored
        return dir.path().string();
    };
    page.OnStart();
    EXPECT_EQ(atPicker, "off:" + first + looking);
    EXPECT_TRUE(view.enabled[ProgressControl::Start]);
    // Lines gathered during the run reach the view as the window handles its events.
    EXPECT_GT(shownAtEvents.at(0), (first + looking).size());
    EXPECT_NE(view.log.find("\r\nCreating Contact : 1 - a\r\n+ Creating Group : g\r\n"),
              std::string::npos);
    EXPECT_TRUE(view.log.ends_with("\r\nFinished...\r\n"));
    ASSERT_EQ(bench.services.messages.size(), 1u);
    EXPECT_EQ(bench.services.messages[0].title, "Export Complete");

    // A failure escaping a run is shown, and Start works again.
    bench.record.onSave = [](const fakes::RecordedItem&) { throw std::logic_error("broken"); };
    page.OnStart();
    EXPECT_EQ(bench.services.messages.back().icon, BoxIcon::Critical);
    EXPECT_TRUE(bench.services.messages.back().text.ends_with("\r\nbroken"));
    EXPECT_TRUE(view.enabled[ProgressControl::Start]);

    const std::string earlier = view.log;
    bench.services.onPickFolder = [] { return std::string(); };  // cancelled
    page.OnStart();
    page.AppendLog("two\r\nlines");  // one call, one line; outside a run at once
    EXPECT_EQ(view.log, earlier + looking + "two lines\r\n");
}

TEST_F(ProgressPageTest, BackAndExitStayLiveDuringARun) {
    bench.wizard.ShowProgress();
    bench.services.onPickFolder = [&] {
        page.OnBack();  // the page hides and the run goes on
        page.OnExit();  // answered No: the run goes on
        EXPECT_EQ(bench.services.exits, 0);
        bench.services.answer = BoxResult::Yes;
        page.OnExit();
        return dir.path().string();
    };
    page.OnStart();
    EXPECT_EQ(bench.services.exits, 1);
    EXPECT_EQ(bench.services.messages[0].title, "Close Application");
    EXPECT_TRUE(!view.shown && bench.selection->shown);
    EXPECT_TRUE(view.log.ends_with("Finished...\r\n"));  // the double's exit returns
}

TEST_F(ProgressPageTest, AFileThatCannotBeCreatedIsReportedWithItsFolder) {
    auto writer = platform::MakePstSessionFactory();  // the real one
    Wizard wizard(bench.services, *writer, bench.registry, bench);
    const std::string gone = (dir.path() / "gone").string();
    bench.services.onPickFolder = [&] { return gone; };
    wizard.Progress().OnStart();
    ASSERT_FALSE(bench.services.messages.empty());
    EXPECT_EQ(bench.services.messages.back().title, "Outlook Error");
    EXPECT_NE(bench.services.messages.back().text.find(gone), std::string::npos);  // not Outlook's
    EXPECT_EQ(bench.progress->log.find("Finished..."), std::string::npos);
}

}  // namespace
}  // namespace tarvelle::wizard
