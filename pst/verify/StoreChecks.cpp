// The LTP and messaging checks ([MS-PST] 2.3, 2.4, 2.7; [MS-OXOCNTC] 2.2.2): the name-to-ID map,
// the store object, folders with their tables, items, distribution lists and their members.
#include <algorithm>
#include <map>
#include <set>

#include "pst/verify/Verifier.h"

namespace tarvelle::pst::verify {

using ndb::GetU16;
using ndb::GetU32;

namespace {

constexpr Nid kNidMessageStore = 0x21;
constexpr Nid kNidNameMap = 0x61;
constexpr Nid kNidRootFolder = 0x122;

constexpr std::uint32_t kTagMessageClass = 0x001A001F;
constexpr std::uint32_t kTagMessageClass8 = 0x001A001E;
constexpr std::uint32_t kTagDisplayName = 0x3001001F;
constexpr std::uint32_t kTagContentCount = 0x36020003;
constexpr std::uint32_t kTagContentUnread = 0x36030003;
constexpr std::uint32_t kTagSubfolders = 0x360A000B;
constexpr std::uint32_t kTagContainerClass = 0x3613001F;
constexpr std::uint32_t kTagRecordKey = 0x0FF90102;

constexpr std::uint8_t kTypeNormalFolder = 0x02;
constexpr std::uint8_t kTypeSearchFolder = 0x03;
constexpr std::uint8_t kTypeNormalMessage = 0x04;
constexpr std::uint8_t kTypeAttachment = 0x05;
constexpr std::uint8_t kTypeAssocMessage = 0x08;
constexpr std::uint8_t kTypeHierarchyTable = 0x0D;
constexpr std::uint8_t kTypeContentsTable = 0x0E;
constexpr std::uint8_t kTypeAssocContentsTable = 0x0F;
constexpr std::uint8_t kTypeAttachmentTable = 0x11;
constexpr std::uint8_t kTypeRecipientTable = 0x12;

// PS_MAPI, PS_PUBLIC_STRINGS and PSETID_Address as stored.
constexpr Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0, 0, 0, 0,
                                   0xC0, 0,    0,    0,    0, 0, 0, 0x46};
constexpr Guid kAddress = {0x04, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
// MAPI's one-off provider ([MS-OXCDATA] 2.2.5.1) and the contact provider's wrapper
// ([MS-OXOCNTC] 2.2.2.2.4.1.1).
constexpr Guid kOneOffUid = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                             0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr Guid kWrapUid = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11,
                           0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};

// [MS-OXOCNTC] 2.2.2.2.1, 2.2.2.2.2: each member array stays under this many bytes.
constexpr std::size_t kMaxMemberArrayBytes = 15000;

bool StartsWith(std::span<const std::uint8_t> bytes, std::size_t at, const Guid& guid) {
    return bytes.size() >= at + 16 && std::equal(guid.begin(), guid.end(), bytes.begin() + at);
}

// "IPM.Contact" and "IPM.Contact.Something", whatever the case.
bool IsClass(const std::string& messageClass, std::string_view base) {
    if (messageClass.size() < base.size()) return false;
    for (std::size_t i = 0; i < base.size(); ++i) {
        const char a = messageClass[i];
        const char lower = a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a;
        const char b =
            base[i] >= 'A' && base[i] <= 'Z' ? static_cast<char>(base[i] - 'A' + 'a') : base[i];
        if (lower != b) return false;
    }
    return messageClass.size() == base.size() || messageClass[base.size()] == '.';
}

std::string TextOf(const PropertyValue* v) {
    if (v == nullptr) return {};
    return (v->tag & 0xFFFF) == 0x001E ? Latin1ToUtf8(v->value) : Utf16ToUtf8(v->value);
}

std::int64_t IntegerOf(const PropertyValue* v) {
    if (v == nullptr) return 0;
    std::uint64_t x = 0;
    for (std::size_t i = std::min<std::size_t>(v->value.size(), 8); i-- > 0;)
        x = (x << 8) | v->value[i];
    if (v->value.size() == 4) return static_cast<std::int32_t>(x);
    if (v->value.size() == 2) return static_cast<std::int16_t>(x);
    return static_cast<std::int64_t>(x);
}

using Values = std::vector<std::span<const std::uint8_t>>;

// The values of a PtypMultipleBinary whose encoding was checked when it was read.
Values MultiBinary(std::span<const std::uint8_t> v) {
    Values out;
    if (v.size() < 4) return out;
    const std::size_t count = GetU32(v.data());
    if (count > (v.size() - 4) / 4) return out;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t begin = GetU32(v.data() + 4 + 4 * i);
        const std::size_t end = i + 1 < count ? GetU32(v.data() + 8 + 4 * i) : v.size();
        if (begin > end || end > v.size()) return {};
        out.push_back(v.subspan(begin, end - begin));
    }
    return out;
}

// A store entry ID ([MS-PST] 2.4.3.2): flags 0, the store's record key, the NID.
std::optional<Nid> StoreEntryNid(std::span<const std::uint8_t> eid, const Bytes& recordKey) {
    if (eid.size() != 24 || recordKey.size() != 16 || GetU32(eid.data()) != 0 ||
        !std::equal(recordKey.begin(), recordKey.end(), eid.begin() + 4))
        return std::nullopt;
    return GetU32(eid.data() + 20);
}

// The three texts of a one-off entry ID ([MS-OXCDATA] 2.2.5.1); false when malformed.
bool ParseOneOff(std::span<const std::uint8_t> eid, ListMember& m, std::string& problem) {
    if (eid.size() < 24 || !StartsWith(eid, 4, kOneOffUid)) {
        problem = "not a one-off entry ID";
        return false;
    }
    const bool unicode = (GetU16(eid.data() + 22) & 0x8000) != 0;
    std::size_t at = 24;
    std::string* fields[] = {&m.displayName, &m.addressType, &m.address};
    for (std::string* field : fields) {
        std::size_t end = at;
        if (unicode) {
            while (end + 1 < eid.size() && (eid[end] | eid[end + 1]) != 0) end += 2;
            if (end + 1 >= eid.size()) {
                problem = "a text of the one-off entry ID is not terminated";
                return false;
            }
            *field = Utf16ToUtf8(eid.subspan(at, end - at));
            at = end + 2;
        } else {
            while (end < eid.size() && eid[end] != 0) ++end;
            if (end >= eid.size()) {
                problem = "a text of the one-off entry ID is not terminated";
                return false;
            }
            *field = Latin1ToUtf8(eid.subspan(at, end - at));
            at = end + 1;
        }
    }
    if (at != eid.size()) {
        problem = "bytes after the one-off entry ID's texts";
        return false;
    }
    return true;
}

}  // namespace

// --- text

std::string Utf16ToUtf8(std::span<const std::uint8_t> s) {
    std::string out;
    out.reserve(s.size() / 2);
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        std::uint32_t cp = GetU16(s.data() + i);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < s.size() && GetU16(s.data() + i + 2) >= 0xDC00 &&
            GetU16(s.data() + i + 2) < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (GetU16(s.data() + i + 2) - 0xDC00);
            i += 2;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;  // an unpaired surrogate
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

std::string Latin1ToUtf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (const std::uint8_t b : bytes) {
        if (b == 0) break;  // 8-bit strings may carry their terminator
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

const PropertyValue* FindValue(const std::vector<PropertyValue>& props, std::uint32_t tag) {
    // A property context holds one value per property ID, in ID order.
    auto it = std::lower_bound(
        props.begin(), props.end(), tag,
        [](const PropertyValue& p, std::uint32_t t) { return (p.tag >> 16) < (t >> 16); });
    return it != props.end() && it->tag == tag ? &*it : nullptr;
}

// --- helpers of the pass

void Verifier::MarkChecked(Nid nid) {
    const NodeRef* n = reader_.FindNode(nid);
    if (n != nullptr) checked_[n - reader_.Nodes().data()] = 1;
}

bool Verifier::LoadPc(const NodeRef& node) {
    MarkChecked(node.nid);
    store_.clear();
    props_.clear();
    if (!view_.Load(reader_, node.nid, node.data, node.subnode, report_)) return false;
    if (node.data == 0) {
        report_.Error(Location::Node(node.nid), "holds no data where properties belong");
        return false;
    }
    ReadPropertyContext(reader_, view_, report_, props_, store_);
    return view_.IsHeap();
}

const PropertyName* Verifier::NameOf(std::uint16_t id) const {
    const std::size_t index = id - 0x8000u;
    return id >= 0x8000 && index < names_.size() && names_[index] ? &*names_[index] : nullptr;
}

std::uint16_t Verifier::IdOf(const Guid& set, std::uint32_t lid) const {
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (names_[i] && names_[i]->lid == lid && names_[i]->guid == set)
            return static_cast<std::uint16_t>(0x8000 + i);
    return 0;
}

std::vector<Property> Verifier::ToProperties(const std::vector<PropertyValue>& values) const {
    std::vector<Property> out;
    out.reserve(values.size());
    for (const PropertyValue& v : values) {
        Property p{v.tag, Bytes(v.value.begin(), v.value.end()), std::nullopt};
        if (const PropertyName* name = NameOf(static_cast<std::uint16_t>(v.tag >> 16)))
            p.name = *name;
        out.push_back(std::move(p));
    }
    return out;
}

// --- name-to-ID map ([MS-PST] 2.4.7)

void Verifier::CheckNameMap() {
    const NodeRef* node = reader_.FindNode(kNidNameMap);
    if (node == nullptr || !LoadPc(*node)) return;
    const Location at = Location::Node(kNidNameMap);
    const PropertyValue* buckets = FindValue(props_, 0x00010003);
    const PropertyValue* guids = FindValue(props_, 0x00020102);
    const PropertyValue* entries = FindValue(props_, 0x00030102);
    const PropertyValue* strings = FindValue(props_, 0x00040102);
    const std::int64_t bucketCount = IntegerOf(buckets);
    if (bucketCount <= 0) {
        report_.Error(at, "name map: no bucket count (PidTagNameidBucketCount)");
        return;
    }
    if (entries == nullptr) {
        report_.Error(at, "name map: no entry stream (PidTagNameidStreamEntry)");
        return;
    }
    const auto guidStream = guids ? guids->value : std::span<const std::uint8_t>();
    const auto entryStream = entries->value;
    const auto stringStream = strings ? strings->value : std::span<const std::uint8_t>();
    if (stringStream.empty())
        report_.Warning(at,
                        "name map: the string stream (PidTagNameidStreamString) is empty; "
                        "Outlook's always holds names, and some readers cannot open a file "
                        "without them");
    if (guidStream.size() % 16 != 0)
        report_.Error(at, "name map: GUID stream not a whole number of GUIDs");
    if (entryStream.size() % 8 != 0)
        report_.Error(at, "name map: entry stream not a whole number of entries");

    std::set<std::pair<std::uint32_t, std::uint64_t>> expected;  // (bucket, record)
    for (std::size_t i = 0; i + 8 <= entryStream.size(); i += 8) {
        const std::uint8_t* e = entryStream.data() + i;
        const std::uint32_t key = GetU32(e);
        const std::uint16_t guidN = GetU16(e + 4);
        const std::uint16_t index = GetU16(e + 6);
        const std::size_t guidIndex = guidN >> 1;
        auto what = [&] { return "name map entry " + std::to_string(i / 8) + ": "; };
        PropertyName name;
        if (guidIndex == 1) {
            name.guid = kPsMapi;
        } else if (guidIndex == 2) {
            name.guid = kPsPublicStrings;
        } else if (guidIndex >= 3 && (guidIndex - 3) * 16 + 16 <= guidStream.size()) {
            std::copy_n(guidStream.begin() + static_cast<std::ptrdiff_t>((guidIndex - 3) * 16), 16,
                        name.guid.begin());
        } else {
            report_.Error(
                at, what() + "GUID index " + std::to_string(guidIndex) + " names no property set");
            continue;
        }
        std::uint32_t hashKey = key;
        if (guidN & 1) {
            if (static_cast<std::size_t>(key) + 4 > stringStream.size() ||
                GetU32(stringStream.data() + key) > stringStream.size() - key - 4 ||
                GetU32(stringStream.data() + key) % 2 != 0) {
                report_.Error(at, what() + "its string name lies outside the string stream");
                continue;
            }
            const auto text = stringStream.subspan(key + 4, GetU32(stringStream.data() + key));
            name.name = Utf16ToUtf8(text);
            hashKey = ndb::Crc(text);
        } else {
            name.lid = key;
        }
        if (index >= 0x7FFF) {
            report_.Error(at, what() + "property index " + Hex(index) + " out of range");
            continue;
        }
        if (names_.size() <= index) names_.resize(index + 1u);
        if (names_[index]) {
            report_.Error(
                at, what() + "property ID " + Hex(0x8000u + index) + " is given to two names");
            continue;
        }
        names_[index] = name;
        const std::uint64_t record =
            hashKey | (std::uint64_t{guidN} << 32) | (std::uint64_t{index} << 48);
        expected.insert({static_cast<std::uint32_t>((hashKey ^ guidN) %
                                                    static_cast<std::uint64_t>(bucketCount)),
                         record});
    }
    // Outlook finds a name's ID through the hash buckets: every name must be in its bucket.
    std::set<std::pair<std::uint32_t, std::uint64_t>> found;
    for (const PropertyValue& p : props_) {
        const std::uint32_t id = p.tag >> 16;
        if (id < 0x1000 || id >= 0x1000 + bucketCount || (p.tag & 0xFFFF) != 0x0102) continue;
        for (std::size_t i = 0; i + 8 <= p.value.size(); i += 8) {
            const std::uint64_t record =
                GetU32(p.value.data() + i) | (std::uint64_t{GetU32(p.value.data() + i + 4)} << 32);
            found.insert({id - 0x1000, record});
        }
    }
    std::size_t missing = 0;
    for (const auto& e : expected)
        if (!found.contains(e)) ++missing;
    std::size_t stray = 0;
    for (const auto& f : found)
        if (!expected.contains(f)) ++stray;
    if (missing > 0)
        report_.Error(at, "name map: " + std::to_string(missing) +
                              " names are missing from their hash buckets");
    if (stray > 0)
        report_.Error(at, "name map: " + std::to_string(stray) +
                              " hash bucket records match no name in its bucket");
}

// --- store object ([MS-PST] 2.4.3)

void Verifier::CheckStoreObject() {
    const NodeRef* node = reader_.FindNode(kNidMessageStore);
    if (node == nullptr || !LoadPc(*node)) return;
    const Location at = Location::Node(kNidMessageStore);
    const PropertyValue* key = FindValue(props_, kTagRecordKey);
    if (key == nullptr || key->value.size() != 16) {
        report_.Error(at, "message store: PidTagRecordKey missing or not 16 bytes");
    } else {
        recordKey_.assign(key->value.begin(), key->value.end());
    }
    const PropertyValue* name = FindValue(props_, kTagDisplayName);
    if (name == nullptr) report_.Error(at, "message store: no PidTagDisplayName");
    const std::pair<std::uint32_t, const char*> folders[] = {
        {0x35E00102, "PidTagIpmSubTreeEntryId"},
        {0x35E30102, "PidTagIpmWastebasketEntryId"},
        {0x35E70102, "PidTagFinderEntryId"}};
    for (const auto& [tag, what] : folders) {
        const PropertyValue* eid = FindValue(props_, tag);
        if (eid == nullptr) {
            report_.Error(at, std::string("message store: no ") + what);
            continue;
        }
        const auto nid = StoreEntryNid(eid->value, recordKey_);
        const NodeRef* folder = nid ? reader_.FindNode(*nid) : nullptr;
        if (folder == nullptr || ((*nid & 0x1F) != kTypeNormalFolder))
            report_.Error(at, std::string("message store: ") + what +
                                  " does not name a folder of this store");
    }
    if (sink_) sink_->OnStore(TextOf(name), recordKey_);
}

// --- folders ([MS-PST] 2.4.4)

void Verifier::CheckFolders() {
    std::unordered_map<Nid, std::vector<Nid>> subfolders;
    std::unordered_map<Nid, std::vector<Nid>> messages;
    std::unordered_map<Nid, std::vector<Nid>> associated;
    for (const NodeRef& n : reader_.Nodes()) {
        const std::uint32_t type = n.nid & 0x1F;
        if ((type == kTypeNormalFolder || type == kTypeSearchFolder) && n.nid != n.parent)
            subfolders[n.parent].push_back(n.nid);
        if (type == kTypeNormalMessage) messages[n.parent].push_back(n.nid);
        if (type == kTypeAssocMessage) associated[n.parent].push_back(n.nid);
    }
    for (const NodeRef& n : reader_.Nodes()) {
        const std::uint32_t type = n.nid & 0x1F;
        if (type != kTypeNormalFolder && type != kTypeSearchFolder) continue;
        const Location at = Location::Node(n.nid);
        FolderInfo& info = folders_[n.nid];
        info.search = type == kTypeSearchFolder;
        if (!LoadPc(n)) continue;
        ++report_.counts.folders;
        for (const auto& [tag, what] :
             {std::pair<std::uint32_t, const char*>{kTagDisplayName, "PidTagDisplayName"},
              {kTagContentCount, "PidTagContentCount"},
              {kTagContentUnread, "PidTagContentUnreadCount"},
              {kTagSubfolders, "PidTagSubfolders"}}) {
            if (FindValue(props_, tag) == nullptr)
                report_.Error(at, std::string("folder: no ") + what);
        }
        if (const PropertyValue* count = FindValue(props_, kTagContentCount))
            info.contentCount = IntegerOf(count);
        info.subfolders = IntegerOf(FindValue(props_, kTagSubfolders)) != 0;
        if (n.parent == n.nid && n.nid != kNidRootFolder)
            report_.Error(at, "folder: its own parent, but it is not the root folder");
        const NodeRef* parent = reader_.FindNode(n.parent);
        if (parent == nullptr ||
            ((n.parent & 0x1F) != kTypeNormalFolder && (n.parent & 0x1F) != kTypeSearchFolder))
            report_.Error(at, "folder: parent " + Hex(n.parent) + " is not a folder");
        if (sink_) {
            Folder f;
            f.nid = n.nid;
            f.parent = n.parent;
            f.search = info.search;
            f.name = TextOf(FindValue(props_, kTagDisplayName));
            f.containerClass = TextOf(FindValue(props_, kTagContainerClass));
            f.contentCount = info.contentCount;
            f.properties = ToProperties(props_);
            sink_->OnFolder(f);
        }
        if (info.search) continue;

        // The three tables of a normal folder and what each must list.
        const auto& children = subfolders[n.nid];
        const auto& items = messages[n.nid];
        if (info.subfolders != !children.empty())
            report_.Error(at, std::string("folder: PidTagSubfolders is ") +
                                  (info.subfolders ? "true" : "false") + " but it has " +
                                  std::to_string(children.size()) + " subfolders");
        if (info.contentCount >= 0 && static_cast<std::size_t>(info.contentCount) != items.size())
            report_.Error(at, "folder: PidTagContentCount is " + std::to_string(info.contentCount) +
                                  " but it holds " + std::to_string(items.size()) + " items");
        const std::tuple<std::uint8_t, const char*, const std::vector<Nid>*> tables[] = {
            {kTypeHierarchyTable, "hierarchy table", &children},
            {kTypeContentsTable, "contents table", &items},
            {kTypeAssocContentsTable, "associated contents table", &associated[n.nid]}};
        for (const auto& [tableType, what, listed] : tables) {
            const Nid tableNid = (n.nid & ~0x1Fu) | tableType;
            const NodeRef* t = reader_.FindNode(tableNid);
            if (t == nullptr) {
                report_.Error(at,
                              std::string("folder: no ") + what + " (NID " + Hex(tableNid) + ")");
                continue;
            }
            MarkChecked(tableNid);
            auto kept = std::make_unique<ContentsTable>();
            Table& table = kept->table;
            if (!kept->view.Load(reader_, t->nid, t->data, t->subnode, report_) ||
                !table.Read(reader_, kept->view, report_))
                continue;
            if (tableType == kTypeContentsTable) {
                for (std::size_t r = 0; r < table.RowCount(); ++r)
                    kept->rows.emplace(table.RowId(r), r);
                contents_[n.nid] = std::move(kept);
            }
            std::vector<Nid> rows;
            rows.reserve(table.RowCount());
            for (std::size_t r = 0; r < table.RowCount(); ++r) rows.push_back(table.RowId(r));
            std::sort(rows.begin(), rows.end());
            std::vector<Nid> want = *listed;
            std::sort(want.begin(), want.end());
            std::vector<Nid> extra;
            std::vector<Nid> absent;
            std::set_difference(rows.begin(), rows.end(), want.begin(), want.end(),
                                std::back_inserter(extra));
            std::set_difference(want.begin(), want.end(), rows.begin(), rows.end(),
                                std::back_inserter(absent));
            if (!extra.empty())
                report_.Error(Location::Node(tableNid),
                              std::string(what) + ": " + std::to_string(extra.size()) +
                                  " rows name no object of this folder (first " + Hex(extra[0]) +
                                  ")");
            if (!absent.empty())
                report_.Error(Location::Node(tableNid),
                              std::string(what) + ": " + std::to_string(absent.size()) +
                                  " objects of this folder have no row (first " + Hex(absent[0]) +
                                  ")");
        }
    }
}

// --- items ([MS-PST] 2.4.5, [MS-OXOCNTC])

void Verifier::CheckItems() {
    for (const NodeRef& n : reader_.Nodes()) {
        const std::uint32_t type = n.nid & 0x1F;
        if (type == kTypeNormalMessage || type == kTypeAssocMessage) CheckItem(n);
    }
    for (const auto& [folder, c] : contents_) {
        if (c->disagreeing > 0)
            report_.Warning(Location::Node((folder & ~0x1Fu) | kTypeContentsTable),
                            "contents table: " + std::to_string(c->disagreeing) +
                                " rows disagree with the items they list (first: " + c->first +
                                ")");
    }
    contents_.clear();
    if (unnamed_ > 0)
        report_.Error(Location::File(), std::to_string(unnamed_) +
                                            " named properties have no entry in the name map "
                                            "(first: " +
                                            firstUnnamed_ + ")");
}

void Verifier::CheckItem(const NodeRef& n) {
    const Location at = Location::Node(n.nid);
    if (!LoadPc(n)) return;
    const PropertyValue* cls = FindValue(props_, kTagMessageClass);
    if (cls == nullptr) cls = FindValue(props_, kTagMessageClass8);
    if (cls == nullptr) report_.Error(at, "message: no PidTagMessageClass");
    const std::string messageClass = TextOf(cls);
    const auto folder = folders_.find(n.parent);
    if (folder == folders_.end())
        report_.Error(at, "message: parent " + Hex(n.parent) + " is not a folder");
    const bool associated = (n.nid & 0x1F) == kTypeAssocMessage;
    std::uint8_t kind = 0;
    if (!associated && IsClass(messageClass, "IPM.Contact")) {
        kind = 1;
        ++report_.counts.contacts;
    } else if (!associated && IsClass(messageClass, "IPM.DistList")) {
        kind = 2;
        ++report_.counts.lists;
    }
    itemKinds_[n.nid] = kind;
    for (const PropertyValue& p : props_) {
        if ((p.tag >> 16) >= 0x8000 && NameOf(static_cast<std::uint16_t>(p.tag >> 16)) == nullptr &&
            unnamed_++ == 0)
            firstUnnamed_ = "property ID " + Hex(p.tag >> 16) + " of NID " + Hex(n.nid);
    }
    if (!associated) CompareWithRow(n);
    Item item;
    Item* out = sink_ ? &item : nullptr;
    if (kind == 2) CheckDistList(n, props_, out);
    if (sink_) {
        item.nid = n.nid;
        item.folder = n.parent;
        item.associated = associated;
        item.messageClass = messageClass;
        item.properties = ToProperties(props_);
        sink_->OnItem(item);
    }
    CheckItemSubnodes(n);
}

void Verifier::CompareWithRow(const NodeRef& n) {
    const auto folder = contents_.find(n.parent);
    if (folder == contents_.end()) return;
    ContentsTable& c = *folder->second;
    const auto row = c.rows.find(n.nid);
    if (row == c.rows.end()) return;  // reported with the table
    for (const TableColumn& column : c.table.Columns()) {
        if (column.tag == 0x67F20003 || column.tag == 0x67F30003) continue;
        // Outlook fills some cells the item does not have (a message status of 0) and leaves
        // some empty: only values both have must agree.
        const PropertyValue* value = FindValue(props_, column.tag);
        if (value == nullptr) continue;
        const auto cell = c.table.Cell(row->second, column);
        if (!cell ||
            std::equal(cell->begin(), cell->end(), value->value.begin(), value->value.end()))
            continue;
        if (c.disagreeing++ == 0)
            c.first = "item " + Hex(n.nid) + ", column " + TagText(column.tag);
        return;
    }
}

void Verifier::CheckItemSubnodes(const NodeRef& n) {
    if (view_.subnodes.empty()) return;
    const std::vector<SubnodeRef>& subnodes = view_.subnodes;
    NodeView sub;
    Table table;
    std::vector<PropertyValue> props;
    ValueStore store;
    for (const SubnodeRef& s : subnodes) {
        const std::uint32_t type = s.nid & 0x1F;
        if (type != kTypeAttachment && type != kTypeAttachmentTable && type != kTypeRecipientTable)
            continue;
        if (!sub.Load(reader_, n.nid, s.data, s.subnode, report_, s.nid)) continue;
        if (type == kTypeAttachment) {
            ReadPropertyContext(reader_, sub, report_, props, store);
        } else {
            table.Read(reader_, sub, report_);
        }
    }
}

void Verifier::CheckDistList(const NodeRef& n, const std::vector<PropertyValue>& props,
                             Item* item) {
    const Location at = Location::Node(n.nid);
    auto named = [&](std::uint32_t lid, std::uint16_t type) -> const PropertyValue* {
        const std::uint16_t id = IdOf(kAddress, lid);
        return id == 0 ? nullptr : FindValue(props, (std::uint32_t{id} << 16) | type);
    };
    const PropertyValue* members = named(0x8055, 0x1102);   // PidLidDistributionListMembers
    const PropertyValue* oneOffs = named(0x8054, 0x1102);   // ...OneOffMembers
    const PropertyValue* checksum = named(0x804C, 0x0003);  // ...Checksum
    const PropertyValue* stream = named(0x8064, 0x0102);    // ...Stream

    std::vector<std::pair<std::span<const std::uint8_t>, std::span<const std::uint8_t>>> list;
    if (members != nullptr || oneOffs != nullptr) {
        const Values m = members ? MultiBinary(members->value) : Values{};
        const Values o = oneOffs ? MultiBinary(oneOffs->value) : Values{};
        if (members == nullptr || oneOffs == nullptr || m.size() != o.size())
            report_.Error(at, "distribution list: " + std::to_string(m.size()) + " members but " +
                                  std::to_string(o.size()) +
                                  " one-off members; the two arrays must be parallel");
        std::size_t memberBytes = 0;
        Bytes joined;
        for (const auto& e : m) {
            memberBytes += e.size();
            joined.insert(joined.end(), e.begin(), e.end());
        }
        std::size_t oneOffBytes = 0;
        for (const auto& e : o) oneOffBytes += e.size();
        if (memberBytes >= kMaxMemberArrayBytes || oneOffBytes >= kMaxMemberArrayBytes)
            report_.Error(at, "distribution list: member arrays of " + std::to_string(memberBytes) +
                                  " and " + std::to_string(oneOffBytes) +
                                  " bytes; each must stay under 15000 (larger lists belong in "
                                  "PidLidDistributionListStream)");
        const std::uint32_t crc = ndb::Crc(joined);
        if (checksum == nullptr && members != nullptr) {
            report_.Warning(at, "distribution list: no PidLidDistributionListChecksum");
        } else if (checksum != nullptr && static_cast<std::uint32_t>(IntegerOf(checksum)) != crc) {
            report_.Error(at, "distribution list: PidLidDistributionListChecksum " +
                                  Hex(static_cast<std::uint32_t>(IntegerOf(checksum))) +
                                  " does not match the members' checksum " + Hex(crc));
        }
        for (std::size_t i = 0; i < m.size(); ++i)
            list.emplace_back(m[i], i < o.size() ? o[i] : std::span<const std::uint8_t>());
    }
    // [MS-OXOCNTC] 2.2.2.2.4: when the stream is there, it is the list.
    if (stream != nullptr) {
        const auto s = stream->value;
        list.clear();
        std::string problem;
        std::size_t at8 = 28;
        if (s.size() < 36 || GetU16(s.data()) != 1) {
            problem = "too short or of an unknown version";
        } else {
            const std::size_t count = GetU32(s.data() + 12);
            std::size_t eidTotal = 0;
            std::size_t oneOffTotal = 0;
            for (std::size_t i = 0; i < count && problem.empty(); ++i) {
                std::span<const std::uint8_t> parts[2];
                for (int k = 0; k < 3 && problem.empty(); ++k) {
                    if (at8 + 4 > s.size()) {
                        problem = "member " + std::to_string(i) + " runs past the end";
                        break;
                    }
                    const std::size_t size = GetU32(s.data() + at8);
                    if (size > s.size() - at8 - 4) {
                        problem = "member " + std::to_string(i) + " runs past the end";
                        break;
                    }
                    if (k < 2) parts[k] = s.subspan(at8 + 4, size);
                    at8 += 4 + size;
                }
                if (!problem.empty()) break;
                eidTotal += parts[0].size();
                oneOffTotal += parts[1].size();
                list.emplace_back(parts[0], parts[1]);
            }
            if (problem.empty() &&
                (eidTotal != GetU32(s.data() + 16) || oneOffTotal != GetU32(s.data() + 20)))
                problem = "its totals do not match its members";
            if (problem.empty() && (at8 + 8 != s.size() || GetU32(s.data() + at8) != 0 ||
                                    GetU32(s.data() + at8 + 4) != 0))
                problem = "it does not end with its two terminators";
        }
        if (!problem.empty())
            report_.Error(
                at, "distribution list: PidLidDistributionListStream is malformed: " + problem);
    }

    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& [eid, oneOff] = list[i];
        ListMember m;
        m.entryId.assign(eid.begin(), eid.end());
        std::string problem;
        auto what = [&] { return "distribution list member " + std::to_string(i) + ": "; };
        if (StartsWith(eid, 4, kOneOffUid)) {
            m.kind = ListMember::Kind::OneOff;
            if (!ParseOneOff(eid, m, problem)) report_.Error(at, what() + problem);
        } else if (StartsWith(eid, 4, kWrapUid) && eid.size() > 20) {
            const std::uint8_t type = eid[20];
            const auto inner = eid.subspan(21);
            if ((type & 0x0F) == 0) {
                m.kind = ListMember::Kind::OneOff;
                if (!ParseOneOff(inner, m, problem)) report_.Error(at, what() + problem);
            } else if (const auto nid = StoreEntryNid(inner, recordKey_)) {
                m.kind = ListMember::Kind::StoreItem;
                m.item = *nid;
                memberRefs_.push_back({n.nid, *nid, type});
            } else if (inner.size() != 24) {
                report_.Error(at, what() + "a wrapped entry ID of " + std::to_string(inner.size()) +
                                      " bytes around no store entry ID");
            }
        } else if (const auto nid = StoreEntryNid(eid, recordKey_)) {
            m.kind = ListMember::Kind::StoreItem;
            m.item = *nid;
            memberRefs_.push_back({n.nid, *nid, 0});
        }
        // A store item's names come from the one-off entry ID stored beside it.
        if (m.kind != ListMember::Kind::OneOff && !oneOff.empty()) {
            ListMember names;
            if (ParseOneOff(oneOff, names, problem)) {
                m.displayName = names.displayName;
                m.addressType = names.addressType;
                m.address = names.address;
            } else {
                report_.Error(at, what() + "its one-off entry ID: " + problem);
            }
        }
        ++report_.counts.members;
        if (item) item->members.push_back(std::move(m));
    }
}

void Verifier::CheckMemberTargets() {
    for (const MemberRef& ref : memberRefs_) {
        const auto kind = itemKinds_.find(ref.item);
        if (kind == itemKinds_.end() || (ref.item & 0x1F) != kTypeNormalMessage) {
            report_.Error(Location::Node(ref.list), "distribution list member names NID " +
                                                        Hex(ref.item) +
                                                        ", which is not an item of this store");
            continue;
        }
        const std::uint8_t expected = (ref.wrappedType & 0x0F) == 3   ? 1
                                      : (ref.wrappedType & 0x0F) == 4 ? 2
                                                                      : kind->second;
        if (expected != kind->second)
            report_.Warning(Location::Node(ref.list),
                            "distribution list member " + Hex(ref.item) + " is wrapped as a " +
                                (expected == 1 ? "contact" : "list") + " but is not one");
    }
}

// --- everything else

void Verifier::CheckOtherNodes() {
    const auto& nodes = reader_.Nodes();
    NodeView view;
    Table table;
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const NodeRef& n = nodes[i];
        if (checked_[i] || n.data == 0) continue;
        if (!view.Load(reader_, n.nid, n.data, n.subnode, report_) || !view.IsHeap()) continue;
        const std::uint8_t sig = view.blocks[0][3];
        if (sig == kSigPc) {
            ReadPropertyContext(reader_, view, report_, props_, store_);
        } else if (sig == kSigTc) {
            table.Read(reader_, view, report_);
        } else {
            Heap heap;
            BthRecords records;
            if (heap.Open(view, report_) && sig == kSigBth)
                ReadBth(heap, heap.UserRoot(), 0, 0, view, report_, records);
        }
    }
}

void Verifier::CheckMandatoryNodes() {
    // [MS-PST] 2.7.1: the nodes every store has.
    const std::pair<Nid, const char*> required[] = {
        {0x21, "message store"},
        {0x61, "name-to-ID map"},
        {0x122, "root folder"},
        {0x12D, "root folder hierarchy table"},
        {0x12E, "root folder contents table"},
        {0x12F, "root folder associated contents table"},
        {0x1E1, "search management queue"},
        {0x201, "search activity list"},
        {0x60D, "hierarchy table template"},
        {0x60E, "contents table template"},
        {0x60F, "associated contents table template"},
        {0x610, "search contents table template"},
        {0x671, "attachment table template"},
        {0x692, "recipient table template"}};
    for (const auto& [nid, what] : required)
        if (reader_.FindNode(nid) == nullptr)
            report_.Error(Location::Node(nid), std::string("the ") + what + " is missing");
}

}  // namespace tarvelle::pst::verify
