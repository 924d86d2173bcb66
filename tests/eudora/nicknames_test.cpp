#include "eudora/Nicknames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvelle::eudora {
namespace {

std::vector<std::string> Addresses(const std::vector<Address>& members) {
    std::vector<std::string> out;
    for (const Address& member : members) out.push_back(member.address);
    return out;
}

TEST(NicknameLineTest, TheKeywordInAnyCaseThenASpaceOrTabStartsANickname) {
    EXPECT_TRUE(IsNicknameLine("alias john john@example.com"));
    EXPECT_TRUE(IsNicknameLine("alias "));
    EXPECT_TRUE(IsNicknameLine("Alias john john@example.com"));
    EXPECT_TRUE(IsNicknameLine("ALIAS john john@example.com"));
    EXPECT_TRUE(IsNicknameLine("alias\tjohn john@example.com"));
    EXPECT_FALSE(IsNicknameLine("alias"));
    EXPECT_FALSE(IsNicknameLine(" alias john john@example.com"));
    EXPECT_FALSE(IsNicknameLine("\talias john john@example.com"));
    EXPECT_FALSE(IsNicknameLine("aliasjohn john@example.com"));
    EXPECT_FALSE(IsNicknameLine("aliases john john@example.com"));
    EXPECT_FALSE(IsNicknameLine("note john <name:John>"));
    EXPECT_FALSE(IsNicknameLine(""));

    EXPECT_TRUE(IsNoteLine("note jsmith <title:Buyer>"));
    EXPECT_TRUE(IsNoteLine("NOTE\tjsmith <title:Buyer>"));
    EXPECT_FALSE(IsNoteLine("note"));
    EXPECT_FALSE(IsNoteLine("notes jsmith"));
    EXPECT_FALSE(IsNoteLine("alias note x@example.com"));

    EXPECT_TRUE(IsBlankLine(""));
    EXPECT_TRUE(IsBlankLine(" \t "));
    EXPECT_FALSE(IsBlankLine(" x"));
}

TEST(NicknameLineTest, ControlCharactersOtherThanTabAndNoteLineBreaks) {
    EXPECT_FALSE(HoldsControlCharacter("alias \"a\tb\" a@x (caf\xC3\xA9)"));
    EXPECT_FALSE(HoldsControlCharacter("note a <name:A>\x03second line"));
    EXPECT_TRUE(HoldsControlCharacter("alias a a\x03@x"));
    EXPECT_TRUE(HoldsControlCharacter(std::string("alias d d@x\0.com", 16)));
    EXPECT_TRUE(HoldsControlCharacter("note a \x1B[2J"));
    EXPECT_TRUE(HoldsControlCharacter("alias a a@x\x7F"));
}

struct LineCase {
    std::string line;
    NicknameKind kind;
    std::string name;
    std::string addressText;
    std::vector<std::string> members;  // for groups
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << c.line; }

class NicknameLineCaseTest : public testing::TestWithParam<LineCase> {};

TEST_P(NicknameLineCaseTest, GivesKindNameAddressTextAndMembers) {
    const LineCase& c = GetParam();
    const ParsedNickname parsed = ParseNicknameLine(c.line);
    EXPECT_TRUE(parsed.paired);
    EXPECT_EQ(parsed.skipReason, "");
    EXPECT_EQ(parsed.kind, c.kind);
    EXPECT_EQ(parsed.name, c.name);
    EXPECT_EQ(parsed.addressText, c.addressText);
    if (c.kind == NicknameKind::Group) {
        EXPECT_EQ(Addresses(SplitMembers(parsed.addressText)), c.members);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, NicknameLineCaseTest,
    testing::Values(
        LineCase{"alias john A1", NicknameKind::Contact, "john", "A1", {}},
        LineCase{"alias team A1,A2", NicknameKind::Group, "team", "A1,A2", {"A1", "A2"}},
        // Members are trimmed: no leading space on the second one.
        LineCase{
            "alias \"my team\" A1, A2", NicknameKind::Group, "my team", "A1, A2", {"A1", "A2"}},
        // The whole quoted nickname, not only its last word.
        LineCase{"alias \"John Smith\" A1", NicknameKind::Contact, "John Smith", "A1", {}},
        // A comma in the nickname still makes a group, here with its single member.
        LineCase{"alias \"Smith, John\" A1", NicknameKind::Group, "Smith, John", "A1", {"A1"}},
        // Two spaces before the address no longer empty the name.
        LineCase{"alias john  A1", NicknameKind::Contact, "john", "A1", {}},
        // Three words without a closing quote: still a paired group.
        LineCase{"alias team A1, A2", NicknameKind::Group, "team", "A1, A2", {"A1", "A2"}},
        // Only the leading keyword is removed.
        LineCase{"alias alias-list alias@example.com",
                 NicknameKind::Contact,
                 "alias-list",
                 "alias@example.com",
                 {}},
        // Extra spaces around the nickname and the address text.
        LineCase{"alias   \"Mary Jones\"   mary@example.org  ",
                 NicknameKind::Contact,
                 "Mary Jones",
                 "mary@example.org",
                 {}},
        // A comma inside the display part of one address is not a second entry.
        LineCase{"alias carol \"White, Carol\" <c@example.org>",
                 NicknameKind::Contact,
                 "carol",
                 "\"White, Carol\" <c@example.org>",
                 {}},
        // The last member counts too.
        LineCase{"alias trio a@example.com,b@example.com,c@example.com",
                 NicknameKind::Group,
                 "trio",
                 "a@example.com,b@example.com,c@example.com",
                 {"a@example.com", "b@example.com", "c@example.com"}},
        // Quote characters inside an unquoted nickname are removed.
        LineCase{
            "alias jo\"hn john@example.com", NicknameKind::Contact, "john", "john@example.com", {}},
        // A quote that never closes: the nickname runs to the next space.
        LineCase{
            "alias \"bob bob@example.com", NicknameKind::Contact, "bob", "bob@example.com", {}},
        // An unquoted nickname with a comma is a group as well.
        LineCase{"alias a,b a@example.com",
                 NicknameKind::Group,
                 "a,b",
                 "a@example.com",
                 {"a@example.com"}},
        // Lines edited by hand: keyword in capitals, tabs around the nickname.
        LineCase{
            "ALIAS\tjohn\tjohn@example.com", NicknameKind::Contact, "john", "john@example.com", {}},
        LineCase{"Alias \t \"my team\"\ta@example.com, b@example.com",
                 NicknameKind::Group,
                 "my team",
                 "a@example.com, b@example.com",
                 {"a@example.com", "b@example.com"}}));

TEST(ParseNicknameLineTest, LinesWithoutNameOrAddressAreNotPaired) {
    struct Case {
        std::string line;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"alias john", "no address"},
        {"alias john ", "no address"},
        {"alias placeholder  ", "no address"},
        {"alias \"John Smith\"", "no address"},
        {"alias ", "no nickname"},
        {"alias    ", "no nickname"},
        {"alias \"\" a@example.com", "no nickname"},
        {"alias \"  \" a@example.com", "no nickname"},
        {"alias \"\"\" a@example.com", "no nickname"},
        {"alias box \xC6\x92\\Clients\\Acme", "no address"},
        {"alias commas ,, ,", "no address"},
        {"alias empty <>", "no address"},
        {"alias \"a, b\" \xC6\x92\\Box", "no address"},
        {"alias\t\t", "no nickname"},
        {"alias john\t", "no address"},
        {" alias john a@example.com", "no nickname"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const ParsedNickname parsed = ParseNicknameLine(c.line);
        EXPECT_FALSE(parsed.paired);
        EXPECT_EQ(parsed.skipReason, c.reason);
    }
}

TEST(ParseNicknameLineTest, MailboxCopyItemsAreNotAddresses) {
    // U+0192 is what byte 0x83 decodes to; a raw 0x83 is recognised as well.
    for (const std::string mark : {"\xC6\x92", "\x83"}) {
        SCOPED_TRACE(mark == "\x83" ? "raw byte" : "decoded");
        const ParsedNickname oneAddress =
            ParseNicknameLine("alias acme-team jane@acme.example," + mark + "\\Clients\\Acme");
        EXPECT_TRUE(oneAddress.paired);
        EXPECT_EQ(oneAddress.kind, NicknameKind::Contact);
        EXPECT_EQ(oneAddress.addressText, "jane@acme.example");

        const ParsedNickname group =
            ParseNicknameLine("alias crew " + mark + "\\Crew, a@example.com, b@example.com");
        EXPECT_TRUE(group.paired);
        ASSERT_EQ(group.kind, NicknameKind::Group);
        EXPECT_EQ(Addresses(SplitMembers(group.addressText)),
                  (std::vector<std::string>{"a@example.com", "b@example.com"}));
    }
}

TEST(ParseNicknameLineTest, EmptyEntriesDoNotCountAsMembers) {
    const ParsedNickname trailingComma = ParseNicknameLine("alias solo a@example.com,");
    EXPECT_TRUE(trailingComma.paired);
    EXPECT_EQ(trailingComma.kind, NicknameKind::Contact);
    EXPECT_EQ(trailingComma.addressText, "a@example.com");

    const ParsedNickname gaps = ParseNicknameLine("alias pair ,a@example.com,, b@example.com,");
    ASSERT_EQ(gaps.kind, NicknameKind::Group);
    EXPECT_EQ(SplitMembers(gaps.addressText).size(), 2u);
}

TEST(ParseNicknameLineTest, KeepsNonAsciiAndTabsInsideTheText) {
    const ParsedNickname parsed = ParseNicknameLine(
        "alias \"Jos\xC3\xA9 N\xC3\xBA\xC3\xB1"
        "ez\" jose@example.es\t");
    EXPECT_EQ(parsed.name,
              "Jos\xC3\xA9 N\xC3\xBA\xC3\xB1"
              "ez");
    EXPECT_EQ(parsed.addressText, "jose@example.es\t");
}

TEST(SplitMembersTest, CommasInsideQuotesParenthesesAndAnglesDoNotSplit) {
    struct Case {
        std::string text;
        std::vector<std::string> addresses;
    };
    const std::vector<Case> cases = {
        {"\"Smith, John\" <js@example.com>, b@example.com", {"js@example.com", "b@example.com"}},
        {"a@example.com (Doe, Jane), b@example.com", {"a@example.com", "b@example.com"}},
        {"<odd,box@example.com>, c@example.com", {"odd,box@example.com", "c@example.com"}},
        // Quotes inside a comment do not count, as Eudora reads them.
        {"a@example.com (say \"hi), b@example.com", {"a@example.com", "b@example.com"}},
        // Nested comments close at the matching parenthesis.
        {"a@example.com (x (y, z) w), b@example.com", {"a@example.com", "b@example.com"}},
        // Unquoted multi-word nickname references stay whole.
        {"jsmith,Mary Jones,carol, dave@example.com",
         {"jsmith", "Mary Jones", "carol", "dave@example.com"}},
        {"   ", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Addresses(SplitMembers(c.text)), c.addresses);
    }
}

TEST(SplitMembersTest, MembersCarryTheirDisplayParts) {
    const std::vector<Address> members = SplitMembers(
        "\"Zo\xC3\xAB \xC3\x98"
        "degaard\" <zoe@example.no>, dave@example.com (Dave Brown),"
        "plain@example.com");
    const std::vector<Address> expected = {
        {"zoe@example.no",
         "Zo\xC3\xAB \xC3\x98"
         "degaard"},
        {"dave@example.com", "Dave Brown"},
        {"plain@example.com", ""},
    };
    EXPECT_EQ(members, expected);
}

TEST(ParseAddressTest, Rfc822FormsGiveBareAddressAndDisplayPart) {
    struct Case {
        std::string entry;
        Address expected;
    };
    const std::vector<Case> cases = {
        {"\"Carol White\" <carol@example.org>", {"carol@example.org", "Carol White"}},
        {"Carol White <carol@example.org>", {"carol@example.org", "Carol White"}},
        {"Carol White<carol@example.org>", {"carol@example.org", "Carol White"}},
        {"<carol@example.org>", {"carol@example.org", ""}},
        {"< carol@example.org >", {"carol@example.org", ""}},
        {"carol@example.org (Carol White)", {"carol@example.org", "Carol White"}},
        {"carol@example.org ( Carol White )", {"carol@example.org", "Carol White"}},
        {"carol@example.org (Carol (the boss) White)",
         {"carol@example.org", "Carol (the boss) White"}},
        {"\"Smith, John\" <js@example.com>", {"js@example.com", "Smith, John"}},
        {"\"a <b>\" <ab@example.com>", {"ab@example.com", "a <b>"}},
        // Words, quoted or not, then one address, as people type them.
        {"\"Ren\xC3\xA9"
         "e O'Brien\" renee@example.ie",
         {"renee@example.ie",
          "Ren\xC3\xA9"
          "e O'Brien"}},
        {"John Plain john.plain@example.com", {"john.plain@example.com", "John Plain"}},
        {"\"Smith, John\"\tjs@example.com", {"js@example.com", "Smith, John"}},
        {"Carol <carol@example.org> (work)", {"carol@example.org", "Carol"}},
        {"<carol@example.org> (work)", {"carol@example.org", "work"}},
        {"  carol@example.org  ", {"carol@example.org", ""}},
        // Anything else is kept as it stands.
        {"carol@example.org", {"carol@example.org", ""}},
        {"Mary Jones", {"Mary Jones", ""}},
        {"a@example.com b@example.com", {"a@example.com b@example.com", ""}},
        {"\"half quoted words x@example.com", {"\"half quoted words x@example.com", ""}},
        {"Bob bob@example.com (home)", {"Bob bob@example.com", "home"}},
        {"(only a comment)", {"(only a comment)", ""}},
        {"broken <carol@example.org", {"broken <carol@example.org", ""}},
        {"carol@example.org)", {"carol@example.org)", ""}},
        {"\"quoted >\"", {"\"quoted >\"", ""}},
        {"<>", {"", ""}},
        {"", {"", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_EQ(ParseAddress(c.entry), c.expected);
    }
}

TEST(TrimSpacesTest, RemovesOnlySpaces) {
    EXPECT_EQ(TrimSpaces("  a b  "), "a b");
    EXPECT_EQ(TrimSpaces("\ta b\t"), "\ta b\t");
    EXPECT_EQ(TrimSpaces(" \t "), "\t");
    EXPECT_EQ(TrimSpaces("    "), "");
    EXPECT_EQ(TrimSpaces(""), "");
}

}  // namespace
}  // namespace tarvelle::eudora

namespace tarvelle::eudora {
namespace {

// Thousands of trailing comments once meant one rescan and one stack frame per comment.
TEST(ParseAddressTest, ManyTrailingCommentsStayCheap) {
    std::string entry = "carol@example.org (Carol White)";
    for (int i = 0; i < 300000; ++i) entry += " (x)";
    const Address parsed = ParseAddress(entry);
    EXPECT_TRUE(parsed.address.starts_with("carol@example.org (Carol White)"));
    EXPECT_EQ(parsed.displayName, "x");
    EXPECT_EQ(ParseAddress("a@x (one) (two)"), (Address{"a@x", "one"}));
}

}  // namespace
}  // namespace tarvelle::eudora
