#include "pst/messaging/MessageStore.h"

#include <algorithm>

namespace tarvelle::pst::messaging {

using namespace ltp;

namespace {

// NID types ([MS-PST] 2.2.2.1).
constexpr std::uint8_t kTypeNormalFolder = 0x02;
constexpr std::uint8_t kTypeNormalMessage = 0x04;
constexpr std::uint8_t kTypeHierarchyTable = 0x0D;
constexpr std::uint8_t kTypeContentsTable = 0x0E;
constexpr std::uint8_t kTypeAssocContentsTable = 0x0F;

constexpr ndb::Nid WithType(ndb::Nid nid, std::uint8_t type) { return (nid & ~0x1Fu) | type; }

// Columns of Outlook's table templates ([MS-PST] 2.4.4.4.1, 2.4.4.5.1, 2.4.4.6.1, 2.4.8.6.2.1,
// 2.4.6.1.1, 2.4.5.3.1), with the types a current Outlook gives them.
const std::vector<std::uint32_t> kHierarchyColumns = {
    0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x3001001F, 0x36020003,
    0x36030003, 0x360A000B, 0x3613001F, 0x66350003, 0x66360003};
const std::vector<std::uint32_t> kContentsColumns = {
    0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x00390040, 0x0042001F, 0x0057000B,
    0x0058000B, 0x0070001F, 0x00710102, 0x0E03001F, 0x0E04001F, 0x0E060040, 0x0E070003,
    0x0E080003, 0x0E170003, 0x0E300102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3C0102,
    0x0E3D0102, 0x10970003, 0x30080040, 0x30130102, 0x65C60003};
// A contacts folder's table also carries the icon and the display name of each item.
const std::vector<std::uint32_t> kContactsExtraColumns = {0x10800003, 0x3001001F};
const std::vector<std::uint32_t> kAssocColumns = {
    0x001A001F, 0x0E070003, 0x0E170003, 0x3001001F, 0x6800001F, 0x6803000B, 0x68051003,
    0x682F001F, 0x70030003, 0x70040102, 0x70050102, 0x7006001F, 0x70070003};
const std::vector<std::uint32_t> kSearchContentsColumns = {
    0x00170003, 0x001A001F, 0x00360003, 0x0037001F, 0x0042001F, 0x0057000B,
    0x0058000B, 0x0E03001F, 0x0E04001F, 0x0E05001F, 0x0E060040, 0x0E070003,
    0x0E080003, 0x0E170003, 0x0E2A000B, 0x30080040, 0x67F10003};
const std::vector<std::uint32_t> kAttachmentColumns = {0x0E200003, 0x3704001F, 0x37050003,
                                                       0x370B0003};
const std::vector<std::uint32_t> kRecipientColumns = {
    0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003, 0x0FFF0102, 0x3001001F,
    0x3002001F, 0x3003001F, 0x300B0102, 0x39000003, 0x39FF001F, 0x3A40000B};

// Properties of a folder that its parent's hierarchy table repeats.
bool InHierarchyRow(std::uint32_t tag) {
    return std::find(kHierarchyColumns.begin(), kHierarchyColumns.end(), tag) !=
           kHierarchyColumns.end();
}

}  // namespace

std::unique_ptr<MessageStore> MessageStore::Create(const std::filesystem::path& path,
                                                   const std::string& displayName,
                                                   const ndb::CreateOptions& options) {
    return std::make_unique<MessageStore>(ndb::NodeDatabase::Create(path, options), displayName);
}

MessageStore::MessageStore(std::unique_ptr<ndb::NodeDatabase> db, const std::string& displayName)
    : db_(std::move(db)), random_(std::random_device{}()) {
    Build(displayName);
    Commit();
}

MessageStore::~MessageStore() = default;

void MessageStore::CheckOpen() const {
    if (closed_) throw MessagingError("the store is closed");
}

void MessageStore::WriteInBackground() {
    CheckOpen();
    queue_.Start();
}

namespace {
// Whatever stopped a background write, the file could not be written past it.
template <typename F>
void AsWriteFailure(F f) {
    try {
        f();
    } catch (const ndb::IoError&) {
        throw;
    } catch (const std::exception& e) {
        throw ndb::IoError(e.what());
    }
}
}  // namespace

void MessageStore::Queue(std::function<void()> job, bool urgent, std::size_t weight) {
    if (!queue_.Started()) {
        job();
        return;
    }
    AsWriteFailure([&] { queue_.Push(std::move(job), urgent, weight); });
}

void MessageStore::Drain() {
    WriteUnwrittenList();
    AsWriteFailure([&] { queue_.Wait(); });
}

ndb::NodeDatabase& MessageStore::Database() {
    Drain();
    return *db_;
}

void MessageStore::CheckFolder(ndb::Nid folder) const {
    if (!folderNids_.contains(folder)) {
        throw MessagingError("no folder with NID " + std::to_string(folder));
    }
}

const ItemContext* MessageStore::ListContext(ndb::Nid item) const {
    const auto it = std::lower_bound(listNids_.begin(), listNids_.end(), item);
    if (it == listNids_.end() || *it != item) return nullptr;
    return &listContexts_[static_cast<std::size_t>(it - listNids_.begin())];
}

ndb::Nid MessageStore::AllocateItemNid() {
    constexpr std::uint32_t kMaxNidIndex = (1u << 27) - 1;
    if (lastItemIndex_ >= kMaxNidIndex) throw MessagingError("node IDs of items are used up");
    itemsAdded_ = true;
    return (++lastItemIndex_ << 5) | kTypeNormalMessage;
}

ItemContext MessageStore::NewItemContext(ndb::Nid nid) {
    ItemContext ctx;
    ctx.names = &names_;
    ctx.store = recordKey_;
    ctx.nid = nid;
    ctx.now = FileTimeNow();
    // Eight random bytes from each draw.
    auto fill = [&](std::array<std::uint8_t, 16>& bytes) {
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            const std::uint64_t r = random_();
            for (std::size_t k = 0; k < 8; ++k)
                bytes[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
        }
    };
    fill(ctx.searchKey);
    fill(ctx.conversationGuid);
    return ctx;
}

PropertyBag MessageStore::StoreProperties() const {
    PropertyBag p;
    p[0x0E340102] = replVersionHistory_;  // PidTagReplVersionHistory
    p.SetInt32(0x0E380003, 0);            // PidTagReplFlags
    p[0x0FF90102] = Bytes(recordKey_.begin(), recordKey_.end());
    p.SetString(0x3001001F, displayName_);
    // PidTagValidFolderMask: IPM subtree, wastebasket, common views, finder.
    p.SetInt32(0x35DF0003, 0x01 | 0x08 | 0x40 | 0x80);
    p[0x35E00102] = EntryIdOf(kNidIpmSubtree);
    p[0x35E30102] = EntryIdOf(kNidDeletedItems);
    p[0x35E60102] = EntryIdOf(kNidCommonViews);
    p[0x35E70102] = EntryIdOf(kNidSearchRoot);
    p.SetBool(0x6633000B, true);      // PidTagPstLrNoRestrictions
    p.SetInt32(0x66FA0003, 0xE0011);  // PidTagLatestPstEnsure
    p.SetInt32(0x67FF0003, 0);        // PidTagPstPassword: none
    return p;
}

MessageStore::Folder& MessageStore::AddFolder(ndb::Nid nid, ndb::Nid parent,
                                              const std::string& name,
                                              const std::string& containerClass,
                                              const std::string* comment, bool contactsColumns) {
    Folder f;
    f.nid = nid;
    f.parent = parent;
    f.props.SetString(0x3001001F, name);
    if (comment != nullptr) f.props.SetString(0x3004001F, *comment);
    f.props.SetInt32(0x36020003, 0);
    f.props.SetInt32(0x36030003, 0);
    f.props.SetBool(0x360A000B, false);
    if (!containerClass.empty()) {
        f.props.SetString(0x3613001F, containerClass);
        f.props.SetInt32(0x66350003, 0);  // PidTagPstHiddenCount
        f.props.SetInt32(0x66360003, 0);  // PidTagPstHiddenUnread
    }
    std::vector<std::uint32_t> contents = kContentsColumns;
    if (contactsColumns) {
        contents.insert(contents.end(), kContactsExtraColumns.begin(), kContactsExtraColumns.end());
    }
    f.hierarchy = std::make_unique<TableContext>(kHierarchyColumns);
    f.contents = std::make_unique<TableContext>(contents, true);
    f.assoc = std::make_unique<TableContext>(kAssocColumns, true);
    auto [it, inserted] = folders_.emplace(nid, std::move(f));
    if (!inserted) throw MessagingError("folder NID in use");
    folderNids_.insert(nid);
    if (parent != nid) {
        Folder& p = FolderAt(parent);
        p.props.SetBool(0x360A000B, true);
        p.pcDirty = true;
        if (p.parent != p.nid) RefreshHierarchyRow(p);
        RefreshHierarchyRow(it->second);
    }
    return it->second;
}

MessageStore::Folder& MessageStore::FolderAt(ndb::Nid nid) {
    auto it = folders_.find(nid);
    if (it == folders_.end()) throw MessagingError("no folder with NID " + std::to_string(nid));
    return it->second;
}

const MessageStore::Folder& MessageStore::FolderAt(ndb::Nid nid) const {
    auto it = folders_.find(nid);
    if (it == folders_.end()) throw MessagingError("no folder with NID " + std::to_string(nid));
    return it->second;
}

void MessageStore::RefreshHierarchyRow(const Folder& child) {
    PropertyBag row;
    for (const auto& [tag, value] : child.props) {
        if (InHierarchyRow(tag)) row[tag] = value;
    }
    Folder& parent = FolderAt(child.parent);
    parent.hierarchy->SetRow(child.nid, row);
    parent.hierarchyDirty = true;
}

void MessageStore::WriteProps(ndb::Nid nid, const PropertyBag& props, ndb::Nid parent, bool final) {
    NodeContent c;
    {
        const ndb::FinalBlocks scope(*db_, final);
        c = WritePropertyContext(*db_, props);
    }
    db_->SetNode(nid, c.data, c.subnode, parent);
}

void MessageStore::WriteTable(ndb::Nid nid, TableContext& table) {
    const NodeContent c = table.Write(*db_);
    db_->SetNode(nid, c.data, c.subnode, 0);
}

void MessageStore::Build(const std::string& displayName) {
    displayName_ = displayName;
    for (auto& b : recordKey_) b = static_cast<std::uint8_t>(random_());
    replVersionHistory_ = {1, 0, 0, 0};
    for (int i = 0; i < 16; ++i)
        replVersionHistory_.push_back(static_cast<std::uint8_t>(random_()));
    AppendU32(replVersionHistory_, 1);

    // NID counters of a blank file ([MS-PST] 2.4.1): the last index handed out per type.
    for (std::uint8_t t = 0; t < 32; ++t) db_->SetNidCounter(t, 0x400);
    db_->SetNidCounter(0x03, 0x4000);
    db_->SetNidCounter(0x04, 0x10000);
    lastItemIndex_ = 0x10000;
    db_->SetNidCounter(0x08, 0x8000);

    WriteProps(kNidNameMap, names_.Properties(), 0);

    // Table templates: columns, no rows.
    const std::pair<ndb::Nid, const std::vector<std::uint32_t>*> templates[] = {
        {0x60D, &kHierarchyColumns},  {0x60E, &kContentsColumns},
        {0x60F, &kAssocColumns},      {0x610, &kSearchContentsColumns},
        {0x671, &kAttachmentColumns}, {0x692, &kRecipientColumns}};
    for (const auto& [nid, cols] : templates) {
        TableContext t(*cols);
        WriteTable(nid, t);
    }
    // Receive-folder table: every message class goes to the root folder.
    {
        TableContext t({0x001A001F, 0x66050003});
        PropertyBag row;
        row.SetString(0x001A001F, "");
        row.SetInt32(0x66050003, static_cast<std::int32_t>(kNidRootFolder));
        t.SetRow(1, row);
        WriteTable(0x62B, t);
    }
    // Outgoing queue and the replication tables Outlook creates empty.
    const std::pair<ndb::Nid, std::vector<std::uint32_t>> emptyTables[] = {
        {0x64C, {0x00390040, 0x0E100003, 0x0E140003}},
        {0x6B6, {0x0E330014, 0x0E370102, 0x0E380003}},
        {0x6D7,
         {0x001A001F, 0x0E300102, 0x0E310102, 0x0E330014, 0x0E340102, 0x0E380003, 0x0E3E0102}},
        {0x6F8, {0x0E330014, 0x30070040}}};
    for (const auto& [nid, cols] : emptyTables) {
        TableContext t(cols);
        WriteTable(nid, t);
    }

    // Search management: empty queue, the activity list naming the spam search folder.
    db_->SetNode(0x1E1, 0, 0, 0);
    std::uint8_t sal[4];
    PutU32(sal, kNidSpamSearchFolder);
    db_->SetNode(0x201, db_->WriteDataBlock(sal), 0, 0);
    db_->SetNode(0x261, 0, 0, 0);

    // Folders. The root is its own parent.
    const std::string empty;
    AddFolder(kNidRootFolder, kNidRootFolder, "", "", nullptr, false);
    AddFolder(kNidIpmSubtree, kNidRootFolder, "Top of Outlook data file", "", nullptr, false);
    AddFolder(kNidSearchRoot, kNidRootFolder, "Search Root", "", nullptr, false);
    {
        // The spam search folder: a search folder with its update queue, criteria and table.
        PropertyBag spam;
        spam.SetString(0x3001001F, "SPAM Search Folder 2");
        spam.SetInt32(0x36020003, 0);
        spam.SetInt32(0x36030003, 0);
        spam.SetBool(0x360A000B, false);
        WriteProps(kNidSpamSearchFolder, spam, kNidRootFolder);
        db_->SetNode(0x2226, 0, 0, 0);
        PropertyBag criteria;
        criteria.SetInt32(0x660B0003, 0);
        WriteProps(0x2227, criteria, 0);
        TableContext t(kSearchContentsColumns);
        WriteTable(0x2230, t);
        Folder& root = FolderAt(kNidRootFolder);
        PropertyBag row = spam;
        root.hierarchy->SetRow(kNidSpamSearchFolder, row);
    }
    AddFolder(kNidCommonViews, kNidRootFolder, "IPM_COMMON_VIEWS", "", &empty, false);
    const std::string deletedComment = "Deleted Items folder";
    AddFolder(kNidDeletedItems, kNidIpmSubtree, "Deleted Items", "", &deletedComment, false);
    db_->SetNidCounter(kTypeNormalFolder, 0x404);
    for (std::uint8_t t : {kTypeHierarchyTable, kTypeContentsTable, kTypeAssocContentsTable}) {
        db_->SetNidCounter(t, 0x404);
    }

    contacts_ = CreateContactsFolder("Contacts");
    // The default Contacts folder ([MS-OXOSFLD] 2.2.3): its entry ID on the root folder.
    Folder& root = FolderAt(kNidRootFolder);
    root.props[0x36D10102] = EntryIdOf(contacts_);
    root.pcDirty = true;
}

ndb::Nid MessageStore::CreateContactsFolder(const std::string& name) {
    CheckOpen();
    Drain();
    const Bytes wanted = StringValue(name);
    for (const auto& [nid, f] : folders_) {
        if (f.parent == kNidIpmSubtree && f.props.at(0x3001001F) == wanted) {
            throw MessagingError("a folder named \"" + name + "\" already exists");
        }
    }
    const ndb::Nid nid = db_->AllocateNid(kTypeNormalFolder);
    const std::uint32_t index = nid >> 5;
    for (std::uint8_t t : {kTypeHierarchyTable, kTypeContentsTable, kTypeAssocContentsTable}) {
        if (db_->NidCounter(t) < index) db_->SetNidCounter(t, index);
    }
    AddFolder(nid, kNidIpmSubtree, name, "IPF.Contact", nullptr, true);
    return nid;
}

std::string MessageStore::FolderName(ndb::Nid folder) {
    Drain();
    const Bytes b = FolderAt(folder).props.at(0x3001001F);
    std::string out;  // UTF-16LE back to UTF-8
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        std::uint32_t cp = GetU16(b.data() + i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < b.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (GetU16(b.data() + i + 2) - 0xDC00);
            i += 2;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::size_t MessageStore::ItemCount(ndb::Nid folder) {
    Drain();
    return FolderAt(folder).count;
}

ndb::Nid MessageStore::NidOfEntryId(std::span<const std::uint8_t> eid) const {
    if (eid.size() != 24 || GetU32(eid.data()) != 0 ||
        !std::equal(recordKey_.begin(), recordKey_.end(), eid.begin() + 4)) {
        throw MessagingError("the entry ID does not name an object of this store");
    }
    return GetU32(eid.data() + 20);
}

void MessageStore::SetDisplayName(const std::string& displayName) {
    CheckOpen();
    StringValue(displayName);  // validates the text before anything changes
    Drain();
    displayName_ = displayName;
    storeDirty_ = true;
}

void MessageStore::AddItem(ndb::Nid folderNid, ndb::Nid nid, const PropertyBag& props,
                           bool savedAgain) {
    Folder& folder = FolderAt(folderNid);
    if (db_->NidCounter(kTypeNormalMessage) < (nid >> 5)) {
        db_->SetNidCounter(kTypeNormalMessage, nid >> 5);
    }
    // An item saved once keeps its blocks; a list's first ones go when it is saved again.
    WriteProps(nid, props, folderNid, !savedAgain);
    folder.contents->SetRow(nid, props, savedAgain);
    folder.contents->WriteFull(*db_);
    folder.contentsDirty = true;
    ++folder.count;
    ++itemsWritten_;
    folder.props.SetInt32(0x36020003, static_cast<std::int32_t>(folder.count));
    folder.pcDirty = true;
    folder.rowDirty = true;  // refreshed at the next commit
}

ndb::Nid MessageStore::AddContact(ndb::Nid folder, std::unique_ptr<ContactData>&& contact) {
    if (contact == nullptr) throw MessagingError("no contact was given");
    CheckContact(folder, *contact);
    return QueueContact(folder, std::move(contact));
}

ndb::Nid MessageStore::AddContact(ndb::Nid folder, ContactData&& contact) {
    CheckContact(folder, contact);
    return QueueContact(folder, std::make_shared<const ContactData>(std::move(contact)));
}

void MessageStore::CheckContact(ndb::Nid folder, const ContactData& contact) const {
    CheckOpen();
    CheckFolder(folder);
    CheckText(contact);
}

ndb::Nid MessageStore::QueueContact(ndb::Nid folder, std::shared_ptr<const ContactData> contact) {
    WriteUnwrittenList();
    const ndb::Nid nid = AllocateItemNid();
    // The contact goes over to the writer's thread as it is, its texts neither moved nor copied.
    Queue([this, folder, nid, contact = std::move(contact), ctx = NewItemContext(nid)] {
        AddItem(folder, nid, ContactProperties(*contact, ctx));
    });
    return nid;
}

void MessageStore::CheckMembers(const DistListData& list) const {
    CheckText(list);
    for (const auto& m : list.members) {
        if (!m.itemEntryId.empty()) NidOfEntryId(m.itemEntryId);
    }
}

std::size_t MessageStore::QueueWeight(const DistListData& list) {
    // A contact queued holds about a kilobyte; a list about as much for every four members.
    return 1 + list.members.size() / 4;
}

void MessageStore::WriteUnwrittenList() {
    if (!unwrittenList_) return;
    UnwrittenList list = std::move(*unwrittenList_);
    unwrittenList_.reset();
    const std::size_t weight = QueueWeight(*list.data);
    Queue(
        [this, list = std::move(list)] {
            AddItem(list.folder, list.nid, DistListProperties(*list.data, list.ctx), true);
        },
        false, weight);
}

void MessageStore::RewriteDistList(ndb::Nid folderNid, ndb::Nid item, const PropertyBag& props) {
    Folder& folder = FolderAt(folderNid);
    if (!db_->HasNode(item)) {
        throw MessagingError("no distribution list with NID " + std::to_string(item));
    }
    // Saved again, a list is complete: the export saves it a second time, with all its members,
    // once the items it names are written. So its blocks stay.
    WriteProps(item, props, folderNid, true);
    // The contents row repeats the item's times, size and conversation index: it changes with it.
    folder.contents->SetRow(item, props);
    folder.contentsDirty = true;
}

void MessageStore::UpdateDistList(ndb::Nid folderNid, ndb::Nid item,
                                  std::shared_ptr<const DistListData> list) {
    CheckOpen();
    CheckFolder(folderNid);
    if (!list) throw MessagingError("a list without its data");
    if (!IsDistList(item)) {
        throw MessagingError("no distribution list with NID " + std::to_string(item));
    }
    CheckMembers(*list);
    if (unwrittenList_ && unwrittenList_->nid == item) {
        if (unwrittenList_->folder != folderNid) {
            throw MessagingError("the list is not in folder " + std::to_string(folderNid));
        }
        unwrittenList_->data = std::move(list);  // its context is the one of its first save
        return;
    }
    WriteUnwrittenList();
    const std::size_t weight = QueueWeight(*list);
    Queue(
        [this, folderNid, item, list = std::move(list), ctx = *ListContext(item)] {
            RewriteDistList(folderNid, item, DistListProperties(*list, ctx));
        },
        false, weight);
}

ndb::Nid MessageStore::AddDistList(ndb::Nid folder, std::shared_ptr<const DistListData> list) {
    CheckOpen();
    CheckFolder(folder);
    if (!list) throw MessagingError("a list without its data");
    CheckMembers(*list);
    WriteUnwrittenList();
    const ndb::Nid nid = AllocateItemNid();
    const ItemContext ctx = NewItemContext(nid);
    unwrittenList_ = UnwrittenList{folder, nid, std::move(list), ctx};
    listNids_.push_back(nid);  // the largest yet (AllocateItemNid)
    listContexts_.push_back(ctx);
    return nid;
}

std::uint64_t MessageStore::ExpectedGrowth(const ExpectedContent& content) {
    // Measured on written files: a contact's node, properties and contents row take about
    // 1,150 bytes beside its text, a list's about 2,550. Text is stored as UTF-16, a contact's
    // address several times over (in its e-mail properties and entry IDs); a list member
    // becomes two entry IDs of 100 to 200 bytes from a few bytes of text. A tenth more covers
    // the earlier versions of lists saved twice, and the variation between books.
    const double bytes = 1150.0 * static_cast<double>(content.contacts) +
                         2550.0 * static_cast<double>(content.lists) +
                         3.6 * static_cast<double>(content.contactText) +
                         7.4 * static_cast<double>(content.listText) +
                         1.6 * static_cast<double>(content.noteText);
    return static_cast<std::uint64_t>(bytes * 1.1);
}

void MessageStore::Commit() {
    CheckOpen();
    WriteUnwrittenList();
    Queue([this] { CommitNow(); }, true);
}

void MessageStore::Sync() {
    Commit();
    Drain();
}

void MessageStore::CommitNow() {
    if (storeDirty_) {
        WriteProps(kNidMessageStore, StoreProperties(), 0);
        storeDirty_ = false;
    }
    for (auto& [nid, f] : folders_) {
        if (f.rowDirty && f.parent != nid) RefreshHierarchyRow(f);
        f.rowDirty = false;
    }
    for (auto& [nid, f] : folders_) {
        if (f.pcDirty) WriteProps(nid, f.props, f.parent);
        if (f.hierarchyDirty) WriteTable(WithType(nid, kTypeHierarchyTable), *f.hierarchy);
        if (f.contentsDirty) WriteTable(WithType(nid, kTypeContentsTable), *f.contents);
        if (f.assocDirty) WriteTable(WithType(nid, kTypeAssocContentsTable), *f.assoc);
        f.pcDirty = f.hierarchyDirty = f.contentsDirty = f.assocDirty = false;
    }
    db_->Commit();
    committedItems_.store(itemsWritten_);
}

void MessageStore::Close() {
    if (closed_) return;
    Sync();
    queue_.Stop();
    closed_ = true;
    db_->Close();
}

void MessageStore::Discard() {
    if (closed_) return;
    closed_ = true;
    unwrittenList_.reset();
    try {
        queue_.Stop();
    } catch (const std::exception&) {
        // Nothing of the file is kept.
    }
    db_->Discard();
}

}  // namespace tarvelle::pst::messaging
