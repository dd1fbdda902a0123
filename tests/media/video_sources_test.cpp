// Tests of the source classes of the still-picture and phantom paths on their own: their
// clip facts, and the requests they refuse with a status instead of reading past their
// pictures.
#include "media/input/phantom/phantom_video.h"
#include "media/input/still/still_video.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaly {
namespace {

TEST(PhantomVideoSource, FactsAndRefusedRequests)
{
    TPhantomVideoSource p;
    EXPECT_FALSE(p.Create(0, 10, 5, 1, 25, pf24Bit));
    EXPECT_EQ(p.Status(), meParam);
    EXPECT_FALSE(p.Create(65535, 65535, 5, 1, 25, pf24Bit)); // 12 GB a picture
    EXPECT_EQ(p.Status(), meMemory);
    ASSERT_TRUE(p.Create(64, 48, 5, 1001, 30000, pf8Bit));
    EXPECT_EQ(p.FrameCount(), 5);
    EXPECT_EQ(p.Rate(), 30000);
    EXPECT_EQ(p.Scale(), 1001);
    EXPECT_EQ(p.ImageSize(), 64u * 48u);
    TIOImage image(64, 48, pf8Bit), other(64, 47, pf8Bit);
    for (int32_t n : {-1, 5}) {
        EXPECT_FALSE(p.GetFrame(n, image)) << n;
        EXPECT_EQ(p.Status(), meParam);
    }
    EXPECT_FALSE(p.GetFrame(0, other));
    EXPECT_EQ(p.Status(), meFrameFormat);
    // Frames carry their own numbers: two frames differ.
    ASSERT_TRUE(p.GetFrame(1, image));
    TIOImage second(64, 48, pf8Bit);
    ASSERT_TRUE(p.GetFrame(4, second));
    EXPECT_NE(0, std::memcmp(image.Bits(), second.Bits(), image.ImageSize()));
    TVideoPacket packet;
    EXPECT_FALSE(p.ReadPacket(0, packet));
    EXPECT_EQ(p.Status(), meUnsupported);
}

TEST(StillVideoSource, FactsAndRefusedRequests)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=40x30:rate=1 -frames:v 2 -start_number 0 " +
                             test::ShellQuote(dir.File("p%d.png"))));
    TStillVideoSource s;
    EXPECT_FALSE(s.Open({}));
    EXPECT_EQ(s.Status(), meParam);
    EXPECT_FALSE(s.Open({dir.File("none.png")}));
    EXPECT_EQ(s.Status(), meFileNotFound);
    ASSERT_TRUE(s.Open({dir.File("p0.png"), dir.File("p1.png"), dir.File("gone.png")}));
    EXPECT_EQ(s.FrameCount(), 3);
    EXPECT_EQ(s.Width(), 40u);
    EXPECT_EQ(s.Height(), 30u);
    TIOImage image(40, 30, pf24Bit);
    EXPECT_TRUE(s.GetFrame(1, image));
    EXPECT_FALSE(s.GetFrame(2, image)); // a list file removed after opening
    EXPECT_EQ(s.Status(), meFileNotFound);
    EXPECT_FALSE(s.GetFrame(3, image));
    EXPECT_EQ(s.Status(), meParam);
    TVideoPacket packet;
    EXPECT_FALSE(s.ReadPacket(0, packet));
    EXPECT_EQ(s.Status(), meUnsupported);
}

} // namespace
} // namespace tessaly
