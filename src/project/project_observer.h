// The change notification of a project: observers registered on it are told which parts
// changed, so that list models, the status line and the curve refresh only those.
#pragma once

#include <cstdint>
#include <vector>

#include "project/marker.h"
#include "project/project_options.h"

namespace tessaly {

// What changed; combined with |.
enum TProjectChange : unsigned {
    pcMedia = 1u << 0,      // a source opened, closed or removed; frame count and rate
    pcMarkers = 1u << 1,    // the marker list (and with it the shift curve)
    pcChapters = 1u << 2,   // the chapter list or a chapter's tick
    pcOptions = 1u << 3,    // the per-project options
    pcPosition = 1u << 4,   // the current position or the view offset
    pcChanged = 1u << 5,    // the changed flag
    pcName = 1u << 6,       // the project file name
    pcAll = 0x7Fu,
};

class TProjectObserver {
public:
    virtual ~TProjectObserver() = default;
    // Called after the change, with the parts that changed (never 0). Inside an update
    // bracket of the project the parts are collected and told once at its end. An
    // observer must not add or remove observers from inside this call.
    virtual void ProjectChanged(unsigned changes) = 0;
};

// Everything of a project an edit can change: markers, chapters, options, position and
// view offset; not the media, not the name, not the changed flag. One is taken before
// and after every edit.
struct TProjectSnapshot {
    std::vector<TMarker> Markers;       // in list (frame) order
    std::vector<TChapter> Chapters;     // the whole chapter list, used or not
    TProjectOptions Options;
    int32_t Position = 0;
    int32_t ViewOffset = 0;
    int32_t FrameCount = 0;             // of the video it was taken with
};

bool operator==(const TProjectSnapshot &a, const TProjectSnapshot &b);

} // namespace tessaly
