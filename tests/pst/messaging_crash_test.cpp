// Killing the writer at random moments leaves a complete file holding a prefix of the items, in
// the order they were added (copy-on-write commits; tables grown in place).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"

namespace tarvelle::pst::messaging {
namespace {

namespace fs = std::filesystem;

// Adds contacts "P0", "P1", ... and every 5th a list, committing every 25 items, until killed.
[[noreturn]] void WriteForever(const fs::path& pst) {
    try {
        auto store = MessageStore::Create(pst, "Crash");
        const ndb::Nid folder = store->DefaultContactsFolder();
        std::vector<ndb::Nid> contacts;
        for (int i = 0;; ++i) {
            if (i % 5 == 4) {
                DistListData list{"P" + std::to_string(i), "", {}};
                for (int k = 0; k < 3; ++k) list.members.push_back({"m", "m@example.org"});
                list.members.push_back(
                    {"c", "c@example.org", "SMTP", store->EntryIdOf(contacts.back())});
                store->AddDistList(folder, list);
            } else {
                contacts.push_back(store->AddContact(
                    folder,
                    {"P" + std::to_string(i), "p" + std::to_string(i) + "@example.org", "", ""}));
            }
            if (i % 25 == 24) store->Commit();
        }
    } catch (...) {
        _exit(3);
    }
}

TEST(Crash, KillAtRandomMomentsLeavesAValidPrefix) {
    const fs::path dir = fs::temp_directory_path() / ("tarvelle-crash-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::mt19937 random(12345);
    for (int round = 0; round < 4; ++round) {
        const fs::path pst = dir / ("round" + std::to_string(round) + ".pst");
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) WriteForever(pst);
        std::this_thread::sleep_for(std::chrono::milliseconds(700 + random() % 1500));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself, status " << status;

        const auto store = verify::ReadStore(pst);
        EXPECT_EQ(store.report.Errors(), 0u) << pst;
        // Items are P0, P1, ... without a gap, a whole number of commits.
        const verify::Folder* contacts = store.FindFolder("Contacts");
        ASSERT_NE(contacts, nullptr);
        const auto items = store.ItemsIn(contacts->nid);
        for (std::size_t i = 0; i < items.size(); ++i) {
            const verify::Property* name = items[i]->Find(0x3001001F);
            ASSERT_NE(name, nullptr);
            EXPECT_EQ(name->Text(), "P" + std::to_string(i));
        }
        EXPECT_EQ(items.size() % 25, 0u) << items.size();
        EXPECT_GT(items.size(), 0u);
        EXPECT_EQ(contacts->contentCount, static_cast<std::int64_t>(items.size()));
    }
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
