// What the wizard needs from the desktop besides its own windows: message boxes, the two pickers,
// opening web addresses, letting the windows handle pending events, and ending the program.
// Windows are named by opaque handles (a toolkit's widget, a native window handle), so the wizard
// knows no toolkit. The program passes the front end's implementation; tests a recording double.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::wizard {

// The title of a message box that has none of its own.
inline constexpr std::string_view kApplicationTitle = "Tarvelle";

// A window of the front end, as the front end identifies it; None when there is no owner.
enum class WindowHandle : std::uintptr_t { None = 0 };

enum class BoxIcon { None, Information, Warning, Question, Critical };
enum class BoxButtons { Ok, YesNo };  // YesNo: Yes is the default button
enum class BoxResult { Ok, Yes, No };

// One entry of the file-open dialog's filter list, e.g. "Eudora Address Book (*.txt)", "*.txt".
struct FileFilter {
    std::string description;
    std::string pattern;
};

class Services {
  public:
    virtual ~Services() = default;
    // A modal message box owned by `owner`. Lines of `text` are separated by CR LF.
    virtual BoxResult ShowMessage(WindowHandle owner, const std::string& title,
                                  const std::string& text, BoxIcon icon, BoxButtons buttons) = 0;
    // The folder picker, modal to `owner`; empty when cancelled.
    virtual std::string PickFolder(WindowHandle owner, const std::string& title) = 0;
    // The file-open dialog offering `filters` in order; the chosen file's full path, empty when
    // cancelled.
    virtual std::string PickFile(WindowHandle owner, const std::vector<FileFilter>& filters) = 0;
    // Hands an address to the desktop's "open" action without waiting; failures are silent.
    virtual void OpenDocument(const std::string& target) = 0;
    // Lets every window handle the events waiting for it (repaints, clicks), then returns.
    virtual void ProcessPendingEvents() = 0;
    // Ends the program at once: no window's closing steps run. A double only records the call
    // and returns.
    virtual void ExitProcess() = 0;
};

}  // namespace tarvelle::wizard
