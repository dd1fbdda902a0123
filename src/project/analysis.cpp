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

} // namespace

int64_t CutFrames(const TMarker &m)
{
    return std::llroundl(m.Shift());
}

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

} // namespace tessaly
