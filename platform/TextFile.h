// Reading a text file line by line, the way the export run and the address-book check use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/Codepage.h"

namespace tarvelle::platform {

// A file that could not be opened or read. what() is the cause alone ("Is a directory",
// "No such file or directory", ...); the caller adds the path.
class TextFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    TextFileError(const std::string& cause, std::error_code code)
        : std::runtime_error(cause), code_(code) {}
    explicit TextFileError(std::error_code code) : TextFileError(code.message(), code) {}

    // The system's error, when there was one (empty for causes of our own).
    const std::error_code& code() const noexcept { return code_; }

  private:
    std::error_code code_;
};

// The longest line a reader hands over, in bytes as stored. A longer one is read to its end
// without being held: ReadLine returns an empty text for it and LastLineTooLong() is true.
inline constexpr std::size_t kMaxLineBytes = std::size_t{64} << 20;
// How much of the start of a file StartsBinary() looks at.
inline constexpr std::size_t kBinaryProbeBytes = 4096;

// Lines as UTF-8 with the terminator removed. CR LF, LF and a lone CR each end a line; a last
// line without a terminator is still a line. The bytes are decoded as the reader's encoding: read
// as UTF-8, a leading byte-order mark is dropped and malformed sequences become U+FFFD. NUL bytes
// are kept.
class TextReader {
  public:
    virtual ~TextReader() = default;
    // True when no character is left to read. May read ahead, so it can throw TextFileError too.
    virtual bool AtEndOfStream() = 0;
    // The next line. Throws TextFileError when the read fails part-way, or when called at the end.
    virtual std::string ReadLine() = 0;
    // ReadLine into `line`, whose memory a reader may keep using: a book's hundreds of thousands
    // of lines then cost no allocation each. `line` is unspecified after a throw.
    virtual void ReadLineInto(std::string& line) { line = ReadLine(); }
    // Whether the line ReadLine returned last was over the length bound (and so came back empty).
    virtual bool LastLineTooLong() const { return false; }
    // Whether the first kBinaryProbeBytes of the input hold a NUL byte: a binary file.
    virtual bool StartsBinary() const { return false; }
    // How the lines are decoded (never Auto): open the file again with it to read the same text.
    virtual TextEncoding Encoding() const = 0;
};

// Opens files for reading; injectable so tests can simulate failing reads.
class TextFileOpener {
  public:
    virtual ~TextFileOpener() = default;
    // Throws TextFileError when `path` is missing, a directory, not a regular file, or unreadable.
    // With Auto the whole file is looked at first and its encoding chosen (EncodingSniffer).
    virtual std::unique_ptr<TextReader> Open(const std::string& path, TextEncoding encoding) = 0;
    std::unique_ptr<TextReader> Open(const std::string& path) {
        return Open(path, TextEncoding::Auto);
    }
};

// Opens real files; the path text goes through ResolveNativePath first.
TextFileOpener& DefaultTextFileOpener();

// Where a reader's bytes come from. Read stores up to `size` bytes and returns how many; it
// returns 0 only at the end of the input and throws TextFileError when the read fails.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::size_t Read(char* into, std::size_t size) = 0;
};

// A reader over any byte source (tests use sources that fail part-way). A source is read once,
// so Auto cannot look at all of it first: it reads UTF-8 after a byte-order mark, else ANSI.
std::unique_ptr<TextReader> MakeTextReader(std::unique_ptr<ByteSource> source,
                                           TextEncoding encoding = TextEncoding::Auto);

// A reader over bytes held in memory, decoded exactly as a file with those bytes (and the name
// `fileName`) would be. A non-zero `chunkSize` hands the bytes over at most that many at a time,
// like short reads.
std::unique_ptr<TextReader> MakeStringTextReader(std::string bytes, std::size_t chunkSize = 0,
                                                 TextEncoding encoding = TextEncoding::Auto,
                                                 std::string_view fileName = {},
                                                 std::size_t maxLineBytes = kMaxLineBytes);

// What tells one state of a file on disk from another: which file it is (device and file number
// where the system has them), its size and its last modification time.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // in the system's own unit

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the file a path text names (ResolveNativePath first); nothing when it cannot be
// looked at.
std::optional<FileStamp> StampOf(const std::string& path);

}  // namespace tarvelle::platform
