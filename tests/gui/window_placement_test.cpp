// Windows on the screen: the main window comes back where it was (from the settings, in
// the screen as it is now), the reference window is a toggle that opens on the screen,
// and the curve window opens across the main window, has a frame axis and takes clicks.
#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "gui/action_registry.h"
#include "gui/main_window.h"
#include "gui/ref_form.h"
#include "gui/spline_form.h"
#include "gui/tool_windows.h"
#include "gui/window_placement.h"
#include "gui_fixture.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class WindowPlacement : public TWindowTest {
protected:
    gui::TToolWindows &Tools() { return *Window->findChild<gui::TToolWindows *>(); }
    QRect Screen() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    // Inside the screen, except where the layout's least size is larger than the screen.
    bool InsideScreen(const QWidget &w)
    {
        const QRect s = Screen(), g = w.geometry();
        const QSize least = w.minimumSizeHint().expandedTo(w.minimumSize());
        return g.left() >= s.left() && g.top() >= s.top() && (g.right() <= s.right() || g.width() <= least.width()) &&
               (g.bottom() <= s.bottom() || g.height() <= least.height());
    }
    // A new window over the same settings file, as at the next start.
    void Restart()
    {
        Window.reset();
        Window = std::make_unique<gui::TMainForm>(*Session, *Settings, Dialogs);
        Window->Start({});
    }
};

TEST_F(WindowPlacement, MainWindowReturnsToItsPlaceInsideTheScreen)
{
    EXPECT_TRUE(InsideScreen(*Window)) << Window->geometry().x() << "," << Window->geometry().y() << " " << Window->geometry().width() << "x" << Window->geometry().height() << " least " << Window->minimumSizeHint().width() << "x" << Window->minimumSizeHint().height();
    Window->show();
    // (Inside the screen at any scale factor: 640 x 480, or less on a small screen.)
    Window->setGeometry(QRect(Screen().topLeft() + QPoint(20, 30),
                              QSize(640, 480).boundedTo(Screen().size() - QSize(40, 60))));
    const QRect placed = Window->geometry();
    ASSERT_TRUE(Window->close());
    Restart();
    EXPECT_EQ(Window->geometry(), placed);

    // A place from a larger screen is brought inside this one.
    Settings->WriteString("Current", "MainWindow", "3000,2000,5000,4000");
    Restart();
    EXPECT_TRUE(InsideScreen(*Window));
    Settings->WriteString("Current", "MainWindow", "garbage");
    Restart();
    EXPECT_TRUE(InsideScreen(*Window));
}

// A window not shown yet has no frame: it takes the whole area, not one pixel more.
TEST_F(WindowPlacement, AHiddenWindowLargerThanTheScreenTakesExactlyTheScreen)
{
    QWidget window;
    window.setMinimumSize(10, 10);
    gui::PlaceOnScreen(window, Screen().adjusted(-50, -40, 300, 200));
    EXPECT_EQ(window.geometry(), Screen());
    QWidget fresh;
    gui::FitToScreen(fresh, Screen().size() * 2);
    EXPECT_EQ(fresh.geometry(), Screen());
}

TEST_F(WindowPlacement, ReferenceWindowIsAToggleOnTheScreen)
{
    Dialogs.Files = {MakeVideo("main.avi", 50), MakeVideo("ref.avi", 50)};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenRefItem");
    gui::TRefForm &form = Tools().Reference();
    QAction *item = Window->Actions().Action(QStringLiteral("ViewReferenceItem"));
    ASSERT_TRUE(form.isVisible());
    EXPECT_TRUE(item->isCheckable());
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(Screen().contains(form.geometry()));
    Trigger("ViewReferenceItem");
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(item->isChecked());
    Trigger("ViewReferenceItem");
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(item->isChecked());
    form.close();   // its title bar: the tick follows
    EXPECT_FALSE(item->isChecked());
}

TEST_F(WindowPlacement, CurveWindowOpensOnTheScreenWithAnAxisAndTakesClicks)
{
    Dialogs.Files = {MakeVideo("main.avi", 200)};
    Trigger("FileOpenVideoItem");
    Window->show();
    Trigger("ViewCurveItem");
    QApplication::processEvents();   // the floating dock takes its place after showing
    gui::TSplineForm &curve = Tools().Spline();
    ASSERT_TRUE(curve.isVisible());
    EXPECT_TRUE(Screen().contains(curve.window()->geometry()));
    EXPECT_LE(curve.width(), Screen().width());
    // The axis below the curve carries labels (dark text on the window colour).
    const QImage picture = curve.Render();
    const QColor background = curve.palette().color(QPalette::Window);
    int marks = 0;
    for (int y = picture.height() - 10; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            marks += QColor(picture.pixel(x, y)) != background;
    EXPECT_GT(marks, 10);
    // A click goes to the frame under it: the right end is near the last frame.
    QWidget *area = curve.Area();
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(area->width() - 3, area->height() / 2));
    EXPECT_GE(Session->Project().Position(), 195);
    QTest::mouseClick(area, Qt::LeftButton, Qt::NoModifier, QPoint(2, area->height() / 2));
    EXPECT_EQ(Session->Project().Position(), 0);
}

} // namespace
} // namespace tessaly::test
