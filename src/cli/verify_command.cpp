// `tessaly-cli verify RESULT`: measures a result's audio window by window against a
// recording in sync with the video and judges the whole of it: windows within
// tolerance, stretches the double track fills in, stretches that match nothing.
#include <cstdlib>
#include <dirent.h>
#include <iostream>
#include <thread>

#include "autosync/sync_audio.h"
#include "autosync/verify_run.h"
#include "cli/cli_support.h"
#include "cli/sync_commands.h"
#include "platform/file_system.h"
#include "project/project_session.h"

namespace tessaly::cli {

using namespace autosync;

namespace {

const char *const kVerifyHelp =
    "usage: tessaly-cli verify RESULT [--against FILE] [--project FILE.tsp] [--plot FILE.svg]\n"
    "                             [--tolerance-ms T] [--min-coverage PERCENT]\n"
    "Measures the audio of RESULT (AVI or WAV) against a recording in sync with the video,\n"
    "window by window (2 s windows every second). Without --against, the double track (else\n"
    "the reference video) of the project is used: the one named by --project, else the one\n"
    "project file (.tsp) in the working folder. With a project, the stretches where the\n"
    "double track stands in for the primary (primary off, out of its range, or waiting after\n"
    "a backward cut) are known and do not count as matched.\n"
    "Prints the median, 95th percentile and largest offset (positive: the result sounds late),\n"
    "the share of windows inside the broadcast window (at most 15 ms early, 45 ms late) and\n"
    "inside +-22 ms, and how many seconds of the stretches where both sound are matched,\n"
    "off, filled in by the double track or match nothing, with the stretches listed.\n"
    "Exit status 0 when every matched window lies within T ms (default 22), the matched\n"
    "windows cover at least PERCENT (default 90) of the stretches where both sound, and no\n"
    "stretch of more than a second sounds unlike the recording at the lag around it (wrong\n"
    "content), else 1.\n";

int Fail(const std::string &text)
{
    std::cerr << "tessaly-cli verify: " << text << "\n";
    return kExitFailure;
}

// The one project file in the working folder.
bool FolderProject(std::string &file, std::string &error)
{
    size_t count = 0;
    if (DIR *d = opendir(".")) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tsp") == 0 && count++ == 0)
                file = name;
        }
        closedir(d);
    }
    if (count != 1) {
        error = count == 0 ? "no --against FILE and no project file in the working folder"
                           : "no --against FILE and several project files in the working folder";
        return false;
    }
    return true;
}

// The recording in sync with the video that a project holds.
bool ProjectRecording(TProjectSession &session, const std::string &name, std::string &file, std::string &error)
{
    if (session.Sources().HasDouble())
        file = session.Sources().FileList(srDouble);
    else if (session.Sources().HasReference())
        file = session.Sources().FileList(srReference);
    else {
        error = "the project \"" + name + "\" has neither a double track nor a reference video";
        return false;
    }
    return true;
}

// A number within [lo, hi].
bool ParseNumber(const std::string &text, double lo, double hi, double &value)
{
    char *end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= lo && v <= hi))
        return false;
    value = v;
    return true;
}

} // namespace

int RunVerify(const TAppContext &context, const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {"--against", "--project", "--plot", "--tolerance-ms", "--min-coverage"}, {}, args, error)) {
        std::cerr << "tessaly-cli verify: " << error << "\n" << kVerifyHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kVerifyHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli verify: expected RESULT\n" << kVerifyHelp;
        return kExitUsage;
    }
    TVerifyOptions options;
    if (args.Has("--tolerance-ms") && !ParseNumber(args.Value("--tolerance-ms"), 0, 10000, options.ToleranceMs)) {
        std::cerr << "tessaly-cli verify: --tolerance-ms must be a number of milliseconds 0 .. 10000\n";
        return kExitUsage;
    }
    double percent = 100 * options.MinCoverage;
    if (args.Has("--min-coverage") && !ParseNumber(args.Value("--min-coverage"), 0, 100, percent)) {
        std::cerr << "tessaly-cli verify: --min-coverage must be a percentage 0 .. 100\n";
        return kExitUsage;
    }
    options.MinCoverage = percent / 100;
    std::string against = args.Value("--against"), projectFile = args.Value("--project");
    if (against.empty() && projectFile.empty() && !FolderProject(projectFile, error))
        return Fail(error);
    std::vector<TTimeSpan> filled;
    if (!projectFile.empty()) {
        TProjectSession session(nullptr, context.ProjectDefaults());
        if (!FileExists(projectFile) || !session.LoadProject(projectFile, true))
            return Fail("the project \"" + projectFile + "\" cannot be loaded");
        if (against.empty() && !ProjectRecording(session, projectFile, against, error))
            return Fail(error);
        TWaveReader &primary = session.Sources().Audio();
        const double rate = primary.OutputFormat().nSamplesPerSec;
        const double seconds = session.Project().HasAudio() && rate > 0 ? primary.OutputLength() / rate : 0;
        filled = FilledInSpans(session.Project(), seconds);
    }
    sync::TSyncSignal result, reference;
    std::string resultError;
    bool resultOk = false;
    std::thread reader([&]() { resultOk = ReadSyncFile(args.Positional[0], result, resultError); });
    bool referenceOk = ReadSyncFile(against, reference, error);
    reader.join();
    if (!resultOk)
        return Fail(resultError);
    if (!referenceOk)
        return Fail(error);
    const TVerifyReport report =
        JudgeResult(std::move(reference), std::move(result), filled, !projectFile.empty(), options);
    std::cout << VerifyText(report, options);
    if (args.Has("--plot") &&
        !WriteFileAtomic(args.Value("--plot"), VerifyPlot(report, options, "Result against " + against), &error))
        return Fail(error);
    return report.Passed ? kExitOk : kExitFailure;
}

} // namespace tessaly::cli
