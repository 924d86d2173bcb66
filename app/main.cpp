// Tarvelle: moves a Eudora address book into a new Outlook .pst. Opens on the selection page.
#include <QApplication>
#include <csignal>
#include <memory>

#include "app/AppServices.h"
#include "app/Look.h"
#include "app/QtViews.h"
#include "platform/PstStoreSession.h"
#include "platform/Registry.h"
#include "platform/StandardStreams.h"
#include "wizard/Wizard.h"

int main(int argc, char** argv) {
    if (!tarvelle::platform::FillClosedStandardDescriptors()) return 1;
#ifdef SIGXFSZ
    // A file-size limit must turn into a write error the run reports, not kill the wizard.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvelle"));
    QApplication::setDesktopFileName(QStringLiteral("example.tarvelle.Tarvelle"));
    tarvelle::app::InstallApplicationLook();

    tarvelle::app::DesktopServices services;
    std::unique_ptr<tarvelle::platform::StoreSessionFactory> sessions =
        tarvelle::platform::MakePstSessionFactory();
    tarvelle::platform::PlatformRegistry registry;
    tarvelle::app::QtViews views;
    tarvelle::wizard::Wizard wizard(services, *sessions, registry, views);
    wizard.ShowSelection();
    return QApplication::exec();
}
