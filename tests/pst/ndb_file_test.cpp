// Files written by the node database, read back by the strict checker and by hand.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <system_error>
#include <thread>

#include "ndb_test_support.h"
#include "pst/ndb/File.h"
#include "pst/ndb/Format.h"

namespace tarvelle::pst::ndb {
namespace {

using namespace testing;
using Lines = std::vector<std::string>;

// A new file holding the mandatory nodes; CloseClean closes it and expects the checker to find
// nothing.
class NdbFile : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = NodeDatabase::Create(path_);
        AddMandatoryNodes(*db_);
    }
    CheckResult CloseClean() {
        db_->Close();
        CheckResult r = CheckFile(path_);
        EXPECT_EQ(std::pair(r.errors, r.warnings), std::pair(0, 0)) << r.output.substr(0, 3000);
        return r;
    }
    TempDir dir_{"tarvelle-ndb-"};
    std::filesystem::path path_ = dir_.path() / "file.pst";
    std::unique_ptr<NodeDatabase> db_;
};

TEST_F(NdbFile, HeaderCarriesThePermissionsAndCounters) {
    EXPECT_EQ(db_->AllocateNid(0x02), 0x8022u);    // first folder after the blank-file counters
    EXPECT_EQ(db_->AllocateNid(0x04), 0x200024u);  // first message
    db_->SetNode(0x200024, db_->WriteData(SomeBytes(10, 3)), 0, 0x122);
    CloseClean();
    EXPECT_EQ(std::filesystem::status(path_).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "address books are personal data";
    const auto h = FileBytes(path_);
    for (std::size_t i = 256; i < 512; ++i) ASSERT_EQ(h[i], 0xFF) << "rgbFM/rgbFP at " << i;
    EXPECT_EQ(h.size(), 0x42400u) << "one AMap range is enough";
    EXPECT_EQ(GetU32(&h[44 + 4 * 2]), 0x401u);    // rgnid[NORMAL_FOLDER]
    EXPECT_EQ(GetU32(&h[44 + 4 * 4]), 0x10001u);  // rgnid[NORMAL_MESSAGE]
    EXPECT_EQ(GetU32(&h[44 + 4 * 3]), 0x4000u);   // untouched blank-file value
    // The DList carries bidNextP in its trailer without using it up.
    EXPECT_EQ(GetU64(&h[kDListOffset + 504]), GetU64(&h[32]));
}

TEST_F(NdbFile, NidCountersNeverFallBelowANidInUse) {
    db_->SetNode(0x200064, 0, 0, 0x122);  // index 0x10003, set without AllocateNid
    EXPECT_EQ(db_->NidCounter(0x04), 0x10003u);
    db_->SetNidCounter(0x04, 0x10001);
    EXPECT_EQ(db_->AllocateNid(0x04), 0x200084u) << "0x200064 is taken";
    db_->SetNidCounter(0x02, 0x500);
    EXPECT_EQ(db_->AllocateNid(0x02), (0x501u << 5) | 0x02);
}

TEST_F(NdbFile, NeverOpensOrReplacesAnExistingPath) {
    db_->Discard();
    const auto existing = dir_.path() / "mine.pst";
    std::ofstream(existing) << "not yours";
    EXPECT_THROW(NodeDatabase::Create(existing), IoError);
    EXPECT_EQ(fakes::ReadAll(existing), "not yours");
    const auto dangling = dir_.path() / "link.pst";
    std::filesystem::create_symlink(dir_.path() / "nowhere.pst", dangling);
    EXPECT_THROW(NodeDatabase::Create(dangling), IoError);
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "nowhere.pst"));
    EXPECT_THROW(NodeDatabase::Create(dir_.path() / "no-such-folder" / "x.pst"), IoError);
    // No temporary files are left behind by the refusals.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);
}

TEST_F(NdbFile, ManyNodesBuildDeepTreesInKeyOrder) {
    const auto payload = SomeBytes(40, 5);
    // Messages in ascending order and folders interleaved below them: inserts land in the
    // middle of full leaves as well as at the end.
    for (int i = 0; i < 50000; ++i) {
        db_->SetNode(db_->AllocateNid(0x04), db_->WriteDataBlock(payload), 0, 0x122);
        if (i % 50 == 0) db_->SetNode(db_->AllocateNid(0x02), 0, 0, 0x122);
        if (i % 10000 == 0) db_->Commit();
    }
    const auto r = CloseClean();
    EXPECT_EQ(r.nodes, 51012);
    EXPECT_EQ(r.blocks, 50000);
    // cLevel of the roots: 51,012 entries need leaves, two branch levels and a root.
    const auto f = FileBytes(path_);
    EXPECT_GE(f.at(GetU64(&f[224]) + 491), 3);
    EXPECT_GE(f.at(GetU64(&f[240]) + 491), 2);
}

TEST_F(NdbFile, ReplacingNodesKeepsReferenceCountsAndReusesSpace) {
    const Bid shared = db_->WriteData(SomeBytes(500, 6));
    for (Nid nid : {0x200024u, 0x200044u, 0x200064u}) db_->SetNode(nid, shared, 0, 0x122);
    // Rewrite a 1 MB node a hundred times: each commit releases the previous copy.
    std::uint64_t sizeAfterSecondRound = 0;
    for (int round = 0; round < 100; ++round) {
        db_->SetNode(0x200084, db_->WriteData(SomeBytes(1 << 20, 100 + round)), 0, 0x122);
        db_->Commit();
        if (round == 1) sizeAfterSecondRound = db_->FileSize();
    }
    EXPECT_EQ(db_->FileSize(), sizeAfterSecondRound) << "freed space must be reused";
    db_->SetNode(0x200024, db_->WriteData(SomeBytes(10, 7)), 0, 0x122);
    EXPECT_TRUE(db_->HasNode(0x200064));
    CloseClean();  // its warnings include cRef == references + 1 for the shared block
    EXPECT_EQ(ReadBack(path_, {{0x200064, 0}, {0x200084, 0}}),
              (Lines{Expected(SomeBytes(500, 6)), Expected(SomeBytes(1 << 20, 199))}));
}

TEST_F(NdbFile, BlocksWrittenAndLetGoBetweenTwoCommitsAreDropped) {
    db_->Commit();
    const int before = CheckFile(path_).blocks;
    // A node's data replaced three times, a block shared by two nodes then let go by one, a
    // tree of blocks written and let go: none of it committed before it is let go.
    for (std::uint32_t i = 0; i < 3; ++i)
        db_->SetNode(0x200024, db_->WriteData(SomeBytes(300, 20 + i)), 0, 0x122);
    const Bid shared = db_->WriteData(SomeBytes(200, 30));
    db_->SetNode(0x200044, shared, 0, 0x122);
    db_->SetNode(0x200064, shared, 0, 0x122);
    db_->SetNode(0x200064, db_->WriteData(SomeBytes(kMaxBlockPayload * 2 + 1, 31)), 0, 0x122);
    db_->SetNode(0x200064, db_->WriteData(SomeBytes(100, 32)), 0, 0x122);
    const auto r = CloseClean();
    EXPECT_EQ(r.blocks, before + 3) << "the last data of each node, nothing else";
    EXPECT_EQ(ReadBack(path_, {{0x200024, 0}, {0x200044, 0}, {0x200064, 0}}),
              (Lines{Expected(SomeBytes(300, 22)), Expected(SomeBytes(200, 30)),
                     Expected(SomeBytes(100, 32))}));
}

TEST_F(NdbFile, DataOfEverySizeReadsBackAndUnreferencedTreesAreDropped) {
    const auto one = SomeBytes(100, 1);
    const auto two = SomeBytes(kMaxBlockPayload * 3 + 5, 2);           // an XBLOCK
    const auto big = SomeBytes(kMaxBlockPayload * 1021 * 2 + 100, 8);  // an XXBLOCK, 3 XBLOCKs
    db_->SetNode(0x200024, db_->WriteData(one), 0, 0x122);
    db_->Commit();
    EXPECT_EQ(CheckFile(path_).errors, 0) << "valid after a commit";
    db_->SetNode(0x200044, db_->WriteData(two), 0, 0x122);
    EXPECT_EQ(db_->DataSize(db_->WriteData(two)), two.size());
    const Bid root = db_->WriteData(big);
    EXPECT_EQ(db_->DataSize(root), big.size());
    db_->SetNode(0x200064, root, 0, 0x122);
    const auto r = CloseClean();
    EXPECT_EQ(r.nodes, 15);
    EXPECT_EQ(r.blocks, 1 + 5 + 2043 + 3 + 1) << "the unreferenced tree written above is dropped";
    EXPECT_EQ(ReadBack(path_, {{0x200024, 0}, {0x200044, 0}, {0x200064, 0}}),
              (Lines{Expected(one), Expected(two), Expected(big)}));
}

TEST_F(NdbFile, BlocksReadBackAlikeWhetherWrittenOrStillWaiting) {
    // More than the writer keeps staged (2 MB): the first blocks are in the file when the last
    // are read back, and reads come between writes.
    std::vector<std::pair<Bid, std::vector<std::uint8_t>>> blocks;
    for (std::uint32_t i = 0; i < 800; ++i) {
        const auto bytes = SomeBytes(1 + i * 997 % kMaxBlockPayload, 500 + i);
        blocks.emplace_back(db_->WriteDataBlock(bytes), bytes);
        if (i % 7 == 0) {
            const auto& [bid, expected] = blocks[i / 2];
            EXPECT_EQ(db_->ReadDataBlock(bid), expected) << "block " << i / 2 << " after " << i;
        }
    }
    for (std::size_t i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(db_->ReadDataBlock(blocks[i].first), blocks[i].second) << "block " << i;
    db_->SetNode(0x200024, blocks.back().first, 0, 0x122);
    CloseClean();
    EXPECT_EQ(ReadBack(path_, {{0x200024, 0}}), Lines{Expected(blocks.back().second)});
}

TEST_F(NdbFile, GrowingDataTreeKeepsItsUnchangedBlocks) {
    // A table's pages as the table layer keeps them: written once, listed again by every new
    // version of the tree.
    std::vector<Bid> pages;
    std::vector<std::uint8_t> all;
    auto addPage = [&](std::uint32_t seed, std::size_t size) {
        const auto bytes = SomeBytes(size, seed);
        pages.push_back(db_->WriteDataBlock(bytes));
        all.insert(all.end(), bytes.begin(), bytes.end());
    };
    for (std::uint32_t i = 0; i < 1021 * 2 + 4; ++i) addPage(i, kMaxBlockPayload);
    addPage(99999, 300);
    const Bid first = db_->WriteDataTree(pages);
    db_->SetNode(0x20D, first, 0, 0);
    db_->Commit();

    // The last page fills up and one more follows: the two full XBLOCKs stay as they are.
    all.resize(all.size() - 300);
    pages.pop_back();
    addPage(99999, kMaxBlockPayload);
    addPage(100000, 10);
    const Bid second = db_->WriteDataTree(pages);
    EXPECT_NE(second, first);
    EXPECT_EQ(db_->DataSize(second), all.size());
    db_->SetNode(0x20D, second, 0, 0);
    // 2,048 pages, two shared XBLOCKs, the new third one and the new XXBLOCK.
    EXPECT_EQ(CloseClean().blocks, 2048 + 4);
    EXPECT_EQ(ReadBack(path_, {{0x20D, 0}}), Lines{Expected(all)});
    // BIDs handed out: 2,049 data blocks, four internal blocks for the first version and only
    // two for the second (bidNextB starts at 4 and counts by 4).
    EXPECT_EQ(GetU64(&FileBytes(path_)[516]), 4u + 4u * (2049 + 4 + 2));
}

TEST_F(NdbFile, ManySubnodesUseAnSiBlockTree) {
    std::vector<SubnodeEntry> subs;
    for (Nid i = 1000; i > 0; --i)  // given unsorted; stored by NID
        subs.push_back(SubnodeEntry{(i << 5) | 0x1F, db_->WriteData(SomeBytes(20 + i % 50, i)), 0});
    // A subnode with subnodes of its own.
    const Bid inner = db_->WriteSubnodeTree(
        std::vector<SubnodeEntry>{{0x3F, db_->WriteData(SomeBytes(30, 9)), 0}});
    subs.push_back(SubnodeEntry{0x10001F, db_->WriteData(SomeBytes(40, 10)), inner});
    db_->SetNode(0x200024, db_->WriteData(SomeBytes(64, 11)), db_->WriteSubnodeTree(subs), 0x122);
    CloseClean();
    EXPECT_EQ(ReadBack(path_, {{0x200024, (1u << 5) | 0x1F},
                               {0x200024, (1000u << 5) | 0x1F},
                               {0x200024, 0x10001F}}),
              (Lines{Expected(SomeBytes(21, 1)), Expected(SomeBytes(20, 1000)),
                     Expected(SomeBytes(40, 10))}));
}

TEST_F(NdbFile, FilesPastOneHundredTwentyEightAMapsHaveFMapPages) {
    const auto chunk = SomeBytes(4 << 20, 12);
    for (Nid i = 0; i < 9; ++i) {  // 36 MB, grown several times on the way
        db_->SetNode(0x200024 + 32 * i, db_->WriteData(chunk), 0, 0x122);
        db_->Commit();
    }
    EXPECT_EQ(CheckFile(path_).errors, 0);
    // Small blocks, a third of them let go again: free runs of every length in the last ranges.
    for (Nid i = 0; i < 600; ++i) {
        db_->SetNode(0x400024 + 32 * i, db_->WriteData(SomeBytes(100 + i * 37 % 3000, i)), 0,
                     0x122);
        if (i % 100 == 99) db_->Commit();
    }
    for (Nid i = 0; i < 600; i += 3) db_->SetNode(0x400024 + 32 * i, db_->WriteData({}), 0, 0x122);
    db_->Commit();
    CloseClean();
    const auto f = FileBytes(path_);
    ASSERT_GT(f.size(), RangeStart(129));
    // The first FMap page: after the AMap and PMap of range 128.
    EXPECT_EQ(f[0x1F04800 + 496], kPageFMap);
    EXPECT_EQ(GetU64(&f[0x1F04800 + 504]), 0x1F04800u);
    EXPECT_EQ(ReadBack(path_, {{0x200024 + 32 * 8, 0}}), Lines{Expected(chunk)});
    // Each FMap entry is the longest run of free slots in its AMap page, at most 255
    // ([MS-PST] 2.2.2.7.5).
    std::set<int> seen;
    const std::uint64_t ranges = (f.size() - RangeStart(0)) / kAMapSpan;
    for (std::uint64_t k = kFirstFMapRange; k < ranges; ++k) {
        const std::uint8_t* amap = &f[RangeStart(k)];
        int run = 0;
        int best = 0;
        for (std::uint64_t slot = 0; slot < kSlotsPerAMap; ++slot) {
            run = amap[slot / 8] & (0x80 >> (slot % 8)) ? 0 : run + 1;
            best = std::max(best, run);
        }
        const std::uint64_t fmapRange = k - (k - kFirstFMapRange) % kAMapsPerFMap;
        const int stored = f[RangeStart(fmapRange) + 2 * kPageSize + (k - fmapRange)];
        EXPECT_EQ(stored, std::min(best, 255)) << "range " << k;
        seen.insert(stored);
    }
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](int v) { return v > 0 && v < 255; }))
        << "no range with a short free run: the test no longer covers them";
}

TEST_F(NdbFile, RejectsMisuseWithNdbError) {
    EXPECT_THROW(db_->WriteDataBlock(std::vector<std::uint8_t>(kMaxBlockPayload + 1)), NdbError);
    const Bid shortBlock = db_->WriteDataBlock(SomeBytes(100, 14));
    const Bid fullBlock = db_->WriteDataBlock(SomeBytes(kMaxBlockPayload, 15));
    EXPECT_THROW(db_->WriteDataTree(std::vector<Bid>{shortBlock, fullBlock}), NdbError)
        << "readers seek by 8176-byte blocks";
    EXPECT_THROW(db_->WriteDataTree(std::vector<Bid>{}), NdbError);
    EXPECT_THROW(db_->SetNode(0x21, 0x123454, 0, 0), NdbError) << "unknown block";
    EXPECT_THROW(db_->SetNode(0x21, 0, fullBlock, 0), NdbError) << "not a subnode tree";
    const Bid tree = db_->WriteSubnodeTree(std::vector<SubnodeEntry>{{0x3F, fullBlock, 0}});
    EXPECT_THROW(db_->SetNode(0x21, tree, 0, 0), NdbError) << "a subnode tree is not data";
    const std::vector<SubnodeEntry> twice = {{0x3F, fullBlock, 0}, {0x3F, shortBlock, 0}};
    EXPECT_THROW(db_->WriteSubnodeTree(twice), NdbError);
    EXPECT_EQ(db_->WriteSubnodeTree({}), 0u);
    EXPECT_EQ(db_->DataSize(0), 0u);
    db_->Commit();
    // Blocks nobody referred to are gone after the commit.
    EXPECT_THROW(db_->SetNode(0x21, fullBlock, 0, 0), NdbError);
    db_->Close();
    EXPECT_NO_THROW(db_->Close());
    EXPECT_THROW(db_->Commit(), NdbError);
    EXPECT_THROW(db_->WriteDataBlock(SomeBytes(1, 1)), NdbError);
}

// A close that fails part way (here inside the bracket of the exact maps) leaves the database
// unusable even when the disk would take the next write: a second Close or Commit must not finish
// a state the failed one left half written. The file keeps its last commit, its maps marked for
// rebuilding.
TEST(NdbFailure, AFailedCloseLeavesTheDatabaseUnusable) {
    const TempDir dir("tarvelle-ndb-fail-");
    const auto path = dir.path() / "failed.pst";
    int steps = 0;
    auto db = NodeDatabase::Create(path, CreateOptions{.afterMapStep = [&] {
                                       if (++steps == 2) throw IoError("the disk went away");
                                   }});
    AddMandatoryNodes(*db);
    db->SetNode(0x200024, db->WriteData(SomeBytes(3000, 1)), 0, 0x122);
    db->Commit();
    ASSERT_EQ(steps, 0) << "no growth: the steps counted are the close's";
    EXPECT_THROW(db->Close(), IoError);
    EXPECT_THROW(db->Close(), IoError);
    EXPECT_THROW(db->Commit(), IoError);
    EXPECT_EQ(steps, 2) << "nothing ran after the failure";
    db.reset();
    EXPECT_EQ(AMapValid(path), 0);
    const auto r = CheckKilledFile(path);
    EXPECT_EQ(r.errors, 0) << r.output.substr(0, 3000);
    EXPECT_EQ(ReadBack(path, {{0x200024, 0}}),
              std::vector<std::string>{Expected(SomeBytes(3000, 1))});
}

// Blocks written as final go to the disk while the file is being written, in ranges that nothing
// writes again: not the other blocks beside them, replaced and zeroed after a later commit, not
// the B-tree pages or the maps, not the close. The system caches and writes back whole pages, or
// larger folios formed by each write, so the ranges are whole pages holding only final blocks.
TEST(NdbWriteBack, HandsOverOnlyPagesOfFinalBlocksThatNothingWritesAgain) {
    TempDir dir{"tarvelle-ndb-"};
    const auto path = dir.path() / "file.pst";
    std::vector<std::pair<std::uint64_t, std::string>> handed;  // offset, bytes as handed over
    CreateOptions options;
    options.afterWriteBack = [&](std::uint64_t offset, std::uint64_t length) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(length, '\0');
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(bytes.data(), static_cast<std::streamsize>(length));
        handed.emplace_back(offset, bytes);
    };
    auto db = NodeDatabase::Create(path, options);
    AddMandatoryNodes(*db);
    std::set<Bid> final;
    std::uint64_t finalBytes = 0;
    constexpr Nid kFinal = 0x200024;  // a contact's NID type, as the store's items
    constexpr Nid kOther = 0x800024;
    auto writeOther = [&](std::uint32_t i, std::uint32_t round) {
        const Bid bid = db->WriteDataBlock(SomeBytes(300 + i * 211 % 3500, 100000 * round + i));
        db->SetNode(kOther + 32 * i, bid, 0, 0x122);
    };
    for (std::uint32_t i = 0; i < 1200; ++i) {
        {
            const FinalBlocks scope(*db, true);
            // Some of two blocks, so that regions end with whole pages left for other blocks.
            std::vector<Bid> blocks{
                db->WriteDataBlock(SomeBytes(i % 4 ? 40 + i * 53 % 3000 : kMaxBlockPayload, i))};
            if (i % 4 == 0) blocks.push_back(db->WriteDataBlock(SomeBytes(1000, i)));
            for (Bid b : blocks) finalBytes += BlockSizeOnDisk(db->DataSize(b));
            final.insert(blocks.begin(), blocks.end());
            const Bid data = db->WriteDataTree(blocks);
            final.insert(data);
            db->SetNode(kFinal + 32 * i, data, 0, 0x122);
        }
        if (i % 3 == 0) writeOther(i, 0);
        if (i % 200 == 199) db->Commit();
    }
    // The others are saved again: their first blocks are let go and zeroed.
    for (std::uint32_t i = 0; i < 1200; i += 3) writeOther(i, 1);
    db->Commit();
    db->Close();
    const CheckResult r = CheckFile(path);
    EXPECT_EQ(std::pair(r.errors, r.warnings), std::pair(0, 0)) << r.output.substr(0, 3000);

    const std::uint64_t page = File::PageSize();
    std::uint64_t handedBytes = 0;
    for (const auto& [offset, bytes] : handed) {
        EXPECT_EQ(offset % page, 0u);
        EXPECT_EQ(bytes.size() % page, 0u);
        handedBytes += bytes.size();
    }
    EXPECT_GT(handedBytes, finalBytes / 2) << "all but the last region go early";
    const auto file = FileBytes(path);
    auto inHanded = [&](std::uint64_t ib, std::uint64_t size) {
        for (const auto& [offset, bytes] : handed)
            if (ib < offset + bytes.size() && offset < ib + size) return true;
        return false;
    };
    for (const auto& [offset, bytes] : handed)
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), file.begin() + offset,
                               [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }))
            << "written again after it was handed over, at " << offset;
    const auto reader = verify::PstReader::Open(path);
    for (const auto& b : reader.Blocks()) {
        if (final.count(b.bid)) continue;
        EXPECT_FALSE(inHanded(b.ib, BlockSizeOnDisk(b.cb))) << b.bid;
    }
    for (const auto& p : reader.Pages()) EXPECT_FALSE(inHanded(p.ib, kPageSize)) << p.ib;
}

// Ranges handed over go to the disk on a thread of the file's own, which follows the file when it
// is moved and is stopped before its descriptor goes; what was written reads back unchanged, also
// what was handed over after a Sync. (A thread left with the moved-from object, or still at work
// on a closed descriptor, fails here under the sanitizers or by a read that differs.)
TEST(NdbWriteBack, HandedOverRangesFollowTheFileAndReadBackUnchanged) {
    TempDir dir{"tarvelle-ndb-"};
    const auto path = dir.path() / "file.bin";
    std::vector<std::uint8_t> expected;
    {
        File file = File::CreateNew(path, false);
        constexpr std::size_t kChunk = 1 << 20;  // past the durable step after a few dozen
        auto writeChunks = [&](File& f, int count) {
            for (int i = 0; i < count; ++i) {
                const auto bytes = SomeBytes(kChunk, static_cast<std::uint32_t>(expected.size()));
                f.WriteAt(bytes, expected.size());
                f.StartWriteBack(expected.size(), bytes.size());
                expected.insert(expected.end(), bytes.begin(), bytes.end());
            }
        };
        writeChunks(file, 40);
        File moved = std::move(file);
        writeChunks(moved, 30);
        moved.Sync();
        writeChunks(moved, 3);
        File target;
        target = std::move(moved);
        writeChunks(target, 3);
        target.Sync();
        target.Close();
    }
    EXPECT_TRUE(FileBytes(path) == expected);
}

// Without a thread for the early write-back (the system refuses one) the file is written all the
// same; the closing Sync takes it all to the disk.
TEST(NdbWriteBack, NoThreadToBeHadLeavesItToTheSync) {
    TempDir dir{"tarvelle-ndb-"};
    const auto path = dir.path() / "file.bin";
    const auto [said, code] = Finish(Fork([&](int report) {
        // Threads with a stack larger than the machine's memory: the system refuses each one.
        pthread_attr_t huge;
        if (::pthread_attr_init(&huge) != 0 ||
            ::pthread_attr_setstacksize(&huge, std::size_t{1} << 46) != 0 ||
            ::pthread_setattr_default_np(&huge) != 0)
            ::_exit(3);
        try {
            std::thread([] {}).join();
            ::_exit(77);
        } catch (const std::system_error&) {
        }
        std::vector<std::uint8_t> expected;
        try {
            File file = File::CreateNew(path, false);
            for (std::uint32_t i = 0; i < 8; ++i) {
                const auto bytes = SomeBytes(1 << 20, i);
                file.WriteAt(bytes, expected.size());
                file.StartWriteBack(expected.size(), bytes.size());
                expected.insert(expected.end(), bytes.begin(), bytes.end());
            }
            file.Sync();
            file.Close();
        } catch (const std::exception& e) {
            ::_exit(static_cast<int>(::write(report, e.what(), std::strlen(e.what())) > 0) + 4);
        }
        ::_exit(FileBytes(path) == expected ? 0 : 6);
    }));
    if (code == 77) GTEST_SKIP() << "this system creates threads of any stack size";
    EXPECT_EQ(code, 0) << said;
}

}  // namespace
}  // namespace tarvelle::pst::ndb
