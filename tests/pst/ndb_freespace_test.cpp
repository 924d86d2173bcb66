// The writer's free-space map: merging, smallest fit, alignment.
#include <gtest/gtest.h>

#include "pst/ndb/FreeSpace.h"

namespace tarvelle::pst::ndb {
namespace {

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
