// Shared pieces of tessaly-cli's commands: argument parsing (options before or after
// the arguments), the terminal user interface and the exit statuses.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "shell/user_interface.h"

namespace tessaly::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Parsed command line of one command.
struct TArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;   // --name VALUE or --name=VALUE
    std::set<std::string> Flags;                 // --name
    bool Has(const std::string &name) const { return Flags.count(name) || Values.count(name); }
    std::string Value(const std::string &name, const std::string &def = "") const;
};

// Splits args: `valued` options take a value, `flags` none; "--" ends the options.
// False with `error` set for an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string> &args, const std::set<std::string> &valued,
               const std::set<std::string> &flags, TArgs &out, std::string &error);

// Strict integer in [lo, hi]; false otherwise.
bool ToInt(const std::string &text, long long lo, long long hi, long long &value);

// Answers the core's messages on the terminal: messages go to stderr (line breaks as
// on Linux), questions are asked when stdin and stderr are terminals; with
// `answerYes` every question is answered Yes; without a terminal the safest answer
// (No, Cancel, Abort) is taken.
class TConsoleUserInterface : public TUserInterface {
public:
    explicit TConsoleUserInterface(bool answerYes) : FAnswerYes(answerYes) {}
    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override;
    // True once an error or warning was shown.
    bool ErrorShown() const { return FErrorShown; }

private:
    bool FAnswerYes;
    bool FErrorShown = false;
};

// Text with "\r\n" turned into "\n".
std::string UnixLines(const std::string &text);

} // namespace tessaly::cli
