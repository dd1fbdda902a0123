// Stepping through an H.264 film in the real window: the keys move at once, the picture
// that follows is FFmpeg's decode of the frame, the slider shows key frames while dragged
// and the exact frame when let go, and the window thread is never held up by decoding.
#include <QElapsedTimer>
#include <QImage>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "gui/frame_presenter.h"
#include "gui/frame_view.h"
#include "gui/main_window.h"
#include "gui_fixture.h"
#include "support/video_test_support.h"

namespace tessaly::test {
namespace {

constexpr int kWidth = 320, kHeight = 240, kFrames = 150;

class FrameStepping : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Film = Dir.File("film.mkv");
        // One group of pictures for the whole film: every step back needs the key frame.
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 150 -c:v libx264 -g 250 -bf 2 "
                           "-pix_fmt yuv420p " + ShellQuote(Film)));
        setenv("XDG_CACHE_HOME", Dir.File("cache").c_str(), 1);
        Reference = FfmpegBgr24(Film);
        ASSERT_EQ(Reference.size(), Bgr24FrameSize(kWidth, kHeight) * kFrames);
        Dialogs.Files = {Film};
        Dialogs.Answers = {mrYes}; // no smart rendering: load anyway
        Trigger("FileOpenVideoItem");
        ASSERT_EQ(Session->Project().FrameCount(), kFrames);
        Window->show();
        Window->FrameView().setFocus();
    }
    // Differing pixels between the view's picture and FFmpeg's frame n.
    int WrongPixels(int n) const
    {
        const QImage &shown = Window->FrameView().Frame();
        if (shown.width() != kWidth || shown.height() != kHeight)
            return kWidth * kHeight;
        const uint8_t *frame =
            reinterpret_cast<const uint8_t *>(Reference.data()) + Bgr24FrameSize(kWidth, kHeight) * size_t(n);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t *p = frame + (size_t(y) * kWidth + size_t(x)) * 3;
                wrong += shown.pixel(x, y) != qRgb(p[2], p[1], p[0]);
            }
        return wrong;
    }
    std::string Film, Reference;
};

TEST_F(FrameStepping, KeysStepAtOnceAndTheFramesThatComeAreExact)
{
    // The longest pause of the event loop while stepping, seen by a 5 ms timer.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    Window->GoToFrame(140);
    ASSERT_TRUE(WaitForPicture(140));
    EXPECT_EQ(WrongPixels(140), 0);
    beat.start(5);
    last = clock.elapsed();
    qint64 slowestKey = 0;
    for (int n = 139; n >= 128; --n) {
        QElapsedTimer key;
        key.start();
        QTest::keyClick(&Window->FrameView(), Qt::Key_Left);
        slowestKey = std::max(slowestKey, key.elapsed());
        EXPECT_EQ(Session->Project().Position(), n);
        ASSERT_TRUE(WaitForPicture(n));
        EXPECT_EQ(WrongPixels(n), 0) << "frame " << n;
    }
    for (int n = 129; n <= 131; ++n) {
        QTest::keyClick(&Window->FrameView(), Qt::Key_Right);
        ASSERT_TRUE(WaitForPicture(n));
        EXPECT_EQ(WrongPixels(n), 0) << "frame " << n;
    }
    // Quick presses: the position follows each one, the picture the last.
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(&Window->FrameView(), Qt::Key_Left);
    EXPECT_EQ(Session->Project().Position(), 126);
    ASSERT_TRUE(WaitForPicture(126));
    EXPECT_EQ(WrongPixels(126), 0);
    // Home: a frame far back, decoded while the window goes on.
    QTest::keyClick(&Window->FrameView(), Qt::Key_Home);
    EXPECT_EQ(Session->Project().Position(), 0);
    ASSERT_TRUE(WaitForPicture(0));
    EXPECT_EQ(WrongPixels(0), 0);
    beat.stop();
    EXPECT_LT(slowestKey, 250) << "a key press held the window thread";
    EXPECT_LT(longest, 250) << "the event loop stood still";
    const TFetchStats stats = Window->Frames().Fetcher().Stats();
    EXPECT_GE(stats.CacheHits, 10u);
}

TEST_F(FrameStepping, TheSliderShowsKeyFramesWhileDraggedAndTheFrameWhenLetGo)
{
    Window->GoToFrame(10);
    ASSERT_TRUE(WaitForPicture(10));
    QSlider &slider = Window->PositionSlider();
    slider.setSliderDown(true);
    slider.setValue(120);
    EXPECT_EQ(Session->Project().Position(), 120);
    ASSERT_TRUE(WaitForPicture(0));   // the only key frame
    EXPECT_EQ(WrongPixels(0), 0);
    slider.setValue(90);
    slider.setSliderDown(false);      // let go
    ASSERT_TRUE(WaitForPicture(90));
    EXPECT_EQ(WrongPixels(90), 0);
}

TEST_F(FrameStepping, AnotherVideoInItsPlaceIsReadAfresh)
{
    Window->GoToFrame(5);
    ASSERT_TRUE(WaitForPicture(5));
    // A phantom clip in its place: its frames are generated pictures, not the film's.
    Dialogs.Clips.push_back(TPhantomValues{50, 25000, 1000, 0});
    Trigger("FilePhantomItem");
    ASSERT_EQ(Session->Sources().KindString(srVideo).rfind("DUMY", 0), 0u);
    Window->GoToFrame(7);
    ASSERT_TRUE(WaitForPicture(7));
    TIOMovieReader &video = Session->Sources().Video();
    std::unique_ptr<TIOImage> expected = video.NewFrameImage();
    ASSERT_TRUE(video.GetFrame(7, *expected));
    const QImage picture = gui::FrameToImage(*expected);
    EXPECT_EQ(Window->FrameView().Frame(), picture);
}

} // namespace
} // namespace tessaly::test
