// The Qt wizard as the program builds it, over recording services: a click reaches the page and
// what the page asks for reaches the widgets (what the pages decide is tested over recording views
// in tests/wizard); a whole export through its windows; the desktop's opener is not waited for.
#include <QtTest>
#include <QtWidgets>

#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Look.h"
#include "app/QtViews.h"
#include "platform/PstStoreSession.h"
#include "platform/ShellOpen.h"
#include "support/RecordingStoreSession.h"
#include "support/WizardFakes.h"
#include "wizard/ProgressPage.h"

using namespace tarvelle::app;
using Strings = std::vector<std::string>;

namespace {

const QString kBook = QStringLiteral(TARVELLE_SOURCE_DIR "/examples/NNdbase.txt");

template <typename T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no control %s", name);
    return child;
}

void Click(QWidget& window, const char* name) {
    QTest::mouseClick(Child<QWidget>(window, name), Qt::LeftButton);
}

// The wizard as the program builds it, over recording services and a registry without Eudora.
struct QtWizard {
    tarvelle::platform::StoreSessionFactory& sessions;
    tarvelle::fakes::RecordingServices services{};
    tarvelle::fakes::FakeRegistry registry{};
    QtViews views{};
    tarvelle::wizard::Wizard wizard{services, sessions, registry, views};
};

// The one .pst in `folder`.
QString OnlyPst(const QString& folder) {
    const QFileInfoList made = QDir(folder).entryInfoList({QStringLiteral("*.pst")});
    return made.size() == 1 ? made[0].filePath() : QString();
}

}  // namespace

class QtWizardTest : public QObject {
    Q_OBJECT

    tarvelle::fakes::StoreRecord record_;
    tarvelle::fakes::RecordingSessionFactory sessions_{record_};
    QTemporaryDir dir_;

  private slots:
    void initTestCase() { InstallApplicationLook(); }

    void selectionPageIsWired() {
        QtWizard qt{sessions_};
        qt.registry.commandLine = "eudora.exe C:\\Mail eudora.ini";
        qt.wizard.ShowSelection();
        FrmMain& page = MainWindow(qt.wizard);
        auto* label = Child<QLabel>(page, "LblWABFileName");
        auto* text = Child<QLineEdit>(page, "txtWABFilename");
        auto* next = Child<QPushButton>(page, "CmdNextFrmMain");
        QCOMPARE(label->text(), QStringLiteral("C:\\Mail"));  // the load reached the widgets
        QVERIFY(Child<QRadioButton>(page, "OptDefaultWAB")->isChecked() && text->isHidden());
        // Wine's Tahoma is loaded when the system has none of its own.
        const QString tahoma = QStringLiteral("wine/fonts/tahoma.ttf");
        QVERIFY(QStandardPaths::locate(QStandardPaths::GenericDataLocation, tahoma).isEmpty() ||
                QFontInfo(page.font()).family() == QStringLiteral("Tahoma"));

        Click(page, "OptChooseWAB");
        QVERIFY(!text->isHidden() && !next->isEnabled());
        QVERIFY(Child<QAction>(page, "mnuOpen")->isEnabled());
        qt.services.file = kBook.toStdString();
        Click(page, "CmdWABBrowse");
        QVERIFY(label->text() == kBook && text->text() == kBook && next->isEnabled());
        qt.services.filters.clear();
        Child<QAction>(page, "mnuOpen")->trigger();  // browses; cancelled
        QVERIFY(!qt.services.filters.empty());

        Click(page, "OptDefaultWAB");
        QVERIFY(text->isHidden());
        QCOMPARE(label->text(), QStringLiteral("C:\\Mail"));
        Click(page, "CmdNextFrmMain");
        QVERIFY(page.isHidden() && StatusWindow(qt.wizard).isVisible());
        Child<QAction>(page, "mnuguide")->trigger();
        page.close();
        QCOMPARE(qt.services.opened, (Strings{"https://tarvelle.example/tarvelle/guide.html",
                                              "https://tarvelle.example/tarvelle/"}));
        QCOMPARE(qt.services.exits, 1);
    }

    void progressPageIsWired() {
        QtWizard qt{sessions_};
        qt.wizard.ShowProgress();
        FrmStatusConversion& page = StatusWindow(qt.wizard);
        auto* log = Child<QPlainTextEdit>(page, "txtProgressReport");
        auto* start = Child<QPushButton>(page, "CmdNextFrmMain");
        QVERIFY(page.LogText().endsWith(QStringLiteral("Click Start Exporting >\r\n")));
        QVERIFY(!Child<QAction>(page, "mnuOpen")->isEnabled());
        bool startDuringRun = true;
        qt.services.onPickFolder = [&] {
            startDuringRun = start->isEnabled();
            return std::string();  // cancelled
        };
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(!startDuringRun && start->isEnabled());
        QVERIFY(page.LogText().endsWith(QStringLiteral("Looking for file saving location...\r\n")));

        // A long log stays scrolled to its newest line.
        for (int i = 0; i < 300; ++i) qt.wizard.Progress().AppendLog(std::to_string(i));
        QCoreApplication::processEvents();
        QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
        QVERIFY(log->verticalScrollBar()->maximum() > 0);
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());

        Click(page, "CmdExit");  // answered No
        QCOMPARE(qt.services.messages.at(0).title, std::string("Close Application"));
        Child<QAction>(page, "mnuAbout")->trigger();
        QVERIFY(AboutWindow(qt.wizard).isVisible());
        Click(page, "CmdBack");
        QVERIFY(page.isHidden() && MainWindow(qt.wizard).isVisible());
        page.close();
        QCOMPARE(qt.services.exits, 1);
    }

    void aboutBoxIsWired() {
        QtWizard qt{sessions_};
        qt.wizard.ShowAbout();
        FrmAbout& about = AboutWindow(qt.wizard);
        QVERIFY(about.isVisible() && !about.isModal() && about.parentWidget() == nullptr);
        Click(about, "Label3");
        Click(about, "Label4");
        QCOMPARE(qt.services.opened,
                 (Strings{"https://tarvelle.example/", "https://tarvelle.example/tarvelle/"}));
        for (const char* button : {"OKButton", "CancelButton"}) {
            qt.wizard.ShowAbout();
            Click(about, button);
            QVERIFY(about.isHidden());
        }
    }

    // Pick a book, Next, Start, a folder: the new file is final when the run says so, and no
    // larger than the command-line tool's export of the same book.
    void wholeExportGivesAFinalFile() {
        auto sessions = tarvelle::platform::MakePstSessionFactory();
        QtWizard qt{*sessions};  // no Eudora: the page opens on choosing a file
        const QString cliOut = dir_.filePath(QStringLiteral("cli"));  // made by the tool
        qt.services.onPickFolder = [&] {
            return QDir::toNativeSeparators(dir_.path()).toStdString();
        };
        qt.services.file = kBook.toStdString();
        qt.wizard.ShowSelection();
        Click(MainWindow(qt.wizard), "CmdWABBrowse");
        Click(MainWindow(qt.wizard), "CmdNextFrmMain");
        FrmStatusConversion& status = StatusWindow(qt.wizard);
        Click(status, "CmdNextFrmMain");
        QCOMPARE(qt.services.messages.size(), size_t{2});  // the lookup's, the completion box
        QCOMPARE(qt.services.messages[1].title, std::string("Export Complete"));
        QVERIFY(status.LogText().endsWith(QStringLiteral("\r\nFinished...\r\n")));

        QProcess cli;
        cli.start(QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-export"),
                  {QStringLiteral("--file"), kBook, QStringLiteral("--out-dir"), cliOut});
        QVERIFY(cli.waitForFinished(120000) && cli.exitCode() == 0);
        const QFileInfo pst(OnlyPst(dir_.path())), cliPst(OnlyPst(cliOut));
        QVERIFY(pst.exists() && cliPst.exists());
        QCOMPARE_LE(pst.size(), cliPst.size());
        QProcess check;
        check.start(QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-verify"), {pst.filePath()});
        QVERIFY(check.waitForFinished(120000));
        const QByteArray report = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0 && report.contains(" 0 errors, 0 warnings"), report.data());
    }

    void openDocumentHandsTheAddressToTheOpenerWithoutWaiting() {
        // A stand-in xdg-open first on PATH waits for "go", then records its argument; had
        // OpenDocument waited for it, "go" would never come and it records "blocked".
        const QString go = dir_.filePath(QStringLiteral("go"));
        const QString record = dir_.filePath(QStringLiteral("opened.txt"));
        QFile script(dir_.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\nfor i in $(seq 100); do [ -e '%1' ] && break; "
                                    "sleep 0.1; done\n[ -e '%1' ] && echo \"$1\" >> '%2' || "
                                    "echo blocked >> '%2'\n")
                         .arg(go, record)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", dir_.path().toUtf8() + ":" + path);
        tarvelle::platform::OpenDocument("");  // nothing to open: the opener is not run
        tarvelle::platform::OpenDocument("https://tarvelle.example/tarvelle/");
        qputenv("PATH", path);
        QVERIFY(QFile(go).open(QIODevice::WriteOnly));

        QFile result(record);
        QTRY_VERIFY_WITH_TIMEOUT(result.size() > 0, 15000);
        QTest::qWait(300);  // a second (wrong) call would have written by now as well
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), QByteArray("https://tarvelle.example/tarvelle/\n"));
    }
};

QTEST_MAIN(QtWizardTest)
#include "qt_wizard_test.moc"
