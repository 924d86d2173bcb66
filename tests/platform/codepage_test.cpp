#include "platform/Codepage.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace tarvelle::platform
