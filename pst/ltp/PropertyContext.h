// Property context ([MS-PST] 2.3.3): a node's properties as a BTH of (property ID -> type, value)
// on a heap. Values of up to 4 bytes sit in the record; larger ones in heap items, and values over
// 3580 bytes in subnodes of the node.
#pragma once

#include <optional>
#include <vector>

#include "pst/ltp/Heap.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ltp {

// What a node needs: its data and its subnode tree (0 when it has no subnodes).
struct NodeContent {
    ndb::Bid data = 0;
    ndb::Bid subnode = 0;
};

// NID of the k-th (0-based) subnode a PC or TC creates for a large value; type LTP (0x1F).
inline ndb::Nid LargeValueNid(std::size_t k) {
    return static_cast<ndb::Nid>(((0x401 + k) << 5) | 0x1F);
}

// Puts one value on the heap (or, past 3580 bytes, in a new subnode appended to `subnodes`)
// and returns its HNID; 0 for an empty value.
Hid StoreValue(Heap& heap, ndb::NodeDatabase& db, std::vector<ndb::SubnodeEntry>& subnodes,
               std::span<const std::uint8_t> bytes);

// Writes a PC holding `props` and returns the node's data and subnode tree.
NodeContent WritePropertyContext(ndb::NodeDatabase& db, const PropertyBag& props);

// The heap image of a PC without large values (for tests and size estimates).
Heap BuildPropertyHeap(const PropertyBag& props);
// The same as one serialized page, for a PC that fits one; empty otherwise.
std::optional<Bytes> SinglePagePropertyHeap(const PropertyBag& props);

}  // namespace tarvelle::pst::ltp
