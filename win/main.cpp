// tarvelle.exe: the wizard for Windows. Opens on the selection page; the wizard core decides
// everything, the windows here only draw and report.
#include <objbase.h>
#include <windows.h>

#include <memory>

#include "Look.h"
#include "Services.h"
#include "Views.h"
#include "platform/PstStoreSession.h"
#include "platform/Registry.h"
#include "wizard/Wizard.h"

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*show*/) {
    // The pickers are COM objects; they want a single-threaded apartment.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    tarvelle::win::PictureSupport pictures;

    tarvelle::win::WindowsServices services;
    std::unique_ptr<tarvelle::platform::StoreSessionFactory> sessions =
        tarvelle::platform::MakePstSessionFactory();
    tarvelle::platform::PlatformRegistry registry;
    tarvelle::win::WindowsViews views;
    tarvelle::wizard::Wizard wizard(services, *sessions, registry, views);
    wizard.ShowSelection();

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) tarvelle::win::DispatchUiMessage(message);
    return static_cast<int>(message.wParam);
}
