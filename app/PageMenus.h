// The menu bar of a wizard page, built from the wizard's menus.
#pragma once

#include <functional>

#include "wizard/Menus.h"

class QAction;
class QMainWindow;

namespace tarvelle::app {

// Builds the menu bar of `page`; a chosen entry goes to `run`. Returns the "Open Address Book..."
// entry, whose state the page's presenter sets.
QAction* BuildPageMenus(QMainWindow* page, wizard::PageKind kind,
                        std::function<void(wizard::MenuCommand)> run);

}  // namespace tarvelle::app
