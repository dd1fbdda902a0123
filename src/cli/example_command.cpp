// The `example` command: an in-memory project with every marker kind and chapters,
// printed frame by frame as the status line shows it.
#include "cli/example_command.h"

#include <cstdio>
#include <ostream>

#include "platform/text_util.h"
#include "project/marker.h"
#include "project/project.h"
#include "project/project_editor.h"

namespace tessaly::cli {

namespace {

// The media facts of the example: a 250-frame clip at 25 fps with a 48 kHz track.
class TExampleMedia : public TProjectMedia {
public:
    std::string VideoFileName() const override { return "*96*72*0*250*25*1*"; }
    int32_t VideoFrameCount() const override { return 250; }
    int32_t VideoRate() const override { return 25; }
    int32_t VideoScale() const override { return 1; }
    bool HasAudio() const override { return true; }
    bool HasDouble() const override { return true; }
    bool HasReference() const override { return false; }
    uint32_t AudioSampleRate() const override { return 48000; }
    void CloseAll() override {}
};

// Places the markers through the editor, as a user would: the position, the button of
// the marker kind, then the value field.
void BuildExample(TProjectEditor &editor)
{
    editor.VideoOpened();
    editor.AudioOpened();
    auto place = [&](int32_t frame, TMarkerKind kind) {
        editor.MoveTo(frame);
        return editor.NewMarker(kind).Record.Target;
    };
    editor.SetShiftValue(place(40, mkSpline), "2");     // the audio lags 2 frames ...
    editor.SetShiftValue(place(200, mkSpline), "-3");   // ... and runs ahead at the end
    editor.SetShiftValue(place(90, mkSpline), "1");     // a bend in between
    editor.SetShiftValue(place(120, mkRelCut), "5");    // jump 5 frames forward
    editor.SetShiftValue(place(150, mkDShift), "4");    // double track 4 frames later
    editor.EditOptionMarker(place(170, mkOption), false, true, "80");   // double only, 80 %
    editor.EditOptionMarker(place(190, mkOption), true, true, "");      // both again
    editor.SetUseChapters(true);
    editor.AddChapter(100);
    editor.AddChapter(230, false);
    editor.MoveTo(0);
}

std::string Fixed(long double v, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Lf", decimals, v);
    return buf;
}

} // namespace

int RunExample(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    int every = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        int64_t v = 0;
        if (args[i] == "--help" || args[i] == "-h") {
            out << "usage: tessaly-cli example [--every N]\n"
                   "Builds a small example project in memory (a 250-frame clip at 25 fps with\n"
                   "spline points, a relative cut, a double shift, option markers and chapters)\n"
                   "and prints its markers, chapters and the state of every N-th frame.\n";
            return 0;
        }
        if (args[i] == "--every" && i + 1 < args.size() && ParseInt(args[i + 1], 1, 1000000, v, kFieldInt)) {
            every = static_cast<int>(v);
            ++i;
            continue;
        }
        err << "tessaly-cli example: unknown argument \"" << args[i] << "\" (see --help)\n";
        return 2;
    }

    TExampleMedia media;
    TProject project(nullptr, &media);
    TProjectEditor editor(project);
    BuildExample(editor);

    out << "Example project: " << project.FrameCount() << " frames at " << Fixed(project.Fps(), 3)
        << " fps, " << project.OutputFrameCount() << " output frames\n";
    out << "Markers:\n";
    for (int32_t i = 0; i < project.MarkerCount(); ++i)
        out << "  " << project.MarkerLine(i) << "\n";
    out << "Chapters:\n";
    for (int32_t i = 0; i < project.ChapterCount(); ++i)
        out << "  " << project.ChapterLine(i) << (project.GetChapter(i).Enabled ? "  on" : "  off") << "\n";
    out << "Frame states (frame, total shift = curve + cuts, double shift, options, volume, chapter):\n";
    for (int32_t f = 0; f < project.FrameCount(); f += every) {
        TFrameState s = project.GetStateAt(f);
        out << "Frame " << f << "  Shift " << Fixed(s.TotalShift(), 3) << " = " << Fixed(s.SplineShift, 3)
            << " + " << Fixed(s.CutShift, 0) << "  DShift " << Fixed(s.DoubleShift, 0) << "  "
            << (s.AudioOff() ? "- " : "A ") << (s.DoubleOff() ? "-" : "D") << "  " << s.DoubleVolume
            << " %  Chapter " << s.ChapterNumber << (s.ChapterEnabled ? "" : " (off)");
        if (s.MarkerIndex >= 0)
            out << "  <" << project.MarkerLine(s.MarkerIndex) << ">";
        out << "\n";
    }
    return 0;
}

} // namespace tessaly::cli
