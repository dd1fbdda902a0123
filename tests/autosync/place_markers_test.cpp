// Marker placement beside the user's double shifts: the shifts stay on their frames with
// their values, and the suggested markers take the nearest free frames.
#include <gtest/gtest.h>

#include "autosync/suggest_markers.h"
#include "project/project.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

TEST(PlaceMarkers, DoubleShiftsKeepTheirFramesAndTheSuggestionMovesAside)
{
    test::TFakeProjectMedia media;
    media.SetVideo("/clips/a.avi", 250);
    media.Audio = true;
    TProject project(nullptr, &media);
    project.VideoOpened();
    // Where the map's first knot and a jump fall: frame 0 and the cut at 5 s (frame 125).
    ASSERT_GE(project.AddMarker(test::Make(0, 4, mkDShift)), 0);
    ASSERT_GE(project.AddMarker(test::Make(125, -3, mkDShift)), 0);
    ASSERT_GE(project.AddMarker(test::Make(60, 9, mkSpline)), 0);   // replaced

    sync::TSyncMap map;
    map.Matched = true;
    map.ReferenceLength = 10;
    sync::TSyncSegment a, b;
    a.Start = 0, a.End = 5, a.Knots = {{0, 0.2}, {5, 0.2}};
    b.Start = 5, b.End = 10, b.Knots = {{5, -0.8}, {10, -0.8}};
    map.Segments = {a, b};
    const autosync::TSuggestion s = autosync::PlaceMarkers(project, map, 0.02);

    EXPECT_EQ(project.GetMarker(project.FindMarker(0)), test::Make(0, 4, mkDShift));
    EXPECT_EQ(project.GetMarker(project.FindMarker(125)), test::Make(125, -3, mkDShift));
    EXPECT_EQ(project.FindMarker(60), -1);
    int cuts = 0, splines = 0;
    for (const TMarker &m : s.Markers) {
        cuts += m.Kind == mkRelCut;
        splines += m.Kind == mkSpline;
        if (m.Kind == mkRelCut) {
            EXPECT_EQ(MarkerMilli(m), -25000);   // one second back at 25 fps
        }
    }
    EXPECT_EQ(cuts, 1);
    EXPECT_GE(splines, 1);
    // The curve still follows the map: 0.2 s = 5 frames before the cut, -0.8 s after.
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(50).TotalShift()), 5.0, 1e-3);
    EXPECT_NEAR(static_cast<double>(project.GetStateAt(200).TotalShift()), -20.0, 1e-3);
}

} // namespace
} // namespace tessaly
