#include "pst/ltp/PropertyContext.h"

#include <cstring>

#include "pst/ltp/Bth.h"

namespace tarvelle::pst::ltp {

namespace {

bool InlineInPc(std::uint16_t type) {
    return type == kInt16 || type == kInt32 || type == kFloat32 || type == kErrorCode ||
           type == kBoolean;
}

// Builds the PC into `heap`; `place` stores one non-inline value and returns its HNID.
template <typename Place>
void BuildPc(Heap& heap, const PropertyBag& props, Place place) {
    BthWriter bth(heap, 2, 6);  // first allocation: HID 0x20
    heap.SetUserRoot(bth.HeaderHid());
    for (const auto& [tag, value] : props) {
        CheckStorable(tag, value.size());
        std::uint8_t rec[6] = {};
        PutU16(rec, TagType(tag));
        if (InlineInPc(TagType(tag))) {
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < value.size(); ++i) v |= std::uint32_t{value[i]} << (8 * i);
            PutU32(rec + 2, v);
        } else {
            PutU32(rec + 2, place(value));
        }
        bth.Put(TagId(tag), rec);
    }
    bth.Flush();
}

// The heap of a PC whose values all fit one page, laid out as BuildPc lays it out (BTH header
// first, the values in tag order, the leaf of records last) but written in one pass: nearly
// every item of an export takes this way. Empty when the bag needs more than one page.
std::optional<Bytes> SinglePageHeap(const PropertyBag& props) {
    constexpr std::size_t kHeader = 12;  // HNHDR
    constexpr std::size_t kRecord = 8;   // PC BTH record: ID, type, value or HNID
    const std::size_t records = props.size();
    std::size_t items = 1 + (records > 0 ? 1 : 0);  // the BTH header and its one leaf
    std::size_t used = 8 + records * kRecord;
    for (const auto& [tag, value] : props) {
        CheckStorable(tag, value.size());
        if (InlineInPc(TagType(tag)) || value.empty()) continue;
        if (value.size() > kMaxHeapItem) return std::nullopt;
        ++items;
        used += value.size();
    }
    if (records * kRecord > kMaxHeapItem) return std::nullopt;
    const std::size_t end = kHeader + used;
    const std::size_t map = end + (end & 1);
    const std::size_t total = map + 4 + 2 * (items + 1);
    if (total > kHeapPageSize) return std::nullopt;

    Bytes page(total, 0);
    std::uint8_t* base = page.data();
    std::vector<std::uint16_t> ends;
    ends.reserve(items + 1);
    ends.push_back(kHeader);
    std::size_t at = kHeader;
    // Item 1: the BTH header; its root is the leaf, the last item.
    base[at] = kSigBth;
    base[at + 1] = 2;
    base[at + 2] = 6;
    if (records > 0) PutU32(base + at + 4, MakeHid(0, items));
    at += 8;
    ends.push_back(static_cast<std::uint16_t>(at));
    std::uint8_t* leaf = base + kHeader + used - records * kRecord;
    std::size_t next = 2;  // HID index of the next value item
    for (const auto& [tag, value] : props) {
        PutU16(leaf, TagId(tag));
        PutU16(leaf + 2, TagType(tag));
        if (InlineInPc(TagType(tag))) {
            std::uint32_t v = 0;
            for (std::size_t i = 0; i < value.size(); ++i) v |= std::uint32_t{value[i]} << (8 * i);
            PutU32(leaf + 4, v);
        } else if (!value.empty()) {
            std::memcpy(base + at, value.data(), value.size());
            at += value.size();
            ends.push_back(static_cast<std::uint16_t>(at));
            PutU32(leaf + 4, MakeHid(0, next++));
        }
        leaf += kRecord;
    }
    if (records > 0) ends.push_back(static_cast<std::uint16_t>(end));
    PutU16(base, static_cast<std::uint16_t>(map));  // ibHnpm
    base[2] = 0xEC;
    base[3] = kSigPc;
    PutU32(base + 4, MakeHid(0, 1));  // the user root: the BTH header
    PutU16(base + map, static_cast<std::uint16_t>(items));
    for (std::size_t i = 0; i < ends.size(); ++i) PutU16(base + map + 4 + 2 * i, ends[i]);
    return page;
}

}  // namespace

Hid StoreValue(Heap& heap, ndb::NodeDatabase& db, std::vector<ndb::SubnodeEntry>& subnodes,
               std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return 0;
    if (bytes.size() <= kMaxHeapItem) return heap.Allocate(bytes);
    const ndb::Nid nid = LargeValueNid(subnodes.size());
    subnodes.push_back({nid, db.WriteData(bytes), 0});
    return nid;
}

NodeContent WritePropertyContext(ndb::NodeDatabase& db, const PropertyBag& props) {
    if (const std::optional<Bytes> page = SinglePageHeap(props)) {
        return NodeContent{db.WriteDataBlock(*page), 0};
    }
    Heap heap(kSigPc);
    std::vector<ndb::SubnodeEntry> subnodes;
    BuildPc(heap, props, [&](PropertyBag::Value v) { return StoreValue(heap, db, subnodes, v); });
    NodeContent out;
    out.data = heap.Write(db);
    if (!subnodes.empty()) out.subnode = db.WriteSubnodeTree(subnodes);
    return out;
}

std::optional<Bytes> SinglePagePropertyHeap(const PropertyBag& props) {
    return SinglePageHeap(props);
}

Heap BuildPropertyHeap(const PropertyBag& props) {
    Heap heap(kSigPc);
    BuildPc(heap, props, [&](PropertyBag::Value v) -> Hid {
        if (v.empty()) return 0;
        if (v.size() > kMaxHeapItem) throw LtpError("value needs a subnode");
        return heap.Allocate(v);
    });
    return heap;
}

}  // namespace tarvelle::pst::ltp
