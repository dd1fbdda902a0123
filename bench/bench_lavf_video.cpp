// Benchmark of the FFmpeg container video path: makes (once, kept in $TMPDIR) a 60 s
// 1920 x 1080 H.264 Matroska file with key frames 250 apart, or takes a file named on the
// command line, and prints the index speed, the reopen time from the index cache, and the
// median times of the next, the previous and a random frame.
//   bench_lavf_video [file] [--requests N]
#include "media/input/lavf/lavf_video.h"
#include "platform/local_media.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace tessaly;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Processor time of the whole process (all decoder threads) in milliseconds.
double CpuMs()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

long long FileSize(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string path;
    int requests = 40;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--requests" && i + 1 < argc)
            requests = std::max(5, std::atoi(argv[++i]));
        else
            path = a;
    }
    const char *tmp = std::getenv("TMPDIR");
    const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
    if (path.empty()) {
        path = dir + "/bench_lavf_video_1080p.mkv";
        if (FileSize(path) <= 0) {
            std::printf("making 60 s of 1920x1080 H.264 (key frame every 250) in %s ...\n", path.c_str());
            const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 60 "
                                    "-c:v libx264 -preset veryfast -crf 16 -g 250 -keyint_min 250 -sc_threshold 0 "
                                    "-pix_fmt yuv420p '" + path + "'";
            if (std::system(cmd.c_str()) != 0) {
                std::fprintf(stderr, "ffmpeg failed\n");
                return 1;
            }
        }
    }
    // A cache folder of the benchmark's own, so that the first open builds the index.
    const std::string cache = dir + "/bench_lavf_video_cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    std::system(("rm -rf '" + cache + "'").c_str());

    TLavfVideoSource source;
    auto t0 = Clock::now();
    if (!source.Open(path)) {
        std::fprintf(stderr, "cannot open %s (media error %d)\n", path.c_str(), int(source.Status()));
        return 1;
    }
    auto t1 = Clock::now();
    const double size = double(FileSize(path));
    std::printf("%s: %.1f MB, %u x %u, %d frames, %d packets\n", path.c_str(), size / 1e6, source.Width(),
                source.Height(), source.FrameCount(), int(source.Index().Packets.size()));
    std::printf("index (open + one pass over the packets): %.1f ms = %.2f GB/s of file\n", Ms(t0, t1),
                size / 1e9 / (Ms(t0, t1) / 1000));

    // The pass over the packets alone, without opening, probing and the cache file.
    {
        AVFormatContext *ctx = nullptr;
        if (OpenLocalMedia(path, &ctx) == 0 && avformat_find_stream_info(ctx, nullptr) >= 0) {
            TLavfIndex index;
            auto a = Clock::now();
            const bool built = index.Build(ctx, source.Index().Stream);
            const double ms = Ms(a, Clock::now());
            if (built)
                std::printf("index pass alone: %.1f ms = %.2f GB/s of file\n", ms, size / 1e9 / (ms / 1000));
        }
        avformat_close_input(&ctx);
    }

    std::vector<double> reopen;
    for (int i = 0; i < 5; ++i) {
        TLavfVideoSource again;
        auto a = Clock::now();
        if (!again.Open(path) || !again.IndexFromCache()) {
            std::fprintf(stderr, "reopen did not use the cache\n");
            return 1;
        }
        reopen.push_back(Ms(a, Clock::now()));
    }
    std::printf("reopen from the index cache: median %.1f ms\n", Median(reopen));

    TIOImage image(source.Width(), source.Height(), pf24Bit);
    const int32_t count = source.FrameCount();
    std::vector<double> cpu;
    const auto timed = [&](int32_t n) {
        auto a = Clock::now();
        const double c = CpuMs();
        if (!source.GetFrame(n, image)) {
            std::fprintf(stderr, "frame %d failed\n", int(n));
            std::exit(1);
        }
        cpu.push_back(CpuMs() - c);
        return Ms(a, Clock::now());
    };
    // Next: a run of frames from the middle of a group on.
    std::vector<double> next;
    cpu.clear();
    const int32_t from = std::min<int32_t>(count - 1, 300);
    timed(from);
    for (int32_t n = from + 1; n < std::min(count, from + 4 * requests); ++n)
        next.push_back(timed(n));
    std::printf("next frame: median %.2f ms (processor %.2f ms) over %zu frames\n", Median(next), Median(cpu),
                next.size());

    // Previous: stepping back from the end of a group.
    std::vector<double> previous;
    const int32_t back = std::min<int32_t>(count - 1, 740);
    timed(back);
    cpu.clear();
    for (int32_t n = back - 1; n >= 0 && n > back - 1 - requests; --n)
        previous.push_back(timed(n));
    std::printf("previous frame: median %.2f ms (processor %.2f ms) over %zu frames\n", Median(previous), Median(cpu),
                previous.size());

    std::vector<double> random;
    cpu.clear();
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int32_t> pick(0, count - 1);
    for (int i = 0; i < requests; ++i)
        random.push_back(timed(pick(rng)));
    std::printf("random frame: median %.2f ms (processor %.2f ms), worst %.2f ms over %d requests\n", Median(random),
                Median(cpu), *std::max_element(random.begin(), random.end()), requests);
    std::system(("rm -rf '" + cache + "'").c_str());
    return 0;
}
