// Doubles for the wizard's surroundings: the desktop services (records every box, picker and
// link; answers from presets) and the registry holding Eudora's command line (or nothing).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eudora/DataFolder.h"
#include "wizard/Services.h"

namespace tarvelle::fakes {

struct ShownMessage {
    std::string title;
    std::string text;
    wizard::BoxIcon icon = wizard::BoxIcon::None;
    wizard::BoxButtons buttons = wizard::BoxButtons::Ok;
};

class RecordingServices : public wizard::Services {
  public:
    std::vector<ShownMessage> messages;
    std::deque<wizard::BoxResult> answers;  // for Yes/No boxes; No when empty
    std::deque<std::string> files;          // picked files; cancel (empty) when none is left
    std::string folder;                     // what the folder picker returns
    std::function<std::string()> onPickFolder;
    std::function<void()> onMessage;
    std::function<void()> onProcessEvents;
    std::vector<std::string> folderTitles;
    std::vector<std::vector<wizard::FileFilter>> fileFilters;
    std::vector<std::string> opened;
    int exits = 0;

    wizard::BoxResult ShowMessage(wizard::WindowHandle, const std::string& title,
                                  const std::string& text, wizard::BoxIcon icon,
                                  wizard::BoxButtons buttons) override {
        messages.push_back({title, text, icon, buttons});
        if (onMessage) onMessage();
        if (buttons == wizard::BoxButtons::Ok) return wizard::BoxResult::Ok;
        wizard::BoxResult answer = wizard::BoxResult::No;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        return answer;
    }
    std::string PickFolder(wizard::WindowHandle, const std::string& title) override {
        folderTitles.push_back(title);
        return onPickFolder ? onPickFolder() : folder;
    }
    std::string PickFile(wizard::WindowHandle,
                         const std::vector<wizard::FileFilter>& filters) override {
        fileFilters.push_back(filters);
        std::string picked;
        if (!files.empty()) {
            picked = files.front();
            files.pop_front();
        }
        return picked;
    }
    void OpenDocument(const std::string& target) override { opened.push_back(target); }
    void ProcessPendingEvents() override {
        if (onProcessEvents) onProcessEvents();
    }
    void ExitProcess() override { ++exits; }
};

// HKEY_CURRENT_USER with Eudora's command-line entry, or without the key when none is given.
class FakeRegistry : public eudora::RegistryReader {
  public:
    std::optional<std::string> commandLine;

    bool KeyExists(std::string_view key) override {
        return commandLine && key == eudora::kCommandLineKey;
    }
    std::string QueryValueText(std::string_view key, std::string_view value) override {
        return KeyExists(key) && value == eudora::kCommandLineValue ? *commandLine : std::string();
    }
};

}  // namespace tarvelle::fakes
