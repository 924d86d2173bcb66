#include "app/FrmAbout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/Backdrop.h"
#include "app/LinkLabel.h"
#include "app/Look.h"

namespace tarvelle::app {

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeLabel(QWidget* parent, const char* name, std::string_view text, const QRect& where) {
    auto* label = new QLabel(FromView(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(where);
    SetTextColour(label, Qt::black);
    return label;
}

QLabel* MakeRowIcon(QWidget* parent, const char* name, const char* picture, const QRect& where) {
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(where);
    image->setPixmap(Picture(QString::fromLatin1(picture), QSize(Twips(240), Twips(240))));
    return image;
}

LinkLabel* MakeLink(QWidget* parent, const char* name, const std::string& address,
                    std::string_view tip, const QRect& where) {
    auto* link = new LinkLabel(QString::fromStdString(address), parent);
    link->setObjectName(QString::fromLatin1(name));
    link->setGeometry(where);
    link->setToolTip(FromView(tip));
    return link;
}

}  // namespace

FrmAbout::FrmAbout(wizard::AboutBox& box) : QDialog(nullptr), box_(box) {
    const wizard::AboutTexts& texts = wizard::kAboutTexts;
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(FromView(texts.title));
    setWindowIcon(QIcon(Picture(QStringLiteral("about-icon.svg"), QSize(16, 16))));
    setFont(TahomaFont());
    // Fixed dialog border, no minimise or maximise button; a tool window stays out of the task
    // bar. Modeless and without an owner.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setFixedSize(Twips(6570), Twips(2145));
    SetBackground(this, Qt::white);

    QLabel* title = MakeLabel(this, "Label6", texts.label6, TwipsRect(0, 240, 4935, 345));
    title->setAlignment(Qt::AlignCenter);
    title->setFont(TahomaFont(14.25));
    SetTextColour(title, kAboutTitle);

    QLabel* notice = MakeLabel(this, "LabelNotice", texts.notice, TwipsRect(360, 960, 4935, 345));
    notice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    MakeRowIcon(this, "Image3", "globe.svg", TwipsRect(120, 1365, 240, 240));
    MakeLabel(this, "Label2", texts.label2, TwipsRect(480, 1365, 855, 225));
    LinkLabel* label3 = MakeLink(this, "Label3", wizard::AboutBox::SiteAddress(), texts.siteTip,
                                 TwipsRect(1320, 1365, 2295, 225));

    MakeRowIcon(this, "Image2", "help.svg", TwipsRect(120, 1680, 240, 240));
    MakeLabel(this, "Label5", texts.label5, TwipsRect(480, 1680, 855, 225));
    LinkLabel* label4 = MakeLink(this, "Label4", wizard::AboutBox::HelpAddress(), texts.helpTip,
                                 TwipsRect(1320, 1680, 4335, 225));

    auto* picture1 = new QWidget(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(TwipsRect(4920, 120, 1575, 975));
    SetBackground(picture1, Qt::white);
    auto* okButton = new QPushButton(FromView(texts.okButton), picture1);
    okButton->setObjectName(QStringLiteral("OKButton"));
    okButton->setGeometry(TwipsRect(240, 0, 1215, 375));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(FromView(texts.cancelButton), picture1);
    cancelButton->setObjectName(QStringLiteral("CancelButton"));
    cancelButton->setGeometry(TwipsRect(240, 480, 1215, 375));
    setTabOrder(okButton, cancelButton);

    connect(okButton, &QPushButton::clicked, this, [this] { box_.OnOk(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { box_.OnCancel(); });
    connect(label3, &LinkLabel::clicked, this, [this] { box_.OnSiteLink(); });
    connect(label4, &LinkLabel::clicked, this, [this] { box_.OnHelpLink(); });
}

void FrmAbout::Show() {
    if (!isVisible()) {
        QRect frame = frameGeometry();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    show();
    raise();
    activateWindow();
}

}  // namespace tarvelle::app
