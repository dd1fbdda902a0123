// Decoded frames of ffmpeg-made AVI files through the system media layer's frame decoder,
// compared with FFmpeg's own decode; the key-frame walk; the decompressor's formats.
#include "media/input/avi2_decoder.h"
#include "media/input/avifile_frame_decoder.h"

#include "media/common/byte_order.h"
#include "support/video_files.h"
#include "support/video_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace tessaly {
namespace {

using test::TVideoFile;

// Checks a decoder output (header, palette, pixels) against the reference picture of frame n.
::testing::AssertionResult SameAsReference(const uint8_t *out, const TVideoFile &f, int n)
{
    if (!out)
        return ::testing::AssertionFailure() << "no picture for frame " << n;
    const int32_t width = GetLE32s(out + 4), height = GetLE32s(out + 8);
    const int bits = GetLE16(out + 14);
    if (width != int32_t(f.Width) || height != int32_t(f.Height))
        return ::testing::AssertionFailure() << "size " << width << "x" << height;
    const auto *ref = reinterpret_cast<const uint8_t *>(f.Reference[size_t(n)].data());
    if (bits == 24) {
        const uint8_t *pixels = out + 40;
        int row = test::FirstDifferentRow(pixels, ImageStride(f.Width, 24), f.Width, f.Height, ref);
        if (row >= 0)
            return ::testing::AssertionFailure() << "frame " << n << " differs in row " << row;
        return ::testing::AssertionSuccess();
    }
    if (bits != 8)
        return ::testing::AssertionFailure() << "bit count " << bits;
    const uint8_t *palette = out + 40, *pixels = out + 40 + 1024;
    const uint32_t stride = ImageStride(f.Width, 8);
    for (uint32_t y = 0; y < f.Height; ++y)
        for (uint32_t x = 0; x < f.Width; ++x) {
            const uint8_t *p = palette + 4 * pixels[stride * (f.Height - 1 - y) + x];
            const uint8_t *e = ref + (size_t(y) * f.Width + x) * 3;
            if (p[0] != e[0] || p[1] != e[1] || p[2] != e[2])
                return ::testing::AssertionFailure() << "frame " << n << " differs at " << x << "," << y;
        }
    return ::testing::AssertionSuccess();
}

class SystemLayerDecode : public ::testing::TestWithParam<const char *> {};

TEST_P(SystemLayerDecode, SequentialForwardAndBackwardEqualFfmpeg)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    TAviFile file;
    ASSERT_EQ(file.Open(f->Path), AVIERR_OK);
    const int bits = std::string(GetParam()) == "pal8" ? 8 : 24;
    auto dec = TAviFileFrameDecoder::Open(file, 0, bits);
    ASSERT_TRUE(dec);
    for (int n = 0; n < f->Frames; ++n) {
        ASSERT_TRUE(SameAsReference(dec->GetFrame(n), *f, n));
        ASSERT_EQ(dec->LastWalk().size(), 1u) << "sequential frame " << n << " decoded more than once";
    }
    // Backward jumps, jumps across key frames and forward jumps inside a group.
    for (int n : {3, 1, f->Frames - 1, 0, 7, 9, 5, f->Frames / 2, f->Frames / 2 + 3, 2})
        ASSERT_TRUE(SameAsReference(dec->GetFrame(n), *f, n));
}

INSTANTIATE_TEST_SUITE_P(Codecs, SystemLayerDecode,
                         ::testing::Values("mpeg4", "mjpeg", "h264", "raw24", "pal8", "drop"));

class OwnReaderDecode : public ::testing::TestWithParam<const char *> {};

TEST_P(OwnReaderDecode, SequentialForwardAndBackwardEqualFfmpeg)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    TAvi2Decoder reader;
    ASSERT_EQ(reader.Open(f->Path), AVIERR_OK);
    ASSERT_EQ(reader.VideoStreamCount(), 1);
    TAvi2FrameDecoder *dec = reader.GetFrameOpen(reader.VideoStream(0), nullptr);
    ASSERT_NE(dec, nullptr);
    AVISTREAMINFO info{};
    reader.GetStreamInfo(0, info);
    ASSERT_EQ(int(info.dwLength), f->Frames);
    for (int n = 0; n < f->Frames; ++n) {
        ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, n), *f, n));
        ASSERT_EQ(dec->LastWalk().size(), 1u) << "sequential frame " << n << " decoded more than once";
    }
    for (int n : {3, 1, f->Frames - 1, 0, 7, 9, 5, f->Frames / 2, f->Frames / 2 + 3, 2, 21, 23, 20}) {
        if (n < f->Frames) {
            ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, n), *f, n));
        }
    }
    EXPECT_EQ(reader.GetFrameClose(dec), AVIERR_OK);
    EXPECT_EQ(reader.GetFrameClose(dec), AVIERR_BADHANDLE);
    EXPECT_EQ(reader.GetFrame(dec, 0), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codecs, OwnReaderDecode,
                         ::testing::Values("mpeg4", "mjpeg", "h264", "raw24up", "pal8up", "drop", "raw24", "pal8"));

// Dropped (empty) frames show the picture before them, also when reached by a jump
// whose earlier frames are decoded without output.
TEST(OwnReaderDecodeDropped, EmptyFramesKeepThePreviousPicture)
{
    const TVideoFile *f = test::VideoFile("drop");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->Reference[21], f->Reference[19]);
    TAvi2Decoder reader;
    ASSERT_EQ(reader.Open(f->Path), AVIERR_OK);
    int32_t bytes = -1;
    reader.Read(0, 21, 1, nullptr, 0, &bytes, nullptr);
    ASSERT_EQ(bytes, 0);
    TAvi2FrameDecoder *dec = reader.GetFrameOpen(0, nullptr);
    ASSERT_NE(dec, nullptr);
    ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, 21), *f, 21)); // preroll 12..20, then empty 21
    EXPECT_EQ(dec->LastWalk().front().first, 12);
    ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, 22), *f, 22));
    EXPECT_EQ(dec->LastWalk().size(), 1u);
    ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, 23), *f, 23));
    ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, 20), *f, 20));
}

// An 8-bit palettised stream takes its palette from the stream format.
TEST(OwnReaderDecodePalette, PaletteCopiedFromTheStreamFormat)
{
    const TVideoFile *f = test::VideoFile("pal8up");
    ASSERT_NE(f, nullptr);
    TAvi2Decoder reader;
    ASSERT_EQ(reader.Open(f->Path), AVIERR_OK);
    int32_t size = 0;
    ASSERT_EQ(reader.ReadFormat(0, size, nullptr), AVIERR_OK);
    std::vector<uint8_t> format(size_t(size), 0);
    ASSERT_EQ(reader.ReadFormat(0, size, format.data()), AVIERR_OK);
    ASSERT_EQ(format.size(), 40u + 1024u);
    TAvi2FrameDecoder *dec = reader.GetFrameOpen(0, nullptr);
    ASSERT_NE(dec, nullptr);
    const uint8_t *out = reader.GetFrame(dec, 4);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(GetLE16(out + 14), 8);
    EXPECT_EQ(std::memcmp(out + 40, format.data() + 40, 1024), 0);
    TAvi2FrameDecoder *wide = reader.GetFrameOpen(0, TAvi2Decoder::BestDisplayFormat());
    ASSERT_NE(wide, nullptr);
    ASSERT_TRUE(SameAsReference(reader.GetFrame(wide, 4), *f, 4));
    reader.Close();                       // frees both instances
    EXPECT_EQ(reader.GetFrameClose(dec), AVIERR_BADHANDLE);
}

// The walk itself on a stream with a key frame every 12 frames.
TEST(FrameWalk, DecodesOnlyWhatTheKeyFramesRequire)
{
    const TVideoFile *f = test::VideoFile("mpeg4");
    ASSERT_NE(f, nullptr);
    TAviFile file;
    ASSERT_EQ(file.Open(f->Path), AVIERR_OK);
    auto dec = TAviFileFrameDecoder::Open(file, 0, 24);
    ASSERT_TRUE(dec);
    using W = std::vector<std::pair<int32_t, bool>>;
    ASSERT_TRUE(SameAsReference(dec->GetFrame(5), *f, 5));
    EXPECT_EQ(dec->LastWalk(), (W{{0, true}, {1, true}, {2, true}, {3, true}, {4, true}, {5, false}}));
    ASSERT_TRUE(SameAsReference(dec->GetFrame(5), *f, 5));
    EXPECT_TRUE(dec->LastWalk().empty()); // the same frame twice decodes once
    ASSERT_TRUE(SameAsReference(dec->GetFrame(10), *f, 10));
    EXPECT_EQ(dec->LastWalk(), (W{{6, true}, {7, true}, {8, true}, {9, true}, {10, false}}));
    ASSERT_TRUE(SameAsReference(dec->GetFrame(3), *f, 3));
    EXPECT_EQ(dec->LastWalk(), (W{{0, true}, {1, true}, {2, true}, {3, false}}));
    ASSERT_TRUE(SameAsReference(dec->GetFrame(26), *f, 26)); // across key frames 12 and 24
    EXPECT_EQ(dec->LastWalk(), (W{{24, true}, {25, true}, {26, false}}));
    ASSERT_TRUE(SameAsReference(dec->GetFrame(27), *f, 27));
    EXPECT_EQ(dec->LastWalk(), (W{{27, false}}));
    ASSERT_TRUE(SameAsReference(dec->GetFrame(24), *f, 24)); // a key frame alone
    EXPECT_EQ(dec->LastWalk(), (W{{24, false}}));
    EXPECT_EQ(dec->GetFrame(f->Frames), nullptr);
    EXPECT_EQ(dec->GetFrame(-1), nullptr);
    ASSERT_TRUE(SameAsReference(dec->GetFrame(25), *f, 25)); // a failed request leaves no harm
}

// A 16-bit stream (stored top row first, as ffmpeg writes uncompressed pictures): its
// own depth gives the stored rows bottom-up, 24 bits widens 5-5-5 by shifting.
TEST(FrameDecompressor, UncompressedSixteenBitStream)
{
    const TVideoFile *f = test::VideoFile("raw16");
    ASSERT_NE(f, nullptr);
    TAviFile file;
    ASSERT_EQ(file.Open(f->Path), AVIERR_OK);
    const uint32_t stride = ImageStride(f->Width, 16);
    int32_t stored = 0;
    std::vector<uint8_t> raw(stride * f->Height);
    ASSERT_EQ(file.Read(0, 2, 1, raw.data(), int32_t(raw.size()), &stored, nullptr), AVIERR_OK);
    ASSERT_EQ(size_t(stored), raw.size());
    auto own = TAviFileFrameDecoder::Open(file, 0, 16);
    ASSERT_TRUE(own);
    const uint8_t *out = own->GetFrame(2);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(GetLE16(out + 14), 16);
    for (uint32_t r = 0; r < f->Height; ++r)
        ASSERT_EQ(std::memcmp(out + 40 + stride * r, raw.data() + stride * (f->Height - 1 - r), stride), 0) << r;
    auto wide = TAviFileFrameDecoder::Open(file, 0, 24);
    ASSERT_TRUE(wide);
    out = wide->GetFrame(2);
    ASSERT_NE(out, nullptr);
    // Pixel 5 of the top picture row: last row of the output, first stored row.
    const uint16_t v = GetLE16(raw.data() + 2 * 5);
    const uint8_t *p = out + 40 + ImageStride(f->Width, 24) * (f->Height - 1) + 3 * 5;
    EXPECT_EQ(p[0], uint8_t((v & 0x1F) << 3));
    EXPECT_EQ(p[1], uint8_t(((v >> 5) & 0x1F) << 3));
    EXPECT_EQ(p[2], uint8_t(((v >> 10) & 0x1F) << 3));
}

TEST(FrameDecompressor, RefusesWhatItCannotDecode)
{
    std::vector<uint8_t> h(40, 0);
    PutLE32(h.data(), 40);
    PutLE32(h.data() + 4, 16);
    PutLE32(h.data() + 8, 16);
    PutLE16(h.data() + 12, 1);
    PutLE16(h.data() + 14, 24);
    TFrameDecompressor d;
    EXPECT_TRUE(d.Open(h.data(), h.size(), 0, 24));
    EXPECT_FALSE(d.Open(h.data(), h.size(), 0, 8));    // 24-bit data cannot become 8 bits
    EXPECT_FALSE(d.Open(h.data(), 39, 0, 24));         // short format
    PutLE32(h.data() + 16, FourCC("ZZZZ"));
    EXPECT_FALSE(d.Open(h.data(), h.size(), FourCC("YYYY"), 24)); // no decoder for the code
    PutLE32(h.data() + 16, FourCC("XVID"));
    EXPECT_TRUE(d.Open(h.data(), h.size(), 0, 24));    // found through the RIFF tag table
    PutLE32(h.data() + 4, 0);
    EXPECT_FALSE(d.Open(h.data(), h.size(), 0, 24));   // no width
    PutLE32(h.data() + 4, 16);
    PutLE32(h.data() + 16, 0);
    EXPECT_TRUE(d.Open(h.data(), h.size(), 0, 24));
    std::vector<uint8_t> shortFrame(100, 0);           // 16 x 16 x 3 bytes expected
    EXPECT_FALSE(d.Decompress(shortFrame.data(), shortFrame.size(), true, false));
}

// Frame access through one of the two decoders: the picture of frame n, and how many
// stored frames the request handed to the decoder.
struct TFrameAccess {
    std::function<const uint8_t *(int)> Get;
    std::function<size_t()> Walked;
};

// B-frames stored in decode order (groups of 12): every frame equals FFmpeg's
// picture at that position whether read in sequence, by forward jumps inside and across
// groups, or backwards; a jump decodes at most two groups plus the decoder's delay.
void CheckDisplayOrder(const TVideoFile &f, const TFrameAccess &a)
{
    for (int n = 0; n < f.Frames; ++n) {
        ASSERT_TRUE(SameAsReference(a.Get(n), f, n));
        if (n > 0) { // the last frames come from draining the decoder
            ASSERT_EQ(a.Walked(), n < f.Frames - 2 ? 1u : a.Walked()) << "sequential frame " << n;
            ASSERT_LE(a.Walked(), 1u) << "sequential frame " << n;
        }
    }
    for (int n : {f.Frames - 1, 0, 1, 2, 3, 13, 12, 11, 10, 9, 14, 22, 26, 37, 36, 35, 5, f.Frames - 2, 24, 23, 47, 48,
                  49, 50, 59, 58}) {
        ASSERT_TRUE(SameAsReference(a.Get(n), f, n));
        EXPECT_LE(a.Walked(), 2u * 12 + 2) << "frame " << n;
    }
    // The last frames come out only when the decoder is drained; asking again after that works.
    ASSERT_TRUE(SameAsReference(a.Get(f.Frames - 1), f, f.Frames - 1));
    ASSERT_TRUE(SameAsReference(a.Get(f.Frames - 3), f, f.Frames - 3));
    ASSERT_TRUE(SameAsReference(a.Get(f.Frames - 2), f, f.Frames - 2));
    EXPECT_EQ(a.Get(f.Frames), nullptr);
    ASSERT_TRUE(SameAsReference(a.Get(4), f, 4));
}

class BFrameDecode : public ::testing::TestWithParam<const char *> {};

TEST_P(BFrameDecode, OwnReaderGivesFfmpegDisplayOrder)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->Frames, 60);
    ASSERT_NE(f->Reference[0], f->Reference[1]);
    TAvi2Decoder reader;
    ASSERT_EQ(reader.Open(f->Path), AVIERR_OK);
    TAvi2FrameDecoder *dec = reader.GetFrameOpen(0, nullptr);
    ASSERT_NE(dec, nullptr);
    CheckDisplayOrder(*f, {[&](int n) { return reader.GetFrame(dec, n); }, [&] { return dec->LastWalk().size(); }});
}

TEST_P(BFrameDecode, SystemLayerGivesFfmpegDisplayOrder)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    TAviFile file;
    ASSERT_EQ(file.Open(f->Path), AVIERR_OK);
    ASSERT_EQ(file.StreamLength(0), 60);
    auto dec = TAviFileFrameDecoder::Open(file, 0, 24);
    ASSERT_TRUE(dec);
    CheckDisplayOrder(*f, {[&](int n) { return dec->GetFrame(n); }, [&] { return dec->LastWalk().size(); }});
}

// A decoder opened fresh on a frame around a key frame (with MPEG-4, B-frames of an open
// group that need the group before) still gets it, as does a fresh one on the first frame.
TEST_P(BFrameDecode, FreshDecoderOnOpenGroupFrames)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    for (int n : {0, 10, 11, 12, 22, 23}) {
        TAvi2Decoder reader;
        ASSERT_EQ(reader.Open(f->Path), AVIERR_OK);
        TAvi2FrameDecoder *dec = reader.GetFrameOpen(0, nullptr);
        ASSERT_NE(dec, nullptr);
        ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, n), *f, n));
        ASSERT_TRUE(SameAsReference(reader.GetFrame(dec, n + 1), *f, n + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, BFrameDecode, ::testing::Values("mpeg4b", "h264b", "mpeg4packed"));

// With empty chunks for dropped frames the system media layer numbers frames as the own
// reader does: same length, same stored bytes (empty ones 0 bytes and no key frame), same
// key flags, and the same decoded pictures.
TEST(DroppedFrames, SystemLayerMatchesOwnReader)
{
    const TVideoFile *f = test::VideoFile("drop");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(f->Frames, 43);
    TAviFile msvw;
    TAvi2Decoder own;
    ASSERT_EQ(msvw.Open(f->Path), AVIERR_OK);
    ASSERT_EQ(own.Open(f->Path), AVIERR_OK);
    AVISTREAMINFO a{}, b{};
    ASSERT_EQ(msvw.GetStreamInfo(0, a), AVIERR_OK);
    own.GetStreamInfo(0, b);
    EXPECT_EQ(a.dwLength, 43u);
    EXPECT_EQ(b.dwLength, 43u);
    AVIFILEINFO fi{};
    ASSERT_EQ(msvw.GetFileInfo(fi), AVIERR_OK);
    EXPECT_EQ(fi.dwLength, 43u);
    std::vector<uint8_t> x(1 << 20), y(1 << 20);
    // Backwards first, so that reads also seek.
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 43; ++i) {
            const int n = pass == 0 ? 42 - i : i;
            int32_t qa = -1, qb = -1, ba = -1, bb = -1;
            ASSERT_EQ(msvw.Read(0, n, 1, nullptr, 0, &qa, nullptr), AVIERR_OK) << n;
            const int32_t query = own.Read(0, n, 1, nullptr, 0, &qb, nullptr);
            ASSERT_TRUE(query == AVIERR_OK || query == AVIERR_BUFFERTOOSMALL) << n;
            ASSERT_EQ(msvw.Read(0, n, 1, x.data(), int32_t(x.size()), &ba, nullptr), AVIERR_OK) << n;
            ASSERT_EQ(own.Read(0, n, 1, y.data(), int32_t(y.size()), &bb, nullptr), AVIERR_OK) << n;
            const bool empty = n >= 20 && n <= 22;
            EXPECT_EQ(ba == 0, empty) << n;
            EXPECT_EQ(qa, qb) << n;
            ASSERT_EQ(ba, bb) << n;
            EXPECT_EQ(ba, qa) << n;
            EXPECT_EQ(0, std::memcmp(x.data(), y.data(), size_t(ba))) << n;
            EXPECT_EQ(msvw.IsKeyFrame(0, n), own.IsKeyFrame(0, n)) << n;
            EXPECT_EQ(msvw.IsKeyFrame(0, n), n == 0 || n == 12 || n == 27 || n == 39) << n;
        }
    EXPECT_FALSE(msvw.IsKeyFrame(0, 43));
    EXPECT_EQ(msvw.Read(0, 43, 1, x.data(), int32_t(x.size()), nullptr, nullptr), AVIERR_BADPARAM);

    auto mine = TAviFileFrameDecoder::Open(msvw, 0, 24);
    ASSERT_TRUE(mine);
    TAvi2FrameDecoder *theirs = own.GetFrameOpen(0, nullptr);
    ASSERT_NE(theirs, nullptr);
    for (int n : {42, 21, 20, 22, 23, 19, 0, 30, 27, 26, 12, 13}) {
        ASSERT_TRUE(SameAsReference(mine->GetFrame(n), *f, n));
        ASSERT_TRUE(SameAsReference(own.GetFrame(theirs, n), *f, n));
    }
}

} // namespace
} // namespace tessaly
