// The editing operations of a project: checks first, then one bracketed change with its
// undo record.
#include "project/project_editor.h"

#include <algorithm>
#include <cmath>

#include "platform/text_util.h"
#include "project/project.h"
#include "project/project_sources.h"
#include "shell/messages.h"

namespace tessaly {

namespace {

// The largest preview and view offset either way, in frames: half the frame range, so
// a position plus an offset never leaves 32 bits.
constexpr int64_t kMaxViewOffset = 1073741823;

bool ShapesCurve(uint8_t kind)
{
    return kind == mkSpline || kind == mkRelCut;
}

std::string Num(int64_t v)
{
    return std::to_string(v);
}

bool InRange(int64_t v, int64_t lo, int64_t hi)
{
    return v >= lo && v <= hi;
}

// Marker `index` for an edit of its shift or its enable box; the refusal's text when
// there is no such marker or it is an option marker (empty when it may be edited).
std::string ShiftMarkerAt(const TProject &project, int32_t index, TMarker &m)
{
    if (index < 0 || index >= project.MarkerCount())
        return Msg("ErrNoSelection");
    m = project.GetMarker(index);
    return m.Kind == mkOption ? Msg("ErrMarkerKind") : std::string();
}

// The nearest integer (halves to even) as a marker value, or false when out of range.
bool RoundValue(long double v, int32_t &out)
{
    const long double r = std::nearbyintl(v);
    if (!(r >= -2147483647.0L && r <= 2147483647.0L))
        return false;
    out = static_cast<int32_t>(r);
    return true;
}

// The nearest thousandth of a frame as a marker shift, or false when out of range.
bool RoundMilli(long double v, TMarker &marker)
{
    const long double r = std::nearbyintl(v * 1000.0L);
    if (!(r >= -2147483647999.0L && r <= 2147483647999.0L))
        return false;
    return SetMarkerMilli(marker, static_cast<int64_t>(r));
}

} // namespace

TProjectEditor::TProjectEditor(TProject &project, TProjectSources *sources) : FProject(project), FSources(sources)
{
}

TEditResult TProjectEditor::Refuse(const std::string &text) const
{
    TEditResult r;
    r.Error = text;
    return r;
}

template <class F> TEditResult TProjectEditor::Edit(TEditKind kind, int32_t target, F apply)
{
    TEditResult r;
    r.Record.Kind = kind;
    r.Record.Target = target;
    if (kind != ekNone)
        r.Record.Before = FProject.Snapshot();
    FProject.BeginUpdate();
    r.Applied = apply();
    if (r.Applied && kind != ekNone)
        FProject.SetChanged(true);
    FProject.EndUpdate();
    if (r.Applied && kind != ekNone)
        r.Record.After = FProject.Snapshot();
    if (!r.Applied)
        r.Record = TEditRecord{};
    return r;
}

bool TProjectEditor::InVideo(int64_t frame) const
{
    return FProject.HasVideo() && frame >= 0 && frame < FProject.FrameCount();
}

std::string TProjectEditor::OutsideText(int64_t frame) const
{
    if (!FProject.HasVideo())
        return Msg("ErrNoVideo");
    return FormatText(Msg("ErrFrameOutside"), {Num(frame), Num(FProject.FrameCount())});
}

// --- markers -------------------------------------------------------------------

bool TProjectEditor::NewMarkerAtPosition(TMarkerKind kind, TMarker &m) const
{
    m = TMarker{};
    m.Frame = FProject.Position();
    m.Kind = kind;
    switch (kind) {
    case mkSpline:
        // The point keeps the curve's shift to the thousandth: adding it changes nothing.
        return RoundMilli(FProject.SplineShiftAt(m.Frame), m);
    case mkRelCut:
        m.Affect = true;
        return true;
    case mkDShift:
        return RoundValue(FProject.GetStateAt(m.Frame).DoubleShift, m.Value);
    default: {
        // The flags in force, volume "no change".
        const TFrameState s = FProject.GetStateAt(m.Frame);
        m.Value = PackOption(-1, s.AudioOff(), s.DoubleOff());
        return true;
    }
    }
}

TEditResult TProjectEditor::NewMarker(TMarkerKind kind, bool replace)
{
    const int32_t p = FProject.Position();
    if (!InVideo(p))
        return Refuse(OutsideText(p));
    if (kind < mkSpline || kind > mkOption)
        return Refuse(Msg("ErrMarkerKind"));
    if (!replace && FProject.FindMarker(p) >= 0)
        return Refuse(FormatText(Msg("ErrMarkerExists"), {Num(p)}));
    TMarker m;
    if (!NewMarkerAtPosition(kind, m))
        return Refuse(Msg("ErrMarkerWide"));
    TEditResult r = Edit(ekNewMarker, -1, [&] { return FProject.AddMarker(m) >= 0; });
    if (!r.Applied)
        return Refuse(Msg("ErrMarkerWide"));
    r.Record.Target = FProject.FindMarker(p);
    return r;
}

TEditResult TProjectEditor::PlaceMarker(const TMarker &marker, bool replace)
{
    if (!InVideo(marker.Frame))
        return Refuse(OutsideText(marker.Frame));
    if (marker.Kind < mkSpline || marker.Kind > mkOption)
        return Refuse(Msg("ErrMarkerKind"));
    TMarker m = marker;
    if (m.Kind == mkOption)
        m.Affect = m.Deactivated = false;
    if (m.Kind == mkDShift)
        m.Affect = false;
    std::string line;
    if (!FormatMarker(m, line))
        return Refuse(Msg("ErrMarkerWide"));
    if (!replace && FProject.FindMarker(m.Frame) >= 0)
        return Refuse(FormatText(Msg("ErrMarkerExists"), {Num(m.Frame)}));
    TEditResult r = Edit(ekNewMarker, -1, [&] { return FProject.AddMarker(m) >= 0; });
    r.Record.Target = FProject.FindMarker(m.Frame);
    return r;
}

TEditResult TProjectEditor::DeleteMarker(int32_t frame)
{
    const int32_t index = FProject.FindMarker(frame);
    if (index < 0)
        return Refuse(FormatText(Msg("ErrNoMarkerAt"), {Num(frame)}));
    return Edit(ekDeleteMarker, index, [&] {
        const TMarker m = FProject.GetMarker(index);
        // An active cut passes its value on to the following points before it goes.
        if (m.Kind == mkRelCut && !m.Deactivated)
            FProject.CorrectFollowingMilli(index, MarkerMilli(m));
        FProject.DeleteMarker(index);
        return true;
    });
}

TEditResult TProjectEditor::SetShiftValue(int32_t index, const std::string &text)
{
    TMarker m;
    if (const std::string why = ShiftMarkerAt(FProject, index, m); !why.empty())
        return Refuse(why);
    // The field's text is read here once; the value goes on as a number.
    int64_t milli = 0;
    if (!ParseMarkerMilli(text, kMaxShiftMilli / 1000, milli))
        return Refuse(Msg("ErrShiftValue"));
    return SetShiftMilli(index, milli);
}

TEditResult TProjectEditor::SetShiftMilli(int32_t index, int64_t milli)
{
    TMarker m;
    if (const std::string why = ShiftMarkerAt(FProject, index, m); !why.empty())
        return Refuse(why);
    if (milli < -kMaxShiftMilli || milli > kMaxShiftMilli)
        return Refuse(Msg("ErrShiftValue"));
    const int64_t delta = MarkerMilli(m) - milli;
    if (delta == 0)
        return {};
    // A value its line cannot hold (too many digits with the decimals) is refused before
    // the following points are corrected.
    if (!SetMarkerMilli(m, milli) || !CanonicalMarker(m, m))
        return Refuse(Msg("ErrMarkerWide"));
    return Edit(ekShiftValue, index, [&] {
        if (!m.Deactivated)
            FProject.CorrectFollowingMilli(index, delta);
        return FProject.SetMarker(index, m);
    });
}

TEditResult TProjectEditor::SetMarkerEnabled(int32_t index, bool enabled)
{
    TMarker m;
    if (const std::string why = ShiftMarkerAt(FProject, index, m); !why.empty())
        return Refuse(why);
    if (m.Deactivated == !enabled)
        return {};
    m.Deactivated = !enabled;
    // An Affect cut switched off passes its value on to the following points; switched
    // on, it takes it back.
    int64_t delta = 0;
    if (m.Affect && ShapesCurve(m.Kind))
        delta = m.Deactivated ? MarkerMilli(m) : -MarkerMilli(m);
    return Edit(ekMarkerEnabled, index, [&] {
        if (!FProject.SetMarker(index, m))
            return false;
        if (m.Kind == mkRelCut)
            FProject.CorrectFollowingMilli(index, delta);
        return true;
    });
}

TEditResult TProjectEditor::SetAffect(int32_t index, bool affect)
{
    if (index < 0 || index >= FProject.MarkerCount())
        return Refuse(Msg("ErrNoSelection"));
    TMarker m = FProject.GetMarker(index);
    if (!ShapesCurve(m.Kind))
        return Refuse(Msg("ErrMarkerKind"));
    if (m.Affect == affect)
        return {};
    m.Affect = affect;
    return Edit(ekAffect, index, [&] { return FProject.SetMarker(index, m); });
}

TEditResult TProjectEditor::EditOptionMarker(int32_t index, bool audioOn, bool doubleOn,
                                             const std::string &volumeText)
{
    if (index < 0 || index >= FProject.MarkerCount())
        return Refuse(Msg("ErrNoSelection"));
    TMarker m = FProject.GetMarker(index);
    if (m.Kind != mkOption)
        return Refuse(Msg("ErrMarkerKind"));
    int64_t volume = -1;
    if (!TrimText(volumeText, kFieldBlanks).empty() && !ParseInt(volumeText, 0, 999, volume, kFieldInt))
        return Refuse(Msg("ErrVolume"));
    // The volume in force before the marker is stored as "no change".
    const int32_t before = m.Frame > 0 ? FProject.GetStateAt(m.Frame - 1).DoubleVolume : 100;
    if (volume == before)
        volume = -1;
    const TMarker old = m;
    m.Value = PackOption(static_cast<int32_t>(volume), !audioOn, !doubleOn);
    if (m == old)
        return {};
    return Edit(ekOptionMarker, index, [&] { return FProject.SetMarker(index, m); });
}

TEditResult TProjectEditor::MoveMarker(int32_t frame, int32_t steps)
{
    int32_t index = FProject.FindMarker(frame);
    if (index < 0)
        return Refuse(FormatText(Msg("ErrNoMarkerAt"), {Num(frame)}));
    if (steps == 0)
        return {};
    const int64_t target = int64_t{frame} + steps;
    if (!InVideo(target))
        return Refuse(Msg("ErrMoveMarker"));
    // Markers keep their order: no marker may stand on the way or on the target.
    const int32_t dir = steps < 0 ? -1 : 1;
    int32_t neighbour = index + dir;
    if (neighbour >= 0 && neighbour < FProject.MarkerCount()) {
        int64_t f = FProject.GetMarker(neighbour).Frame;
        if (dir > 0 ? f <= target : f >= target)
            return Refuse(Msg("ErrMoveMarker"));
    }
    TMarker moved = FProject.GetMarker(index);
    moved.Frame = static_cast<int32_t>(target);
    std::string line;
    if (!FormatMarker(moved, line))
        return Refuse(Msg("ErrMarkerWide"));
    // With no marker on the way, one jump equals the single steps of the move buttons.
    return Edit(ekMoveMarker, index, [&] {
        TMarker m = FProject.GetMarker(index);
        m.Frame = static_cast<int32_t>(target);
        if (!FProject.SetMarker(index, m))
            return false;
        FProject.SetPosition(m.Frame);
        return true;
    });
}

TEditResult TProjectEditor::ChangeStartOffset(int32_t d)
{
    if (d == 0)
        return {};
    if (!StartOffsetFits(d))
        return Refuse(Msg("ErrOfs"));
    // Every moved marker is made before anything changes, so that a value its line cannot
    // hold leaves the whole project as it was.
    std::vector<TMarker> moved = FProject.Markers();
    for (TMarker &m : moved) {
        m.Frame += d;
        bool ok = true;
        // Spline points and double shifts keep the audio where it was.
        if (m.Kind == mkSpline || m.Kind == mkDShift) {
            const int64_t value = MarkerMilli(m) - int64_t{d} * 1000;
            ok = InRange(value, -2147483647000LL, 2147483647000LL) && SetMarkerMilli(m, value);
        }
        if (!ok || !CanonicalMarker(m, m))
            return Refuse(Msg("ErrMarkerWide"));
    }
    return Edit(ekStartOffset, -1, [&] {
        std::vector<TChapter> chapters;
        for (int32_t i = 0; i < FProject.ChapterListCount(); ++i) {
            TChapter c = FProject.GetListChapter(i);
            if (i > 0)
                c.Frame += d;
            chapters.push_back(c);
        }
        if (!FProject.SetMarkers(std::move(moved)))
            return false;
        FProject.ClearChapters();
        for (const TChapter &c : chapters)
            FProject.AddChapter(c);
        return true;
    });
}

bool TProjectEditor::StartOffsetFits(int32_t d) const
{
    const int64_t n = FProject.FrameCount();
    const int32_t markers = FProject.MarkerCount();
    // Markers and chapters are sorted: the first or the last one decides.
    const int64_t probe =
        markers == 0 ? 0 : (d < 0 ? FProject.GetMarker(0).Frame : FProject.GetMarker(markers - 1).Frame);
    bool fits = InRange(probe + d, 0, n - 1);
    const int32_t chapters = FProject.ChapterListCount();
    if (fits && chapters >= 2) {
        const int64_t frame = FProject.GetListChapter(d < 0 ? 1 : chapters - 1).Frame;
        fits = InRange(frame + d, 1, n - 1);
    }
    return fits;
}

TEditResult TProjectEditor::RemoveDeactivated()
{
    bool any = false;
    for (int32_t i = 0; i < FProject.MarkerCount(); ++i)
        any = any || FProject.GetMarker(i).Deactivated;
    if (!any)
        return {};
    return Edit(ekRemoveDeactivated, -1, [&] {
        std::vector<TMarker> kept;
        for (const TMarker &m : FProject.Markers())
            if (!m.Deactivated)
                kept.push_back(m);
        return FProject.SetMarkers(std::move(kept));
    });
}

TEditResult TProjectEditor::ReplaceSyncMarkers(const std::vector<TMarker> &markers)
{
    if (!FProject.HasVideo())
        return Refuse(Msg("ErrNoVideo"));
    std::vector<TMarker> placed;
    std::vector<int32_t> frames;
    for (int32_t i = 0; i < FProject.MarkerCount(); ++i)
        if (FProject.GetMarker(i).Kind == mkDShift)
            frames.push_back(FProject.GetMarker(i).Frame);
    for (const TMarker &m : markers) {
        if (m.Kind == mkDShift)
            continue;
        if (m.Kind < mkSpline || m.Kind > mkOption)
            return Refuse(Msg("ErrMarkerKind"));
        if (!InVideo(m.Frame))
            return Refuse(OutsideText(m.Frame));
        std::string line;
        if (!FormatMarker(m, line))
            return Refuse(Msg("ErrMarkerWide"));
        if (std::find(frames.begin(), frames.end(), m.Frame) != frames.end())
            return Refuse(FormatText(Msg("ErrMarkerExists"), {Num(m.Frame)}));
        frames.push_back(m.Frame);
        placed.push_back(m);
    }
    return Edit(ekSuggestMarkers, -1, [&] {
        // The project's double shifts and the suggestion, in one change of the list.
        std::vector<TMarker> list;
        for (const TMarker &m : FProject.Markers())
            if (m.Kind == mkDShift)
                list.push_back(m);
        list.insert(list.end(), placed.begin(), placed.end());
        return FProject.SetMarkers(std::move(list));
    });
}

// --- chapters ------------------------------------------------------------------

TEditResult TProjectEditor::AddChapter(int32_t frame, bool enabled)
{
    if (!InVideo(frame))
        return Refuse(OutsideText(frame));
    return Edit(ekAddChapter, -1, [&] {
        int32_t index = FProject.AddChapter(TChapter{frame, enabled});
        return index >= 0;
    });
}

TEditResult TProjectEditor::DeleteChapter(int32_t frame)
{
    if (frame == 0)
        return Refuse(Msg("ErrStartChapter"));
    for (int32_t i = 0; i < FProject.ChapterListCount(); ++i)
        if (FProject.GetListChapter(i).Frame == frame)
            return Edit(ekDeleteChapter, i, [&] { return FProject.DeleteChapter(i); });
    return Refuse(FormatText(Msg("ErrNoChapterAt"), {Num(frame)}));
}

TEditResult TProjectEditor::TickChapter(int32_t index, bool enabled)
{
    if (index < 0 || index >= FProject.ChapterListCount())
        return Refuse(FormatText(Msg("ErrNoChapterAt"), {Num(index)}));
    if (FProject.GetListChapter(index).Enabled == enabled)
        return {};
    return Edit(ekTickChapter, index, [&] { return FProject.SetChapterEnabled(index, enabled); });
}

TEditResult TProjectEditor::SetUseChapters(bool on)
{
    TProjectOptions o = FProject.Options();
    if (o.UseChapters == on)
        return {};
    o.UseChapters = on;
    return Edit(ekUseChapters, -1, [&] {
        FProject.SetOptions(o);
        return true;
    });
}

TEditResult TProjectEditor::SetConcatChapters(bool on)
{
    TProjectOptions o = FProject.Options();
    if (o.ConcatChapters == on)
        return {};
    o.ConcatChapters = on;
    return Edit(ekConcatChapters, -1, [&] {
        FProject.SetOptions(o);
        return true;
    });
}

TEditResult TProjectEditor::InsertChapters(TAutoChapterMode mode, int32_t interval, bool clearFirst)
{
    if (!FProject.HasVideo())
        return Refuse(Msg("ErrNoVideo"));
    if (mode == acFixedLength && interval < kMinChapterInterval)
        return Refuse(Msg("ErrInterval"));
    return Edit(ekInsertChapters, -1, [&] {
        TProjectOptions options = FProject.Options();
        options.UseChapters = true;
        FProject.SetOptions(options);
        if (clearFirst)
            FProject.ClearChapters();
        if (mode == acFixedLength) {
            for (int64_t f = 0; f < FProject.FrameCount(); f += interval)
                FProject.AddChapter({static_cast<int32_t>(f), true});
            return true;
        }
        FProject.AddChapter({0, true});
        for (const TMarker &m : FProject.Markers()) {
            if (m.Kind != mkRelCut || m.Deactivated || CutFrames(m) >= 0)
                continue;
            // The |v| frames from F are left out of the result.
            const int64_t end = int64_t{m.Frame} - CutFrames(m);
            FProject.AddChapter({m.Frame, false});
            if (end <= INT32_MAX)
                FProject.AddChapter({static_cast<int32_t>(end), true});
        }
        options.ConcatChapters = true;
        FProject.SetOptions(options);
        return true;
    });
}

// --- options -------------------------------------------------------------------

TEditResult TProjectEditor::SetOptions(const TProjectOptions &given)
{
    TProjectOptions options = given;
    if (options.MarkerDrawSize < 1 || options.MarkerDrawSize > 3 || options.RefZoom < 1 ||
        options.GlobalShift < -kMaxViewOffset || options.GlobalShift > kMaxViewOffset || options.CrossFadeMs < 0 ||
        options.CrossFadeMs > kMaxCrossFadeMs || options.Resampling < rsSampleCopy || options.Resampling > rsKeepPitch)
        return Refuse(Msg("ErrPrjOption"));
    // A mixing choice once made is stored with the project from then on.
    if (options.Resampling != FProject.Options().Resampling || options.CrossFadeMs != FProject.Options().CrossFadeMs)
        options.StoreMixing = true;
    if (options == FProject.Options())
        return {};
    bool flip = options.FlipImage != FProject.Options().FlipImage;
    TEditResult r = Edit(ekProjectOptions, -1, [&] {
        FProject.SetOptions(options);
        return true;
    });
    if (flip && FSources)
        FSources->SetFlipImage(options.FlipImage);
    return r;
}

// --- navigation ------------------------------------------------------------------

TEditResult TProjectEditor::MoveTo(int32_t frame, bool previewRunning)
{
    if (!InVideo(frame))
        return Refuse(OutsideText(frame));
    return Edit(ekNone, -1, [&] {
        FProject.SetPosition(frame);
        if (!previewRunning)
            FProject.SetViewOffset(0);
        return true;
    });
}

int32_t TProjectEditor::GotoFramePreset() const
{
    int64_t shown = int64_t{FProject.Position()} + FProject.ViewOffset();
    return InVideo(shown) ? static_cast<int32_t>(shown) : FProject.Position();
}

TEditResult TProjectEditor::GotoFrameText(const std::string &text)
{
    if (!FProject.HasVideo())
        return Refuse(Msg("ErrNoVideo"));
    int64_t frame = 0;
    if (!ParseInt(text, 0, int64_t{FProject.FrameCount()} - 1, frame, kFieldInt))
        return Refuse(FormatText(Msg("ErrGotoFrame"), {Num(int64_t{FProject.FrameCount()} - 1)}));
    return MoveTo(static_cast<int32_t>(frame));
}

TEditResult TProjectEditor::ChangeStartOffsetText(const std::string &text)
{
    int64_t d = 0;
    if (!ParseInt(text, -2147483647, 2147483647, d, kFieldInt))
        return Refuse(Msg("ErrStartOffset"));
    return ChangeStartOffset(static_cast<int32_t>(d));
}

TEditResult TProjectEditor::SetViewOffsetText(const std::string &text)
{
    int64_t offset = 0;
    if (!ParseInt(text, -kMaxViewOffset, kMaxViewOffset, offset, kFieldInt))
        return Refuse(Msg("ErrViewOffset"));
    return Edit(ekNone, -1, [&] {
        FProject.SetViewOffset(static_cast<int32_t>(offset));
        return true;
    });
}

TEditResult TProjectEditor::StepViewOffset(int32_t delta)
{
    int64_t offset = int64_t{FProject.ViewOffset()} + delta;
    if (!FProject.HasVideo())
        return Refuse(Msg("ErrNoVideo"));
    if (offset < -kMaxViewOffset || offset > kMaxViewOffset)
        return Refuse(Msg("ErrViewOffset"));
    return Edit(ekNone, -1, [&] {
        FProject.SetViewOffset(static_cast<int32_t>(offset));
        return true;
    });
}

TEditResult TProjectEditor::SelectMarker(int32_t index)
{
    if (index < 0 || index >= FProject.MarkerCount())
        return Refuse(Msg("ErrNoSelection"));
    return MoveTo(FProject.GetMarker(index).Frame);
}

TEditResult TProjectEditor::SelectChapter(int32_t index)
{
    TChapter c = FProject.GetListChapter(index);
    if (c.Frame < 0)
        return Refuse(FormatText(Msg("ErrNoChapterAt"), {Num(index)}));
    return MoveTo(c.Frame);
}

TEditResult TProjectEditor::JumpToCutEnd(int32_t index)
{
    if (FProject.GetMarker(index).Kind != mkRelCut)
        return Refuse(Msg("ErrMarkerKind"));
    // The frame where the cut's jump lands, within the video.
    const int64_t target = std::clamp<int64_t>(int64_t{FProject.GetMarker(index).Frame} -
                                                   CutFrames(FProject.GetMarker(index)),
                                               0, std::max<int64_t>(int64_t{FProject.FrameCount()} - 1, 0));
    return Edit(ekNone, -1, [&] {
        FProject.SetPosition(static_cast<int32_t>(target));
        FProject.SetViewOffset(0);
        return true;
    });
}

TEditResult TProjectEditor::ViewOffsetToCutValue(int32_t index)
{
    if (FProject.GetMarker(index).Kind != mkRelCut)
        return Refuse(Msg("ErrMarkerKind"));
    return Edit(ekNone, -1, [&] {
        FProject.SetViewOffset(static_cast<int32_t>(-CutFrames(FProject.GetMarker(index))));
        return true;
    });
}

// --- undo ---------------------------------------------------------------------------

bool TProjectEditor::ApplyRecord(const TEditRecord &record, bool redo)
{
    if (record.Kind == ekNone)
        return false;
    FProject.BeginUpdate();
    const bool ok = FProject.Restore(redo ? record.After : record.Before);
    if (ok)
        FProject.SetChanged(true);
    FProject.EndUpdate();
    return ok;
}

// --- working copies -------------------------------------------------------------------

bool TProjectEditor::TakeSnapshot(const TProjectSnapshot &snapshot)
{
    return FProject.Restore(snapshot);
}

bool TProjectEditor::TakeMarkers(std::vector<TMarker> markers)
{
    return FProject.SetMarkers(std::move(markers));
}

// --- media and new projects ------------------------------------------------------------

void TProjectEditor::BeginUpdate()
{
    FProject.BeginUpdate();
}

void TProjectEditor::EndUpdate()
{
    FProject.EndUpdate();
}

bool TProjectEditor::VideoOpened(bool *asked)
{
    return FProject.VideoOpened(asked);
}

void TProjectEditor::AudioOpened()
{
    FProject.AudioOpened();
}

void TProjectEditor::MediaChanged()
{
    FProject.NotifyChange(pcMedia);
}

void TProjectEditor::MediaOpened(bool toStart, const std::string &zoom)
{
    FProject.BeginUpdate();
    if (toStart) {
        FProject.SetPosition(0);
        FProject.SetViewOffset(0);
    }
    if (!zoom.empty()) {
        TProjectOptions o = FProject.Options();
        o.Zoom = zoom;
        FProject.SetOptions(o);
    }
    FProject.SetChanged(true);
    FProject.EndUpdate();
}

void TProjectEditor::MarkChanged()
{
    FProject.SetChanged(true);
}

void TProjectEditor::StartNew(const TProjectDefaults &defaults, int32_t markerDrawSize)
{
    FProject.BeginUpdate();
    FProject.SetDefaults(defaults);
    FProject.ClearProject();
    TProjectOptions o = FProject.Options();
    o.PreviewEnv = defaults.PreviewEnv;
    o.MarkerDrawSize = markerDrawSize;
    FProject.SetOptions(o);
    FProject.EndUpdate();
}

// --- the project file -------------------------------------------------------------------

void TProjectEditor::ClearForLoad()
{
    FProject.SetChanged(false);
    FProject.ClearProject();
}

void TProjectEditor::ResetMarkers()
{
    FProject.ResetMarkers();
}

void TProjectEditor::TakeLoadedLists(std::vector<TMarker> markers, const std::vector<TChapter> &chapters)
{
    FProject.SetMarkers(std::move(markers));
    FProject.ClearChapters();
    for (const TChapter &c : chapters)
        FProject.AddChapter(c);
}

void TProjectEditor::TakeLoadedOptions(const TProjectOptions &options)
{
    FProject.SetOptions(options);
}

void TProjectEditor::TakeLoadedPosition(int32_t position)
{
    FProject.SetViewOffset(0);
    FProject.SetPosition(position);
}

void TProjectEditor::LoadFinished(const std::string &fileName, bool ok)
{
    if (ok)
        FProject.SetFileName(fileName);
    else
        FProject.ClearProject();
    FProject.SetChanged(false);
    FProject.NotifyChange(pcAll);
}

void TProjectEditor::Saved(const std::string &fileName)
{
    FProject.SetFileName(fileName);
    FProject.SetChanged(false);
}

} // namespace tessaly
