#include "pst/messaging/Items.h"

#include <chrono>
#include <span>

namespace tarvelle::pst::messaging {

using namespace ltp;

namespace {

// Outlook's version stamp on items it creates ([MS-OXPROPS] PidLidCurrentVersion/Name).
constexpr std::int32_t kCurrentVersion = 155399;
constexpr const char* kCurrentVersionName = "15.0";
// PidLidFileUnderId: "Surname, Given Middle", and Outlook's list of file-as choices.
constexpr std::int32_t kFileUnderSurnameGiven = 0x8017;
constexpr std::int32_t kFileUnderList[] = {0x8017, 0x8037, 0x3A16, 0x8019, 0x8018};
// PidLidEmail1DisplayName .. Email3DisplayName: the LIDs Outlook lists in (Address, 0x8027).
constexpr std::int32_t kEmailDisplayLids[] = {0x8080, 0x8090, 0x80A0};

// [MS-OXOMSG] 2.2.1.3: reserved 0x01, five bytes of the time, a GUID.
Bytes ConversationIndex(std::uint64_t now, const std::array<std::uint8_t, 16>& guid) {
    Bytes b{0x01};
    for (int shift = 48; shift >= 16; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(now >> shift));
    b.insert(b.end(), guid.begin(), guid.end());
    return b;
}

// Properties every item Outlook creates carries.
PropertyBag CommonProperties(const std::string& messageClass, const std::string& title,
                             const ItemContext& ctx, std::int32_t icon, std::int32_t sideEffects) {
    const NameMap& n = *ctx.names;
    PropertyBag p;
    p.SetBool(0x0002000B, true);  // PidTagAlternateRecipientAllowed
    p.SetInt32(0x00170003, 1);    // PidTagImportance: normal
    p.SetString(0x001A001F, messageClass);
    p.SetBool(0x0023000B, false);  // PidTagOriginatorDeliveryReportRequested
    p.SetInt32(0x00260003, 0);     // PidTagPriority
    p.SetBool(0x0029000B, false);  // PidTagReadReceiptRequested
    p.SetInt32(0x00360003, 0);     // PidTagSensitivity
    // U+0001 U+0001: "no prefix", so a title like "IT: help" is not split ([MS-PST] 2.5.3.1.1).
    p.SetString(0x0037001F, "\x01\x01" + title);
    p.SetTime(0x00390040, ctx.now);  // PidTagClientSubmitTime
    p[0x00710102] = ConversationIndex(ctx.now, ctx.conversationGuid);
    p.SetBool(0x0E01000B, false);    // PidTagDeleteAfterSubmit
    p.SetTime(0x0E060040, ctx.now);  // PidTagMessageDeliveryTime
    p.SetInt32(0x0E070003, 1);       // PidTagMessageFlags: read
    p.SetInt32(0x0E170003, 0);       // PidTagMessageStatus
    p.SetInt32(0x10800003, icon);    // PidTagIconIndex
    p.SetString(0x3001001F, title);  // PidTagDisplayName
    p.SetTime(0x30070040, ctx.now);  // PidTagCreationTime
    p.SetTime(0x30080040, ctx.now);  // PidTagLastModificationTime
    p[0x300B0102] = Bytes(ctx.searchKey.begin(), ctx.searchKey.end());
    p.SetInt32(0x3FF10003, 0);                                          // PidTagMessageLocaleId
    p.SetCopyOf(n.Tag(PropSet::Address, 0x8005, kString), 0x3001001F);  // PidLidFileUnder
    p.SetBool(n.Tag(PropSet::Address, 0x8025, kBoolean), false);        // PidLidAutoLog
    p.SetBool(n.Tag(PropSet::Common, 0x850E, kBoolean), false);         // PidLidAgingDontAgeMe
    p.SetInt32(n.Tag(PropSet::Common, 0x8552, kInt32), kCurrentVersion);
    p.SetString(n.Tag(PropSet::Common, 0x8554, kString), kCurrentVersionName);
    p.SetBool(n.Tag(PropSet::Common, 0x8506, kBoolean), false);  // PidLidPrivate
    p.SetInt32(n.Tag(PropSet::Common, 0x8510, kInt32), sideEffects);
    p.SetInt32(n.Tag(PropSet::Common, 0x8518, kInt32), 0);      // PidLidTaskMode
    p.SetTime(n.Tag(PropSet::Common, 0x85BF, kTime), ctx.now);  // PidLidValidFlagStringProof
    return p;
}

void SetMessageSize(PropertyBag& p) {
    std::size_t size = 0;
    for (const auto& [tag, value] : p) size += 8 + value.size();
    p.SetInt32(0x0E080003, static_cast<std::int32_t>(size));
}

}  // namespace

std::uint64_t FileTimeNow() {
    const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint64_t>(since1970.count()) * 10 + 116444736000000000ULL;
}

void CheckText(const ContactData& c) {
    for (const std::string* text : {&c.firstName,
                                    &c.email,
                                    &c.emailDisplayName,
                                    &c.body,
                                    &c.nickname,
                                    &c.homePhone,
                                    &c.homeFax,
                                    &c.mobilePhone,
                                    &c.personalHomePage,
                                    &c.businessPhone,
                                    &c.businessFax,
                                    &c.businessHomePage,
                                    &c.title,
                                    &c.company,
                                    &c.otherPhone,
                                    &c.email2.address,
                                    &c.email2.displayName,
                                    &c.email3.address,
                                    &c.email3.displayName,
                                    &c.middleName,
                                    &c.surname,
                                    &c.fullName}) {
        if (!text->empty()) CheckUtf8(*text);  // most of a contact's texts are
    }
    for (const ContactAddress* a : {&c.home, &c.work}) {
        for (const std::string* text :
             {&a->street, &a->city, &a->state, &a->postalCode, &a->country, &a->full}) {
            if (!text->empty()) CheckUtf8(*text);
        }
    }
}

void CheckText(const DistListData& list) {
    CheckUtf8(list.name);
    CheckUtf8(list.body);
    for (const ListMember& m : list.members) {
        CheckUtf8(m.displayName);
        CheckUtf8(m.address);
        CheckUtf8(m.addressType);
    }
}

namespace {
std::string Joined(std::initializer_list<const std::string*> parts, const char* separator) {
    std::string text;
    for (const std::string* part : parts) {
        if (part->empty()) continue;
        if (!text.empty()) text += separator;
        text += *part;
    }
    return text;
}
}  // namespace

std::string ContactTitle(const ContactData& c) {
    if (!c.fullName.empty()) return c.fullName;
    std::string name = Joined({&c.firstName, &c.middleName, &c.surname}, " ");
    return name.empty() ? c.email : name;
}

std::string FileUnder(const ContactData& c) {
    const std::string given = Joined({&c.firstName, &c.middleName}, " ");
    const std::string name = Joined({&c.surname, &given}, ", ");
    return name.empty() ? ContactTitle(c) : name;
}

std::string Email1DisplayName(const ContactData& c) {
    if (!c.emailDisplayName.empty()) return c.emailDisplayName;
    const std::string title = ContactTitle(c);
    if (title == c.email) return c.email;
    return title + " (" + c.email + ")";
}

PropertyBag ContactProperties(const ContactData& c, const ItemContext& ctx) {
    const NameMap& n = *ctx.names;
    const std::string title = ContactTitle(c);
    // Outlook 2013+ stamps contacts with side effects 81 (open to delete/copy/move, coerce).
    PropertyBag p = CommonProperties("IPM.Contact", title, ctx, 512, 81);
    // PidTagGivenName, PidTagMiddleName, PidTagSurname; the given name is mostly the title.
    if (!c.firstName.empty() && c.firstName == title) {
        p.SetCopyOf(0x3A06001F, 0x3001001F);
    } else if (!c.firstName.empty()) {
        p.SetString(0x3A06001F, c.firstName);
    }
    if (!c.middleName.empty()) p.SetString(0x3A44001F, c.middleName);
    if (!c.surname.empty()) p.SetString(0x3A11001F, c.surname);
    // PidLidFileUnder: the title, unless the name has parts beside the given name.
    if (!c.surname.empty() || !c.middleName.empty() || !c.fullName.empty()) {
        p.SetString(n.Tag(PropSet::Address, 0x8005, kString), FileUnder(c));
    }
    // PidLidReferenceEntryId: the contact's own entry ID, as Outlook stores it on contacts.
    p[n.Tag(PropSet::Common, 0x85BD, kBinary)] = PstEntryId(ctx.store, ctx.nid);
    if (!c.body.empty()) p.SetString(0x1000001F, c.body);
    p.SetInt32(n.Tag(PropSet::Address, 0x8006, kInt32), kFileUnderSurnameGiven);
    p[n.Tag(PropSet::Address, 0x8026, kMvInt32)] = MvInt32Value(kFileUnderList);
    p[n.Tag(PropSet::Address, 0x8027, kMvInt32)] = MvInt32Value(kEmailDisplayLids);
    p.SetInt32(n.Tag(PropSet::Address, 0x8023, kInt32), 0x100);  // PidLidContactCharacterSet
    // PidLidAddressBookProviderEmailList / ...ArrayType: which of Email1-3 the contact has.
    std::vector<std::int32_t> emailList;
    std::int32_t arrayType = 0;
    if (!c.email.empty()) {
        const std::string display = Email1DisplayName(c);
        p.SetString(n.Tag(PropSet::Address, 0x8080, kString), display);
        p.SetString(n.Tag(PropSet::Address, 0x8082, kString), "SMTP");
        p.SetString(n.Tag(PropSet::Address, 0x8083, kString), c.email);
        p.SetCopyOf(n.Tag(PropSet::Address, 0x8084, kString),
                    n.Tag(PropSet::Address, 0x8083, kString));
        p[n.Tag(PropSet::Address, 0x8085, kBinary)] = OneOffEntryId(display, "SMTP", c.email);
        emailList.push_back(0);
        arrayType |= 1;
    }
    // Email2 at LIDs 0x8090.., Email3 at 0x80A0.. ([MS-OXOCNTC] 2.2.1.2).
    const std::pair<const ContactEmail*, std::uint32_t> others[] = {{&c.email2, 0x8090},
                                                                    {&c.email3, 0x80A0}};
    for (std::int32_t i = 0; i < 2; ++i) {
        const ContactEmail& e = *others[i].first;
        if (e.address.empty()) continue;
        const std::uint32_t base = others[i].second;
        const std::string display = e.displayName.empty() ? e.address : e.displayName;
        p.SetString(n.Tag(PropSet::Address, base, kString), display);
        p.SetString(n.Tag(PropSet::Address, base + 2, kString), "SMTP");
        p.SetString(n.Tag(PropSet::Address, base + 3, kString), e.address);
        p.SetCopyOf(n.Tag(PropSet::Address, base + 4, kString),
                    n.Tag(PropSet::Address, base + 3, kString));
        p[n.Tag(PropSet::Address, base + 5, kBinary)] = OneOffEntryId(display, "SMTP", e.address);
        emailList.push_back(i + 1);
        arrayType |= 1 << (i + 1);
    }
    if (!emailList.empty()) {
        p[n.Tag(PropSet::Address, 0x8028, kMvInt32)] = MvInt32Value(emailList);
    }
    p.SetInt32(n.Tag(PropSet::Address, 0x8029, kInt32), arrayType);

    auto text = [&](std::uint32_t tag, const std::string& value) {
        if (!value.empty()) p.SetString(tag, value);
    };
    text(0x3A4F001F, c.nickname);
    text(0x3A09001F, c.homePhone);
    text(0x3A25001F, c.homeFax);
    text(0x3A1C001F, c.mobilePhone);
    text(0x3A50001F, c.personalHomePage);
    text(0x3A08001F, c.businessPhone);
    text(0x3A24001F, c.businessFax);
    text(0x3A51001F, c.businessHomePage);
    text(0x3A17001F, c.title);
    text(0x3A16001F, c.company);
    text(0x3A1F001F, c.otherPhone);
    // Home address: PidTagHomeAddress* tags and PidLidHomeAddress.
    text(0x3A5D001F, c.home.street);
    text(0x3A59001F, c.home.city);
    text(0x3A5C001F, c.home.state);
    text(0x3A5B001F, c.home.postalCode);
    text(0x3A5A001F, c.home.country);
    text(n.Tag(PropSet::Address, 0x801A, kString), c.home.full);
    // Work address: PidLidWorkAddress* and PidLidWorkAddress.
    text(n.Tag(PropSet::Address, 0x8045, kString), c.work.street);
    text(n.Tag(PropSet::Address, 0x8046, kString), c.work.city);
    text(n.Tag(PropSet::Address, 0x8047, kString), c.work.state);
    text(n.Tag(PropSet::Address, 0x8048, kString), c.work.postalCode);
    text(n.Tag(PropSet::Address, 0x8049, kString), c.work.country);
    text(n.Tag(PropSet::Address, 0x801B, kString), c.work.full);
    // The mailing address is repeated in the plain address tags, as Outlook keeps them in step.
    const ContactAddress* mailing = c.mailing == MailingAddress::Home   ? &c.home
                                    : c.mailing == MailingAddress::Work ? &c.work
                                                                        : nullptr;
    if (mailing != nullptr && !mailing->Empty()) {
        p.SetInt32(n.Tag(PropSet::Address, 0x8022, kInt32), static_cast<std::int32_t>(c.mailing));
        text(0x3A29001F, mailing->street);
        text(0x3A27001F, mailing->city);
        text(0x3A28001F, mailing->state);
        text(0x3A2A001F, mailing->postalCode);
        text(0x3A26001F, mailing->country);
        text(0x3A15001F, mailing->full);
    }
    SetMessageSize(p);
    return p;
}

namespace {

// Byte strings one after another (a list's member entry IDs): one buffer, not one per member.
struct PackedBytes {
    Bytes data;
    std::vector<std::uint32_t> ends;

    std::size_t Count() const { return ends.size(); }
    std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
    std::size_t Size(std::size_t i) const { return ends[i] - Begin(i); }
    std::span<const std::uint8_t> At(std::size_t i) const {
        return {data.data() + Begin(i), Size(i)};
    }
    void EndValue() {
        if (data.size() > UINT32_MAX) throw LtpError("list members too large");
        ends.push_back(static_cast<std::uint32_t>(data.size()));
    }
};

// [MS-OXOCNTC] 2.2.2.2.4: PidLidDistributionListStream for the given members.
Bytes DistListStream(const PackedBytes& members, const PackedBytes& oneOffs) {
    Bytes s;
    s.reserve(28 + 12 * members.Count() + members.data.size() + oneOffs.data.size());
    AppendU16(s, 1);  // StreamVersion
    AppendU16(s, 0);
    AppendU32(s, 0);  // BuildVersion: no business-card definition is written
    AppendU32(s, 0);  // DistListStreamFlags
    AppendU32(s, static_cast<std::uint32_t>(members.Count()));
    AppendU32(s, static_cast<std::uint32_t>(members.data.size()));
    AppendU32(s, static_cast<std::uint32_t>(oneOffs.data.size()));
    AppendU32(s, 0);  // TotalExtraSize
    for (std::size_t i = 0; i < members.Count(); ++i) {
        const auto member = members.At(i);
        const auto oneOff = oneOffs.At(i);
        AppendU32(s, static_cast<std::uint32_t>(member.size()));
        s.insert(s.end(), member.begin(), member.end());
        AppendU32(s, static_cast<std::uint32_t>(oneOff.size()));
        s.insert(s.end(), oneOff.begin(), oneOff.end());
        AppendU32(s, 0);  // ExtraMemberInfoSize
    }
    AppendU32(s, 0);
    AppendU32(s, 0);
    return s;
}

}  // namespace

PropertyBag DistListProperties(const DistListData& list, const ItemContext& ctx) {
    const NameMap& n = *ctx.names;
    PropertyBag p = CommonProperties("IPM.DistList", list.name, ctx, 514, 16);
    p.SetString(0x0070001F, list.name);  // PidTagConversationTopic
    if (!list.body.empty()) p.SetString(0x1000001F, list.body);
    p.SetString(n.Tag(PropSet::Address, 0x8053, kString), list.name);
    p.SetInt32(n.Tag(PropSet::Address, 0x8006, kInt32), -1);
    p.SetInt32(n.Tag(PropSet::Address, 0x8029, kInt32), 0);

    PackedBytes members;
    PackedBytes oneOffs;
    members.ends.reserve(list.members.size());
    oneOffs.ends.reserve(list.members.size());
    for (const auto& m : list.members) {
        const std::size_t oneOffAt = oneOffs.data.size();
        AppendOneOffEntryId(oneOffs.data, m.displayName, m.addressType, m.address);
        oneOffs.EndValue();
        // A one-off member's entry ID is its one-off entry ID.
        if (m.itemEntryId.empty()) {
            members.data.insert(members.data.end(), oneOffs.data.begin() + oneOffAt,
                                oneOffs.data.end());
        } else {
            AppendWrappedEntryId(members.data,
                                 m.itemIsList ? kWrappedDistList : kWrappedContactEmail1,
                                 m.itemEntryId);
        }
        members.EndValue();
    }
    // The arrays hold the longest prefix that stays under the limit; a longer list is stored
    // whole in the stream, which readers prefer when it is present.
    std::size_t prefix = 0;
    while (prefix < members.Count() && members.ends[prefix] < kMaxMemberArrayBytes &&
           oneOffs.ends[prefix] < kMaxMemberArrayBytes) {
        ++prefix;
    }
    const std::span<const std::uint32_t> shown(members.ends.data(), prefix);
    p[n.Tag(PropSet::Address, 0x8055, kMvBinary)] = MvBinaryValue(members.data, shown);
    p[n.Tag(PropSet::Address, 0x8054, kMvBinary)] =
        MvBinaryValue(oneOffs.data, std::span<const std::uint32_t>(oneOffs.ends.data(), prefix));
    const std::size_t shownBytes = prefix == 0 ? 0 : members.ends[prefix - 1];
    p.SetInt32(n.Tag(PropSet::Address, 0x804C, kInt32),
               static_cast<std::int32_t>(DistListChecksum(
                   std::span<const std::uint8_t>(members.data.data(), shownBytes))));
    if (prefix < members.Count()) {
        p[n.Tag(PropSet::Address, 0x8064, kBinary)] = DistListStream(members, oneOffs);
    }

    // Task defaults Outlook stores on every list it creates.
    p[n.Tag(PropSet::Task, 0x8102, kFloat64)] = DoubleValue(0.0);  // PercentComplete
    p.SetInt32(n.Tag(PropSet::Task, 0x812A, kInt32), 0);           // AcceptanceState
    p.SetInt32(n.Tag(PropSet::Task, 0x8110, kInt32), 0);           // ActualEffort
    p.SetBool(n.Tag(PropSet::Task, 0x811C, kBoolean), false);      // Complete
    p.SetInt32(n.Tag(PropSet::Task, 0x8111, kInt32), 0);           // EstimatedEffort
    p.SetBool(n.Tag(PropSet::Task, 0x812C, kBoolean), false);      // FFixOffline
    p.SetBool(n.Tag(PropSet::Task, 0x8126, kBoolean), false);      // FRecurring
    p.SetBool(n.Tag(PropSet::Task, 0x8124, kBoolean), false);      // NoCompute
    p.SetInt32(n.Tag(PropSet::Task, 0x8123, kInt32), 0x7FFFFFFF);  // Ordinal
    p.SetInt32(n.Tag(PropSet::Task, 0x8129, kInt32), 0);           // Ownership
    p.SetInt32(n.Tag(PropSet::Task, 0x8113, kInt32), 1);           // State
    p.SetInt32(n.Tag(PropSet::Task, 0x8101, kInt32), 0);           // Status
    p.SetInt32(n.Tag(PropSet::Task, 0x8112, kInt32), 1);           // Version
    p.SetBool(n.Tag(PropSet::Task, 0x8103, kBoolean), false);      // TeamTask
    SetMessageSize(p);
    return p;
}

}  // namespace tarvelle::pst::messaging
