// Test media for the AVI writer tests: MJPEG frames made by ffmpeg, bitmap formats and
// a deterministic PCM pattern that tells every sample apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

// `count` MJPEG frames of a 64 x 48 test picture (made once per process by ffmpeg), and
// the ffmpeg input arguments that read the same frames as a source.
const std::vector<std::vector<uint8_t>> &MjpegFrames(int count);
std::string MjpegSourceArgs(int count);

// A 40-byte bitmap info header: width, height, 24 bits, the compression code.
std::vector<uint8_t> BitmapInfo(int width, int height, uint32_t compression);

// Interleaved 16-bit PCM: sample frame f of channel c is a value derived from f and c.
std::vector<uint8_t> PcmPattern(int64_t firstFrame, int64_t frames, int channels);

// Deterministic pseudo-random bytes (synthetic chunks of any size).
std::vector<uint8_t> PatternBytes(uint32_t seed, size_t size);

} // namespace tessaly::test
