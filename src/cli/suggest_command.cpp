// `tessaly-cli suggest PROJECT.tsp`: aligns the primary track with a recording in sync
// with the video, prints the decisions and markers, and optionally applies them.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <thread>

#include "cli/cli_support.h"
#include "cli/suggest_markers.h"
#include "cli/sync_audio.h"
#include "cli/sync_commands.h"
#include "cli/sync_plot.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "sync/aligner.h"

namespace tessaly::cli {

namespace {

const char *const kSuggestHelp =
    "usage: tessaly-cli suggest PROJECT.tsp [--against double|reference|FILE] [--apply]\n"
    "                           [--plot FILE.svg] [--json FILE]\n"
    "Compares the project's primary track with a recording in sync with the video (default:\n"
    "the double track, else the reference video's audio; or FILE) and suggests the markers\n"
    "that put the primary in sync: spline points, relative cuts at the jumps, option markers\n"
    "over regions without a match.\n"
    "  --apply      replace the spline points, relative cuts and option markers of the\n"
    "               project by the suggestion (the old file is kept as PROJECT.tsp.bak)\n"
    "  --plot FILE  write an SVG of the measured offset, its confidence and the curve\n"
    "  --json FILE  write the measurement, the decisions and the markers as JSON\n"
    "Exit status 1 with \"no match\" when the tracks are unrelated or too short to judge.\n";

constexpr double kToleranceMs = 0.02;

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli suggest: " << text << "\n";
    return kExitFailure;
}

// The recording the primary is compared with.
bool ReadAgainst(TProjectSession &session, const std::string &against, sync::TSyncSignal &signal,
                 std::string &what, std::string &error)
{
    TMediaSources &src = session.Sources();
    if (against == "double" || against.empty()) {
        if (src.HasDouble()) {
            what = "double track";
            return ReadSyncSignal(src.Double(), signal, error);
        }
        if (!against.empty()) {
            error = "the project has no double track";
            return false;
        }
    }
    if (against == "reference" || against.empty()) {
        if (src.HasReference()) {
            what = "reference video";
            return ReadSyncFile(src.FileList(srReference), signal, error);
        }
        error = against.empty() ? "the project has neither a double track nor a reference video; use --against FILE"
                                : "the project has no reference video";
        return false;
    }
    what = against;
    return ReadSyncFile(against, signal, error);
}

std::string Fixed(double v, int decimals)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

void PrintTable(const TSuggestion &s, double fps, std::ostream &out)
{
    char line[256];
    std::snprintf(line, sizeof line, "%-17s %12s %12s %10s %5s  %s\n", "frames", "offset ms", "frames", "drift ppm",
                  "conf", "decision");
    out << line;
    for (const TSuggestRow &r : s.Rows) {
        std::string range = std::to_string(r.FirstFrame) + "-" + std::to_string(r.LastFrame);
        bool gap = r.OffsetStartMs == 0 && r.OffsetEndMs == 0 && r.Confidence == 0;
        std::snprintf(line, sizeof line, "%-17s %12s %12s %10s %5s  %s\n", range.c_str(),
                      gap ? "-" : Fixed(r.OffsetStartMs, 3).c_str(),
                      gap ? "-" : Fixed(r.OffsetStartMs * fps / 1000, 3).c_str(), gap ? "-" : Fixed(r.DriftPpm, 1).c_str(),
                      gap ? "-" : Fixed(r.Confidence, 2).c_str(), r.Decision.c_str());
        out << line;
    }
}

std::string JsonText(const sync::TSyncMap &map, const TSuggestion &s, TProject &project)
{
    std::ostringstream j;
    j << "{\n  \"matched\": " << (map.Matched ? "true" : "false") << ",\n  \"rate\": " << Fixed(map.Rate, 9)
      << ",\n  \"confidence\": " << Fixed(map.Confidence, 4) << ",\n  \"segments\": [";
    for (size_t i = 0; i < map.Segments.size(); ++i) {
        const sync::TSyncSegment &g = map.Segments[i];
        j << (i ? "," : "") << "\n    {\"start\": " << Fixed(g.Start, 4) << ", \"end\": " << Fixed(g.End, 4)
          << ", \"drift\": " << Fixed(g.Drift, 9) << ", \"confidence\": " << Fixed(g.Confidence, 4) << ", \"knots\": [";
        for (size_t k = 0; k < g.Knots.size(); ++k)
            j << (k ? ", " : "") << "[" << Fixed(g.Knots[k].Time, 4) << ", " << Fixed(g.Knots[k].Offset, 7) << "]";
        j << "]}";
    }
    j << "\n  ],\n  \"windows\": [";
    for (size_t i = 0; i < map.Windows.size(); ++i) {
        const sync::TSyncWindow &w = map.Windows[i];
        j << (i ? "," : "") << "\n    {\"start\": " << Fixed(w.Start, 3) << ", \"matched\": " << (w.Matched ? "true" : "false")
          << ", \"offset\": " << Fixed(w.Offset, 7) << ", \"score\": " << Fixed(w.Score, 4) << ", \"z\": " << Fixed(w.Z, 2)
          << "}";
    }
    j << "\n  ],\n  \"max_error_ms\": " << Fixed(s.MaxErrorMs, 4) << ",\n  \"markers\": [";
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        j << (i ? "," : "") << "\n    \"" << project.MarkerLine(i) << "\"";
    j << "\n  ]\n}\n";
    return j.str();
}

std::string Plot(const sync::TSyncMap &map, TProject &project, const std::string &title)
{
    TPlotData d;
    d.Title = title;
    d.Windows = map.Windows;
    d.Seconds = map.ReferenceLength;
    const double fps = static_cast<double>(project.Fps());
    const int32_t n = project.FrameCount();
    const int32_t step = std::max(1, n / 2000);
    std::vector<TPlotCurvePoint> curve;
    for (int32_t f = 0; f < n; f += step) {
        double off = 0;
        if (!MapOffsetAt(map, f / fps, off)) {
            if (!curve.empty())
                d.Curves.push_back(curve), curve.clear();
            continue;
        }
        curve.push_back({f / fps, static_cast<double>(project.GetStateAt(f).TotalShift()) / fps * 1000});
    }
    if (!curve.empty())
        d.Curves.push_back(curve);
    for (int32_t i = 0; i < project.MarkerCount(); ++i) {
        TMarker m = project.GetMarker(i);
        if (m.Kind == mkRelCut || m.Kind == mkOption)
            d.Marks.push_back({m.Frame / fps, m.Kind == mkRelCut ? "cut " + FormatMarkerMilli(MarkerMilli(m))
                                                                  : ((m.Value & kOptionAudioOff) ? "off" : "on")});
        else if (m.Kind == mkSpline)
            d.Marks.push_back({m.Frame / fps, ""});
    }
    return PlotSvg(d);
}

bool Backup(const std::string &projectFile, std::string &error)
{
    std::string bytes;
    if (!ReadWholeFile(projectFile, bytes)) {
        error = "the project file cannot be read for the backup";
        return false;
    }
    return WriteFileAtomic(projectFile + ".bak", bytes, &error);
}

} // namespace

int RunSuggest(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {"--against", "--plot", "--json"}, {"--apply"}, args, error)) {
        std::cerr << "tessaly-cli suggest: " << error << "\n" << kSuggestHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kSuggestHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli suggest: expected PROJECT.tsp\n" << kSuggestHelp;
        return kExitUsage;
    }
    const std::string projectFile = args.Positional[0];
    if (!FileExists(projectFile))
        return Fail("the project file \"" + projectFile + "\" does not exist");
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui);
    if (!session.LoadProject(projectFile, true) || ui.ErrorCount() > 0)
        return Fail("the project could not be loaded whole");
    TProject &project = session.Project();
    if (!project.HasVideo() || !session.Sources().HasAudio())
        return Fail("the project needs a video and a primary track");
    sync::TSyncSignal reference, primary;
    std::string what, primaryError;
    // The two tracks are read side by side: reading and resampling is half the run.
    bool primaryOk = false;
    std::thread reader([&]() { primaryOk = ReadSyncSignal(session.Sources().Audio(), primary, primaryError); });
    bool againstOk = ReadAgainst(session, args.Value("--against"), reference, what, error);
    reader.join();
    if (!againstOk)
        return Fail(error);
    if (!primaryOk)
        return Fail("primary track: " + primaryError);
    sync::TSyncMap map;
    if (!sync::AlignSignals(std::move(reference), std::move(primary), sync::TSyncOptions{}, map))
        return Fail("the alignment failed");
    if (!map.Matched) {
        if (args.Has("--json"))
            WriteFileAtomic(args.Value("--json"), JsonText(map, TSuggestion{}, project), &error);
        std::cout << "no match: the primary track and the " << what
                  << " do not share enough material (unrelated or too short to judge)\n";
        return kExitFailure;
    }
    TSuggestion s = PlaceMarkers(project, map, kToleranceMs);
    const double fps = static_cast<double>(project.Fps());
    std::cout << "Primary against the " << what << ": speed " << Fixed(map.Rate, 6) << ", confidence "
              << Fixed(map.Confidence, 2) << ", curve within " << Fixed(s.MaxErrorMs, 3) << " ms of the measurement\n";
    PrintTable(s, fps, std::cout);
    std::cout << "Markers (" << project.MarkerCount() << "):\n";
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        std::cout << "  " << project.MarkerLine(i) << "\n";
    if (args.Has("--plot") &&
        !WriteFileAtomic(args.Value("--plot"), Plot(map, project, "Primary against the " + what), &error))
        return Fail(error);
    if (args.Has("--json") && !WriteFileAtomic(args.Value("--json"), JsonText(map, s, project), &error))
        return Fail(error);
    if (args.Has("--apply")) {
        if (!Backup(projectFile, error))
            return Fail(error);
        if (!session.SaveProject(projectFile))
            return Fail("the project could not be saved; it is unchanged");
        std::cout << "Applied; the previous project is " << projectFile << ".bak\n";
    }
    return kExitOk;
}

} // namespace tessaly::cli
