// A screenshot of the main window with a project loaded: right size, and the frame
// picture painted (not the grey of an empty or failed picture). Under Xvfb the picture
// is taken from the X server, as a user would see it.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QSet>
#include <QSvgWidget>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "gui/frame_view.h"
#include "gui/status_panels.h"
#include "gui/suggest_dialog.h"
#include "gui/window_placement.h"
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

// On the screen the program runs on (1024 x 768 here, at scale factor 1 or 2): the main
// window with its timeline and the Suggest dialog fit inside the screen, buttons and all.
TEST_F(Screenshot, TheWindowAndTheSuggestDialogFitTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Window->Start({});   // places the window as a start does
    MakeCurveProject();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    Window->GoToFrame(20);
    QApplication::processEvents();
    QTest::qWait(200);
    const QSize least = Window->minimumSizeHint().expandedTo(Window->minimumSize());
    EXPECT_LE(least.height(), screen.height()) << "scale " << Window->devicePixelRatio();
    EXPECT_LE(least.width(), screen.width());
    EXPECT_TRUE(screen.contains(Window->frameGeometry()))
        << Window->frameGeometry().width() << "x" << Window->frameGeometry().height() << " on " << screen.width()
        << "x" << screen.height();
    // Every status panel lies inside the window and shows its whole text (a name too
    // long for a row is shortened and whole in its tip).
    const gui::TStatusPanels &panels = Window->StatusPanels();
    for (int i = 0; i < panels.Count(); ++i) {
        const QLabel &label = *panels.Panel(i);
        const QRect at(label.mapTo(Window.get(), QPoint(0, 0)), label.size());
        EXPECT_TRUE(Window->rect().contains(at)) << "status panel " << i;
        if (label.text() == panels.Text(i))
            EXPECT_GE(label.width(), label.sizeHint().width()) << label.text().toStdString();
        else
            EXPECT_EQ(label.toolTip(), panels.Text(i));
    }
    // The picture keeps a fair share beside the panels and docks.
    const QWidget &picture = *Window->findChild<QWidget *>(QStringLiteral("FrameScroll"));
    EXPECT_GE(picture.width() * 2, Window->width()) << picture.width() << " of " << Window->width();
    EXPECT_GE(picture.height() * 5, Window->height()) << picture.height() << " of " << Window->height();
    const QString scale = QStringLiteral("-%1x%2@%3")
                              .arg(QGuiApplication::primaryScreen()->size().width())
                              .arg(QGuiApplication::primaryScreen()->size().height())
                              .arg(Window->devicePixelRatio());
    EXPECT_TRUE(Grab(*Window).save(QString::fromStdString(Target("-fit" + scale.toStdString()))));

    autosync::TSuggestRun run;
    run.What = "double track";
    run.Fps = 25;
    for (int i = 0; i < 12; ++i)
        run.MarkerLines.push_back("marker line " + std::to_string(i));
    // (The data folder need not exist: the path is shortened by its text, not by the disk.)
    std::ifstream svg(
        (std::filesystem::path(TESSALY_TEST_DATA_DIR) / "../../docs/suggest-offset.svg").lexically_normal());
    ASSERT_TRUE(svg.good());
    std::stringstream text;
    text << svg.rdbuf();
    run.Svg = text.str();
    gui::TSuggestDialog dialog(run, Window.get());
    gui::FitToScreen(dialog);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(100);
    EXPECT_TRUE(screen.contains(dialog.frameGeometry()));
    EXPECT_LE(dialog.minimumSizeHint().height(), screen.height());
    // The buttons are inside the dialog, not cut off below it.
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (!button->isVisible())
            continue;
        const QRect at(button->mapTo(&dialog, QPoint(0, 0)), button->size());
        EXPECT_TRUE(dialog.rect().contains(at)) << button->text().toStdString();
    }
    EXPECT_TRUE(Grab(dialog).save(QString::fromStdString(Target("-suggest-fit" + scale.toStdString()))));
    dialog.reject();
}

// The other dialogs the menus open (settings, project settings, properties, chapters)
// open inside the screen with their buttons inside them, at scale factor 1 and 2.
TEST_F(Screenshot, TheMenuDialogsFitTheScreen)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Window->Start({});
    MakeCurveProject();
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    for (const char *item : {"OptionsGlobalItem", "OptionsProjectItem", "FilePropertiesItem", "ProjectInsertChaptersItem"}) {
        bool seen = false;
        AnswerModal<QDialog>([&](QDialog &d) {
            seen = true;
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&d)) << item;
            QTest::qWait(50);
            EXPECT_TRUE(screen.contains(d.frameGeometry()))
                << item << ": " << d.frameGeometry().width() << "x" << d.frameGeometry().height();
            EXPECT_LE(d.minimumSizeHint().height(), screen.height()) << item;
            for (QPushButton *button : d.findChildren<QPushButton *>()) {
                if (!button->isVisibleTo(&d))
                    continue;
                const QRect at(button->mapTo(&d, QPoint(0, 0)), button->size());
                EXPECT_TRUE(d.rect().contains(at)) << item << ": " << button->text().toStdString();
            }
            const QString name = QStringLiteral("-%1@%2").arg(QLatin1String(item)).arg(d.devicePixelRatio());
            EXPECT_TRUE(Grab(d).save(QString::fromStdString(Target(name.toStdString()))));
            d.reject();
        });
        Window->RefreshAll();
        Trigger(item);
        EXPECT_TRUE(seen) << item;
    }
}

} // namespace
} // namespace tessaly::test

