// Tests of the writer's index chains: entries kept in order across 2048-entry nodes and
// flattened into raw entries or 'idx1' records.
#include <gtest/gtest.h>

#include "media/common/byte_order.h"
#include "media/output/avi_index.h"

using namespace tessaly;

namespace {

TAviIndexEntry Entry(uint32_t i)
{
    TAviIndexEntry e;
    e.Offset = int64_t(i) * 100003 + (int64_t(i % 7) << 32);   // beyond 32 bits too
    e.ChunkId = i % 2 ? FourCC("01wb") : FourCC("00dc");
    e.SizeWord = (i * 37) | (i % 3 ? kAviNotKeyFrameBit : 0);
    return e;
}

} // namespace

TEST(AviIndex, RawFlatteningKeepsEveryEntryAcrossNodes)
{
    for (uint32_t n : {0u, 1u, 2047u, 2048u, 2049u, 5000u}) {
        TAviIndex index;
        for (uint32_t i = 0; i < n; ++i)
            ASSERT_TRUE(index.Append(Entry(i)));
        EXPECT_EQ(index.Count(), n);
        std::vector<TAviIndexEntry> out;
        ASSERT_TRUE(index.FlattenRaw(out));
        ASSERT_EQ(out.size(), n);
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_EQ(out[i].Offset, Entry(i).Offset) << i;
            EXPECT_EQ(out[i].ChunkId, Entry(i).ChunkId) << i;
            EXPECT_EQ(out[i].SizeWord, Entry(i).SizeWord) << i;
        }
        EXPECT_EQ(index.Count(), 0u);   // the nodes are freed
        ASSERT_TRUE(index.Append(Entry(9)));
        EXPECT_EQ(index.Count(), 1u);
    }
}

TEST(AviIndex, LegacyRecordsCarryKeyFlagsAndLow32BitOffsets)
{
    TAviIndex index;
    for (uint32_t i = 0; i < 4100; ++i) {
        ASSERT_TRUE(index.Reserve());
        ASSERT_TRUE(index.Append(Entry(i)));
    }
    std::vector<uint8_t> out;
    ASSERT_TRUE(index.FlattenLegacy(out));
    ASSERT_EQ(out.size(), 4100u * 16);
    for (uint32_t i = 0; i < 4100; ++i) {
        const uint8_t *r = &out[size_t(i) * 16];
        TAviIndexEntry e = Entry(i);
        EXPECT_EQ(GetLE32(r), e.ChunkId);
        EXPECT_EQ(GetLE32(r + 4), i % 3 ? 0u : 0x10u);
        EXPECT_EQ(GetLE32(r + 8), uint32_t(e.Offset));
        EXPECT_EQ(GetLE32(r + 12), i * 37);
    }
    EXPECT_EQ(index.Count(), 0u);
}
