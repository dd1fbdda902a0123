// Helpers for the picture tests: FFmpeg's own decode of a file as 24-bit rows, and
// comparison of frame images with such rows.
#pragma once

#include "media/common/io_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

// Decodes a file with the ffmpeg command to raw top-down BGR24 frames (every decoded
// frame, timestamps ignored); extraArgs go before the output options. Empty on failure.
std::string FfmpegBgr24(const std::string &input, const std::string &extraArgs = "");

// Size of one top-down BGR24 frame without row padding.
inline size_t Bgr24FrameSize(uint32_t width, uint32_t height) { return size_t(width) * 3 * height; }

// Compares a 24-bit image with top-down unpadded BGR24 rows; returns the first differing
// picture row or -1 when all rows are equal.
int FirstDifferentRow(const TIOImage &image, const uint8_t *topDownBgr);
int FirstDifferentRow(const uint8_t *bottomUpBits, uint32_t stride, uint32_t width, uint32_t height,
                      const uint8_t *topDownBgr);

// Per-packet MD5 texts of a file's first video stream, from "-c copy -f framemd5".
std::vector<std::string> FfmpegPacketMd5(const std::string &input);

// MD5 of a byte range as 32 lower-case hex digits.
std::string Md5Hex(const uint8_t *data, size_t size);

} // namespace tessaly::test
