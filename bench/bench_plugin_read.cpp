// Benchmark of the reader plug-ins through the plug-in host: framepull decoding a 640x360
// MPEG-4 AVI frame by frame (sequentially, then by jumps that seek), and soundpull decoding
// an MP3 in blocks; prints frames and sample frames per second. Needs the ffmpeg command.
// Usage: bench_plugin_read [seconds of media, default 60] [folder for the test files]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/input/vfapi_host.h"
#include "platform/file_system.h"

using namespace tessaly;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Make(const std::string &args, const std::string &path)
{
    const std::string cmd = "ffmpeg -nostdin -v error -y " + args + " '" + path + "' </dev/null";
    return std::system(cmd.c_str()) == 0;
}

int PluginIndex(const std::string &name)
{
    for (int i = 0; i < PluginCount(); ++i)
        if (PluginName(i) == name)
            return i;
    return -1;
}

void BenchVideo(const std::string &avi)
{
    TMediaError status = meOk;
    TVfHandlePtr h(VfOpen(PluginIndex("framepull"), avi, status));
    if (!h) {
        std::printf("framepull: cannot open %s (status %d)\n", avi.c_str(), int(status));
        return;
    }
    const int32_t frames = int32_t(VideoInfo(h.get()).lengthLow);
    std::vector<uint8_t> picture(FrameSize24(h.get()));
    auto start = std::chrono::steady_clock::now();
    for (int32_t f = 0; f < frames; ++f)
        ReadFrame24(h.get(), f, picture.data(), uint32_t(picture.size()));
    double t = Seconds(start);
    std::printf("framepull sequential: %d frames in %.2f s = %.1f frames/s\n", frames, t, frames / t);
    const int jumps = 100;
    start = std::chrono::steady_clock::now();
    for (int j = 0; j < jumps; ++j)
        ReadFrame24(h.get(), int32_t((int64_t(j) * 7919) % frames), picture.data(), uint32_t(picture.size()));
    t = Seconds(start);
    std::printf("framepull jumps:      %d frames in %.2f s = %.1f frames/s\n", jumps, t, jumps / t);
}

void BenchAudio(const std::string &mp3)
{
    TMediaError status = meOk;
    TVfHandlePtr h(VfOpen(PluginIndex("soundpull"), mp3, status));
    if (!h) {
        std::printf("soundpull: cannot open %s (status %d)\n", mp3.c_str(), int(status));
        return;
    }
    const int64_t length = int64_t(AudioInfo(h.get()).lengthLow);
    const uint32_t block = 4096;
    std::vector<uint8_t> pcm(AudioBytes(h.get(), block));
    const auto start = std::chrono::steady_clock::now();
    for (int64_t s = 0; s < length; s += block)
        ReadAudioPcm(h.get(), s, block, pcm.data(), uint32_t(pcm.size()));
    const double t = Seconds(start);
    std::printf("soundpull blocks:     %lld sample frames in %.2f s = %.0f sample frames/s\n",
                static_cast<long long>(length), t, double(length) / t);
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    const std::string avi = folder + "/bench_plugin.avi", mp3 = folder + "/bench_plugin.mp3";
    const std::string len = " -t " + std::to_string(seconds > 0 ? seconds : 60);
    if (!Make("-f lavfi -i testsrc=size=640x360:rate=25" + len + " -c:v mpeg4 -q:v 4 -g 50", avi) ||
        !Make("-f lavfi -i sine=frequency=440:sample_rate=44100" + len + " -ac 2 -c:a libmp3lame", mp3)) {
        std::printf("cannot make the test files with ffmpeg\n");
        return 1;
    }
    LoadPluginsFrom({"framepull=" + ProgramDir() + "framepull.vfp", "soundpull=" + ProgramDir() + "soundpull.vfp"});
    BenchVideo(avi);
    BenchAudio(mp3);
    UnloadPlugins();
    std::remove(avi.c_str());
    std::remove(mp3.c_str());
    return 0;
}
