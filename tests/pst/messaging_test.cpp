// Entry IDs, the list checksum, name-map hashing and the item property sets, against values
// worked out by hand or taken from Outlook's files; the write queue, and a store whose writes
// run on their own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "pst/messaging/EntryIds.h"
#include "pst/messaging/Items.h"
#include "pst/messaging/MessageStore.h"
#include "pst/messaging/WriteQueue.h"
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
    Bytes members;
    AppendWrappedEntryId(members, kWrappedContactEmail1, contact);
    AppendOneOffEntryId(members, "dist name 1", "SMTP", "dist1@rjohnson.id.au");
    AppendOneOffEntryId(members, "dist name 2", "SMTP", "dist2@rjohnson.id.au");
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
    return {.names = &names, .nid = 0x200024, .now = 0x01D89C5F43C38366};
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
    EXPECT_EQ(Utf16ToAscii(p.at(0x0037001F)), std::string("\x01\x01") + "Ann");
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
        std::string given, middle, surname, full, title, fileAs, email1;
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
            // An empty part is left out, not stored empty.
            EXPECT_EQ(p.count(tag) ? Utf16ToAscii(p.at(tag)) : "(none)",
                      text.empty() ? "(none)" : text);
        }
    }
}

TEST(MessageStore, FolderBookkeepingAgreesWithTables) {
    auto* db = new testing::FakeNodeDatabase;
    MessageStore store(std::unique_ptr<ndb::NodeDatabase>(db), "Eudora");
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

TEST(WriteQueue, RunsJobsInOrderOnItsThreadAndWaitsForThem) {
    WriteQueue queue(4);  // small: pushing 100 jobs must wait for room many times
    queue.Start();
    std::vector<int> order;
    std::atomic<bool> onOtherThread = true;
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 100; ++i)
        queue.Push([&, i] {
            if (std::this_thread::get_id() == caller) onOtherThread = false;
            order.push_back(i);
        });
    queue.Wait();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(onOtherThread);

    // Stop runs what is queued before the thread ends; afterwards jobs run at once.
    queue.Push([&] { order.push_back(100); });
    queue.Stop();
    EXPECT_EQ(order.size(), 101u);
    queue.Push([&] { order.push_back(101); });
    EXPECT_EQ(order.back(), 101);
}

TEST(WriteQueue, AFailedJobDropsTheRestAndIsThrownAgainByEveryLaterCall) {
    WriteQueue queue;
    queue.Start();
    int ran = 0;
    queue.Push([&] { ++ran; });
    queue.Push([] { throw std::runtime_error("disk full"); });
    queue.Push([&] { ++ran; });
    EXPECT_THROW(queue.Wait(), std::runtime_error);
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(queue.Push([&] { ++ran; }), std::runtime_error);
    EXPECT_THROW(queue.Wait(), std::runtime_error);
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(queue.Stop(), std::runtime_error);

    WriteQueue inline_;  // not started: the caller gets the exception itself
    EXPECT_THROW(inline_.Push([] { throw std::logic_error("bad"); }), std::logic_error);
    int after = 0;
    inline_.Push([&] { ++after; });
    EXPECT_EQ(after, 1);
}

TEST(MessageStore, BackgroundWritesMatchWritesInPlaceAndRefuseTheSameItems) {
    auto* a = new testing::FakeNodeDatabase;
    auto* b = new testing::FakeNodeDatabase;
    MessageStore inPlace(std::unique_ptr<ndb::NodeDatabase>(a), "Eudora");
    MessageStore background(std::unique_ptr<ndb::NodeDatabase>(b), "Eudora");
    background.WriteInBackground();
    for (MessageStore* store : {&inPlace, &background}) {
        const ndb::Nid folder = store->DefaultContactsFolder();
        // Bad items are refused before they are queued, and left as they were.
        ContactData bad{"Ann \xC3", "ann@x.org", "", ""};
        EXPECT_THROW(store->AddContact(folder, std::move(bad)), ltp::LtpError);
        EXPECT_EQ(bad.firstName, "Ann \xC3");
        auto owned = std::make_unique<ContactData>(bad);
        EXPECT_THROW(store->AddContact(folder, std::move(owned)), ltp::LtpError);
        ASSERT_NE(owned, nullptr);
        EXPECT_EQ(owned->firstName, "Ann \xC3");
        EXPECT_THROW(store->AddContact(0x12345, {"Ann", "ann@x.org", "", ""}), MessagingError);
        for (int i = 0; i < 50; ++i) {
            if (i % 2 == 0) {
                store->AddContact(folder, {"Ann " + std::to_string(i), "ann@x.org", "", ""});
                continue;
            }
            // Taken over as it is.
            owned = std::make_unique<ContactData>(
                ContactData{"Ann " + std::to_string(i), "ann@x.org", "", ""});
            store->AddContact(folder, std::move(owned));
            EXPECT_EQ(owned, nullptr);
        }
        DistListData list{"Team", "", {{"Ann", "ann@x.org"}}};
        const ndb::Nid nid = store->AddDistList(folder, list);
        list.members.push_back({"Bob", "bob@x.org"});
        store->UpdateDistList(folder, nid, list);  // still unwritten: written once
        store->Sync();
        EXPECT_EQ(store->ItemCount(folder), 51u);
    }
    // Same nodes, same number of blocks: the thread changes when items are written, not what.
    EXPECT_EQ(a->nodes.size(), b->nodes.size());
    EXPECT_EQ(a->blockWrites, b->blockWrites);
    for (const auto& [nid, node] : a->nodes) EXPECT_TRUE(b->HasNode(nid)) << nid;
}

TEST(MessageStore, AFailedBackgroundWriteComesBackAsAnIoErrorAndStaysFailed) {
    auto* db = new testing::FakeNodeDatabase;
    db->failAt = 1000;
    MessageStore store(std::unique_ptr<ndb::NodeDatabase>(db), "Eudora");
    store.WriteInBackground();
    const ndb::Nid folder = store.DefaultContactsFolder();
    // More contacts than the queue holds: the failure must come back while they are added.
    bool failed = false;
    for (int i = 0; i < 20000 && !failed; ++i) {
        try {
            store.AddContact(folder, {"Ann", "ann@x.org", "", ""});
        } catch (const ndb::IoError& e) {
            failed = true;
            EXPECT_STREQ(e.what(), "No space left on device");
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_THROW(store.Sync(), ndb::IoError);
    EXPECT_THROW(store.AddContact(folder, {"Bob", "bob@x.org", "", ""}), ndb::IoError);
}

// What the store writes once and keeps goes early to the disk (ndb::NodeDatabase::SetFinal); what
// is written again must not, or it goes there twice: tables, folders, a list's first version.
TEST(MessageStore, OnlyContactsAndListsSavedAgainAreWrittenAsFinal) {
    auto* db = new testing::FakeNodeDatabase;
    MessageStore store(std::unique_ptr<ndb::NodeDatabase>(db), "Eudora");
    const ndb::Nid folder = store.DefaultContactsFolder();
    const ndb::Nid contact = store.AddContact(folder, {"Ann", "ann@x.org", "", ""});
    DistListData list{"Team", "", {{"Ann", "ann@x.org", "SMTP", store.EntryIdOf(contact)}}};
    // Lists and contacts on either side of the one saved again below.
    const ndb::Nid earlier = store.AddDistList(folder, DistListData{"Earlier", "", {}});
    store.AddContact(folder, {"Bob", "bob@x.org", "", ""});
    const ndb::Nid nid = store.AddDistList(folder, list);
    const ndb::Nid later = store.AddDistList(folder, DistListData{"Later", "", {}});
    store.Sync();
    for (const ndb::Nid l : {earlier, nid, later}) EXPECT_TRUE(store.IsDistList(l)) << l;
    EXPECT_FALSE(store.IsDistList(contact));
    EXPECT_FALSE(store.IsDistList(later + 32)) << "an item NID never handed out";
    auto isFinal = [&](ndb::Nid node) { return db->finalBlocks.count(db->nodes.at(node).data); };
    EXPECT_TRUE(isFinal(contact));
    EXPECT_FALSE(isFinal(nid)) << "a list may be saved again";
    const ndb::Bid first = db->nodes.at(nid).data;
    list.members.push_back({"Bob", "bob@x.org"});
    store.UpdateDistList(folder, nid, list);
    store.Sync();
    ASSERT_NE(db->nodes.at(nid).data, first);
    EXPECT_TRUE(isFinal(nid)) << "saved again, a list is complete";
    // It is the same item: its keys and times are those of its first save, so the contents row
    // changes in its size only.
    auto value = [&](ndb::Bid pc, std::uint16_t id) {
        testing::HeapReader heap(db->Blocks(pc));
        for (const auto& record : heap.BthRecords(heap.UserRoot())) {
            if (ltp::GetU16(record.data()) == id) return heap.Item(GetU32(record.data() + 4));
        }
        return std::vector<std::uint8_t>{};
    };
    for (const std::uint16_t id : {0x300B, 0x0071, 0x3007, 0x3008}) {
        EXPECT_FALSE(value(first, id).empty()) << id;
        EXPECT_EQ(value(db->nodes.at(nid).data, id), value(first, id)) << id;
    }
    EXPECT_FALSE(isFinal(folder));
    EXPECT_FALSE(isFinal((folder & ~0x1Fu) | 0x0Eu)) << "the contents table";
    EXPECT_FALSE(isFinal(kNidMessageStore));
    // Nothing stays marked for the writes that follow.
    const std::size_t finals = db->finalBlocks.size();
    db->WriteDataBlock(std::vector<std::uint8_t>(10, 1));
    EXPECT_EQ(db->finalBlocks.size(), finals);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
