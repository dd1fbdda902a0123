// The timeline's waveforms in the real window: the first paint over a two-hour film does
// not wait for them (the worker computes them meanwhile) and closing the window stops
// that work at once; once computed, the strip shows exactly the columns and pixels of
// the synchronous computation, and an edit of the markers computes them again.
#include <QPainter>
#include <QTest>

#include <chrono>

#include "gui/curve_strip.h"
#include "gui/main_window.h"
#include "gui/timeline.h"
#include "gui_fixture.h"
#include "project/audio_peaks_draw.h"
#include "project/timeline_peaks.h"
#include "support/sparse_wav.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class TimelineWaves : public TWindowTest {
protected:
    gui::TTimelineStrip &Strip() { return Window->Timeline().Strip(); }
    void Show()
    {
        Window->resize(900, 640);
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        Window->RefreshAll();
    }
    // The columns the synchronous computation gives for the strip's view.
    TTimelineWaves Synchronous()
    {
        const TPeakJob job = PeakJobOf(*Session);
        std::shared_ptr<TFilmPeaks> peaks = NewFilmPeaks(job);
        EXPECT_TRUE(peaks && ComputeFilmPeaks(job, *peaks));
        const TTimelineView &view = Strip().View();
        return peaks ? peaks->Waves(view.FirstFrame(), view.FramesPerPixel(), Strip().width()) : TTimelineWaves{};
    }
    void ExpectSameColumns(const TTimelineWaves &shown, const TTimelineWaves &want)
    {
        ASSERT_EQ(shown.Width, want.Width);
        ASSERT_EQ(shown.HasPrimary, want.HasPrimary);
        ASSERT_EQ(shown.Primary.size(), want.Primary.size());
        EXPECT_TRUE(shown.AllReady());
        for (size_t x = 0; x < want.Primary.size(); ++x) {
            const TPeakColumn &a = shown.Primary[x], &b = want.Primary[x];
            ASSERT_TRUE(a.Min == b.Min && a.Max == b.Max && a.Sounding == b.Sounding) << "column " << x;
        }
    }
};

TEST_F(TimelineWaves, TheFirstPaintOfATwoHourFilmReturnsAtOnceAndClosingStopsTheWork)
{
    // Two hours at 25 fps: a phantom clip and a 48 kHz stereo track of the same length.
    TPhantomClip clip;
    clip.Frames = 180000;
    ASSERT_TRUE(Session->OpenPhantomClip(clip));
    const std::string wav = Dir.File("long.wav");
    ASSERT_TRUE(WriteSparseWav(wav, 48000, 2, int64_t{180000} * 1920, {48000, int64_t{3600} * 48000}));
    ASSERT_TRUE(Session->OpenSource(srAudio, wav));
    Show();
    const auto start = Clock::now();
    Strip().repaint();
    EXPECT_LT(Clock::now() - start, 250ms);
    // What it drew: the primary lane, with the computing band where nothing is ready.
    EXPECT_TRUE(Strip().Waves().HasPrimary);
    EXPECT_EQ(Strip().Waves().Width, Strip().width());
    EXPECT_FALSE(Strip().Waves().AllReady());
    EXPECT_LT(Strip().Peaks().FramesDone(), 180000);
    const QImage shown = Strip().grab().toImage();
    EXPECT_EQ(shown.pixelColor(Strip().width() - 2, gui::TTimelineStrip::kHeadHeight + 2),
              QColor(strip_colours::kComputing.R, strip_colours::kComputing.G, strip_colours::kComputing.B));
    // Closing while the worker mixes: it stops within a frame's work.
    const auto close = Clock::now();
    Window.reset();
    EXPECT_LT(Clock::now() - close, 3s);
}

TEST_F(TimelineWaves, TheWaveformsArriveWithThePixelsOfTheSynchronousComputation)
{
    MakeCurveProject();
    Show();
    ASSERT_TRUE(Strip().Peaks().WaitIdle(60s));
    ASSERT_TRUE(Strip().Peaks().Finished());
    // The worker's repaint arrives through the event loop.
    QTRY_VERIFY_WITH_TIMEOUT(Strip().Waves().AllReady(), 5000);
    const TTimelineWaves want = Synchronous();
    ExpectSameColumns(Strip().Waves(), want);

    // The pixels below the marker heads equal the synchronous columns drawn, apart from
    // the columns of the markers and of the current frame drawn over them.
    const int head = gui::TTimelineStrip::kHeadHeight;
    const QImage shown = Strip().grab().toImage().convertToFormat(QImage::Format_RGB32);
    QImage drawn(Strip().width(), Strip().height() - head, QImage::Format_RGB32);
    {
        QPainter p(&drawn);
        gui::TPainterCanvas canvas(p);
        TTimelineWaves waves = want;
        waves.FrameStarts = Strip().Waves().FrameStarts;
        DrawTimelineWaves(waves, canvas, drawn.width(), drawn.height());
    }
    std::vector<bool> skip(size_t(drawn.width()), false);
    const int frameWidth = int(std::ceil(1 / Strip().View().FramesPerPixel()));
    for (int32_t f : {20, 60, Session->Project().Position()})
        for (int x = Strip().XOfFrame(f) - 6; x <= Strip().XOfFrame(f) + frameWidth + 6; ++x)
            if (x >= 0 && x < drawn.width())
                skip[size_t(x)] = true;
    int compared = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            if (skip[size_t(x)])
                continue;
            ASSERT_EQ(shown.pixel(x, y + head), drawn.pixel(x, y)) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, drawn.width() * drawn.height() / 2);

    // A new spline point: the waveforms are computed again for the new placement.
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.MoveTo(40).Applied);
    ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
    ASSERT_TRUE(ed.SetShiftValue(Session->Project().FindMarker(40), "-6").Applied);
    ASSERT_TRUE(Strip().Peaks().WaitIdle(60s));
    Strip().repaint();
    const TTimelineWaves again = Synchronous();
    ExpectSameColumns(Strip().Waves(), again);
    bool moved = false;
    for (size_t x = 0; x < want.Primary.size(); ++x)
        moved = moved || want.Primary[x].Max != again.Primary[x].Max;
    EXPECT_TRUE(moved);
}

} // namespace
} // namespace tessaly::test
