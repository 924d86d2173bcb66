#include "platform/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/Codepage.h"
#include "platform/NativePath.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tarvelle::platform {

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlockSize = 64 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::size_t ReadBlock(std::FILE* file, char* into, std::size_t size) {
    errno = 0;
    const std::size_t got = std::fread(into, 1, size, file);
    if (got < size && std::ferror(file)) {
        const int error = errno != 0 ? errno : EIO;
        throw TextFileError(std::error_code(error, std::generic_category()));
    }
    return got;
}

class FileSource final : public ByteSource {
  public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    ~FileSource() override { std::fclose(file_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t Read(char* into, std::size_t size) override { return ReadBlock(file_, into, size); }

  private:
    std::FILE* file_;
};

class StringSource final : public ByteSource {
  public:
    StringSource(std::string bytes, std::size_t chunkSize)
        : bytes_(std::move(bytes)), chunkSize_(chunkSize) {}

    std::size_t Read(char* into, std::size_t size) override {
        if (chunkSize_ > 0) size = std::min(size, chunkSize_);
        const std::size_t count = std::min(size, bytes_.size() - offset_);
        std::memcpy(into, bytes_.data() + offset_, count);
        offset_ += count;
        return count;
    }

  private:
    std::string bytes_;
    std::size_t chunkSize_;
    std::size_t offset_ = 0;
};

class DecodingTextReader final : public TextReader {
  public:
    DecodingTextReader(std::unique_ptr<ByteSource> source, TextEncoding encoding,
                       std::size_t maxLineBytes)
        : source_(std::move(source)),
          buffer_(kBlockSize),
          maxLineBytes_(maxLineBytes),
          encoding_(encoding) {}

    // Reads the first block and settles the encoding, so that Open reports an unreadable file.
    void Start() {
        if (started_) return;
        started_ = true;
        while (Available() < kBinaryProbeBytes && Fill()) {
        }
        const std::string_view head(buffer_.data() + begin_, Available());
        binary_ = head.substr(0, kBinaryProbeBytes).find('\0') != std::string_view::npos;
        const bool bom = head.starts_with(kUtf8Bom);
        if (encoding_ == TextEncoding::Auto) {
            encoding_ = bom ? TextEncoding::Utf8 : TextEncoding::Ansi;
        }
        if (bom && encoding_ == TextEncoding::Utf8) begin_ += kUtf8Bom.size();
    }

    bool AtEndOfStream() override {
        Start();
        return Available() == 0 && !Fill();
    }

    bool LastLineTooLong() const override { return tooLong_; }
    bool StartsBinary() const override { return binary_; }
    TextEncoding Encoding() const override { return encoding_; }

    std::string ReadLine() override {
        std::string line;
        ReadLineInto(line);
        return line;
    }

    void ReadLineInto(std::string& raw) override {
        Start();
        if (AtEndOfStream()) throw TextFileError("Input past end of file");
        raw.clear();
        tooLong_ = false;
        while (Available() > 0 || Fill()) {
            const char* from = buffer_.data() + begin_;
            const char* to = buffer_.data() + end_;
            // The first CR or LF: memchr for LF, then for a CR before it.
            const auto* lf = static_cast<const char*>(
                std::memchr(from, '\n', static_cast<std::size_t>(to - from)));
            const char* end = lf != nullptr ? lf : to;
            const auto* cr = static_cast<const char*>(
                std::memchr(from, '\r', static_cast<std::size_t>(end - from)));
            const char* stop = cr != nullptr ? cr : end;
            if (!tooLong_ && static_cast<std::size_t>(stop - from) > maxLineBytes_ - raw.size()) {
                // Past the bound the rest of the line is only looked through for its end.
                tooLong_ = true;
                raw.clear();
            }
            if (!tooLong_) raw.append(from, stop);
            if (stop == to) {
                begin_ = end_;
                continue;
            }
            begin_ = static_cast<std::size_t>(stop - buffer_.data()) + 1;
            if (*stop == '\r' && (Available() > 0 || Fill()) && buffer_[begin_] == '\n') {
                ++begin_;
            }
            break;
        }
        // Most lines are ASCII, the same in every encoding: they stay as read.
        if (!tooLong_ && !IsAscii(raw)) raw = Decode(encoding_, raw);
    }

  private:
    std::size_t Available() const { return end_ - begin_; }

    // Keeps the unread bytes and appends the next block; false at the end of the input.
    bool Fill() {
        if (atEnd_) return false;
        if (begin_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + begin_, Available());
            end_ -= begin_;
            begin_ = 0;
        }
        if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
        const std::size_t got = source_->Read(buffer_.data() + end_, buffer_.size() - end_);
        if (got == 0) {
            atEnd_ = true;
            return false;
        }
        end_ += got;
        return true;
    }

    std::unique_ptr<ByteSource> source_;
    std::vector<char> buffer_;
    std::size_t maxLineBytes_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    TextEncoding encoding_;
    bool atEnd_ = false;
    bool started_ = false;
    bool binary_ = false;
    bool tooLong_ = false;
};

std::FILE* OpenForReading(const fs::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

std::string FileName(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

// Reads the whole file once to choose its encoding, then goes back to its start.
TextEncoding SniffEncoding(std::FILE* file, const fs::path& path) {
    EncodingSniffer sniffer(FileName(path));
    std::vector<char> block(kBlockSize);
    while (!sniffer.Decided()) {
        const std::size_t got = ReadBlock(file, block.data(), block.size());
        if (got == 0) break;
        sniffer.Add(std::string_view(block.data(), got));
    }
    errno = 0;
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        throw TextFileError(std::error_code(errno != 0 ? errno : EIO, std::generic_category()));
    }
    return sniffer.Result();
}

class FileOpener final : public TextFileOpener {
  public:
    std::unique_ptr<TextReader> Open(const std::string& pathText, TextEncoding encoding) override {
        const std::optional<fs::path> path = ResolveNativePath(pathText);
        if (!path) {
            throw TextFileError(std::make_error_code(std::errc::no_such_file_or_directory));
        }
        std::error_code statusError;
        const fs::file_status status = fs::status(*path, statusError);
        if (fs::is_directory(status)) {
            throw TextFileError(std::make_error_code(std::errc::is_a_directory));
        }
        // Devices and pipes could block or never end; an address book is a regular file.
        if (fs::exists(status) && !fs::is_regular_file(status)) {
            throw TextFileError("Not a regular file");
        }
        errno = 0;
        std::FILE* file = OpenForReading(*path);
        if (file == nullptr) {
            const int error = errno != 0 ? errno : ENOENT;
            throw TextFileError(std::error_code(error, std::generic_category()));
        }
        auto source = std::make_unique<FileSource>(file);
        if (encoding == TextEncoding::Auto) encoding = SniffEncoding(file, *path);
        auto reader =
            std::make_unique<DecodingTextReader>(std::move(source), encoding, kMaxLineBytes);
        reader->Start();
        return reader;
    }
};

}  // namespace

TextFileOpener& DefaultTextFileOpener() {
    static FileOpener opener;
    return opener;
}

std::unique_ptr<TextReader> MakeTextReader(std::unique_ptr<ByteSource> source,
                                           TextEncoding encoding) {
    auto reader = std::make_unique<DecodingTextReader>(std::move(source), encoding, kMaxLineBytes);
    reader->Start();
    return reader;
}

std::unique_ptr<TextReader> MakeStringTextReader(std::string bytes, std::size_t chunkSize,
                                                 TextEncoding encoding, std::string_view fileName,
                                                 std::size_t maxLineBytes) {
    if (encoding == TextEncoding::Auto) {
        EncodingSniffer sniffer(fileName);
        sniffer.Add(bytes);
        encoding = sniffer.Result();
    }
    auto reader = std::make_unique<DecodingTextReader>(
        std::make_unique<StringSource>(std::move(bytes), chunkSize), encoding, maxLineBytes);
    reader->Start();
    return reader;
}

std::optional<FileStamp> StampOf(const std::string& pathText) {
    const std::optional<fs::path> path = ResolveNativePath(pathText);
    if (!path) return std::nullopt;
#ifdef _WIN32
    // No file numbers through the C runtime here; size and the 100 ns write time tell most
    // rewrites apart, and the export compares the lines themselves as well.
    std::error_code ec;
    const auto size = fs::file_size(*path, ec);
    if (ec) return std::nullopt;
    const auto modified = fs::last_write_time(*path, ec);
    if (ec) return std::nullopt;
    return FileStamp{0, 0, size, static_cast<std::int64_t>(modified.time_since_epoch().count())};
#else
    struct stat info {};
    if (::stat(path->c_str(), &info) != 0) return std::nullopt;
    return FileStamp{
        static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
        static_cast<std::uint64_t>(info.st_size),
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
#endif
}

}  // namespace tarvelle::platform
