// The LTP layer for its callers: heap items replaced and freed, pages kept or read back, what a
// written store does not reach (bitmap pages, two BTH index levels), property and table
// contexts. The rest of their layout is the verifier's to check on every written file.
#include <gtest/gtest.h>

#include <algorithm>

#include "pst/ltp/Bth.h"
#include "pst/ltp/Heap.h"
#include "pst/ltp/PropertyContext.h"
#include "pst/ltp/TableContext.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::ltp {
namespace {

using testing::FakeNodeDatabase;
using testing::HeapReader;

// ASCII runs are encoded eight bytes at a time: every length around that, with a character of
// each width at every place, comes out as one character at a time gives it.
TEST(Utf16, EveryCharacterWidthAtEveryPlaceOfTextAroundTheWordSize) {
    auto oneByOne = [](std::string_view text, std::string_view special, std::size_t at) {
        Bytes out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (i == at) {
                const Bytes c = Utf8ToUtf16Le(special);
                out.insert(out.end(), c.begin(), c.end());
            }
            out.push_back(static_cast<std::uint8_t>(text[i]));
            out.push_back(0);
        }
        if (at == text.size()) {
            const Bytes c = Utf8ToUtf16Le(special);
            out.insert(out.end(), c.begin(), c.end());
        }
        return out;
    };
    for (const std::string_view special : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        for (std::size_t length = 0; length <= 25; ++length) {
            std::string ascii;
            for (std::size_t i = 0; i < length; ++i) ascii += static_cast<char>(' ' + (i * 7) % 95);
            EXPECT_EQ(Utf8ToUtf16Le(ascii), oneByOne(ascii, "", length)) << length;
            for (std::size_t at = 0; at <= length; ++at) {
                const std::string text =
                    ascii.substr(0, at) + std::string(special) + ascii.substr(at);
                ASSERT_EQ(Utf8ToUtf16Le(text), oneByOne(ascii, special, at)) << length << " " << at;
            }
        }
    }
}

TEST(Utf16, EncodesBmpSupplementaryAndRejectsBadUtf8) {
    EXPECT_EQ(Utf8ToUtf16Le("A\xC3\xA9"), (Bytes{'A', 0, 0xE9, 0}));
    EXPECT_EQ(Utf8ToUtf16Le("\xE2\x82\xAC"), (Bytes{0xAC, 0x20}));
    // U+1F600 -> D83D DE00
    EXPECT_EQ(Utf8ToUtf16Le("\xF0\x9F\x98\x80"), (Bytes{0x3D, 0xD8, 0x00, 0xDE}));
    EXPECT_THROW(Utf8ToUtf16Le("\xC3"), LtpError);          // truncated
    EXPECT_THROW(Utf8ToUtf16Le("\xC0\xAF"), LtpError);      // overlong
    EXPECT_THROW(Utf8ToUtf16Le("\xED\xA0\x80"), LtpError);  // surrogate
    EXPECT_THROW(Utf8ToUtf16Le("\xFF"), LtpError);
}

TEST(PropertyBag, KeepsValuesInTagOrderAndCopiesAcrossItsOwnGrowth) {
    PropertyBag bag;
    bag.SetString(Tag(0x3001, kString), std::string(3000, 'n'));  // past the initial buffer
    bag.SetInt32(Tag(0x0017, kInt32), 1);
    bag.SetCopyOf(Tag(0x8005, kString), Tag(0x3001, kString));
    bag.SetCopyOf(Tag(0x8006, kString), Tag(0x8005, kString));
    bag.SetInt32(Tag(0x0017, kInt32), 2);  // replaced in place
    std::vector<std::uint32_t> tags;
    for (const auto& [tag, value] : bag) tags.push_back(tag);
    EXPECT_EQ(tags, (std::vector<std::uint32_t>{Tag(0x0017, kInt32), Tag(0x3001, kString),
                                                Tag(0x8005, kString), Tag(0x8006, kString)}));
    EXPECT_EQ(bag.at(Tag(0x8006, kString)), Utf8ToUtf16Le(std::string(3000, 'n')));
    EXPECT_EQ(bag.at(Tag(0x0017, kInt32)), Int32Value(2));
    EXPECT_THROW(bag.SetString(Tag(0x3002, kString), "\xC3"), LtpError);
    EXPECT_EQ(bag.count(Tag(0x3002, kString)), 0u);  // a refused text leaves no value

    // Values set again in any order: the last one set stands, whatever its size. Many others
    // around them, set in descending order, so that putting them in order moves them all.
    PropertyBag mixed;
    for (std::uint16_t id = 0x7FFF; id > 0x7F00; --id) mixed.SetString(Tag(id, kString), "");
    mixed.SetString(Tag(0x3001, kString), "first");
    mixed.SetInt32(Tag(0x0017, kInt32), 1);
    mixed.SetString(Tag(0x0037, kString), "");
    mixed.SetString(Tag(0x0037, kString), "subject");  // where the empty one stood
    mixed.SetString(Tag(0x3001, kString), "second, longer");
    mixed.SetString(Tag(0x1000, kString), "body");
    mixed.SetString(Tag(0x1000, kString), "");
    mixed.SetInt32(Tag(0x0017, kInt32), 3);
    const PropertyBag copy = mixed;
    const PropertyBag& original = mixed;
    for (const PropertyBag* b : {&original, &copy}) {
        std::vector<std::uint32_t> order;
        for (const auto& [tag, value] : *b) order.push_back(tag);
        ASSERT_EQ(order.size(), 4u + 0xFF);
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
        EXPECT_EQ(std::vector<std::uint32_t>(order.begin(), order.begin() + 4),
                  (std::vector<std::uint32_t>{Tag(0x0017, kInt32), Tag(0x0037, kString),
                                              Tag(0x1000, kString), Tag(0x3001, kString)}));
        EXPECT_EQ(b->at(Tag(0x0017, kInt32)), Int32Value(3));
        EXPECT_EQ(b->at(Tag(0x0037, kString)), Utf8ToUtf16Le("subject"));
        EXPECT_TRUE(b->at(Tag(0x1000, kString)).empty());
        EXPECT_EQ(b->at(Tag(0x3001, kString)), Utf8ToUtf16Le("second, longer"));
    }
}

// The one-pass layout for a PC that fits one page must be byte for byte the general heap's.
TEST(PropertyContext, SinglePageLayoutIsTheGeneralHeapsLayout) {
    std::vector<PropertyBag> bags(4);
    bags[1].SetInt32(Tag(0x3602, kInt32), 7);  // only an inline value
    PropertyBag& item = bags[2];
    item.SetBool(Tag(0x0002, kBoolean), true);
    item.SetString(Tag(0x001A, kString), "IPM.Contact");
    item.SetString(Tag(0x0037, kString), "");
    item.SetTime(Tag(0x0039, kTime), 0x01DB001122334455);
    item[Tag(0x0071, kBinary)] = Bytes(22, 0xAB);
    item[Tag(0x3003, kInt16)] = Bytes{1, 2};
    item.SetString(Tag(0x3001, kString), "Ann \xC3\xA9");
    item[Tag(0x8005, kBinary)] = Bytes(kMaxHeapItem, 1);  // the largest heap item
    for (std::uint16_t id = 0x8100; id < 0x8100 + 300; ++id) bags[3].SetInt32(Tag(id, kInt32), id);
    for (const PropertyBag& bag : bags) {
        const std::optional<Bytes> page = SinglePagePropertyHeap(bag);
        ASSERT_TRUE(page.has_value());
        EXPECT_EQ(*page, BuildPropertyHeap(bag).SerializePage(0));
    }

    // Past one page, or with a value for a subnode, the general heap does the work.
    PropertyBag twoPages;
    for (std::uint16_t id = 0x8100; id < 0x8103; ++id) twoPages[Tag(id, kBinary)] = Bytes(3000, 1);
    EXPECT_FALSE(SinglePagePropertyHeap(twoPages).has_value());
    EXPECT_EQ(BuildPropertyHeap(twoPages).PageCount(), 2u);
    PropertyBag large;
    large[Tag(0x1000, kBinary)] = Bytes(kMaxHeapItem + 1, 1);
    EXPECT_FALSE(SinglePagePropertyHeap(large).has_value());
}

TEST(PropertyContext, StoresEmptyStringsAsOutlookAndRefusesWhatItNeverStores) {
    FakeNodeDatabase db;
    PropertyBag empty;
    empty[Tag(0x3001, kString)] = Bytes{};
    const auto records =
        HeapReader(db.Blocks(WritePropertyContext(db, empty).data)).BthRecords(0x20);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(GetU32(records[0].data() + 4), 0u);  // HNID 0, nothing allocated

    // A fixed-length value of the wrong size; an empty binary value (readers take its HNID 0
    // for a missing subnode), in a property context and in a table row.
    for (const auto& [tag, value] :
         {std::pair{Tag(0x3602, kInt32), Bytes{1, 2}}, std::pair{Tag(0x0004, kBinary), Bytes{}}}) {
        PropertyBag props;
        props[tag] = value;
        EXPECT_THROW(WritePropertyContext(db, props), LtpError);
        EXPECT_THROW(SinglePagePropertyHeap(props), LtpError);
        TableContext tc({tag});
        EXPECT_THROW(tc.SetRow(1, props), LtpError);
    }
}

const std::vector<std::uint32_t> kHierarchyColumns = {
    0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003,
    0x36030003, 0x360A000B, 0x3613001F, 0x66350003, 0x66360003};

// Outlook's hierarchy table: 13 columns with the row ID and version first, rgib (52, 52, 53, 55).
// The table's structure and cells are the verifier's to check on every written file.
TEST(TableContext, HierarchyLayoutIsOutlooksAndARowIsReplacedInPlace) {
    TableContext tc(kHierarchyColumns);
    ASSERT_EQ(tc.Columns().size(), 13u);
    EXPECT_EQ(tc.RowSize(), 55u);
    std::map<std::uint32_t, ColumnDesc> cols;
    for (const auto& c : tc.Columns()) cols[c.tag] = c;
    EXPECT_EQ(cols[kTagLtpRowVer].ibData, 4);
    EXPECT_EQ(cols[kTagLtpRowVer].iBit, 1);
    EXPECT_EQ(cols[0x360A000B].ibData, 52);
    PropertyBag row;
    row[0x36020003] = Int32Value(3);
    row[0x12340003] = Int32Value(1);  // no such column: ignored
    tc.SetRow(0x80A2, row);
    row[0x36020003] = Int32Value(4);
    tc.SetRow(0x80A2, row);
    EXPECT_EQ(tc.RowCount(), 1u);
    EXPECT_EQ(GetU32(tc.RowBytes(0).data() + cols[0x36020003].ibData), 4u);
}

// A row of the two-column append-only tables below, with the row ID the row index gives it.
PropertyBag NameRow(const std::string& name, std::uint32_t value) {
    PropertyBag row;
    row[0x3001001F] = StringValue(name);
    row[0x36020003] = Int32Value(static_cast<std::int32_t>(value));
    return row;
}
constexpr std::uint32_t RowId(std::size_t i) {
    return static_cast<std::uint32_t>(0x200024 + 32 * i);
}

// An append-only table of NameRows, with where each column lies in a row and how many rows fill
// a block.
struct NameTable {
    TableContext tc{{0x3001001F, 0x36020003}, true};
    std::map<std::uint32_t, std::size_t> ib;
    std::size_t perBlock = 0;
    NameTable() {
        for (const auto& c : tc.Columns()) ib[c.tag] = c.ibData;
        perBlock = kHeapPageSize / tc.RowSize();
    }
};

TEST(TableContext, LargeAppendOnlyTableUsesWholeRowBlocksAndRewritesOnlyTheTail) {
    FakeNodeDatabase db;
    NameTable table;
    auto& [tc, ib, perBlock] = table;
    const std::size_t n = perBlock * 3 + 5;
    const std::size_t kept = perBlock * 2 + 1;  // a row that stays replaceable
    for (std::uint32_t i = 0; i < n; ++i) tc.SetRow(RowId(i), NameRow("name", i), i == kept);
    // Whole rows per block: the row matrix and the index are the verifier's to check.
    NodeContent nc = tc.Write(db);
    const auto blocks1 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    ASSERT_EQ(blocks1.size(), 4u);

    // One more row: the full row blocks keep their block IDs.
    tc.SetRow(0x7FFFFFF, NameRow("last", 1));
    nc = tc.Write(db);
    const auto blocks2 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    EXPECT_EQ(blocks2[0], blocks1[0]);
    EXPECT_EQ(blocks2[2], blocks1[2]);
    EXPECT_NE(blocks2[3], blocks1[3]);
    // Out of order in an append-only table; the last row may still change (a list saved again).
    EXPECT_THROW(tc.SetRow(RowId(0), NameRow("last", 1)), LtpError);
    tc.SetRow(0x7FFFFFF, NameRow("last", 99));
    EXPECT_EQ(GetU32(tc.RowBytes(n).data() + ib[0x36020003]), 99u);

    // The replaceable row changes although its block of rows and the heap page of its text have
    // left memory: both are read back, the old text is freed, the other blocks stay as they were.
    const std::size_t at = (kept % perBlock) * tc.RowSize();
    const Hid oldText = GetU32(db.blocks.at(blocks1[2]).data() + at + ib[0x3001001F]);
    ASSERT_GT(oldText >> 16, 0u);
    ASSERT_LT((oldText >> 16) + 1, db.Blocks(nc.data).size());  // a full page, dropped
    tc.SetRow(RowId(kept), NameRow("saved again", 99));
    nc = tc.Write(db);
    EXPECT_EQ(db.blockReads, 2);
    const auto tree3 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    EXPECT_EQ(tree3[1], blocks2[1]);
    EXPECT_NE(tree3[2], blocks2[2]);
    const auto& block = db.blocks.at(tree3[2]);
    EXPECT_EQ(GetU32(block.data() + at), RowId(kept));
    EXPECT_EQ(GetU32(block.data() + at + ib[0x36020003]), 99u);
    HeapReader r3(db.Blocks(nc.data));
    EXPECT_EQ(r3.Item(GetU32(block.data() + at + ib[0x3001001F])), StringValue("saved again"));
    EXPECT_TRUE(r3.Item(oldText).empty());
    EXPECT_EQ(tc.RowCount(), n + 1);
}

TEST(TableContext, ARowSavedAgainKeepsTheTextsThatDidNotChangeWhereTheyAre) {
    FakeNodeDatabase db;
    NameTable table;
    auto& [tc, ib, perBlock] = table;
    const std::size_t n = perBlock * 3 + 5;
    const std::size_t kept = perBlock + 1;
    for (std::uint32_t i = 0; i < n; ++i) {
        tc.SetRow(RowId(i), NameRow("name " + std::to_string(i), i), i == kept);
    }
    NodeContent nc = tc.Write(db);
    const auto rows1 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    const auto heap1 = db.trees.at(nc.data);
    const std::size_t at = (kept % perBlock) * tc.RowSize();
    const Hid text = GetU32(db.blocks.at(rows1[1]).data() + at + ib[0x3001001F]);
    ASSERT_LT((text >> 16) + 1, heap1.size());  // on a full page, dropped from memory

    // The same text, another number: only the row's block changes; the text stays in its cell
    // and its heap page is not written again.
    tc.SetRow(RowId(kept), NameRow("name " + std::to_string(kept), 99));
    nc = tc.Write(db);
    const auto rows2 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    const auto heap2 = db.trees.at(nc.data);
    EXPECT_NE(rows2[1], rows1[1]);
    EXPECT_EQ(rows2[0], rows1[0]);
    EXPECT_EQ(heap2[text >> 16], heap1[text >> 16]);
    const auto& block = db.blocks.at(rows2[1]);
    EXPECT_EQ(GetU32(block.data() + at + ib[0x36020003]), 99u);
    EXPECT_EQ(GetU32(block.data() + at + ib[0x3001001F]), text);
    HeapReader r2(db.Blocks(nc.data));
    EXPECT_EQ(r2.Item(text), StringValue("name " + std::to_string(kept)));

    // Another text: it takes a new cell and the old one is freed.
    tc.SetRow(RowId(kept), NameRow("renamed", 99));
    nc = tc.Write(db);
    const auto& block3 = db.blocks.at(db.trees.at(db.subtrees.at(nc.subnode)[0].data)[1]);
    const Hid renamed = GetU32(block3.data() + at + ib[0x3001001F]);
    EXPECT_NE(renamed, text);
    HeapReader r3(db.Blocks(nc.data));
    EXPECT_EQ(r3.Item(renamed), StringValue("renamed"));
    EXPECT_TRUE(r3.Item(text).empty());
}

TEST(TableContext, WritingFullPagesAsTheTableFillsGivesTheSameTable) {
    // The same rows, once with the full row blocks and heap pages written as they fill.
    FakeNodeDatabase db;
    TableContext early({0x3001001F, 0x36020003}, true);
    TableContext late({0x3001001F, 0x36020003}, true);
    for (std::uint32_t i = 0; i < 3000; ++i) {
        const PropertyBag row =
            NameRow("a name long enough to fill heap pages " + std::to_string(i), i);
        early.SetRow(RowId(i), row);
        early.WriteFull(db);
        late.SetRow(RowId(i), row);
    }
    EXPECT_GT(db.blockWrites, 30) << "pages and row blocks written before the table is";
    const NodeContent a = early.Write(db);
    const NodeContent b = late.Write(db);
    EXPECT_EQ(db.Data(a.data), db.Data(b.data));
    EXPECT_EQ(db.SubnodeData(a.subnode, kRowMatrixNid), db.SubnodeData(b.subnode, kRowMatrixNid));
}

TEST(Heap, GrowsOverPagesWithBitmapHeadersAndPaddedBlocks) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    std::vector<Hid> hids;
    for (int i = 0; i < 2 * 10; ++i)
        hids.push_back(heap.Allocate(Bytes(3500, static_cast<std::uint8_t>(i))));
    // Two 3500-byte items per page: page k holds items 2k and 2k+1.
    EXPECT_EQ(hids[2], MakeHid(1, 1));
    EXPECT_EQ(hids[17], MakeHid(8, 2));
    ASSERT_EQ(heap.PageCount(), 10u);
    // The page map's first offset: items start after the 66-byte HNBITMAPHDR on page 8 and
    // after the 2-byte HNPAGEHDR on page 1.
    const auto firstItem = [](const Bytes& page) {
        return GetU16(page.data() + GetU16(page.data()) + 4);
    };
    EXPECT_EQ(firstItem(heap.SerializePage(8)), 66);
    EXPECT_EQ(firstItem(heap.SerializePage(1)), 2);
    const auto blocks = db.Blocks(heap.Write(db));
    for (std::size_t i = 0; i + 1 < blocks.size(); ++i) EXPECT_EQ(blocks[i].size(), kHeapPageSize);
    EXPECT_EQ(HeapReader(blocks).Item(hids[17]), Bytes(3500, 17));
}

TEST(Heap, ReplaceFreeAndLimits) {
    Heap heap(kSigPc);
    const Hid a = heap.Allocate(Bytes(10, 1));
    const Hid b = heap.Allocate(Bytes(10, 2));
    EXPECT_EQ(heap.Replace(a, Bytes(20, 3)), a);  // fits: stays in place
    EXPECT_EQ(Bytes(heap.Get(a).begin(), heap.Get(a).end()), Bytes(20, 3));
    EXPECT_EQ(Bytes(heap.Get(b).begin(), heap.Get(b).end()), Bytes(10, 2));
    heap.Free(b);
    const Bytes page = heap.SerializePage(0);
    const std::size_t map = GetU16(page.data());
    EXPECT_EQ(GetU16(page.data() + map + 2), 1);                              // cFree
    EXPECT_EQ(GetU16(page.data() + map + 6), GetU16(page.data() + map + 8));  // empty item 2
    EXPECT_EQ(heap.Allocate(Bytes(5, 4)), b);  // the free slot is reused
    EXPECT_THROW(heap.Allocate(Bytes(3581, 0)), LtpError);
    EXPECT_THROW(heap.Allocate(Bytes{}), LtpError);
    EXPECT_THROW(heap.Get(0x60), LtpError);
}

TEST(Heap, UnchangedPagesKeepTheirBlocksAndDroppedPagesAreReadBackToChange) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    const Hid first = heap.Allocate(Bytes(3500, 1));
    const Hid second = heap.Allocate(Bytes(3500, 2));
    heap.Allocate(Bytes(3500, 3));  // page 1
    heap.Write(db);
    const int writes = db.blockWrites;
    heap.Allocate(Bytes(100, 4));
    heap.Write(db);
    EXPECT_EQ(db.blockWrites, writes + 1);    // only the last page
    EXPECT_THROW(heap.Get(first), LtpError);  // page 0 left memory

    // Changing it reads it back; it is written again and leaves memory again.
    EXPECT_EQ(heap.Replace(first, Bytes(1, 9)), first);
    heap.Free(second);
    EXPECT_EQ(db.blockReads, 1);
    HeapReader r(db.Blocks(heap.Write(db)));
    EXPECT_EQ(db.blockWrites, writes + 2);
    EXPECT_EQ(r.Item(first), Bytes(1, 9));
    EXPECT_TRUE(r.Item(second).empty());
    EXPECT_EQ(r.Item(MakeHid(1, 2)), Bytes(100, 4));
    EXPECT_THROW(heap.Get(first), LtpError);
}

TEST(Bth, IndexLevelsAppearPast447RecordsAndTrackAppends) {
    FakeNodeDatabase db;
    Heap heap(kSigTc);
    BthWriter bth(heap, 4, 4);
    EXPECT_EQ(bth.RecordsPerLeaf(), 447u);
    std::uint8_t d[4];
    auto put = [&](std::uint32_t k) { PutU32(d, k * 3), bth.Put(k, d); };
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
