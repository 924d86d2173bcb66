// A store session double that records every call and every saved item, and fails on request.
//
//   tarvelle::fakes::StoreRecord record;
//   tarvelle::fakes::RecordingSessionFactory factory(record);
//   record.FailOn("OutlookVersion");            // the next OutlookVersion call throws StoreError
//   record.FailOn("Item.Save", 3, true);         // the third item save throws PstWriteError
//   record.noRoom = {"/media/usb", 300e6, 90e6};  // ExpectItems: not enough free space
//   record.onSave = [](const RecordedItem& i) {  // refuse items by content
//       if (i.Text(ItemProperty::FirstName) == "bad") throw platform::StoreError("refused");
//   };
//
// Operation names: "CreateSession", "LogonPstStore", "OutlookVersion", "ApplyDisplayName",
// "EntryID", "ExpectItems", "Logoff", "Flush", "Close", "Discard", "GetStoreFromID",
// "GetDefaultFolder", "AddItem", "SetText", "Item.Save", "CreateDistListWrapper", "SetItem",
// "AddMember", "ClearMembers", "Wrapper.Save", "CreateContactsFolder".
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/StoreSession.h"

namespace tarvelle::fakes {

using platform::DefaultFolder;
using platform::ItemKind;
using platform::ItemProperty;
using platform::Member;

struct RecordedItem {
    ItemKind kind = ItemKind::Contact;
    std::string storeEntryId;
    std::map<ItemProperty, std::string> texts;
    std::vector<Member> members;  // stored by the wrapper's Save
    int saves = 0;
    std::string entryId;     // set by the first save, kept by later ones
    std::string folderName;  // the folder the item was added to

    std::string Text(ItemProperty property) const {
        auto it = texts.find(property);
        return it == texts.end() ? std::string() : it->second;
    }
};

struct NoRoom {
    std::string folder;
    std::uint64_t needed = 0;
    std::uint64_t available = 0;
};

struct FailureRule {
    std::string operation;
    int nth = 1;  // fail the nth call from now on (1 = the next one); 0 = every call
    bool writeError = false;
    std::string cause;
    int seen = 0;
};

// Everything the double saw, shared by the factory and every session, store and item it made.
struct StoreRecord {
    std::vector<std::string> calls;                    // operation names, in order
    std::vector<std::string> logons;                   // "path|format|display name"
    std::vector<std::shared_ptr<RecordedItem>> items;  // every item added, in order
    std::vector<FailureRule> rules;
    std::function<void(const RecordedItem&)> onSave;  // may throw to refuse an item
    std::function<void(const Member&)> onAddMember;   // may throw to refuse a member
    std::function<void(const std::string&)> onCall;   // sees every operation as it starts
    std::string versionText = "16.0 (recording double)";
    std::optional<NoRoom> noRoom;
    platform::ExpectedItems expected;     // what the last ExpectItems said
    std::set<std::string> storesCreated;  // entry IDs of stores made so far
    int sessionsCreated = 0;
    int openSessions = 0;
    // Objects released after the session that made them (a real store would crash on that).
    std::vector<std::string> violations;

    void FailOn(std::string operation, int nth = 1, bool writeError = false,
                std::string cause = {}) {
        if (cause.empty()) cause = operation + " refused";
        rules.push_back({std::move(operation), nth, writeError, std::move(cause), 0});
    }

    void Call(const std::string& operation) {
        calls.push_back(operation);
        if (onCall) onCall(operation);
        for (FailureRule& rule : rules) {
            if (rule.operation != operation) continue;
            ++rule.seen;
            if (rule.nth == 0 || rule.seen == rule.nth) {
                // The double keeps every item saved before the failure.
                if (rule.writeError) throw platform::PstWriteError(rule.cause, SavedItems().size());
                throw platform::StoreError(rule.cause);
            }
        }
    }

    int Count(const std::string& operation) const {
        int n = 0;
        for (const auto& c : calls) n += c == operation ? 1 : 0;
        return n;
    }

    // Items saved at least once, in creation order.
    std::vector<std::shared_ptr<RecordedItem>> SavedItems() const {
        std::vector<std::shared_ptr<RecordedItem>> out;
        for (const auto& item : items) {
            if (item->saves > 0) out.push_back(item);
        }
        return out;
    }
};

// Shared by a session and everything it made; false once the session is gone.
using AliveToken = std::shared_ptr<bool>;

inline void CheckAlive(StoreRecord& record, const AliveToken& alive, const char* what) {
    if (alive && !*alive) record.violations.push_back(std::string(what) + " outlived its session");
}

class RecordingItem : public platform::Item {
  public:
    RecordingItem(StoreRecord& record, std::shared_ptr<RecordedItem> data, AliveToken alive)
        : record_(record), data_(std::move(data)), alive_(std::move(alive)) {}
    ~RecordingItem() override { CheckAlive(record_, alive_, "an item"); }
    ItemKind Kind() const override { return data_->kind; }
    void SetText(ItemProperty property, const std::string& value) override {
        record_.Call("SetText");
        data_->texts[property] = value;
    }
    void Save() override {
        record_.Call("Item.Save");
        if (record_.onSave) record_.onSave(*data_);
        ++data_->saves;
        if (data_->entryId.empty()) data_->entryId = "ITEM" + std::to_string(record_.items.size());
    }
    std::string EntryID() const override { return data_->entryId; }
    RecordedItem& Data() { return *data_; }

  private:
    StoreRecord& record_;
    std::shared_ptr<RecordedItem> data_;
    AliveToken alive_;
};

class RecordingFolder : public platform::Folder {
  public:
    RecordingFolder(StoreRecord& record, std::string storeEntryId, std::string name,
                    AliveToken alive)
        : record_(record),
          storeEntryId_(std::move(storeEntryId)),
          name_(std::move(name)),
          alive_(std::move(alive)) {}
    ~RecordingFolder() override { CheckAlive(record_, alive_, "a folder"); }
    std::string Name() const override { return name_; }
    std::unique_ptr<platform::Item> AddItem(ItemKind kind) override {
        record_.Call("AddItem");
        auto data = std::make_shared<RecordedItem>();
        data->kind = kind;
        data->storeEntryId = storeEntryId_;
        data->folderName = name_;
        record_.items.push_back(data);
        return std::make_unique<RecordingItem>(record_, data, alive_);
    }

  private:
    StoreRecord& record_;
    std::string storeEntryId_;
    std::string name_;
    AliveToken alive_;
};

class RecordingStore : public platform::Store {
  public:
    RecordingStore(StoreRecord& record, std::string entryId, AliveToken alive)
        : record_(record), entryId_(std::move(entryId)), alive_(std::move(alive)) {}
    ~RecordingStore() override { CheckAlive(record_, alive_, "a store"); }
    void ApplyDisplayName() override { record_.Call("ApplyDisplayName"); }
    std::string EntryID() const override {
        record_.Call("EntryID");
        return entryId_;
    }
    std::unique_ptr<platform::Folder> GetDefaultFolder(DefaultFolder kind) override {
        record_.Call("GetDefaultFolder");
        if (kind != DefaultFolder::Contacts) throw platform::StoreError("unknown default folder");
        return std::make_unique<RecordingFolder>(record_, entryId_, "Contacts", alive_);
    }
    std::unique_ptr<platform::Folder> CreateContactsFolder(const std::string& name) override {
        record_.Call("CreateContactsFolder");
        return std::make_unique<RecordingFolder>(record_, entryId_, name, alive_);
    }

  private:
    StoreRecord& record_;
    std::string entryId_;
    AliveToken alive_;
};

class RecordingWrapper : public platform::DistListWrapper {
  public:
    RecordingWrapper(StoreRecord& record, AliveToken alive)
        : record_(record), alive_(std::move(alive)) {}
    ~RecordingWrapper() override { CheckAlive(record_, alive_, "a distribution-list wrapper"); }
    void SetItem(platform::Item* distList) override {
        record_.Call("SetItem");
        item_ = dynamic_cast<RecordingItem*>(distList);
        if (item_ == nullptr) throw platform::StoreError("not an item of this store");
    }
    void AddMember(const Member& member) override {
        record_.Call("AddMember");
        if (item_ == nullptr) throw platform::StoreError("the wrapper has no item");
        if (record_.onAddMember) record_.onAddMember(member);
        pending_.push_back(member);
    }
    void ClearMembers() override {
        record_.Call("ClearMembers");
        if (item_ == nullptr) throw platform::StoreError("the wrapper has no item");
        pending_.clear();
        replace_ = true;
    }
    void Save() override {
        record_.Call("Wrapper.Save");
        if (item_ == nullptr) throw platform::StoreError("the wrapper has no item");
        auto& members = item_->Data().members;
        if (replace_) members.clear();
        members.insert(members.end(), pending_.begin(), pending_.end());
        pending_.clear();
        replace_ = false;
    }

  private:
    StoreRecord& record_;
    RecordingItem* item_ = nullptr;
    std::vector<Member> pending_;
    bool replace_ = false;  // ClearMembers was called: the next Save replaces the members
    AliveToken alive_;
};

class RecordingSession : public platform::StoreSession {
  public:
    explicit RecordingSession(StoreRecord& record) : record_(record) { ++record_.openSessions; }
    ~RecordingSession() override {
        --record_.openSessions;
        *alive_ = false;
    }

    std::shared_ptr<platform::Store> LogonPstStore(const std::string& path, int format,
                                                   const std::string& displayName) override {
        record_.Call("LogonPstStore");
        record_.logons.push_back(path + "|" + std::to_string(format) + "|" + displayName);
        // One store per path, so a re-open of the same file gives the same entry ID.
        auto it = entryIds_.find(path);
        std::string id;
        if (it != entryIds_.end()) {
            id = it->second;
        } else {
            id = StoreIdFor(path);
            entryIds_[path] = id;
        }
        record_.storesCreated.insert(id);
        open_.insert(id);
        return std::make_shared<RecordingStore>(record_, id, alive_);
    }
    std::string OutlookVersion() override {
        record_.Call("OutlookVersion");
        return record_.versionText;
    }
    std::shared_ptr<platform::Store> GetStoreFromID(const std::string& entryId) override {
        record_.Call("GetStoreFromID");
        if (open_.count(entryId) == 0) {
            throw platform::StoreError("no store with entry ID \"" + entryId + "\" is open");
        }
        return std::make_shared<RecordingStore>(record_, entryId, alive_);
    }
    std::unique_ptr<platform::DistListWrapper> CreateDistListWrapper() override {
        record_.Call("CreateDistListWrapper");
        return std::make_unique<RecordingWrapper>(record_, alive_);
    }
    void ExpectItems(const platform::ExpectedItems& expected) override {
        record_.Call("ExpectItems");
        record_.expected = expected;
        if (const auto& room = record_.noRoom)
            throw platform::NotEnoughSpaceError(room->folder, room->needed, room->available);
    }
    void Flush() override { record_.Call("Flush"); }
    void Discard() override { record_.Call("Discard"); }
    void Logoff() override {
        record_.Call("Logoff");
        open_.clear();
    }
    void Close() override {
        record_.Call("Close");
        open_.clear();
    }

    // The same path always maps to the same ID, across sessions.
    static std::string StoreIdFor(const std::string& path) {
        return "STORE:" + std::to_string(std::hash<std::string>{}(path));
    }

  private:
    StoreRecord& record_;
    std::map<std::string, std::string> entryIds_;
    std::set<std::string> open_;
    AliveToken alive_ = std::make_shared<bool>(true);
};

class RecordingSessionFactory : public platform::StoreSessionFactory {
  public:
    explicit RecordingSessionFactory(StoreRecord& record) : record_(record) {}
    std::unique_ptr<platform::StoreSession> CreateSession() override {
        record_.Call("CreateSession");
        ++record_.sessionsCreated;
        return std::make_unique<RecordingSession>(record_);
    }

  private:
    StoreRecord& record_;
};

}  // namespace tarvelle::fakes
