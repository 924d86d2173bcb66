#include "app/AppServices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "platform/ShellOpen.h"

namespace tarvelle::app {

using wizard::BoxButtons;
using wizard::BoxIcon;
using wizard::BoxResult;

namespace {

QMessageBox::Icon ToQt(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            return QMessageBox::Warning;
        case BoxIcon::Question:
            return QMessageBox::Question;
        case BoxIcon::Critical:
            return QMessageBox::Critical;
        case BoxIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

// A filter entry in Qt's form, "Description (pattern)". "*.*" means every file on Windows; other
// systems have names without a dot, which only "*" matches.
QString ToQtFilter(const wizard::FileFilter& filter) {
    QString description = QString::fromStdString(filter.description);
    QString pattern = QString::fromStdString(filter.pattern);
#ifndef _WIN32
    if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
#endif
    const QString named =
        QStringLiteral(" (") + QString::fromStdString(filter.pattern) + QChar(')');
    if (description.endsWith(named)) description.chop(named.size());
    return description + QStringLiteral(" (") + pattern + QChar(')');
}

}  // namespace

wizard::WindowHandle HandleOf(QWidget* widget) {
    return static_cast<wizard::WindowHandle>(reinterpret_cast<std::uintptr_t>(widget));
}

QWidget* WidgetOf(wizard::WindowHandle handle) {
    return reinterpret_cast<QWidget*>(static_cast<std::uintptr_t>(handle));
}

BoxResult DesktopServices::ShowMessage(wizard::WindowHandle owner, const std::string& title,
                                       const std::string& text, BoxIcon icon, BoxButtons buttons) {
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(ToQt(icon), QString::fromStdString(title), body, QMessageBox::NoButton,
                    WidgetOf(owner));
    if (buttons == BoxButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons == BoxButtons::Ok) {
        return BoxResult::Ok;
    }
    return answer == QMessageBox::Yes ? BoxResult::Yes : BoxResult::No;
}

std::string DesktopServices::PickFolder(wizard::WindowHandle owner, const std::string& title) {
    const QString folder = QFileDialog::getExistingDirectory(
        WidgetOf(owner), QString::fromStdString(title), QString());
    return QDir::toNativeSeparators(folder).toStdString();
}

std::string DesktopServices::PickFile(wizard::WindowHandle owner,
                                      const std::vector<wizard::FileFilter>& filters) {
    QStringList entries;
    for (const wizard::FileFilter& filter : filters) entries << ToQtFilter(filter);
    const QString file = QFileDialog::getOpenFileName(WidgetOf(owner), QString(), QString(),
                                                      entries.join(QStringLiteral(";;")));
    return QDir::toNativeSeparators(file).toStdString();
}

void DesktopServices::OpenDocument(const std::string& target) { platform::OpenDocument(target); }

void DesktopServices::ProcessPendingEvents() { QCoreApplication::processEvents(); }

void DesktopServices::ExitProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace tarvelle::app
