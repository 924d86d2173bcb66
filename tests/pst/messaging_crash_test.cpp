// Killing the writer at every step of a growth and of the close leaves a complete file holding a
// prefix of the items, in the order they were added, that its contents table counts (copy-on-write
// commits; tables, the file's size and its allocation maps changed in place).
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <sstream>

#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"
#include "tests/pst/ndb_test_support.h"

namespace tarvelle::pst::messaging {
namespace {

namespace fs = std::filesystem;

// Adds contacts "P0", "P1", ... committing every 100, then closes. Kills itself after step
// `killAt` of the growths and the close (counted from 1); otherwise sends the steps before the
// close and in all on `report`.
void WriteAndClose(const fs::path& pst, int killAt, int report) {
    try {
        int steps = 0;
        ndb::CreateOptions options;
        options.nameless = killAt % 2 == 0;  // every other one named at once
        options.afterMapStep = [&] {
            if (++steps == killAt) ::raise(SIGKILL);
        };
        auto store = MessageStore::Create(pst, "Steps", options);
        const ndb::Nid folder = store->DefaultContactsFolder();
        for (int i = 0; i < 2000; ++i) {
            store->AddContact(folder, {"P" + std::to_string(i), "p@example.org", "", ""});
            if (i % 100 == 99) store->Commit();
        }
        store->Sync();
        const std::string beforeClose = std::to_string(steps) + " ";
        store->Close();
        const std::string all = beforeClose + std::to_string(steps);
        if (::write(report, all.data(), all.size()) != static_cast<ssize_t>(all.size())) _exit(4);
    } catch (...) {
        _exit(3);
    }
}

TEST(Crash, KillAtEveryStepOfAGrowthAndOfTheCloseLeavesAValidPrefix) {
    const ndb::testing::TempDir tmp("tarvelle-steps-");
    const fs::path& dir = tmp.path();
    // Returns the steps {before the close, in all}, or {-1, -1} when the writer was killed.
    auto run = [&](const fs::path& pst, int killAt) {
        std::pair steps{-1, -1};
        std::istringstream(ndb::testing::Finish(ndb::testing::Fork([&](int fd) {
                               WriteAndClose(pst, killAt, fd);
                           })).first) >>
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
}  // namespace tarvelle::pst::messaging
