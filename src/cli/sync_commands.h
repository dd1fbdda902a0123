// The synchronisation commands of tessaly-cli: `suggest` (markers from a recording in
// sync with the video) and `verify` (a result measured against such a recording).
#pragma once

#include <string>
#include <vector>

#include "shell/app_context.h"

namespace tessaly::cli {

// Both take the settings and a new project's defaults from the run's context.

int RunSuggest(const TAppContext &context, const std::vector<std::string> &args);
int RunVerify(const TAppContext &context, const std::vector<std::string> &args);

} // namespace tessaly::cli
