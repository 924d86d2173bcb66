// Renders the wizard's windows offscreen into PNGs for the documentation:
//   QT_QPA_PLATFORM=offscreen tarvelle-screenshots OUTPUT_DIR
// The selection page as found with Eudora installed, the About box, the progress page before
// and after an export of a sample book into a temporary folder.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <deque>
#include <memory>

#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Look.h"
#include "app/QtViews.h"
#include "platform/PstStoreSession.h"
#include "platform/Registry.h"
#include "wizard/AboutBox.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"

namespace {

using namespace tarvelle::app;
using namespace tarvelle::wizard;

// Answers every question as a user clicking through would, without showing anything.
class ScriptedServices : public Services {
  public:
    BoxResult ShowMessage(WindowHandle, const std::string&, const std::string&, BoxIcon,
                          BoxButtons buttons) override {
        return buttons == BoxButtons::Ok ? BoxResult::Ok : BoxResult::No;
    }
    std::string PickFolder(WindowHandle, const std::string&) override { return folder; }
    std::string PickFile(WindowHandle, const std::vector<FileFilter>&) override { return file; }
    void OpenDocument(const std::string&) override {}
    void ProcessPendingEvents() override { QApplication::processEvents(); }
    void ExitProcess() override {}

    std::string folder;
    std::string file;
};

bool Save(QWidget& window, const QDir& out, const char* name) {
    QApplication::processEvents();
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path, "PNG", 9)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvelle-screenshots OUTPUT_DIR\n");
        return 2;
    }
    InstallApplicationLook();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    // A private Wine prefix in which Eudora recorded its usual command line.
    QTemporaryDir prefix;
    QFile reg(prefix.filePath(QStringLiteral("user.reg")));
    if (!reg.open(QIODevice::WriteOnly)) {
        return 1;
    }
    reg.write(
        "WINE REGISTRY Version 2\n\n"
        "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1700000000\n"
        "\"current\"=\"C:\\\\PROGRA~1\\\\QUALCOMM\\\\Eudora\\\\Eudora.exe "
        "C:\\\\DOCUME~1\\\\Robin\\\\APPLIC~1\\\\QUALCOMM\\\\Eudora "
        "C:\\\\DOCUME~1\\\\Robin\\\\APPLIC~1\\\\QUALCOMM\\\\Eudora\\\\Eudora.ini\"\n");
    reg.close();
    qputenv("WINEPREFIX", prefix.path().toLocal8Bit());

    QTemporaryDir target;
    ScriptedServices services;
    services.folder = QDir::toNativeSeparators(target.path()).toStdString();
    services.file = TARVELLE_SOURCE_DIR "/examples/NNdbase.txt";
    auto sessions = tarvelle::platform::MakePstSessionFactory();
    tarvelle::platform::PlatformRegistry registry;
    QtViews views;
    Wizard wizard(services, *sessions, registry, views);

    bool ok = true;
    wizard.ShowSelection();
    FrmMain& main = MainWindow(wizard);
    ok = Save(main, out, "selection-page.png") && ok;

    wizard.ShowAbout();
    ok = Save(AboutWindow(wizard), out, "about-box.png") && ok;
    wizard.About().OnOk();

    main.findChild<QRadioButton*>(QStringLiteral("OptChooseWAB"))->click();
    main.findChild<QPushButton*>(QStringLiteral("CmdWABBrowse"))->click();
    ok = Save(main, out, "selection-page-choose.png") && ok;
    main.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"))->click();
    FrmStatusConversion& status = StatusWindow(wizard);
    ok = Save(status, out, "progress-page.png") && ok;
    status.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"))->click();
    ok = Save(status, out, "progress-page-after-export.png") && ok;
    return ok ? 0 : 1;
}
