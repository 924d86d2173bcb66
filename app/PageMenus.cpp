#include "app/PageMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace tarvelle::app {

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QAction* BuildPageMenus(QMainWindow* page, wizard::PageKind kind,
                        std::function<void(wizard::MenuCommand)> run) {
    QAction* open = nullptr;
    QMenuBar* bar = page->menuBar();
    bar->setFont(page->font());
    for (const wizard::Menu& menu : wizard::PageMenus(kind)) {
        QMenu* qmenu = bar->addMenu(FromView(menu.caption));
        qmenu->setObjectName(FromView(menu.name));
        for (const wizard::MenuEntry& entry : menu.entries) {
            if (!entry.command) {
                qmenu->addSeparator()->setObjectName(FromView(entry.name));
                continue;
            }
            QAction* action = qmenu->addAction(FromView(entry.caption));
            action->setObjectName(FromView(entry.name));
            const wizard::MenuCommand command = *entry.command;
            QObject::connect(action, &QAction::triggered, page, [run, command] { run(command); });
            if (command == wizard::MenuCommand::OpenAddressBook) open = action;
        }
    }
    return open;
}

}  // namespace tarvelle::app
