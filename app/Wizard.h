// The wizard: its three windows, each one shared instance created on first use and shown
// modeless, the web links, and the two ways the program ends.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/StoreSession.h"

class QWidget;

namespace tarvelle::app {

class AppServices;
class FrmMain;
class FrmStatusConversion;
class FrmAbout;

// Link paths below the web site's base address.
inline constexpr std::string_view kGuidePath = "/tarvelle/guide.html";
inline constexpr std::string_view kHomePath = "/";
inline constexpr std::string_view kProductPath = "/tarvelle/";

// The full address of a path on the product's web site.
std::string WebAddress(std::string_view path);

class Wizard {
  public:
    Wizard(AppServices& services, platform::StoreSessionFactory& sessions);
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // The selection page, created and loaded (with its Eudora lookup) on first use; not shown.
    FrmMain& MainPage();
    // The progress page, created and loaded on first use; not shown.
    FrmStatusConversion& StatusPage();
    // The About box, created on first use.
    FrmAbout& AboutBox();
    bool HasMainPage() const { return main_ != nullptr; }
    bool HasStatusPage() const { return status_ != nullptr; }
    bool HasAboutBox() const { return about_ != nullptr; }

    void ShowMainPage();
    void ShowStatusPage();
    // Shows the About box without an owner, or brings the open one to the front.
    void ShowAbout();

    // Opens base address + `path` in the browser.
    void OpenLink(std::string_view path);
    // "Do you really want to close the application." Yes ends the program at once.
    void ConfirmExit(QWidget* parent);
    // A page's window is being closed: the product page opens, then the program ends at once.
    void PageClosing();

    AppServices& Services() { return services_; }
    platform::StoreSessionFactory& Sessions() { return sessions_; }

  private:
    AppServices& services_;
    platform::StoreSessionFactory& sessions_;
    std::unique_ptr<FrmMain> main_;
    std::unique_ptr<FrmStatusConversion> status_;
    std::unique_ptr<FrmAbout> about_;
};

}  // namespace tarvelle::app
