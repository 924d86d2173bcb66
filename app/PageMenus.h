// The File and Help menus both wizard pages carry.
#pragma once

#include <QString>

class QAction;
class QMainWindow;

namespace tarvelle::app {

class Wizard;

struct PageMenus {
    QAction* open = nullptr;  // "Open Address Book..."
    QAction* exit = nullptr;
};

// Builds the menu bar of `page`. `fileSeparatorName` and `helpSeparatorName` are the names the
// page gives its two separators. The Exit entry asks before ending the program; the Help entries
// open the links and the About box. The page connects "Open Address Book..." itself.
PageMenus BuildPageMenus(QMainWindow* page, Wizard& wizard, const QString& fileSeparatorName,
                         const QString& helpSeparatorName);

}  // namespace tarvelle::app
