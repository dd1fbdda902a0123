// Tests of the frame image: layout, pixel access, palettes, text, mirroring, change tracking.
#include "media/common/io_image.h"
#include "media/common/io_image_font.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tessaly {
namespace {

TEST(IOImageLayout, StrideFormatsAndBottomUpRows)
{
    EXPECT_EQ(ImageStride(1, 1), 4u);
    EXPECT_EQ(ImageStride(33, 1), 8u);
    EXPECT_EQ(ImageStride(9, 4), 8u);
    EXPECT_EQ(ImageStride(3, 24), 12u);
    EXPECT_EQ(ImageStride(4, 24), 12u);
    EXPECT_EQ(ImageStride(5, 8), 8u);
    EXPECT_EQ(PixelFormatOfBits(1), pf1Bit);
    EXPECT_EQ(PixelFormatOfBits(4), pf4Bit);
    EXPECT_EQ(PixelFormatOfBits(8), pf8Bit);
    EXPECT_EQ(PixelFormatOfBits(16), pf24Bit);
    EXPECT_EQ(PixelFormatOfBits(32), pf24Bit);
    EXPECT_EQ(BitsOfPixelFormat(pf4Bit), 4);

    TIOImage img(3, 2, pf24Bit);
    EXPECT_EQ(img.Stride(), 12u);
    EXPECT_EQ(img.ImageSize(), 24u);
    img.SetPixelColor(0, 0, {1, 2, 3});  // top-left lies in the last row of the buffer
    img.SetPixelColor(2, 1, {4, 5, 6});  // bottom-right in the first
    const uint8_t *b = img.Bits();
    EXPECT_EQ(b[12], 3); EXPECT_EQ(b[13], 2); EXPECT_EQ(b[14], 1);
    EXPECT_EQ(b[6], 6); EXPECT_EQ(b[7], 5); EXPECT_EQ(b[8], 4);

    const BITMAPINFOHEADER &h = img.Header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 3);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 24u);
    EXPECT_EQ(h.biXPelsPerMeter, 3780);
    EXPECT_EQ(img.BitmapInfo().size(), 40u);
    EXPECT_EQ(TIOImage(2, 2, pf8Bit).BitmapInfo().size(), 40u + 1024u);
    EXPECT_EQ(TIOImage(2, 2, pf4Bit).BitmapInfo().size(), 40u + 64u);
    EXPECT_EQ(TIOImage(2, 2, pf1Bit).BitmapInfo().size(), 40u + 8u);
}

TEST(IOImageLayout, ErrorsAndBorrowedBuffers)
{
    try {
        TIOImage img(0, 5, pf8Bit);
        FAIL() << "no exception";
    } catch (const EIOImageError &e) {
        EXPECT_STREQ(e.what(), "Bitmap has no dimensions");
    }
    try {
        TIOImage::CreateFromBitmapInfo(nullptr, 40);
        FAIL() << "no exception";
    } catch (const EIOImageError &e) {
        EXPECT_STREQ(e.what(), "TIOImage.CreateFromBitmapInfo: NIL parameter");
    }
    std::vector<uint8_t> buffer(8 * 2, 0x5A);
    {
        TIOImage img(5, 2, pf8Bit, buffer.data());
        EXPECT_FALSE(img.OwnsBits());
        EXPECT_EQ(img.Pixel(4, 1), 0x5A);
        img.SetPixel(0, 0, 7);
    }
    // The buffer outlives the image and keeps what was written.
    EXPECT_EQ(buffer[8], 7);
    EXPECT_EQ(buffer[0], 0x5A);
}

TEST(IOImageLayout, CreateFromBitmapInfoCopiesPalette)
{
    TIOImage src(4, 3, pf8Bit);
    src.SetPaletteEntry(5, {10, 20, 30});
    src.SetDpi(300, 150);
    std::vector<uint8_t> info = src.BitmapInfo();
    auto img = TIOImage::CreateFromBitmapInfo(info.data(), info.size());
    EXPECT_EQ(img->Width(), 4u);
    EXPECT_EQ(img->Height(), 3u);
    EXPECT_EQ(img->PixelFormat(), pf8Bit);
    EXPECT_EQ(img->PaletteEntry(5), (TIOColor{10, 20, 30}));
    EXPECT_EQ(img->Palette(), src.Palette());
    EXPECT_EQ(img->DpiX(), 300);
    EXPECT_EQ(img->DpiY(), 150);
}

TEST(IOImagePixels, ReadsOutsideAndGreyValues)
{
    TIOImage img(4, 4, pf24Bit);
    img.SetBackground(9);
    EXPECT_EQ(img.Pixel(-1, 0), 9);
    EXPECT_EQ(img.Pixel(0, 4), 9);
    EXPECT_EQ(img.PixelColor(4, 0), (TIOColor{9, 9, 9}));
    img.SetPixelColor(1, 1, {100, 50, 201}); // 0.3*100 + 0.59*50 + 0.11*201 = 81.61 -> 82
    EXPECT_EQ(img.Pixel(1, 1), 82);
    img.SetPixelColor(2, 1, {10, 10, 15});   // 3 + 5.9 + 1.65 = 10.55 -> 11
    EXPECT_EQ(img.Pixel(2, 1), 11);
    EXPECT_EQ(img.PixelColor(1, 1), (TIOColor{100, 50, 201}));
    img.SetPixel(3, 3, 77);
    EXPECT_EQ(img.PixelColor(3, 3), (TIOColor{77, 77, 77}));
}

TEST(IOImagePixels, SubBytePixelsAndNearestColour)
{
    TIOImage one(10, 2, pf1Bit);
    one.SetPixel(0, 0, 1);
    one.SetPixel(9, 0, 1);
    EXPECT_EQ(one.Row(0)[0], 0x80);
    EXPECT_EQ(one.Row(0)[1], 0x40);
    EXPECT_EQ(one.Pixel(9, 0), 1);
    EXPECT_EQ(one.Pixel(8, 0), 0);
    one.SetPixelColor(3, 1, {200, 200, 200}); // nearer to white
    EXPECT_EQ(one.Pixel(3, 1), 1);

    TIOImage four(3, 1, pf4Bit);
    four.SetPixel(0, 0, 0xA);
    four.SetPixel(1, 0, 0x5);
    four.SetPixel(2, 0, 0xF);
    EXPECT_EQ(four.Row(0)[0], 0xA5);
    EXPECT_EQ(four.Row(0)[1], 0xF0);
    EXPECT_EQ(four.Pixel(1, 0), 5);

    TIOImage pal(2, 1, pf8Bit);
    pal.SetPalette(std::vector<TIOColor>(256, TIOColor{0, 0, 0}));
    pal.SetPaletteEntry(3, {100, 0, 0});
    pal.SetPaletteEntry(4, {100, 0, 0});     // equal colour later: the first exact match wins
    pal.SetPaletteEntry(10, {110, 0, 0});
    pal.SetPaletteEntry(11, {90, 0, 0});     // 105 lies 5 from both 100 and 110 -> 3 wins (earlier)
    EXPECT_EQ(pal.NearestIndex({100, 0, 0}), 3);
    EXPECT_EQ(pal.NearestIndex({105, 0, 0}), 3);
    EXPECT_EQ(pal.NearestIndex({109, 0, 0}), 10);
    EXPECT_EQ(pal.NearestIndex({1, 0, 0}), 0);
    pal.SetPixelColor(1, 0, {108, 1, 1});
    EXPECT_EQ(pal.Pixel(1, 0), 10);
}

TEST(IOImagePixels, ClearFillsWithBackground)
{
    TIOImage one(9, 2, pf1Bit);
    one.SetBackground(1);
    one.Clear();
    for (uint32_t i = 0; i < one.ImageSize(); ++i)
        ASSERT_EQ(one.Bits()[i], 0xFF);
    TIOImage four(3, 2, pf4Bit);
    four.SetBackground(6);
    four.Clear();
    EXPECT_EQ(four.Bits()[0], 0x66);
    EXPECT_EQ(four.Pixel(2, 1), 6);
    TIOImage rgb(2, 2, pf24Bit);
    rgb.SetBackground(40);
    rgb.Clear();
    EXPECT_EQ(rgb.PixelColor(1, 1), (TIOColor{40, 40, 40}));
    EXPECT_EQ(rgb.DirtyRect(), (TIORect{0, 0, 1, 1}));
}

TEST(IOImagePalettes, StandardKinds)
{
    auto grey4 = StandardPalette(pf4Bit, 1);
    ASSERT_EQ(grey4.size(), 16u);
    EXPECT_EQ(grey4[1], (TIOColor{17, 17, 17}));
    EXPECT_EQ(grey4[15], (TIOColor{255, 255, 255}));
    EXPECT_EQ(StandardPalette(pf1Bit, 0), (std::vector<TIOColor>{{0, 0, 0}, {255, 255, 255}}));
    EXPECT_EQ(StandardPalette(pf8Bit, 0).size(), 256u);
    EXPECT_TRUE(StandardPalette(pf24Bit, 1).empty());

    auto bands = StandardPalette(pf8Bit, 2);
    EXPECT_EQ(bands[0], (TIOColor{0, 0, 0}));
    EXPECT_EQ(bands[1], (TIOColor{4, 4, 4}));      // 255 / 63 = 4.05
    EXPECT_EQ(bands[63], (TIOColor{255, 255, 255}));
    EXPECT_EQ(bands[64 + 63], (TIOColor{255, 0, 0}));
    EXPECT_EQ(bands[128 + 32], (TIOColor{0, 130, 0})); // 32 * 255 / 63 = 129.5 -> 130
    EXPECT_EQ(bands[192 + 63], (TIOColor{0, 0, 255}));
    auto bands4 = StandardPalette(pf4Bit, 2);
    EXPECT_EQ(bands4[1], (TIOColor{85, 85, 85}));
    EXPECT_EQ(bands4[6], (TIOColor{170, 0, 0}));

    auto spectrum = StandardPalette(pf8Bit, 3);
    EXPECT_EQ(spectrum[10], (TIOColor{0, 0, 50}));
    EXPECT_EQ(spectrum[51 + 10], (TIOColor{0, 30, 205}));
    EXPECT_EQ(spectrum[102 + 10], (TIOColor{50, 123, 0}));
    EXPECT_EQ(spectrum[153 + 50], (TIOColor{255, 250, 0}));
    EXPECT_EQ(spectrum[204 + 1], (TIOColor{255, 255, 5}));
    EXPECT_EQ(spectrum[255], (TIOColor{255, 255, 255}));

    TIOImage four(1, 1, pf4Bit);
    four.SetPaletteEntry(0, {1, 2, 3});
    four.SetStandardPalette(3);
    EXPECT_EQ(four.PaletteEntry(0), (TIOColor{1, 2, 3}));
    EXPECT_EQ(four.PaletteEntry(3), spectrum[51]);
    EXPECT_EQ(four.PaletteEntry(15), spectrum[255]);
}

// The pixels a glyph should set, compared with the picture around a text.
void ExpectGlyphAt(const TIOImage &img, char c, int left, int top, int colour)
{
    const uint8_t *g = FontGlyph(static_cast<unsigned char>(c));
    for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 8; ++b)
            ASSERT_EQ(img.Pixel(left + b, top + r), (g[r] & (0x80 >> b)) ? colour : 0)
                << c << " at " << b << "," << r;
}

TEST(IOImageText, PlacementAndClipping)
{
    TIOImage img(320, 240, pf8Bit);
    EXPECT_EQ(img.TextColor(), 255);
    EXPECT_EQ(img.TextAlignH(), 0);
    EXPECT_EQ(img.TextAlignV(), 2);
    img.SetTextAlign(1, 1);
    img.DrawText(160, 120, "17");
    ExpectGlyphAt(img, '1', 152, 116, 255);
    ExpectGlyphAt(img, '7', 160, 116, 255);
    int set = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            if (img.Pixel(x, y)) {
                ++set;
                EXPECT_TRUE(x >= 152 && x < 168 && y >= 116 && y < 124);
            }
    EXPECT_GT(set, 10);

    TIOImage small(20, 10, pf24Bit);
    small.SetTextAlign(2, 0);          // ends at the point, lies above it
    small.DrawText(16, 9, "AB");       // start 0, top 1
    ExpectGlyphAt(small, 'A', 0, 1, 255);
    ExpectGlyphAt(small, 'B', 8, 1, 255);
    TIOImage clip(20, 10, pf8Bit);
    clip.DrawText(0, 0, "ABC");        // third glyph would start at 16 > 12: stops
    ExpectGlyphAt(clip, 'A', 0, 0, 255);
    ExpectGlyphAt(clip, 'B', 8, 0, 255);
    for (int y = 0; y < 10; ++y)
        for (int x = 16; x < 20; ++x)
            EXPECT_EQ(clip.Pixel(x, y), 0);
    TIOImage none(20, 10, pf8Bit);
    none.DrawText(-1, 0, "A");
    none.DrawText(0, 3, "A");          // top 3 > 10 - 8
    none.DrawText(13, 0, "A");         // start right of 12
    for (uint32_t i = 0; i < none.ImageSize(); ++i)
        ASSERT_EQ(none.Bits()[i], 0);
}

TEST(IOImageTransform, MirrorAndRotateEveryFormat)
{
    for (TIOPixelFormat f : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
        const int w = 11, h = 5;
        TIOImage img(uint32_t(w), uint32_t(h), f);
        auto value = [&](int x, int y) { return f == pf1Bit ? (x * 3 + y) % 2 : (x * 7 + y * 3) % 16; };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.SetPixel(x, y, value(x, y));
        img.MirrorRotate(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(img.Pixel(x, y), value(w - 1 - x, y)) << int(f);
        img.MirrorRotate(0);
        img.MirrorRotate(1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(img.Pixel(x, y), value(x, h - 1 - y)) << int(f);
        img.MirrorRotate(1);
        img.MirrorRotate(2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(img.Pixel(x, y), value(w - 1 - x, h - 1 - y)) << int(f);
    }
    TIOImage rgb(2, 1, pf24Bit);
    rgb.SetPixelColor(0, 0, {1, 2, 3});
    rgb.SetPixelColor(1, 0, {4, 5, 6});
    rgb.MirrorRotate(0);
    EXPECT_EQ(rgb.PixelColor(0, 0), (TIOColor{4, 5, 6}));
    EXPECT_EQ(rgb.PixelColor(1, 0), (TIOColor{1, 2, 3}));
}

TEST(IOImageDisplay, ZoomResolutionAndDisplayMode)
{
    TIOImage img(200, 101, pf8Bit);
    EXPECT_EQ(img.Zoom(), 100);
    img.SetZoom(0);
    EXPECT_EQ(img.Zoom(), 1);
    img.SetZoom(150);
    EXPECT_EQ(img.ZoomedWidth(), 300u);
    EXPECT_EQ(img.ZoomedHeight(), 151u);
    EXPECT_EQ(img.DpiX(), 96);  // 3780 * 2.54 / 100 = 96.012
    img.SetDpi(300, 72);
    EXPECT_EQ(img.Header().biXPelsPerMeter, 11811);
    EXPECT_EQ(img.Header().biYPelsPerMeter, 2835);
    EXPECT_EQ(img.DpiX(), 300);
    EXPECT_EQ(img.DisplayMode(), 3);
    img.SetDisplayMode(1);
    EXPECT_EQ(img.DisplayMode(), 1);
}

TEST(IOImageChanges, NotificationAndDirtyGrid)
{
    TIOImage img(30, 20, pf8Bit);
    std::vector<TIOChangeSet> calls;
    int user = 0;
    img.SetChangeCallback([&](TIOImage &, TIOChangeSet kinds, void *u) {
        calls.push_back(kinds);
        EXPECT_EQ(u, &user);
    }, &user);

    img.SetPixel(3, 4, 1);                  // outside an update: fires at once
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], 1u << ckPixels);
    img.SetZoom(200);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], 1u << ckZoom);

    calls.clear();
    img.BeginUpdate();
    img.BeginUpdate();
    img.SetPixel(12, 9, 1);
    img.SetPaletteEntry(2, {1, 1, 1});
    img.SetPaletteEntry(2, {1, 1, 1});      // unchanged: no change
    img.SetDisplayMode(0);
    img.EndUpdate();
    EXPECT_TRUE(calls.empty());
    img.EndUpdate();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (1u << ckPixels) | (1u << ckPalette) | (1u << ckDisplayMode));

    EXPECT_EQ(img.DirtyRect(), (TIORect{3, 4, 12, 9}));
    EXPECT_EQ(img.GridDirtyRect(), (TIORect{0, 0, 15, 15}));
    img.SetDirtyGrid(5);
    EXPECT_EQ(img.GridDirtyRect(), (TIORect{0, 0, 14, 9}));
    img.SetPixel(29, 19, 1);
    img.SetDirtyGrid(8);
    EXPECT_EQ(img.GridDirtyRect(), (TIORect{0, 0, 29, 19})); // limited to the picture
    EXPECT_TRUE(img.NeedsRepaint());
    EXPECT_EQ(img.BeginPaint(false), (TIORect{0, 0, 29, 19}));
    EXPECT_TRUE(img.DirtyRect().Empty());
    EXPECT_TRUE(img.NeedsRepaint());
    EXPECT_EQ(img.BeginPaint(true), (TIORect{0, 0, 29, 19}));
    EXPECT_FALSE(img.NeedsRepaint());

    calls.clear();
    img.SetTextAlign(0, 2);
    img.DrawText(0, 0, "ab");               // one notification for the whole text
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(img.DirtyRect(), (TIORect{0, 0, 15, 7}));
}

} // namespace
} // namespace tessaly
