// Property contexts (value placement) and table contexts (row layout, CEB, row matrix placement,
// incremental growth).
#include <gtest/gtest.h>

#include "pst/ltp/PropertyContext.h"
#include "pst/ltp/TableContext.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::ltp {
namespace {

using testing::FakeNodeDatabase;
using testing::HeapReader;

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
        const Heap heap = BuildPropertyHeap(bag);
        ASSERT_EQ(heap.PageCount(), 1u);
        EXPECT_EQ(*page, heap.SerializePage(0));
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
    HeapReader r(db.Blocks(WritePropertyContext(db, empty).data));
    const auto records = r.BthRecords(0x20);
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

TEST(TableContext, LargeAppendOnlyTableUsesWholeRowBlocksAndRewritesOnlyTheTail) {
    FakeNodeDatabase db;
    TableContext tc({0x3001001F, 0x36020003}, true);
    const std::size_t rowSize = tc.RowSize();  // 8 + 8 + 1 = 17
    ASSERT_EQ(rowSize, 17u);
    const std::size_t perBlock = kHeapPageSize / rowSize;
    const std::size_t n = perBlock * 3 + 5;
    const std::size_t kept = perBlock * 2 + 1;  // a row that stays replaceable
    for (std::size_t i = 0; i < n; ++i) {
        PropertyBag row;
        row[0x3001001F] = StringValue("name " + std::to_string(i));
        row[0x36020003] = Int32Value(static_cast<std::int32_t>(i));
        tc.SetRow(static_cast<std::uint32_t>(0x200024 + 32 * i), row, i == kept);
    }
    // Whole rows per block: the row matrix and the index are the verifier's to check.
    NodeContent nc = tc.Write(db);
    const auto& entries = db.subtrees.at(nc.subnode);
    const auto blocks = db.Blocks(entries[0].data);
    ASSERT_EQ(blocks.size(), 4u);

    // One more row: the full row blocks keep their block IDs.
    PropertyBag row;
    row[0x36020003] = Int32Value(1);
    tc.SetRow(0x7FFFFFF, row);
    nc = tc.Write(db);
    const auto blocks2 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    const auto blocks1 = db.trees.at(entries[0].data);
    EXPECT_EQ(blocks2[0], blocks1[0]);
    EXPECT_EQ(blocks2[2], blocks1[2]);
    EXPECT_NE(blocks2[3], blocks1[3]);
    EXPECT_THROW(tc.SetRow(0x200024, row), LtpError);  // out of order in an append-only table
    // The last row may still change (a list saved again with its members).
    row[0x36020003] = Int32Value(99);
    tc.SetRow(0x7FFFFFF, row);
    EXPECT_EQ(tc.RowCount(), n + 1);
    std::uint16_t ib = 0;
    std::uint16_t ibName = 0;
    for (const auto& c : tc.Columns()) {
        if (c.tag == 0x36020003) ib = c.ibData;
        if (c.tag == 0x3001001F) ibName = c.ibData;
    }
    EXPECT_EQ(GetU32(tc.RowBytes(n).data() + ib), 99u);

    // The replaceable row changes although its block of rows and the heap page of its text have
    // left memory: both are read back, the old text is freed, the other blocks stay as they were.
    const std::size_t at = (kept % perBlock) * rowSize;
    const Hid oldText = GetU32(blocks[2].data() + at + ibName);
    ASSERT_GT(oldText >> 16, 0u);
    ASSERT_LT((oldText >> 16) + 1, db.Blocks(nc.data).size());  // a full page, dropped
    row[0x3001001F] = StringValue("saved again");
    tc.SetRow(static_cast<std::uint32_t>(0x200024 + 32 * kept), row);
    nc = tc.Write(db);
    EXPECT_EQ(db.blockReads, 2);
    const auto tree3 = db.trees.at(db.subtrees.at(nc.subnode)[0].data);
    EXPECT_EQ(tree3[1], blocks2[1]);
    EXPECT_NE(tree3[2], blocks2[2]);
    const auto& block = db.blocks.at(tree3[2]);
    EXPECT_EQ(GetU32(block.data() + at), 0x200024 + 32 * kept);
    EXPECT_EQ(GetU32(block.data() + at + ib), 99u);
    HeapReader r3(db.Blocks(nc.data));
    EXPECT_EQ(r3.Item(GetU32(block.data() + at + ibName)), StringValue("saved again"));
    EXPECT_TRUE(r3.Item(oldText).empty());
    EXPECT_EQ(tc.RowCount(), n + 1);
}

TEST(TableContext, WritingFullPagesAsTheTableFillsGivesTheSameTable) {
    // The same rows, once with the full row blocks and heap pages written as they fill.
    FakeNodeDatabase db;
    TableContext early({0x3001001F, 0x36020003}, true);
    TableContext late({0x3001001F, 0x36020003}, true);
    for (std::uint32_t i = 0; i < 3000; ++i) {
        PropertyBag row;
        row[0x3001001F] = StringValue("a name long enough to fill heap pages " + std::to_string(i));
        row[0x36020003] = Int32Value(static_cast<std::int32_t>(i));
        early.SetRow(0x200024 + 32 * i, row);
        early.WriteFull(db);
        late.SetRow(0x200024 + 32 * i, row);
    }
    const std::size_t written = db.blockWrites;
    EXPECT_GT(written, 30u) << "pages and row blocks written before the table is";
    const NodeContent a = early.Write(db);
    const NodeContent b = late.Write(db);
    EXPECT_EQ(db.Data(a.data), db.Data(b.data));
    EXPECT_EQ(db.SubnodeData(a.subnode, kRowMatrixNid), db.SubnodeData(b.subnode, kRowMatrixNid));
}

}  // namespace
}  // namespace tarvelle::pst::ltp
