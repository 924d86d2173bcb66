// BTree-on-heap ([MS-PST] 2.3.2): sorted fixed-size records in heap items, with index levels
// above the leaves once one leaf item (3580 bytes) is not enough.
//
// The writer keeps the records in memory and, on Flush, rewrites only the leaves from the first
// changed record on and the index levels; with ascending keys (row IDs of new items) that is the
// last leaf and the small index above it.
#pragma once

#include <cstdint>
#include <vector>

#include "pst/ltp/Heap.h"

namespace tarvelle::pst::ltp {

class BthWriter {
  public:
    // Allocates the BTHHEADER now, so a caller that creates the BTH first gets HID 0x20.
    BthWriter(Heap& heap, std::uint8_t cbKey, std::uint8_t cbEnt);

    Hid HeaderHid() const { return header_; }
    std::size_t Size() const { return records_.size() / recordSize_; }
    // Inserts or replaces the record with `key` (keys compare as unsigned integers).
    void Put(std::uint32_t key, std::span<const std::uint8_t> data);
    // Writes changed leaves, the index levels and the header into the heap.
    void Flush();

    std::size_t RecordsPerLeaf() const { return kMaxHeapItem / recordSize_; }

  private:
    std::uint32_t KeyAt(std::size_t i) const;

    Heap& heap_;
    std::uint8_t cbKey_;
    std::uint8_t cbEnt_;
    std::size_t recordSize_;
    Hid header_;
    Bytes records_;                // packed, ascending keys
    std::size_t firstDirty_ = 0;   // records from here on changed since the last Flush
    std::vector<Hid> leaves_;      // HIDs of the leaf items written so far
    std::vector<Hid> indexItems_;  // HIDs of the index items of the last Flush
};

}  // namespace tarvelle::pst::ltp
