// The desktop services of the Qt wizard: Qt's message boxes and dialogs, the platform's opener,
// Qt's event processing and an immediate process exit. A window handle is the QWidget itself.
#pragma once

#include "wizard/Services.h"

class QWidget;

namespace tarvelle::app {

wizard::WindowHandle HandleOf(QWidget* widget);
QWidget* WidgetOf(wizard::WindowHandle handle);

class DesktopServices : public wizard::Services {
  public:
    wizard::BoxResult ShowMessage(wizard::WindowHandle owner, const std::string& title,
                                  const std::string& text, wizard::BoxIcon icon,
                                  wizard::BoxButtons buttons) override;
    std::string PickFolder(wizard::WindowHandle owner, const std::string& title) override;
    std::string PickFile(wizard::WindowHandle owner,
                         const std::vector<wizard::FileFilter>& filters) override;
    void OpenDocument(const std::string& target) override;
    void ProcessPendingEvents() override;
    [[noreturn]] void ExitProcess() override;
};

}  // namespace tarvelle::app
