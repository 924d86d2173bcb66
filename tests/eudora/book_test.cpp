#include "eudora/Book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

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

// The second pass's view of a group: its line read again, each member resolved, as
// "entry -> contact nickname address", "entry -> group nickname" or "entry -> why an address".
std::vector<std::string> MembersOf(const AddressBooks& books, const std::vector<std::string>& lines,
                                   const BookEntry& group) {
    EXPECT_EQ(group.kind, EntryKind::Group);
    static const char* const kReasons[] = {"", "has @", "names nothing", "names itself",
                                           "no e-mail address"};
    std::vector<std::string> out;
    const std::string text = ParseNicknameLine(lines.at(group.lineNumber - 1)).addressText;
    for (const ResolvedMember& r : books.ResolveMembers(group, text)) {
        const BookEntry& e = books.Entries()[r.entry];
        std::string target =
            r.target == MemberTarget::Contact ? "contact " + e.nickname + " " + e.addressText
            : r.target == MemberTarget::Group ? "group " + e.nickname
                                              : kReasons[static_cast<int>(r.reason)];
        if (r.target != MemberTarget::Address) target += kReasons[static_cast<int>(r.reason)];
        out.push_back(r.member.address + " -> " + target);
    }
    return out;
}

const BookEntry& Named(const AddressBooks& books, std::string_view nickname) {
    return books.Entries().at(books.Find(nickname).value());
}

// Each entry as "line: nickname = address text #item", "+note" when it comes from a note only,
// or "line: skip:reason".
std::vector<std::string> Entries(const AddressBooks& books) {
    std::vector<std::string> out;
    for (const BookEntry& e : books.Entries()) {
        out.push_back(std::to_string(e.lineNumber) + ": " +
                      (e.skipReason
                           ? "skip:" + *e.skipReason
                           : e.nickname + " = " + e.addressText + " #" +
                                 std::to_string(e.itemNumber) + (e.fromNoteOnly ? " +note" : "")));
    }
    return out;
}

TEST(FoldNickname, FoldsTheLettersWindows1252CanHold) {
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"Work-Team", "work-team"}, {"M\xC3\x9CLLER", "m\xC3\xBCller"},  // Ü
        {"JOS\xC3\x89 N\xC3\x9A\xC3\x91" "EZ", "jos\xC3\xA9 n\xC3\xBA\xC3\xB1" "ez"},  // É Ú Ñ
        {"\xC5\xA0\xC5\x92\xC5\xBD\xC5\xB8", "\xC5\xA1\xC5\x93\xC5\xBE\xC3\xBF"},  // Š Œ Ž Ÿ
        {"\xC3\x97", "\xC3\x97"},  // × is not a letter
        // Three-byte characters and stray bytes compare as they are, and never crash.
        {"\xE2\x82\xAC" "A", "\xE2\x82\xAC" "a"}, {"\xC3", "\xC3"}, {"\xFF\x80Q", "\xFF\x80q"},
        // clang-format on
    };
    for (const auto& [name, folded] : rows) EXPECT_EQ(FoldNickname(name), folded) << name;
    EXPECT_TRUE(SameNickname("\xC4\xB9", "\xC4\xBA"));  // Ĺ ĺ (odd/even pair)
    EXPECT_FALSE(SameNickname("bob", "bobby"));
}

// Growing one slot array at a time and reserving room for many at once both keep every nickname
// findable under any case, with the value first stored under it.
TEST(NicknameTableTest, ReservedOrGrownEveryNicknameKeepsItsValue) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) names.push_back("Name" + std::to_string(i * 7919 % 100003));
    auto keyOf = [&](std::uint32_t v) -> std::string_view { return names[v]; };
    NicknameTable table;
    for (std::uint32_t v = 0; v < 1000; ++v)
        EXPECT_TRUE(table.TryEmplace(names[v], v, keyOf).second);
    table.Reserve(3000);  // rehashes the thousand already in
    table.Reserve(10);    // never shrinks
    for (std::uint32_t v = 1000; v < 3000; ++v) table.TryEmplace(names[v], v, keyOf);
    EXPECT_EQ(table.size(), 3000u);
    for (std::uint32_t v = 0; v < 3000; ++v) {
        std::string upper = names[v];
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const std::uint32_t* found = table.Find(upper, keyOf);
        ASSERT_NE(found, nullptr) << names[v];
        EXPECT_EQ(*found, v);
        EXPECT_FALSE(table.TryEmplace(names[v], 99999, keyOf).second);
    }
    EXPECT_EQ(table.Find("Name-none", keyOf), nullptr);

    // Batches find what Find finds, the absent names among them included.
    std::vector<std::string> queries;
    for (int i = 0; i < 40; ++i) queries.push_back(i % 3 ? names[i * 71] : "Absent" + names[i]);
    queries.push_back("NAME" + names[5].substr(4));
    for (std::size_t start = 0; start < queries.size(); start += NicknameTable::kBatch) {
        std::vector<std::string_view> batch(
            queries.begin() + static_cast<std::ptrdiff_t>(start),
            queries.begin() + static_cast<std::ptrdiff_t>(
                                  std::min(queries.size(), start + NicknameTable::kBatch)));
        std::vector<const std::uint32_t*> found(batch.size());
        table.FindBatch(batch, found, keyOf, [](std::uint32_t) {});
        for (std::size_t k = 0; k < batch.size(); ++k)
            EXPECT_EQ(found[k], table.Find(batch[k], keyOf)) << batch[k];
    }
}

TEST(AddressBooks, NotesFindTheirNicknameWhereverTheyStand) {
    // A note before its alias in other case, a note with no alias at all, an alias with no address
    // but a note, one with neither, one with no nickname, two note lines for ann.
    // clang-format off
    const AddressBooks books = OneBook({"note Bob <phone:1>", "alias bob bob@example.com", "note \"Mary Jones\" <city:Oslo>",
        "alias nomail", "note NOMAIL <phone:2>", "alias empty", "alias \"\" x@example.com", "note ann <name:Ann>",
        "note ann <name:Other><city:Rome>more", "alias ann ann@example.com", "note \"\" ignored", "free text line"});
    // clang-format on
    // Skipped lines keep their place and their line number but are no items.
    EXPECT_EQ(Entries(books), (std::vector<std::string>{
                                  "2: bob = bob@example.com #0", "3: Mary Jones =  #1 +note",
                                  "4: nomail =  #2", "6: skip:no address", "7: skip:no nickname",
                                  "10: ann = ann@example.com #3", "12: skip:not a nickname line"}));
    EXPECT_EQ(books.NoteOf(Named(books, "bob"))->Field(NoteField::Phone), "1");
    const BookEntry& mary = Named(books, "mary jones");
    EXPECT_EQ(mary.kind, EntryKind::Contact);
    EXPECT_EQ(books.NoteOf(mary)->Field(NoteField::City), "Oslo");
    EXPECT_EQ(books.NoteOf(Named(books, "nomail"))->Field(NoteField::Phone), "2");
    const auto ann = books.NoteOf(Named(books, "ann"));
    ASSERT_TRUE(ann);
    EXPECT_EQ(ann->Field(NoteField::Name).value_or("-") +
                  ann->Field(NoteField::City).value_or("-") + ann->freeText,
              "AnnRome\x03more");
    EXPECT_FALSE(books.NoteOf(books.Entries()[3]));
    EXPECT_FALSE(books.Find("empty"));

    // The second pass finds each line's entry by its number.
    // Lines 1 and 11 are notes of an alias line and of nothing.
    const auto& e = books.Entries();
    const std::pair<int, const BookEntry*> at[] = {{3, &mary},   {2, &e[0]},    {7, &e[4]},
                                                   {1, nullptr}, {11, nullptr}, {12, &e[6]},
                                                   {99, nullptr}};
    for (const auto& [line, entry] : at) EXPECT_EQ(books.EntryAt(0, line), entry) << line;
}

TEST(AddressBooks, NoteLinesOfANicknameAreJoinedAcrossOtherNotesAndBooks) {
    // The note lines of a and b take turns; c's single line stands between them.
    AddressBooks books;
    books.AddBook("first");
    int line = 0;
    for (const char* text :
         {"note a <phone:1>", "note b <phone:2>", "note c <city:Bern>c text", "note a <city:Rome>",
          "note b <city:Oslo>", "note a last", "alias a a@x", "alias b b@x"}) {
        books.AddLine(0, ++line, text);
    }
    books.AddBook("second");
    books.AddLine(1, 1, "note a <phone:9>second book");
    books.Resolve();
    auto shown = [&](const BookEntry& entry) {
        const auto note = books.NoteOf(entry);
        return note->Field(NoteField::Phone).value_or("-") + "|" +
               note->Field(NoteField::City).value_or("-") + "|" + note->freeText;
    };
    const auto& e = books.Entries();
    ASSERT_EQ(e.size(), 4u);
    // Each later line after a line break (0x03), as Eudora joins them.
    EXPECT_EQ(shown(Named(books, "a")), "1|Rome|\x03\x03last");
    EXPECT_EQ(shown(Named(books, "b")), "2|Oslo|\x03");
    EXPECT_EQ(shown(Named(books, "c")), "-|Bern|c text");
    EXPECT_EQ(shown(e[3]), "9|-|second book");  // the second book's own note-only contact
}

TEST(AddressBooks, MemberEntriesThatNameNicknamesAndCycles) {
    const std::vector<std::string> lines = {
        "alias friends \"Mary Jones\",ZOE,later,nobody,friends,ghost,mom@example.net",
        "alias \"Mary Jones\" mary@example.org",
        "alias zoe \"Zo\xC3\xAB\" <zoe@example.no>",
        "alias later a@example.com, b@example.com",
        "note ghost <phone:555>",
        "alias a b,c@x",  // a cycle resolves without expanding
        "alias b a,d@x",
    };
    const AddressBooks books = OneBook(lines);
    // A quoted multi-word nickname, other case, a forward reference to a group, then what stays
    // a one-off member and why (ghost has a note only).
    EXPECT_EQ(MembersOf(books, lines, Named(books, "friends")),
              (std::vector<std::string>{"\"Mary Jones\" -> contact Mary Jones mary@example.org",
                                        "ZOE -> contact zoe \"Zo\xC3\xAB\" <zoe@example.no>",
                                        "later -> group later", "nobody -> names nothing",
                                        "friends -> names itself", "ghost -> no e-mail address",
                                        "mom@example.net -> has @"}));
    EXPECT_EQ(MembersOf(books, lines, Named(books, "a")),
              (std::vector<std::string>{"b -> group b", "c@x -> has @"}));
    EXPECT_EQ(MembersOf(books, lines, Named(books, "b")),
              (std::vector<std::string>{"a -> group a", "d@x -> has @"}));
}

TEST(AddressBooks, LongMemberListsResolveAsEachMemberAlone) {
    // Members of every kind, three dozen of them, so they are looked up in several batches.
    std::vector<std::string> lines = {"alias big-list placeholder"};
    std::string members;
    for (int i = 0; i < 36; ++i) {
        // Every fifth person has a note and no address: a contact without e-mail address.
        lines.push_back(i % 5 == 4 ? "note person" + std::to_string(i) + " <phone:1>"
                                   : "alias person" + std::to_string(i) + " p" + std::to_string(i) +
                                         "@example.com");
        if (i % 9 == 0) lines.push_back("alias team" + std::to_string(i) + " a@x, b@x");
        const std::string n = std::to_string(i);
        const std::string kinds[] = {"PERSON" + n, "\"person" + n + "\"",    "team" + n,
                                     "nobody" + n, "x" + n + "@example.org", "big-list"};
        members += (members.empty() ? "" : ",") + kinds[i % 6];
    }
    lines[0] = "alias big-list " + members;
    const AddressBooks books = OneBook(lines);
    const BookEntry& group = Named(books, "big-list");
    const std::vector<ResolvedMember> together = books.ResolveMembers(group, members);
    const std::vector<Address> split = SplitMembers(members);
    ASSERT_EQ(together.size(), 36u);
    std::set<AddressReason> reasons;
    for (std::size_t i = 0; i < split.size(); ++i) {
        EXPECT_EQ(together[i], books.ResolveMember(group, split[i])) << split[i].address;
        reasons.insert(together[i].reason);
    }
    EXPECT_EQ(reasons.size(), 5u) << "every outcome is among them";
}

TEST(AddressBooks, SeveralBooksLookUpMainBookFirstThenByOrder) {
    AddressBooks books;
    const std::size_t main = books.AddBook("NNdbase");
    // clang-format off
    AddLines(books, main, {"alias boss boss@main.example", "alias dup first@main.example", "alias dup second@main.example"});
    const std::size_t club = books.AddBook("Club");
    const std::vector<std::string> clubLines = {"alias boss boss@club.example", "alias pals boss,dup,coach,Boss2", "note boss <phone:club>"};
    AddLines(books, club, clubLines);
    // A book already read takes no more lines.
    EXPECT_THROW(books.AddLine(main, 9, "alias late late@main.example"), std::logic_error);
    const std::size_t work = books.AddBook("Work");
    AddLines(books, work, {"alias coach coach@work.example", "alias boss2 b2@work.example", "alias pals x@work.example"});
    // clang-format on
    books.Resolve();

    ASSERT_EQ(books.BookEntries(club).size(), 2u);
    EXPECT_EQ(books.BookEntries(club)[0].addressText, "boss@club.example");

    // Items are numbered on across books, in writing order.
    const auto& entries = books.Entries();
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].itemNumber, i);
    EXPECT_EQ(entries.size(), 8u);

    // The main book wins over the group's own book; within a book the last alias line wins.
    EXPECT_EQ(MembersOf(books, clubLines, books.BookEntries(club)[1]),
              (std::vector<std::string>{"boss -> contact boss boss@main.example",
                                        "dup -> contact dup second@main.example",
                                        "coach -> contact coach coach@work.example",
                                        "Boss2 -> contact boss2 b2@work.example"}));
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
