#include "eudora/Nicknames.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace tarvelle::eudora {

namespace {

constexpr std::string_view kAliasKeyword = "alias";
constexpr std::string_view kNoteKeyword = "note";
// U+0192 in UTF-8: what Eudora's mailbox-copy marker byte 0x83 decodes to from Windows-1252.
constexpr std::string_view kMailboxCopyMark = "\xC6\x92";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The keyword at the start of the line in any case, followed by a space or a tab.
bool StartsWithKeyword(std::string_view line, std::string_view keyword) {
    if (line.size() <= keyword.size() || !IsBlank(line[keyword.size()])) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != keyword[i]) return false;
    }
    return true;
}

// Whether `text` holds any of `chars`. The standard find_first_of looks each character of the
// text up in the set with a call of its own, which made it most of the member parsing's time.
bool HoldsAnyOf(std::string_view text, std::string_view chars) {
    return std::any_of(text.begin(), text.end(), [&](char c) {
        return std::any_of(chars.begin(), chars.end(), [c](char x) { return x == c; });
    });
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    return text;
}

std::string_view TrimView(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string WithoutQuotes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '"') out.push_back(c);
    }
    return out;
}

// Calls f(piece) for the pieces of an address list cut at commas that sit outside double quotes,
// parentheses and angle brackets, in order, until f returns false. Quotes inside a parenthesised
// comment do not count, as Eudora reads them.
template <typename F>
void ForEachPiece(std::string_view text, F&& f) {
    bool inQuote = false;
    std::size_t parens = 0;
    std::size_t angles = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuote) {
            if (c == '"') inQuote = false;
            continue;
        }
        switch (c) {
            case '"':
                if (parens == 0) inQuote = true;
                break;
            case '(':
                ++parens;
                break;
            case ')':
                if (parens > 0) --parens;
                break;
            case '<':
                if (parens == 0) ++angles;
                break;
            case '>':
                if (angles > 0) --angles;
                break;
            case ',':
                if (parens == 0 && angles == 0) {
                    if (!f(text.substr(start, i - start))) return;
                    start = i + 1;
                }
                break;
            default:
                break;
        }
    }
    f(text.substr(start));
}

// Calls f(entry, address) for the trimmed entries that hold an address, in order, with their
// parsed addresses, until f returns false.
template <typename F>
void ForEachUsableEntry(std::string_view addressText, F&& f) {
    ForEachPiece(addressText, [&](std::string_view piece) {
        const std::string_view entry = TrimView(piece);
        if (entry.empty() || IsMailboxCopyItem(entry)) return true;
        Address parsed = ParseAddress(entry);
        if (parsed.address.empty()) return true;
        return f(entry, std::move(parsed));
    });
}

// "Carol White" -> Carol White; text without surrounding quotes is returned as it is.
std::string Unquote(std::string_view text) {
    text = TrimView(text);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(TrimView(text));
}

// Position of the '<' that opens the angle address closing the entry, outside quotes.
std::string_view::size_type OpeningAngle(std::string_view entry) {
    auto found = std::string_view::npos;
    bool inQuote = false;
    for (std::size_t i = 0; i + 1 < entry.size(); ++i) {
        if (entry[i] == '"') {
            inQuote = !inQuote;
        } else if (entry[i] == '<' && !inQuote) {
            found = i;
        }
    }
    return found;
}

// Position of the '(' matching the ')' that closes the entry, outside quotes.
std::string_view::size_type OpeningParen(std::string_view entry) {
    auto found = std::string_view::npos;
    bool inQuote = false;
    std::size_t depth = 0;
    for (std::size_t i = 0; i + 1 < entry.size(); ++i) {
        const char c = entry[i];
        if (inQuote) {
            if (c == '"') inQuote = false;
        } else if (c == '"' && depth == 0) {
            inQuote = true;
        } else if (c == '(') {
            if (depth == 0) found = i;
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        }
    }
    // Only a comment that is still open when the final ')' arrives is closed by it.
    return depth == 1 ? found : std::string_view::npos;
}

// `Carol White carol@x` or `"Carol White" carol@x`: the display words and the address, when
// the entry is words followed by one address holding "@". A quoted part must be the whole of
// the words; words holding "@" or brackets are something else (two addresses, a comment).
std::optional<Address> WordsThenAddress(std::string_view entry) {
    const auto blank = std::find_if(entry.rbegin(), entry.rend(), IsBlank);
    if (blank == entry.rend()) return std::nullopt;
    const auto cut = static_cast<std::size_t>(entry.rend() - blank) - 1;
    const std::string_view address = entry.substr(cut + 1);
    std::string_view words = entry.substr(0, cut);
    while (!words.empty() && IsBlank(words.back())) words.remove_suffix(1);
    if (words.empty() || address.find('@') == std::string_view::npos ||
        HoldsAnyOf(address, "\"<>(),") || HoldsAnyOf(words, "@<>()")) {
        return std::nullopt;
    }
    const auto quotes = std::count(words.begin(), words.end(), '"');
    if (quotes != 0) {
        if (quotes != 2 || words.front() != '"' || words.back() != '"') return std::nullopt;
        words = words.substr(1, words.size() - 2);
    }
    words = SkipBlanks(words);
    while (!words.empty() && IsBlank(words.back())) words.remove_suffix(1);
    if (words.empty()) return std::nullopt;
    return Address{std::string(address), std::string(words)};
}

}  // namespace

bool IsNicknameLine(std::string_view line) { return StartsWithKeyword(line, kAliasKeyword); }

bool IsNoteLine(std::string_view line) { return StartsWithKeyword(line, kNoteKeyword); }

bool IsBlankLine(std::string_view line) { return std::all_of(line.begin(), line.end(), IsBlank); }

bool IsAddressBookLine(std::string_view line) {
    return IsNicknameLine(line) || IsNoteLine(line) || IsBlankLine(line);
}

std::string TrimSpaces(std::string_view text) { return std::string(TrimView(text)); }

bool IsMailboxCopyItem(std::string_view entry) {
    entry = TrimView(entry);
    return entry.starts_with(kMailboxCopyMark) || entry.starts_with('\x83');
}

bool HoldsControlCharacter(std::string_view line) {
    const unsigned char allowed = IsNoteLine(line) ? 0x03 : '\t';
    auto isControl = [&](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t' && b != allowed) || b == 0x7F;
    };
    // Every line of a book passes through here, twice: eight bytes are looked at at a time, and
    // only a word holding a byte below 0x20 or a DEL (a tab, say) byte by byte.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; i + 8 <= line.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, line.data() + i, 8);
        const std::uint64_t below = (word - kOnes * 0x20) & ~word & kHigh;
        const std::uint64_t del = word ^ (kOnes * 0x7F);
        if ((below | ((del - kOnes) & ~del & kHigh)) == 0) continue;
        for (std::size_t k = i; k < i + 8; ++k) {
            if (isControl(line[k])) return true;
        }
    }
    for (; i < line.size(); ++i) {
        if (isControl(line[i])) return true;
    }
    return false;
}

Address ParseAddress(std::string_view entry) {
    entry = TrimView(entry);
    // Trailing "(comment)"s are peeled from the right; the leftmost one names the address when
    // the address carries no display part of its own. Each peel rescans the entry, so the number
    // of peels is capped: a real address has one comment, and a line of thousands must stay cheap.
    constexpr int kMaxComments = 16;
    std::string_view comment;
    bool haveComment = false;
    for (int peeled = 0; peeled < kMaxComments && entry.ends_with(')'); ++peeled) {
        const auto open = OpeningParen(entry);
        if (open == std::string_view::npos || open == 0) break;
        comment = entry.substr(open + 1, entry.size() - open - 2);
        haveComment = true;
        entry = TrimView(entry.substr(0, open));
    }
    Address result{std::string(entry), {}};
    if (entry.ends_with('>')) {
        const auto open = OpeningAngle(entry);
        if (open != std::string_view::npos) {
            result = {std::string(TrimView(entry.substr(open + 1, entry.size() - open - 2))),
                      Unquote(entry.substr(0, open))};
        }
    } else if (!haveComment) {
        if (auto words = WordsThenAddress(entry)) result = std::move(*words);
    }
    if (haveComment && result.displayName.empty()) result.displayName = Unquote(comment);
    return result;
}

std::vector<Address> SplitMembers(std::string_view addressText) {
    std::vector<Address> members;
    ForEachUsableEntry(addressText, [&](std::string_view, Address&& address) {
        members.push_back(std::move(address));
        return true;
    });
    return members;
}

NicknameToken SplitNicknameToken(std::string_view text) {
    const auto closingQuote = text.starts_with('"') ? text.find('"', 1) : std::string_view::npos;
    if (closingQuote != std::string_view::npos) {
        return {text.substr(1, closingQuote - 1), text.substr(closingQuote + 1)};
    }
    // Unquoted, or a quote that never closes: the name runs to the next space or tab.
    const auto blank =
        static_cast<std::size_t>(std::find_if(text.begin(), text.end(), IsBlank) - text.begin());
    return {text.substr(0, blank), text.substr(blank)};
}

ParsedNickname ParseNicknameLine(std::string_view line) {
    if (!IsNicknameLine(line)) {
        ParsedNickname parsed;
        parsed.skipReason = "no nickname";
        return parsed;
    }
    const std::string_view rest = SkipBlanks(line.substr(kAliasKeyword.size()));
    const auto [nameToken, afterName] = SplitNicknameToken(rest);
    return ParseNickname(nameToken, afterName);
}

std::string NicknameFromToken(std::string_view token) { return TrimSpaces(WithoutQuotes(token)); }

ParsedNickname ParseNickname(std::string_view name, std::string_view addressTextIn) {
    ParsedNickname parsed;
    parsed.name = NicknameFromToken(name);
    const std::string_view addressText = TrimView(SkipBlanks(addressTextIn));
    // Two usable entries make a group: the rest are parsed when its members are.
    std::size_t usable = 0;
    std::string_view first;
    ForEachUsableEntry(addressText, [&](std::string_view entry, Address&&) {
        if (usable++ == 0) first = entry;
        return usable < 2;
    });

    const bool nameHoldsComma = parsed.name.find(',') != std::string::npos;
    if (usable >= 2 || nameHoldsComma) {
        parsed.kind = NicknameKind::Group;
        parsed.addressText = std::string(addressText);
    } else {
        parsed.kind = NicknameKind::Contact;
        parsed.addressText = usable == 0 ? std::string(addressText) : std::string(first);
    }

    if (parsed.name.empty()) {
        parsed.skipReason = "no nickname";
    } else if (usable == 0) {
        parsed.skipReason = "no address";
    } else {
        parsed.paired = true;
    }
    return parsed;
}

}  // namespace tarvelle::eudora
