#include "eudora/Nicknames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvelle::eudora {
namespace {

using namespace std::string_literals;

// "bare (display), bare" for a list of addresses.
std::string Describe(const std::vector<Address>& addresses) {
    std::string text;
    for (const Address& a : addresses) {
        text += (text.empty() ? "" : ", ") + a.address;
        if (!a.displayName.empty()) text += " (" + a.displayName + ")";
    }
    return text;
}

TEST(NicknameLineTest, KeywordBlankAndControlCharacterChecks) {
    // Which checks hold: "a" alias line, "n" note line, "b" blank, "c" control character. Tabs and
    // the line breaks of notes (0x03) are text; other control characters are not.
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"alias john j@x", "a"}, {"alias ", "a"}, {"Alias john j@x", "a"}, {"ALIAS john", "a"}, {"alias\tjohn j@x", "a"},
        {"alias", ""}, {" alias john j@x", ""}, {"\talias john j@x", ""}, {"aliasjohn j@x", ""}, {"aliases john j@x", ""},
        {"note jsmith <title:Buyer>", "n"}, {"NOTE\tjsmith <title:Buyer>", "n"}, {"note", ""}, {"notes jsmith", ""},
        {"alias note x@example.com", "a"}, {"", "b"}, {" \t ", "b"}, {" x", ""},
        {"alias \"a\tb\" a@x (caf\xC3\xA9)", "a"}, {"note a <name:A>\x03second line", "n"}, {"alias a a\x03@x", "ac"},
        {"alias d d@x\0.com"s, "ac"}, {"note a \x1B[2J", "nc"}, {"alias a a@x\x7F", "ac"},
        // clang-format on
    };
    for (const auto& [line, holds] : rows) {
        EXPECT_EQ(std::string(IsNicknameLine(line) ? "a" : "") + (IsNoteLine(line) ? "n" : "") +
                      (IsBlankLine(line) ? "b" : "") + (HoldsControlCharacter(line) ? "c" : ""),
                  holds)
            << line;
    }
}

TEST(NicknameLineTest, ControlCharacterFoundAtEveryPlaceOfALine) {
    // Lines are looked at eight bytes at a time: each byte at each place of lines around the word
    // size, in alias and note lines, against a byte-by-byte reading.
    for (const std::string start : {"alias ", "note "}) {
        const bool note = start == "note ";
        for (std::size_t length = start.size(); length <= 26; ++length) {
            for (std::size_t at = start.size(); at < length; ++at) {
                for (const int b :
                     {0x00, 0x01, 0x03, 0x09, 0x0A, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}) {
                    std::string line = start + std::string(length - start.size(), 'x');
                    line[at] = static_cast<char>(b);
                    const bool control =
                        (b < 0x20 && b != '\t' && !(note && b == 0x03)) || b == 0x7F;
                    EXPECT_EQ(HoldsControlCharacter(line), control)
                        << length << " " << at << " " << b;
                }
            }
        }
    }
}

TEST(ParseNicknameLineTest, KindNameAddressTextAndMembersOrWhyNotPaired) {
    // Expected: "C name = address text" for a contact, "G name = address text -> members" for a
    // group, the skip reason for a line that is not paired.
    const struct {
        std::string line, expected;
    } rows[] = {
        // clang-format off
        {"alias john A1", "C john = A1"}, {"alias team A1,A2", "G team = A1,A2 -> A1, A2"},
        {"alias \"my team\" A1, A2", "G my team = A1, A2 -> A1, A2"}, {"alias \"John Smith\" A1", "C John Smith = A1"},
        // A comma in the nickname, quoted or not, makes a group, here with one member.
        {"alias \"Smith, John\" A1", "G Smith, John = A1 -> A1"},
        {"alias a,b a@example.com", "G a,b = a@example.com -> a@example.com"}, {"alias john  A1", "C john = A1"},
        {"alias alias-list alias@example.com", "C alias-list = alias@example.com"},
        {"alias   \"Mary Jones\"   mary@example.org  ", "C Mary Jones = mary@example.org"},
        // A comma inside the display part of one address is not a second entry.
        {"alias carol \"White, Carol\" <c@example.org>", "C carol = \"White, Carol\" <c@example.org>"},
        {"alias trio a@x,b@x,c@x", "G trio = a@x,b@x,c@x -> a@x, b@x, c@x"},
        // Quotes inside an unquoted nickname go; an unclosed one ends at the next space.
        {"alias jo\"hn john@example.com", "C john = john@example.com"}, {"alias \"bob bob@example.com", "C bob = bob@example.com"},
        {"ALIAS\tjohn\tjohn@example.com", "C john = john@example.com"},
        {"Alias \t \"my team\"\ta@x, b@x", "G my team = a@x, b@x -> a@x, b@x"},
        {"alias \"Jos\xC3\xA9 N\xC3\xBA\xC3\xB1" "ez\" jose@example.es\t", "C Jos\xC3\xA9 N\xC3\xBA\xC3\xB1" "ez = jose@example.es\t"},
        // Mailbox-copy items (U+0192 as byte 0x83 decodes, or the raw byte) are not addresses;
        // neither are empty entries.
        {"alias acme jane@acme.example,\xC6\x92\\Clients\\Acme", "C acme = jane@acme.example"},
        {"alias acme jane@acme.example,\x83\\Clients\\Acme", "C acme = jane@acme.example"},
        {"alias crew \xC6\x92\\Crew, a@x, b@x", "G crew = \xC6\x92\\Crew, a@x, b@x -> a@x, b@x"},
        {"alias crew \x83\\Crew, a@x, b@x", "G crew = \x83\\Crew, a@x, b@x -> a@x, b@x"},
        {"alias solo a@example.com,", "C solo = a@example.com"}, {"alias pair ,a@x,, b@x,", "G pair = ,a@x,, b@x, -> a@x, b@x"},
        {"alias john", "no address"}, {"alias john ", "no address"}, {"alias john\t", "no address"}, {"alias placeholder  ", "no address"},
        {"alias \"John Smith\"", "no address"},
        {"alias box \xC6\x92\\Clients\\Acme", "no address"}, {"alias \"a, b\" \xC6\x92\\Box", "no address"},
        {"alias commas ,, ,", "no address"}, {"alias empty <>", "no address"}, {"alias ", "no nickname"}, {"alias    ", "no nickname"},
        {"alias\t\t", "no nickname"},
        {"alias \"\" a@example.com", "no nickname"}, {"alias \"  \" a@example.com", "no nickname"},
        {"alias \"\"\" a@example.com", "no nickname"}, {" alias john a@example.com", "no nickname"},
        // clang-format on
    };
    for (const auto& row : rows) {
        const ParsedNickname p = ParseNicknameLine(row.line);
        std::string got = p.skipReason;
        if (p.paired) {
            const bool group = p.kind == NicknameKind::Group;
            got = (group ? "G " : "C ") + p.name + " = " + p.addressText;
            if (group) got += " -> " + Describe(SplitMembers(p.addressText));
        }
        EXPECT_EQ(p.paired, p.skipReason.empty()) << row.line;
        EXPECT_EQ(got, row.expected) << row.line;
    }
}

TEST(SplitMembersTest, CommasInsideQuotesCommentsAndAnglesDoNotSplit) {
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"\"Smith, John\" <js@example.com>, b@x", "js@example.com (Smith, John), b@x"},
        {"a@x (Doe, Jane), b@x", "a@x (Doe, Jane), b@x"}, {"<odd,box@example.com>, c@x", "odd,box@example.com, c@x"},
        // Quotes inside a comment do not count; nested comments close at the matching parenthesis.
        {"a@x (say \"hi), b@x", "a@x (say \"hi), b@x"}, {"a@x (x (y, z) w), b@x", "a@x (x (y, z) w), b@x"},
        // Unquoted multi-word nickname references stay whole.
        {"jsmith,Mary Jones,carol, dave@x", "jsmith, Mary Jones, carol, dave@x"},
        {"\"Zo\xC3\xAB \xC3\x98" "degaard\" <zoe@example.no>, dave@x (Dave Brown),plain@x",
         "zoe@example.no (Zo\xC3\xAB \xC3\x98" "degaard), dave@x (Dave Brown), plain@x"}, {"   ", ""}, {"", ""},
        // clang-format on
    };
    for (const auto& [text, members] : rows)
        EXPECT_EQ(Describe(SplitMembers(text)), members) << text;
}

TEST(ParseAddressTest, Rfc822FormsGiveBareAddressAndDisplayPart) {
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"\"Carol White\" <carol@x>", "carol@x (Carol White)"}, {"Carol White <carol@x>", "carol@x (Carol White)"},
        {"Carol White<carol@x>", "carol@x (Carol White)"}, {"<carol@x>", "carol@x"}, {"< carol@x >", "carol@x"},
        {"carol@x (Carol White)", "carol@x (Carol White)"}, {"carol@x ( Carol White )", "carol@x (Carol White)"},
        {"carol@x (Carol (the boss) White)", "carol@x (Carol (the boss) White)"},
        {"\"Smith, John\" <js@x>", "js@x (Smith, John)"}, {"\"a <b>\" <ab@x>", "ab@x (a <b>)"},
        // Words, quoted or not, then one address, as people type them.
        {"\"Ren\xC3\xA9" "e O'Brien\" renee@x", "renee@x (Ren\xC3\xA9" "e O'Brien)"},
        {"John Plain john.plain@x", "john.plain@x (John Plain)"}, {"\"Smith, John\"\tjs@x", "js@x (Smith, John)"},
        {"Carol <carol@x> (work)", "carol@x (Carol)"}, {"<carol@x> (work)", "carol@x (work)"}, {"  carol@x  ", "carol@x"},
        // Anything else is kept as it stands.
        {"carol@x", "carol@x"}, {"Mary Jones", "Mary Jones"}, {"a@x b@x", "a@x b@x"},
        {"\"half quoted words x@x", "\"half quoted words x@x"}, {"Bob bob@x (home)", "Bob bob@x (home)"},
        {"(only a comment)", "(only a comment)"}, {"broken <carol@x", "broken <carol@x"}, {"carol@x)", "carol@x)"},
        {"\"quoted >\"", "\"quoted >\""}, {"<>", ""}, {"", ""}, {"a@x (one) (two)", "a@x (one)"},
        // clang-format on
    };
    for (const auto& [entry, parsed] : rows)
        EXPECT_EQ(Describe({ParseAddress(entry)}), parsed) << entry;

    // Thousands of trailing comments once meant one rescan and one stack frame per comment.
    std::string entry = "carol@x (Carol White)";
    for (int i = 0; i < 300000; ++i) entry += " (x)";
    const Address many = ParseAddress(entry);
    EXPECT_TRUE(many.address.starts_with("carol@x (Carol White)"));
    EXPECT_EQ(many.displayName, "x");
}

TEST(TrimSpacesTest, RemovesOnlySpaces) {
    // clang-format off
    for (const auto& [text, trimmed] : {std::pair{"  a b  ", "a b"}, {"\ta b\t", "\ta b\t"}, {" \t ", "\t"}, {"    ", ""}, {"", ""}})
        EXPECT_EQ(TrimSpaces(text), trimmed) << text;
    // clang-format on
}

}  // namespace
}  // namespace tarvelle::eudora
