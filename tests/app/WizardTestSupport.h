// Shared pieces of the wizard tests: a recording stand-in for the desktop services, a private
// Wine prefix holding the Eudora registry entry (or none), and small file helpers.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/AppServices.h"
#include "app/Look.h"
#include "platform/StoreSession.h"

namespace tarvelle::app::testing {

struct ShownMessage {
    std::string title;
    std::string text;
    BoxIcon icon;
    BoxButtons buttons;
};

class RecordingServices : public AppServices {
  public:
    BoxResult ShowMessage(QWidget* /*parent*/, const std::string& title, const std::string& text,
                          BoxIcon icon, BoxButtons buttons) override {
        messages.push_back({title, text, icon, buttons});
        if (onMessage) {
            onMessage();
        }
        if (buttons == BoxButtons::Ok) {
            return BoxResult::Ok;
        }
        BoxResult answer = BoxResult::No;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        return answer;
    }
    std::string PickFolder(QWidget* /*parent*/, const std::string& title) override {
        folderTitles.push_back(title);
        if (onPickFolder) {
            return onPickFolder();
        }
        return folder;
    }
    std::string PickFile(QWidget* /*parent*/, const std::string& description,
                         const std::string& pattern) override {
        fileFilters.push_back(description + "|" + pattern);
        std::string picked;
        if (!files.empty()) {
            picked = files.front();
            files.pop_front();
        }
        return picked;
    }
    void OpenDocument(const std::string& target) override { opened.push_back(target); }
    void ExitProcess() override { ++exits; }

    std::vector<ShownMessage> messages;
    std::deque<BoxResult> answers;  // for Yes/No boxes; No when empty
    std::deque<std::string> files;  // picked files; cancel (empty) when exhausted
    std::string folder;             // what the folder picker returns
    std::function<std::string()> onPickFolder;
    std::function<void()> onMessage;
    std::vector<std::string> folderTitles;
    std::vector<std::string> fileFilters;
    std::vector<std::string> opened;
    int exits = 0;
};

// For tests that never reach the store: every session creation is refused.
class NoStoreFactory : public platform::StoreSessionFactory {
  public:
    std::unique_ptr<platform::StoreSession> CreateSession() override {
        throw platform::StoreError("no store in this test");
    }
};

// A private WINEPREFIX for the registry lookup. Without a command line there is no user.reg at
// all, so Eudora's key is missing.
class WinePrefix {
  public:
    explicit WinePrefix(const std::string* commandLine = nullptr) {
        if (commandLine != nullptr) {
            QByteArray escaped;
            for (char c : *commandLine) {
                if (c == '\\' || c == '"') {
                    escaped += '\\';
                }
                escaped += c;
            }
            QFile reg(dir_.filePath(QStringLiteral("user.reg")));
            reg.open(QIODevice::WriteOnly);
            reg.write(
                "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0\n\n"
                "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1700000000\n\"current\"=\"" +
                escaped + "\"\n");
        }
        qputenv("WINEPREFIX", dir_.path().toLocal8Bit());
    }
    ~WinePrefix() { qunsetenv("WINEPREFIX"); }
    QString Path() const { return dir_.path(); }

  private:
    QTemporaryDir dir_;
};

inline std::string WriteFile(const QTemporaryDir& dir, const QString& name,
                             const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return QDir::toNativeSeparators(path).toStdString();
}

}  // namespace tarvelle::app::testing
