// A store session double that records every call (by member name; "Item.Save", "Wrapper.Save")
// and every saved item, and fails on request: FailOn("Item.Save", 3, true) makes the third item
// save throw PstWriteError.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/StoreSession.h"

namespace tarvelle::fakes {

using platform::ItemProperty;
using platform::Member;

struct RecordedItem {
    platform::ItemKind kind = platform::ItemKind::Contact;
    std::string storeEntryId;
    std::string folderName;  // the folder the item was added to
    std::map<ItemProperty, std::string> texts;
    std::vector<Member> members;  // stored by the wrapper's Save
    int saves = 0;
    std::string entryId;  // set by the first save, kept by later ones

    std::string Text(ItemProperty property) const {
        return texts.contains(property) ? texts.at(property) : std::string();
    }
};

// Everything the double saw, shared by the factory and every session, store and item it made.
struct StoreRecord {
    struct Rule {
        std::string operation;
        int nth;  // fail the nth call from now on (1 = the next one); 0 = every call
        bool writeError;
        std::string cause;
        int seen = 0;
    };
    std::vector<std::string> calls;                    // operation names, in order
    std::vector<std::string> logons;                   // "path|format|display name"
    std::vector<std::shared_ptr<RecordedItem>> items;  // every item added, in order
    std::vector<Rule> rules;
    std::function<void(const RecordedItem&)> onSave;  // may throw to refuse an item
    std::function<void(const Member&)> onAddMember;   // may throw to refuse a member
    std::function<void(const std::string&)> onCall;   // sees every operation as it starts
    std::string versionText = "16.0 (recording double)";
    int sessionsCreated = 0;
    int openSessions = 0;
    // Objects released after the session that made them (a real store would crash on that).
    std::vector<std::string> violations;

    void FailOn(std::string operation, int nth = 1, bool writeError = false,
                std::string cause = {}) {
        if (cause.empty()) cause = operation + " refused";
        rules.push_back({std::move(operation), nth, writeError, std::move(cause)});
    }

    void Call(const std::string& operation) {
        calls.push_back(operation);
        if (onCall) onCall(operation);
        for (Rule& rule : rules) {
            if (rule.operation != operation || (++rule.seen != rule.nth && rule.nth != 0)) continue;
            // The double keeps every item saved before the failure.
            if (rule.writeError) throw platform::PstWriteError(rule.cause, SavedItems().size());
            throw platform::StoreError(rule.cause);
        }
    }

    int Count(const std::string& operation) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), operation));
    }

    // Items saved at least once, in creation order.
    std::vector<std::shared_ptr<RecordedItem>> SavedItems() const {
        std::vector<std::shared_ptr<RecordedItem>> out;
        std::ranges::copy_if(items, std::back_inserter(out), [](auto& i) { return i->saves > 0; });
        return out;
    }
};

// What every object a session made shares with it: the record, and whether the session lives.
struct SessionLink {
    StoreRecord& record;
    std::shared_ptr<bool> alive;
    void Check(const char* what) const {
        if (!*alive) record.violations.push_back(std::string(what) + " outlived its session");
    }
};

class RecordingItem : public platform::Item {
  public:
    RecordingItem(SessionLink link, std::shared_ptr<RecordedItem> data)
        : link_(std::move(link)), data_(std::move(data)) {}
    ~RecordingItem() override { link_.Check("an item"); }
    platform::ItemKind Kind() const override { return data_->kind; }
    void SetText(ItemProperty property, const std::string& value) override {
        link_.record.Call("SetText");
        data_->texts[property] = value;
    }
    void Save() override {
        link_.record.Call("Item.Save");
        if (link_.record.onSave) link_.record.onSave(*data_);
        if (data_->saves++ == 0)
            data_->entryId = "ITEM" + std::to_string(link_.record.items.size());
    }
    std::string EntryID() const override { return data_->entryId; }
    SessionLink link_;
    std::shared_ptr<RecordedItem> data_;
};

class RecordingFolder : public platform::Folder {
  public:
    RecordingFolder(SessionLink link, std::string storeEntryId, std::string name)
        : link_(std::move(link)), storeEntryId_(std::move(storeEntryId)), name_(std::move(name)) {}
    ~RecordingFolder() override { link_.Check("a folder"); }
    std::string Name() const override { return name_; }
    std::unique_ptr<platform::Item> AddItem(platform::ItemKind kind) override {
        link_.record.Call("AddItem");
        auto data = std::make_shared<RecordedItem>(RecordedItem{kind, storeEntryId_, name_});
        link_.record.items.push_back(data);
        return std::make_unique<RecordingItem>(link_, data);
    }
    SessionLink link_;
    std::string storeEntryId_;
    std::string name_;
};

class RecordingStore : public platform::Store {
  public:
    RecordingStore(SessionLink link, std::string entryId)
        : link_(std::move(link)), entryId_(std::move(entryId)) {}
    ~RecordingStore() override { link_.Check("a store"); }
    void ApplyDisplayName() override { link_.record.Call("ApplyDisplayName"); }
    std::string EntryID() const override {
        link_.record.Call("EntryID");
        return entryId_;
    }
    std::unique_ptr<platform::Folder> GetDefaultFolder(platform::DefaultFolder kind) override {
        link_.record.Call("GetDefaultFolder");
        if (kind != platform::DefaultFolder::Contacts) throw platform::StoreError("no such folder");
        return std::make_unique<RecordingFolder>(link_, entryId_, "Contacts");
    }
    std::unique_ptr<platform::Folder> CreateContactsFolder(const std::string& name) override {
        link_.record.Call("CreateContactsFolder");
        return std::make_unique<RecordingFolder>(link_, entryId_, name);
    }
    SessionLink link_;
    std::string entryId_;
};

class RecordingWrapper : public platform::DistListWrapper {
  public:
    explicit RecordingWrapper(SessionLink link) : link_(std::move(link)) {}
    ~RecordingWrapper() override { link_.Check("a distribution-list wrapper"); }
    void SetItem(platform::Item* distList) override {
        Call("SetItem");
        item_ = dynamic_cast<RecordingItem*>(distList);
        if (item_ == nullptr) throw platform::StoreError("not an item of this store");
    }
    void AddMember(const Member& member) override {
        Call("AddMember");
        if (link_.record.onAddMember) link_.record.onAddMember(member);
        pending_.push_back(member);
    }
    void ClearMembers() override {
        Call("ClearMembers");
        pending_.clear();
        replace_ = true;
    }
    void Save() override {
        Call("Wrapper.Save");
        auto& members = item_->data_->members;
        if (std::exchange(replace_, false)) members.clear();
        members.insert(members.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }

  private:
    void Call(const char* operation) {
        link_.record.Call(operation);
        if (item_ == nullptr && operation != std::string("SetItem"))
            throw platform::StoreError("the wrapper has no item");
    }

    SessionLink link_;
    RecordingItem* item_ = nullptr;
    std::vector<Member> pending_;
    bool replace_ = false;  // ClearMembers was called: the next Save replaces the members
};

class RecordingSession : public platform::StoreSession {
  public:
    explicit RecordingSession(StoreRecord& record) : link_{record, std::make_shared<bool>(true)} {
        ++record.openSessions;
    }
    ~RecordingSession() override {
        --link_.record.openSessions;
        *link_.alive = false;
    }

    // A store's entry ID follows from its path, so a re-open of the same file gives the same ID.
    std::shared_ptr<platform::Store> LogonPstStore(const std::string& path, int format,
                                                   const std::string& displayName) override {
        link_.record.Call("LogonPstStore");
        link_.record.logons.push_back(path + "|" + std::to_string(format) + "|" + displayName);
        open_.insert("STORE:" + path);
        return std::make_shared<RecordingStore>(link_, "STORE:" + path);
    }
    std::string OutlookVersion() override {
        link_.record.Call("OutlookVersion");
        return link_.record.versionText;
    }
    std::shared_ptr<platform::Store> GetStoreFromID(const std::string& entryId) override {
        link_.record.Call("GetStoreFromID");
        if (open_.count(entryId) == 0) throw platform::StoreError("no such store open");
        return std::make_shared<RecordingStore>(link_, entryId);
    }
    std::unique_ptr<platform::DistListWrapper> CreateDistListWrapper() override {
        link_.record.Call("CreateDistListWrapper");
        return std::make_unique<RecordingWrapper>(link_);
    }
    void ExpectItems(const platform::ExpectedItems&) override { link_.record.Call("ExpectItems"); }
    void Flush() override { link_.record.Call("Flush"); }
    void Discard() override { link_.record.Call("Discard"); }
    void Logoff() override { End("Logoff"); }
    void Close() override { End("Close"); }
    void End(const char* operation) {
        link_.record.Call(operation);
        open_.clear();
    }
    SessionLink link_;
    std::set<std::string> open_;
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
