// A whole export driven through the wizard: pick a sample book, Next, Start, a folder; the log
// holds the run's lines and the new .pst passes the strict structure check.
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Wizard.h"
#include "app/WizardTestSupport.h"
#include "platform/PstStoreSession.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

class WholeExportTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallApplicationLook(); }

    void sampleBookThroughTheWizard() {
        WinePrefix prefix;  // no Eudora installed: the page opens on choosing a file
        RecordingServices services;
        auto sessions = tarvelle::platform::MakePstSessionFactory();
        Wizard wizard(services, *sessions);
        QTemporaryDir out;
        services.folder = QDir::toNativeSeparators(out.path()).toStdString();
        const std::string book = TARVELLE_SHARED_DIR "/eudora-samples/01-typical/NNdbase.txt";
        services.files.push_back(book);

        wizard.ShowMainPage();
        FrmMain& main = wizard.MainPage();
        QTest::mouseClick(main.findChild<QPushButton*>(QStringLiteral("CmdWABBrowse")),
                          Qt::LeftButton);
        auto* next = main.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"));
        QVERIFY(next->isEnabled());
        QTest::mouseClick(next, Qt::LeftButton);
        FrmStatusConversion& status = wizard.StatusPage();
        QVERIFY(status.isVisible());
        services.messages.clear();
        QTest::mouseClick(status.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain")),
                          Qt::LeftButton);

        // The completion box, and nothing else.
        QCOMPARE(services.messages.size(), size_t{1});
        QCOMPARE(services.messages[0].title, std::string("Export Complete"));
        QCOMPARE(services.messages[0].text, std::string("Address Book Export Complete !"));
        QCOMPARE(services.messages[0].icon, BoxIcon::Information);

        const QStringList lines = status.LogText().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.last(), QString());  // the last line ends in CR LF as well
        const QStringList head = lines.mid(0, 9);
        QCOMPARE(head, (QStringList{
                           "Address Book Information Loaded...", "Click Start Exporting >",
                           "Looking for file saving location...", "Checking Outlook Components...",
                           "Successfully located required components.",
                           "Creating Outlook Personal Storage File...",
                           "Applying Personal Folders Naming...", "Initializing default folders...",
                           "Reinitiating Outlook Connection..."}));
        QVERIFY(lines.filter(QStringLiteral("Creating Contact : 1 - ")).size() == 1);
        QVERIFY(lines.filter(QStringLiteral("+ Creating Group : ")).size() >= 1);
        QCOMPARE(lines[lines.size() - 2], QStringLiteral("Finished..."));

        const QStringList made = QDir(out.path()).entryList({QStringLiteral("*.pst")});
        QCOMPARE(made.size(), 1);
        QVERIFY(made[0].startsWith(QStringLiteral("Eudora Address Book Created-")));
        QProcess check;
        check.start(QStringLiteral(TARVELLE_PYTHON),
                    {QStringLiteral(TARVELLE_SHARED_DIR "/tools/pstwalk.py"),
                     QStringLiteral("check"), QDir(out.path()).filePath(made[0])});
        QVERIFY(check.waitForFinished(120000));
        const QByteArray report = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0, report.constData());
        QVERIFY2(report.contains(" 0 errors"), report.constData());
    }

    void backAndAboutDuringARunLetItFinish() {
        WinePrefix prefix;
        RecordingServices services;
        auto sessions = tarvelle::platform::MakePstSessionFactory();
        Wizard wizard(services, *sessions);
        QTemporaryDir out;
        services.files.push_back(TARVELLE_SHARED_DIR "/eudora-samples/01-typical/NNdbase.txt");
        wizard.ShowMainPage();
        wizard.MainPage().BrowseAndCheck();
        QTest::mouseClick(
            wizard.MainPage().findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain")),
            Qt::LeftButton);
        FrmStatusConversion& status = wizard.StatusPage();
        services.onPickFolder = [&] {
            // While the run waits for its folder the user goes back and opens the About box.
            QTest::mouseClick(status.findChild<QPushButton*>(QStringLiteral("CmdBack")),
                              Qt::LeftButton);
            wizard.ShowAbout();
            return QDir::toNativeSeparators(out.path()).toStdString();
        };
        status.StartExporting();
        QVERIFY(status.isHidden());
        QVERIFY(wizard.MainPage().isVisible());
        QVERIFY(wizard.AboutBox().isVisible());
        QVERIFY(status.LogText().endsWith(QStringLiteral("Finished...\r\n")));
        QCOMPARE(QDir(out.path()).entryList({QStringLiteral("*.pst")}).size(), 1);
        QCOMPARE(services.exits, 0);
    }
};

QTEST_MAIN(WholeExportTest)
#include "whole_export_test.moc"
