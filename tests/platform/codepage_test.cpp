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

TEST(Windows1252Test, EncodesWhatItCannotHoldAsOneQuestionMarkPerCharacterOrBadByte) {
    const std::pair<std::string, std::string> rows[] = {
        {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},    // two CJK characters
        {"a\xF0\x9F\x98\x80z", "a?z"},         // emoji
        {"\xC2\x80", "?"},                     // C1 control 0x80
        {"\xC5\x93\xE2\x82\xAC", "\x9C\x80"},  // oe ligature, euro
        {"a\xFF"
         "b",
         "a?b"},
        {"\xE2\x82", "??"},
        {"\xC3", "?"},
    };
    for (const auto& [utf8, bytes] : rows) EXPECT_EQ(EncodeWindows1252(utf8), bytes) << utf8;
}

TEST(Utf8Test, SanitizeKeepsValidTextAndReplacesEachMalformedSequenceOnce) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},
        {"Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80", "Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},  // U+10FFFF
        {"\xC0\xAF", r + r},                       // overlong '/'
        {"\xE0\x80\xAF", r + r + r},               // overlong
        {"\xED\xA0\x80", r + r + r},               // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r},       // past U+10FFFF
        {"\xE2\x82z", r + "z"},                    // cut short
        {"\xE2\x82\xE2\x82\xAC", r + "\xE2\x82\xAC"},
        {"\x80", r},  // lone continuation
        {"\xFE", r},
        {"a\xFF"
         "b",
         "a" + r + "b"},
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
    const struct {
        std::string bytes;
        const char* fileName;
        TextEncoding expected;
    } cases[] = {
        // clang-format off
        {"", "NNdbase.txt", TextEncoding::Ansi},
        {"alias a a@example.com\r\n", "NNdbase.txt", TextEncoding::Ansi},
        {"alias Jos\xE9 j@example.es\r\n", "NNdbase.txt", TextEncoding::Ansi},
        {"\xEF\xBB\xBF" "alias \xE9\r\n", "NNdbase.txt", TextEncoding::Utf8},
        {"alias Zo\xC3\xAB z@example.no\n", "NNdbase.txt", TextEncoding::Utf8},
        // UTF-8 wins over the Mac signs: a Mac book saved again as UTF-8.
        {"alias Zo\xC3\xAB z@example.no\r", "Eudora Nicknames", TextEncoding::Utf8},
        {"alias Qu\x8E" "bec q@example.ca\ralias b b@example.ca\r", "NNdbase.txt", TextEncoding::MacRoman},
        {"alias Qu\x8E" "bec q@example.ca\r\n", "NNdbase.txt", TextEncoding::Ansi},
        {"alias Qu\x8E" "bec q@example.ca\n", "eudora nicknames", TextEncoding::MacRoman},
        // Well-formed at first, then not: the whole file decides.
        {"alias Zo\xC3\xAB z@example.no\nalias Jos\xE9 j@example.es\n", "NNdbase.txt", TextEncoding::Ansi},
        {"cut short \xE2\x82", "NNdbase.txt", TextEncoding::Ansi},
        {"surrogate \xED\xA0\x80", "NNdbase.txt", TextEncoding::Ansi},
        {"overlong \xC0\xAF", "NNdbase.txt", TextEncoding::Ansi},
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
