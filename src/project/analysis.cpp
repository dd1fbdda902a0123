// Project analysis, automatic chapters, go-to-frame and the preview range.
#include "project/analysis.h"

#include <cmath>
#include <cstdio>

#include "project/project.h"
#include "project/project_session.h"
#include "project/project_text.h"
#include "project/render.h"
#include "shell/progress.h"

namespace tessaly {

bool AnalyzeProject(TProject &project, TProgress *progress, TAnalysisResult &result)
{
    if (progress) {
        progress->Show();
        progress->SetCaption(ProjectText("MsgAnalyze", "Analyze project ..."));
        progress->SetComment(ProjectText("MsgHitEsc", "Press <ESC> to abort ..."));
        progress->SetCancelText(ProjectText("CapAbort", "&Abort"));
    }
    project.BeginCalc();
    const long double starts[7] = {1e10L, -1e10L, 1e10L, -1e10L, 1e10L, -1e10L, -1e10L};
    for (int i = 0; i < 7; ++i)
        result[size_t(i)] = TAnalysisRecord{-1, starts[i]};
    const int32_t n = project.FrameCount();
    TFrameState prev = project.GetStateAt(0), cur = prev, prevprev = prev;
    bool aborted = false;
    auto lower = [&result](int i, long double v, int32_t f) {
        if (v < result[size_t(i)].Value)
            result[size_t(i)] = TAnalysisRecord{f, v};
    };
    auto higher = [&result](int i, long double v, int32_t f) {
        if (v > result[size_t(i)].Value)
            result[size_t(i)] = TAnalysisRecord{f, v};
    };
    for (int32_t f = 0; f <= n; ++f) {
        if (progress) {
            progress->SetProgress(n > 0 ? double(f) / n : 1.0);
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
        lower(0, total, f);
        higher(1, total, f);
        lower(2, cur.SplineShift, f);
        higher(3, cur.SplineShift, f);
        if (f > 0) {
            long double d = cur.SplineShift - prev.SplineShift;
            lower(4, d, f - 1);
            higher(5, d, f - 1);
            if (f > 1) {
                long double c = std::fabs(d - (prev.SplineShift - prevprev.SplineShift));
                higher(6, c, f - 1);
            }
        }
    }
    project.EndCalc();
    if (progress)
        progress->Close();
    return !aborted;
}

namespace {

std::string Fixed3(long double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3Lf", v);
    return text;
}

} // namespace

TAnalysisRows AnalysisRows(const TAnalysisResult &r)
{
    static const char *const keys[8][2] = {
        {"LblAnaMinTotal", "Minimum total shift [frames]"},  {"LblAnaMaxTotal", "Maximum total shift [frames]"},
        {"LblAnaMinCurve", "Minimum curve shift [frames]"},  {"LblAnaMaxCurve", "Maximum curve shift [frames]"},
        {"LblAnaMinSpeed", "Minimum audio speed"},           {"LblAnaMaxSpeed", "Maximum audio speed"},
        {"LblAnaSpeedRange", "Range of the audio speed"},    {"LblAnaCurvature", "Maximum change of the speed"},
    };
    TAnalysisRows rows;
    for (int i = 0; i < 8; ++i) {
        rows[size_t(i)].Label = ProjectText(keys[i][0], keys[i][1]);
        rows[size_t(i)].Value = rows[size_t(i)].Frame = "-";
    }
    auto withFrame = [&rows](int row, const TAnalysisRecord &rec, const std::string &value) {
        if (rec.Frame < 0)
            return;
        rows[size_t(row)].Value = value;
        rows[size_t(row)].Frame = std::to_string(rec.Frame);
        rows[size_t(row)].GotoFrame = rec.Frame;
    };
    for (int i = 0; i < 4; ++i)
        withFrame(i, r[size_t(i)], Fixed3(r[size_t(i)].Value));
    for (int i = 4; i < 6; ++i)
        withFrame(i, r[size_t(i)], Fixed3((r[size_t(i)].Value + 1) * 100) + " %");
    if (r[4].Frame >= 0 && r[5].Frame >= 0)
        rows[6].Value = Fixed3((r[5].Value - r[4].Value) * 100) + " %";
    if (r[6].Frame >= 0 && r[6].Value != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3LE", r[6].Value * 100);
        withFrame(7, r[6], std::string(text) + " %");
    }
    return rows;
}

bool InsertAutoChapters(TProject &project, TAutoChapterMode mode, int32_t interval, bool clearFirst)
{
    if (mode == acFixedLength && interval < 100)
        return false;
    project.Options().UseChapters = true;
    if (clearFirst)
        project.ClearChapters();
    const int32_t n = project.FrameCount();
    if (mode == acFixedLength) {
        for (int64_t f = 0; f < n; f += interval)
            project.AddChapter(TChapter{int32_t(f), true});
    } else {
        project.AddChapter(TChapter{0, true});
        for (int32_t i = 0; i < project.MarkerCount(); ++i) {
            TMarker m = project.GetMarker(i);
            if (m.Kind != mkRelCut || m.Deactivated || m.Value >= 0)
                continue;
            project.AddChapter(TChapter{m.Frame, false});
            int64_t end = int64_t(m.Frame) - m.Value;
            if (end <= 2147483647)
                project.AddChapter(TChapter{int32_t(end), true});
        }
        if (project.ChapterCount() > 0)
            project.Options().ConcatChapters = true;
    }
    project.SetChanged(true);
    return true;
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

void PreviewRange(const TProject &project, int32_t mode, long double seconds, int32_t &first, int32_t &last)
{
    int64_t centre = int64_t(project.Position()) + project.ViewOffset();
    int64_t a = int64_t(std::nearbyintl(project.Fps() * seconds));
    int64_t f = mode == 1 ? centre : centre - a;
    int64_t l = mode == 2 ? centre : centre + a;
    auto clamp = [](int64_t v) { return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v))); };
    first = clamp(f);
    last = clamp(l);
}

bool CreatePreviewFile(TProjectSession &session, TRenderer &renderer, const std::string &fileName, int32_t mode,
                       long double seconds, int32_t sizeLimit, bool showProgress, bool preScan)
{
    if (fileName.empty())
        return false;
    TProject &project = session.Project();
    int32_t first = 0, last = 0;
    PreviewRange(project, mode, seconds, first, last);
    return renderer.CalcVideo(fileName, ProjectText("MsgPreview", "Create preview ..."), sizeLimit,
                              project.Options().CrossFading, true, showProgress, preScan, false,
                              project.PreviewOffset(), last, first);
}

} // namespace tessaly
