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

// fAMapValid of the header's ROOT ([MS-PST] 2.2.2.5).
inline constexpr std::uint8_t kAMapInvalid = 0;
inline constexpr std::uint8_t kAMapValid2 = 2;

// Bit 1 of a BID marks an internal block (XBLOCK, XXBLOCK, SLBLOCK, SIBLOCK).
inline constexpr std::uint64_t kBidInternal = 2;

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

}  // namespace tarvelle::pst::ndb
