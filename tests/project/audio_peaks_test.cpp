// Tests of the audio strip's peaks: clicks at known samples must land in the columns the
// shift puts them in, and the primary lane must match what the audio mixer renders.
#include <algorithm>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "project/audio_mixer.h"
#include "project/audio_peaks.h"
#include "project/audio_peaks_draw.h"
#include "project/project.h"
#include "support/make_marker.h"
#include "support/mix_fakes.h"
#include "support/mix_project_test.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

using test::IndexSamples;
using test::Make;
using test::TFakeMixSource;

constexpr int32_t kFrames = test::kMixFrames;
constexpr int32_t kPerFrame = test::kMixPerFrame;
constexpr int32_t kLength = kFrames * kPerFrame;

// Silence with a click of `height` at each given sample.
std::vector<int16_t> Clicks(std::initializer_list<int32_t> at, int16_t height = 20000)
{
    std::vector<int16_t> v(static_cast<size_t>(kLength), 0);
    for (int32_t i : at)
        v[static_cast<size_t>(i)] = height;
    return v;
}

// The columns whose highest value is above zero.
std::vector<int32_t> Loud(const std::vector<TPeakColumn> &lane)
{
    std::vector<int32_t> cols;
    for (size_t c = 0; c < lane.size(); ++c)
        if (lane[c].Max > 0)
            cols.push_back(static_cast<int32_t>(c));
    return cols;
}

class AudioPeaks : public test::TMixProjectTest {
protected:
    // Frame 50, one second either side on 160 columns: 100 samples per column, column 0
    // starting at sample 8100 (the middle of frame 50 is sample 16160).
    TAudioStrip Strip(int32_t frame = 50, int32_t width = 160, double seconds = 1.0)
    {
        TAudioStrip s;
        EXPECT_TRUE(peaks.Compute(frame, width, seconds, s));
        return s;
    }

    TAudioPeaks peaks{project};
};

TEST_F(AudioPeaks, ClickShiftedByTheCurveLandsInTheExpectedColumn)
{
    TFakeMixSource audio{8000, 1, Clicks({10000})};
    peaks.SetSources(&audio, nullptr);
    TAudioStrip s = Strip();
    EXPECT_EQ(s.SamplesPerColumn, 100);
    EXPECT_EQ(s.FirstSample, 8100);
    EXPECT_EQ(Loud(s.Primary), std::vector<int32_t>{19});   // (10000 - 8100) / 100
    EXPECT_TRUE(s.Double.empty());

    // Shift +5 frames = 1600 samples: output sample s plays source s + 1600.
    Add(Make(50, 5, mkSpline));
    EXPECT_EQ(Loud(Strip().Primary), std::vector<int32_t>{3});    // (8400 - 8100) / 100
    // Shift -2 frames = -640 samples.
    ASSERT_TRUE(project.SetMarker(0, Make(50, -2, mkSpline)));
    project.RebuildSpline();
    EXPECT_EQ(Loud(Strip().Primary), std::vector<int32_t>{25});   // (10640 - 8100) / 100
}

TEST_F(AudioPeaks, OneSamplePerColumnPlacesTheClickExactly)
{
    TFakeMixSource audio{8000, 1, Clicks({16960, 16961})};
    peaks.SetSources(&audio, nullptr);
    Add(Make(10, 3, mkSpline));   // 960 samples
    TAudioStrip s = Strip(50, 800, 0.05);
    ASSERT_EQ(s.SamplesPerColumn, 1);
    EXPECT_EQ(s.FirstSample, 16160 - 400);
    EXPECT_EQ(Loud(s.Primary), (std::vector<int32_t>{16960 - 960 - 15760, 16961 - 960 - 15760}));
}

TEST_F(AudioPeaks, PrimaryLaneEqualsTheMixersRendering)
{
    // Index samples: each output sample tells which source sample the mixer put there.
    TFakeMixSource audio{8000, 1, IndexSamples(kLength)};
    TFakeMixSource again{8000, 1, IndexSamples(kLength)};
    Add(Make(20, 0, mkSpline));
    Add(Make(80, 6, mkSpline));
    Add(Make(55, -4, mkRelCut));   // backward: the primary track pauses after it

    TAudioMixer mixer(project, &again, nullptr);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    ASSERT_TRUE(state.Valid);
    std::vector<int16_t> mixed;
    std::vector<bool> sounding;
    std::vector<uint8_t> buf(static_cast<size_t>(state.MaxSamples) * 2);
    for (int32_t f = 0; f < kFrames; ++f) {
        int64_t before = state.OutPos;
        mixer.MixFrameAudio(f, state, false, buf.data(), 0);
        for (int64_t t = 0; t < state.OutPos - before; ++t) {
            int16_t v;
            std::memcpy(&v, buf.data() + 2 * t, 2);
            mixed.push_back(v);
            sounding.push_back(!state.Silent);
        }
    }

    peaks.SetSources(&audio, nullptr);
    TAudioStrip s = Strip(55, 1600, 0.1);   // one sample per column around the cut
    ASSERT_EQ(s.SamplesPerColumn, 1);
    int silentColumns = 0;
    for (int32_t c = 0; c < s.Width; ++c) {
        size_t at = static_cast<size_t>(s.FirstSample + c);
        ASSERT_EQ(s.Primary[size_t(c)].Min, mixed[at]) << "column " << c;
        ASSERT_EQ(s.Primary[size_t(c)].Sounding, bool(sounding[at])) << "column " << c;
        silentColumns += !s.Primary[size_t(c)].Sounding;
    }
    EXPECT_GE(silentColumns, 3 * kPerFrame);   // the repeated frames are bridged
}

TEST_F(AudioPeaks, SteppingGivesTheStripsOfAFreshStart)
{
    TFakeMixSource audio{8000, 2, IndexSamples(2 * kLength)};
    TFakeMixSource dbl{8000, 2, IndexSamples(2 * kLength, -1)};
    peaks.SetSources(&audio, &dbl);
    Add(Make(20, 0, mkSpline));
    Add(Make(80, 6, mkSpline));
    Add(Make(45, -3, mkRelCut));
    Add(Make(60, 2, mkDShift));
    auto same = [](const std::vector<TPeakColumn> &a, const std::vector<TPeakColumn> &b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (a[i].Min != b[i].Min || a[i].Max != b[i].Max || a[i].Sounding != b[i].Sounding)
                return false;
        return true;
    };
    for (int32_t frame : {30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50,
                          49, 48, 47, 46, 45, 70, 71, 72}) {
        TAudioStrip stepped = Strip(frame, 300, 0.5);
        TFakeMixSource audio2{8000, 2, IndexSamples(2 * kLength)};
        TFakeMixSource dbl2{8000, 2, IndexSamples(2 * kLength, -1)};
        TAudioPeaks fresh(project);
        fresh.SetSources(&audio2, &dbl2);
        TAudioStrip alone;
        ASSERT_TRUE(fresh.Compute(frame, 300, 0.5, alone));
        ASSERT_TRUE(same(stepped.Primary, alone.Primary)) << "frame " << frame;
        ASSERT_TRUE(same(stepped.Double, alone.Double)) << "frame " << frame;
    }
}

TEST_F(AudioPeaks, DoubleLaneFollowsItsShiftVolumeAndSwitch)
{
    TFakeMixSource audio{8000, 1, Clicks({})};
    TFakeMixSource dbl{8000, 1, Clicks({10000, 12000})};
    peaks.SetSources(&audio, &dbl);
    Add(Make(5, 5, mkSpline));   // moves only the primary track
    TAudioStrip s = Strip();
    ASSERT_TRUE(s.HasDouble);
    EXPECT_EQ(Loud(s.Double), (std::vector<int32_t>{19, 39}));

    Add(Make(10, 2, mkDShift));   // double plays 640 samples later
    EXPECT_EQ(Loud(Strip().Double), (std::vector<int32_t>{12, 32}));

    // From frame 34 (sample 10880) at volume 50, from frame 40 (sample 12800) switched off.
    TMarker vol = Make(34, PackOption(50, false, false), mkOption);
    Add(vol);
    Add(Make(40, PackOption(-1, false, true), mkOption));
    s = Strip();
    EXPECT_EQ(s.Double[12].Max, 20000);
    EXPECT_EQ(s.Double[32].Max, 5000);   // (50 %)^2
    EXPECT_TRUE(s.Double[46].Sounding);  // sample 12700, frame 39
    EXPECT_FALSE(s.Double[47].Sounding); // sample 12800, frame 40
}

TEST_F(AudioPeaks, FrameMarksCurrentFrameAndProjectEdges)
{
    TFakeMixSource audio{8000, 1, Clicks({0})};
    peaks.SetSources(&audio, nullptr);
    TAudioStrip s = Strip(50);
    EXPECT_DOUBLE_EQ(s.CurrentX0, (16000 - 8100) / 100.0);
    EXPECT_DOUBLE_EQ(s.CurrentX1, (16320 - 8100) / 100.0);
    ASSERT_FALSE(s.Frames.empty());
    EXPECT_EQ(s.Frames.front().Frame, 26);   // 26 * 320 = 8320 is the first start inside
    EXPECT_EQ(s.Frames.back().Frame, 75);
    for (const TStripFrame &f : s.Frames)
        EXPECT_DOUBLE_EQ(f.X, (f.Frame * kPerFrame - 8100) / 100.0);

    // At frame 0 the left half lies before the video: nothing sounds there.
    s = Strip(0);
    EXPECT_EQ(s.FirstSample, -7900);
    EXPECT_FALSE(s.Primary[78].Sounding);
    EXPECT_TRUE(s.Primary[79].Sounding);
    EXPECT_EQ(Loud(s.Primary), std::vector<int32_t>{79});
    EXPECT_EQ(s.Frames.front().Frame, 0);

    // Past the last frame nothing sounds either.
    s = Strip(99);
    EXPECT_FALSE(s.Primary.back().Sounding);
}

TEST_F(AudioPeaks, StripsAndSamplesAreCached)
{
    TFakeMixSource audio{8000, 1, Clicks({10000})};
    peaks.SetSources(&audio, nullptr);
    Strip(50);
    Strip(51);
    EXPECT_EQ(peaks.StripsComputed(), 2);
    const int reads = audio.Reads;
    Strip(50);   // the same frame and zoom again
    EXPECT_EQ(peaks.StripsComputed(), 2);
    Strip(50, 80);   // another zoom level
    EXPECT_EQ(peaks.StripsComputed(), 3);
    EXPECT_EQ(audio.Reads, reads);   // the decoded samples were kept

    Add(Make(50, 1, mkSpline));   // an edit invalidates the strips only
    EXPECT_EQ(Loud(Strip(50).Primary), std::vector<int32_t>{15});   // (9680 - 8100) / 100 = 15.8
    EXPECT_EQ(peaks.StripsComputed(), 4);
    EXPECT_EQ(audio.Reads, reads);
}

TEST_F(AudioPeaks, NothingToDrawWithoutVideoTracksOrWidth)
{
    TAudioStrip s;
    EXPECT_FALSE(peaks.Compute(50, 100, 1.0, s));   // no tracks
    TFakeMixSource audio{8000, 1, Clicks({10000})};
    peaks.SetSources(&audio, nullptr);
    EXPECT_FALSE(peaks.Compute(50, 0, 1.0, s));
    EXPECT_FALSE(peaks.Compute(50, 100, 0.0, s));
    project.ClearProject();
    EXPECT_FALSE(peaks.Compute(50, 100, 1.0, s));
    EXPECT_TRUE(s.Primary.empty());
}

// Records the rectangles drawn.
class TRecordingCanvas : public TCurveCanvas {
public:
    struct TRect {
        int X, Y, W, H;
        TRgb Colour;
        bool operator==(const TRect &) const = default;
    };
    std::vector<TRect> Rects;
    int Other = 0;
    void FillRect(int x, int y, int w, int h, TRgb colour) override { Rects.push_back({x, y, w, h, colour}); }
    void Polyline(const std::vector<TCanvasPoint> &, TRgb) override { ++Other; }
    void FillSquare(int, int, int, TRgb) override { ++Other; }
    bool Has(const TRect &r) const { return std::find(Rects.begin(), Rects.end(), r) != Rects.end(); }
    int Count(TRgb colour) const
    {
        return int(std::count_if(Rects.begin(), Rects.end(), [colour](const TRect &r) { return r.Colour == colour; }));
    }
};

TEST(AudioStripDrawing, LanesColumnsFrameMarksAndCurrentFrame)
{
    namespace sc = strip_colours;
    TAudioStrip strip;
    strip.Width = 10;
    strip.HasPrimary = strip.HasDouble = true;
    strip.Primary.assign(10, TPeakColumn{});
    strip.Double.assign(10, TPeakColumn{});
    strip.Primary[3] = {-16384, 16384, true};
    strip.Primary[5] = {-1000, 1000, false};   // the mix takes nothing from the track here
    strip.Double[7] = {0, 32767, true};
    strip.Frames = {{49, 2.5}, {50, 7.0}};
    strip.CurrentX0 = 2.5;
    strip.CurrentX1 = 7.0;

    TRecordingCanvas canvas;
    DrawAudioStrip(strip, canvas, 10, 42);   // two lanes of 21 rows
    ASSERT_FALSE(canvas.Rects.empty());
    EXPECT_EQ(canvas.Rects.front(), (TRecordingCanvas::TRect{0, 0, 10, 42, sc::kBackground}));
    EXPECT_TRUE(canvas.Has({2, 0, 5, 42, sc::kCurrent}));   // columns 2 .. 6
    EXPECT_TRUE(canvas.Has({2, 0, 1, 42, sc::kFrameMark}));
    EXPECT_TRUE(canvas.Has({7, 0, 1, 42, sc::kFrameMark}));
    // Primary lane: middle 10.5, half height 9.5: half scale reaches rows 6 .. 15.
    EXPECT_TRUE(canvas.Has({0, 10, 10, 1, sc::kZeroLine}));
    EXPECT_TRUE(canvas.Has({3, 6, 1, 10, sc::kPrimary}));
    EXPECT_TRUE(canvas.Has({5, 10, 1, 2, sc::kSilent}));
    // Double lane from row 21: middle 31.5; full scale up to its top row 22.
    EXPECT_TRUE(canvas.Has({0, 31, 10, 1, sc::kZeroLine}));
    EXPECT_TRUE(canvas.Has({7, 22, 1, 11, sc::kDouble}));
    EXPECT_EQ(canvas.Count(sc::kPrimary), 1);   // silent columns (all zero) draw nothing
    EXPECT_EQ(canvas.Count(sc::kDouble), 1);
    EXPECT_EQ(canvas.Other, 0);

    // Only the primary track: one lane over the whole box.
    strip.HasDouble = false;
    TRecordingCanvas one;
    DrawAudioStrip(strip, one, 10, 42);
    EXPECT_TRUE(one.Has({0, 21, 10, 1, sc::kZeroLine}));
    EXPECT_EQ(one.Count(sc::kDouble), 0);

    // Nothing to show: the background alone.
    TRecordingCanvas empty;
    DrawAudioStrip(TAudioStrip{}, empty, 10, 42);
    EXPECT_EQ(empty.Rects.size(), 1u);
}

} // namespace
} // namespace tessaly
