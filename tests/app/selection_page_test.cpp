// The address-book selection page: lookup at load, the two modes, browse and check, Next and
// Back, Exit and closing the window.
#include <QAction>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Wizard.h"
#include "app/WizardTestSupport.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

namespace {

const char kNotValid[] =
    " *** NOT a Valid Eudora Address Book  ***\r\nPlease select a correct Eudora Address Book.";

// Every control state the page keeps between visits.
struct PageState {
    bool defaultChecked, defaultEnabled, chooseChecked;
    bool textVisible, textEnabled, browseVisible, browseEnabled, nextEnabled, openEnabled;
    QString label, text;
    bool operator==(const PageState&) const = default;
};

template <typename T>
T* Child(QWidget& page, const char* name) {
    T* child = page.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        qFatal("no control %s", name);
    }
    return child;
}

PageState StateOf(FrmMain& page) {
    auto* def = Child<QRadioButton>(page, "OptDefaultWAB");
    auto* choose = Child<QRadioButton>(page, "OptChooseWAB");
    auto* text = Child<QLineEdit>(page, "txtWABFilename");
    auto* browse = Child<QPushButton>(page, "CmdWABBrowse");
    return {def->isChecked(),
            def->isEnabled(),
            choose->isChecked(),
            !text->isHidden(),
            text->isEnabled(),
            !browse->isHidden(),
            browse->isEnabled(),
            Child<QPushButton>(page, "CmdNextFrmMain")->isEnabled(),
            page.findChild<QAction*>(QStringLiteral("mnuOpen"))->isEnabled(),
            Child<QLabel>(page, "LblWABFileName")->text(),
            text->text()};
}

}  // namespace

class SelectionPageTest : public QObject {
    Q_OBJECT

  private:
    RecordingServices services_;
    NoStoreFactory stores_;
    QTemporaryDir files_;

    std::string Book(const QString& name, const QByteArray& bytes) {
        return WriteFile(files_, name, bytes);
    }
    // A page loaded with Eudora's data folder found.
    std::unique_ptr<Wizard> WizardWithFolder(const std::string& folder, WinePrefix*& prefix) {
        static std::string commandLine;
        commandLine = "C:\\Eudora\\Eudora.exe " + folder + " C:\\Eudora\\Eudora.ini";
        prefix = new WinePrefix(&commandLine);
        return std::make_unique<Wizard>(services_, stores_);
    }
    void ChooseFile(FrmMain& page, const std::string& path) {
        services_.files.push_back(path);
        QTest::mouseClick(Child<QPushButton>(page, "CmdWABBrowse"), Qt::LeftButton);
    }

  private slots:
    void initTestCase() { InstallApplicationLook(); }
    void init() { services_ = RecordingServices(); }

    void loadsInDefaultModeWhenTheFolderIsFound() {
        WinePrefix* prefix = nullptr;
        auto wizard = WizardWithFolder("/home/me/eudora", prefix);
        std::unique_ptr<WinePrefix> cleanup(prefix);
        FrmMain& page = wizard->MainPage();
        QVERIFY(services_.messages.empty());
        const PageState state = StateOf(page);
        QCOMPARE(state.label, QStringLiteral("/home/me/eudora"));
        QVERIFY(state.defaultChecked && state.defaultEnabled && !state.chooseChecked);
        QVERIFY(!state.textVisible && !state.textEnabled && !state.browseVisible);
        QVERIFY(state.nextEnabled);
        QVERIFY(!state.openEnabled);
        const auto source = page.SelectedSource();
        QVERIFY(source.useDefault);
        QCOMPARE(QString::fromStdString(source.path), QStringLiteral("/home/me/eudora"));
    }

    void missingRegistryKeyOpensInChooseModeWithTheDefaultGreyedOut() {
        WinePrefix prefix;  // no user.reg
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        QCOMPARE(services_.messages.size(), size_t{1});
        QCOMPARE(services_.messages[0].title, std::string("Address Book Help"));
        QCOMPARE(services_.messages[0].text,
                 std::string("Unable to Locate Eudora Installation.\r\nPlease visit webpage to "
                             "know, how to locate eudora address book file."));
        QCOMPARE(services_.messages[0].icon, BoxIcon::Information);
        const PageState state = StateOf(page);
        QVERIFY(!state.defaultChecked && !state.defaultEnabled && state.chooseChecked);
        QVERIFY(state.textVisible && state.textEnabled && state.browseVisible &&
                state.browseEnabled);
        QVERIFY(!state.nextEnabled);
        QVERIFY(state.openEnabled);
        QVERIFY(state.label.isEmpty());
    }

    void addressBookNotFoundAlsoOpensInChooseMode() {
        const std::string commandLine = "C:\\Eudora\\Eudora.exe";
        WinePrefix prefix(&commandLine);
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        QCOMPARE(services_.messages.size(), size_t{1});
        QVERIFY(services_.messages[0].text.find("Unable to Locate Eudora Address Book.") == 0);
        const PageState state = StateOf(page);
        QVERIFY(state.chooseChecked && !state.defaultEnabled && !state.nextEnabled);
        // The default book would be "\NNdbase.txt": the run never gets to read it.
        QVERIFY(!page.SelectedSource().useDefault);
    }

    void passingAndFailingFiles() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        services_.messages.clear();

        const std::string good = Book(QStringLiteral("good.txt"),
                                      "alias jo jo@example.com\r\nnote jo <name:Jo>\r\n\r\n"
                                      "alias team jo@example.com,al@example.com\r\n");
        ChooseFile(page, good);
        QCOMPARE(services_.fileFilters.back(), std::string("Eudora Address Book (*.txt)|*.txt"));
        QVERIFY(services_.messages.empty());
        PageState state = StateOf(page);
        QCOMPARE(state.label, QString::fromStdString(good));
        QCOMPARE(state.text, QString::fromStdString(good));
        QVERIFY(state.nextEnabled);
        QVERIFY(!page.SelectedSource().useDefault);
        QCOMPARE(page.SelectedSource().path, good);

        // A line that is no nickname, note or blank line.
        ChooseFile(page, Book(QStringLiteral("capital.txt"), "# jo jo@example.com\r\n"));
        QCOMPARE(services_.messages.size(), size_t{1});
        QCOMPARE(services_.messages[0].title, std::string("Tarvelle"));
        QCOMPARE(services_.messages[0].text, std::string(kNotValid));
        QCOMPARE(services_.messages[0].icon, BoxIcon::None);
        QCOMPARE(services_.messages[0].buttons, BoxButtons::Ok);
        state = StateOf(page);
        QVERIFY(state.label.isEmpty() && state.text.isEmpty());
        QVERIFY(!state.nextEnabled);

        // Valid lines first enable Next line by line; the bad line then disables it.
        ChooseFile(page, Book(QStringLiteral("late.txt"),
                              "alias a a@example.com\nalias b b@example.com\nfrom: x\n"));
        QCOMPARE(services_.messages.size(), size_t{2});
        QVERIFY(!StateOf(page).nextEnabled);
        QVERIFY(StateOf(page).label.isEmpty());
    }

    void emptyFileLeavesNextAsItWas() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        services_.messages.clear();
        const std::string empty = Book(QStringLiteral("empty.txt"), QByteArray());

        ChooseFile(page, empty);  // right after choosing: Next stays disabled
        QVERIFY(services_.messages.empty());
        QVERIFY(!StateOf(page).nextEnabled);
        QCOMPARE(StateOf(page).label, QString::fromStdString(empty));

        ChooseFile(page, Book(QStringLiteral("one.txt"), "alias a a@example.com"));
        QVERIFY(StateOf(page).nextEnabled);
        ChooseFile(page, empty);  // after a pass: Next stays enabled
        QVERIFY(services_.messages.empty());
        QVERIFY(StateOf(page).nextEnabled);
    }

    void cancelAfterAPassKeepsNextWithAnEmptyLabel() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        services_.messages.clear();
        ChooseFile(page, Book(QStringLiteral("one.txt"), "alias a a@example.com\r\n"));
        QVERIFY(StateOf(page).nextEnabled);
        ChooseFile(page, std::string());  // the dialog was cancelled
        QVERIFY(services_.messages.empty());
        const PageState state = StateOf(page);
        QVERIFY(state.nextEnabled);
        QVERIFY(state.label.isEmpty() && state.text.isEmpty());
    }

    void unreadableFileIsReportedAndRejected() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        ChooseFile(page, Book(QStringLiteral("one.txt"), "alias a a@example.com\r\n"));
        services_.messages.clear();

        for (const std::string& path :
             {files_.path().toStdString(),
              files_.filePath(QStringLiteral("gone.txt")).toStdString()}) {
            ChooseFile(page, path);
            QCOMPARE(services_.messages.size(), size_t{1});
            QCOMPARE(services_.messages[0].title, std::string("Tarvelle"));
            QVERIFY(services_.messages[0].text.find(path) != std::string::npos);
            const PageState state = StateOf(page);
            QVERIFY(!state.nextEnabled);
            QVERIFY(state.label.isEmpty() && state.text.isEmpty());
            // Still usable: the next pick is checked as usual.
            QVERIFY(Child<QPushButton>(page, "CmdWABBrowse")->isEnabled());
            services_.messages.clear();
        }
        ChooseFile(page, Book(QStringLiteral("two.txt"), "alias b b@example.com\r\n"));
        QVERIFY(StateOf(page).nextEnabled);
    }

    void openMenuEntryBrowsesLikeTheButton() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        FrmMain& page = wizard.MainPage();
        const std::string good = Book(QStringLiteral("menu.txt"), "alias a a@example.com\r\n");
        services_.files.push_back(good);
        page.findChild<QAction*>(QStringLiteral("mnuOpen"))->trigger();
        QCOMPARE(StateOf(page).label, QString::fromStdString(good));
        QVERIFY(StateOf(page).nextEnabled);
    }

    void switchingBetweenOptions() {
        WinePrefix* prefix = nullptr;
        auto wizard = WizardWithFolder("D:\\Mail", prefix);
        std::unique_ptr<WinePrefix> cleanup(prefix);
        FrmMain& page = wizard->MainPage();
        auto* def = Child<QRadioButton>(page, "OptDefaultWAB");
        auto* choose = Child<QRadioButton>(page, "OptChooseWAB");

        QTest::mouseClick(choose, Qt::LeftButton);
        PageState state = StateOf(page);
        QVERIFY(state.chooseChecked && !state.defaultChecked);
        QVERIFY(state.textVisible && state.browseVisible && state.openEnabled);
        QVERIFY(!state.nextEnabled);
        QCOMPARE(state.label, QStringLiteral("D:\\Mail"));  // untouched until a file is picked

        const std::string good = Book(QStringLiteral("pick.txt"), "alias a a@example.com\r\n");
        ChooseFile(page, good);
        QCOMPARE(StateOf(page).label, QString::fromStdString(good));

        // Back to the default book: the folder found at load returns, browsing is off.
        QTest::mouseClick(def, Qt::LeftButton);
        state = StateOf(page);
        QVERIFY(state.defaultChecked && state.nextEnabled);
        QVERIFY(!state.textVisible && !state.browseVisible && !state.openEnabled);
        QCOMPARE(state.label, QStringLiteral("D:\\Mail"));
        QVERIFY(page.SelectedSource().useDefault);
        QCOMPARE(page.SelectedSource().path, std::string("D:\\Mail"));
    }

    void nextThenBackKeepsEveryState() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        wizard.ShowMainPage();
        FrmMain& page = wizard.MainPage();
        ChooseFile(page, Book(QStringLiteral("keep.txt"), "alias a a@example.com\r\n"));
        const PageState before = StateOf(page);
        const size_t messages = services_.messages.size();

        QTest::mouseClick(Child<QPushButton>(page, "CmdNextFrmMain"), Qt::LeftButton);
        QVERIFY(page.isHidden());
        QVERIFY(wizard.HasStatusPage());
        FrmStatusConversion& status = wizard.StatusPage();
        QVERIFY(status.isVisible());
        QTest::mouseClick(Child<QPushButton>(status, "CmdBack"), Qt::LeftButton);
        QVERIFY(status.isHidden());
        QVERIFY(page.isVisible());
        QCOMPARE(&wizard.MainPage(), &page);  // one shared instance
        QVERIFY(StateOf(page) == before);
        QCOMPARE(services_.messages.size(), messages);  // the lookup did not run again
    }

    void exitAnsweredNoThenYes() {
        WinePrefix* prefix = nullptr;
        auto wizard = WizardWithFolder("C:\\Mail", prefix);
        std::unique_ptr<WinePrefix> cleanup(prefix);
        wizard->ShowMainPage();
        FrmMain& page = wizard->MainPage();
        const PageState before = StateOf(page);
        auto* exit = page.findChild<QAction*>(QStringLiteral("mnuExit"));
        QCOMPARE(exit->text(), QStringLiteral("E&xit"));

        services_.answers = {BoxResult::No};
        exit->trigger();
        QCOMPARE(services_.messages.size(), size_t{1});
        QCOMPARE(services_.messages[0].title, std::string("Close Application"));
        QCOMPARE(services_.messages[0].text,
                 std::string("Do you really want to close the application."));
        QCOMPARE(services_.messages[0].icon, BoxIcon::None);
        QCOMPARE(services_.messages[0].buttons, BoxButtons::YesNo);
        QCOMPARE(services_.exits, 0);
        QVERIFY(page.isVisible());
        QVERIFY(StateOf(page) == before);

        services_.answers = {BoxResult::Yes};
        exit->trigger();
        QCOMPARE(services_.exits, 1);
        QVERIFY(services_.opened.empty());  // no closing steps, no web page
    }

    void closingTheWindowOpensTheProductPageOnceAndEnds() {
        WinePrefix* prefix = nullptr;
        auto wizard = WizardWithFolder("C:\\Mail", prefix);
        std::unique_ptr<WinePrefix> cleanup(prefix);
        wizard->ShowMainPage();
        wizard->StatusPage();  // a loaded, hidden progress page must not add its own link
        wizard->MainPage().close();
        QVERIFY(services_.messages.empty());
        QCOMPARE(services_.opened, std::vector<std::string>{"https://tarvelle.example/tarvelle/"});
        QCOMPARE(services_.exits, 1);
    }

    void layoutAtNinetySixDpi() {
        WinePrefix prefix;
        Wizard wizard(services_, stores_);
        wizard.ShowMainPage();
        FrmMain& page = wizard.MainPage();
        QCOMPARE(page.windowTitle(), QStringLiteral("Tarvelle"));
        QCOMPARE(page.centralWidget()->size(), QSize(498, 362));
        QCOMPARE(page.minimumSize(), page.maximumSize());  // not resizable
        QCOMPARE(page.font().pointSizeF(), 8.25);
        if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
            // Wine's Tahoma is loaded when the system has none of its own.
            QCOMPARE(QFontInfo(page.font()).family(), QStringLiteral("Tahoma"));
            QCOMPARE(QFontInfo(Child<QLabel>(page, "Label3")->font()).family(),
                     QStringLiteral("Tahoma"));
        }
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->geometry(), QRect(400, 328, 89, 25));
        QCOMPARE(Child<QPushButton>(page, "CmdNextFrmMain")->text(), QStringLiteral("&Next >"));
        QCOMPARE(Child<QLabel>(page, "LblWABFileName")->geometry(), QRect(16, 112, 465, 71));
        QCOMPARE(Child<QLabel>(page, "LblWABFileName")->palette().color(QPalette::WindowText),
                 QColor(128, 0, 0));
        QCOMPARE(Child<QRadioButton>(page, "OptChooseWAB")->text(),
                 QStringLiteral(" I want to choose my address book files"));
        QStringList menu;
        for (QAction* action : page.findChild<QMenu*>(QStringLiteral("mnuHelp"))->actions()) {
            menu << (action->isSeparator() ? QStringLiteral("-") : action->text());
        }
        QCOMPARE(menu, (QStringList{"Product Guide", "About...", "-",
                                    "Website : https://tarvelle.example", "Other Pro&ducts"}));
        // Tab order: the option buttons, the file controls, then Next.
        QCOMPARE(Child<QLineEdit>(page, "txtWABFilename")->nextInFocusChain(),
                 static_cast<QWidget*>(Child<QPushButton>(page, "CmdWABBrowse")));
    }
};

QTEST_MAIN(SelectionPageTest)
#include "selection_page_test.moc"
