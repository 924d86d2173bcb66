// The command-line tool's whole behaviour, callable in-process (main.cpp only wires the streams).
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "export/ExportHost.h"
#include "platform/StoreSession.h"

namespace tarvelle::platform {
class TextFileOpener;
}

namespace tarvelle::cli {

// Exit statuses of tarvelle-export.
enum ExitStatus : int {
    kExitSuccess = 0,          // "Finished..." reached with every item written
    kExitFailure = 1,          // no store, unreadable book, items not written, lookup failed
    kExitUsage = 2,            // bad command line
    kExitNotAnAddressBook = 3  // the picked file failed the address-book check; nothing written
};

struct CommandEnvironment {
    std::ostream& out;  // the progress log, one line per line
    std::ostream& err;  // message boxes as "Title: text", the new file's path, progress
    platform::StoreSessionFactory& sessions;
    // Default mode's lookup; FindDefaultSource unless a test replaces it.
    std::function<std::optional<exporter::SelectedSource>(std::ostream&)> findDefaultSource;
    // Where books are read; nullptr = platform::DefaultTextFileOpener().
    platform::TextFileOpener* opener = nullptr;
    bool showProgress = false;  // draw a progress line on err (when it is a terminal)
};

// Runs tarvelle-export with `args` (without the program name); returns the exit status.
int RunExportCommand(const std::vector<std::string>& args, CommandEnvironment& env);

// The --help text.
std::string UsageText();

}  // namespace tarvelle::cli
