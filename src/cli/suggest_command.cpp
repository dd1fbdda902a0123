// `tessaly-cli suggest PROJECT.tsp`: aligns the primary track with a recording in sync
// with the video, prints the decisions and markers, and optionally applies them.
#include <iostream>

#include "autosync/suggest_run.h"
#include "cli/cli_support.h"
#include "cli/sync_commands.h"
#include "platform/file_system.h"
#include "project/project_session.h"

namespace tessaly::cli {

using namespace autosync;

namespace {

const char *const kSuggestHelp =
    "usage: tessaly-cli suggest PROJECT.tsp [--against double|reference|FILE] [--apply]\n"
    "                           [--plot FILE.svg] [--json FILE]\n"
    "Compares the project's primary track with a recording in sync with the video (default:\n"
    "the double track, else the reference video's audio; or FILE) and suggests the markers\n"
    "that put the primary in sync: spline points, relative cuts at the jumps, option markers\n"
    "over regions without a match.\n"
    "  --apply      replace the spline points, relative cuts and option markers of the\n"
    "               project by the suggestion (the old file is kept as PROJECT.tsp.bak)\n"
    "  --plot FILE  write an SVG of the measured offset, its confidence and the curve\n"
    "  --json FILE  write the measurement, the decisions and the markers as JSON\n"
    "Exit status 1 with \"no match\" when the tracks are unrelated or too short to judge.\n";

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli suggest: " << text << "\n";
    return kExitFailure;
}

bool Backup(const std::string &projectFile, std::string &error)
{
    std::string bytes;
    if (!ReadWholeFile(projectFile, bytes)) {
        error = "the project file cannot be read for the backup";
        return false;
    }
    return WriteFileAtomic(projectFile + ".bak", bytes, &error);
}

} // namespace

int RunSuggest(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {"--against", "--plot", "--json"}, {"--apply"}, args, error)) {
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
    const std::string projectFile = args.Positional[0];
    if (!FileExists(projectFile))
        return Fail("the project file \"" + projectFile + "\" does not exist");
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui);
    if (!session.LoadProject(projectFile, true) || ui.ErrorCount() > 0)
        return Fail("the project could not be loaded whole");
    TSuggestRun run;
    switch (SuggestMarkers(session, args.Value("--against"), nullptr, run, error)) {
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
    if (args.Has("--apply")) {
        if (!Backup(projectFile, error))
            return Fail(error);
        TEditResult edit = session.Editor().ReplaceSyncMarkers(run.Suggestion.Markers);
        if (!edit)
            return Fail(edit.Error);
        if (!session.SaveProject(projectFile))
            return Fail("the project could not be saved; it is unchanged");
        std::cout << "Applied; the previous project is " << projectFile << ".bak\n";
    }
    return kExitOk;
}

} // namespace tessaly::cli
