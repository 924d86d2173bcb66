// The wizard: its three windows, each one shared instance created on first use and shown
// modeless, the menus they share, the web links, and the two ways the program ends. A front end
// supplies the windows (ViewFactory) and the desktop's services; everything the wizard does is
// here, so every front end behaves alike.
#pragma once

#include <memory>
#include <string_view>

#include "wizard/Menus.h"
#include "wizard/Services.h"

namespace tarvelle::eudora {
class RegistryReader;
}
namespace tarvelle::platform {
class StoreSessionFactory;
}

namespace tarvelle::wizard {

class AboutBox;
class AboutView;
class ProgressPage;
class ProgressView;
class SelectionPage;
class SelectionView;

// Creates the front end's windows. Each view reports the user's actions to the page given.
class ViewFactory {
  public:
    virtual ~ViewFactory() = default;
    virtual std::unique_ptr<SelectionView> MakeSelectionView(SelectionPage& page) = 0;
    virtual std::unique_ptr<ProgressView> MakeProgressView(ProgressPage& page) = 0;
    virtual std::unique_ptr<AboutView> MakeAboutView(AboutBox& box) = 0;
};

class Wizard {
  public:
    Wizard(Services& services, platform::StoreSessionFactory& sessions,
           eudora::RegistryReader& registry, ViewFactory& views);
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // The selection page, created and loaded (with its Eudora lookup) on first use; not shown.
    SelectionPage& Selection();
    // The progress page, created and loaded on first use; not shown.
    ProgressPage& Progress();
    // The About box, created on first use; not shown.
    AboutBox& About();

    void ShowSelection();
    void ShowProgress();
    // Shows the About box without an owner, or brings the open one to the front.
    void ShowAbout();

    // The menu entries both pages share: everything but "Open Address Book...".
    void RunMenuCommand(MenuCommand command, WindowHandle page);
    // Opens base address + `path` in the browser.
    void OpenLink(std::string_view path);
    // "Do you really want to close the application." Yes ends the program at once.
    void ConfirmExit(WindowHandle owner);
    // A page's window is being closed: the product page opens, then the program ends at once.
    void PageClosing();

    Services& GetServices() { return services_; }
    platform::StoreSessionFactory& Sessions() { return sessions_; }
    eudora::RegistryReader& Registry() { return registry_; }

  private:
    Services& services_;
    platform::StoreSessionFactory& sessions_;
    eudora::RegistryReader& registry_;
    ViewFactory& views_;
    std::unique_ptr<SelectionPage> selection_;
    std::unique_ptr<ProgressPage> progress_;
    std::unique_ptr<AboutBox> about_;
};

}  // namespace tarvelle::wizard
