// The store session over the PST writer: creating and re-opening the file, refusing other files,
// entry IDs, contacts and lists through the session API, durability and write failures.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <vector>

#include "platform/PstStoreSession.h"
#include "pst/verify/Verify.h"
#include "tests/support/TempDir.h"

namespace tarvelle::platform {
namespace {

namespace fs = std::filesystem;
namespace verify = pst::verify;

// Whether any descriptor of this process refers to `path`.
bool OpenInThisProcess(const fs::path& path) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        // The same file, whatever name the descriptor was opened under.
        if (fs::equivalent(fd.path(), path, ec)) return true;
    }
    return false;
}

class PstStoreSessionTest : public ::testing::Test {
  protected:
    static std::unique_ptr<Item> AddContact(Store& store, const std::string& name,
                                            const std::string& address) {
        auto item = store.GetDefaultFolder(DefaultFolder::Contacts)->AddItem(ItemKind::Contact);
        item->SetText(ItemProperty::FirstName, name);
        item->SetText(ItemProperty::Email1Address, address);
        item->Save();
        return item;
    }
    // What the verifier reads in the file, which must have no errors.
    static verify::StoreContents ExpectValid(const fs::path& pst) {
        auto store = verify::ReadStore(pst);
        std::string findings;
        for (const auto& f : store.report.Findings()) findings += f.ToString() + "\n";
        EXPECT_EQ(store.report.Errors(), 0u) << findings;
        return store;
    }
    static std::int64_t ContactCount(const verify::StoreContents& store) {
        return store.FindFolder("Contacts") ? store.FindFolder("Contacts")->contentCount : -1;
    }
    fakes::TempDir temp_{"tarvelle-session-"};
    const fs::path dir_ = temp_.path();
    std::unique_ptr<StoreSessionFactory> factory_ = MakePstSessionFactory();
};

TEST_F(PstStoreSessionTest, NeverOpensOrChangesAFileItDidNotCreate) {
    const fs::path path = dir_ / "existing.pst";
    { std::ofstream(path) << "someone else's file"; }
    auto session = factory_->CreateSession();
    EXPECT_THROW(session->LogonPstStore(path.string(), 1, "x"), StoreError);
    std::string text;
    std::getline(std::ifstream(path), text);
    EXPECT_EQ(text, "someone else's file");
    // A dangling symbolic link is not a free path either.
    fs::create_symlink(dir_ / "nowhere.pst", dir_ / "link.pst");
    // Nor is a folder that does not exist; and only Unicode files (format 1) are written.
    for (const auto& [name, format] :
         {std::pair{"link.pst", 1}, {"no/dir.pst", 1}, {"ansi.pst", 2}})
        EXPECT_THROW(session->LogonPstStore((dir_ / name).string(), format, "x"), StoreError)
            << name;
    EXPECT_FALSE(fs::exists(dir_ / "nowhere.pst"));
}

TEST_F(PstStoreSessionTest, ItemsRefuseWhatTheyCannotHold) {
    auto session = factory_->CreateSession();
    auto store = session->LogonPstStore((dir_ / "a.pst").string(), 1, "x");
    EXPECT_THROW(store->GetDefaultFolder(static_cast<DefaultFolder>(6)), StoreError);
    auto folder = store->GetDefaultFolder(DefaultFolder::Contacts);
    EXPECT_THROW(folder->AddItem(static_cast<ItemKind>(0)), StoreError);
    auto contact = folder->AddItem(ItemKind::Contact);
    EXPECT_THROW(contact->SetText(ItemProperty::DLName, "x"), StoreError);
    EXPECT_THROW(contact->EntryID(), StoreError);
    contact->SetText(ItemProperty::FirstName, "bad \xC3");
    EXPECT_THROW(contact->Save(), StoreError);
    auto list = folder->AddItem(ItemKind::DistList);
    EXPECT_THROW(list->SetText(ItemProperty::FirstName, "x"), StoreError);
    auto wrapper = session->CreateDistListWrapper();
    EXPECT_THROW(wrapper->AddMember({"a", "a@b"}), StoreError);  // no list given yet
    EXPECT_THROW(wrapper->SetItem(contact.get()), StoreError);
    // A member must name an item of this store or have an address. (What members are written
    // is checked in the exported files by the command-line tests.)
    wrapper->SetItem(list.get());
    EXPECT_THROW(wrapper->AddMember({"X", "x@y.z", "SMTP", std::string(48, 'A')}), StoreError);
    EXPECT_THROW(wrapper->AddMember({"Nobody", ""}), StoreError);
}

TEST_F(PstStoreSessionTest, AFailingWriteEndsWithPstWriteErrorAndKeepsTheLastCommit) {
    const fs::path path = dir_ / "full.pst";
    auto session = factory_->CreateSession();
    auto store = session->LogonPstStore(path.string(), 1, "Full");
    AddContact(*store, "Kept", "kept@example.org");
    session->Flush();
    const auto size = fs::file_size(path);

    // Writes past the current size fail with EFBIG, as under `ulimit -f`.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limited = {size, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    std::size_t kept = 0;
    try {
        for (int i = 0; i < 5000; ++i) {
            AddContact(*store, "Lost " + std::to_string(i), "lost@example.org");
            if (i % 100 == 99) session->Flush();
        }
    } catch (const PstWriteError& e) {
        kept = std::string(e.what()).empty() ? 0 : e.ItemsKept();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    // The error tells how many items the file holds.
    ASSERT_GT(kept, 1u) << "no write error, or one without its text or the items kept";
    // Every later write fails the same way instead of half-succeeding.
    EXPECT_THROW(AddContact(*store, "After", "after@example.org"), PstWriteError);
    EXPECT_THROW(session->Flush(), PstWriteError);
    // Closing a failed file only lets it go, with the last object of its store: it keeps its
    // last commit.
    EXPECT_NO_THROW(session->Close());
    store.reset();
    EXPECT_FALSE(OpenInThisProcess(path));
    const auto held = ExpectValid(path);
    ASSERT_GE(ContactCount(held), 1);
    EXPECT_EQ(held.ItemsIn(held.FindFolder("Contacts")->nid)[0]->Find(0x3001001F)->Text(), "Kept");
    EXPECT_EQ(pst::verify::Verify(path).counts.contacts, kept);
}

TEST_F(PstStoreSessionTest, ExpectedItemsAreComparedWithTheFreeSpace) {
    // Free space too small, ample, and unknown (nothing is refused then).
    using Space = std::optional<std::uint64_t>;
    for (const Space available : {Space{1u << 20}, Space{1ull << 40}, Space{}}) {
        std::vector<fs::path> asked;
        auto session = MakePstSessionFactory([&](const fs::path& folder) {
                           asked.push_back(folder);
                           return available;
                       })->CreateSession();
        const fs::path path = dir_ / "room.pst";
        session->LogonPstStore(path.string(), 1, "Room");
        try {
            session->ExpectItems({20000, 0, 3u << 20, 0, 0});
            EXPECT_NE(available, std::uint64_t{1u << 20});
        } catch (const NotEnoughSpaceError& e) {
            EXPECT_EQ(available, std::uint64_t{1u << 20});
            EXPECT_EQ(e.Folder(), dir_.string());
            EXPECT_EQ(e.Available(), 1u << 20);
            EXPECT_GT(e.Needed(), 20000u * 1000) << "about the size of 20,000 items";
        }
        EXPECT_EQ(asked, std::vector<fs::path>{dir_});
        session->Discard();
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST_F(PstStoreSessionTest, LogonAgainContinuesTheFileCloseMakesItFinalDiscardTakesBackAnEmptyOne) {
    const fs::path kept = dir_ / "kept.pst";
    const fs::path empty = dir_ / "empty.pst";
    std::string storeId;
    {
        auto session = factory_->CreateSession();
        EXPECT_TRUE(std::regex_match(session->OutlookVersion(), std::regex("[0-9]{2}.*")));
        auto store = session->LogonPstStore(kept.string(), 1, "Eudora Nicknames (created 2026)");
        store->ApplyDisplayName();
        storeId = store->EntryID();
        AddContact(*store, "Ann", "ann@example.org");
        session->Logoff();
    }
    EXPECT_EQ(fs::status(kept).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // Logged on again, as the export run does after preparing the file.
    auto session = factory_->CreateSession();
    session->LogonPstStore(kept.string(), 1, "Eudora Nicknames (created 2026)");
    auto store = session->GetStoreFromID(storeId);
    EXPECT_THROW(session->GetStoreFromID(std::string(48, '0')), StoreError);
    EXPECT_EQ(store->GetDefaultFolder(DefaultFolder::Contacts)->Name(), "Contacts");
    session->LogonPstStore(empty.string(), 1, "Empty");
    AddContact(*store, "Bob", "bob@example.org");
    session->Discard();
    EXPECT_FALSE(fs::exists(empty));
    ASSERT_TRUE(OpenInThisProcess(kept)) << "a store holding an item is kept, and open";

    session->Close();
    EXPECT_FALSE(OpenInThisProcess(kept));
    EXPECT_THROW(AddContact(*store, "Late", "late@example.org"), StoreError);
    // Nothing continues a closed file: it is an existing file like any other.
    EXPECT_THROW(factory_->CreateSession()->LogonPstStore(kept.string(), 1, "x"), StoreError);
    const auto contents = ExpectValid(kept);
    EXPECT_EQ(ContactCount(contents), 2);
    EXPECT_EQ(contents.displayName.rfind("Eudora Nicknames (created 2026)", 0), 0u)
        << contents.displayName;
    EXPECT_EQ(pst::verify::Verify(kept).Warnings(), 0u);
    EXPECT_NO_THROW(session->Logoff());
}

// A list is stored as it was when saved: members cleared or added and a new name after the save
// wait for the next one, even while the store still holds the saved list unwritten; a list saved
// again unchanged keeps its members.
TEST_F(PstStoreSessionTest, AListIsStoredAsItWasAtItsSave) {
    const fs::path path = dir_ / "lists.pst";
    auto session = factory_->CreateSession();
    auto store = session->LogonPstStore(path.string(), 1, "Lists");
    auto folder = store->GetDefaultFolder(DefaultFolder::Contacts);
    const auto ann = AddContact(*store, "Ann", "ann@example.org");
    auto wrapper = session->CreateDistListWrapper();
    auto team = folder->AddItem(ItemKind::DistList);
    team->SetText(ItemProperty::DLName, "Team");
    wrapper->SetItem(team.get());
    wrapper->AddMember({"Ann", "ann@example.org", "SMTP", ann->EntryID()});
    wrapper->AddMember({"Bob", "bob@example.org"});
    wrapper->Save();
    wrapper->ClearMembers();
    wrapper->AddMember({"Cy", "cy@example.org"});
    team->SetText(ItemProperty::DLName, "Changed");
    AddContact(*store, "Dee", "dee@example.org");  // the store writes the list it holds

    auto pair = folder->AddItem(ItemKind::DistList);
    pair->SetText(ItemProperty::DLName, "Pair");
    wrapper->SetItem(pair.get());
    wrapper->AddMember({"Eve", "eve@example.org"});
    wrapper->AddMember({"Fay", "fay@example.org"});
    wrapper->Save();
    AddContact(*store, "Gil", "gil@example.org");
    wrapper->Save();
    session->Close();

    const auto contents = ExpectValid(path);
    auto listNamed = [&](const std::string& name) -> const pst::verify::Item* {
        for (const auto& item : contents.items) {
            const auto* title = item.Find(0x3001001F);
            if (item.messageClass == "IPM.DistList" && title && title->Text() == name) return &item;
        }
        return nullptr;
    };
    auto names = [](const pst::verify::Item& list) {
        std::vector<std::string> out;
        for (const auto& m : list.members) out.push_back(m.displayName);
        return out;
    };
    EXPECT_EQ(listNamed("Changed"), nullptr);
    ASSERT_NE(listNamed("Team"), nullptr);
    EXPECT_EQ(names(*listNamed("Team")), (std::vector<std::string>{"Ann", "Bob"}));
    ASSERT_NE(listNamed("Pair"), nullptr);
    EXPECT_EQ(names(*listNamed("Pair")), (std::vector<std::string>{"Eve", "Fay"}));
}

}  // namespace
}  // namespace tarvelle::platform
