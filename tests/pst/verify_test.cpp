// The verifier's corpus: files the writer makes come out without a finding and read back as
// written; copies broken by hand in one place give the finding that names the defect.
#include "pst/verify/Verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "pst/messaging/MessageStore.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace tarvelle::pst::verify {
namespace {

namespace fs = std::filesystem;
using messaging::ContactData;
using messaging::DistListData;
using messaging::MessageStore;
using ndb::GetU32;
using ndb::PutU32;

struct Written {
    fs::path path;
    Nid contact = 0;   // "Zoë Ñandú", with a 12,000-character note
    Nid list = 0;      // a contact, a one-off and the long list as members, saved twice
    Nid longList = 0;  // 300 one-off members: more than the member arrays hold
    std::vector<Nid> contacts;
};

// What an export writes, in the sizes that take the writer's other paths: a note kept in a
// subnode as a data tree, a contents table whose row index needs an index level and whose rows
// fill several blocks, a list kept in the distribution-list stream, a list saved again once its
// block of rows has left memory.
Written WriteStore(const fs::path& path, const std::function<void()>& whileOpen = {}) {
    Written w{path};
    auto store = MessageStore::Create(path, "Eudora Nicknames");
    const Nid folder = store->DefaultContactsFolder();
    ContactData zoe{"Zo\u00EB \u00D1and\u00FA", "zoe@example.org", "", std::string(12000, 'n')};
    zoe.email2 = {"zoe@work.example", ""};
    w.contact = store->AddContact(folder, zoe);
    DistListData friends{"friends", "", {{"Ann", "ann@example.org"}}};
    w.list = store->AddDistList(folder, friends);
    for (int i = 0; i < 500; ++i)
        w.contacts.push_back(store->AddContact(
            folder, ContactData{"person" + std::to_string(i),
                                "p" + std::to_string(i) + "@example.com", "", ""}));
    DistListData everyone{"everyone", "", {}};
    for (int i = 0; i < 300; ++i)
        everyone.members.push_back(
            {"Member " + std::to_string(i), "m" + std::to_string(i) + "@example.net"});
    w.longList = store->AddDistList(folder, everyone);
    friends.members.insert(friends.members.begin(),
                           {"Zo\xC3\xAB", "zoe@example.org", "SMTP", store->EntryIdOf(w.contact)});
    friends.members.push_back({"everyone", "everyone", "SMTP", store->EntryIdOf(w.longList), true});
    store->Commit();
    store->UpdateDistList(folder, w.list, friends);
    store->Sync();
    if (whileOpen) whileOpen();  // the file as a killed export leaves it: committed, not closed
    store->Close();
    return w;
}

bool Has(const Report& report, Severity severity, const std::string& word) {
    return std::any_of(report.Findings().begin(), report.Findings().end(), [&](const Finding& f) {
        return f.severity == severity && f.message.find(word) != std::string::npos;
    });
}

std::string All(const Report& report) {
    std::string text;
    for (const Finding& f : report.Findings()) text += f.ToString() + "\n";
    return text;
}

// The store every test here reads, written once.
const Written& Store() {
    static const fakes::TempDir dir("tarvelle-verify-");
    static const Written written = WriteStore(dir.path() / "store.pst");
    return written;
}

TEST(VerifyFiles, WrittenFilesHaveNoFindingsAndReadBackAsWritten) {
    const Written& w = Store();
    const Report closed = Verify(w.path);
    EXPECT_EQ(closed.Errors() + closed.Warnings(), 0u) << All(closed);
    const auto& n = closed.counts;
    EXPECT_EQ(std::tie(n.folders, n.contacts, n.lists, n.members), std::tuple(7u, 501u, 2u, 303u));

    // Committed and never closed: the space reserved ahead is allocated but unused, which
    // readers tolerate; nothing else.
    const fs::path open = w.path.parent_path() / "open.pst";
    WriteStore(open, [&] {
        const Report report = Verify(open);
        EXPECT_EQ(report.Errors(), 0u) << All(report);
        EXPECT_EQ(report.Warnings(), 1u) << All(report);
        EXPECT_TRUE(Has(report, Severity::Warning, "allocated but hold no page")) << All(report);
    });

    const StoreContents store = ReadStore(w.path);
    EXPECT_EQ(store.displayName, "Eudora Nicknames");
    const Folder* contacts = store.FindFolder("Contacts");
    ASSERT_NE(contacts, nullptr);
    EXPECT_EQ(contacts->containerClass, "IPF.Contact");
    EXPECT_EQ(contacts->contentCount, 503);
    EXPECT_EQ(store.ItemsIn(contacts->nid).size(), 503u);
    const Item* zoe = store.FindItem(w.contact);
    ASSERT_NE(zoe, nullptr);
    EXPECT_EQ(zoe->Find(0x3001001F)->Text(), "Zo\u00EB \u00D1and\u00FA");
    // Named properties by name, not by the store's property IDs.
    EXPECT_EQ(zoe->FindNamed(kPsetidAddress, 0x8083)->Text(), "zoe@example.org");
    EXPECT_EQ(zoe->Find(0x1000001F)->Text(), std::string(12000, 'n'));
    EXPECT_EQ(zoe->FindNamed(kPsetidAddress, 0x8093)->Text(), "zoe@work.example");
    const Item* friends = store.FindItem(w.list);
    ASSERT_NE(friends, nullptr);
    ASSERT_EQ(friends->members.size(), 3u);
    EXPECT_EQ(friends->members[0].item, w.contact);
    EXPECT_EQ(friends->members[1].address, "ann@example.org");
    EXPECT_EQ(friends->members[2].item, w.longList);
    EXPECT_EQ(store.FindItem(w.longList)->members.size(), 300u);
    EXPECT_EQ(store.FindItem(w.longList)->members.at(299).address, "m299@example.net");
}

// Damages a copy of the written file in place, mending what the damage is not about.
struct Breaker {
    Breaker(const Written& w, Bytes& file)
        : written(w), file(file), reader(FileImage::FromBytes(file)) {}

    const BlockRef& BlockOf(Nid nid) const { return *reader.FindBlock(reader.FindNode(nid)->data); }
    std::uint64_t TrailerOf(Nid nid) const {
        return BlockOf(nid).ib + ndb::BlockSizeOnDisk(BlockOf(nid).cb) - ndb::kBlockTrailerSize;
    }
    std::uint64_t PageOfType(std::uint8_t ptype) const {
        for (const TreePage& p : reader.Pages())
            if (p.ptype == ptype) return p.ib;
        return 0;
    }
    void RefreshHeader() {
        using namespace ndb::header;
        PutU32(&file[kCrcPartial],
               ndb::Crc(std::span(file).subspan(kMagicClient, kCrcPartialSpan)));
        PutU32(&file[kCrcFull], ndb::Crc(std::span(file).subspan(kMagicClient, kCrcFullSpan)));
    }
    void RefreshPage(std::uint64_t ib) {
        PutU32(&file[ib + 500], ndb::Crc(std::span(file).subspan(ib, 496)));
    }
    void Flip(std::uint64_t page, std::size_t at) {
        file[page + at] ^= 0xFF;
        RefreshPage(page);
    }
    void InvalidateMaps() {
        file[ndb::header::kAMapValid] = ndb::kInvalidAMap;
        RefreshHeader();
    }
    // Changes the decoded data of node `nid`'s one data block, then encodes it and fixes its CRC.
    void RewriteNode(Nid nid, const std::function<void(Bytes&)>& change) {
        const BlockRef& b = BlockOf(nid);
        Bytes data;
        reader.DecodedPayload(b, data);
        change(data);
        ndb::PermuteEncode(data);
        std::copy(data.begin(), data.end(), file.begin() + static_cast<std::ptrdiff_t>(b.ib));
        PutU32(&file[TrailerOf(nid) + 4], ndb::Crc(std::span(file).subspan(b.ib, b.cb)));
    }
    // Swaps heap items 1 and 2 of a one-page heap; `fix` then mends the HIDs that named them.
    void SwapFirstHeapItems(Nid nid, const std::function<void(Bytes&, std::size_t)>& fix) {
        RewriteNode(nid, [&](Bytes& d) {
            const std::size_t map = ndb::GetU16(d.data());
            std::uint8_t* offsets = d.data() + map + 4;
            const std::size_t a = ndb::GetU16(offsets);
            const std::size_t b = ndb::GetU16(offsets + 2);
            const std::size_t c = ndb::GetU16(offsets + 4);
            std::rotate(d.data() + a, d.data() + b, d.data() + c);
            ndb::PutU16(offsets + 2, static_cast<std::uint16_t>(a + c - b));
            fix(d, a);
        });
    }

    const Written& written;
    Bytes& file;
    PstReader reader;
};

void SwapHid(Bytes& d, std::size_t at) {
    const std::uint32_t v = GetU32(&d[at]);
    if (v == 0x20 || v == 0x40) PutU32(&d[at], v == 0x20 ? 0x40 : 0x20);
}

// A copy broken in one place and the finding (severity, a word of its message) it must give.
struct Breakage {
    Severity severity;
    const char* word;
    std::function<void(Breaker&)> apply;
};

TEST(VerifyFiles, BrokenCopiesGiveTheFindingThatNamesTheDefect) {
    using enum Severity;
    const Breakage cases[] = {
        {Error, "dwCRCFull", [](Breaker& b) { b.file[ndb::header::kCrcFull] ^= 1; }},
        {Error, "NBT page: CRC",
         [](Breaker& b) { b.file[b.PageOfType(ndb::kPageNbt) + 500] ^= 1; }},
        {Error, "BBT page: signature",
         [](Breaker& b) { b.Flip(b.PageOfType(ndb::kPageBbt), 498); }},
        {Error, "CRC", [](Breaker& b) { b.file[b.TrailerOf(0x21) + 4] ^= 1; }},  // a block's
        {Error, "trailer BID", [](Breaker& b) { b.file[b.TrailerOf(0x21) + 9] ^= 1; }},
        {Error, "in use are marked free",  // a cleared AMap
         [](Breaker& b) {
             std::fill_n(b.file.begin() + ndb::kFirstAMapOffset, 496, 0);
             b.RefreshPage(ndb::kFirstAMapOffset);
         }},
        {Warning, "fAMapValid", [](Breaker& b) { b.InvalidateMaps(); }},
        {Error, "NID counter",  // below a NID in use
         [](Breaker& b) {
             PutU32(&b.file[ndb::header::kRgnid + 4 * 4], (b.written.list >> 5) - 1);
             b.RefreshHeader();
         }},
        {Error, "HID 0x20",  // the property BTH header not the first heap item
         [](Breaker& b) {
             b.SwapFirstHeapItems(0x21, [](Bytes& d, std::size_t) {
                 SwapHid(d, 4);  // hidUserRoot: the BTH header, now second
                 // The record of the value that was second and is now first: in the leaf, the
                 // heap's last item.
                 const std::size_t map = ndb::GetU16(d.data());
                 const std::size_t count = ndb::GetU16(&d[map]);
                 const std::size_t leaf = ndb::GetU16(&d[map + 4 + 2 * (count - 1)]);
                 const std::size_t end = ndb::GetU16(&d[map + 4 + 2 * count]);
                 for (std::size_t r = leaf; r < end; r += 8) SwapHid(d, r + 4);
             });
         }},
        {Error, "row index BTH header",  // not the first heap item
         [](Breaker& b) {
             b.SwapFirstHeapItems(0x12D, [](Bytes& d, std::size_t first) {
                 SwapHid(d, 4);           // hidUserRoot: the TCINFO, now first
                 SwapHid(d, first + 10);  // its hidRowIndex
             });
         }},
        {Error, "reference count",  // too low
         [](Breaker& b) {
             // The store object's block in its BBT leaf: cRef 1, as if nothing referred to it.
             for (const TreePage& p : b.reader.Pages()) {
                 const bool leaf = b.file[p.ib + ndb::kBtEntriesSize + 3] == 0;
                 for (std::size_t e = 0;
                      p.ptype == ndb::kPageBbt && leaf && e < b.file[p.ib + ndb::kBtEntriesSize];
                      ++e)
                     if (ndb::GetU64(&b.file[p.ib + 24 * e]) == b.BlockOf(0x21).bid) {
                         ndb::PutU16(&b.file[p.ib + 24 * e + 18], 1);
                         b.RefreshPage(p.ib);
                     }
             }
         }},
        {Error, "ibFileEof", [](Breaker& b) { b.file.resize(b.file.size() - 65536); }},  // cut
        {Error, "ibFileEof", [](Breaker& b) { b.file.resize(b.file.size() + 65536); }},  // past
        {Warning, "past ibFileEof",  // while the maps are marked for rebuilding: a growth killed
         [](Breaker& b) {
             b.file.resize(b.file.size() + ndb::kAMapSpan);
             b.InvalidateMaps();
         }},
        {Error, "Checksum",  // of the list
         [](Breaker& b) {
             const StoreContents store = ReadStore(b.written.path);
             const Property* sum =
                 store.FindItem(b.written.list)->FindNamed(kPsetidAddress, 0x804C);
             b.RewriteNode(b.written.list, [&](Bytes& d) {
                 // The checksum's PC record: property ID, type, value.
                 Bytes record(8);
                 ndb::PutU16(record.data(), sum->Id());
                 ndb::PutU16(record.data() + 2, sum->Type());
                 std::copy(sum->value.begin(), sum->value.end(), record.begin() + 4);
                 auto at = std::search(d.begin(), d.end(), record.begin(), record.end());
                 ASSERT_NE(at, d.end());
                 at[4] ^= 1;
             });
         }},
        {Warning, "zero-length heap item",  // an empty value as a heap item of no bytes
         [](Breaker& b) {
             b.RewriteNode(b.written.contact, [](Bytes& d) {
                 // Two strings in adjacent heap items: the first gives its bytes to the second,
                 // so only the first becomes empty and the second stays a valid string.
                 std::uint8_t* map = d.data() + ndb::GetU16(d.data());
                 const auto start = [&](std::uint32_t i) { return ndb::GetU16(map + 2 + 2 * i); };
                 const std::uint32_t root = GetU32(d.data() + start(1) + 4) >> 5;
                 std::set<std::uint32_t> strings;
                 for (std::size_t r = start(root); r + 8 <= start(root + 1); r += 8)
                     if (ndb::GetU16(&d[r + 2]) == 0x001F && (GetU32(&d[r + 4]) & 0x1F) == 0)
                         strings.insert(GetU32(&d[r + 4]) >> 5);
                 for (const std::uint32_t k : strings)
                     if (strings.count(k + 1) != 0) return ndb::PutU16(map + 4 + 2 * k, start(k));
                 FAIL() << "no two adjacent strings";
             });
         }},
        {Error, "not an item of this store",  // a member naming no item
         [](Breaker& b) {
             // The contact's store entry ID inside the list's member entries: record key + NID.
             Bytes eid = ReadStore(b.written.path).recordKey;
             eid.resize(20);
             PutU32(eid.data() + 16, b.written.contact);
             b.RewriteNode(b.written.list, [&](Bytes& d) {
                 auto at = std::search(d.begin(), d.end(), eid.begin(), eid.end());
                 ASSERT_NE(at, d.end());
                 PutU32(&at[16], 0x7FFFFFE4);
             });
         }},
    };
    const std::string text = fakes::ReadAll(Store().path);
    for (const Breakage& c : cases) {
        SCOPED_TRACE(c.word);
        Bytes file(text.begin(), text.end());
        Breaker breaker(Store(), file);
        c.apply(breaker);
        const Report report = Verify(FileImage::FromBytes(file));
        EXPECT_TRUE(Has(report, c.severity, c.word)) << All(report);
        EXPECT_EQ(report.Errors() > 0, c.severity == Error) << All(report);
    }
}

TEST(Verify, RefusesWhatIsNoUnicodePst) {
    Bytes ansi(0x4400, 0);
    std::copy_n("!BDN", 4, ansi.begin());
    ndb::PutU16(&ansi[ndb::header::kVersion], 14);
    EXPECT_THROW(Verify(FileImage::FromBytes(ansi)), NotUnicodeError);
    EXPECT_THROW(Verify("/no/such/file.pst"), ReadError);
    EXPECT_EQ(Verify(FileImage::FromBytes(Bytes(1000, 'x'))).Errors(), 1u);
}

}  // namespace
}  // namespace tarvelle::pst::verify
