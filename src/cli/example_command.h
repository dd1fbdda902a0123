// The `example` command of tessaly-cli: builds a small project in memory and prints
// its markers, chapters and the state of every frame.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaly::cli {

// Runs `tessaly-cli example [--every N]`; returns the exit status (0, or 2 for a usage
// error, reported on `err`).
int RunExample(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace tessaly::cli
