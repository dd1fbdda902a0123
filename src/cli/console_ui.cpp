// Messages and questions of the core on the terminal.
#include "cli/console_ui.h"

#include <unistd.h>

#include <iostream>

namespace tessaly::cli {

std::string TerminalText(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TConsoleUserInterface::TConsoleUserInterface(bool assumeYes, std::FILE *err) : FAssumeYes(assumeYes), FErr(err) {}

TMsgResult TConsoleUserInterface::Message(TMsgType type, const std::string &text, unsigned buttons)
{
    std::string shown = TerminalText(text);
    bool question = (buttons & mbYes) != 0;
    if (!question) {
        if (type == mtError || type == mtWarning)
            ++FErrors;
        std::fprintf(FErr, "%s%s\n", type == mtError ? "error: " : type == mtWarning ? "warning: " : "",
                     shown.c_str());
        return (buttons & mbOK) ? mrOK : mrNone;
    }
    if (FAssumeYes) {
        std::fprintf(FErr, "%s [yes]\n", shown.c_str());
        return mrYes;
    }
    TMsgResult refuse = (buttons & mbNo) ? mrNo : (buttons & mbCancel) ? mrCancel : mrAbort;
    if (!isatty(STDIN_FILENO)) {
        std::fprintf(FErr, "%s [no: not asked without a terminal; --yes answers yes]\n", shown.c_str());
        return refuse;
    }
    std::fprintf(FErr, "%s [y/N] ", shown.c_str());
    std::fflush(FErr);
    std::string answer;
    std::getline(std::cin, answer);
    return (!answer.empty() && (answer[0] == 'y' || answer[0] == 'Y')) ? mrYes : refuse;
}

TSegmentAnswer TConsoleUserInterface::AskSegments(const std::string &caption, const std::vector<std::string> &files,
                                                  int /*helpContext*/)
{
    TSegmentAnswer answer;
    answer.Choice = FSegmentChoice;
    answer.Ticked.assign(files.size(), true);
    std::fprintf(FErr, "%s\n", TerminalText(caption).c_str());
    for (size_t i = 0; i < files.size(); ++i)
        std::fprintf(FErr, "  %s%s\n", files[i].c_str(),
                     FSegmentChoice == scAll || i == 0 ? "" : "  (left out: --segments first)");
    return answer;
}

} // namespace tessaly::cli
