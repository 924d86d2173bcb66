#include "wizard/SelectionPage.h"

#include "eudora/DataFolder.h"
#include "export/Export.h"
#include "export/ShownText.h"
#include "platform/TextFile.h"
#include "wizard/AddressBookCheck.h"
#include "wizard/Wizard.h"

namespace tarvelle::wizard {

namespace {

using enum SelectionControl;

// The lookup's messages as information boxes.
class BoxSink : public eudora::MessageSink {
  public:
    explicit BoxSink(Services& services) : services_(services) {}
    void ShowInformation(std::string_view title, std::string_view text) override {
        services_.ShowMessage(WindowHandle::None, std::string(title), std::string(text),
                              BoxIcon::Information, BoxButtons::Ok);
    }

  private:
    Services& services_;
};

}  // namespace

SelectionPage::SelectionPage(Wizard& wizard) : wizard_(wizard), pump_(wizard.GetServices()) {}

void SelectionPage::Load() {
    // The page as designed: the default option, no file controls, Next on.
    view_->Select(DefaultOption);
    view_->SetEnabled(DefaultOption, true);
    view_->SetEnabled(ChooseOption, true);
    for (SelectionControl control : {FileName, Browse}) {
        view_->SetVisible(control, false);
        view_->SetEnabled(control, false);
    }
    view_->SetEnabled(OpenMenu, false);
    SetNext(true);
    SetPath({});

    BoxSink sink(wizard_.GetServices());
    const eudora::DataFolderLookup lookup =
        eudora::LocateEudoraDataFolder(wizard_.Registry(), sink);
    if (lookup.outcome == eudora::DataFolderOutcome::FolderFound) {
        folderFoundAtLoad_ = lookup.folder;
        source_ = lookup.folder;
        view_->SetText(SourceLabel, source_);
        return;
    }
    // No data folder: the default option would export "\NNdbase.txt", so it stays off for the
    // rest of the run and the page opens on choosing a file.
    view_->SetEnabled(DefaultOption, false);
    view_->Select(ChooseOption);
    useDefault_ = false;
    ChooseSelected();
}

exporter::SelectedSource SelectionPage::SelectedSource() const { return {useDefault_, source_}; }

void SelectionPage::OnOptionSelected(SelectionControl option) {
    const bool useDefault = option == DefaultOption;
    // A click on the option already selected changes nothing.
    if (useDefault == useDefault_) return;
    useDefault_ = useDefault;
    if (useDefault) {
        DefaultSelected();
    } else {
        ChooseSelected();
    }
}

void SelectionPage::ChooseSelected() {
    for (SelectionControl control : {FileName, Browse}) {
        view_->SetVisible(control, true);
        view_->SetEnabled(control, true);
    }
    view_->SetEnabled(OpenMenu, true);
    SetNext(false);
}

void SelectionPage::DefaultSelected() {
    SetNext(true);
    for (SelectionControl control : {FileName, Browse}) {
        view_->SetEnabled(control, true);
        view_->SetVisible(control, false);
    }
    // The default book lives in the folder found at load: show it again; browsing makes no sense
    // in this mode.
    source_ = folderFoundAtLoad_;
    view_->SetText(SourceLabel, source_);
    view_->SetEnabled(OpenMenu, false);
}

void SelectionPage::SetNext(bool enabled) { view_->SetEnabled(Next, enabled); }

void SelectionPage::SetPath(const std::string& path) {
    source_ = path;
    view_->SetText(FileName, path);
    view_->SetText(SourceLabel, path);
}

void SelectionPage::OnBrowse() {
    // Browsing belongs to the choose option; a second browse while a file is being checked would
    // interleave two checks.
    if (useDefault_ || checking_) return;
    checking_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{checking_};

    Services& services = wizard_.GetServices();
    const std::string picked = services.PickFile(
        view_->Handle(), {{"Eudora Address Book (*.txt)", "*.txt"}, {"All files (*.*)", "*.*"}});
    // Cancelled: the earlier choice stands, and Next with it.
    if (picked.empty()) return;
    // Next stays off until the file is read, so the page cannot move on with an unchecked file.
    SetNext(false);
    SetPath(picked);
    pump_.PumpNow();

    // Trimmed as the export trims it: the file checked is the file exported, with the books the
    // export takes beside it.
    const exporter::SelectedSource source{false, picked};
    const std::string path = exporter::NicknamesFilePath(source);
    const BookCheck check =
        CheckAddressBook(platform::DefaultTextFileOpener(), path, exporter::ExtraBooks(source),
                         platform::TextEncoding::Auto, [this] { pump_.Pump(); });
    switch (check.verdict) {
        case BookVerdict::Passed:
            SetNext(true);
            break;
        case BookVerdict::NotAnAddressBook:
            pump_.PumpNow();
            services.ShowMessage(view_->Handle(), std::string(kApplicationTitle),
                                 std::string(kNotAnAddressBookText), BoxIcon::None, BoxButtons::Ok);
            SetPath({});
            break;
        case BookVerdict::Unreadable:
            SetPath({});
            services.ShowMessage(view_->Handle(), std::string(kApplicationTitle),
                                 "The address book could not be read.\r\n" +
                                     exporter::ShownPath(path) + "\r\n" +
                                     exporter::ShownPath(check.cause) +
                                     "\r\nPlease select a readable Eudora Address Book.",
                                 BoxIcon::Warning, BoxButtons::Ok);
            break;
    }
}

void SelectionPage::OnNext() {
    wizard_.ShowProgress();
    view_->Hide();
}

void SelectionPage::OnMenu(MenuCommand command) {
    if (command == MenuCommand::OpenAddressBook) {
        OnBrowse();
    } else {
        wizard_.RunMenuCommand(command, view_->Handle());
    }
}

void SelectionPage::OnClose() { wizard_.PageClosing(); }

}  // namespace tarvelle::wizard
