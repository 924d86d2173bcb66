// An ExportHost double: records log lines and message boxes, answers the folder picker and the
// selected source with preset values.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "export/ExportHost.h"

namespace tarvelle::fakes {

struct RecordedMessage {
    std::string title;
    std::string text;
    exporter::MessageIcon icon = exporter::MessageIcon::Information;
    exporter::MessageButtons buttons = exporter::MessageButtons::Ok;
};

class RecordingExportHost : public exporter::ExportHost {
  public:
    std::vector<std::string> log;
    std::vector<RecordedMessage> messages;
    std::vector<std::string> pickerTitles;
    std::string folder;  // what the folder picker returns; empty = cancelled
    exporter::SelectedSource source;
    int processEventsCalls = 0;
    int sourceReads = 0;
    std::function<void()> onMessage;  // called as a message box is shown

    void AppendLog(std::string_view line) override { log.emplace_back(line); }
    void ProcessEvents() override { ++processEventsCalls; }
    exporter::MessageResult ShowMessage(std::string_view title, std::string_view text,
                                        exporter::MessageIcon icon,
                                        exporter::MessageButtons buttons) override {
        messages.push_back({std::string(title), std::string(text), icon, buttons});
        if (onMessage) onMessage();
        return exporter::MessageResult::Ok;
    }
    std::string BrowseForFolder(std::string_view title) override {
        pickerTitles.emplace_back(title);
        return folder;
    }
    exporter::SelectedSource GetSelectedSource() override {
        ++sourceReads;
        return source;
    }
};

}  // namespace tarvelle::fakes
