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
#include <QSignalBlocker>

#include "app/AppServices.h"
#include "app/Backdrop.h"
#include "app/Look.h"
#include "app/PageMenus.h"

namespace tarvelle::app {

namespace {

using wizard::SelectionControl;

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, const QRect& where) {
    auto* label = new QLabel(FromView(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(where);
    return label;
}

}  // namespace

FrmMain::FrmMain(wizard::SelectionPage& page) : page_(page) {
    const wizard::SelectionTexts& texts = wizard::kSelectionTexts;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(FromView(texts.title));
    setWindowIcon(ProgramIcon());
    setFont(TahomaFont());
    // Fixed single border: no maximise button, no resizing.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    BuildControls();
    mnuOpen_ = BuildPageMenus(this, wizard::PageKind::Selection,
                              [this](wizard::MenuCommand command) { page_.OnMenu(command); });
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void FrmMain::BuildControls() {
    const wizard::SelectionTexts& texts = wizard::kSelectionTexts;
    auto* client = new Backdrop(
        Qt::white,
        Picture(QStringLiteral("selection-backdrop.svg"), QSize(Twips(497 * 15), Twips(375 * 15))),
        this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(Twips(7470), Twips(5430));
    setCentralWidget(client);

    QLabel* label3 = MakeLabel(client, "Label3", texts.label3, TwipsRect(120, 120, 7215, 615));
    QLabel* label4 = MakeLabel(client, "Label4", texts.label4, TwipsRect(120, 600, 7215, 495));
    QLabel* label2 = MakeLabel(client, "Label2", texts.label2, TwipsRect(120, 1320, 4335, 255));
    SetTextColour(label3, Qt::black);
    SetTextColour(label4, Qt::black);
    SetTextColour(label2, kBlue);

    auto* shape1 = new QFrame(client);
    shape1->setObjectName(QStringLiteral("Shape1"));
    shape1->setFrameShape(QFrame::Box);
    shape1->setGeometry(TwipsRect(120, 1560, 7215, 1215));

    lblWabFileName_ = MakeLabel(client, "LblWABFileName", {}, TwipsRect(240, 1680, 6975, 1065));
    SetBackground(lblWabFileName_, Qt::white);
    SetTextColour(lblWabFileName_, kDarkRed);

    auto* frame1 = new QGroupBox(FromView(texts.frame1), client);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setGeometry(TwipsRect(120, 2880, 7215, 1695));
    SetBackground(frame1, Qt::white);
    SetTextColour(frame1, kBlue);

    auto* picture1 = new QWidget(frame1);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(TwipsRect(120, 240, 6975, 1420));
    SetBackground(picture1, Qt::white);
    SetTextColour(picture1, Qt::black);

    optDefaultWab_ = new QRadioButton(FromView(texts.optDefaultWab), picture1);
    optDefaultWab_->setObjectName(QStringLiteral("OptDefaultWAB"));
    optDefaultWab_->setGeometry(TwipsRect(0, 120, 4575, 255));
    optChooseWab_ = new QRadioButton(FromView(texts.optChooseWab), picture1);
    optChooseWab_->setObjectName(QStringLiteral("OptChooseWAB"));
    optChooseWab_->setGeometry(TwipsRect(0, 480, 4455, 255));

    txtWabFilename_ = new QLineEdit(picture1);
    txtWabFilename_->setObjectName(QStringLiteral("txtWABFilename"));
    txtWabFilename_->setReadOnly(true);
    txtWabFilename_->setGeometry(TwipsRect(240, 840, 5535, 320));
    SetTextColour(txtWabFilename_, kBlue);

    cmdWabBrowse_ = new QPushButton(FromView(texts.cmdWabBrowse), picture1);
    cmdWabBrowse_->setObjectName(QStringLiteral("CmdWABBrowse"));
    cmdWabBrowse_->setGeometry(TwipsRect(5880, 840, 975, 320));

    cmdNext_ = new QPushButton(FromView(texts.cmdNext), client);
    cmdNext_->setObjectName(QStringLiteral("CmdNextFrmMain"));
    cmdNext_->setGeometry(TwipsRect(6000, 4920, 1335, 375));

    setTabOrder(optDefaultWab_, optChooseWab_);
    setTabOrder(optChooseWab_, txtWabFilename_);
    setTabOrder(txtWabFilename_, cmdWabBrowse_);
    setTabOrder(cmdWabBrowse_, cmdNext_);

    // Only the newly selected button reports, as a click on it would.
    connect(optChooseWab_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) page_.OnOptionSelected(SelectionControl::ChooseOption);
    });
    connect(optDefaultWab_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) page_.OnOptionSelected(SelectionControl::DefaultOption);
    });
    connect(cmdWabBrowse_, &QPushButton::clicked, this, [this] { page_.OnBrowse(); });
    connect(cmdNext_, &QPushButton::clicked, this, [this] { page_.OnNext(); });
}

wizard::WindowHandle FrmMain::Handle() const { return HandleOf(const_cast<FrmMain*>(this)); }

void FrmMain::Show() {
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

QWidget* FrmMain::Control(SelectionControl control) const {
    switch (control) {
        case SelectionControl::SourceLabel:
            return lblWabFileName_;
        case SelectionControl::DefaultOption:
            return optDefaultWab_;
        case SelectionControl::ChooseOption:
            return optChooseWab_;
        case SelectionControl::FileName:
            return txtWabFilename_;
        case SelectionControl::Browse:
            return cmdWabBrowse_;
        case SelectionControl::Next:
            return cmdNext_;
        case SelectionControl::OpenMenu:
            break;
    }
    return nullptr;
}

void FrmMain::SetVisible(SelectionControl control, bool visible) {
    if (control == SelectionControl::OpenMenu) {
        mnuOpen_->setVisible(visible);
    } else {
        Control(control)->setVisible(visible);
    }
}

void FrmMain::SetEnabled(SelectionControl control, bool enabled) {
    if (control == SelectionControl::OpenMenu) {
        mnuOpen_->setEnabled(enabled);
    } else {
        Control(control)->setEnabled(enabled);
    }
}

void FrmMain::Select(SelectionControl option) {
    QRadioButton* button =
        option == SelectionControl::DefaultOption ? optDefaultWab_ : optChooseWab_;
    const QSignalBlocker quiet(button);
    button->setChecked(true);
}

void FrmMain::SetText(SelectionControl control, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (control == SelectionControl::FileName) {
        txtWabFilename_->setText(shown);
    } else if (control == SelectionControl::SourceLabel) {
        lblWabFileName_->setText(shown);
        lblWabFileName_->repaint();
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    page_.OnClose();
    event->accept();
}

}  // namespace tarvelle::app
