// TAvi2Reader on hand-built AVI 1.0, OpenDML and WAVE files: structure, sample
// access conventions and the rejection of misplaced, truncated or inconsistent data.
#include "avi_test_files.h"
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace tessaly::test;

class Avi2ReaderTest : public ::testing::Test {
protected:
    // Saves the bytes and opens them; returns the Open result.
    int32_t OpenBytes(const TRiffBuilder &b, const std::string &name = "clip.avi")
    {
        FPath = FDir.File(name);
        EXPECT_TRUE(b.Save(FPath));
        return FReader.Open(FPath);
    }
    std::string ReadSamples(int stream, int32_t start, int32_t count, int32_t *samples = nullptr)
    {
        std::string buf(4096, '\0');
        int32_t bytes = 0, n = 0;
        int32_t r = FReader.Read(stream, start, count, buf.data(), int32_t(buf.size()), &bytes, &n);
        EXPECT_EQ(r, 0);
        if (samples)
            *samples = n;
        return buf.substr(0, size_t(bytes));
    }

    TTempDir FDir;
    std::string FPath;
    TAvi2Reader FReader;
};

TEST_F(Avi2ReaderTest, Idx1FileHasTwoStreamsIndexedFromIdx1)
{
    ASSERT_EQ(OpenBytes(BuildAvi1({})), 0);
    EXPECT_EQ(FReader.StreamCount(), 2);
    EXPECT_EQ(FReader.VideoStreamCount(), 1);
    EXPECT_EQ(FReader.AudioStreamCount(), 1);
    EXPECT_EQ(FReader.VideoStream(0), 0);
    EXPECT_EQ(FReader.AudioStream(0), 1);
    EXPECT_EQ(FReader.AudioStream(1), -1);
    EXPECT_EQ(FReader.RiffCount(), 1);
    const TAvi2StreamRec *v = FReader.StreamRecord(0);
    const TAvi2StreamRec *a = FReader.StreamRecord(1);
    ASSERT_TRUE(v && a);
    EXPECT_EQ(v->ChunkId, FourCC("00dc"));
    EXPECT_EQ(a->ChunkId, FourCC("01wb"));
    ASSERT_EQ(v->Entries.size(), 6u);
    ASSERT_EQ(a->Entries.size(), 3u);
    EXPECT_EQ(v->LargestChunk, 15);
    EXPECT_EQ(a->FewestSamples, 10);
    EXPECT_EQ(a->MostSamples, 20);
    EXPECT_EQ(a->TotalSamples, 40);
    EXPECT_EQ(a->Entries[2].FirstSample, 30);
    // Positions are idx1 offsets plus the movi base: the bytes there are the chunk's.
    std::vector<uint8_t> file = ReadFileBytes(FPath);
    for (int i = 0; i < 6; ++i) {
        const TAvi2IndexEntry &e = v->Entries[size_t(i)];
        EXPECT_EQ(std::string(file.begin() + e.Position, file.begin() + e.Position + e.Size), TestFrame(i));
        EXPECT_EQ(GetLE32(&file[size_t(e.Position) - 8]), FourCC("00dc"));
        EXPECT_EQ(ReadSamples(0, i, 1), TestFrame(i));
    }
    EXPECT_EQ(ReadSamples(1, 0, 40), TestAudio(0, 40) + TestAudio(1, 80) + TestAudio(2, 40));
    // A read starting inside a chunk and crossing two chunk borders.
    std::string all = TestAudio(0, 40) + TestAudio(1, 80) + TestAudio(2, 40);
    int32_t n = 0;
    EXPECT_EQ(ReadSamples(1, 7, 25, &n), all.substr(28, 100));
    EXPECT_EQ(n, 25);
}

TEST_F(Avi2ReaderTest, DescriptionsFollowHeaders)
{
    TAvi1Layout layout;
    layout.VideoFlags = {0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
    ASSERT_EQ(OpenBytes(BuildAvi1(layout)), 0);
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwScale, 40000u);
    EXPECT_EQ(fi.dwRate, 1000000u);
    EXPECT_EQ(fi.dwLength, 6u);
    EXPECT_EQ(fi.dwStreams, 2u);
    EXPECT_EQ(fi.dwWidth, 64u);
    EXPECT_EQ(fi.dwHeight, 48u);
    EXPECT_EQ(fi.dwFlags, uint32_t(AVIF_HASINDEX));
    // All key frames, but the video is compressed.
    EXPECT_EQ(fi.dwCaps, uint32_t(AVIFILECAPS_CANREAD | AVIFILECAPS_ALLKEYFRAMES));
    EXPECT_STREQ(fi.szFileType, "AVI File Handler Module");
    AVISTREAMINFO si;
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(si.fccType, uint32_t(streamtypeVIDEO));
    EXPECT_EQ(si.fccHandler, FourCC("FMP4"));
    EXPECT_EQ(si.dwRate, 25u);
    EXPECT_EQ(si.dwLength, 6u);
    EXPECT_EQ(si.rcFrame.right, 64);
    EXPECT_EQ(si.rcFrame.bottom, 48);
    EXPECT_STREQ(si.szName, "clip.avi Video #1");
    FReader.GetStreamInfo(1, si);
    EXPECT_EQ(si.dwSampleSize, 4u);
    EXPECT_EQ(si.dwLength, 40u);
    EXPECT_STREQ(si.szName, "clip.avi Audio #1");
    FReader.GetStreamInfo(2, si);
    EXPECT_EQ(si.fccType, 0u);
}

TEST_F(Avi2ReaderTest, LongFileNameIsCutInStreamNames)
{
    std::string name(56, 'n');
    name += ".avi"; // 60 characters
    ASSERT_EQ(OpenBytes(BuildAvi1({}), name), 0);
    AVISTREAMINFO si;
    FReader.GetStreamInfo(1, si);
    EXPECT_EQ(std::string(si.szName), std::string(48, 'n') + "... Audio #1");
    // 51 characters stay whole.
    std::string edge = std::string(47, 'e') + ".avi";
    ASSERT_EQ(OpenBytes(BuildAvi1({}), edge), 0);
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(std::string(si.szName), edge + " Video #1");
}

TEST_F(Avi2ReaderTest, ReadFollowsStreamReadConvention)
{
    ASSERT_EQ(OpenBytes(BuildAvi1({})), 0);
    int32_t bytes = -1, samples = -1;
    // No buffer: BUFFERTOOSMALL with the size one frame needs...
    EXPECT_EQ(FReader.Read(0, 3, 1, nullptr, 0, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(bytes, 13);
    EXPECT_EQ(samples, 1);
    // ...and a buffer too small for the frame delivers nothing.
    char small[12];
    EXPECT_EQ(FReader.Read(0, 3, 1, small, sizeof small, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(samples, 0);
    // Two frames where only the first fits.
    char buf[25];
    EXPECT_EQ(FReader.Read(0, 2, 2, buf, 24, &bytes, &samples), 0);
    EXPECT_EQ(bytes, 12);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(FReader.Read(0, 2, 2, buf, 25, &bytes, &samples), 0);
    EXPECT_EQ(bytes, 25);
    EXPECT_EQ(std::string(buf, 25), TestFrame(2) + TestFrame(3));
    // Count -1 means one sample; 0 and below -1 are refused, as is a start out of range.
    EXPECT_EQ(FReader.Read(0, 0, -1, buf, sizeof buf, &bytes, &samples), 0);
    EXPECT_EQ(std::string(buf, size_t(bytes)), TestFrame(0));
    EXPECT_EQ(FReader.Read(0, 0, 0, buf, sizeof buf, &bytes, &samples), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.Read(0, 0, -2, buf, sizeof buf, &bytes, &samples), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.Read(0, 6, 1, buf, sizeof buf, &bytes, &samples), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.Read(2, 0, 1, buf, sizeof buf, &bytes, &samples), AVIERR_BADHANDLE);
    // Audio: whole samples that fit, count cut at the stream end, size query.
    char abuf[14];
    EXPECT_EQ(FReader.Read(1, 0, 10, abuf, sizeof abuf, &bytes, &samples), 0);
    EXPECT_EQ(samples, 3);
    EXPECT_EQ(std::string(abuf, 12), TestAudio(0, 12));
    EXPECT_EQ(FReader.Read(1, 38, 100, nullptr, 0, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(samples, 2);
    EXPECT_EQ(bytes, 8);
    EXPECT_EQ(FReader.Read(1, 0, 1, abuf, 3, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
    // Several frames without a buffer add up their sizes.
    EXPECT_EQ(FReader.Read(0, 0, 3, nullptr, 0, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(bytes, 10 + 11 + 12);
    EXPECT_EQ(samples, 3);
}

TEST_F(Avi2ReaderTest, FindSampleCombinations)
{
    // Key frames at 0 and 3 of 0..5.
    ASSERT_EQ(OpenBytes(BuildAvi1({})), 0);
    EXPECT_EQ(FReader.FindSample(0, 5, FIND_PREV | FIND_KEY), 3);
    EXPECT_EQ(FReader.FindSample(0, 2, FIND_PREV | FIND_KEY), 0);
    EXPECT_EQ(FReader.FindSample(0, 3, FIND_PREV | FIND_KEY), 3);
    EXPECT_EQ(FReader.FindSample(0, 1, FIND_NEXT | FIND_KEY), 3);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_NEXT | FIND_KEY), -1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_NEXT | FIND_ANY), 4);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_FROM_START | FIND_KEY), 0);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_FROM_START | FIND_NEXT | FIND_ANY), 0);
    // Out of range: moved in for the matching direction, refused otherwise.
    EXPECT_EQ(FReader.FindSample(0, -5, FIND_NEXT | FIND_KEY), 0);
    EXPECT_EQ(FReader.FindSample(0, -5, FIND_PREV | FIND_KEY), -1);
    EXPECT_EQ(FReader.FindSample(0, 100, FIND_PREV | FIND_KEY), 3);
    EXPECT_EQ(FReader.FindSample(0, 100, FIND_NEXT | FIND_ANY), -1);
    // Return kinds.
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_KEY | FIND_SIZE), 13);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_KEY | FIND_INDEX), 3);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_ANY | FIND_LENGTH), 1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_ANY | FIND_OFFSET), -1);
    EXPECT_EQ(FReader.FindSample(1, 15, FIND_NEXT | FIND_KEY), 15);
    EXPECT_EQ(FReader.FindSample(1, 15, FIND_NEXT | FIND_ANY | FIND_LENGTH), 15);
    EXPECT_EQ(FReader.FindSample(1, 15, FIND_NEXT | FIND_ANY | FIND_SIZE), 60);
    EXPECT_EQ(FReader.FindSample(1, 15, FIND_NEXT | FIND_ANY | FIND_INDEX), 1);
    // Refused flags: no type, FIND_FORMAT, two directions, an unknown return kind.
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV), -1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_FORMAT), -1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_NEXT | FIND_KEY), -1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_KEY | 0x5000), -1);
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_FROM_START | FIND_PREV | FIND_KEY), -1);
    EXPECT_EQ(FReader.FindSample(7, 0, FIND_NEXT | FIND_ANY), -1);
    EXPECT_TRUE(FReader.IsKeyFrame(0, 3));
    EXPECT_FALSE(FReader.IsKeyFrame(0, 4));
    EXPECT_FALSE(FReader.IsKeyFrame(0, 6));
}

TEST_F(Avi2ReaderTest, KeyFrameFlagsOfIndex)
{
    TAvi1Layout none;
    none.VideoFlags = {};
    ASSERT_EQ(OpenBytes(BuildAvi1(none)), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(FReader.IsKeyFrame(0, i)) << i;
    EXPECT_EQ(FReader.FindSample(0, 5, FIND_PREV | FIND_KEY), 5);
    ASSERT_EQ(OpenBytes(BuildAvi1({})), 0);
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwCaps, uint32_t(AVIFILECAPS_CANREAD));
    EXPECT_FALSE(FReader.IsKeyFrame(0, 1));
}

TEST_F(Avi2ReaderTest, StreamStartAndStartAtZero)
{
    TAvi1Layout layout;
    layout.VideoStart = 5;
    ASSERT_EQ(OpenBytes(BuildAvi1(layout)), 0);
    EXPECT_EQ(FReader.StreamRecord(0)->Entries[0].FirstSample, 5);
    EXPECT_EQ(ReadSamples(0, 5, 1), TestFrame(0));
    int32_t bytes, samples;
    EXPECT_EQ(FReader.Read(0, 4, 1, nullptr, 0, &bytes, &samples), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.FindSample(0, 0, FIND_NEXT | FIND_KEY), 5);
    EXPECT_EQ(FReader.FindSample(0, 0, FIND_FROM_START | FIND_KEY), 5);
    FReader.SetStartAtZero(true);
    ASSERT_EQ(FReader.Open(FPath), 0);
    EXPECT_EQ(ReadSamples(0, 0, 1), TestFrame(0));
    AVISTREAMINFO si;
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(si.dwStart, 0u);
}

TEST_F(Avi2ReaderTest, ReadDataAndFormats)
{
    TAvi1Layout layout;
    layout.StreamName = "camera";
    ASSERT_EQ(OpenBytes(BuildAvi1(layout)), 0);
    char buf[100];
    int32_t size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(0, FourCC("strn"), size, buf), 0);
    EXPECT_EQ(std::string(buf, size_t(size)), std::string("camera") + '\0');
    size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(1, FourCC("strn"), size, buf), AVIERR_NODATA);
    EXPECT_EQ(FReader.ReadData(0, FourCC("strd"), size, buf), AVIERR_NODATA);
    size = 3;
    EXPECT_EQ(FReader.ReadData(0, FourCC("strn"), size, buf), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, 3);
    EXPECT_EQ(std::string(buf, 3), "cam");
    size = 0;
    EXPECT_EQ(FReader.ReadData(0, FourCC("strn"), size, nullptr), 0);
    EXPECT_EQ(size, 7);
    // 'strh' answers the 56-byte header.
    size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(1, FourCC("strh"), size, buf), 0);
    EXPECT_EQ(size, 56);
    EXPECT_EQ(std::string(buf, 56), StreamHeader("auds", "", 4, 32000, 0, 40, 4));
    size = 10;
    EXPECT_EQ(FReader.ReadData(1, FourCC("strh"), size, buf), AVIERR_BUFFERTOOSMALL);
    // 'strf' and ReadFormat.
    size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(1, FourCC("strf"), size, buf), 0);
    EXPECT_EQ(std::string(buf, size_t(size)), WaveFormat(1, 2, 8000, 16));
    size = 0;
    EXPECT_EQ(FReader.ReadFormat(0, size, nullptr), 0);
    EXPECT_EQ(size, 40);
    size = 20;
    EXPECT_EQ(FReader.ReadFormat(0, size, buf), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(size, 40);
    EXPECT_EQ(std::string(buf, 20), BitmapInfo(64, 48, 24, "FMP4").substr(0, 20));
    EXPECT_EQ(FReader.ReadFormat(2, size, buf), AVIERR_BADPARAM);
    // File level: the main header and chunks found directly in 'hdrl'.
    size = sizeof buf;
    EXPECT_EQ(FReader.ReadFileData(FourCC("avih"), size, buf), 0);
    EXPECT_EQ(std::string(buf, 56), AviMainHeader(40000, 6, 2, 64, 48));
    EXPECT_EQ(FReader.ReadFileData(FourCC("vprp"), size, buf), AVIERR_NODATA);
}

TEST_F(Avi2ReaderTest, ClosedReaderAnswersBadHandle)
{
    char buf[64];
    int32_t size = sizeof buf, bytes = 0, samples = 0;
    EXPECT_FALSE(FReader.IsValid());
    EXPECT_EQ(FReader.ReadFormat(0, size, buf), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.ReadData(0, FourCC("strh"), size, buf), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.ReadFileData(FourCC("avih"), size, buf), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.Read(0, 0, 1, buf, size, &bytes, &samples), AVIERR_BADHANDLE);
    EXPECT_EQ(FReader.FindSample(0, 0, FIND_NEXT | FIND_ANY), -1);
    EXPECT_EQ(FReader.Open(FDir.File("missing.avi")), AVIERR_FILEOPEN);
    ASSERT_EQ(OpenBytes(BuildAvi1({})), 0);
    FReader.Close();
    EXPECT_FALSE(FReader.IsValid());
    EXPECT_EQ(FReader.StreamCount(), 0);
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwStreams, 0u);
}

TEST_F(Avi2ReaderTest, TrailingBytesAfterLastRiffAreIgnored)
{
    TAvi1Layout layout;
    layout.Trailer = std::string("garbage after the end", 21);
    ASSERT_EQ(OpenBytes(BuildAvi1(layout)), 0);
    EXPECT_EQ(ReadSamples(0, 5, 1), TestFrame(5));
}

// Broken files, each refused with AVIERR_BADFORMAT.
TEST_F(Avi2ReaderTest, RejectsStructuralErrors)
{
    auto expectBad = [&](const TRiffBuilder &b, const char *what) {
        EXPECT_EQ(OpenBytes(b), AVIERR_BADFORMAT) << what;
        EXPECT_FALSE(FReader.IsValid()) << what;
    };
    {   // The RIFF size reaches past the end of the file.
        TRiffBuilder b = BuildAvi1({});
        std::string d = b.Data().substr(0, b.Data().size() - 10);
        expectBad(TRiffBuilder().Raw(d), "truncated");
    }
    {   // A first RIFF form that is neither 'AVI ' nor 'WAVE'.
        TRiffBuilder b = BuildAvi1({});
        std::string d = b.Data();
        d.replace(8, 4, "RMID");
        expectBad(TRiffBuilder().Raw(d), "form type");
    }
    {   // A second 'avih' in 'hdrl'.
        TAvi1Layout s;
        s.ExtraInHdrl = [](TRiffBuilder &r) { r.Chunk("avih", AviMainHeader(40000, 6, 2, 64, 48)); };
        expectBad(BuildAvi1(s), "repeated avih");
    }
    {   // A 'strh' directly in 'hdrl'.
        TAvi1Layout s;
        s.ExtraInHdrl = [](TRiffBuilder &r) { r.Chunk("strh", StreamHeader("vids", "", 1, 25, 0, 6, 0)); };
        expectBad(BuildAvi1(s), "misplaced strh");
    }
    {   // A 'dmlh' outside its 'odml' list.
        TAvi1Layout s;
        s.ExtraInHdrl = [](TRiffBuilder &r) { r.Chunk("dmlh", U32(6)); };
        expectBad(BuildAvi1(s), "misplaced dmlh");
    }
    {   // An audio chunk of 42 bytes in a stream of 4-byte samples.
        TAvi1Layout s;
        s.AudioChunkBytes = {40, 42};
        expectBad(BuildAvi1(s), "partial sample");
    }
    {   // Fewer video chunks than the stream header's length.
        TAvi1Layout s;
        s.VideoLength = 7;
        expectBad(BuildAvi1(s), "short video index");
    }
    {   // A stream that would end beyond the 32-bit sample numbers.
        TAvi1Layout s;
        s.VideoStart = 0x7FFFFFFC;
        expectBad(BuildAvi1(s), "stream end beyond 2^31");
    }
    {   // No index at all.
        TAvi1Layout s;
        s.WithIdx1 = false;
        expectBad(BuildAvi1(s), "no idx1");
    }
    {   // An audio block size that differs from the stream's sample size.
        TAvi1Layout s;
        s.AudioSampleSize = 2;
        s.AudioChunkBytes = {40};
        expectBad(BuildAvi1(s), "block align");
    }
    {   // Lists nested far deeper than any real file.
        TRiffBuilder r;
        r.Begin("RIFF", "AVI ");
        for (int i = 0; i < 20; ++i)
            r.Begin("LIST", "hdrl");
        for (int i = 0; i < 20; ++i)
            r.End();
        r.End();
        expectBad(r, "deep nesting");
    }
    {   // A chunk that crosses the end of its list.
        TRiffBuilder r;
        r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl");
        size_t sizeAt = r.Pos() - 8;
        r.Chunk("avih", AviMainHeader(40000, 6, 1, 64, 48));
        r.End();
        r.Chunk("JUNK", std::string(100, '\0'));
        r.End();
        r.PatchU32(sizeAt, 4 + 8 + 20);
        expectBad(r, "chunk crosses its list");
    }
    {   // Not a RIFF file at all.
        expectBad(TRiffBuilder().Raw("just some text, no RIFF here"), "no RIFF");
    }
}

TEST_F(Avi2ReaderTest, RejectsBadHeaderFields)
{
    auto withMainHeader = [&](const std::string &avih) {
        TRiffBuilder r;
        r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", avih).End().End();
        return OpenBytes(r);
    };
    EXPECT_EQ(withMainHeader(AviMainHeader(40000, 6, 0, 64, 48)), AVIERR_BADFORMAT);
    EXPECT_EQ(withMainHeader(AviMainHeader(40000, 6, 101, 64, 48)), AVIERR_BADFORMAT);
    EXPECT_EQ(withMainHeader(AviMainHeader(40000, 0, 1, 64, 48)), AVIERR_BADFORMAT);
    EXPECT_EQ(withMainHeader(AviMainHeader(40000, 6, 1, 0, 48)), AVIERR_BADFORMAT);
    EXPECT_EQ(withMainHeader(AviMainHeader(40000, 6, 1, 64, 48).substr(0, 40)), AVIERR_BADFORMAT);
    // More 'strl' lists than the reader allows.
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 6, 100, 64, 48));
    for (int i = 0; i < 101; ++i)
        r.Begin("LIST", "strl").End();
    r.End().End();
    EXPECT_EQ(OpenBytes(r), AVIERR_BADFORMAT);
    // A video format with zero width; a stream header with zero rate.
    TAvi1Layout s;
    s.ExtraInHdrl = nullptr;
    // One-frame 24-bit video file with the given format width and stream rate.
    auto oneFrame = [](int32_t width, uint32_t rate) {
        TRiffBuilder b;
        b.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 1, 1, 64, 48));
        b.Begin("LIST", "strl").Chunk("strh", StreamHeader("vids", "", 1, rate, 0, 1, 0));
        b.Chunk("strf", BitmapInfo(width, 48, 24, "")).End().End();
        b.Begin("LIST", "movi").Chunk("00db", "x").End();
        b.Chunk("idx1", Idx1Entry("00db", 0x10, 4, 1)).End();
        return b;
    };
    EXPECT_EQ(OpenBytes(oneFrame(0, 25)), AVIERR_BADFORMAT);
    EXPECT_EQ(OpenBytes(oneFrame(64, 0)), AVIERR_BADFORMAT);
    // The same file with a proper rate opens, and is uncompressed.
    ASSERT_EQ(OpenBytes(oneFrame(64, 25)), 0);
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwCaps, uint32_t(AVIFILECAPS_CANREAD | AVIFILECAPS_ALLKEYFRAMES | AVIFILECAPS_NOCOMPRESSION));
    EXPECT_EQ(ReadSamples(0, 0, 1), "x");
}

TEST_F(Avi2ReaderTest, FrameRectangleOfLongStreamHeader)
{
    // A 64-byte 'strh' whose 16-bit bottom is 0 holds the rectangle as 32-bit values.
    auto open = [&](const std::string &strh) {
        TRiffBuilder r;
        r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 1, 1, 64, 48));
        r.Begin("LIST", "strl").Chunk("strh", strh);
        r.Chunk("strf", BitmapInfo(64, 48, 24, "")).End().End();
        r.Begin("LIST", "movi").Chunk("00db", "x").End();
        r.Chunk("idx1", Idx1Entry("00db", 0x10, 4, 1)).End();
        return OpenBytes(r);
    };
    std::string base = StreamHeader("vids", "", 1, 25, 0, 1, 0).substr(0, 48);
    ASSERT_EQ(open(base + U32(3) + U32(4) + U32(0x10040) + U32(0xFFFF0030)), 0);
    AVISTREAMINFO si;
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(si.rcFrame.left, 3);
    EXPECT_EQ(si.rcFrame.top, 4);
    EXPECT_EQ(si.rcFrame.right, 0x40);  // cut to 16 bits
    EXPECT_EQ(si.rcFrame.bottom, 0x30);
    // With a non-zero 16-bit bottom the 16-bit form holds, bytes 56..63 are ignored.
    ASSERT_EQ(open(base + U16(1) + U16(2) + U16(64) + U16(0xFFFE) + U32(7) + U32(8)), 0);
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(si.rcFrame.left, 1);
    EXPECT_EQ(si.rcFrame.right, 64);
    EXPECT_EQ(si.rcFrame.bottom, -2); // widened with its sign
}

TEST_F(Avi2ReaderTest, IndexEntryOutsideFileIsRefused)
{
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 1, 1, 64, 48));
    r.Begin("LIST", "strl").Chunk("strh", StreamHeader("vids", "", 1, 25, 0, 1, 0));
    r.Chunk("strf", BitmapInfo(64, 48, 24, "")).End().End();
    r.Begin("LIST", "movi").Chunk("00db", "x").End();
    r.Chunk("idx1", Idx1Entry("00db", 0x10, 4, 0x7FFFFFF0)).End();
    EXPECT_EQ(OpenBytes(r), AVIERR_BADFORMAT);
}

TEST_F(Avi2ReaderTest, OpenDmlFileReadsFramesInBothRiffBlocks)
{
    ASSERT_EQ(OpenBytes(BuildOdml({})), 0);
    EXPECT_EQ(FReader.RiffCount(), 2);
    const TAvi2StreamRec *v = FReader.StreamRecord(0);
    ASSERT_TRUE(v);
    ASSERT_EQ(v->Entries.size(), 5u);
    EXPECT_EQ(v->ChunkId, FourCC("00dc"));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ReadSamples(0, i, 1), TestFrame(i)) << i;
        EXPECT_EQ(FReader.IsKeyFrame(0, i), i == 0 || i == 3) << i;
    }
    EXPECT_EQ(ReadSamples(0, 2, 3), TestFrame(2) + TestFrame(3) + TestFrame(4));
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwLength, 5u); // from 'dmlh', not the main header's 3
    EXPECT_EQ(FReader.FindSample(0, 4, FIND_PREV | FIND_KEY), 3);
    char buf[300];
    int32_t size = sizeof buf;
    EXPECT_EQ(FReader.ReadFileData(FourCC("dmlh"), size, buf), 0);
    EXPECT_EQ(size, 248);
    EXPECT_EQ(GetLE32(reinterpret_cast<uint8_t *>(buf)), 5u);
    size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(0, FourCC("indx"), size, buf), 0);
    EXPECT_EQ(size, 24 + 32);
}

TEST_F(Avi2ReaderTest, OpenDmlRejections)
{
    TOdmlLayout noDmlh;
    noDmlh.WithDmlh = false;
    EXPECT_EQ(OpenBytes(BuildOdml(noDmlh)), AVIERR_BADFORMAT);
    TOdmlLayout badDuration;
    badDuration.SecondDuration = 3;
    EXPECT_EQ(OpenBytes(BuildOdml(badDuration)), AVIERR_BADFORMAT);
    // A super index entry that points at a chunk other than 'ix##'.
    TRiffBuilder b = BuildOdml({});
    std::string d = b.Data();
    size_t ix = d.find("ix00");
    d.replace(ix, 4, "ixx0");
    EXPECT_EQ(OpenBytes(TRiffBuilder().Raw(d)), AVIERR_BADFORMAT);
}

TEST_F(Avi2ReaderTest, OpenDmlSuperIndexRepeatingOneIndexIsRefused)
{
    // A super index naming the same 'ix00' many times would multiply its entries.
    TRiffBuilder b = BuildOdml({});
    std::string d = b.Data();
    size_t indx = d.find("indx");
    uint64_t ix1 = GetLE64(reinterpret_cast<const uint8_t *>(&d[indx + 8 + 24]));
    std::string super = IndexChunk(4, 0, 0, "00dc", 0, std::vector<std::string>(200, U64(ix1) + U32(0) + U32(0)));
    TRiffBuilder r;
    r.Begin("RIFF", "AVI ").Begin("LIST", "hdrl").Chunk("avih", AviMainHeader(40000, 3, 1, 64, 48));
    r.Begin("LIST", "strl").Chunk("strh", StreamHeader("vids", "MJPG", 1, 25, 0, 600, 0));
    r.Chunk("strf", BitmapInfo(64, 48, 24, "MJPG"));
    size_t superAt = r.Pos() + 8;
    r.Chunk("indx", super).End();
    r.Begin("LIST", "odml").Chunk("dmlh", U32(600)).End().End();
    r.Begin("LIST", "movi");
    uint64_t base = r.Pos();
    std::vector<std::string> entries;
    for (int i = 0; i < 3; ++i) {
        entries.push_back(U32(uint32_t(r.Pos() + 8 - base)) + U32(uint32_t(TestFrame(i).size())));
        r.Chunk("00dc", TestFrame(i));
    }
    size_t ixAt = r.Pos();
    r.Chunk("ix00", IndexChunk(2, 0, 1, "00dc", base, entries)).End().End();
    for (int i = 0; i < 200; ++i) {
        r.PatchU32(superAt + 24 + size_t(i) * 16, uint32_t(ixAt));
        r.PatchU32(superAt + 24 + size_t(i) * 16 + 12, 3);
    }
    EXPECT_EQ(OpenBytes(r), AVIERR_BADFORMAT);
}

TEST_F(Avi2ReaderTest, WaveWithTwoDataChunks)
{
    std::string fmt = WaveFormat(1, 2, 8000, 16);
    ASSERT_EQ(OpenBytes(BuildWave(fmt, {TestAudio(0, 40), TestAudio(1, 22)}), "two.wav"), 0);
    const TAvi2StreamRec *a = FReader.StreamRecord(0);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->Entries.size(), 2u);
    EXPECT_EQ(a->Entries[1].FirstSample, 10);
    EXPECT_EQ(a->Entries[1].SampleCount, 5); // 22 bytes: 5 whole blocks
    EXPECT_EQ(a->ChunkId, FourCC("00wb"));
    EXPECT_EQ(FReader.VideoStreamCount(), 0);
    EXPECT_EQ(FReader.AudioStream(0), 0);
    EXPECT_EQ(ReadSamples(0, 0, 15), TestAudio(0, 40) + TestAudio(1, 20));
    EXPECT_FALSE(FReader.IsKeyFrame(0, 0));
    AVISTREAMINFO si;
    FReader.GetStreamInfo(0, si);
    EXPECT_EQ(si.fccType, uint32_t(streamtypeAUDIO));
    EXPECT_EQ(si.dwScale, 4u);
    EXPECT_EQ(si.dwRate, 32000u);
    EXPECT_EQ(si.dwLength, 15u);
    EXPECT_EQ(si.dwSampleSize, 4u);
    EXPECT_EQ(si.dwQuality, 0xFFFFFFFFu);
    EXPECT_STREQ(si.szName, "two.wav Audio #1");
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwMaxBytesPerSec, 8000u); // the sample rate, as the main header gets it
    EXPECT_EQ(fi.dwScale, 4u);
    EXPECT_EQ(fi.dwRate, 32000u);
    EXPECT_EQ(fi.dwLength, 15u);
    EXPECT_EQ(fi.dwCaps, uint32_t(AVIFILECAPS_CANREAD | AVIFILECAPS_NOCOMPRESSION));
    char buf[40];
    int32_t size = sizeof buf;
    EXPECT_EQ(FReader.ReadData(0, FourCC("fmt "), size, buf), 0);
    EXPECT_EQ(std::string(buf, size_t(size)), fmt);
}

TEST_F(Avi2ReaderTest, WaveRejections)
{
    std::string fmt = WaveFormat(1, 1, 8000, 8);
    EXPECT_EQ(OpenBytes(BuildWave(fmt, {}), "a.wav"), AVIERR_BADFORMAT);
    EXPECT_EQ(OpenBytes(BuildWave(fmt.substr(0, 14), {"abc"}), "a.wav"), AVIERR_BADFORMAT);
    std::string zeroAlign = fmt;
    zeroAlign[12] = 0;
    EXPECT_EQ(OpenBytes(BuildWave(zeroAlign, {"abc"}), "a.wav"), AVIERR_BADFORMAT);
    // A zero sample rate or byte rate would make every position meaningless.
    std::string zeroRate = fmt;
    zeroRate.replace(4, 4, U32(0));
    EXPECT_EQ(OpenBytes(BuildWave(zeroRate, {"abc"}), "a.wav"), AVIERR_BADFORMAT);
    std::string zeroBytes = fmt;
    zeroBytes.replace(8, 4, U32(0));
    EXPECT_EQ(OpenBytes(BuildWave(zeroBytes, {"abc"}), "a.wav"), AVIERR_BADFORMAT);
    // Two 'fmt ' chunks.
    TRiffBuilder two;
    two.Begin("RIFF", "WAVE").Chunk("fmt ", fmt).Chunk("fmt ", fmt).Chunk("data", "abc").End();
    EXPECT_EQ(OpenBytes(two, "a.wav"), AVIERR_BADFORMAT);
    // 'data' before 'fmt '.
    TRiffBuilder early;
    early.Begin("RIFF", "WAVE").Chunk("data", "abc").Chunk("fmt ", fmt).End();
    EXPECT_EQ(OpenBytes(early, "a.wav"), AVIERR_BADFORMAT);
    // A second RIFF block.
    TRiffBuilder second = BuildWave(fmt, {"abc"});
    second.Begin("RIFF", "WAVE").End();
    EXPECT_EQ(OpenBytes(second, "a.wav"), AVIERR_BADFORMAT);
    // The plain file opens, with 8-bit samples and an odd size.
    ASSERT_EQ(OpenBytes(BuildWave(fmt, {"abc"}), "a.wav"), 0);
    EXPECT_EQ(ReadSamples(0, 0, 3), "abc");
}

} // namespace
} // namespace tessaly
