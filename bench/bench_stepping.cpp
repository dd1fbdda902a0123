// Stepping through a 1080p H.264 film (key frames 250 apart) through the window's frame
// path: the frame fetcher with a reader of its own, as TFramePresenter drives it.
//
// Usage: bench_stepping [film.mkv] [cache MB]
// Without a film one is made with ffmpeg in the temporary folder (and kept there for the
// next run). Measures, wall clock and the process's processor time:
//   - previous frame inside a cached group: median and worst of single steps back;
//   - next frame: median and worst of single steps forward;
//   - previous frame right after a jump, while the worker still decodes around it;
//   - a held key: requests at 25 pictures a second forwards and 10 backwards for a few
//     seconds, counting the pictures delivered and the longest wait between two;
//   - the cache's memory against its budget.
#include "media/input/io_movie_reader.h"
#include "project/frame_fetcher.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace tessaly;
using Clock = std::chrono::steady_clock;

namespace {

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Deliveries of the fetcher, waited for by frame.
struct TWatch {
    std::mutex Mutex;
    std::condition_variable Came;
    std::vector<std::pair<int32_t, Clock::time_point>> Shown; // every picture handed over
    int32_t LastFinal = -1;
    uint64_t Failed = 0;

    void Deliver(const TFetchedFrame &f)
    {
        std::lock_guard lock(Mutex);
        if (!f.Picture) {
            ++Failed;
            return;
        }
        Shown.emplace_back(f.Frame, Clock::now());
        if (f.Final)
            LastFinal = f.Frame;
        Came.notify_all();
    }
    bool WaitFinal(int32_t frame)
    {
        std::unique_lock lock(Mutex);
        return Came.wait_for(lock, std::chrono::seconds(60), [&] { return LastFinal == frame; });
    }
};

struct TTimes {
    std::vector<double> Wall, Cpu;
};

void Report(const char *what, TTimes t, double targetMedian, double targetWorst)
{
    if (t.Wall.empty())
        return;
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double wallMedian = median(t.Wall), wallWorst = *std::max_element(t.Wall.begin(), t.Wall.end());
    const double cpuMedian = median(t.Cpu), cpuWorst = *std::max_element(t.Cpu.begin(), t.Cpu.end());
    std::printf("%-36s n=%3zu  wall median %7.2f ms worst %7.2f ms | cpu median %7.2f ms worst %7.2f ms", what,
                t.Wall.size(), wallMedian, wallWorst, cpuMedian, cpuWorst);
    if (targetMedian > 0)
        std::printf("  (target median < %.0f, worst < %.0f)", targetMedian, targetWorst);
    std::printf("\n");
}

// One request, timed until its picture came.
void Step(TFrameFetcher &fetcher, TWatch &watch, int32_t frame, TTimes &times)
{
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    fetcher.Request(frame);
    if (!watch.WaitFinal(frame))
        std::printf("frame %d never came\n", frame);
    times.Wall.push_back(Ms(Clock::now() - start));
    times.Cpu.push_back((CpuSeconds() - cpu) * 1000);
}

// Requests one frame after another at `rate` a second for `seconds`, forwards or backwards;
// prints the pictures delivered and the longest time without a new one.
void HeldKey(TFrameFetcher &fetcher, TWatch &watch, int32_t from, int direction, double rate, double seconds)
{
    {
        std::lock_guard lock(watch.Mutex);
        watch.Shown.clear();
    }
    const int requests = int(rate * seconds);
    const auto period = std::chrono::duration<double>(1.0 / rate);
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    for (int i = 1; i <= requests; ++i) {
        fetcher.Request(from + direction * i);
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(period * i));
    }
    const auto end = Clock::now();
    std::vector<std::pair<int32_t, Clock::time_point>> shown;
    {
        std::lock_guard lock(watch.Mutex);
        shown = watch.Shown;
    }
    double longest = 0;
    Clock::time_point previous = start;
    int delivered = 0;
    for (const auto &[frame, when] : shown) {
        if (when > end)
            break;
        ++delivered;
        longest = std::max(longest, Ms(when - previous));
        previous = when;
    }
    longest = std::max(longest, Ms(end - previous));
    std::printf("held key %-9s %4.0f/s for %.0f s: %d requests, %d pictures shown (%.1f/s), longest gap %.0f ms, "
                "cpu %.2f s\n",
                direction > 0 ? "forwards" : "backwards", rate, seconds, requests, delivered, delivered / seconds,
                longest, CpuSeconds() - cpu);
    fetcher.WaitIdle(std::chrono::seconds(60));
}

} // namespace

int main(int argc, char **argv)
{
    std::string film = argc > 1 ? argv[1] : "";
    const uint64_t budget = uint64_t(argc > 2 ? std::atoi(argv[2]) : 512) << 20;
    if (film.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        film = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly_bench_stepping_1080p.mkv";
        struct stat st {};
        if (::stat(film.c_str(), &st) != 0) {
            std::printf("making %s (1080p H.264, key frames 250 apart, 40 s)...\n", film.c_str());
            const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 "
                                    "-t 40 -c:v libx264 -preset veryfast -g 250 -keyint_min 250 -sc_threshold 0 "
                                    "-pix_fmt yuv420p '" + film + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "ffmpeg failed\n");
                return 1;
            }
        }
    }
    TIOMovieReader video;
    if (!video.Open(film, "AUTO|-1")) {
        std::fprintf(stderr, "cannot open %s\n", film.c_str());
        return 1;
    }
    std::printf("%s: %ux%u, %d frames, kind %s, cache budget %llu MB, %u cores\n", film.c_str(), video.Width(),
                video.Height(), video.FrameCount(), video.KindString().c_str(),
                (unsigned long long)(budget >> 20), std::thread::hardware_concurrency());
    double load[1] = {0};
    if (::getloadavg(load, 1) == 1)
        std::printf("load average %.1f\n", load[0]);
    const TVideoOpening opening = VideoOpeningOf(video);

    TWatch watch;
    TFrameFetcher fetcher([&](const TFetchedFrame &f) { watch.Deliver(f); }, budget);
    fetcher.SetSource([opening](TMediaError &error) { return OpenReaderSource(opening, error); });

    // Into the middle of the second group, then single steps back with the idle work done
    // between them (a user pressing Left now and then).
    TTimes first, back, next;
    Step(fetcher, watch, 480, first);
    Report("first frame (decoded from key 250)", first, 0, 0);
    fetcher.WaitIdle(std::chrono::seconds(120));
    for (int32_t f = 479; f >= 400; --f) {
        Step(fetcher, watch, f, back);
        fetcher.WaitIdle(std::chrono::seconds(120));
    }
    Report("previous frame (cached group)", back, 40, 100);
    for (int32_t f = 401; f <= 440; ++f) {
        Step(fetcher, watch, f, next);
        fetcher.WaitIdle(std::chrono::seconds(120));
    }
    Report("next frame", next, 15, 15);
    // Without idle work: each step forward is one decode.
    fetcher.SetPrefetch(false);
    TTimes bare;
    for (int32_t f = 441; f <= 480; ++f)
        Step(fetcher, watch, f, bare);
    Report("next frame, no decoding ahead", bare, 15, 15);
    fetcher.SetPrefetch(true);
    fetcher.WaitIdle(std::chrono::seconds(120));
    // Steps while the worker is busy: a jump into a group, then a step back every 30 ms
    // without waiting for the decoding ahead and behind that the jump started (a user
    // pressing Left after Go to).
    TTimes busy;
    for (int32_t jump : {700, 990, 480}) {
        TTimes ignored;
        Step(fetcher, watch, jump, ignored);
        for (int32_t f = jump - 1; f >= jump - 15; --f) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            Step(fetcher, watch, f, busy);
        }
        fetcher.WaitIdle(std::chrono::seconds(120));
    }
    Report("previous frame while decoding ahead", busy, 40, 100);

    // Held keys start from a frame shown and settled, as after a pause.
    TTimes settle;
    Step(fetcher, watch, 600, settle);
    fetcher.WaitIdle(std::chrono::seconds(120));
    HeldKey(fetcher, watch, 600, +1, 25, 8);
    Step(fetcher, watch, 900, settle);
    fetcher.WaitIdle(std::chrono::seconds(120));
    HeldKey(fetcher, watch, 900, -1, 10, 8);

    const TFetchStats stats = fetcher.Stats();
    std::printf("cache: %.1f MB in %zu pictures, budget %.0f MB; %llu decoded, %llu from the cache, %llu dropped, "
                "%llu runs given up\n",
                double(stats.CacheBytes) / (1 << 20), stats.CachedFrames, double(stats.CacheBudget) / (1 << 20),
                (unsigned long long)stats.Decoded, (unsigned long long)stats.CacheHits,
                (unsigned long long)stats.Dropped, (unsigned long long)stats.Abandoned);
    return watch.Failed == 0 ? 0 : 1;
}
