// The node database writer.
//
// Crash safety rests on three rules:
// - Nothing the last written header reaches is overwritten: new pages and blocks go to space
//   that header does not use, and space given up is reused only after the next header is written.
// - Between commits the AMaps mark every slot of the file allocated (the strict reading of such
//   a file only finds "allocated but unused" slots, which [MS-PST] readers tolerate); the writer
//   keeps its own free-space lists in memory.
// - What changes the file's size or its maps (growing by whole AMap ranges, the exact maps and
//   the trimmed end at Close) is written in place between two headers, the first of which says
//   fAMapValid = INVALID_AMAP ([MS-PST] 2.6.1.3.7): a process killed in between leaves a file
//   whose readers rebuild the maps from the B-trees, everything else as committed.
// The header (one write at offset 0) is the commit point. No step copies the file.
//
// Freed space holds no stale data: whatever the previous header reached and the new one does
// not is zeroed right after the new header is written (an address book is personal data, and
// recovery tools read unallocated space). Space never written is zero anyway.
#include "pst/ndb/NodeDatabase.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pst/ndb/File.h"
#include "pst/ndb/Format.h"
#include "pst/ndb/FreeSpace.h"
#include "pst/ndb/PageTree.h"

namespace tarvelle::pst::ndb {

void SealPage(std::uint8_t* page, std::uint8_t ptype, std::uint64_t ib, Bid bid) {
    const bool mapPage = ptype == kPageAMap || ptype == kPagePMap || ptype == kPageFMap;
    PageTrailer t;
    t.ptype = t.ptypeRepeat = ptype;
    t.sig = mapPage ? 0 : ComputeSig(ib, bid);
    t.crc = Crc(std::span<const std::uint8_t>(page, kPageSize - kPageTrailerSize));
    t.bid = bid;
    t.Write(page);
}

namespace {

constexpr std::size_t kArenaSize = 2u << 20;
// The largest number of map pages at the start of an AMap range (AMap, PMap, FMap).
constexpr std::uint64_t kMaxMapBytes = 3 * kPageSize;
constexpr std::uint64_t kMaxRunPages = 256;
constexpr std::uint32_t kMaxNidIndex = (1u << 27) - 1;

enum class InternalKind : std::uint8_t { XBlock, XXBlock, SlBlock, SiBlock };

// Block ID -> reference change of a committed block, not yet in the block tree. Lists saved again
// let go of tens of thousands of blocks between two commits: one flat array, not a node each.
class RefDeltas {
  public:
    // The change of `bid`, 0 when it has none yet (0 is never a block ID).
    std::int32_t& operator[](Bid bid) {
        if (2 * (size_ + 1) > slots_.size()) Rehash(slots_.empty() ? 1024 : 2 * slots_.size());
        Slot& s = SlotOf(bid);
        if (s.bid == 0) {
            s = {bid, 0};
            ++size_;
        }
        return s.delta;
    }
    std::int32_t Of(Bid bid) const {
        if (slots_.empty()) return 0;
        return const_cast<RefDeltas*>(this)->SlotOf(bid).delta;
    }
    // Drops the change of `bid`, if it has one.
    void Forget(Bid bid) {
        if (slots_.empty()) return;
        if (Slot& s = SlotOf(bid); s.bid == bid) s.delta = 0;
    }
    // The blocks with a change, in block ID order.
    std::vector<std::pair<Bid, std::int32_t>> Changes() const {
        std::vector<std::pair<Bid, std::int32_t>> out;
        out.reserve(size_);
        for (const Slot& s : slots_)
            if (s.bid != 0 && s.delta != 0) out.emplace_back(s.bid, s.delta);
        std::sort(out.begin(), out.end());
        return out;
    }
    void Clear() {
        // The room of a large commit is given back; a usual one's is kept for the next.
        if (slots_.size() > (1u << 16))
            std::vector<Slot>().swap(slots_);
        else
            std::fill(slots_.begin(), slots_.end(), Slot{});
        size_ = 0;
    }

  private:
    struct Slot {
        Bid bid = 0;
        std::int32_t delta = 0;
    };
    std::size_t Index(Bid bid) const {
        return static_cast<std::size_t>((bid * 0x9E3779B97F4A7C15ULL) >> 20) & (slots_.size() - 1);
    }
    // The slot of `bid`, or the empty one where it would go.
    Slot& SlotOf(Bid bid) {
        for (std::size_t i = Index(bid);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].bid == bid || slots_[i].bid == 0) return slots_[i];
        }
    }
    void Rehash(std::size_t size) {
        std::vector<Slot> old(size);
        old.swap(slots_);
        for (const Slot& s : old)
            if (s.bid != 0) SlotOf(s.bid) = s;
    }

    std::vector<Slot> slots_;  // a power of two, at most half full
    std::size_t size_ = 0;
};

struct InternalBlock {
    InternalKind kind;
    std::uint64_t total;                // bytes of data below (data trees)
    std::vector<std::uint8_t> payload;  // as stored

    // Every BID this block refers to.
    std::vector<Bid> Children() const {
        std::vector<Bid> out;
        const std::size_t count = GetU16(&payload[2]);
        for (std::size_t i = 0; i < count; ++i) {
            switch (kind) {
                case InternalKind::XBlock:
                case InternalKind::XXBlock:
                    out.push_back(GetU64(&payload[8 + 8 * i]));
                    break;
                case InternalKind::SlBlock:
                    for (std::size_t at : {8u, 16u})
                        if (const Bid b = GetU64(&payload[8 + 24 * i + at]); b != 0)
                            out.push_back(b);
                    break;
                case InternalKind::SiBlock:
                    out.push_back(GetU64(&payload[8 + 16 * i + 8]));
                    break;
            }
        }
        return out;
    }
};

std::uint64_t HashBytes(const std::vector<std::uint8_t>& bytes) {
    return std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The header fields that change over a file's life ([MS-PST] 2.2.2.6, 2.2.2.5).
struct HeaderState {
    Bid bidNextP = 1;
    Bid bidNextB = 4;
    std::uint32_t unique = 0;
    std::array<std::uint32_t, 32> rgnid{};
    std::uint64_t fileEof = 0;
    std::uint64_t amapLast = 0;
    std::uint64_t amapFree = 0;
    PageRef nbt;
    PageRef bbt;
    std::uint8_t amapValid = kValidAMap2;
};

std::array<std::uint8_t, kHeaderSize> BuildHeader(const HeaderState& h) {
    using namespace header;
    std::array<std::uint8_t, kHeaderSize> b{};
    std::uint8_t* p = b.data();
    std::memcpy(p + kMagic, "!BDN", 4);
    std::memcpy(p + kMagicClient, "SM", 2);
    PutU16(p + kVersion, kVersionUnicode);
    PutU16(p + kClientVersion, kVersionClient);
    p[kPlatformCreate] = 1;
    p[kPlatformAccess] = 1;
    PutU64(p + kBidNextP, h.bidNextP);
    PutU32(p + kUnique, h.unique);
    for (std::size_t i = 0; i < 32; ++i) PutU32(p + kRgnid + 4 * i, h.rgnid[i]);
    PutU64(p + kFileEof, h.fileEof);
    PutU64(p + kAMapLast, h.amapLast);
    PutU64(p + kAMapFree, h.amapFree);
    PutU64(p + kNbtRoot, h.nbt.bid);
    PutU64(p + kNbtRoot + 8, h.nbt.ib);
    PutU64(p + kBbtRoot, h.bbt.bid);
    PutU64(p + kBbtRoot + 8, h.bbt.ib);
    p[kAMapValid] = h.amapValid;
    std::memset(p + kFMapBytes, 0xFF, 256);  // rgbFM, rgbFP
    p[kSentinel] = kSentinelValue;
    p[kCryptMethod] = kCryptPermute;
    PutU64(p + kBidNextB, h.bidNextB);
    PutU32(p + kCrcPartial, Crc(std::span<const std::uint8_t>(p + kMagicClient, kCrcPartialSpan)));
    PutU32(p + kCrcFull, Crc(std::span<const std::uint8_t>(p + kMagicClient, kCrcFullSpan)));
    return b;
}

// Blank-file NID counters ([MS-PST] 2.4.1).
std::array<std::uint32_t, 32> InitialNidCounters() {
    std::array<std::uint32_t, 32> n{};
    n.fill(0x400);
    n[0x03] = 0x4000;   // search folders
    n[0x04] = 0x10000;  // normal messages
    n[0x08] = 0x8000;   // associated messages
    return n;
}

std::uint64_t RangeOf(std::uint64_t ib) { return (ib - kFirstAMapOffset) / kAMapSpan; }

// Marks slots [first, first + count) in a bit vector of 64-byte slots of the file.
void MarkSlots(std::vector<std::uint64_t>& bits, std::uint64_t ib, std::uint64_t bytes) {
    const std::uint64_t first = ib / kSlotSize;
    const std::uint64_t last = (ib + bytes + kSlotSize - 1) / kSlotSize;
    for (std::uint64_t s = first; s < last; ++s) bits[s / 64] |= 1ull << (s % 64);
}
// Slots [slot, slot + 64), the first in the lowest bit; slots past the bits' end are free.
std::uint64_t SlotWord(const std::vector<std::uint64_t>& bits, std::uint64_t slot) {
    const std::uint64_t word = slot / 64;
    const unsigned shift = slot % 64;
    const std::uint64_t low = word < bits.size() ? bits[word] : 0;
    if (shift == 0) return low;
    const std::uint64_t high = word + 1 < bits.size() ? bits[word + 1] : 0;
    return (low >> shift) | (high << (64 - shift));
}

// A byte with its bits in reverse order.
constexpr std::array<std::uint8_t, 256> kReversedBits = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned v = 0; v < 256; ++v) {
        unsigned r = 0;
        for (unsigned i = 0; i < 8; ++i) r |= ((v >> i) & 1) << (7 - i);
        table[v] = static_cast<std::uint8_t>(r);
    }
    return table;
}();

class Writer final : public NodeDatabase, private PageSink {
  public:
    Writer(std::filesystem::path path, const CreateOptions& options)
        : path_(std::move(path)),
          afterMapStep_(options.afterMapStep),
          afterWriteBack_(options.afterWriteBack) {
        state_.rgnid = InitialNidCounters();
        arena_.resize(kArenaSize);
        CreateFile(options.nameless);
    }

    ~Writer() override = default;

    void SetFinal(bool final) override { final_ = final; }

    Bid WriteDataBlock(std::span<const std::uint8_t> payload) override {
        CheckUsable();
        if (payload.size() > kMaxBlockPayload)
            throw NdbError("data block of " + std::to_string(payload.size()) +
                           " bytes exceeds the block size");
        const Bid bid = NewBid(false);
        const StagedBlock b = StageBlock(bid, payload.size());
        if (!payload.empty()) std::memcpy(b.data, payload.data(), payload.size());
        PermuteEncode(std::span(b.data, payload.size()));
        SealBlock(b, bid, payload.size());
        return bid;
    }

    Bid WriteData(std::span<const std::uint8_t> bytes) override {
        CheckUsable();
        std::vector<Bid> blocks;
        blocks.reserve(bytes.size() / kMaxBlockPayload + 1);
        std::size_t at = 0;
        do {
            const std::size_t n = std::min(kMaxBlockPayload, bytes.size() - at);
            blocks.push_back(WriteDataBlock(bytes.subspan(at, n)));
            at += n;
        } while (at < bytes.size());
        return WriteDataTree(blocks);
    }

    Bid WriteDataTree(std::span<const Bid> blocks) override {
        CheckUsable();
        if (blocks.empty()) throw NdbError("a data tree needs at least one block");
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            const BlockEntry& e = Block(blocks[i]);
            if (blocks[i] & kBidInternal)
                throw NdbError("a data tree holds data blocks only, not block " + Hex(blocks[i]));
            if (i + 1 < blocks.size() && e.cb != kMaxBlockPayload)
                throw NdbError("every block of a data tree but the last must hold " +
                               std::to_string(kMaxBlockPayload) + " bytes");
            total += e.cb;
        }
        if (blocks.size() == 1) return blocks[0];
        if (total > 0xFFFFFFFFull) throw NdbError("node data exceeds 4 GB");
        if (blocks.size() <= kXBlockMaxChildren)
            return WriteXBlock(InternalKind::XBlock, blocks, total);
        std::vector<Bid> xblocks;
        for (std::size_t at = 0; at < blocks.size(); at += kXBlockMaxChildren) {
            const auto part = blocks.subspan(at, std::min(kXBlockMaxChildren, blocks.size() - at));
            std::uint64_t partTotal = 0;
            for (Bid b : part) partTotal += Block(b).cb;
            xblocks.push_back(WriteXBlock(InternalKind::XBlock, part, partTotal));
        }
        if (xblocks.size() > kXBlockMaxChildren) throw NdbError("node data too large");
        return WriteXBlock(InternalKind::XXBlock, xblocks, total);
    }

    Bid WriteSubnodeTree(std::span<const SubnodeEntry> input) override {
        CheckUsable();
        if (input.empty()) return 0;
        std::vector<SubnodeEntry> entries(input.begin(), input.end());
        std::sort(entries.begin(), entries.end(),
                  [](const SubnodeEntry& a, const SubnodeEntry& b) { return a.nid < b.nid; });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const SubnodeEntry& e = entries[i];
            if (i > 0 && entries[i - 1].nid == e.nid)
                throw NdbError("subnode " + Hex(e.nid) + " listed twice");
            CheckNodeBlocks(e.data, e.subnode);
        }
        if (entries.size() <= kSlBlockMaxEntries) return WriteSlBlock(entries);
        const std::size_t leaves = (entries.size() + kSlBlockMaxEntries - 1) / kSlBlockMaxEntries;
        if (leaves > kSiBlockMaxEntries) throw NdbError("too many subnodes");
        std::vector<std::pair<Nid, Bid>> children;
        for (std::size_t at = 0; at < entries.size(); at += kSlBlockMaxEntries) {
            const auto part =
                std::span(entries).subspan(at, std::min(kSlBlockMaxEntries, entries.size() - at));
            children.emplace_back(part.front().nid, WriteSlBlock(part));
        }
        std::vector<std::uint8_t> b(8 + 16 * children.size());
        b[0] = 2;  // btype: SLBLOCK/SIBLOCK
        b[1] = 1;  // cLevel: SIBLOCK
        PutU16(&b[2], static_cast<std::uint16_t>(children.size()));
        for (std::size_t i = 0; i < children.size(); ++i) {
            PutU64(&b[8 + 16 * i], children[i].first);
            PutU64(&b[8 + 16 * i + 8], children[i].second);
        }
        return WriteInternal(std::move(b), InternalKind::SiBlock, 0);
    }

    std::uint64_t DataSize(Bid bid) const override {
        if (bid == 0) return 0;
        const BlockEntry& e = Block(bid);
        if (bid & kBidInternal) {
            const InternalBlock& info = internal_.at(bid);
            if (info.kind == InternalKind::XBlock || info.kind == InternalKind::XXBlock)
                return info.total;
        }
        return e.cb;
    }

    std::vector<std::uint8_t> ReadDataBlock(Bid bid) override {
        CheckUsable();
        if (bid & kBidInternal) throw NdbError("block " + Hex(bid) + " is not a data block");
        const BlockEntry e = Block(bid);
        std::vector<std::uint8_t> stored(BlockSizeOnDisk(e.cb));
        // A block not yet written is read where it waits: flushing the staged writes for it
        // would cut them into a write per read (a list saved again reads its table row back).
        if (const std::uint8_t* staged = StagedAt(e.ib, stored.size())) {
            std::memcpy(stored.data(), staged, stored.size());
        } else {
            Guarded([&] { file_.ReadAt(stored, e.ib); });
        }
        // [MS-PST] 2.2.2.8.1: the trailer names the block and holds the CRC of the stored payload.
        const std::uint8_t* t = stored.data() + stored.size() - kBlockTrailerSize;
        const std::span<std::uint8_t> payload(stored.data(), e.cb);
        if (GetU16(t) != e.cb || GetU64(t + 8) != bid || GetU32(t + 4) != Crc(payload))
            throw IoError("block " + Hex(bid) + " of " + path_.string() + " reads back damaged");
        PermuteDecode(payload);
        stored.resize(e.cb);
        return stored;
    }

    void SetNode(Nid nid, Bid data, Bid subnode, Nid parent) override {
        CheckUsable();
        CheckNodeBlocks(data, subnode);
        AddRef(data);
        AddRef(subnode);
        NodeEntry entry{nid, parent, data, subnode};
        if (const NodeEntry* old = nbt_.Find(nid)) {
            const NodeEntry before = *old;
            nbt_.Update(nid, [&](NodeEntry& e) { e = entry; });
            Release(before.data);
            Release(before.subnode);
        } else {
            nbt_.Insert(entry);
        }
        // The header's counter must cover every NID in use.
        auto& highest = highestIndex_[nid & 0x1F];
        highest = std::max(highest, nid >> 5);
        auto& counter = state_.rgnid[nid & 0x1F];
        counter = std::max(counter, highest);
    }

    bool HasNode(Nid nid) const override { return nbt_.Find(nid) != nullptr; }

    Nid AllocateNid(std::uint8_t nidType) override {
        CheckUsable();
        auto& counter = state_.rgnid.at(nidType & 0x1F);
        if (counter >= kMaxNidIndex) throw NdbError("node IDs of this type are used up");
        ++counter;
        return (counter << 5) | (nidType & 0x1Fu);
    }
    void SetNidCounter(std::uint8_t nidType, std::uint32_t lastIndex) override {
        CheckUsable();
        if (lastIndex > kMaxNidIndex) throw NdbError("node ID counter out of range");
        // Never below a NID in use: the next AllocateNid would hand it out a second time.
        state_.rgnid.at(nidType & 0x1F) = std::max(lastIndex, highestIndex_[nidType & 0x1F]);
    }
    std::uint32_t NidCounter(std::uint8_t nidType) const override {
        return state_.rgnid.at(nidType & 0x1F);
    }

    void Commit() override {
        CheckUsable();
        Guarded([&] { CommitNow(); });
    }

    void Close() override {
        if (closed_) return;
        CheckUsable();
        Guarded([&] {
            CommitNow();
            // Everything up to here stays as it is but for the maps' pages: the disk may start
            // on it while the exact maps are worked out.
            file_.StartWriteBack(0, fileSize_);
            WriteExactState();
            file_.Close();
        });
        closed_ = true;
    }

    void Discard() override {
        if (closed_) return;
        closed_ = true;
        file_.Unlink();
        try {
            file_.Close();
        } catch (const IoError&) {
            // Nothing of it is kept.
        }
    }

    std::uint64_t FileSize() const override { return fileSize_; }
    const std::filesystem::path& Path() const override { return path_; }

  private:
    static std::string Hex(std::uint64_t v) {
        static const char* digits = "0123456789ABCDEF";
        std::string s;
        do {
            s.insert(s.begin(), digits[v & 0xF]);
            v >>= 4;
        } while (v != 0);
        return "0x" + s;
    }

    void CheckUsable() const {
        if (closed_) throw NdbError("the file " + path_.string() + " is already closed");
        if (!laterFailure_.empty()) throw IoError(laterFailure_);
        if (failed_)
            throw IoError("the file " + path_.string() +
                          " could not be written before; it holds the last saved state");
    }

    // Any failure while writing leaves the object unusable: the file keeps its last commit.
    template <class F>
    void Guarded(F&& work) {
        try {
            work();
        } catch (const IoError&) {
            failed_ = true;
            throw;
        }
    }

    const BlockEntry& Block(Bid bid) const {
        const BlockEntry* e = bbt_.Find(bid);
        if (e == nullptr) throw NdbError("unknown block " + Hex(bid));
        return *e;
    }

    void CheckNodeBlocks(Bid data, Bid subnode) const {
        if (data != 0) {
            Block(data);
            if ((data & kBidInternal) && !IsDataTree(data))
                throw NdbError("block " + Hex(data) + " is a subnode tree, not data");
        }
        if (subnode != 0) {
            Block(subnode);
            if (!(subnode & kBidInternal) || IsDataTree(subnode))
                throw NdbError("block " + Hex(subnode) + " is not a subnode tree");
        }
    }
    bool IsDataTree(Bid internalBid) const {
        const auto kind = internal_.at(internalBid).kind;
        return kind == InternalKind::XBlock || kind == InternalKind::XXBlock;
    }

    // Reference changes of committed blocks collect here and reach the block tree at the commit,
    // so that a block referred to by a new tree and let go by the old one leaves its B-tree page
    // untouched. A block written since the last commit has its entry on a page the commit writes
    // anyway: its count changes there at once.
    bool WrittenSinceCommit(Bid bid) const { return (bid & ~kBidInternal) >= committed_.bidNextB; }
    void AddRef(Bid bid) {
        if (bid == 0) return;
        if (WrittenSinceCommit(bid)) {
            BlockEntry* e = bbt_.Mutable(bid);
            if (e == nullptr) throw NdbError("unknown block " + Hex(bid));
            if (e->refs >= 0xFFFE) throw NdbError("block " + Hex(bid) + " has too many references");
            ++e->refs;
            return;
        }
        const BlockEntry& e = Block(bid);
        std::int32_t& delta = refDelta_[bid];
        if (e.refs + delta >= 0xFFFE)
            throw NdbError("block " + Hex(bid) + " has too many references");
        ++delta;
    }
    void Release(Bid bid) {
        if (bid == 0) return;
        if (WrittenSinceCommit(bid)) {
            BlockEntry* e = bbt_.Mutable(bid);
            if (e != nullptr && e->refs > 0 && --e->refs == 0) unreferenced_.push_back(bid);
            return;
        }
        const BlockEntry* e = bbt_.Find(bid);
        if (e == nullptr) return;
        std::int32_t& delta = refDelta_[bid];
        if (e->refs + delta > 0 && e->refs + --delta == 0) unreferenced_.push_back(bid);
    }
    std::int64_t References(const BlockEntry& e) const { return e.refs + refDelta_.Of(e.bid); }

    Bid NewBid(bool internal) {
        const Bid bid = state_.bidNextB | (internal ? kBidInternal : 0);
        state_.bidNextB += 4;
        return bid;
    }

    // Reserves space for block `bid` with `cb` payload bytes, enters it in the block tree
    // (unreferenced) and returns the staging buffer for its payload.
    struct StagedBlock {
        std::uint8_t* data;
        std::uint64_t ib;
    };
    StagedBlock StageBlock(Bid bid, std::size_t cb) {
        const std::uint64_t size = BlockSizeOnDisk(cb);
        const std::uint64_t ib = final_ ? AllocateFinal(size) : Allocate(size / kSlotSize);
        std::uint8_t* p = Stage(ib, size, final_);
        std::memset(p + cb, 0, size - cb);
        bbt_.Insert(BlockEntry{bid, ib, static_cast<std::uint16_t>(cb), 0});
        unreferenced_.push_back(bid);
        return {p, ib};
    }
    // Trailer of a block whose payload is in place ([MS-PST] 2.2.2.8.1): the CRC covers the
    // payload as stored.
    static void SealBlock(const StagedBlock& b, Bid bid, std::size_t cb) {
        const BlockTrailer t{static_cast<std::uint16_t>(cb), ComputeSig(b.ib, bid),
                             Crc(std::span<const std::uint8_t>(b.data, cb)), bid};
        t.Write(b.data + BlockSizeOnDisk(cb) - kBlockTrailerSize);
    }

    // Internal blocks are stored as they are (never encoded, [MS-PST] 5). One that would be
    // identical to a live one is that one: a data tree rewritten with mostly the same blocks
    // shares its full XBLOCKs with the previous version instead of writing them again.
    Bid WriteInternal(std::vector<std::uint8_t> payload, InternalKind kind, std::uint64_t total) {
        const std::uint64_t hash = HashBytes(payload);
        const auto [first, last] = internalByHash_.equal_range(hash);
        for (auto it = first; it != last; ++it)
            if (internal_.at(it->second).payload == payload) return it->second;
        const Bid bid = NewBid(true);
        const StagedBlock b = StageBlock(bid, payload.size());
        std::memcpy(b.data, payload.data(), payload.size());
        SealBlock(b, bid, payload.size());
        InternalBlock info{kind, total, std::move(payload)};
        for (Bid child : info.Children()) AddRef(child);
        internal_.emplace(bid, std::move(info));
        internalByHash_.emplace(hash, bid);
        return bid;
    }

    Bid WriteXBlock(InternalKind kind, std::span<const Bid> children, std::uint64_t total) {
        std::vector<std::uint8_t> b(8 + 8 * children.size());
        b[0] = 1;  // btype: XBLOCK/XXBLOCK
        b[1] = kind == InternalKind::XBlock ? 1 : 2;
        PutU16(&b[2], static_cast<std::uint16_t>(children.size()));
        PutU32(&b[4], static_cast<std::uint32_t>(total));
        for (std::size_t i = 0; i < children.size(); ++i) PutU64(&b[8 + 8 * i], children[i]);
        return WriteInternal(std::move(b), kind, total);
    }

    Bid WriteSlBlock(std::span<const SubnodeEntry> entries) {
        std::vector<std::uint8_t> b(8 + 24 * entries.size());
        b[0] = 2;  // btype: SLBLOCK/SIBLOCK
        b[1] = 0;  // cLevel: SLBLOCK
        PutU16(&b[2], static_cast<std::uint16_t>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::uint8_t* p = &b[8 + 24 * i];
            PutU64(p, entries[i].nid);
            PutU64(p + 8, entries[i].data);
            PutU64(p + 16, entries[i].subnode);
        }
        return WriteInternal(std::move(b), InternalKind::SlBlock, 0);
    }

    // Blocks nobody refers to are dropped; an internal block lets go of its children.
    void DropUnreferenced() {
        while (!unreferenced_.empty()) {
            const Bid bid = unreferenced_.back();
            unreferenced_.pop_back();
            const BlockEntry* e = bbt_.Find(bid);
            if (e == nullptr || References(*e) != 0) continue;
            FreeLater(e->ib, BlockSizeOnDisk(e->cb));
            bbt_.Erase(bid);
            refDelta_.Forget(bid);  // it has no entry left to change
            if (bid & kBidInternal) {
                auto it = internal_.find(bid);
                const std::vector<Bid> children = it->second.Children();
                const auto [first, last] =
                    internalByHash_.equal_range(HashBytes(it->second.payload));
                for (auto h = first; h != last; ++h) {
                    if (h->second == bid) {
                        internalByHash_.erase(h);
                        break;
                    }
                }
                internal_.erase(it);
                for (Bid child : children) Release(child);
            }
        }
        // In block order: consecutive updates mostly fall in the same leaf.
        for (const auto& [bid, delta] : refDelta_.Changes()) {
            bbt_.Update(bid, [d = delta](BlockEntry& e) {
                e.refs = static_cast<std::uint16_t>(e.refs + d);
            });
        }
        refDelta_.Clear();
    }

    // --- space

    std::uint64_t Allocate(std::uint64_t slots) {
        if (const std::uint64_t ib = freeBlocks_.Take(slots * kSlotSize, kSlotSize); ib != 0)
            return ib;
        // Pieces of page runs that no run of pages fits in any more.
        if (const std::uint64_t ib = freePages_.Take(slots * kSlotSize, kSlotSize); ib != 0)
            return ib;
        std::uint64_t size = slots * kSlotSize;
        return AllocateAtEnd(size, kSlotSize, size);
    }

    // `size` bytes (at least `least`, aligned to `align`) from the unused end of the file,
    // within one AMap range; grows the file when the end is reached. `size` on return.
    std::uint64_t AllocateAtEnd(std::uint64_t& size, std::uint64_t align, std::uint64_t least) {
        for (;;) {
            const std::uint64_t aligned = (frontier_ + align - 1) / align * align;
            const std::uint64_t range = RangeOf(frontier_);
            const std::uint64_t end = RangeStart(range + 1);
            if (frontier_ < fileSize_ && aligned + least <= end) {
                freeBlocks_.Add(frontier_, aligned - frontier_);
                size = std::min(size, (end - aligned) / align * align);
                frontier_ = aligned + size;
                if (frontier_ == end && end < fileSize_) frontier_ = end + RangeMapBytes(range + 1);
                return aligned;
            }
            if (end >= fileSize_ || frontier_ >= fileSize_) {
                Grow(least);
                continue;
            }
            // Too little room left before the next AMap: keep the rest for smaller items.
            freeBlocks_.Add(frontier_, end - frontier_);
            frontier_ = end + RangeMapBytes(range + 1);
        }
    }

    // Final blocks fill regions of their own: whole system pages of one AMap range that hold
    // nothing else, written by writes of their own. The system dirties and writes back a file's
    // cache in pages or larger folios formed by each write, so these can go to the disk once
    // written and are never dirtied again by the pages, tables and provisional items around them.
    std::uint64_t AllocateFinal(std::uint64_t bytes) {
        if (finalNext_ + bytes > finalEnd_) {
            EndFinalRegion();
            // A range of its own: least is more than the rest of any range in use.
            std::uint64_t size = kAMapSpan;
            const std::uint64_t ib = AllocateAtEnd(size, kSlotSize, kAMapSpan - kMaxMapBytes);
            finalNext_ = finalStart_ = PageUp(ib);
            finalEnd_ = PageDown(ib + size);
            // The pages shared with the maps serve other blocks.
            freeBlocks_.Add(ib, finalStart_ - ib);
            freeBlocks_.Add(finalEnd_, ib + size - finalEnd_);
        }
        const std::uint64_t ib = finalNext_;
        finalNext_ += bytes;
        return ib;
    }

    // The current final region is complete: it goes to the disk with the next writes. Its whole
    // pages left unused serve other blocks; the rest of its last page stays empty.
    void EndFinalRegion() {
        if (finalEnd_ == 0) return;
        const std::uint64_t used = std::min(PageUp(finalNext_), finalEnd_);
        if (used > finalStart_) writeBack_.emplace_back(finalStart_, used - finalStart_);
        freeBlocks_.Add(used, finalEnd_ - used);
        finalEnd_ = finalNext_ = finalStart_ = 0;
    }

    std::uint64_t PageUp(std::uint64_t ib) const { return (ib + page_ - 1) / page_ * page_; }
    std::uint64_t PageDown(std::uint64_t ib) const { return ib / page_ * page_; }

    // Pages of a commit are handed out from runs of consecutive pages, so they go to the file
    // in a few large writes.
    std::uint64_t AllocatePage() override {
        if (runLeft_ == 0) {
            const std::uint64_t pages = std::clamp<std::uint64_t>(pagesToCome_, 1, kMaxRunPages);
            std::uint64_t bytes = pages * kPageSize;
            // Pages one by one from scattered free space would cost a write each.
            if (const std::uint64_t ib = freePages_.Take(bytes, kPageSize); ib != 0) {
                runNext_ = ib;
                runLeft_ = pages;
            } else {
                runNext_ = AllocateAtEnd(bytes, kPageSize, kPageSize);
                runLeft_ = bytes / kPageSize;
            }
        }
        const std::uint64_t ib = runNext_;
        runNext_ += kPageSize;
        --runLeft_;
        if (pagesToCome_ > 0) --pagesToCome_;
        return ib;
    }

    // Space the last header still reaches: free only once the next header is written.
    void FreeLater(std::uint64_t ib, std::uint64_t bytes) { freeLater_.emplace_back(ib, bytes); }

    // --- staging and writing

    std::uint8_t* Stage(std::uint64_t ib, std::uint64_t size, bool final = false) {
        if (arenaUsed_ + size > arena_.size()) Flush();
        segments_.push_back(Segment{ib, arenaUsed_, size, final});
        std::uint8_t* p = arena_.data() + arenaUsed_;
        arenaUsed_ += size;
        return p;
    }

    // The staged bytes of [ib, ib + size), or nullptr when they are not waiting in the arena.
    const std::uint8_t* StagedAt(std::uint64_t ib, std::uint64_t size) const {
        for (auto s = segments_.rbegin(); s != segments_.rend(); ++s) {
            if (ib >= s->ib && ib + size <= s->ib + s->size)
                return arena_.data() + s->offset + (ib - s->ib);
        }
        return nullptr;
    }

    Bid NextPageBid() override { return state_.bidNextP++; }
    std::uint8_t* StagePage(std::uint64_t ib) override {
        std::uint8_t* p = Stage(ib, kPageSize);
        std::memset(p, 0, kPageSize);
        return p;
    }

    // Writes the staged pages and blocks in file order, merging neighbours into large writes.
    void Flush() {
        if (segments_.empty()) return;
        std::sort(segments_.begin(), segments_.end(),
                  [](const Segment& a, const Segment& b) { return a.ib < b.ib; });
        std::vector<iovec> run;
        std::uint64_t runStart = 0;
        std::uint64_t runEnd = 0;
        bool runFinal = false;
        auto writeRun = [&] {
            if (run.empty()) return;
            file_.WriteVectorAt(run, runStart);
            run.clear();
        };
        struct Poison {  // a failed write leaves the object unusable
            bool& failed;
            bool done = false;
            ~Poison() {
                if (!done) failed = true;
            }
        } poison{failed_};
        for (const Segment& s : segments_) {
            std::uint8_t* data = arena_.data() + s.offset;
            // Final blocks and others in separate writes, which the system caches separately.
            if (!run.empty() && s.ib == runEnd && s.final == runFinal) {
                iovec& last = run.back();
                if (static_cast<std::uint8_t*>(last.iov_base) + last.iov_len == data)
                    last.iov_len += s.size;
                else
                    run.push_back(iovec{data, static_cast<std::size_t>(s.size)});
            } else {
                writeRun();
                runStart = s.ib;
                runFinal = s.final;
                run.push_back(iovec{data, static_cast<std::size_t>(s.size)});
            }
            runEnd = s.ib + s.size;
        }
        writeRun();
        // Complete final regions go to the disk while the export goes on, not all at the close.
        for (const auto& [ib, bytes] : writeBack_) {
            file_.StartWriteBack(ib, bytes);
            if (afterWriteBack_) afterWriteBack_(ib, bytes);
        }
        writeBack_.clear();
        poison.done = true;
        segments_.clear();
        arenaUsed_ = 0;
    }

    // Writes `h` as the header on disk: the commit point, or one side of a map change.
    void WriteHeader(HeaderState h) {
        h.unique = committed_.unique + 1;
        const auto bytes = BuildHeader(h);
        file_.WriteAt(bytes, 0);
        committed_ = h;
        state_.unique = h.unique;
    }

    void CommitNow() {
        DropUnreferenced();
        if (!nbt_.dirty() && !bbt_.dirty() && state_.rgnid == committed_.rgnid &&
            state_.bidNextB == committed_.bidNextB)
            return;
        pagesToCome_ = nbt_.DirtyPages() + bbt_.DirtyPages();
        nbt_.Write(*this);
        bbt_.Write(*this);
        if (runLeft_ > 0) freePages_.Add(runNext_, runLeft_ * kPageSize);
        runLeft_ = 0;
        for (std::uint64_t ib : nbt_.TakeReleasedPages()) pagesFreeLater_.push_back(ib);
        for (std::uint64_t ib : bbt_.TakeReleasedPages()) pagesFreeLater_.push_back(ib);
        Flush();
        HeaderState next = state_;
        next.fileEof = fileSize_;
        next.amapLast = RangeStart(RangeOf(fileSize_ - 1));
        next.amapFree = committed_.amapFree;
        next.amapValid = kValidAMap2;
        next.nbt = nbt_.Root();
        next.bbt = bbt_.Root();
        WriteHeader(next);
        ReleaseFreed();
    }

    // Space the header on disk no longer reaches: zeroed, then free for new pages and blocks.
    // A failure here comes after the commit, which stands; it is reported by the next call.
    void ReleaseFreed() {
        std::vector<std::pair<std::uint64_t, std::uint64_t>> extents = freeLater_;
        for (const std::uint64_t ib : pagesFreeLater_) extents.emplace_back(ib, kPageSize);
        std::sort(extents.begin(), extents.end());
        try {
            std::uint64_t start = 0;
            std::uint64_t end = 0;
            for (const auto& [ib, bytes] : extents) {
                if (ib != end) {
                    if (end > start) file_.ZeroAt(start, end - start);
                    start = ib;
                }
                end = ib + bytes;
            }
            if (end > start) file_.ZeroAt(start, end - start);
        } catch (const IoError& e) {
            failed_ = true;
            laterFailure_ = e.what();
        }
        for (const auto& [ib, bytes] : freeLater_) freeBlocks_.Add(ib, bytes);
        for (const std::uint64_t ib : pagesFreeLater_) freePages_.Add(ib, kPageSize);
        pagesFreeLater_.clear();
        freeLater_.clear();
    }

    // --- growth and the closing state, in place ([MS-PST] 2.6.1.1.2, 2.6.1.3.7)

    void MapStep() {
        if (afterMapStep_) afterMapStep_();
    }

    // Writes the map pages of ranges [from, to) with every slot marked allocated.
    static void WriteReservedMaps(File& file, std::uint64_t from, std::uint64_t to) {
        std::vector<std::uint8_t> maps;
        std::vector<std::uint8_t> page(kPageSize);
        for (std::uint64_t k = from; k < to; ++k) {
            const std::uint64_t ib = RangeStart(k);
            maps.clear();
            std::memset(page.data(), 0xFF, kPageSize);
            SealPage(page.data(), kPageAMap, ib, ib);
            maps.insert(maps.end(), page.begin(), page.end());
            if (RangeHasPMap(k)) {
                std::memset(page.data(), 0xFF, kPageSize);
                SealPage(page.data(), kPagePMap, ib + kPageSize, ib + kPageSize);
                maps.insert(maps.end(), page.begin(), page.end());
            }
            if (RangeHasFMap(k)) {
                // No free space anywhere in reserved ranges: every FMap entry is 0.
                std::memset(page.data(), 0, kPageSize);
                const std::uint64_t at = ib + maps.size();
                SealPage(page.data(), kPageFMap, at, at);
                maps.insert(maps.end(), page.begin(), page.end());
            }
            file.WriteAt(maps, ib);
        }
    }

    static void WriteDList(File& file, Bid bidNextP) {
        // Outlook writes an empty DList whose trailer carries bidNextP without using it up.
        std::vector<std::uint8_t> page(kPageSize, 0);
        SealPage(page.data(), kPageDList, kDListOffset, bidNextP);
        file.WriteAt(page, kDListOffset);
    }

    // The file starts as one AMap range holding an empty store, committed before it is given its
    // name (where it can be nameless) and before anything else is written.
    void CreateFile(bool nameless) {
        file_ = File::CreateNew(path_, nameless);
        try {
            fileSize_ = FileSizeForRanges(1);
            file_.Resize(fileSize_);
            WriteDList(file_, state_.bidNextP);
            WriteReservedMaps(file_, 0, 1);
            frontier_ = RangeStart(0) + RangeMapBytes(0);
            committed_ = state_;
            committed_.bidNextB = 0;  // forces the first commit
            CommitNow();
            if (!file_.LinkAsNew(path_))
                throw FileExistsError("Could not create " + path_.string() + ": " +
                                      std::generic_category().message(EEXIST));
        } catch (...) {
            file_.Unlink();
            throw;
        }
    }

    // Adds whole AMap ranges at the end for at least `needed` more bytes: their maps are written
    // past the committed end, then the header that reaches them. Nothing already written moves.
    void Grow(std::uint64_t needed) {
        const std::uint64_t ranges = RangeOf(fileSize_ - 1) + 1;
        const std::uint64_t want =
            ranges + std::max<std::uint64_t>(1, (needed + kAMapSpan - 1) / kAMapSpan);
        const std::uint64_t newSize = FileSizeForRanges(want);
        const HeaderState before = committed_;
        try {
            HeaderState h = committed_;
            h.amapValid = kInvalidAMap;
            WriteHeader(h);
            MapStep();
            file_.Resize(newSize);
            MapStep();
            WriteReservedMaps(file_, ranges, want);
            MapStep();
            h.amapValid = kValidAMap2;
            h.fileEof = newSize;
            h.amapLast = RangeStart(want - 1);
            WriteHeader(h);
        } catch (const IoError&) {
            failed_ = true;
            // Back to the last commit as it was, where the disk still takes that much.
            try {
                file_.Resize(fileSize_);
                WriteHeader(before);
            } catch (const IoError&) {
            }
            throw;
        }
        if (frontier_ >= fileSize_) frontier_ = fileSize_ + RangeMapBytes(ranges);
        fileSize_ = newSize;
    }

    // The closing state: AMaps marking exactly what is live, FMaps and the free count to match,
    // unused whole ranges at the end cut off once a header no longer reaches them. Map pages
    // that already say the right thing are left alone.
    void WriteExactState() {
        std::vector<std::uint64_t> used((fileSize_ / kSlotSize + 63) / 64, 0);
        std::uint64_t end = RangeStart(0) + kPageSize;
        auto markUsed = [&](std::uint64_t ib, std::uint64_t bytes) {
            MarkSlots(used, ib, bytes);
            end = std::max(end, ib + bytes);
        };
        nbt_.ForEachPage([&](std::uint64_t ib) { markUsed(ib, kPageSize); });
        bbt_.ForEachPage([&](std::uint64_t ib) { markUsed(ib, kPageSize); });
        bbt_.ForEach([&](const BlockEntry& e) { markUsed(e.ib, BlockSizeOnDisk(e.cb)); });
        const std::uint64_t ranges = RangeOf(end - 1) + 1;
        const std::uint64_t size = FileSizeForRanges(ranges);
        for (std::uint64_t k = 0; k < ranges; ++k) MarkSlots(used, RangeStart(k), RangeMapBytes(k));

        HeaderState h = committed_;
        h.amapValid = kInvalidAMap;
        WriteHeader(h);
        MapStep();
        std::uint64_t freeBytes = 0;
        std::vector<std::uint8_t> longestRun(ranges, 0);
        std::vector<std::uint8_t> page(kPageSize);
        for (std::uint64_t k = 0; k < ranges; ++k) {
            std::memset(page.data(), 0, kPageSize);
            const std::uint64_t first = RangeStart(k) / kSlotSize;
            std::uint64_t run = 0;
            std::uint64_t best = 0;
            // 64 slots at a time: most are all in use or all free.
            for (std::uint64_t s = 0; s < kSlotsPerAMap; s += 64) {
                const std::uint64_t bits = SlotWord(used, first + s);
                for (std::uint64_t b = 0; b < 8; ++b)  // the AMap's first slot is a byte's top bit
                    page[s / 8 + b] = kReversedBits[(bits >> (8 * b)) & 0xFF];
                const auto free = static_cast<std::uint64_t>(64 - std::popcount(bits));
                freeBytes += free * kSlotSize;
                if (free == 0) {
                    run = 0;
                } else if (free == 64) {
                    run += 64;
                    best = std::max(best, run);
                } else {
                    for (std::uint64_t i = 0; i < 64; ++i) {
                        run = (bits >> i) & 1 ? 0 : run + 1;
                        best = std::max(best, run);
                    }
                }
            }
            longestRun[k] = static_cast<std::uint8_t>(std::min<std::uint64_t>(best, 255));
            if (best == 0) continue;  // all in use: the page on disk says so already
            SealPage(page.data(), kPageAMap, RangeStart(k), RangeStart(k));
            file_.WriteAt(page, RangeStart(k));
            MapStep();
        }
        // FMaps: per AMap the longest run of free slots (capped at 255), [MS-PST] 2.2.2.7.5.
        for (std::uint64_t k = kFirstFMapRange; k < ranges; k += kAMapsPerFMap) {
            std::memset(page.data(), 0, kPageSize);
            for (std::uint64_t j = 0; j < 496 && k + j < ranges; ++j) page[j] = longestRun[k + j];
            const std::uint64_t ib = RangeStart(k) + 2 * kPageSize;
            SealPage(page.data(), kPageFMap, ib, ib);
            file_.WriteAt(page, ib);
        }
        WriteDList(file_, committed_.bidNextP);
        file_.Sync();  // all of it on the disk before a header says the maps are right
        MapStep();
        h.fileEof = size;
        h.amapLast = RangeStart(ranges - 1);
        h.amapFree = freeBytes;
        if (size < fileSize_) {
            // The end goes once no header reaches it; the maps stay marked invalid until then.
            WriteHeader(h);
            MapStep();
            file_.Resize(size);
            fileSize_ = size;
            MapStep();
        }
        h.amapValid = kValidAMap2;
        WriteHeader(h);
        file_.Sync();
        SyncDirectoryOf(path_);
    }

    struct Segment {
        std::uint64_t ib;
        std::uint64_t offset;
        std::uint64_t size;
        bool final;
    };

    std::filesystem::path path_;
    std::function<void()> afterMapStep_;
    std::function<void(std::uint64_t, std::uint64_t)> afterWriteBack_;
    File file_;
    HeaderState state_;                             // what the next commit writes
    std::array<std::uint32_t, 32> highestIndex_{};  // per NID type, the largest index ever set
    HeaderState committed_;                         // what the header on disk says
    std::uint64_t fileSize_ = 0;
    std::uint64_t frontier_ = 0;  // everything from here to the end of the file is unused

    // Freed pages and freed blocks are kept apart: a commit rewrites about as many pages as the
    // one before freed, and finds them again as one run.
    FreeSpace freeBlocks_;
    FreeSpace freePages_;
    std::vector<std::uint64_t> pagesFreeLater_;
    std::uint64_t runNext_ = 0;  // the run of pages being handed out
    std::uint64_t runLeft_ = 0;
    std::uint64_t pagesToCome_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> freeLater_;

    // Final blocks (SetFinal) and their region [finalStart_, finalEnd_), filled up to finalNext_.
    // Pages bigger than 64 KiB would leave too little of a range; such systems rewrite a bit more.
    const std::uint64_t page_ = std::min<std::uint64_t>(File::PageSize(), 64 * 1024);
    bool final_ = false;
    std::uint64_t finalStart_ = 0;
    std::uint64_t finalNext_ = 0;
    std::uint64_t finalEnd_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> writeBack_;  // written by the next Flush

    PageTree<NodeTreeTraits> nbt_;
    PageTree<BlockTreeTraits> bbt_;
    std::unordered_map<Bid, InternalBlock> internal_;
    std::unordered_multimap<std::uint64_t, Bid> internalByHash_;
    RefDeltas refDelta_;
    std::vector<Bid> unreferenced_;

    std::vector<std::uint8_t> arena_;
    std::uint64_t arenaUsed_ = 0;
    std::vector<Segment> segments_;

    bool failed_ = false;
    std::string laterFailure_;  // a failure after a commit, reported by the next call
    bool closed_ = false;
};

}  // namespace

std::unique_ptr<NodeDatabase> NodeDatabase::Create(const std::filesystem::path& path,
                                                   const CreateOptions& options) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        throw FileExistsError("Could not create " + path.string() + ": " +
                              std::generic_category().message(EEXIST));
    return std::make_unique<Writer>(path, options);
}

}  // namespace tarvelle::pst::ndb
