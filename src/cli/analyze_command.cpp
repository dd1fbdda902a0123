// `tessaly-cli analyze PROJECT.tsp`: the analysis grid and the deactivated-marker statistics.
#include <cstdio>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/file_system.h"
#include "project/analysis.h"
#include "project/project_session.h"
#include "shell/console_progress.h"

namespace tessaly::cli {

namespace {

const char *const kAnalyzeHelp =
    "usage: tessaly-cli analyze PROJECT.tsp [--no-progress]\n"
    "Scans every frame of the project and prints the eight rows of the analysis (label,\n"
    "value, frame; \"-\" where there is none), then the deactivated spline markers: their\n"
    "count and the largest deviation of one of them from the curve with its frame.\n";

std::string Pad(const std::string &text, size_t width, bool right)
{
    if (text.size() >= width)
        return text;
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

} // namespace

int RunAnalyze(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {}, {"--no-progress"}, args, error)) {
        std::cerr << "tessaly-cli analyze: " << error << "\n" << kAnalyzeHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kAnalyzeHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli analyze: expected one project file\n" << kAnalyzeHelp;
        return kExitUsage;
    }
    TConsoleUserInterface ui(false);
    TProjectSession session(&ui);
    if (!FileExists(args.Positional[0])) {
        std::cerr << "The project file \"" << args.Positional[0] << "\" does not exist.\n";
        return kExitFailure;
    }
    if (!session.LoadProject(args.Positional[0], true)) {
        if (!ui.ErrorShown())
            std::cerr << "tessaly-cli analyze: \"" << args.Positional[0] << "\" is not a project file (.tsp)\n";
        return kExitFailure;
    }
    TConsoleProgress progress(stderr);
    TConsoleProgress::InstallInterruptHandler();
    TAnalysisResult result;
    if (!AnalyzeProject(session.Project(), args.Has("--no-progress") ? nullptr : &progress, result)) {
        std::cerr << "tessaly-cli analyze: aborted\n";
        return kExitFailure;
    }
    for (const TAnalysisRow &row : AnalysisRows(result))
        std::cout << Pad(row.Label, 32, false) << Pad(row.Value, 16, true) << Pad(row.Frame, 10, true) << "\n";
    const TDeactivatedStats &stats = session.Project().DeactivatedStats();
    std::cout << "Deactivated markers: (" << stats.Count << ")\n";
    if (stats.Count > 0 && stats.Frame >= 0) {
        char value[64];
        std::snprintf(value, sizeof value, "%.3Lf", stats.Error);
        std::cout << "Max. deviation: " << value << "  at frame: " << stats.Frame << "\n";
    } else {
        std::cout << "Max. deviation: -  at frame: -\n";
    }
    return kExitOk;
}

} // namespace tessaly::cli
