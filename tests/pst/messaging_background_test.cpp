// Writing in the background: the write queue's order and failure handling, and a store whose
// writes run on their own thread.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "pst/messaging/MessageStore.h"
#include "pst/messaging/WriteQueue.h"
#include "tests/pst/ltp_fake_db.h"

namespace tarvelle::pst::messaging {
namespace {

TEST(WriteQueue, RunsJobsInOrderOnItsThreadAndWaitsForThem) {
    WriteQueue queue(4);  // small: pushing 100 jobs must wait for room many times
    queue.Start();
    std::vector<int> order;
    std::atomic<bool> onOtherThread = true;
    const auto caller = std::this_thread::get_id();
    for (int i = 0; i < 100; ++i) {
        queue.Push([&, i] {
            if (std::this_thread::get_id() == caller) onOtherThread = false;
            order.push_back(i);
        });
    }
    queue.Wait();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    EXPECT_TRUE(onOtherThread);

    // Stop runs what is queued before the thread ends; afterwards jobs run at once.
    queue.Push([&] { order.push_back(100); });
    queue.Stop();
    EXPECT_EQ(order.size(), 101u);
    queue.Push([&] { order.push_back(101); });
    EXPECT_EQ(order.back(), 101);
}

TEST(WriteQueue, AFailedJobDropsTheRestAndIsThrownAgainByEveryLaterCall) {
    WriteQueue queue;
    queue.Start();
    int ran = 0;
    queue.Push([&] { ++ran; });
    queue.Push([] { throw std::runtime_error("disk full"); });
    queue.Push([&] { ++ran; });
    EXPECT_THROW(queue.Wait(), std::runtime_error);
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(queue.Push([&] { ++ran; }), std::runtime_error);
    EXPECT_THROW(queue.Wait(), std::runtime_error);
    EXPECT_EQ(ran, 1);
    EXPECT_THROW(queue.Stop(), std::runtime_error);

    WriteQueue inline_;  // not started: the caller gets the exception itself
    EXPECT_THROW(inline_.Push([] { throw std::logic_error("bad"); }), std::logic_error);
    int after = 0;
    inline_.Push([&] { ++after; });
    EXPECT_EQ(after, 1);
}

// Fails every block write from the n-th on, as a full disk would.
class FailingDatabase : public testing::FakeNodeDatabase {
  public:
    explicit FailingDatabase(int okWrites) : left_(okWrites) {}
    ndb::Bid WriteDataBlock(std::span<const std::uint8_t> payload) override {
        if (left_-- <= 0) throw ndb::IoError("No space left on device");
        return FakeNodeDatabase::WriteDataBlock(payload);
    }

  private:
    std::atomic<int> left_;
};

TEST(MessageStore, BackgroundWritesMatchWritesInPlaceAndRefuseTheSameItems) {
    auto inPlaceDb = std::make_unique<testing::FakeNodeDatabase>();
    auto backgroundDb = std::make_unique<testing::FakeNodeDatabase>();
    auto* a = inPlaceDb.get();
    auto* b = backgroundDb.get();
    MessageStore inPlace(std::move(inPlaceDb), "Eudora");
    MessageStore background(std::move(backgroundDb), "Eudora");
    background.WriteInBackground();
    for (MessageStore* store : {&inPlace, &background}) {
        const ndb::Nid folder = store->DefaultContactsFolder();
        // Bad items are refused before they are queued, and left as they were.
        ContactData bad{"Ann \xC3", "ann@x.org", "", ""};
        EXPECT_THROW(store->AddContact(folder, std::move(bad)), ltp::LtpError);
        EXPECT_EQ(bad.firstName, "Ann \xC3");
        EXPECT_THROW(store->AddContact(0x12345, {"Ann", "ann@x.org", "", ""}), MessagingError);
        for (int i = 0; i < 50; ++i) {
            store->AddContact(folder, {"Ann " + std::to_string(i), "ann@x.org", "", ""});
        }
        DistListData list{"Team", "", {{"Ann", "ann@x.org"}}};
        const ndb::Nid nid = store->AddDistList(folder, list);
        list.members.push_back({"Bob", "bob@x.org"});
        store->UpdateDistList(folder, nid, list);  // still unwritten: written once
        store->Sync();
        EXPECT_EQ(store->ItemCount(folder), 51u);
    }
    // Same nodes, same number of blocks: the thread changes when items are written, not what.
    EXPECT_EQ(a->nodes.size(), b->nodes.size());
    EXPECT_EQ(a->blockWrites, b->blockWrites);
    for (const auto& [nid, node] : a->nodes) EXPECT_TRUE(b->HasNode(nid)) << nid;
}

TEST(MessageStore, AFailedBackgroundWriteComesBackAsAnIoErrorAndStaysFailed) {
    auto db = std::make_unique<FailingDatabase>(1000);
    MessageStore store(std::move(db), "Eudora");
    store.WriteInBackground();
    const ndb::Nid folder = store.DefaultContactsFolder();
    // More contacts than the queue holds: the failure must come back while they are added.
    bool failed = false;
    int accepted = 0;
    for (int i = 0; i < 20000 && !failed; ++i) {
        try {
            store.AddContact(folder, {"Ann", "ann@x.org", "", ""});
            ++accepted;
        } catch (const ndb::IoError& e) {
            failed = true;
            EXPECT_STREQ(e.what(), "No space left on device");
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_LT(accepted, 20000);
    EXPECT_THROW(store.Sync(), ndb::IoError);
    EXPECT_THROW(store.AddContact(folder, {"Bob", "bob@x.org", "", ""}), ndb::IoError);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
