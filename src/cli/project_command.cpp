// `tessaly-cli project ...`: creates a project from media files and edits its markers,
// chapters and options, writing a project file the GUI loads.
#include <iostream>
#include <map>
#include <tuple>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/analysis.h"
#include "project/enables.h"
#include "project/marker.h"
#include "project/media_open.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/app_context.h"

namespace tessaly::cli {

namespace {

const char *const kProjectHelp =
    "usage: tessaly-cli project SUBCOMMAND PROJECT.tsp [ARGS...] [OPTIONS]\n"
    "subcommands:\n"
    "  create PROJECT.tsp --video FILE [--audio FILE] [--double FILE] [--reference FILE]\n"
    "  create PROJECT.tsp --phantom W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]] [--audio FILE] ...\n"
    "         [--audio-stream N] [--double-stream N] [--segments all|first] [--yes]\n"
    "                      writes a new project (existing files are replaced). Numbered\n"
    "                      files (clip001.avi, clip002.avi ...) open as one source, or\n"
    "                      only the named one with --segments first; --yes answers the\n"
    "                      smart-rendering question with Yes. --audio-stream and\n"
    "                      --double-stream pick the audio stream of a file that holds\n"
    "                      several, by its number in the file (as `info` and ffprobe\n"
    "                      number them); without them the first audio stream is taken.\n"
    "  list PROJECT.tsp                  media, options, markers and chapters\n"
    "  add-marker PROJECT.tsp FRAME KIND [VALUE] [--affect] [--deactivated]\n"
    "             [--volume PERCENT] [--audio-off] [--double-off] [--replace]\n"
    "                      KIND: spline, cut, double (shift of the double track) or option;\n"
    "                      VALUE: shift in frames, up to three decimals (not for option\n"
    "                      markers). A frame that holds a marker is refused unless --replace is given.\n"
    "  new-marker PROJECT.tsp FRAME KIND [--replace]\n"
    "                      as the window's buttons: the value the curve has at FRAME\n"
    "  delete-marker PROJECT.tsp FRAME   (an active Affect cut passes its value on)\n"
    "  move-marker PROJECT.tsp FRAME STEPS   (never onto or past another marker)\n"
    "  set-value PROJECT.tsp FRAME VALUE     (the following points follow an Affect marker)\n"
    "  enable-marker PROJECT.tsp FRAME 0|1\n"
    "  affect PROJECT.tsp FRAME 0|1\n"
    "  edit-option PROJECT.tsp FRAME [--audio-on 0|1] [--double-on 0|1] [--volume PERCENT|none]\n"
    "  start-offset PROJECT.tsp FRAMES   moves every marker and chapter, audio kept in place\n"
    "  remove-deactivated PROJECT.tsp\n"
    "  add-chapter PROJECT.tsp FRAME [--disabled]   (also turns chapters on)\n"
    "  delete-chapter PROJECT.tsp FRAME\n"
    "  tick-chapter PROJECT.tsp FRAME 0|1\n"
    "  auto-chapters PROJECT.tsp (--interval FRAMES | --skip-cuts) [--keep]\n"
    "  goto PROJECT.tsp FRAME            the stored position (view offset 0)\n"
    "  set PROJECT.tsp [--use-chapters 0|1] [--concat-chapters 0|1] [--cross-fading 0|1]\n"
    "                  [--global-shift FRAMES] [--use-global-shift 0|1] [--pre-scan 0|1]\n"
    "                  [--original-size 0|1] [--force-vfw 0|1] [--flip-image 0|1]\n"
    "                  [--marker-size 1|2|3] [--ref-zoom PERCENT] [--preview-range SECONDS]\n"
    "                  [--zoom PERCENT] [--resampling sample-copy|band-limited|keep-pitch]\n"
    "                  [--cross-fade-ms MS]   (fade at cuts and track switches, 0 .. 1000)\n"
    "Options may stand before or after the arguments. A refused edit changes nothing.\n";

int Usage(const std::string &problem)
{
    std::cerr << "tessaly-cli project: " << problem << "\n" << kProjectHelp;
    return kExitUsage;
}

bool Load(TProjectSession &session, const std::string &file)
{
    if (const std::string problem = ProjectFileProblem(file); !problem.empty()) {
        std::cerr << problem << "\n";
        return false;
    }
    return session.LoadProject(file, true);
}

int Save(TProjectSession &session, const std::string &file)
{
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

// The open commands' settings: segment search and the smart-rendering question as the
// user set them; the command line never stores folders.
TOpenMediaOptions CreateOptions(const TAppContext &context)
{
    TOpenMediaOptions options;
    options.SegmentSearch = context.Settings().SegmentSearch();
    options.SRWarnOnLoad = context.Settings().SRWarnOnLoad();
    return options;
}

// --phantom W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]]; false when malformed.
bool PhantomArgument(const std::string &value, TPhantomClip &clip)
{
    std::vector<int64_t> v;
    std::string text = value + ",";
    for (size_t start = 0, p; (p = text.find(',', start)) != std::string::npos; start = p + 1) {
        int64_t n = 0;
        if (!ParseInt(text.substr(start, p - start), 0, 2147483647, n))
            return false;
        v.push_back(n);
    }
    if (v.size() < 4 || v.size() > 6)
        return false;
    clip.Width = int32_t(v[0]);
    clip.Height = int32_t(v[1]);
    clip.Frames = int32_t(v[2]);
    clip.Rate = int32_t(v[3]);
    clip.Scale = v.size() > 4 ? int32_t(v[4]) : 1;
    clip.PixelFormat = v.size() > 5 ? int32_t(v[5]) : 3;
    return true;
}

int Create(const TAppContext &context, const TArgs &args)
{
    const std::string &file = args.Positional[1];
    if (args.Has("--video") == args.Has("--phantom"))
        return Usage("create needs either --video or --phantom");
    const std::string segments = args.Value("--segments", "all");
    if (segments != "all" && segments != "first")
        return Usage("--segments takes all or first");
    TPhantomClip clip;
    if (args.Has("--phantom") && !PhantomArgument(args.Value("--phantom"), clip))
        return Usage("--phantom needs W,H,FRAMES,RATE[,SCALE[,PIXELFORMAT]]");
    // An audio stream named by its number travels in the kind string ("AUTO|2").
    std::string audioKind = "AUTO|-1", doubleKind = "AUTO|-1";
    for (auto [option, kind] : {std::pair{"--audio-stream", &audioKind}, std::pair{"--double-stream", &doubleKind}}) {
        int64_t n = 0;
        if (!args.Has(option))
            continue;
        if (!ParseInt(args.Value(option), 0, INT32_MAX, n))
            return Usage(std::string(option) + " takes a stream number (0 or more)");
        *kind = "AUTO|" + std::to_string(n);
    }
    if (args.Has("--audio-stream") && !args.Has("--audio"))
        return Usage("--audio-stream needs --audio");
    if (args.Has("--double-stream") && !args.Has("--double"))
        return Usage("--double-stream needs --double");
    TConsoleUserInterface ui(args.Has("--yes"));
    ui.SetSegmentChoice(segments == "all" ? scAll : scSelected);
    TProjectSession session(&ui, context.ProjectDefaults());
    const TOpenMediaOptions options = CreateOptions(context);
    // The window's open commands, one after the other; each may add a second source
    // silently (a video's sound as double track, an AVI's picture as reference).
    TOpenOutcome outcome = args.Has("--video") ? OpenMedia(session, srVideo, args.Value("--video"), "AUTO|-1", options)
                                               : (session.OpenPhantomClip(clip) ? ooOpened : ooFailed);
    const std::tuple<const char *, TSourceRole, std::string> tracks[] = {
        {"--audio", srAudio, audioKind}, {"--double", srDouble, doubleKind}, {"--reference", srReference, "AUTO|-1"}};
    for (const auto &[option, role, kind] : tracks)
        if (outcome == ooOpened && args.Has(option))
            outcome = OpenMedia(session, role, args.Value(option), kind, options);
    if (outcome == ooCancelled)
        std::cerr << "tessaly-cli project: nothing written (a question was not answered yes)\n";
    if (outcome != ooOpened)
        return kExitFailure;
    if (!args.Has("--double") && session.Project().HasDouble())
        std::cerr << "note: the video's sound is the double audio track\n";
    if (!args.Has("--reference") && session.Project().HasReference())
        std::cerr << "note: the audio file's video is the reference video\n";
    return Save(session, file);
}

void List(TProjectSession &session)
{
    const TProject &p = session.Project();
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
    std::cout << "Mixing:    Resampling=" << ResamplingName(o.Resampling) << " CrossFadeMs=" << o.CrossFadeMs << "\n";
    std::cout << "Markers (" << p.MarkerCount() << "):\n";
    for (int32_t i = 0; i < p.MarkerCount(); ++i)
        std::cout << "  " << p.MarkerLine(i) << "\n";
    std::cout << "Chapters (" << p.ChapterListCount() << "):\n";
    for (int32_t i = 0; i < p.ChapterListCount(); ++i)
        std::cout << "  " << p.ChapterLine(i) << (p.GetListChapter(i).Enabled ? "  on" : "  off") << "\n";
}

// Reports a refused edit; an edit that had nothing to do is not an error.
int Outcome(TProjectSession &session, const std::string &file, const TEditResult &r)
{
    if (!r.Applied && !r.Error.empty()) {
        std::cerr << "tessaly-cli project: " << TerminalText(r.Error) << "\n";
        return kExitFailure;
    }
    return r.Applied ? Save(session, file) : kExitOk;
}

bool MarkerKind(const std::string &text, TMarkerKind &kind)
{
    static const std::map<std::string, TMarkerKind> kinds = {
        {"SPLINE", mkSpline}, {"SPL", mkSpline}, {"CUT", mkRelCut},  {"DOUBLE", mkDShift},
        {"DBL", mkDShift},    {"OPTION", mkOption}, {"OPT", mkOption}};
    auto it = kinds.find(UpperAscii(text));
    if (it == kinds.end())
        return false;
    kind = it->second;
    return true;
}

int AddMarker(TProjectSession &session, const TArgs &args, const std::string &file)
{
    if (args.Positional.size() < 4)
        return Usage("add-marker needs FRAME and KIND");
    int64_t frame = 0, volume = -1;
    if (!ParseInt(args.Positional[2], 0, kMaxMarkerLineFrame, frame))
        return Usage("FRAME must be a frame number 0 .. 9999999");
    TMarkerKind kind = mkNone;
    if (!MarkerKind(args.Positional[3], kind))
        return Usage("unknown marker kind \"" + args.Positional[3] + "\"");
    TMarker m;
    m.Frame = int32_t(frame);
    m.Kind = kind;
    if (m.Kind == mkOption) {
        if (args.Positional.size() != 4)
            return Usage("option markers take no VALUE (use --volume, --audio-off, --double-off)");
        if (args.Has("--volume") && !ParseInt(args.Value("--volume"), 0, 999, volume))
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
    return Outcome(session, file, session.Editor().PlaceMarker(m, args.Has("--replace")));
}

// The marker on `frame` as an index, or a message on stderr.
bool MarkerAt(TProjectSession &session, int64_t frame, int32_t &index)
{
    index = frame > INT32_MAX ? -1 : session.Project().FindMarker(int32_t(frame));
    if (index < 0)
        std::cerr << "tessaly-cli project: " << FormatText(Msg("ErrNoMarkerAt"), {std::to_string(frame)}) << "\n";
    return index >= 0;
}

int ChapterIndex(const TProject &p, int64_t frame)
{
    for (int32_t i = 0; i < p.ChapterListCount(); ++i)
        if (p.GetListChapter(i).Frame == frame)
            return i;
    return -1;
}

// `set`: every option given is checked before the options change at once.
int SetOptions(TProjectSession &session, const TArgs &args, const std::string &file)
{
    TProjectOptions o = session.Project().Options();
    const std::pair<const char *, bool TProjectOptions::*> switches[] = {
        {"--use-chapters", &TProjectOptions::UseChapters},   {"--concat-chapters", &TProjectOptions::ConcatChapters},
        {"--cross-fading", &TProjectOptions::CrossFading},   {"--use-global-shift", &TProjectOptions::UseGlobalShift},
        {"--pre-scan", &TProjectOptions::PreScan},           {"--original-size", &TProjectOptions::DisableZoom},
        {"--force-vfw", &TProjectOptions::ForceVFW},         {"--flip-image", &TProjectOptions::FlipImage}};
    bool bad = false;
    for (const auto &[name, field] : switches)
        ParseBool(args, name, o.*field, bad);
    if (bad)
        return Usage("switches take 0 or 1");
    const std::tuple<const char *, int32_t TProjectOptions::*, int64_t, int64_t> numbers[] = {
        {"--global-shift", &TProjectOptions::GlobalShift, -1073741823, 1073741823},
        {"--marker-size", &TProjectOptions::MarkerDrawSize, 1, 3},
        {"--ref-zoom", &TProjectOptions::RefZoom, 1, 100000},
        {"--cross-fade-ms", &TProjectOptions::CrossFadeMs, 0, kMaxCrossFadeMs}};
    for (const auto &[name, field, lo, hi] : numbers) {
        int64_t v = 0;
        if (!args.Has(name))
            continue;
        if (!ParseInt(args.Value(name), lo, hi, v))
            return Usage(std::string(name) + " must be an integer " + std::to_string(lo) + " .. " + std::to_string(hi));
        o.*field = int32_t(v);
    }
    if (args.Has("--preview-range")) {
        if (!PreviewRangeValid(args.Value("--preview-range")))
            return Usage("--preview-range must be a number of seconds from 0.1 to 1e10");
        o.PreviewEnv = args.Value("--preview-range");
    }
    if (args.Has("--resampling") && !ParseResampling(args.Value("--resampling"), o.Resampling))
        return Usage("--resampling must be sample-copy, band-limited or keep-pitch");
    if (args.Has("--zoom")) {
        int64_t z = 0;
        if (!ParseInt(args.Value("--zoom"), 1, 100000, z))
            return Usage("--zoom must be a percentage");
        o.Zoom = std::to_string(z);
    }
    return Outcome(session, file, session.Editor().SetOptions(o));
}

int EditMarker(TProjectSession &session, const TArgs &args, const std::string &sub, const std::string &file,
               int32_t index);

// The subcommands that take FRAME (and more) after the project file.
int EditAtFrame(TProjectSession &session, const TArgs &args, const std::string &sub, const std::string &file)
{
    const TProject &p = session.Project();
    TProjectEditor &ed = session.Editor();
    static const std::map<std::string, size_t> arity = {
        {"new-marker", 4},   {"delete-marker", 3}, {"move-marker", 4}, {"set-value", 4},
        {"enable-marker", 4}, {"affect", 4},       {"edit-option", 3}, {"add-chapter", 3},
        {"delete-chapter", 3}, {"tick-chapter", 4}, {"goto", 3},
        {"start-offset", 3}};
    if (args.Positional.size() != arity.at(sub))
        return Usage(sub + " takes " + std::to_string(arity.at(sub) - 2) + " argument(s) after the project file");
    int64_t n = 0;
    bool signedArg = sub == "start-offset";
    if (!ParseInt(args.Positional[2], signedArg ? -2147483647 : 0, 2147483647, n))
        return Usage(signedArg ? "FRAMES must be an integer" : "FRAME must be a frame number");
    const std::string extra = args.Positional.size() > 3 ? args.Positional[3] : std::string();
    bool on = extra == "1";
    if ((sub == "enable-marker" || sub == "affect" || sub == "tick-chapter") && extra != "0" && extra != "1")
        return Usage(sub + " takes 0 or 1");
    int32_t frame = int32_t(n), index = -1;
    if (sub == "new-marker") {
        TMarkerKind kind = mkNone;
        if (!MarkerKind(extra, kind))
            return Usage("unknown marker kind \"" + extra + "\"");
        TEditResult moved = ed.MoveTo(frame);
        if (!moved.Applied)
            return Outcome(session, file, moved);
        return Outcome(session, file, ed.NewMarker(kind, args.Has("--replace")));
    }
    if (sub == "delete-marker")
        return Outcome(session, file, ed.DeleteMarker(frame));
    if (sub == "move-marker") {
        int64_t steps = 0;
        if (!ParseInt(extra, -2147483647, 2147483647, steps))
            return Usage("STEPS must be an integer");
        return Outcome(session, file, ed.MoveMarker(frame, int32_t(steps)));
    }
    if (sub == "start-offset")
        return Outcome(session, file, ed.ChangeStartOffset(frame));
    if (sub == "add-chapter") {
        TEditResult r = ed.AddChapter(frame, !args.Has("--disabled"));
        if (r.Applied)
            ed.SetUseChapters(true);
        return Outcome(session, file, r);
    }
    if (sub == "delete-chapter")
        return Outcome(session, file, ed.DeleteChapter(frame));
    if (sub == "tick-chapter") {
        int i = ChapterIndex(p, n);
        if (i < 0) {
            std::cerr << "tessaly-cli project: " << FormatText(Msg("ErrNoChapterAt"), {std::to_string(n)}) << "\n";
            return kExitFailure;
        }
        return Outcome(session, file, ed.TickChapter(i, on));
    }
    if (sub == "goto")
        return Outcome(session, file, ed.GotoFrameText(args.Positional[2]));
    if (!MarkerAt(session, n, index))
        return kExitFailure;
    return EditMarker(session, args, sub, file, index);
}

// The subcommands that change the marker at `index`.
int EditMarker(TProjectSession &session, const TArgs &args, const std::string &sub, const std::string &file,
               int32_t index)
{
    const TProject &p = session.Project();
    TProjectEditor &ed = session.Editor();
    const std::string extra = args.Positional.size() > 3 ? args.Positional[3] : std::string();
    const bool on = extra == "1";
    if (sub == "set-value")
        return Outcome(session, file, ed.SetShiftValue(index, extra));
    if (sub == "enable-marker")
        return Outcome(session, file, ed.SetMarkerEnabled(index, on));
    if (sub == "affect")
        return Outcome(session, file, ed.SetAffect(index, on));
    // edit-option: the boxes and the volume as they are unless given.
    TMarker m = p.GetMarker(index);
    bool audioOn = (m.Value & kOptionAudioOff) == 0, doubleOn = (m.Value & kOptionDoubleOff) == 0, bad = false;
    ParseBool(args, "--audio-on", audioOn, bad);
    ParseBool(args, "--double-on", doubleOn, bad);
    if (bad)
        return Usage("--audio-on and --double-on take 0 or 1");
    std::string volume = OptionVolume(m.Value) < 0 ? std::string() : std::to_string(OptionVolume(m.Value));
    if (args.Has("--volume"))
        volume = args.Value("--volume") == "none" ? std::string() : args.Value("--volume");
    return Outcome(session, file, ed.EditOptionMarker(index, audioOn, doubleOn, volume));
}

} // namespace

int RunProject(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    const std::set<std::string> valued = {
        "--video",        "--audio",         "--double",        "--reference",     "--phantom",
        "--volume",       "--interval",      "--use-chapters",  "--concat-chapters", "--cross-fading",
        "--global-shift", "--use-global-shift", "--pre-scan",   "--original-size", "--force-vfw",
        "--flip-image",   "--marker-size",   "--ref-zoom",      "--preview-range", "--zoom",
        "--audio-on",     "--double-on",     "--segments",      "--audio-stream",  "--double-stream",
        "--resampling",   "--cross-fade-ms"};
    const std::set<std::string> flags = {"--affect", "--deactivated", "--audio-off", "--double-off",
                                         "--disabled", "--skip-cuts", "--keep", "--replace", "--yes"};
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
    if (!SameTextAscii(ExtractFileExt(file), ".tsp"))
        return Usage("the project file must end in \".tsp\"");
    if (sub == "create") {
        if (args.Positional.size() != 2)
            return Usage("create takes only the project file (media by options)");
        return Create(context, args);
    }
    static const std::set<std::string> atFrame = {
        "new-marker", "delete-marker", "move-marker", "set-value", "enable-marker", "affect", "edit-option",
        "add-chapter", "delete-chapter", "tick-chapter", "goto", "start-offset"};
    static const std::set<std::string> whole = {"list", "add-marker", "auto-chapters", "set", "remove-deactivated"};
    if (!atFrame.count(sub) && !whole.count(sub))
        return Usage("unknown subcommand \"" + sub + "\"");
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui, context.ProjectDefaults());
    if (!Load(session, file))
        return kExitFailure;
    if (atFrame.count(sub))
        return EditAtFrame(session, args, sub, file);
    if (sub == "add-marker")
        return AddMarker(session, args, file);
    if (sub == "set")
        return SetOptions(session, args, file);
    if (args.Positional.size() != 2)
        return Usage(sub + " takes only the project file");
    if (sub == "list") {
        List(session);
        return kExitOk;
    }
    if (sub == "remove-deactivated")
        return Outcome(session, file, session.Editor().RemoveDeactivated());
    // auto-chapters
    int64_t interval = 0;
    bool skip = args.Has("--skip-cuts");
    if (skip == args.Has("--interval"))
        return Usage("auto-chapters needs either --interval FRAMES or --skip-cuts");
    if (!skip && !ParseInt(args.Value("--interval"), 0, 2147483647, interval))
        return Usage("--interval must be a number of frames");
    return Outcome(session, file,
                   session.Editor().InsertChapters(skip ? acSkipCutOut : acFixedLength, int32_t(interval), !args.Has("--keep")));
}

} // namespace tessaly::cli
