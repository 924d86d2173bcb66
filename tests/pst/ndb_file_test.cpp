// Files written by the node database, read back by the strict checker and by hand.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "ndb_test_support.h"
#include "pst/ndb/Format.h"

namespace tarvelle::pst::ndb {
namespace {

using testing::AddMandatoryNodes;
using testing::CheckFile;
using testing::Expected;
using testing::ReadBack;
using testing::ScratchDir;
using testing::SomeBytes;
using Lines = std::vector<std::string>;

std::vector<std::uint8_t> ReadAt(const std::filesystem::path& file, std::uint64_t offset,
                                 std::size_t n) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> b(n);
    in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
    b.resize(static_cast<std::size_t>(in.gcount()));
    return b;
}

int NodeCount(const std::string& checkOutput) {
    std::smatch m;
    static const std::regex re(R"((\d+) nodes, (\d+) blocks)");
    return std::regex_search(checkOutput, m, re) ? std::stoi(m[1]) : -1;
}
int BlockCount(const std::string& checkOutput) {
    std::smatch m;
    static const std::regex re(R"((\d+) nodes, (\d+) blocks)");
    return std::regex_search(checkOutput, m, re) ? std::stoi(m[2]) : -1;
}

// cLevel of the root page of the node (0) or block (1) B-tree.
int RootLevel(const std::filesystem::path& file, int tree) {
    const auto header = ReadAt(file, 0, kHeaderSize);
    const std::uint64_t ib = GetU64(&header[tree == 0 ? 224 : 240]);
    return ReadAt(file, ib, kPageSize).at(491);
}

TEST(NdbFile, SmallStoreIsValidAfterEveryCommitAndExactAfterClose) {
    ScratchDir dir;
    const auto path = dir / "small.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    const auto one = SomeBytes(100, 1);
    const auto two = SomeBytes(kMaxBlockPayload * 3 + 5, 2);  // an XBLOCK over four blocks
    db->SetNode(0x200024, db->WriteData(one), 0, 0x122);
    db->Commit();
    auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(ReadBack(path, {{0x200024, 0}}), Lines{Expected(one)});

    db->SetNode(0x200044, db->WriteData(two), 0, 0x122);
    EXPECT_EQ(db->DataSize(db->WriteData(two)), two.size());
    db->Close();
    r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(r.warnings, 0) << r.output;
    EXPECT_EQ(NodeCount(r.output), 14);
    EXPECT_EQ(BlockCount(r.output), 6) << "the unreferenced tree written above is dropped";
    EXPECT_EQ(ReadBack(path, {{0x200024, 0}, {0x200044, 0}}),
              (Lines{Expected(one), Expected(two)}));
}

TEST(NdbFile, HeaderCarriesTheUnicodeFormatAndExactRoot) {
    ScratchDir dir;
    const auto path = dir / "header.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    EXPECT_EQ(db->AllocateNid(0x02), 0x8022u);    // first folder after the blank-file counters
    EXPECT_EQ(db->AllocateNid(0x04), 0x200024u);  // first message
    db->SetNode(0x200024, db->WriteData(SomeBytes(10, 3)), 0, 0x122);
    db->Close();

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "address books are personal data";
    const auto h = ReadAt(path, 0, kHeaderSize);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "!BDN");
    EXPECT_EQ(GetU16(&h[10]), 23);  // wVer
    EXPECT_EQ(GetU16(&h[12]), 19);  // wVerClient
    EXPECT_EQ(h[513], 1);           // PERMUTE by default
    EXPECT_EQ(h[512], 0x80);
    EXPECT_EQ(h[248], 2);  // fAMapValid
    EXPECT_EQ(GetU32(&h[4]), Crc(std::span(h).subspan(8, 471)));
    EXPECT_EQ(GetU32(&h[524]), Crc(std::span(h).subspan(8, 516)));
    for (std::size_t i = 256; i < 512; ++i) ASSERT_EQ(h[i], 0xFF) << "rgbFM/rgbFP at " << i;
    EXPECT_EQ(GetU64(&h[184]), std::filesystem::file_size(path));  // ibFileEof
    EXPECT_EQ(std::filesystem::file_size(path), 0x42400u) << "one AMap range is enough";
    EXPECT_EQ(GetU32(&h[44 + 4 * 2]), 0x401u);    // rgnid[NORMAL_FOLDER]
    EXPECT_EQ(GetU32(&h[44 + 4 * 4]), 0x10001u);  // rgnid[NORMAL_MESSAGE]
    EXPECT_EQ(GetU32(&h[44 + 4 * 3]), 0x4000u);   // untouched blank-file value
    // The DList carries bidNextP in its trailer without using it up.
    const auto dlist = ReadAt(path, kDListOffset, kPageSize);
    EXPECT_EQ(dlist[496], kPageDList);
    EXPECT_EQ(GetU64(&dlist[504]), GetU64(&h[32]));
}

TEST(NdbFile, NidCountersNeverFallBelowANidInUse) {
    ScratchDir dir;
    auto db = NodeDatabase::Create(dir / "nids.pst");
    db->SetNode(0x200064, 0, 0, 0x122);  // index 0x10003, set without AllocateNid
    EXPECT_EQ(db->NidCounter(0x04), 0x10003u);
    db->SetNidCounter(0x04, 0x10001);
    EXPECT_EQ(db->AllocateNid(0x04), 0x200084u) << "0x200064 is taken";
    db->SetNidCounter(0x02, 0x500);
    EXPECT_EQ(db->AllocateNid(0x02), (0x501u << 5) | 0x02);
    EXPECT_EQ(db->NidCounter(0x03), 0x4000u);
}

TEST(NdbFile, WithoutEncodingDataIsStoredAsIs) {
    ScratchDir dir;
    const auto path = dir / "plain.pst";
    auto db = NodeDatabase::Create(path, CreateOptions{CryptMethod::None});
    AddMandatoryNodes(*db);
    const auto data = SomeBytes(700, 4);
    const Bid bid = db->WriteDataBlock(data);
    db->SetNode(0x200024, bid, 0, 0x122);
    db->Close();
    const auto all = ReadAt(path, 0, std::filesystem::file_size(path));
    EXPECT_EQ(all[513], 0);
    EXPECT_NE(std::search(all.begin(), all.end(), data.begin(), data.end()), all.end());
    EXPECT_EQ(ReadBack(path, {{0x200024, 0}}), Lines{Expected(data)});
    EXPECT_EQ(CheckFile(path).errors, 0);
}

TEST(NdbFile, NeverOpensOrReplacesAnExistingPath) {
    ScratchDir dir;
    const auto existing = dir / "mine.pst";
    std::ofstream(existing) << "not yours";
    EXPECT_THROW(NodeDatabase::Create(existing), IoError);
    std::ifstream in(existing);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "not yours");

    const auto dangling = dir / "link.pst";
    std::filesystem::create_symlink(dir / "nowhere.pst", dangling);
    EXPECT_THROW(NodeDatabase::Create(dangling), IoError);
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.pst"));

    EXPECT_THROW(NodeDatabase::Create(dir / "no-such-folder" / "x.pst"), IoError);
    // No temporary files are left behind by the refusals.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(NdbFile, ManyNodesBuildDeepTreesInKeyOrder) {
    ScratchDir dir;
    const auto path = dir / "many.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    const auto payload = SomeBytes(40, 5);
    // Messages in ascending order and folders interleaved below them: inserts land in the
    // middle of full leaves as well as at the end.
    for (int i = 0; i < 50000; ++i) {
        const Nid message = db->AllocateNid(0x04);
        db->SetNode(message, db->WriteDataBlock(payload), 0, 0x122);
        if (i % 50 == 0) db->SetNode(db->AllocateNid(0x02), 0, 0, 0x122);
        if (i % 10000 == 0) db->Commit();
    }
    db->Close();
    const auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output.substr(0, 2000);
    EXPECT_EQ(r.warnings, 0) << r.output.substr(0, 2000);
    EXPECT_EQ(NodeCount(r.output), 51012);
    EXPECT_EQ(BlockCount(r.output), 50000);
    EXPECT_GE(RootLevel(path, 0), 3);  // 51,012 entries need leaves, two branch levels, a root
    EXPECT_GE(RootLevel(path, 1), 2);
}

TEST(NdbFile, ReplacingAndDeletingNodesKeepsReferenceCountsAndReusesSpace) {
    ScratchDir dir;
    const auto path = dir / "churn.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    const Bid shared = db->WriteData(SomeBytes(500, 6));
    for (Nid nid : {0x200024u, 0x200044u, 0x200064u}) db->SetNode(nid, shared, 0, 0x122);
    // Rewrite a 1 MB node a hundred times: each commit releases the previous copy.
    std::uint64_t sizeAfterSecondRound = 0;
    for (int round = 0; round < 100; ++round) {
        db->SetNode(0x200084, db->WriteData(SomeBytes(1 << 20, 100 + round)), 0, 0x122);
        db->Commit();
        if (round == 1) sizeAfterSecondRound = db->FileSize();
    }
    EXPECT_EQ(db->FileSize(), sizeAfterSecondRound) << "freed space must be reused";
    db->SetNode(0x200024, db->WriteData(SomeBytes(10, 7)), 0, 0x122);
    db->DeleteNode(0x200044);
    EXPECT_FALSE(db->HasNode(0x200044));
    EXPECT_TRUE(db->HasNode(0x200064));
    db->Close();
    const auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(r.warnings, 0) << r.output;  // includes cRef == references + 1 for the shared block
    EXPECT_EQ(ReadBack(path, {{0x200064, 0}, {0x200084, 0}}),
              (Lines{Expected(SomeBytes(500, 6)), Expected(SomeBytes(1 << 20, 199))}));
    EXPECT_LT(std::filesystem::file_size(path), 4u << 20);
}

TEST(NdbFile, LargeDataUsesAnXxBlockTree) {
    ScratchDir dir;
    const auto path = dir / "xx.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    const auto big = SomeBytes(kMaxBlockPayload * 1021 * 2 + 100, 8);  // three XBLOCKs
    const Bid root = db->WriteData(big);
    EXPECT_EQ(db->DataSize(root), big.size());
    db->SetNode(0x200024, root, 0, 0x122);
    db->Close();
    const auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(r.warnings, 0) << r.output;
    EXPECT_EQ(ReadBack(path, {{0x200024, 0}}), Lines{Expected(big)});
    EXPECT_EQ(BlockCount(r.output), 2043 + 3 + 1);
}

TEST(NdbFile, GrowingDataTreeKeepsItsUnchangedBlocks) {
    ScratchDir dir;
    const auto path = dir / "grow.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    // A table's pages as the table layer keeps them: written once, listed again by every new
    // version of the tree.
    std::vector<Bid> pages;
    std::vector<std::uint8_t> all;
    auto addPage = [&](std::uint32_t seed, std::size_t size) {
        const auto bytes = SomeBytes(size, seed);
        pages.push_back(db->WriteDataBlock(bytes));
        all.insert(all.end(), bytes.begin(), bytes.end());
    };
    for (std::uint32_t i = 0; i < 1021 * 2 + 4; ++i) addPage(i, kMaxBlockPayload);
    addPage(99999, 300);
    const Bid first = db->WriteDataTree(pages);
    db->SetNode(0x20D, first, 0, 0);
    db->Commit();

    // The last page fills up and one more follows: the two full XBLOCKs stay as they are.
    all.resize(all.size() - 300);
    pages.pop_back();
    addPage(99999, kMaxBlockPayload);
    addPage(100000, 10);
    const Bid second = db->WriteDataTree(pages);
    EXPECT_NE(second, first);
    EXPECT_EQ(db->DataSize(second), all.size());
    db->SetNode(0x20D, second, 0, 0);
    db->Close();

    const auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(r.warnings, 0) << r.output;
    // 2,048 pages, two shared XBLOCKs, the new third one and the new XXBLOCK.
    EXPECT_EQ(BlockCount(r.output), 2048 + 4);
    EXPECT_EQ(ReadBack(path, {{0x20D, 0}}), Lines{Expected(all)});
    // BIDs handed out: 2,049 data blocks, four internal blocks for the first version and only
    // two for the second (bidNextB starts at 4 and counts by 4).
    EXPECT_EQ(GetU64(&ReadAt(path, 0, kHeaderSize)[516]), 4u + 4u * (2049 + 4 + 2));
}

TEST(NdbFile, ManySubnodesUseAnSiBlockTree) {
    ScratchDir dir;
    const auto path = dir / "si.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    std::vector<SubnodeEntry> subs;
    for (Nid i = 1000; i > 0; --i) {  // given unsorted; stored by NID
        const auto data = SomeBytes(20 + i % 50, i);
        subs.push_back(SubnodeEntry{(i << 5) | 0x1F, db->WriteData(data), 0});
    }
    // A subnode with subnodes of its own.
    const Bid inner =
        db->WriteSubnodeTree(std::vector<SubnodeEntry>{{0x3F, db->WriteData(SomeBytes(30, 9)), 0}});
    subs.push_back(SubnodeEntry{0x10001F, db->WriteData(SomeBytes(40, 10)), inner});
    db->SetNode(0x200024, db->WriteData(SomeBytes(64, 11)), db->WriteSubnodeTree(subs), 0x122);
    db->Close();
    const auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output;
    EXPECT_EQ(r.warnings, 0) << r.output;
    EXPECT_EQ(ReadBack(path, {{0x200024, (1u << 5) | 0x1F},
                              {0x200024, (1000u << 5) | 0x1F},
                              {0x200024, 0x10001F}}),
              (Lines{Expected(SomeBytes(21, 1)), Expected(SomeBytes(20, 1000)),
                     Expected(SomeBytes(40, 10))}));
}

TEST(NdbFile, FilesPastOneHundredTwentyEightAMapsHaveFMapPages) {
    ScratchDir dir;
    const auto path = dir / "fmap.pst";
    auto db = NodeDatabase::Create(path);
    AddMandatoryNodes(*db);
    const auto chunk = SomeBytes(4 << 20, 12);
    for (Nid i = 0; i < 9; ++i) {  // 36 MB, grown several times on the way
        db->SetNode(0x200024 + 32 * i, db->WriteData(chunk), 0, 0x122);
        db->Commit();
    }
    auto r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output.substr(0, 2000);
    db->Close();
    ASSERT_GT(std::filesystem::file_size(path), RangeStart(129));
    r = CheckFile(path);
    EXPECT_EQ(r.errors, 0) << r.output.substr(0, 2000);
    EXPECT_EQ(r.warnings, 0) << r.output.substr(0, 2000);
    const auto fmap = ReadAt(path, 0x1F04800, kPageSize);
    EXPECT_EQ(fmap[496], kPageFMap);
    EXPECT_EQ(GetU64(&fmap[504]), 0x1F04800u);
    EXPECT_EQ(ReadBack(path, {{0x200024 + 32 * 8, 0}}), Lines{Expected(chunk)});
}

TEST(NdbFile, RejectsMisuseWithNdbError) {
    ScratchDir dir;
    auto db = NodeDatabase::Create(dir / "misuse.pst");
    const std::vector<std::uint8_t> tooBig(kMaxBlockPayload + 1);
    EXPECT_THROW(db->WriteDataBlock(tooBig), NdbError);
    const Bid shortBlock = db->WriteDataBlock(SomeBytes(100, 14));
    const Bid fullBlock = db->WriteDataBlock(SomeBytes(kMaxBlockPayload, 15));
    const std::vector<Bid> shortFirst = {shortBlock, fullBlock};
    EXPECT_THROW(db->WriteDataTree(shortFirst), NdbError) << "readers seek by 8176-byte blocks";
    EXPECT_THROW(db->WriteDataTree(std::vector<Bid>{}), NdbError);
    EXPECT_THROW(db->SetNode(0x21, 0x123454, 0, 0), NdbError) << "unknown block";
    EXPECT_THROW(db->SetNode(0x21, 0, fullBlock, 0), NdbError) << "not a subnode tree";
    const Bid tree = db->WriteSubnodeTree(std::vector<SubnodeEntry>{{0x3F, fullBlock, 0}});
    EXPECT_THROW(db->SetNode(0x21, tree, 0, 0), NdbError) << "a subnode tree is not data";
    const std::vector<SubnodeEntry> twice = {{0x3F, fullBlock, 0}, {0x3F, shortBlock, 0}};
    EXPECT_THROW(db->WriteSubnodeTree(twice), NdbError);
    EXPECT_THROW(db->DeleteNode(0x21), NdbError);
    EXPECT_EQ(db->WriteSubnodeTree({}), 0u);
    EXPECT_EQ(db->DataSize(0), 0u);
    db->Commit();
    // Blocks nobody referred to are gone after the commit.
    EXPECT_THROW(db->SetNode(0x21, fullBlock, 0, 0), NdbError);
    db->Close();
    EXPECT_NO_THROW(db->Close());
    EXPECT_THROW(db->Commit(), NdbError);
    EXPECT_THROW(db->WriteDataBlock(SomeBytes(1, 1)), NdbError);
}

}  // namespace
}  // namespace tarvelle::pst::ndb
