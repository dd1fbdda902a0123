// Reads a written AVI back with the project's own reader (TAvi2Reader) and compares the
// stream headers, frame and sample counts, key-frame flags and every chunk's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct TReaderExpectation {
    uint32_t Handler = 0, Rate = 25, Scale = 1;
    std::vector<std::vector<uint8_t>> Frames;   // every frame's stored bytes, in order
    std::vector<bool> Keys;                     // key-frame flag of every frame
    bool HasAudio = false;
    uint32_t SampleRate = 0, Channels = 0, BlockAlign = 0;
    std::vector<uint8_t> Audio;                 // the whole PCM track
    uint32_t AudioInitialFrames = 0;
};

// Empty when the reader sees exactly the expectation, else what differs.
std::string CheckWithReader(const std::string &path, const TReaderExpectation &e);

} // namespace tessaly::test
