#include "wizard/Wizard.h"

#include "platform/CommonControls.h"
#include "wizard/AboutBox.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"

namespace tarvelle::wizard {

Wizard::Wizard(Services& services, platform::StoreSessionFactory& sessions,
               eudora::RegistryReader& registry, ViewFactory& views)
    : services_(services), sessions_(sessions), registry_(registry), views_(views) {}

Wizard::~Wizard() = default;

SelectionPage& Wizard::Selection() {
    if (!selection_) {
        platform::InitCommonControls();  // before the window exists
        selection_ = std::make_unique<SelectionPage>(*this);
        selection_->Attach(views_.MakeSelectionView(*selection_));
        selection_->Load();
    }
    return *selection_;
}

ProgressPage& Wizard::Progress() {
    if (!progress_) {
        platform::InitCommonControls();  // before the window exists
        progress_ = std::make_unique<ProgressPage>(*this);
        progress_->Attach(views_.MakeProgressView(*progress_));
        progress_->Load();
    }
    return *progress_;
}

AboutBox& Wizard::About() {
    if (!about_) {
        platform::InitCommonControls();  // before the window exists
        about_ = std::make_unique<AboutBox>(*this);
        about_->Attach(views_.MakeAboutView(*about_));
    }
    return *about_;
}

void Wizard::ShowSelection() { Selection().Show(); }

void Wizard::ShowProgress() { Progress().Show(); }

void Wizard::ShowAbout() { About().Show(); }

void Wizard::RunMenuCommand(MenuCommand command, WindowHandle page) {
    switch (command) {
        case MenuCommand::OpenAddressBook:
            break;  // the selection page's own
        case MenuCommand::Exit:
            ConfirmExit(page);
            break;
        case MenuCommand::ProductGuide:
            OpenLink(kGuidePath);
            break;
        case MenuCommand::About:
            ShowAbout();
            break;
        case MenuCommand::Website:
        case MenuCommand::OtherProducts:
            OpenLink(kHomePath);
            break;
    }
}

void Wizard::OpenLink(std::string_view path) { services_.OpenDocument(WebAddress(path)); }

void Wizard::ConfirmExit(WindowHandle owner) {
    const BoxResult answer = services_.ShowMessage(owner, "Close Application",
                                                   "Do you really want to close the application.",
                                                   BoxIcon::None, BoxButtons::YesNo);
    if (answer == BoxResult::Yes) services_.ExitProcess();
}

void Wizard::PageClosing() {
    OpenLink(kProductPath);
    services_.ExitProcess();
}

}  // namespace tarvelle::wizard
