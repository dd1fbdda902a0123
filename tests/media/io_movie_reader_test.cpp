// Tests of the video source front-end: phantom clips, still images and image lists, AVI
// files through the own reader and the system layer, segment lists, stored frames.
#include "media/input/io_movie_reader.h"

#include "media/common/byte_order.h"
#include "media/common/io_image_font.h"
#include "support/test_support.h"
#include "support/video_files.h"
#include "support/video_test_support.h"
#include "avi_test_files.h"

#include <gtest/gtest.h>

#include "shell/messages.h"

#include <cstring>

namespace tessaly {
namespace {

using test::TTempDir;
using test::TVideoFile;

::testing::AssertionResult ImageEquals(const TIOImage &image, const std::string &reference)
{
    if (image.PixelFormat() != pf24Bit)
        return ::testing::AssertionFailure() << "not 24 bits";
    if (reference.size() != test::Bgr24FrameSize(image.Width(), image.Height()))
        return ::testing::AssertionFailure() << "reference size " << reference.size();
    const int row = test::FirstDifferentRow(image, reinterpret_cast<const uint8_t *>(reference.data()));
    if (row >= 0)
        return ::testing::AssertionFailure() << "row " << row << " differs";
    return ::testing::AssertionSuccess();
}

TEST(MoviePhantom, FrameNumberCentredAndStoredUnturned)
{
    TIOMovieReader r;
    ASSERT_TRUE(r.OpenPhantom(320, 240, 100, 1, 25, pf8Bit));
    EXPECT_EQ(r.KindString(), "DUMY|-1");
    EXPECT_EQ(r.FileList(), "(*)");
    EXPECT_EQ(r.FrameCount(), 100);
    EXPECT_EQ(r.Scale(), 1);
    EXPECT_EQ(r.Rate(), 25);
    EXPECT_EQ(r.FrameRate(), 25.0L);
    EXPECT_EQ(r.Width(), 320u);
    EXPECT_EQ(r.Height(), 240u);
    EXPECT_EQ(r.PixelFormat(), pf8Bit);
    EXPECT_EQ(r.Handler(), FourCC("DIB "));
    EXPECT_EQ(SourceDescriptionText(r.Description()), "Phantom video clip");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcPhantom", ""}));
    EXPECT_FALSE(r.CanSmartRender());
    EXPECT_TRUE(r.IsKeyFrame(50));
    const AVIFILEINFO fi = r.FileInfo(0);
    EXPECT_STREQ(fi.szFileType, "(*) Dummy clip");
    EXPECT_EQ(fi.dwCaps, 0x11u);
    EXPECT_EQ(fi.dwLength, 100u);
    EXPECT_EQ(fi.dwMaxBytesPerSec, 320u * 240u * 25u);
    EXPECT_STREQ(r.GetVideoStreamInfo(0).szName, "(*) Video #1");

    auto image = r.NewFrameImage();
    ASSERT_TRUE(image);
    ASSERT_TRUE(r.GetFrame(17, *image));
    // "17" centred on (160, 120): glyphs at x 152 and 160, rows 116 to 123.
    const uint8_t *one = FontGlyph('1'), *seven = FontGlyph('7');
    int set = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            bool on = false;
            if (y >= 116 && y < 124 && x >= 152 && x < 168) {
                const uint8_t *g = x < 160 ? one : seven;
                on = g[y - 116] & (0x80 >> ((x - 152) % 8));
            }
            set += on;
            ASSERT_EQ(image->Pixel(x, y), on ? 255 : 0) << x << "," << y;
        }
    EXPECT_GT(set, 20);

    // Stored data are the picture rows in their normal order, whatever the flag says.
    const std::vector<uint8_t> upright(image->Bits(), image->Bits() + image->ImageSize());
    r.SetUpsideDown(true);
    TStoredFrame s = r.ReadStored(17);
    ASSERT_TRUE(s.Ok);
    EXPECT_TRUE(s.KeyFrame);
    ASSERT_EQ(size_t(s.Size), upright.size());
    EXPECT_EQ(std::vector<uint8_t>(s.Data, s.Data + s.Size), upright);
    EXPECT_EQ(r.GetStoredFormat(), image->BitmapInfo());
    ASSERT_TRUE(r.GetFrame(17, *image));
    EXPECT_EQ(image->Pixel(152 + 3, 240 - 1 - 116), one[0] & (0x80 >> 3) ? 255 : 0);
    image->MirrorRotate(1);
    EXPECT_EQ(std::vector<uint8_t>(image->Bits(), image->Bits() + image->ImageSize()), upright);

    EXPECT_FALSE(r.GetFrame(100, *image));
    EXPECT_EQ(r.Status(), meParam);
    TIOImage wrong(320, 240, pf24Bit);
    EXPECT_FALSE(r.GetFrame(3, wrong));
    EXPECT_EQ(r.Status(), meFrameFormat);
}

TEST(MoviePhantom, RefusesBadParameters)
{
    TIOMovieReader r;
    EXPECT_FALSE(r.OpenPhantom(0, 240, 100, 1, 25, pf24Bit));
    EXPECT_EQ(r.Status(), meParam);
    EXPECT_FALSE(r.OpenPhantom(320, 240, 0, 1, 25, pf24Bit));
    EXPECT_FALSE(r.OpenPhantom(320, 240, 10, 0, 25, pf24Bit));
    EXPECT_FALSE(r.OpenPhantom(320, 240, 10, 1, -5, pf24Bit));
    EXPECT_FALSE(r.IsOpen());
    EXPECT_EQ(r.KindString(), "");
    EXPECT_EQ(SourceDescriptionText(r.Description()), "No file");
    EXPECT_EQ(r.PixelFormat(), pf24Bit);
    ASSERT_TRUE(r.OpenPhantom(7, 5, 3, 1001, 30000, pf24Bit));
    EXPECT_NEAR(double(r.FrameRate()), 29.97, 0.001);
    auto image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(2, *image)); // text does not fit: a clear picture
    for (uint32_t i = 0; i < image->ImageSize(); ++i)
        ASSERT_EQ(image->Bits()[i], 0);
}

// 30 numbered images made by ffmpeg, opened as one image list.
TEST(MovieStill, ImageListIsAClipAtOneFramePerSecond)
{
    TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=48x36:rate=1 -frames:v 30 -start_number 0 " +
                             test::ShellQuote(dir.File("pic%02d.png"))));
    std::string list = dir.File("pic*.png");
    for (int i = 0; i < 30; ++i)
        list += "|" + std::string(i < 10 ? "0" : "") + std::to_string(i);
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(list, "STIL|-1")) << int(r.Status());
    EXPECT_EQ(r.KindString(), "STIL|-1");
    EXPECT_EQ(r.FrameCount(), 30);
    EXPECT_EQ(r.Scale(), 1);
    EXPECT_EQ(r.Rate(), 1);
    EXPECT_EQ(r.SegmentCount(), 1);
    EXPECT_EQ(SourceDescriptionText(r.Description()), "Picture list");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcPictures", ""}));
    EXPECT_EQ(std::string(r.FileInfo(0).szFileType), "pic00.png Image List");
    const AVISTREAMINFO info = r.GetVideoStreamInfo(0);
    EXPECT_EQ(info.dwLength, 30u);
    EXPECT_EQ(info.dwSampleSize, ImageStride(48, 24) * 36);
    auto image = r.NewFrameImage();
    for (int n : {0, 29, 7, 8, 3}) {
        ASSERT_TRUE(r.GetFrame(n, *image)) << n;
        char name[16];
        std::snprintf(name, sizeof name, "pic%02d.png", n);
        EXPECT_TRUE(ImageEquals(*image, test::FfmpegBgr24(dir.File(name)))) << n;
    }
    // A list image of another size fails that frame only.
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=40x36:rate=1 -frames:v 1 -y " +
                             test::ShellQuote(dir.File("pic05.png"))));
    EXPECT_FALSE(r.GetFrame(5, *image));
    EXPECT_EQ(r.Status(), meFrameFormat);
    EXPECT_TRUE(r.GetFrame(6, *image));

    TIOMovieReader single;
    ASSERT_TRUE(single.Open(dir.File("pic01.png"), "STIL|-1"));
    EXPECT_EQ(single.FrameCount(), 1);
    EXPECT_EQ(SourceDescriptionText(single.Description()), "Still image");
    EXPECT_STREQ(single.FileInfo(0).szFileType, "pic01.png Still Image");
    EXPECT_FALSE(single.Open(dir.File("pic99.png"), "STIL|-1"));
    EXPECT_EQ(single.Status(), meFileNotFound);
    test::WriteFileBytes(dir.File("junk.png"), {1, 2, 3, 4});
    EXPECT_FALSE(single.Open(dir.File("junk.png"), "STIL|-1"));
    EXPECT_EQ(single.Status(), meFileFormat);
}

class MovieAvi : public ::testing::TestWithParam<const char *> {};

// Every stored frame through the front-end equals FFmpeg's decode, for both access paths.
TEST_P(MovieAvi, FramesEqualFfmpegThroughBothPaths)
{
    const TVideoFile *f = test::VideoFile(GetParam());
    ASSERT_NE(f, nullptr);
    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        TIOMovieReader r;
        ASSERT_TRUE(r.Open(f->Path, kind)) << kind << " " << int(r.Status());
        EXPECT_EQ(r.KindString(), kind);
        ASSERT_EQ(r.FrameCount(), f->Frames);
        EXPECT_EQ(r.Rate(), 25);
        EXPECT_EQ(r.Scale(), 1);
        auto image = r.NewFrameImage();
        ASSERT_TRUE(image);
        TIOImage rgb(f->Width, f->Height, pf24Bit);
        for (int n : {0, 1, 2, 11, 10, 30, f->Frames - 1, 5}) {
            if (n >= f->Frames)
                continue;
            ASSERT_TRUE(r.GetFrame(n, *image)) << kind << " " << n;
            ASSERT_TRUE(ScaleImage(*image, *image)); // same image: a no-op for its pixels
            if (image->PixelFormat() == pf24Bit) {
                EXPECT_TRUE(ImageEquals(*image, f->Reference[size_t(n)])) << kind << " " << n;
            } else {
                for (uint32_t y = 0; y < f->Height; ++y)
                    for (uint32_t x = 0; x < f->Width; ++x)
                        rgb.SetPixelColor(int(x), int(y), image->PixelColor(int(x), int(y)));
                EXPECT_TRUE(ImageEquals(rgb, f->Reference[size_t(n)])) << kind << " " << n;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, MovieAvi, ::testing::Values("mpeg4", "mjpeg", "h264", "pal8up"));

// The stored packets equal FFmpeg's copy of them; dropped frames are empty, not key frames.
TEST(MovieAviStored, ReadStoredEqualsFfmpegPackets)
{
    for (const char *name : {"mpeg4", "drop", "h264"}) {
        const TVideoFile *f = test::VideoFile(name);
        ASSERT_NE(f, nullptr);
        const std::vector<std::string> sums = test::FfmpegPacketMd5(f->Path);
        ASSERT_FALSE(sums.empty());
        TIOMovieReader r;
        ASSERT_TRUE(r.Open(f->Path, "AUTO|-1"));
        EXPECT_EQ(r.KindString(), "ODML|-1");
        EXPECT_TRUE(r.CanSmartRender());
        EXPECT_TRUE(r.CanReadStored());
        EXPECT_EQ(r.Compression(), r.InputFormat().size() >= 20 ? GetLE32(r.InputFormat().data() + 16) : 0u);
        size_t next = 0;
        for (int n = 0; n < r.FrameCount(); ++n) {
            const TStoredFrame s = r.ReadStored(n);
            ASSERT_TRUE(s.Ok) << name << " " << n;
            if (s.Size == 0) {
                EXPECT_FALSE(s.KeyFrame);
                EXPECT_TRUE(std::string(name) == "drop" && n >= 20 && n <= 22) << n;
                continue;
            }
            ASSERT_LT(next, sums.size());
            // Key frames every 12 stored packets.
            const bool key = next % 12 == 0;
            EXPECT_EQ(test::Md5Hex(s.Data, size_t(s.Size)), sums[next++]) << name << " " << n;
            EXPECT_EQ(s.KeyFrame, key) << name << " " << n;
            EXPECT_EQ(r.IsKeyFrame(n), key) << name << " " << n;
        }
        EXPECT_EQ(next, sums.size());
        EXPECT_FALSE(r.ReadStored(r.FrameCount()).Ok);
    }
}

TEST(MovieAviStored, SystemLayerStoredPacketsAndCodecData)
{
    const TVideoFile *f = test::VideoFile("h264");
    ASSERT_NE(f, nullptr);
    const std::vector<std::string> sums = test::FfmpegPacketMd5(f->Path);
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(f->Path, "MSVW|-1"));
    ASSERT_EQ(size_t(r.FrameCount()), sums.size());
    for (int n : {0, 1, 13, 12, 39}) {
        const TStoredFrame s = r.ReadStored(n);
        ASSERT_TRUE(s.Ok);
        EXPECT_EQ(test::Md5Hex(s.Data, size_t(s.Size)), sums[size_t(n)]) << n;
        EXPECT_EQ(s.KeyFrame, n % 12 == 0);
    }
    EXPECT_EQ(SourceDescriptionText(r.Description()), "VfW video");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcVideo", "VfW"}));
}

// A file read through its OpenDML indexes (two RIFF blocks, key frames 0 and 3).
TEST(MovieAviOpen, OpenDmlFileDescriptionAndKeyFrames)
{
    TTempDir dir;
    ASSERT_TRUE(test::BuildOdml(test::TOdmlLayout{}).Save(dir.File("odml.avi")));
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(dir.File("odml.avi"), "AUTO|-1")) << int(r.Status());
    EXPECT_EQ(SourceDescriptionText(r.Description()), "OpenDML video");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcVideo", "OpenDML"}));
    EXPECT_EQ(r.FrameCount(), 5);
    EXPECT_EQ(r.Compression(), FourCC("MJPG"));
    for (int n = 0; n < 5; ++n) {
        const TStoredFrame s = r.ReadStored(n);
        ASSERT_TRUE(s.Ok);
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(s.Data), size_t(s.Size)), test::TestFrame(n));
        EXPECT_EQ(s.KeyFrame, n == 0 || n == 3) << n;
    }
    // The stored bytes are no picture: decoding fails cleanly.
    auto image = r.NewFrameImage();
    EXPECT_FALSE(r.GetFrame(1, *image));
    EXPECT_EQ(r.Status(), meFileRead);
    EXPECT_TRUE(r.ReadStored(4).Ok);
}

TEST(MovieAviOpen, DescriptionsDetectionAndFallback)
{
    const TVideoFile *f = test::VideoFile("mpeg4");
    ASSERT_NE(f, nullptr);
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(f->Path, "AUTO|-1"));
    // Small files from ffmpeg have the extended header but no super indexes: the own
    // reader takes the 'idx1' index, which is the VfW wording.
    EXPECT_EQ(SourceDescriptionText(r.Description()), "VfW video");
    EXPECT_EQ(r.Description(), (TSourceDescription{"WrdSrcVideo", "VfW"}));
    EXPECT_EQ(r.Handler(), r.GetVideoStreamInfo(0).fccHandler);
    EXPECT_EQ(r.BitCount(), 24);
    EXPECT_EQ(r.ReadCodecData(), std::vector<uint8_t>());

    // Uncompressed pictures stored top row first open through the own reader.
    const TVideoFile *top = test::VideoFile("raw24");
    ASSERT_NE(top, nullptr);
    ASSERT_TRUE(r.Open(top->Path, "ODML|-1"));
    EXPECT_EQ(r.KindString(), "ODML|-1");
    auto image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(4, *image));
    EXPECT_TRUE(ImageEquals(*image, top->Reference[4]));

    // Without an index the own reader refuses the file, and the system layer opens it.
    TTempDir dir;
    std::vector<uint8_t> bytes = test::ReadFileBytes(top->Path);
    std::string text(bytes.begin(), bytes.end());
    const size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    std::copy_n("JUNK", 4, bytes.begin() + std::ptrdiff_t(idx1));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("noindex.avi"), bytes));
    ASSERT_TRUE(r.Open(dir.File("noindex.avi"), "ODML|-1"));
    EXPECT_EQ(r.KindString(), "MSVW|-1");
    EXPECT_EQ(r.Status(), meOk);
    image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(4, *image));
    EXPECT_TRUE(ImageEquals(*image, top->Reference[4]));

    test::WriteFileBytes(dir.File("clip.xyz"), {1, 2, 3});
    EXPECT_FALSE(r.Open(dir.File("clip.xyz"), "AUTO|-1"));
    EXPECT_EQ(r.Status(), meFileFormat);
    EXPECT_FALSE(r.Open(dir.File("none.avi"), "AUTO|-1"));
    EXPECT_EQ(r.Status(), meFileNotFound);
    EXPECT_FALSE(r.Open("", "AUTO|-1"));
    EXPECT_EQ(r.Status(), meParam);
    EXPECT_FALSE(r.Open(dir.File("clip.xyz"), "MSDS|-1", false));
    EXPECT_EQ(r.Status(), meFileHandler);
    EXPECT_FALSE(r.Open(dir.File("clip.xyz"), "DUMY|-1"));
    EXPECT_EQ(r.Status(), meFileFormat);
    test::WriteFileBytes(dir.File("bad.avi"), {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '});
    EXPECT_FALSE(r.Open(dir.File("bad.avi"), "AUTO|-1"));
    EXPECT_FALSE(r.IsOpen());
}

// 16- and 32-bit pictures: decoded to 24 bits when preferred, else converted by the
// front-end pixel by pixel; both give the same picture.
TEST(MovieAviConvert, SixteenAndThirtyTwoBitSources)
{
    for (const char *name : {"raw16up", "raw32up"}) {
        const TVideoFile *f = test::VideoFile(name);
        ASSERT_NE(f, nullptr);
        TIOMovieReader wide, conv;
        ASSERT_TRUE(wide.Open(f->Path, "ODML|-1", false, false, true));
        ASSERT_TRUE(conv.Open(f->Path, "ODML|-1", false, false, false));
        EXPECT_FALSE(wide.ConvertFlag());
        EXPECT_TRUE(conv.ConvertFlag());
        EXPECT_EQ(wide.PixelFormat(), pf24Bit);
        EXPECT_EQ(conv.PixelFormat(), pf24Bit);
        EXPECT_EQ(conv.BitCount(), std::string(name) == "raw16up" ? 16 : 32);
        auto a = wide.NewFrameImage(), b = conv.NewFrameImage();
        ASSERT_TRUE(wide.GetFrame(3, *a));
        ASSERT_TRUE(conv.GetFrame(3, *b));
        EXPECT_EQ(std::memcmp(a->Bits(), b->Bits(), a->ImageSize()), 0) << name;
        // The stored pixel (5, 0) widened by hand.
        const TStoredFrame s = conv.ReadStored(3);
        ASSERT_TRUE(s.Ok);
        const uint32_t stride = ImageStride(f->Width, conv.BitCount());
        const uint8_t *row0 = s.Data + size_t(stride) * (f->Height - 1); // bottom-up rows
        TIOColor expected;
        if (conv.BitCount() == 16) {
            const uint16_t v = GetLE16(row0 + 10);
            expected = {uint8_t(((v >> 10) & 0x1F) << 3), uint8_t(((v >> 5) & 0x1F) << 3), uint8_t((v & 0x1F) << 3)};
        } else {
            expected = {row0[22], row0[21], row0[20]};
        }
        EXPECT_EQ(b->PixelColor(5, 0), expected) << name;
    }
}

// Two files of 100 frames as one clip: frame 150 is frame 50 of the second file.
TEST(MovieSegments, TwoSegmentClip)
{
    TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 100 -c:v mpeg4 -g 25 -bf 0 " +
                             test::ShellQuote(dir.File("part.1.avi"))));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=96x64:rate=25 -frames:v 100 -c:v mpeg4 -g 25 -bf 0 " +
                             test::ShellQuote(dir.File("part.2.avi"))));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=80x64:rate=25 -frames:v 100 -c:v mpeg4 -g 25 -bf 0 " +
                             test::ShellQuote(dir.File("part.3.avi"))));
    const std::string second = test::FfmpegBgr24(dir.File("part.2.avi"));
    const size_t frameSize = test::Bgr24FrameSize(96, 64);
    ASSERT_EQ(second.size(), 100 * frameSize);
    const std::vector<std::string> sums = test::FfmpegPacketMd5(dir.File("part.2.avi"));
    ASSERT_EQ(sums.size(), 100u);

    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        TIOMovieReader r;
        ASSERT_TRUE(r.Open(dir.File("part.*.avi") + "|1|2", kind)) << kind;
        EXPECT_EQ(r.SegmentCount(), 2);
        EXPECT_EQ(r.FrameCount(), 200);
        EXPECT_EQ(r.GetVideoStreamInfo(0).dwLength, 200u);
        EXPECT_STREQ(r.GetVideoStreamInfo(0).szName, "part.1.avi Video #0");
        auto image = r.NewFrameImage();
        ASSERT_TRUE(r.GetFrame(150, *image));
        EXPECT_TRUE(ImageEquals(*image, second.substr(50 * frameSize, frameSize))) << kind;
        ASSERT_TRUE(r.GetFrame(99, *image));
        ASSERT_TRUE(r.GetFrame(100, *image));
        EXPECT_TRUE(ImageEquals(*image, second.substr(0, frameSize))) << kind;
        const TStoredFrame s = r.ReadStored(150);
        ASSERT_TRUE(s.Ok);
        EXPECT_EQ(test::Md5Hex(s.Data, size_t(s.Size)), sums[50]) << kind;
        EXPECT_FALSE(r.IsKeyFrame(149));
        EXPECT_TRUE(r.IsKeyFrame(150));   // frame 50 of the second file, key frames every 25
        EXPECT_FALSE(r.GetFrame(200, *image));
    }
    TIOMovieReader r;
    EXPECT_FALSE(r.Open(dir.File("part.*.avi") + "|1|3", "ODML|-1", false));
    EXPECT_EQ(r.Status(), meSegment);
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(r.Open(dir.File("part.*.avi") + "|1|4", "ODML|-1", false));
    EXPECT_EQ(r.Status(), meFileNotFound);
}

// Audio streams are listed only when asked for; the video stays stream 0.
TEST(MovieAviOpen, AudioStreamsListedWhenAsked)
{
    TTempDir dir;
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=frequency=440:sample_rate=8000 "
                             "-t 1 -c:v mpeg4 -c:a pcm_s16le " + test::ShellQuote(dir.File("av.avi"))));
    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        TIOMovieReader r;
        ASSERT_TRUE(r.Open(dir.File("av.avi"), kind, false, true)) << kind;
        EXPECT_EQ(r.VideoStreamCount(), 1);
        ASSERT_EQ(r.AudioStreamCount(), 1);
        EXPECT_EQ(r.VideoStreamNumber(0), 0);
        EXPECT_EQ(r.AudioStreamNumber(0), 1);
        EXPECT_EQ(r.GetStreamInfo(1).fccType, streamtypeAUDIO);
        EXPECT_EQ(r.GetStreamInfo(1).dwRate / r.GetStreamInfo(1).dwScale, 8000u);
        EXPECT_EQ(r.FrameCount(), 25);
        ASSERT_TRUE(r.Open(dir.File("av.avi"), kind, false, false));
        EXPECT_EQ(r.AudioStreamCount(), 0);
        EXPECT_EQ(r.AudioStreamNumber(0), -1);
        EXPECT_FALSE(r.SelectVideoStream(1));
        EXPECT_EQ(r.Status(), meParam);
        EXPECT_TRUE(r.SelectVideoStream(0));
    }
}

TEST(MovieImages, CopyAndScale)
{
    TIOImage src(4, 2, pf8Bit);
    src.SetPaletteEntry(3, {1, 2, 3});
    src.SetZoom(250);
    src.SetDisplayMode(1);
    src.SetDpi(300, 300);
    for (int x = 0; x < 4; ++x) {
        src.SetPixel(x, 0, x);
        src.SetPixel(x, 1, 10 + x);
    }
    TIOImage copy(4, 2, pf8Bit);
    int calls = 0;
    copy.SetChangeCallback([&](TIOImage &, TIOChangeSet, void *) { ++calls; });
    ASSERT_TRUE(CopyImage(src, copy));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(copy.PaletteEntry(3), (TIOColor{1, 2, 3}));
    EXPECT_EQ(copy.Zoom(), 250);
    EXPECT_EQ(copy.DisplayMode(), 1);
    EXPECT_EQ(copy.DpiX(), 300);
    EXPECT_EQ(std::memcmp(copy.Bits(), src.Bits(), src.ImageSize()), 0);
    TIOImage other(4, 3, pf8Bit);
    EXPECT_FALSE(CopyImage(src, other));

    TIOImage big(8, 4, pf8Bit);
    ASSERT_TRUE(ScaleImage(src, big));     // each source pixel twice in both directions
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(big.Pixel(x, y), src.Pixel(x / 2, y / 2)) << x << "," << y;
    TIOImage small(3, 1, pf8Bit);          // factors 4/3 and 2: x -> 0, 1, 2
    ASSERT_TRUE(ScaleImage(src, small));
    EXPECT_EQ(small.Pixel(0, 0), 0);
    EXPECT_EQ(small.Pixel(1, 0), 1);
    EXPECT_EQ(small.Pixel(2, 0), 2);
    TIOImage rgb(8, 4, pf24Bit);
    EXPECT_FALSE(ScaleImage(src, rgb));
    TIOImage four(2, 2, pf4Bit), four2(4, 4, pf4Bit);
    four.SetPixel(1, 0, 9);
    ASSERT_TRUE(ScaleImage(four, four2));
    EXPECT_EQ(four2.Pixel(3, 1), 9);
    EXPECT_EQ(four2.Pixel(1, 1), 0);
}

} // namespace
} // namespace tessaly
