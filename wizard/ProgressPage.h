// The conversion progress page: starts the export run, shows its Progress log, and is the run's
// host (log, pending events, message boxes, folder picker, Selected source).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "export/Export.h"
#include "export/ExportHost.h"
#include "wizard/EventThrottle.h"
#include "wizard/Menus.h"
#include "wizard/Services.h"

namespace tarvelle::wizard {

class Wizard;

// The fixed texts of the page's window and controls.
struct ProgressTexts {
    std::string_view title = "Tarvelle";
    std::string_view frame1 = "Progress Details";
    std::string_view cmdStart = "&Start Exporting >";
    std::string_view cmdBack = "< &Back";
    std::string_view cmdExit = "E&xit";
};
inline constexpr ProgressTexts kProgressTexts;

enum class ProgressControl {
    Start,     // CmdNextFrmMain, "Start Exporting"
    Back,      // CmdBack
    Exit,      // the Exit button
    OpenMenu,  // mnuOpen, "Open Address Book..."
};

// The page's window as a front end draws it; it reports the user's actions to ProgressPage.
class ProgressView {
  public:
    virtual ~ProgressView() = default;
    virtual WindowHandle Handle() const = 0;
    // Shows the window modeless and brings it to the front (centred the first time).
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void SetEnabled(ProgressControl control, bool enabled) = 0;
    // Replaces the log's whole text. Every line of `text` ends in CR LF.
    virtual void SetLog(const std::string& text) = 0;
    // Adds whole lines, each ending in CR LF, at the end of the log. After every change of the
    // log the caret goes behind its last character and the newest line is in view.
    virtual void AppendLog(const std::string& lines) = 0;
};

class ProgressPage : public exporter::ExportHost {
  public:
    explicit ProgressPage(Wizard& wizard);
    ~ProgressPage() override;
    ProgressPage(const ProgressPage&) = delete;
    ProgressPage& operator=(const ProgressPage&) = delete;

    void Attach(std::unique_ptr<ProgressView> view) { view_ = std::move(view); }
    ProgressView& View() { return *view_; }

    // Once, on first use: the log's first two lines.
    void Load();
    void Show() { view_->Show(); }

    // The user's actions.
    // Start Exporting: one export run on this thread. A press during a run is ignored.
    void OnStart();
    void OnBack();
    void OnExit();
    void OnMenu(MenuCommand command);
    // The window is being closed (close box, system menu, Alt+F4, the session ending).
    void OnClose();

    // ExportHost
    void AppendLog(std::string_view line) override;
    void ProcessEvents() override;
    exporter::MessageResult ShowMessage(std::string_view title, std::string_view text,
                                        exporter::MessageIcon icon,
                                        exporter::MessageButtons buttons) override;
    std::string BrowseForFolder(std::string_view title) override;
    exporter::SelectedSource GetSelectedSource() override;

  private:
    // Hands the lines appended since the last flush to the view.
    void FlushLog();

    Wizard& wizard_;
    std::unique_ptr<ProgressView> view_;
    EventThrottle pump_;
    std::unique_ptr<exporter::Exporter> exporter_;
    bool exporting_ = false;
    // Lines appended but not yet in the view. The window shows the log only when it handles its
    // events, so the lines gathered in between go to it in one piece then.
    std::string pendingLog_;
};

}  // namespace tarvelle::wizard
