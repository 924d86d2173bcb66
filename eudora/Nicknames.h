// Eudora's nicknames file (NNdbase.txt): which lines are nicknames and what one nickname line
// holds. Text in and out is UTF-8; the text-file layer has already decoded the ANSI bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::eudora {

// The keyword "alias" in any case at the start of the line, then a space or a tab: the lines
// Eudora reads as nicknames. Every other line (an indented one too) Eudora ignores.
bool IsNicknameLine(std::string_view line);
// The same for the keyword "note".
bool IsNoteLine(std::string_view line);
// Empty, or only spaces and tabs. Eudora's own importer writes blank lines between entries.
bool IsBlankLine(std::string_view line);
// A nickname line, a note line or a blank line: a line of a book that nobody edited by hand.
bool IsAddressBookLine(std::string_view line);

enum class NicknameKind { Contact, Group };

// One e-mail address: the bare address and the display part an RFC 822 form gave it (else empty).
struct Address {
    std::string address;
    std::string displayName;

    friend bool operator==(const Address&, const Address&) = default;
};

struct ParsedNickname {
    NicknameKind kind = NicknameKind::Contact;
    std::string name;  // the nickname, double quotes removed
    // Group: the rest of the line after the nickname, trimmed (split it with SplitMembers).
    // Contact: its one usable address entry, trimmed (give it to ParseAddress).
    std::string addressText;
    bool paired = false;     // a name and at least one usable address could be taken
    std::string skipReason;  // "no nickname" or "no address" when not paired, else empty
};

// The nickname at the start of `text` (what follows the keyword and its blanks): a double-quoted
// string (its quotes not included) or the text up to the first space or tab; `following` is the
// rest of the text. Alias and note lines name their nickname this way.
struct NicknameToken {
    std::string_view name;
    std::string_view following;
};
NicknameToken SplitNicknameToken(std::string_view text);

// A nickname as alias and note lines give it: double quotes removed, spaces around it trimmed.
std::string NicknameFromToken(std::string_view token);

// Only for nickname lines. The nickname is the first token after the keyword and the spaces and
// tabs after it (SplitNicknameToken; quotes removed); after further spaces and tabs the rest of
// the line is the address text. See ParseNickname.
ParsedNickname ParseNicknameLine(std::string_view line);

// A nickname from its name (quotes removed, spaces around it trimmed) and its address text
// (leading spaces and tabs and trailing spaces removed). It is a group when the text holds two or
// more usable entries (see SplitMembers) or when the nickname holds a comma; otherwise a contact.
ParsedNickname ParseNickname(std::string_view name, std::string_view addressText);

// The usable member entries of an address list, in order: cut at commas outside double quotes,
// parentheses and angle brackets, each entry trimmed and given to ParseAddress. Empty entries,
// entries without an address and mailbox-copy items (U+0192, byte 0x83 in Windows-1252, then a
// mailbox path) are left out.
std::vector<Address> SplitMembers(std::string_view addressText);

// One entry in any RFC 822 form: `"Carol White" <c@x>`, `Carol White <c@x>`, `<c@x>`,
// `c@x (Carol White)`; or words, quoted or not, then one address with "@" as people type it:
// `Carol White c@x`, `"Carol White" c@x`. Anything else is a bare address (or a nickname
// reference, `Mary Jones`) and comes back unchanged with an empty display name. The entry is
// trimmed first.
Address ParseAddress(std::string_view entry);

// Leading and trailing space characters removed; tabs and other white space stay.
std::string TrimSpaces(std::string_view text);

// True for a mailbox-copy item: after leading spaces, U+0192 (or the raw byte 0x83).
bool IsMailboxCopyItem(std::string_view entry);

// True when `line` holds a control character no book line carries: a byte below 0x20 other than
// tab, or DEL. A note line may also hold 0x03, Eudora's stored line break.
bool HoldsControlCharacter(std::string_view line);

}  // namespace tarvelle::eudora
