// Synchronisation benchmark: for every time-map family, generates the truth, runs
// `tessaly-cli suggest --apply`, `render` and `verify` as a user would, and prints the
// residual of the curve against the truth, the cut placement, the markers and the time.
// With --long it also times the analysis of a 2-hour 48 kHz stereo pair of synthetic
// music, with --long-recorded of a 2-hour pair of recorded music (3 s and 45 s removed,
// 291.6 ppm fast), scored against its truth, with the processor time of each stage.
// --recorded adds recorded music from Debian packages (apt-get install asc-music
// hyperrogue-music).
//   usage: bench_sync [--seconds S] [--long] [--long-recorded] [--recorded] [--keep DIR]
//                     [--only FAMILY]
// With --keep, a 2-hour recorded pair already generated in DIR is used again.
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <soxr.h>

#include "autosync/sync_audio.h"
#include "support/cli_support.h"
#include "support/sync_truth.h"
#include "support/test_support.h"
#include "sync/aligner.h"

using namespace tessaly::test;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void RunFamily(const TTruthSpec &spec, const std::string &dir)
{
    RunCommand("mkdir -p " + ShellQuote(dir));
    TTruthCase truth;
    if (!MakeTruthCase(spec, dir, truth)) {
        std::printf("%-16s generation failed\n", spec.Name.c_str());
        return;
    }
    const std::string cli = CliProgram(), project = dir + "/film.tsp";
    RunCommand(cli + " project create " + ShellQuote(project) + " --video " + ShellQuote(truth.Video) + " --audio " +
               ShellQuote(truth.Primary) + " --double " + ShellQuote(truth.Reference) + " >/dev/null 2>&1");
    auto start = std::chrono::steady_clock::now();
    int suggest = RunCommand(cli + " suggest " + ShellQuote(project) + " --apply --plot " + ShellQuote(dir + "/plot.svg") +
                             " >" + ShellQuote(dir + "/suggest.txt") + " 2>&1");
    double took = Seconds(start);
    bool unrelated = true;
    for (const TTruthPiece &p : spec.Pieces)
        unrelated = unrelated && p.Unrelated;
    if (suggest != 0) {
        std::printf("%-16s %8s  (suggest exit %d, %.1f s: %s)\n", spec.Name.c_str(), "no match", suggest, took,
                    unrelated ? "right" : "MISSED");
        return;
    }
    if (unrelated)
        std::printf("%-16s SILENT WRONG RESULT: unrelated tracks matched\n", spec.Name.c_str());
    RunCommand(cli + " render " + ShellQuote(project) + " " + ShellQuote(dir + "/out.wav") + " --yes --no-progress >/dev/null 2>&1");
    std::string verifyText;
    int verify = RunCommand(cli + " verify " + ShellQuote(dir + "/out.wav") + " --against " + ShellQuote(truth.Reference) +
                                " --project " + ShellQuote(project) + " 2>&1", &verifyText);
    TTruthScore s = ScoreProject(truth, project);
    std::string cuts;
    for (int off : s.CutFramesOff)
        cuts += (cuts.empty() ? "" : ",") + std::to_string(off);
    // The truth's verdict: no more than a second of the result more than 22 ms off.
    const bool right = s.WrongSeconds <= 1.0;
    std::printf("%-16s %8.4f %8.4f %8.4f %8.3f  %-8s %5d %5d %7d %7.1f %7.1f  %-4s %-5s %6zu\n", spec.Name.c_str(),
                s.MedianMs, s.P95Ms, s.P99Ms, s.MaxMs, cuts.empty() ? "-" : cuts.c_str(), s.FalseCuts, s.MissedCuts,
                s.Markers, took, s.WrongSeconds, verify == 0 ? "ok" : "FAIL", (verify == 0) == right ? "yes" : "NO",
                s.Frames);
    if (!right)
        std::printf("%-16s SILENT WRONG RESULT: suggest exited 0 on %.1f s of wrong content\n", "", s.WrongSeconds);
    if (truth.CodecDelay != 0)
        std::printf("%-16s (the primary as read starts %.0f samples late: codec delay, scored as part of the truth)\n",
                    "", truth.CodecDelay * kTruthRate);
    for (size_t i = 0; i < truth.TempoDelays.size(); ++i)
        if (spec.Pieces[i].Tempo)
            std::printf("%-16s (its WSOLA grains lie %.2f ms late on average: scored as part of the truth)\n", "",
                        truth.TempoDelays[i] * 1000);
    std::fflush(stdout);
}

// A 16-bit stereo WAV written minute by minute (the header is written for the final size).
class TWavStream {
public:
    TWavStream(const std::string &path, uint64_t frames) : FOut(path, std::ios::binary)
    {
        const uint32_t data = static_cast<uint32_t>(frames * 4);
        const uint32_t v[] = {36 + data, 16, 0x00020001, kTruthRate, kTruthRate * 4, 0x00100004};
        FOut.write("RIFF", 4);
        FOut.write(reinterpret_cast<const char *>(&v[0]), 4);
        FOut.write("WAVEfmt ", 8);
        FOut.write(reinterpret_cast<const char *>(&v[1]), 20);
        FOut.write("data", 4);
        FOut.write(reinterpret_cast<const char *>(&data), 4);
    }
    void Write(const std::vector<float> &samples, size_t maxFrames)
    {
        std::vector<int16_t> pcm(std::min(samples.size(), maxFrames * 2));
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = static_cast<int16_t>(std::lround(std::max(-1.0f, std::min(1.0f, samples[i])) * 32767));
        FOut.write(reinterpret_cast<const char *>(pcm.data()), static_cast<std::streamsize>(pcm.size() * 2));
    }

private:
    std::ofstream FOut;
};

// A 2-hour pair: the reference is music minute by minute; the primary the same minutes
// 1001/1000 slower, with one minute left out in the middle.
void LongPair(const std::string &dir)
{
    RunCommand("mkdir -p " + ShellQuote(dir));
    const int minutes = 120;
    const double stretch = 1.001;
    const uint64_t refFrames = uint64_t{minutes} * 60 * kTruthRate;
    const uint64_t perMinute = static_cast<uint64_t>(std::llround(60 * kTruthRate * stretch));
    TWavStream ref(dir + "/reference.wav", refFrames), prim(dir + "/primary.wav", perMinute * (minutes - 1));
    for (int m = 0; m < minutes; ++m) {
        std::vector<float> music = TruthMusic(60, static_cast<uint32_t>(m + 100));
        ref.Write(music, 60 * kTruthRate);
        if (m == minutes / 2)
            continue;
        std::vector<float> slow(perMinute * 2);
        size_t done = 0;
        soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        soxr_oneshot(1.0, stretch, 2, music.data(), music.size() / 2, nullptr, slow.data(), perMinute, &done, nullptr, &q,
                     nullptr);
        prim.Write(slow, perMinute);
    }
}

void RunLong(const std::string &dir)
{
    LongPair(dir);
    const std::string cli = CliProgram(), project = dir + "/long.tsp";
    RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i color=c=gray:s=64x48:r=25:d=7200 -c:v mpeg4 -q:v 31 " +
               ShellQuote(dir + "/video.avi"));
    RunCommand(cli + " project create " + ShellQuote(project) + " --video " + ShellQuote(dir + "/video.avi") +
               " --audio " + ShellQuote(dir + "/primary.wav") + " --double " + ShellQuote(dir + "/reference.wav") +
               " >/dev/null 2>&1");
    std::string text;
    auto start = std::chrono::steady_clock::now();
    int status = RunCommand("/usr/bin/time -f 'peak %M kB' " + cli + " suggest " + ShellQuote(project) + " 2>&1", &text);
    double took = Seconds(start);
    std::printf("\n2-hour 48 kHz stereo pair: suggest exit %d in %.1f s\n%s", status, took, text.c_str());
}

double ProcessSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The engine run in this process on the pair, with the processor time (all threads) of
// each stage: reading both tracks, then the stages the alignment reports its progress at.
void StageTimes(const std::string &primary, const std::string &reference)
{
    double last = ProcessSeconds();
    auto lap = [&]() {
        const double now = ProcessSeconds(), took = now - last;
        last = now;
        return took;
    };
    tessaly::sync::TSyncSignal ref, prim;
    std::string error;
    if (!tessaly::autosync::ReadSyncFile(reference, ref, error) || !tessaly::autosync::ReadSyncFile(primary, prim, error)) {
        std::printf("reading failed: %s\n", error.c_str());
        return;
    }
    std::printf("stage processor seconds: read and resample both %.1f", lap());
    // The alignment reports 0.05 after the reference's preparation, 0.25 after the tempo
    // scan, 0.35 after the primary's, 0.35-0.9 along the lag track, 1 at the end.
    const double bounds[] = {0.05, 0.25, 0.35, 0.9};
    const char *names[] = {"prepare reference", "tempo scan", "warp and prepare primary", "lag track"};
    size_t next = 0;
    tessaly::sync::TSyncMap map;
    tessaly::sync::AlignSignals(std::move(ref), std::move(prim), tessaly::sync::TSyncOptions{}, map, [&](double f) {
        while (next < 4 && f >= bounds[next] - 1e-9)
            std::printf(", %s %.1f", names[next++], lap());
        return true;
    });
    std::printf(", refine, fit and edges %.1f\n", lap());
}

// A 2-hour pair of recorded music: the Debian packages' tracks played in turn until two
// hours are full (so whole tracks repeat), the primary with 3 s removed at 40 min and
// 45 s at 80 min, then resampled 291.6 ppm fast; scored against that truth.
bool GenerateLongRecorded(const std::string &dir, TTruthCase &truth);

void RunLongRecorded(const std::string &dir)
{
    RunCommand("mkdir -p " + ShellQuote(dir));
    TTruthCase truth;
    // The truth's time map: the primary is played at 48014 Hz and resampled to 48000 (a
    // sample rate is a whole number): 291.6 ppm fast.
    const double stretch = 48000.0 / 48014;
    truth.Spec.Name = "rec 2 hours";
    truth.Spec.Seconds = 7200;
    truth.Spec.Pieces = {{0, 2400, stretch}, {2403, 2397, stretch}, {4845, 2355, stretch}};
    truth.Reference = dir + "/reference.wav";
    truth.Primary = dir + "/primary.wav";
    truth.Video = dir + "/video.avi";
    // A kept folder's pair is used again: generating it takes minutes.
    const bool have = RunCommand("test -s " + ShellQuote(truth.Reference) + " && test -s " + ShellQuote(truth.Primary) +
                                 " && test -s " + ShellQuote(truth.Video)) == 0;
    if (!have && !GenerateLongRecorded(dir, truth))
        return;
    const std::string cli = CliProgram(), project = dir + "/long.tsp";
    RunCommand(cli + " project create " + ShellQuote(project) + " --video " + ShellQuote(truth.Video) + " --audio " +
               ShellQuote(truth.Primary) + " --double " + ShellQuote(truth.Reference) + " >/dev/null 2>&1");
    std::string text;
    auto start = std::chrono::steady_clock::now();
    const int status = RunCommand("/usr/bin/time -f 'processor %U s user %S s system, peak %M kB' " + cli + " suggest " +
                                      ShellQuote(project) + " --apply 2>&1",
                                  &text);
    const double took = Seconds(start);
    std::printf("\n2-hour recorded music pair: suggest --apply exit %d in %.1f s wall\n%s", status, took, text.c_str());
    const TTruthScore s = ScoreProject(truth, project);
    std::string cuts;
    for (int off : s.CutFramesOff)
        cuts += (cuts.empty() ? "" : ",") + std::to_string(off);
    std::printf("against the truth: median %.4f ms, p95 %.4f, max %.3f, cuts off %s, false %d, missed %d, markers %d, "
                "wrong %.1f s%s\n",
                s.MedianMs, s.P95Ms, s.MaxMs, cuts.empty() ? "-" : cuts.c_str(), s.FalseCuts, s.MissedCuts, s.Markers,
                s.WrongSeconds, status == 0 && s.WrongSeconds > 1 ? "  SILENT WRONG RESULT" : "");
    StageTimes(truth.Primary, truth.Reference);
    std::fflush(stdout);
}

// Writes the pair and the video of the 2-hour recorded music case into `dir`.
bool GenerateLongRecorded(const std::string &dir, TTruthCase &truth)
{
    std::vector<std::string> wavs;
    double total = 0;
    for (const char *folder : {"/usr/share/hyperrogue/music/", "/usr/share/games/asc/music/"}) {
        std::string list;
        RunCommand("ls " + ShellQuote(folder) + " 2>/dev/null", &list);
        size_t at = 0;
        for (size_t nl; (nl = list.find('\n', at)) != std::string::npos; at = nl + 1) {
            const std::string wav = dir + "/m" + std::to_string(wavs.size()) + ".wav";
            if (RunCommand("ffmpeg -nostdin -v quiet -y -i " + ShellQuote(folder + list.substr(at, nl - at)) +
                           " -vn -ac 2 -ar 48000 -c:a pcm_s16le " + ShellQuote(wav)) != 0)
                continue;   // some of the packages' files do not decode
            std::string d;
            RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + ShellQuote(wav), &d);
            total += std::atof(d.c_str());
            wavs.push_back(wav);
        }
    }
    if (total < 600) {
        std::printf("\n2-hour recorded pair: needs asc-music and hyperrogue-music (apt-get install)\n");
        return false;
    }
    const double hours2 = 7200;
    std::string concat;
    for (double t = 0; t < hours2 + 60; t += total)
        for (const std::string &w : wavs)
            concat += "file " + ShellQuote(w) + "\n";
    std::ofstream(dir + "/list.txt") << concat;
    const std::string trim = "[0]atrim=end_sample=115200000[a];[0]atrim=start_sample=115344000:end_sample=230400000[b];"
                             "[0]atrim=start_sample=232560000[c];[a][b][c]concat=n=3:v=0:a=1,"
                             "asetrate=48014,aresample=48000:resampler=soxr:precision=28";
    const bool made =
        RunCommand("ffmpeg -nostdin -v error -y -f concat -safe 0 -i " + ShellQuote(dir + "/list.txt") +
                   " -t 7200 -c:a pcm_s16le " + ShellQuote(truth.Reference)) == 0 &&
        RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(truth.Reference) + " -filter_complex '" + trim +
                   "' -c:a pcm_s16le " + ShellQuote(truth.Primary)) == 0 &&
        RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i color=c=gray:s=64x48:r=25:d=7200 -c:v mpeg4 -q:v 31 " +
                   ShellQuote(truth.Video)) == 0;
    for (const std::string &w : wavs)
        RunCommand("rm -f " + ShellQuote(w));
    if (!made)
        std::printf("\n2-hour recorded pair: generation failed\n");
    return made;
}

// Recorded music from Debian packages (apt-get install asc-music hyperrogue-music): an
// orchestral score and game loops with repeated passages; the families whose files are
// missing are left out.
std::vector<TTruthSpec> RecordedFamilies()
{
    const std::string asc = "/usr/share/games/asc/music/", hr = "/usr/share/hyperrogue/music/";
    const std::vector<std::string> score = {asc + "frontiers.mp3", hr + "hr3-hell.ogg", hr + "hr3-rlyeh.ogg"};
    const std::vector<std::string> loops = {hr + "hr3-graveyard.ogg", hr + "hr3-laboratory.ogg",
                                            hr + "hr3-icyland.ogg", hr + "hr-domina-mountain.ogg"};
    std::vector<TTruthSpec> out;
    auto add = [&](const std::string &name, double seconds, const std::vector<std::string> &files,
                   std::vector<TTruthPiece> pieces) {
        for (const std::string &f : files)
            if (RunCommand("test -s " + ShellQuote(f)) != 0)
                return;
        TTruthSpec spec;
        spec.Name = name;
        spec.Seconds = seconds;
        spec.MusicFiles = files;
        spec.Pieces = std::move(pieces);
        out.push_back(spec);
    };
    // Ten minutes with 3 s and 45 s removed, 300 ppm fast.
    add("rec music cuts", 600, score, {{0, 200, 0.9997}, {203, 197, 0.9997}, {445, 155, 0.9997}});
    add("rec loops drift", 400, loops, {{0, 400, 0.9997}});
    add("rec loops wsola", 300, loops, {{0, 300, 24.0 / 25, false, true}});
    add("rec loops tv", 400, loops, {{0, 150, 1}, {0, 75.005, 1, true}, {150, 250, 1}});
    // Drum-driven tracks whose beat repeats bar after bar while the harmony moves on:
    // cuts of part of a bar (2.5 s and 1.3 s), 300 ppm fast.
    add("rec rhythm cuts", 360, {asc + "machine_wars.mp3", asc + "time_to_strike.mp3"},
        {{0, 150, 0.9997}, {152.5, 100, 0.9997}, {253.8, 106.2, 0.9997}});
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 120;
    bool longPair = false, longRecorded = false, recorded = false;
    std::string keep, only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--long"))
            longPair = true;
        else if (!std::strcmp(argv[i], "--long-recorded"))
            longRecorded = true;
        else if (!std::strcmp(argv[i], "--recorded"))
            recorded = true;
        else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc)
            keep = argv[++i];
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
    }
    TTempDir temp;
    const std::string root = keep.empty() ? temp.Path() : keep;
    std::printf("%-16s %8s %8s %8s %8s  %-8s %5s %5s %7s %7s %7s  %-4s %-5s %6s\n", "family", "med ms", "p95 ms",
                "p99 ms", "max ms", "cuts off", "false", "miss", "markers", "time s", "wrong s", "vrfy", "agree",
                "frames");
    int k = 0;
    if (seconds > 0)
        for (const TTruthSpec &spec : TruthFamilies(seconds)) {
            ++k;
            if (only.empty() || spec.Name == only)
                RunFamily(spec, root + "/case" + std::to_string(k - 1));
        }
    if (recorded)
        for (const TTruthSpec &spec : RecordedFamilies()) {
            ++k;
            if (only.empty() || spec.Name == only)
                RunFamily(spec, root + "/case" + std::to_string(k - 1));
        }
    if (longPair)
        RunLong(root + "/long");
    if (longRecorded)
        RunLongRecorded(root + "/long-recorded");
    return 0;
}
