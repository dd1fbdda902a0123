// Test AVI files made once per test program with the ffmpeg command, with FFmpeg's own
// decode of each as reference frames.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::test {

struct TVideoFile {
    std::string Path;
    uint32_t Width = 0, Height = 0;
    int Frames = 0;                        // stored frames (chunks), empty ones included
    std::vector<std::string> Reference;    // FFmpeg's BGR24 picture of every stored frame
};

// Names: "mpeg4" (MPEG-4 part 2, key frame every 12), "mjpeg", "h264" (key frame every
// 12), "raw24" (uncompressed 24 bits), "pal8" (uncompressed 8 bits with palette),
// "mpeg4b" (MPEG-4 with two B-frames stored in decode order, key frame every 12, open
// groups), "h264b" (H.264 with two B-frames in decode order, key frame every 12), "drop" (MPEG-4 with frames 20..22 stored empty), "raw16" (uncompressed 5-5-5),
// "raw24up", "pal8up", "raw16up", "raw32up" (uncompressed 24, 8, 16 and 32 bits with
// bottom-up rows, a positive height).
// The files live until the program ends. Null when the file cannot be made.
const TVideoFile *VideoFile(const std::string &name);

// The folder holding the generated files.
const std::string &VideoFileDir();

} // namespace tessaly::test
