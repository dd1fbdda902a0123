// The per-project options (saved in the project file) and the program settings a new
// project starts from.
#pragma once

#include <cstdint>
#include <string>

#include "shell/project_defaults.h"   // TProjectDefaults: the settings a new project starts from

namespace tessaly {

// How the primary track is read between two stored samples when the shift curve drifts.
enum TResampling : int32_t {
    rsSampleCopy = 0,    // the nearest stored sample (projects from before the choice)
    rsBandLimited = 1,   // band-limited interpolation at the curve's fractional position
    rsKeepPitch = 2,     // time-stretched along the curve, its pitch kept
};

// The names of the reading modes on the command line: sample-copy, band-limited, keep-pitch.
inline const char *ResamplingName(TResampling mode)
{
    return mode == rsBandLimited ? "band-limited" : mode == rsKeepPitch ? "keep-pitch" : "sample-copy";
}
// False for any other text.
inline bool ParseResampling(const std::string &text, TResampling &mode)
{
    for (TResampling m : {rsSampleCopy, rsBandLimited, rsKeepPitch})
        if (text == ResamplingName(m)) {
            mode = m;
            return true;
        }
    return false;
}

// Longest cut fade a project may ask for.
inline constexpr int32_t kMaxCrossFadeMs = 1000;

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
    TResampling Resampling = rsSampleCopy;   // reading the primary track along the curve
    int32_t CrossFadeMs = 0;       // short equal-power fade at cuts and track switches, 0: none
    bool StoreMixing = false;      // the project file carries Resampling and CrossFadeMs

    bool operator==(const TProjectOptions &) const = default;
};

} // namespace tessaly
