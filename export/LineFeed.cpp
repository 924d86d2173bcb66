#include "export/LineFeed.h"

#include <functional>
#include <utility>

#include "eudora/Nicknames.h"

namespace tarvelle::exporter {

namespace {

// Lines the book index makes entries of: nickname and note lines, and the "<nick>" lines that
// start (and, read in order, complete) the blocks of the old layout.
bool MayMakeEntry(std::string_view line) {
    return eudora::IsNicknameLine(line) || eudora::IsNoteLine(line) || line.starts_with('<');
}

}  // namespace

const char* SkipReason(std::string_view line, bool tooLong) {
    if (tooLong) return "line too long";
    if (MayMakeEntry(line) && eudora::HoldsControlCharacter(line)) return "control character";
    return nullptr;
}

std::uint64_t HashLine(std::uint64_t hash, std::string_view line, bool tooLong) {
    const std::uint64_t value = std::hash<std::string_view>{}(line) ^ (tooLong ? 0x5bd1e995u : 0);
    return (hash ^ (value + 0x9E3779B97F4A7C15ULL + (hash << 6) + (hash >> 2))) * 0x100000001B3ULL;
}

LineFeed::LineFeed(platform::TextFileOpener& opener, std::string path,
                   platform::TextEncoding encoding) {
    thread_ = std::thread(
        [this, &opener, path = std::move(path), encoding] { Read(opener, path, encoding); });
}

LineFeed::~LineFeed() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    room_.notify_one();
    thread_.join();
}

platform::TextEncoding LineFeed::Encoding() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return opened_ || ended_; });
    if (!opened_) std::rethrow_exception(error_);
    return encoding_;
}

const FedLine* LineFeed::Next() {
    if (next_ == current_.lines.size()) {
        std::unique_lock lock(mutex_);
        if (!current_.lines.empty()) spare_.push_back(std::move(current_));
        ready_.wait(lock, [&] { return !batches_.empty() || ended_; });
        if (batches_.empty()) {
            current_ = {};
            next_ = 0;
            if (error_) std::rethrow_exception(error_);
            return nullptr;
        }
        current_ = std::move(batches_.front());
        batches_.pop_front();
        lock.unlock();
        room_.notify_one();
        next_ = 0;
        nextParsed_ = 0;
    }
    const Batch::Line& line = current_.lines[next_];
    const std::size_t begin = next_ == 0 ? 0 : current_.lines[next_ - 1].end;
    line_.text = std::string_view(current_.text).substr(begin, line.end - begin);
    line_.hash = line.hash;
    line_.skipReason = line.skipReason;
    line_.mayMakeEntry = line.mayMakeEntry;
    line_.parsed = line.parsed ? &current_.parsed[nextParsed_++] : nullptr;
    line_.aliasNoteLayout = current_.aliasNoteLayout;
    ++next_;
    return &line_;
}

bool LineFeed::Hand(Batch& batch) {
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] { return stopping_ || batches_.size() < kQueuedBatches; });
        if (stopping_) return false;
        batches_.push_back(std::move(batch));
        if (spare_.empty()) {
            batch = {};
        } else {
            batch = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    ready_.notify_one();
    batch.text.clear();
    batch.lines.clear();
    batch.parsed.clear();
    return true;
}

void LineFeed::Read(platform::TextFileOpener& opener, const std::string& path,
                    platform::TextEncoding encoding) {
    Batch batch;
    std::exception_ptr error;
    try {
        const auto reader = opener.Open(path, encoding);
        {
            std::lock_guard lock(mutex_);
            encoding_ = reader->Encoding();
            opened_ = true;
        }
        ready_.notify_one();
        std::uint64_t hash = 0;
        bool first = true;
        bool aliasNoteLayout = false;
        std::string text;
        while (!reader->AtEndOfStream()) {
            reader->ReadLineInto(text);
            const bool tooLong = reader->LastLineTooLong();
            Batch::Line& line = batch.lines.emplace_back();
            hash = HashLine(hash, text, tooLong);
            line.hash = hash;
            line.skipReason = SkipReason(text, tooLong);
            line.mayMakeEntry = MayMakeEntry(text);
            if (first) {
                // As the layout reader decides: a skipped first line counts as a blank one.
                aliasNoteLayout = !eudora::IsOldLayout(line.skipReason ? std::string() : text);
                first = false;
            }
            batch.aliasNoteLayout = aliasNoteLayout;
            if (aliasNoteLayout && !line.skipReason) {
                batch.parsed.push_back(eudora::ParseBookLine(text));
                line.parsed = true;
            }
            batch.text += text;
            line.end = batch.text.size();
            if (batch.lines.size() == kBatchLines && !Hand(batch)) return;
        }
    } catch (...) {
        // Handed over after the lines read before it.
        error = std::current_exception();
    }
    {
        std::lock_guard lock(mutex_);
        if (!batch.lines.empty()) batches_.push_back(std::move(batch));
        error_ = error;
        ended_ = true;
    }
    ready_.notify_one();
}

}  // namespace tarvelle::exporter
