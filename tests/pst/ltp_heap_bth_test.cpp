// The heap's and the BTH's behaviour for their callers: items replaced and freed, pages kept or
// read back, and what a written store does not reach (bitmap pages, two index levels). The rest
// of their layout is the verifier's to check on every written file (verify_test.cpp).
#include <gtest/gtest.h>

#include "pst/ltp/Bth.h"
#include "pst/ltp/Heap.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::ltp {
namespace {

using testing::FakeNodeDatabase;
using testing::HeapReader;

Bytes Filled(std::size_t n, std::uint8_t v) { return Bytes(n, v); }

TEST(Heap, GrowsOverPagesWithBitmapHeadersAndPaddedBlocks) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    std::vector<Hid> hids;
    for (int i = 0; i < 2 * 10; ++i)
        hids.push_back(heap.Allocate(Filled(3500, static_cast<std::uint8_t>(i))));
    // Two 3500-byte items per page: page k holds items 2k and 2k+1.
    EXPECT_EQ(hids[2], MakeHid(1, 1));
    EXPECT_EQ(hids[17], MakeHid(8, 2));
    ASSERT_EQ(heap.PageCount(), 10u);
    const Bytes page8 = heap.SerializePage(8);
    EXPECT_EQ(page8.size(), kHeapPageSize);
    // The page map's first offset: items start after the 66-byte HNBITMAPHDR on page 8 and
    // after the 2-byte HNPAGEHDR on page 1.
    const auto firstItem = [](const Bytes& page) {
        return GetU16(page.data() + GetU16(page.data()) + 4);
    };
    EXPECT_EQ(firstItem(page8), 66);
    EXPECT_EQ(firstItem(heap.SerializePage(1)), 2);
    const ndb::Bid bid = heap.Write(db);
    const auto blocks = db.Blocks(bid);
    ASSERT_EQ(blocks.size(), 10u);
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i].size(), kHeapPageSize);
    HeapReader reader(blocks);
    EXPECT_EQ(reader.Item(hids[17]), Filled(3500, 17));
}

TEST(Heap, ReplaceFreeAndLimits) {
    Heap heap(kSigPc);
    const Hid a = heap.Allocate(Filled(10, 1));
    const Hid b = heap.Allocate(Filled(10, 2));
    EXPECT_EQ(heap.Replace(a, Filled(20, 3)), a);  // fits: stays in place
    EXPECT_EQ(Bytes(heap.Get(a).begin(), heap.Get(a).end()), Filled(20, 3));
    EXPECT_EQ(Bytes(heap.Get(b).begin(), heap.Get(b).end()), Filled(10, 2));
    heap.Free(b);
    const Bytes page = heap.SerializePage(0);
    const std::size_t map = GetU16(page.data());
    EXPECT_EQ(GetU16(page.data() + map + 2), 1);                              // cFree
    EXPECT_EQ(GetU16(page.data() + map + 6), GetU16(page.data() + map + 8));  // empty item 2
    EXPECT_EQ(heap.Allocate(Filled(5, 4)), b);  // the free slot is reused
    EXPECT_THROW(heap.Allocate(Filled(3581, 0)), LtpError);
    EXPECT_THROW(heap.Allocate(Bytes{}), LtpError);
    EXPECT_THROW(heap.Get(0x60), LtpError);
}

TEST(Heap, UnchangedPagesKeepTheirBlocksAndDroppedPagesAreReadBackToChange) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    const Hid first = heap.Allocate(Filled(3500, 1));
    const Hid second = heap.Allocate(Filled(3500, 2));
    heap.Allocate(Filled(3500, 3));  // page 1
    heap.Write(db);
    const int writes = db.blockWrites;
    heap.Allocate(Filled(100, 4));
    heap.Write(db);
    EXPECT_EQ(db.blockWrites, writes + 1);    // only the last page
    EXPECT_THROW(heap.Get(first), LtpError);  // page 0 left memory

    // Changing it reads it back; it is written again and leaves memory again.
    EXPECT_EQ(heap.Replace(first, Filled(1, 9)), first);
    heap.Free(second);
    EXPECT_EQ(db.blockReads, 1);
    HeapReader r(db.Blocks(heap.Write(db)));
    EXPECT_EQ(db.blockWrites, writes + 2);
    EXPECT_EQ(r.Item(first), Filled(1, 9));
    EXPECT_TRUE(r.Item(second).empty());
    EXPECT_EQ(r.Item(MakeHid(1, 2)), Filled(100, 4));
    EXPECT_THROW(heap.Get(first), LtpError);
}

TEST(Bth, IndexLevelsAppearPast447RecordsAndTrackAppends) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    BthWriter bth(heap, 4, 4);
    EXPECT_EQ(bth.RecordsPerLeaf(), 447u);
    auto put = [&](std::uint32_t k) {
        std::uint8_t d[4];
        PutU32(d, k * 3);
        bth.Put(k, d);
    };
    for (std::uint32_t k = 1; k <= 447; ++k) put(k * 10);
    bth.Flush();
    EXPECT_EQ(heap.Get(0x20)[3], 0);  // one leaf, no index
    put(4480);
    bth.Flush();
    const auto header = heap.Get(0x20);
    EXPECT_EQ(header[3], 1);
    const auto index = heap.Get(GetU32(header.data() + 4));
    ASSERT_EQ(index.size(), 16u);
    EXPECT_EQ(GetU32(index.data()), 10u);        // first key of leaf 0
    EXPECT_EQ(GetU32(index.data() + 8), 4480u);  // first key of leaf 1
    // Two index levels once one index item (447 entries) is not enough.
    for (std::uint32_t k = 449; k <= 447 * 448 + 1; ++k) put(k * 10);
    bth.Flush();
    heap.SetUserRoot(0x20);
    HeapReader r(db.Blocks(heap.Write(db)));
    EXPECT_EQ(r.Item(0x20)[3], 2);
    const auto recs = r.BthRecords(0x20);
    ASSERT_EQ(recs.size(), 447u * 448 + 1);
    for (std::size_t i = 0; i < recs.size(); i += 997) {
        EXPECT_EQ(GetU32(recs[i].data()), (i + 1) * 10);
        EXPECT_EQ(GetU32(recs[i].data() + 4), (i + 1) * 30);
    }
}

TEST(Bth, ReplacingAKeyKeepsOneRecord) {
    Heap heap(kSigPc);
    BthWriter bth(heap, 2, 6);
    const std::uint8_t a[6] = {1, 2, 3, 4, 5, 6};
    const std::uint8_t b[6] = {9, 9, 9, 9, 9, 9};
    bth.Put(0x3001, a);
    bth.Put(0x3001, b);
    bth.Flush();
    EXPECT_EQ(bth.Size(), 1u);
    const auto leafSpan = heap.Get(GetU32(heap.Get(0x20).data() + 4));
    EXPECT_EQ(Bytes(leafSpan.begin(), leafSpan.end()), (Bytes{0x01, 0x30, 9, 9, 9, 9, 9, 9}));
    EXPECT_THROW(bth.Put(0x10000, a), LtpError);
}

}  // namespace
}  // namespace tarvelle::pst::ltp
