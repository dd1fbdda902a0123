// The enable rules of the main window's controls.
#include "project/enables.h"

#include <cstdlib>

#include "project/marker.h"
#include "project/project.h"
#include "platform/text_util.h"

namespace tessaly {

bool ParsePreviewRange(const std::string &text, long double &seconds)
{
    std::string t = TrimText(text);
    if (t.empty() || t.size() > 40)
        return false;
    for (char &c : t) {
        if (c == ',')
            c = '.';
        if (!(c == '.' || c == '-' || c == '+' || (c >= '0' && c <= '9') || c == 'e' || c == 'E'))
            return false;
    }
    char *end = nullptr;
    const long double v = std::strtold(t.c_str(), &end);
    if (!end || *end != '\0' || !(v >= 0.1L && v <= 1e10L))
        return false;
    seconds = v;
    return true;
}

bool PreviewRangeValid(const std::string &text)
{
    long double seconds = 0;
    return ParsePreviewRange(text, seconds);
}

TEnables CheckEnables(const TEnableState &s)
{
    TEnables e;
    const bool idle = !s.Busy;
    const bool editable = s.HasVideo && s.HasAudio && idle;
    const bool editing = s.Page == epEditing;
    const bool output = s.Page == epOutput;
    e.Always = true;
    e.Undo = s.CanUndo;
    e.Redo = s.CanRedo;
    e.OpenMedia = e.New = e.OpenProject = idle;
    e.Quit = true;   // quitting stops a running preview first
    e.Language = e.GlobalSettings = e.ProjectSettings = idle;
    e.Revert = s.HasName && s.Changed && idle;
    e.RemoveDouble = s.HasDouble && idle;
    e.RemoveReference = s.HasReference && idle;
    e.Preview = s.HasVideo && PreviewRangeValid(s.RangeText);
    e.Navigate = s.HasVideo && idle;
    e.ViewReference = s.HasVideo && s.HasReference;
    e.Optimization = s.HasVideo && s.OptimizationWindow;
    e.Save = e.SaveAs = e.MutePrimary = s.HasVideo && s.HasAudio;
    e.MuteDouble = s.HasVideo && s.HasAudio && s.HasDouble;
    e.NewMarkerButtons = editable && editing && s.PanelPage == mpNewMarker;
    e.InsertChapters = editable;
    e.Calculate = e.Analyze = editable && s.LastOutputFrame >= 0;
    e.SuggestMarkers = editable;
    e.ChangeStartOffset = editable && (s.MarkersExist || s.ChapterListCount > 1);
    e.MarkerList = editable && editing;
    e.DeleteMarker = editing && idle;
    e.EnableBox = editing && s.PanelPage == mpShiftProperties;
    e.ShiftField = e.EnableBox && s.EnableBoxTicked;
    e.AffectButton = e.ShiftField && (s.SelectedKind == mkSpline || s.SelectedKind == mkRelCut) && idle;
    e.OptionBoxes = editing && s.PanelPage == mpOptionProperties;
    e.VolumeField = e.OptionBoxes;
    // Moving needs a marker at the position and a free neighbouring frame.
    const bool movable = editing && idle && s.SelectedKind != mkNone;
    e.MoveBackward = movable && s.Position > 0 && !s.MarkerBefore;
    e.MoveForward = movable && s.Position < s.FrameCount - 1 && !s.MarkerAfter;
    e.SubdivideChapters = editable && output;
    e.CalculateButton = editable && output && s.LastOutputFrame >= 0;
    e.ChapterList = e.ConcatChapters = editable && output && s.ChaptersUsed;
    e.ChapterAdd = e.ChapterList && !s.ChapterOnP;
    e.ChapterDelete = e.ChapterList && s.LaterChapterOnP;
    e.CutPopup = e.MarkerList && s.SelectedKind == mkRelCut;
    // As the command line's move-marker: any marker of a project with a video.
    e.DragMarker = s.HasVideo && idle && s.MarkersExist;
    return e;
}

TMarkerPanelPage MarkerPanelPageOf(const TProject &project, TEditPage page)
{
    if (page == epOutput)
        return mpChapter;
    int32_t index = project.FindMarker(project.Position());
    if (index < 0)
        return mpNewMarker;
    return project.GetMarker(index).Kind == mkOption ? mpOptionProperties : mpShiftProperties;
}

TEnableState EnableStateOf(const TProject &p, const TWindowFacts &w)
{
    TEnableState s;
    s.HasVideo = p.HasVideo();
    s.HasAudio = p.HasAudio();
    s.HasDouble = p.HasDouble();
    s.HasReference = p.HasReference();
    s.Busy = w.Busy;
    s.HasName = !p.FileName().empty();
    s.Changed = p.Changed();
    s.Page = w.Page;
    s.PanelPage = MarkerPanelPageOf(p, w.Page);
    s.Position = p.Position();
    s.FrameCount = p.FrameCount();
    s.MarkerBefore = s.Position > 0 && p.FindMarker(s.Position - 1) >= 0;
    s.MarkerAfter = s.Position < INT32_MAX && p.FindMarker(s.Position + 1) >= 0;
    int32_t index = p.FindMarker(s.Position);
    if (index >= 0) {
        TMarker m = p.GetMarker(index);
        s.SelectedKind = m.Kind;
        s.EnableBoxTicked = !m.Deactivated;
    }
    s.MarkersExist = p.MarkerCount() > 0;
    s.ChapterListCount = p.ChapterListCount();
    s.ChaptersUsed = p.Options().UseChapters;
    for (int32_t i = 0; i < p.ChapterCount(); ++i) {
        if (p.GetChapter(i).Frame == s.Position) {
            s.ChapterOnP = true;
            s.LaterChapterOnP = i > 0;
        }
    }
    s.LastOutputFrame = p.LastOutputFrame();
    s.RangeText = w.RangeText;
    s.OptimizationWindow = w.OptimizationWindow;
    s.CanUndo = w.CanUndo;
    s.CanRedo = w.CanRedo;
    return s;
}

} // namespace tessaly
