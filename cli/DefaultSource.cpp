#include "cli/DefaultSource.h"

#include <string_view>

#include "eudora/DataFolder.h"
#include "platform/Registry.h"

namespace tarvelle::cli {

namespace {

// The lookup's message boxes as "Title: text" lines; CR LF inside a text becomes LF, as a
// terminal wants it.
class StreamMessageSink final : public eudora::MessageSink {
  public:
    explicit StreamMessageSink(std::ostream& err) : err_(err) {}

    void ShowInformation(std::string_view title, std::string_view text) override {
        err_ << title << ": ";
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
            err_ << text[i];
        }
        err_ << '\n';
    }

  private:
    std::ostream& err_;
};

}  // namespace

std::optional<exporter::SelectedSource> FindDefaultSource(std::ostream& err) {
    platform::PlatformRegistry registry;
    StreamMessageSink messages(err);
    eudora::DataFolderLookup lookup = eudora::LocateEudoraDataFolder(registry, messages);
    if (lookup.outcome != eudora::DataFolderOutcome::FolderFound) return std::nullopt;
    return exporter::SelectedSource{true, std::move(lookup.folder)};
}

}  // namespace tarvelle::cli
