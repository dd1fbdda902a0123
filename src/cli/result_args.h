// The result options shared by the render and sync commands: the container from the
// output name and --audio-codec, --audio-bitrate, --audio-language, --audio-title, --keep.
#pragma once

#include <set>
#include <string>

#include "cli/cli_support.h"
#include "media/output/lavf_result_options.h"

namespace tessaly::cli {

// The valued options the result takes.
const std::set<std::string> &ResultOptionNames();
// Help lines of those options.
extern const char *const kResultOptionsHelp;

// Fills `options` from the arguments and the output name; false with `error` for a value
// that is not understood or a codec the container cannot hold.
bool ParseResultOptions(const TArgs &args, const std::string &output, TLavfResultOptions &options,
                        std::string &error);

} // namespace tessaly::cli
