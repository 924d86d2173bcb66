#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/Codepage.h"
#include "platform/TextFile.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tarvelle::platform {
namespace {

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

Lines ReadAll(TextReader& reader) {
    std::vector<std::string> lines;
    while (!reader.AtEndOfStream()) lines.push_back(reader.ReadLine());
    return lines;
}

// ReadAll with every line read into one string, which starts with text of its own.
Lines ReadAllInto(TextReader& reader) {
    std::vector<std::string> lines;
    std::string line = "left over";
    while (!reader.AtEndOfStream()) {
        reader.ReadLineInto(line);
        lines.push_back(line);
    }
    return lines;
}

// The same bytes read in one go, handed over one byte at a time, and read line after line into
// one string must give the same lines.
Lines LinesOf(const std::string& bytes) {
    auto whole = MakeStringTextReader(bytes);
    auto trickle = MakeStringTextReader(bytes, 1);
    Lines lines = ReadAll(*whole);
    EXPECT_EQ(ReadAll(*trickle), lines) << "read one byte at a time";
    EXPECT_EQ(ReadAllInto(*MakeStringTextReader(bytes)), lines) << "read into one string";
    return lines;
}

// The encoding a file is read in, and its lines.
std::pair<TextEncoding, Lines> ReadFile(const std::string& path,
                                        TextEncoding encoding = TextEncoding::Auto) {
    auto reader = DefaultTextFileOpener().Open(path, encoding);
    return {reader->Encoding(), ReadAll(*reader)};
}

// What opening `path` fails with, as "text (text of the code)", or "" when it opens.
std::string OpenFailure(const fs::path& path) {
    try {
        DefaultTextFileOpener().Open(path.string());
    } catch (const TextFileError& error) {
        return std::string(error.what()) + " (" + error.code().message() + ")";
    }
    return "";
}

TEST(TextReaderTest, CrLfLfAndLoneCrEachEndALineAndNulBytesStay) {
    // Arbitrary bytes are left to the fuzz target.
    const std::pair<std::string, Lines> rows[] = {
        // clang-format off
        {"", {}}, {"a", {"a"}}, {"a\r\n", {"a"}}, {"a\r\nb\nc\rd", {"a", "b", "c", "d"}}, {"\r\n", {""}},
        {"a\n\n", {"a", ""}}, {"\r\r\n", {"", ""}}, {"\n\r", {"", ""}}, {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {std::string("a\0b\r\n\0", 6), {std::string("a\0b", 3), std::string(1, '\0')}},
        // clang-format on
    };
    for (const auto& [bytes, lines] : rows) EXPECT_EQ(LinesOf(bytes), lines) << bytes;
}

TEST(TextReaderTest, CrLfSplitAcrossReadBlocksIsOneTerminator) {
    // The reader fetches 64 KiB at a time: put the CR last in the first block.
    for (std::size_t length : {65535u, 65534u, 65536u, 131071u}) {
        SCOPED_TRACE(length);
        const std::string first(length, 'x');
        EXPECT_EQ(LinesOf(first + "\r\ny\r\n"), (Lines{first, "y"}));
        EXPECT_EQ(LinesOf(first + "\r"), (Lines{first}));
    }
}

TEST(TextReaderTest, DecodesWindows1252UnlessTheFileStartsWithAUtf8Mark) {
    if (DecodeAnsi("\xE9") != "\xC3\xA9") GTEST_SKIP() << "the ANSI code page is not 1252";
    const std::pair<std::string, Lines> rows[] = {
        // clang-format off
        {"alias m\xFCller hans@example.de\r\nx\x81\x8D\x8F\x90\x9D\x83",
         {"alias m\xC3\xBCller hans@example.de", "x\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC6\x92"}},
        // UTF-8 with a byte-order mark and LF endings, as text editors re-save books; malformed
        // UTF-8 after the mark cannot pass through unchecked.
        {"\xEF\xBB\xBF" "alias zoe \"Zo\xC3\xAB\" <zoe@example.no>\nalias b b@x\n", {"alias zoe \"Zo\xC3\xAB\" <zoe@example.no>", "alias b b@x"}},
        {"\xEF\xBB\xBF", {}}, {"\xEF\xBB\xBF\r\n", {""}}, {"\xEF\xBB\xBF" "a\xE9z", {"a\xEF\xBF\xBDz"}},
        // Only the full mark switches to UTF-8; a mark later in the file is a character of the text.
        {"\xEF\xBB" "alias", {"\xC3\xAF\xC2\xBB" "alias"}}, {"a\n\xEF\xBB\xBF", {"a", "\xEF\xBB\xBF"}},
        {"a\xE9\n\xEF\xBB\xBF", {"a\xC3\xA9", "\xC3\xAF\xC2\xBB\xC2\xBF"}},
        // clang-format on
    };
    for (const auto& [bytes, lines] : rows) EXPECT_EQ(LinesOf(bytes), lines) << bytes;
}

TEST(TextReaderTest, LinesOverTheBoundComeBackEmptyAndFlagged) {
    for (const std::size_t chunk : {0, 1, 3}) {
        auto reader =
            MakeStringTextReader("abcd\nabcdefgh\r\nx\rabcde", chunk, TextEncoding::Auto, {}, 4);
        std::vector<std::pair<std::string, bool>> lines;
        std::string into;  // every other line read into the same string
        while (!reader->AtEndOfStream()) {
            if (lines.size() % 2 == 1) reader->ReadLineInto(into);
            std::string line = lines.size() % 2 == 1 ? into : reader->ReadLine();
            lines.emplace_back(std::move(line), reader->LastLineTooLong());
        }
        EXPECT_EQ(lines, (std::vector<std::pair<std::string, bool>>{
                             {"abcd", false}, {"", true}, {"x", false}, {"", true}}))
            << chunk;
    }
    // Over the bound only after a 64 KiB block of it was read: nothing of it comes back.
    auto reader =
        MakeStringTextReader(std::string(100000, 'a') + "\nb", 0, TextEncoding::Auto, {}, 70000);
    for (const char* expected : {"", "b"}) {
        std::string line = "left over";
        reader->ReadLineInto(line);
        EXPECT_EQ(line, expected);
        EXPECT_EQ(reader->LastLineTooLong(), line.empty());
    }
    // A NUL byte within the first 4 KB marks the input as binary, wherever the lines end.
    EXPECT_TRUE(MakeStringTextReader(std::string("a\nb\0", 4), 1)->StartsBinary());
    EXPECT_FALSE(MakeStringTextReader(std::string(4096, 'a') + '\0')->StartsBinary());
}

TEST(TextFileTest, TheEncodingComesFromTheWholeFileUnlessOneIsGiven) {
    const fakes::TempDir temp("tarvelle-text-");
    // A Mac book by its name (LF line ends here), the same bytes under another name, and encodings
    // given, used as they are; a UTF-8 mark is dropped only when reading UTF-8.
    const std::string bytes =
        "alias a a@x\nalias \"Qu\x8E"
        "bec\" q@example.ca\n";
    const std::string mac = temp.Write("Eudora Nicknames", bytes);
    const std::string marked = temp.Write("marked.txt", "\xEF\xBB\xBFx\xC3\xA9");
    using enum TextEncoding;
    const struct {
        std::string path;
        TextEncoding given, used;
        Lines lines;
    } rows[] = {
        // clang-format off
        {mac, Auto, MacRoman, {"alias a a@x", "alias \"Qu\xC3\xA9" "bec\" q@example.ca"}},
        {temp.Write("NNdbase.txt", bytes), Auto, Ansi, {"alias a a@x", "alias \"Qu" + DecodeAnsi("\x8E") + "bec\" q@example.ca"}},
        {mac, Windows1252, Windows1252, {"alias a a@x", "alias \"Qu\xC5\xBD" "bec\" q@example.ca"}},
        {marked, Utf8, Utf8, {"x\xC3\xA9"}}, {marked, MacRoman, MacRoman, {DecodeMacRoman("\xEF\xBB\xBFx\xC3\xA9")}},
        // clang-format on
    };
    for (const auto& row : rows)
        EXPECT_EQ(ReadFile(row.path, row.given), std::pair(row.used, row.lines)) << row.path;
}

TEST(TextFileTest, ReadsAFileLikeTheSameBytesInMemoryAndRefusesOthersWithTheCause) {
    const fakes::TempDir temp("tarvelle-text-");
    // A ten-megabyte line comes back whole; the rest as from memory.
    const std::string bytes =
        std::string(10 << 20, 'a') +
        "\r\nalias jsmith j@example.com\r\n\r\n"
        "alias \"Fran\xE7oise B\" <fb@example.fr>\r\nalias tail t@example.com";
    EXPECT_EQ(ReadFile(temp.Write("NNdbase.txt", bytes)).second,
              ReadAll(*MakeStringTextReader(bytes)));
    EXPECT_EQ(ReadFile(temp.Write("empty.txt", "")).second, Lines{});
    const auto cause = [](std::errc code) {
        const std::string text = std::make_error_code(code).message();
        return text + " (" + text + ")";
    };
    EXPECT_EQ(OpenFailure(temp.path() / "absent.txt"), cause(std::errc::no_such_file_or_directory));
    EXPECT_EQ(OpenFailure(temp.path()), cause(std::errc::is_a_directory));
    EXPECT_NE(OpenFailure(""), "");
#ifndef _WIN32
    // Devices and pipes are refused rather than read forever.
    EXPECT_NE(OpenFailure("/dev/zero"), "");
    const fs::path fifo = temp.path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_NE(OpenFailure(fifo), "");
#endif
#ifdef __linux__
    // Reading this process's memory from address 0 fails in the kernel with EIO.
    EXPECT_EQ(OpenFailure("/proc/self/mem"), cause(std::errc::io_error));
#endif
}

// Hands over `good` bytes, then fails as a disk or network share can.
class FailingSource final : public ByteSource {
  public:
    explicit FailingSource(std::string good) : good_(std::move(good)) {}
    std::size_t Read(char* into, std::size_t size) override {
        if (offset_ == good_.size()) throw TextFileError(std::make_error_code(std::errc::io_error));
        const std::size_t count = std::min(size, good_.size() - offset_);
        good_.copy(into, count, offset_);
        offset_ += count;
        return count;
    }

  private:
    std::string good_;
    std::size_t offset_ = 0;
};

TEST(TextReaderTest, AReadFailingPartWayOrReadingPastTheEndThrowsAfterTheLinesAlreadyRead) {
    auto reader = MakeStringTextReader("only\r\n");
    EXPECT_EQ(reader->ReadLine(), "only");
    EXPECT_TRUE(reader->AtEndOfStream());
    EXPECT_THROW(reader->ReadLine(), TextFileError);

    // Past the first 64 KiB block, so the failure comes after lines were handed out.
    const std::string filler(70000, 'x');
    reader =
        MakeTextReader(std::make_unique<FailingSource>("alias a\r\n" + filler + "\r\nalias b"));
    EXPECT_EQ(reader->ReadLine(), "alias a");
    EXPECT_EQ(reader->ReadLine(), filler);
    try {
        while (!reader->AtEndOfStream()) reader->ReadLine();
        FAIL() << "the failing read was not reported";
    } catch (const TextFileError& error) {
        EXPECT_EQ(error.code(), std::errc::io_error);
    }
}

}  // namespace
}  // namespace tarvelle::platform
