// Shared pieces of tessaly-cli's commands: argument parsing (options before or after
// the arguments) and the exit statuses.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/console_ui.h"

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

} // namespace tessaly::cli
