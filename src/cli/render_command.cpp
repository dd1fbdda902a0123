// `tessaly-cli render PROJECT.tsp OUTPUT`: renders what the Calculate command renders.
#include <cctype>
#include <cstdio>
#include <memory>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/result_args.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/render.h"
#include "project/render_container.h"
#include "shell/console_progress.h"
#include "shell/app_context.h"

namespace tessaly::cli {

namespace {

const std::string kRenderHelp = std::string(
    "usage: tessaly-cli render PROJECT.tsp OUTPUT [--yes] [--no-progress] [result options]\n"
    "Renders the project's result, the type named by OUTPUT's extension:\n"
    "  .mkv .mka .webm .mp4 .m4v .mov   the video file's packets copied as stored beside the\n"
    "                      mixed track, and what else of the video file --keep keeps\n"
    "  .avi                the AVI file (video copied as stored, mixed PCM audio, one file per\n"
    "                      chapter when the project uses chapters)\n"
    "  anything else       the WAV file of the mixed audio (extension replaced by \".wav\")\n"
    "  --yes           answer every question (the size warning) with Yes\n"
    "  --no-progress   no progress display\n") + kResultOptionsHelp + std::string(
    "Without --yes a question is asked on the terminal and answered No without one.\n"
    "Ctrl+C aborts; chapter files finished so far are kept. A container result is written\n"
    "under a temporary name and appears under its own name only when complete.\n");

} // namespace

int RunRender(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, ResultOptionNames(), {"--yes", "--no-progress"}, args, error)) {
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
    if (const std::string problem = ProjectFileProblem(projectFile); !problem.empty()) {
        std::cerr << problem << "\n";
        return kExitFailure;
    }
    if (!session.LoadProject(projectFile, true))
        return kExitFailure;
    // A project that lost entries on loading (reported as an error) would give another
    // result than the one saved: nothing is rendered.
    if ((ui.ErrorCount() > 0))
        return kExitFailure;
    const std::string output = args.Positional[1];
    TLavfResultOptions result;
    if (!ParseResultOptions(args, output, result, error)) {
        std::cerr << "tessaly-cli render: " << error << "\n";
        return kExitUsage;
    }
    const bool warnOnCalc = context.Settings().SRWarnOnCalc();
    // Without a display the progress still runs silently, so that Ctrl+C aborts the run.
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> sink(
        args.Has("--no-progress") ? std::fopen("/dev/null", "w") : nullptr, &std::fclose);
    TConsoleProgress progress(sink ? sink.get() : stderr, sink ? cmPlain : cmAuto);
    TConsoleProgress::InstallInterruptHandler();
    TProgress *shown = &progress;
    std::vector<std::string> files, notes;
    TCalcOutcome outcome = CalculateAnyResult(session, shown, output, result, warnOnCalc, nullptr, &files, &notes);
    if (outcome == coCancelled) {
        std::cerr << "tessaly-cli render: nothing written (the size warning was not confirmed)\n";
        return kExitFailure;
    }
    bool ok = outcome == coDone;
    if (outcome == coAborted) {
        std::cerr << "tessaly-cli render: aborted; files kept:";
        for (const std::string &f : files)
            std::cerr << " " << f;
        std::cerr << "\n";
        return kExitFailure;
    }
    if (!ok) {
        if (!(ui.ErrorCount() > 0))
            std::cerr << "tessaly-cli render: the result could not be written\n";
        return kExitFailure;
    }
    for (const std::string &note : notes)
        std::cerr << "tessaly-cli render: note: " << note << "\n";
    for (const std::string &f : files)
        std::cout << f << "\n";
    return kExitOk;
}

} // namespace tessaly::cli
