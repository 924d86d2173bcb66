#include "app/FrmMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "app/AddressBookAccess.h"
#include "app/AppServices.h"
#include "app/Backdrop.h"
#include "app/FrmStatusConversion.h"
#include "app/Look.h"
#include "app/PageMenus.h"
#include "app/Wizard.h"
#include "export/Export.h"

namespace tarvelle::app {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(where);
    return label;
}

}  // namespace

FrmMain::FrmMain(Wizard& wizard) : wizard_(wizard) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tarvelle"));
    setWindowIcon(ProgramIcon());
    setFont(TahomaFont());
    // Fixed single border: no maximise button, no resizing.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    BuildControls();
    PageMenus menus =
        BuildPageMenus(this, wizard_, QStringLiteral("mnusep3"), QStringLiteral("mnusep"));
    mnuOpen_ = menus.open;
    mnuOpen_->setEnabled(false);
    connect(mnuOpen_, &QAction::triggered, this, [this] { BrowseAndCheck(); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void FrmMain::BuildControls() {
    auto* client = new Backdrop(
        Qt::white,
        Picture(QStringLiteral("selection-backdrop.svg"), QSize(Twips(497 * 15), Twips(375 * 15))),
        this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(Twips(7470), Twips(5430));
    setCentralWidget(client);

    label3_ = MakeLabel(client, "Label3",
                        QStringLiteral("This application is designed to help you convert Eudora "
                                       "Address Book to MS Outlook Contacts. Supports Outlook "
                                       "2013 (32 Bit), Outlook 2010 (32 Bit), 2007, 2003."),
                        TwipsRect(120, 120, 7215, 615));
    label4_ = MakeLabel(client, "Label4",
                        QStringLiteral("You can use this wizard to transfer Eudora Address Book  "
                                       "to Outlook on same machine or on another machine having "
                                       "MS Outlook installed on Windows machine. All Windows "
                                       "versions supported."),
                        TwipsRect(120, 600, 7215, 495));
    label2_ =
        MakeLabel(client, "Label2", QStringLiteral("Default Eudora Address Book Files Located"),
                  TwipsRect(120, 1320, 4335, 255));
    SetTextColour(label3_, Qt::black);
    SetTextColour(label4_, Qt::black);
    SetTextColour(label2_, kBlue);

    shape1_ = new QFrame(client);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setFrameShape(QFrame::Box);
    shape1_->setGeometry(TwipsRect(120, 1560, 7215, 1215));

    lblWabFileName_ =
        MakeLabel(client, "LblWABFileName", QString(), TwipsRect(240, 1680, 6975, 1065));
    SetBackground(lblWabFileName_, Qt::white);
    SetTextColour(lblWabFileName_, kDarkRed);

    frame1_ = new QGroupBox(QStringLiteral(" Choose Address Book "), client);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setGeometry(TwipsRect(120, 2880, 7215, 1695));
    SetBackground(frame1_, Qt::white);
    SetTextColour(frame1_, kBlue);

    picture1_ = new QWidget(frame1_);
    picture1_->setObjectName(QStringLiteral("Picture1"));
    picture1_->setGeometry(TwipsRect(120, 240, 6975, 1420));
    SetBackground(picture1_, Qt::white);
    SetTextColour(picture1_, Qt::black);

    optDefaultWab_ = new QRadioButton(
        QStringLiteral(" I want to convert my default address book file"), picture1_);
    optDefaultWab_->setObjectName(QStringLiteral("OptDefaultWAB"));
    optDefaultWab_->setGeometry(TwipsRect(0, 120, 4575, 255));
    optDefaultWab_->setChecked(true);
    optChooseWab_ =
        new QRadioButton(QStringLiteral(" I want to choose my address book files"), picture1_);
    optChooseWab_->setObjectName(QStringLiteral("OptChooseWAB"));
    optChooseWab_->setGeometry(TwipsRect(0, 480, 4455, 255));

    txtWabFilename_ = new QLineEdit(picture1_);
    txtWabFilename_->setObjectName(QStringLiteral("txtWABFilename"));
    txtWabFilename_->setReadOnly(true);
    txtWabFilename_->setGeometry(TwipsRect(240, 840, 5535, 320));
    SetTextColour(txtWabFilename_, kBlue);
    txtWabFilename_->setVisible(false);
    txtWabFilename_->setEnabled(false);

    cmdWabBrowse_ = new QPushButton(QStringLiteral("Browse..."), picture1_);
    cmdWabBrowse_->setObjectName(QStringLiteral("CmdWABBrowse"));
    cmdWabBrowse_->setGeometry(TwipsRect(5880, 840, 975, 320));
    cmdWabBrowse_->setVisible(false);
    cmdWabBrowse_->setEnabled(false);

    cmdNext_ = new QPushButton(QStringLiteral("&Next >"), client);
    cmdNext_->setObjectName(QStringLiteral("CmdNextFrmMain"));
    cmdNext_->setGeometry(TwipsRect(6000, 4920, 1335, 375));

    setTabOrder(optDefaultWab_, optChooseWab_);
    setTabOrder(optChooseWab_, txtWabFilename_);
    setTabOrder(txtWabFilename_, cmdWabBrowse_);
    setTabOrder(cmdWabBrowse_, cmdNext_);

    // Only the newly selected button runs its steps, as a click on it would.
    connect(optChooseWab_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            ChooseSelected();
        }
    });
    connect(optDefaultWab_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            DefaultSelected();
        }
    });
    connect(cmdWabBrowse_, &QPushButton::clicked, this, [this] { BrowseAndCheck(); });
    connect(cmdNext_, &QPushButton::clicked, this, [this] { Next(); });
}

void FrmMain::Load() {
    const DataFolderResult lookup = LookUpDataFolder(wizard_.Services(), nullptr);
    if (lookup.outcome == LookupOutcome::FolderFound) {
        folderFoundAtLoad_ = lookup.folder;
        lblWabFileName_->setText(QString::fromStdString(lookup.folder));
        return;
    }
    // No data folder: the default option would export "\NNdbase.txt", so it stays off for the
    // rest of the run and the page opens on choosing a file.
    optDefaultWab_->setEnabled(false);
    optChooseWab_->setChecked(true);
}

void FrmMain::ShowPage() {
    if (!shownOnce_) {
        shownOnce_ = true;
        ensurePolished();
        adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

exporter::SelectedSource FrmMain::SelectedSource() const {
    return {optDefaultWab_->isChecked(), lblWabFileName_->text().toStdString()};
}

void FrmMain::ChooseSelected() {
    txtWabFilename_->setVisible(true);
    cmdWabBrowse_->setVisible(true);
    txtWabFilename_->setEnabled(true);
    cmdWabBrowse_->setEnabled(true);
    mnuOpen_->setEnabled(true);
    cmdNext_->setEnabled(false);
}

void FrmMain::DefaultSelected() {
    cmdNext_->setEnabled(true);
    txtWabFilename_->setEnabled(true);
    cmdWabBrowse_->setEnabled(true);
    txtWabFilename_->setVisible(false);
    cmdWabBrowse_->setVisible(false);
    // The default book lives in the folder found at load: show it again, and browsing makes no
    // sense in this mode.
    lblWabFileName_->setText(QString::fromStdString(folderFoundAtLoad_));
    mnuOpen_->setEnabled(false);
}

void FrmMain::SetPath(const std::string& path) {
    const QString text = QString::fromStdString(path);
    txtWabFilename_->setText(text);
    lblWabFileName_->setText(text);
}

void FrmMain::BrowseAndCheck() {
    // A second browse while a file is being checked would interleave two checks.
    if (checking_) {
        return;
    }
    checking_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{checking_};

    const std::string picked =
        wizard_.Services().PickFile(this, "Eudora Address Book (*.txt)", "*.txt");
    SetPath(picked);
    lblWabFileName_->repaint();
    pump_.PumpNow();
    if (txtWabFilename_->text().isEmpty()) {
        return;
    }
    // Trimmed as the export trims it: the file checked is the file exported.
    const std::string path =
        exporter::NicknamesFilePath({false, txtWabFilename_->text().toStdString()});
    try {
        std::unique_ptr<BookLines> lines = OpenBook(path);
        while (!lines->AtEnd()) {
            pump_.Pump();
            const std::string line = lines->ReadLine();
            pump_.Pump();
            if (!IsBookLine(line)) {
                pump_.PumpNow();
                wizard_.Services().ShowMessage(this, "Tarvelle",
                                               " *** NOT a Valid Eudora Address Book  ***\r\n"
                                               "Please select a correct Eudora Address Book.",
                                               BoxIcon::None, BoxButtons::Ok);
                cmdNext_->setEnabled(false);
                SetPath({});
                return;
            }
            cmdNext_->setEnabled(true);
        }
    } catch (const BookReadError& error) {
        cmdNext_->setEnabled(false);
        SetPath({});
        wizard_.Services().ShowMessage(this, "Tarvelle",
                                       "The address book could not be read.\r\n" + path + "\r\n" +
                                           error.what() +
                                           "\r\nPlease select a readable Eudora Address Book.",
                                       BoxIcon::Warning, BoxButtons::Ok);
    }
}

void FrmMain::Next() {
    wizard_.ShowStatusPage();
    hide();
}

void FrmMain::closeEvent(QCloseEvent* event) {
    wizard_.PageClosing();
    event->accept();
}

}  // namespace tarvelle::app
