// A message store as Outlook creates it ([MS-PST] 2.4, 2.7): the store object, the name-to-ID
// map, the root folder with the IPM subtree, Deleted Items, the search root and the spam search
// folder, the table templates, plus a "Contacts" folder that is the store's default contacts
// folder. Contacts and distribution lists are added to contacts folders; Commit makes everything
// so far durable as a complete file.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "pst/ltp/PropertyContext.h"
#include "pst/ltp/TableContext.h"
#include "pst/messaging/Items.h"
#include "pst/messaging/WriteQueue.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::messaging {

// A refused messaging operation (unknown folder, bad entry ID).
class MessagingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr ndb::Nid kNidMessageStore = 0x21;
inline constexpr ndb::Nid kNidNameMap = 0x61;
inline constexpr ndb::Nid kNidRootFolder = 0x122;
inline constexpr ndb::Nid kNidIpmSubtree = 0x8022;
inline constexpr ndb::Nid kNidSearchRoot = 0x8042;
inline constexpr ndb::Nid kNidDeletedItems = 0x8062;
inline constexpr ndb::Nid kNidCommonViews = 0x8082;
inline constexpr ndb::Nid kNidSpamSearchFolder = 0x2223;

// What is about to be added to a store, counted in its source beforehand: the items and the
// bytes of text they are made from.
struct ExpectedContent {
    std::uint64_t contacts = 0;
    std::uint64_t lists = 0;
    std::uint64_t contactText = 0;  // names and addresses of the contacts
    std::uint64_t listText = 0;     // names and members of the lists
    std::uint64_t noteText = 0;     // notes, of either
};

class MessageStore {
  public:
    // Creates the file (never an existing one) with a new, empty store and its Contacts folder,
    // committed once so the file is complete from the start.
    static std::unique_ptr<MessageStore> Create(const std::filesystem::path& path,
                                                const std::string& displayName,
                                                const ndb::CreateOptions& options = {});
    // The same over a node database the caller made (tests use an in-memory one).
    MessageStore(std::unique_ptr<ndb::NodeDatabase> db, const std::string& displayName);
    ~MessageStore();

    // From now on items are written on a thread of their own: AddContact, AddDistList,
    // UpdateDistList and Commit return once the item has its NID and its text is checked, and
    // the writing overlaps with the caller's work. A failure of those writes is thrown, as
    // ndb::IoError, by the next call that writes; the file keeps its last committed state.
    void WriteInBackground();

    void SetDisplayName(const std::string& displayName);
    // The store's own entry ID (record key + the store object's NID).
    Bytes StoreEntryId() const { return PstEntryId(recordKey_, kNidMessageStore); }
    Bytes EntryIdOf(ndb::Nid nid) const { return PstEntryId(recordKey_, nid); }
    // The NID an entry ID of this store names; throws MessagingError for anything else.
    ndb::Nid NidOfEntryId(std::span<const std::uint8_t> entryId) const;

    ndb::Nid DefaultContactsFolder() const { return contacts_; }
    ndb::Nid CreateContactsFolder(const std::string& name);
    std::string FolderName(ndb::Nid folder);
    std::size_t ItemCount(ndb::Nid folder);

    // The contact is taken over only once it is accepted (a refused one is left as it was).
    ndb::Nid AddContact(ndb::Nid folder, ContactData&& contact);
    // The same, the contact taken over as it is; a refused one stays with the caller.
    ndb::Nid AddContact(ndb::Nid folder, std::unique_ptr<ContactData>&& contact);
    ndb::Nid AddContact(ndb::Nid folder, const ContactData& contact) {
        return AddContact(folder, ContactData(contact));
    }
    // A list is taken as it is, shared and never changed: the caller keeps its copy to change
    // (after a copy of its own) or save again, and the writer's thread reads it meanwhile.
    ndb::Nid AddDistList(ndb::Nid folder, std::shared_ptr<const DistListData> list);
    ndb::Nid AddDistList(ndb::Nid folder, const DistListData& list) {
        return AddDistList(folder, std::make_shared<const DistListData>(list));
    }
    // Stores a list saved before again, with its members now (same NID, same contents row).
    void UpdateDistList(ndb::Nid folder, ndb::Nid item, std::shared_ptr<const DistListData> list);
    void UpdateDistList(ndb::Nid folder, ndb::Nid item, const DistListData& list) {
        UpdateDistList(folder, item, std::make_shared<const DistListData>(list));
    }
    bool IsDistList(ndb::Nid item) const { return ListContext(item) != nullptr; }
    // Whether a contact or list was ever added.
    bool HasItems() const { return itemsAdded_; }

    // About how many bytes the file grows by when `content` is added and the store is closed
    // (rather more than less).
    static std::uint64_t ExpectedGrowth(const ExpectedContent& content);
    // Items (contacts and lists) in the file as last committed: what the file keeps after a
    // failure. Safe to read from any thread.
    std::size_t CommittedItems() const { return committedItems_.load(); }

    // Writes every changed folder and table, then commits the file (in the background once
    // WriteInBackground was called).
    void Commit();
    // Commit, and return when it is done (throwing what a background write threw).
    void Sync();
    // Commit, then close the file in its exact final state (ndb::NodeDatabase::Close); the store
    // is unusable afterwards.
    void Close();
    // Closes the file and removes it, for a store that holds nothing worth keeping; the store is
    // unusable afterwards.
    void Discard();
    bool Closed() const { return closed_; }
    // The node database, once every queued write is done.
    ndb::NodeDatabase& Database();

  private:
    struct Folder {
        ndb::Nid nid = 0;
        ndb::Nid parent = 0;
        ltp::PropertyBag props;
        std::unique_ptr<ltp::TableContext> hierarchy;
        std::unique_ptr<ltp::TableContext> contents;
        std::unique_ptr<ltp::TableContext> assoc;
        bool pcDirty = true;
        bool hierarchyDirty = true;
        bool contentsDirty = true;
        bool assocDirty = true;
        bool rowDirty = false;  // the parent's hierarchy row is out of date
        std::uint32_t count = 0;
    };

    void Build(const std::string& displayName);
    Folder& AddFolder(ndb::Nid nid, ndb::Nid parent, const std::string& name,
                      const std::string& containerClass, const std::string* comment,
                      bool contactsColumns);
    Folder& FolderAt(ndb::Nid nid);
    const Folder& FolderAt(ndb::Nid nid) const;
    void RefreshHierarchyRow(const Folder& child);
    // `final`: the item keeps these blocks until the close (ndb::NodeDatabase::SetFinal).
    void WriteProps(ndb::Nid nid, const ltp::PropertyBag& props, ndb::Nid parent,
                    bool final = false);
    void WriteTable(ndb::Nid nid, ltp::TableContext& table);
    ltp::PropertyBag StoreProperties() const;
    // `savedAgain`: the item may be saved again later (a list), so its contents row must stay
    // replaceable.
    void AddItem(ndb::Nid folder, ndb::Nid nid, const ltp::PropertyBag& props,
                 bool savedAgain = false);
    void RewriteDistList(ndb::Nid folder, ndb::Nid item, const ltp::PropertyBag& props);
    void CommitNow();
    void CheckMembers(const DistListData& list) const;
    void CheckFolder(ndb::Nid folder) const;
    ndb::Nid AllocateItemNid();
    ItemContext NewItemContext(ndb::Nid nid);
    void CheckOpen() const;
    // Queues a write; a failed background write comes back as ndb::IoError.
    void Queue(std::function<void()> job, bool urgent = false, std::size_t weight = 1);
    // Waits for the queued writes, before the caller touches what they touch.
    void Drain();
    void WriteUnwrittenList();
    // What a list weighs in the write queue (WriteQueue::Push).
    static std::size_t QueueWeight(const DistListData& list);
    // What AddContact checks before it takes the contact.
    void CheckContact(ndb::Nid folder, const ContactData& contact) const;
    ndb::Nid QueueContact(ndb::Nid folder, std::shared_ptr<const ContactData> contact);

    std::unique_ptr<ndb::NodeDatabase> db_;
    std::size_t itemsWritten_ = 0;  // by the writing thread
    std::atomic<std::size_t> committedItems_{0};
    std::mt19937_64 random_;
    RecordKey recordKey_{};
    Bytes replVersionHistory_;
    std::string displayName_;
    NameMap names_ = NameMap::Standard();
    std::map<ndb::Nid, Folder> folders_;
    ndb::Nid contacts_ = 0;
    bool storeDirty_ = true;

    // Kept by the caller's thread: what the calls check before queueing a write.
    std::set<ndb::Nid> folderNids_;
    // Each list with the context of its first save: a list saved again keeps its times and keys,
    // so its contents row changes in its size only. In NID order (item NIDs only grow), searched
    // for every member of every list.
    std::vector<ndb::Nid> listNids_;
    std::vector<ItemContext> listContexts_;
    const ItemContext* ListContext(ndb::Nid item) const;
    std::uint32_t lastItemIndex_ = 0;  // of normal-message NIDs handed out
    bool itemsAdded_ = false;
    bool closed_ = false;
    // A list is usually saved again at once with its members (the distribution-list wrapper):
    // it is written when anything else happens, so it is written once.
    struct UnwrittenList {
        ndb::Nid folder = 0;
        ndb::Nid nid = 0;
        std::shared_ptr<const DistListData> data;
        ItemContext ctx;
    };
    std::optional<UnwrittenList> unwrittenList_;

    WriteQueue queue_;  // last: its thread stops before anything it writes to goes
};

}  // namespace tarvelle::pst::messaging
