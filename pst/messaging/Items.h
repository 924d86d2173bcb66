// The properties of a contact (IPM.Contact) and of a distribution list (IPM.DistList), as Outlook
// itself fills them when a user creates such an item ([MS-OXOCNTC]).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pst/messaging/EntryIds.h"
#include "pst/messaging/NameMap.h"

namespace tarvelle::pst::messaging {

// One postal address of a contact; `full` is the whole address as one text, as Outlook keeps it
// beside the parts. Empty texts are not written.
struct ContactAddress {
    std::string street;
    std::string city;
    std::string state;
    std::string postalCode;
    std::string country;
    std::string full;

    bool Empty() const {
        return street.empty() && city.empty() && state.empty() && postalCode.empty() &&
               country.empty() && full.empty();
    }
};

// Which address is the mailing address ([MS-OXOCNTC] 2.2.1.3.9 PidLidPostalAddressId).
enum class MailingAddress : std::int32_t { None = 0, Home = 1, Work = 2 };

// Email2 / Email3 of a contact; written only when `address` is not empty.
struct ContactEmail {
    std::string address;
    std::string displayName;  // empty: the address
};

struct ContactData {
    std::string firstName;
    std::string email;
    // The display part of the address when the book gave one; otherwise Outlook's
    // "Name (address)" is used.
    std::string emailDisplayName;
    std::string body;

    std::string nickname;
    ContactAddress home;
    ContactAddress work;
    MailingAddress mailing = MailingAddress::None;
    std::string homePhone;
    std::string homeFax;
    std::string mobilePhone;
    std::string personalHomePage;
    std::string businessPhone;
    std::string businessFax;
    std::string businessHomePage;
    std::string title;
    std::string company;
    std::string otherPhone;
    ContactEmail email2;
    ContactEmail email3;

    // The person's name beside `firstName` (the given name) and the full name, when known.
    std::string middleName;
    std::string surname;
    std::string fullName;  // empty: the name parts joined
};

struct ListMember {
    std::string displayName;
    std::string address;
    std::string addressType = "SMTP";
    // PST entry ID of an item of the same store (a contact or a list); empty for a one-off.
    Bytes itemEntryId;
    bool itemIsList = false;
};

struct DistListData {
    std::string name;
    std::string body;
    std::vector<ListMember> members;
};

// Everything an item needs from its store: names, entry IDs, the time and fresh random bytes.
struct ItemContext {
    const NameMap* names = nullptr;
    RecordKey store{};
    std::uint32_t nid = 0;
    std::uint64_t now = 0;  // FILETIME
    std::array<std::uint8_t, 16> searchKey{};
    std::array<std::uint8_t, 16> conversationGuid{};
};

// [MS-OXOCNTC] 2.2.2.2.1/2.2.2.2.2: each member array must stay under this many bytes.
inline constexpr std::size_t kMaxMemberArrayBytes = 15000;

// Throws ltp::LtpError when a text of the item is not valid UTF-8 (what the property builders
// below would throw), so an item can be refused before it is queued for writing.
void CheckText(const ContactData& contact);
void CheckText(const DistListData& list);

ltp::PropertyBag ContactProperties(const ContactData& contact, const ItemContext& ctx);
ltp::PropertyBag DistListProperties(const DistListData& list, const ItemContext& ctx);

// The contact's title (PidTagDisplayName, the subject): the full name, else the name parts
// joined, else the e-mail address.
std::string ContactTitle(const ContactData& contact);
// What Outlook files the contact under (PidLidFileUnder): "Surname, Given Middle", the parts
// there are, else the title.
std::string FileUnder(const ContactData& contact);
// The Email1 display name Outlook computes: the given display part, else "Title (address)".
std::string Email1DisplayName(const ContactData& contact);

// Current time as a FILETIME (100 ns ticks since 1601).
std::uint64_t FileTimeNow();

}  // namespace tarvelle::pst::messaging
