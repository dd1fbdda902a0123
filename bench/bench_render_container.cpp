// Benchmark of the container result: a long 1080p H.264 Matroska film and a 48 kHz stereo
// track are rendered along a curve with cuts into a Matroska result with FLAC audio (the
// mixer frame by frame as the render asks it, the film's packets copied), next to
// `ffmpeg -i film.mkv -i mix.wav -map 0 -map 1:a -c:v copy -c:s copy -c:a flac` of the
// same inputs; prints both times, their ratio and the render's peak memory. The film is
// opened through its reader first, as a project opens it; the time the result writer
// spends on the source is printed for its own reading of the file and for the reader's
// index it takes instead.
//
// usage: bench_render_container [--minutes N] [--dir DIR] [--keep]
//   --minutes N  length of the film (default 10)
//   --dir DIR    folder for the inputs and results (default $TMPDIR or /tmp)
//   --keep       keep the generated files
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "media/input/lavf/lavf_index.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/wave_reader.h"
#include "media/output/avi_creator.h"
#include "media/output/lavf_result_writer.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/wave_mix_source.h"
#include "support/project_fakes.h"

using namespace tessaly;

namespace {

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Run(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

long PeakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    int minutes = 10;
    bool keep = false;
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--minutes" && i + 1 < argc)
            minutes = std::max(1, std::atoi(argv[++i]));
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--keep")
            keep = true;
        else {
            std::fprintf(stderr, "usage: bench_render_container [--minutes N] [--dir DIR] [--keep]\n");
            return 2;
        }
    }
    const std::string film = dir + "/bench_film.mkv", mixWav = dir + "/bench_mix.wav";
    const std::string ours = dir + "/bench_ours.mkv", theirs = dir + "/bench_ffmpeg.mkv";
    const std::string one = dir + "/bench_minute.mkv", srt = dir + "/bench_film.srt";
    // One minute encoded, then repeated by stream copy: a long film in little time. At 2 Mbit/s
    // with key frames 10 s apart a two-hour film takes 1.8 GB, so the film, the mix and the two
    // results of the longest run fit in about 10 GB.
    std::ofstream(srt) << "1\n00:00:01,000 --> 00:00:03,000\nSubtitle\n\n";
    std::printf("making a %d min 1080p H.264 film ...\n", minutes);
    std::fflush(stdout);
    if (!Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=60 -c:v libx264 "
             "-preset ultrafast -bf 2 -g 250 -b:v 2M -maxrate 2M -bufsize 4M " + one) ||
        !Run("ffmpeg -nostdin -v error -y -stream_loop " + std::to_string(minutes - 1) + " -i " + one + " -i " + srt +
             " -map 0:v -map 1 -c copy " + film) ||
        !Run("ffmpeg -nostdin -v error -y -f lavfi -i anoisesrc=c=pink:r=48000:a=0.3:d=" +
             std::to_string(minutes * 60 + 1) + " -ac 2 -c:a pcm_s16le " + mixWav)) {
        std::fprintf(stderr, "cannot make the inputs in %s\n", dir.c_str());
        return 1;
    }
    const int32_t frames = minutes * 60 * 25;

    // The film opened as a project opens it (its index cache removed first, so that the
    // reader indexes the file), then the writer's source both ways.
    TLavfFileKey key;
    if (LavfFileKey(film, key))
        std::remove(LavfIndexCacheFile(key.Path).c_str());
    auto start = std::chrono::steady_clock::now();
    TLavfVideoSource video;
    if (!video.Open(film) || video.FrameCount() != frames) {
        std::fprintf(stderr, "the reader cannot open %s\n", film.c_str());
        return 1;
    }
    const double readerSeconds = Seconds(start);
    start = std::chrono::steady_clock::now();
    {
        TLavfResultWriter own;
        if (!own.OpenSource(film) || own.SourceFrameCount() != frames) {
            std::fprintf(stderr, "the writer cannot index %s\n", film.c_str());
            return 1;
        }
    }
    const double ownIndexSeconds = Seconds(start);

    // The render: the project's curve and cuts, the mixer asked frame by frame for the
    // samples the WAV render writes, the writer copying the film beside the FLAC track.
    const long before = PeakKiB();
    start = std::chrono::steady_clock::now();
    TWaveReader reader;
    if (!reader.Open(mixWav, "ODML|-1", false, 0)) {
        std::fprintf(stderr, "cannot open %s\n", mixWav.c_str());
        return 1;
    }
    test::TFakeProjectMedia media;
    media.SetVideo(film, frames);
    media.Audio = true;
    media.SampleRate = 48000;
    TProject project(nullptr, &media);
    project.VideoOpened();
    project.AudioOpened();
    project.AddMarker({frames / 5, 0, mkSpline, false, false});
    project.AddMarker({frames / 2, 12, mkSpline, false, false});
    project.AddMarker({frames * 4 / 5, -5, mkSpline, false, false});
    project.AddMarker({frames / 3, 25, mkRelCut, true, false});
    project.RebuildSpline();
    TWaveMixSource source(reader);
    TAudioMixer mixer(project, &source, nullptr);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    std::vector<uint8_t> buffer(size_t(state.MaxSamples) * size_t(state.BlockSize));
    TLavfResultWriter writer;
    TLavfResultOptions options;
    options.Container = rcMatroska;
    const auto indexStart = std::chrono::steady_clock::now();
    bool ok = writer.UseIndex(film, video.Index()) && writer.SourceFrameCount() == frames;
    const double readerIndexSeconds = Seconds(indexStart);
    ok = ok && writer.Open(ours, 0, frames - 1, &state.Format, state.ChannelMask, options);
    for (int32_t f = 0; ok && f < frames; ++f) {
        const int64_t k = TAVICreator::SamplesOfFrame(f, 25, 1, 48000);
        mixer.MixFrameAudio(f, state, false, buffer.data(), int32_t(k));
        ok = writer.WriteAudio(buffer.data(), int32_t(k));
    }
    ok = ok && writer.Finish();
    const double oursSeconds = Seconds(start);
    const long peak = PeakKiB();
    if (!ok) {
        std::fprintf(stderr, "render failed: %s\n", writer.ErrorText().c_str());
        return 1;
    }

    start = std::chrono::steady_clock::now();
    if (!Run("ffmpeg -nostdin -v error -y -i " + film + " -i " + mixWav +
             " -map 0 -map 1:a -c:v copy -c:s copy -c:a flac " + theirs)) {
        std::fprintf(stderr, "ffmpeg failed\n");
        return 1;
    }
    const double theirSeconds = Seconds(start);
    std::printf("%d min 1080p H.264 Matroska (%d frames), FLAC mix along a curve with a cut:\n", minutes, frames);
    std::printf("  render %.2f s, ffmpeg stream copy + FLAC %.2f s, ratio %.2f (goal <= 1.20)\n", oursSeconds,
                theirSeconds, oursSeconds / theirSeconds);
    std::printf("  reader open (indexing) %.2f s; the writer's source: own reading of the file %.2f s, "
                "the reader's index %.3f s\n",
                readerSeconds, ownIndexSeconds, readerIndexSeconds);
    std::printf("  render peak memory %.1f MB (process before the render %.1f MB; goal < 150 MB)\n", peak / 1024.0,
                before / 1024.0);
    if (!keep)
        for (const std::string &f : {film, mixWav, ours, theirs, one, srt})
            std::remove(f.c_str());
    return 0;
}
