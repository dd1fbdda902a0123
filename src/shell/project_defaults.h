// TProjectDefaults: the program settings a new project starts from (preview offset, its
// switch and the preview range), handed from the application context to the project.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

struct TProjectDefaults {
    bool UseGlobalShift = false;   // Options/UseDefGlobShift
    int32_t GlobalShift = 0;       // the preview offset: Options/DefGlobShift negated
    std::string PreviewEnv = "2";  // Current/PreviewEnv
};

} // namespace tessaly
