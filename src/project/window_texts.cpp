// Texts of the main window: status line, caption, marker panel, file panel, optimisation.
#include "project/window_texts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/marker.h"
#include "project/project.h"
#include "shell/messages.h"

namespace tessaly {

TStatusTexts StatusTexts(const TProject &project)
{
    TStatusTexts t;
    if (!project.HasVideo())
        return t;
    const int32_t p = project.Position();
    const int32_t offset = project.ViewOffset();
    t[spFrame] = Msg("WrdFrame") + " " + std::to_string(p);
    if (offset != 0)
        t[spFrame] += (offset > 0 ? " + " : " - ") + std::to_string(std::llabs(int64_t{offset}));
    if (project.Fps() > 0)
        t[spFrame] += "  " + FormatTimecode(p / project.Fps());
    TFrameState s = project.GetStateAt(p);
    t[spShift] = Msg("WrdShift") + " " + FormatFixed(s.TotalShift(), 3);
    t[spDShift] = Msg("WrdDShift") + " " + std::to_string(static_cast<long long>(std::nearbyintl(s.DoubleShift)));
    // Short captions say what the letters and the percentage are about.
    t[spOption] = Msg("WrdTracks") + " " + (s.AudioOff() ? "- " : "A ") + (s.DoubleOff() ? "-" : "D");
    t[spVolume] = Msg("WrdDblVol") + " " + std::to_string(s.DoubleVolume) + " %";
    t[spChapter] = Msg("WrdChapter") + " " + std::to_string(s.ChapterNumber);
    t[spChanged] = project.Changed() ? Msg("WrdChanged") : std::string();
    t[spName] = project.FileName().empty() ? "(" + Msg("WrdUnnamed") + ")" : ExtractFileName(project.FileName());
    return t;
}

std::string FormatTimecode(long double seconds)
{
    const bool negative = seconds < 0;
    const long long ms = std::llroundl(std::fabs(seconds) * 1000.0L);
    char text[48];
    std::snprintf(text, sizeof text, "%s%02lld:%02lld:%02lld.%03lld", negative ? "-" : "", ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string GotoAnswerAsFrame(const std::string &text, long double fps)
{
    if (text.find(':') == std::string::npos || !(fps > 0))
        return text;
    // Fields from the right: seconds (with a fraction), minutes, hours.
    long double seconds = 0, unit = 1;
    std::string rest = TrimText(text, kTextBlanks);
    for (int field = 0; field < 3; ++field) {
        const size_t colon = rest.rfind(':');
        const std::string part = colon == std::string::npos ? rest : rest.substr(colon + 1);
        if (part.empty() || part.size() > 12 || part.find_first_not_of("0123456789.,") != std::string::npos ||
            (field > 0 && part.find_first_of(".,") != std::string::npos))
            return text;
        std::string number = part;
        for (char &c : number)
            if (c == ',')
                c = '.';
        char *end = nullptr;
        const long double v = std::strtold(number.c_str(), &end);
        if (!end || *end != '\0')
            return text;
        seconds += v * unit;
        unit *= 60;
        if (colon == std::string::npos)
            return std::to_string(static_cast<long long>(std::floor(seconds * fps + 1e-6L)));
        rest = rest.substr(0, colon);
    }
    return text;   // more than three fields
}

std::string WindowCaption(const TProject &project, const std::string &programName)
{
    if (project.FileName().empty())
        return programName;
    return ExtractFileName(project.FileName()) + " - " + programName;
}

TMarkerPanel MarkerPanelOf(const TProject &project, TEditPage page)
{
    TMarkerPanel m;
    m.Page = MarkerPanelPageOf(project, page);
    const int32_t p = project.Position();
    for (int32_t i = 0; i < project.ChapterCount(); ++i)
        if (project.GetChapter(i).Frame == p)
            m.ChapterIndex = i;
    m.MarkerIndex = project.FindMarker(p);
    if (m.MarkerIndex < 0)
        return m;
    TMarker marker = project.GetMarker(m.MarkerIndex);
    if (marker.Kind == mkOption) {
        m.AudioTicked = (marker.Value & kOptionAudioOff) == 0;
        m.DoubleTicked = (marker.Value & kOptionDoubleOff) == 0;
        int32_t volume = OptionVolume(marker.Value);
        m.VolumeText = volume < 0 ? std::string() : std::to_string(volume);
    } else {
        m.EnableTicked = !marker.Deactivated;
        // The whole shift with its fraction ("3.25", "-0.04"): editing it keeps the fraction.
        m.ShiftText = FormatMarkerMilli(MarkerMilli(marker));
        if (!m.ShiftText.empty() && m.ShiftText[0] == '+')
            m.ShiftText.erase(0, 1);
        m.AffectDown = marker.Affect;
    }
    return m;
}

std::string MarkerListText(const TProject &project, int32_t index)
{
    return project.MarkerLine(index);
}

std::string ChapterListText(const TProject &project, int32_t index)
{
    TChapter c = project.GetListChapter(index);
    if (c.Frame < 0)
        return {};
    std::string word = c.Frame == 0 ? Msg("WrdStart") : Msg("WrdChapter");
    word = word.substr(0, 7);
    word.resize(7, ' ');
    std::string frame = std::to_string(c.Frame);
    return word + std::string(frame.size() < 9 ? 9 - frame.size() : 0, ' ') + frame;
}

std::string EditStepName(const TProject &project, const TEditRecord &record)
{
    if (record.Kind == ekNewMarker) {
        static const char *const byKind[] = {"WrdEdtNewSpline", "WrdEdtNewCut", "WrdEdtNewDShift", "WrdEdtNewOption"};
        const int32_t i = record.Target;
        const uint8_t kind = i >= 0 && i < project.MarkerCount() ? project.GetMarker(i).Kind : uint8_t(mkNone);
        return Msg(kind >= mkSpline && kind <= mkOption ? byKind[kind - mkSpline] : "WrdEdtNewMarker");
    }
    static const char *const keys[] = {"WrdEdtNone",       "WrdEdtNewMarker",   "WrdEdtDeleteMarker", "WrdEdtShift",
                                       "WrdEdtEnable",     "WrdEdtAffect",      "WrdEdtOption",       "WrdEdtMove",
                                       "WrdEdtStartOfs",   "WrdEdtAddChapter",  "WrdEdtDelChapter",   "WrdEdtTickChapter",
                                       "WrdEdtUseChapters", "WrdEdtConcat",     "WrdEdtInsChapters",  "WrdEdtRemoveDeact",
                                       "WrdEdtPrjOptions", "WrdEdtSuggest"};
    const int k = int(record.Kind);
    return Msg(k >= 0 && k < int(std::size(keys)) ? keys[k] : keys[0]);
}

std::string UndoItemText(const std::string &stepName)
{
    return FormatText(Msg("WrdEdtUndo"), {stepName});
}

std::string RedoItemText(const std::string &stepName)
{
    return FormatText(Msg("WrdEdtRedo"), {stepName});
}

std::string FirstSegmentName(const std::string &fileList)
{
    size_t bar = fileList.find('|');
    std::string first = TrimText(fileList.substr(0, bar), kTextBlanks);
    size_t star = first.find('*');
    if (bar != std::string::npos && star != std::string::npos) {
        size_t next = fileList.find('|', bar + 1);
        first.replace(star, 1, TrimText(fileList.substr(bar + 1, next == std::string::npos ? next : next - bar - 1), kTextBlanks));
    }
    return first;
}

std::string OpenErrorLead(TSourceRole role, const std::string &fileList)
{
    static const char *const keys[] = {"ErrOpenVid", "ErrOpenAud", "ErrOpenDbl", "ErrOpenRef"};
    return FormatText(Msg(keys[role]), {FirstSegmentName(fileList)});
}

std::string FilePanelName(const TProjectSources &sources, TSourceRole role)
{
    return FirstSegmentName(sources.FileList(role));
}

TOptimizationView OptimizationViewOf(const TDeactivatedStats &stats)
{
    TOptimizationView v;
    v.CountText = "(" + std::to_string(stats.Count) + ")";
    v.FrameText = "-";
    if (stats.Count <= 0)
        return v;
    // Every deactivated marker may lie on the curve: no frame to go to, deviation 0.
    v.ButtonsEnabled = true;
    if (stats.Frame >= 0) {
        v.Frame = stats.Frame;
        v.FrameText = std::to_string(stats.Frame);
    }
    v.DeviationText = FormatFixed(stats.Error, 3);
    long double cls = std::trunc(std::fabs(stats.Error) * 2);
    v.Colour = cls < 1 ? dcGreen : cls < 2 ? dcYellow : dcRed;
    return v;
}

} // namespace tessaly
