// The per-project options (saved in the project file) and the program settings a new
// project starts from.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// Options stored with each project (defaults are those of a new project).
struct TProjectOptions {
    bool UseChapters = false;      // the chapter list is used
    bool ConcatChapters = false;   // all enabled chapters into one result file
    bool CrossFading = true;       // cross-fade between primary and double track
    bool UseGlobalShift = false;   // the preview uses GlobalShift
    int32_t GlobalShift = 0;       // preview offset in frames
    bool PreScan = false;          // scan from the beginning before a preview
    bool DisableZoom = false;      // preview in original size
    bool ForceVFW = false;         // compatible preview file
    bool FlipImage = false;        // flip the video display
    int32_t RefZoom = 100;         // reference window zoom, percent
    int32_t MarkerDrawSize = 1;    // 1 .. 3
    std::string PreviewEnv = "2";  // preview range in seconds
    std::string Zoom = "100";      // video zoom in percent

    bool operator==(const TProjectOptions &) const = default;
};

// Program settings a new project starts from.
struct TProjectDefaults {
    bool UseGlobalShift = false;
    int32_t GlobalShift = 0;
    std::string PreviewEnv = "2";
};

} // namespace tessaly
