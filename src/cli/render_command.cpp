// `tessaly-cli render PROJECT.tsp OUTPUT`: renders what the Calculate command renders.
#include <cctype>
#include <cstdio>
#include <memory>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/render.h"
#include "shell/console_progress.h"
#include "shell/app_context.h"

namespace tessaly::cli {

namespace {

const char *const kRenderHelp =
    "usage: tessaly-cli render PROJECT.tsp OUTPUT [--yes] [--no-progress]\n"
    "Renders the project's result: OUTPUT ending in \".avi\" gives the AVI file (video copied\n"
    "as stored, mixed audio, one file per chapter when the project uses chapters); any other\n"
    "name gives the WAV file of the mixed audio (the extension is replaced by \".wav\").\n"
    "  --yes           answer every question (the size warning) with Yes\n"
    "  --no-progress   no progress display\n"
    "Without --yes a question is asked on the terminal and answered No without one.\n"
    "Ctrl+C aborts; chapter files finished so far are kept.\n";

} // namespace

int RunRender(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {}, {"--yes", "--no-progress"}, args, error)) {
        std::cerr << "tessaly-cli render: " << error << "\n" << kRenderHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kRenderHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 2) {
        std::cerr << "tessaly-cli render: expected PROJECT.tsp and OUTPUT\n" << kRenderHelp;
        return kExitUsage;
    }
    TConsoleUserInterface ui(args.Has("--yes"));
    TProjectSession session(&ui, context.ProjectDefaults());
    const std::string &projectFile = args.Positional[0];
    std::string ext = ExtractFileExt(projectFile);
    for (char &c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".tsp") {
        std::cerr << "tessaly-cli render: the project file must end in \".tsp\"\n";
        return kExitUsage;
    }
    if (!FileExists(projectFile)) {
        std::cerr << "The project file \"" << projectFile << "\" does not exist.\n";
        return kExitFailure;
    }
    if (!session.LoadProject(projectFile, true))
        return kExitFailure;
    // A project that lost entries on loading (reported as an error) would give another
    // result than the one saved: nothing is rendered.
    if ((ui.ErrorCount() > 0))
        return kExitFailure;
    std::string output = args.Positional[1];
    std::string outExt = ExtractFileExt(output);
    for (char &c : outExt)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    int32_t fileType = outExt == ".avi" ? 2 : 1;
    const bool warnOnCalc = context.Settings().SRWarnOnCalc();
    // Without a display the progress still runs silently, so that Ctrl+C aborts the run.
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> sink(
        args.Has("--no-progress") ? std::fopen("/dev/null", "w") : nullptr, &std::fclose);
    TConsoleProgress progress(sink ? sink.get() : stderr, sink ? cmPlain : cmAuto);
    TConsoleProgress::InstallInterruptHandler();
    TProgress *shown = &progress;
    TRenderer renderer(session, shown);
    TCalcOutcome outcome = CalculateResult(session, renderer, output, fileType, warnOnCalc);
    if (outcome == coCancelled) {
        std::cerr << "tessaly-cli render: nothing written (the size warning was not confirmed)\n";
        return kExitFailure;
    }
    bool ok = outcome == coDone;
    if (renderer.Aborted()) {
        std::cerr << "tessaly-cli render: aborted; files kept:";
        for (const std::string &f : renderer.FilesWritten())
            std::cerr << " " << f;
        std::cerr << "\n";
        return kExitFailure;
    }
    if (!ok) {
        if (!(ui.ErrorCount() > 0))
            std::cerr << "tessaly-cli render: the result could not be written\n";
        return kExitFailure;
    }
    for (const std::string &f : renderer.FilesWritten())
        std::cout << f << "\n";
    return kExitOk;
}

} // namespace tessaly::cli
