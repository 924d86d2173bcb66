#include "eudora/ContactFields.h"

#include <array>

#include "eudora/Nicknames.h"

namespace tarvelle::eudora {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

// Labels for note fields shown as text (a list's notes, the leftovers in a contact's notes).
constexpr std::array<std::string_view, kNoteFieldCount> kLabels = {
    "Name",         "First name",   "Last name",
    "Address",      "City",         "State",
    "ZIP",          "Country",      "Phone",
    "Fax",          "Mobile",       "Web page",
    "Primary",      "Title",        "Company",
    "Work address", "Work city",    "Work state",
    "Work ZIP",     "Work country", "Work phone",
    "Work fax",     "Work mobile",  "Work web page",
    "Other e-mail", "Other phone",  "Other web page",
};

std::string_view Label(NoteField field) { return kLabels[static_cast<std::size_t>(field)]; }

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TrimBlank(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// A field's value as a contact shows it: line breaks decoded, blank edges removed. A line break
// (0x03) at an edge decodes to blanks that go with them, so the edges go first.
std::optional<std::string> Value(const Note* note, NoteField field) {
    if (note == nullptr || !note->Field(field)) return std::nullopt;
    std::string_view value = *note->Field(field);
    auto edge = [](char c) { return IsBlank(c) || c == '\x03'; };
    while (!value.empty() && edge(value.front())) value.remove_prefix(1);
    while (!value.empty() && edge(value.back())) value.remove_suffix(1);
    if (value.empty()) return std::nullopt;
    return DecodeLineBreaks(value);
}

// The lines of a multi-line field (0x03-separated), each trimmed, empty ones left out.
std::vector<std::string> Lines(const Note* note, NoteField field) {
    std::vector<std::string> lines;
    if (note == nullptr || !note->Field(field)) return lines;
    std::string_view rest = *note->Field(field);
    while (true) {
        const std::size_t cut = rest.find('\x03');
        std::string line = TrimBlank(rest.substr(0, cut));
        if (!line.empty()) lines.push_back(std::move(line));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return lines;
}

PostalAddress Postal(const Note* note, NoteField street, NoteField city, NoteField state,
                     NoteField zip, NoteField country) {
    return PostalAddress{Value(note, street), Value(note, city), Value(note, state),
                         Value(note, zip), Value(note, country)};
}

void AppendLine(std::string& text, std::string_view line) {
    if (!text.empty()) text += kLineBreak;
    text += line;
}

std::string FreeText(const Note* note) {
    return note == nullptr ? std::string() : TrimBlank(DecodeLineBreaks(note->freeText));
}

// Free text first, then the labelled lines after an empty line.
std::optional<std::string> JoinNotes(std::string freeText, const std::string& extraLines) {
    if (!extraLines.empty()) {
        if (!freeText.empty()) freeText.append(kLineBreak).append(kLineBreak);
        freeText += extraLines;
    }
    if (freeText.empty()) return std::nullopt;
    return freeText;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

std::string PersonName::Joined() const {
    std::string text;
    for (const std::string* part : {&given, &middle, &surname}) {
        if (part->empty()) continue;
        if (!text.empty()) text += ' ';
        text += *part;
    }
    return text;
}

PersonName SplitPersonName(std::string_view name) {
    PersonName parts;
    std::vector<std::string> words;
    const std::size_t comma = name.find(',');
    if (comma != std::string_view::npos) {
        parts.surname = TrimBlank(name.substr(0, comma));
        name.remove_prefix(comma + 1);
    }
    for (std::size_t at = 0; at < name.size();) {
        while (at < name.size() && IsBlank(name[at])) ++at;
        std::size_t end = at;
        while (end < name.size() && !IsBlank(name[end])) ++end;
        if (end > at) words.emplace_back(name.substr(at, end - at));
        at = end;
    }
    if (comma == std::string_view::npos && words.size() > 1) {
        parts.surname = std::move(words.back());
        words.pop_back();
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string& part = i == 0 ? parts.given : parts.middle;
        if (!part.empty()) part += ' ';
        part += words[i];
    }
    return parts;
}

std::string PostalAddress::FullText() const {
    std::string text;
    if (street) AppendLine(text, *street);
    std::string cityLine = city.value_or("");
    std::string stateZip = state.value_or("");
    if (postalCode) {
        if (!stateZip.empty()) stateZip += ' ';
        stateZip += *postalCode;
    }
    if (!cityLine.empty() && !stateZip.empty()) cityLine += ", ";
    cityLine += stateZip;
    if (!cityLine.empty()) AppendLine(text, cityLine);
    if (country) AppendLine(text, *country);
    return text;
}

const PostalAddress* ContactFields::Mailing() const {
    switch (mailing) {
        case MailingAddress::Home:
            return &home;
        case MailingAddress::Work:
            return &work;
        case MailingAddress::None:
            break;
    }
    return nullptr;
}

ContactFields MapContactFields(std::string_view nickname, const Note* note,
                               std::string_view addressDisplayName) {
    ContactFields c;
    c.nickname = std::string(nickname);

    const auto name = Value(note, NoteField::Name);
    const auto first = Value(note, NoteField::First);
    const auto last = Value(note, NoteField::Last);
    if (first || last) {
        c.name.given = first.value_or("");
        c.name.surname = last.value_or("");
    } else if (name) {
        c.name = SplitPersonName(*name);
    }
    if (name && name->find(',') == std::string::npos) {
        c.fullName = *name;
    } else {
        c.fullName = name ? SplitPersonName(*name).Joined() : c.name.Joined();
    }
    if (!c.fullName.empty()) {
        c.emailDisplayName = c.fullName;
    } else if (auto fallback = TrimBlank(addressDisplayName); !fallback.empty()) {
        c.emailDisplayName = std::move(fallback);
    }

    c.home = Postal(note, NoteField::Address, NoteField::City, NoteField::State, NoteField::Zip,
                    NoteField::Country);
    c.homePhone = Value(note, NoteField::Phone);
    c.homeFax = Value(note, NoteField::Fax);
    c.personalHomePage = Value(note, NoteField::Web);

    c.work = Postal(note, NoteField::Address2, NoteField::City2, NoteField::State2, NoteField::Zip2,
                    NoteField::Country2);
    c.businessPhone = Value(note, NoteField::Phone2);
    c.businessFax = Value(note, NoteField::Fax2);
    c.businessHomePage = Value(note, NoteField::Web2);
    c.title = Value(note, NoteField::Title);
    c.company = Value(note, NoteField::Company);

    std::string extra;  // labelled lines for what has no property of its own

    // Outlook keeps one mobile number: the home one, else the work one.
    const auto mobile = Value(note, NoteField::Mobile);
    const auto mobile2 = Value(note, NoteField::Mobile2);
    c.mobilePhone = mobile ? mobile : mobile2;
    if (mobile && mobile2) {
        AppendLine(extra, std::string(Label(NoteField::Mobile2)) + ": " + *mobile2);
    }

    // `primary` names the mailing set; without it (or when that set has no postal address) the
    // set that has one is used, home first.
    const auto primary = Value(note, NoteField::Primary);
    if (primary && EqualsIgnoringAsciiCase(*primary, "work") && !c.work.Empty()) {
        c.mailing = MailingAddress::Work;
    } else if (primary && EqualsIgnoringAsciiCase(*primary, "home") && !c.home.Empty()) {
        c.mailing = MailingAddress::Home;
    } else if (!c.home.Empty()) {
        c.mailing = MailingAddress::Home;
    } else if (!c.work.Empty()) {
        c.mailing = MailingAddress::Work;
    }

    std::vector<Address> emails;
    for (const std::string& line : Lines(note, NoteField::OtherEmail)) {
        for (Address& a : SplitMembers(line)) emails.push_back(std::move(a));
    }
    for (std::size_t i = 0; i < emails.size(); ++i) {
        if (i < 2) {
            std::string display = !emails[i].displayName.empty() ? emails[i].displayName
                                  : c.emailDisplayName           ? *c.emailDisplayName
                                                                 : emails[i].address;
            c.otherEmails.push_back(EmailEntry{emails[i].address, std::move(display)});
        } else {
            const std::string shown = emails[i].displayName.empty()
                                          ? emails[i].address
                                          : emails[i].displayName + " <" + emails[i].address + ">";
            AppendLine(extra, std::string(Label(NoteField::OtherEmail)) + ": " + shown);
        }
    }

    const auto phones = Lines(note, NoteField::OtherPhone);
    for (std::size_t i = 0; i < phones.size(); ++i) {
        if (i == 0) {
            c.otherPhone = phones[0];
        } else {
            AppendLine(extra, std::string(Label(NoteField::OtherPhone)) + ": " + phones[i]);
        }
    }
    for (const std::string& web : Lines(note, NoteField::OtherWeb)) {
        AppendLine(extra, std::string(Label(NoteField::OtherWeb)) + ": " + web);
    }

    c.body = JoinNotes(FreeText(note), extra);
    return c;
}

ContactFields MapEntryFields(const AddressBooks& books, const BookEntry& entry) {
    const Address email = ParseAddress(entry.addressText);
    const std::optional<Note> note = books.NoteOf(entry);
    ContactFields c = MapContactFields(entry.nickname, note ? &*note : nullptr, email.displayName);
    c.emailAddress = email.address;
    return c;
}

std::string DistListBody(std::string_view groupName, const std::optional<Note>& note) {
    std::string fields;
    if (note) {
        for (std::size_t i = 0; i < kNoteFieldCount; ++i) {
            const auto field = static_cast<NoteField>(i);
            if (auto value = Value(&*note, field)) {
                AppendLine(fields, std::string(Label(field)) + ": " + *value);
            }
        }
    }
    std::string body(groupName);
    if (auto text = JoinNotes(FreeText(note ? &*note : nullptr), fields)) {
        body.append(kLineBreak).append(*text);
    }
    return body;
}

}  // namespace tarvelle::eudora
