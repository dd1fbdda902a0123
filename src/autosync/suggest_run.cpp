// The suggest operation: reading, alignment and marker placement on a working copy of
// the project, and the texts and picture of its result.
#include "autosync/suggest_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <thread>

#include "autosync/sync_audio.h"
#include "autosync/sync_plot.h"
#include "platform/text_util.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "shell/progress.h"
#include "sync/aligner.h"

namespace tessaly::autosync {

namespace {

// Share of the progress bar the reading takes; the alignment has the rest.
constexpr double kReadShare = 0.4;

struct TTrack {
    std::string FileList, Kind, What;
};

// The recording the primary is compared with.
bool AgainstTrack(TProjectSession &session, const std::string &against, TTrack &track, std::string &error)
{
    if (against == "double" || against.empty()) {
        if (session.Project().HasDouble()) {
            track = {session.FileList(srDouble), session.KindString(srDouble), "double track"};
            return true;
        }
        if (!against.empty()) {
            error = "the project has no double track";
            return false;
        }
    }
    if (against == "reference" || against.empty()) {
        if (session.Project().HasReference()) {
            track = {session.FileList(srReference), "AUTO|-1", "reference video"};
            return true;
        }
        error = against.empty() ? "the project has neither a double track nor a reference video; use --against FILE"
                                : "the project has no reference video";
        return false;
    }
    track = {against, "AUTO|-1", against};
    return true;
}

bool ReadTrack(const TTrack &track, sync::TSyncSignal &signal, const TReadProgress &progress, std::string &error)
{
    return ReadSyncFile(track.FileList, signal, error, track.Kind, progress);
}

// A project of the same video and options holding the session's markers, to place the
// suggestion on without telling the window about every trial curve; `copy` edits a
// project made on the session's sources.
void LoadWorkingCopy(TProjectSession &session, TProjectEditor &copy)
{
    copy.VideoOpened();
    copy.AudioOpened();
    copy.TakeSnapshot(session.Project().Snapshot());
}

std::string Plot(const TSuggestRun &run, const TProject &project)
{
    TPlotData d;
    d.Title = "Primary against the " + run.What;
    d.Windows = run.Map.Windows;
    d.Seconds = run.Map.ReferenceLength;
    const double fps = run.Fps;
    const int32_t n = project.FrameCount();
    const int32_t step = std::max(1, n / 2000);
    std::vector<TPlotCurvePoint> curve;
    for (int32_t f = 0; f < n; f += step) {
        double off = 0;
        if (!MapOffsetAt(run.Map, f / fps, off)) {
            if (!curve.empty())
                d.Curves.push_back(curve), curve.clear();
            continue;
        }
        curve.push_back({f / fps, static_cast<double>(project.GetStateAt(f).TotalShift()) / fps * 1000});
    }
    if (!curve.empty())
        d.Curves.push_back(curve);
    for (const TMarker &m : run.Suggestion.Markers) {
        if (m.Kind == mkRelCut || m.Kind == mkOption)
            d.Marks.push_back({m.Frame / fps, m.Kind == mkRelCut ? "cut " + FormatMarkerMilli(MarkerMilli(m))
                                                                  : ((m.Value & kOptionAudioOff) ? "off" : "on")});
        else if (m.Kind == mkSpline)
            d.Marks.push_back({m.Frame / fps, ""});
    }
    return PlotSvg(d);
}

// The suggested markers as `apply` would store them: each written to its line and read
// back, on a fresh copy of the project; the curve they make is measured against the map.
void ReadBack(TProjectSession &session, TSuggestRun &run)
{
    TProject check(nullptr, &session.Sources());
    TProjectEditor checkEditor(check);
    LoadWorkingCopy(session, checkEditor);
    // The whole list is built first and set once: one curve rebuild instead of one for
    // every marker taken out and put in. A suggested marker takes the place of whatever
    // lies on its frame, as adding it would.
    std::map<int32_t, TMarker> byFrame;
    for (const TMarker &m : check.Markers())
        if (m.Kind == mkDShift)
            byFrame[m.Frame] = m;
    run.Unstored = 0;
    for (const TMarker &m : run.Suggestion.Markers) {
        if (m.Kind == mkDShift)
            continue;
        std::string line;
        TMarker stored;
        TMarker canonical;
        if (!FormatMarker(m, line) || !ParseMarker(line, stored) || !CanonicalMarker(stored, canonical)) {
            ++run.Unstored;
            continue;
        }
        byFrame[canonical.Frame] = canonical;
    }
    std::vector<TMarker> markers;
    markers.reserve(byFrame.size());
    for (const auto &[frame, m] : byFrame)
        markers.push_back(m);
    if (!checkEditor.TakeMarkers(std::move(markers)))
        run.Unstored = std::max<int32_t>(run.Unstored, 1);
    run.Fit = MeasureCurveFit(check, run.Map);
}

std::string Fixed(double v, int decimals)
{
    return FormatFixed(v, decimals);
}

// The primary's speed against the recording as measured: the segments' drifts weighted
// by their lengths (the tempo scan's rate is only where the search started).
double MeasuredSpeed(const sync::TSyncMap &map)
{
    double weighted = 0, total = 0;
    for (const sync::TSyncSegment &g : map.Segments) {
        weighted += g.Drift * (g.End - g.Start);
        total += g.End - g.Start;
    }
    return total > 0 ? 1 + weighted / total : map.Rate;
}

} // namespace

TSuggestStatus SuggestMarkers(TProjectSession &session, const std::string &against, TProgress *progress,
                              TSuggestRun &run, std::string &error, double limitMs)
{
    run = TSuggestRun{};
    run.LimitMs = limitMs;
    const TProject &project = session.Project();
    if (!project.HasVideo() || !project.HasAudio()) {
        error = "the project needs a video and a primary track";
        return ssFailed;
    }
    TTrack other;
    if (!AgainstTrack(session, against, other, error))
        return ssFailed;
    run.What = other.What;
    const TTrack primaryTrack{session.FileList(srAudio), session.KindString(srAudio), "primary track"};
    if (progress) {
        progress->Show();
        progress->SetCaption(Msg("CapSuggest"));
        progress->SetComment(Msg("CapSuggestRead"));
    }
    // The two tracks are read side by side (reading and resampling is half the run): the
    // primary on a thread of its own, the other one here, where the progress display is
    // told and asked for an abort.
    sync::TSyncSignal reference, primary;
    std::string primaryError;
    bool primaryOk = false;
    std::thread reader([&] { primaryOk = ReadTrack(primaryTrack, primary, {}, primaryError); });
    bool aborted = false;
    auto readProgress = [&](double f) {
        if (!progress)
            return true;
        progress->SetProgress(f * kReadShare);
        aborted = progress->Aborted();
        return !aborted;
    };
    const bool otherOk = ReadTrack(other, reference, readProgress, error);
    reader.join();
    if (aborted)
        return ssAborted;
    if (!otherOk) {
        error = run.What + ": " + error;
        return ssFailed;
    }
    if (!primaryOk) {
        error = "primary track: " + primaryError;
        return ssFailed;
    }
    if (progress)
        progress->SetComment(Msg("CapSuggestAlign"));
    auto alignProgress = [&](double f) {
        if (!progress)
            return true;
        progress->SetProgress(kReadShare + f * (1 - kReadShare));
        return !progress->Aborted();
    };
    if (!sync::AlignSignals(std::move(reference), std::move(primary), sync::TSyncOptions{}, run.Map, alignProgress)) {
        if (progress && progress->Aborted())
            return ssAborted;
        error = "the alignment failed";
        return ssFailed;
    }
    if (!run.Map.Matched)
        return ssNoMatch;
    TProject copy(nullptr, &session.Sources());
    TProjectEditor copyEditor(copy);
    LoadWorkingCopy(session, copyEditor);
    run.Fps = static_cast<double>(copy.Fps());
    run.Suggestion = PlaceMarkers(copyEditor, run.Map, kSuggestToleranceMs);
    for (int32_t i = 0; i < copy.MarkerCount(); ++i)
        run.MarkerLines.push_back(copy.MarkerLine(i));
    ReadBack(session, run);
    run.Svg = Plot(run, copy);
    return ssMatched;
}

bool SuggestionUsable(const TSuggestRun &run)
{
    return run.Map.Matched && run.Unstored == 0 && run.Fit.Frames > 0 && run.Fit.MaxErrorMs <= run.LimitMs;
}

std::string SuggestProblem(const TSuggestRun &run)
{
    if (SuggestionUsable(run))
        return {};
    if (run.Unstored > 0)
        return FormatText(Msg("ErrSuggestUnstored"),
                          {std::to_string(run.Unstored)});
    if (run.Fit.Frames == 0)
        return Msg("ErrSuggestNoFrames");
    const std::string distance = std::isfinite(run.Fit.MaxErrorMs) ? Fixed(run.Fit.MaxErrorMs, 3) : "inf";
    return FormatText(Msg("ErrSuggestFit"),
                      {distance, std::to_string(run.Fit.WorstFrame), Fixed(run.LimitMs, 3)});
}

std::string SuggestSummary(const TSuggestRun &run)
{
    const std::string head = "Primary against the " + run.What + ": speed " + Fixed(MeasuredSpeed(run.Map), 6) +
                             ", confidence " + Fixed(run.Map.Confidence, 2) +
                             (run.Map.Inverted ? ", polarity inverted" : "");
    // The figure is that of the markers as stored, read back from their lines.
    if (!SuggestionUsable(run))
        return head + "\n" + SuggestProblem(run);
    return head + ", curve within " + Fixed(run.Fit.MaxErrorMs, 3) + " ms of the measurement";
}

std::string SuggestTable(const TSuggestRun &run)
{
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-17s %12s %12s %10s %5s  %s\n", "frames", "offset ms", "frames", "drift ppm",
                  "conf", "decision");
    out += line;
    for (const TSuggestRow &r : run.Suggestion.Rows) {
        std::string range = std::to_string(r.FirstFrame) + "-" + std::to_string(r.LastFrame);
        bool gap = r.OffsetStartMs == 0 && r.OffsetEndMs == 0 && r.Confidence == 0;
        std::snprintf(line, sizeof line, "%-17s %12s %12s %10s %5s  %s\n", range.c_str(),
                      gap ? "-" : Fixed(r.OffsetStartMs, 3).c_str(),
                      gap ? "-" : Fixed(r.OffsetStartMs * run.Fps / 1000, 3).c_str(),
                      gap ? "-" : Fixed(r.DriftPpm, 1).c_str(), gap ? "-" : Fixed(r.Confidence, 2).c_str(),
                      r.Decision.c_str());
        out += line;
    }
    return out;
}

std::string SuggestJson(const TSuggestRun &run)
{
    const sync::TSyncMap &map = run.Map;
    std::ostringstream j;
    j << "{\n  \"matched\": " << (map.Matched ? "true" : "false") << ",\n  \"rate\": " << Fixed(map.Rate, 9)
      << ",\n  \"inverted\": " << (map.Inverted ? "true" : "false")
      << ",\n  \"speed\": " << Fixed(MeasuredSpeed(map), 9)
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
    j << "\n  ],\n  \"max_error_ms\": " << Fixed(run.Fit.MaxErrorMs, 4) << ",\n  \"worst_frame\": " << run.Fit.WorstFrame
      << ",\n  \"unstored_markers\": " << run.Unstored << ",\n  \"usable\": " << (SuggestionUsable(run) ? "true" : "false")
      << ",\n  \"markers\": [";
    for (size_t i = 0; i < run.MarkerLines.size(); ++i)
        j << (i ? "," : "") << "\n    \"" << run.MarkerLines[i] << "\"";
    j << "\n  ]\n}\n";
    return j.str();
}

} // namespace tessaly::autosync
