// Note lines: the phones, postal addresses, other addresses and free text Eudora keeps for a
// nickname beside its alias line.
//
// A note line is "note NICK TEXT". TEXT holds bracketed fields "<tag:value>" in any order, mixed
// with free text; a line break inside it is stored as the byte 0x03. Values are kept here exactly
// as stored (0x03 included); ContactFields turns them into what a contact shows.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvelle::eudora {

// The field tags Eudora's address book pages register. Brackets with any other tag (or without a
// colon) are not fields: they stay in the free text.
enum class NoteField : std::size_t {
    // personal
    Name,
    First,
    Last,
    // home
    Address,
    City,
    State,
    Zip,
    Country,
    Phone,
    Fax,
    Mobile,
    Web,
    Primary,
    // work
    Title,
    Company,
    Address2,
    City2,
    State2,
    Zip2,
    Country2,
    Phone2,
    Fax2,
    Mobile2,
    Web2,
    // other
    OtherEmail,
    OtherPhone,
    OtherWeb,
};
inline constexpr std::size_t kNoteFieldCount = static_cast<std::size_t>(NoteField::OtherWeb) + 1;

// The tag as Eudora writes it ("address2").
std::string_view NoteFieldTag(NoteField field);
// The field a tag names, compared without regard to case; nothing for an unregistered tag.
std::optional<NoteField> NoteFieldFromTag(std::string_view tag);

// The parsed text of one nickname's note.
struct Note {
    // The first occurrence of each field; a later repetition is dropped.
    std::array<std::optional<std::string>, kNoteFieldCount> fields;
    // Everything that is not a registered field, in order, 0x03 line breaks kept.
    std::string freeText;

    const std::optional<std::string>& Field(NoteField field) const {
        return fields[static_cast<std::size_t>(field)];
    }
};

// Splits a note's text into fields and free text. A '<' opens a bracket that ends at the '>'
// that balances it (nested "<...>" pairs belong to the value); a '<' that is never balanced is
// ordinary text.
Note ParseNoteText(std::string_view text);

// One "note " line taken apart.
struct NoteLine {
    std::string nickname;  // quotes removed
    std::string text;      // the rest of the line, surrounding spaces removed
};

// The nickname and text of a note line (IsNoteLine). The nickname is read exactly as on alias
// lines (ParseNicknameLine), so a note finds its alias: a double-quoted string or the text up to
// the next space or tab, quotes removed, trimmed. Nothing when the line is not a note line or names
// no nickname.
std::optional<NoteLine> ParseNoteLine(std::string_view line);

// Replaces every 0x03 (Eudora's stored line break) with CR LF.
std::string DecodeLineBreaks(std::string_view text);

}  // namespace tarvelle::eudora
