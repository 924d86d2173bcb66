#include "platform/PstStoreSession.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "platform/NativePath.h"
#include "pst/messaging/MessageStore.h"

namespace tarvelle::platform {

namespace {

namespace fs = std::filesystem;
namespace msg = pst::messaging;
using Clock = std::chrono::steady_clock;

constexpr int kUnicodePstFormat = 1;

// One .pst this program run created, shared by every session that logs on to it.
struct OpenPst {
    std::string key;  // in the registry of files this run created
    std::unique_ptr<msg::MessageStore> store;
    fs::path path;
    std::string displayName;
    Clock::time_point lastCommit = Clock::now();
    bool dirty = false;
    std::string writeFailure;  // set once a write of the file failed: every later write fails too
};

// Files created in this run and not closed yet, by absolute path: a later logon continues the
// same store.
using PstRegistry = std::map<std::string, std::shared_ptr<OpenPst>>;

// At program end every file still open is committed, flushed to the disk and closed.
struct RegistryCloser {
    PstRegistry* registry;
    ~RegistryCloser() {
        for (auto& [path, pst] : *registry) {
            if (!pst->writeFailure.empty() || pst->store->Closed()) continue;
            try {
                pst->store->Close();
            } catch (const std::exception&) {
                // The file keeps its last committed state.
            }
        }
    }
};

PstRegistry& Registry() {
    // Never destroyed: sessions may still refer to it while statics are torn down.
    static auto* registry = new PstRegistry();
    static RegistryCloser closer{registry};
    return *registry;
}

std::string RegistryKey(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(PathFromUtf8(path), ec);
    if (ec) throw StoreError("the path \"" + path + "\" cannot be resolved: " + ec.message());
    return PathToUtf8(p.lexically_normal());
}

// Runs a writer operation, turning the writer's failures into the session's error types.
template <typename F>
auto Guarded(OpenPst& pst, F&& f) -> decltype(f()) {
    if (!pst.writeFailure.empty())
        throw PstWriteError(pst.writeFailure, pst.store->CommittedItems());
    try {
        return f();
    } catch (const pst::ndb::IoError& e) {
        pst.writeFailure = e.what();
        throw PstWriteError(e.what(), pst.store->CommittedItems());
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

// Queues a commit of everything saved so far; it is written while the export goes on.
void CommitNow(OpenPst& pst) {
    Guarded(pst, [&] {
        pst.store->Commit();
        pst.lastCommit = Clock::now();
        pst.dirty = false;
    });
}

// Commits and returns once the commit is on the disk (or has failed).
void CommitAndWait(OpenPst& pst) {
    Guarded(pst, [&] {
        pst.store->Sync();
        pst.lastCommit = Clock::now();
        pst.dirty = false;
    });
}

void AfterSave(OpenPst& pst) {
    pst.dirty = true;
    if (Clock::now() - pst.lastCommit >= kCommitInterval) CommitNow(pst);
}

class PstItem : public Item {
  public:
    PstItem(std::shared_ptr<OpenPst> pst, pst::ndb::Nid folder, ItemKind kind)
        : pst_(std::move(pst)), folder_(folder), kind_(kind) {
        if (kind_ == ItemKind::Contact) contact_ = std::make_unique<msg::ContactData>();
    }

    ItemKind Kind() const override { return kind_; }

    void SetText(ItemProperty property, const std::string& value) override {
        if (kind_ == ItemKind::Contact) {
            // Its texts went to the store with it: a saved contact cannot change.
            if (contact_ == nullptr) throw StoreError("the contact has already been saved");
            switch (property) {
                case ItemProperty::FirstName:
                    contact_->firstName = value;
                    return;
                case ItemProperty::Email1Address:
                    contact_->email = value;
                    return;
                case ItemProperty::Email1DisplayName:
                    contact_->emailDisplayName = value;
                    return;
                case ItemProperty::Body:
                    contact_->body = value;
                    return;
                default:
                    if (SetContactField(property, value)) return;
                    break;
            }
        } else {
            switch (property) {
                case ItemProperty::DLName:
                    EditList(true).name = value;
                    return;
                case ItemProperty::Body:
                    EditList(true).body = value;
                    return;
                default:
                    break;
            }
        }
        throw StoreError("this item kind has no such text property");
    }

    void Save() override {
        Guarded(*pst_, [&] {
            if (kind_ == ItemKind::Contact) {
                if (nid_ != 0) throw StoreError("the contact has already been saved");
                nid_ = pst_->store->AddContact(folder_, std::move(contact_));
            } else if (nid_ == 0) {
                nid_ = pst_->store->AddDistList(folder_, list_);
                listSaved_ = true;
            } else {
                pst_->store->UpdateDistList(folder_, nid_, list_);
                listSaved_ = true;
            }
        });
        AfterSave(*pst_);
    }

    std::string EntryID() const override {
        if (nid_ == 0) throw StoreError("the item has not been saved");
        return msg::ToHex(pst_->store->EntryIdOf(nid_));
    }

    // Lists kept for a later save hold no member memory meanwhile (thousands may wait).
    void ClearMembers() { EditList(false); }

    void AddMember(const Member& m) {
        msg::ListMember member;
        member.displayName = m.displayName.empty() ? m.address : m.displayName;
        member.address = m.address;
        member.addressType = m.addressType.empty() ? "SMTP" : m.addressType;
        if (m.itemEntryId) {
            Guarded(*pst_, [&] {
                member.itemEntryId = msg::FromHex(*m.itemEntryId);
                member.itemIsList =
                    pst_->store->IsDistList(pst_->store->NidOfEntryId(member.itemEntryId));
            });
        } else if (m.address.empty()) {
            throw StoreError("the member has no address");
        } else {
            // Fails here, not at Save, on text that cannot be stored.
            Guarded(*pst_, [&] {
                pst::ltp::CheckUtf8(member.displayName);
                pst::ltp::CheckUtf8(member.address);
            });
        }
        EditList(true).members.push_back(std::move(member));
    }

  private:
    // The contact fields beyond the name and Email1; false for a property contacts lack.
    bool SetContactField(ItemProperty property, const std::string& value) {
        auto& c = *contact_;
        std::string* target = nullptr;
        switch (property) {
            // clang-format off
            case ItemProperty::MiddleName: target = &c.middleName; break;
            case ItemProperty::LastName: target = &c.surname; break;
            case ItemProperty::FullName: target = &c.fullName; break;
            case ItemProperty::Nickname: target = &c.nickname; break;
            case ItemProperty::Email2Address: target = &c.email2.address; break;
            case ItemProperty::Email2DisplayName: target = &c.email2.displayName; break;
            case ItemProperty::Email3Address: target = &c.email3.address; break;
            case ItemProperty::Email3DisplayName: target = &c.email3.displayName; break;
            case ItemProperty::HomeAddressStreet: target = &c.home.street; break;
            case ItemProperty::HomeAddressCity: target = &c.home.city; break;
            case ItemProperty::HomeAddressState: target = &c.home.state; break;
            case ItemProperty::HomeAddressPostalCode: target = &c.home.postalCode; break;
            case ItemProperty::HomeAddressCountry: target = &c.home.country; break;
            case ItemProperty::HomeAddress: target = &c.home.full; break;
            case ItemProperty::BusinessAddressStreet: target = &c.work.street; break;
            case ItemProperty::BusinessAddressCity: target = &c.work.city; break;
            case ItemProperty::BusinessAddressState: target = &c.work.state; break;
            case ItemProperty::BusinessAddressPostalCode: target = &c.work.postalCode; break;
            case ItemProperty::BusinessAddressCountry: target = &c.work.country; break;
            case ItemProperty::BusinessAddress: target = &c.work.full; break;
            case ItemProperty::HomeTelephoneNumber: target = &c.homePhone; break;
            case ItemProperty::HomeFaxNumber: target = &c.homeFax; break;
            case ItemProperty::MobileTelephoneNumber: target = &c.mobilePhone; break;
            case ItemProperty::PersonalHomePage: target = &c.personalHomePage; break;
            case ItemProperty::BusinessTelephoneNumber: target = &c.businessPhone; break;
            case ItemProperty::BusinessFaxNumber: target = &c.businessFax; break;
            case ItemProperty::BusinessHomePage: target = &c.businessHomePage; break;
            case ItemProperty::JobTitle: target = &c.title; break;
            case ItemProperty::CompanyName: target = &c.company; break;
            case ItemProperty::OtherTelephoneNumber: target = &c.otherPhone; break;
            // clang-format on
            case ItemProperty::SelectedMailingAddress:
                if (value == "0" || value.empty()) {
                    c.mailing = msg::MailingAddress::None;
                } else if (value == "1") {
                    c.mailing = msg::MailingAddress::Home;
                } else if (value == "2") {
                    c.mailing = msg::MailingAddress::Work;
                } else {
                    throw StoreError("the mailing address must be 0, 1 or 2");
                }
                return true;
            default:
                return false;
        }
        *target = value;
        return true;
    }

    std::shared_ptr<OpenPst> pst_;
    pst::ndb::Nid folder_;
    ItemKind kind_;
    pst::ndb::Nid nid_ = 0;
    // Only a contact has contact fields; a list kept for a later save stays small.
    std::unique_ptr<msg::ContactData> contact_;
    // A saved list is the store's to read (on its writer's thread) as it was saved: a change
    // after a save goes to a copy, which takes the members only where they stay.
    std::shared_ptr<msg::DistListData> list_ = std::make_shared<msg::DistListData>();
    bool listSaved_ = false;
    msg::DistListData& EditList(bool keepMembers) {
        if (listSaved_) {
            auto copy = std::make_shared<msg::DistListData>();
            copy->name = list_->name;
            copy->body = list_->body;
            if (keepMembers) copy->members = list_->members;
            list_ = std::move(copy);
            listSaved_ = false;
        } else if (!keepMembers) {
            std::vector<msg::ListMember>().swap(list_->members);
        }
        return *list_;
    }
};

class PstFolder : public Folder {
  public:
    PstFolder(std::shared_ptr<OpenPst> pst, pst::ndb::Nid nid) : pst_(std::move(pst)), nid_(nid) {}
    std::string Name() const override {
        return Guarded(*pst_, [&] { return pst_->store->FolderName(nid_); });
    }
    std::unique_ptr<Item> AddItem(ItemKind kind) override {
        if (kind != ItemKind::Contact && kind != ItemKind::DistList) {
            throw StoreError("this store writes contacts and distribution lists only");
        }
        return std::make_unique<PstItem>(pst_, nid_, kind);
    }

  private:
    std::shared_ptr<OpenPst> pst_;
    pst::ndb::Nid nid_;
};

class PstDistListWrapper : public DistListWrapper {
  public:
    void SetItem(Item* distList) override {
        auto* item = dynamic_cast<PstItem*>(distList);
        if (item == nullptr || item->Kind() != ItemKind::DistList) {
            throw StoreError("the item is not a distribution list of this store");
        }
        item_ = item;
    }
    void AddMember(const Member& member) override { Item().AddMember(member); }
    void ClearMembers() override { Item().ClearMembers(); }
    void Save() override { Item().Save(); }

  private:
    PstItem& Item() {
        if (item_ == nullptr) throw StoreError("no distribution list was given");
        return *item_;
    }
    PstItem* item_ = nullptr;
};

class PstStore : public Store {
  public:
    explicit PstStore(std::shared_ptr<OpenPst> pst)
        : pst_(std::move(pst)), entryId_(msg::ToHex(pst_->store->StoreEntryId())) {}
    void ApplyDisplayName() override {
        Guarded(*pst_, [&] { pst_->store->SetDisplayName(pst_->displayName); });
        CommitAndWait(*pst_);
    }
    std::string EntryID() const override { return entryId_; }
    const std::string& EntryIdText() const { return entryId_; }
    std::unique_ptr<Folder> GetDefaultFolder(DefaultFolder kind) override {
        if (kind != DefaultFolder::Contacts)
            throw StoreError("this store has no such default folder");
        return std::make_unique<PstFolder>(pst_, pst_->store->DefaultContactsFolder());
    }
    std::unique_ptr<Folder> CreateContactsFolder(const std::string& name) override {
        const auto nid = Guarded(*pst_, [&] { return pst_->store->CreateContactsFolder(name); });
        AfterSave(*pst_);
        return std::make_unique<PstFolder>(pst_, nid);
    }
    const std::shared_ptr<OpenPst>& Pst() const { return pst_; }

  private:
    std::shared_ptr<OpenPst> pst_;
    std::string entryId_;  // the store's record key never changes
};

class PstSession : public StoreSession {
  public:
    explicit PstSession(FreeSpaceQuery freeSpace) : freeSpace_(std::move(freeSpace)) {}
    ~PstSession() override {
        try {
            Logoff();
        } catch (const std::exception&) {
            // A failed final commit leaves the last committed state; nothing more can be done.
        }
    }

    std::shared_ptr<Store> LogonPstStore(const std::string& path, int format,
                                         const std::string& displayName) override {
        if (format != kUnicodePstFormat) throw StoreError("only Unicode .pst files can be written");
        if (path.empty()) throw StoreError("no file name was given for the Outlook file");
        const std::string key = RegistryKey(path);
        auto& registry = Registry();
        std::shared_ptr<OpenPst> pst;
        if (auto it = registry.find(key); it != registry.end()) {
            pst = it->second;
        } else {
            std::error_code ec;
            const auto type = fs::symlink_status(PathFromUtf8(path), ec).type();
            if (type != fs::file_type::not_found) {
                if (ec)
                    throw StoreError("the file \"" + path +
                                     "\" cannot be looked at: " + ec.message());
                throw StoreNameTaken("the file \"" + path +
                                     "\" already exists and was not created by this export");
            }
            pst = std::make_shared<OpenPst>();
            pst->key = key;
            pst->displayName = displayName;
            pst->path = PathFromUtf8(path);
            try {
                pst->store = msg::MessageStore::Create(pst->path, displayName);
                pst->store->WriteInBackground();
            } catch (const pst::ndb::FileExistsError& e) {
                throw StoreNameTaken(e.what());
            } catch (const pst::ndb::IoError& e) {
                throw PstWriteError(e.what(), 0);
            } catch (const std::exception& e) {
                throw StoreError(e.what());
            }
            registry.emplace(key, pst);
        }
        auto store = std::make_shared<PstStore>(pst);
        stores_.push_back(store);
        return store;
    }

    std::string OutlookVersion() override { return "16.0 (Tarvelle PST writer)"; }

    std::shared_ptr<Store> GetStoreFromID(const std::string& entryId) override {
        // Asked for every item written: compared in place, without regard to case.
        auto same = [](std::string_view a, std::string_view b) {
            return a.size() == b.size() &&
                   std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
                       return std::toupper(x) == std::toupper(y);
                   });
        };
        for (const auto& s : stores_) {
            if (same(s->EntryIdText(), entryId)) return s;
        }
        throw StoreError("no open store has the entry ID " + entryId);
    }

    std::unique_ptr<DistListWrapper> CreateDistListWrapper() override {
        return std::make_unique<PstDistListWrapper>();
    }

    void ExpectItems(const ExpectedItems& expected) override {
        const std::uint64_t needed = msg::MessageStore::ExpectedGrowth(
            {expected.contacts, expected.lists, expected.contactText, expected.listText,
             expected.noteText});
        for (const auto& s : stores_) {
            const OpenPst& pst = *s->Pst();
            const fs::path folder = pst.path.has_parent_path() ? pst.path.parent_path() : ".";
            const auto available = freeSpace_(folder);
            if (available && needed > *available)
                throw NotEnoughSpaceError(PathToUtf8(folder), needed, *available);
        }
    }

    void Flush() override {
        for (const auto& s : stores_) CommitAndWait(*s->Pst());
    }

    void Discard() override {
        auto& registry = Registry();
        for (const auto& s : stores_) {
            const std::shared_ptr<OpenPst>& pst = s->Pst();
            if (pst->store->Closed() || pst->store->HasItems()) continue;
            pst->store->Discard();
            std::erase_if(registry, [&](const auto& entry) { return entry.second == pst; });
        }
    }

    void Logoff() override {
        auto stores = std::move(stores_);
        stores_.clear();
        for (const auto& s : stores) {
            const OpenPst& pst = *s->Pst();
            if (pst.writeFailure.empty() && !pst.store->Closed()) CommitAndWait(*s->Pst());
        }
    }

    void Close() override {
        auto stores = std::move(stores_);
        stores_.clear();
        std::optional<PstWriteError> failure;
        for (const auto& s : stores) {
            OpenPst& pst = *s->Pst();
            // Forgotten whatever happens next: no later logon continues a closed file, and the
            // store's memory goes with the last object that refers to it.
            Registry().erase(pst.key);
            if (!pst.writeFailure.empty() || pst.store->Closed()) continue;
            try {
                Guarded(pst, [&] { pst.store->Close(); });
            } catch (const PstWriteError& e) {
                if (!failure) failure = e;
            } catch (const StoreError& e) {
                if (!failure) failure.emplace(e.what(), pst.store->CommittedItems());
            }
        }
        if (failure) throw *failure;
    }

  private:
    std::vector<std::shared_ptr<PstStore>> stores_;
    FreeSpaceQuery freeSpace_;
};

class PstSessionFactory : public StoreSessionFactory {
  public:
    explicit PstSessionFactory(FreeSpaceQuery freeSpace) : freeSpace_(std::move(freeSpace)) {}
    std::unique_ptr<StoreSession> CreateSession() override {
        return std::make_unique<PstSession>(freeSpace_);
    }

    // Closing writes the exact allocation maps and cuts off unused space.
    std::string Finish(const std::string& path) override {
        try {
            auto& registry = Registry();
            const auto it = registry.find(RegistryKey(path));
            if (it == registry.end()) return {};
            const std::shared_ptr<OpenPst> pst = it->second;
            registry.erase(it);
            // A file that could not be written keeps its last commit; that was reported then.
            if (!pst->writeFailure.empty() || pst->store->Closed()) return {};
            pst->store->Close();
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }

  private:
    FreeSpaceQuery freeSpace_;
};

}  // namespace

std::optional<std::uint64_t> DiskFreeSpace(const std::filesystem::path& folder) {
    std::error_code ec;
    const fs::space_info info = fs::space(folder, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1)) return std::nullopt;
    return info.available;
}

std::unique_ptr<StoreSessionFactory> MakePstSessionFactory(FreeSpaceQuery freeSpace) {
    return std::make_unique<PstSessionFactory>(std::move(freeSpace));
}

}  // namespace tarvelle::platform
