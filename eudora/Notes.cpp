#include "eudora/Notes.h"

#include <algorithm>
#include <vector>

#include "eudora/Nicknames.h"

namespace tarvelle::eudora {

namespace {

constexpr std::array<std::string_view, kNoteFieldCount> kTags = {
    "name",    "first",    "last",  "address",    "city",       "state",    "zip",
    "country", "phone",    "fax",   "mobile",     "web",        "primary",  "title",
    "company", "address2", "city2", "state2",     "zip2",       "country2", "phone2",
    "fax2",    "mobile2",  "web2",  "otheremail", "otherphone", "otherweb",
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

// For every '<', the position just past the '>' that balances it, or npos when none does. One
// pass with a stack, so a line full of unbalanced brackets costs no more than any other line.
std::vector<std::size_t> BracketEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    std::vector<std::size_t> open;  // indexes into ends of brackets not yet closed
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<') {
            open.push_back(ends.size());
            ends.push_back(std::string_view::npos);
        } else if (text[i] == '>' && !open.empty()) {
            ends[open.back()] = i + 1;
            open.pop_back();
        }
    }
    return ends;
}

std::string_view SkipBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view TrimSpacesView(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::string_view NoteFieldTag(NoteField field) { return kTags[static_cast<std::size_t>(field)]; }

std::optional<NoteField> NoteFieldFromTag(std::string_view tag) {
    for (std::size_t i = 0; i < kTags.size(); ++i) {
        if (EqualsIgnoringAsciiCase(tag, kTags[i])) return static_cast<NoteField>(i);
    }
    return std::nullopt;
}

Note ParseNoteText(std::string_view text) {
    Note note;
    const std::vector<std::size_t> ends = BracketEnds(text);
    std::size_t bracket = 0;  // the number of '<' before pos
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('<', pos);
        if (open == std::string_view::npos) {
            note.freeText.append(text.substr(pos));
            break;
        }
        const std::size_t end = ends[bracket++];
        if (end == std::string_view::npos) {
            // An unbalanced '<' is text; a field may still follow it.
            note.freeText.append(text.substr(pos, open + 1 - pos));
            pos = open + 1;
            continue;
        }
        const std::string_view inner = text.substr(open + 1, end - open - 2);
        const std::size_t colon = inner.find(':');
        const auto field = colon == std::string_view::npos
                               ? std::nullopt
                               : NoteFieldFromTag(inner.substr(0, colon));
        if (!field) {
            note.freeText.append(text.substr(pos, end - pos));
        } else {
            note.freeText.append(text.substr(pos, open - pos));
            auto& slot = note.fields[static_cast<std::size_t>(*field)];
            if (!slot) slot = std::string(inner.substr(colon + 1));
        }
        // Skip the brackets nested inside this one.
        bracket += static_cast<std::size_t>(std::count(inner.begin(), inner.end(), '<'));
        pos = end;
    }
    return note;
}

std::optional<NoteLine> ParseNoteLine(std::string_view line) {
    if (!IsNoteLine(line)) return std::nullopt;
    // The keyword, then the spaces and tabs after it.
    const std::string_view rest = TrimSpacesView(SkipBlanks(line.substr(4)));

    const auto [nameToken, afterName] = SplitNicknameToken(rest);
    std::string nickname = NicknameFromToken(nameToken);
    if (nickname.empty()) return std::nullopt;
    return NoteLine{std::move(nickname), TrimSpaces(SkipBlanks(afterName))};
}

std::string DecodeLineBreaks(std::string_view text) {
    std::size_t cut = text.find('\x03');
    if (cut == std::string_view::npos) return std::string(text);  // most texts have none
    std::string out;
    out.reserve(text.size() + 8);
    while (cut != std::string_view::npos) {
        out.append(text.substr(0, cut)).append("\r\n");
        text.remove_prefix(cut + 1);
        cut = text.find('\x03');
    }
    out.append(text);
    return out;
}

}  // namespace tarvelle::eudora
