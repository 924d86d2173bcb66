#include "app/Wizard.h"

#include "app/AppServices.h"
#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "export/WebSite.h"
#include "platform/CommonControls.h"

namespace tarvelle::app {

std::string WebAddress(std::string_view path) {
    std::string address(exporter::kWebSiteBase);
    address += path;
    return address;
}

Wizard::Wizard(AppServices& services, platform::StoreSessionFactory& sessions)
    : services_(services), sessions_(sessions) {}

Wizard::~Wizard() = default;

FrmMain& Wizard::MainPage() {
    if (!main_) {
        platform::InitCommonControls();  // before the window exists
        main_ = std::make_unique<FrmMain>(*this);
        main_->Load();
    }
    return *main_;
}

FrmStatusConversion& Wizard::StatusPage() {
    if (!status_) {
        platform::InitCommonControls();  // before the window exists
        status_ = std::make_unique<FrmStatusConversion>(*this);
        status_->Load();
    }
    return *status_;
}

FrmAbout& Wizard::AboutBox() {
    if (!about_) {
        platform::InitCommonControls();  // before the window exists
        about_ = std::make_unique<FrmAbout>(*this);
    }
    return *about_;
}

void Wizard::ShowMainPage() { MainPage().ShowPage(); }

void Wizard::ShowStatusPage() { StatusPage().ShowPage(); }

void Wizard::ShowAbout() {
    FrmAbout& about = AboutBox();
    about.ShowBox();
}

void Wizard::OpenLink(std::string_view path) { services_.OpenDocument(WebAddress(path)); }

void Wizard::ConfirmExit(QWidget* parent) {
    const BoxResult answer = services_.ShowMessage(parent, "Close Application",
                                                   "Do you really want to close the application.",
                                                   BoxIcon::None, BoxButtons::YesNo);
    if (answer == BoxResult::Yes) {
        services_.ExitProcess();
    }
}

void Wizard::PageClosing() {
    OpenLink(kProductPath);
    services_.ExitProcess();
}

}  // namespace tarvelle::app
