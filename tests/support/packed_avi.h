// Rewrites an MPEG-4 AVI with one B-frame between references into the packed layout of
// some older encoders: each B-frame stored in the chunk of the reference before it and a
// small placeholder chunk in its own place.
#pragma once

#include <string>

namespace tessaly::test {

// Rewrites the video-only AVI at path in place; false when it cannot be read or holds no
// B-frame to pack.
bool PackBFrames(const std::string &path);

} // namespace tessaly::test
