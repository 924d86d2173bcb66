// Everything the wizard does that reaches outside its own windows: modal message boxes, the
// folder picker, the file-open dialog, opening web addresses and ending the process. The program
// uses DesktopServices; tests put a recording double in its place.
#pragma once

#include <string>

class QWidget;

namespace tarvelle::app {

enum class BoxIcon { None, Information, Warning, Question, Critical };
enum class BoxButtons { Ok, YesNo };  // YesNo: Yes is the default button
enum class BoxResult { Ok, Yes, No };

class AppServices {
  public:
    virtual ~AppServices() = default;
    // A modal message box owned by `parent` (may be null). Lines of `text` are separated by CR LF.
    virtual BoxResult ShowMessage(QWidget* parent, const std::string& title,
                                  const std::string& text, BoxIcon icon, BoxButtons buttons) = 0;
    // The folder picker, modal to `parent`; empty when cancelled.
    virtual std::string PickFolder(QWidget* parent, const std::string& title) = 0;
    // The file-open dialog with one filter entry; the chosen file's full path, empty when
    // cancelled.
    virtual std::string PickFile(QWidget* parent, const std::string& filterDescription,
                                 const std::string& filterPattern) = 0;
    // Hands an address to the desktop's "open" action without waiting; failures are silent.
    virtual void OpenDocument(const std::string& target) = 0;
    // Ends the program at once: no window's closing steps run. A double only records the call
    // and returns.
    virtual void ExitProcess() = 0;
};

// The real services: Qt dialogs, the platform's opener and an immediate process exit.
class DesktopServices : public AppServices {
  public:
    BoxResult ShowMessage(QWidget* parent, const std::string& title, const std::string& text,
                          BoxIcon icon, BoxButtons buttons) override;
    std::string PickFolder(QWidget* parent, const std::string& title) override;
    std::string PickFile(QWidget* parent, const std::string& filterDescription,
                         const std::string& filterPattern) override;
    void OpenDocument(const std::string& target) override;
    [[noreturn]] void ExitProcess() override;
};

}  // namespace tarvelle::app
