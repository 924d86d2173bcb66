// What both pages share: the menus, Exit and its question, closing a window, and the About box.
#include <gtest/gtest.h>

#include "RecordingViews.h"

namespace tarvelle::wizard {
namespace {

using fakes::WizardBench;

// A page of the wizard, reached through what it offers.
struct PageCase {
    const char* name;
    std::function<void(Wizard&, MenuCommand)> menu;
    std::function<void(Wizard&)> close;
};

class PageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(PageTest, ExitAsksAndYesEndsWithoutAWebPage) {
    WizardBench bench;
    bench.services.messages.clear();
    bench.services.answers = {BoxResult::No, BoxResult::Yes};
    GetParam().menu(bench.wizard, MenuCommand::Exit);
    EXPECT_EQ(bench.services.exits, 0);
    GetParam().menu(bench.wizard, MenuCommand::Exit);
    EXPECT_EQ(bench.services.exits, 1);
    ASSERT_GE(bench.services.messages.size(), 2u);
    const fakes::ShownMessage& box = bench.services.messages.back();
    EXPECT_EQ(box.title, "Close Application");
    EXPECT_EQ(box.buttons, BoxButtons::YesNo);
    EXPECT_TRUE(bench.services.opened.empty());
}

TEST_P(PageTest, ClosingTheWindowOpensTheProductPageOnceAndEnds) {
    WizardBench bench;
    bench.wizard.Selection();
    bench.wizard.Progress();  // a loaded, hidden other page adds no link of its own
    const std::size_t messages = bench.services.messages.size();
    GetParam().close(bench.wizard);
    EXPECT_EQ(bench.services.messages.size(), messages);  // no question
    EXPECT_EQ(bench.services.opened,
              std::vector<std::string>{"https://tarvelle.example/tarvelle/"});
    EXPECT_EQ(bench.services.exits, 1);
}

TEST_P(PageTest, HelpMenuOpensTheLinksAndOneAboutBox) {
    WizardBench bench;
    for (MenuCommand command :
         {MenuCommand::ProductGuide, MenuCommand::Website, MenuCommand::OtherProducts}) {
        GetParam().menu(bench.wizard, command);
    }
    EXPECT_EQ(bench.services.opened,
              (std::vector<std::string>{"https://tarvelle.example/tarvelle/guide.html",
                                        "https://tarvelle.example/", "https://tarvelle.example/"}));
    EXPECT_FALSE(bench.wizard.HasAbout());  // created on first use only
    GetParam().menu(bench.wizard, MenuCommand::About);
    GetParam().menu(bench.wizard, MenuCommand::About);
    EXPECT_EQ(bench.views.made, 2);  // the page and one About box
    EXPECT_TRUE(bench.views.about->shown);
    EXPECT_EQ(bench.services.exits, 0);
}

INSTANTIATE_TEST_SUITE_P(
    BothPages, PageTest,
    ::testing::Values(PageCase{"Selection",
                               [](Wizard& w, MenuCommand c) { w.Selection().OnMenu(c); },
                               [](Wizard& w) { w.Selection().OnClose(); }},
                      PageCase{"Progress", [](Wizard& w, MenuCommand c) { w.Progress().OnMenu(c); },
                               [](Wizard& w) { w.Progress().OnClose(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AboutBoxTest, ButtonsCloseOnlyTheBoxAndLinksKeepItOpen) {
    WizardBench bench("eudora.exe C:\\Mail eudora.ini");
    bench.wizard.ShowSelection();
    for (void (AboutBox::*close)() : {&AboutBox::OnOk, &AboutBox::OnCancel}) {
        bench.wizard.ShowAbout();
        EXPECT_TRUE(bench.views.about->shown);
        (bench.wizard.About().*close)();
        EXPECT_FALSE(bench.views.about->shown);
        EXPECT_TRUE(bench.views.selection->shown);
    }
    EXPECT_FALSE(bench.wizard.HasProgress());
    bench.wizard.ShowAbout();
    bench.wizard.About().OnSiteLink();
    bench.wizard.About().OnHelpLink();
    EXPECT_EQ(bench.services.opened,
              (std::vector<std::string>{"https://tarvelle.example/",
                                        "https://tarvelle.example/tarvelle/"}));
    EXPECT_TRUE(bench.views.about->shown);
    EXPECT_EQ(bench.services.exits, 0);
    EXPECT_TRUE(bench.services.messages.empty());
}

}  // namespace
}  // namespace tarvelle::wizard
