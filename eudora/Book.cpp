#include "eudora/Book.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>
#include <unordered_set>

namespace tarvelle::eudora {

namespace {

// Lower-case partner of a code point, for the letters Windows-1252 can hold.
char32_t FoldCodePoint(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;            // Latin-1 capitals
    if (c == 0x178) return 0xFF;                                         // Y with diaeresis
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;  // no simple partner
    // Latin Extended-A pairs capital/small: even/odd up to U+0137, odd/even from U+0139 to
    // U+0148, even/odd from U+014A to U+0177, odd/even from U+0179 to U+017E.
    if (c >= 0x100 && c <= 0x137) return c | 1;
    if (c >= 0x139 && c <= 0x148) return (c % 2 == 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return c | 1;
    if (c >= 0x179 && c <= 0x17E) return (c % 2 == 1) ? c + 1 : c;
    return c;
}

constexpr const char* kNotANicknameLine = "not a nickname line";

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// A member entry wholly inside double quotes names the quoted nickname.
std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace

namespace {

// Writes the folded form of `nickname` to out[0, nickname.size()).
void FoldInto(std::string_view nickname, char* out) {
    std::size_t i = 0;
    while (i < nickname.size()) {
        const auto b0 = static_cast<unsigned char>(nickname[i]);
        if (b0 < 0x80) {
            out[i] = static_cast<char>(b0 >= 'A' && b0 <= 'Z' ? b0 + 0x20 : b0);
            ++i;
            continue;
        }
        if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && i + 1 < nickname.size() &&
            IsContinuation(static_cast<unsigned char>(nickname[i + 1]))) {
            const char32_t c = FoldCodePoint((static_cast<char32_t>(b0 & 0x1F) << 6) |
                                             (static_cast<unsigned char>(nickname[i + 1]) & 0x3F));
            // Folding stays within the two-byte range: the length is kept.
            out[i] = static_cast<char>(0xC0 | (c >> 6));
            out[i + 1] = static_cast<char>(0x80 | (c & 0x3F));
            i += 2;
            continue;
        }
        // Anything else (longer sequences, stray bytes) is compared byte for byte.
        out[i] = nickname[i];
        ++i;
    }
}

}  // namespace

const std::string* SkipReason(std::string_view reason) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> reasons;
    const std::lock_guard lock(mutex);
    auto it = reasons.find(reason);
    if (it == reasons.end()) it = reasons.emplace(reason).first;
    return &*it;
}

std::string FoldNickname(std::string_view nickname) {
    std::string out(nickname.size(), '\0');
    FoldInto(nickname, out.data());
    return out;
}

bool SameNickname(std::string_view a, std::string_view b) {
    return a.size() == b.size() && FoldedNickname(a).Matches(b);
}

FoldedNickname::FoldedNickname(std::string_view nickname) : size_(nickname.size()) {
    if (nickname.size() <= sizeof small_) {
        FoldInto(nickname, small_);
    } else {
        large_.resize(nickname.size());
        FoldInto(nickname, large_.data());
    }
}

std::uint32_t FoldedNickname::Hash() const {
    // FNV-1a, folded to 32 bits: nicknames are short and this runs once per look-up.
    std::uint64_t h = 0xCBF29CE484222325ULL;
    for (char c : View()) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001B3ULL;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool FoldedNickname::Matches(std::string_view nickname) const {
    return nickname.size() == size_ && FoldedNickname(nickname).View() == View();
}

std::size_t AddressBooks::AddBook(std::string name) {
    if (resolved_) throw std::logic_error("AddressBooks: book added after Resolve");
    if (!books_.empty()) FinishBook();
    books_.push_back(Book{std::move(name), entries_.size(), entries_.size()});
    return books_.size() - 1;
}

void AddressBooks::CheckOpen(std::size_t book) const {
    if (resolved_) throw std::logic_error("AddressBooks: line added after Resolve");
    if (book >= books_.size()) throw std::out_of_range("AddressBooks: no such book");
    if (book + 1 != books_.size()) {
        throw std::logic_error("AddressBooks: line added to a book already read");
    }
}

void AddressBooks::AddAlias(std::size_t book, int lineNumber, std::string nickname, EntryKind kind,
                            std::string addressText) {
    CheckOpen(book);
    BookEntry entry;
    entry.book = static_cast<std::uint32_t>(book);
    entry.lineNumber = lineNumber;
    entry.nickname = std::move(nickname);
    entry.kind = kind;
    entry.addressText = std::move(addressText);
    entries_.push_back(std::move(entry));
    entriesAhead_.Use(entries_);
}

void AddressBooks::AddParsedAlias(std::size_t book, int lineNumber, ParsedNickname parsed) {
    if (parsed.paired) {
        if (parsed.kind == NicknameKind::Group) {
            AddAlias(book, lineNumber, std::move(parsed.name), EntryKind::Group, "");
        } else {
            AddAlias(book, lineNumber, std::move(parsed.name), EntryKind::Contact,
                     std::move(parsed.addressText));
        }
    } else if (!parsed.name.empty()) {
        // No address: a contact without e-mail address if a note gives it content.
        AddAlias(book, lineNumber, std::move(parsed.name), EntryKind::Contact, "");
    } else {
        AddSkippedLine(book, lineNumber, parsed.skipReason);
    }
}

ParsedBookLine ParseBookLine(std::string_view line) {
    ParsedBookLine parsed;
    if (IsNicknameLine(line)) {
        parsed.kind = ParsedBookLine::Kind::Alias;
        parsed.alias = ParseNicknameLine(line);
    } else if (IsNoteLine(line)) {
        if (auto note = ParseNoteLine(line)) {
            parsed.kind = ParsedBookLine::Kind::Note;
            parsed.note = std::move(*note);
        }
    } else if (!IsBlankLine(line)) {
        parsed.kind = ParsedBookLine::Kind::Other;
    }
    return parsed;
}

void AddressBooks::AddLine(std::size_t book, int lineNumber, std::string_view line) {
    AddParsedLine(book, lineNumber, ParseBookLine(line));
}

void AddressBooks::AddParsedLine(std::size_t book, int lineNumber, ParsedBookLine line) {
    switch (line.kind) {
        case ParsedBookLine::Kind::Nothing:
            break;
        case ParsedBookLine::Kind::Alias:
            AddParsedAlias(book, lineNumber, std::move(line.alias));
            break;
        case ParsedBookLine::Kind::Note:
            AddNote(book, lineNumber, line.note.nickname, line.note.text);
            break;
        case ParsedBookLine::Kind::Other:
            AddSkippedLine(book, lineNumber, kNotANicknameLine);
            break;
    }
}

void AddressBooks::AddLine(std::size_t book, const BookLine& line) {
    switch (line.kind) {
        case BookLine::Kind::Line:
            AddLine(book, line.number, line.text);
            break;
        case BookLine::Kind::Aliases:
            AddParsedAlias(book, line.number, ParseBookAlias(line));
            break;
        case BookLine::Kind::Note:
            if (const std::string nickname = NicknameFromToken(line.nickname); !nickname.empty()) {
                AddNote(book, line.number, nickname, line.text);
            }
            break;
        case BookLine::Kind::Stray:
            AddSkippedLine(book, line.number, kNotANicknameLine);
            break;
    }
}

void AddressBooks::AddNote(std::size_t book, int lineNumber, std::string_view nickname,
                           std::string_view text) {
    CheckOpen(book);
    const auto next = static_cast<std::uint32_t>(pendingNotes_.size());
    auto [index, inserted] = pendingNoteIndex_.TryEmplace(
        nickname, next,
        [&](std::uint32_t i) -> std::string_view { return pendingNotes_[i].nickname; });
    if (inserted) {
        PendingNote& note = pendingNotes_.emplace_back();
        note.firstLine = lineNumber;
        note.nickname = std::string(nickname);
        note.begin = noteText_.size();
        noteText_.append(text);
        note.end = noteText_.size();
        pendingNotesAhead_.Use(pendingNotes_);
        noteTextAhead_.Use(noteText_);
        return;
    }
    PendingNote& note = pendingNotes_[*index];
    if (note.end != noteText_.size()) {
        // Other notes came between its lines: it moves to the end (its old place stays unused).
        const std::string before = noteText_.substr(note.begin, note.end - note.begin);
        note.begin = noteText_.size();
        noteText_ += before;
    }
    noteText_ += '\x03';
    noteText_.append(text);
    note.end = noteText_.size();
    noteTextAhead_.Use(noteText_);
}

void AddressBooks::AddSkippedLine(std::size_t book, int lineNumber, std::string reason) {
    CheckOpen(book);
    BookEntry entry;
    entry.book = static_cast<std::uint32_t>(book);
    entry.lineNumber = lineNumber;
    entry.skipReason = SkipReason(reason);
    entries_.push_back(std::move(entry));
    entriesAhead_.Use(entries_);
}

void AddressBooks::FinishBook() {
    Book& book = books_.back();
    const auto bookIndex = static_cast<std::uint32_t>(books_.size() - 1);
    auto noteNickname = [&](std::uint32_t i) -> std::string_view {
        return pendingNotes_[i].nickname;
    };

    // Attach each note to the alias lines of its nickname; an alias line without address stands
    // only when a note gives the contact content.
    for (std::size_t i = book.first; i < entries_.size(); ++i) {
        BookEntry& e = entries_[i];
        if (e.skipReason) continue;
        if (const std::uint32_t* found = pendingNoteIndex_.Find(e.nickname, noteNickname)) {
            PendingNote& note = pendingNotes_[*found];
            if (!note.claimed) {
                note.claimed = true;
                note.index = NumberNote(note);
            }
            e.note = note.index;
        } else if (e.kind == EntryKind::Contact && e.addressText.empty()) {
            e.skipReason = SkipReason("no address");
        }
    }
    // A note whose nickname has no alias line is a contact of its own, at the note's line.
    // Pending notes are in order of their first line, so these entries come sorted.
    const std::size_t aliasEnd = entries_.size();
    for (PendingNote& note : pendingNotes_) {
        if (note.claimed) continue;
        BookEntry entry;
        entry.book = bookIndex;
        entry.lineNumber = note.firstLine;
        entry.nickname = std::move(note.nickname);
        entry.kind = EntryKind::Contact;
        entry.fromNoteOnly = true;
        entry.note = NumberNote(note);
        entries_.push_back(std::move(entry));
    }
    std::vector<PendingNote>().swap(pendingNotes_);
    pendingNoteIndex_.Clear();

    // Alias lines and note-only contacts are each in line order: merging puts the book in order.
    const auto byLine = [](const BookEntry& x, const BookEntry& y) {
        return x.lineNumber < y.lineNumber;
    };
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(book.first);
    const auto middle = entries_.begin() + static_cast<std::ptrdiff_t>(aliasEnd);
    std::inplace_merge(first, middle, entries_.end(), byLine);
    book.end = entries_.size();

    auto entryNickname = [&](std::uint32_t i) -> std::string_view { return entries_[i].nickname; };
    index_.Reserve(index_.size() + (book.end - book.first));
    for (std::size_t i = book.first; i < book.end; ++i) {
        BookEntry& e = entries_[i];
        if (e.skipReason) continue;
        e.itemNumber = nextItem_++;
        // An earlier book keeps a nickname; within this book the last alias line wins.
        const auto index = static_cast<std::uint32_t>(i);
        auto [stored, inserted] = index_.TryEmplace(e.nickname, index, entryNickname);
        if (!inserted && entries_[*stored].book == bookIndex) *stored = index;
    }
}

void AddressBooks::Resolve() {
    if (resolved_) throw std::logic_error("AddressBooks: Resolve called twice");
    if (!books_.empty()) FinishBook();
    resolved_ = true;
}

ResolvedMember AddressBooks::ResolveMember(const BookEntry& group, const Address& member) const {
    if (!resolved_) throw std::logic_error("AddressBooks: members resolved before Resolve");
    ResolvedMember result;
    result.member = member;
    const std::optional<std::string_view> name = NameToFind(group, result);
    if (name) Resolved(Find(*name), result);
    return result;
}

std::optional<std::string_view> AddressBooks::NameToFind(const BookEntry& group,
                                                         ResolvedMember& result) {
    const std::string_view name = Unquote(result.member.address);
    if (name.find('@') != std::string_view::npos) {
        result.reason = AddressReason::HasAt;
        return std::nullopt;
    }
    if (SameNickname(name, group.nickname)) {
        result.reason = AddressReason::NamesItself;
        return std::nullopt;
    }
    return name;
}

void AddressBooks::Resolved(std::optional<std::size_t> found, ResolvedMember& result) const {
    if (!found) {
        result.reason = AddressReason::NamesNothing;
        return;
    }
    const BookEntry& target = entries_[*found];
    if (target.kind == EntryKind::Contact && target.addressText.empty()) {
        result.reason = AddressReason::NoEmailAddress;
        return;
    }
    result.target = target.kind == EntryKind::Group ? MemberTarget::Group : MemberTarget::Contact;
    result.reason = AddressReason::None;
    result.entry = *found;
}

std::optional<std::size_t> AddressBooks::Find(std::string_view nickname) const {
    if (nickname.empty()) return std::nullopt;
    const std::uint32_t* found = index_.Find(
        nickname, [&](std::uint32_t i) -> std::string_view { return entries_[i].nickname; });
    if (found == nullptr) return std::nullopt;
    return *found;
}

std::vector<ResolvedMember> AddressBooks::ResolveMembers(const BookEntry& group,
                                                         std::string_view addressText) const {
    if (!resolved_) throw std::logic_error("AddressBooks: members resolved before Resolve");
    std::vector<Address> split = SplitMembers(addressText);
    std::vector<ResolvedMember> members(split.size());
    // The nicknames a list names are looked up a batch at a time (NicknameTable::FindBatch).
    constexpr std::size_t kBatch = NicknameTable::kBatch;
    std::string_view names[kBatch];
    std::size_t which[kBatch];
    const std::uint32_t* found[kBatch];
    auto keyOf = [&](std::uint32_t i) -> std::string_view { return entries_[i].nickname; };
    auto prefetch = [&](std::uint32_t i) {
        const BookEntry& e = entries_[i];
        __builtin_prefetch(&e);
        __builtin_prefetch(reinterpret_cast<const char*>(&e) + sizeof(BookEntry) - 1);
    };
    for (std::size_t start = 0; start < split.size(); start += kBatch) {
        std::size_t n = 0;
        for (std::size_t i = start; i < std::min(split.size(), start + kBatch); ++i) {
            members[i].member = std::move(split[i]);
            if (const auto name = NameToFind(group, members[i]); name && !name->empty()) {
                names[n] = *name;
                which[n++] = i;
            } else if (name) {
                Resolved(std::nullopt, members[i]);
            }
        }
        index_.FindBatch(std::span(names, n), std::span(found, n), keyOf, prefetch);
        for (std::size_t k = 0; k < n; ++k) {
            Resolved(found[k] ? std::optional<std::size_t>(*found[k]) : std::nullopt,
                     members[which[k]]);
        }
    }
    return members;
}

std::span<const BookEntry> AddressBooks::BookEntries(std::size_t book) const {
    const Book& b = books_.at(book);
    if (!resolved_ && book + 1 == books_.size()) return {};  // still being read
    return std::span<const BookEntry>(entries_).subspan(b.first, b.end - b.first);
}

const BookEntry* AddressBooks::EntryAt(std::size_t book, int lineNumber) const {
    const auto entries = BookEntries(book);
    const auto it =
        std::lower_bound(entries.begin(), entries.end(), lineNumber,
                         [](const BookEntry& e, int line) { return e.lineNumber < line; });
    if (it == entries.end() || it->lineNumber != lineNumber) return nullptr;
    return &*it;
}

std::uint32_t AddressBooks::NumberNote(const PendingNote& note) {
    notes_.emplace_back(note.begin, note.end);
    return static_cast<std::uint32_t>(notes_.size() - 1);
}

std::optional<Note> AddressBooks::NoteOf(const BookEntry& entry) const {
    if (!entry.note || *entry.note >= notes_.size()) return std::nullopt;
    const auto [begin, end] = notes_[*entry.note];
    return ParseNoteText(std::string_view(noteText_).substr(begin, end - begin));
}

}  // namespace tarvelle::eudora
