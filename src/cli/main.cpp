// tessaly-cli: the command-line front-end over the Tessaly core.
#include <iostream>
#include <string>
#include <vector>

#include "cli/analyze_command.h"
#include "cli/commands.h"
#include "cli/example_command.h"
#include "shell/app_context.h"
#include "cli/sync_commands.h"

namespace {

void Usage(std::ostream &out)
{
    out << "usage: tessaly-cli [--language NAME] COMMAND [ARGS...]\n"
           "commands:\n"
           "  render    render a project's result (MKV, MP4, MOV, WebM, AVI or WAV)\n"
           "  analyze   print the analysis of a project file (PROJECT.tsp)\n"
           "  info      print the properties of a video or audio file\n"
           "  frame     write the picture of one frame of a video or project as a PNG file\n"
           "  project   create a project from media files; add, list and delete markers and chapters\n"
           "  example   build a small example project in memory and print its frame states\n"
           "  suggest   suggest (and apply) the markers from a recording in sync with the video\n"
           "  verify    measure a result's audio against a recording in sync with the video\n"
           "  sync      project, suggested markers, result and verification from a video and a track\n"
           "  --language NAME   messages in the language NAME of the language file for this run\n"
           "                    (instead of the stored choice); may stand anywhere before \"--\"\n"
           "Run \"tessaly-cli COMMAND --help\" for a command's options.\n";
}

// Takes "--language NAME" or "--language=NAME" out of the arguments (before a "--").
// False when the option lacks its name or the name is empty.
bool TakeLanguage(std::vector<std::string> &args, std::string &language)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--")
            break;
        if (args[i].rfind("--language=", 0) == 0) {
            language = args[i].substr(11);
            if (language.empty())
                return false;
            args.erase(args.begin() + long(i));
            --i;
        } else if (args[i] == "--language") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return false;
            language = args[i + 1];
            args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
            --i;
        }
    }
    return true;
}

int Run(tessaly::TAppContext &context, const std::string &command, const std::vector<std::string> &args)
{
    if (command == "render")
        return tessaly::cli::RunRender(context, args);
    if (command == "info")
        return tessaly::cli::RunInfo(args);
    if (command == "frame")
        return tessaly::cli::RunFrame(context, args);
    if (command == "project")
        return tessaly::cli::RunProject(context, args);
    if (command == "example")
        return tessaly::cli::RunExample(args, std::cout, std::cerr);
    if (command == "suggest")
        return tessaly::cli::RunSuggest(context, args);
    if (command == "verify")
        return tessaly::cli::RunVerify(context, args);
    if (command == "sync")
        return tessaly::cli::RunSync(context, args);
    if (command == "analyze")
        return tessaly::cli::RunAnalyze(context, args, std::cout, std::cerr);
    std::cerr << "tessaly-cli: unknown command \"" << command << "\"\n";
    Usage(std::cerr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    tessaly::TAppStart start;
    if (!TakeLanguage(args, start.Language)) {
        std::cerr << "tessaly-cli: --language needs a language name\n";
        return 2;
    }
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
    // The context comes first and goes last: settings, language, plug-ins, defaults.
    tessaly::TAppContext context(start);
    if (!context.LanguageAccepted()) {
        std::cerr << "tessaly-cli: no language \"" << start.Language << "\" in the language file";
        std::vector<std::string> names = context.Languages();
        for (size_t i = 0; i < names.size(); ++i)
            std::cerr << (i ? ", " : " (languages: ") << names[i];
        std::cerr << (names.empty() ? " (none found)\n" : ")\n");
        return 2;
    }
    return Run(context, command, args);
}
