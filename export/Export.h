// The export run: prepares a new .pst, then writes every nickname of the book into it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "export/ExportHost.h"
#include "platform/StoreSession.h"

namespace tarvelle::platform {
class TextFileOpener;
}

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
    std::string pstPath;  // the new .pst, once the store has created it; else empty
};

using Clock = std::function<std::chrono::system_clock::time_point()>;

// Fixed texts of the run, shared with hosts and tests.
inline constexpr std::string_view kFolderPickerTitle =
    "Choose Folder to Save Exported Outlook Contacts File";
inline constexpr std::string_view kOutlookErrorTitle = "Outlook Error";
inline constexpr std::string_view kExportCompleteTitle = "Export Complete";
inline constexpr std::string_view kExportFailedTitle = "Export Failed";
inline constexpr std::string_view kExportCompleteText = "Address Book Export Complete !";
inline constexpr std::string_view kNicknamesFileName = "NNdbase.txt";

class Exporter {
  public:
    Exporter(ExportHost& host, platform::StoreSessionFactory& sessions);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    // The whole conversion, from the folder picker to the completion message.
    ExportOutcome ExportAddressBook();
    // Asks for the folder, creates the new store, records its entry ID, logs off. Returns whether
    // the store was created (false also when the picker was cancelled).
    bool PrepareOutputStore();
    // Creates and saves one contact in the store's default contacts folder. Throws StoreError.
    void AddContact(const std::string& storeEntryId, int folderKind, const std::string& name,
                    const std::string& address, const std::string& displayName = {});

    ExportState& State() { return state_; }
    // Tests replace the clock to control the timestamp in the file name.
    void SetClock(Clock clock) { clock_ = std::move(clock); }
    // Where the nicknames file is opened; the default is platform::DefaultTextFileOpener(). The
    // opener must outlive the exporter.
    void SetTextFileOpener(platform::TextFileOpener& opener) { opener_ = &opener; }

  private:
    void ReadBook(platform::TextFileOpener& opener, ExportOutcome& outcome);
    void WriteGroup(const std::string& name, const std::string& addressText,
                    ExportOutcome& outcome);
    void WriteContact(const std::string& name, const std::string& addressText,
                      ExportOutcome& outcome);
    void ReleaseStoreObjects();
    void ShowOutlookError(const std::string& cause);
    void ReportBookUnreadable(const std::string& path, const std::string& cause,
                              ExportOutcome& outcome);
    void ReportWriteFailure(const std::string& cause, ExportOutcome& outcome);
    std::string PickFreePstPath(const std::string& stem) const;

    ExportHost& host_;
    platform::StoreSessionFactory& sessions_;
    ExportState state_;
    Clock clock_;
    platform::TextFileOpener* opener_ = nullptr;
    std::int32_t contactCounter_ = 0;
};

// True when `path` names a file whose length can be read (an empty file exists). Windows-style
// paths are resolved first (platform::ResolveNativePath).
bool FileExists(const std::string& path);

// The picked folder with the native path separator appended when it does not end in one (a root
// such as "/" or "C:\" is left as it is).
std::string WithTrailingSeparator(std::string folder);

// "dd-mm-yy h-m-s" in local time: 5 December 2026 09:05:03 gives "05-12-26 9-5-3".
std::string FormatTimestamp(std::chrono::system_clock::time_point when);

// The nicknames file the run reads for a selected source: the picked file, or the data folder
// joined with "NNdbase.txt". The text is trimmed of spaces first.
std::string NicknamesFilePath(const SelectedSource& source);

// The five lines of the Outlook error message box, joined by CR LF.
std::string OutlookErrorText();

}  // namespace tarvelle::exporter
