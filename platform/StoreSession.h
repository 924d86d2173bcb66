// The store session: the operations the export run needs from an Outlook store writer.
//
// Shaped like a mail library's object model (session -> store -> folder -> items), so the export
// run reads like the steps it performs. The real implementation (PstStoreSession) writes a .pst
// through pst/; tests use a recording double.
//
// Every failure is reported by throwing StoreError (or its subclass PstWriteError); no operation
// fails silently.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvelle::platform {

// Any refused store operation; what() is the cause, in words a user can read.
class StoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The .pst file itself could not be written (no space, file size limit, I/O error). Unlike a
// refused item this ends the run: every later write would fail the same way. The file keeps its
// last committed state: the first `ItemsKept()` items saved (contacts and lists).
class PstWriteError : public StoreError {
  public:
    PstWriteError(const std::string& cause, std::size_t itemsKept)
        : StoreError(cause), itemsKept_(itemsKept) {}
    std::size_t ItemsKept() const { return itemsKept_; }

  private:
    std::size_t itemsKept_;
};

// The disk holding a store has too little free space for what is coming (StoreSession::
// ExpectItems). Sizes in bytes; `Folder()` as UTF-8 text.
class NotEnoughSpaceError : public StoreError {
  public:
    NotEnoughSpaceError(std::string folder, std::uint64_t needed, std::uint64_t available)
        : StoreError("not enough free space in " + folder),
          folder_(std::move(folder)),
          needed_(needed),
          available_(available) {}
    const std::string& Folder() const { return folder_; }
    std::uint64_t Needed() const { return needed_; }
    std::uint64_t Available() const { return available_; }

  private:
    std::string folder_;
    std::uint64_t needed_;
    std::uint64_t available_;
};

// What an export is about to write, as its first reading of the book found it.
struct ExpectedItems {
    std::uint64_t contacts = 0;
    std::uint64_t lists = 0;
    std::uint64_t contactText = 0;  // bytes of the lines the contacts come from
    std::uint64_t listText = 0;     // bytes of the lines the lists come from (their members)
    std::uint64_t noteText = 0;     // bytes of the note lines
};

// The store's file name was taken by another program after the caller found it free; nothing was
// created. Another name may be tried.
class StoreNameTaken : public StoreError {
  public:
    using StoreError::StoreError;
};

// Folder kinds, as the mail object model numbers them.
enum class DefaultFolder : int { Contacts = 10 };

// Item kinds, as the mail object model numbers them.
enum class ItemKind : int { Contact = 2, DistList = 7 };

// Text properties an item can carry. New fields are added here (contact notes, addresses, ...);
// a store ignores none of them silently: an unsupported one throws StoreError.
enum class ItemProperty {
    // contact
    FirstName,
    MiddleName,
    LastName,
    FullName,  // the name as shown and filed by: when not set, the name parts joined
    Email1Address,
    Email1DisplayName,  // the display part of an RFC 822 address, when the book gave one
    Nickname,
    Email2Address,
    Email2DisplayName,
    Email3Address,
    Email3DisplayName,
    HomeAddressStreet,
    HomeAddressCity,
    HomeAddressState,
    HomeAddressPostalCode,
    HomeAddressCountry,
    HomeAddress,  // the whole home address as one text
    BusinessAddressStreet,
    BusinessAddressCity,
    BusinessAddressState,
    BusinessAddressPostalCode,
    BusinessAddressCountry,
    BusinessAddress,  // the whole business address as one text
    // Which address is the mailing address: "1" home, "2" business; the store repeats that
    // address in the mailing-address properties.
    SelectedMailingAddress,
    HomeTelephoneNumber,
    HomeFaxNumber,
    MobileTelephoneNumber,
    PersonalHomePage,
    BusinessTelephoneNumber,
    BusinessFaxNumber,
    BusinessHomePage,
    JobTitle,
    CompanyName,
    OtherTelephoneNumber,
    // distribution list
    DLName,
    // both
    Body,
};

// An item of the store, created by Folder::AddItem and written by Save.
class Item {
  public:
    virtual ~Item() = default;
    virtual ItemKind Kind() const = 0;
    virtual void SetText(ItemProperty property, const std::string& value) = 0;
    virtual void Save() = 0;
    // The item's entry ID as hex text; valid once the item has been saved.
    virtual std::string EntryID() const = 0;
};

class Folder {
  public:
    virtual ~Folder() = default;
    virtual std::string Name() const = 0;
    // A new, unsaved item of the given kind in this folder.
    virtual std::unique_ptr<Item> AddItem(ItemKind kind) = 0;
};

// A distribution-list member: a one-off address, or (when itemEntryId is set) an item of the
// same store that the list refers to.
struct Member {
    std::string displayName;
    std::string address;
    std::string addressType = "SMTP";
    std::optional<std::string> itemEntryId;
};

// Adds members to a distribution-list item, then stores them with Save.
class DistListWrapper {
  public:
    virtual ~DistListWrapper() = default;
    // The list the wrapper works on; the wrapper does not own it and it must outlive the wrapper's
    // use.
    virtual void SetItem(Item* distList) = 0;
    virtual void AddMember(const Member& member) = 0;
    // Forgets the members given so far, so the next Save stores only members added after this
    // call (a list saved before keeps its stored members until then). Lets a list be saved again
    // once the items it refers to have been written, without holding its members meanwhile.
    virtual void ClearMembers() = 0;
    virtual void Save() = 0;
};

class Store {
  public:
    virtual ~Store() = default;
    // The parameterless store operation run while the store is prepared: applies the display name.
    virtual void ApplyDisplayName() = 0;
    // Hex text identifying this store.
    virtual std::string EntryID() const = 0;
    virtual std::unique_ptr<Folder> GetDefaultFolder(DefaultFolder kind) = 0;
    // Another contacts folder beside the default one (named uniquely by the caller).
    virtual std::unique_ptr<Folder> CreateContactsFolder(const std::string& name) = 0;
};

class StoreSession {
  public:
    virtual ~StoreSession() = default;
    // Opens the .pst at `path`, creating it when absent (format code 1 = Unicode PST). Never
    // opens or changes a file this session (or an earlier session of the same program run) did
    // not create: a name that exists, or is taken while the file is created, throws
    // StoreNameTaken.
    virtual std::shared_ptr<Store> LogonPstStore(const std::string& path, int format,
                                                 const std::string& displayName) = 0;
    // Version text of the store writer; its first two characters are digits.
    virtual std::string OutlookVersion() = 0;
    // The store this session has open whose entry ID is `entryId`; throws StoreError otherwise.
    virtual std::shared_ptr<Store> GetStoreFromID(const std::string& entryId) = 0;
    virtual std::unique_ptr<DistListWrapper> CreateDistListWrapper() = 0;
    // Said before the items are saved: this is what is coming to the stores this session has
    // open. Throws NotEnoughSpaceError when the disk of a store cannot take it; otherwise a
    // failure shows when items are saved.
    virtual void ExpectItems(const ExpectedItems& expected) { (void)expected; }
    // Makes every saved item durable in the file now (saves may be batched in time).
    virtual void Flush() = 0;
    // Closes the stores of this session that hold no item and removes their files: for a run
    // that stops before writing anything.
    virtual void Discard() = 0;
    virtual void Logoff() = 0;
    // Ends the use of the stores this session has open, for good: everything saved is committed,
    // each file gets its final state (unused space trimmed) and is closed, and its memory is
    // released. A later logon to such a file is refused like a logon to any existing file. A
    // file whose writing failed keeps its last commit. Throws PstWriteError when a file cannot
    // be finished; it then keeps its last commit too.
    virtual void Close() = 0;
};

// Stands for creating the session object; throws StoreError when the store writer is unusable.
class StoreSessionFactory {
  public:
    virtual ~StoreSessionFactory() = default;
    virtual std::unique_ptr<StoreSession> CreateSession() = 0;
    // Brings a file this run created to its final state on disk and lets go of it, once no
    // session uses it any more (a later logon finds an existing file). Returns why that failed,
    // empty when it did not. Files a factory does not write need nothing.
    virtual std::string Finish(const std::string& path) {
        (void)path;
        return {};
    }
};

}  // namespace tarvelle::platform
