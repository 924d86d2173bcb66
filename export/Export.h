// The export run: prepares a new .pst, then writes every nickname of the book into it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "export/ExportHost.h"
#include "platform/StoreSession.h"

namespace tarvelle::exporter {

// Lives for the whole program run; the next export overwrites it.
struct ExportState {
    std::unique_ptr<platform::StoreSession> session;
    std::shared_ptr<platform::Store> store;
    std::unique_ptr<platform::DistListWrapper> distListWrapper;
    std::unique_ptr<platform::Item> currentDistList;
    std::unique_ptr<platform::Item> currentContactItem;
    std::string nicknamesFilePath;
    std::string outputFolder;  // ends in a path separator once set; empty when cancelled
    std::string displayName;
    std::string pstPath;
    std::string storeEntryId;
};

// How a run ended, for hosts that report it (the command-line tool's exit status).
struct ExportOutcome {
    bool cancelled = false;       // the folder picker was cancelled
    bool storeFailed = false;     // the store could not be prepared or re-opened
    bool bookUnreadable = false;  // the nicknames file was missing or could not be read
    bool writeFailed = false;     // the .pst itself could not be written; the run stopped
    bool finished = false;        // "Finished..." was reached
    int itemsWritten = 0;
    int itemsFailed = 0;
    int linesSkipped = 0;
    std::string pstPath;
};

using Clock = std::function<std::chrono::system_clock::time_point()>;

class Exporter {
public:
    Exporter(ExportHost& host, platform::StoreSessionFactory& sessions);
    ~Exporter();

    // The whole conversion, from the folder picker to the completion message.
    ExportOutcome ExportAddressBook();
    // Asks for the folder, creates the new store, records its entry ID, logs off.
    void PrepareOutputStore();
    // Creates and saves one contact in the store's default contacts folder.
    void AddContact(const std::string& storeEntryId, int folderKind, const std::string& name,
                    const std::string& address, const std::string& displayName = {});

    ExportState& State() { return state_; }
    // Tests replace the clock to control the timestamp in the file name.
    void SetClock(Clock clock) { clock_ = std::move(clock); }

private:
    ExportHost& host_;
    platform::StoreSessionFactory& sessions_;
    ExportState state_;
    Clock clock_;
};

// True when `path` names a file whose length can be read (an empty file exists).
bool FileExists(const std::string& path);

}  // namespace tarvelle::exporter
