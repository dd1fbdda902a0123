// Little-endian helpers: round trips, four-character codes, bounds-checked reads.
#include "media/common/byte_order.h"
#include "media/common/vfw_types.h"

#include <gtest/gtest.h>

using namespace tessaly;

TEST(ByteOrder, RoundTripsAndFourCC)
{
    uint8_t b[8];
    PutLE32(b, 0x11223344u);
    EXPECT_EQ(b[0], 0x44);
    EXPECT_EQ(GetLE32(b), 0x11223344u);
    PutLE64(b, 0x0102030405060708ull);
    EXPECT_EQ(GetLE64(b), 0x0102030405060708ull);
    EXPECT_EQ(FourCC("RIFF"), 0x46464952u);
    EXPECT_EQ(FourCC("vids"), uint32_t(streamtypeVIDEO));
    EXPECT_EQ(FourCCText(FourCC("idx1")), "idx1");
}

TEST(ByteOrder, ReaderLatchesOnOverrun)
{
    const uint8_t data[6] = {1, 0, 2, 0, 0, 0};
    TByteReader r(data, sizeof data);
    EXPECT_EQ(r.U16(), 1);
    EXPECT_EQ(r.U32(), 2u);
    EXPECT_FALSE(r.Failed());
    EXPECT_EQ(r.U16(), 0);
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.U8(), 0); // stays failed
}

TEST(ByteOrder, WriterPatchesSizes)
{
    std::string out;
    TByteWriter w(out);
    w.U32(FourCC("RIFF"));
    w.U32(0);
    w.U16(7);
    w.PatchU32(4, 1234);
    ASSERT_EQ(out.size(), 10u);
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(out.data()) + 4), 1234u);
}
