// Real books read through the text-file layer and parsed line by line, as the export run does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eudora/Nicknames.h"
#include "platform/Codepage.h"
#include "platform/TextFile.h"

namespace tarvelle {
namespace {

using eudora::NicknameKind;

struct Expected {
    NicknameKind kind;
    std::string name;
    std::vector<std::string> addresses;  // the contact's address, or the group's members
    std::string firstDisplayName = {};
};

struct Book {
    std::vector<std::string> lines;
    std::vector<eudora::ParsedNickname> nicknames;
};

Book ReadBook(const std::string& path) {
    Book book;
    auto reader = platform::DefaultTextFileOpener().Open(path);
    while (!reader->AtEndOfStream()) {
        book.lines.push_back(reader->ReadLine());
        if (eudora::IsNicknameLine(book.lines.back())) {
            book.nicknames.push_back(eudora::ParseNicknameLine(book.lines.back()));
        }
    }
    return book;
}

std::vector<eudora::Address> AddressesOf(const eudora::ParsedNickname& parsed) {
    if (parsed.kind == NicknameKind::Group) return eudora::SplitMembers(parsed.addressText);
    return {eudora::ParseAddress(parsed.addressText)};
}

void ExpectBook(const std::string& path, const std::vector<Expected>& expected) {
    SCOPED_TRACE(path);
    const Book book = ReadBook(path);
    for (const std::string& line : book.lines) {
        EXPECT_TRUE(eudora::IsAddressBookLine(line)) << line;
    }
    ASSERT_EQ(book.nicknames.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const eudora::ParsedNickname& parsed = book.nicknames[i];
        SCOPED_TRACE(expected[i].name);
        EXPECT_TRUE(parsed.paired);
        EXPECT_EQ(parsed.kind, expected[i].kind);
        EXPECT_EQ(parsed.name, expected[i].name);
        const std::vector<eudora::Address> addresses = AddressesOf(parsed);
        std::vector<std::string> bare;
        for (const auto& address : addresses) bare.push_back(address.address);
        EXPECT_EQ(bare, expected[i].addresses);
        if (!addresses.empty()) {
            EXPECT_EQ(addresses[0].displayName, expected[i].firstDisplayName);
        }
    }
}

std::string Sample(const std::string& name) {
    return std::string(TARVELLE_SOURCE_DIR) + "/tests/data/books/" + name + "/NNdbase.txt";
}

TEST(NicknameBooksTest, TypicalBook) {
    ExpectBook(Sample("typical"),
               {
                   {NicknameKind::Contact, "pmorgan", {"priya.morgan@example.com"}},
                   {NicknameKind::Contact, "Tom Reyes", {"tom.reyes@example.org"}},
                   {NicknameKind::Contact, "nadia", {"nadia@example.com"}, "Nadia Quinn"},
                   {NicknameKind::Group,
                    "cousins",
                    {"aunt@example.net", "uncle@example.net", "cousin@example.com"}},
                   {NicknameKind::Contact, "leo", {"leo@example.com"}},
                   {NicknameKind::Group,
                    "design-team",
                    {"pmorgan", "Tom Reyes", "nadia", "ivy@example.com"}},
                   {NicknameKind::Contact, "digest", {"digest@lists.example.com"}, "Weekly Digest"},
                   {NicknameKind::Contact, "ivy", {"ivy@example.com"}, "Ivy Chen"},
               });
}

TEST(NicknameBooksTest, Windows1252AccentsAndAMailboxCopyItem) {
    if (platform::DecodeAnsi("\xE9") != "\xC3\xA9") GTEST_SKIP() << "ANSI code page is not 1252";
    ExpectBook(
        Sample("windows-1252"),
        {
            {NicknameKind::Contact, "In\u00e8s A\u00f1\u00f3n", {"ines.anon@example.es"}},
            {NicknameKind::Contact, "k\u00f6hler", {"jens.koehler@example.de"}},
            {NicknameKind::Contact, "am\u00e9lie", {"ad@example.fr"}, "Am\u00e9lie Dufresne"},
            {NicknameKind::Group,
             "voisins",
             {"In\u00e8s A\u00f1\u00f3n", "k\u00f6hler", "soren@example.dk"}},
            // The second item files a copy in a mailbox: only one address is left.
            {NicknameKind::Contact, "studio-team", {"lena@studio.example"}},
        });
}

TEST(NicknameBooksTest, BookWrittenByEudorasImporterWithBlankLines) {
    ExpectBook(Sample("importer"),
               {
                   {NicknameKind::Contact, "Mark_Ellis", {"mark.ellis@example.com"}},
                   {NicknameKind::Contact, "Rita_Ng", {"rita.ng@example.com"}},
                   {NicknameKind::Contact, "Rita_Ng2", {"rita.ng@other.example"}},
                   {NicknameKind::Group, "Reading_Group", {"Mark_Ellis", "Rita_Ng", "Rita_Ng2"}},
               });
}

TEST(NicknameBooksTest, Utf8BookWithByteOrderMarkAndLfEndings) {
    ExpectBook(
        Sample("utf8-bom"),
        {
            {NicknameKind::Contact, "laerke", {"laerke@example.dk"}, "L\u00e6rke \u00d8stergaard"},
            {NicknameKind::Contact, "mats", {"m\u00e4ts@example.se"}},
        });
}

TEST(NicknameBooksTest, BundledExampleBook) {
    if (platform::DecodeAnsi("\xE9") != "\xC3\xA9") GTEST_SKIP() << "ANSI code page is not 1252";
    const std::string path = std::string(TARVELLE_SOURCE_DIR) + "/examples/NNdbase.txt";
    const Book book = ReadBook(path);
    ASSERT_EQ(book.nicknames.size(), 22u);
    int contacts = 0;
    for (const auto& parsed : book.nicknames) {
        EXPECT_TRUE(parsed.paired) << parsed.name;
        if (parsed.kind == NicknameKind::Contact) ++contacts;
    }
    EXPECT_EQ(contacts, 19);
    for (const std::string& line : book.lines) {
        EXPECT_TRUE(eudora::IsAddressBookLine(line)) << line;
    }
    EXPECT_EQ(book.nicknames[2].name, "chloe");
    EXPECT_EQ(eudora::ParseAddress(book.nicknames[2].addressText).displayName, "Chlo\u00e9 Martin");
    EXPECT_EQ(book.nicknames[6].name, "G\u00fcnter Vogel");

    const eudora::ParsedNickname& falcon = book.nicknames.back();
    ASSERT_EQ(falcon.kind, NicknameKind::Group);
    const std::vector<eudora::Address> members = eudora::SplitMembers(falcon.addressText);
    const std::vector<eudora::Address> expected = {
        {"anna.becker@example.com", "Anna Becker"},
        {"ben.ortiz@example.org", "Ortiz, Ben"},
        {"kwame.mensah@example.org", "Kwame Mensah"},
    };
    EXPECT_EQ(members, expected);
}

}  // namespace
}  // namespace tarvelle
