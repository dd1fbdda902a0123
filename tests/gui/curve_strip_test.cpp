// The correction curve strip in the window: painted by the core's drawing through the
// painter adapter (background, curves, marker squares, position mark), refreshed on
// every edit, and a click moves to the frame under it.
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "gui/curve_strip.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"

namespace tessaly::test {
namespace {

class CurveStrip : public TWindowTest {
protected:
    QSet<QRgb> Colours()
    {
        gui::TCurveStrip &strip = Window->CurveStrip();
        strip.resize(400, 60);
        QImage image = strip.grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                colours.insert(image.pixel(x, y) & 0xFFFFFF);
        return colours;
    }
};

TEST_F(CurveStrip, PaintsCurveMarkersAndPosition)
{
    EXPECT_EQ(Colours(), (QSet<QRgb>{0xC0C0C0}));   // silver only without a video

    Dialogs.Files = {MakeVideo("curve.avi", 100), MakeAudio("curve.wav", 4)};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenAudioItem");
    Window->GoToFrame(20);
    Window->MarkerPanel().SplineButton->click();
    Window->GoToFrame(70);
    Window->MarkerPanel().SplineButton->click();
    Window->MarkerPanel().ShiftEdit->selectAll();
    QTest::keyClicks(Window->MarkerPanel().ShiftEdit, QStringLiteral("9"));
    Window->GoToFrame(50);
    QSet<QRgb> colours = Colours();
    EXPECT_TRUE(colours.contains(0xC0C0C0));
    EXPECT_TRUE(colours.contains(0x00FFFF));   // the de-trended curve
    EXPECT_TRUE(colours.contains(0x808080));   // the curve itself
    EXPECT_TRUE(colours.contains(0xFF0000));   // spline squares
    EXPECT_TRUE(colours.contains(0xFFFF00));   // the position without a marker
    Window->GoToFrame(70);
    colours = Colours();
    EXPECT_TRUE(colours.contains(0xFFFFFF));   // the position on a marker
    EXPECT_FALSE(colours.contains(0xFFFF00));
}

TEST_F(CurveStrip, ClickGoesToTheFrameUnderIt)
{
    Dialogs.Files = {MakeVideo("click.avi", 100), MakeAudio("click.wav", 4)};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenAudioItem");
    gui::TCurveStrip &strip = Window->CurveStrip();
    strip.resize(404, 60);   // 4 pixels of border: 4 pixels per frame
    EXPECT_EQ(strip.FrameAt(2), 0);
    EXPECT_EQ(strip.FrameAt(202), 50);
    EXPECT_EQ(strip.FrameAt(500), 99);
    QTest::mouseClick(&strip, Qt::LeftButton, Qt::NoModifier, QPoint(122, 30));
    EXPECT_EQ(Session->Project().Position(), 30);
}

} // namespace
} // namespace tessaly::test
