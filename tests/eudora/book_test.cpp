#include "eudora/Book.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarvelle::eudora {
namespace {

// The lines of a sample book (ASCII samples only: no decoding needed), terminators removed.
std::vector<std::string> SampleLines(const std::string& name) {
    std::ifstream in(std::string(TARVELLE_SHARED_DIR) + "/eudora-samples/" + name,
                     std::ios::binary);
    if (!in) throw std::runtime_error("sample missing: " + name);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::vector<std::string> lines;
    std::string line;
    for (char c : buffer.str()) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Windows-1252 to UTF-8, as the text-file layer hands lines to the parser (the five undefined
// bytes become U+0081 and so on).
std::string FromWindows1252(const std::string& bytes) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021, 0x2C6,  0x2030, 0x160,
        0x2039, 0x152,  0x8D,   0x17D,  0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
    std::string out;
    for (unsigned char b : bytes) {
        const char32_t c = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : b;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void AddLines(AddressBooks& books, std::size_t book, const std::vector<std::string>& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        books.AddLine(book, static_cast<int>(i + 1), lines[i]);
    }
}

AddressBooks OneBook(const std::vector<std::string>& lines) {
    AddressBooks books;
    AddLines(books, books.AddBook("NNdbase"), lines);
    books.Resolve();
    return books;
}

// The second pass's view of a group: its line read again, its members resolved.
std::vector<ResolvedMember> MembersOf(const AddressBooks& books,
                                      const std::vector<std::string>& lines,
                                      const BookEntry& group) {
    EXPECT_EQ(group.kind, EntryKind::Group);
    return books.ResolveMembers(group,
                                ParseNicknameLine(lines.at(group.lineNumber - 1)).addressText);
}

const BookEntry& Named(const AddressBooks& books, std::string_view nickname) {
    const auto found = books.Find(nickname);
    if (!found) throw std::runtime_error("no entry " + std::string(nickname));
    return books.Entries()[*found];
}

std::vector<std::string> Nicknames(const AddressBooks& books) {
    std::vector<std::string> names;
    for (const BookEntry& e : books.Entries()) {
        names.push_back(e.skipReason ? "skip:" + *e.skipReason : e.nickname);
    }
    return names;
}

TEST(FoldNickname, FoldsTheLettersWindows1252CanHold) {
    EXPECT_EQ(FoldNickname("Work-Team"), "work-team");
    EXPECT_EQ(FoldNickname("M\xC3\x9CLLER"), "m\xC3\xBCller");  // Ü -> ü
    EXPECT_EQ(FoldNickname("JOS\xC3\x89 N\xC3\x9A\xC3\x91"
                           "EZ"),  // JOSÉ NÚÑEZ
              "jos\xC3\xA9 n\xC3\xBA\xC3\xB1"
              "ez");
    EXPECT_EQ(FoldNickname("\xC5\xA0\xC5\x92\xC5\xBD\xC5\xB8"),  // Š Œ Ž Ÿ
              "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF");
    EXPECT_EQ(FoldNickname("\xC3\x97"), "\xC3\x97");    // × is not a letter
    EXPECT_TRUE(SameNickname("\xC4\xB9", "\xC4\xBA"));  // Ĺ ĺ (odd/even pair)
    EXPECT_FALSE(SameNickname("bob", "bobby"));
    // Three-byte characters and stray bytes compare as they are, and never crash.
    EXPECT_EQ(FoldNickname("\xE2\x82\xAC"
                           "A"),
              "\xE2\x82\xAC"
              "a");
    EXPECT_EQ(FoldNickname("\xC3"), "\xC3");
    EXPECT_EQ(FoldNickname("\xFF\x80Q"), "\xFF\x80q");
}

TEST(AddressBooks, TypicalSampleBook) {
    const std::vector<std::string> lines = SampleLines("01-typical/NNdbase.txt");
    const AddressBooks books = OneBook(lines);
    EXPECT_EQ(Nicknames(books),
              (std::vector<std::string>{"jsmith", "Mary Jones", "carol", "family", "bob",
                                        "work-team", "newsletter", "dave"}));
    for (std::size_t i = 0; i < books.Entries().size(); ++i) {
        EXPECT_EQ(books.Entries()[i].itemNumber, i);
    }

    const BookEntry& carol = Named(books, "carol");
    EXPECT_EQ(carol.kind, EntryKind::Contact);
    EXPECT_EQ(carol.lineNumber, 5);
    EXPECT_EQ(carol.addressText, "\"Carol White\" <carol@example.com>");
    const auto carolNote = books.NoteOf(carol);
    ASSERT_TRUE(carolNote);
    EXPECT_EQ(carolNote->Field(NoteField::Name), "Carol White");
    EXPECT_EQ(carolNote->Field(NoteField::City2), "Metropolis");
    EXPECT_FALSE(books.NoteOf(Named(books, "bob")));

    // "family" names addresses only; "work-team" names three contacts and one address.
    const auto family = MembersOf(books, lines, Named(books, "family"));
    ASSERT_EQ(family.size(), 3u);
    for (const ResolvedMember& m : family) {
        EXPECT_EQ(m.target, MemberTarget::Address);
        EXPECT_EQ(m.reason, AddressReason::HasAt);
    }
    const BookEntry& team = Named(books, "WORK-TEAM");
    const auto teamMembers = MembersOf(books, lines, team);
    ASSERT_EQ(teamMembers.size(), 4u);
    EXPECT_EQ(teamMembers[0].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[teamMembers[0].entry].nickname, "jsmith");
    EXPECT_EQ(teamMembers[1].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[teamMembers[1].entry].nickname, "Mary Jones");
    EXPECT_EQ(teamMembers[2].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[teamMembers[2].entry].nickname, "carol");
    EXPECT_EQ(teamMembers[3].target, MemberTarget::Address);
    EXPECT_EQ(teamMembers[3].member.address, "dave@example.com");
    ASSERT_TRUE(books.NoteOf(team));
    EXPECT_EQ(books.NoteOf(team)->freeText,
              "Weekly status list.\x03"
              "Ask Carol before adding people.");
}

TEST(AddressBooks, ImporterStyleSampleBook) {
    const std::vector<std::string> lines = SampleLines("07-eudora-importer-style/NNdbase.txt");
    const AddressBooks books = OneBook(lines);
    EXPECT_EQ(Nicknames(books),
              (std::vector<std::string>{"John_Smith", "Ann_Lee", "Ann_Lee2", "Book_Club"}));
    const auto club = MembersOf(books, lines, Named(books, "book_club"));
    ASSERT_EQ(club.size(), 3u);
    const std::vector<std::string> expected = {"John_Smith", "Ann_Lee", "Ann_Lee2"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(club[i].target, MemberTarget::Contact);
        EXPECT_EQ(books.Entries()[club[i].entry].nickname, expected[i]);
    }
    const auto john = books.NoteOf(Named(books, "John_Smith"));
    ASSERT_TRUE(john);
    EXPECT_EQ(john->Field(NoteField::Phone), "555-0100");
    EXPECT_EQ(john->Field(NoteField::Phone2), "555-0101");
}

TEST(AddressBooks, AccentedSampleBookResolvesUnquotedMultiWordNicknames) {
    std::vector<std::string> lines;
    for (const std::string& line : SampleLines("03-cp1252-accents/NNdbase.txt")) {
        lines.push_back(FromWindows1252(line));
    }
    const AddressBooks books = OneBook(lines);
    const std::string jose =
        "Jos\xC3\xA9 N\xC3\xBA\xC3\xB1"
        "ez";
    EXPECT_EQ(Nicknames(books), (std::vector<std::string>{jose, "m\xC3\xBCller", "fran\xC3\xA7oise",
                                                          "amigos", "acme-team"}));
    const auto mueller = books.NoteOf(Named(books, "M\xC3\x9CLLER"));
    ASSERT_TRUE(mueller);
    EXPECT_EQ(mueller->Field(NoteField::Name), "Hans M\xC3\xBCller");
    EXPECT_EQ(mueller->freeText,
              "Prefers \xE2\x80\x9C"
              "formal\xE2\x80\x9D letters \xE2\x80\x93 no e-mail "
              "after 18:00.");

    const auto amigos = MembersOf(books, lines, Named(books, "amigos"));
    ASSERT_EQ(amigos.size(), 3u);
    EXPECT_EQ(amigos[0].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[amigos[0].entry].nickname, jose);
    EXPECT_EQ(amigos[1].target, MemberTarget::Contact);
    EXPECT_EQ(amigos[2].target, MemberTarget::Address);
    EXPECT_EQ(amigos[2].member.address, "zoe@example.no");
    EXPECT_EQ(amigos[2].member.displayName,
              "Zo\xC3\xAB \xC3\x98"
              "degaard");

    // Without its mailbox-copy item the line holds one address: a contact, with its note.
    const BookEntry& acme = Named(books, "acme-team");
    EXPECT_EQ(acme.kind, EntryKind::Contact);
    EXPECT_EQ(acme.addressText, "jane@acme.example");
    EXPECT_EQ(books.NoteOf(acme)->Field(NoteField::Name), "ACME project team");
}

TEST(AddressBooks, Utf8SampleBook) {
    std::vector<std::string> lines = SampleLines("08-utf8-bom-lf/NNdbase.txt");
    ASSERT_FALSE(lines.empty());
    ASSERT_TRUE(lines[0].starts_with("\xEF\xBB\xBF"));
    lines[0].erase(0, 3);  // the text-file layer drops the byte-order mark
    const AddressBooks books = OneBook(lines);
    EXPECT_EQ(Nicknames(books), (std::vector<std::string>{"zoe", "bjorn"}));
    const auto zoe = books.NoteOf(Named(books, "ZOE"));
    ASSERT_TRUE(zoe);
    EXPECT_EQ(zoe->Field(NoteField::City), "Troms\xC3\xB8");
    EXPECT_FALSE(books.NoteOf(Named(books, "bjorn")));
}

TEST(AddressBooks, NotesFindTheirNicknameWhereverTheyStand) {
    const AddressBooks books = OneBook({
        "note Bob <phone:1>",  // before its alias, other case
        "alias bob bob@example.com",
        "note \"Mary Jones\" <city:Oslo>",  // no alias at all
        "alias nomail",                     // no address, but a note follows
        "note NOMAIL <phone:2>",
        "alias empty",               // no address, no note
        "alias \"\" x@example.com",  // no nickname
        "note ann <name:Ann>",
        "note ann <name:Other><city:Rome>more",  // a second note line for ann
        "alias ann ann@example.com",
        "note \"\" ignored",
        "free text line",
    });
    EXPECT_EQ(Nicknames(books),
              (std::vector<std::string>{"bob", "Mary Jones", "nomail", "skip:no address",
                                        "skip:no nickname", "ann", "skip:not a nickname line"}));
    EXPECT_EQ(books.NoteOf(Named(books, "bob"))->Field(NoteField::Phone), "1");

    const BookEntry& mary = Named(books, "mary jones");
    EXPECT_TRUE(mary.fromNoteOnly);
    EXPECT_EQ(mary.kind, EntryKind::Contact);
    EXPECT_EQ(mary.lineNumber, 3);
    EXPECT_EQ(mary.addressText, "");
    EXPECT_EQ(books.NoteOf(mary)->Field(NoteField::City), "Oslo");

    const BookEntry& nomail = Named(books, "nomail");
    EXPECT_FALSE(nomail.fromNoteOnly);
    EXPECT_EQ(nomail.addressText, "");
    EXPECT_EQ(books.NoteOf(nomail)->Field(NoteField::Phone), "2");

    const auto ann = books.NoteOf(Named(books, "ann"));
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->Field(NoteField::Name), "Ann");
    EXPECT_EQ(ann->Field(NoteField::City), "Rome");
    EXPECT_EQ(ann->freeText, "\x03more");

    // Skipped lines keep their place and their line number but are no items.
    EXPECT_EQ(books.Entries()[3].lineNumber, 6);
    EXPECT_EQ(books.Entries()[4].lineNumber, 7);
    EXPECT_EQ(books.Entries()[5].itemNumber, 3u);
    EXPECT_FALSE(books.NoteOf(books.Entries()[3]));
    EXPECT_FALSE(books.Find("empty"));

    // The second pass finds each line's entry by its number.
    EXPECT_EQ(books.EntryAt(0, 3), &mary);
    EXPECT_EQ(books.EntryAt(0, 2), &Named(books, "bob"));
    EXPECT_EQ(books.EntryAt(0, 7), &books.Entries()[4]);
    EXPECT_EQ(books.EntryAt(0, 1), nullptr);   // a note of an alias line
    EXPECT_EQ(books.EntryAt(0, 11), nullptr);  // a note naming nothing
    EXPECT_EQ(books.EntryAt(0, 12), &books.Entries()[6]);
    EXPECT_EQ(books.EntryAt(0, 99), nullptr);
}

TEST(AddressBooks, MemberEntriesThatNameNicknames) {
    const std::vector<std::string> lines = {
        "alias friends \"Mary Jones\",ZOE,later,nobody,friends,ghost,mom@example.net",
        "alias \"Mary Jones\" mary@example.org",
        "alias zoe \"Zo\xC3\xAB\" <zoe@example.no>",
        "alias later a@example.com, b@example.com",
        "note ghost <phone:555>",
    };
    const AddressBooks books = OneBook(lines);
    const auto r = MembersOf(books, lines, Named(books, "friends"));
    ASSERT_EQ(r.size(), 7u);

    // A quoted multi-word nickname, a nickname in other case, a forward reference to a group.
    EXPECT_EQ(r[0].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[r[0].entry].nickname, "Mary Jones");
    EXPECT_EQ(r[0].member.address, "\"Mary Jones\"");
    EXPECT_EQ(r[1].target, MemberTarget::Contact);
    EXPECT_EQ(books.Entries()[r[1].entry].nickname, "zoe");
    EXPECT_EQ(r[2].target, MemberTarget::Group);
    EXPECT_EQ(books.Entries()[r[2].entry].nickname, "later");
    EXPECT_EQ(r[2].reason, AddressReason::None);

    // What stays a one-off member, and why.
    EXPECT_EQ(r[3].target, MemberTarget::Address);
    EXPECT_EQ(r[3].reason, AddressReason::NamesNothing);
    EXPECT_EQ(r[4].target, MemberTarget::Address);
    EXPECT_EQ(r[4].reason, AddressReason::NamesItself);
    EXPECT_EQ(r[5].target, MemberTarget::Address);
    EXPECT_EQ(r[5].reason, AddressReason::NoEmailAddress);  // ghost has a note only
    EXPECT_EQ(r[6].target, MemberTarget::Address);
    EXPECT_EQ(r[6].reason, AddressReason::HasAt);
}

TEST(AddressBooks, CyclesResolveWithoutExpanding) {
    const std::vector<std::string> lines = {
        "alias a b,c@example.com",
        "alias b a,d@example.com",
        "alias self self,x@example.com",
    };
    const AddressBooks books = OneBook(lines);
    const auto a = MembersOf(books, lines, Named(books, "a"));
    const auto b = MembersOf(books, lines, Named(books, "b"));
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a[0].target, MemberTarget::Group);
    EXPECT_EQ(a[0].entry, *books.Find("b"));
    EXPECT_EQ(b[0].target, MemberTarget::Group);
    EXPECT_EQ(b[0].entry, *books.Find("a"));

    const auto self = MembersOf(books, lines, Named(books, "self"));
    ASSERT_EQ(self.size(), 2u);
    EXPECT_EQ(self[0].target, MemberTarget::Address);
    EXPECT_EQ(self[0].reason, AddressReason::NamesItself);
    EXPECT_EQ(self[0].member.address, "self");
}

TEST(AddressBooks, SeveralBooksLookUpMainBookFirstThenByOrder) {
    AddressBooks books;
    const std::size_t main = books.AddBook("NNdbase");
    AddLines(books, main,
             {"alias boss boss@main.example", "alias dup first@main.example",
              "alias dup second@main.example"});
    const std::size_t club = books.AddBook("Club");
    const std::vector<std::string> clubLines = {"alias boss boss@club.example",
                                                "alias pals boss,dup,coach,Boss2",
                                                "note boss <phone:club>"};
    AddLines(books, club, clubLines);
    // A book already read takes no more lines.
    EXPECT_THROW(books.AddLine(main, 9, "alias late late@main.example"), std::logic_error);
    const std::size_t work = books.AddBook("Work");
    AddLines(books, work,
             {"alias coach coach@work.example", "alias boss2 b2@work.example",
              "alias pals x@work.example"});
    books.Resolve();

    EXPECT_EQ(books.BookCount(), 3u);
    EXPECT_EQ(books.BookName(club), "Club");
    ASSERT_EQ(books.BookEntries(club).size(), 2u);
    EXPECT_EQ(books.BookEntries(club)[0].addressText, "boss@club.example");

    // Items are numbered on across books, in writing order.
    const auto& entries = books.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].itemNumber, i);
    EXPECT_EQ(entries.size(), 8u);

    const auto pals = MembersOf(books, clubLines, books.BookEntries(club)[1]);
    ASSERT_EQ(pals.size(), 4u);
    // The main book wins over the group's own book; within a book the last alias line wins.
    EXPECT_EQ(entries[pals[0].entry].addressText, "boss@main.example");
    EXPECT_EQ(entries[pals[1].entry].addressText, "second@main.example");
    EXPECT_EQ(entries[pals[2].entry].book, work);
    EXPECT_EQ(entries[pals[3].entry].addressText, "b2@work.example");
    // Find answers in lookup order too.
    EXPECT_EQ(entries[*books.Find("pals")].book, club);

    // A note belongs to the nickname of its own book only.
    EXPECT_FALSE(books.NoteOf(books.BookEntries(main)[0]));
    ASSERT_TRUE(books.NoteOf(books.BookEntries(club)[0]));
}

TEST(AddressBooks, MisuseIsRefused) {
    AddressBooks books;
    const std::size_t main = books.AddBook("NNdbase");
    EXPECT_THROW(books.AddLine(5, 1, "alias a a@x"), std::out_of_range);
    EXPECT_THROW(books.ResolveMember(BookEntry{}, Address{"a", ""}), std::logic_error);
    books.Resolve();
    EXPECT_THROW(books.AddLine(main, 1, "alias a a@x"), std::logic_error);
    EXPECT_THROW(books.AddBook("More"), std::logic_error);
    EXPECT_THROW(books.Resolve(), std::logic_error);
    EXPECT_TRUE(books.Entries().empty());
    EXPECT_FALSE(books.Find(""));
}

}  // namespace
}  // namespace tarvelle::eudora
