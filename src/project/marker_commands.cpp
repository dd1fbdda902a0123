// Editing commands on the markers and chapters of a project.
#include "project/marker_commands.h"

#include <cmath>
#include <vector>

#include "project/project.h"

namespace tessaly {

namespace {

bool ShapesCurve(uint8_t kind)
{
    return kind == mkSpline || kind == mkRelCut;
}

// The nearest integer (halves to even) as a marker value, or false when out of range.
bool RoundValue(long double v, int32_t &out)
{
    long double r = std::nearbyintl(v);
    if (!(r >= -2147483647.0L && r <= 2147483647.0L))
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

// The nearest thousandth of a frame as a marker shift, or false when out of range.
bool RoundMilli(long double v, TMarker &marker)
{
    long double r = std::nearbyintl(v * 1000.0L);
    if (!(r >= -2147483647999.0L && r <= 2147483647999.0L))
        return false;
    return SetMarkerMilli(marker, static_cast<int64_t>(r));
}

int32_t AddAtPosition(TProject &project, const TMarker &marker)
{
    int32_t index = project.AddMarker(marker);
    if (index < 0)
        return -1;
    project.SetChanged(true);
    if (ShapesCurve(marker.Kind))
        project.RebuildSpline();
    return index;
}

bool InRange(int64_t v, int64_t lo, int64_t hi)
{
    return v >= lo && v <= hi;
}

} // namespace

int32_t SetPoint(TProject &project)
{
    TMarker m;
    m.Frame = project.Position();
    m.Kind = mkSpline;
    // The point keeps the curve's shift to the thousandth: adding it changes nothing.
    if (!RoundMilli(project.SplineShiftAt(m.Frame), m))
        return -1;
    return AddAtPosition(project, m);
}

int32_t SetRelCut(TProject &project)
{
    TMarker m;
    m.Frame = project.Position();
    m.Kind = mkRelCut;
    m.Affect = true;
    return AddAtPosition(project, m);
}

int32_t SetDShift(TProject &project)
{
    TMarker m;
    m.Frame = project.Position();
    m.Kind = mkDShift;
    if (!RoundValue(project.GetStateAt(m.Frame).DoubleShift, m.Value))
        return -1;
    return AddAtPosition(project, m);
}

int32_t SetOption(TProject &project)
{
    TMarker m;
    m.Frame = project.Position();
    m.Kind = mkOption;
    TFrameState s = project.GetStateAt(m.Frame);
    m.Value = PackOption(-1, s.AudioOff(), s.DoubleOff());
    return AddAtPosition(project, m);
}

bool DeleteMarkerAtPosition(TProject &project)
{
    return DeleteMarkerAt(project, project.Position());
}

bool DeleteMarkerAt(TProject &project, int32_t frame)
{
    int32_t index = project.FindMarker(frame);
    if (index < 0)
        return false;
    TMarker m = project.GetMarker(index);
    if (m.Kind == mkRelCut && !m.Deactivated)
        project.CorrectFollowingMilli(index, MarkerMilli(m));
    project.DeleteMarker(index);
    project.SetChanged(true);
    if (ShapesCurve(m.Kind))
        project.RebuildSpline();
    return true;
}

bool EditMarkerValue(TProject &project, int32_t index, int64_t v)
{
    if (index < 0 || index >= project.MarkerCount() || v < -kMaxShiftMilli || v > kMaxShiftMilli)
        return false;
    TMarker m = project.GetMarker(index);
    if (m.Kind == mkOption)
        return false;
    int64_t delta = MarkerMilli(m) - v;
    if (delta == 0 || !SetMarkerMilli(m, v))
        return false;
    if (!m.Deactivated)
        project.CorrectFollowingMilli(index, delta);
    project.AddMarker(m);
    project.SetChanged(true);
    if (ShapesCurve(m.Kind))
        project.RebuildSpline();
    return true;
}

bool SetMarkerEnabled(TProject &project, int32_t index, bool enabled)
{
    if (index < 0 || index >= project.MarkerCount())
        return false;
    TMarker m = project.GetMarker(index);
    if (m.Kind == mkOption || m.Deactivated == !enabled)
        return false;
    m.Deactivated = !enabled;
    int64_t delta = 0;
    if (m.Affect && ShapesCurve(m.Kind))
        delta = m.Deactivated ? MarkerMilli(m) : -MarkerMilli(m);
    if (!project.SetMarker(index, m))
        return false;
    if (m.Kind == mkRelCut)
        project.CorrectFollowingMilli(index, delta);
    project.SetChanged(true);
    if (ShapesCurve(m.Kind))
        project.RebuildSpline();
    return true;
}

bool ToggleAffect(TProject &project, int32_t index)
{
    if (index < 0 || index >= project.MarkerCount())
        return false;
    TMarker m = project.GetMarker(index);
    if (!ShapesCurve(m.Kind))
        return false;
    m.Affect = !m.Affect;
    if (!project.SetMarker(index, m))
        return false;
    project.SetChanged(true);
    return true;
}

bool EditOptionMarker(TProject &project, int32_t index, bool audioOn, bool doubleOn,
                      const std::string &volumeText)
{
    if (index < 0 || index >= project.MarkerCount())
        return false;
    TMarker m = project.GetMarker(index);
    if (m.Kind != mkOption)
        return false;
    int64_t volume = -1;
    if (!TrimField(volumeText).empty() && !ParseInteger(volumeText, 0, 999, volume))
        return false;
    int32_t before = m.Frame > 0 ? project.GetStateAt(m.Frame - 1).DoubleVolume : 100;
    if (volume == before)
        volume = -1;
    m.Value = PackOption(static_cast<int32_t>(volume), !audioOn, !doubleOn);
    if (project.AddMarker(m) < 0)
        return false;
    project.SetChanged(true);
    return true;
}

bool MoveMarker(TProject &project, int32_t direction)
{
    if (direction != -1 && direction != 1)
        return false;
    int32_t p = project.Position();
    int32_t index = project.FindMarker(p);
    int64_t target = int64_t{p} + direction;
    if (index < 0 || !InRange(target, 0, int64_t{project.FrameCount()} - 1) ||
        project.FindMarker(static_cast<int32_t>(target)) >= 0)
        return false;
    TMarker m = project.GetMarker(index);
    m.Frame = static_cast<int32_t>(target);
    if (!project.SetMarker(index, m))
        return false;
    project.SetPosition(m.Frame);
    project.SetChanged(true);
    if (ShapesCurve(m.Kind))
        project.RebuildSpline();
    return true;
}

bool StartOffsetFits(const TProject &project, int32_t d)
{
    const int64_t n = project.FrameCount();
    const int32_t markers = project.MarkerCount();
    int64_t probe = markers == 0 ? 0 : (d < 0 ? project.GetMarker(0).Frame : project.GetMarker(markers - 1).Frame);
    bool fits = InRange(probe + d, 0, n - 1);
    const int32_t chapters = project.ChapterListCount();
    if (fits && chapters >= 2) {
        int64_t frame = project.GetListChapter(d < 0 ? 1 : chapters - 1).Frame;
        fits = InRange(frame + d, 1, n - 1);
    }
    return fits;
}

bool ChangeStartOffset(TProject &project, int32_t d)
{
    if (d == 0)
        return false;
    const int32_t chapters = project.ChapterListCount();
    if (!StartOffsetFits(project, d)) {
        project.ShowError("ErrOfs");
        return false;
    }
    // Every moved marker is read and written before anything changes, so that a marker
    // that cannot be handled leaves the whole project as it was.
    std::vector<TMarker> moved = project.Markers();
    for (TMarker &m : moved) {
        m.Frame += d;
        bool ok = true;
        if (m.Kind == mkSpline || m.Kind == mkDShift) {
            int64_t value = MarkerMilli(m) - int64_t{d} * 1000;
            ok = InRange(value, -2147483647000LL, 2147483647000LL) && SetMarkerMilli(m, value);
        }
        if (!ok || !CanonicalMarker(m, m)) {
            project.ShowError("ErrInternal");
            return false;
        }
    }
    project.SetMarkers(std::move(moved));
    std::vector<TChapter> list;
    for (int32_t i = 0; i < chapters; ++i)
        list.push_back(project.GetListChapter(i));
    project.ClearChapters();
    for (int32_t i = 0; i < chapters; ++i) {
        TChapter c = list[static_cast<size_t>(i)];
        if (i > 0)
            c.Frame += d;
        project.AddChapter(c);
    }
    project.RebuildSpline();
    project.SetChanged(true);
    return true;
}

int32_t AddChapterAtPosition(TProject &project)
{
    int32_t index = project.AddChapter(TChapter{project.Position(), true});
    project.SetChanged(true);
    return index;
}

bool DeleteChapterAt(TProject &project, int32_t index)
{
    if (!project.DeleteChapter(index))
        return false;
    project.SetChanged(true);
    return true;
}

bool TickChapter(TProject &project, int32_t index, bool enabled)
{
    if (!project.SetChapterEnabled(index, enabled))
        return false;
    project.SetChanged(true);
    return true;
}

} // namespace tessaly
