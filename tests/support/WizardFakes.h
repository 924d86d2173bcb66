// Doubles for the wizard's surroundings: desktop services that record every box, picker and link
// and answer from presets, and a registry holding Eudora's command line (or nothing).
#pragma once

#include <functional>
#include <optional>
#include <utility>

#include "eudora/DataFolder.h"
#include "wizard/Services.h"

namespace tarvelle::fakes {

struct ShownMessage {
    std::string title, text;
    wizard::BoxIcon icon;
    wizard::BoxButtons buttons;
};

class RecordingServices : public wizard::Services {
  public:
    std::vector<ShownMessage> messages;
    wizard::BoxResult answer = wizard::BoxResult::No;  // to every Yes/No box
    std::string file;  // the file picker's answer, once; then cancelled (empty)
    std::function<std::string()> onPickFolder = [] { return std::string(); };  // cancelled
    std::function<void()> onProcessEvents = [] {};
    std::vector<wizard::FileFilter> filters;  // the file picker's last list
    std::vector<std::string> opened;
    int exits = 0;

    wizard::BoxResult ShowMessage(wizard::WindowHandle, const std::string& title,
                                  const std::string& text, wizard::BoxIcon icon,
                                  wizard::BoxButtons buttons) override {
        messages.push_back({title, text, icon, buttons});
        return buttons == wizard::BoxButtons::Ok ? wizard::BoxResult::Ok : answer;
    }
    std::string PickFolder(wizard::WindowHandle, const std::string&) override {
        return onPickFolder();
    }
    std::string PickFile(wizard::WindowHandle, const std::vector<wizard::FileFilter>& f) override {
        filters = f;
        return std::exchange(file, {});
    }
    void OpenDocument(const std::string& target) override { opened.push_back(target); }
    void ProcessPendingEvents() override { onProcessEvents(); }
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
