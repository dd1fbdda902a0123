// tessaly-cli: the command-line front-end over the Tessaly core.
#include <iostream>
#include <string>
#include <vector>

#include "cli/analyze_command.h"
#include "cli/commands.h"
#include "cli/example_command.h"
#include "cli/sync_commands.h"

namespace {

void Usage(std::ostream &out)
{
    out << "usage: tessaly-cli COMMAND [ARGS...]\n"
           "commands:\n"
           "  render    render a project's result (AVI or WAV)\n"
           "  analyze   print the analysis of a project file (PROJECT.tsp)\n"
           "  info      print the properties of a video or audio file\n"
           "  project   create a project from media files; add, list and delete markers and chapters\n"
           "  example   build a small example project in memory and print its frame states\n"
           "  suggest   suggest (and apply) the markers from a recording in sync with the video\n"
           "  verify    measure a result's audio against a recording in sync with the video\n"
           "Run \"tessaly-cli COMMAND --help\" for a command's options.\n";
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        Usage(std::cerr);
        return 2;
    }
    std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        Usage(std::cout);
        return 0;
    }
    if (command == "render")
        return tessaly::cli::RunRender(args);
    if (command == "info")
        return tessaly::cli::RunInfo(args);
    if (command == "project")
        return tessaly::cli::RunProject(args);
    if (command == "example")
        return tessaly::cli::RunExample(args, std::cout, std::cerr);
    if (command == "suggest")
        return tessaly::cli::RunSuggest(args);
    if (command == "verify")
        return tessaly::cli::RunVerify(args);
    if (command == "analyze")
        return tessaly::cli::RunAnalyze(args, std::cout, std::cerr);
    std::cerr << "tessaly-cli: unknown command \"" << command << "\"\n";
    Usage(std::cerr);
    return 2;
}
