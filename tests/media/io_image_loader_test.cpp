// Tests of still-image loading: hand-built BMP files and FFmpeg-made PNG, JPEG and BMP files
// compared with FFmpeg's own decode.
#include "media/common/byte_order.h"
#include "media/common/io_image_loader.h"

#include "support/test_support.h"
#include "support/video_test_support.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using test::TTempDir;

// A BMP file: file header, 40-byte information header, palette, pixel rows as given.
std::vector<uint8_t> MakeBmp(int32_t width, int32_t height, int bits, const std::vector<uint8_t> &palette,
                             const std::vector<uint8_t> &pixels, uint32_t compression = BI_RGB)
{
    std::string s;
    TByteWriter w(s);
    const uint32_t off = 14 + 40 + uint32_t(palette.size());
    w.U8('B'); w.U8('M');
    w.U32(off + uint32_t(pixels.size()));
    w.U32(0);
    w.U32(off);
    w.U32(40);
    w.U32(uint32_t(width));
    w.U32(uint32_t(height));
    w.U16(1);
    w.U16(uint16_t(bits));
    w.U32(compression);
    w.U32(uint32_t(pixels.size()));
    w.U32(2835); w.U32(2835);
    w.U32(uint32_t(palette.size() / 4));
    w.U32(0);
    w.Bytes(palette.data(), palette.size());
    w.Bytes(pixels.data(), pixels.size());
    return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(IOImageLoaderBmp, PalettisedBottomUpAndTopDown)
{
    // 3 x 2 at 8 bits with a 3-entry palette; rows padded to 4 bytes, bottom row first.
    const std::vector<uint8_t> palette = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};
    const std::vector<uint8_t> rows = {2, 1, 0, 0, 0, 1, 2, 0};
    std::unique_ptr<TIOImage> img;
    ASSERT_EQ(LoadBmp(MakeBmp(3, 2, 8, palette, rows), img), lsOk);
    EXPECT_EQ(img->PixelFormat(), pf8Bit);
    EXPECT_EQ(img->Pixel(0, 0), 0);  // top row is the second stored row
    EXPECT_EQ(img->Pixel(2, 0), 2);
    EXPECT_EQ(img->Pixel(0, 1), 2);
    EXPECT_EQ(img->PaletteEntry(0), (TIOColor{255, 0, 0}));
    EXPECT_EQ(img->PaletteEntry(1), (TIOColor{0, 255, 0}));
    EXPECT_EQ(img->PaletteEntry(2), (TIOColor{0, 0, 255}));
    EXPECT_EQ(img->DpiX(), 72);

    ASSERT_EQ(LoadBmp(MakeBmp(3, -2, 8, palette, rows), img), lsOk);
    EXPECT_EQ(img->Pixel(0, 0), 2);  // negative height: top row first
    EXPECT_EQ(img->Pixel(0, 1), 0);
}

TEST(IOImageLoaderBmp, PackedPixelsBecomeTwentyFourBit)
{
    // 2 x 1 at 16 bits (5-5-5): pure red and a mid grey; then 32 bits.
    const uint16_t red = 0x1F << 10, grey = (16 << 10) | (16 << 5) | 16;
    std::vector<uint8_t> p16 = {uint8_t(red), uint8_t(red >> 8), uint8_t(grey), uint8_t(grey >> 8)};
    std::unique_ptr<TIOImage> img;
    ASSERT_EQ(LoadBmp(MakeBmp(2, 1, 16, {}, p16), img), lsOk);
    EXPECT_EQ(img->PixelFormat(), pf24Bit);
    EXPECT_EQ(img->PixelColor(0, 0), (TIOColor{248, 0, 0}));
    EXPECT_EQ(img->PixelColor(1, 0), (TIOColor{128, 128, 128}));
    std::vector<uint8_t> p32 = {1, 2, 3, 99, 4, 5, 6, 99};
    ASSERT_EQ(LoadBmp(MakeBmp(2, 1, 32, {}, p32), img), lsOk);
    EXPECT_EQ(img->PixelColor(0, 0), (TIOColor{3, 2, 1}));
    EXPECT_EQ(img->PixelColor(1, 0), (TIOColor{6, 5, 4}));
}

TEST(IOImageLoaderBmp, DamagedFilesAreRefused)
{
    std::unique_ptr<TIOImage> img;
    std::vector<uint8_t> good = MakeBmp(4, 4, 24, {}, std::vector<uint8_t>(48, 7));
    ASSERT_EQ(LoadBmp(good, img), lsOk);
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);        // pixel rows one byte short
    EXPECT_EQ(LoadBmp(cut, img), lsImageFormat);
    std::vector<uint8_t> off = good;
    PutLE32(off.data() + 10, 0xFFFFFF00u);                            // pixels past the end
    EXPECT_EQ(LoadBmp(off, img), lsImageFormat);
    std::vector<uint8_t> huge = good;
    PutLE32(huge.data() + 18, 70000);                                 // width beyond 16 bits
    EXPECT_EQ(LoadBmp(huge, img), lsImageFormat);
    std::vector<uint8_t> zero = good;
    PutLE32(zero.data() + 22, 0);
    EXPECT_EQ(LoadBmp(zero, img), lsImageFormat);
    std::vector<uint8_t> rle = MakeBmp(4, 4, 8, std::vector<uint8_t>(1024), std::vector<uint8_t>(16), BI_RLE8);
    EXPECT_EQ(LoadBmp(rle, img), lsImageFormat);
    std::vector<uint8_t> palCut = MakeBmp(2, 1, 8, std::vector<uint8_t>(1024), std::vector<uint8_t>(4));
    PutLE32(palCut.data() + 46, 0);                                   // all 256 entries wanted
    palCut.resize(14 + 40 + 100);
    EXPECT_EQ(LoadBmp(palCut, img), lsImageFormat);
    EXPECT_EQ(LoadBmp(std::vector<uint8_t>{'B', 'M'}, img), lsUnknownFormat);
}

TEST(IOImageLoaderFiles, StatusesAndPatterns)
{
    TTempDir dir;
    std::unique_ptr<TIOImage> img;
    EXPECT_EQ(LoadImageFile(dir.File("missing.bmp"), img), lsFileNotFound);
    test::WriteFileBytes(dir.File("text.png"), {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(LoadImageFile(dir.File("text.png"), img), lsUnknownFormat);
    EXPECT_FALSE(img);
    std::vector<uint8_t> bad = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H'};
    test::WriteFileBytes(dir.File("bad.png"), bad);
    EXPECT_EQ(LoadImageFile(dir.File("bad.png"), img), lsImageFormat);
    EXPECT_EQ(ImageFilePatterns(), "*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;*.jfif");
}

// Loads a file made by ffmpeg and compares it with ffmpeg's own BGR24 decode.
void ExpectSameAsFfmpeg(const std::string &path, TIOPixelFormat expectedFormat)
{
    std::unique_ptr<TIOImage> img;
    ASSERT_EQ(LoadImageFile(path, img), lsOk) << path;
    EXPECT_EQ(img->PixelFormat(), expectedFormat) << path;
    const std::string ref = test::FfmpegBgr24(path);
    ASSERT_EQ(ref.size(), test::Bgr24FrameSize(img->Width(), img->Height())) << path;
    const auto *expected = reinterpret_cast<const uint8_t *>(ref.data());
    for (uint32_t y = 0; y < img->Height(); ++y)
        for (uint32_t x = 0; x < img->Width(); ++x) {
            const uint8_t *e = expected + (size_t(y) * img->Width() + x) * 3;
            ASSERT_EQ(img->PixelColor(int(x), int(y)), (TIOColor{e[2], e[1], e[0]})) << path << " " << x << "," << y;
        }
}

TEST(IOImageLoaderFiles, FfmpegMadeImagesDecodeLikeFfmpeg)
{
    TTempDir dir;
    const std::string src = "-f lavfi -i testsrc2=size=67x45:rate=1 -frames:v 1";
    ASSERT_TRUE(test::Ffmpeg(src + " " + test::ShellQuote(dir.File("rgb.png"))));
    ASSERT_TRUE(test::Ffmpeg(src + " -pix_fmt pal8 " + test::ShellQuote(dir.File("pal.png"))));
    ASSERT_TRUE(test::Ffmpeg(src + " -pix_fmt gray " + test::ShellQuote(dir.File("grey.png"))));
    ASSERT_TRUE(test::Ffmpeg(src + " -q:v 3 " + test::ShellQuote(dir.File("photo.jpg"))));
    ASSERT_TRUE(test::Ffmpeg(src + " -pix_fmt bgr24 " + test::ShellQuote(dir.File("rgb.bmp"))));
    ASSERT_TRUE(test::Ffmpeg(src + " -pix_fmt pal8 " + test::ShellQuote(dir.File("pal.bmp"))));
    ExpectSameAsFfmpeg(dir.File("rgb.png"), pf24Bit);
    ExpectSameAsFfmpeg(dir.File("pal.png"), pf8Bit);
    ExpectSameAsFfmpeg(dir.File("grey.png"), pf8Bit);
    ExpectSameAsFfmpeg(dir.File("photo.jpg"), pf24Bit);
    ExpectSameAsFfmpeg(dir.File("rgb.bmp"), pf24Bit);
    ExpectSameAsFfmpeg(dir.File("pal.bmp"), pf8Bit);
}

} // namespace
} // namespace tessaly
