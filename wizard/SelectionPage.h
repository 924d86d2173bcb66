// The address-book selection page: the default book in Eudora's data folder, found through
// Eudora's registry entry, or a file picked by hand and checked. What it decides is the Selected
// source the export run reads.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "export/ExportHost.h"
#include "wizard/EventThrottle.h"
#include "wizard/Menus.h"
#include "wizard/Services.h"

namespace tarvelle::wizard {

class Wizard;

// The fixed texts of the page's window and controls.
struct SelectionTexts {
    std::string_view title = "Tarvelle";
    std::string_view label3 =
        "This application is designed to help you convert Eudora Address Book to MS Outlook "
        "Contacts. Supports Outlook 2013 (32 Bit), Outlook 2010 (32 Bit), 2007, 2003.";
    std::string_view label4 =
        "You can use this wizard to transfer Eudora Address Book  to Outlook on same machine or "
        "on another machine having MS Outlook installed on Windows machine. All Windows versions "
        "supported.";
    std::string_view label2 = "Default Eudora Address Book Files Located";
    std::string_view frame1 = " Choose Address Book ";
    std::string_view optDefaultWab = " I want to convert my default address book file";
    std::string_view optChooseWab = " I want to choose my address book files";
    std::string_view cmdWabBrowse = "Browse...";
    std::string_view cmdNext = "&Next >";
};
inline constexpr SelectionTexts kSelectionTexts;

// The controls whose state changes while the page is used.
enum class SelectionControl {
    SourceLabel,    // LblWABFileName: the Selected source's path text
    DefaultOption,  // OptDefaultWAB
    ChooseOption,   // OptChooseWAB
    FileName,       // txtWABFilename
    Browse,         // CmdWABBrowse
    Next,           // CmdNextFrmMain
    OpenMenu,       // mnuOpen, "Open Address Book..."
};

// The page's window as a front end draws it. It reports the user's actions to SelectionPage and
// does what the page asks; it keeps no state of its own beyond what it shows.
class SelectionView {
  public:
    virtual ~SelectionView() = default;
    virtual WindowHandle Handle() const = 0;
    // Shows the window modeless and brings it to the front (centred the first time).
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetVisible(SelectionControl control, bool visible) = 0;
    virtual void SetEnabled(SelectionControl control, bool enabled) = 0;
    // Selects an option button (the other one clears). Not reported back as a click.
    virtual void Select(SelectionControl option) = 0;
    // The caption of SourceLabel or the text of FileName, drawn at once.
    virtual void SetText(SelectionControl control, const std::string& text) = 0;
};

class SelectionPage {
  public:
    explicit SelectionPage(Wizard& wizard);
    SelectionPage(const SelectionPage&) = delete;
    SelectionPage& operator=(const SelectionPage&) = delete;

    void Attach(std::unique_ptr<SelectionView> view) { view_ = std::move(view); }
    SelectionView& View() { return *view_; }

    // Once, on first use: the page as designed, then the Eudora lookup and the page's reaction.
    void Load();
    void Show() { view_->Show(); }
    exporter::SelectedSource SelectedSource() const;

    // The user's actions.
    void OnOptionSelected(SelectionControl option);
    // Browse..., and "Open Address Book..." in the File menu.
    void OnBrowse();
    void OnNext();
    void OnMenu(MenuCommand command);
    // The window is being closed (close box, system menu, Alt+F4).
    void OnClose();

  private:
    void ChooseSelected();
    void DefaultSelected();
    void SetNext(bool enabled);
    void SetPath(const std::string& path);

    Wizard& wizard_;
    std::unique_ptr<SelectionView> view_;
    EventThrottle pump_;
    bool useDefault_ = true;
    bool checking_ = false;
    std::string source_;  // SourceLabel's caption
    std::string folderFoundAtLoad_;
};

}  // namespace tarvelle::wizard
