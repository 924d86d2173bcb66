#include "pst/verify/Ltp.h"

#include <algorithm>

namespace tarvelle::pst::verify {

using ndb::GetU16;
using ndb::GetU32;

namespace {

constexpr std::size_t kMaxHeapItem = 3580;       // [MS-PST] 2.3.1.1
constexpr std::uint32_t kTagRowId = 0x67F20003;  // PidTagLtpRowId
constexpr std::uint32_t kTagRowVer = 0x67F30003;

// HNHDR on page 0, HNBITMAPHDR on pages 8, 136, 264, ..., HNPAGEHDR elsewhere.
std::size_t HeapPageHeader(std::size_t page) {
    if (page == 0) return 12;
    if (page >= 8 && (page - 8) % 128 == 0) return 66;
    return 2;
}

// Keys of a BTH compare as little-endian unsigned numbers.
int CompareKeys(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    }
    return 0;
}

std::string KeyText(std::span<const std::uint8_t> key) {
    if (key.size() > 8) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string s = "0x";
        for (std::size_t i = key.size(); i-- > 0;) {
            s += kDigits[key[i] >> 4];
            s += kDigits[key[i] & 15];
        }
        return s;
    }
    std::uint64_t v = 0;
    for (std::size_t i = key.size(); i-- > 0;) v = (v << 8) | key[i];
    return Hex(v);
}

// What is wrong with the encoding of a variable-size value, or "" when nothing is.
std::string EncodingProblem(std::uint16_t type, std::span<const std::uint8_t> v) {
    if (type == 0x001F && v.size() % 2 != 0) return "a UTF-16 string of an odd number of bytes";
    if (!IsMultiValuedType(type) || v.empty()) return {};
    const int element = FixedTypeSize(static_cast<std::uint16_t>(type & 0x0FFF));
    if (element > 0) {
        if (v.size() % static_cast<std::size_t>(element) != 0)
            return "a multi-valued value of " + std::to_string(v.size()) +
                   " bytes, not a whole number of " + std::to_string(element) + "-byte values";
        return {};
    }
    // [MS-PST] 2.3.3.4.2: count, one offset per value, then the values back to back.
    if (v.size() < 4) return "a multi-valued value shorter than its count";
    const std::size_t count = GetU32(v.data());
    if (count > (v.size() - 4) / 4) return "a multi-valued value with more offsets than bytes";
    std::size_t previous = 4 + 4 * count;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t offset = GetU32(v.data() + 4 + 4 * i);
        if ((i == 0 && offset != previous) || offset < previous || offset > v.size())
            return "a multi-valued value whose offsets do not follow its values";
        const std::size_t end = i + 1 < count ? GetU32(v.data() + 8 + 4 * i) : v.size();
        if (type == 0x101F && end >= offset && (end - offset) % 2 != 0)
            return "a multi-valued string of an odd number of bytes";
        previous = offset;
    }
    return {};
}

}  // namespace

int FixedTypeSize(std::uint16_t type) {
    switch (type) {
        case 0x0001:  // PtypNull
            return 0;
        case 0x000B:  // Boolean
            return 1;
        case 0x0002:  // Integer16
            return 2;
        case 0x0003:  // Integer32
        case 0x0004:  // Floating32
        case 0x000A:  // ErrorCode
            return 4;
        case 0x0005:  // Floating64
        case 0x0006:  // Currency
        case 0x0007:  // FloatingTime
        case 0x0014:  // Integer64
        case 0x0040:  // Time
            return 8;
        case 0x0048:  // Guid
            return 16;
        case 0x000D:  // Object
        case 0x001E:  // String8
        case 0x001F:  // String
        case 0x00FB:  // ServerId
        case 0x00FD:  // Restriction
        case 0x00FE:  // RuleAction
        case 0x0102:  // Binary
            return 0;
        default:
            if (IsMultiValuedType(type)) return 0;
            return -1;
    }
}

bool IsMultiValuedType(std::uint16_t type) {
    switch (type) {
        case 0x1002:
        case 0x1003:
        case 0x1004:
        case 0x1005:
        case 0x1006:
        case 0x1007:
        case 0x1014:
        case 0x101E:
        case 0x101F:
        case 0x1040:
        case 0x1048:
        case 0x1102:
            return true;
        default:
            return false;
    }
}

bool IsVariableType(std::uint16_t type) { return FixedTypeSize(type) == 0 && type != 0x0001; }

// Outlook stores an empty value as HNID 0, never as a heap item of no bytes (which some readers
// take for something else).
constexpr const char* kZeroLengthItem =
    "an empty value stored as a zero-length heap item, not as HNID 0";

// --- NodeView

bool NodeView::Load(const PstReader& reader, Nid top, Bid data, Bid subnodeTree, Report& report,
                    Nid sub) {
    nid = top;
    subnode = sub;
    subnodes.clear();
    try {
        reader.ReadDataBlocks(data, blocks);
        if (subnodeTree != 0) {
            subnodes = reader.ReadSubnodes(subnodeTree);
            std::sort(subnodes.begin(), subnodes.end(),
                      [](const SubnodeRef& a, const SubnodeRef& b) { return a.nid < b.nid; });
        }
    } catch (const ReadError& e) {
        report.Error(Location::Node(nid), Prefix() + "cannot be read: " + e.what());
        blocks.clear();
        return false;
    }
    return true;
}

const SubnodeRef* NodeView::FindSubnode(Nid sub) const {
    auto it = std::lower_bound(subnodes.begin(), subnodes.end(), sub,
                               [](const SubnodeRef& s, Nid k) { return s.nid < k; });
    return it != subnodes.end() && it->nid == sub ? &*it : nullptr;
}

std::string NodeView::Prefix() const { return subnode ? "subnode " + Hex(subnode) + ": " : ""; }

// --- Heap

bool Heap::Open(const NodeView& node, Report& report) {
    pages_.clear();
    const Location at = Location::Node(node.nid);
    if (!node.IsHeap()) {
        report.Error(at, node.Prefix() + "holds no heap");
        return false;
    }
    clientSig_ = node.blocks[0][3];
    userRoot_ = GetU32(node.blocks[0].data() + 4);
    for (std::size_t i = 0; i < node.blocks.size(); ++i) {
        const Bytes& b = node.blocks[i];
        Page page{b, 0, 0};
        auto where = [&] { return node.Prefix() + "heap page " + std::to_string(i) + ": "; };
        const std::size_t header = HeapPageHeader(i);
        const std::size_t map = b.size() >= 2 ? GetU16(b.data()) : 0;
        if (b.size() < header || map < header || map + 4 > b.size()) {
            report.Error(at, where() + "the page map is not inside the page");
            pages_.push_back(page);
            continue;
        }
        const std::size_t count = GetU16(b.data() + map);
        const std::size_t freed = GetU16(b.data() + map + 2);
        if (map + 4 + 2 * (count + 1) > b.size()) {
            report.Error(at, where() + "the page map lists more items than the page holds");
            pages_.push_back(page);
            continue;
        }
        const std::uint8_t* offsets = b.data() + map + 4;
        bool ok = GetU16(offsets) == header;
        if (!ok)
            report.Error(at,
                         where() + "the first item starts at " + std::to_string(GetU16(offsets)) +
                             ", not right after the page header (" + std::to_string(header) + ")");
        for (std::size_t k = 1; ok && k <= count; ++k) {
            const std::size_t begin = GetU16(offsets + 2 * (k - 1));
            const std::size_t end = GetU16(offsets + 2 * k);
            if (end < begin || end > map) {
                report.Error(at, where() + "item " + std::to_string(k) +
                                     " ends before it starts or runs into the page map");
                ok = false;
            } else if (end - begin > kMaxHeapItem) {
                report.Error(at, where() + "item " + std::to_string(k) + " holds " +
                                     std::to_string(end - begin) + " bytes, more than 3580");
            }
        }
        if (freed > count) report.Error(at, where() + "more freed items than items");
        if (ok) {
            page.map = map;
            page.count = count;
        }
        pages_.push_back(page);  // a page whose map is broken has no items
    }
    return true;
}

std::optional<std::span<const std::uint8_t>> Heap::Item(Hid hid) const {
    const std::size_t page = hid >> 16;
    const std::size_t index = (hid >> 5) & 0x7FF;
    if ((hid & 0x1F) != 0 || page >= pages_.size() || index == 0 || index > pages_[page].count)
        return std::nullopt;
    const Page& p = pages_[page];
    const std::uint8_t* offsets = p.bytes.data() + p.map + 4;
    const std::size_t begin = GetU16(offsets + 2 * (index - 1));
    const std::size_t end = GetU16(offsets + 2 * index);
    return p.bytes.subspan(begin, end - begin);
}

// --- BTH

bool ReadBth(const Heap& heap, Hid header, std::uint8_t cbKey, std::uint8_t cbEnt,
             const NodeView& node, Report& report, BthRecords& out) {
    out.records.clear();
    const Location at = Location::Node(node.nid);
    auto where = [&] { return node.Prefix() + "BTH at HID " + Hex(header) + ": "; };
    const auto head = heap.Item(header);
    if (!head || head->size() != 8 || (*head)[0] != kSigBth) {
        report.Error(at, where() + "no BTH header there");
        return false;
    }
    out.cbKey = (*head)[1];
    out.cbEnt = (*head)[2];
    const std::size_t levels = (*head)[3];
    const Hid root = GetU32(head->data() + 4);
    if (out.cbKey != 2 && out.cbKey != 4 && out.cbKey != 8 && out.cbKey != 16) {
        report.Error(at,
                     where() + "key size " + std::to_string(out.cbKey) + " is none of 2, 4, 8, 16");
        return false;
    }
    if (out.cbEnt == 0 || out.cbEnt > 32 || (cbKey && out.cbKey != cbKey) ||
        (cbEnt && out.cbEnt != cbEnt)) {
        report.Error(at, where() + "key and data sizes " + std::to_string(out.cbKey) + "/" +
                             std::to_string(out.cbEnt) + ", expected " + std::to_string(cbKey) +
                             "/" + std::to_string(cbEnt));
        return false;
    }
    if (root == 0) return true;
    std::vector<Hid> seen;
    std::span<const std::uint8_t> lastKey;
    bool sound = true;
    // Returns the first key below `hid` (empty when the item is unusable).
    auto walk = [&](auto& self, Hid hid, std::size_t level) -> std::span<const std::uint8_t> {
        if (std::find(seen.begin(), seen.end(), hid) != seen.end()) {
            report.Error(at, where() + "item " + Hex(hid) + " is reached twice");
            sound = false;
            return {};
        }
        seen.push_back(hid);
        const auto item = heap.Item(hid);
        const std::size_t size = out.cbKey + (level > 0 ? 4u : out.cbEnt);
        if (!item || item->empty() || item->size() % size != 0) {
            report.Error(at, where() + (item ? "item " + Hex(hid) + " is not a whole number of " +
                                                   std::to_string(size) + "-byte records"
                                             : "HID " + Hex(hid) + " is no heap item"));
            sound = false;
            return {};
        }
        std::span<const std::uint8_t> first;
        for (std::size_t at = 0; at < item->size(); at += size) {
            const auto record = item->subspan(at, size);
            const auto key = record.first(out.cbKey);
            if (at == 0) first = key;
            if (level > 0) {
                const auto childFirst = self(self, GetU32(record.data() + out.cbKey), level - 1);
                if (!childFirst.empty() && CompareKeys(childFirst, key) != 0) {
                    report.Error(Location::Node(node.nid), where() + "index key " + KeyText(key) +
                                                               " differs from the first key " +
                                                               KeyText(childFirst) + " below it");
                    sound = false;
                }
                continue;
            }
            if (!lastKey.empty() && CompareKeys(lastKey, key) >= 0) {
                report.Error(Location::Node(node.nid), where() + "keys not ascending (" +
                                                           KeyText(lastKey) + " then " +
                                                           KeyText(key) + ")");
                sound = false;
                continue;
            }
            lastKey = key;
            out.records.push_back(record);
        }
        return first;
    };
    if (levels > 8) {
        report.Error(at, where() + std::to_string(levels) + " index levels");
        return false;
    }
    walk(walk, root, levels);
    return sound;
}

// --- property context

bool ReadPropertyContext(const PstReader& reader, const NodeView& node, Report& report,
                         std::vector<PropertyValue>& out, ValueStore& store) {
    out.clear();
    const Location at = Location::Node(node.nid);
    Heap heap;
    if (!heap.Open(node, report)) return false;
    if (heap.ClientSig() != kSigPc) {
        report.Error(at, node.Prefix() + "not a property context (heap client signature " +
                             Hex(heap.ClientSig()) + ")");
        return false;
    }
    if (heap.UserRoot() != kFirstHid)
        report.Error(at, node.Prefix() + "the property BTH header is at HID " +
                             Hex(heap.UserRoot()) +
                             ", not at HID 0x20 where readers look for it (some hang)");
    BthRecords bth;
    if (!ReadBth(heap, heap.UserRoot(), 2, 6, node, report, bth)) return false;
    bool sound = true;
    for (const auto& record : bth.records) {
        const std::uint16_t id = GetU16(record.data());
        const std::uint16_t type = GetU16(record.data() + 2);
        const std::uint32_t hnid = GetU32(record.data() + 4);
        const std::uint32_t tag = (std::uint32_t{id} << 16) | type;
        auto what = [&] { return node.Prefix() + "property " + TagText(tag) + ": "; };
        const int fixed = FixedTypeSize(type);
        if (fixed < 0) {
            report.Error(at, what() + "unknown property type " + Hex(type));
            sound = false;
            continue;
        }
        if (fixed > 0 && fixed <= 4) {
            out.push_back({tag, record.subspan(4, static_cast<std::size_t>(fixed))});
            continue;
        }
        std::span<const std::uint8_t> value;
        if (hnid == 0) {
            if (fixed > 0) {
                report.Error(at, what() + "a fixed-size value stored as empty");
                sound = false;
                continue;
            }
        } else if ((hnid & 0x1F) == 0) {
            const auto item = heap.Item(hnid);
            if (!item) {
                report.Error(at, what() + "its value HID " + Hex(hnid) + " is no heap item");
                sound = false;
                continue;
            }
            value = *item;
            if (value.empty()) report.Warning(at, what() + kZeroLengthItem);
        } else {
            const SubnodeRef* sub = node.FindSubnode(hnid);
            if (sub == nullptr) {
                report.Error(at, what() + "its value subnode " + Hex(hnid) + " is missing");
                sound = false;
                continue;
            }
            try {
                store.push_back(reader.ReadData(sub->data));
            } catch (const ReadError& e) {
                report.Error(at, what() + "its value subnode cannot be read: " + e.what());
                sound = false;
                continue;
            }
            value = store.back();
        }
        if (fixed > 0 && value.size() != static_cast<std::size_t>(fixed)) {
            report.Error(at, what() + std::to_string(value.size()) + " bytes for a " +
                                 std::to_string(fixed) + "-byte type");
            sound = false;
            continue;
        }
        if (const std::string problem = EncodingProblem(type, value); !problem.empty()) {
            report.Error(at, what() + problem);
            sound = false;
        }
        out.push_back({tag, value});
    }
    return sound;
}

// --- table context

bool Table::Read(const PstReader& reader, const NodeView& node, Report& report) {
    reader_ = &reader;
    node_ = &node;
    columns_.clear();
    rows_.clear();
    store_.clear();
    const Location at = Location::Node(node.nid);
    const std::string prefix = node.Prefix();
    if (!heap_.Open(node, report)) return false;
    if (heap_.ClientSig() != kSigTc) {
        report.Error(at, prefix + "not a table context (heap client signature " +
                             Hex(heap_.ClientSig()) + ")");
        return false;
    }
    const auto info = heap_.Item(heap_.UserRoot());
    if (!info || info->size() < 22 || (*info)[0] != kSigTc) {
        report.Error(at, prefix + "no TCINFO at the heap's root HID " + Hex(heap_.UserRoot()));
        return false;
    }
    const std::size_t count = (*info)[1];
    if (info->size() != 22 + 8 * count) {
        report.Error(at, prefix + "TCINFO of " + std::to_string(info->size()) + " bytes for " +
                             std::to_string(count) + " columns");
        return false;
    }
    std::uint16_t rgib[4];
    for (int i = 0; i < 4; ++i) rgib[i] = GetU16(info->data() + 2 + 2 * i);
    const Hid rowIndex = GetU32(info->data() + 10);
    const std::uint32_t hnidRows = GetU32(info->data() + 14);
    bool sound = true;
    auto fail = [&](const std::string& message) {
        report.Error(at, prefix + message);
        sound = false;
    };
    if (rgib[0] > rgib[1] || rgib[1] > rgib[2] || rgib[2] > rgib[3])
        fail("TCINFO size groups not in ascending order");
    if (rgib[3] - rgib[2] != static_cast<int>((count + 7) / 8))
        fail("the cell-existence bits take " + std::to_string(rgib[3] - rgib[2]) +
             " bytes, not one bit per column");
    cebOffset_ = rgib[2];
    rowSize_ = rgib[3];
    std::vector<bool> bits(count, false);
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* d = info->data() + 22 + 8 * i;
        const TableColumn c{GetU32(d), GetU16(d + 4), d[6], d[7]};
        auto what = [&] { return "column " + TagText(c.tag) + ": "; };
        if (i > 0 && c.tag <= columns_.back().tag)
            fail("columns not in ascending tag order (" + TagText(columns_.back().tag) + " then " +
                 TagText(c.tag) + ")");
        const int fixed = FixedTypeSize(static_cast<std::uint16_t>(c.tag));
        const std::size_t cb = fixed < 0 ? 0 : (fixed > 0 && fixed <= 8 ? fixed : 4);
        std::size_t low = 0;
        std::size_t high = rgib[0];
        if (cb == 2) low = rgib[0], high = rgib[1];
        if (cb == 1) low = rgib[1], high = rgib[2];
        if (fixed < 0) {
            fail(what() + "unknown property type");
        } else if (c.cb != cb) {
            fail(what() + std::to_string(c.cb) + "-byte cells for a type stored in " +
                 std::to_string(cb));
        } else if (c.ib < low || c.ib + c.cb > high) {
            fail(what() + "cells outside the part of the row for their size");
        }
        if (c.bit >= count || bits[c.bit]) {
            fail(what() + "existence bit " + std::to_string(c.bit) + " is out of range or taken");
        } else {
            bits[c.bit] = true;
        }
        if ((c.tag == kTagRowId && (c.ib != 0 || c.cb != 4 || c.bit != 0)) ||
            (c.tag == kTagRowVer && (c.ib != 4 || c.cb != 4 || c.bit != 1)))
            fail(what() + "not at its fixed place (row ID at 0, bit 0; row version at 4, bit 1)");
        spans.emplace_back(c.ib, c.ib + c.cb);
        columns_.push_back(c);
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second) fail("two columns share bytes of the row");
    if (!sound) return false;

    // The row index: its BTH header is the heap's first item in Outlook's tables, and readers
    // that look for it there hang when it is not.
    if (rowIndex != kFirstHid)
        fail("the row index BTH header is at HID " + Hex(rowIndex) +
             ", not at HID 0x20 where readers look for it (some hang)");
    BthRecords index;
    if (!ReadBth(heap_, rowIndex, 4, 4, node, report, index)) return false;

    // The row matrix: one heap item, or a subnode whose blocks hold whole rows.
    if (hnidRows != 0 && rowSize_ == 0) {
        fail("rows of size 0");
        return false;
    }
    if (hnidRows != 0 && (hnidRows & 0x1F) == 0) {
        const auto item = heap_.Item(hnidRows);
        if (!item) {
            fail("the row matrix HID " + Hex(hnidRows) + " is no heap item");
            return false;
        }
        if (item->size() % rowSize_ != 0) fail("the row matrix is not a whole number of rows");
        for (std::size_t r = 0; r + rowSize_ <= item->size(); r += rowSize_)
            rows_.push_back(item->subspan(r, rowSize_));
    } else if (hnidRows != 0) {
        const SubnodeRef* sub = node.FindSubnode(hnidRows);
        if (sub == nullptr) {
            fail("the row matrix subnode " + Hex(hnidRows) + " is missing");
            return false;
        }
        try {
            reader.ReadDataBlocks(sub->data, matrixBlocks_);
        } catch (const ReadError& e) {
            fail(std::string("the row matrix cannot be read: ") + e.what());
            return false;
        }
        const std::size_t perBlock = ndb::kMaxBlockPayload / rowSize_;
        for (std::size_t k = 0; k < matrixBlocks_.size(); ++k) {
            const Bytes& b = matrixBlocks_[k];
            const bool last = k + 1 == matrixBlocks_.size();
            std::size_t rows = b.size() / rowSize_;
            if (!last && rows != perBlock) {
                fail("row matrix block " + std::to_string(k) + " holds " + std::to_string(rows) +
                     " rows, not " + std::to_string(perBlock));
                rows = std::min(rows, perBlock);
            }
            if (last && b.size() % rowSize_ != 0)
                fail("the last row matrix block is not a whole number of rows");
            for (std::size_t r = 0; r < rows; ++r)
                rows_.push_back(std::span<const std::uint8_t>(b).subspan(r * rowSize_, rowSize_));
        }
    }

    if (index.records.size() != rows_.size())
        fail(std::to_string(rows_.size()) + " rows in the row matrix but " +
             std::to_string(index.records.size()) + " in the row index");
    std::vector<bool> listed(rows_.size(), false);
    for (const auto& record : index.records) {
        const std::uint32_t rowId = GetU32(record.data());
        const std::uint32_t number = GetU32(record.data() + 4);
        if (number >= rows_.size() || listed[number]) {
            fail("the row index sends row ID " + Hex(rowId) + " to row " + std::to_string(number) +
                 ", which is missing or taken");
            continue;
        }
        listed[number] = true;
        if (RowId(number) != rowId)
            fail("row " + std::to_string(number) + " has row ID " + Hex(RowId(number)) +
                 " but the row index gives " + Hex(rowId));
    }

    // Cells: present ones resolve, absent ones are zero.
    std::size_t unresolved = 0;
    std::size_t leftovers = 0;
    std::string firstUnresolved;
    std::size_t emptyValues = 0;
    std::string firstEmpty;
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const auto row = rows_[r];
        for (const TableColumn& c : columns_) {
            const bool present = (row[cebOffset_ + c.bit / 8] & (0x80 >> (c.bit % 8))) != 0;
            const auto cell = row.subspan(c.ib, c.cb);
            if (!present) {
                if (std::any_of(cell.begin(), cell.end(), [](std::uint8_t b) { return b != 0; }))
                    ++leftovers;
                continue;
            }
            if (!IsVariableType(static_cast<std::uint16_t>(c.tag)) &&
                FixedTypeSize(static_cast<std::uint16_t>(c.tag)) <= 8)
                continue;
            const std::uint32_t hnid = GetU32(cell.data());
            const auto item = hnid != 0 && (hnid & 0x1F) == 0 ? heap_.Item(hnid) : std::nullopt;
            const bool ok = hnid == 0 || ((hnid & 0x1F) == 0 ? item.has_value()
                                                             : node.FindSubnode(hnid) != nullptr);
            if (!ok && unresolved++ == 0)
                firstUnresolved = "row ID " + Hex(RowId(r)) + ", column " + TagText(c.tag) +
                                  ": value " + Hex(hnid);
            if (item && item->empty() && emptyValues++ == 0)
                firstEmpty = "row ID " + Hex(RowId(r)) + ", column " + TagText(c.tag);
        }
    }
    if (emptyValues > 0)
        report.Warning(at, prefix + std::to_string(emptyValues) + " cells hold " + kZeroLengthItem +
                               " (first: " + firstEmpty + ")");
    if (unresolved > 0)
        fail(std::to_string(unresolved) +
             " cells name values that do not exist (first: " + firstUnresolved + ")");
    if (leftovers > 0)
        report.Warning(
            at, prefix + std::to_string(leftovers) + " cells marked absent hold non-zero bytes");
    return sound;
}

std::uint32_t Table::RowId(std::size_t row) const { return GetU32(rows_[row].data()); }

const TableColumn* Table::FindColumn(std::uint32_t tag) const {
    for (const TableColumn& c : columns_)
        if (c.tag == tag) return &c;
    return nullptr;
}

std::optional<std::span<const std::uint8_t>> Table::Cell(std::size_t row,
                                                         const TableColumn& c) const {
    const auto r = rows_[row];
    if (!(r[cebOffset_ + c.bit / 8] & (0x80 >> (c.bit % 8)))) return std::nullopt;
    const auto cell = r.subspan(c.ib, c.cb);
    const auto type = static_cast<std::uint16_t>(c.tag);
    if (!IsVariableType(type) && FixedTypeSize(type) <= 8) return cell;
    const std::uint32_t hnid = GetU32(cell.data());
    if (hnid == 0) return std::span<const std::uint8_t>();
    if ((hnid & 0x1F) == 0) return heap_.Item(hnid);
    const SubnodeRef* sub = node_->FindSubnode(hnid);
    if (sub == nullptr) return std::nullopt;
    try {
        store_.push_back(reader_->ReadData(sub->data));
    } catch (const ReadError&) {
        return std::nullopt;
    }
    return std::span<const std::uint8_t>(store_.back());
}

}  // namespace tarvelle::pst::verify
