#include "wizard/ProgressPage.h"

#include <exception>

#include "wizard/SelectionPage.h"
#include "wizard/Wizard.h"

namespace tarvelle::wizard {

namespace {

constexpr std::string_view kCrLf = "\r\n";

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

ProgressPage::ProgressPage(Wizard& wizard)
    : wizard_(wizard),
      pump_(wizard.GetServices()),
      exporter_(std::make_unique<exporter::Exporter>(*this, wizard.Sessions())) {}

ProgressPage::~ProgressPage() = default;

void ProgressPage::Load() {
    // Choosing a book belongs to the selection page.
    view_->SetEnabled(ProgressControl::OpenMenu, false);
    view_->SetEnabled(ProgressControl::Start, true);
    view_->SetLog("Address Book Information Loaded...\r\n");
    AppendLog("Click Start Exporting >");
}

void ProgressPage::OnStart() {
    // No nested run: the button is off for the run, and presses that were already queued when
    // it went off are dropped here.
    if (exporting_) return;
    exporting_ = true;
    view_->SetEnabled(ProgressControl::Start, false);
    try {
        exporter_->ExportAddressBook();
    } catch (const std::exception& error) {
        // The run reports its own failures; anything else that escapes it is shown, never lost.
        FlushLog();
        wizard_.GetServices().ShowMessage(
            view_->Handle(), std::string(kApplicationTitle),
            std::string("The export stopped unexpectedly.\r\n") + error.what(), BoxIcon::Critical,
            BoxButtons::Ok);
    }
    exporting_ = false;
    FlushLog();
    view_->SetEnabled(ProgressControl::Start, true);
}

void ProgressPage::OnBack() {
    wizard_.ShowSelection();
    view_->Hide();
}

void ProgressPage::OnExit() { wizard_.ConfirmExit(view_->Handle()); }

void ProgressPage::OnMenu(MenuCommand command) {
    // "Open Address Book..." has no action on this page (it is disabled).
    if (command != MenuCommand::OpenAddressBook) {
        wizard_.RunMenuCommand(command, view_->Handle());
    }
}

void ProgressPage::OnClose() { wizard_.PageClosing(); }

void ProgressPage::AppendLog(std::string_view line) {
    // One call, one line: breaks inside the text would split it.
    for (char c : line) {
        if (c == '\r') continue;
        pendingLog_ += c == '\n' ? ' ' : c;
    }
    pendingLog_ += kCrLf;
    if (!exporting_) FlushLog();
}

void ProgressPage::FlushLog() {
    if (pendingLog_.empty()) return;
    view_->AppendLog(pendingLog_);
    pendingLog_.clear();
}

void ProgressPage::ProcessEvents() {
    if (pump_.Due()) {
        FlushLog();
        pump_.PumpNow();
    }
}

exporter::MessageResult ProgressPage::ShowMessage(std::string_view title, std::string_view text,
                                                  exporter::MessageIcon icon,
                                                  exporter::MessageButtons buttons) {
    FlushLog();
    const BoxResult answer = wizard_.GetServices().ShowMessage(
        view_->Handle(), std::string(title), std::string(text), ToBoxIcon(icon),
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

std::string ProgressPage::BrowseForFolder(std::string_view title) {
    FlushLog();
    return wizard_.GetServices().PickFolder(view_->Handle(), std::string(title));
}

exporter::SelectedSource ProgressPage::GetSelectedSource() {
    return wizard_.Selection().SelectedSource();
}

}  // namespace tarvelle::wizard
