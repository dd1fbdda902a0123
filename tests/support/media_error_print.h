// Lets GoogleTest print media error codes by their identifiers in failure messages.
#pragma once

#include <ostream>

#include "media/common/media_error.h"

namespace tessaly {
inline void PrintTo(TMediaError code, std::ostream *os) { *os << MediaErrorIdent(code); }
} // namespace tessaly
