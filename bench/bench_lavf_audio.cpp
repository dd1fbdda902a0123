// Benchmark of the FFmpeg audio path: for a track made with ffmpeg (AC-3 5.1, MP3, AAC,
// FLAC, Vorbis in Ogg and Opus in Matroska, each `seconds` long), the time of the first open
// (one pass over the packets that indexes them, decoding only a stream's start and end when
// its packet lengths are known, else every packet; stored in the index cache), of a second
// open (the index read from the cache), to read it linearly as the mixer does, and per
// random seek-and-read.
// Usage: bench_lavf_audio [seconds of audio, default 600] [folder for the test files] [track names...]
//   e.g. bench_lavf_audio 7200 /tmp ac3-5.1 for a 2-hour AC-3 5.1 track
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "media/input/lavf/lavf_audio.h"
#include "media/input/wave_format.h"

using namespace tessaly;

namespace {

double Since(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void Bench(const std::string &file, const char *name)
{
    auto t = std::chrono::steady_clock::now();
    TLavfAudio a;
    if (a.Open(file) != meOk || a.Streams().empty() || a.IndexFromCache()) {
        std::printf("%-10s cannot open %s with a decoding pass\n", name, file.c_str());
        return;
    }
    const double open = Since(t);
    const char *how = a.IndexFromPacketLengths() ? "counted from packet lengths" : "decoded whole";
    // Second and later opens: the index from the cache (median of five).
    std::vector<double> again;
    for (int i = 0; i < 5; ++i) {
        t = std::chrono::steady_clock::now();
        TLavfAudio b;
        if (b.Open(file) != meOk || !b.IndexFromCache() || b.StreamTexts()[0].Length != a.StreamTexts()[0].Length) {
            std::printf("%-10s the second open did not use the cache\n", name);
            return;
        }
        again.push_back(Since(t));
    }
    std::sort(again.begin(), again.end());
    const double reopen = again[again.size() / 2];
    WAVEFORMATEX f{};
    uint32_t mask = 0;
    ReadWaveFormat(a.Streams()[0].Format.data(), a.Streams()[0].Format.size(), f, mask);
    const int64_t total = a.StreamTexts()[0].Length;
    const int32_t chunk = 2000; // about what the mixer asks for per video frame
    std::vector<uint8_t> buf(size_t(chunk) * f.nBlockAlign);
    t = std::chrono::steady_clock::now();
    for (int64_t p = 0; p + chunk <= total; p += chunk)
        if (a.Read(0, p, chunk, buf.data()) != meOk) {
            std::printf("%-10s read failed at %lld\n", name, (long long)p);
            return;
        }
    const double linear = Since(t);
    std::mt19937 rng(1);
    const int seeks = 200;
    t = std::chrono::steady_clock::now();
    for (int i = 0; i < seeks; ++i)
        a.Read(0, int64_t(rng() % uint32_t(total - chunk)), chunk, buf.data());
    const double seek = Since(t) / seeks;
    const double seconds = double(total) / f.nSamplesPerSec;
    std::printf("%-10s %7.1f s of audio, %lld sample frames: first open %.2f s (%.0fx real time, %s), "
                "second open %.1f ms, linear read %.2f s (%.0fx), seek and read %.2f ms\n",
                name, seconds, (long long)total, open, seconds / open, how, reopen * 1000, linear, seconds / linear,
                seek * 1000);
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    std::vector<std::string> only(argv + std::min(argc, 3), argv + argc);
    // A cache folder of the benchmark's own, emptied, so that the first open decodes.
    const std::string cache = folder + "/bench_lavf_audio_cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    std::system(("rm -rf '" + cache + "'").c_str());
    struct TTrack {
        const char *Name, *Ext, *Args;
    } tracks[] = {{"ac3-5.1", "ac3", "-af aformat=channel_layouts=5.1 -c:a ac3"},
                  {"mp3", "mp3", "-ac 2 -c:a libmp3lame"},
                  {"aac", "m4a", "-ac 2 -c:a aac"},
                  {"flac", "flac", "-ac 2 -c:a flac"},
                  {"vorbis", "ogg", "-ac 2 -c:a libvorbis"},
                  {"opus-mkv", "mkv", "-ac 2 -c:a libopus"}};
    for (const TTrack &t : tracks) {
        if (!only.empty() && std::find(only.begin(), only.end(), t.Name) == only.end())
            continue;
        const std::string file = folder + "/bench_lavf_audio." + t.Ext;
        const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i sine=f=440:r=48000:d=" +
                                std::to_string(seconds) + " " + t.Args + " '" + file + "'";
        if (std::system(cmd.c_str()) != 0) {
            std::printf("%-10s ffmpeg failed\n", t.Name);
            continue;
        }
        Bench(file, t.Name);
        std::remove(file.c_str());
    }
    std::system(("rm -rf '" + cache + "'").c_str());
    return 0;
}
