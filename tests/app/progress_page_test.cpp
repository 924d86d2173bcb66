// The conversion progress page: the log's first lines, appends and scrolling, runs started from
// the page, Back, Exit and closing the window.
#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QtTest>

#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Wizard.h"
#include "app/WizardTestSupport.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

namespace {

const QString kFirstLines =
    QStringLiteral("Address Book Information Loaded...\r\nClick Start Exporting >\r\n");
const QString kAskFolder = QStringLiteral("Looking for file saving location...\r\n");

template <typename T>
T* Child(QWidget& page, const char* name) {
    T* child = page.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

}  // namespace

class ProgressPageTest : public QObject {
    Q_OBJECT

  private:
    RecordingServices services_;
    NoStoreFactory stores_;
    std::unique_ptr<WinePrefix> prefix_;

  private slots:
    void initTestCase() {
        InstallApplicationLook();
        prefix_ = std::make_unique<WinePrefix>();  // no Eudora: choose mode, one message
    }
    void init() { services_ = RecordingServices(); }

    void firstShowingHoldsExactlyTheTwoFirstLines() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        QCOMPARE(page.LogText(), kFirstLines);
        auto* log = Child<QPlainTextEdit>(page, "txtProgressReport");
        QVERIFY(log->isReadOnly());
        QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
        QVERIFY(!page.findChild<QAction*>(QStringLiteral("mnuOpen"))->isEnabled());
        QCOMPARE(page.centralWidget()->size(), QSize(498, 362));
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->text(),
                 QStringLiteral("&Start Exporting >"));
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->geometry(), QRect(104, 328, 113, 25));
        // Tab order among the buttons: Start, Back, Exit.
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->nextInFocusChain(),
                 static_cast<QWidget*>(Child<QPushButton>(page, "CmdBack")));
        QCOMPARE(Child<QPushButton>(page, "CmdBack")->nextInFocusChain(),
                 static_cast<QWidget*>(Child<QPushButton>(page, "CmdExit")));
        // Sizable; a size change moves nothing.
        const QRect start = Child<QPushButton>(page, "CmdNextFrmMain")->geometry();
        page.resize(page.width() + 120, page.height() + 80);
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->geometry(), start);
    }

    void backThenNextKeepsTheLog() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        page.AppendLog("kept line");
        QTest::mouseClick(Child<QPushButton>(page, "CmdBack"), Qt::LeftButton);
        QVERIFY(page.isHidden());
        QVERIFY(wizard.MainPage().isVisible());
        wizard.MainPage().hide();
        wizard.ShowStatusPage();
        QCOMPARE(page.LogText(), kFirstLines + QStringLiteral("kept line\r\n"));
    }

    void twoRunsAppend() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        auto* start = Child<QPushButton>(page, "CmdNextFrmMain");
        auto* log = Child<QPlainTextEdit>(page, "txtProgressReport");
        QString shownAtPicker;
        services_.onPickFolder = [&] {
            // What the user sees while the picker is open: the run's line is already there.
            shownAtPicker = log->toPlainText();
            return std::string();  // cancelled: the run ends after asking
        };
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(shownAtPicker.endsWith(QStringLiteral("Looking for file saving location...\n")));
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(services_.folderTitles.size(), size_t{2});
        QCOMPARE(services_.folderTitles[0],
                 std::string("Choose Folder to Save Exported Outlook Contacts File"));
        QCOMPARE(page.LogText(), kFirstLines + kAskFolder + kAskFolder);
        QVERIFY(start->isEnabled());
    }

    void secondStartDuringARunIsIgnored() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        auto* start = Child<QPushButton>(page, "CmdNextFrmMain");
        bool enabledDuringRun = true;
        bool exportingDuringRun = false;
        services_.onPickFolder = [&] {
            // The user presses Start again while the run waits in the folder picker.
            enabledDuringRun = start->isEnabled();
            exportingDuringRun = page.Exporting();
            QTest::mouseClick(start, Qt::LeftButton);
            page.StartExporting();  // a press that was queued before the button went off
            return std::string();
        };
        QTest::mouseClick(start, Qt::LeftButton);
        QCOMPARE(services_.folderTitles.size(), size_t{1});  // no nested run
        QVERIFY(!enabledDuringRun);
        QVERIFY(exportingDuringRun);
        QVERIFY(start->isEnabled());
        QVERIFY(!page.Exporting());
        QCOMPARE(page.LogText(), kFirstLines + kAskFolder);

        services_.onPickFolder = nullptr;
        QTest::mouseClick(start, Qt::LeftButton);  // works again after the run
        QCOMPARE(services_.folderTitles.size(), size_t{2});
    }

    void longLogStaysScrolledToItsEnd() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        auto* log = Child<QPlainTextEdit>(page, "txtProgressReport");
        for (int i = 1; i <= 400; ++i) {
            page.AppendLog("Creating Contact : " + std::to_string(i) + " - Someone");
            if (i % 100 == 0) {
                QCoreApplication::processEvents();
                QCOMPARE(log->textCursor().position(), log->document()->characterCount() - 1);
                QCOMPARE(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
                QVERIFY(log->verticalScrollBar()->maximum() > 0);
            }
        }
        QVERIFY(page.LogText().endsWith(QStringLiteral("Creating Contact : 400 - Someone\r\n")));
        QCOMPARE(page.LogText().count(QStringLiteral("\r\n")), 402);
    }

    void exitAnsweredNoThenYesDuringARun() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        FrmStatusConversion& page = wizard.StatusPage();
        auto* exit = Child<QPushButton>(page, "CmdExit");
        QCOMPARE(exit->text(), QStringLiteral("E&xit"));
        services_.answers = {BoxResult::No};
        QTest::mouseClick(exit, Qt::LeftButton);
        QCOMPARE(services_.exits, 0);
        QCOMPARE(page.LogText(), kFirstLines);
        QVERIFY(page.isVisible());

        // Exit from the menu while a run waits in the folder picker: Yes ends the program.
        services_.onPickFolder = [&] {
            services_.answers = {BoxResult::Yes};
            page.findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
            return std::string();
        };
        QTest::mouseClick(Child<QPushButton>(page, "CmdNextFrmMain"), Qt::LeftButton);
        QCOMPARE(services_.exits, 1);
        QVERIFY(services_.opened.empty());
        QCOMPARE(services_.messages.back().title, std::string("Close Application"));
    }

    void closingTheWindowOpensTheProductPageOnce() {
        Wizard wizard(services_, stores_);
        wizard.ShowStatusPage();
        const size_t messages = services_.messages.size();
        wizard.StatusPage().close();
        QCOMPARE(services_.messages.size(), messages);  // no question
        QCOMPARE(services_.opened, std::vector<std::string>{"https://tarvelle.example/tarvelle/"});
        QCOMPARE(services_.exits, 1);
    }

    void helpMenuLinks() {
        Wizard wizard(services_, stores_);
        FrmStatusConversion& page = wizard.StatusPage();
        for (const char* name : {"mnuguide", "mnuWebsite", "mnuOtherProducts"}) {
            page.findChild<QAction*>(QString::fromLatin1(name))->trigger();
        }
        QCOMPARE(services_.opened, (std::vector<std::string>{
                                       "https://tarvelle.example/tarvelle/guide.html",
                                       "https://tarvelle.example/", "https://tarvelle.example/"}));
        page.findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
        QVERIFY(wizard.HasAboutBox());
        QVERIFY(page.findChild<QAction*>(QStringLiteral("mnuWebsite"))->text() ==
                QStringLiteral("Website : https://tarvelle.example"));
    }
};

QTEST_MAIN(ProgressPageTest)
#include "progress_page_test.moc"
