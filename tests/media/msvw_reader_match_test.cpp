// The system media layer and the own reader deliver the same bytes for every sample of a
// WAV file, including files with extra chunks before the data and a partial last block.
#include <gtest/gtest.h>

#include <cstring>

#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "platform/avi_file.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// A 3-channel 24-bit WAV with a LIST chunk before 'data' and two stray bytes after the
// last whole block; sample bytes follow a simple pattern.
std::string BuildWav(TTempDir &dir, int frames)
{
    std::string out;
    TByteWriter w(out);
    const uint32_t block = 9, dataSize = uint32_t(frames) * block + 2;
    w.U32(FourCC("RIFF"));
    w.U32(4 + 24 + 8 + 10 + 8 + dataSize);
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(16);
    w.U16(1);
    w.U16(3);
    w.U32(32000);
    w.U32(32000 * block);
    w.U16(uint16_t(block));
    w.U16(24);
    w.U32(FourCC("LIST"));
    w.U32(10);
    w.Bytes("INFOISFT\0\0", 10);
    w.U32(FourCC("data"));
    w.U32(dataSize);
    for (uint32_t i = 0; i < dataSize; ++i)
        w.U8(uint8_t(i * 31 + (i >> 8)));
    std::string path = dir.File("odd.wav");
    EXPECT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(out.begin(), out.end())));
    return path;
}

TEST(MsvwReaderMatchTest, SameBytesForEverySample)
{
    TTempDir dir;
    const int frames = 20011;
    std::string path = BuildWav(dir, frames);
    TAviFile msvw;
    TAvi2Reader own;
    ASSERT_EQ(msvw.Open(path), AVIERR_OK);
    ASSERT_EQ(own.Open(path), AVIERR_OK);
    AVISTREAMINFO a, b;
    ASSERT_EQ(msvw.GetStreamInfo(0, a), AVIERR_OK);
    own.GetStreamInfo(0, b);
    EXPECT_EQ(a.dwLength, uint32_t(frames));
    EXPECT_EQ(b.dwLength, uint32_t(frames));
    EXPECT_EQ(a.dwScale, b.dwScale);
    EXPECT_EQ(a.dwRate, b.dwRate);
    EXPECT_EQ(a.dwSampleSize, b.dwSampleSize);
    int32_t fa = 0, fb = 0;
    msvw.ReadFormat(0, fa, nullptr);
    own.ReadFormat(0, fb, nullptr);
    std::vector<uint8_t> fmtA(static_cast<size_t>(fa)), fmtB(static_cast<size_t>(fb));
    msvw.ReadFormat(0, fa, fmtA.data());
    own.ReadFormat(0, fb, fmtB.data());
    EXPECT_EQ(std::vector<uint8_t>(fmtA.begin(), fmtA.begin() + 16), std::vector<uint8_t>(fmtB.begin(), fmtB.begin() + 16));

    std::vector<uint8_t> x(9 * 4096), y(9 * 4096);
    for (int32_t start : {0, 1, 4095, 4096, 12345, frames - 4096, frames - 1, 777}) {
        int32_t count = std::min(4096, frames - start);
        int32_t bx = 0, sx = 0, by = 0, sy = 0;
        ASSERT_EQ(msvw.Read(0, start, count, x.data(), int32_t(x.size()), &bx, &sx), AVIERR_OK) << start;
        ASSERT_EQ(own.Read(0, start, count, y.data(), int32_t(y.size()), &by, &sy), AVIERR_OK) << start;
        ASSERT_EQ(sx, count);
        ASSERT_EQ(sy, count);
        ASSERT_EQ(0, std::memcmp(x.data(), y.data(), size_t(count) * 9)) << start;
        ASSERT_EQ(x[0], uint8_t(uint32_t(start) * 9 * 31 + ((uint32_t(start) * 9) >> 8))) << start;
    }
}

} // namespace
