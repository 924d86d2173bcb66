// The Qt windows are wired to the wizard: a click reaches the page, and what the page asks for
// reaches the widgets. What the pages do is tested over recording views (tests/wizard); here only
// that the Qt windows pass it on, and the look the windows own themselves.
#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "WizardTestSupport.h"
#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/LinkLabel.h"
#include "app/XPStyle.h"
#include "platform/ShellOpen.h"
#include "support/RecordingStoreSession.h"
#include "wizard/ProgressPage.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

class WiringTest : public QObject {
    Q_OBJECT

  private:
    tarvelle::fakes::StoreRecord record_;
    tarvelle::fakes::RecordingSessionFactory sessions_{record_};

  private slots:
    void initTestCase() { InstallApplicationLook(); }

    void selectionPage() {
        QtWizard qt(sessions_, "eudora.exe C:\\Mail eudora.ini");
        qt.wizard.ShowSelection();
        FrmMain& page = MainWindow(qt.wizard);
        auto* label = Child<QLabel>(page, "LblWABFileName");
        auto* text = Child<QLineEdit>(page, "txtWABFilename");
        auto* next = Child<QPushButton>(page, "CmdNextFrmMain");
        // The load reached the widgets.
        QCOMPARE(label->text(), QStringLiteral("C:\\Mail"));
        QVERIFY(Child<QRadioButton>(page, "OptDefaultWAB")->isChecked());
        QVERIFY(text->isHidden());

        QTest::mouseClick(Child<QRadioButton>(page, "OptChooseWAB"), Qt::LeftButton);
        QVERIFY(!text->isHidden() && !next->isEnabled());
        QVERIFY(page.findChild<QAction*>(QStringLiteral("mnuOpen"))->isEnabled());

        QTemporaryDir dir;
        const QString book = dir.filePath(QStringLiteral("book.txt"));
        QFile file(book);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("alias a a@example.com\r\n");
        file.close();
        qt.services.files = {book.toStdString(), {}};
        QTest::mouseClick(Child<QPushButton>(page, "CmdWABBrowse"), Qt::LeftButton);
        QCOMPARE(label->text(), book);
        QCOMPARE(text->text(), book);
        QVERIFY(next->isEnabled());
        page.findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();  // cancelled
        QCOMPARE(qt.services.fileFilters.size(), size_t{2});

        QTest::mouseClick(Child<QRadioButton>(page, "OptDefaultWAB"), Qt::LeftButton);
        QVERIFY(text->isHidden());
        QCOMPARE(label->text(), QStringLiteral("C:\\Mail"));

        QTest::mouseClick(next, Qt::LeftButton);
        QVERIFY(page.isHidden());
        QVERIFY(StatusWindow(qt.wizard).isVisible());

        page.findChild<QAction*>(QStringLiteral("mnuguide"))->trigger();
        page.close();
        QCOMPARE(qt.services.opened,
                 (std::vector<std::string>{"https://tarvelle.example/tarvelle/guide.html",
                                           "https://tarvelle.example/tarvelle/"}));
        QCOMPARE(qt.services.exits, 1);
    }

    void progressPage() {
        QtWizard qt(sessions_, std::nullopt);
        qt.wizard.ShowProgress();
        FrmStatusConversion& page = StatusWindow(qt.wizard);
        auto* log = Child<QPlainTextEdit>(page, "txtProgressReport");
        auto* start = Child<QPushButton>(page, "CmdNextFrmMain");
        QCOMPARE(
            page.LogText(),
            QStringLiteral("Address Book Information Loaded...\r\nClick Start Exporting >\r\n"));
        QVERIFY(!page.findChild<QAction*>(QStringLiteral("mnuOpen"))->isEnabled());

        bool startEnabledDuringRun = true;
        qt.services.onPickFolder = [&] {
            startEnabledDuringRun = start->isEnabled();
            return std::string();  // cancelled
        };
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(!startEnabledDuringRun);
        QVERIFY(start->isEnabled());
        QVERIFY(page.LogText().endsWith(QStringLiteral("Looking for file saving location...\r\n")));

        // A long log stays scrolled to its newest line.
        for (int i = 1; i <= 300; ++i) {
            qt.wizard.Progress().AppendLog("Creating Contact : " + std::to_string(i) + " - x");
        }
        QCoreApplication::processEvents();
        QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
        QVERIFY(log->verticalScrollBar()->maximum() > 0);
        QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());

        qt.services.answers = {tarvelle::wizard::BoxResult::No};
        QTest::mouseClick(Child<QPushButton>(page, "CmdExit"), Qt::LeftButton);
        QCOMPARE(qt.services.messages.back().title, std::string("Close Application"));
        page.findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
        QVERIFY(AboutWindow(qt.wizard).isVisible());

        QTest::mouseClick(Child<QPushButton>(page, "CmdBack"), Qt::LeftButton);
        QVERIFY(page.isHidden());
        QVERIFY(MainWindow(qt.wizard).isVisible());
        page.close();
        QCOMPARE(qt.services.exits, 1);
    }

    void aboutBox() {
        QtWizard qt(sessions_, std::nullopt);
        qt.wizard.ShowAbout();
        FrmAbout& about = AboutWindow(qt.wizard);
        QVERIFY(about.isVisible());
        QVERIFY(!about.isModal() && about.parentWidget() == nullptr);
        QTest::mouseClick(Child<LinkLabel>(about, "Label3"), Qt::LeftButton);
        QTest::mouseClick(Child<LinkLabel>(about, "Label4"), Qt::LeftButton);
        QCOMPARE(qt.services.opened,
                 (std::vector<std::string>{"https://tarvelle.example/",
                                           "https://tarvelle.example/tarvelle/"}));
        QTest::mouseClick(Child<QPushButton>(about, "OKButton"), Qt::LeftButton);
        QVERIFY(about.isHidden());
        qt.wizard.ShowAbout();
        QTest::mouseClick(Child<QPushButton>(about, "CancelButton"), Qt::LeftButton);
        QVERIFY(about.isHidden());
    }

    void layoutAtNinetySixDpi() {
        QtWizard qt(sessions_, std::nullopt);
        qt.wizard.ShowSelection();
        FrmMain& main = MainWindow(qt.wizard);
        QCOMPARE(main.centralWidget()->size(), QSize(498, 362));
        QCOMPARE(main.minimumSize(), main.maximumSize());  // not resizable
        QCOMPARE(Child<QPushButton>(main, "CmdNextFrmMain")->geometry(), QRect(400, 328, 89, 25));
        QCOMPARE(Child<QLabel>(main, "LblWABFileName")->geometry(), QRect(16, 112, 465, 71));
        if (!QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                    QStringLiteral("wine/fonts/tahoma.ttf"))
                 .isEmpty()) {
            // Wine's Tahoma is loaded when the system has none of its own.
            QCOMPARE(QFontInfo(main.font()).family(), QStringLiteral("Tahoma"));
        }
        FrmStatusConversion& status = StatusWindow(qt.wizard);
        QCOMPARE(Child<QPushButton>(status, "CmdNextFrmMain")->geometry(),
                 QRect(104, 328, 113, 25));
        // Sizable; a size change moves nothing.
        status.resize(status.width() + 120, status.height() + 80);
        QCOMPARE(Child<QPushButton>(status, "CmdNextFrmMain")->geometry(),
                 QRect(104, 328, 113, 25));
        QCOMPARE(AboutWindow(qt.wizard).size(), QSize(438, 143));
        auto* link = Child<LinkLabel>(AboutWindow(qt.wizard), "Label3");
        QCOMPARE(link->cursor().hotSpot(), QPoint(5, 0));
        QVERIFY(!link->font().underline());
    }

    void visualStyleControlKeepsItsFaceSize() {
        QWidget host;
        auto* control = new XPStyle(&host);
        QCOMPARE(control->size(), QSize(54, 54));
        control->setGeometry(10, 10, 5, 500);
        QCOMPARE(control->size(), QSize(54, 54));
        QCOMPARE(control->pos(), QPoint(10, 10));
    }

    void openDocumentHandsTheAddressToTheOpenerWithoutWaiting() {
        // A stand-in xdg-open on PATH waits until the test says "go", then records what it was
        // given. Were OpenDocument to wait for it, "go" would never come and it records
        // "blocked".
        QTemporaryDir bin;
        const QString go = bin.filePath(QStringLiteral("go"));
        const QString record = bin.filePath(QStringLiteral("opened.txt"));
        QFile script(bin.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(("#!/bin/sh\ni=0\nwhile [ ! -e '" + go +
                      "' ] && [ $i -lt 100 ]; do sleep 0.1; "
                      "i=$((i+1)); done\nif [ -e '" +
                      go + "' ]; then printf '%s\\n' \"$1\" >> '" + record +
                      "'; else echo blocked >> '" + record + "'; fi\n")
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ":" + oldPath);

        tarvelle::platform::OpenDocument("");
        tarvelle::platform::OpenDocument("https://tarvelle.example/tarvelle/");
        qputenv("PATH", oldPath);
        QFile goFile(go);
        QVERIFY(goFile.open(QIODevice::WriteOnly));
        goFile.close();

        QFile result(record);
        QTRY_VERIFY_WITH_TIMEOUT(result.exists() && result.size() > 0, 15000);
        QTest::qWait(300);  // a second (wrong) call would have written by now as well
        QVERIFY(result.open(QIODevice::ReadOnly));
        // Only the non-empty target reached the opener, and it did not block the caller.
        QCOMPARE(result.readAll(), QByteArray("https://tarvelle.example/tarvelle/\n"));
    }
};

QTEST_MAIN(WiringTest)
#include "wiring_test.moc"
