// The lines of `tessaly-cli info` that describe a video read through FFmpeg's demuxers:
// container, codec, stored size and depth, frame grid and variable rate, rotation, scan.
#pragma once

#include <ostream>

namespace tessaly {
class TIOMovieReader;
}

namespace tessaly::cli {

// Prints the detail rows of an open video; nothing for sources of other kinds.
void PrintVideoDetails(const TIOMovieReader &video, std::ostream &out);

} // namespace tessaly::cli
