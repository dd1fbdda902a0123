// Turning an alignment time map into project markers: relative cuts at the jumps,
// option markers over regions without a match, and the fewest spline points that keep
// the shift curve within a tolerance of the measured offset.
#pragma once

#include <string>
#include <vector>

#include "project/marker.h"
#include "sync/sync_types.h"

namespace tessaly {
class TProject;
class TProjectEditor;
}

namespace tessaly::autosync {

// One line of the suggestion table.
struct TSuggestRow {
    int32_t FirstFrame = 0, LastFrame = 0;   // inclusive
    double OffsetStartMs = 0, OffsetEndMs = 0;
    double DriftPpm = 0;
    double Confidence = 0;
    std::string Decision;
};

struct TSuggestion {
    std::vector<TSuggestRow> Rows;
    std::vector<TMarker> Markers;     // in frame order, as placed in the project
    double MaxErrorMs = 0;            // largest distance of the curve from the map inside matches
    int32_t Iterations = 0;
};

// Replaces the project's spline points, relative cuts and option markers by those that
// follow `map` (offsets in seconds of the primary against the video) within
// toleranceMs; double shifts stay. The edited project needs a video.
TSuggestion PlaceMarkers(TProjectEditor &editor, const sync::TSyncMap &map, double toleranceMs);

// How far a project's shift curve (spline and cuts, as GetStateAt gives it) lies from
// `map`: the largest distance over the frames a segment covers and the primary sounds
// in (a frame on a segment edge belongs to the later segment), and where.
struct TCurveFit {
    double MaxErrorMs = 0;
    int32_t WorstFrame = -1;   // -1 when no frame was compared
    int32_t Frames = 0;        // frames compared
};
TCurveFit MeasureCurveFit(const TProject &project, const sync::TSyncMap &map);

// The total shift the markers should give at video time t (seconds), in seconds;
// false where no segment covers t.
bool MapOffsetAt(const sync::TSyncMap &map, double t, double &offset);

} // namespace tessaly::autosync
