// The synchronisation commands of tessaly-cli: `suggest` (markers from a recording in
// sync with the video) and `verify` (a result measured against such a recording).
#pragma once

#include <string>
#include <vector>

namespace tessaly::cli {

int RunSuggest(const std::vector<std::string> &args);
int RunVerify(const std::vector<std::string> &args);

} // namespace tessaly::cli
