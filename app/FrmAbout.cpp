#include "app/FrmAbout.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/Backdrop.h"
#include "app/LinkLabel.h"
#include "app/Look.h"
#include "app/Wizard.h"
#include "export/WebSite.h"

namespace tarvelle::app {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, parent);
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

}  // namespace

FrmAbout::FrmAbout(Wizard& wizard) : QDialog(nullptr), wizard_(wizard) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About - Tarvelle "));
    setWindowIcon(QIcon(Picture(QStringLiteral("about-icon.svg"), QSize(16, 16))));
    setFont(TahomaFont());
    // Fixed dialog border, no minimise or maximise button; a tool window stays out of the task
    // bar. Modeless and without an owner: it never blocks a page or an export.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(false);
    setFixedSize(Twips(6570), Twips(2145));
    SetBackground(this, Qt::white);

    const QString base = QString::fromUtf8(exporter::kWebSiteBase.data(),
                                           static_cast<qsizetype>(exporter::kWebSiteBase.size()));

    QLabel* title =
        MakeLabel(this, "Label6", QStringLiteral("Tarvelle "), TwipsRect(0, 240, 4935, 345));
    title->setAlignment(Qt::AlignCenter);
    title->setFont(TahomaFont(14.25));
    SetTextColour(title, kAboutTitle);

    QLabel* notice = MakeLabel(this, "LabelNotice",
                               QStringLiteral("Moves Eudora address books into new Outlook files."),
                               TwipsRect(360, 960, 4935, 345));
    notice->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    MakeRowIcon(this, "Image3", "globe.svg", TwipsRect(120, 1365, 240, 240));
    MakeLabel(this, "Label2", QStringLiteral("Website :"), TwipsRect(480, 1365, 855, 225));
    label3_ = new LinkLabel(base, this);
    label3_->setObjectName(QStringLiteral("Label3"));
    label3_->setGeometry(TwipsRect(1320, 1365, 2295, 225));
    label3_->setToolTip(QStringLiteral("Author's Website"));

    MakeRowIcon(this, "Image2", "help.svg", TwipsRect(120, 1680, 240, 240));
    MakeLabel(this, "Label5", QStringLiteral("Help       :"), TwipsRect(480, 1680, 855, 225));
    label4_ = new LinkLabel(base + QString::fromLatin1(kProductPath.data(),
                                                       static_cast<qsizetype>(kProductPath.size())),
                            this);
    label4_->setObjectName(QStringLiteral("Label4"));
    label4_->setGeometry(TwipsRect(1320, 1680, 4335, 225));
    label4_->setToolTip(QStringLiteral("Product Help Page"));

    auto* picture1 = new QWidget(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setGeometry(TwipsRect(4920, 120, 1575, 975));
    SetBackground(picture1, Qt::white);
    okButton_ = new QPushButton(QStringLiteral("OK"), picture1);
    okButton_->setObjectName(QStringLiteral("OKButton"));
    okButton_->setGeometry(TwipsRect(240, 0, 1215, 375));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), picture1);
    cancelButton_->setObjectName(QStringLiteral("CancelButton"));
    cancelButton_->setGeometry(TwipsRect(240, 480, 1215, 375));
    setTabOrder(okButton_, cancelButton_);

    // OK, Cancel and the close box unload the box and touch nothing else.
    connect(okButton_, &QPushButton::clicked, this, [this] { close(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { close(); });
    connect(label3_, &LinkLabel::clicked, this, [this] { wizard_.OpenLink(kHomePath); });
    connect(label4_, &LinkLabel::clicked, this, [this] { wizard_.OpenLink(kProductPath); });
}

void FrmAbout::ShowBox() {
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
