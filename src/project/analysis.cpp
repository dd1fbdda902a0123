// Project analysis, automatic chapters and navigation.
#include "project/analysis.h"

#include <cmath>
#include <cstdio>

#include "project/marker.h"
#include "project/project.h"
#include "shell/messages.h"
#include "shell/progress.h"

namespace tessaly {

namespace {

void Lower(TAnalysisRecord &r, long double v, int32_t frame)
{
    if (v < r.Value) {
        r.Value = v;
        r.Frame = frame;
    }
}

void Raise(TAnalysisRecord &r, long double v, int32_t frame)
{
    if (v > r.Value) {
        r.Value = v;
        r.Frame = frame;
    }
}

std::string Format(const char *pattern, long double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, static_cast<double>(v));
    return buf;
}

// Exponent notation with 4 significant digits and at least 2 exponent digits ("1.235E-05").
std::string Exponent(long double v)
{
    std::string s = Format("%.3E", v);
    return s;
}

// The whole frames a relative cut moves by: its shift rounded to the nearest frame
// (halves away from zero), so whole values stay as they are.
int64_t CutFrames(const TMarker &m)
{
    return std::llroundl(m.Shift());
}

} // namespace

bool AnalyzeProject(const TProject &project, TProgress *progress, TAnalysisResult &result)
{
    result = TAnalysisResult{};
    for (int i : {0, 2, 4})
        result[static_cast<size_t>(i)].Value = 1e10L;
    for (int i : {1, 3, 5, 6})
        result[static_cast<size_t>(i)].Value = -1e10L;
    if (!project.HasVideo())
        return true;
    if (progress) {
        progress->Show();
        progress->SetCaption(Msg("MsgAnalyze"));
        progress->SetComment(Msg("MsgHitEsc"));
        progress->SetCancelText(Msg("CapAbort"));
    }
    const int32_t n = project.FrameCount();
    TFrameState prevprev, prev = project.GetStateAt(0), cur = prev;
    bool aborted = false;
    for (int32_t f = 0; f <= n; ++f) {
        if (progress) {
            progress->SetProgress(static_cast<double>(f) / n);
            if (progress->Aborted()) {
                aborted = true;
                break;
            }
        }
        prevprev = prev;
        prev = cur;
        cur = project.GetStateAt(f);
        if (cur.AudioOff() || prev.AudioOff() || prevprev.AudioOff())
            continue;
        long double total = cur.CutShift + cur.SplineShift;
        Lower(result[0], total, f);
        Raise(result[1], total, f);
        Lower(result[2], cur.SplineShift, f);
        Raise(result[3], cur.SplineShift, f);
        if (f > 0) {
            long double d = cur.SplineShift - prev.SplineShift;
            Lower(result[4], d, f - 1);
            Raise(result[5], d, f - 1);
            if (f > 1)
                Raise(result[6], std::fabs(d - (prev.SplineShift - prevprev.SplineShift)), f - 1);
        }
    }
    if (progress)
        progress->Close();
    return !aborted;
}

std::vector<TAnalysisRow> AnalysisRows(const TAnalysisResult &r)
{
    std::vector<TAnalysisRow> rows;
    auto row = [&rows](std::string label, const TAnalysisRecord &rec, std::string value) {
        if (rec.Frame < 0)
            rows.push_back({std::move(label), "-", "-"});
        else
            rows.push_back({std::move(label), std::move(value), std::to_string(rec.Frame)});
    };
    row(Msg("AnaMinShift"), r[0], Format("%.3f", r[0].Value));
    row(Msg("AnaMaxShift"), r[1], Format("%.3f", r[1].Value));
    row(Msg("AnaMinCurve"), r[2], Format("%.3f", r[2].Value));
    row(Msg("AnaMaxCurve"), r[3], Format("%.3f", r[3].Value));
    row(Msg("AnaMinSpeed"), r[4], Format("%.3f %%", (r[4].Value + 1) * 100));
    row(Msg("AnaMaxSpeed"), r[5], Format("%.3f %%", (r[5].Value + 1) * 100));
    std::string range = r[4].Frame < 0 || r[5].Frame < 0 ? "-" : Format("%.3f %%", (r[5].Value - r[4].Value) * 100);
    rows.push_back({Msg("AnaSpeedRange"), range, "-"});
    if (r[6].Frame < 0 || r[6].Value == 0)
        rows.push_back({Msg("AnaMaxCurvature"), "-", "-"});
    else
        rows.push_back({Msg("AnaMaxCurvature"), Exponent(r[6].Value * 100) + " %",
                        std::to_string(r[6].Frame)});
    return rows;
}

bool InsertChapters(TProject &project, TAutoChapterMode mode, int32_t interval, bool clearFirst)
{
    if (mode == acFixedLength && interval < kMinChapterInterval)
        return false;
    TProjectOptions options = project.Options();
    options.UseChapters = true;
    project.SetOptions(options);
    if (clearFirst)
        project.ClearChapters();
    if (mode == acFixedLength) {
        for (int64_t f = 0; f < project.FrameCount(); f += interval)
            project.AddChapter({static_cast<int32_t>(f), true});
    } else {
        project.AddChapter({0, true});
        for (int32_t i = 0; i < project.MarkerCount(); ++i) {
            TMarker m = project.GetMarker(i);
            if (m.Kind != mkRelCut || m.Deactivated || CutFrames(m) >= 0)
                continue;
            // The |v| frames from F are left out of the result.
            int64_t end = int64_t{m.Frame} - CutFrames(m);
            project.AddChapter({m.Frame, false});
            if (end <= INT32_MAX)
                project.AddChapter({static_cast<int32_t>(end), true});
        }
        options.ConcatChapters = true;
        project.SetOptions(options);
    }
    project.SetChanged(true);
    return true;
}

int32_t RemoveDeactivatedMarkers(TProject &project)
{
    std::vector<TMarker> kept;
    for (const TMarker &m : project.Markers())
        if (!m.Deactivated)
            kept.push_back(m);
    const int32_t removed = project.MarkerCount() - static_cast<int32_t>(kept.size());
    if (removed > 0) {
        project.SetMarkers(std::move(kept));
        project.SetChanged(true);
    }
    return removed;
}

void GotoFrame(TProject &project, int32_t frame)
{
    if (frame < 0)
        return;
    if (frame > project.FrameCount() - 1)
        frame = project.FrameCount() - 1;
    if (frame < 0)
        return;
    project.SetPosition(frame);
    project.SetViewOffset(0);
}

bool JumpToCutEnd(TProject &project, int32_t index)
{
    TMarker m = project.GetMarker(index);
    if (index < 0 || index >= project.MarkerCount() || m.Kind != mkRelCut)
        return false;
    int64_t target = int64_t{m.Frame} - CutFrames(m);
    int64_t last = int64_t{project.FrameCount()} - 1;
    if (target > last)
        target = last;
    if (target < 0)
        target = 0;
    project.SetPosition(static_cast<int32_t>(target));
    project.SetViewOffset(0);
    return true;
}

bool ViewOffsetToCutValue(TProject &project, int32_t index)
{
    TMarker m = project.GetMarker(index);
    if (index < 0 || index >= project.MarkerCount() || m.Kind != mkRelCut)
        return false;
    project.SetViewOffset(static_cast<int32_t>(-CutFrames(m)));
    return true;
}

} // namespace tessaly
