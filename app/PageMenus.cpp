#include "app/PageMenus.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include "app/Wizard.h"
#include "export/WebSite.h"

namespace tarvelle::app {

namespace {

QAction* AddEntry(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

}  // namespace

PageMenus BuildPageMenus(QMainWindow* page, Wizard& wizard, const QString& fileSeparatorName,
                         const QString& helpSeparatorName) {
    PageMenus menus;
    QMenuBar* bar = page->menuBar();
    bar->setFont(page->font());

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    menus.open = AddEntry(file, "mnuOpen", QStringLiteral("Open Address Book..."));
    file->addSeparator()->setObjectName(fileSeparatorName);
    menus.exit = AddEntry(file, "mnuExit", QStringLiteral("E&xit"));
    QObject::connect(menus.exit, &QAction::triggered, page,
                     [&wizard, page] { wizard.ConfirmExit(page); });

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QObject::connect(AddEntry(help, "mnuguide", QStringLiteral("Product Guide")),
                     &QAction::triggered, page, [&wizard] { wizard.OpenLink(kGuidePath); });
    QObject::connect(AddEntry(help, "mnuAbout", QStringLiteral("About...")), &QAction::triggered,
                     page, [&wizard] { wizard.ShowAbout(); });
    help->addSeparator()->setObjectName(helpSeparatorName);
    // An '&' in the address would turn into a mnemonic: double it.
    QString website = QStringLiteral("Website : ") +
                      QString::fromUtf8(exporter::kWebSiteBase.data(),
                                        static_cast<qsizetype>(exporter::kWebSiteBase.size()));
    website.replace(QChar('&'), QStringLiteral("&&"));
    QObject::connect(AddEntry(help, "mnuWebsite", website), &QAction::triggered, page,
                     [&wizard] { wizard.OpenLink(kHomePath); });
    QObject::connect(AddEntry(help, "mnuOtherProducts", QStringLiteral("Other Pro&ducts")),
                     &QAction::triggered, page, [&wizard] { wizard.OpenLink(kHomePath); });
    return menus;
}

}  // namespace tarvelle::app
