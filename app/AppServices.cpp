#include "app/AppServices.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "platform/ShellOpen.h"

namespace tarvelle::app {

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

}  // namespace

BoxResult DesktopServices::ShowMessage(QWidget* parent, const std::string& title,
                                       const std::string& text, BoxIcon icon, BoxButtons buttons) {
    QString body = QString::fromStdString(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(ToQt(icon), QString::fromStdString(title), body, QMessageBox::NoButton, parent);
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

std::string DesktopServices::PickFolder(QWidget* parent, const std::string& title) {
    const QString folder =
        QFileDialog::getExistingDirectory(parent, QString::fromStdString(title), QString());
    return QDir::toNativeSeparators(folder).toStdString();
}

std::string DesktopServices::PickFile(QWidget* parent, const std::string& filterDescription,
                                      const std::string& filterPattern) {
    // A description that already names its pattern is shown as it stands.
    QString filter = QString::fromStdString(filterDescription);
    if (!filter.contains(QString::fromStdString(filterPattern))) {
        filter += QStringLiteral(" (") + QString::fromStdString(filterPattern) + QChar(')');
    }
    const QString file = QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
    return QDir::toNativeSeparators(file).toStdString();
}

void DesktopServices::OpenDocument(const std::string& target) { platform::OpenDocument(target); }

void DesktopServices::ExitProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace tarvelle::app
