// The first pass over the address books being exported: every nickname with its kind, its place
// in its book and its note, so that the second pass can resolve what a group member entry names.
//
// The export reads all books into an AddressBooks index before it writes anything, so a note may
// come before its alias line, a nickname with only a note still becomes a contact, and a group may
// name a nickname defined further down or in another book. The index keeps only what a later line
// may need (nicknames, contact addresses, note texts); the second pass reads the lines again and
// resolves each group's members as it writes the group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eudora/BookLines.h"
#include "eudora/NicknameTable.h"
#include "eudora/Nicknames.h"
#include "eudora/Notes.h"
#include "eudora/PopulateAhead.h"

namespace tarvelle::eudora {

enum class EntryKind { Contact, Group };

// What a group member entry turned out to be.
enum class MemberTarget {
    Address,  // a one-off member, the entry used as its address
    Contact,  // a contact of the books being exported
    Group,    // a group of the books being exported: a nested list
};

// Why a member entry stayed an address.
enum class AddressReason {
    None,            // it did not stay an address (target is Contact or Group)
    HasAt,           // it holds "@": an address, never a nickname
    NamesNothing,    // no nickname of the books matches it
    NamesItself,     // the group's own nickname: Eudora sends it as a literal address
    NoEmailAddress,  // it names a contact that has no e-mail address to put in a list
};

struct ResolvedMember {
    Address member;  // the member entry as SplitMembers gives it
    MemberTarget target = MemberTarget::Address;
    AddressReason reason = AddressReason::NamesNothing;
    std::size_t entry = 0;  // index into AddressBooks::Entries() for Contact and Group

    friend bool operator==(const ResolvedMember&, const ResolvedMember&) = default;
};

// The one copy of a skip reason's text, for BookEntry::skipReason; kept for the program's life.
const std::string* SkipReason(std::string_view reason);

struct BookEntry {
    std::uint32_t book = 0;
    int lineNumber = 0;  // the alias line; for a contact made from a note alone, its note line
    EntryKind kind = EntryKind::Contact;
    bool fromNoteOnly = false;  // a note whose nickname has no alias line
    std::string nickname;
    // Contact: the address entry of the alias line; empty for a contact without e-mail address
    // (and for a group, whose address list the second pass reads from its line).
    std::string addressText;
    // Set when the line makes no item: the text is the reason for the "Skipped line" log line.
    // The few reasons there are are kept once for all entries (SkipReason).
    const std::string* skipReason = nullptr;
    // Position among the items written (skipped entries excluded), counted across all books in
    // writing order: main book first, then the extra books in the order they were added.
    std::size_t itemNumber = 0;
    // The note of the nickname in this book (see AddressBooks::NoteOf).
    std::optional<std::uint32_t> note;
};

// A line of the alias/note layout taken apart, as AddressBooks::AddLine takes it: a pure step,
// so it may run apart from the index (on another thread).
struct ParsedBookLine {
    enum class Kind {
        Nothing,  // a blank line, or a note line naming no nickname
        Alias,    // an alias line
        Note,     // a note line
        Other,    // any other line: skipped as "not a nickname line"
    };
    Kind kind = Kind::Nothing;
    ParsedNickname alias;
    NoteLine note;
};
ParsedBookLine ParseBookLine(std::string_view line);

class AddressBooks {
  public:
    // Books are added in lookup order: the main book first, then the extra books by file name.
    // They are read one after the other: adding a book completes the one before it, and lines
    // are added to the newest book only.
    std::size_t AddBook(std::string name);
    // Room for about this many entries and bytes of note text in all (a hint; more are taken as
    // they come). Room reserved and not used is never touched.
    void Reserve(std::size_t entries, std::size_t noteBytes = 0) {
        entries_.reserve(entries);
        pendingNotes_.reserve(entries / 2);
        noteText_.reserve(noteBytes);
    }

    // One line of a book, as the text-file layer reads it (numbered from 1, in order): alias
    // lines and note lines go to AddAlias and AddNote; an alias line without nickname, and any
    // other line that is not blank (Eudora ignores it), to AddSkippedLine.
    void AddLine(std::size_t book, int lineNumber, std::string_view line);
    // The same line, parsed by ParseBookLine.
    void AddParsedLine(std::size_t book, int lineNumber, ParsedBookLine line);
    // The same for a line as BookLineReader gives it, in either layout.
    void AddLine(std::size_t book, const BookLine& line);

    // One alias line. `addressText` is empty when the line gave no address: such a line becomes a
    // contact without e-mail address when its nickname has a note, and is skipped otherwise.
    void AddAlias(std::size_t book, int lineNumber, std::string nickname, EntryKind kind,
                  std::string addressText);
    // One note line. Several note lines for one nickname are joined in line order (with a line
    // break), so the first occurrence of a field wins across them and no free text is lost.
    void AddNote(std::size_t book, int lineNumber, std::string_view nickname,
                 std::string_view text);
    // A line the export skips for another reason ("no nickname"), kept so the second pass can
    // log it in its place.
    void AddSkippedLine(std::size_t book, int lineNumber, std::string reason);

    // Completes the index after the last line of the last book. Call once.
    void Resolve();

    // All entries, in writing order (book by book, each in line order).
    const std::vector<BookEntry>& Entries() const { return entries_; }
    // One book's entries, in line order.
    std::span<const BookEntry> BookEntries(std::size_t book) const;
    // The entry a nickname stands for: the first book (in lookup order) that defines it; within a
    // book the last alias line for it, as Eudora keeps the last one read.
    std::optional<std::size_t> Find(std::string_view nickname) const;
    // The entry a book's line stands for (an alias line, a skipped line, or the note line of a
    // contact made from a note alone), or nullptr.
    const BookEntry* EntryAt(std::size_t book, int lineNumber) const;
    // The note of an entry's nickname in its own book (all its note lines), parsed; or nothing.
    std::optional<Note> NoteOf(const BookEntry& entry) const;

    // What one member entry of `group` names. A member that is not an address (no "@") and
    // equals a nickname of the books (quotes around it removed) is that contact or group; the
    // group's own nickname stays an address, as does a contact without e-mail address. Nothing
    // is expanded, so groups that name each other resolve like any other.
    ResolvedMember ResolveMember(const BookEntry& group, const Address& member) const;
    // SplitMembers of a group's address list, each member resolved.
    std::vector<ResolvedMember> ResolveMembers(const BookEntry& group,
                                               std::string_view addressText) const;

  private:
    // What ResolveMember does before and after its look-up: the name to look up (nothing for a
    // member settled without one), and the member resolved from what the look-up found.
    static std::optional<std::string_view> NameToFind(const BookEntry& group,
                                                      ResolvedMember& result);
    void Resolved(std::optional<std::size_t> found, ResolvedMember& result) const;

    struct PendingNote {
        int firstLine = 0;
        std::string nickname;  // as first written
        // Its text, all its lines joined, in noteText_.
        std::size_t begin = 0;
        std::size_t end = 0;
        bool claimed = false;     // an alias line of the book has it
        std::uint32_t index = 0;  // note number, once claimed
    };
    struct Book {
        std::string name;
        std::size_t first = 0;  // its entries are entries_[first, end)
        std::size_t end = 0;
    };

    void CheckOpen(std::size_t book) const;
    void AddParsedAlias(std::size_t book, int lineNumber, ParsedNickname parsed);
    // Turns the newest book's lines into entries: notes attached or made contacts, line order,
    // item numbers, nicknames indexed. Its pending notes are released.
    void FinishBook();

    std::vector<Book> books_;
    std::vector<BookEntry> entries_;
    // Notes of the book being read, in order of their first line, by nickname.
    std::vector<PendingNote> pendingNotes_;
    NicknameTable pendingNoteIndex_;
    // The raw note texts as their lines come, each stored once, parsed when asked for; and where
    // each note numbered by FinishBook lies in it.
    std::string noteText_;
    std::vector<std::pair<std::size_t, std::size_t>> notes_;  // [begin, end)
    std::uint32_t NumberNote(const PendingNote& note);
    NicknameTable index_;  // nickname -> entry
    // The buffers the first pass fills, mapped ahead of their use.
    PopulateAhead entriesAhead_;
    PopulateAhead pendingNotesAhead_;
    PopulateAhead noteTextAhead_;
    std::size_t nextItem_ = 0;
    bool resolved_ = false;
};

}  // namespace tarvelle::eudora
