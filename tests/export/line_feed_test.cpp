// The book read on a thread of its own: every line in order with what was found of it, a failure
// after the lines before it, and a consumer that leaves early.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "export/LineFeed.h"
#include "support/FakeTextFile.h"

namespace tarvelle::exporter {
namespace {

using fakes::FakeTextFileOpener;
using platform::TextEncoding;

// Serves `bytes` as a book, with a line bound of 40 bytes.
class BytesOpener : public platform::TextFileOpener {
  public:
    std::string bytes;
    using platform::TextFileOpener::Open;
    std::unique_ptr<platform::TextReader> Open(const std::string&, TextEncoding encoding) override {
        return platform::MakeStringTextReader(bytes, 7, encoding, {}, 40);
    }
};

// A book that never ends, counting the lines read from it.
class EndlessOpener : public platform::TextFileOpener {
  public:
    std::atomic<std::size_t> reads = 0;
    using platform::TextFileOpener::Open;
    std::unique_ptr<platform::TextReader> Open(const std::string&, TextEncoding) override {
        return std::make_unique<Reader>(reads);
    }

  private:
    struct Reader : platform::TextReader {
        explicit Reader(std::atomic<std::size_t>& count) : reads(count) {}
        bool AtEndOfStream() override { return false; }
        std::string ReadLine() override {
            ++reads;
            return "alias a a@example.com";
        }
        TextEncoding Encoding() const override { return TextEncoding::Ansi; }
        std::atomic<std::size_t>& reads;
    };
};

// The lines of a feed up to its end; `failure` gets what ended it otherwise.
std::vector<std::string> Drain(LineFeed& feed, std::string& failure) {
    std::vector<std::string> lines;
    try {
        while (const FedLine* line = feed.Next()) lines.emplace_back(line->text);
    } catch (const platform::TextFileError& error) {
        failure = error.what();
    }
    return lines;
}

TEST(LineFeedTest, HandsOverEveryLineInOrderWithItsHashAndSkipReason) {
    BytesOpener opener;
    // Several batches' worth, then lines over the bound and with control characters.
    std::vector<std::string> expected;
    for (int i = 0; i < 5000; ++i) expected.push_back("alias n" + std::to_string(i) + " x@y");
    expected.insert(expected.end(), {"alias long " + std::string(40, 'x'), "note c a\x01z",
                                     "note c a\x03z", "# \x01 not an entry", "<old>"});
    for (const std::string& line : expected) opener.bytes += line + "\r\n";
    expected[5000].clear();  // too long: handed over empty

    LineFeed feed(opener, "book", TextEncoding::Utf8);
    EXPECT_EQ(feed.Encoding(), TextEncoding::Utf8);
    std::uint64_t hash = 0;
    std::vector<std::string> skips, notEntries;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const FedLine* line = feed.Next();
        ASSERT_NE(line, nullptr);
        ASSERT_EQ(line->text, expected[i]);
        hash = HashLine(hash, expected[i], i == 5000);
        EXPECT_EQ(line->hash, hash) << i;
        if (line->skipReason) skips.push_back(line->skipReason);
        if (!line->mayMakeEntry) notEntries.push_back(expected[i]);
    }
    EXPECT_EQ(feed.Next(), nullptr);
    EXPECT_EQ(feed.Next(), nullptr);
    EXPECT_EQ(skips, (std::vector<std::string>{"line too long", "control character"}));
    EXPECT_EQ(notEntries, (std::vector<std::string>{"", "# \x01 not an entry"}));
}

TEST(LineFeedTest, LinesOfTheAliasNoteLayoutComeTakenApart) {
    // Skipped lines between the others, across several batches: each line keeps its own parse.
    BytesOpener opener;
    std::vector<std::string> book;
    for (int i = 0; i < 3000; ++i) {
        if (i % 97 == 5) {
            book.push_back("alias bad\x01 x@y");
        } else if (i % 7 == 3) {
            book.push_back("note n" + std::to_string(i) + " <phone:" + std::to_string(i) + ">");
        } else if (i % 11 == 4) {
            book.push_back("free text " + std::to_string(i));
        } else {
            book.push_back("alias n" + std::to_string(i) + " x" + std::to_string(i) + "@y");
        }
    }
    for (const std::string& line : book) opener.bytes += line + "\n";
    LineFeed feed(opener, "book", TextEncoding::Utf8);
    using Kind = eudora::ParsedBookLine::Kind;
    for (std::size_t i = 0; i < book.size(); ++i) {
        const FedLine* line = feed.Next();
        ASSERT_NE(line, nullptr);
        EXPECT_TRUE(line->aliasNoteLayout);
        if (line->skipReason) {
            EXPECT_EQ(line->parsed, nullptr) << i;
            continue;
        }
        ASSERT_NE(line->parsed, nullptr) << i;
        const eudora::ParsedBookLine& parsed = *line->parsed;
        const std::string n = std::to_string(i);
        if (i % 7 == 3) {
            ASSERT_EQ(parsed.kind, Kind::Note) << i;
            EXPECT_EQ(parsed.note.nickname + " " + parsed.note.text,
                      "n" + n + " <phone:" + n + ">");
        } else if (i % 11 == 4) {
            EXPECT_EQ(parsed.kind, Kind::Other) << i;
        } else {
            ASSERT_EQ(parsed.kind, Kind::Alias) << i;
            EXPECT_EQ(parsed.alias.name + " " + parsed.alias.addressText,
                      "n" + n + " x" + n + "@y");
        }
    }
    EXPECT_EQ(feed.Next(), nullptr);

    // A book of the old layout is read in blocks: its lines are not taken apart one by one.
    opener.bytes = "<bob>\nbob@example.com\n<bob>\nalias x y@z\n";
    LineFeed old(opener, "book", TextEncoding::Utf8);
    int lines = 0;
    while (const FedLine* line = old.Next()) {
        ++lines;
        EXPECT_FALSE(line->aliasNoteLayout);
        EXPECT_EQ(line->parsed, nullptr);
    }
    EXPECT_EQ(lines, 4);
    // Skipped, a first line "<bob>" counts as blank, as the layout reader takes it.
    opener.bytes = "<bob\x01>\nalias x y@z\n";
    LineFeed skippedFirst(opener, "book", TextEncoding::Utf8);
    ASSERT_NE(skippedFirst.Next(), nullptr);
    const FedLine* second = skippedFirst.Next();
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(second->aliasNoteLayout);
    ASSERT_NE(second->parsed, nullptr);
    EXPECT_EQ(second->parsed->alias.name, "x");
}

TEST(LineFeedTest, AFailureComesAfterTheLinesBeforeIt) {
    FakeTextFileOpener opener;
    for (int i = 0; i < 3000; ++i) opener.lines.push_back(std::to_string(i));
    opener.failAfter = 2500;
    {
        LineFeed feed(opener, "book", TextEncoding::Auto);
        std::string failure;
        const auto lines = Drain(feed, failure);
        EXPECT_EQ(failure, "Input/output error");
        ASSERT_EQ(lines.size(), 2500u);
        for (std::size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], std::to_string(i));
    }
    opener.failOpen = true;
    opener.cause = "Permission denied";
    LineFeed feed(opener, "book", TextEncoding::Auto);
    try {
        feed.Encoding();
        ADD_FAILURE() << "opened";
    } catch (const platform::TextFileError& error) {
        EXPECT_STREQ(error.what(), "Permission denied");
    }
}

TEST(LineFeedTest, AConsumerMayLeaveAtAnyPoint) {
    // The reading thread must stop wherever it is, or these would not return.
    EndlessOpener first, opener;
    { LineFeed feed(first, "book", TextEncoding::Ansi); }
    LineFeed feed(opener, "book", TextEncoding::Ansi);
    ASSERT_NE(feed.Next(), nullptr);
    // Once it reads past what the queue holds, it is waiting, or about to wait, for room.
    while (opener.reads <= (LineFeed::kQueuedBatches + 1) * LineFeed::kBatchLines) {
        std::this_thread::yield();
    }
}

}  // namespace
}  // namespace tarvelle::exporter
