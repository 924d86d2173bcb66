// Killing the writer at every step of a growth and of the close leaves a complete file holding a
// prefix of the items, in the order they were added, that its contents table counts (copy-on-write
// commits; tables, the file's size and its allocation maps changed in place).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"

namespace tarvelle::pst::messaging {
namespace {

namespace fs = std::filesystem;

// Adds contacts "P0", "P1", ... committing every 100, then closes. Kills itself after step
// `killAt` of the growths and the close (counted from 1); otherwise reports the steps before the
// close and in all on `report`.
[[noreturn]] void WriteAndClose(const fs::path& pst, int killAt, int report) {
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
        const int beforeClose = steps;
        store->Close();
        const int all[2] = {beforeClose, steps};
        if (::write(report, all, sizeof all) != sizeof all) _exit(4);
    } catch (...) {
        _exit(3);
    }
    _exit(0);
}

TEST(Crash, KillAtEveryStepOfAGrowthAndOfTheCloseLeavesAValidPrefix) {
    const fs::path dir = fs::temp_directory_path() / ("tarvelle-steps-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    // Returns the steps {before the close, in all}, or {-1, -1} when the writer was killed.
    auto run = [&](const fs::path& pst, int killAt) {
        int fds[2];
        EXPECT_EQ(::pipe(fds), 0);
        const pid_t child = fork();
        if (child == 0) {
            ::close(fds[0]);
            WriteAndClose(pst, killAt, fds[1]);
        }
        ::close(fds[1]);
        int steps[2] = {-1, -1};
        if (::read(fds[0], steps, sizeof steps) != sizeof steps) steps[0] = steps[1] = -1;
        ::close(fds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        return std::pair{steps[0], steps[1]};
    };
    const auto [beforeClose, all] = run(dir / "whole.pst", 0);
    ASSERT_GT(beforeClose, 6) << "a few growths";
    ASSERT_GT(all, beforeClose + 2) << "the close";
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
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
