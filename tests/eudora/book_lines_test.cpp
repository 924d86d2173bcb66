// The address-book check, and books in the old "<nick>" layout read as their alias/note twins.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "eudora/AddressBookCheck.h"
#include "eudora/Book.h"
#include "eudora/BookLines.h"

namespace tarvelle::eudora {
namespace {

using Lines = std::vector<std::string>;

TEST(AddressBookCheckTest, PassesWhatEudoraReadsAndRefusesWhatIsNoBook) {
    const struct {
        const char* what;
        Lines lines;
        bool passes;
    } cases[] = {
        // clang-format off
        {"edited by hand", {"# added by hand", "alias ann a@example.com", "  alias ind i@example.com", "ALIAS bob b@example.com", "alias\tcarol\tc@example.com"}, true},
        {"half of the lines", {"alias a a@example.com", "not a nickname"}, true},
        {"blank lines do not count", {"alias a a@example.com", "", " \t", "x"}, true},
        {"notes count with the nicknames", {"alias a a@example.com", "note a x", "y", "z"}, true},
        {"no lines", {}, false},
        {"only blank lines", {"", "  "}, false},
        {"notes without a nickname line", {"note a <phone:1>"}, false},
        {"fewer than half", {"alias a a@example.com", "x", "y"}, false},
        {"binary", {"\x01\x02\x7F", "\x05"}, false},
        {"old layout", {"<ana>", "ana@example.org", "<ana>", "a note", "<choir>", "x@y, z@y"}, true},
        {"markup", {"<!DOCTYPE html>", "<html>", "<p>Hi</p>", "<td>x@example.com</td>", "</html>"}, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AddressBookCheck check;
        for (const std::string& line : c.lines) check.AddLine(line);
        EXPECT_EQ(check.Passed(), c.passes);
    }
}

// Each entry of a book read through BookLineReader, without line numbers: nickname, kind, the
// contact's address or the group's members, and the note's free text.
std::vector<std::string> Items(const Lines& lines) {
    AddressBooks books;
    books.AddBook("book");
    BookLineReader reader;
    std::map<int, std::string> members;  // by line: the entries keep no group's address text
    const auto take = [&] {
        while (const BookLine* line = reader.Next()) {
            books.AddLine(0, *line);
            if (line->kind != BookLine::Kind::Aliases && !IsNicknameLine(line->text)) continue;
            for (const Address& member : SplitMembers(ParseBookAlias(*line).addressText))
                members[line->number] += " [" + member.address + "]";
        }
    };
    for (const std::string& line : lines) {
        reader.Add(line);
        take();
    }
    reader.End();
    take();
    books.Resolve();
    std::vector<std::string> items;
    for (const BookEntry& e : books.Entries()) {
        std::string item = e.skipReason ? "skipped: " + *e.skipReason
                           : e.kind == EntryKind::Group
                               ? e.nickname + " group:" + members[e.lineNumber]
                               : e.nickname + " contact: " + e.addressText;
        if (const auto note = books.NoteOf(e)) item += " note: " + note->freeText;
        items.push_back(item);
    }
    return items;
}

TEST(OldLayoutTest, GivesTheItemsOfItsAliasAndNoteTwin) {
    // clang-format off
    const Lines old = {
        "<ana>", "ana.ruiz@example.org", "<ana>", "Ana Ruiz, Lisbon office",
        "<choir>", "tenor@example.net, alto@example.net", "", "bass@example.net",
        "<choir>", "><not a tag> an escaped note line", "", "second paragraph", "",
        "<solo>", "<solo>", "only a note",
        "<broken", "stray@example.org",
        "<my team>  ", ">plain@example.org",
        "<empty>", "<empty>",
    };
    const Lines twin = {
        "alias ana ana.ruiz@example.org", "note ana Ana Ruiz, Lisbon office",
        "alias choir tenor@example.net, alto@example.net, bass@example.net",
        "note choir <not a tag> an escaped note line\x03\x03second paragraph",
        "alias solo", "note solo only a note",
        "<broken", "stray@example.org",
        "alias \"my team\" plain@example.org",
        "alias empty",
    };
    // clang-format on
    const std::vector<std::string> items = Items(old);
    EXPECT_EQ(items, Items(twin));
    EXPECT_EQ(items.size(), 7u);

    // A book edited by hand that starts with markup is read line by line, not as blocks.
    EXPECT_EQ(
        Items({"<!-- my book -->", "alias ann ann@example.org"}),
        (std::vector<std::string>{"skipped: not a nickname line", "ann contact: ann@example.org"}));
}

}  // namespace
}  // namespace tarvelle::eudora
