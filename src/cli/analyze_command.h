// The `analyze` command of tessaly-cli: loads a project and prints its analysis grid
// and the deactivated-marker statistics.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaly {
class TAppContext;
}

namespace tessaly::cli {

// Runs `tessaly-cli analyze PROJECT.tsp`; returns the exit status (0, 1 with the
// program's message on stderr, 2 for a usage error).
// The project starts with the defaults of `context`.
int RunAnalyze(const TAppContext &context, const std::vector<std::string> &args, std::ostream &out,
               std::ostream &err);

} // namespace tessaly::cli
