// The format's arithmetic (CRC, block sizes, signatures, the permutation cipher) against
// independent references, and the writer's free-space map.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/FreeSpace.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {
namespace {

// The bitwise loop of [MS-PST] 5.3: polynomial 0xEDB88320, no inversions.
std::uint32_t BitwiseCrc(std::span<const std::uint8_t> data, std::uint32_t crc) {
    for (std::uint8_t b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

// Long data takes the carry-less multiplication path where the processor has one: every length
// around its 16- and 64-byte steps, and any seed, must give the bitwise loop's value.
TEST(NdbCrc, MatchesTheBitwiseLoopForEveryPathAndSeed) {
    const char* digits = "123456789";
    EXPECT_EQ(Crc({reinterpret_cast<const std::uint8_t*>(digits), 9}), 0x2DFD2D88u);
    EXPECT_EQ(Crc({}, 0x1234ABCDu), 0x1234ABCDu);  // empty data has a null data()
    std::vector<std::uint8_t> data(8176 + 15);
    std::uint32_t x = 12345;
    for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    for (std::size_t size : {0u, 1u, 15u, 63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 191u, 200u,
                             496u, 516u, 1000u, 8176u, 8191u}) {
        for (std::uint32_t seed : {0u, 0xFFFFFFFFu, 0x1234ABCDu}) {
            const std::span<const std::uint8_t> part(data.data(), size);
            EXPECT_EQ(Crc(part, seed), BitwiseCrc(part, seed)) << size << " " << seed;
        }
    }
}

// Writer and verifier share these: only values worked out by hand from [MS-PST] 2.2.2.7.1 and
// 2.2.2.8.1 catch a change to them where the strict checker is not at hand.
TEST(NdbFormat, BlockSizesAndSignaturesAsWorkedOutByHand) {
    EXPECT_EQ(BlockSizeOnDisk(48), 64u);  // payload and trailer fill one 64-byte slot
    EXPECT_EQ(BlockSizeOnDisk(49), 128u);
    EXPECT_EQ(ComputeSig(0xFFFF'0000'1234'5678ull, 0x4), 0x1234 ^ 0x567C);  // low 32 bits only
}

TEST(NdbPermute, EncodesWithThePublishedTablesAndDecodeInvertsIt) {
    // First entries of mpbbR and mpbbI as printed in [MS-PST] 5.1.
    std::vector<std::uint8_t> b = {0, 1, 2, 3, 0xFF};
    PermuteEncode(b);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0x41, 0x36, 0x13, 0x62, 0x3D}));
    std::vector<std::uint8_t> c = {0, 1, 2, 3};
    PermuteDecode(c);
    EXPECT_EQ(c, (std::vector<std::uint8_t>{0x47, 0xF1, 0xB4, 0xE6}));

    // Long buffers take the vector path where the processor has one: each byte must still get
    // the table's value, including the lengths around the 64-byte steps.
    for (std::size_t size : {63u, 64u, 65u, 256u, 8176u}) {
        std::vector<std::uint8_t> all(size);
        std::iota(all.begin(), all.end(), 0);
        std::vector<std::uint8_t> bulk = all, single = all;
        PermuteEncode(bulk);
        for (auto& s : single) PermuteEncode(std::span<std::uint8_t>(&s, 1));
        EXPECT_EQ(bulk, single) << size;
        EXPECT_NE(bulk, all) << size;
        PermuteDecode(bulk);
        EXPECT_EQ(bulk, all) << size;
    }
}

TEST(NdbFreeSpace, MergesNeighboursAndServesFromTheSmallestExtentThatFits) {
    FreeSpace space;
    space.Add(0x5000, 512);
    space.Add(0x5400, 512);
    EXPECT_EQ(space.Extents(), 2u);
    space.Add(0x5200, 512);  // fills the gap: one extent of 1536 bytes
    EXPECT_EQ(space.Extents(), 1u);
    EXPECT_EQ(space.TotalBytes(), 1536u);
    EXPECT_EQ(space.Take(1536, 512), 0x5000u);
    EXPECT_EQ(space.TotalBytes(), 0u);
    EXPECT_EQ(space.Take(64, 64), 0u) << "nothing left";

    // The smallest extent that fits serves a request.
    space.Add(0x10000, 4096);
    space.Add(0x20000, 1024);
    space.Add(0x30000, 2048);
    EXPECT_EQ(space.Take(1024, 64), 0x20000u);
    EXPECT_EQ(space.Take(1500, 64), 0x30000u);
    EXPECT_EQ(space.TotalBytes(), 4096u + 548u);  // the rest of the 2048 stays free
    EXPECT_EQ(space.Take(5000, 64), 0u);
}

TEST(NdbFreeSpace, AlignsPagesInsideLargerExtents) {
    FreeSpace space;
    space.Add(0x4840, 1024);  // 64-aligned only: one 512-aligned page fits at 0x4A00
    EXPECT_EQ(space.Take(1024, 512), 0u) << "two aligned pages do not fit";
    EXPECT_EQ(space.Take(512, 512), 0x4A00u);
    // What is left on both sides stays free for blocks.
    EXPECT_EQ(space.TotalBytes(), 512u);
    EXPECT_EQ(space.Take(448, 64), 0x4840u);
    EXPECT_EQ(space.Take(64, 64), 0x4C00u);
}

}  // namespace
}  // namespace tarvelle::pst::ndb
