// The reference window following the main video at its own frame rate, its grey past
// its end, its zoom kept in the project; and the curve window's zoom and first place.
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

#include "gui/ref_form.h"
#include "gui/spline_form.h"
#include "gui/tool_windows.h"
#include "gui_fixture.h"
#include "gui/window_placement.h"

namespace tessaly::test {
namespace {

class ToolWindowsTest : public TWindowTest {
protected:
    gui::TToolWindows &Tools() { return *Window->findChild<gui::TToolWindows *>(); }
    std::string MakeClip(const std::string &name, int rate, int frames)
    {
        const std::string path = Dir.File(name);
        EXPECT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=" + std::to_string(rate) + " -frames:v " +
                           std::to_string(frames) + " -c:v mjpeg -q:v 3 " + ShellQuote(path)));
        return path;
    }
    void Go(int frame)
    {
        Dialogs.Texts = {std::to_string(frame)};
        Trigger("ProjectGotoItem");
        ASSERT_EQ(Session->Project().Position(), frame);
    }
};

TEST_F(ToolWindowsTest, ReferenceFollowsAtItsOwnRateAndIsGreyPastItsEnd)
{
    const std::string main = MakeClip("main.avi", 50, 200);
    const std::string ref = MakeClip("ref.avi", 25, 60);
    EXPECT_FALSE(Enabled("ViewReferenceItem"));
    Dialogs.Files = {main, ref};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenRefItem");
    gui::TRefForm &form = Tools().Reference();
    ASSERT_TRUE(form.IsOpen());
    EXPECT_TRUE(form.isVisible());   // a newly opened reference shows
    EXPECT_EQ(form.FrameRate(), 25);
    EXPECT_TRUE(form.windowFlags() & Qt::Tool);
    EXPECT_EQ(form.parentWidget(), Window.get());

    Go(100);
    EXPECT_EQ(form.ShownFrame(), 50);
    EXPECT_EQ(form.FrameText(), QStringLiteral("50"));
    const QImage frame50 = form.Picture();
    ASSERT_FALSE(frame50.isNull());
    EXPECT_NE(frame50.pixel(10, 10), qRgb(64, 64, 64));
    Go(101);   // 25 x 101 / 50 = 50.5: ties to even
    EXPECT_EQ(form.ShownFrame(), 50);
    Go(103);   // 51.5 -> 52
    EXPECT_EQ(form.ShownFrame(), 52);

    // 60 reference frames end at main frame 120.
    Go(150);
    EXPECT_EQ(form.ShownFrame(), 75);
    const QImage past = form.Picture();
    ASSERT_EQ(past.size(), QSize(64, 48));
    for (QPoint p : {QPoint(0, 0), QPoint(32, 24), QPoint(63, 47)})
        EXPECT_EQ(past.pixel(p), qRgb(64, 64, 64));

    // The flip button turns the picture upside down.
    Go(100);
    auto *flip = form.findChild<QToolButton *>(QStringLiteral("SBtFlip"));
    flip->click();
    EXPECT_EQ(form.Picture().pixel(10, 47 - 10), frame50.pixel(10, 10));

    // Removing the reference hides its window.
    Trigger("RemoveRefItem");
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.IsOpen());
    EXPECT_FALSE(Enabled("ViewReferenceItem"));
}

TEST_F(ToolWindowsTest, ReferenceZoomIsKeptInTheProject)
{
    const std::string main = MakeClip("main.avi", 25, 20);
    Dialogs.Files = {main, main};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenRefItem");
    gui::TRefForm &form = Tools().Reference();
    auto *zoom = form.findChild<QComboBox *>(QStringLiteral("CmbZoom"));
    ASSERT_EQ(zoom->count(), 8);
    zoom->setCurrentIndex(zoom->findText(QStringLiteral("200")));
    emit zoom->activated(zoom->currentIndex());
    EXPECT_EQ(form.Zoom(), 200);
    EXPECT_EQ(Session->Project().Options().RefZoom, 200);
    Trigger("EditUndoItem");
    EXPECT_EQ(Session->Project().Options().RefZoom, 100);
    EXPECT_EQ(form.Zoom(), 100);
    EXPECT_EQ(zoom->currentText(), QStringLiteral("100"));
}

TEST_F(ToolWindowsTest, CurveWindowPaintsOutOfRangeZoomAt100AndOpensUnderTheMainWindow)
{
    Dialogs.Files = {MakeClip("main.avi", 25, 400)};
    Trigger("FileOpenVideoItem");
    // A bent curve, looked at from off its middle.
    Go(100);
    ASSERT_TRUE(Session->Editor().NewMarker(mkSpline).Applied);
    ASSERT_TRUE(Session->Editor().SetShiftValue(0, "6").Applied);
    Go(300);
    ASSERT_TRUE(Session->Editor().NewMarker(mkSpline).Applied);
    ASSERT_TRUE(Session->Editor().SetShiftValue(1, "-6").Applied);
    Go(60);
    Trigger("ViewCurveItem");
    QApplication::processEvents();   // the floating dock takes its place after showing
    gui::TSplineForm &form = Tools().Spline();
    ASSERT_TRUE(form.isVisible());
    // Across the lower quarter of the main window, inside the screen.
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const TWindowRect r = SplineFirstRectBeside(gui::ToWindowRect(Window->frameGeometry()), gui::ToWindowRect(work));
    // The floating dock that holds the curve is what is placed.
    // (a dock floating over the lower part of the main window, inside the screen).
    ASSERT_NE(form.window(), Window.get());
    const QRect placed = form.window()->geometry();
    EXPECT_TRUE(work.contains(placed));
    EXPECT_GT(placed.top(), Window->frameGeometry().center().y());
    EXPECT_LE(std::abs(placed.left() - r.Left), 4);

    QComboBox &zoom = *form.ZoomList();
    EXPECT_EQ(zoom.currentText(), QStringLiteral("100"));
    const QImage at100 = form.Render();
    zoom.setCurrentIndex(zoom.findText(QStringLiteral("500")));
    EXPECT_EQ(form.PaintZoom(), 500);
    EXPECT_NE(form.Render(), at100);
    for (const char *text : {"50", "10001", "abc", ""}) {
        zoom.setEditText(QLatin1String(text));
        EXPECT_EQ(form.PaintZoom(), 100) << text;
        EXPECT_EQ(form.Render(), at100) << text;
    }
    zoom.setEditText(QStringLiteral("10000"));
    EXPECT_EQ(form.PaintZoom(), 10000);
}

} // namespace
} // namespace tessaly::test
