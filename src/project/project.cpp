// TProject: media facts, marker and chapter lists, calculation caches, reset and clear.
#include "project/project.h"

#include <algorithm>
#include <cmath>

#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

TProject::TProject(TUserInterface *ui, TProjectMedia *media) : FUi(ui), FMedia(media)
{
    FChapters.push_back({0, true});
}

long double TProject::Fps() const
{
    if (!HasVideo() || FRateDen == 0)
        return 0;
    return static_cast<long double>(FRateNum) / FRateDen;
}

TFrameRate TProject::FrameRate() const
{
    if (FRateNum <= 0 || FRateDen <= 0)
        return TFrameRate{};
    return TFrameRate{static_cast<uint32_t>(FRateNum), static_cast<uint32_t>(FRateDen)};
}

int64_t TProject::SamplesUpToFrame(int64_t frame, uint32_t sampleRate) const
{
    return tessaly::SamplesUpToFrame(frame, FrameRate(), sampleRate);
}

void TProject::SetFileName(const std::string &name)
{
    if (name == FFileName)
        return;
    FFileName = name;
    NotifyChange(pcName);
}

void TProject::SetChanged(bool changed)
{
    if (changed == FChanged)
        return;
    FChanged = changed;
    NotifyChange(pcChanged);
}

void TProject::SetOptions(const TProjectOptions &options)
{
    if (options == FOptions)
        return;
    FOptions = options;
    NotifyChange(pcOptions);
}

void TProject::SetPosition(int32_t frame)
{
    if (frame == FPosition)
        return;
    FPosition = frame;
    NotifyChange(pcPosition);
}

void TProject::SetViewOffset(int32_t offset)
{
    if (offset == FViewOffset)
        return;
    FViewOffset = offset;
    NotifyChange(pcPosition);
}

// --- change notification and undo ------------------------------------------

void TProject::AddObserver(TProjectObserver *observer) const
{
    if (observer && std::find(FObservers.begin(), FObservers.end(), observer) == FObservers.end())
        FObservers.push_back(observer);
}

void TProject::RemoveObserver(TProjectObserver *observer) const
{
    FObservers.erase(std::remove(FObservers.begin(), FObservers.end(), observer), FObservers.end());
}

void TProject::NotifyChange(unsigned changes)
{
    FPending |= changes & pcAll;
    if (FUpdateDepth > 0 || FPending == 0)
        return;
    unsigned told = FPending;
    FPending = 0;
    std::vector<TProjectObserver *> observers = FObservers;   // safe against removal
    for (TProjectObserver *o : observers)
        o->ProjectChanged(told);
}

void TProject::EndUpdate()
{
    if (FUpdateDepth > 0 && --FUpdateDepth == 0)
        NotifyChange(0);
}

TProjectSnapshot TProject::Snapshot() const
{
    TProjectSnapshot s;
    s.Markers = FMarkers;
    s.Chapters = FChapters;
    s.Options = FOptions;
    s.Position = FPosition;
    s.ViewOffset = FViewOffset;
    s.FrameCount = FFrameCount;
    return s;
}

bool TProject::Restore(const TProjectSnapshot &s)
{
    if (s.FrameCount != FFrameCount)
        return false;
    BeginUpdate();
    FMarkers = s.Markers;
    FChapters = s.Chapters;
    SetOptions(s.Options);
    SetPosition(s.Position);
    SetViewOffset(s.ViewOffset);
    MarkersChanged();
    NotifyChange(pcChapters);
    EndUpdate();
    return true;
}

bool operator==(const TProjectSnapshot &a, const TProjectSnapshot &b)
{
    return a.Markers == b.Markers && a.Chapters == b.Chapters && a.Options == b.Options &&
           a.Position == b.Position && a.ViewOffset == b.ViewOffset && a.FrameCount == b.FrameCount;
}

int32_t TProject::PreviewOffset() const
{
    return FOptions.UseGlobalShift ? FOptions.GlobalShift : 0;
}

void TProject::ShowError(const char *key) const
{
    if (FUi)
        FUi->Error(Msg(key));
}

void TProject::ShowErrorText(const std::string &text) const
{
    if (FUi)
        FUi->Error(text);
}

bool TProject::VideoOpened(bool *asked)
{
    NotifyChange(pcMedia);
    if (asked)
        *asked = false;
    std::string name = FMedia ? FMedia->VideoFileName() : std::string();
    int32_t frames = FMedia ? FMedia->VideoFrameCount() : 0;
    int32_t rate = FMedia ? FMedia->VideoRate() : -1;
    int32_t scale = FMedia ? FMedia->VideoScale() : 1;
    if (frames <= 0 || name.empty()) {
        // A video that failed to open leaves the project without video.
        FVideoFileName.clear();
        FFrameCount = 0;
        FRateNum = -1;
        FRateDen = 1;
        ResetMarkers();
        return true;
    }
    // Rates are equal when round(new scale * old rate / old scale) = new rate.
    bool sameRate = FRateDen != 0 &&
                    std::nearbyintl(static_cast<long double>(scale) * FRateNum / FRateDen) == rate;
    bool same = frames == FFrameCount && sameRate;
    FVideoFileName = name;
    FFrameCount = frames;
    FRateNum = rate;
    FRateDen = scale;
    if (same) {
        RebuildSpline();
        return false;
    }
    bool reset = true;
    if (MarkerCount() > 0 && asked)
        *asked = true;
    if (MarkerCount() > 0 && FUi)
        reset = FUi->AskYesNo(Msg("MsgClrPrj"));
    if (reset) {
        ResetMarkers();
        SetFileName(std::string());
    } else {
        RebuildSpline();
    }
    return reset;
}

void TProject::AudioOpened()
{
    NotifyChange(pcMedia);
    uint32_t rate = FMedia ? FMedia->AudioSampleRate() : 0;
    if (rate > 0)
        FSampleTime = 1.0L / rate;
}

// --- markers ---------------------------------------------------------------

namespace {

bool FrameBefore(const TMarker &m, int32_t frame)
{
    return m.Frame < frame;
}

bool ChapterBefore(const TChapter &c, int32_t frame)
{
    return c.Frame < frame;
}

} // namespace

TMarker TProject::GetMarker(int32_t index) const
{
    if (index < 0 || index >= MarkerCount())
        return TMarker{};
    return FMarkers[static_cast<size_t>(index)];
}

std::string TProject::MarkerLine(int32_t index) const
{
    std::string line;
    if (index >= 0 && index < MarkerCount())
        FormatMarker(FMarkers[static_cast<size_t>(index)], line);
    return line;
}

int32_t TProject::FindMarker(int32_t frame) const
{
    auto it = std::lower_bound(FMarkers.begin(), FMarkers.end(), frame, FrameBefore);
    return it != FMarkers.end() && it->Frame == frame ? static_cast<int32_t>(it - FMarkers.begin()) : -1;
}

int32_t TProject::MarkerAtOrBefore(int32_t frame) const
{
    auto it = std::upper_bound(FMarkers.begin(), FMarkers.end(), frame,
                               [](int32_t f, const TMarker &m) { return f < m.Frame; });
    return static_cast<int32_t>(it - FMarkers.begin()) - 1;
}

int32_t TProject::AddMarker(const TMarker &marker)
{
    TMarker m;
    if (!CanonicalMarker(marker, m))
        return -1;
    auto it = std::lower_bound(FMarkers.begin(), FMarkers.end(), m.Frame, FrameBefore);
    if (it != FMarkers.end() && it->Frame == m.Frame)
        *it = m;
    else
        it = FMarkers.insert(it, m);
    const int32_t index = static_cast<int32_t>(it - FMarkers.begin());
    MarkersChanged();
    return index;
}

bool TProject::SetMarker(int32_t index, const TMarker &marker)
{
    TMarker m;
    if (index < 0 || index >= MarkerCount() || !CanonicalMarker(marker, m))
        return false;
    const size_t i = static_cast<size_t>(index);
    if ((i > 0 && FMarkers[i - 1].Frame >= m.Frame) || (i + 1 < FMarkers.size() && FMarkers[i + 1].Frame <= m.Frame))
        return false;
    FMarkers[i] = m;
    MarkersChanged();
    return true;
}

bool TProject::SetMarkers(std::vector<TMarker> markers)
{
    for (TMarker &m : markers)
        if (!CanonicalMarker(m, m))
            return false;
    std::stable_sort(markers.begin(), markers.end(),
                     [](const TMarker &a, const TMarker &b) { return a.Frame < b.Frame; });
    markers.erase(std::unique(markers.begin(), markers.end(),
                              [](const TMarker &a, const TMarker &b) { return a.Frame == b.Frame; }),
                  markers.end());
    FMarkers = std::move(markers);
    MarkersChanged();
    return true;
}

void TProject::DeleteMarker(int32_t index)
{
    if (index < 0 || index >= MarkerCount())
        return;
    FMarkers.erase(FMarkers.begin() + index);
    MarkersChanged();
}

void TProject::CorrectFollowing(int32_t index, int32_t delta)
{
    CorrectFollowingMilli(index, int64_t{delta} * 1000);
}

void TProject::CorrectFollowingMilli(int32_t index, int64_t deltaMilli)
{
    TMarker source = GetMarker(index);
    if (index < 0 || index >= MarkerCount() || !source.Affect ||
        (source.Kind != mkSpline && source.Kind != mkRelCut))
        return;
    bool changed = false;
    for (size_t i = static_cast<size_t>(index) + 1; i < FMarkers.size(); ++i) {
        TMarker m = FMarkers[i];
        if (m.Kind != mkSpline)
            continue;
        // A following point moves with an edited point, and compensates an edited cut.
        int64_t value = source.Kind == mkSpline ? MarkerMilli(m) - deltaMilli : MarkerMilli(m) + deltaMilli;
        if (value < (INT32_MIN + 1) * 1000LL || value > INT32_MAX * 1000LL || !SetMarkerMilli(m, value) ||
            !CanonicalMarker(m, m))
            continue;   // cannot be held as a line: the point keeps its value
        FMarkers[i] = m;
        changed = true;
    }
    if (changed)
        MarkersChanged();
}

void TProject::RebuildRuns()
{
    FRuns.resize(FMarkers.size());
    TMarkerRun run;
    for (size_t i = 0; i < FMarkers.size(); ++i) {
        const TMarker &m = FMarkers[i];
        if (!m.Deactivated) {
            switch (m.Kind) {
            case mkRelCut: run.CutShift += m.Shift(); break;
            case mkDShift: run.DoubleShift = m.Shift(); break;
            case mkOption:
                run.OptionFlags = OptionFlags(m.Value);
                if (OptionVolume(m.Value) >= 0)
                    run.DoubleVolume = static_cast<int16_t>(OptionVolume(m.Value));
                break;
            default: break;
            }
        }
        FRuns[i] = run;
    }
}

void TProject::MarkersChanged()
{
    RebuildRuns();
    RebuildSpline();
    NotifyChange(pcMarkers);
}

// --- chapters --------------------------------------------------------------

int32_t TProject::ChapterCount() const
{
    return FOptions.UseChapters ? ChapterListCount() : 0;
}

TChapter TProject::GetListChapter(int32_t index) const
{
    if (index < 0 || index >= ChapterListCount())
        return TChapter{};
    return FChapters[static_cast<size_t>(index)];
}

TChapter TProject::GetChapter(int32_t index) const
{
    if (!FOptions.UseChapters)
        return TChapter{};
    return GetListChapter(index);
}

std::string TProject::ChapterLine(int32_t index) const
{
    if (index < 0 || index >= ChapterListCount())
        return {};
    return FormatChapter(FChapters[static_cast<size_t>(index)].Frame);
}

int32_t TProject::AddChapter(const TChapter &chapter)
{
    if (chapter.Frame < 0)
        return -1;
    auto it = std::lower_bound(FChapters.begin(), FChapters.end(), chapter.Frame, ChapterBefore);
    if (it != FChapters.end() && it->Frame == chapter.Frame)
        *it = chapter;
    else
        it = FChapters.insert(it, chapter);
    NotifyChange(pcChapters);
    return static_cast<int32_t>(it - FChapters.begin());
}

bool TProject::DeleteChapter(int32_t index)
{
    if (index < 0 || index >= ChapterListCount() || GetListChapter(index).Frame == 0)
        return false;
    FChapters.erase(FChapters.begin() + index);
    NotifyChange(pcChapters);
    return true;
}

bool TProject::SetChapterEnabled(int32_t index, bool enabled)
{
    if (index < 0 || index >= ChapterListCount())
        return false;
    FChapters[static_cast<size_t>(index)].Enabled = enabled;
    NotifyChange(pcChapters);
    return true;
}

void TProject::ClearChapters()
{
    FChapters.clear();
    NotifyChange(pcChapters);
}

int32_t TProject::ChapterLength(int32_t index) const
{
    int32_t frame = GetChapter(index).Frame;
    if (frame < 0)
        return 0;
    int32_t next = GetChapter(index + 1).Frame;
    // A chapter ends at the next one or at the end of the video, whichever comes first;
    // one that starts past the video's end has no frames.
    int64_t end = std::min<int64_t>(next > 0 ? next : FFrameCount, FFrameCount);
    int64_t length = end - frame;
    return length > 0 ? static_cast<int32_t>(length) : 0;
}

void TProject::ChapterAt(int32_t frame, int32_t &number, int32_t &start, bool &enabled) const
{
    number = 0;
    start = 0;
    enabled = false;
    if (ChapterCount() == 0)
        return;
    auto it = std::upper_bound(FChapters.begin(), FChapters.end(), frame,
                               [](int32_t f, const TChapter &c) { return f < c.Frame; });
    if (it == FChapters.begin())
        return;
    number = static_cast<int32_t>(it - FChapters.begin());
    start = (it - 1)->Frame;
    enabled = (it - 1)->Enabled;
}

int32_t TProject::OutputFrameCount() const
{
    if (!HasVideo())
        return 0;
    int32_t count = ChapterCount();
    if (count == 0)
        return FFrameCount;
    int64_t sum = 0;
    for (int32_t i = 0; i < count; ++i)
        if (GetChapter(i).Enabled)
            sum += ChapterLength(i);
    return static_cast<int32_t>(sum);
}

int32_t TProject::LastOutputFrame() const
{
    if (!HasVideo())
        return -1;
    int32_t last = FFrameCount - 1;
    for (int32_t i = ChapterCount() - 1; i >= 0; --i) {
        TChapter c = GetChapter(i);
        if (c.Enabled)
            break;
        last = c.Frame - 1;
    }
    return last;
}

// --- whole project ----------------------------------------------------------

void TProject::ResetMarkers()
{
    FMarkers.clear();
    FChapters.assign(1, TChapter{0, true});
    FOptions.UseChapters = false;
    FOptions.ConcatChapters = false;
    MarkersChanged();
    NotifyChange(pcChapters | pcOptions);
}

void TProject::StartNew(const TProjectDefaults &defaults)
{
    SetDefaults(defaults);
    ClearProject();
    FOptions.PreviewEnv = defaults.PreviewEnv;
}

void TProject::ClearProject()
{
    BeginUpdate();
    if (FMedia)
        FMedia->CloseAll();
    FVideoFileName.clear();
    FFileName.clear();
    FViewOffset = 0;
    FPosition = 0;
    FFrameCount = 0;
    FRateNum = -1;
    FRateDen = 1;
    ResetMarkers();
    FOptions.GlobalShift = FDefaults.GlobalShift;
    FOptions.UseGlobalShift = FDefaults.UseGlobalShift;
    FOptions.CrossFading = true;
    // A new project takes the mixing choices of the settings and stores them.
    FOptions.Resampling = static_cast<TResampling>(FDefaults.Resampling);
    FOptions.CrossFadeMs = FDefaults.CrossFadeMs;
    FOptions.StoreMixing = true;
    FOptions.ForceVFW = false;
    FOptions.FlipImage = false;
    FChanged = false;
    NotifyChange(pcAll);
    EndUpdate();
}

} // namespace tessaly
