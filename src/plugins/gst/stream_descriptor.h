// Stream descriptor files (".avids"): a small text naming the media file to open, a frame
// rate to report instead of the decoded one, and whether to flip the picture.
#pragma once

#include <string>

namespace tessaly::gst {

struct TStreamDescriptor {
    std::string FileName; // the media file to open
    double Fps = -1;      // above 0 when an FPS line gave a rate
    bool Flip = false;
};

// Whether a file name ends in ".avids" (any case).
bool IsStreamDescriptorName(const std::string &fileName);

// Reads the descriptor (its first 2048 bytes). Lines: "FILE path" (relative paths are taken
// from the folder of the name in force before the line; "\" counts as "/"), "FPS number",
// "FLIP". Without a FILE line, or when the file cannot be read, the media file is the
// descriptor's name without its last two characters.
TStreamDescriptor ReadStreamDescriptor(const std::string &descriptorName);

} // namespace tessaly::gst
