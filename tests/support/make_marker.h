// Shorthand for building markers in the project tests.
#pragma once

#include <cstdint>

#include "project/marker.h"

namespace tessaly::test {

inline TMarker Make(int32_t frame, int32_t value, uint8_t kind, bool affect = false, bool deact = false)
{
    return TMarker{frame, value, kind, affect, deact};
}

} // namespace tessaly::test
