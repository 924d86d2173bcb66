// On-disk constants and small helpers of the node database layer ([MS-PST] 2.2.2).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvelle::pst::ndb {

inline constexpr std::uint64_t kPageSize = 512;
inline constexpr std::uint64_t kSlotSize = 64;  // allocation unit of the AMaps
inline constexpr std::uint64_t kMaxBlockSize = 8192;
inline constexpr std::size_t kHeaderSize = 564;
inline constexpr std::uint64_t kDListOffset = 0x4200;
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
// One AMap page maps 496 * 8 slots of 64 bytes ([MS-PST] 2.2.2.7.2).
inline constexpr std::uint64_t kAMapSpan = 496ull * 8 * kSlotSize;
inline constexpr std::uint64_t kSlotsPerAMap = 496ull * 8;
// A PMap every 8 AMaps; FMap pages from the 128th AMap on, one per 496 AMaps
// ([MS-PST] 2.2.2.7.3, 2.2.2.7.5; the header's rgbFM stands in for the first 128).
inline constexpr std::uint64_t kAMapsPerPMap = 8;
inline constexpr std::uint64_t kFirstFMapRange = 128;
inline constexpr std::uint64_t kAMapsPerFMap = 496;

inline constexpr std::size_t kBlockTrailerSize = 16;
inline constexpr std::size_t kPageTrailerSize = 16;
inline constexpr std::size_t kBtEntriesSize = 488;
inline constexpr std::size_t kNbtLeafEntries = 15;   // 32-byte NBTENTRY
inline constexpr std::size_t kBbtLeafEntries = 20;   // 24-byte BBTENTRY
inline constexpr std::size_t kBtBranchEntries = 20;  // 24-byte BTENTRY
inline constexpr std::size_t kXBlockMaxChildren = 1021;
inline constexpr std::size_t kSlBlockMaxEntries = 340;
inline constexpr std::size_t kSiBlockMaxEntries = 510;

enum PageType : std::uint8_t {
    kPageBbt = 0x80,
    kPageNbt = 0x81,
    kPageFMap = 0x82,
    kPagePMap = 0x83,
    kPageAMap = 0x84,
    kPageDList = 0x86,
};

// Bit 1 of a BID marks an internal block (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK).
inline constexpr std::uint64_t kBidInternal = 2;

// HEADER of a Unicode file ([MS-PST] 2.2.2.6) with its ROOT (2.2.2.5): field offsets.
namespace header {
inline constexpr std::size_t kMagic = 0;  // "!BDN"
inline constexpr std::size_t kCrcPartial = 4;
inline constexpr std::size_t kMagicClient = 8;  // "SM"
inline constexpr std::size_t kVersion = 10;
inline constexpr std::size_t kClientVersion = 12;
inline constexpr std::size_t kPlatformCreate = 14;
inline constexpr std::size_t kPlatformAccess = 15;
inline constexpr std::size_t kBidNextP = 32;
inline constexpr std::size_t kUnique = 40;
inline constexpr std::size_t kRgnid = 44;  // 32 NID counters of 4 bytes
inline constexpr std::size_t kFileEof = 184;
inline constexpr std::size_t kAMapLast = 192;
inline constexpr std::size_t kAMapFree = 200;
inline constexpr std::size_t kPMapFree = 208;
inline constexpr std::size_t kNbtRoot = 216;  // BREF: BID, then offset
inline constexpr std::size_t kBbtRoot = 232;
inline constexpr std::size_t kAMapValid = 248;
inline constexpr std::size_t kFMapBytes = 256;   // rgbFM
inline constexpr std::size_t kFPMapBytes = 384;  // rgbFP
inline constexpr std::size_t kSentinel = 512;
inline constexpr std::size_t kCryptMethod = 513;
inline constexpr std::size_t kBidNextB = 516;
inline constexpr std::size_t kCrcFull = 524;
// dwCRCPartial covers 471 bytes from wMagicClient, dwCRCFull 516.
inline constexpr std::size_t kCrcPartialSpan = 471;
inline constexpr std::size_t kCrcFullSpan = 516;
inline constexpr std::uint16_t kVersionUnicode = 23;
inline constexpr std::uint16_t kVersionClient = 19;
inline constexpr std::uint8_t kSentinelValue = 0x80;
inline constexpr std::uint8_t kCryptPermute = 1;  // NDB_CRYPT_PERMUTE, the only encoding written
}  // namespace header

// ROOT.fAMapValid: 0 makes readers rebuild the allocation maps.
enum AMapValidity : std::uint8_t { kInvalidAMap = 0, kValidAMap1 = 1, kValidAMap2 = 2 };

// PAGETRAILER, the last 16 bytes of every page ([MS-PST] 2.2.2.7.1).
struct PageTrailer {
    std::uint8_t ptype = 0;
    std::uint8_t ptypeRepeat = 0;
    std::uint16_t sig = 0;
    std::uint32_t crc = 0;  // of the 496 bytes before the trailer
    std::uint64_t bid = 0;  // page BID; a map page's own offset

    static PageTrailer Read(const std::uint8_t* page);
    void Write(std::uint8_t* page) const;
};

// BLOCKTRAILER, the last 16 bytes of every block ([MS-PST] 2.2.2.8.1).
struct BlockTrailer {
    std::uint16_t cb = 0;  // payload bytes
    std::uint16_t sig = 0;
    std::uint32_t crc = 0;  // of the payload as stored
    std::uint64_t bid = 0;

    // `trailer` points at the trailer itself (block start + BlockSizeOnDisk(cb) - 16).
    static BlockTrailer Read(const std::uint8_t* trailer);
    void Write(std::uint8_t* trailer) const;
};

// The four bytes after a B-tree page's entries ([MS-PST] 2.2.2.7.7.1).
struct BtPageInfo {
    std::uint8_t cEnt = 0;
    std::uint8_t cEntMax = 0;
    std::uint8_t cbEnt = 0;
    std::uint8_t cLevel = 0;  // 0: leaf
};
static_assert(sizeof(BtPageInfo) == 4);

// [MS-PST] 5.5: the signature of a block or B-tree page.
constexpr std::uint16_t ComputeSig(std::uint64_t ib, std::uint64_t bid) {
    const auto v = static_cast<std::uint32_t>((ib ^ bid) & 0xFFFFFFFFu);
    return static_cast<std::uint16_t>((v >> 16) ^ (v & 0xFFFFu));
}

// On-disk size of a block with `cb` payload bytes: payload and trailer, rounded up to 64.
constexpr std::uint64_t BlockSizeOnDisk(std::uint64_t cb) {
    return (cb + kBlockTrailerSize + kSlotSize - 1) / kSlotSize * kSlotSize;
}

// Geometry of AMap range `k` (the 253,952 bytes that AMap page k maps).
constexpr std::uint64_t RangeStart(std::uint64_t k) { return kFirstAMapOffset + k * kAMapSpan; }
constexpr bool RangeHasPMap(std::uint64_t k) { return k % kAMapsPerPMap == 0; }
constexpr bool RangeHasFMap(std::uint64_t k) {
    return k >= kFirstFMapRange && (k - kFirstFMapRange) % kAMapsPerFMap == 0;
}
// Bytes at the start of range k taken by its map pages (AMap, then PMap, then FMap).
constexpr std::uint64_t RangeMapBytes(std::uint64_t k) {
    return kPageSize * (1 + (RangeHasPMap(k) ? 1 : 0) + (RangeHasFMap(k) ? 1 : 0));
}
constexpr std::uint64_t FileSizeForRanges(std::uint64_t ranges) { return RangeStart(ranges); }

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}
inline std::uint64_t GetU64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

inline PageTrailer PageTrailer::Read(const std::uint8_t* page) {
    const std::uint8_t* t = page + kPageSize - kPageTrailerSize;
    return {t[0], t[1], GetU16(t + 2), GetU32(t + 4), GetU64(t + 8)};
}
inline void PageTrailer::Write(std::uint8_t* page) const {
    std::uint8_t* t = page + kPageSize - kPageTrailerSize;
    t[0] = ptype;
    t[1] = ptypeRepeat;
    PutU16(t + 2, sig);
    PutU32(t + 4, crc);
    PutU64(t + 8, bid);
}
inline BlockTrailer BlockTrailer::Read(const std::uint8_t* t) {
    return {GetU16(t), GetU16(t + 2), GetU32(t + 4), GetU64(t + 8)};
}
inline void BlockTrailer::Write(std::uint8_t* t) const {
    PutU16(t, cb);
    PutU16(t + 2, sig);
    PutU32(t + 4, crc);
    PutU64(t + 8, bid);
}

}  // namespace tarvelle::pst::ndb
