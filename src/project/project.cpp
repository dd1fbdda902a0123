// TProject: media facts, marker and chapter lists, calculation caches, reset and clear.
#include "project/project.h"

#include <algorithm>
#include <cmath>

#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

TProject::TProject(TUserInterface *ui, TProjectMedia *media) : FUi(ui), FMedia(media)
{
    FChapters.push_back({FormatChapter(0), true});
}

long double TProject::Fps() const
{
    if (!HasVideo() || FRateDen == 0)
        return 0;
    return static_cast<long double>(FRateNum) / FRateDen;
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

void TProject::AddObserver(TProjectObserver *observer)
{
    if (observer && std::find(FObservers.begin(), FObservers.end(), observer) == FObservers.end())
        FObservers.push_back(observer);
}

void TProject::RemoveObserver(TProjectObserver *observer)
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
    RefreshCache();
    SetOptions(s.Options);
    SetPosition(s.Position);
    SetViewOffset(s.ViewOffset);
    RebuildSpline();
    NotifyChange(pcMarkers | pcChapters);
    EndUpdate();
    return true;
}

bool operator==(const TChapterEntry &a, const TChapterEntry &b)
{
    return a.Line == b.Line && a.Enabled == b.Enabled;
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

TMarker TProject::GetMarker(int32_t index) const
{
    TMarker m;
    if (index < 0 || index >= MarkerCount())
        return m;
    if (FCalculating)
        return FMarkerCache[static_cast<size_t>(index)];
    if (!ParseMarker(FMarkers[static_cast<size_t>(index)], m))
        return TMarker{};
    return m;
}

std::string TProject::MarkerLine(int32_t index) const
{
    if (index < 0 || index >= MarkerCount())
        return {};
    return FMarkers[static_cast<size_t>(index)];
}

int32_t TProject::FindMarker(int32_t frame) const
{
    for (int32_t i = 0; i < MarkerCount(); ++i) {
        int32_t f = GetMarker(i).Frame;
        if (f == frame)
            return i;
        if (f > frame)
            break;
    }
    return -1;
}

int32_t TProject::AddMarker(const TMarker &marker)
{
    std::string line;
    if (!FormatMarker(marker, line))
        return -1;
    // Walk back from the end: replace on the same frame, else insert behind the
    // first marker with a smaller frame.
    int32_t i = MarkerCount() - 1;
    for (; i >= 0; --i) {
        int32_t f = GetMarker(i).Frame;
        if (f == marker.Frame) {
            FMarkers[static_cast<size_t>(i)] = line;
            RefreshCache();
            NotifyChange(pcMarkers);
            return i;
        }
        if (f < marker.Frame)
            break;
    }
    FMarkers.insert(FMarkers.begin() + (i + 1), line);
    RefreshCache();
    NotifyChange(pcMarkers);
    return i + 1;
}

bool TProject::SetMarker(int32_t index, const TMarker &marker)
{
    std::string line;
    if (index < 0 || index >= MarkerCount() || !FormatMarker(marker, line))
        return false;
    FMarkers[static_cast<size_t>(index)] = line;
    RefreshCache();
    NotifyChange(pcMarkers);
    return true;
}

void TProject::DeleteMarker(int32_t index)
{
    if (index < 0 || index >= MarkerCount())
        return;
    FMarkers.erase(FMarkers.begin() + index);
    RefreshCache();
    NotifyChange(pcMarkers);
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
    for (int32_t i = index + 1; i < MarkerCount(); ++i) {
        TMarker m = GetMarker(i);
        if (m.Kind != mkSpline)
            continue;
        // A following point moves with an edited point, and compensates an edited cut.
        int64_t value = source.Kind == mkSpline ? MarkerMilli(m) - deltaMilli : MarkerMilli(m) + deltaMilli;
        if (value < (INT32_MIN + 1) * 1000LL || value > INT32_MAX * 1000LL || !SetMarkerMilli(m, value))
            continue;   // cannot be held; such a value would not format either
        AddMarker(m);
    }
}

// --- chapters --------------------------------------------------------------

int32_t TProject::ChapterCount() const
{
    return FOptions.UseChapters ? ChapterListCount() : 0;
}

TChapter TProject::GetListChapter(int32_t index) const
{
    TChapter c;
    if (index < 0 || index >= ChapterListCount())
        return c;
    if (FCalculating)
        return FChapterCache[static_cast<size_t>(index)];
    const TChapterEntry &e = FChapters[static_cast<size_t>(index)];
    c.Frame = ParseChapterFrame(e.Line);
    c.Enabled = c.Frame >= 0 && e.Enabled;
    return c;
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
    return FChapters[static_cast<size_t>(index)].Line;
}

int32_t TProject::AddChapter(const TChapter &chapter)
{
    TChapterEntry entry{FormatChapter(chapter.Frame), chapter.Enabled};
    int32_t i = ChapterListCount() - 1;
    for (; i >= 0; --i) {
        int32_t f = GetListChapter(i).Frame;
        if (f == chapter.Frame) {
            FChapters[static_cast<size_t>(i)] = entry;
            RefreshCache();
            NotifyChange(pcChapters);
            return i;
        }
        if (f < chapter.Frame)
            break;
    }
    FChapters.insert(FChapters.begin() + (i + 1), entry);
    RefreshCache();
    NotifyChange(pcChapters);
    return i + 1;
}

bool TProject::DeleteChapter(int32_t index)
{
    if (index < 0 || index >= ChapterListCount() || GetListChapter(index).Frame == 0)
        return false;
    FChapters.erase(FChapters.begin() + index);
    RefreshCache();
    NotifyChange(pcChapters);
    return true;
}

bool TProject::SetChapterEnabled(int32_t index, bool enabled)
{
    if (index < 0 || index >= ChapterListCount())
        return false;
    FChapters[static_cast<size_t>(index)].Enabled = enabled;
    RefreshCache();
    NotifyChange(pcChapters);
    return true;
}

void TProject::ClearChapters()
{
    FChapters.clear();
    RefreshCache();
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
    int32_t count = ChapterCount();
    for (int32_t i = 0; i < count; ++i) {
        TChapter c = GetChapter(i);
        if (c.Frame > frame)
            break;
        number = i + 1;
        start = c.Frame;
        enabled = c.Enabled;
    }
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

// --- caches and whole project ----------------------------------------------

void TProject::BeginCalc()
{
    FCalculating = false;   // read the lists themselves while filling
    FMarkerCache.clear();
    FMarkerCache.reserve(FMarkers.size());
    for (int32_t i = 0; i < MarkerCount(); ++i)
        FMarkerCache.push_back(GetMarker(i));
    FChapterCache.clear();
    FChapterCache.reserve(FChapters.size() + 1);   // at least one entry
    for (int32_t i = 0; i < ChapterListCount(); ++i)
        FChapterCache.push_back(GetListChapter(i));
    FCalculating = true;
}

void TProject::EndCalc()
{
    FCalculating = false;
    FMarkerCache.clear();
    FMarkerCache.shrink_to_fit();
    FChapterCache.clear();
    FChapterCache.shrink_to_fit();
}

void TProject::RefreshCache()
{
    if (FCalculating)
        BeginCalc();
}

void TProject::ResetMarkers()
{
    FMarkers.clear();
    FChapters.clear();
    FChapters.push_back({FormatChapter(0), true});
    RefreshCache();
    FOptions.UseChapters = false;
    FOptions.ConcatChapters = false;
    RebuildSpline();
    NotifyChange(pcMarkers | pcChapters | pcOptions);
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
