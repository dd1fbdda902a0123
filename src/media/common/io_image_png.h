// Encoding a frame image as a PNG file's bytes (24-bit RGB, whatever the image's format),
// through FFmpeg's PNG encoder.
#pragma once

#include "media/common/io_image.h"

#include <cstdint>
#include <vector>

namespace tessaly {

// The PNG bytes of the picture as shown (palette images through their palette); false
// when the encoder is missing or fails.
bool EncodePng(const TIOImage &image, std::vector<uint8_t> &png);

} // namespace tessaly
