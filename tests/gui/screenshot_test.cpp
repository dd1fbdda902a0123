// A screenshot of the main window with a project loaded: right size, and the frame
// picture painted (not the grey of an empty or failed picture). Under Xvfb the picture
// is taken from the X server, as a user would see it.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <QSvgWidget>
#include <QTest>

#include "gui/frame_view.h"
#include "gui/suggest_dialog.h"
#include "gui/main_window.h"
#include "gui_fixture.h"
#include "project/project_session.h"
#include "support/sync_truth.h"

namespace tessaly::test {
namespace {

class Screenshot : public TWindowTest {
protected:
    QImage Grab(QWidget &widget) const
    {
        const bool onX = QGuiApplication::platformName() == QLatin1String("xcb");
        return onX ? widget.screen()->grabWindow(widget.winId()).toImage() : widget.grab().toImage();
    }
    // TESSALY_SCREENSHOT names the window's picture; the others go beside it.
    std::string Target(const std::string &suffix) const
    {
        const char *target = std::getenv("TESSALY_SCREENSHOT");
        std::string file = target ? std::string(target) : Dir.File("window.png");
        if (!suffix.empty())
            file = file.substr(0, file.size() - 4) + suffix + ".png";
        return file;
    }
};

TEST_F(Screenshot, WindowWithProjectShowsTheFrame)
{
    const std::string video = MakeVideo("shot.avi", 60);
    const std::string audio = MakeAudio("shot.wav", 2.4);
    const std::string project = Dir.File("shot.tsp");
    {
        TProjectSession maker;
        ASSERT_TRUE(maker.OpenSource(srVideo, video));
        ASSERT_TRUE(maker.OpenSource(srAudio, audio));
        maker.Editor().MoveTo(30);
        ASSERT_TRUE(maker.Editor().NewMarker(mkSpline).Applied);
        ASSERT_TRUE(maker.Editor().SetShiftValue(0, "4").Applied);
        maker.Editor().MoveTo(45);
        ASSERT_TRUE(maker.Editor().NewMarker(mkRelCut).Applied);
        ASSERT_TRUE(maker.SaveProject(project));
    }
    ASSERT_TRUE(Window->LoadProjectFile(project));
    Window->resize(1000, 700);
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Window->GoToFrame(30);
    ASSERT_TRUE(WaitForPicture(30));
    QApplication::processEvents();
    QTest::qWait(200);

    QImage shot = Grab(*Window);
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

    EXPECT_TRUE(shot.save(QString::fromStdString(Target(""))));
}

// A dub cut differently and running at 25/24 speed: the suggestion dialog as a user sees
// it, with the measured offset and the fitted curve drawn in the picture.
TEST_F(Screenshot, SuggestDialogShowsTheMeasurementAndTheCurve)
{
    TTruthCase truth;
    for (const TTruthSpec &spec : TruthFamilies(40)) {
        if (spec.Name == "dub") {
            ASSERT_TRUE(MakeTruthCase(spec, Dir.Path(), truth));
        }
    }
    ASSERT_TRUE(Session->OpenSource(srVideo, truth.Video));
    ASSERT_TRUE(Session->OpenSource(srAudio, truth.Primary));
    ASSERT_TRUE(Session->OpenSource(srDouble, truth.Reference));
    Window->resize(1000, 700);
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    QImage shot;
    int plotColours = 0;
    AnswerModal<gui::TSuggestDialog>([&](gui::TSuggestDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
        QTest::qWait(200);
        shot = Grab(d);
        const QImage plot = d.Plot().grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < plot.height(); y += 3)
            for (int x = 0; x < plot.width(); x += 3)
                colours.insert(plot.pixel(x, y) & 0xFFFFFF);
        plotColours = colours.size();
        d.reject();
    });
    Window->RefreshAll();
    Trigger("ProjectSuggestItem");
    ASSERT_FALSE(shot.isNull());
    EXPECT_GT(plotColours, 4);   // dots, curve, axes and labels, not an empty white field
    EXPECT_TRUE(shot.save(QString::fromStdString(Target("-suggest"))));
}

} // namespace
} // namespace tessaly::test
