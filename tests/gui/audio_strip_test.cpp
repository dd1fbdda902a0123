// Tests of the audio strip widget on real files: a click lands in the pixel column its
// shift puts it in, the strip follows edits and the position by itself, and the double
// track gets its own lane.
#include <QImage>

#include <gtest/gtest.h>

#include "gui_fixture.h"

#include "gui/audio_strip.h"
#include "project/project_session.h"
#include "support/make_marker.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly::gui {
namespace {

// A mono 16-bit 8000 Hz WAV of `samples` with a full-scale click at each given sample.
bool WriteClickWave(const std::string &path, int32_t samples, std::initializer_list<int32_t> clicks)
{
    std::vector<uint8_t> b;
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + uint32_t(samples) * 2, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(1, 2);
    put(1, 2);
    put(8000, 4);
    put(16000, 4);
    put(2, 2);
    put(16, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(uint32_t(samples) * 2, 4);
    std::vector<int16_t> v(size_t(samples), 0);
    for (int32_t c : clicks)
        v[size_t(c)] = 30000;
    for (int16_t s : v)
        put(uint16_t(s), 2);
    return test::WriteFileBytes(path, b);
}

// Pixel columns where the lane between rows top and bottom shows `colour`.
std::vector<int> ColumnsWith(const QImage &image, int top, int bottom, const QColor &colour)
{
    std::vector<int> cols;
    for (int x = 0; x < image.width(); ++x)
        for (int y = top; y < bottom; ++y)
            if (image.pixelColor(x, y) == colour) {
                cols.push_back(x);
                break;
            }
    return cols;
}

TEST(AudioStripView, ClicksAppearWhereTheShiftPutsThemAndFollowEdits)
{
    test::EnsureApplication();
    test::TTempDir dir;
    ASSERT_TRUE(test::MakeTestVideo(dir.File("video.avi"), 100, 10));
    ASSERT_TRUE(WriteClickWave(dir.File("audio.wav"), 32000, {10000}));
    ASSERT_TRUE(WriteClickWave(dir.File("double.wav"), 32000, {12000}));
    test::TRecordingUi ui;
    TProjectSession session(&ui);
    ASSERT_TRUE(session.OpenSource(srVideo, dir.File("video.avi")));
    ASSERT_TRUE(session.OpenSource(srAudio, dir.File("audio.wav")));
    ASSERT_TRUE(session.Editor().MoveTo(50));

    TAudioStripView view(session);
    view.resize(160, 80);   // 100 samples per column; column 0 starts at sample 8100
    QImage image = view.grab().toImage();
    EXPECT_EQ(ColumnsWith(image, 0, 80, TAudioStripView::PrimaryColour()), std::vector<int>{19});
    EXPECT_EQ(image.pixelColor(100, 2), TAudioStripView::Background());
    EXPECT_NE(image.pixelColor(80, 2), TAudioStripView::Background());   // the current frame: 79 .. 82

    // An edit through the editor is seen without a call from the window: +5 frames.
    ASSERT_TRUE(session.Editor().NewMarker(mkSpline).Applied);
    ASSERT_TRUE(session.Editor().SetShiftValue(session.Project().FindMarker(50), "5").Applied);
    image = view.grab().toImage();
    EXPECT_EQ(ColumnsWith(image, 0, 80, TAudioStripView::PrimaryColour()), std::vector<int>{3});

    // The double track opened later gets the lower lane, in step with the picture.
    ASSERT_TRUE(session.OpenSource(srDouble, dir.File("double.wav")));
    image = view.grab().toImage();
    EXPECT_EQ(ColumnsWith(image, 0, 40, TAudioStripView::PrimaryColour()), std::vector<int>{3});
    EXPECT_EQ(ColumnsWith(image, 40, 80, TAudioStripView::DoubleColour()), std::vector<int>{39});
    EXPECT_TRUE(view.Strip().HasDouble);

    // Moving the position moves the picture: at frame 40 column 0 starts at sample 4900.
    session.Editor().MoveTo(40);
    image = view.grab().toImage();
    EXPECT_EQ(view.Strip().FirstSample, 4900);
    EXPECT_EQ(ColumnsWith(image, 40, 80, TAudioStripView::DoubleColour()), std::vector<int>{71});
}

} // namespace
} // namespace tessaly::gui
