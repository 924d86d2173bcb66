#include "eudora/Book.h"

#include <algorithm>
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

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Folding never leaves the two-byte range; longer sequences are copied, not re-encoded.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// A member entry wholly inside double quotes names the quoted nickname.
std::string_view Unquote(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

}  // namespace

std::string FoldNickname(std::string_view nickname) {
    std::string out;
    out.reserve(nickname.size());
    std::size_t i = 0;
    while (i < nickname.size()) {
        const auto b0 = static_cast<unsigned char>(nickname[i]);
        if (b0 < 0x80) {
            out += static_cast<char>(FoldCodePoint(b0));
            ++i;
            continue;
        }
        if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && i + 1 < nickname.size() &&
            IsContinuation(static_cast<unsigned char>(nickname[i + 1]))) {
            const char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) |
                               (static_cast<unsigned char>(nickname[i + 1]) & 0x3F);
            AppendUtf8(out, FoldCodePoint(c));
            i += 2;
            continue;
        }
        // Anything else (longer sequences, stray bytes) is compared byte for byte.
        out += nickname[i];
        ++i;
    }
    return out;
}

bool SameNickname(std::string_view a, std::string_view b) {
    return FoldNickname(a) == FoldNickname(b);
}

std::size_t AddressBooks::AddBook(std::string name) {
    if (resolved_) throw std::logic_error("AddressBooks: book added after Resolve");
    books_.push_back(Book{std::move(name), {}, {}, {}});
    return books_.size() - 1;
}

void AddressBooks::CheckOpen(std::size_t book) const {
    if (resolved_) throw std::logic_error("AddressBooks: line added after Resolve");
    if (book >= books_.size()) throw std::out_of_range("AddressBooks: no such book");
}

void AddressBooks::AddAlias(std::size_t book, int lineNumber, std::string nickname, EntryKind kind,
                            std::string addressText) {
    CheckOpen(book);
    BookEntry entry;
    entry.book = book;
    entry.lineNumber = lineNumber;
    entry.nickname = std::move(nickname);
    entry.kind = kind;
    entry.addressText = std::move(addressText);
    books_[book].pending.push_back(std::move(entry));
}

void AddressBooks::AddLine(std::size_t book, int lineNumber, std::string_view line) {
    if (IsNicknameLine(line)) {
        ParsedNickname parsed = ParseNicknameLine(line);
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
    } else if (IsNoteLine(line)) {
        if (auto note = ParseNoteLine(line)) AddNote(book, lineNumber, note->nickname, note->text);
    }
}

void AddressBooks::AddNote(std::size_t book, int lineNumber, std::string_view nickname,
                           std::string_view text) {
    CheckOpen(book);
    auto [it, inserted] = books_[book].notes.try_emplace(FoldNickname(nickname));
    PendingNote& note = it->second;
    if (inserted) {
        note.firstLine = lineNumber;
        note.nickname = std::string(nickname);
    } else {
        note.text += '\x03';
    }
    note.text.append(text);
}

void AddressBooks::AddSkippedLine(std::size_t book, int lineNumber, std::string reason) {
    CheckOpen(book);
    BookEntry entry;
    entry.book = book;
    entry.lineNumber = lineNumber;
    entry.skipReason = std::move(reason);
    books_[book].pending.push_back(std::move(entry));
}

void AddressBooks::Resolve() {
    if (resolved_) throw std::logic_error("AddressBooks: Resolve called twice");
    resolved_ = true;

    std::size_t total = 0;
    for (Book& book : books_) {
        // Which nicknames have an alias line in this book.
        std::unordered_set<std::string> hasAlias;
        for (const BookEntry& e : book.pending) {
            if (!e.skipReason) hasAlias.insert(FoldNickname(e.nickname));
        }
        for (const auto& [folded, note] : book.notes) {
            if (hasAlias.contains(folded)) continue;
            BookEntry entry;
            entry.book = static_cast<std::size_t>(&book - books_.data());
            entry.lineNumber = note.firstLine;
            entry.nickname = note.nickname;
            entry.kind = EntryKind::Contact;
            entry.fromNoteOnly = true;
            book.pending.push_back(std::move(entry));
        }
        // An alias line without address stands only when a note gives the contact content.
        for (BookEntry& e : book.pending) {
            if (!e.skipReason && !e.fromNoteOnly && e.kind == EntryKind::Contact &&
                e.addressText.empty() && !book.notes.contains(FoldNickname(e.nickname))) {
                e.skipReason = "no address";
            }
        }
        std::stable_sort(
            book.pending.begin(), book.pending.end(),
            [](const BookEntry& x, const BookEntry& y) { return x.lineNumber < y.lineNumber; });
        total += book.pending.size();
    }

    entries_.reserve(total);
    std::size_t itemNumber = 0;
    for (Book& book : books_) {
        std::unordered_map<std::string, std::size_t> local;  // the last alias line of a book wins
        book.entries.reserve(book.pending.size());
        for (BookEntry& e : book.pending) {
            const std::size_t index = entries_.size();
            book.entries.push_back(index);
            if (!e.skipReason) {
                e.itemNumber = itemNumber++;
                local[FoldNickname(e.nickname)] = index;
            }
            entries_.push_back(std::move(e));
        }
        std::vector<BookEntry>().swap(book.pending);
        for (auto& [folded, index] : local) index_.try_emplace(folded, index);
    }
}

ResolvedMember AddressBooks::ResolveMember(const BookEntry& group, const Address& member) const {
    if (!resolved_) throw std::logic_error("AddressBooks: members resolved before Resolve");
    ResolvedMember result;
    result.member = member;
    const std::string_view name = Unquote(member.address);
    if (name.find('@') != std::string_view::npos) {
        result.reason = AddressReason::HasAt;
        return result;
    }
    if (SameNickname(name, group.nickname)) {
        result.reason = AddressReason::NamesItself;
        return result;
    }
    const auto found = Find(name);
    if (!found) {
        result.reason = AddressReason::NamesNothing;
        return result;
    }
    const BookEntry& target = entries_[*found];
    if (target.kind == EntryKind::Contact && target.addressText.empty()) {
        result.reason = AddressReason::NoEmailAddress;
        return result;
    }
    result.target = target.kind == EntryKind::Group ? MemberTarget::Group : MemberTarget::Contact;
    result.reason = AddressReason::None;
    result.entry = *found;
    return result;
}

std::optional<std::size_t> AddressBooks::Find(std::string_view nickname) const {
    if (nickname.empty()) return std::nullopt;
    const auto it = index_.find(FoldNickname(nickname));
    if (it == index_.end()) return std::nullopt;
    return it->second;
}

std::vector<ResolvedMember> AddressBooks::ResolveMembers(const BookEntry& group,
                                                         std::string_view addressText) const {
    std::vector<ResolvedMember> members;
    for (const Address& member : SplitMembers(addressText)) {
        members.push_back(ResolveMember(group, member));
    }
    return members;
}

const BookEntry* AddressBooks::EntryAt(std::size_t book, int lineNumber) const {
    const auto& indexes = books_.at(book).entries;
    const auto it = std::lower_bound(
        indexes.begin(), indexes.end(), lineNumber,
        [this](std::size_t index, int line) { return entries_[index].lineNumber < line; });
    if (it == indexes.end() || entries_[*it].lineNumber != lineNumber) return nullptr;
    return &entries_[*it];
}

std::optional<Note> AddressBooks::NoteOf(const BookEntry& entry) const {
    if (entry.skipReason || entry.book >= books_.size()) return std::nullopt;
    const auto& notes = books_[entry.book].notes;
    const auto it = notes.find(FoldNickname(entry.nickname));
    if (it == notes.end()) return std::nullopt;
    return ParseNoteText(it->second.text);
}

}  // namespace tarvelle::eudora
