// The commands of tessaly-cli; each takes the arguments after its name and returns
// the exit status (0 success, 1 failure with the message on stderr, 2 usage error).
#pragma once

#include <string>
#include <vector>

namespace tessaly {
class TAppContext;
}

namespace tessaly::cli {

// Commands that create projects take the defaults and settings from `context`.
int RunRender(const TAppContext &context, const std::vector<std::string> &args);
int RunInfo(const std::vector<std::string> &args);
int RunProject(const TAppContext &context, const std::vector<std::string> &args);
// `frame MEDIA|PROJECT FRAME OUT.png`: one frame's picture as a PNG file.
int RunFrame(const TAppContext &context, const std::vector<std::string> &args);
// Project, suggested markers, result and its verification in one run.
int RunSync(const TAppContext &context, const std::vector<std::string> &args);

} // namespace tessaly::cli
