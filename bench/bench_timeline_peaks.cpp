// Benchmark of the timeline's waveforms over a 2-hour film (25 fps, 48 kHz stereo WAV,
// sparse on disk with a loud sample every minute, a spline point every 10 s): the window
// thread's time for the first paint of the whole film, as the strip's synchronous
// computation did it and with the worker, the worker's time to the complete film, and a
// repaint once everything is ready, at the whole film and at the deepest zoom. Times are
// wall clock and the calling thread's processor time (the machine may be shared).
// Usage: bench_timeline_peaks [width in pixels] (default 1000).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/input/wave_reader.h"
#include "project/audio_peaks.h"
#include "project/audio_peaks_draw.h"
#include "project/project.h"
#include "project/timeline_peaks.h"
#include "project/wave_mix_source.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"
#include "support/sparse_wav.h"

using namespace tessaly;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int32_t kFrames = 2 * 3600 * 25;
constexpr int64_t kSamples = int64_t{kFrames} * 1920;
constexpr int kHeight = 60;

double ThreadMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Draws into memory, as the window's painter would into its pixels.
class TBufferCanvas final : public TCurveCanvas {
public:
    TBufferCanvas(int width, int height) : FWidth(width), FHeight(height), FPixels(size_t(width) * size_t(height)) {}
    void FillRect(int x, int y, int w, int h, TRgb c) override
    {
        const uint32_t v = uint32_t(c.R) << 16 | uint32_t(c.G) << 8 | c.B;
        for (int j = std::max(0, y); j < std::min(FHeight, y + h); ++j)
            for (int i = std::max(0, x); i < std::min(FWidth, x + w); ++i)
                FPixels[size_t(j) * size_t(FWidth) + size_t(i)] = v;
    }
    void Polyline(const std::vector<TCanvasPoint> &, TRgb) override {}
    void FillSquare(int, int, int, TRgb) override {}

private:
    int FWidth, FHeight;
    std::vector<uint32_t> FPixels;
};

struct TTimed {
    double Wall = 0, Cpu = 0;
};

template <class F> TTimed Time(F &&run)
{
    const double cpu = ThreadMs();
    const auto start = Clock::now();
    run();
    return TTimed{std::chrono::duration<double, std::milli>(Clock::now() - start).count(), ThreadMs() - cpu};
}

void Print(const char *what, const TTimed &t)
{
    std::printf("%-58s wall %9.1f ms  thread cpu %9.1f ms\n", what, t.Wall, t.Cpu);
}

} // namespace

int main(int argc, char **argv)
{
    const int width = argc > 1 ? std::max(16, std::atoi(argv[1])) : 1000;
    const char *tmp = std::getenv("TMPDIR");
    const std::string wav = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly_bench_timeline.wav";
    std::vector<int64_t> loud;
    for (int64_t at = 48000; at < kSamples; at += 60 * 48000)
        loud.push_back(at);
    if (!test::WriteSparseWav(wav, 48000, 2, kSamples, loud)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 1;
    }
    test::TFakeProjectMedia media;
    media.SetVideo("/clips/film.avi", kFrames, 25, 1);
    media.Audio = true;
    media.SampleRate = 48000;
    TProject project(nullptr, &media);
    project.VideoOpened();
    project.AudioOpened();
    for (int32_t f = 0; f < kFrames; f += 250)
        project.AddMarker(test::Make(f, (f / 250) % 7 - 3, mkSpline));
    std::printf("2-hour film: %d frames, 48 kHz stereo, %d markers, %d columns\n", kFrames, project.MarkerCount(),
                width);
    double load[1] = {0};
    if (::getloadavg(load, 1) == 1)
        std::printf("load average %.1f\n", load[0]);
    TBufferCanvas canvas(width, kHeight);

    // Before: the strip computed the columns of the whole film on the window thread, with
    // at most 600 s either side of the middle (so it mixed 20 minutes of the 2 hours).
    {
        TWaveReader reader;
        if (!reader.Open(wav, "AUTO|-1", true, 0)) {
            std::fprintf(stderr, "cannot open %s\n", wav.c_str());
            return 1;
        }
        TWaveMixSource source(reader);
        TAudioPeaks peaks(project);
        peaks.SetSources(&source, nullptr);
        TAudioStrip strip;
        Print("before: first paint, whole film (window thread)", Time([&] {
                  peaks.Compute(kFrames / 2, width, kFrames / 2 / 25.0, strip);
                  DrawAudioStrip(strip, canvas, width, kHeight);
              }));
    }

    // After: the window starts the worker and draws what is ready.
    const TTrackOpening track{wav, "AUTO|-1", -1};
    TPeakJob job = PeakJobOf(project, track, TTrackOpening{});
    TTimelinePeaks worker(nullptr);
    TTimelineWaves waves;
    const double perPixel = double(kFrames) / width;
    const auto started = Clock::now();
    Print("after: first paint, whole film (window thread)", Time([&] {
              worker.Start(job);
              worker.Columns(0, perPixel, width, waves);
              DrawTimelineWaves(waves, canvas, width, kHeight);
          }));
    int ready = 0;
    for (uint8_t r : waves.Ready)
        ready += r;
    std::printf("  columns ready at the first paint: %d of %d\n", ready, width);
    if (!worker.WaitIdle(std::chrono::minutes(30)) || !worker.Finished()) {
        std::fprintf(stderr, "the worker did not finish\n");
        return 1;
    }
    std::printf("%-58s wall %9.1f ms\n", "after: worker, whole film complete",
                std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    Print("after: repaint, whole film complete (window thread)", Time([&] {
              worker.Columns(0, perPixel, width, waves);
              DrawTimelineWaves(waves, canvas, width, kHeight);
          }));
    Print("after: repaint, deepest zoom (window thread)", Time([&] {
              worker.Columns(kFrames / 2, 1.0 / 16, width, waves);
              DrawTimelineWaves(waves, canvas, width, kHeight);
          }));
    // A marker edit: the same film computed again, the first paint as quick.
    project.AddMarker(test::Make(1000, 9, mkSpline));
    job = PeakJobOf(project, track, TTrackOpening{});
    Print("after: first paint after a marker edit (window thread)", Time([&] {
              worker.Start(job);
              worker.Columns(0, perPixel, width, waves);
              DrawTimelineWaves(waves, canvas, width, kHeight);
          }));
    return 0;
}
