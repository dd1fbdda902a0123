// `tessaly-cli project ...`: creates a project from media files and edits its markers,
// chapters and options, writing a project file the GUI loads.
#include <cctype>
#include <iostream>
#include <map>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/file_system.h"
#include "project/analysis.h"
#include "project/marker.h"
#include "project/project_session.h"

namespace tessaly::cli {

namespace {

const char *const kProjectHelp =
    "usage: tessaly-cli project SUBCOMMAND PROJECT.tsp [ARGS...] [OPTIONS]\n"
    "subcommands:\n"
    "  create PROJECT.tsp --video FILE [--audio FILE] [--double FILE] [--reference FILE]\n"
    "  create PROJECT.tsp --phantom W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]] [--audio FILE] ...\n"
    "                      writes a new project (existing files are replaced)\n"
    "  list PROJECT.tsp                  media, options, markers and chapters\n"
    "  add-marker PROJECT.tsp FRAME KIND [VALUE] [--affect] [--deactivated]\n"
    "             [--volume PERCENT] [--audio-off] [--double-off]\n"
    "                      KIND: spline, cut, double (shift of the double track) or option;\n"
    "                      VALUE: shift in frames, up to three decimals (not for option markers)\n"
    "  delete-marker PROJECT.tsp FRAME\n"
    "  add-chapter PROJECT.tsp FRAME [--disabled]   (also turns chapters on)\n"
    "  delete-chapter PROJECT.tsp FRAME\n"
    "  auto-chapters PROJECT.tsp (--interval FRAMES | --skip-cuts) [--keep]\n"
    "  set PROJECT.tsp [--use-chapters 0|1] [--concat-chapters 0|1] [--cross-fading 0|1]\n"
    "                  [--global-shift FRAMES] [--use-global-shift 0|1]\n"
    "Options may stand before or after the arguments.\n";

int Usage(const std::string &problem)
{
    std::cerr << "tessaly-cli project: " << problem << "\n" << kProjectHelp;
    return kExitUsage;
}

bool Load(TProjectSession &session, const std::string &file)
{
    if (!FileExists(file)) {
        std::cerr << "The project file \"" << file << "\" does not exist.\n";
        return false;
    }
    return session.LoadProject(file, true);
}

int Save(TProjectSession &session, const std::string &file)
{
    session.Project().SetChanged(true);
    return session.SaveProject(file) ? kExitOk : kExitFailure;
}

bool ParseBool(const TArgs &args, const std::string &name, bool &value, bool &bad)
{
    if (!args.Values.count(name))
        return false;
    std::string v = args.Value(name);
    if (v != "0" && v != "1") {
        bad = true;
        return false;
    }
    value = v == "1";
    return true;
}

int Create(const TArgs &args)
{
    const std::string &file = args.Positional[1];
    if (args.Has("--video") == args.Has("--phantom"))
        return Usage("create needs either --video or --phantom");
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui);
    bool ok;
    if (args.Has("--video")) {
        ok = session.OpenSource(srVideo, args.Value("--video"));
    } else {
        std::vector<long long> v;
        std::string text = args.Value("--phantom") + ",";
        for (size_t start = 0, p; (p = text.find(',', start)) != std::string::npos; start = p + 1) {
            long long n = 0;
            if (!ToInt(text.substr(start, p - start), 0, 2147483647, n))
                return Usage("--phantom needs W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]]");
            v.push_back(n);
        }
        if (v.size() < 4 || v.size() > 6)
            return Usage("--phantom needs W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]]");
        TPhantomClip clip;
        clip.Width = int32_t(v[0]);
        clip.Height = int32_t(v[1]);
        clip.Frames = int32_t(v[2]);
        clip.Rate = int32_t(v[3]);
        clip.Scale = v.size() > 4 ? int32_t(v[4]) : 1;
        clip.PixelFormat = v.size() > 5 ? int32_t(v[5]) : 3;
        ok = session.OpenPhantomClip(clip);
    }
    if (ok && args.Has("--audio"))
        ok = session.OpenSource(srAudio, args.Value("--audio"));
    if (ok && args.Has("--double"))
        ok = session.OpenSource(srDouble, args.Value("--double"));
    if (ok && args.Has("--reference"))
        ok = session.OpenSource(srReference, args.Value("--reference"));
    if (!ok)
        return kExitFailure;
    return Save(session, file);
}

void List(TProjectSession &session)
{
    TProject &p = session.Project();
    auto list = [&session](TSourceRole role) {
        std::string text = session.FileList(role);
        TPhantomClip clip;
        if (role == srVideo && session.Phantom(clip))
            text = FormatPhantom(clip);
        return text.empty() ? std::string("-") : text;
    };
    std::cout << "Video:     " << list(srVideo) << "\n";
    std::cout << "Audio:     " << list(srAudio) << "\n";
    std::cout << "Double:    " << list(srDouble) << "\n";
    std::cout << "Reference: " << list(srReference) << "\n";
    char fps[32];
    std::snprintf(fps, sizeof fps, "%.3Lf", p.Fps());
    std::cout << "Frames:    " << p.FrameCount() << " at " << fps << " fps, " << p.OutputFrameCount()
              << " output frames\n";
    const TProjectOptions &o = p.Options();
    std::cout << "Options:   UseChapters=" << o.UseChapters << " ConcatChapters=" << o.ConcatChapters
              << " CrossFading=" << o.CrossFading << " UseGlobalShift=" << o.UseGlobalShift
              << " GlobalShift=" << o.GlobalShift << "\n";
    std::cout << "Markers (" << p.MarkerCount() << "):\n";
    for (int32_t i = 0; i < p.MarkerCount(); ++i)
        std::cout << "  " << p.MarkerLine(i) << "\n";
    std::cout << "Chapters (" << p.ChapterListCount() << "):\n";
    for (int32_t i = 0; i < p.ChapterListCount(); ++i)
        std::cout << "  " << p.ChapterLine(i) << (p.GetListChapter(i).Enabled ? "  on" : "  off") << "\n";
}

int AddMarker(TProjectSession &session, const TArgs &args)
{
    static const std::map<std::string, uint8_t> kinds = {
        {"spline", mkSpline}, {"spl", mkSpline}, {"cut", mkRelCut},  {"double", mkDShift},
        {"dbl", mkDShift},    {"option", mkOption}, {"opt", mkOption}};
    if (args.Positional.size() < 4)
        return Usage("add-marker needs FRAME and KIND");
    long long frame = 0, volume = -1;
    if (!ToInt(args.Positional[2], 0, kMaxMarkerLineFrame, frame))
        return Usage("FRAME must be a frame number 0 .. 9999999");
    std::string kindText = args.Positional[3];
    for (char &c : kindText)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    auto kind = kinds.find(kindText);
    if (kind == kinds.end())
        return Usage("unknown marker kind \"" + args.Positional[3] + "\"");
    TMarker m;
    m.Frame = int32_t(frame);
    m.Kind = kind->second;
    if (m.Kind == mkOption) {
        if (args.Positional.size() != 4)
            return Usage("option markers take no VALUE (use --volume, --audio-off, --double-off)");
        if (args.Has("--volume") && !ToInt(args.Value("--volume"), 0, 999, volume))
            return Usage("--volume must be 0 .. 999");
        m.Value = PackOption(int32_t(volume), args.Has("--audio-off"), args.Has("--double-off"));
    } else {
        int64_t milli = 0;
        if (args.Positional.size() != 5 || !ParseMarkerMilli(args.Positional[4], 99999999, milli) ||
            milli < -9999999000LL || !SetMarkerMilli(m, milli))
            return Usage("this marker kind needs a VALUE in frames (up to three decimals)");
        m.Affect = args.Has("--affect") && (m.Kind == mkSpline || m.Kind == mkRelCut);
        m.Deactivated = args.Has("--deactivated");
    }
    if (session.Project().FrameCount() > 0 && m.Frame >= session.Project().FrameCount()) {
        std::cerr << "Frame " << m.Frame << " lies outside the video (" << session.Project().FrameCount()
                  << " frames).\n";
        return kExitFailure;
    }
    if (session.Project().AddMarker(m) < 0) {
        std::cerr << "The marker cannot be stored (its value is too wide).\n";
        return kExitFailure;
    }
    session.Project().RebuildSpline();
    return kExitOk;
}

} // namespace

int RunProject(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    const std::set<std::string> valued = {"--video",  "--audio",        "--double",        "--reference",
                                          "--phantom", "--volume",      "--interval",      "--use-chapters",
                                          "--concat-chapters", "--cross-fading", "--global-shift",
                                          "--use-global-shift"};
    const std::set<std::string> flags = {"--affect", "--deactivated", "--audio-off", "--double-off",
                                         "--disabled", "--skip-cuts", "--keep"};
    if (!ParseArgs(argv, valued, flags, args, error))
        return Usage(error);
    if (args.Has("--help")) {
        std::cout << kProjectHelp;
        return kExitOk;
    }
    if (args.Positional.size() < 2)
        return Usage("expected a subcommand and a project file");
    const std::string &sub = args.Positional[0];
    const std::string &file = args.Positional[1];
    std::string ext = ExtractFileExt(file);
    for (char &c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".tsp")
        return Usage("the project file must end in \".tsp\"");
    if (sub == "create") {
        if (args.Positional.size() != 2)
            return Usage("create takes only the project file (media by options)");
        return Create(args);
    }
    static const std::set<std::string> known = {"list", "add-marker", "delete-marker", "add-chapter",
                                                "delete-chapter", "auto-chapters", "set"};
    if (!known.count(sub))
        return Usage("unknown subcommand \"" + sub + "\"");
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui);
    if (!Load(session, file))
        return kExitFailure;
    TProject &p = session.Project();
    if (sub == "list") {
        if (args.Positional.size() != 2)
            return Usage("list takes only the project file");
        List(session);
        return kExitOk;
    }
    if (sub == "add-marker") {
        int r = AddMarker(session, args);
        return r == kExitOk ? Save(session, file) : r;
    }
    if (sub == "set") {
        bool bad = false, v = false;
        if (ParseBool(args, "--use-chapters", v, bad))
            p.Options().UseChapters = v;
        if (ParseBool(args, "--concat-chapters", v, bad))
            p.Options().ConcatChapters = v;
        if (ParseBool(args, "--cross-fading", v, bad))
            p.Options().CrossFading = v;
        if (ParseBool(args, "--use-global-shift", v, bad))
            p.Options().UseGlobalShift = v;
        long long shift = 0;
        if (args.Has("--global-shift")) {
            if (!ToInt(args.Value("--global-shift"), -1073741823, 1073741823, shift))
                return Usage("--global-shift must be an integer");
            p.Options().GlobalShift = int32_t(shift);
        }
        if (bad)
            return Usage("switches take 0 or 1");
        return Save(session, file);
    }
    if (sub == "auto-chapters") {
        long long interval = 0;
        bool skip = args.Has("--skip-cuts");
        if (skip == args.Has("--interval"))
            return Usage("auto-chapters needs either --interval FRAMES or --skip-cuts");
        if (!skip && !ToInt(args.Value("--interval"), 100, 2147483647, interval))
            return Usage("--interval must be at least 100 frames");
        InsertChapters(p, skip ? acSkipCutOut : acFixedLength, int32_t(interval), !args.Has("--keep"));
        return Save(session, file);
    }
    if (args.Positional.size() != 3)
        return Usage(sub + " needs FRAME");
    long long frame = 0;
    if (!ToInt(args.Positional[2], 0, 2147483647, frame))
        return Usage("FRAME must be a frame number");
    if (sub == "delete-marker") {
        int32_t index = p.FindMarker(int32_t(frame));
        if (index < 0) {
            std::cerr << "There is no marker at frame " << frame << ".\n";
            return kExitFailure;
        }
        p.DeleteMarker(index);
        p.RebuildSpline();
        return Save(session, file);
    }
    if (sub == "add-chapter") {
        if (p.FrameCount() > 0 && frame >= p.FrameCount()) {
            std::cerr << "Frame " << frame << " lies outside the video (" << p.FrameCount() << " frames).\n";
            return kExitFailure;
        }
        p.AddChapter(TChapter{int32_t(frame), !args.Has("--disabled")});
        p.Options().UseChapters = true;
        return Save(session, file);
    }
    // delete-chapter
    for (int32_t i = 0; i < p.ChapterListCount(); ++i) {
        if (p.GetListChapter(i).Frame == frame) {
            if (!p.DeleteChapter(i)) {
                std::cerr << "The start chapter at frame 0 cannot be deleted.\n";
                return kExitFailure;
            }
            return Save(session, file);
        }
    }
    std::cerr << "There is no chapter at frame " << frame << ".\n";
    return kExitFailure;
}

} // namespace tessaly::cli
