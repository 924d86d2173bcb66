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
#include "tests/pst/ltp_tools.h"

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

        const auto check = testing::Pstwalk("check", pst);
        EXPECT_EQ(check.status, 0) << check.out;
        const auto items = testing::Shell(std::string(TARVELLE_PYTHON) + " " + TARVELLE_SOURCE_DIR +
                                          "/tests/pst/ltp_read_items.py " + testing::ToolsDir() +
                                          " " + testing::Quote(pst));
        ASSERT_EQ(items.status, 0) << items.out;
        // Items are P0, P1, ... without a gap, a whole number of commits.
        std::size_t count = 0;
        for (std::size_t pos = items.out.find("\"name\": \""); pos != std::string::npos;
             pos = items.out.find("\"name\": \"", pos + 1)) {
            EXPECT_EQ(items.out.compare(pos + 9, std::to_string(count).size() + 2,
                                        "P" + std::to_string(count) + "\""),
                      0)
                << "item " << count;
            ++count;
        }
        EXPECT_EQ(count % 25, 0u) << count;
        EXPECT_GT(count, 0u);
        const auto tree = testing::Pstwalk("tree", pst);
        EXPECT_NE(tree.out.find("class='IPF.Contact' count=" + std::to_string(count) + " "),
                  std::string::npos)
            << count;
    }
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
