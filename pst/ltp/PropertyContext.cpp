#include "pst/ltp/PropertyContext.h"

#include "pst/ltp/Bth.h"

namespace tarvelle::pst::ltp {

namespace {

bool InlineInPc(std::uint16_t type) {
    return type == kInt16 || type == kInt32 || type == kFloat32 || type == kErrorCode ||
           type == kBoolean;
}

void CheckFixed(std::uint32_t tag, PropertyBag::Value value) {
    const std::size_t fixed = FixedSize(TagType(tag));
    if (fixed != 0 && value.size() != fixed) {
        throw LtpError("property 0x" + std::to_string(tag) + ": value of the wrong size");
    }
}

// Builds the PC into `heap`; `place` stores one non-inline value and returns its HNID.
template <typename Place>
void BuildPc(Heap& heap, const PropertyBag& props, Place place) {
    BthWriter bth(heap, 2, 6);  // first allocation: HID 0x20
    heap.SetUserRoot(bth.HeaderHid());
    for (const auto& [tag, value] : props) {
        CheckFixed(tag, value);
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
    Heap heap(kSigPc);
    std::vector<ndb::SubnodeEntry> subnodes;
    BuildPc(heap, props, [&](PropertyBag::Value v) { return StoreValue(heap, db, subnodes, v); });
    NodeContent out;
    out.data = heap.Write(db);
    if (!subnodes.empty()) out.subnode = db.WriteSubnodeTree(subnodes);
    return out;
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
