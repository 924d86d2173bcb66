#include "platform/Codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef __GLIBC__
#include <iconv.h>
#endif

namespace tarvelle::platform {
namespace {

std::string AllBytes() {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}

TEST(Windows1252Test, DecodesPunctuationLettersAndTheFiveUndefinedBytes) {
    EXPECT_EQ(DecodeWindows1252("plain ascii"), "plain ascii");
    EXPECT_EQ(DecodeWindows1252("\x80"), "\xE2\x82\xAC");  // euro sign
    EXPECT_EQ(DecodeWindows1252("\x83"), "\xC6\x92");      // mailbox-copy mark
    EXPECT_EQ(DecodeWindows1252("\x93x\x94"), "\xE2\x80\x9Cx\xE2\x80\x9D");
    EXPECT_EQ(DecodeWindows1252("\x9F"), "\xC5\xB8");  // Y with diaeresis
    EXPECT_EQ(DecodeWindows1252("Jos\xE9 M\xFCller"), "Jos\xC3\xA9 M\xC3\xBCller");
    EXPECT_EQ(DecodeWindows1252("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
    EXPECT_EQ(DecodeWindows1252("\x81\x8D\x8F\x90\x9D"),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(DecodeWindows1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Windows1252Test, EveryByteRoundTripsThroughUtf8) {
    const std::string decoded = DecodeWindows1252(AllBytes());
    EXPECT_TRUE(IsValidUtf8(decoded));
    EXPECT_EQ(EncodeWindows1252(decoded), AllBytes());
#ifndef _WIN32
    // Without a system code page the ANSI functions are the Windows-1252 ones.
    EXPECT_EQ(DecodeAnsi(AllBytes()), decoded);
    EXPECT_EQ(EncodeAnsi(decoded), AllBytes());
#endif
}

TEST(Windows1252Test, EncodesWhatItCannotHoldAsQuestionMarks) {
    EXPECT_EQ(EncodeWindows1252("\xE6\x97\xA5\xE6\x9C\xAC"), "??");    // two CJK characters
    EXPECT_EQ(EncodeWindows1252("a\xF0\x9F\x98\x80z"), "a?z");         // emoji
    EXPECT_EQ(EncodeWindows1252("\xC2\x80"), "?");                     // C1 control 0x80
    EXPECT_EQ(EncodeWindows1252("\xC5\x93\xE2\x82\xAC"), "\x9C\x80");  // oe ligature, euro
    // Malformed input: one '?' per byte that cannot be read.
    EXPECT_EQ(EncodeWindows1252("a\xFF"
                                "b"),
              "a?b");
    EXPECT_EQ(EncodeWindows1252("\xE2\x82"), "??");
    EXPECT_EQ(EncodeWindows1252("\xC3"), "?");
}

TEST(Utf8Test, RejectsMalformedSequences) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("Zo\xC3\xAB \xE2\x82\xAC \xF0\x9F\x98\x80"));
    EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));          // cut short
    EXPECT_FALSE(IsValidUtf8("\x80"));              // lone continuation
    EXPECT_FALSE(IsValidUtf8("\xFE"));
}

TEST(Utf8Test, SanitizeReplacesEachMalformedSequenceOnce) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(SanitizeUtf8("Zo\xC3\xAB"), "Zo\xC3\xAB");
    EXPECT_EQ(SanitizeUtf8("a\xFF"
                           "b"),
              "a" + replacement + "b");
    EXPECT_EQ(SanitizeUtf8("\xE2\x82z"), replacement + "z");
    EXPECT_EQ(SanitizeUtf8("\xE2\x82\xE2\x82\xAC"), replacement + "\xE2\x82\xAC");
    EXPECT_TRUE(IsValidUtf8(SanitizeUtf8(AllBytes())));
}

TEST(MacRomanTest, DecodesTheNamesEudoraForMacWrote) {
    EXPECT_EQ(DecodeMacRoman("Team Qu\x8E"
                             "bec"),
              "Team Qu\xC3\xA9"
              "bec");
    EXPECT_EQ(DecodeMacRoman("Ren\x8E C\x99t\x8E"), "Ren\xC3\xA9 C\xC3\xB4t\xC3\xA9");
    EXPECT_EQ(DecodeMacRoman("\xC4\\Box"), "\xC6\x92\\Box");  // the mailbox-copy mark
}

#ifdef __GLIBC__
TEST(MacRomanTest, EveryByteAsTheCLibraryDecodesIt) {
    iconv_t convert = iconv_open("UTF-8", "MACINTOSH");
    if (convert == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no MACINTOSH in iconv";
    for (int b = 0x80; b <= 0xFF; ++b) {
        // The C library keeps two older choices: Greek capital delta for the increment sign,
        // and a private-use code of its own for the Apple logo.
        if (b == 0xC6 || b == 0xF0) continue;
        char in[1] = {static_cast<char>(b)};
        char out[8] = {};
        char* from = in;
        char* to = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ASSERT_NE(iconv(convert, &from, &inLeft, &to, &outLeft), static_cast<std::size_t>(-1));
        EXPECT_EQ(DecodeMacRoman(std::string(1, static_cast<char>(b))),
                  std::string(out, sizeof out - outLeft))
            << "byte " << b;
    }
    iconv_close(convert);
}
#endif

TEST(EncodingSnifferTest, ChoosesFromTheWholeFileWhateverPiecesItComesIn) {
    struct Case {
        std::string bytes;
        std::string fileName;
        TextEncoding expected;
    };
    const std::vector<Case> cases = {
        {"", "NNdbase.txt", TextEncoding::Ansi},
        {"alias a a@example.com\r\n", "NNdbase.txt", TextEncoding::Ansi},
        {"alias Jos\xE9 j@example.es\r\n", "NNdbase.txt", TextEncoding::Ansi},
        {"\xEF\xBB\xBF"
         "alias \xE9\r\n",
         "NNdbase.txt", TextEncoding::Utf8},
        {"alias Zo\xC3\xAB z@example.no\n", "NNdbase.txt", TextEncoding::Utf8},
        // UTF-8 wins over the Mac signs: a Mac book saved again as UTF-8.
        {"alias Zo\xC3\xAB z@example.no\r", "Eudora Nicknames", TextEncoding::Utf8},
        {"alias Qu\x8E"
         "bec q@example.ca\ralias b b@example.ca\r",
         "NNdbase.txt", TextEncoding::MacRoman},
        {"alias Qu\x8E"
         "bec q@example.ca\r\n",
         "NNdbase.txt", TextEncoding::Ansi},
        {"alias Qu\x8E"
         "bec q@example.ca\n",
         "eudora nicknames", TextEncoding::MacRoman},
        // Well-formed at first, then not: the whole file decides.
        {"alias Zo\xC3\xAB z@example.no\nalias Jos\xE9 j@example.es\n", "NNdbase.txt",
         TextEncoding::Ansi},
        {"cut short \xE2\x82", "NNdbase.txt", TextEncoding::Ansi},
        {"surrogate \xED\xA0\x80", "NNdbase.txt", TextEncoding::Ansi},
        {"overlong \xC0\xAF", "NNdbase.txt", TextEncoding::Ansi},
    };
    for (const Case& c : cases) {
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
