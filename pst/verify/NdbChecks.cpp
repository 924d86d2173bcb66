// The node database checks ([MS-PST] 2.2): blocks, data and subnode trees, reference counts,
// NID counters and the allocation maps.
#include <algorithm>
#include <numeric>

#include "pst/verify/Verifier.h"

namespace tarvelle::pst::verify {

using namespace ndb;

namespace {

// What an internal block was found to be, kept per block once it is checked.
constexpr std::uint8_t kDataTree = 0x10;
constexpr std::uint8_t kSubnodeTree = 0x20;
constexpr std::uint64_t kFullXBlock = kXBlockMaxChildren * kMaxBlockPayload;

std::string NidTypeName(std::uint32_t type) {
    static const char* const kNames[32] = {"heap",
                                           "internal",
                                           "normal folder",
                                           "search folder",
                                           "normal message",
                                           "attachment",
                                           "search update queue",
                                           "search criteria",
                                           "associated message",
                                           "type 0x09",
                                           "contents table index",
                                           "receive folder table",
                                           "outgoing queue table",
                                           "hierarchy table",
                                           "contents table",
                                           "associated contents table",
                                           "search contents table",
                                           "attachment table",
                                           "recipient table",
                                           "search table index",
                                           "type 0x14",
                                           "type 0x15",
                                           "type 0x16",
                                           "type 0x17",
                                           "type 0x18",
                                           "type 0x19",
                                           "type 0x1A",
                                           "type 0x1B",
                                           "type 0x1C",
                                           "type 0x1D",
                                           "type 0x1E",
                                           "LTP value"};
    return kNames[type & 0x1F];
}

// A bit per 64-byte slot of the file.
class SlotMap {
  public:
    explicit SlotMap(std::uint64_t slots) : bits_((slots + 63) / 64, 0), slots_(slots) {}
    // Marks [ib, ib + bytes); false when any of it was marked before.
    bool Mark(std::uint64_t ib, std::uint64_t bytes) {
        bool clean = true;
        const std::uint64_t last = std::min(slots_, (ib + bytes + kSlotSize - 1) / kSlotSize);
        for (std::uint64_t s = ib / kSlotSize; s < last; ++s) {
            std::uint64_t& word = bits_[s / 64];
            const std::uint64_t bit = std::uint64_t{1} << (s % 64);
            if (word & bit) clean = false;
            word |= bit;
        }
        return clean;
    }
    bool Test(std::uint64_t slot) const {
        return slot < slots_ && ((bits_[slot / 64] >> (slot % 64)) & 1);
    }

  private:
    std::vector<std::uint64_t> bits_;
    std::uint64_t slots_;
};

}  // namespace

const BlockRef* Verifier::Reference(Bid bid, Nid owner, const char* what) {
    const BlockRef* block = reader_.FindBlock(bid);
    if (block == nullptr) {
        report_.Error(Location::Node(owner),
                      std::string(what) + " BID " + Hex(bid) + " is not in the block B-tree");
        return nullptr;
    }
    ++references_[reader_.BlockIndex(*block)];
    return block;
}

void Verifier::CheckBlocks() {
    const auto& blocks = reader_.Blocks();
    const auto file = reader_.File();
    references_.assign(blocks.size(), 0);
    visited_.assign(blocks.size(), 0);
    treeSize_.assign(blocks.size(), 0);
    // In file order: one pass through the file.
    std::vector<std::size_t> order(blocks.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return blocks[a].ib < blocks[b].ib; });
    std::size_t dirtyPadding = 0;
    Bid firstDirty = 0;
    for (const std::size_t i : order) {
        const BlockRef& b = blocks[i];
        const Location at = Location::Block(b.bid);
        if (b.cb > kMaxBlockPayload) {
            report_.Error(at,
                          "size " + std::to_string(b.cb) + " exceeds the 8176 bytes of a block");
            continue;
        }
        const std::uint64_t size = BlockSizeOnDisk(b.cb);
        if (b.ib % kSlotSize != 0)
            report_.Error(at, "offset " + Hex(b.ib) + " is not a multiple of 64");
        if (b.ib < kFirstAMapOffset + kPageSize) {
            report_.Error(at, "offset " + Hex(b.ib) + " lies before the first allocation map");
            continue;
        }
        if (b.ib > file.size() || file.size() - b.ib < size) {
            report_.Error(at, "offset " + Hex(b.ib) + " and size " + std::to_string(size) +
                                  " reach past the end of the file");
            continue;
        }
        const std::uint8_t* start = file.data() + b.ib;
        const BlockTrailer t = BlockTrailer::Read(start + size - kBlockTrailerSize);
        if (t.cb != b.cb)
            report_.Error(at, "trailer says " + std::to_string(t.cb) + " bytes, the block B-tree " +
                                  std::to_string(b.cb));
        if (t.bid != b.bid)
            report_.Error(at, "trailer BID " + Hex(t.bid) + " differs from the block B-tree's");
        if (t.sig != ComputeSig(b.ib, b.bid))
            report_.Error(at, "signature " + Hex(t.sig) + " is wrong (expected " +
                                  Hex(ComputeSig(b.ib, b.bid)) + ")");
        if (const std::uint32_t crc = Crc(std::span(start, b.cb)); t.crc != crc)
            report_.Error(
                at, "CRC " + Hex(t.crc) + " does not match the block's data (" + Hex(crc) + ")");
        if (std::any_of(start + b.cb, start + size - kBlockTrailerSize,
                        [](std::uint8_t x) { return x != 0; }) &&
            dirtyPadding++ == 0)
            firstDirty = b.bid;
    }
    if (dirtyPadding > 0)
        report_.Warning(Location::Block(firstDirty),
                        std::to_string(dirtyPadding) +
                            " blocks have non-zero bytes between their data and trailer");
}

std::uint64_t Verifier::CheckDataTree(Bid bid, Nid owner) {
    const BlockRef* b = Reference(bid, owner, "data");
    if (b == nullptr) return 0;
    if (!(bid & kBidInternal)) return b->cb;
    const std::size_t index = reader_.BlockIndex(*b);
    if (visited_[index] != 0) {
        if (!(visited_[index] & kDataTree))
            report_.Error(Location::Node(owner),
                          "data BID " + Hex(bid) + " is a subnode tree, not data");
        return treeSize_[index];
    }
    const auto p = reader_.StoredPayload(*b);
    const Location at = Location::Block(bid);
    if (p.size() < 8) {
        report_.Error(at, "internal block of " + std::to_string(p.size()) + " bytes");
        visited_[index] = kDataTree;
        return 0;
    }
    const int level = p[1];
    visited_[index] = static_cast<std::uint8_t>((p[0] == 1 ? kDataTree : kSubnodeTree) | level);
    if (p[0] != 1) {
        report_.Error(Location::Node(owner),
                      "data BID " + Hex(bid) +
                          (p[0] == 2 ? " is a subnode tree, not data" : " is no data tree block"));
        return 0;
    }
    std::size_t count = GetU16(p.data() + 2);
    const std::uint32_t total = GetU32(p.data() + 4);
    if (level != 1 && level != 2) {
        report_.Error(at, "data tree block of level " + std::to_string(level));
        return 0;
    }
    const char* name = level == 1 ? "XBLOCK" : "XXBLOCK";
    if (8 + 8 * count != p.size()) {
        report_.Error(at, std::string(name) + " of " + std::to_string(p.size()) + " bytes for " +
                              std::to_string(count) + " children");
        count = std::min(count, (p.size() - 8) / 8);
    }
    if (count == 0) report_.Error(at, std::string(name) + " without children");
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Bid child = GetU64(p.data() + 8 + 8 * i);
        const bool last = i + 1 == count;
        if (level == 1) {
            const BlockRef* c = Reference(child, owner, "data tree child");
            if (c == nullptr) continue;
            if (child & kBidInternal) {
                report_.Error(at, "XBLOCK child " + Hex(child) + " is an internal block");
                continue;
            }
            if (!last && c->cb != kMaxBlockPayload)
                report_.Error(at, "child " + std::to_string(i) + " (" + Hex(child) + ") holds " +
                                      std::to_string(c->cb) +
                                      " bytes; every child but the last must hold 8176");
            sum += c->cb;
        } else {
            const BlockRef* c = reader_.FindBlock(child);
            if (c == nullptr || !(child & kBidInternal)) {
                if (c == nullptr) {
                    Reference(child, owner, "data tree child");
                } else {
                    ++references_[reader_.BlockIndex(*c)];
                    report_.Error(at, "XXBLOCK child " + Hex(child) + " is not an XBLOCK");
                }
                continue;
            }
            const auto cp = reader_.StoredPayload(*c);
            if (cp.size() < 8 || cp[0] != 1 || cp[1] != 1) {
                ++references_[reader_.BlockIndex(*c)];
                report_.Error(at, "XXBLOCK child " + Hex(child) + " is not an XBLOCK");
                continue;
            }
            const std::uint64_t part = CheckDataTree(child, owner);
            if (!last && part != kFullXBlock)
                report_.Warning(at, "XBLOCK " + Hex(child) + " covers " + std::to_string(part) +
                                        " bytes; readers expect every one but the last to hold "
                                        "1021 full blocks");
            sum += part;
        }
    }
    if (sum != total)
        report_.Error(at, std::string(name) + " says " + std::to_string(total) +
                              " bytes, its children hold " + std::to_string(sum));
    treeSize_[index] = sum;
    return sum;
}

void Verifier::CheckSubnodeTree(Bid bid, Nid owner, int depth) {
    const BlockRef* b = Reference(bid, owner, "subnode tree");
    if (b == nullptr) return;
    if (!(bid & kBidInternal)) {
        report_.Error(Location::Node(owner),
                      "subnode BID " + Hex(bid) + " is a data block, not a subnode tree");
        return;
    }
    if (depth > 16) {
        report_.Error(Location::Node(owner), "subnode trees nested more than 16 deep");
        return;
    }
    const std::size_t index = reader_.BlockIndex(*b);
    if (visited_[index] != 0) {
        if (!(visited_[index] & kSubnodeTree))
            report_.Error(Location::Node(owner),
                          "subnode BID " + Hex(bid) + " is a data tree, not a subnode tree");
        return;
    }
    const auto p = reader_.StoredPayload(*b);
    const Location at = Location::Block(bid);
    visited_[index] = kSubnodeTree | (p.size() > 1 ? p[1] : 0);
    if (p.size() < 8 || p[0] != 2 || p[1] > 1) {
        report_.Error(Location::Node(owner),
                      "subnode BID " + Hex(bid) + " is no subnode tree block");
        return;
    }
    const bool leaf = p[1] == 0;
    const std::size_t entry = leaf ? 24 : 16;
    std::size_t count = GetU16(p.data() + 2);
    if (8 + entry * count != p.size()) {
        report_.Error(at, std::string(leaf ? "SLBLOCK" : "SIBLOCK") + " of " +
                              std::to_string(p.size()) + " bytes for " + std::to_string(count) +
                              " entries");
        count = std::min(count, (p.size() - 8) / entry);
    }
    Nid previous = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = p.data() + 8 + entry * i;
        const auto nid = static_cast<Nid>(GetU64(e));  // Outlook leaves junk in the upper half
        if (i > 0 && nid <= previous)
            report_.Error(
                at, "subnode NIDs not ascending (" + Hex(previous) + " then " + Hex(nid) + ")");
        previous = nid;
        if (leaf) {
            if (const Bid data = GetU64(e + 8); data != 0) CheckDataTree(data, owner);
            if (const Bid sub = GetU64(e + 16); sub != 0) CheckSubnodeTree(sub, owner, depth + 1);
            continue;
        }
        const Bid child = GetU64(e + 8);
        const BlockRef* c = reader_.FindBlock(child);
        const auto cp = c ? reader_.StoredPayload(*c) : std::span<const std::uint8_t>();
        if (c != nullptr && (cp.size() < 8 || cp[0] != 2 || cp[1] != 0)) {
            ++references_[reader_.BlockIndex(*c)];
            report_.Error(at, "SIBLOCK child " + Hex(child) + " is not an SLBLOCK");
            continue;
        }
        if (c != nullptr && cp.size() >= 16 && GetU16(cp.data() + 2) > 0 &&
            static_cast<Nid>(GetU64(cp.data() + 8)) != nid)
            report_.Error(
                at, "SIBLOCK key " + Hex(nid) + " differs from the first NID of " + Hex(child));
        CheckSubnodeTree(child, owner, depth + 1);
    }
}

void Verifier::CheckNodeTrees() {
    for (const NodeRef& n : reader_.Nodes()) {
        if (n.data != 0) CheckDataTree(n.data, n.nid);
        if (n.subnode != 0) CheckSubnodeTree(n.subnode, n.nid, 0);
    }
}

void Verifier::CheckReferenceCounts() {
    const auto& blocks = reader_.Blocks();
    std::size_t leaked = 0;
    std::string leakedList;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const BlockRef& b = blocks[i];
        const std::uint32_t refs = references_[i];
        if (refs == 0) {
            if (leaked++ < 5) leakedList += (leakedList.empty() ? "" : ", ") + Hex(b.bid);
            continue;
        }
        if (b.cRef < refs + 1)
            report_.Error(Location::Block(b.bid),
                          "reference count " + std::to_string(b.cRef) + " for " +
                              std::to_string(refs) +
                              " references: freeing one referrer would free a block in use");
        else if (b.cRef > refs + 1)
            report_.Warning(Location::Block(b.bid), "reference count " + std::to_string(b.cRef) +
                                                        " for " + std::to_string(refs) +
                                                        " references (references + 1 expected)");
    }
    if (leaked > 0)
        report_.Warning(Location::File(), std::to_string(leaked) +
                                              " blocks are not referenced by any node (" +
                                              leakedList + (leaked > 5 ? ", ...)" : ")"));
}

void Verifier::CheckNidsAndCounters() {
    const HeaderFields& h = reader_.Header();
    std::array<Nid, 32> highest{};
    for (const NodeRef& n : reader_.Nodes()) {
        const std::uint32_t type = n.nid & 0x1F;
        if ((n.nid >> 5) > h.rgnid[type] && n.nid > highest[type]) highest[type] = n.nid;
        if (n.parent != 0 && reader_.FindNode(n.parent) == nullptr)
            report_.Warning(Location::Node(n.nid),
                            "parent NID " + Hex(n.parent) + " is not in the node B-tree");
    }
    for (std::uint32_t type = 0; type < 32; ++type) {
        if (highest[type] == 0) continue;
        report_.Error(Location::Header(), "the NID counter of type " + Hex(type) + " (" +
                                              NidTypeName(type) + ") is " + Hex(h.rgnid[type]) +
                                              ", below NID " + Hex(highest[type]) +
                                              " in use: new objects would take NIDs already taken");
    }
    Bid highestBid = 0;
    for (const BlockRef& b : reader_.Blocks()) highestBid = std::max(highestBid, b.bid);
    if (!reader_.Blocks().empty() && highestBid >= h.bidNextB)
        report_.Error(Location::Header(), "bidNextB " + Hex(h.bidNextB) +
                                              " is not above the highest block BID " +
                                              Hex(highestBid));
    Bid highestPage = 0;
    for (const TreePage& p : reader_.Pages()) highestPage = std::max(highestPage, p.bid);
    if (!reader_.Pages().empty() && highestPage >= h.bidNextP)
        report_.Error(Location::Header(), "bidNextP " + Hex(h.bidNextP) +
                                              " is not above the highest page BID " +
                                              Hex(highestPage));
}

void Verifier::CheckAllocation() {
    const HeaderFields& h = reader_.Header();
    const auto file = reader_.File();
    if (h.fileEof < file.size() && h.amapValid == kInvalidAMap) {
        // A growth or a close that was interrupted while the maps were marked for rebuilding:
        // nothing reaches the bytes past ibFileEof.
        report_.Warning(Location::Header(),
                        "the file holds " + std::to_string(file.size() - h.fileEof) +
                            " bytes past ibFileEof, left by an interrupted change of its size");
    } else if (h.fileEof != file.size()) {
        report_.Error(Location::Header(), "ibFileEof is " + std::to_string(h.fileEof) +
                                              " but the file holds " + std::to_string(file.size()) +
                                              " bytes" +
                                              (h.fileEof > file.size() ? " (cut short?)" : ""));
    }
    const std::uint64_t eof = std::min<std::uint64_t>(h.fileEof, file.size());
    if (eof <= kFirstAMapOffset + kPageSize) {
        report_.Error(Location::Header(), "the file ends before its first allocation map");
        return;
    }
    const std::uint64_t ranges = (eof - kFirstAMapOffset + kAMapSpan - 1) / kAMapSpan;
    if (h.amapLast != RangeStart(ranges - 1))
        report_.Error(Location::Header(), "ibAMapLast is " + Hex(h.amapLast) +
                                              " but the last allocation map is at " +
                                              Hex(RangeStart(ranges - 1)));

    // Everything live: map pages, B-tree pages, blocks; nothing may overlap.
    SlotMap live(RangeStart(ranges) / kSlotSize);
    auto isPage = [&](std::uint64_t ib, std::uint8_t ptype) {
        return ib + kPageSize <= file.size() && file[ib + kPageSize - kPageTrailerSize] == ptype;
    };
    for (std::uint64_t k = 0; k < ranges; ++k) {
        // A missing PMap or FMap is reported below, not as space wrongly marked free.
        const std::uint64_t ib = RangeStart(k);
        live.Mark(ib, kPageSize);
        if (RangeHasPMap(k) && isPage(ib + kPageSize, kPagePMap))
            live.Mark(ib + kPageSize, kPageSize);
        if (RangeHasFMap(k) && isPage(ib + 2 * kPageSize, kPageFMap))
            live.Mark(ib + 2 * kPageSize, kPageSize);
    }
    for (const TreePage& p : reader_.Pages()) {
        if (p.ib + kPageSize > eof) continue;  // reported with the tree
        if (!live.Mark(p.ib, kPageSize))
            report_.Error(Location::At(p.ib), "B-tree page overlaps another page or block");
    }
    for (const BlockRef& b : reader_.Blocks()) {
        const std::uint64_t size = BlockSizeOnDisk(b.cb);
        if (b.cb > kMaxBlockPayload || b.ib < kFirstAMapOffset + kPageSize || b.ib > eof ||
            eof - b.ib < size)
            continue;  // reported with the block
        if (!live.Mark(b.ib, size))
            report_.Error(Location::Block(b.bid),
                          "block at " + Hex(b.ib) + " overlaps another page or block");
    }

    if (h.amapValid == kInvalidAMap) {
        report_.Warning(Location::Header(),
                        "fAMapValid is 0 (INVALID_AMAP): readers rebuild the allocation maps, so "
                        "they are not checked");
        return;
    }
    auto mapPage = [&](std::uint64_t ib, std::uint8_t ptype, const char* name) {
        const Location at = Location::At(ib);
        if (ib + kPageSize > file.size()) {
            report_.Error(at, std::string(name) + " page missing: the file ends before it");
            return false;
        }
        const PageTrailer t = PageTrailer::Read(file.data() + ib);
        if (t.ptype != ptype || t.ptypeRepeat != ptype) {
            report_.Error(at, std::string(name) + " page missing (page type " + Hex(t.ptype) + "/" +
                                  Hex(t.ptypeRepeat) + " at its place)");
            return false;
        }
        const std::uint32_t crc = Crc(file.subspan(ib, kPageSize - kPageTrailerSize));
        if (t.crc != crc)
            report_.Error(at, std::string(name) + " page: CRC " + Hex(t.crc) +
                                  " does not match its contents (" + Hex(crc) + ")");
        if (t.sig != 0)
            report_.Error(
                at, std::string(name) + " page: signature " + Hex(t.sig) + ", map pages have 0");
        if (t.bid != ib)
            report_.Warning(at, std::string(name) + " page: trailer BID " + Hex(t.bid) +
                                    " is not the page's own offset");
        return true;
    };

    std::uint64_t freeBytes = 0;
    std::uint64_t unused = 0;
    std::uint64_t unusedRanges = 0;
    std::uint64_t firstUnused = 0;
    for (std::uint64_t k = 0; k < ranges; ++k) {
        const std::uint64_t ib = RangeStart(k);
        if (mapPage(ib, kPageAMap, "AMap")) {
            const std::uint8_t* bits = file.data() + ib;
            std::uint64_t inUseFree = 0;
            std::uint64_t firstInUseFree = 0;
            std::uint64_t beyond = 0;
            std::uint64_t rangeUnused = 0;
            for (std::uint64_t s = 0; s < kSlotsPerAMap; ++s) {
                const std::uint64_t slot = ib / kSlotSize + s;
                const bool allocated = bits[s / 8] & (0x80u >> (s % 8));
                if (slot * kSlotSize >= eof) {
                    beyond += allocated ? 1 : 0;
                    continue;
                }
                const bool used = live.Test(slot);
                if (!allocated) {
                    freeBytes += kSlotSize;
                    if (used && inUseFree++ == 0) firstInUseFree = slot * kSlotSize;
                } else if (!used) {
                    if (unused == 0 && rangeUnused == 0) firstUnused = slot * kSlotSize;
                    ++rangeUnused;
                }
            }
            if (inUseFree > 0)
                report_.Error(Location::At(ib), "AMap: " + std::to_string(inUseFree) +
                                                    " slots in use are marked free (first at " +
                                                    Hex(firstInUseFree) + ")");
            if (beyond > 0)
                report_.Error(Location::At(ib), "AMap: " + std::to_string(beyond) +
                                                    " slots past the end of the file are marked "
                                                    "allocated");
            unused += rangeUnused;
            unusedRanges += rangeUnused > 0 ? 1 : 0;
        }
        if (RangeHasPMap(k)) mapPage(ib + kPageSize, kPagePMap, "PMap");
        if (RangeHasFMap(k)) mapPage(ib + 2 * kPageSize, kPageFMap, "FMap");
    }
    if (unused > 0)
        report_.Warning(Location::At(firstUnused),
                        std::to_string(unused * kSlotSize) + " bytes in " +
                            std::to_string(unusedRanges) +
                            " allocation map ranges are marked allocated but hold no page or "
                            "block (leaked or not yet reused space)");
    if (freeBytes != h.amapFree)
        report_.Error(Location::Header(), "cbAMapFree says " + std::to_string(h.amapFree) +
                                              " free bytes, the AMaps mark " +
                                              std::to_string(freeBytes));

    // The density list is optional, and readers ignore one whose CRC is wrong.
    if (file.size() >= kDListOffset + kPageSize &&
        file[kDListOffset + kPageSize - kPageTrailerSize] == kPageDList) {
        const PageTrailer t = PageTrailer::Read(file.data() + kDListOffset);
        if (t.crc != Crc(file.subspan(kDListOffset, kPageSize - kPageTrailerSize)))
            report_.Warning(Location::At(kDListOffset),
                            "density list page: CRC does not match (readers ignore the page)");
    }
}

}  // namespace tarvelle::pst::verify
