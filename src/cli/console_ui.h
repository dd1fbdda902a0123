// TConsoleUserInterface: the core's messages on stderr and its questions answered on
// the terminal, by --yes, or (without a terminal) with the safest answer.
#pragma once

#include <cstdio>
#include <string>

#include "shell/user_interface.h"

namespace tessaly::cli {

class TConsoleUserInterface : public TUserInterface {
public:
    // assumeYes answers every question with Yes; `err` receives messages (not owned).
    explicit TConsoleUserInterface(bool assumeYes = false, std::FILE *err = stderr);
    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override;
    // The segment question is answered with `choice` (default: load all), the files
    // listed on the message stream.
    TSegmentAnswer AskSegments(const std::string &caption, const std::vector<std::string> &files,
                               int helpContext) override;
    void SetSegmentChoice(TSegmentChoice choice) { FSegmentChoice = choice; }
    // Messages shown so far (errors and warnings), for the exit status.
    int ErrorCount() const { return FErrors; }

private:
    bool FAssumeYes;
    std::FILE *FErr;
    int FErrors = 0;
    TSegmentChoice FSegmentChoice = scAll;
};

// "\r\n" and lone "\r" become "\n" (message texts keep the platform's line breaks).
std::string TerminalText(const std::string &text);

} // namespace tessaly::cli
