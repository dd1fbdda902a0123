// Tests of TAVICreator: interleaving with the audio preload, per-frame sample counts,
// header values, failures reaching the caller, and the files judged by other readers.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <csignal>
#include <filesystem>

#include "media/common/byte_order.h"
#include "media/output/avi_creator.h"
#include "support/avi_external_check.h"
#include "support/avi_reader_check.h"
#include "support/avi_test_media.h"
#include "support/riff_tree.h"
#include "support/test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

struct TResultSetup {
    int Mode = cmResult;
    uint32_t Rate = 25, Scale = 1;
    bool Audio = true;
    uint32_t SampleRate = 48000;
    double Preload = 0.75;
    uint32_t BlockLimit = 0;
    std::vector<int> Dropped;   // frames handed over with zero bytes
};

struct TResult {
    bool Closed = false;
    std::vector<std::vector<uint8_t>> Frames;   // what was handed over
    int64_t SampleFrames = 0;
    std::vector<uint32_t> Required;             // AudioRequired after each frame
};

// Renders `count` MJPEG frames (and the PCM pattern, exactly as much as required).
TResult Render(const std::string &path, int count, const TResultSetup &setup)
{
    TResult r;
    TAVICreator c(setup.Mode, setup.BlockLimit);
    std::vector<uint8_t> bi = BitmapInfo(64, 48, FourCC("MJPG"));
    EXPECT_TRUE(c.SetVideoFormat(bi.data(), int(bi.size())));
    EXPECT_TRUE(c.SetVideoTiming(setup.Rate, setup.Scale, FourCC("MJPG"), 7500));
    if (setup.Audio) {
        EXPECT_TRUE(c.SetAudioFormat(setup.SampleRate, 16, setup.Preload, 2));
    }
    if (!c.Open(path)) {
        ADD_FAILURE() << "Open failed: " << c.ErrorText();
        return r;
    }
    const auto &frames = MjpegFrames(std::max(count, 1));
    for (int i = 0; i < count; ++i) {
        bool dropped = std::find(setup.Dropped.begin(), setup.Dropped.end(), i) != setup.Dropped.end();
        r.Frames.push_back(dropped ? std::vector<uint8_t>() : frames[size_t(i)]);
        EXPECT_TRUE(c.WriteFrame(r.Frames.back().data(), uint32_t(r.Frames.back().size()), i % 5 == 0)) << i;
        uint32_t k = c.AudioRequired();
        r.Required.push_back(k);
        if (k > 0) {
            std::vector<uint8_t> pcm = PcmPattern(r.SampleFrames, k, 2);
            EXPECT_TRUE(c.WriteAudio(pcm.data(), k));
            EXPECT_EQ(c.AudioRequired(), 0u);
            r.SampleFrames += k;
        }
    }
    r.Closed = c.Close();
    EXPECT_FALSE(c.IsOpen());
    return r;
}

struct TParsed {
    std::vector<uint8_t> Bytes;
    std::vector<TRiffNode> Top;
    std::string Order;   // 'v' and 'a' per movi chunk
    std::vector<std::vector<uint8_t>> Video, Audio;
    const TRiffNode *Hdrl = nullptr;
    uint32_t Avih(int offset) const { return Le32(Bytes, Hdrl->Find("avih")->DataPos() + offset); }
    uint32_t Strh(int stream, int offset) const
    {
        int s = 0;
        for (const TRiffNode &c : Hdrl->Children)
            if (c.Type == "strl" && s++ == stream)
                return Le32(Bytes, c.Find("strh")->DataPos() + offset);
        return 0xFFFFFFFF;
    }
};

TParsed Parse(const std::string &path)
{
    TParsed p;
    p.Bytes = ReadFileBytes(path);
    std::string err;
    EXPECT_TRUE(ParseRiff(p.Bytes, p.Top, &err)) << err;
    if (p.Top.empty())
        return p;
    p.Hdrl = p.Top[0].Find("hdrl");
    for (const TRiffNode &riff : p.Top)
        if (const TRiffNode *movi = riff.Find("movi"))
            for (const TRiffNode &c : movi->Children) {
                if (c.Id == "00dc" || c.Id == "00db") {
                    p.Order += 'v';
                    p.Video.push_back(ChunkData(p.Bytes, c));
                } else if (c.Id == "01wb") {
                    p.Order += 'a';
                    p.Audio.push_back(ChunkData(p.Bytes, c));
                }
            }
    return p;
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>> &parts)
{
    std::vector<uint8_t> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TAviExpectation Expectation(const TResult &r, const TResultSetup &setup)
{
    TAviExpectation e;
    e.VideoFrames = int(r.Frames.size());
    for (const auto &f : r.Frames)
        e.EmptyFrames += f.empty();
    e.Rate = setup.Rate;
    e.Scale = setup.Scale;
    e.HasAudio = setup.Audio;
    e.AudioSampleFrames = r.SampleFrames;
    e.SampleRate = setup.SampleRate;
    e.BlockAlign = 4;
    e.VideoBytes = Joined(r.Frames);
    e.AudioBytes = PcmPattern(0, r.SampleFrames, 2);
    e.DecodeVideo = setup.Dropped.empty();
    return e;
}

TReaderExpectation ReaderExpectation(const TResult &r, const TResultSetup &setup, uint32_t initialFrames)
{
    TReaderExpectation e;
    e.Handler = FourCC("MJPG");
    e.Rate = setup.Rate;
    e.Scale = setup.Scale;
    e.Frames = r.Frames;
    for (size_t i = 0; i < r.Frames.size(); ++i)
        e.Keys.push_back(i % 5 == 0);
    e.HasAudio = setup.Audio;
    if (setup.Audio) {
        e.SampleRate = setup.SampleRate;
        e.Channels = 2;
        e.BlockAlign = 4;
        e.Audio = PcmPattern(0, r.SampleFrames, 2);
        e.AudioInitialFrames = initialFrames;
    }
    return e;
}

// The chunk order of a result: P audio chunks, then video/audio pairs, the last audio
// chunk paired with the first held-back frame, and the remaining frames alone. Without
// any lead (no preload, or a single frame) the last audio chunk precedes the last frame.
std::string ExpectedOrder(int frames, int preloadFrames)
{
    int lead = std::min(preloadFrames, frames - 1);
    if (lead == 0) {
        std::string s;
        for (int i = 1; i < frames; ++i)
            s += "va";
        return s + "av";
    }
    std::string s(size_t(lead), 'a');
    for (int i = lead; i < frames; ++i)
        s += "va";
    return s + std::string(size_t(lead), 'v');
}

} // namespace

TEST(AVICreatorTiming, SamplesUpToFrameRoundsHalvesToEven)
{
    // 24 fps at 44100 Hz: frame n ends at n x 1837.5 sample frames.
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(1, 24, 1, 44100), 1838);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(3, 24, 1, 44100), 5512);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(1, 24.0L, 44100), 1838);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(3, 24.0L, 44100), 5512);
    EXPECT_EQ(TAVICreator::SamplesOfFrame(0, 24, 1, 44100), 1838);
    EXPECT_EQ(TAVICreator::SamplesOfFrame(1, 24, 1, 44100), 1837);
    // 24000/1001 at 44100: frame 40 ends exactly at 73573.5.
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(40, 24000, 1001, 44100), 73574);
    // 30000/1001 at 48000: 1601.6 per frame.
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(5, 30000, 1001, 48000), 8008);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(1000000, 30000, 1001, 48000), 1601600000);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(7, 0.0L, 48000), 0);
    EXPECT_EQ(TAVICreator::SamplesUpToFrame(7, 0, 1, 48000), 0);
    int64_t sum = 0;
    for (int n = 0; n < 3000; ++n) {
        int64_t k = TAVICreator::SamplesOfFrame(n, 30000, 1001, 48000);
        EXPECT_TRUE(k == 1601 || k == 1602) << n;
        sum += k;
    }
    EXPECT_EQ(sum, TAVICreator::SamplesUpToFrame(3000, 30000L / 1001.0L, 48000));
}

TEST(AVICreatorCache, RingKeepsOrderAndFillsTheCurrentEntry)
{
    TAVICreatorCache cache;
    TAVIChunkBuffer b;
    ASSERT_TRUE(b.Allocate(4));
    EXPECT_FALSE(cache.Enqueue(b));   // capacity 0
    cache.SetCapacity(2);
    EXPECT_EQ(cache.Room(), 0u);
    EXPECT_FALSE(cache.Fill("x", 1));
    for (int round = 0; round < 3; ++round) {   // wraps around the ring
        TAVIChunkBuffer one, two, three;
        ASSERT_TRUE(one.Allocate(3));
        ASSERT_TRUE(two.Allocate(5));
        ASSERT_TRUE(three.Allocate(1));
        ASSERT_TRUE(cache.Enqueue(one));
        EXPECT_TRUE(cache.Fill("ab", 2));
        EXPECT_EQ(cache.Room(), 1u);
        EXPECT_TRUE(cache.Fill("cd", 2));   // clipped to the room
        EXPECT_FALSE(cache.Fill("e", 1));   // full
        ASSERT_TRUE(cache.Enqueue(two));
        EXPECT_FALSE(cache.Enqueue(three));
        EXPECT_TRUE(cache.Fill("xy", 2));
        cache.Pad(7);
        EXPECT_EQ(cache.Room(), 0u);
        TAVIChunkBuffer out;
        ASSERT_TRUE(cache.Dequeue(out));
        EXPECT_EQ(std::string(reinterpret_cast<char *>(out.Data.get()), out.Size), "abc");
        ASSERT_TRUE(cache.Dequeue(out));
        EXPECT_EQ(std::vector<uint8_t>(out.Data.get(), out.Data.get() + out.Size),
                  (std::vector<uint8_t>{'x', 'y', 7, 7, 7}));
        EXPECT_FALSE(cache.Dequeue(out));
        EXPECT_EQ(out.Data, nullptr);
        EXPECT_TRUE(cache.IsEmpty());
    }
}

TEST(AVICreator, VideoOnlyWritesEachFrameAtOnce)
{
    TTempDir dir;
    std::string path = dir.File("video.avi");
    TAVICreator c(cmResult);
    std::vector<uint8_t> bi = BitmapInfo(64, 48, FourCC("MJPG"));
    ASSERT_TRUE(c.SetVideoFormat(bi.data(), int(bi.size())));
    ASSERT_TRUE(c.SetVideoTiming(25, 1, FourCC("MJPG"), 7500));
    ASSERT_TRUE(c.Open(path));
    EXPECT_EQ(c.AudioRequired(), 0u);
    EXPECT_FALSE(c.WriteAudio("abcd", 1));
    const auto &frames = MjpegFrames(30);
    size_t largest = 0;
    for (int i = 0; i < 30; ++i) {
        int64_t before = c.FileSize();
        ASSERT_TRUE(c.WriteFrame(frames[size_t(i)].data(), uint32_t(frames[size_t(i)].size()), i % 5 == 0));
        EXPECT_EQ(c.FileSize(), before + 8 + int64_t((frames[size_t(i)].size() + 1) & ~size_t(1)));
        largest = std::max(largest, frames[size_t(i)].size());
    }
    ASSERT_TRUE(c.Close());
    EXPECT_EQ(c.FileSize(), 0);

    TParsed p = Parse(path);
    EXPECT_EQ(p.Avih(24), 1u);        // one stream
    EXPECT_EQ(p.Avih(12), 0x10u);     // not interleaved
    EXPECT_EQ(p.Avih(0), 40000u);
    EXPECT_EQ(p.Avih(16), 30u);
    EXPECT_EQ(p.Avih(28), largest);   // suggested buffer: largest frame
    uint32_t busiest = 0;             // largest sum of 25 consecutive slots of the ring
    for (int i = 0; i < 30; ++i) {
        uint32_t sum = 0;
        for (int j = std::max(0, i - 24); j <= i; ++j)
            sum += uint32_t(frames[size_t(j)].size());
        busiest = std::max(busiest, sum);
    }
    EXPECT_EQ(p.Avih(4), busiest);
    EXPECT_EQ(p.Strh(0, 0), FourCC("vids"));
    EXPECT_EQ(p.Strh(0, 4), FourCC("MJPG"));
    EXPECT_EQ(p.Strh(0, 32), 30u);
    EXPECT_EQ(p.Strh(0, 40), 7500u);
    EXPECT_EQ(p.Order, std::string(30, 'v'));
    EXPECT_EQ(p.Video, std::vector<std::vector<uint8_t>>(frames.begin(), frames.end()));

    TResult r;
    r.Frames.assign(frames.begin(), frames.end());
    TResultSetup setup;
    setup.Audio = false;
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 0)), "");
    EXPECT_EQ(CheckAviExternally(path, Expectation(r, setup)), "");
    EXPECT_EQ(VideoPacketMd5s("-i " + ShellQuote(path)), VideoPacketMd5s(MjpegSourceArgs(30)));
}

// 25 fps with a preload of 0.75 s: 19 audio chunks lead, then pairs; the held-back
// frames go out at Close. Checked by every reader, packet by packet.
TEST(AVICreator, VideoWithAudioLeadsByThePreload)
{
    TTempDir dir;
    std::string path = dir.File("result.avi");
    TResultSetup setup;
    TResult r = Render(path, 60, setup);
    ASSERT_TRUE(r.Closed);
    EXPECT_EQ(r.SampleFrames, 60 * 1920);
    EXPECT_EQ(r.Required, std::vector<uint32_t>(60, 1920));

    TParsed p = Parse(path);
    EXPECT_EQ(p.Order, ExpectedOrder(60, 19));
    EXPECT_EQ(p.Video, r.Frames);
    for (size_t i = 0; i < p.Audio.size(); ++i)
        EXPECT_EQ(p.Audio[i], PcmPattern(int64_t(i) * 1920, 1920, 2)) << i;
    EXPECT_EQ(p.Avih(24), 2u);
    EXPECT_EQ(p.Avih(12), 0x110u);
    EXPECT_EQ(p.Avih(16), 60u);
    EXPECT_EQ(p.Strh(1, 0), FourCC("auds"));
    EXPECT_EQ(p.Strh(1, 16), 19u);           // dwInitialFrames
    EXPECT_EQ(p.Strh(1, 20), 4u);            // dwScale = block align
    EXPECT_EQ(p.Strh(1, 24), 192000u);       // dwRate = bytes per second
    EXPECT_EQ(p.Strh(1, 32), 60u * 1920);    // sample frames
    EXPECT_EQ(p.Strh(1, 36), 7680u);
    EXPECT_EQ(p.Strh(1, 44), 4u);
    size_t largest = 0;
    for (const auto &f : r.Frames)
        largest = std::max(largest, f.size());
    EXPECT_EQ(p.Strh(0, 36), largest);
    EXPECT_EQ(p.Avih(28), largest + 7680);
    const TRiffNode *strf = nullptr;
    for (const TRiffNode &c : p.Hdrl->Children)
        if (c.Type == "strl" && c.Find("strh") && Le32(p.Bytes, c.Find("strh")->DataPos()) == FourCC("auds"))
            strf = c.Find("strf");
    ASSERT_NE(strf, nullptr);
    EXPECT_EQ(ChunkData(p.Bytes, *strf), (std::vector<uint8_t>{1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0}));

    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 19)), "");
    EXPECT_EQ(CheckAviExternally(path, Expectation(r, setup)), "");
    EXPECT_EQ(VideoPacketMd5s("-i " + ShellQuote(path)), VideoPacketMd5s(MjpegSourceArgs(60)));
}

TEST(AVICreator, NtscRateAt48kHzAlternates1601And1602SampleFrames)
{
    TTempDir dir;
    std::string path = dir.File("ntsc.avi");
    TResultSetup setup;
    setup.Rate = 30000;
    setup.Scale = 1001;
    TResult r = Render(path, 50, setup);
    ASSERT_TRUE(r.Closed);
    int64_t total = 0;
    for (size_t n = 0; n < r.Required.size(); ++n) {
        total += r.Required[n];
        // The total after frame n + 1 is round((n + 1) x 48000 x 1001 / 30000), exactly.
        int64_t num = int64_t(n + 1) * 48000 * 1001;
        int64_t want = num / 30000 + ((num % 30000) * 2 >= 30000 ? 1 : 0);
        EXPECT_EQ(total, want) << n;
        EXPECT_TRUE(r.Required[n] == 1601 || r.Required[n] == 1602);
    }
    TParsed p = Parse(path);
    EXPECT_EQ(p.Order, ExpectedOrder(50, 22));   // round(29.97 x 0.75) = 22
    EXPECT_EQ(Joined(p.Audio), PcmPattern(0, total, 2));
    for (size_t i = 0; i < p.Audio.size(); ++i)
        EXPECT_EQ(p.Audio[i].size(), r.Required[i] * 4u) << i;
    EXPECT_EQ(p.Strh(0, 20), 1001u);
    EXPECT_EQ(p.Strh(0, 24), 30000u);
    EXPECT_EQ(p.Avih(0), 33367u);
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 22)), "");
    EXPECT_EQ(CheckAviExternally(path, Expectation(r, setup)), "");
}

TEST(AVICreator, ResultShorterThanThePreloadWritesHeldFramesAtClose)
{
    TTempDir dir;
    for (int frames : {1, 2, 5}) {
        std::string path = dir.File("short" + std::to_string(frames) + ".avi");
        TResultSetup setup;
        TResult r = Render(path, frames, setup);
        ASSERT_TRUE(r.Closed);
        TParsed p = Parse(path);
        EXPECT_EQ(p.Order, ExpectedOrder(frames, 19)) << frames;
        EXPECT_EQ(p.Video, r.Frames);
        EXPECT_EQ(Joined(p.Audio), PcmPattern(0, int64_t(frames) * 1920, 2));
        EXPECT_EQ(p.Strh(1, 16), uint32_t(frames - 1));   // dwInitialFrames
        EXPECT_EQ(p.Avih(16), uint32_t(frames));
        EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, uint32_t(frames - 1))), "") << frames;
        EXPECT_EQ(CheckWithFfmpeg(path, Expectation(r, setup)), "") << frames;
    }
}

TEST(AVICreator, ClosingWithoutFramesLeavesNoFile)
{
    TTempDir dir;
    for (bool audio : {false, true}) {
        std::string path = dir.File(audio ? "a.avi" : "v.avi");
        TAVICreator c(cmResult);
        if (audio) {
            ASSERT_TRUE(c.SetAudioFormat(44100, 16, 0.5, 2));
        }
        ASSERT_TRUE(c.Open(path));
        EXPECT_FALSE(std::filesystem::exists(path));   // written under a temporary name
        EXPECT_TRUE(c.Close());
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
        EXPECT_FALSE(c.Close());   // no longer open
    }
}

// Dropped frames are handed over with zero bytes; they stay frames of the stream.
TEST(AVICreator, DroppedFramesBecomeEmptyChunks)
{
    TTempDir dir;
    std::string path = dir.File("dropped.avi");
    TResultSetup setup;
    setup.Dropped = {3, 4, 10, 29};
    TResult r = Render(path, 30, setup);
    ASSERT_TRUE(r.Closed);
    TParsed p = Parse(path);
    ASSERT_EQ(p.Video.size(), 30u);
    EXPECT_EQ(p.Video, r.Frames);
    for (int i : setup.Dropped)
        EXPECT_TRUE(p.Video[size_t(i)].empty());
    EXPECT_EQ(p.Strh(0, 32), 30u);
    const TRiffNode *idx1 = p.Top[0].Find("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->Size, 16u * (30 + 30));
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 19)), "");
    EXPECT_EQ(CheckWithFfmpeg(path, Expectation(r, setup)) + CheckWithMkvmerge(path, Expectation(r, setup)), "");
}

// A small block limit forces 'AVIX' blocks; the other readers still see every packet.
TEST(AVICreator, SeveralRiffBlocksReadBackEverywhere)
{
    TTempDir dir;
    std::string path = dir.File("blocks.avi");
    TResultSetup setup;
    setup.BlockLimit = 200000;   // the first block must hold frames: readers want avih frames
    TResult r = Render(path, 60, setup);
    ASSERT_TRUE(r.Closed);
    TParsed p = Parse(path);
    EXPECT_GE(p.Top.size(), 3u);
    for (size_t i = 1; i < p.Top.size(); ++i)
        EXPECT_EQ(p.Top[i].Type, "AVIX");
    EXPECT_EQ(p.Video, r.Frames);
    EXPECT_EQ(Joined(p.Audio), PcmPattern(0, r.SampleFrames, 2));
    EXPECT_EQ(Le32(p.Bytes, p.Hdrl->Find("odml")->Find("dmlh")->DataPos()), 60u);
    EXPECT_LT(p.Avih(16), 60u);   // frames of the first block only
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 19)), "");
    EXPECT_EQ(CheckAviExternally(path, Expectation(r, setup)), "");
    EXPECT_EQ(VideoPacketMd5s("-i " + ShellQuote(path)), VideoPacketMd5s(MjpegSourceArgs(60)));
}

TEST(AVICreator, PreviewModeWritesPlainAvi)
{
    TTempDir dir;
    std::string path = dir.File("preview.avi");
    TResultSetup setup;
    setup.Mode = cmPreview;
    setup.Preload = 0;
    TResult r = Render(path, 20, setup);
    ASSERT_TRUE(r.Closed);
    TParsed p = Parse(path);
    EXPECT_EQ(p.Hdrl->Find("odml"), nullptr);
    EXPECT_EQ(p.Hdrl->Find("strl")->Find("JUNK"), nullptr);
    EXPECT_EQ(p.Order, ExpectedOrder(20, 0));
    EXPECT_EQ(p.Strh(1, 16), 1u);   // the last audio chunk went out before the last frame
    EXPECT_EQ(CheckWithReader(path, ReaderExpectation(r, setup, 1)), "");
    EXPECT_EQ(CheckAviExternally(path, Expectation(r, setup)), "");
}

TEST(AVICreator, SourceLimitsReplaceMeasuredValues)
{
    TTempDir dir;
    std::string path = dir.File("limits.avi");
    TAVICreator c(cmResult);
    ASSERT_TRUE(c.SetAudioFormat(48000, 2, 0.75, 2));   // 2 bytes = 16 bits
    EXPECT_FALSE(c.SetSourceLimits(1, 1));               // only while open
    ASSERT_TRUE(c.Open(path));
    ASSERT_TRUE(c.SetSourceLimits(123456, 999999));
    EXPECT_FALSE(c.SetAudioFormat(44100, 16, 0.75, 2));  // setters refused while open
    EXPECT_FALSE(c.SetVideoTiming(30, 1, 0, 0));
    std::vector<uint8_t> frame(768 * 576 * 3, 0x55);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(c.WriteFrame(frame.data(), uint32_t(frame.size()), true));
        ASSERT_EQ(c.AudioRequired(), 1920u);
    }
    ASSERT_TRUE(c.Close());
    TParsed p = Parse(path);
    EXPECT_EQ(p.Avih(4), 999999u);
    EXPECT_EQ(p.Strh(0, 36), 123456u);
    EXPECT_EQ(p.Strh(1, 36), 7680u);
    EXPECT_EQ(p.Avih(28), 123456u + 7680);
    EXPECT_EQ(p.Strh(0, 4), FourCC("DIB "));
    EXPECT_EQ(p.Order, ExpectedOrder(3, 19));
    EXPECT_EQ(p.Video[2], frame);
    // Audio never supplied: silence.
    EXPECT_EQ(Joined(p.Audio), std::vector<uint8_t>(3 * 7680, 0));
    EXPECT_EQ(p.Avih(32), 768u);
    EXPECT_EQ(p.Avih(36), 576u);
    const TRiffNode *movi = p.Top[0].Find("movi");
    EXPECT_EQ(movi->Children[2].Id, "00db");   // uncompressed frames
}

TEST(AVICreator, MissingAudioIsPaddedWithSilence)
{
    TTempDir dir;
    for (uint32_t bits : {8u, 16u}) {
        std::string path = dir.File("pad" + std::to_string(bits) + ".avi");
        TAVICreator c(cmResult);
        ASSERT_TRUE(c.SetAudioFormat(8000, bits, 0, 1));
        ASSERT_TRUE(c.Open(path));
        uint32_t align = bits / 8;
        std::vector<uint8_t> some(100 * align, 0x42);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(c.WriteFrame("k", 1, true));
            ASSERT_EQ(c.AudioRequired(), 320u);
            ASSERT_TRUE(c.WriteAudio(some.data(), 100));
            EXPECT_EQ(c.AudioRequired(), 220u);
        }
        ASSERT_TRUE(c.Close());
        TParsed p = Parse(path);
        ASSERT_EQ(p.Audio.size(), 2u);
        std::vector<uint8_t> want(some);
        want.resize(320 * align, bits == 8 ? 127 : 0);
        EXPECT_EQ(p.Audio[0], want);
        EXPECT_EQ(p.Audio[1], want);
        EXPECT_EQ(p.Strh(1, 44), align);
    }
}

TEST(AVICreator, DestroyingAnOpenCreatorDiscardsTheFile)
{
    TTempDir dir;
    std::string path = dir.File("destroyed.avi");
    const std::vector<uint8_t> earlier{'o', 'l', 'd'};
    ASSERT_TRUE(WriteFileBytes(path, earlier));
    const auto &frames = MjpegFrames(8);
    {
        TAVICreator c(cmResult);
        std::vector<uint8_t> bi = BitmapInfo(64, 48, FourCC("MJPG"));
        ASSERT_TRUE(c.SetVideoFormat(bi.data(), int(bi.size())));
        ASSERT_TRUE(c.SetVideoTiming(25, 1, FourCC("MJPG"), 0));
        ASSERT_TRUE(c.SetAudioFormat(48000, 16, 0.75, 2));
        ASSERT_TRUE(c.Open(path));
        for (int i = 0; i < 8; ++i) {
            ASSERT_TRUE(c.WriteFrame(frames[size_t(i)].data(), uint32_t(frames[size_t(i)].size()), i % 5 == 0));
            std::vector<uint8_t> pcm = PcmPattern(int64_t(i) * 1920, 1920, 2);
            ASSERT_TRUE(c.WriteAudio(pcm.data(), 1920));
        }
    }
    // Never closed: the unfinished file goes, the earlier result of that name stays.
    EXPECT_EQ(ReadFileBytes(path), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

TEST(AVICreator, SegmentFlagMarksFollowingSegments)
{
    TTempDir dir;
    for (bool last : {false, true}) {
        std::string path = dir.File(last ? "last.avi" : "more.avi");
        TAVICreator c(cmResult);
        ASSERT_TRUE(c.SetSegmentFlags(true, last));
        ASSERT_TRUE(c.Open(path));
        ASSERT_TRUE(c.WriteFrame("abc", 3, true));
        ASSERT_TRUE(c.Close());
        TParsed p = Parse(path);
        const TRiffNode *segm = p.Hdrl->Find("segm");
        ASSERT_NE(segm, nullptr);
        EXPECT_EQ(ChunkData(p.Bytes, *segm), std::vector<uint8_t>{uint8_t(last ? 0 : 1)});
    }
}

TEST(AVICreator, SettersCheckTheirArguments)
{
    TAVICreator c(cmResult);
    TTempDir dir;
    EXPECT_FALSE(c.SetVideoTiming(0, 1, 0, 0));
    EXPECT_FALSE(c.SetVideoTiming(25, 0, 0, 0));
    EXPECT_FALSE(c.SetAudioFormat(0, 16, 0.5, 2));
    EXPECT_FALSE(c.SetAudioFormat(44100, 16, 0.5, 0));
    EXPECT_FALSE(c.SetVideoFormat(nullptr, 0));   // the old format is gone
    EXPECT_FALSE(c.Open(dir.File("x.avi")));
    EXPECT_FALSE(c.WriteFrame("a", 1, true));
    EXPECT_EQ(c.FileSize(), 0);
    std::vector<uint8_t> bi = BitmapInfo(64, 48, 0);
    ASSERT_TRUE(c.SetVideoFormat(bi.data(), 40));
    EXPECT_FALSE(c.Open(dir.File("missing/x.avi")));
    EXPECT_EQ(c.ErrorText(), "Cannot create \"" + dir.File("missing/x.avi") + "\": No such file or directory");
    EXPECT_EQ(c.Error(), meFileOpen);
    // A preload outside 0..2 s is taken as 0.75 s: 19 frames at 25 fps.
    ASSERT_TRUE(c.SetAudioFormat(48000, 16, 5.0, 2));
    std::string path = dir.File("preload.avi");
    ASSERT_TRUE(c.Open(path));
    EXPECT_FALSE(c.Open(path));
    EXPECT_EQ(c.Error(), meState);
    for (int i = 0; i < 25; ++i)
        ASSERT_TRUE(c.WriteFrame("f", 1, true));
    ASSERT_TRUE(c.Close());
    EXPECT_EQ(Parse(path).Order, ExpectedOrder(25, 19));
}

// A chunk that cannot be stored stops the result: WriteFrame, WriteAudio and Close report
// it with the writer's message, and the file holds a consistent prefix.
TEST(AVICreator, DiskFullReachesTheCaller)
{
    TTempDir dir;
    std::string path = dir.File("full.avi");
    const std::vector<uint8_t> earlier{'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    ASSERT_TRUE(WriteFileBytes(path, earlier));
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 24 * 1024 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int accepted = 0;
    bool audioAfter = true, closed = true;
    std::string message;
    TMediaError code = meOk;
    {
        TAVICreator c(cmResult);
        c.SetAudioFormat(48000, 16, 0.2, 2);
        if (c.Open(path)) {
            std::vector<uint8_t> frame = PatternBytes(3, 1 << 20);
            std::vector<uint8_t> pcm(1920 * 4, 1);
            for (; accepted < 60; ++accepted) {
                if (!c.WriteFrame(frame.data(), uint32_t(frame.size()), true))
                    break;
                c.WriteAudio(pcm.data(), c.AudioRequired());
            }
            audioAfter = c.WriteAudio(pcm.data(), c.AudioRequired());
            closed = c.Close();
            message = c.ErrorText();
            code = c.Error();
        }
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_GT(accepted, 10);
    EXPECT_LT(accepted, 30);
    EXPECT_FALSE(audioAfter);
    EXPECT_FALSE(closed);
    EXPECT_EQ(message, "Not enough disk space to write additional data");
    EXPECT_EQ(code, meFileWrite);
    // The incomplete result never takes the target name; the earlier file stays whole.
    EXPECT_EQ(ReadFileBytes(path), earlier);
    size_t entries = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "a temporary file was left behind";
}

// Audio beyond two channels of 16 bits: 'strf' holds the extensible record with the
// caller's speaker mask, the stream header counts 18-byte sample frames, missing audio
// is zero, and FFmpeg reads the layout and every byte back.
TEST(AVICreator, HighResolutionAudioCarriesTheExtensibleRecord)
{
    TTempDir dir;
    std::string path = dir.File("hires.avi");
    TAVICreator c(cmResult);
    std::vector<uint8_t> bi = BitmapInfo(64, 48, FourCC("MJPG"));
    ASSERT_TRUE(c.SetVideoFormat(bi.data(), int(bi.size())));
    ASSERT_TRUE(c.SetVideoTiming(25, 1, FourCC("MJPG"), 7500));
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = 6;
    f.nSamplesPerSec = 8000;
    f.wBitsPerSample = 24;
    f.nBlockAlign = 18;
    f.nAvgBytesPerSec = 144000;
    WAVEFORMATEX half = f;
    half.wFormatTag = 3;
    half.wBitsPerSample = 16;
    half.nBlockAlign = 12;
    EXPECT_FALSE(c.SetAudioFormat(half, 0, 0.75));   // no 16-bit float
    ASSERT_TRUE(c.SetAudioFormat(f, 0x60F, 0.2));
    ASSERT_TRUE(c.Open(path));
    const auto &frames = MjpegFrames(10);
    std::vector<uint8_t> audio;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(c.WriteFrame(frames[size_t(i)].data(), uint32_t(frames[size_t(i)].size()), true));
        uint32_t k = c.AudioRequired();
        ASSERT_EQ(k, 320u);
        std::vector<uint8_t> pcm(size_t(k) * 18);
        for (size_t b = 0; b < pcm.size(); ++b)
            pcm[b] = uint8_t(b * 7 + size_t(i));
        if (i == 9)
            pcm.resize(100 * 18);   // the last frame's audio comes short: the rest is silence
        ASSERT_TRUE(c.WriteAudio(pcm.data(), uint32_t(pcm.size() / 18)));
        pcm.resize(size_t(k) * 18, 0);
        audio.insert(audio.end(), pcm.begin(), pcm.end());
    }
    ASSERT_TRUE(c.Close());

    TParsed p = Parse(path);
    EXPECT_EQ(Joined(p.Audio), audio);
    EXPECT_EQ(p.Strh(1, 20), 18u);       // dwScale = block align
    EXPECT_EQ(p.Strh(1, 24), 144000u);   // dwRate = bytes per second
    EXPECT_EQ(p.Strh(1, 32), 3200u);     // sample frames
    EXPECT_EQ(p.Strh(1, 44), 18u);
    const TRiffNode *strl = nullptr;
    for (const TRiffNode &n : p.Hdrl->Children)
        if (n.Type == "strl" && Le32(p.Bytes, n.Find("strh")->DataPos()) == FourCC("auds"))
            strl = &n;
    ASSERT_NE(strl, nullptr);
    std::vector<uint8_t> strf = ChunkData(p.Bytes, *strl->Find("strf"));
    ASSERT_EQ(strf.size(), 40u);
    EXPECT_EQ(GetLE16(&strf[0]), 0xFFFE);
    EXPECT_EQ(GetLE16(&strf[16]), 22);
    EXPECT_EQ(GetLE32(&strf[20]), 0x60Fu);
    EXPECT_EQ(GetLE32(&strf[24]), 1u);

    std::string probe;
    RunCommand("ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,channel_layout -of csv=p=0 " +
                   ShellQuote(path),
               &probe);
    EXPECT_EQ(probe, "pcm_s24le,5.1(side)\n");
    std::string raw = dir.File("audio.raw");
    ASSERT_TRUE(Ffmpeg("-i " + ShellQuote(path) + " -map 0:a -c:a copy -f s24le " + ShellQuote(raw)));
    EXPECT_EQ(ReadFileBytes(raw), audio);
}
