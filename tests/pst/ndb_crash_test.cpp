// The file survives a killed process and failing writes: whatever happens, the path holds the
// last committed state, which the strict checker accepts (a kill inside a growth or the close
// leaves maps marked invalid, which readers rebuild), and nothing else is left beside it.
// Killed at every step of a growth and of the close, a store holds a prefix of the items, in the
// order they were added, that its contents table counts (copy-on-write commits; tables, the
// file's size and its allocation maps changed in place).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "ndb_test_support.h"
#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"

namespace tarvelle::pst::ndb {
namespace {

using namespace testing;
namespace fs = std::filesystem;

constexpr Nid kFirstMessage = 0x200024;
constexpr int kMessages = 1500;

Nid MessageNid(int i) { return kFirstMessage + 32 * static_cast<Nid>(i); }
std::vector<std::uint8_t> MessageData(int i) {
    // Mostly small items, now and then a large one, so the file grows several times.
    const std::size_t size = i % 250 == 249 ? (600u << 10) : 1000 + (i * 7919u) % 20000;
    return SomeBytes(size, static_cast<std::uint32_t>(i));
}

// Child side: writes message after message, one commit each, then closes. Sends one byte on
// `ready` once the store's mandatory nodes are committed. `nameless`: as CreateOptions says.
// A child that throws ends with an abort, which the parent sees.
void WriteMessages(const fs::path& path, int ready, bool nameless) {
    auto db = NodeDatabase::Create(path, CreateOptions{.nameless = nameless});
    AddMandatoryNodes(*db);
    db->Commit();
    if (::write(ready, "r", 1) != 1) ::_exit(3);
    for (int i = 0; i < kMessages; ++i) {
        const Bid bid = db->WriteData(MessageData(i));
        if (i > 0 && i % 10 == 0)  // replace an earlier item too: frees and reuse
            db->SetNode(MessageNid(i - 10), db->WriteData(MessageData(i - 10)), 0, 0x122);
        db->SetNode(MessageNid(i), bid, 0, 0x122);
        db->Commit();
    }
    db->Close();
}

// Starts a writer and waits for its mandatory nodes to be committed.
Child StartWriter(const fs::path& path, bool nameless = true) {
    const Child c = Fork([&](int fd) { WriteMessages(path, fd, nameless); });
    char byte = 0;
    return ::read(c.out, &byte, 1) == 1 ? c : Child{};
}

// Message NIDs in the file, in order.
std::vector<Nid> Messages(const fs::path& file) {
    std::vector<Nid> nids;
    const verify::PstReader reader = verify::PstReader::Open(file);
    for (const auto& node : reader.Nodes())
        if ((node.nid & 31) == 4) nids.push_back(node.nid);
    return nids;
}

std::ptrdiff_t EntriesIn(const fs::path& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), {});
}

// After a kill the file must check clean (allocated-but-unused slots are allowed), hold a prefix
// of the messages, and hold the last of them whole.
void ExpectCommittedPrefix(const fs::path& path, bool closed) {
    const auto r = CheckKilledFile(path);
    EXPECT_EQ(r.errors, 0) << r.output.substr(0, 3000);
    EXPECT_TRUE(!closed || r.warnings == 0) << r.output.substr(0, 3000);
    const auto nids = Messages(path);
    for (std::size_t i = 0; i < nids.size(); ++i)
        ASSERT_EQ(nids[i], MessageNid(static_cast<int>(i))) << "not a prefix";
    if (!nids.empty()) {
        const int last = static_cast<int>(nids.size()) - 1;
        EXPECT_EQ(ReadBack(path, {{MessageNid(last), 0}}),
                  std::vector<std::string>{Expected(MessageData(last))});
    }
}

TEST(NdbCrash, KillAtRandomMomentsLeavesTheLastCommit) {
    TempDir dir("tarvelle-ndb-crash-");
    // One undisturbed run gives the time span to aim the kills at.
    const auto whole = dir.path() / "whole.pst";
    const Child child = StartWriter(whole);
    ASSERT_GT(child.pid, 0);
    const auto readyAt = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(child).second, 0);
    const auto span = std::chrono::steady_clock::now() - readyAt;
    ExpectCommittedPrefix(whole, true);
    EXPECT_EQ(Messages(whole).size(), static_cast<std::size_t>(kMessages));

    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    const auto spanUs = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
        const auto path = dir.path() / ("killed" + std::to_string(round) + ".pst");
        // Every other writer is named from the start, as on systems without nameless files.
        const Child victim = StartWriter(path, round % 2 == 0);
        ASSERT_GT(victim.pid, 0);
        // Aim at the whole run, the final Close included.
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % (spanUs + spanUs / 10 + 1)));
        ::kill(victim.pid, SIGKILL);
        const bool finished = Finish(victim).second == 0;
        ASSERT_TRUE(std::filesystem::exists(path));
        ExpectCommittedPrefix(path, finished);
        std::filesystem::remove(path);
    }
    EXPECT_EQ(EntriesIn(dir.path()), 1) << "nothing is left beside the file";
}

// How the write-failure test limits the file: from the start or only once it exists; either way a
// growth meets the limit and is taken back. Less than one AMap range (itemSize 0) fails Create.
struct Limit {
    rlim_t bytes;
    bool afterCreate;
    std::size_t itemSize;
    bool nameless = true;  // as CreateOptions says
};

// Child side of the write-failure test: a file size limit as `ulimit -f` sets it, SIGXFSZ
// ignored as the program does, so writes past the limit fail with EFBIG. Sends 'c' for each
// commit and 'F' once a write failed as it must, and nothing could be written after it.
void WriteUntilFailure(const fs::path& path, int report, Limit how) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{how.bytes, how.bytes};
    if (!how.afterCreate && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    std::unique_ptr<NodeDatabase> db;
    try {
        db = NodeDatabase::Create(path, CreateOptions{.nameless = how.nameless});
        if (how.afterCreate && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
        AddMandatoryNodes(*db);
        db->Commit();
        for (int i = 0; i < 100; ++i) {
            db->SetNode(MessageNid(i), db->WriteData(SomeBytes(how.itemSize, i)), 0, 0x122);
            db->Commit();
            if (::write(report, "c", 1) != 1) ::_exit(3);
        }
        ::_exit(4);               // the limit was never hit
    } catch (const IoError& e) {  // any other exception ends the child with an abort
        if (std::string(e.what()).find(std::strerror(EFBIG)) == std::string::npos) ::_exit(5);
    }
    // Once a write failed, nothing more is written: the file keeps its last commit.
    try {
        if (db) db->Commit();
        if (db) ::_exit(7);
    } catch (const IoError&) {
    }
    if (::write(report, "F", 1) != 1) ::_exit(3);
}

TEST(NdbCrash, FailingWritesEndWithIoErrorAndKeepTheLastCommit) {
    for (const Limit how : {Limit{12u << 20, false, 1u << 20}, Limit{2u << 20, true, 200000},
                            Limit{64u << 10, false, 0, true}, Limit{64u << 10, false, 0, false}}) {
        SCOPED_TRACE(std::to_string(how.bytes) + (how.afterCreate ? " after" : " before") +
                     " Create, nameless " + std::to_string(how.nameless));
        TempDir dir("tarvelle-ndb-limit-");
        const auto path = dir.path() / "limited.pst";
        const auto [sent, code] = Finish(Fork([&](int fd) { WriteUntilFailure(path, fd, how); }));
        ASSERT_EQ(code, 0) << "the process must not die of SIGXFSZ";
        EXPECT_TRUE(sent.ends_with('F')) << sent;
        if (how.itemSize == 0) {
            EXPECT_EQ(EntriesIn(dir.path()), 0) << "a failed Create leaves no file";
            continue;
        }
        const int committed = static_cast<int>(sent.size()) - 1;
        EXPECT_GT(committed, 0);
        EXPECT_LT(static_cast<std::uint64_t>(committed) * how.itemSize, how.bytes);
        const auto r = CheckFile(path);
        EXPECT_EQ(r.errors, 0) << r.output.substr(0, 3000);
        ASSERT_EQ(Messages(path).size(), static_cast<std::size_t>(committed));
        EXPECT_EQ(ReadBack(path, {{MessageNid(committed - 1), 0}}),
                  std::vector<std::string>{Expected(SomeBytes(how.itemSize, committed - 1))});
        EXPECT_EQ(AMapValid(path), 2) << "a failed growth goes back to the last commit";
        EXPECT_EQ(EntriesIn(dir.path()), 1);
    }
}

// Adds contacts "P0", "P1", ... committing every 100, then closes. Kills itself after step
// `killAt` of the growths and the close (counted from 1); otherwise sends the steps before the
// close and in all on `report`.
void WriteAndClose(const fs::path& pst, int killAt, int report) {
    int steps = 0;
    const auto step = [&] {
        if (++steps == killAt) ::raise(SIGKILL);
    };
    // Every other one named at once.
    auto store = messaging::MessageStore::Create(
        pst, "Steps", CreateOptions{.nameless = killAt % 2 == 0, .afterMapStep = step});
    const Nid folder = store->DefaultContactsFolder();
    for (int i = 0; i < 2000; ++i) {
        store->AddContact(folder, {"P" + std::to_string(i), "p@example.org", "", ""});
        if (i % 100 == 99) store->Commit();
    }
    store->Sync();
    const std::string beforeClose = std::to_string(steps) + " ";
    store->Close();
    const std::string all = beforeClose + std::to_string(steps);
    if (::write(report, all.data(), all.size()) != static_cast<ssize_t>(all.size())) _exit(4);
}

TEST(Crash, KillAtEveryStepOfAGrowthAndOfTheCloseLeavesAValidPrefix) {
    const TempDir tmp("tarvelle-steps-");
    const fs::path& dir = tmp.path();
    // Returns the steps {before the close, in all}, or {-1, -1} when the writer was killed.
    auto run = [&](const fs::path& pst, int killAt) {
        std::pair steps{-1, -1};
        std::istringstream(Finish(Fork([&](int fd) { WriteAndClose(pst, killAt, fd); })).first) >>
            steps.first >> steps.second;
        return steps;
    };
    const auto [beforeClose, all] = run(dir / "whole.pst", 0);
    const verify::Report whole = verify::Verify(dir / "whole.pst");
    EXPECT_EQ(whole.Errors() + whole.Warnings(), 0u) << whole.Summary("whole.pst");
    EXPECT_EQ(whole.counts.contacts, 2000u);
    // The first two growths, the last one, and every step of the close.
    std::vector<int> at = {1, 2, 3, 4, 5, 6};
    for (int k = beforeClose - 2; k <= all; ++k) at.push_back(k);
    for (const int k : at) {
        SCOPED_TRACE("killed after step " + std::to_string(k) + " of " + std::to_string(all));
        const fs::path pst = dir / ("step" + std::to_string(k) + ".pst");
        ASSERT_EQ(run(pst, k).second, -1) << "the writer must have been killed";
        // Inside a change the maps are marked for rebuilding: a warning, never an error.
        const verify::StoreContents store = verify::ReadStore(pst);
        std::string findings;
        for (const auto& f : store.report.Findings()) findings += f.ToString() + "\n";
        EXPECT_EQ(store.report.Errors(), 0u) << findings;
        EXPECT_NE(findings.find("warning: header: fAMapValid is 0 (INVALID_AMAP)"),
                  std::string::npos)
            << findings;
        std::size_t count = 0;
        for (const verify::Item& item : store.items) {
            const verify::Property* name = item.Find(0x3001001F);
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(name->Text(), "P" + std::to_string(count++)) << "a prefix, in order";
        }
        EXPECT_EQ(count % 100, 0u) << "a whole number of commits";
        EXPECT_EQ(store.FindFolder("Contacts")->contentCount, static_cast<std::int64_t>(count));
        if (k > beforeClose) {
            EXPECT_EQ(count, 2000u) << "the close comes after the last commit";
        }
        fs::remove(pst);
    }
    fs::remove(dir / "whole.pst");
    EXPECT_TRUE(fs::is_empty(dir)) << "nothing is left beside the files";
}

}  // namespace
}  // namespace tarvelle::pst::ndb
