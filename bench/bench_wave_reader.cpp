// Benchmark of the audio source front-end: reads a 48 kHz stereo 16-bit track one sample
// frame at a time (Seek to the next position plus ReadSamples of one frame, as the mixer
// asks) through each file access path, and prints sample frames per second.
// Usage: bench_wave_reader [seconds of audio, default 3600] [folder for the test file]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>
#include <vector>

#include "media/common/byte_order.h"
#include "media/input/wave_reader.h"

using namespace tessaly;

namespace {

// Writes a WAV of frames stereo 16-bit sample frames whose values follow the frame number.
bool WriteTrack(const std::string &path, int64_t frames)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::string head;
    TByteWriter w(head);
    uint64_t bytes = uint64_t(frames) * 4;
    w.U32(FourCC("RIFF"));
    w.U32(uint32_t(36 + bytes));
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(16);
    w.U16(1);
    w.U16(2);
    w.U32(48000);
    w.U32(192000);
    w.U16(4);
    w.U16(16);
    w.U32(FourCC("data"));
    w.U32(uint32_t(bytes));
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    std::vector<int16_t> block(2 * 65536);
    for (int64_t done = 0; ok && done < frames;) {
        int64_t n = std::min<int64_t>(65536, frames - done);
        for (int64_t i = 0; i < n; ++i) {
            block[size_t(2 * i)] = int16_t(done + i);
            block[size_t(2 * i + 1)] = int16_t((done + i) >> 16);
        }
        ok = std::fwrite(block.data(), 4, size_t(n), f) == size_t(n);
        done += n;
    }
    return std::fclose(f) == 0 && ok;
}

double CpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct TRate {
    double Wall = -1, Cpu = -1; // sample frames per second by wall-clock and by CPU time
};

// Reads the whole track frame by frame; rates of -1 on a mismatch.
TRate Run(TWaveReader &r, int64_t frames, bool check)
{
    int16_t frame[2];
    int64_t sum = 0;
    auto t0 = std::chrono::steady_clock::now();
    double c0 = CpuSeconds();
    for (int64_t n = 0; n < frames; ++n) {
        r.Seek(n);
        if (!r.ReadSamples(frame, 1))
            return {};
        if (check && (frame[0] != int16_t(n) || frame[1] != int16_t(n >> 16)))
            return {};
        sum += frame[0];
    }
    double cpu = CpuSeconds() - c0;
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (sum == 42) // keeps the loop from being optimised away
        std::printf(" ");
    return {double(frames) / s, double(frames) / cpu};
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 3600.0;
    std::string folder = argc > 2 ? argv[2] : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    int64_t frames = int64_t(seconds * 48000);
    std::string path = folder + "/tessaly_bench_track.wav";
    if (!WriteTrack(path, frames)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    std::printf("track: %.0f s, %lld sample frames, 48000 Hz stereo 16-bit\n", seconds, (long long)frames);
    int status = 0;
    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        TWaveReader r;
        if (!r.Open(path, kind, false, 0)) {
            std::printf("%s: open failed (%s)\n", kind, MediaErrorIdent(r.Status()).c_str());
            status = 1;
            continue;
        }
        TRate rate = Run(r, frames, true);
        std::printf("%s one frame per call: %.1f M sample frames/s (%.1f M per CPU second)%s\n", kind,
                    rate.Wall / 1e6, rate.Cpu / 1e6, rate.Wall < 0 ? " (MISMATCH)" : "");
        // Converted delivery: 48000 Hz source as 44100 Hz mono.
        WAVEFORMATEX out = MakePcmFormat(44100, 16, 1);
        r.SetOutputFormat(&out, sizeof out);
        TRate conv = Run(r, r.OutputLength(), false);
        std::printf("%s converted to 44100 Hz mono: %.1f M sample frames/s (%.1f M per CPU second)\n", kind,
                    conv.Wall / 1e6, conv.Cpu / 1e6);
        if (rate.Wall < 0)
            status = 1;
    }
    std::remove(path.c_str());
    return status;
}
