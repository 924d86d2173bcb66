// The desktop's services for the wizard core on Windows: message boxes, the file and folder
// pickers (IFileOpenDialog), the shell's "open", the message pump for the core's throttle, and
// ending the program.
#pragma once

#include <windows.h>

#include "wizard/Services.h"

namespace tarvelle::win {

wizard::WindowHandle HandleOf(HWND window);
HWND WindowOf(wizard::WindowHandle handle);

// Hands one message to its window: dialog keys (Tab, arrows, Enter, access keys) go to the
// wizard's dialogs first.
void DispatchUiMessage(MSG& message);

class WindowsServices : public wizard::Services {
  public:
    wizard::BoxResult ShowMessage(wizard::WindowHandle owner, const std::string& title,
                                  const std::string& text, wizard::BoxIcon icon,
                                  wizard::BoxButtons buttons) override;
    std::string PickFolder(wizard::WindowHandle owner, const std::string& title) override;
    std::string PickFile(wizard::WindowHandle owner,
                         const std::vector<wizard::FileFilter>& filters) override;
    void OpenDocument(const std::string& target) override;
    void ProcessPendingEvents() override;
    void ExitProcess() override;
};

}  // namespace tarvelle::win
