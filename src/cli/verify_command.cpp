// `tessaly-cli verify RESULT`: measures a result's audio window by window against a
// recording in sync with the video and says whether every window is within tolerance.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <iostream>
#include <thread>

#include "cli/cli_support.h"
#include "autosync/sync_audio.h"
#include "cli/sync_commands.h"
#include "autosync/sync_plot.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "sync/aligner.h"

namespace tessaly::cli {

using namespace autosync;

namespace {

const char *const kVerifyHelp =
    "usage: tessaly-cli verify RESULT [--against FILE] [--plot FILE.svg] [--tolerance-ms T]\n"
    "Measures the audio of RESULT (AVI or WAV) against a recording in sync with the video,\n"
    "window by window (2 s windows every second). Without --against, the double track (else\n"
    "the reference video) of the one project file (.tsp) in the working folder is used.\n"
    "Prints the median, 95th percentile and largest offset (positive: the result sounds late),\n"
    "the share of windows inside the broadcast window (at most 15 ms early, 45 ms late) and\n"
    "inside +-22 ms, and the windows that could not be matched.\n"
    "Exit status 0 when every matched window lies within T ms (default 22), else 1.\n";

constexpr double kWindow = 2.0, kHop = 1.0, kSearch = 1.0;

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli verify: " << text << "\n";
    return kExitFailure;
}

// The recording of the one project in the working folder.
bool DefaultAgainst(std::string &file, std::string &error)
{
    std::vector<std::string> projects;
    if (DIR *d = opendir(".")) {
        while (dirent *e = readdir(d)) {
            std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tsp") == 0)
                projects.push_back(name);
        }
        closedir(d);
    }
    if (projects.size() != 1) {
        error = projects.empty() ? "no --against FILE and no project file in the working folder"
                                 : "no --against FILE and several project files in the working folder";
        return false;
    }
    TProjectSession session(nullptr);
    if (!session.LoadProject(projects[0], true)) {
        error = "the project \"" + projects[0] + "\" cannot be loaded";
        return false;
    }
    if (session.Sources().HasDouble())
        file = session.Sources().FileList(srDouble);
    else if (session.Sources().HasReference())
        file = session.Sources().FileList(srReference);
    else {
        error = "the project \"" + projects[0] + "\" has neither a double track nor a reference video";
        return false;
    }
    return true;
}

double Percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    double pos = q * static_cast<double>(v.size() - 1);
    size_t i = static_cast<size_t>(pos);
    double f = pos - static_cast<double>(i);
    return i + 1 < v.size() ? v[i] * (1 - f) + v[i + 1] * f : v[i];
}

} // namespace

int RunVerify(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {"--against", "--plot", "--tolerance-ms"}, {}, args, error)) {
        std::cerr << "tessaly-cli verify: " << error << "\n" << kVerifyHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kVerifyHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli verify: expected RESULT\n" << kVerifyHelp;
        return kExitUsage;
    }
    double tolerance = 22;
    if (args.Has("--tolerance-ms")) {
        char *end = nullptr;
        std::string t = args.Value("--tolerance-ms");
        tolerance = std::strtod(t.c_str(), &end);
        if (t.empty() || *end != '\0' || !(tolerance >= 0 && tolerance <= 10000)) {
            std::cerr << "tessaly-cli verify: --tolerance-ms must be a number of milliseconds 0 .. 10000\n";
            return kExitUsage;
        }
    }
    std::string against = args.Value("--against");
    if (against.empty() && !DefaultAgainst(against, error))
        return Fail(error);
    sync::TSyncSignal result, reference;
    std::string resultError;
    bool resultOk = false;
    std::thread reader([&]() { resultOk = ReadSyncFile(args.Positional[0], result, resultError); });
    bool referenceOk = ReadSyncFile(against, reference, error);
    reader.join();
    if (!resultOk)
        return Fail(resultError);
    if (!referenceOk)
        return Fail(error);
    std::vector<sync::TSyncWindow> windows =
        sync::MeasureOffsets(std::move(reference), std::move(result), kWindow, kHop, kSearch);
    std::vector<double> offsets, magnitudes;
    size_t atsc = 0, within22 = 0, outside = 0;
    for (const sync::TSyncWindow &w : windows) {
        if (!w.Matched)
            continue;
        double ms = w.Offset * 1000;
        offsets.push_back(ms);
        magnitudes.push_back(std::fabs(ms));
        atsc += ms >= -15 && ms <= 45;
        within22 += std::fabs(ms) <= 22;
        outside += std::fabs(ms) > tolerance;
    }
    const size_t matched = offsets.size();
    std::printf("windows: %zu, matched: %zu, not matched: %zu\n", windows.size(), matched, windows.size() - matched);
    if (matched == 0) {
        std::printf("no match: the result and the recording share no material\n");
        return kExitFailure;
    }
    auto share = [&](size_t n) { return 100.0 * static_cast<double>(n) / static_cast<double>(matched); };
    std::printf("offset ms: median %.3f, p95 |offset| %.3f, max |offset| %.3f\n", Percentile(offsets, 0.5),
                Percentile(magnitudes, 0.95), Percentile(magnitudes, 1.0));
    std::printf("inside -15/+45 ms: %.1f %%, inside +-22 ms: %.1f %%\n", share(atsc), share(within22));
    if (args.Has("--plot")) {
        TPlotData d;
        d.Title = "Result against " + against;
        d.Windows = windows;
        d.Seconds = windows.empty() ? 1 : windows.back().Start + windows.back().Length;
        d.BandLowMs = -tolerance;
        d.BandHighMs = tolerance;
        if (!WriteFileAtomic(args.Value("--plot"), PlotSvg(d), &error))
            return Fail(error);
    }
    if (outside > 0) {
        std::printf("%zu matched windows lie outside +-%.3f ms\n", outside, tolerance);
        return kExitFailure;
    }
    std::printf("every matched window lies within +-%.3f ms\n", tolerance);
    return kExitOk;
}

} // namespace tessaly::cli
