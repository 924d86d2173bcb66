// Tarvelle: moves a Eudora address book into a new Outlook .pst. Opens on the selection page.
#include <QApplication>
#include <memory>

#include "app/AppServices.h"
#include "app/Look.h"
#include "app/Wizard.h"
#include "platform/PstStoreSession.h"
#include "platform/StandardStreams.h"

int main(int argc, char** argv) {
    if (!tarvelle::platform::FillClosedStandardDescriptors()) return 1;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvelle"));
    QApplication::setDesktopFileName(QStringLiteral("example.tarvelle.Tarvelle"));
    tarvelle::app::InstallApplicationLook();

    tarvelle::app::DesktopServices services;
    std::unique_ptr<tarvelle::platform::StoreSessionFactory> sessions =
        tarvelle::platform::MakePstSessionFactory();
    tarvelle::app::Wizard wizard(services, *sessions);
    wizard.ShowMainPage();
    return QApplication::exec();
}
