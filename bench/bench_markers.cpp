// Benchmark of projects with many markers: for 100, 1,000, 10,000 and 100,000 markers it
// times saving and loading the project file, formatting every list line (what
// `tessaly-cli project list` prints), the analysis over every frame, the audio render of
// 10 minutes (the mixer with its frame states, as the render runs it; once without
// markers for comparison: the best of three renders with markers of no effect against the
// best of three without markers) and one evaluation of the curve strip for a repaint
// (the curve, its squares and the axes, as the strip asks for them).
// Usage: bench_markers [largest marker count] (default 100000).
#include "bench_wave.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "media/input/wave_reader.h"
#include "project/analysis.h"
#include "project/audio_mixer.h"
#include "project/curve_drawing.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "project/wave_mix_source.h"
#include "support/project_fakes.h"

using namespace tessaly;

namespace {

constexpr int32_t kFps = 25;
constexpr int32_t kRenderFrames = 10 * 60 * kFps;   // 10 minutes of video
constexpr int32_t kSampleRate = 48000;
constexpr int32_t kSamplesPerFrame = kSampleRate / kFps;

// Processor time of this thread: the machine's other loads do not count. Saving also
// waits for the disk (the file is synced before it replaces the old one); that wait is
// shown apart, as wall-clock time.
struct TClock {
    std::chrono::steady_clock::time_point Wall;
    timespec Cpu{};
};

TClock Now()
{
    TClock c;
    c.Wall = std::chrono::steady_clock::now();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c.Cpu);
    return c;
}

double Seconds(const TClock &start)
{
    const TClock end = Now();
    return double(end.Cpu.tv_sec - start.Cpu.tv_sec) + double(end.Cpu.tv_nsec - start.Cpu.tv_nsec) * 1e-9;
}

double WallSeconds(const TClock &start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start.Wall).count();
}

bool WriteWav(const std::string &path, int64_t samples)
{
    return bench::WritePatternWav(path, samples, kSampleRate, 16);
}

// A canvas that only counts, so the repaint time is the curve evaluation alone.
class TCountingCanvas : public TCurveCanvas {
public:
    size_t Calls = 0;
    void FillRect(int, int, int, int, TRgb) override { ++Calls; }
    void Polyline(const std::vector<TCanvasPoint> &points, TRgb) override { Calls += points.size(); }
    void FillSquare(int, int, int, TRgb) override { ++Calls; }
};

// `count` markers spread evenly over the video: mostly curve points with fractions of a
// frame, every 10th a relative cut, every 50th a double shift, every 100th an option
// marker, every 7th deactivated. `flat` gives every point the same shift and the cuts,
// double shifts and options no effect, so the audio work of a render is that of a
// constant shift and only the markers' bookkeeping remains to be measured.
void AddMarkers(TProject &project, int32_t count, bool flat)
{
    const int32_t frames = project.FrameCount();
    std::vector<TMarker> markers;
    for (int32_t i = 0; i < count; ++i) {
        TMarker m;
        m.Frame = static_cast<int32_t>(int64_t{frames} * i / count);
        if (i % 100 == 99) {
            m.Kind = mkOption;
            m.Value = PackOption(i % 200 == 199 && !flat ? 80 : -1, false, false);
        } else if (i % 50 == 49) {
            m.Kind = mkDShift;
            m.Value = flat ? 0 : i % 3;
        } else if (i % 10 == 9) {
            m.Kind = mkRelCut;
            m.Value = flat ? 0 : i % 20 == 19 ? 1 : -1;
        } else {
            m.Kind = mkSpline;
            SetMarkerMilli(m, flat ? 5000 : 5000 + (i % 37) * 125 - 2000);
            m.Affect = i % 3 == 0;
        }
        m.Deactivated = m.Kind != mkOption && i % 7 == 6;
        markers.push_back(m);
    }
    project.SetMarkers(std::move(markers));
}

double Render(TProject &project, TWaveReader &reader);

// The fastest of three renders: what remains is the work, not the machine's other loads.
double BestRender(TProject &project, TWaveReader &reader)
{
    double best = Render(project, reader);
    for (int i = 0; i < 2; ++i)
        best = std::min(best, Render(project, reader));
    return best;
}

double Render(TProject &project, TWaveReader &reader)
{
    TWaveMixSource source(reader);
    TAudioMixer mixer(project, &source, nullptr);
    TAudioMixState state;
    auto start = Now();
    mixer.InitAudioMix(0, 0, state, false);
    std::vector<uint8_t> buffer(size_t(state.MaxSamples) * size_t(state.BlockSize));
    for (int32_t f = 0; f < kRenderFrames; ++f)
        mixer.MixFrameAudio(f, state, true, buffer.data(), 0);
    return Seconds(start);
}

} // namespace

int main(int argc, char **argv)
{
    const int32_t largest = argc > 1 ? std::atoi(argv[1]) : 100000;
    const char *tmp = std::getenv("TMPDIR");
    const std::filesystem::path folder =
        std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / ("tessaly_bench_markers_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string wav = (folder / "audio.wav").string();
    if (!WriteWav(wav, int64_t{kRenderFrames + kFps} * kSamplesPerFrame)) {
        std::fprintf(stderr, "cannot write %s\n", wav.c_str());
        return 1;
    }
    TWaveReader reader;
    if (!reader.Open(wav, "ODML|-1", false, 0)) {
        std::fprintf(stderr, "cannot open %s\n", wav.c_str());
        return 1;
    }

    std::printf("Processor times, except the wall-clock time of saving (with the disk's sync).\n");
    std::printf("%8s %8s %9s %10s %9s %9s %10s %10s %11s %8s %10s\n", "markers", "frames", "save ms", "(wall ms)",
                "load ms", "list ms", "analyze s", "render s", "flat rend s", "vs none", "repaint ms");
    double noMarkers = 0;
    for (int32_t count : {0, 100, 1000, 10000, 100000}) {
        if (count > largest)
            break;
        // At least 10 minutes, and room for two frames per marker.
        const int32_t frames = std::max(kRenderFrames + kFps, 2 * count);
        const std::string video = (folder / "video.avi").string();
        const std::string audio = (folder / "audio.wav.txt").string();
        std::ofstream(video) << "video " << frames << " " << kFps << " 1\n";
        std::ofstream(audio) << "audio " << kSampleRate << "\n";

        test::TFakeSources sources;
        TProject project(nullptr, &sources);
        TProjectEditor editor(project, &sources);
        TProjectFile file(editor, sources);
        sources.Open(srVideo, video, "ODML|-1");
        sources.Open(srAudio, audio, "ODML|-1");
        project.VideoOpened();
        project.AudioOpened();
        AddMarkers(project, count, false);

        const std::string name = (folder / ("markers" + std::to_string(count) + ".tsp")).string();
        auto start = Now();
        file.SaveProject(name);
        const double save = Seconds(start), saveWall = WallSeconds(start);

        test::TFakeSources loadSources;
        TProject loaded(nullptr, &loadSources);
        TProjectEditor loadEditor(loaded, &loadSources);
        TProjectFile loadFile(loadEditor, loadSources);
        start = Now();
        const bool ok = loadFile.LoadProject(name, false);
        const double load = Seconds(start);
        if (!ok || loaded.MarkerCount() != project.MarkerCount()) {
            std::fprintf(stderr, "loading %s gave %d of %d markers\n", name.c_str(), loaded.MarkerCount(),
                         project.MarkerCount());
            return 1;
        }

        start = Now();
        size_t listed = 0;
        for (int32_t i = 0; i < loaded.MarkerCount(); ++i)
            listed += loaded.MarkerLine(i).size();
        for (int32_t i = 0; i < loaded.ChapterListCount(); ++i)
            listed += loaded.ChapterLine(i).size();
        const double list = Seconds(start);

        TAnalysisResult analysis;
        start = Now();
        AnalyzeProject(loaded, nullptr, analysis);
        const double analyze = Seconds(start);

        test::TFakeSources flatSources;
        TProject flat(nullptr, &flatSources);
        flatSources.Open(srVideo, video, "ODML|-1");
        flatSources.Open(srAudio, audio, "ODML|-1");
        flat.VideoOpened();
        flat.AudioOpened();
        AddMarkers(flat, count, true);
        const double flatRender = BestRender(flat, reader);
        if (count == 0)
            noMarkers = flatRender;
        const double render = Render(loaded, reader);

        TCountingCanvas canvas;
        TCurveAxes axes;
        double repaint = 1e9;
        for (int i = 0; i < 5; ++i) {
            canvas.Calls = 0;
            start = Now();
            DrawCorrectionCurve(loaded, canvas, 1000, 60, 1, 100);
            axes = CurveAxesOf(loaded, 1000, 1, 100, 90);
            repaint = std::min(repaint, Seconds(start));
        }

        std::printf("%8d %8d %9.1f %10.1f %9.1f %9.1f %10.3f %10.3f %11.3f %7.0f%% %10.2f   (%zu list chars, %zu "
                    "canvas calls, %zu ticks)\n",
                    count, frames, save * 1000, saveWall * 1000, load * 1000, list * 1000, analyze, render, flatRender,
                    noMarkers > 0 ? 100 * flatRender / noMarkers : 100.0, repaint * 1000, listed, canvas.Calls,
                    axes.Ticks.size());
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
