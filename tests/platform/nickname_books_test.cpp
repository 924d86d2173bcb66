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
    return std::string(TARVELLE_SHARED_DIR) + "/eudora-samples/" + name + "/NNdbase.txt";
}

TEST(NicknameBooksTest, TypicalBook) {
    ExpectBook(
        Sample("01-typical"),
        {
            {NicknameKind::Contact, "jsmith", {"john.smith@example.com"}},
            {NicknameKind::Contact, "Mary Jones", {"mary.jones@example.org"}},
            {NicknameKind::Contact, "carol", {"carol@example.com"}, "Carol White"},
            {NicknameKind::Group,
             "family",
             {"mom@example.net", "dad@example.net", "sis@example.com"}},
            {NicknameKind::Contact, "bob", {"bob@example.com"}},
            {NicknameKind::Group,
             "work-team",
             {"jsmith", "Mary Jones", "carol", "dave@example.com"}},
            {NicknameKind::Contact, "newsletter", {"list@lists.example.com"}, "Readers List"},
            {NicknameKind::Contact, "dave", {"dave@example.com"}, "Dave Brown"},
        });
}

TEST(NicknameBooksTest, Windows1252AccentsAndAMailboxCopyItem) {
    if (platform::DecodeAnsi("\xE9") != "\xC3\xA9") GTEST_SKIP() << "ANSI code page is not 1252";
    ExpectBook(Sample("03-cp1252-accents"),
               {
                   {NicknameKind::Contact, "Jos\u00e9 N\u00fa\u00f1ez", {"jose.nunez@example.es"}},
                   {NicknameKind::Contact, "m\u00fcller", {"hans.mueller@example.de"}},
                   {NicknameKind::Contact,
                    "fran\u00e7oise",
                    {"fb@example.fr"},
                    "Fran\u00e7oise Br\u00e9tigny"},
                   {NicknameKind::Group,
                    "amigos",
                    {"Jos\u00e9 N\u00fa\u00f1ez", "m\u00fcller", "zoe@example.no"}},
                   // The second item files a copy in a mailbox: only one address is left.
                   {NicknameKind::Contact, "acme-team", {"jane@acme.example"}},
               });
}

TEST(NicknameBooksTest, BookWrittenByEudorasImporterWithBlankLines) {
    ExpectBook(Sample("07-eudora-importer-style"),
               {
                   {NicknameKind::Contact, "John_Smith", {"john.smith@example.com"}},
                   {NicknameKind::Contact, "Ann_Lee", {"ann.lee@example.com"}},
                   {NicknameKind::Contact, "Ann_Lee2", {"ann.lee@other.example"}},
                   {NicknameKind::Group, "Book_Club", {"John_Smith", "Ann_Lee", "Ann_Lee2"}},
               });
}

TEST(NicknameBooksTest, Utf8BookWithByteOrderMarkAndLfEndings) {
    ExpectBook(Sample("08-utf8-bom-lf"),
               {
                   {NicknameKind::Contact, "zoe", {"zoe@example.no"}, "Zo\u00eb \u00d8degaard"},
                   {NicknameKind::Contact, "bjorn", {"bj\u00f6rn@example.se"}},
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
