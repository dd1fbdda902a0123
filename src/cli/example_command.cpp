// The `example` command: an in-memory project with every marker kind and chapters,
// printed frame by frame as the status line shows it.
#include "cli/example_command.h"

#include <cstdio>
#include <ostream>

#include "project/marker.h"
#include "project/marker_commands.h"
#include "project/project.h"

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

// Places the markers through the editing commands, as a user would.
void BuildExample(TProject &project)
{
    project.VideoOpened();
    project.AudioOpened();
    auto at = [&](int32_t frame) { project.SetPosition(frame); };
    at(40);
    EditMarkerValue(project, SetPoint(project), 2000);      // the audio lags 2 frames ...
    at(200);
    EditMarkerValue(project, SetPoint(project), -3000);     // ... and runs ahead at the end
    at(90);
    EditMarkerValue(project, SetPoint(project), 1000);      // a bend in between
    at(120);
    EditMarkerValue(project, SetRelCut(project), 5000);     // jump 5 frames forward
    at(150);
    EditMarkerValue(project, SetDShift(project), 4000);     // double track 4 frames later
    at(170);
    EditOptionMarker(project, SetOption(project), false, true, "80");   // double only, 80 %
    at(190);
    EditOptionMarker(project, SetOption(project), true, true, "");      // both again
    project.Options().UseChapters = true;
    at(100);
    AddChapterAtPosition(project);
    at(230);
    TickChapter(project, AddChapterAtPosition(project), false);
    project.SetPosition(0);
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
        if (args[i] == "--every" && i + 1 < args.size() && ParseInteger(args[i + 1], 1, 1000000, v)) {
            every = static_cast<int>(v);
            ++i;
            continue;
        }
        err << "tessaly-cli example: unknown argument \"" << args[i] << "\" (see --help)\n";
        return 2;
    }

    TExampleMedia media;
    TProject project(nullptr, &media);
    BuildExample(project);

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
