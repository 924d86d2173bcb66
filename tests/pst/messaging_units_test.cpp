// Entry IDs, the list checksum, name-map hashing and the item property sets, against values
// worked out by hand or taken from Outlook's files.
#include <gtest/gtest.h>

#include "pst/messaging/EntryIds.h"
#include "pst/messaging/Items.h"
#include "pst/messaging/MessageStore.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::messaging {
namespace {

using ltp::GetU32;

TEST(EntryIds, WrappedMembersAndChecksumOfTheOutlook2007List) {
    // The list in java-libpst_dist-list.pst: the contact 0x200064 of the store with record key
    // a41d63db..., then two one-off members; Outlook stored checksum 0xFAA61F37.
    const Bytes key = FromHex("A41D63DBC53B8E4AB8071E15E55750CE");
    RecordKey rk{};
    std::copy(key.begin(), key.end(), rk.begin());
    const Bytes contact = PstEntryId(rk, 0x200064);
    EXPECT_EQ(ToHex(contact), "00000000A41D63DBC53B8E4AB8071E15E55750CE64002000");
    const std::vector<Bytes> members = {
        WrappedEntryId(kWrappedContactEmail1, contact),
        OneOffEntryId("dist name 1", "SMTP", "dist1@rjohnson.id.au"),
        OneOffEntryId("dist name 2", "SMTP", "dist2@rjohnson.id.au")};
    EXPECT_EQ(DistListChecksum(members), 0xFAA61F37u);
}

TEST(EntryIds, HexRoundTripRejectsNonHex) {
    EXPECT_EQ(FromHex("00ff7A"), (Bytes{0, 0xFF, 0x7A}));
    EXPECT_THROW(FromHex("0"), ltp::LtpError);
    EXPECT_THROW(FromHex("zz"), ltp::LtpError);
}

// The map's layout is the verifier's to check (every written store goes through it); here the
// hash against Outlook's own file and the lookups.
TEST(NameMap, BucketsAsOutlookAndLooksUpKnownNamesOnly) {
    // Outlook's empty file: LID 0x8205 in the first GUID (wGuid 3) sits in bucket 0x97.
    EXPECT_EQ(NameMap::Bucket(0x8205, 3), 0x97u);
    const NameMap map = NameMap::Standard();
    EXPECT_EQ(map.Id(PropSet::Address, 0x8005), 0x8000);
    EXPECT_THROW(map.Id(PropSet::Address, 0x9999), ltp::LtpError);
}

ItemContext Context(const NameMap& names) {
    ItemContext ctx;
    ctx.names = &names;
    ctx.nid = 0x200024;
    ctx.now = 0x01D89C5F43C38366;
    return ctx;
}

std::string Utf16ToAscii(const Bytes& b) {
    std::string s;
    for (std::size_t i = 0; i < b.size(); i += 2) s += static_cast<char>(b[i]);
    return s;
}

TEST(Items, ContactCarriesWhatOutlookComputes) {
    const NameMap names = NameMap::Standard();
    ContactData c{"Ann", "ann@x.org", "", ""};
    const auto p = ContactProperties(c, Context(names));
    EXPECT_EQ(Utf16ToAscii(p.at(0x001A001F)), "IPM.Contact");
    EXPECT_EQ(Utf16ToAscii(p.at(0x0037001F)),
              "\x01\x01"
              "Ann");
    EXPECT_EQ(p.at(names.Tag(PropSet::Address, 0x8085, ltp::kBinary)),
              OneOffEntryId("Ann (ann@x.org)", "SMTP", "ann@x.org"));
    EXPECT_EQ(GetU32(p.at(names.Tag(PropSet::Address, 0x8029, ltp::kInt32)).data()), 1u);
    EXPECT_EQ(p.at(0x00710102).size(), 22u);
    EXPECT_EQ(p.at(0x00710102)[1], 0xD8);  // the time's bytes follow the 0x01
    // An explicit display part wins over "Name (address)".
    c.emailDisplayName = "Ann Smith";
    EXPECT_EQ(Email1DisplayName(c), "Ann Smith");
}

TEST(Items, ContactNamesAndFileAs) {
    const NameMap names = NameMap::Standard();
    const std::uint32_t fileUnder = names.Tag(PropSet::Address, 0x8005, ltp::kString);
    struct Case {
        std::string given, middle, surname, full;
        std::string title, fileAs, email1;
    };
    const Case cases[] = {
        {"John", "", "Smith", "", "John Smith", "Smith, John", "John Smith (j@x.org)"},
        {"John", "Paul", "Smith", "Dr. John Smith", "Dr. John Smith", "Smith, John Paul",
         "Dr. John Smith (j@x.org)"},
        {"", "", "Smith", "", "Smith", "Smith", "Smith (j@x.org)"},
        {"jsmith", "", "", "", "jsmith", "jsmith", "jsmith (j@x.org)"},
        {"", "", "", "", "j@x.org", "j@x.org", "j@x.org"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.title);
        ContactData c{k.given, "j@x.org", "", ""};
        c.middleName = k.middle;
        c.surname = k.surname;
        c.fullName = k.full;
        const auto p = ContactProperties(c, Context(names));
        EXPECT_EQ(Utf16ToAscii(p.at(0x3001001F)), k.title);
        EXPECT_EQ(Utf16ToAscii(p.at(fileUnder)), k.fileAs);
        EXPECT_EQ(Utf16ToAscii(p.at(names.Tag(PropSet::Address, 0x8080, ltp::kString))), k.email1);
        for (const auto& [tag, text] :
             {std::pair{0x3A06001Fu, k.given}, {0x3A44001Fu, k.middle}, {0x3A11001Fu, k.surname}}) {
            if (text.empty()) {
                EXPECT_EQ(p.count(tag), 0u) << std::hex << tag;
            } else {
                EXPECT_EQ(Utf16ToAscii(p.at(tag)), text);
            }
        }
    }
}

TEST(MessageStore, FolderBookkeepingAgreesWithTables) {
    auto fake = std::make_unique<testing::FakeNodeDatabase>();
    auto* db = fake.get();
    MessageStore store(std::move(fake), "Eudora");
    const ndb::Nid contacts = store.DefaultContactsFolder();
    EXPECT_EQ(store.FolderName(contacts), "Contacts");
    const ndb::Nid item = store.AddContact(contacts, {"Ann", "ann@x.org", "", ""});
    EXPECT_EQ(item, 0x200024u);
    EXPECT_EQ(db->nodes.at(item).parent, contacts);
    store.AddDistList(contacts, {"L", "L", {{"Ann", "ann@x.org", "SMTP", store.EntryIdOf(item)}}});
    store.Commit();
    EXPECT_EQ(store.ItemCount(contacts), 2u);
    EXPECT_EQ(store.NidOfEntryId(store.EntryIdOf(item)), item);
    EXPECT_THROW(store.NidOfEntryId(Bytes(24, 0)), MessagingError);
    EXPECT_THROW(store.AddDistList(contacts, {"L", "L", {{"x", "y", "SMTP", Bytes(24, 1)}}}),
                 MessagingError);
    EXPECT_THROW(store.AddContact(0x8062 + 0x20000, {"A", "a@b", "", ""}), MessagingError);
    EXPECT_EQ(store.FolderName(store.CreateContactsFolder("Eudora 2")), "Eudora 2");
    EXPECT_THROW(store.CreateContactsFolder("Eudora 2"), MessagingError);
    store.Close();
    EXPECT_THROW(store.AddContact(contacts, {"A", "a@b", "", ""}), MessagingError);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
