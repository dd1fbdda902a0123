// Tests of segment joining: the joined video clip and audio track over parts of uneven
// lengths (an empty and a one-frame part, streams that start late in their files), and
// numbered files through each access path, frame-exact and sample-exact against the
// parts read alone.
#include "media/input/join/joined_audio.h"
#include "media/input/join/joined_video.h"

#include "media/common/byte_order.h"
#include "media/input/io_movie_reader.h"
#include "media/input/wave_reader.h"
#include "support/media_error_print.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

namespace tessaly {
namespace {

using test::ShellQuote;
using test::TTempDir;

// A clip of `length` frames whose picture n carries the clip's id and n in its first two
// bytes; frame 0 is its only key frame.
class TNumberedVideo final : public TVideoSource {
public:
    TNumberedVideo(uint8_t id, int32_t length) : FId(id), FLength(length)
    {
        TVideoStreamRecord stream = PictureStreamRecord("part.avi", FourCC("DIB "), 1, 25, length, 8, 4);
        stream.Info.dwSuggestedBufferSize = 100u * id;
        stream.Format = TIOImage(8, 4, pf24Bit).BitmapInfo();
        std::vector<TVideoStreamRecord> streams;
        streams.push_back(std::move(stream));
        Describe("part.avi", AVIFILEINFO{}, std::move(streams), {"WrdSrcVideo", "test"}, "");
    }
    int32_t FrameCount() const override { return FLength; }
    int32_t Rate() const override { return 25; }
    int32_t Scale() const override { return 1; }
    uint32_t Width() const override { return 8; }
    uint32_t Height() const override { return 4; }
    bool GetFrame(int32_t n, TIOImage &image) override
    {
        if (n < 0 || n >= FLength)
            return Fail(meParam);
        image.Bits()[0] = FId;
        image.Bits()[1] = uint8_t(n);
        return true;
    }
    bool IsKeyFrame(int32_t n) override { return n == 0; }
    bool ReadPacket(int32_t, TVideoPacket &) override { return Fail(meUnsupported); }

private:
    uint8_t FId;
    int32_t FLength;
};

TEST(JoinedVideo, FramesMapToTheirPartsPastEmptyAndShortParts)
{
    std::vector<std::unique_ptr<TVideoSource>> parts;
    for (auto [id, length] : {std::pair{1, 4}, {2, 0}, {3, 1}, {4, 3}})
        parts.push_back(std::make_unique<TNumberedVideo>(uint8_t(id), length));
    std::vector<int> videos, audios;
    ASSERT_EQ(CheckVideoSegments(parts, false, videos, audios), meOk);
    EXPECT_EQ(videos, std::vector<int>{0});
    TJoinedVideoSource clip(std::move(parts));
    ASSERT_TRUE(clip.SelectStream(0, true, nullptr));
    EXPECT_EQ(clip.FrameCount(), 8);
    EXPECT_EQ(clip.SegmentCount(), 4);
    EXPECT_EQ(clip.Streams()[0].Info.dwLength, 8u);
    EXPECT_EQ(clip.Streams()[0].Info.dwSuggestedBufferSize, 400u);
    EXPECT_STREQ(clip.Streams()[0].Info.szName, "part.avi Video #0");

    const std::vector<std::pair<int, int>> expected = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {3, 0}, {4, 0}, {4, 1}, {4, 2}};
    TIOImage image(8, 4, pf24Bit);
    std::vector<uint8_t> buffer;
    for (int32_t n = 7; n >= 0; --n) {
        ASSERT_TRUE(clip.GetPicture(n, image, TVideoReadMode{})) << n;
        EXPECT_EQ(std::pair(int(image.Bits()[0]), int(image.Bits()[1])), expected[size_t(n)]) << n;
        EXPECT_EQ(clip.IsKeyFrame(n), expected[size_t(n)].second == 0) << n;
        // Stored reads of decoded parts hand out the picture rows.
        TVideoPacket packet;
        ASSERT_TRUE(clip.ReadStored(n, TVideoReadMode{}, buffer, packet)) << n;
        ASSERT_EQ(size_t(packet.Size), image.ImageSize());
        EXPECT_EQ(std::pair(int(packet.Data[0]), int(packet.Data[1])), expected[size_t(n)]) << n;
    }
    for (int32_t n : {-1, 8}) {
        EXPECT_FALSE(clip.GetFrame(n, image));
        EXPECT_EQ(clip.Status(), meParam);
        EXPECT_FALSE(clip.IsKeyFrame(n));
    }
}

// A stream of `length` 16-bit samples starting at sample `start` of its file; sample k of
// the stream holds id * 1000 + k.
class TNumberedAudio final : public TAudioSource {
public:
    TNumberedAudio(int id, int32_t start, uint32_t length) : FId(id)
    {
        TAudioStreamRecord s;
        s.Start = start;
        s.Info.fccType = streamtypeAUDIO;
        s.Info.dwScale = 2;
        s.Info.dwRate = 16000;
        s.Info.dwSampleSize = 2;
        s.Info.dwLength = length;
        const WAVEFORMATEX f = MakePcmFormat(8000, 16, 1);
        s.Format.resize(16);
        std::memcpy(s.Format.data(), &f, 16);
        FStreams.push_back(std::move(s));
    }
    const AVIFILEINFO &FileInfo() const override { return FInfo; }
    const std::vector<TAudioStreamRecord> &Streams() const override { return FStreams; }
    TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) override
    {
        const TAudioStreamRecord &s = FStreams[0];
        if (stream != 0 || first < s.Start || first + count > s.Start + int64_t(s.Info.dwLength))
            return meFileRead;
        for (int32_t i = 0; i < count; ++i) {
            const int16_t v = int16_t(FId * 1000 + (first - s.Start) + i);
            std::memcpy(out + 2 * i, &v, 2);
        }
        return meOk;
    }

private:
    int FId;
    AVIFILEINFO FInfo{};
    std::vector<TAudioStreamRecord> FStreams;
};

TEST(JoinedAudio, ReadsCrossEveryPartInOneRequest)
{
    std::vector<std::unique_ptr<TAudioSource>> parts;
    parts.push_back(std::make_unique<TNumberedAudio>(1, 3, 5));
    parts.push_back(std::make_unique<TNumberedAudio>(2, 0, 1));
    parts.push_back(std::make_unique<TNumberedAudio>(3, 10, 4));
    std::vector<int> audios;
    ASSERT_EQ(CheckAudioSegments(parts, audios), meOk);
    EXPECT_EQ(audios, std::vector<int>{0});
    TJoinedAudioSource track(std::move(parts));
    EXPECT_EQ(track.Length(0), 10);
    EXPECT_EQ(track.Streams()[0].Start, 0);
    EXPECT_EQ(track.SegmentCount(), 3);

    int16_t v[10] = {};
    ASSERT_EQ(track.Read(0, 2, 7, reinterpret_cast<uint8_t *>(v)), meOk);
    EXPECT_EQ(std::vector<int16_t>(v, v + 7), (std::vector<int16_t>{1002, 1003, 1004, 2000, 3000, 3001, 3002}));
    // Backwards after a read in the last part.
    ASSERT_EQ(track.Read(0, 0, 10, reinterpret_cast<uint8_t *>(v)), meOk);
    EXPECT_EQ(v[0], 1000);
    EXPECT_EQ(v[9], 3003);
    EXPECT_EQ(track.Read(0, 8, 3, reinterpret_cast<uint8_t *>(v)), meFileRead);
    EXPECT_EQ(track.Read(0, -1, 1, reinterpret_cast<uint8_t *>(v)), meFileRead);
    EXPECT_EQ(track.Read(1, 0, 1, reinterpret_cast<uint8_t *>(v)), meParam);
}

// Three numbered files of 7, 1 and 5 frames, each with other pictures, through every path
// that reads them: every frame of the clip, in a shuffled order, is the picture of its file
// read alone, and stored frames and key flags are those of the file.
TEST(JoinedVideoFiles, EveryPathJoinsFrameExact)
{
    TTempDir dir;
    const char *sources[] = {"testsrc", "smptebars", "testsrc2"};
    const int lengths[] = {7, 1, 5};
    // B-frames in the AVI files; the Matroska files without them.
    for (int i = 0; i < 3; ++i)
        for (auto [ext, bframes] : {std::pair{"avi", "1"}, {"mkv", "0"}})
            ASSERT_TRUE(test::Ffmpeg("-f lavfi -i " + std::string(sources[i]) + "=size=64x48:rate=25 -frames:v " +
                                     std::to_string(lengths[i]) + " -c:v mpeg4 -g 3 -bf " + bframes + " " +
                                     ShellQuote(dir.File("part." + std::to_string(i + 1) + "." + ext))));
    std::mt19937 random(7);
    for (auto [kind, ext] : {std::pair{"ODML|-1", "avi"}, {"MSVW|-1", "avi"}, {"LAVF|-1", "mkv"}}) {
        SCOPED_TRACE(kind);
        TIOMovieReader clip;
        ASSERT_TRUE(clip.Open(dir.File(std::string("part.*.") + ext) + "|1|2|3", kind, false))
            << MediaErrorIdent(clip.Status());
        EXPECT_EQ(clip.KindString(), kind);
        EXPECT_EQ(clip.SegmentCount(), 3);
        ASSERT_EQ(clip.FrameCount(), 13);
        std::vector<std::pair<int, int>> frames; // (file, frame in it) of each clip frame
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < lengths[i]; ++k)
                frames.push_back({i, k});
        std::vector<int32_t> order(frames.size());
        for (size_t n = 0; n < order.size(); ++n)
            order[n] = int32_t(n);
        std::shuffle(order.begin(), order.end(), random);
        TIOMovieReader parts[3];
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(parts[i].Open(dir.File("part." + std::to_string(i + 1) + "." + ext), kind, false));
        auto image = clip.NewFrameImage(), alone = clip.NewFrameImage();
        for (int32_t n : order) {
            const auto [file, k] = frames[size_t(n)];
            ASSERT_TRUE(clip.GetFrame(n, *image)) << n;
            ASSERT_TRUE(parts[file].GetFrame(k, *alone)) << n;
            ASSERT_EQ(std::memcmp(image->Bits(), alone->Bits(), image->ImageSize()), 0) << "frame " << n;
            EXPECT_EQ(clip.IsKeyFrame(n), parts[file].IsKeyFrame(k)) << n;
            const TStoredFrame stored = clip.ReadStored(n);
            ASSERT_TRUE(stored.Ok) << n;
            const std::vector<uint8_t> data(stored.Data, stored.Data + stored.Size);
            const TStoredFrame own = parts[file].ReadStored(k);
            ASSERT_TRUE(own.Ok) << n;
            EXPECT_EQ(data, std::vector<uint8_t>(own.Data, own.Data + own.Size)) << n;
        }
        EXPECT_FALSE(clip.GetFrame(13, *image));
        EXPECT_EQ(clip.Status(), meParam);
    }
}

// Numbered WAV files of MP3 sound, which the RIFF readers cannot decode, fall back to
// FFmpeg as one joined track: sample-exact the files read alone, one after the other, also
// in reads that begin in the first file and end in the last.
TEST(JoinedAudioFiles, FallbackPathJoinsSampleExact)
{
    TTempDir dir;
    const char *tones[] = {"sine=f=440:d=0.4", "sine=f=660:d=0.05", "sine=f=880:d=0.3"};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i " + std::string(tones[i]) + " -ar 44100 -c:a libmp3lame " +
                                 ShellQuote(dir.File("take" + std::to_string(i + 1) + ".wav"))));
    std::vector<uint8_t> expected;
    int64_t lengths[3] = {};
    for (int i = 0; i < 3; ++i) {
        TWaveReader alone;
        ASSERT_TRUE(alone.Open(dir.File("take" + std::to_string(i + 1) + ".wav"), "AUTO|-1", true, 0));
        std::vector<uint8_t> all(size_t(alone.OutputLength()) * size_t(alone.BlockAlign()));
        ASSERT_TRUE(alone.ReadSamples(all.data(), int32_t(alone.OutputLength())));
        expected.insert(expected.end(), all.begin(), all.end());
        lengths[i] = alone.OutputLength();
    }
    TWaveReader track;
    ASSERT_TRUE(track.Open(dir.File("take*.wav") + "|1|2|3", "AUTO|-1", true, 0)) << MediaErrorIdent(track.Status());
    EXPECT_EQ(track.KindString(), "LAVF|-1");
    EXPECT_EQ(track.SegmentCount(), 3);
    const size_t block = size_t(track.BlockAlign());
    ASSERT_EQ(size_t(track.OutputLength()) * block, expected.size());
    std::vector<uint8_t> all(expected.size());
    ASSERT_TRUE(track.ReadSamples(all.data(), int32_t(track.OutputLength())));
    EXPECT_TRUE(all == expected);
    // From 100 samples before the end of the first file to 100 into the third.
    const int64_t from = lengths[0] - 100, count = 100 + lengths[1] + 100;
    std::vector<uint8_t> part(size_t(count) * block);
    track.Seek(from);
    ASSERT_TRUE(track.ReadSamples(part.data(), int32_t(count)));
    EXPECT_TRUE(std::equal(part.begin(), part.end(), expected.begin() + std::ptrdiff_t(size_t(from) * block)));
}

} // namespace
} // namespace tessaly
