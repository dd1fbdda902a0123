// The timeline's mapping: the whole film at first, zoom around the mouse within its
// limits, scrolling inside the film, following the position, and picking up markers.
#include <gtest/gtest.h>

#include "project/project.h"
#include "project/timeline.h"
#include "support/make_marker.h"
#include "support/project_fakes.h"

namespace tessaly {
namespace {

TEST(TimelineView, TheWholeFilmFirstThenZoomAroundTheMouseWithinLimits)
{
    TTimelineView view;
    view.SetFilm(1000, 500);
    EXPECT_TRUE(view.WholeFilm());
    EXPECT_DOUBLE_EQ(view.FramesPerPixel(), 2);
    EXPECT_EQ(view.FrameAt(0), 0);
    EXPECT_EQ(view.FrameAt(499.9), 999);
    EXPECT_EQ(view.FrameAt(5000), 999);   // clamped to the film
    EXPECT_EQ(view.FrameAt(-10), 0);

    view.ZoomAt(100, 4);   // the frame under x = 100 stays there
    EXPECT_FALSE(view.WholeFilm());
    EXPECT_NEAR(view.FramesPerPixel(), 2 * 0.75 * 0.75 * 0.75 * 0.75, 1e-12);
    EXPECT_EQ(view.FrameAt(100), 200);
    EXPECT_NEAR(view.XOf(200), 100, 1e-9);

    view.ZoomAt(250, 100);   // never deeper than 16 pixels a frame
    EXPECT_DOUBLE_EQ(view.FramesPerPixel(), TTimelineView::kMinFramesPerPixel);
    view.ZoomAt(250, -100);   // never wider than the film
    EXPECT_TRUE(view.WholeFilm());
    EXPECT_DOUBLE_EQ(view.FirstFrame(), 0);
}

TEST(TimelineView, ScrollingStaysInsideTheFilmAndFollowsThePosition)
{
    TTimelineView view;
    view.SetFilm(1000, 100);
    view.ZoomAt(0, 20);   // a small part of the film
    const double visible = view.VisibleFrames();
    ASSERT_LT(visible, 100);
    view.ScrollTo(-50);
    EXPECT_DOUBLE_EQ(view.FirstFrame(), 0);
    view.ScrollTo(5000);
    EXPECT_DOUBLE_EQ(view.FirstFrame(), 1000 - visible);
    view.ScrollTo(0);
    view.Follow(500);   // a page that holds the frame
    EXPECT_LE(view.FirstFrame(), 500);
    EXPECT_GT(view.FirstFrame() + visible, 500);
    const double first = view.FirstFrame();
    view.Follow(int32_t(first) + 1);   // already shown: no scrolling
    EXPECT_DOUBLE_EQ(view.FirstFrame(), first);
    // A wider strip keeps the zoom; another film shows the whole of it.
    view.SetFilm(1000, 200);
    EXPECT_FALSE(view.WholeFilm());
    view.SetFilm(300, 200);
    EXPECT_TRUE(view.WholeFilm());
    view.SetFilm(0, 200);
    EXPECT_EQ(view.FrameAt(10), -1);
}

TEST(TimelineView, TheNearestMarkerWithinTheGripIsPickedUp)
{
    test::TFakeProjectMedia media;
    media.SetVideo("/a.avi", 1000);
    TProject project{nullptr, &media};
    project.VideoOpened();
    project.AddMarker(test::Make(100, 0, mkSpline));
    project.AddMarker(test::Make(104, 0, mkRelCut));
    TTimelineView view;
    view.SetFilm(1000, 1000);   // one pixel a frame: a marker's line in the middle of it
    EXPECT_EQ(view.MarkerNear(project, 100.5, 4), 0);
    EXPECT_EQ(view.MarkerNear(project, 103, 4), 1);   // nearer to 104
    EXPECT_EQ(view.MarkerNear(project, 110, 4), -1);
    EXPECT_EQ(view.MarkerNear(project, 300, 4), -1);
}

} // namespace
} // namespace tessaly
