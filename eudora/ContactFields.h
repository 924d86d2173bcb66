// What a nickname's note gives an Outlook contact, as plain values: the store writer maps each
// member to its property ([MS-OXOCNTC] 2.2.1; names in the comments are the MAPI properties).
//
// Every text is trimmed, Eudora's 0x03 line breaks are CR LF, and a member is left empty when the
// note has nothing for it, so a contact without a note gets no new property at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eudora/Book.h"
#include "eudora/Notes.h"

namespace tarvelle::eudora {

// One postal address set: home (PidTagHomeAddress*, PidLidHomeAddress) or work
// (PidLidWorkAddress*, PidLidWorkAddress).
struct PostalAddress {
    std::optional<std::string> street;  // may hold CR LF between lines
    std::optional<std::string> city;
    std::optional<std::string> state;
    std::optional<std::string> postalCode;
    std::optional<std::string> country;

    bool Empty() const { return !street && !city && !state && !postalCode && !country; }
    // The whole address as one text, as Outlook keeps it beside the parts: the street lines, then
    // "City, State PostalCode", then the country, joined by CR LF; absent parts are left out.
    std::string FullText() const;
};

// Which set is the mailing address (PidLidPostalAddressId: 0 none, 1 home, 2 work). Outlook
// repeats the mailing set in PidTagStreetAddress, PidTagLocality, PidTagStateOrProvince,
// PidTagPostalCode, PidTagCountry and PidTagPostalAddress.
enum class MailingAddress { None = 0, Home = 1, Work = 2 };

// A further e-mail address (Email2, Email3): SMTP, with its display name.
struct EmailEntry {
    std::string address;
    std::string displayName;
};

// A person's name taken apart as Outlook keeps it.
struct PersonName {
    std::string given;    // PidTagGivenName
    std::string middle;   // PidTagMiddleName
    std::string surname;  // PidTagSurname

    bool Empty() const { return given.empty() && middle.empty() && surname.empty(); }
    // "Given Middle Surname", the parts there are.
    std::string Joined() const;
};

// A whole name split into its parts: "Surname, Given Middle" at the first comma; otherwise the
// first word is the given name, the last the surname and any words between the middle name (a
// single word is the given name).
PersonName SplitPersonName(std::string_view name);

struct ContactFields {
    // Email1: the bare address of the alias line (set by MapEntryFields only; empty for a
    // contact without e-mail address).
    std::string emailAddress;
    // The display name of Email1 and of its one-off entry ID: the full name, else the display
    // part the alias line's address gave; empty when neither is known.
    std::optional<std::string> emailDisplayName;
    std::string nickname;  // PidTagNickname
    // The person's name from the note: `first` and `last` when either is given, else `name`
    // split; empty when the note names nobody.
    PersonName name;
    // The full name (PidTagDisplayName): `name` as written (joined from its parts when written
    // "Surname, Given"), else the parts joined; empty when the note names nobody.
    std::string fullName;

    PostalAddress home;
    std::optional<std::string> homePhone;         // PidTagHomeTelephoneNumber
    std::optional<std::string> homeFax;           // PidTagHomeFaxNumber
    std::optional<std::string> mobilePhone;       // PidTagMobileTelephoneNumber
    std::optional<std::string> personalHomePage;  // PidTagPersonalHomePage

    PostalAddress work;
    std::optional<std::string> businessPhone;     // PidTagBusinessTelephoneNumber
    std::optional<std::string> businessFax;       // PidTagBusinessFaxNumber
    std::optional<std::string> businessHomePage;  // PidTagBusinessHomePage
    std::optional<std::string> title;             // PidTagTitle
    std::optional<std::string> company;           // PidTagCompanyName

    MailingAddress mailing = MailingAddress::None;

    std::optional<std::string> otherPhone;  // PidTagOtherTelephoneNumber
    // Email2 and Email3, in that order; at most two.
    std::vector<EmailEntry> otherEmails;

    // The contact's notes (PidTagBody): the note's free text, then whatever has no property of
    // its own (further e-mail addresses, phones, web pages), one labelled line each.
    std::optional<std::string> body;

    // The postal address set chosen as the mailing address, or nothing.
    const PostalAddress* Mailing() const;
};

// The fields of a contact named `nickname` whose note is `note` (nullptr: no note).
// `addressDisplayName` is the display part of the alias line's address, if it had one.
ContactFields MapContactFields(std::string_view nickname, const Note* note,
                               std::string_view addressDisplayName = {});

// The fields of a contact entry of the books: its note, and Email1 taken from its alias line's
// address (ParseAddress). A group member that names this entry uses the same address and
// display name for its one-off counterpart.
ContactFields MapEntryFields(const AddressBooks& books, const BookEntry& entry);

// The notes text of a distribution list (PidTagBody): its name, then, after a line break, the
// note's free text and one labelled line per note field. Only the name without a note.
std::string DistListBody(std::string_view groupName, const std::optional<Note>& note);

}  // namespace tarvelle::eudora
