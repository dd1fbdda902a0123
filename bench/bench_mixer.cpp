// Benchmark of the audio mixer over a real WAV file: mixes a few minutes of 48 kHz stereo
// audio frame by frame without markers and along a drifting curve with cuts, and prints
// the time per minute of audio. Usage: bench_mixer [minutes] (default 5).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "media/input/wave_reader.h"
#include "media/output/avi_creator.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/wave_mix_source.h"
#include "support/project_fakes.h"

using namespace tessaly;

namespace {

bool WriteWav(const std::string &path, int64_t samples)
{
    std::ofstream out(path, std::ios::binary);
    auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char(v >> (8 * i)));
    };
    uint32_t data = uint32_t(samples * 4);
    out.write("RIFF", 4);
    put(36 + data, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(48000, 4);
    put(192000, 4);
    put(4, 2);
    put(16, 2);
    out.write("data", 4);
    put(data, 4);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    for (int64_t left = int64_t(data); left > 0; left -= int64_t(block.size()))
        out.write(block.data(), std::min<int64_t>(left, int64_t(block.size())));
    return bool(out);
}

double Mix(TProject &project, TWaveReader &reader)
{
    TWaveMixSource source(reader);
    TAudioMixer mixer(project, &source, nullptr);
    TAudioMixState state;
    auto start = std::chrono::steady_clock::now();
    mixer.InitAudioMix(0, 0, state, false);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * size_t(state.BlockSize));
    for (int32_t f = 0; f < project.FrameCount(); ++f)
        mixer.MixFrameAudio(f, state, true, buf.data(), 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    int minutes = argc > 1 ? std::atoi(argv[1]) : 5;
    if (minutes < 1)
        minutes = 1;
    const char *tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessaly_bench_mixer.wav";
    int32_t frames = minutes * 60 * 25;
    if (!WriteWav(path, int64_t(frames) * 1920)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    TWaveReader reader;
    if (!reader.Open(path, "ODML|-1", false, 0)) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return 1;
    }
    test::TFakeProjectMedia media;   // a 25 fps video with a 48 kHz primary track
    media.SetVideo("bench.avi", frames);
    media.Audio = true;
    media.SampleRate = 48000;
    TProject project(nullptr, &media);
    project.VideoOpened();
    project.AudioOpened();
    double plain = Mix(project, reader);
    project.AddMarker({frames / 5, 0, mkSpline, false, false});
    project.AddMarker({frames / 2, 12, mkSpline, false, false});
    project.AddMarker({frames * 4 / 5, -5, mkSpline, false, false});
    project.AddMarker({frames / 3, 25, mkRelCut, true, false});
    project.AddMarker({frames * 2 / 3, -25, mkRelCut, true, false});
    project.RebuildSpline();
    double curve = Mix(project, reader);
    std::printf("mixer, %d min of 48 kHz stereo: no markers %.3f s (%.3f s/min), curve and cuts %.3f s (%.3f s/min)\n",
                minutes, plain, plain / minutes, curve, curve / minutes);
    std::remove(path.c_str());
    return 0;
}
