// What the export run needs from whoever drives it: the wizard, the command-line tool or a test.
#pragma once

#include <string>
#include <string_view>

namespace tarvelle::exporter {

enum class MessageIcon { Information, Warning, Question, Critical };
enum class MessageButtons { Ok, YesNo };
enum class MessageResult { Ok, Yes, No };

// What the selection page decided: the default address book in Eudora's data folder, or a file
// picked by hand.
struct SelectedSource {
    bool useDefault = true;
    std::string path;  // the data folder (default) or the picked file's full path
};

class ExportHost {
  public:
    virtual ~ExportHost() = default;
    // Appends one line to the progress log; `line` carries no line break (the log adds CR LF).
    virtual void AppendLog(std::string_view line) = 0;
    // Lets the user interface handle pending events. A request the host may throttle: the run
    // calls it often and expects it to be cheap.
    virtual void ProcessEvents() = 0;
    // A modal message box; the result is the button pressed. `title` and `text` are UTF-8, lines
    // of `text` separated by CR LF.
    virtual MessageResult ShowMessage(std::string_view title, std::string_view text,
                                      MessageIcon icon, MessageButtons buttons) = 0;
    // The folder picker; returns the chosen folder, empty when cancelled.
    virtual std::string BrowseForFolder(std::string_view title) = 0;
    // Reads the selection page's decision (may load that page on first use).
    virtual SelectedSource GetSelectedSource() = 0;
};

}  // namespace tarvelle::exporter
