// Tests of the video source front-end over the test reader plug-ins: decoded frames,
// turned frames, the RIFF extension's stored frames, decode-only, segments and fallback.
#include "media/input/io_movie_reader.h"

#include "media/common/byte_order.h"
#include "media/input/io_movie_choose.h"
#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"
#include "shell/messages.h"
#include "support/shipped_language.h"
#include "support/test_support.h"
#include "test_plugin/test_plugin_media.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace tessaly {
namespace {

using test::TTempDir;

std::string Plug(const std::string &name) { return std::string(TESSALY_BIN_DIR) + "/" + name + ".vfp"; }

class MovieVfap : public ::testing::Test {
protected:
    void SetUp() override
    {
        UnloadPlugins();
        LoadPluginsFrom({"TestAV=" + Plug("testplug_av"), "TestRiff=" + Plug("testplug_riff")});
        ASSERT_EQ(PluginCount(), 2);
    }
    void TearDown() override { UnloadPlugins(); }
    // A media description the test plug-ins read.
    std::string Describe(const std::string &name, const std::string &lines)
    {
        std::ofstream(FDir.File(name)) << lines;
        return FDir.File(name);
    }
    // Checks frame f's picture (16 x 8) in a 24-bit image, optionally turned over.
    static ::testing::AssertionResult ShowsFrame(const TIOImage &image, uint32_t f, bool turned)
    {
        for (uint32_t y = 0; y < image.Height(); ++y)
            for (uint32_t x = 0; x < image.Width(); ++x) {
                const uint32_t sy = turned ? image.Height() - 1 - y : y;
                const TIOColor want{TpRed(f, x, sy), TpGreen(f, x, sy), TpBlue(f, x, sy)};
                if (image.PixelColor(int(x), int(y)) != want)
                    return ::testing::AssertionFailure() << "pixel " << x << "," << y << " of frame " << f;
            }
        return ::testing::AssertionSuccess();
    }
    TTempDir FDir;
};

TEST_F(MovieVfap, DecodedFramesThroughAPlugin)
{
    const std::string file = Describe("clip.tpv", "frames=300\nwidth=16\nheight=8\nrate=30000\nscale=1001\n");
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(file, "AUTO|-1")) << int(r.Status());
    EXPECT_EQ(r.KindString(), "VFAP|TESTAV");
    EXPECT_EQ(r.PluginIndex(), 0);
    EXPECT_EQ(SourceDescriptionText(r.Description()), "VFAPI \"Tessaly Test Reader 1.0\"");
    EXPECT_EQ(r.FrameCount(), 300);
    EXPECT_EQ(r.Rate(), 30000);
    EXPECT_EQ(r.Scale(), 1001);
    EXPECT_EQ(r.Width(), 16u);
    EXPECT_EQ(r.PixelFormat(), pf24Bit);
    EXPECT_EQ(r.Handler(), FourCC("DIB "));
    EXPECT_STREQ(r.FileInfo(0).szFileType, "clip.tpv VFAPI (Tessaly Test Reader 1.0)");
    EXPECT_STREQ(r.GetVideoStreamInfo(0).szName, "clip.tpv Video #1");
    EXPECT_FALSE(r.CanSmartRender());
    EXPECT_TRUE(r.IsKeyFrame(7));
    auto image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(258, *image));
    EXPECT_TRUE(ShowsFrame(*image, 258, false));
    r.SetUpsideDown(true);
    ASSERT_TRUE(r.GetFrame(42, *image));
    EXPECT_TRUE(ShowsFrame(*image, 42, true));
    // Without the RIFF extension the stored data are the decoded rows, key frames all.
    const TStoredFrame s = r.ReadStored(42);
    ASSERT_TRUE(s.Ok);
    EXPECT_TRUE(s.KeyFrame);
    ASSERT_EQ(uint32_t(s.Size), image->ImageSize());
    EXPECT_EQ(std::memcmp(s.Data, image->Bits(), size_t(s.Size)), 0);
    EXPECT_EQ(r.GetStoredFormat(), r.OutputFormat());
    EXPECT_TRUE(r.ReadCodecData().empty());
}

TEST_F(MovieVfap, RiffExtensionGivesStoredFrames)
{
    const std::string file = Describe("clip.tpr", "frames=40\nkeyevery=10\n");
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(file, "VFAP|testriff")) << int(r.Status());
    EXPECT_EQ(r.KindString(), "VFAP|TESTRIFF");
    EXPECT_TRUE(r.CanSmartRender());
    EXPECT_TRUE(r.CanReadStored());
    const std::vector<uint8_t> stored = r.GetStoredFormat();
    ASSERT_EQ(stored.size(), 40u);
    EXPECT_EQ(stored, r.InputFormat());
    auto image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(13, *image));
    EXPECT_TRUE(ShowsFrame(*image, 13, false));
    TStoredFrame s = r.ReadStored(13);
    ASSERT_TRUE(s.Ok);
    EXPECT_FALSE(s.KeyFrame);
    ASSERT_EQ(uint32_t(s.Size), image->ImageSize());
    EXPECT_EQ(std::memcmp(s.Data, image->Bits(), size_t(s.Size)), 0);
    EXPECT_TRUE(r.ReadStored(20).KeyFrame);
    EXPECT_TRUE(r.IsKeyFrame(30));
    EXPECT_FALSE(r.IsKeyFrame(31));

    // Decode-only: no stored access, every frame decoded and a key frame.
    r.SetDecodeOnly(true);
    EXPECT_TRUE(r.CanSmartRender());
    EXPECT_FALSE(r.CanReadStored());
    EXPECT_EQ(r.GetStoredFormat(), r.OutputFormat());
    EXPECT_TRUE(r.IsKeyFrame(31));
    r.SetUpsideDown(true);
    s = r.ReadStored(31);
    ASSERT_TRUE(s.Ok);
    EXPECT_TRUE(s.KeyFrame);
    TIOImage turned(16, 8, pf24Bit);
    std::memcpy(turned.Bits(), s.Data, turned.ImageSize());
    EXPECT_TRUE(ShowsFrame(turned, 31, true));
}

TEST_F(MovieVfap, SegmentsAudioAndFailures)
{
    Describe("part1.tpv", "frames=100\n");
    Describe("part2.tpv", "frames=100\n");
    TIOMovieReader r;
    ASSERT_TRUE(r.Open(FDir.File("part*.tpv") + "|1|2", "VFAP|TestAV", false, true));
    EXPECT_EQ(r.FrameCount(), 200);
    EXPECT_EQ(r.VideoStreamCount(), 1);
    EXPECT_EQ(r.AudioStreamCount(), 1);
    EXPECT_EQ(r.GetStreamInfo(r.AudioStreamNumber(0)).fccType, streamtypeAUDIO);
    auto image = r.NewFrameImage();
    ASSERT_TRUE(r.GetFrame(150, *image));
    EXPECT_TRUE(ShowsFrame(*image, 50, false));

    Describe("wide.tpv", "frames=100\nwidth=32\n");
    EXPECT_FALSE(r.Open(FDir.File("*.tpv") + "|part1|wide", "VFAP|TestAV", false));
    EXPECT_EQ(r.Status(), meSegment);
    EXPECT_FALSE(r.Open(Describe("novideo.tpv", "video=0\n"), "VFAP|TestAV", false));
    EXPECT_EQ(r.Status(), meNoVideoStream);
    EXPECT_FALSE(r.Open(Describe("long.tpv", "vlenhigh=1\n"), "VFAP|TestAV", false));
    EXPECT_EQ(r.Status(), meFileFormat);
    EXPECT_FALSE(r.Open(Describe("clip.abc", "frames=3\n"), "VFAP|nosuch", false));
    EXPECT_EQ(r.Status(), meFileHandler);

    // The own reader and the system layer refuse the description; a claiming plug-in takes it.
    const std::string vob = Describe("film.vob", "frames=12\n");
    ASSERT_TRUE(r.Open(vob, "ODML|-1", true));
    EXPECT_EQ(r.KindString(), "VFAP|TESTAV");
    EXPECT_EQ(r.FrameCount(), 12);
    EXPECT_FALSE(r.Open(vob, "ODML|-1", false));
    // At access level 2 only plug-ins with the RIFF extension qualify.
    EXPECT_FALSE(r.Open(vob, "AUTO|-1", true, false, true, 2));
    EXPECT_EQ(r.Status(), meFileFormat);
}

// The video open dialog's entries with the two test plug-ins loaded.
TEST_F(MovieVfap, ChooseFilterTable)
{
    auto labels = [](const std::vector<TChooseFilter> &list) {
        std::vector<std::string> out;
        for (const TChooseFilter &f : list)
            out.push_back(f.Label + " => " + f.KindString());
        return out;
    };
    const std::vector<std::string> main = {
        "Smart-renderable media files (*.avi;*.tpv;*.tpr) => AUTO|1",
        "All supported media files (*.avi;*.tpv;*.mpg;*.vob;*.tpr) => AUTO|0",
        "AVI files (*.avi) => ODML|-1",
        "AVI files read by FFmpeg (*.avi) => MSVW|-1",
        "Test media (*.tpv;*.MPG;*.vob) (*.tpv;*.mpg;*.vob) => VFAP|TESTAV",
        "Test RIFF media (*.tpv;*.tpr) (*.tpv;*.tpr) => VFAP|TESTRIFF",
        "All Files (*.*) => AUTO|-1",
    };
    if (AviSynthPresent())
        GTEST_SKIP() << "an AviSynth library is installed";
    const std::vector<TChooseFilter> list = LabelChooseFilters(IOMovieChooseFilters(1, 0x9A));
    EXPECT_EQ(labels(list), main);
    std::vector<TChooseFilter> de;
    {
        test::TShippedLanguage german("Deutsch");
        ASSERT_TRUE(german.Ok);
        de = LabelChooseFilters(IOMovieChooseFilters(0, 0x9A | cfImages));
    }
    EXPECT_EQ(labels(de), (std::vector<std::string>{
                              "Alle unterst\xC3\xBCtzten Mediendateien (*.avi;*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;"
                              "*.jfif;*.tpv;*.mpg;*.vob;*.tpr) => AUTO|0",
                              "AVI-Dateien (*.avi) => ODML|-1",
                              "AVI-Dateien \xC3\xBC" "ber FFmpeg (*.avi) => MSVW|-1",
                              "Bilder (*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;*.jfif) => STIL|-1",
                              "Test media (*.tpv;*.MPG;*.vob) (*.tpv;*.mpg;*.vob) => VFAP|TESTAV",
                              "Test RIFF media (*.tpv;*.tpr) (*.tpv;*.tpr) => VFAP|TESTRIFF",
                              "Alle Dateien (*.*) => AUTO|-1",
                          }));
    // Level 2: smart-renderable sources only.
    const std::vector<TChooseFilter> strict = LabelChooseFilters(IOMovieChooseFilters(2, 0x9A | cfImages));
    EXPECT_EQ(labels(strict), (std::vector<std::string>{
                                  "Smart-renderable media files (*.avi;*.tpv;*.tpr) => AUTO|1",
                                  "AVI files (*.avi) => ODML|-1",
                                  "AVI files read by FFmpeg (*.avi) => MSVW|-1",
                                  "Test RIFF media (*.tpv;*.tpr) (*.tpv;*.tpr) => VFAP|TESTRIFF",
                              }));
    EXPECT_EQ(ChooseFilterText(strict).substr(0, 56),
              std::string("Smart-renderable media files (*.avi;*.tpv;*.tpr)\0*.avi;*", 56));

    // The main window's dialogs also name the containers FFmpeg reads and the images, each
    // group opening through its own path; the automatic entry covers them all.
    const std::vector<TChooseFilter> window = LabelChooseFilters(IOMovieChooseFilters(1, kVideoDialogFilters));
    EXPECT_EQ(labels(window), (std::vector<std::string>{
                                  "Smart-renderable media files (*.avi;*.tpv;*.tpr) => AUTO|1",
                                  "All supported media files (*.avi;*.mkv;*.mk3d;*.webm;*.mp4;*.m4v;*.mov;*.3gp;"
                                  "*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob;*.m2v;*.flv;*.wmv;*.asf;*.ogv;*.dv;*.mxf;"
                                  "*.nut;*.y4m;*.h264;*.264;*.hevc;*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;*.jfif;"
                                  "*.tpv;*.tpr) => AUTO|0",
                                  "AVI files (*.avi) => ODML|-1",
                                  "Matroska and WebM videos (*.mkv;*.mk3d;*.webm) => LAVF|-1",
                                  "MP4 and QuickTime videos (*.mp4;*.m4v;*.mov;*.3gp) => LAVF|-1",
                                  "MPEG transport and program streams (*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob;*.m2v) "
                                  "=> LAVF|-1",
                                  "Other videos (FLV, WMV, Ogg, DV, MXF ...) (*.flv;*.wmv;*.asf;*.ogv;*.dv;*.mxf;*.nut;"
                                  "*.y4m;*.h264;*.264;*.hevc) => LAVF|-1",
                                  "AVI files read by FFmpeg (*.avi) => MSVW|-1",
                                  "Images (*.bmp;*.dib;*.png;*.jpg;*.jpeg;*.jpe;*.jfif) => STIL|-1",
                                  "Test media (*.tpv;*.MPG;*.vob) (*.tpv;*.mpg;*.vob) => VFAP|TESTAV",
                                  "Test RIFF media (*.tpv;*.tpr) (*.tpv;*.tpr) => VFAP|TESTRIFF",
                                  "All Files (*.*) => AUTO|-1",
                              }));
    EXPECT_EQ(IOMovieChosenKind(window[3], nullptr), "LAVF|-1");
    EXPECT_EQ(labels(LabelChooseFilters(IOMovieChooseFilters(2, kVideoDialogFilters))), labels(strict));

    // The last kind: remembered between dialogs, preselecting its entry.
    SetIOMovieLastKind("");
    EXPECT_EQ(IOMoviePreselectedFilter(list, ""), 0);
    EXPECT_EQ(IOMoviePreselectedFilter(list, "MSVW|-1"), 3);
    EXPECT_EQ(IOMovieLastKind(), "MSVW|-1");
    std::string caller;
    EXPECT_EQ(IOMovieChosenKind(list[5], &caller), "VFAP|TESTRIFF");
    EXPECT_EQ(caller, "VFAP|TESTRIFF");
    EXPECT_EQ(IOMoviePreselectedFilter(list, ""), 5);
    EXPECT_EQ(IOMovieChosenKind(list[1], nullptr), "");   // automatic: detect on open
    EXPECT_EQ(IOMovieLastKind(), "AUTO|0");
}

} // namespace
} // namespace tessaly
