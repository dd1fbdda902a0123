// A screenshot of the main window with a project loaded: right size, and the frame
// picture painted (not the grey of an empty or failed picture). Under Xvfb the picture
// is taken from the X server, as a user would see it.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <QTest>

#include "gui/frame_view.h"
#include "gui/main_window.h"
#include "gui_fixture.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class Screenshot : public TWindowTest {};

TEST_F(Screenshot, WindowWithProjectShowsTheFrame)
{
    const std::string video = MakeVideo("shot.avi", 60);
    const std::string audio = MakeAudio("shot.wav", 2.4);
    const std::string project = Dir.File("shot.tsp");
    {
        TProjectSession maker;
        ASSERT_TRUE(maker.OpenSource(srVideo, video));
        ASSERT_TRUE(maker.OpenSource(srAudio, audio));
        maker.Project().SetPosition(30);
        ASSERT_TRUE(maker.Editor().NewMarker(mkSpline).Applied);
        ASSERT_TRUE(maker.Editor().SetShiftValue(0, "4").Applied);
        maker.Project().SetPosition(45);
        ASSERT_TRUE(maker.Editor().NewMarker(mkRelCut).Applied);
        ASSERT_TRUE(maker.SaveProject(project));
    }
    ASSERT_TRUE(Window->LoadProjectFile(project));
    Window->resize(1000, 700);
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Window->GoToFrame(30);
    QApplication::processEvents();
    QTest::qWait(200);

    const bool onX = QGuiApplication::platformName() == QLatin1String("xcb");
    QImage shot = onX ? Window->screen()->grabWindow(Window->winId()).toImage() : Window->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    EXPECT_EQ(shot.size(), Window->size() * ratio);

    // The picture area shows the test picture: many colours, not grey 64.
    gui::TFrameView &view = Window->FrameView();
    ASSERT_FALSE(view.Frame().isNull());
    const QRect area(view.mapTo(Window.get(), QPoint(0, 0)), view.size());
    QSet<QRgb> colours;
    int grey = 0, samples = 0;
    for (int y = area.top() + 4; y < area.bottom() - 4; y += 7)
        for (int x = area.left() + 4; x < area.right() - 4; x += 7) {
            QRgb c = shot.pixel(QPoint(x, y) * ratio) & 0xFFFFFF;
            colours.insert(c);
            grey += c == 0x404040;
            ++samples;
        }
    EXPECT_GT(colours.size(), 8);
    EXPECT_LT(grey, samples / 10);

    const char *target = std::getenv("TESSALY_SCREENSHOT");
    const std::string file = target ? std::string(target) : Dir.File("window.png");
    EXPECT_TRUE(shot.save(QString::fromStdString(file)));
}

} // namespace
} // namespace tessaly::test
