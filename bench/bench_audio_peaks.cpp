// Benchmark of the audio strip: a 2-hour 48 kHz stereo WAV track (sparse on disk, with
// real signal in the stretches stepped through), a project with a marker every 10 s, and
// frame-by-frame stepping of a 1000-column strip of +-1 s at the start, the middle and
// the end of the film; prints the first strip at each place (a jump) apart from the
// steps after it, in wall time and in the thread's processor time (the machine may be
// shared), and fails when a step takes 20 ms of processor time or more.
// Usage: bench_audio_peaks [steps per place] (default 1500 = one minute of frames).
#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/input/wave_reader.h"
#include "project/audio_peaks.h"
#include "project/project.h"
#include "project/wave_mix_source.h"
#include "support/project_fakes.h"

using namespace tessaly;

namespace {

constexpr int32_t kFrames = 2 * 3600 * 25;
constexpr int64_t kSamples = int64_t{kFrames} * 1920;
constexpr uint32_t kHeader = 44;

void Put(std::vector<uint8_t> &b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

// The header, the file extended to its full length without writing it (sparse), and
// pseudo-random signal written where the benchmark steps.
bool WriteWav(const std::string &path, const std::vector<int32_t> &places, int32_t steps)
{
    const uint64_t data = uint64_t(kSamples) * 4;
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put(h, uint32_t(std::min<uint64_t>(data + 36, 0xFFFFFFFFu)), 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(h, 16, 4);
    Put(h, 1, 2);
    Put(h, 2, 2);
    Put(h, 48000, 4);
    Put(h, 192000, 4);
    Put(h, 4, 2);
    Put(h, 16, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put(h, uint32_t(data), 4);
    int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    bool ok = ::pwrite(fd, h.data(), h.size(), 0) == ssize_t(h.size()) &&
              ::ftruncate(fd, off_t(kHeader + data)) == 0;
    uint32_t seed = 1;
    for (int32_t place : places) {
        int64_t first = std::max<int64_t>(0, int64_t(place) - 200) * 1920 * 4;
        int64_t last = std::min<int64_t>(kFrames, int64_t(place) + steps + 200) * 1920 * 4;
        std::vector<uint8_t> block(size_t(last - first));
        for (auto &b : block) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        ok = ok && ::pwrite(fd, block.data(), block.size(), off_t(kHeader + first)) == ssize_t(block.size());
    }
    return ::close(fd) == 0 && ok;
}

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    int32_t steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1500;
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly_bench_peaks.wav";
    const std::vector<int32_t> places{100, kFrames / 2, kFrames - steps - 100};
    if (!WriteWav(path, places, steps)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    TWaveReader reader;
    if (!reader.Open(path, "ODML|-1", false, 0)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::remove(path.c_str());
        return 1;
    }
    TWaveMixSource source(reader);
    test::TFakeProjectMedia media;   // a 25 fps video with a 48 kHz primary track
    media.SetVideo("bench.avi", kFrames);
    media.Audio = true;
    media.SampleRate = 48000;
    TProject project(nullptr, &media);
    project.VideoOpened();
    project.AudioOpened();
    // A spline marker every 10 s drifting by up to 20 frames, and a cut every 10 minutes.
    for (int32_t f = 125; f < kFrames; f += 250)
        project.AddMarker({f, (f / 250) % 40 - 20, mkSpline, false, false});
    for (int32_t f = 15000; f < kFrames; f += 15000)
        project.AddMarker({f + 7, (f / 15000) % 2 ? 25 : -25, mkRelCut, true, false});
    project.RebuildSpline();

    TAudioPeaks peaks(project);
    peaks.SetSources(&source, nullptr);
    double worstWall = 0, worstCpu = 0, total = 0;
    int64_t count = 0;
    for (int32_t place : places) {
        double jumpWall = 0, jumpCpu = 0, placeWall = 0, placeCpu = 0, placeTotal = 0;
        for (int32_t i = 0; i < steps; ++i) {
            TAudioStrip strip;
            const double cpu0 = CpuMs();
            const auto start = std::chrono::steady_clock::now();
            if (!peaks.Compute(place + i, 1000, 1.0, strip)) {
                std::fprintf(stderr, "no strip at frame %d\n", place + i);
                std::remove(path.c_str());
                return 1;
            }
            const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            const double cpu = CpuMs() - cpu0;
            if (i == 0) {
                jumpWall = wall;
                jumpCpu = cpu;
                continue;
            }
            placeWall = std::max(placeWall, wall);
            placeCpu = std::max(placeCpu, cpu);
            placeTotal += wall;
        }
        const int32_t stepCount = std::max(1, steps - 1);
        std::printf("frames %d..%d: jump %.2f ms (cpu %.2f); steps mean %.3f ms, worst %.2f ms (cpu %.2f)\n", place,
                    place + steps - 1, jumpWall, jumpCpu, placeTotal / stepCount, placeWall, placeCpu);
        worstWall = std::max(worstWall, placeWall);
        worstCpu = std::max(worstCpu, placeCpu);
        total += placeTotal;
        count += stepCount;
    }
    const bool ok = worstCpu < 20.0;
    std::printf("audio strip over a 2-hour 48 kHz stereo track, %d markers: steps mean %.3f ms, worst %.2f ms "
                "(cpu %.2f); %lld chunks decoded; %s\n",
                project.MarkerCount(), total / double(count), worstWall, worstCpu,
                static_cast<long long>(peaks.ChunksDecoded()), ok ? "OK" : "TOO SLOW");
    std::remove(path.c_str());
    return ok ? 0 : 2;
}
