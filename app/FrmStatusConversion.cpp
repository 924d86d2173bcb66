#include "app/FrmStatusConversion.h"

#include <QAction>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

#include "app/AppServices.h"
#include "app/Backdrop.h"
#include "app/Look.h"
#include "app/PageMenus.h"

namespace tarvelle::app {

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The log's lines end in CR LF; the text control separates them with LF alone.
QString ControlText(const std::string& lines) {
    QString text = QString::fromStdString(lines);
    text.remove(QChar('\r'));
    return text;
}

}  // namespace

FrmStatusConversion::FrmStatusConversion(wizard::ProgressPage& page) : page_(page) {
    setObjectName(QStringLiteral("frmStatusConversion"));
    setWindowTitle(FromView(wizard::kProgressTexts.title));
    setWindowIcon(ProgramIcon());
    setFont(TahomaFont());
    // Sizable border with minimise and maximise buttons; the controls keep their places.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    BuildControls();
    mnuOpen_ = BuildPageMenus(this, wizard::PageKind::Progress,
                              [this](wizard::MenuCommand command) { page_.OnMenu(command); });
    resize(centralWidget()->size().width(),
           centralWidget()->size().height() + menuBar()->sizeHint().height());
}

void FrmStatusConversion::BuildControls() {
    const wizard::ProgressTexts& texts = wizard::kProgressTexts;
    auto* client = new Backdrop(
        QColor(0xF4, 0xF7, 0xFB),
        Picture(QStringLiteral("progress-backdrop.svg"), QSize(Twips(497 * 15), Twips(375 * 15))),
        this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->resize(Twips(7470), Twips(5430));
    client->setMinimumSize(0, 0);
    setCentralWidget(client);

    auto* frame1 = new QGroupBox(FromView(texts.frame1), client);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setGeometry(TwipsRect(120, 120, 7215, 4575));

    log_ = new QPlainTextEdit(frame1);
    log_->setObjectName(QStringLiteral("txtProgressReport"));
    log_->setGeometry(TwipsRect(120, 240, 6975, 4215));
    log_->setReadOnly(true);
    // The caret stays visible in a read-only log so the newest line is marked.
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setUndoRedoEnabled(false);
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    cmdStart_ = new QPushButton(FromView(texts.cmdStart), client);
    cmdStart_->setObjectName(QStringLiteral("CmdNextFrmMain"));
    cmdStart_->setGeometry(TwipsRect(1560, 4920, 1695, 375));
    cmdBack_ = new QPushButton(FromView(texts.cmdBack), client);
    cmdBack_->setObjectName(QStringLiteral("CmdBack"));
    cmdBack_->setGeometry(TwipsRect(120, 4920, 1335, 375));
    cmdExit_ = new QPushButton(FromView(texts.cmdExit), client);
    cmdExit_->setObjectName(QStringLiteral("CmdExit"));
    cmdExit_->setGeometry(TwipsRect(6120, 4920, 1215, 375));

    setTabOrder(cmdStart_, cmdBack_);
    setTabOrder(cmdBack_, cmdExit_);
    setTabOrder(cmdExit_, log_);

    connect(cmdStart_, &QPushButton::clicked, this, [this] { page_.OnStart(); });
    connect(cmdBack_, &QPushButton::clicked, this, [this] { page_.OnBack(); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { page_.OnExit(); });
    connect(log_, &QPlainTextEdit::textChanged, this, [this] { KeepNewestLineInView(); });
}

wizard::WindowHandle FrmStatusConversion::Handle() const {
    return HandleOf(const_cast<FrmStatusConversion*>(this));
}

void FrmStatusConversion::Show() {
    if (!shownOnce_) {
        shownOnce_ = true;
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

void FrmStatusConversion::SetEnabled(wizard::ProgressControl control, bool enabled) {
    switch (control) {
        case wizard::ProgressControl::Start:
            cmdStart_->setEnabled(enabled);
            break;
        case wizard::ProgressControl::Back:
            cmdBack_->setEnabled(enabled);
            break;
        case wizard::ProgressControl::Exit:
            cmdExit_->setEnabled(enabled);
            break;
        case wizard::ProgressControl::OpenMenu:
            mnuOpen_->setEnabled(enabled);
            break;
    }
}

void FrmStatusConversion::SetLog(const std::string& text) { log_->setPlainText(ControlText(text)); }

void FrmStatusConversion::AppendLog(const std::string& lines) {
    // Inserted at the document's end: the earlier text is neither copied nor laid out again.
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ControlText(lines));
}

QString FrmStatusConversion::LogText() const {
    QString text = log_->toPlainText();
    text.replace(QChar('\n'), QStringLiteral("\r\n"));
    return text;
}

void FrmStatusConversion::KeepNewestLineInView() {
    QTextCursor caret = log_->textCursor();
    caret.movePosition(QTextCursor::End);
    log_->setTextCursor(caret);
    // The caret sits on the empty line after the last break; show the whole end of the log.
    QScrollBar* scroll = log_->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void FrmStatusConversion::closeEvent(QCloseEvent* event) {
    page_.OnClose();
    event->accept();
}

}  // namespace tarvelle::app
