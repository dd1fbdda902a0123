// Tests of the reader plug-in host against the test plug-ins: table building from a
// registry file, claims and patterns, frames and samples (also outside the stream), the
// RIFF extension and the refusal of nonsense reported by a plug-in.
#include "media/input/vfapi_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "support/media_error_print.h"
#include "support/test_support.h"
#include "test_plugin/test_plugin_media.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

std::string Plug(const std::string &name) { return std::string(TESSALY_BIN_DIR) + "/" + name + ".vfp"; }

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
}

// Loads a table of: missing library, no table export, the A/V plug-in, failing info
// call, the RIFF plug-in, a missing table entry, the audio plug-in, a blank name.
class HostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        std::string reg = dir.File("registry.ini");
        WriteText(reg, "[Software\\VFPlugin]\n"
                       "missing=" + dir.File("nothere.vfp") + "\n"
                       "nofunc=" + Plug("testplug_nofunc") + "\n"
                       "  TestAV  = " + Plug("testplug_av") + "  \n"
                       "badinfo=" + Plug("testplug_badinfo") + "\n"
                       "TestRiffReaderWithAVeryLongNameBeyondThirtyOne=" + Plug("testplug_riff") + "\n"
                       "nullentry=" + Plug("testplug_nullentry") + "\n"
                       "TestAudio=" + Plug("testplug_audio") + "\n");
        LoadPlugins(reg);
    }
    void TearDown() override { UnloadPlugins(); }

    // A medium described by key=value lines, in a file of the given extension.
    std::string Medium(const std::string &text, const std::string &ext = ".tpv")
    {
        std::string path = dir.File("m" + std::to_string(++counter) + ext);
        WriteText(path, text);
        return path;
    }

    TVfHandlePtr Open(int plugin, const std::string &path, TMediaError expect = meOk)
    {
        TMediaError status = meUnknown;
        TVfHandlePtr h(VfOpen(plugin, path, status));
        EXPECT_EQ(status, expect);
        EXPECT_EQ(h != nullptr, expect == meOk);
        return h;
    }

    TTempDir dir;
    int counter = 0;
};

TEST_F(HostTest, TableKeepsOnlyWorkingPluginsInRegistryOrder)
{
    ASSERT_TRUE(PluginsLoaded());
    ASSERT_EQ(PluginCount(), 3);
    EXPECT_EQ(PluginName(0), "TestAV");
    EXPECT_EQ(PluginName(1), "TestRiffReaderWithAVeryLongName"); // cut to 31 characters
    EXPECT_EQ(PluginName(2), "TestAudio");
    EXPECT_EQ(PluginInfoText(0), "Tessaly Test Reader 1.0");
    EXPECT_EQ(PluginFileTypes(0), "Test media (*.tpv;*.MPG;*.vob)|*.tpv;*.MPG;*.vob");
    EXPECT_EQ(PluginFilterLabel(0), "Test media (*.tpv;*.MPG;*.vob)");
    EXPECT_EQ(PluginPatternList(0), "*.tpv;*.MPG;*.vob");
    EXPECT_EQ(PluginStreamTypes(0), 3u);
    EXPECT_EQ(PluginStreamTypes(2), 2u);
    EXPECT_FALSE(PluginHasVideo(2));
    EXPECT_TRUE(PluginHasAudio(2));
    EXPECT_FALSE(PluginHasRiff(0));
    EXPECT_TRUE(PluginHasRiff(1));
    EXPECT_EQ(PluginName(3), "");
    EXPECT_EQ(PluginName(-1), "");
    EXPECT_EQ(PluginStreamTypes(3), 0u);
    EXPECT_FALSE(PluginHasRiff(7));

    // Built once: a second load with another list changes nothing; unloading empties it.
    LoadPluginsFrom({"x=" + Plug("testplug_audio")});
    EXPECT_EQ(PluginCount(), 3);
    UnloadPlugins();
    EXPECT_FALSE(PluginsLoaded());
    EXPECT_EQ(PluginCount(), 0);
    LoadPluginsFrom({"=" + Plug("testplug_av"), "noPath=  ", "x=" + Plug("testplug_audio")});
    ASSERT_EQ(PluginCount(), 1);
    EXPECT_EQ(PluginName(0), "x");
}

TEST_F(HostTest, ClaimsAndPatterns)
{
    EXPECT_TRUE(PluginClaimsFile(0, "/a/movie.mpg", 1, 0));
    EXPECT_TRUE(PluginClaimsFile(0, "MOVIE.VOB", 2, 1));
    EXPECT_FALSE(PluginClaimsFile(0, "movie.mpeg", 3, 0));
    EXPECT_FALSE(PluginClaimsFile(0, "movie", 3, 0));
    EXPECT_FALSE(PluginClaimsFile(0, "movie.mpg", 3, 2)); // no RIFF extension at level 2
    EXPECT_FALSE(PluginClaimsFile(2, "x.tpa", 1, 0));     // audio plug-in asked for video
    EXPECT_TRUE(PluginClaimsFile(2, "/d/clip.*.TPA|00|01", 2, 0));
    EXPECT_FALSE(PluginClaimsFile(5, "x.tpv", 3, 0));

    EXPECT_EQ(FindPlugin("x.tpv", 1, 0), 0);
    EXPECT_EQ(FindPlugin("x.tpv", 1, 2), 1);
    EXPECT_EQ(FindPlugin("x.tpa", 2, 0), 2);
    EXPECT_EQ(FindPlugin("x.tpa", 1, 0), -1);
    EXPECT_EQ(FindPlugin("x.tpr", 2, 2), 1);
    EXPECT_EQ(FindPlugin("x.mp3", 3, 0), -1);

    EXPECT_EQ(PluginPatterns(3, 0), "*.tpv;*.mpg;*.vob;*.tpr;*.tpa");
    EXPECT_EQ(PluginPatterns(1, 0), "*.tpv;*.mpg;*.vob;*.tpr");
    EXPECT_EQ(PluginPatterns(2, 2), "*.tpv;*.tpr");
}

TEST_F(HostTest, OpenFailuresAndNonsenseAreRefused)
{
    TMediaError status = meOk;
    EXPECT_EQ(VfOpen(0, "   ", status), nullptr);
    EXPECT_EQ(status, meParam);
    EXPECT_EQ(VfOpen(3, Medium(""), status), nullptr);
    EXPECT_EQ(status, meParam);
    Open(0, dir.File("absent.tpv"), meFileNotFound);
    Open(0, Medium("openfail=1"), meFileOpen);
    Open(0, Medium("failinfo=1"), meFileFormat);
    Open(0, Medium("failstreaminfo=1"), meStreamFormat);
    Open(0, Medium("width=0"), meStreamFormat);
    Open(0, Medium("height=40000"), meStreamFormat);
    Open(0, Medium("scale=0"), meStreamFormat);
    Open(0, Medium("ablock=3"), meStreamFormat);
    Open(0, Medium("ascale=0"), meStreamFormat);
    Open(0, Medium("abits=12"), meStreamFormat);
    Open(0, Medium("channels=0"), meStreamFormat);
    Open(0, Medium("alenhigh=2147483648"), meStreamFormat);

    // Absent streams are not asked for, and their reads fail.
    TVfHandlePtr h = Open(0, Medium("video=0"));
    EXPECT_FALSE(HasVideo(h.get()));
    EXPECT_TRUE(HasAudio(h.get()));
    EXPECT_EQ(VideoInfo(h.get()).width, 0u);
    uint8_t b[16];
    EXPECT_EQ(ReadVideoFrame(h.get(), 0, b, sizeof b), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meNoVideoStream);
    EXPECT_EQ(HandleStatus(nullptr), meHandle);
    EXPECT_EQ(HandlePlugin(nullptr), -1);
    EXPECT_EQ(HandlePlugin(h.get()), 0);
}

// Checks a 24-bit bottom-up frame of the generated video pixel by pixel.
void ExpectFrame24(const uint8_t *data, uint32_t w, uint32_t hgt, uint32_t frame, bool topDown)
{
    uint32_t row = (w * 3 + 3) / 4 * 4;
    for (uint32_t r = 0; r < hgt; ++r) {
        uint32_t y = topDown ? r : hgt - 1 - r;
        for (uint32_t x = 0; x < w; ++x) {
            const uint8_t *p = data + r * row + x * 3;
            ASSERT_EQ(p[0], TpBlue(frame, x, y)) << "x " << x << " y " << y;
            ASSERT_EQ(p[1], TpGreen(frame, x, y));
            ASSERT_EQ(p[2], TpRed(frame, x, y));
        }
    }
}

TEST_F(HostTest, FramesComeBottomUpIn24Bits)
{
    TVfHandlePtr h = Open(0, Medium("width=5\nheight=3\nframes=300\n"));
    VfVideoStreamInfo vi = VideoInfo(h.get());
    EXPECT_EQ(vi.width, 5u);
    EXPECT_EQ(vi.lengthLow, 300u);
    EXPECT_EQ(FrameSize24(h.get()), 16u * 3);
    BITMAPINFOHEADER bih;
    EXPECT_EQ(VideoHeader24(h.get(), &bih), 40u);
    EXPECT_EQ(bih.biWidth, 5);
    EXPECT_EQ(bih.biHeight, 3);
    EXPECT_EQ(bih.biPlanes, 1);
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_EQ(bih.biSizeImage, 48u);
    EXPECT_EQ(bih.biXPelsPerMeter, 3780);

    std::vector<uint8_t> buf(48, 0xCC);
    ASSERT_EQ(ReadFrame24(h.get(), 259, buf.data(), 48), 48u);
    ExpectFrame24(buf.data(), 5, 3, 259, false);
    SetTopDown(h.get(), true);
    ASSERT_EQ(ReadVideoFrame(h.get(), 7, buf.data(), 48), 48u);
    ExpectFrame24(buf.data(), 5, 3, 7, true);
    SetTopDown(h.get(), false);
    const uint8_t *data = nullptr;
    ASSERT_EQ(ReadFrame24Buffered(h.get(), 299, &data), 48u);
    ExpectFrame24(data, 5, 3, 299, false);

    // Outside the stream: a zero-filled frame; a short buffer is refused.
    for (int32_t f : {-1, 300}) {
        std::fill(buf.begin(), buf.end(), 0xCC);
        ASSERT_EQ(ReadFrame24(h.get(), f, buf.data(), 48), 48u);
        EXPECT_EQ(buf, std::vector<uint8_t>(48, 0));
    }
    EXPECT_EQ(ReadFrame24(h.get(), 0, buf.data(), 47), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meBufSize);
}

TEST_F(HostTest, ThirtyTwoBitFramesAreConvertedSixteenBitFramesRefused)
{
    TVfHandlePtr h = Open(0, Medium("width=3\nheight=2\nvbits=32\n"));
    EXPECT_EQ(VideoFrameSize(h.get()), 24u);
    std::vector<uint8_t> raw(24);
    ASSERT_EQ(ReadVideoFrame(h.get(), 4, raw.data(), 24), 24u);
    EXPECT_EQ(raw[3], TP_PIXEL_PAD);
    EXPECT_EQ(raw[0], TpBlue(4, 0, 1)); // bottom row first
    std::vector<uint8_t> buf(FrameSize24(h.get()), 0xCC);
    ASSERT_EQ(buf.size(), 24u);
    ASSERT_EQ(ReadFrame24(h.get(), 4, buf.data(), 24), 24u);
    ExpectFrame24(buf.data(), 3, 2, 4, false);
    EXPECT_EQ(buf[9], 0); // row padding

    TVfHandlePtr h16 = Open(0, Medium("width=4\nheight=2\nvbits=16\n"));
    EXPECT_EQ(ReadFrame24(h16.get(), 0, buf.data(), 24), 0u);
    EXPECT_EQ(HandleStatus(h16.get()), meFrameFormat);
}

TEST_F(HostTest, AudioWithSilenceOutsideTheStream)
{
    TVfHandlePtr h = Open(0, Medium("samples=1000\nsrate=22050\nchannels=2\nabits=16\n"));
    WAVEFORMATEX wf;
    ASSERT_EQ(AudioFormat(h.get(), &wf), sizeof(WAVEFORMATEX));
    EXPECT_EQ(wf.wFormatTag, 1);
    EXPECT_EQ(wf.nChannels, 2);
    EXPECT_EQ(wf.nSamplesPerSec, 22050u);
    EXPECT_EQ(wf.nAvgBytesPerSec, 88200u);
    EXPECT_EQ(wf.nBlockAlign, 4);
    EXPECT_EQ(wf.wBitsPerSample, 16);
    EXPECT_EQ(AudioBytes(h.get(), 10), 40u);

    std::vector<int16_t> buf(400, 0x5555);
    ASSERT_EQ(ReadAudioPcm(h.get(), -100, 200, buf.data(), 800), 800u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(buf[size_t(2 * i)] | buf[size_t(2 * i + 1)], 0) << i;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(buf[size_t(200 + 2 * i)], TpSample16(i, 0)) << i;
        ASSERT_EQ(buf[size_t(200 + 2 * i + 1)], TpSample16(i, 1)) << i;
    }
    ASSERT_EQ(ReadAudio(h.get(), 950, 100, buf.data(), 400), 400u);
    EXPECT_EQ(buf[98], TpSample16(999, 0));
    EXPECT_EQ(buf[100], 0);
    EXPECT_EQ(buf[199], 0);
    ASSERT_EQ(ReadAudio(h.get(), 5000, 10, buf.data(), 40), 40u);
    EXPECT_EQ(buf[0], 0);
    buf[0] = 0x5555;
    ASSERT_EQ(ReadAudio(h.get(), INT64_MAX - 3, 10, buf.data(), 40), 40u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(ReadAudio(h.get(), 0, 10, buf.data(), 39), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meBufSize);

    // 8-bit silence is 128.
    TVfHandlePtr h8 = Open(0, Medium("samples=50\nchannels=1\nabits=8\n"));
    std::vector<uint8_t> b8(20, 7);
    ASSERT_EQ(ReadAudioPcm(h8.get(), 45, 20, b8.data(), 20), 20u);
    EXPECT_EQ(b8[4], TpSample8(49, 0));
    EXPECT_EQ(b8[5], 128);
    EXPECT_EQ(b8[19], 128);
}

TEST_F(HostTest, WideSamplesKeepTheirUpperTwoBytes)
{
    for (int bits : {24, 32}) {
        TVfHandlePtr h = Open(0, Medium("samples=300\nchannels=3\nabits=" + std::to_string(bits) + "\n"));
        WAVEFORMATEX wf;
        AudioFormat(h.get(), &wf);
        EXPECT_EQ(wf.wBitsPerSample, 16);
        EXPECT_EQ(wf.nBlockAlign, 6);
        std::vector<int16_t> buf(3 * 50);
        ASSERT_EQ(ReadAudioPcm(h.get(), 260, 50, buf.data(), 300), 300u);
        for (int i = 0; i < 40; ++i)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(buf[size_t(3 * i + c)], TpSample16(260 + i, uint32_t(c))) << bits;
        EXPECT_EQ(buf[3 * 40], 0);
    }
}

TEST_F(HostTest, PluginDeliveringMoreSamplesThanAskedIsRefused)
{
    TVfHandlePtr h = Open(0, Medium("overread=1\n"));
    std::vector<int16_t> buf(20);
    EXPECT_EQ(ReadAudio(h.get(), 0, 10, buf.data(), 40), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meStreamFormat);
}

TEST_F(HostTest, RiffExtension)
{
    TVfHandlePtr h = Open(1, Medium("width=6\nheight=4\nframes=30\nkeyevery=10\nsamples=480\nchannels=1\n"));
    ASSERT_TRUE(HasRiff(h.get()));
    VfRiffInfo info;
    ASSERT_TRUE(RiffInfo(h.get(), info));
    EXPECT_EQ(info.fileKind, VF_RIFF_KIND_AVI);
    EXPECT_EQ(info.streamFlags, VF_RIFF_HAS_VIDEO | VF_RIFF_HAS_AUDIO);
    EXPECT_EQ(info.fileInfo.dwStreams, 2u);
    EXPECT_TRUE(RiffSelectStream(h.get(), VF_RIFF_SELECT_AUDIO, 0));
    EXPECT_FALSE(RiffSelectStream(h.get(), VF_RIFF_SELECT_AUDIO, 1));

    VfRiffStreamHeader sh;
    ASSERT_TRUE(RiffStreamHeader(h.get(), VF_RIFF_SELECT_AUDIO, sh));
    EXPECT_EQ(sh.streamNumber, 1u);
    EXPECT_EQ(sh.streamInfo.fccType, streamtypeAUDIO);
    EXPECT_EQ(sh.streamInfo.dwLength, 480u);
    ASSERT_TRUE(RiffStreamHeader(h.get(), 0, sh));
    EXPECT_EQ(sh.streamInfo.fccType, streamtypeVIDEO);
    EXPECT_FALSE(RiffStreamHeader(h.get(), 2, sh));

    uint8_t fmt[64] = {};
    ASSERT_EQ(RiffVideoFormat(h.get(), nullptr, 0), 40u);
    ASSERT_EQ(RiffVideoFormat(h.get(), fmt, sizeof fmt), 40u);
    EXPECT_EQ(fmt[4], 6);
    EXPECT_EQ(fmt[14], 24);
    EXPECT_EQ(RiffVideoFormat(h.get(), fmt, 39), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meBufSize);
    ASSERT_EQ(RiffAudioFormat(h.get(), fmt, sizeof fmt), 18u);
    EXPECT_EQ(fmt[2], 1);
    ASSERT_EQ(RiffVideoCodecData(h.get(), fmt, sizeof fmt), 15u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(fmt), 15), "test codec data");
    EXPECT_EQ(RiffReadChunk(h.get(), VF_RIFF_SELECT_AUDIO, TESSALY_FCC('s', 't', 'r', 'd'), fmt, 64), 0u);

    // A stored frame of this plug-in is its bottom-up 24-bit picture.
    uint32_t size = RiffReadStream(h.get(), VF_RIFF_SELECT_VIDEO, 12, nullptr, 0, 1);
    ASSERT_EQ(size, FrameSize24(h.get()));
    std::vector<uint8_t> stored(size), decoded(size);
    ASSERT_EQ(RiffReadStream(h.get(), VF_RIFF_SELECT_VIDEO, 12, stored.data(), size, -1), size);
    ASSERT_EQ(ReadFrame24(h.get(), 12, decoded.data(), size), size);
    EXPECT_EQ(stored, decoded);
    std::vector<int16_t> pcm(100);
    ASSERT_EQ(RiffReadStream(h.get(), VF_RIFF_SELECT_AUDIO, 470, pcm.data(), 200, 100), 20u);
    EXPECT_EQ(pcm[9], TpSample16(479, 0));
    EXPECT_EQ(RiffReadStream(h.get(), VF_RIFF_SELECT_AUDIO, 480, pcm.data(), 200, 1), 0u);

    EXPECT_TRUE(RiffIsKeyFrame(h.get(), VF_RIFF_SELECT_VIDEO, 0));
    EXPECT_FALSE(RiffIsKeyFrame(h.get(), VF_RIFF_SELECT_VIDEO, 5));
    EXPECT_TRUE(RiffIsKeyFrame(h.get(), VF_RIFF_SELECT_VIDEO, 20));

    // A file the extension refuses, and a plug-in without it.
    TVfHandlePtr noRiff = Open(1, Medium("failriff=1\n"));
    EXPECT_FALSE(HasRiff(noRiff.get()));
    TVfHandlePtr plain = Open(0, Medium(""));
    EXPECT_FALSE(HasRiff(plain.get()));
    EXPECT_FALSE(RiffInfo(plain.get(), info));
    EXPECT_EQ(HandleStatus(plain.get()), meUnsupported);
    EXPECT_EQ(RiffVideoFormat(plain.get(), fmt, 64), 0u);
}

TEST_F(HostTest, HandleOutlivingTheTableIsClosedSafely)
{
    TVfHandlePtr h = Open(0, Medium(""));
    UnloadPlugins();
    std::vector<uint8_t> buf(FrameSize24(h.get()));
    EXPECT_EQ(ReadFrame24(h.get(), 0, buf.data(), uint32_t(buf.size())), 0u);
    EXPECT_EQ(HandleStatus(h.get()), meHandle);
    h.reset(); // must not call into the released library
}

} // namespace
