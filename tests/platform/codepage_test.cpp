#include "platform/Codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef __GLIBC__
#include <iconv.h>
#endif

namespace tarvelle::platform {
namespace {

using namespace std::string_literals;

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST(Windows1252Test, DecodesEveryByteAndEncodesItBack) {
    // Euro, mailbox-copy mark, curly quotes, Y diaeresis, Latin-1, the five undefined bytes.
    EXPECT_EQ(DecodeWindows1252("a\0\x80\x83\x93\x94\x9F\xE9\xA0\xFF\x81\x8D\x8F\x90\x9D"s),
              "a\0\xE2\x82\xAC\xC6\x92\xE2\x80\x9C\xE2\x80\x9D\xC5\xB8\xC3\xA9\xC2\xA0\xC3\xBF"
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"s);
    const std::string decoded = DecodeWindows1252(AllBytes());
    EXPECT_TRUE(IsValidUtf8(decoded));
    EXPECT_EQ(EncodeWindows1252(decoded), AllBytes());
#ifndef _WIN32
    // Without a system code page the ANSI functions are the Windows-1252 ones.
    EXPECT_EQ(DecodeAnsi(AllBytes()), decoded);
    EXPECT_EQ(EncodeAnsi(decoded), AllBytes());
#endif
}

TEST(Windows1252Test, DecodesNonAsciiBytesAtEveryPlaceOfALine) {
    // ASCII runs are looked at eight bytes at a time: a high byte at each place of lines around
    // the word size keeps its place among the ASCII bytes.
    for (std::size_t length = 1; length <= 26; ++length) {
        const std::string ascii(length, 'a');
        EXPECT_TRUE(IsAscii(ascii));
        EXPECT_EQ(AsciiPrefix(ascii), length);
        EXPECT_EQ(DecodeWindows1252(ascii), ascii);
        for (std::size_t at = 0; at < length; ++at) {
            std::string line = ascii;
            line[at] = '\xE9';
            EXPECT_FALSE(IsAscii(line));
            EXPECT_EQ(AsciiPrefix(line), at);
            std::string expected = ascii.substr(0, at) + "\xC3\xA9" + ascii.substr(at + 1);
            EXPECT_EQ(DecodeWindows1252(line), expected) << length << " " << at;
            line.back() = '\x80';  // a second one, the euro sign, at the end
            if (at + 1 < length) {
                expected = ascii.substr(0, at) + "\xC3\xA9" +
                           ascii.substr(at + 1, length - at - 2) + "\xE2\x82\xAC";
                EXPECT_EQ(DecodeWindows1252(line), expected) << length << " " << at;
            }
        }
    }
}

TEST(Windows1252Test, EncodesWhatItCannotHoldAsOneQuestionMarkPerCharacterOrBadByte) {
    // Two CJK characters, an emoji, C1 control 0x80, bad and cut-short bytes; oe ligature and euro
    // fit.
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"\xE6\x97\xA5\xE6\x9C\xAC", "??"}, {"a\xF0\x9F\x98\x80z", "a?z"}, {"\xC2\x80", "?"}, {"a\xFF" "b", "a?b"},
        {"\xE2\x82", "??"}, {"\xC3", "?"}, {"\xC5\x93\xE2\x82\xAC", "\x9C\x80"},
        // clang-format on
    };
    for (const auto& [utf8, bytes] : rows) EXPECT_EQ(EncodeWindows1252(utf8), bytes) << utf8;
}

TEST(Utf8Test, SanitizeKeepsValidTextAndReplacesEachMalformedSequenceOnce) {
    const std::string r = "\xEF\xBF\xBD";
    // U+10FFFF is valid; overlong forms, surrogates, code points past U+10FFFF, cut-short
    // sequences, lone continuation bytes and bytes that never start one are not.
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"", ""}, {"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80", "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80"}, {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"\xC0\xAF", r + r}, {"\xE0\x80\xAF", r + r + r}, {"\xED\xA0\x80", r + r + r}, {"\xF4\x90\x80\x80", r + r + r + r},
        {"\xE2\x82z", r + "z"}, {"\xE2\x82\xE2\x82\xAC", r + "\xE2\x82\xAC"}, {"\x80", r}, {"\xFE", r}, {"a\xFF" "b", "a" + r + "b"},
        // clang-format on
    };
    for (const auto& [text, sanitized] : rows) {
        EXPECT_EQ(SanitizeUtf8(text), sanitized) << text;
        EXPECT_EQ(IsValidUtf8(text), text == sanitized) << text;
    }
    EXPECT_TRUE(IsValidUtf8(SanitizeUtf8(AllBytes())));
}

TEST(MacRomanTest, DecodesTheNamesEudoraForMacWrote) {
    EXPECT_EQ(DecodeMacRoman("Ren\x8E C\x99t\x8E \xC4\\Box"),
              "Ren\xC3\xA9 C\xC3\xB4t\xC3\xA9 \xC6\x92\\Box");
#ifdef __GLIBC__
    iconv_t convert = iconv_open("UTF-8", "MACINTOSH");
    if (convert == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no MACINTOSH in iconv";
    for (int b = 0x80; b <= 0xFF; ++b) {
        // The C library keeps two older choices: Greek capital delta for the increment sign,
        // and a private-use code of its own for the Apple logo.
        if (b == 0xC6 || b == 0xF0) continue;
        char in[1] = {static_cast<char>(b)}, out[8] = {};
        char *from = in, *to = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        ASSERT_NE(iconv(convert, &from, &inLeft, &to, &outLeft), static_cast<std::size_t>(-1));
        EXPECT_EQ(DecodeMacRoman(std::string(1, in[0])), std::string(out, sizeof out - outLeft))
            << b;
    }
    iconv_close(convert);
#endif
}

TEST(EncodingSnifferTest, ChoosesFromTheWholeFileWhateverPiecesItComesIn) {
    const std::string n = "NNdbase.txt";
    const auto ansi = TextEncoding::Ansi, utf8 = TextEncoding::Utf8, mac = TextEncoding::MacRoman;
    const struct {
        std::string bytes, fileName;
        TextEncoding expected;
    } cases[] = {
        // clang-format off
        {"", n, ansi}, {"alias a a@example.com\r\n", n, ansi}, {"alias Jos\xE9 j@example.es\r\n", n, ansi},
        {"\xEF\xBB\xBF" "alias \xE9\r\n", n, utf8}, {"alias Zo\xC3\xAB z@example.no\n", n, utf8},
        // UTF-8 wins over the Mac signs: a Mac book saved again as UTF-8.
        {"alias Zo\xC3\xAB z@example.no\r", "Eudora Nicknames", utf8},
        {"alias Qu\x8E" "bec q@example.ca\ralias b b@example.ca\r", n, mac}, {"alias Qu\x8E" "bec q@example.ca\r\n", n, ansi},
        {"alias Qu\x8E" "bec q@example.ca\n", "eudora nicknames", mac},
        // Well-formed at first, then not: the whole file decides.
        {"alias Zo\xC3\xAB z@example.no\nalias Jos\xE9 j@example.es\n", n, ansi}, {"cut short \xE2\x82", n, ansi},
        {"surrogate \xED\xA0\x80", n, ansi}, {"overlong \xC0\xAF", n, ansi},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        EncodingSniffer whole(c.fileName);
        whole.Add(c.bytes);
        EXPECT_EQ(whole.Result(), c.expected);
        EncodingSniffer pieces(c.fileName);
        for (char b : c.bytes) pieces.Add(std::string_view(&b, 1));
        EXPECT_EQ(pieces.Result(), c.expected);
    }
}

}  // namespace
}  // namespace tarvelle::platform
