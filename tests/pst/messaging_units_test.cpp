// Entry IDs, the list checksum, name-map hashing and the item property sets, against values
// worked out by hand or stated in the reference notes.
#include <gtest/gtest.h>

#include <map>

#include "pst/messaging/EntryIds.h"
#include "pst/messaging/Items.h"
#include "pst/messaging/MessageStore.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::messaging {
namespace {

using ltp::GetU32;

TEST(EntryIds, OneOffLayoutAndSize) {
    const Bytes eid = OneOffEntryId("dist name 1", "SMTP", "dist1@rjohnson.id.au");
    // 4 flags + 16 UID + 2 version + 2 flags, then three terminated UTF-16 strings.
    EXPECT_EQ(eid.size(), 38 + 2 * (11 + 20) + 0u);
    EXPECT_EQ(eid.size(), 100u);
    EXPECT_EQ(ToHex(std::span(eid).subspan(0, 24)),
              "00000000812B1FA4BEA310199D6E00DD010F540200000180");
    EXPECT_EQ(eid[24], 'd');
    EXPECT_EQ(eid[25], 0);
    // U+1F600 costs a surrogate pair.
    EXPECT_EQ(OneOffEntryId("\xF0\x9F\x98\x80", "SMTP", "a@b").size(), 38u + 2 * (2 + 3));
}

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
    EXPECT_EQ(members[0].size(), 45u);
    EXPECT_EQ(members[0][20], 0xC3);
    EXPECT_EQ(DistListChecksum(members), 0xFAA61F37u);
}

TEST(EntryIds, HexRoundTripRejectsNonHex) {
    EXPECT_EQ(FromHex("00ff7A"), (Bytes{0, 0xFF, 0x7A}));
    EXPECT_THROW(FromHex("0"), ltp::LtpError);
    EXPECT_THROW(FromHex("zz"), ltp::LtpError);
}

TEST(NameMap, IdsBucketsAndStreams) {
    // Outlook's empty file: LID 0x8205 in the first GUID (wGuid 3) sits in bucket 0x97.
    EXPECT_EQ(NameMap::Bucket(0x8205, 3), 0x97u);
    const NameMap map = NameMap::Standard();
    EXPECT_EQ(map.Id(PropSet::Address, 0x8005), 0x8000);
    EXPECT_THROW(map.Id(PropSet::Address, 0x9999), ltp::LtpError);
    const ltp::PropertyBag props = map.Properties();
    EXPECT_EQ(GetU32(props.at(0x00010003).data()), 251u);
    const Bytes& guids = props.at(0x00020102);
    ASSERT_EQ(guids.size(), 64u);
    EXPECT_EQ(ToHex(std::span(guids).subspan(0, 16)), "0420060000000000C000000000000046");
    EXPECT_EQ(ToHex(std::span(guids).subspan(48, 16)), "8603020000000000C000000000000046");
    // Never empty: the string stream holds names Outlook registers in a new store.
    const Bytes& strings = props.at(0x00040102);
    ASSERT_EQ(strings.size(), 4 + 16 + 4 + 26 + 2u);  // "Keywords", "content-class", padding
    const Bytes& entries = props.at(0x00030102);
    const std::uint16_t fileUnderListId = map.Id(PropSet::Address, 0x8026);
    const std::size_t idx = fileUnderListId - 0x8000u;
    EXPECT_EQ(GetU32(entries.data() + 8 * idx), 0x8026u);
    EXPECT_EQ(ltp::GetU16(entries.data() + 8 * idx + 4), 3 << 1);
    EXPECT_EQ(ltp::GetU16(entries.data() + 8 * idx + 6), idx);
    // Every name is in its bucket; a string name under the CRC of its text in the stream.
    std::size_t inBuckets = 0;
    std::size_t stringNames = 0;
    for (const auto& [tag, value] : props) {
        if (ltp::TagId(tag) < 0x1000 || ltp::TagId(tag) > 0x10FA) continue;
        for (std::size_t off = 0; off < value.size(); off += 8) {
            const std::uint16_t guid = ltp::GetU16(value.data() + off + 4);
            EXPECT_EQ(NameMap::Bucket(GetU32(value.data() + off), guid >> 1, guid & 1),
                      ltp::TagId(tag) - 0x1000u);
            if (guid & 1) {
                ++stringNames;
                const std::size_t index = ltp::GetU16(value.data() + off + 6);
                const std::size_t at = GetU32(entries.data() + 8 * index);
                EXPECT_EQ(GetU32(value.data() + off), ndb::Crc(std::span(strings).subspan(
                                                          at + 4, GetU32(strings.data() + at))));
            }
            ++inBuckets;
        }
    }
    EXPECT_EQ(inBuckets, entries.size() / 8);
    EXPECT_EQ(stringNames, 2u);
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
    EXPECT_EQ(Utf16ToAscii(p.at(0x3001001F)), "Ann");
    EXPECT_EQ(Utf16ToAscii(p.at(0x3A06001F)), "Ann");
    EXPECT_EQ(Utf16ToAscii(p.at(names.Tag(PropSet::Address, 0x8080, ltp::kString))),
              "Ann (ann@x.org)");
    EXPECT_EQ(Utf16ToAscii(p.at(names.Tag(PropSet::Address, 0x8083, ltp::kString))), "ann@x.org");
    EXPECT_EQ(p.at(names.Tag(PropSet::Address, 0x8085, ltp::kBinary)),
              OneOffEntryId("Ann (ann@x.org)", "SMTP", "ann@x.org"));
    EXPECT_EQ(GetU32(p.at(names.Tag(PropSet::Address, 0x8029, ltp::kInt32)).data()), 1u);
    EXPECT_EQ(GetU32(p.at(0x10800003).data()), 512u);
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

TEST(Items, LongListsKeepArraysUnderTheLimitAndStoreTheStream) {
    const NameMap names = NameMap::Standard();
    DistListData list{"Team", "Team", {}};
    for (int i = 0; i < 2000; ++i) {
        list.members.push_back({"Member " + std::to_string(i), "m" + std::to_string(i) + "@x.org"});
    }
    const auto p = DistListProperties(list, Context(names));
    const Bytes& members = p.at(names.Tag(PropSet::Address, 0x8055, ltp::kMvBinary));
    const std::uint32_t count = GetU32(members.data());
    EXPECT_GT(count, 100u);
    EXPECT_LT(count, 2000u);
    EXPECT_LT(members.size() - 4 - 4 * count, kMaxMemberArrayBytes);
    EXPECT_EQ(GetU32(p.at(names.Tag(PropSet::Address, 0x8054, ltp::kMvBinary)).data()), count);
    const Bytes& stream = p.at(names.Tag(PropSet::Address, 0x8064, ltp::kBinary));
    EXPECT_EQ(ltp::GetU16(stream.data()), 1);
    EXPECT_EQ(GetU32(stream.data() + 12), 2000u);
    // Walk the member records: every one present, terminators at the end.
    std::size_t off = 28;
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t eid = GetU32(stream.data() + off);
        off += 4 + eid;
        const std::uint32_t oneOff = GetU32(stream.data() + off);
        off += 4 + oneOff;
        EXPECT_EQ(GetU32(stream.data() + off), 0u);
        off += 4;
    }
    EXPECT_EQ(off + 8, stream.size());

    // A short list has no stream and a checksum over all members.
    list.members.resize(3);
    const auto q = DistListProperties(list, Context(names));
    EXPECT_EQ(q.count(names.Tag(PropSet::Address, 0x8064, ltp::kBinary)), 0u);
    std::vector<Bytes> eids;
    for (const auto& m : list.members) eids.push_back(MemberEntryId(m));
    EXPECT_EQ(GetU32(q.at(names.Tag(PropSet::Address, 0x804C, ltp::kInt32)).data()),
              DistListChecksum(eids));
}

TEST(MessageStore, FolderBookkeepingAgreesWithTables) {
    auto fake = std::make_unique<testing::FakeNodeDatabase>();
    auto* db = fake.get();
    MessageStore store(std::move(fake), "Eudora");
    const ndb::Nid contacts = store.DefaultContactsFolder();
    EXPECT_EQ(contacts, 0x80A2u);
    EXPECT_EQ(store.FolderName(contacts), "Contacts");
    for (const ndb::Nid nid :
         {0x21u,   0x61u,   0x122u,  0x12Du,  0x12Eu,  0x12Fu,  0x1E1u,  0x201u,
          0x60Du,  0x60Eu,  0x60Fu,  0x610u,  0x671u,  0x692u,  0x2223u, 0x8022u,
          0x802Du, 0x8042u, 0x8062u, 0x8082u, 0x80A2u, 0x80ADu, 0x80AEu}) {
        EXPECT_TRUE(db->HasNode(nid)) << std::hex << nid;
    }
    EXPECT_EQ(db->nodes.at(0x80A2).parent, 0x8022u);
    EXPECT_EQ(db->nodes.at(0x122).parent, 0x122u);
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
    const ndb::Nid second = store.CreateContactsFolder("Eudora 2");
    EXPECT_EQ(second, 0x80C2u);
    EXPECT_THROW(store.CreateContactsFolder("Eudora 2"), MessagingError);
    store.Close();
    EXPECT_THROW(store.AddContact(contacts, {"A", "a@b", "", ""}), MessagingError);
}

// The values of one contents-table row and of the item it lists, by tag, as stored (fixed cells
// and inline PC values as their bytes, the rest as the heap items they name).
std::pair<std::map<std::uint32_t, Bytes>, std::map<std::uint32_t, Bytes>> RowAndItem(
    const testing::FakeNodeDatabase& db, ndb::Nid folder, ndb::Nid item) {
    const auto& table = db.nodes.at((folder & ~0x1Fu) | 0x0E);
    testing::HeapReader tc(db.Blocks(table.data));
    const Bytes info = tc.Item(tc.UserRoot());
    const std::size_t rowSize = ltp::GetU16(info.data() + 8);
    std::size_t number = 0;
    for (const auto& rec : tc.BthRecords(GetU32(info.data() + 10))) {
        if (GetU32(rec.data()) == item) number = GetU32(rec.data() + 4);
    }
    const Bytes rows = db.SubnodeData(table.subnode, ltp::kRowMatrixNid);
    const std::size_t perBlock = ltp::kHeapPageSize / rowSize;
    const std::uint8_t* row =
        rows.data() + number / perBlock * ltp::kHeapPageSize + number % perBlock * rowSize;
    std::map<std::uint32_t, Bytes> cells;
    for (std::size_t i = 0; i < info[1]; ++i) {
        const std::uint8_t* c = info.data() + 22 + 8 * i;
        const std::uint32_t tag = GetU32(c);
        const std::size_t ib = ltp::GetU16(c + 4);
        if (!(row[ltp::GetU16(info.data() + 6) + c[7] / 8] & (0x80 >> c[7] % 8))) continue;
        const std::size_t fixed = ltp::FixedSize(ltp::TagType(tag));
        cells[tag] = fixed != 0 && fixed <= 8 ? Bytes(row + ib, row + ib + fixed)
                                              : tc.Item(GetU32(row + ib));
    }
    testing::HeapReader pc(db.Blocks(db.nodes.at(item).data));
    std::map<std::uint32_t, Bytes> props;
    for (const auto& rec : pc.BthRecords(0x20)) {
        const std::uint32_t tag = ltp::Tag(ltp::GetU16(rec.data()), ltp::GetU16(rec.data() + 2));
        const std::size_t fixed = ltp::FixedSize(ltp::TagType(tag));
        props[tag] = fixed != 0 && fixed <= 4 ? Bytes(rec.begin() + 4, rec.begin() + 4 + fixed)
                                              : pc.Item(GetU32(rec.data() + 4));
    }
    return {cells, props};
}

TEST(MessageStore, ListSavedAgainLaterKeepsItsContentsRowInStep) {
    auto fake = std::make_unique<testing::FakeNodeDatabase>();
    auto* db = fake.get();
    MessageStore store(std::move(fake), "Eudora");
    const ndb::Nid contacts = store.DefaultContactsFolder();
    const ndb::Nid list = store.AddDistList(contacts, {"L", "L", {}});
    // Enough items after it that its block of rows has left memory when it is saved again.
    for (int i = 0; i < 300; ++i) store.AddContact(contacts, {"c", "c@x.org", "", ""});
    store.Commit();
    store.UpdateDistList(contacts, list, {"L", "L", {{"Ann", "ann@x.org"}}});
    store.Commit();
    const auto [cells, props] = RowAndItem(*db, contacts, list);
    // The columns taken from the item that change when it is saved again.
    for (const std::uint32_t tag :
         {0x00390040u, 0x00710102u, 0x0E060040u, 0x0E080003u, 0x30080040u}) {
        EXPECT_EQ(cells.count(tag), 1u) << std::hex << tag;
    }
    for (const auto& [tag, value] : cells) {
        if (tag == ltp::kTagLtpRowId || tag == ltp::kTagLtpRowVer) continue;
        EXPECT_EQ(value, props.at(tag)) << std::hex << tag;
    }
}

}  // namespace
}  // namespace tarvelle::pst::messaging
