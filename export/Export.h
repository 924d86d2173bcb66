// The export run: prepares a new .pst, then writes every nickname of the book into it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "eudora/Book.h"
#include "export/ExportHost.h"
#include "export/ItemRecords.h"
#include "platform/Codepage.h"
#include "platform/StoreSession.h"
#include "platform/TextFile.h"

namespace tarvelle::exporter {

// Lives for the whole program run; the next export overwrites it.
struct ExportState {
    std::unique_ptr<platform::StoreSession> session;
    std::shared_ptr<platform::Store> store;
    std::unique_ptr<platform::DistListWrapper> distListWrapper;
    std::unique_ptr<platform::Item> currentDistList;
    std::unique_ptr<platform::Item> currentContactItem;
    // The contacts folder of the extra book being written; empty for the main book.
    std::unique_ptr<platform::Folder> bookFolder;
    std::string nicknamesFilePath;
    std::string outputFolder;  // ends in a path separator once set; empty when cancelled
    std::string displayName;
    std::string pstPath;
    std::string storeEntryId;
};

// One address book of a run: where it is read from and, for an extra book, the contacts folder it
// goes into.
struct BookSource {
    std::string path;
    std::string folderName;  // empty for the main book (the default Contacts folder)
};

// How a run ended, for hosts that report it (the command-line tool's exit status).
struct ExportOutcome {
    bool cancelled = false;       // the folder picker was cancelled
    bool storeFailed = false;     // the store could not be prepared or re-opened
    bool bookUnreadable = false;  // the nicknames file was missing or could not be read
    bool bookChanged = false;     // a book changed between its two readings; the run stopped
    bool writeFailed = false;     // the .pst itself could not be written (or would not fit)
    bool finished = false;        // "Finished..." was reached
    int itemsFailed = 0;
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
    // opener must outlive the exporter; the first pass opens and reads on a thread of its own.
    void SetTextFileOpener(platform::TextFileOpener& opener) { opener_ = &opener; }
    // How the books are decoded; Auto (the default) chooses for each book from its bytes.
    void SetEncoding(platform::TextEncoding encoding) { encoding_ = encoding; }

  private:
    // The first pass's view of one book: how many lines it read and why it stopped early, and
    // what the second pass must find again: the file's stamp, a hash of all lines read and, for
    // every line that may make an item, the hash of the lines up to it.
    struct BookRead {
        int lines = 0;
        std::uint64_t textBytes = 0;
        std::optional<std::string> failure;
        std::optional<platform::FileStamp> stamp;
        std::uint64_t hash = 0;
        std::vector<std::pair<int, std::uint64_t>> checkpoints;  // (line number, hash)
        // As the first pass decoded the book: the second reads the same text.
        platform::TextEncoding encoding = platform::TextEncoding::Auto;
    };
    // A list naming items written after it, saved without members; saved again with all its
    // members once every item has been written.
    struct PendingList {
        // What one member entry named when the list was read: its entry is not looked up again.
        struct Target {  // 8 bytes: thousands of lists may wait, with hundreds of members
            std::uint32_t entry = 0;
            std::uint8_t target = 0;  // eudora::MemberTarget
            std::uint8_t reason = 0;  // eudora::AddressReason
        };
        std::unique_ptr<platform::Item> item;
        std::size_t entry = 0;  // index into AddressBooks::Entries()
        std::string addressText;
        std::vector<Target> targets;  // one per member, in order
    };
    // A pending list's members as first resolved, from its address text.
    std::vector<eudora::ResolvedMember> PendingMembers(const PendingList& pending) const;

    // Returns false (after reporting) when the main book is missing.
    bool ChooseBooks(const SelectedSource& source, std::vector<BookSource>& books,
                     ExportOutcome& outcome);
    // First pass: every book into the index. Returns false when nothing can be written.
    bool IndexBooks(platform::TextFileOpener& opener, const std::vector<BookSource>& books,
                    std::vector<BookRead>& reads, ExportOutcome& outcome);
    // Adds one line of a book to the index, counting what it brings for ExpectItems.
    void IndexLine(std::size_t book, const eudora::BookLine& line);
    // The same for a line of the alias/note layout the feed has taken apart.
    void IndexParsedLine(std::size_t book, int lineNumber, std::string_view text,
                         eudora::ParsedBookLine parsed);
    // Counts what a line brought: an item's text, or a note's.
    void CountLine(std::size_t entriesBefore, std::uint64_t bytes, bool noteLine);
    // Second pass over one book; false when the run must stop after it.
    bool WriteBook(platform::TextFileOpener& opener, std::size_t book, const BookSource& source,
                   const BookRead& read, ExportOutcome& outcome);
    // One line of the second pass: the item its entry stands for, or its "Skipped line".
    void WriteLine(std::size_t book, const eudora::BookLine& line, ExportOutcome& outcome);
    // Logs the line the first pass skipped before the index saw it (too long, control bytes).
    void LogSkippedLine(std::size_t book, int lineNumber);
    void WriteGroup(const eudora::BookEntry& entry, const eudora::ParsedNickname& parsed,
                    ExportOutcome& outcome);
    void WriteContact(const eudora::BookEntry& entry, ExportOutcome& outcome);
    // The folder the current book's items go to: the book's own, or the default Contacts folder.
    platform::Folder& CurrentFolder();
    // The members of a group as stored: the items they name, or one-off members for items that
    // were not written (and for entries naming no item).
    std::vector<platform::Member> GroupMembers(
        const std::vector<eudora::ResolvedMember>& resolvedMembers) const;
    void SavePendingLists(ExportOutcome& outcome);
    void ReleaseStoreObjects();
    // The Outlook error box: the re-install advice where the store writer is unusable, what
    // happened to the file and where otherwise.
    void ShowOutlookError(const std::string& cause, bool writerUnusable);
    // Ends the run's use of its store: the file is closed (StoreSession::Close) and every store
    // object released. A close that fails is reported as a write failure.
    void CloseStore(ExportOutcome& outcome);
    void ReportBookUnreadable(const std::string& path, const std::string& cause,
                              ExportOutcome& outcome);
    void ReportBookChanged(const std::string& path, ExportOutcome& outcome);
    // `itemsKept`: how many items the file holds, when the store could tell.
    void ReportWriteFailure(const std::string& cause, std::optional<std::size_t> itemsKept,
                            ExportOutcome& outcome);
    void ReportNotEnoughSpace(const platform::NotEnoughSpaceError& error, ExportOutcome& outcome);
    // The first name from `stem` + ".pst", `stem` + " (2).pst", ... (from number `from` on,
    // 1 being the plain name) that does not exist; `from` becomes its number. Throws
    // platform::StoreError when the folder cannot be looked into.
    std::string PickFreePstPath(const std::string& stem, int& from) const;

    ExportHost& host_;
    platform::StoreSessionFactory& sessions_;
    ExportState state_;
    Clock clock_;
    platform::TextFileOpener* opener_ = nullptr;
    platform::ExpectedItems expected_;  // counted by the first pass
    bool pstCreated_ = false;           // this run's store created its file (state_.pstPath)
    platform::TextEncoding encoding_ = platform::TextEncoding::Auto;
    std::int32_t contactCounter_ = 0;
    eudora::AddressBooks books_;
    // The items written so far, by BookEntry::itemNumber.
    ItemRecords items_;
    std::vector<PendingList> pendingLists_;
    // Member names already reported as unknown nicknames in this run, folded.
    std::unordered_set<std::string> unknownReported_;
    std::unique_ptr<platform::Folder> defaultFolder_;  // released with the other store objects
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

// The main book the run reads for a selected source: NicknamesFilePath, and for the default book
// the name the data folder really holds it under (another case, or NNdbase.nnt).
std::string MainBookPath(const SelectedSource& source);

// The extra books read with the main book of a source: those in the Nickname folder of Eudora's
// data folder, or of the folder of a main book (NNdbase.txt, NNdbase.nnt) picked by hand.
std::vector<BookSource> ExtraBooks(const SelectedSource& source);

// The five lines of the Outlook error message box, joined by CR LF.
std::string OutlookErrorText();

// The Outlook error box's text when the new file cannot be created in `folder`: where, why, and
// what the user can do.
std::string FileCreationErrorText(const std::string& folder, const std::string& cause);

}  // namespace tarvelle::exporter
