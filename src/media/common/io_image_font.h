// The built-in 8 x 8 character font of the frame image.
#pragma once

#include <cstdint>

namespace tessaly {

// The eight rows of the glyph for a character, top row first, the leftmost pixel in
// the highest bit. Characters outside printable ASCII get a hollow box.
const uint8_t *FontGlyph(unsigned char c);

} // namespace tessaly
