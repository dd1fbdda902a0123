// `tessaly-cli suggest PROJECT.tsp`: aligns the primary track with a recording in sync
// with the video, prints the decisions and markers, and optionally applies them.
#include <cstdlib>
#include <iostream>

#include "autosync/suggest_run.h"
#include "cli/cli_support.h"
#include "cli/sync_commands.h"
#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/project_session.h"

namespace tessaly::cli {

using namespace autosync;

namespace {

const char *const kSuggestHelp =
    "usage: tessaly-cli suggest PROJECT.tsp [--against double|reference|FILE] [--apply]\n"
    "                           [--plot FILE.svg] [--json FILE] [--tolerance-ms T]\n"
    "Compares the project's primary track with a recording in sync with the video (default:\n"
    "the double track, else the reference video's audio; or FILE) and suggests the markers\n"
    "that put the primary in sync: spline points, relative cuts at the jumps, option markers\n"
    "over regions without a match.\n"
    "  --apply      replace the spline points, relative cuts and option markers of the\n"
    "               project by the suggestion (the old file is kept as PROJECT.tsp.bak)\n"
    "  --plot FILE  write an SVG of the measured offset, its confidence and the curve\n"
    "  --json FILE  write the measurement, the decisions and the markers as JSON\n"
    "  --tolerance-ms T  the markers, as the project stores them, must keep the curve\n"
    "               within T ms of the measurement (default 1); else nothing is applied\n"
    "Exit status 1 with \"no match\" when the tracks are unrelated or too short to judge,\n"
    "and when the stored markers would leave the curve farther than T from the measurement.\n";

// A limit in milliseconds, 0 .. 10000.
bool ParseMilliseconds(const std::string &text, double &ms)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= 0 && v <= 10000))
        return false;
    ms = v;
    return true;
}

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli suggest: " << text << "\n";
    return kExitFailure;
}

bool Backup(const std::string &projectFile, std::string &bytes, std::string &error)
{
    if (!ReadWholeFile(projectFile, bytes)) {
        error = "the project file cannot be read for the backup";
        return false;
    }
    return WriteFileAtomic(projectFile + ".bak", bytes, &error);
}

} // namespace

int RunSuggest(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {"--against", "--plot", "--json", "--tolerance-ms"}, {"--apply"}, args, error)) {
        std::cerr << "tessaly-cli suggest: " << error << "\n" << kSuggestHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kSuggestHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli suggest: expected PROJECT.tsp\n" << kSuggestHelp;
        return kExitUsage;
    }
    double limit = kSuggestLimitMs;
    if (args.Has("--tolerance-ms") && !ParseMilliseconds(args.Value("--tolerance-ms"), limit)) {
        std::cerr << "tessaly-cli suggest: --tolerance-ms must be a number of milliseconds 0 .. 10000\n";
        return kExitUsage;
    }
    const std::string projectFile = args.Positional[0];
    if (const std::string problem = ProjectFileProblem(projectFile); !problem.empty())
        return Fail(problem);
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui, context.ProjectDefaults());
    if (!session.LoadProject(projectFile, true) || ui.ErrorCount() > 0)
        return Fail("the project could not be loaded whole");
    TSuggestRun run;
    switch (SuggestMarkers(session, args.Value("--against"), nullptr, run, error, limit)) {
    case ssFailed: return Fail(error);
    case ssAborted: return Fail("stopped");
    case ssNoMatch:
        if (args.Has("--json"))
            WriteFileAtomic(args.Value("--json"), SuggestJson(run), &error);
        std::cout << "no match: the primary track and the " << run.What
                  << " do not share enough material (unrelated or too short to judge)\n";
        return kExitFailure;
    case ssMatched: break;
    }
    std::cout << SuggestSummary(run) << "\n" << SuggestTable(run);
    std::cout << "Markers (" << run.MarkerLines.size() << "):\n";
    for (const std::string &line : run.MarkerLines)
        std::cout << "  " << line << "\n";
    if (args.Has("--plot") && !WriteFileAtomic(args.Value("--plot"), run.Svg, &error))
        return Fail(error);
    if (args.Has("--json") && !WriteFileAtomic(args.Value("--json"), SuggestJson(run), &error))
        return Fail(error);
    if (!SuggestionUsable(run)) {
        std::cout << (args.Has("--apply") ? "Not applied; the project is unchanged\n" : "");
        return kExitFailure;
    }
    if (args.Has("--apply")) {
        std::string previous;
        if (!Backup(projectFile, previous, error))
            return Fail(error);
        TEditResult edit = session.Editor().ReplaceSyncMarkers(run.Suggestion.Markers);
        if (!edit)
            return Fail(edit.Error);
        if (!session.SaveProject(projectFile))
            return Fail("the project could not be saved; it is unchanged");
        // What was stored, measured once more: the project as the next run loads it.
        TProjectSession saved(&ui);
        const TCurveFit fit =
            saved.LoadProject(projectFile, true) ? MeasureCurveFit(saved.Project(), run.Map) : TCurveFit{};
        if (fit.Frames == 0 || !(fit.MaxErrorMs <= limit)) {
            const bool restored = WriteFileAtomic(projectFile, previous, &error);
            return Fail("the saved project's curve lies " + FormatFixed(fit.MaxErrorMs, 3) +
                        " ms from the measurement; " +
                        (restored ? "the previous project is restored" : "the previous project is " + projectFile + ".bak"));
        }
        std::cout << "Applied; the previous project is " << projectFile << ".bak\n";
    }
    return kExitOk;
}

} // namespace tessaly::cli
