// The About box and its links, the visual-style control, and the platform's document opener.
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/FrmAbout.h"
#include "app/FrmMain.h"
#include "app/LinkLabel.h"
#include "app/Wizard.h"
#include "app/WizardTestSupport.h"
#include "app/XPStyle.h"
#include "platform/ShellOpen.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

namespace {

int VisibleAboutBoxes() {
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("frmAbout") && window->isVisible()) {
            ++count;
        }
    }
    return count;
}

}  // namespace

class AboutBoxTest : public QObject {
    Q_OBJECT

  private:
    RecordingServices services_;
    NoStoreFactory stores_;
    std::unique_ptr<WinePrefix> prefix_;

  private slots:
    void initTestCase() {
        InstallApplicationLook();
        const std::string commandLine = "eudora.exe C:\\Mail eudora.ini";
        prefix_ = std::make_unique<WinePrefix>(&commandLine);
    }
    void init() { services_ = RecordingServices(); }

    void aboutTwiceShowsOneBox() {
        Wizard wizard(services_, stores_);
        wizard.ShowMainPage();
        wizard.MainPage().findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
        FrmAbout* first = &wizard.AboutBox();
        wizard.MainPage().findChild<QAction*>(QStringLiteral("mnuAbout"))->trigger();
        QCOMPARE(&wizard.AboutBox(), first);
        QCOMPARE(VisibleAboutBoxes(), 1);
        QVERIFY(!first->isModal());
        QVERIFY(first->parentWidget() == nullptr);  // no owner: it never blocks a page
        QVERIFY(wizard.MainPage().isVisible());
        QCOMPARE(first->windowTitle(), QStringLiteral("About - Tarvelle "));
        QCOMPARE(first->size(), QSize(438, 143));
    }

    void okCancelAndCloseOnlyCloseTheBox() {
        Wizard wizard(services_, stores_);
        wizard.ShowMainPage();
        for (const char* how : {"OKButton", "CancelButton", "close"}) {
            wizard.ShowAbout();
            FrmAbout& about = wizard.AboutBox();
            QVERIFY(about.isVisible());
            if (QLatin1String(how) == QLatin1String("close")) {
                QVERIFY(about.close());
            } else {
                QTest::mouseClick(about.findChild<QPushButton*>(QString::fromLatin1(how)),
                                  Qt::LeftButton);
            }
            QVERIFY2(about.isHidden(), how);
            QVERIFY2(wizard.MainPage().isVisible(), how);
            QVERIFY(!wizard.HasStatusPage());
            QCOMPARE(services_.exits, 0);
            QVERIFY(services_.opened.empty());
            QVERIFY(services_.messages.empty());
        }
        QVERIFY(wizard.AboutBox().findChild<QPushButton*>(QStringLiteral("OKButton"))->text() ==
                QStringLiteral("OK"));
    }

    void linksOpenTheRightAddressesAndKeepTheBoxOpen() {
        Wizard wizard(services_, stores_);
        wizard.ShowAbout();
        FrmAbout& about = wizard.AboutBox();
        auto* site = about.findChild<LinkLabel*>(QStringLiteral("Label3"));
        auto* help = about.findChild<LinkLabel*>(QStringLiteral("Label4"));
        QCOMPARE(site->text(), QStringLiteral("https://tarvelle.example"));
        QCOMPARE(help->text(), QStringLiteral("https://tarvelle.example/tarvelle/"));
        QCOMPARE(site->toolTip(), QStringLiteral("Author's Website"));
        QCOMPARE(help->toolTip(), QStringLiteral("Product Help Page"));
        QCOMPARE(site->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QVERIFY(!site->font().underline());
        QCOMPARE(site->cursor().hotSpot(), QPoint(5, 0));
        QCOMPARE(site->cursor().bitmap().size(), QSize(32, 32));

        QTest::mouseClick(site, Qt::LeftButton);
        QTest::mouseClick(help, Qt::LeftButton);
        QCOMPARE(services_.opened,
                 (std::vector<std::string>{"https://tarvelle.example/",
                                           "https://tarvelle.example/tarvelle/"}));
        QVERIFY(about.isVisible());
        QCOMPARE(services_.exits, 0);
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label5"))->text(),
                 QStringLiteral("Help       :"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label6"))->font().pointSizeF(), 14.25);
    }

    void selectionPageHelpMenuLinks() {
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        for (const char* name : {"mnuguide", "mnuWebsite", "mnuOtherProducts"}) {
            page.findChild<QAction*>(QString::fromLatin1(name))->trigger();
        }
        QCOMPARE(services_.opened, (std::vector<std::string>{
                                       "https://tarvelle.example/tarvelle/guide.html",
                                       "https://tarvelle.example/", "https://tarvelle.example/"}));
        QVERIFY(!wizard.HasAboutBox());  // created on first use only
    }

    void visualStyleControlKeepsItsFaceSize() {
        QWidget host;
        auto* control = new XPStyle(&host);
        QCOMPARE(control->size(), QSize(54, 54));
        control->resize(200, 30);
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

QTEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
