// The own AVI reader on files of other muxers and on damaged ones: 'idx1' offsets written
// as absolute file positions (GStreamer's avimux), an index that points at other bytes,
// several chunk ids in one stream, and uncompressed pictures with a negative height.
#include "avi_test_files.h"
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "media/input/io_movie_reader.h"
#include "media/output/avi_creator.h"
#include "support/test_support.h"
#include "support/video_test_support.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace tessaly::test;

// Every stored video packet of the reader's first video stream as an MD5 text.
std::vector<std::string> ReaderPacketMd5(TAvi2Reader &r)
{
    std::vector<std::string> sums;
    const int v = r.VideoStream(0);
    AVISTREAMINFO si;
    r.GetStreamInfo(v, si);
    std::vector<uint8_t> buf(1 << 20);
    for (uint32_t i = 0; i < si.dwLength; ++i) {
        int32_t bytes = 0;
        if (r.Read(v, int32_t(si.dwStart + i), 1, buf.data(), int32_t(buf.size()), &bytes, nullptr) != 0)
            break;
        sums.push_back(Md5Hex(buf.data(), size_t(bytes)));
    }
    return sums;
}

// Offset of the first occurrence of a chunk id in a file image.
size_t Find(const std::string &d, const std::string &id, size_t from = 0) { return d.find(id, from); }

uint32_t At32(const std::string &d, size_t at) { return GetLE32(reinterpret_cast<const uint8_t *>(&d[at])); }

void Put32(std::string &d, size_t at, uint32_t v) { d.replace(at, 4, U32(v)); }

// A file image saved under name; the path is returned.
std::string Save(const TTempDir &dir, const std::string &name, const std::string &d)
{
    const std::string path = dir.File(name);
    EXPECT_TRUE(WriteFileBytes(path, std::vector<uint8_t>(d.begin(), d.end())));
    return path;
}

class Avi2ForeignTest : public ::testing::Test {
protected:
    // The default hand-built AVI 1.0 file (6 frames, 3 audio chunks) as bytes, with the
    // positions of its 'movi' list type and its 'idx1' entries.
    void SetUp() override
    {
        File = BuildAvi1(TAvi1Layout()).Data();
        Movi = Find(File, "movi");
        Idx1 = Find(File, "idx1") + 8;
        ASSERT_NE(Movi, std::string::npos);
        ASSERT_NE(Idx1, std::string::npos + 8);
    }
    // Expects every frame and audio chunk of the default file to read as written.
    void ExpectReadsAsWritten(const std::string &path)
    {
        ASSERT_EQ(R.Open(path), 0);
        char buf[256];
        for (int i = 0; i < 6; ++i) {
            int32_t bytes = 0;
            ASSERT_EQ(R.Read(0, i, 1, buf, sizeof buf, &bytes, nullptr), 0) << "frame " << i;
            EXPECT_EQ(std::string(buf, size_t(bytes)), TestFrame(i)) << "frame " << i;
        }
        std::string audio;
        for (int32_t s = 0; s < 40;) {
            int32_t bytes = 0, samples = 0;
            ASSERT_EQ(R.Read(1, s, 7, buf, sizeof buf, &bytes, &samples), 0);
            audio.append(buf, size_t(bytes));
            s += samples;
        }
        EXPECT_EQ(audio, TestAudio(0, 40) + TestAudio(1, 80) + TestAudio(2, 40));
    }
    size_t Entries() const { return At32(File, Idx1 - 4) / 16; }
    // Position of the k-th 'idx1' entry with the chunk id.
    size_t Entry(const std::string &id, int k) const
    {
        for (size_t i = 0; i < Entries(); ++i)
            if (File.compare(Idx1 + 16 * i, 4, id) == 0 && k-- == 0)
                return Idx1 + 16 * i;
        ADD_FAILURE() << "no entry " << id;
        return Idx1;
    }

    TTempDir Dir;
    TAvi2Reader R;
    std::string File;
    size_t Movi = 0, Idx1 = 0;
};

TEST_F(Avi2ForeignTest, AbsoluteIdx1OffsetsAreDetectedAndRead)
{
    ExpectReadsAsWritten(Save(Dir, "relative.avi", File));
    R.Close();
    for (size_t i = 0; i < Entries(); ++i)
        Put32(File, Idx1 + 16 * i + 8, At32(File, Idx1 + 16 * i + 8) + uint32_t(Movi));
    ExpectReadsAsWritten(Save(Dir, "absolute.avi", File));
}

TEST_F(Avi2ForeignTest, ChunkThatDoesNotCarryTheIndexedIdAndSizeIsNeverHandedOut)
{
    // Frame 3's entry points at frame 2's chunk, frame 4's chunk header is renamed, and the
    // second audio chunk's entry points 8 bytes into its data.
    Put32(File, Entry("00dc", 3) + 8, At32(File, Entry("00dc", 2) + 8));
    File.replace(Movi + At32(File, Entry("00dc", 4) + 8), 4, "00xx");
    Put32(File, Entry("01wb", 1) + 8, At32(File, Entry("01wb", 1) + 8) + 8);
    const std::string path = Save(Dir, "damaged.avi", File);
    ASSERT_EQ(R.Open(path), 0); // the first entries still agree with the relative reading
    char buf[256];
    for (int i = 0; i < 6; ++i) {
        int32_t bytes = -1;
        const int32_t r = R.Read(0, i, 1, buf, sizeof buf, &bytes, nullptr);
        if (i == 3 || i == 4) {
            EXPECT_EQ(r, AVIERR_BADFORMAT) << "frame " << i;
            EXPECT_EQ(bytes, 0) << "frame " << i;
        } else {
            EXPECT_EQ(r, 0) << "frame " << i;
            EXPECT_EQ(std::string(buf, size_t(bytes)), TestFrame(i)) << "frame " << i;
        }
    }
    // The size query still answers from the index; the audio of the first chunk reads,
    // a read reaching the moved second chunk fails.
    int32_t bytes = 0;
    EXPECT_EQ(R.Read(0, 3, 1, nullptr, 0, &bytes, nullptr), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(bytes, int32_t(TestFrame(3).size()));
    EXPECT_EQ(R.Read(1, 0, 10, buf, sizeof buf, &bytes, nullptr), 0);
    EXPECT_EQ(R.Read(1, 10, 5, buf, sizeof buf, &bytes, nullptr), AVIERR_BADFORMAT);

    // The front-end names no stored data for those frames: the render's frame error.
    TIOMovieReader movie;
    ASSERT_TRUE(movie.Open(path, "ODML|-1", false));
    EXPECT_TRUE(movie.ReadStored(2).Ok);
    EXPECT_FALSE(movie.ReadStored(3).Ok);
    EXPECT_FALSE(movie.ReadStored(4).Ok);
    EXPECT_TRUE(movie.ReadStored(5).Ok);
}

TEST_F(Avi2ForeignTest, OneStreamUnderTwoChunkIds)
{
    // Frame 1 stored as an uncompressed chunk ("00db") among compressed ones.
    File.replace(Movi + At32(File, Entry("00dc", 1) + 8), 4, "00db");
    File.replace(Entry("00dc", 1), 4, "00db");
    ExpectReadsAsWritten(Save(Dir, "two-ids.avi", File));
    EXPECT_EQ(R.StreamRecord(0)->ChunkId, FourCC("00dc"));
}

TEST(Avi2ForeignFiles, GstreamerAvimuxPacketsEqualFfmpegs)
{
    TTempDir dir;
    for (const std::string encoder : {"x264enc", "jpegenc"}) {
        SCOPED_TRACE(encoder);
        const std::string f = dir.File(encoder + ".avi");
        ASSERT_EQ(RunCommand("gst-launch-1.0 -q videotestsrc num-buffers=30 ! "
                             "video/x-raw,width=160,height=120,framerate=25/1 ! " +
                             encoder + " ! avimux ! filesink location=" + ShellQuote(f) + " >/dev/null 2>&1"),
                  0);
        // GStreamer writes the 'idx1' offsets as file positions.
        const std::vector<uint8_t> b = ReadFileBytes(f);
        const std::string d(b.begin(), b.end());
        const size_t idx1 = d.rfind("idx1");
        ASSERT_NE(idx1, std::string::npos);
        ASSERT_EQ(d.substr(At32(d, idx1 + 16), 2), "00");
        TAvi2Reader r;
        ASSERT_EQ(r.Open(f), 0);
        const std::vector<std::string> expected = FfmpegPacketMd5(f);
        ASSERT_EQ(expected.size(), 30u);
        EXPECT_EQ(ReaderPacketMd5(r), expected);
        // Through the front-end, as a render reads them.
        TIOMovieReader movie;
        ASSERT_TRUE(movie.Open(f, "AUTO|-1", false));
        EXPECT_EQ(movie.KindString(), "ODML|-1");
        for (int32_t n = 0; n < 30; ++n) {
            const TStoredFrame s = movie.ReadStored(n);
            ASSERT_TRUE(s.Ok) << n;
            EXPECT_EQ(Md5Hex(s.Data, size_t(s.Size)), expected[size_t(n)]) << n;
        }
    }
}

// A top-down BGR24 AVI as FFmpeg writes raw video, and the same file turned into a
// bottom-up one by making its height positive.
class Avi2TopDownTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TopDown = Dir.File("topdown.avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=0.4 -c:v rawvideo -pix_fmt bgr24 " +
                           ShellQuote(TopDown)));
        const std::vector<uint8_t> b = ReadFileBytes(TopDown);
        std::string d(b.begin(), b.end());
        const size_t strf = Find(d, "strf");
        ASSERT_EQ(int32_t(At32(d, strf + 16)), -48);
        Put32(d, strf + 16, 48);
        BottomUp = Save(Dir, "bottomup.avi", d);
    }
    // Every frame of the file through the front-end equals FFmpeg's decode, and every
    // stored frame FFmpeg's packet; the stored format keeps the file's height.
    void ExpectFramesOf(const std::string &file, const std::string &kind, int32_t storedHeight)
    {
        SCOPED_TRACE(file + " " + kind);
        TIOMovieReader movie;
        ASSERT_TRUE(movie.Open(file, kind, false)) << int(movie.Status());
        ASSERT_EQ(movie.Width(), 64u);
        ASSERT_EQ(movie.Height(), 48u);
        ASSERT_EQ(movie.FrameCount(), 10);
        const std::vector<uint8_t> format = movie.GetStoredFormat();
        ASSERT_EQ(format.size(), 40u);
        EXPECT_EQ(GetLE32s(format.data() + 8), storedHeight);
        const std::string decoded = FfmpegBgr24(file);
        const std::vector<std::string> packets = FfmpegPacketMd5(file);
        ASSERT_EQ(decoded.size(), Bgr24FrameSize(64, 48) * 10);
        ASSERT_EQ(packets.size(), 10u);
        std::unique_ptr<TIOImage> image = movie.NewFrameImage();
        for (int32_t n : {0, 1, 7, 9, 3}) {
            ASSERT_TRUE(movie.GetFrame(n, *image)) << n;
            EXPECT_EQ(FirstDifferentRow(*image, reinterpret_cast<const uint8_t *>(decoded.data()) +
                                                    Bgr24FrameSize(64, 48) * size_t(n)),
                      -1)
                << "frame " << n;
            const TStoredFrame s = movie.ReadStored(n);
            ASSERT_TRUE(s.Ok);
            EXPECT_EQ(Md5Hex(s.Data, size_t(s.Size)), packets[size_t(n)]) << "frame " << n;
        }
    }

    TTempDir Dir;
    std::string TopDown, BottomUp;
};

TEST_F(Avi2TopDownTest, OwnReaderShowsBothOrientationsTheRightWayUp)
{
    ExpectFramesOf(TopDown, "AUTO|-1", -48);
    ExpectFramesOf(BottomUp, "AUTO|-1", 48);
}

TEST_F(Avi2TopDownTest, SystemLayerKeepsTheStoredHeaderAndOrientation)
{
    ExpectFramesOf(TopDown, "MSVW|-1", -48);
    ExpectFramesOf(BottomUp, "MSVW|-1", 48);
}

TEST_F(Avi2TopDownTest, OnlyUncompressedPicturesMayBeTopDown)
{
    TAvi1Layout layout;
    layout.AudioChunkBytes.clear();
    std::string d = BuildAvi1(layout).Data();
    const size_t strf = Find(d, "strf");
    Put32(d, strf + 16, uint32_t(-48)); // the builder's format is compressed ("MP42")
    TAvi2Reader r;
    EXPECT_EQ(r.Open(Save(Dir, "compressed-topdown.avi", d)), AVIERR_BADFORMAT);
}

TEST_F(Avi2TopDownTest, TopDownOpenDmlOfSeveralRiffBlocks)
{
    // The result writer with a small block limit stands in for a capture beyond 2 GiB:
    // the frames go into 'AVIX' blocks reached through the OpenDML indexes.
    TIOMovieReader source;
    ASSERT_TRUE(source.Open(TopDown, "ODML|-1", false));
    const std::vector<uint8_t> format = source.GetStoredFormat();
    const std::string large = Dir.File("large.avi");
    {
        TAVICreator creator(cmResult, 40000);
        ASSERT_TRUE(creator.SetVideoFormat(format.data(), int(format.size())));
        ASSERT_TRUE(creator.SetVideoTiming(25, 1, FourCC("DIB "), 0));
        ASSERT_TRUE(creator.Open(large));
        for (int32_t n = 0; n < 10; ++n) {
            const TStoredFrame s = source.ReadStored(n);
            ASSERT_TRUE(s.Ok && creator.WriteFrame(s.Data, uint32_t(s.Size), true));
        }
        ASSERT_TRUE(creator.Close()) << creator.ErrorText();
    }
    TAvi2Reader r;
    ASSERT_EQ(r.Open(large), 0);
    EXPECT_GT(r.RiffCount(), 2);
    r.Close();
    ExpectFramesOf(large, "ODML|-1", -48);
    ExpectFramesOf(large, "MSVW|-1", -48);
}

} // namespace
} // namespace tessaly
