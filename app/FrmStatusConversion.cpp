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
#include <exception>

#include "app/AppServices.h"
#include "app/Backdrop.h"
#include "app/FrmMain.h"
#include "app/Look.h"
#include "app/PageMenus.h"
#include "app/Wizard.h"
#include "export/Export.h"

namespace tarvelle::app {

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

BoxIcon ToBoxIcon(exporter::MessageIcon icon) {
    switch (icon) {
        case exporter::MessageIcon::Information:
            return BoxIcon::Information;
        case exporter::MessageIcon::Warning:
            return BoxIcon::Warning;
        case exporter::MessageIcon::Question:
            return BoxIcon::Question;
        case exporter::MessageIcon::Critical:
            return BoxIcon::Critical;
    }
    return BoxIcon::None;
}

}  // namespace

FrmStatusConversion::FrmStatusConversion(Wizard& wizard)
    : wizard_(wizard), exporter_(std::make_unique<exporter::Exporter>(*this, wizard.Sessions())) {
    setObjectName(QStringLiteral("frmStatusConversion"));
    setWindowTitle(QStringLiteral("Tarvelle"));
    setWindowIcon(ProgramIcon());
    setFont(TahomaFont());
    // Sizable border with minimise and maximise buttons; the controls keep their places.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    BuildControls();
    PageMenus menus =
        BuildPageMenus(this, wizard_, QStringLiteral("mnusep1"), QStringLiteral("mnusep3"));
    // Choosing a book belongs to the selection page.
    menus.open->setEnabled(false);
    resize(centralWidget()->size().width(),
           centralWidget()->size().height() + menuBar()->sizeHint().height());
}

FrmStatusConversion::~FrmStatusConversion() = default;

void FrmStatusConversion::BuildControls() {
    auto* client = new Backdrop(
        QColor(0xF4, 0xF7, 0xFB),
        Picture(QStringLiteral("progress-backdrop.svg"), QSize(Twips(497 * 15), Twips(375 * 15))),
        this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->resize(Twips(7470), Twips(5430));
    client->setMinimumSize(0, 0);
    setCentralWidget(client);

    frame1_ = new QGroupBox(QStringLiteral("Progress Details"), client);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setGeometry(TwipsRect(120, 120, 7215, 4575));

    log_ = new QPlainTextEdit(frame1_);
    log_->setObjectName(QStringLiteral("txtProgressReport"));
    log_->setGeometry(TwipsRect(120, 240, 6975, 4215));
    log_->setReadOnly(true);
    // The caret stays visible in a read-only log so the newest line is marked.
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setUndoRedoEnabled(false);
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    cmdStart_ = new QPushButton(QStringLiteral("&Start Exporting >"), client);
    cmdStart_->setObjectName(QStringLiteral("CmdNextFrmMain"));
    cmdStart_->setGeometry(TwipsRect(1560, 4920, 1695, 375));
    cmdBack_ = new QPushButton(QStringLiteral("< &Back"), client);
    cmdBack_->setObjectName(QStringLiteral("CmdBack"));
    cmdBack_->setGeometry(TwipsRect(120, 4920, 1335, 375));
    cmdExit_ = new QPushButton(QStringLiteral("E&xit"), client);
    cmdExit_->setObjectName(QStringLiteral("CmdExit"));
    cmdExit_->setGeometry(TwipsRect(6120, 4920, 1215, 375));

    setTabOrder(cmdStart_, cmdBack_);
    setTabOrder(cmdBack_, cmdExit_);
    setTabOrder(cmdExit_, log_);

    connect(cmdStart_, &QPushButton::clicked, this, [this] { StartExporting(); });
    connect(cmdBack_, &QPushButton::clicked, this, [this] { Back(); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { wizard_.ConfirmExit(this); });
    connect(log_, &QPlainTextEdit::textChanged, this, [this] { KeepNewestLineInView(); });
}

void FrmStatusConversion::Load() {
    log_->setPlainText(QStringLiteral("Address Book Information Loaded...\n"));
    AppendLog("Click Start Exporting >");
}

void FrmStatusConversion::ShowPage() {
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

void FrmStatusConversion::StartExporting() {
    // No nested run: the button is off for the run, and presses that were already queued when
    // it went off are dropped here.
    if (exporting_) {
        return;
    }
    exporting_ = true;
    cmdStart_->setEnabled(false);
    try {
        exporter_->ExportAddressBook();
    } catch (const std::exception& error) {
        // The run reports its own failures; anything else that escapes it is shown, never lost.
        wizard_.Services().ShowMessage(
            this, "Tarvelle", std::string("The export stopped unexpectedly.\r\n") + error.what(),
            BoxIcon::Critical, BoxButtons::Ok);
    }
    exporting_ = false;
    FlushLog();
    cmdStart_->setEnabled(true);
}

QString FrmStatusConversion::LogText() {
    FlushLog();
    QString text = log_->toPlainText();
    text.replace(QChar('\n'), QStringLiteral("\r\n"));
    return text;
}

void FrmStatusConversion::AppendLog(std::string_view line) {
    QString text = FromView(line);
    text.remove(QChar('\r'));
    text.replace(QChar('\n'), QChar(' '));
    pendingLog_ += text;
    pendingLog_ += QChar('\n');
    if (!exporting_) {
        FlushLog();
    }
}

void FrmStatusConversion::FlushLog() {
    if (pendingLog_.isEmpty()) {
        return;
    }
    // Inserted at the document's end: the earlier text is neither copied nor laid out again.
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(pendingLog_);
    pendingLog_.clear();
}

void FrmStatusConversion::KeepNewestLineInView() {
    QTextCursor caret = log_->textCursor();
    caret.movePosition(QTextCursor::End);
    log_->setTextCursor(caret);
    // The caret sits on the empty line after the last break; show the whole end of the log.
    QScrollBar* scroll = log_->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void FrmStatusConversion::ProcessEvents() {
    if (pump_.Due()) {
        FlushLog();
        pump_.PumpNow();
    }
}

exporter::MessageResult FrmStatusConversion::ShowMessage(std::string_view title,
                                                         std::string_view text,
                                                         exporter::MessageIcon icon,
                                                         exporter::MessageButtons buttons) {
    FlushLog();
    const BoxResult answer = wizard_.Services().ShowMessage(
        this, std::string(title), std::string(text), ToBoxIcon(icon),
        buttons == exporter::MessageButtons::YesNo ? BoxButtons::YesNo : BoxButtons::Ok);
    switch (answer) {
        case BoxResult::Yes:
            return exporter::MessageResult::Yes;
        case BoxResult::No:
            return exporter::MessageResult::No;
        case BoxResult::Ok:
            break;
    }
    return exporter::MessageResult::Ok;
}

std::string FrmStatusConversion::BrowseForFolder(std::string_view title) {
    FlushLog();
    return wizard_.Services().PickFolder(this, std::string(title));
}

exporter::SelectedSource FrmStatusConversion::GetSelectedSource() {
    return wizard_.MainPage().SelectedSource();
}

void FrmStatusConversion::Back() {
    wizard_.ShowMainPage();
    hide();
}

void FrmStatusConversion::closeEvent(QCloseEvent* event) {
    wizard_.PageClosing();
    event->accept();
}

}  // namespace tarvelle::app
