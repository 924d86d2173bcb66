// Heap-on-node ([MS-PST] 2.3.1): the variable-size items of a node, packed into 8176-byte pages
// that are the node's data blocks.
//
// The heap grows at its last page and remembers which pages changed since the last Write, so a
// large table is rewritten page by page, not whole. Pages that are written, full and hold no
// pinned item are dropped from memory (only their block ID is kept), which suits append-only
// tables. Freeing or replacing an item of such a page reads the page back from its block; only
// one page read back is kept in memory at a time (the one before is written out again).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "pst/ltp/Properties.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ltp {

inline constexpr std::size_t kMaxHeapItem = 3580;  // [MS-PST] 2.3.1.1
inline constexpr std::size_t kHeapPageSize = ndb::kMaxBlockPayload;

enum ClientSig : std::uint8_t { kSigTc = 0x7C, kSigBth = 0xB5, kSigPc = 0xBC };

// Block index and item index of a HID ([MS-PST] 2.3.1.1).
constexpr Hid MakeHid(std::size_t page, std::size_t index) {
    return static_cast<Hid>((page << 16) | (index << 5));
}

class Heap {
  public:
    explicit Heap(std::uint8_t clientSig);

    // A new item; `pinned` keeps its page in memory so the item can be replaced or freed later.
    Hid Allocate(std::span<const std::uint8_t> bytes, bool pinned = false);
    // New contents for an item: in place when its page has room, else moved (new HID returned).
    Hid Replace(Hid hid, std::span<const std::uint8_t> bytes, bool pinned = false);
    void Free(Hid hid);
    std::span<const std::uint8_t> Get(Hid hid) const;
    // Whether item `hid` holds `bytes`; a page already written is read back for it (and stays
    // unchanged, so it is not written again).
    bool Holds(Hid hid, std::span<const std::uint8_t> bytes);

    void SetUserRoot(Hid hid);
    Hid UserRoot() const { return userRoot_; }

    std::size_t PageCount() const { return pages_.size(); }
    // The bytes of page `index` as stored in its block: every page but the last is zero-padded
    // to 8176 bytes ([MS-PST] data trees address child k at k * 8176).
    Bytes SerializePage(std::size_t index) const;
    // Writes every changed page and returns the node's data (one block or a data tree).
    ndb::Bid Write(ndb::NodeDatabase& db);
    // Writes the pages that can no longer change (full, before the last, no pinned item) and
    // drops them from memory, without waiting for the next Write: a large table filled between
    // two commits holds a page or two in memory, not all it gained.
    void WriteFullPages(ndb::NodeDatabase& db);

  private:
    struct Page {
        Bytes bytes;                            // the items back to back; freed items have no bytes
        std::vector<std::uint16_t> ends = {0};  // ends[i + 1] = end of item i (HID index i + 1)
        std::vector<bool> pinned;
        std::size_t liveItems = 0;
        std::size_t pinnedItems = 0;
        ndb::Bid bid = 0;
        bool dirty = true;
        bool released = false;
        std::size_t Slots() const { return ends.size() - 1; }
        // `v = {}` would keep a vector's capacity: swapping with empty ones gives it back.
        void Release() {
            released = true;
            Bytes().swap(bytes);
            std::vector<std::uint16_t>{0}.swap(ends);
            std::vector<bool>().swap(pinned);
        }
        std::size_t ItemSize(std::size_t i) const { return ends[i + 1] - ends[i]; }
        // Replaces the bytes of item i, moving the items after it.
        void Splice(std::size_t i, std::span<const std::uint8_t> data);
    };
    static std::size_t HeaderSize(std::size_t pageIndex);
    static std::size_t Footprint(std::size_t pageIndex, std::size_t used, std::size_t slots);
    // The page of an item; the non-const form reads a dropped page back first.
    Page& PageOf(Hid hid, std::size_t* index);
    const Page& PageOf(Hid hid, std::size_t* index) const;
    void ReadBack(std::size_t pageIndex);
    // Writes a page that was read back and drops it from memory again.
    void WriteOut(std::size_t pageIndex);
    Hid Place(std::size_t pageIndex, std::span<const std::uint8_t> bytes, bool pinned);

    std::uint8_t clientSig_;
    Hid userRoot_ = 0;
    std::vector<Page> pages_;
    std::size_t fullPagesSeen_ = 0;    // pages before this one were looked at by WriteFullPages
    ndb::Bid written_ = 0;             // data BID of the last Write, valid while nothing changed
    ndb::NodeDatabase* db_ = nullptr;  // where the dropped pages are
    std::optional<std::size_t> readBack_;  // the page read back, while in memory
};

}  // namespace tarvelle::pst::ltp
