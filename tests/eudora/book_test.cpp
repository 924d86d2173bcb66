#include "eudora/Book.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tarvelle::eudora {
namespace {

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
