// The encoder delay and padding that an MP3 file's Xing/Info frame records (LAME's tag),
// so that a reader can drop the priming samples and the padding as the encoder meant.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::gst {

struct TMp3Gapless {
    int64_t Skip = 0;          // decoded samples before the first real one (delay + decoder delay)
    int64_t Length = 0;        // real samples (all frames less delay and padding)
    int64_t DecodedFrames = 0; // samples a decoder that trims nothing delivers
};

// Reads the tag from the start of an MP3 file (after an ID3v2 tag). False when the data is
// no MPEG layer III frame with a Xing/Info frame and a LAME tag, or the values make no sense.
bool ParseMp3Gapless(const std::vector<uint8_t> &head, TMp3Gapless &out);
// ParseMp3Gapless on the first bytes of a file.
bool ReadMp3Gapless(const std::string &fileName, TMp3Gapless &out);

} // namespace tessaly::gst
