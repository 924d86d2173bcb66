// The format's arithmetic: CRC, block and page signatures, the permutation cipher.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/NodeDatabase.h"
#include "tests/support/Shared.h"

namespace tarvelle::pst::ndb {
namespace {

std::span<const std::uint8_t> Bytes(const char* text) {
    return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

std::vector<std::uint8_t> ReadReference(const char* name) {
    std::ifstream in(fakes::SharedDir() / "pst-reference" / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(NdbCrc, MatchesValuesComputedBitByBit) {
    // Computed with the bitwise loop of [MS-PST] 5.3 (polynomial 0xEDB88320, start 0, no final
    // inversion), independently of zlib.
    EXPECT_EQ(Crc(Bytes("123456789")), 0x2DFD2D88u);
    EXPECT_EQ(Crc(Bytes("a")), 0x3AB551CEu);
    EXPECT_EQ(Crc(Bytes("")), 0u);
    EXPECT_EQ(Crc({}), 0u);  // an empty vector's data() is null, which zlib treats apart
    EXPECT_EQ(Crc({}, 0x1234ABCDu), 0x1234ABCDu);
    const std::vector<std::uint8_t> zeros(4096, 0);
    EXPECT_EQ(Crc(zeros), 0u);  // start value 0 and no inversion: zeros leave it at 0
    const std::vector<std::uint8_t> ones(4, 0xFF);
    EXPECT_EQ(Crc(ones), 0xDEBB20E3u);
}

// Long data takes the carry-less multiplication path where the processor has one: every length
// around its 16- and 64-byte steps, and any seed, must give the bitwise loop's value.
TEST(NdbCrc, LongDataMatchesTheBitwiseLoop) {
    auto bitwise = [](std::span<const std::uint8_t> data, std::uint32_t crc) {
        for (std::uint8_t b : data) {
            crc ^= b;
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return crc;
    };
    std::vector<std::uint8_t> data(8176 + 15);
    std::uint32_t x = 12345;
    for (auto& b : data) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    for (std::size_t size :
         {63u, 64u, 65u, 79u, 80u, 127u, 128u, 129u, 191u, 200u, 496u, 516u, 1000u, 8176u, 8191u}) {
        for (std::uint32_t seed : {0u, 0xFFFFFFFFu, 0x1234ABCDu}) {
            const std::span<const std::uint8_t> part(data.data(), size);
            EXPECT_EQ(Crc(part, seed), bitwise(part, seed)) << size << " " << seed;
        }
    }
}

TEST(NdbCrc, IsZlibCrcWithoutTheInversionsAndChains) {
    const auto data = Bytes("The quick brown fox jumps over the lazy dog");
    const auto zlibCrc = static_cast<std::uint32_t>(crc32(0xFFFFFFFFul, data.data(), 43));
    EXPECT_EQ(Crc(data), zlibCrc ^ 0xFFFFFFFFu);
    EXPECT_EQ(Crc(data.subspan(10), Crc(data.first(10))), Crc(data));
}

TEST(NdbCrc, ReproducesTheHeaderCrcsOfAnOutlookFile) {
    TARVELLE_SKIP_WITHOUT_SHARED("pst-reference");
    const auto file = ReadReference("outlook-pst-rs_Empty.pst");
    ASSERT_GE(file.size(), kHeaderSize);
    const std::span<const std::uint8_t> all(file);
    EXPECT_EQ(Crc(all.subspan(8, 471)), GetU32(&file[4]));    // dwCRCPartial
    EXPECT_EQ(Crc(all.subspan(8, 516)), GetU32(&file[524]));  // dwCRCFull
    // The node B-tree root page of that file sits at 0x9200.
    EXPECT_EQ(Crc(all.subspan(0x9200, 496)), GetU32(&file[0x9200 + 500]));
}

TEST(NdbSignature, FollowsTheFormula) {
    EXPECT_EQ(ComputeSig(0, 0), 0);
    EXPECT_EQ(ComputeSig(0x12345678, 0), 0x1234 ^ 0x5678);
    // Only the low 32 bits of ib ^ bid take part.
    EXPECT_EQ(ComputeSig(0xFFFF'0000'0000'0004ull, 0x4), 0);
    EXPECT_EQ(ComputeSig(0x4400, 0x24), 0x4424);
}

TEST(NdbSignature, MatchesThePageTrailersOfAnOutlookFile) {
    TARVELLE_SKIP_WITHOUT_SHARED("pst-reference");
    const auto file = ReadReference("outlook-pst-rs_Empty.pst");
    ASSERT_GE(file.size(), 0x9200u + 512);
    for (std::uint64_t ib : {0x9200ull, 0x8400ull}) {  // NBT and BBT roots of that file
        const std::uint8_t* trailer = &file[ib + 496];
        EXPECT_EQ(ComputeSig(ib, GetU64(trailer + 8)), GetU16(trailer + 2)) << std::hex << ib;
    }
}

TEST(NdbPermute, EncodesWithThePublishedTables) {
    // First entries of mpbbR and mpbbI as printed in [MS-PST] 5.1.
    std::vector<std::uint8_t> b = {0, 1, 2, 3, 0xFF};
    PermuteEncode(b);
    EXPECT_EQ(b, (std::vector<std::uint8_t>{0x41, 0x36, 0x13, 0x62, 0x3D}));
    std::vector<std::uint8_t> c = {0, 1, 2, 3};
    PermuteDecode(c);
    EXPECT_EQ(c, (std::vector<std::uint8_t>{0x47, 0xF1, 0xB4, 0xE6}));
}

TEST(NdbPermute, DecodeInvertsEncodeForEveryByte) {
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    auto encoded = all;
    PermuteEncode(encoded);
    auto sorted = encoded;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, all) << "the encoding must be a permutation";
    EXPECT_NE(encoded, all);
    PermuteDecode(encoded);
    EXPECT_EQ(encoded, all);
}

// Long buffers take the vector path where the processor has one; each byte must still get the
// table's value, including the lengths around the 64-byte steps.
TEST(NdbPermute, LongBuffersEncodeAsSingleBytesDo) {
    for (std::size_t size : {63u, 64u, 65u, 200u, 8176u}) {
        std::vector<std::uint8_t> bulk(size);
        for (std::size_t i = 0; i < size; ++i) bulk[i] = static_cast<std::uint8_t>(i * 151 + 7);
        std::vector<std::uint8_t> single = bulk;
        PermuteEncode(bulk);
        for (auto& b : single) PermuteEncode(std::span<std::uint8_t>(&b, 1));
        EXPECT_EQ(bulk, single) << size;
        PermuteDecode(bulk);
        for (auto& b : single) PermuteDecode(std::span<std::uint8_t>(&b, 1));
        EXPECT_EQ(bulk, single) << size;
    }
}

TEST(NdbGeometry, PlacesMapPagesWhereTheFormatExpectsThem) {
    EXPECT_EQ(RangeStart(0), 0x4400u);
    EXPECT_EQ(RangeStart(1), 0x4400u + 253952);
    EXPECT_TRUE(RangeHasPMap(0));
    EXPECT_FALSE(RangeHasPMap(1));
    EXPECT_TRUE(RangeHasPMap(8));
    EXPECT_FALSE(RangeHasFMap(0));
    EXPECT_FALSE(RangeHasFMap(127));
    EXPECT_TRUE(RangeHasFMap(128));
    EXPECT_FALSE(RangeHasFMap(129));
    EXPECT_TRUE(RangeHasFMap(128 + 496));
    // The first FMap page: after the AMap and PMap of range 128.
    EXPECT_EQ(RangeStart(128) + 2 * kPageSize, 0x1F04800u);
    EXPECT_EQ(RangeMapBytes(128), 3 * kPageSize);
    EXPECT_EQ(RangeMapBytes(3), kPageSize);
    EXPECT_EQ(BlockSizeOnDisk(0), 64u);
    EXPECT_EQ(BlockSizeOnDisk(48), 64u);
    EXPECT_EQ(BlockSizeOnDisk(49), 128u);
    EXPECT_EQ(BlockSizeOnDisk(kMaxBlockPayload), 8192u);
}

}  // namespace
}  // namespace tarvelle::pst::ndb
