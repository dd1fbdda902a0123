// `tessaly-cli sync VIDEO AUDIO -o OUT`: the whole job in one run. A project over VIDEO
// with AUDIO as the primary track is created, its markers suggested against the video's
// own sound (or what --against names) and applied, the result rendered and verified
// against the same recording. Each step is the command of its own name.
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/result_args.h"
#include "cli/sync_commands.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/app_context.h"

namespace tessaly::cli {

namespace {

const std::string kSyncHelp = std::string(
    "usage: tessaly-cli sync VIDEO AUDIO -o OUT [--against double|reference|FILE] [--plot FILE.svg]\n"
    "                        [--tolerance-ms T] [--yes] [--no-progress] [result options]\n"
    "Puts AUDIO in sync with VIDEO: creates the project OUT.tsp (VIDEO, AUDIO as the primary\n"
    "track; the video's own sound becomes the double track), suggests and applies the markers\n"
    "against the video's sound (or the double track, the reference video or FILE), renders\n"
    "OUT (its extension names the type as for \"render\") and verifies OUT against the same\n"
    "recording. Prints the suggestion table and the verify report.\n"
    "  --plot FILE.svg   the measured offset and the suggested curve as a picture\n"
    "  --tolerance-ms T  the largest offset verify accepts (default 22)\n") + kResultOptionsHelp + std::string(
    "Exit status 1 when nothing matches (nothing rendered) or the result fails the verification.\n");

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli sync: " << text << "\n";
    return kExitFailure;
}

// The recording the result is measured against: the file named, else the project's
// double track (the video's sound), else its reference video.
std::string VerifyAgainst(const TAppContext &context, const std::string &against, const std::string &projectFile)
{
    if (!against.empty() && against != "double" && against != "reference")
        return against;
    TProjectSession session(nullptr, context.ProjectDefaults());
    if (!session.LoadProject(projectFile, true))
        return {};
    const bool useDouble = against != "reference" && session.Sources().HasDouble();
    if (useDouble)
        return session.FileList(srDouble);
    return session.Sources().HasReference() ? session.FileList(srReference) : std::string();
}

} // namespace

int RunSync(const TAppContext &context, const std::vector<std::string> &argv)
{
    std::set<std::string> valued = ResultOptionNames();
    valued.insert({"-o", "--against", "--plot", "--tolerance-ms"});
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, valued, {"--yes", "--no-progress"}, args, error)) {
        std::cerr << "tessaly-cli sync: " << error << "\n" << kSyncHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kSyncHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 2 || args.Value("-o").empty()) {
        std::cerr << "tessaly-cli sync: expected VIDEO, AUDIO and -o OUT\n" << kSyncHelp;
        return kExitUsage;
    }
    const std::string output = args.Value("-o");
    TLavfResultOptions result;
    if (!ParseResultOptions(args, output, result, error)) {
        std::cerr << "tessaly-cli sync: " << error << "\n";
        return kExitUsage;
    }
    const std::string project = output + ".tsp";
    const std::string video = args.Positional[0], audio = args.Positional[1];
    if (!FileExists(video) || !FileExists(audio))
        return Fail("\"" + (FileExists(video) ? audio : video) + "\" does not exist");

    std::vector<std::string> create = {"create", project, "--video", video, "--audio", audio};
    if (args.Has("--yes"))
        create.push_back("--yes");
    if (RunProject(context, create) != kExitOk)
        return Fail("the project could not be created");

    std::vector<std::string> suggest = {project, "--apply"};
    for (const char *option : {"--against", "--plot"})
        if (args.Has(option))
            suggest.insert(suggest.end(), {option, args.Value(option)});
    const int suggested = RunSuggest(context, suggest);
    std::cout.flush();
    if (suggested != kExitOk)
        return kExitFailure;

    std::vector<std::string> render = {project, output};
    for (const char *flag : {"--yes", "--no-progress"})
        if (args.Has(flag))
            render.push_back(flag);
    for (const std::string &option : ResultOptionNames())
        if (args.Has(option))
            render.insert(render.end(), {option, args.Value(option)});
    if (RunRender(context, render) != kExitOk)
        return kExitFailure;

    const std::string against = VerifyAgainst(context, args.Value("--against"), project);
    if (against.empty())
        return Fail("there is no recording to verify the result against");
    // The WAV result's name is the one render wrote.
    const std::string written = result.Container == rcWave ? ChangeFileExt(output, ".wav") : output;
    // With the project, verify knows the stretches the double track fills in and counts
    // them against the result instead of taking the video's own sound for a match.
    std::vector<std::string> verify = {written, "--against", against, "--project", project};
    if (args.Has("--tolerance-ms"))
        verify.insert(verify.end(), {"--tolerance-ms", args.Value("--tolerance-ms")});
    std::cout << "Verify " << written << " against " << against << ":\n";
    std::cout.flush();
    return RunVerify(context, verify) == kExitOk ? kExitOk : kExitFailure;
}

} // namespace tessaly::cli
