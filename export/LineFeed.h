// A book read on a thread of its own: its lines come decoded, hashed, sorted out and (in the
// alias/note layout) taken apart in batches, while the export indexes the lines before them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "eudora/Book.h"
#include "platform/Codepage.h"
#include "platform/TextFile.h"

namespace tarvelle::exporter {

// The cumulative hash of a book's lines, one line at a time (a line over the length bound counts
// as a line of its own kind).
std::uint64_t HashLine(std::uint64_t hash, std::string_view line, bool tooLong);

// Why the export skips a line before the book index sees it ("line too long", "control
// character"), or nullptr. Control characters only matter in lines that would make an entry.
const char* SkipReason(std::string_view line, bool tooLong);

// One line of a book as the feed hands it over.
struct FedLine {
    std::string_view text;   // as read; empty for a line over the length bound
    std::uint64_t hash = 0;  // HashLine over the book's lines up to this one
    // Why the index skips the line before seeing it (too long, control characters), if it does.
    const char* skipReason = nullptr;
    bool mayMakeEntry = false;  // a nickname or note line, or a "<nick>" line of the old layout
    // In a book of the alias/note layout (every line but the first decides nothing), the line
    // taken apart on the feed's thread (eudora::ParseBookLine); nullptr for a skipped line and
    // in a book of the old layout, whose lines make sense only in blocks. It may be moved from.
    eudora::ParsedBookLine* parsed = nullptr;
    bool aliasNoteLayout = false;  // the book is in the alias/note layout
};

class LineFeed {
  public:
    // Lines handed over at a time, and batches read ahead: enough to keep both threads busy
    // without waking either for every line, little enough (some hundred kB) not to show in
    // memory use.
    static constexpr std::size_t kBatchLines = 512;
    static constexpr std::size_t kQueuedBatches = 4;

    // Opens `path` through `opener` and reads its lines, on the feed's own thread; the opener and
    // the reader it makes are all that is called there.
    LineFeed(platform::TextFileOpener& opener, std::string path, platform::TextEncoding encoding);
    // Stops the reading wherever it is: a feed may be left before its last line.
    ~LineFeed();
    LineFeed(const LineFeed&) = delete;
    LineFeed& operator=(const LineFeed&) = delete;

    // Waits for the file to be open; how its lines are decoded. Throws what opening it threw.
    platform::TextEncoding Encoding();
    // The next line, or nullptr after the last one. Throws what reading threw once every line
    // read before it has been handed over. The line stays valid until the next call.
    const FedLine* Next();

  private:
    // Lines handed over together: their texts one after another, and what was found of each.
    // Batches go back to the reading thread to be filled again: no allocation per line crosses
    // between the threads.
    struct Batch {
        struct Line {
            std::size_t end = 0;  // of its text in `text`
            std::uint64_t hash = 0;
            const char* skipReason = nullptr;
            bool mayMakeEntry = false;
            bool parsed = false;  // its ParsedBookLine is the next one in `parsed`
        };
        std::string text;
        std::vector<Line> lines;
        std::vector<eudora::ParsedBookLine> parsed;
        bool aliasNoteLayout = false;
    };

    void Read(platform::TextFileOpener& opener, const std::string& path,
              platform::TextEncoding encoding);
    // Queues a full batch, waiting for room; false once the feed is being stopped.
    bool Hand(Batch& batch);

    std::mutex mutex_;
    std::condition_variable ready_;  // the consumer waits here for a batch or the end
    std::condition_variable room_;   // the reading thread waits here for room in the queue
    std::deque<Batch> batches_;
    std::vector<Batch> spare_;  // handed out and done with
    bool opened_ = false;
    bool ended_ = false;  // every batch is queued; error_ follows them
    bool stopping_ = false;
    platform::TextEncoding encoding_ = platform::TextEncoding::Auto;
    std::exception_ptr error_;
    // The consumer's batch and line.
    Batch current_;
    std::size_t next_ = 0;
    std::size_t nextParsed_ = 0;
    FedLine line_;
    std::thread thread_;
};

}  // namespace tarvelle::exporter
