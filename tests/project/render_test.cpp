// Rendering of results: which source sample lands at which output sample, video
// packets copied unchanged, chapter files, pre-scan, and the run's error paths.
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/safe_file.h"
#include "project/project_session.h"
#include "project/preview.h"
#include "project/render.h"
#include "shell/progress.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::IndexLeft;
using test::IndexRight;

constexpr uint32_t kRate = 7500;     // 300 sample frames per video frame at 25 fps
constexpr int kN = 300;
constexpr int kFrames = 100;
constexpr int kSourceSamples = 40000;

using TSample = std::pair<int16_t, int16_t>;
using TExpect = std::function<TSample(int64_t outSample)>;

TSample Primary(int64_t i)
{
    if (i < 0 || i >= kSourceSamples)
        return {0, 0};
    return {IndexLeft(i), IndexRight(i)};
}

TSample Double(int64_t i)
{
    if (i < 0 || i >= kSourceSamples)
        return {0, 0};
    return {IndexLeft(i, true), IndexRight(i, true)};
}

// out = round(w a + (1 - w) b) per channel.
TSample Fade(double w, TSample a, TSample b)
{
    return {int16_t(std::nearbyint(w * a.first + (1 - w) * b.first)),
            int16_t(std::nearbyint(w * a.second + (1 - w) * b.second))};
}

class RenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Media = new test::TTempDir;
        ASSERT_TRUE(test::MakeTestVideo(Media->File("video.avi"), kFrames, 10));
        ASSERT_TRUE(test::WriteIndexWave(Media->File("audio.wav"), kRate, kSourceSamples));
        ASSERT_TRUE(test::WriteIndexWave(Media->File("double.wav"), kRate, kSourceSamples, true));
        SourceHashes = new std::vector<std::string>(test::VideoPacketHashes(Media->File("video.avi")));
        ASSERT_EQ(SourceHashes->size(), size_t(kFrames));
    }
    static void TearDownTestSuite()
    {
        delete Media;
        delete SourceHashes;
    }

    void Open(bool withDouble = false)
    {
        ASSERT_TRUE(Session.OpenSource(srVideo, Media->File("video.avi")));
        ASSERT_TRUE(Session.OpenSource(srAudio, Media->File("audio.wav")));
        if (withDouble) {
            ASSERT_TRUE(Session.OpenSource(srDouble, Media->File("double.wav")));
        }
        ASSERT_EQ(Session.Project().FrameCount(), kFrames);
    }
    void AddMarker(int32_t frame, uint8_t kind, int32_t value)
    {
        TMarker m;
        m.Frame = frame;
        m.Kind = kind;
        m.Value = value;
        ASSERT_TRUE(Session.Editor().PlaceMarker(m, true));
    }
    // Every output frame of the project, without a progress window.
    TRenderOptions Whole(bool crossFade, bool useChapters)
    {
        TRenderOptions options;
        options.CrossFade = crossFade;
        options.UseChapters = useChapters;
        options.LastFrame = Session.Project().LastOutputFrame();
        return options;
    }
    bool RenderAvi(const std::string &name, bool crossFade, bool useChapters = false)
    {
        TRenderer r(Session, nullptr);
        return r.CalcVideo(Out.File(name), Whole(crossFade, useChapters));
    }
    bool RenderWav(const std::string &name, bool crossFade, bool useChapters = false, int32_t first = 0,
                   bool preScan = false)
    {
        TRenderer r(Session, nullptr);
        TRenderOptions options = Whole(crossFade, useChapters);
        options.PreScan = preScan;
        options.FirstFrame = first;
        bool ok = r.CalcAudio(Out.File(name), options);
        Files = r.FilesWritten();
        return ok;
    }
    // Compares decoded samples [0, count) with expect(outBase + j); reports the first miss.
    static void ExpectAudio(const std::vector<int16_t> &got, int64_t count, int64_t outBase, const TExpect &expect)
    {
        ASSERT_EQ(int64_t(got.size()), count * 2);
        for (int64_t j = 0; j < count; ++j) {
            TSample want = expect(outBase + j);
            TSample have{got[size_t(2 * j)], got[size_t(2 * j + 1)]};
            if (want != have) {
                ADD_FAILURE() << "output sample " << outBase + j << " (frame " << (outBase + j) / kN << ", t "
                              << (outBase + j) % kN << "): got " << have.first << "," << have.second
                              << " want " << want.first << "," << want.second;
                return;
            }
        }
    }

    static test::TTempDir *Media;
    static std::vector<std::string> *SourceHashes;
    test::TRecordingUi Ui;
    TProjectSession Session{&Ui};
    test::TTempDir Out;
    std::vector<std::string> Files;
};

test::TTempDir *RenderTest::Media = nullptr;
std::vector<std::string> *RenderTest::SourceHashes = nullptr;

TEST_F(RenderTest, WithoutMarkersAudioAndVideoAreCopiedExactly)
{
    Open();
    ASSERT_TRUE(RenderAvi("plain.avi", true)) << (Ui.Messages.empty() ? "" : Ui.Messages.back());
    std::string out = Out.File("plain.avi");
    EXPECT_TRUE(test::DecodesCleanly(out));
    EXPECT_EQ(test::VideoPacketHashes(out), *SourceHashes);
    ExpectAudio(test::DecodedAudio(out), kFrames * kN, 0, Primary);
    // The WAV result holds the same samples.
    ASSERT_TRUE(RenderWav("plain.wav", true));
    EXPECT_TRUE(test::DecodesCleanly(Out.File("plain.wav")));
    ExpectAudio(test::DecodedAudio(Out.File("plain.wav")), kFrames * kN, 0, Primary);
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(RenderTest, ShiftCurveMovesTheAudio)
{
    Open();
    // One spline point: a constant shift of 3 frames (the audio from 900 samples ahead).
    AddMarker(20, mkSpline, 3);
    ASSERT_TRUE(RenderWav("const.wav", false));
    ExpectAudio(test::DecodedAudio(Out.File("const.wav")), kFrames * kN, 0,
                [](int64_t j) { return Primary(j + 3 * kN); });

    // Two points 0 -> 0 and 30 -> 10: a drift of a third of a frame per frame, spread
    // linearly over the samples of each frame.
    ASSERT_TRUE(Session.Editor().DeleteMarker(Session.Project().GetMarker(0).Frame));
    AddMarker(0, mkSpline, 0);
    AddMarker(30, mkSpline, 10);
    for (int f = 0; f <= 30; ++f)
        ASSERT_NEAR(double(Session.Project().GetStateAt(f).SplineShift), f / 3.0, 1e-9);
    ASSERT_TRUE(RenderWav("drift.wav", false));
    std::vector<int16_t> got = test::DecodedAudio(Out.File("drift.wav"));
    got.resize(30 * kN * 2);
    ExpectAudio(got, 30 * kN, 0, [](int64_t j) {
        int64_t f = j / kN, t = j % kN;
        // shift at the frame start 100 f samples, rising by 1/3 sample per sample
        return Primary(int64_t(std::nearbyint(double(t) / 3 + 100.0 * f)) + j);
    });
}

TEST_F(RenderTest, ForwardCutJumpsAhead)
{
    Open();
    AddMarker(40, mkRelCut, 5);
    ASSERT_TRUE(RenderAvi("fwd.avi", true));
    EXPECT_EQ(test::VideoPacketHashes(Out.File("fwd.avi")), *SourceHashes);
    ExpectAudio(test::DecodedAudio(Out.File("fwd.avi")), kFrames * kN, 0,
                [](int64_t j) { return Primary(j < 40 * kN ? j : j + 5 * kN); });
}

TEST_F(RenderTest, BackwardCutWithoutCrossFadeIsSilentUntilThePrimaryPassesItsLastSample)
{
    Open();
    AddMarker(40, mkRelCut, -5);
    ASSERT_TRUE(RenderWav("back.wav", false));
    // Frames 40-44 would repeat samples 10500 .. 11999: silent. From 45 on the audio runs
    // 1500 samples behind.
    ExpectAudio(test::DecodedAudio(Out.File("back.wav")), kFrames * kN, 0, [](int64_t j) {
        if (j < 40 * kN)
            return Primary(j);
        if (j < 45 * kN)
            return TSample{0, 0};
        return Primary(j - 5 * kN);
    });
}

TEST_F(RenderTest, BackwardCutWithCrossFadeBridgesWithTheDoubleTrack)
{
    Open(true);
    AddMarker(40, mkRelCut, -5);
    ASSERT_TRUE(RenderWav("backx.wav", true));
    // Frame 39 fades to the double track, 40-43 play it, 44 fades back to the primary
    // track (its first position past the last used one).
    ExpectAudio(test::DecodedAudio(Out.File("backx.wav")), kFrames * kN, 0, [](int64_t j) {
        int64_t f = j / kN, t = j % kN;
        double w = double(t) / kN;
        if (f < 39)
            return Primary(j);
        if (f == 39)
            return Fade(w, Double(j), Primary(j));
        if (f < 44)
            return Double(j);
        if (f == 44)
            return Fade(w, Primary(j - 5 * kN), Double(j));
        return Primary(j - 5 * kN);
    });
}

TEST_F(RenderTest, OptionMarkerSwitchesToTheDoubleTrackAtItsVolume)
{
    Open(true);
    AddMarker(30, mkOption, PackOption(-1, true, false));
    ASSERT_TRUE(RenderWav("opt.wav", false));
    ExpectAudio(test::DecodedAudio(Out.File("opt.wav")), kFrames * kN, 0,
                [](int64_t j) { return j < 30 * kN ? Primary(j) : Double(j); });

    // With cross-fading the first affected frame fades out of the primary track, which
    // runs on along the curve for that frame.
    ASSERT_TRUE(RenderWav("optx.wav", true));
    ExpectAudio(test::DecodedAudio(Out.File("optx.wav")), kFrames * kN, 0, [](int64_t j) {
        int64_t f = j / kN;
        if (f < 30)
            return Primary(j);
        if (f == 30)
            return Fade(double(j % kN) / kN, Double(j), Primary(j));
        return Double(j);
    });

    // Volume 50 %: the double samples scaled by 0.25, rounded.
    ASSERT_TRUE(Session.Editor().DeleteMarker(Session.Project().GetMarker(0).Frame));
    AddMarker(30, mkOption, PackOption(50, true, false));
    ASSERT_TRUE(RenderWav("vol.wav", false));
    ExpectAudio(test::DecodedAudio(Out.File("vol.wav")), kFrames * kN, 0, [](int64_t j) {
        if (j < 30 * kN)
            return Primary(j);
        TSample d = Double(j);
        return TSample{int16_t(std::nearbyint(0.25 * d.first)), int16_t(std::nearbyint(0.25 * d.second))};
    });
}

TEST_F(RenderTest, DoubleShiftMovesOnlyTheDoubleTrack)
{
    Open(true);
    AddMarker(30, mkOption, PackOption(-1, true, false));
    AddMarker(50, mkDShift, 2);
    ASSERT_TRUE(RenderWav("dshift.wav", false));
    ExpectAudio(test::DecodedAudio(Out.File("dshift.wav")), kFrames * kN, 0, [](int64_t j) {
        if (j < 30 * kN)
            return Primary(j);
        return Double(j < 50 * kN ? j : j + 2 * kN);
    });
}

// Chapters at 0 (on), 40 (off), 70 (on).
class RenderChapterTest : public RenderTest {
protected:
    void SetUp() override
    {
        Open();
        TProjectEditor &e = Session.Editor();
        ASSERT_TRUE(e.SetUseChapters(true));
        ASSERT_TRUE(e.AddChapter(40, false));
        ASSERT_TRUE(e.AddChapter(70, true));
    }
};

TEST_F(RenderChapterTest, SeparateAviFilesSkipTheDisabledChapter)
{
    ASSERT_TRUE(RenderAvi("part.avi", true, true)) << (Ui.Messages.empty() ? "" : Ui.Messages.back());
    EXPECT_FALSE(FileExists(Out.File("part.avi")));
    std::string first = Out.File("part.00.avi"), second = Out.File("part.01.avi");
    ASSERT_TRUE(test::DecodesCleanly(first));
    ASSERT_TRUE(test::DecodesCleanly(second));
    EXPECT_FALSE(FileExists(Out.File("part.02.avi")));
    EXPECT_EQ(test::VideoPacketHashes(first),
              std::vector<std::string>(SourceHashes->begin(), SourceHashes->begin() + 40));
    EXPECT_EQ(test::VideoPacketHashes(second),
              std::vector<std::string>(SourceHashes->begin() + 70, SourceHashes->end()));
    ExpectAudio(test::DecodedAudio(first), 40 * kN, 0, Primary);
    ExpectAudio(test::DecodedAudio(second), 30 * kN, 70 * kN, Primary);
}

TEST_F(RenderChapterTest, ConcatenatedAviLeavesTheDisabledChapterOut)
{
    ASSERT_TRUE(Session.Editor().SetConcatChapters(true));
    ASSERT_TRUE(RenderAvi("cat.avi", true, true));
    std::string out = Out.File("cat.avi");
    ASSERT_TRUE(test::DecodesCleanly(out));
    std::vector<std::string> want(SourceHashes->begin(), SourceHashes->begin() + 40);
    want.insert(want.end(), SourceHashes->begin() + 70, SourceHashes->end());
    EXPECT_EQ(test::VideoPacketHashes(out), want);
    ExpectAudio(test::DecodedAudio(out), 70 * kN, 0,
                [](int64_t j) { return Primary(j < 40 * kN ? j : j + 30 * kN); });
}

TEST_F(RenderChapterTest, WavChapterFilesStartExactlyAtChapterFrames)
{
    // 45 is not a key frame: the WAV result cuts exactly there.
    ASSERT_TRUE(Session.Editor().AddChapter(45, true));
    ASSERT_TRUE(RenderWav("part.wav", false, true));
    ASSERT_EQ(Files.size(), 3u);
    EXPECT_EQ(Files[0], Out.File("part.00.wav"));
    EXPECT_EQ(Files[1], Out.File("part.01.wav"));
    EXPECT_EQ(Files[2], Out.File("part.02.wav"));
    ExpectAudio(test::DecodedAudio(Out.File("part.00.wav")), 40 * kN, 0, Primary);
    ExpectAudio(test::DecodedAudio(Out.File("part.01.wav")), 25 * kN, 45 * kN, Primary);
    ExpectAudio(test::DecodedAudio(Out.File("part.02.wav")), 30 * kN, 70 * kN, Primary);
    EXPECT_FALSE(FileExists(Out.File("part.03.wav")));
}

TEST_F(RenderTest, PreScanGivesTheAudioOfARenderFromTheBeginning)
{
    Open();
    // After the backward cut at 48 the primary track is silent up to frame 52; a run
    // starting at 50 without pre-scan would not know that.
    AddMarker(48, mkRelCut, -5);
    ASSERT_TRUE(RenderWav("full.wav", false));
    std::vector<int16_t> full = test::DecodedAudio(Out.File("full.wav"));
    ASSERT_EQ(full.size(), size_t(kFrames * kN * 2));
    std::vector<int16_t> tail(full.begin() + 50 * kN * 2, full.end());
    ASSERT_EQ(tail[0], 0); // silent in the full render

    ASSERT_TRUE(RenderWav("scan.wav", false, false, 50, true));
    EXPECT_EQ(test::DecodedAudio(Out.File("scan.wav")), tail);
    ASSERT_TRUE(RenderWav("noscan.wav", false, false, 50, false));
    EXPECT_NE(test::DecodedAudio(Out.File("noscan.wav")), tail);
}

TEST_F(RenderTest, ResultNamedLikeASourceIsRefusedInEverySpelling)
{
    Open();
    std::string audio = Media->File("audio.wav");
    std::string before = test::FileMd5(audio);
    auto expected = [](const std::string &name) {
        return "The file \"" + name + "\"\r\nis a source file of this project and cannot be "
                                 "overwritten.\r\nChoose another file name for the result file.";
    };
    std::filesystem::create_symlink(audio, Out.File("link.wav"));
    for (const std::string &name : {audio, Media->Path() + "/./audio.wav", Media->Path() + "/../" +
                                        ExtractFileName(Media->Path()) + "/audio.wav"}) {
        Ui.Messages.clear();
        TRenderer r(Session, nullptr);
        EXPECT_FALSE(r.CalcAudio(name, Whole(false, false))) << name;
        ASSERT_EQ(Ui.Messages.size(), 1u) << name;
        EXPECT_EQ(Ui.Messages[0], expected(ExtractFileName(ChangeFileExt(name, ".wav"))));
    }
    // Through a symbolic link: the message names the link.
    Ui.Messages.clear();
    TRenderer r(Session, nullptr);
    EXPECT_FALSE(r.CalcAudio(Out.File("link.wav"), Whole(false, false)));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0], expected("link.wav"));
    EXPECT_EQ(test::FileMd5(audio), before);
    // A name differing only in case is another file on Linux: written, the source intact.
    Ui.Messages.clear();
    const std::string upper = Media->File("AUDIO.wav");
    TRenderer r2(Session, nullptr);
    EXPECT_TRUE(r2.CalcAudio(Media->File("AUDIO.WAV"), Whole(false, false))) << (Ui.Messages.empty() ? "" : Ui.Messages[0]);
    EXPECT_TRUE(FileExists(upper));
    EXPECT_EQ(test::FileMd5(audio), before);
    std::filesystem::remove(upper);
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

// The preview file lives in a private folder of its own: a link or a file planted at the
// fixed name in the temporary folder is neither followed, written, nor removed.
TEST_F(RenderTest, PreviewFileIgnoresWhatOthersPlantInTheTemporaryFolder)
{
    Open();
    test::TTempDir shared, elsewhere;
    const std::vector<uint8_t> mine{'m', 'i', 'n', 'e'};
    ASSERT_TRUE(test::WriteFileBytes(elsewhere.File("precious"), mine));
    std::filesystem::create_symlink(elsewhere.File("precious"), shared.File("~tsytmp~.avi"));
    std::string file;
    {
        TPreviewFile preview;
        std::string error;
        file = preview.Prepare(shared.Path(), &error);
        ASSERT_FALSE(file.empty()) << error;
        EXPECT_EQ(ExtractFileName(file), "~tsytmp~.avi");
        const std::string folder = ExtractFilePath(file);
        EXPECT_EQ(ExtractFilePath(folder.substr(0, folder.size() - 1)), shared.Path() + "/");
        EXPECT_TRUE(IsPrivateFolder(folder.substr(0, folder.size() - 1)));
        TRenderer r(Session, nullptr);
        ASSERT_TRUE(CreatePreviewFile(Session, r, file, 1, 0.4L, 0, false, false));
        EXPECT_TRUE(test::DecodesCleanly(file));
        EXPECT_EQ(preview.Prepare(shared.Path()), file);   // the same folder while it is private
    }
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(ExtractFilePath(file)));
    EXPECT_EQ(test::ReadFileBytes(elsewhere.File("precious")), mine);
    EXPECT_TRUE(std::filesystem::is_symlink(shared.File("~tsytmp~.avi")));
    // A temporary folder that does not exist: no preview, and the reason.
    TPreviewFile none;
    std::string error;
    EXPECT_TRUE(none.Prepare(shared.File("missing"), &error).empty());
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// The preview of a video in another container than AVI: Matroska with the video's packets
// copied from the key frame on (no frame decoded) and the preview's mix beside them, with
// the preview's mutes.
TEST_F(RenderTest, PreviewOfAMatroskaVideoCopiesItsPacketsIntoMatroska)
{
    ASSERT_TRUE(test::Ffmpeg("-i " + test::ShellQuote(Media->File("video.avi")) + " -c copy " +
                             test::ShellQuote(Out.File("film.mkv"))));
    ASSERT_TRUE(Session.OpenSource(srVideo, Out.File("film.mkv")));
    ASSERT_TRUE(Session.OpenSource(srAudio, Media->File("audio.wav")));
    ASSERT_EQ(Session.Project().FrameCount(), kFrames);
    ASSERT_TRUE(Session.Editor().MoveTo(50));
    TRenderer r(Session, nullptr);
    std::string written;
    ASSERT_TRUE(CreatePreviewFile(Session, r, Out.File("preview.avi"), 2, 1.0L, 384, false, false, &written));
    EXPECT_EQ(written, Out.File("preview.mkv"));
    EXPECT_FALSE(FileExists(Out.File("preview.avi")));
    EXPECT_TRUE(test::DecodesCleanly(written));
    // Frames 25 .. 50, written from the key frame 20 on.
    EXPECT_EQ(test::VideoPacketHashes(written),
              std::vector<std::string>(SourceHashes->begin() + 20, SourceHashes->begin() + 51));
    ExpectAudio(test::DecodedAudio(written), 31 * kN, 20 * kN, Primary);
    Session.MutePrimary = true;
    ASSERT_TRUE(CreatePreviewFile(Session, r, Out.File("preview.avi"), 2, 1.0L, 384, false, false, &written));
    ExpectAudio(test::DecodedAudio(written), 31 * kN, 20 * kN, [](int64_t) { return TSample{0, 0}; });
    Session.MutePrimary = false;
}

TEST_F(RenderTest, PreviewRangeStartsAtTheKeyFrameBeforeIt)
{
    Open();
    const TProject &p = Session.Project();
    ASSERT_TRUE(Session.Editor().MoveTo(57));
    int32_t first = 0, last = 0;
    PreviewRange(p, 0, 1.0L, first, last);
    EXPECT_EQ(first, 32);
    EXPECT_EQ(last, 82);
    PreviewRange(p, 1, 1.0L, first, last);
    EXPECT_EQ(first, 57);
    EXPECT_EQ(last, 82);
    ASSERT_TRUE(Session.Editor().StepViewOffset(-7));
    PreviewRange(p, 2, 1.0L, first, last);
    EXPECT_EQ(first, 25);
    EXPECT_EQ(last, 50);

    // Mode 2 from frame 50: frames 25 .. 50, written from the key frame 20 on.
    TRenderer r(Session, nullptr);
    std::string file = Out.File("preview.avi");
    ASSERT_TRUE(CreatePreviewFile(Session, r, file, 2, 1.0L, 384, false, false));
    EXPECT_EQ(r.ReductionFactor(), 1);
    EXPECT_TRUE(test::DecodesCleanly(file));
    EXPECT_EQ(test::VideoPacketHashes(file),
              std::vector<std::string>(SourceHashes->begin() + 20, SourceHashes->begin() + 51));
    ExpectAudio(test::DecodedAudio(file), 31 * kN, 20 * kN, Primary);
}

TEST_F(RenderTest, PreviewOfUncompressedFramesIsReducedToTheSizeLimit)
{
    TPhantomClip clip;
    clip.Width = 64;
    clip.Height = 48;
    clip.PixelFormat = 3;
    clip.Frames = kFrames;
    clip.Rate = 25;
    ASSERT_TRUE(Session.OpenPhantomClip(clip));
    ASSERT_TRUE(Session.OpenSource(srAudio, Media->File("audio.wav")));
    ASSERT_TRUE(Session.Editor().MoveTo(50));
    TRenderer r(Session, nullptr);
    std::string file = Out.File("small.avi");
    ASSERT_TRUE(CreatePreviewFile(Session, r, file, 0, 0.4L, 32, false, false));
    EXPECT_EQ(r.ReductionFactor(), 2);
    std::string out;
    test::RunCommand("ffprobe -v error -select_streams v -count_packets -show_entries "
                     "stream=width,height,nb_read_packets -of csv=p=0 " + test::ShellQuote(file), &out);
    EXPECT_EQ(out, "32,24,21\n");
    EXPECT_TRUE(test::DecodesCleanly(file));
    ExpectAudio(test::DecodedAudio(file), 21 * kN, 40 * kN, Primary);
}

TEST_F(RenderTest, SizeWarningBeforeAnUncompressedResult)
{
    TPhantomClip clip;
    clip.Width = 720;
    clip.Height = 576;
    clip.PixelFormat = 3;
    clip.Frames = 15000;
    clip.Rate = 25;
    ASSERT_TRUE(Session.OpenPhantomClip(clip));
    EXPECT_FALSE(ConfirmResultSize(Session, true)); // answered No
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0], "Warning: The result video will reach a size\r\nof about 18 GB and a data rate of "
                              "31 MB/s.\r\n\r\nDo you still want to create the file?");
    EXPECT_TRUE(ConfirmResultSize(Session, false)); // the warning switched off
    test::TRecordingUi yes(mrYes);
    Session.SetUserInterface(&yes);
    EXPECT_TRUE(ConfirmResultSize(Session, true));
    EXPECT_EQ(CalculateResultName("/a/b/result.mp4", 2), "/a/b/result.avi");
    EXPECT_EQ(CalculateResultName("/a/b/result.avi", 1), "/a/b/result.wav");

    // A source copied as stored needs no warning.
    Ui.Messages.clear();
    Session.SetUserInterface(&Ui);
    Open();
    EXPECT_TRUE(ConfirmResultSize(Session, true));
    EXPECT_TRUE(Ui.Messages.empty());
}

TEST_F(RenderTest, ResultsWithNothingToWriteAreRefusedBeforeAnyFileIsTouched)
{
    // Without an audio track neither result has anything to re-synchronise.
    ASSERT_TRUE(Session.OpenSource(srVideo, Media->File("video.avi")));
    ASSERT_TRUE(test::WriteFileBytes(Out.File("silent.avi"), {1, 2}));
    ASSERT_TRUE(test::WriteFileBytes(Out.File("none.wav"), {3, 4}));
    EXPECT_FALSE(RenderAvi("silent.avi", true));
    EXPECT_FALSE(RenderWav("none.wav", true));
    EXPECT_EQ(Ui.Messages, (std::vector<std::string>{"No audio tracks defined!", "No audio tracks defined!"}));
    EXPECT_EQ(test::ReadFileBytes(Out.File("silent.avi")), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(test::ReadFileBytes(Out.File("none.wav")), (std::vector<uint8_t>{3, 4}));

    // Every chapter disabled: the earlier results of those names stay.
    Ui.Messages.clear();
    Open();
    ASSERT_TRUE(Session.Editor().SetUseChapters(true));
    ASSERT_TRUE(Session.Editor().AddChapter(50, false));
    ASSERT_TRUE(Session.Editor().TickChapter(0, false));
    ASSERT_EQ(Session.Project().ChapterCount(), 2);
    EXPECT_FALSE(RenderAvi("silent.avi", true, true));
    EXPECT_FALSE(RenderWav("none.wav", true, true));
    ASSERT_EQ(Ui.Messages.size(), 2u);
    EXPECT_EQ(Ui.Messages[0], "Every chapter of the result is disabled: there is nothing to write.");
    EXPECT_EQ(test::ReadFileBytes(Out.File("silent.avi")), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(test::ReadFileBytes(Out.File("none.wav")), (std::vector<uint8_t>{3, 4}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Out.Path()), std::filesystem::directory_iterator()), 2);
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

// A progress display whose user presses abort once `limit` frames were polled.
class TAbortAfter : public TProgress {
public:
    explicit TAbortAfter(int limit) : FLimit(limit) {}
    void Show() override { Shown = true; }
    void Close() override { Closed = true; }
    void SetCaption(const std::string &text) override { Caption = text; }
    void SetComment(const std::string &text) override { Comments.push_back(text); }
    void SetCancelText(const std::string &text) override { CancelText = text; }
    void SetProgress(double fraction) override { Last = fraction; }
    bool Aborted() override { return ++FPolls > FLimit; }
    void SetAborted(bool) override {}
    bool Shown = false, Closed = false;
    std::string Caption, CancelText;
    std::vector<std::string> Comments;
    double Last = -1;

private:
    int FLimit;
    int FPolls = 0;
};

TEST_F(RenderChapterTest, AbortKeepsTheChapterFilesWrittenSoFar)
{
    // An earlier result of the chapter being written at the abort stays as it was.
    ASSERT_TRUE(test::WriteFileBytes(Out.File("abort.01.avi"), {1, 2, 3}));
    TAbortAfter progress(75);
    TRenderer r(Session, &progress);
    std::string target = Out.File("abort.avi");
    TRenderOptions options = Whole(true, true);
    options.Caption = "Calculating video file ...";
    options.ShowProgress = true;
    EXPECT_FALSE(r.CalcVideo(target, options));
    EXPECT_TRUE(r.Aborted());
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_TRUE(progress.Shown && progress.Closed);
    EXPECT_EQ(progress.Caption, "Calculating video file ...");
    EXPECT_EQ(progress.CancelText, "&Abort");
    EXPECT_EQ(progress.Comments, (std::vector<std::string>{"Writing file abort.00.avi ...", "Skipping chapter 2 ...",
                                                           "Writing file abort.01.avi ..."}));
    // One poll before the first file, then one per frame: the 76th poll, at frame 74, is
    // the abort. Frames 0-39 are complete in the first file; the second, unfinished, is
    // discarded and leaves nothing behind.
    ASSERT_EQ(r.FilesWritten(), std::vector<std::string>{Out.File("abort.00.avi")});
    EXPECT_EQ(test::VideoPacketHashes(Out.File("abort.00.avi")),
              std::vector<std::string>(SourceHashes->begin(), SourceHashes->begin() + 40));
    EXPECT_TRUE(test::DecodesCleanly(Out.File("abort.00.avi")));
    EXPECT_EQ(test::ReadFileBytes(Out.File("abort.01.avi")), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Out.Path()), std::filesystem::directory_iterator()), 2);
}

} // namespace
} // namespace tessaly
