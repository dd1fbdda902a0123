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
    int32_t Resampling = 0;        // Options/DefResampling: 0 sample copy, 1 band-limited, 2 keep pitch
    int32_t CrossFadeMs = 0;       // Options/DefCrossFadeMs
};

} // namespace tessaly
