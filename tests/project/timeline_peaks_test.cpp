// The timeline's waveforms of the whole film: each frame's parts hold the extremes of
// the samples the mix puts there (shifts and pauses included), the columns at any zoom
// equal the extremes of their parts, and the worker gives what the synchronous run gives,
// replaces a running job, shows the earlier run where the new one has not arrived, and
// stops at once when destroyed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

#include "project/timeline_peaks.h"
#include "support/make_marker.h"
#include "support/mix_project_test.h"
#include "support/project_fakes.h"
#include "support/sparse_wav.h"
#include "support/sync_truth.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using test::Make;

constexpr int32_t kFrames = test::kMixFrames;
constexpr int32_t kPerFrame = test::kMixPerFrame;

// Silence with a ramp from -8000 to +12000 over samples [from, from + 100).
std::vector<float> Burst(int64_t length, int64_t from)
{
    std::vector<float> v(size_t(length), 0.0f);
    for (int64_t i = 0; i < 100; ++i)
        v[size_t(from + i)] = float(-8000 + i * 20000 / 99) / 32767.0f;
    return v;
}

// The frames (or parts) of a lane that hold anything but silence.
std::vector<int64_t> Loud(const TFilmPeaks &peaks, int lane, int64_t unit)
{
    std::vector<int64_t> out;
    const int64_t total = int64_t(peaks.Frames()) * peaks.PartsPerFrame() / unit;
    for (int64_t i = 0; i < total; ++i)
        if (const TPeakColumn c = peaks.Range(lane, i * unit, (i + 1) * unit); c.Max != 0 || c.Min != 0)
            out.push_back(i);
    return out;
}

bool SameColumn(const TPeakColumn &a, const TPeakColumn &b)
{
    return a.Min == b.Min && a.Max == b.Max && a.Sounding == b.Sounding;
}

class TimelinePeaks : public test::TMixProjectTest {
protected:
    std::string Wav(const std::string &name, const std::vector<float> &samples)
    {
        const std::string path = Dir.File(name);
        EXPECT_TRUE(test::WriteWav16(path, samples, 1, 8000));
        return path;
    }
    TPeakJob Job(const std::string &primary, const std::string &dbl = {})
    {
        return PeakJobOf(project, TTrackOpening{primary, primary.empty() ? "" : "AUTO|-1", -1},
                         TTrackOpening{dbl, dbl.empty() ? "" : "AUTO|-1", -1});
    }
    std::shared_ptr<TFilmPeaks> Compute(const TPeakJob &job)
    {
        std::shared_ptr<TFilmPeaks> peaks = NewFilmPeaks(job);
        EXPECT_TRUE(peaks && ComputeFilmPeaks(job, *peaks));
        return peaks;
    }
    test::TTempDir Dir;
};

TEST_F(TimelinePeaks, EachFrameKeepsTheExtremesOfTheSamplesTheMixPutsThere)
{
    // The primary track bursts in samples 100 .. 199 of frame 40, the double track in frame 10.
    const std::string primary = Wav("a.wav", Burst(int64_t{kFrames} * kPerFrame, 40 * kPerFrame + 100));
    const std::string dbl = Wav("d.wav", Burst(int64_t{kFrames} * kPerFrame, 10 * kPerFrame + 100));
    std::shared_ptr<TFilmPeaks> peaks = Compute(Job(primary, dbl));
    ASSERT_TRUE(peaks);
    ASSERT_EQ(peaks->PartsPerFrame(), TFilmPeaks::kMaxParts);
    const int64_t parts = peaks->PartsPerFrame();
    EXPECT_EQ(Loud(*peaks, 0, parts), std::vector<int64_t>{40});
    EXPECT_EQ(Loud(*peaks, 1, parts), std::vector<int64_t>{10});
    // 320 samples in 16 parts of 20: the burst fills parts 5 to 9 of its frame.
    EXPECT_EQ(Loud(*peaks, 0, 1), (std::vector<int64_t>{40 * parts + 5, 40 * parts + 6, 40 * parts + 7,
                                                        40 * parts + 8, 40 * parts + 9}));
    const TPeakColumn burst = peaks->Range(0, 40 * parts, 41 * parts);
    EXPECT_EQ(burst.Min, -8000);
    EXPECT_EQ(burst.Max, 12000);
    EXPECT_TRUE(burst.Sounding);

    // A shift of +5 frames: output sample s plays source sample s + 1600, so the burst
    // comes 5 frames earlier; the double track keeps its place.
    Add(Make(50, 5, mkSpline));
    peaks = Compute(Job(primary, dbl));
    EXPECT_EQ(Loud(*peaks, 0, parts), std::vector<int64_t>{35});
    EXPECT_EQ(Loud(*peaks, 1, parts), std::vector<int64_t>{10});
    // A backward cut of 4 frames at 60: the primary track pauses there, as in the result.
    Add(Make(60, -4, mkRelCut));
    peaks = Compute(Job(primary, dbl));
    EXPECT_TRUE(peaks->Range(0, 59 * parts, 60 * parts).Sounding);
    EXPECT_FALSE(peaks->Range(0, 60 * parts, 61 * parts).Sounding);
    EXPECT_TRUE(peaks->Range(0, 80 * parts, 81 * parts).Sounding);
}

TEST_F(TimelinePeaks, ATrackThatCannotBeOpenedGivesNoPeaks)
{
    const TPeakJob job = Job(Dir.File("missing.wav"));
    std::shared_ptr<TFilmPeaks> peaks = NewFilmPeaks(job);
    ASSERT_TRUE(peaks);
    EXPECT_FALSE(ComputeFilmPeaks(job, *peaks));
    EXPECT_EQ(Job("").FrameCount, 0);
    EXPECT_EQ(NewFilmPeaks(Job("")), nullptr);
    // The worker shows nothing for it once it found out.
    TTimelinePeaks worker(nullptr);
    worker.Start(job);
    ASSERT_TRUE(worker.WaitIdle(10s));
    TTimelineWaves waves;
    EXPECT_FALSE(worker.Columns(0, 1, 100, waves));
    EXPECT_FALSE(worker.Finished());
    TPeakJob noFilm = job;
    noFilm.FrameCount = 0;
    EXPECT_EQ(NewFilmPeaks(noFilm), nullptr);
}

TEST(FilmPeaks, ColumnsAtEveryZoomEqualTheExtremesOfTheirParts)
{
    // 1000 frames of 37 stereo samples of noise, of which 600 are published.
    constexpr int32_t frames = 1000, count = 37;
    TFilmPeaks peaks(frames, true, true);
    const int parts = peaks.PartsPerFrame();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<TPeakColumn> truth[2];
    for (int32_t g = 0; g < frames; ++g) {
        for (int lane = 0; lane < 2; ++lane) {
            std::vector<int16_t> s(count * 2);
            for (int16_t &v : s)
                v = int16_t(value(random));
            const bool sounding = (g / 7 + lane) % 3 != 0;
            peaks.Put(lane, g, s.data(), count, 2, sounding);
            for (int j = 0; j < parts; ++j) {
                const int a = count * j / parts, b = count * (j + 1) / parts;
                TPeakColumn c{0, 0, sounding};
                if (b > a) {
                    c.Min = *std::min_element(s.begin() + 2 * a, s.begin() + 2 * b);
                    c.Max = *std::max_element(s.begin() + 2 * a, s.begin() + 2 * b);
                }
                truth[lane].push_back(c);
            }
        }
    }
    peaks.Publish(600);
    struct TCase {
        double First, PerPixel;
        int Width;
    };
    // The whole film, fractional zooms, the deepest zoom, and a view past the end.
    for (const TCase &view : {TCase{0, 1000.0 / 640, 640}, TCase{13.3, 0.37, 500}, TCase{590, 1.0 / 16, 400},
                              TCase{0, 200.0 / 3, 15}, TCase{950, 0.5, 300}, TCase{101, 64, 9}}) {
        const TTimelineWaves waves = peaks.Waves(view.First, view.PerPixel, view.Width);
        for (int x = 0; x < view.Width; ++x) {
            int64_t p0 = int64_t(std::floor((view.First + x * view.PerPixel) * parts));
            int64_t p1 = std::max(p0 + 1, int64_t(std::floor((view.First + (x + 1) * view.PerPixel) * parts)));
            p0 = std::min<int64_t>(p0, int64_t{frames} * parts);
            p1 = std::min<int64_t>(p1, int64_t{frames} * parts);
            const bool ready = p0 >= p1 || p1 <= int64_t{600} * parts;
            ASSERT_EQ(waves.Ready[size_t(x)] != 0, ready) << view.First << " " << x;
            if (!ready || p0 >= p1)
                continue;
            for (int lane = 0; lane < 2; ++lane) {
                TPeakColumn want = truth[lane][size_t(p0)];
                for (int64_t p = p0 + 1; p < p1; ++p) {
                    want.Min = std::min(want.Min, truth[lane][size_t(p)].Min);
                    want.Max = std::max(want.Max, truth[lane][size_t(p)].Max);
                    want.Sounding = want.Sounding || truth[lane][size_t(p)].Sounding;
                }
                const TPeakColumn &got = lane == 0 ? waves.Primary[size_t(x)] : waves.Double[size_t(x)];
                ASSERT_TRUE(SameColumn(got, want)) << "view at " << view.First << ", column " << x << ", lane " << lane;
            }
        }
    }
}

// A one-hour film (25 fps, 8 kHz mono, the WAV sparse on disk) for the worker.
class TimelinePeaksWorker : public ::testing::Test {
protected:
    static constexpr int32_t kLongFrames = 90000;
    void SetUp() override
    {
        media.SetVideo("/clips/long.avi", kLongFrames, 25, 1);
        media.Audio = true;
        media.SampleRate = 8000;
        project.VideoOpened();
        project.AudioOpened();
        path = Dir.File("long.wav");
        // Loud samples at the start of frame 30000, inside frame 60000 and at the end.
        const int64_t samples = int64_t{kLongFrames} * kPerFrame;
        ASSERT_TRUE(test::WriteSparseWav(path, 8000, 1, samples,
                                         {100, int64_t{30000} * kPerFrame, int64_t{60000} * kPerFrame + 5, samples - 2}));
    }
    TPeakJob Job() { return PeakJobOf(project, TTrackOpening{path, "AUTO|-1", -1}, TTrackOpening{}); }
    static TTimelineWaves Sync(const TPeakJob &job, double first, double perPixel, int width)
    {
        std::shared_ptr<TFilmPeaks> peaks = NewFilmPeaks(job);
        EXPECT_TRUE(ComputeFilmPeaks(job, *peaks));
        return peaks->Waves(first, perPixel, width);
    }

    test::TFakeProjectMedia media;
    TProject project{nullptr, &media};
    test::TTempDir Dir;
    std::string path;
};

TEST_F(TimelinePeaksWorker, TheWorkerGivesTheSynchronousPeaksAndTheLatestJobWins)
{
    std::atomic<int> notified{0};
    TTimelinePeaks worker([&notified] { ++notified; }, 10ms);
    TTimelineWaves waves;
    EXPECT_FALSE(worker.Columns(0, 1, 100, waves));   // no job yet
    const TPeakJob first = Job();
    worker.Start(first);
    // At once: columns to draw, not all of them ready.
    ASSERT_TRUE(worker.Columns(0, kLongFrames / 900.0, 900, waves));
    EXPECT_FALSE(waves.AllReady());
    // A marker added meanwhile: the running job gives way to the new one.
    ASSERT_GE(project.AddMarker(Make(100, 7, mkSpline)), 0);
    const TPeakJob second = Job();
    worker.Start(second);
    worker.Start(second);   // the same job again changes nothing
    ASSERT_TRUE(worker.WaitIdle(120s));
    EXPECT_TRUE(worker.Finished());
    EXPECT_EQ(worker.FramesDone(), kLongFrames);
    EXPECT_GT(notified.load(), 0);
    ASSERT_TRUE(worker.Columns(0, kLongFrames / 900.0, 900, waves));
    EXPECT_TRUE(waves.AllReady());
    const TTimelineWaves want = Sync(second, 0, kLongFrames / 900.0, 900);
    for (int x = 0; x < 900; ++x)
        ASSERT_TRUE(SameColumn(waves.Primary[size_t(x)], want.Primary[size_t(x)])) << x;
    // The bursts are where the shift of 7 frames puts them: 7 frames earlier.
    const TTimelineWaves deep = Sync(second, 29990, 1.0 / 16, 320);
    ASSERT_TRUE(worker.Columns(29990, 1.0 / 16, 320, waves));
    int loud = -1;
    for (int x = 0; x < 320; ++x) {
        ASSERT_TRUE(SameColumn(waves.Primary[size_t(x)], deep.Primary[size_t(x)])) << x;
        if (waves.Primary[size_t(x)].Max > 0 && loud < 0)
            loud = x;
    }
    EXPECT_EQ(loud, (30000 - 7 - 29990) * 16);

    // Another marker: until the new run reaches a column, the finished run's column is
    // shown there, marked as not ready.
    ASSERT_GE(project.AddMarker(Make(200, -3, mkSpline)), 0);
    const TPeakJob third = Job();
    worker.Start(third);
    ASSERT_TRUE(worker.Columns(0, kLongFrames / 900.0, 900, waves));
    const TTimelineWaves now = Sync(third, 0, kLongFrames / 900.0, 900);
    int stale = 0;
    for (int x = 0; x < 900; ++x) {
        const TTimelineWaves &from = waves.Ready[size_t(x)] ? now : want;
        stale += waves.Ready[size_t(x)] ? 0 : 1;
        ASSERT_TRUE(SameColumn(waves.Primary[size_t(x)], from.Primary[size_t(x)])) << x;
    }
    EXPECT_GT(stale, 0);
}

TEST_F(TimelinePeaksWorker, DestroyingTheWorkerDuringARunStopsItAtOnce)
{
    auto worker = std::make_unique<TTimelinePeaks>(nullptr);
    worker->Start(Job());
    while (worker->FramesDone() == 0)
        std::this_thread::sleep_for(1ms);
    const auto start = std::chrono::steady_clock::now();
    worker.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

} // namespace
} // namespace tessaly
