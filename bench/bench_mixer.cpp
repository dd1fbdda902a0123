// Benchmark of the audio mixer over a real WAV file: mixes a few minutes of 48 kHz stereo
// 24-bit audio frame by frame without markers and along a drifting curve with cuts, by
// sample copy and band-limited, and prints the processor time per minute of audio and
// the ratio of the two readings. Usage: bench_mixer [minutes] (default 5).
#include "bench_wave.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ctime>
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
    return bench::WritePatternWav(path, samples, 48000, 24);
}

// Processor time (the machine may be shared) of mixing the whole project.
double Mix(TProject &project, TWaveReader &reader, TResampling mode)
{
    TWaveMixSource source(reader);
    TAudioMixer mixer(project, &source, nullptr);
    mixer.SetMixing(mode, 0);
    TAudioMixState state;
    const std::clock_t start = std::clock();
    mixer.InitAudioMix(0, 0, state, false);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * size_t(state.BlockSize));
    for (int32_t f = 0; f < project.FrameCount(); ++f)
        mixer.MixFrameAudio(f, state, true, buf.data(), 0);
    return double(std::clock() - start) / CLOCKS_PER_SEC;
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
    if (!WriteWav(path, int64_t(frames) * 1920 + 48000)) {
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
    const double plain = Mix(project, reader, rsSampleCopy), plainBand = Mix(project, reader, rsBandLimited);
    project.AddMarker({frames / 5, 0, mkSpline, false, false});
    project.AddMarker({frames / 2, 12, mkSpline, false, false});
    project.AddMarker({frames * 4 / 5, -5, mkSpline, false, false});
    project.AddMarker({frames / 3, 25, mkRelCut, true, false});
    project.AddMarker({frames * 2 / 3, -25, mkRelCut, true, false});
    project.RebuildSpline();
    const double copy = Mix(project, reader, rsSampleCopy), band = Mix(project, reader, rsBandLimited);
    std::printf("mixer, %d min of 48 kHz stereo 24-bit, processor time:\n"
                "  no markers:      sample copy %.3f s (%.3f s/min), band-limited %.3f s (%.3f s/min)\n"
                "  curve and cuts:  sample copy %.3f s (%.3f s/min), band-limited %.3f s (%.3f s/min), %.2fx\n",
                minutes, plain, plain / minutes, plainBand, plainBand / minutes, copy, copy / minutes, band,
                band / minutes, band / copy);
    std::remove(path.c_str());
    return 0;
}
