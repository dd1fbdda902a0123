// The picture's zoom in the real window: the zoom box and "Fit to window" agree, the
// wheel steps and Ctrl+wheel zooms, a large picture scrolls, and the preview's video
// never grows past its area.
#include <QAction>
#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "gui/action_registry.h"
#include "gui/frame_view.h"
#include "gui/main_window.h"
#include "gui/main_window_tools.h"
#include "gui/preview_player.h"
#include "gui_fixture.h"
#include "project/project_session.h"

#include <QVideoWidget>

namespace tessaly::test {
namespace {

class WindowZoom : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Dialogs.Files = {MakeVideo("zoom.avi", 50)};
        Trigger("FileOpenVideoItem");
        Window->resize(900, 700);
        Window->show();
        Box = Window->findChild<QComboBox *>(QStringLiteral("ZoomBox"));
        ASSERT_NE(Box, nullptr);
    }
    void Wheel(int notches, Qt::KeyboardModifiers modifiers)
    {
        gui::TFrameView &view = Window->FrameView();
        const QPointF at(view.width() / 2.0, view.height() / 2.0);
        QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &event);
    }
    QComboBox *Box = nullptr;
};

TEST_F(WindowZoom, FitAndTheZoomBoxAgree)
{
    EXPECT_EQ(Box->currentData().toInt(), 100);
    Trigger("ViewFitItem");
    EXPECT_EQ(Box->currentData().toInt(), 0);   // the box says "Fit"
    EXPECT_EQ(Window->FrameView().Zoom(), 0);
    // A zoom chosen while fitting ends fitting and is shown.
    Box->setCurrentIndex(Box->findData(50));
    EXPECT_FALSE(Window->Actions().Action(QStringLiteral("ViewFitItem"))->isChecked());
    EXPECT_EQ(Window->FrameView().Zoom(), 50);
    EXPECT_EQ(Session->Project().Options().Zoom, "50");
    // Choosing "Fit" in the box is the menu item.
    Box->setCurrentIndex(Box->findData(0));
    EXPECT_TRUE(Window->Actions().Action(QStringLiteral("ViewFitItem"))->isChecked());
    EXPECT_EQ(Window->FrameView().Zoom(), 0);
}

TEST_F(WindowZoom, WheelStepsFramesAndCtrlWheelZooms)
{
    Window->GoToFrame(10);
    Wheel(-2, Qt::NoModifier);   // towards the user: forward
    EXPECT_EQ(Session->Project().Position(), 12);
    Wheel(1, Qt::NoModifier);
    EXPECT_EQ(Session->Project().Position(), 11);
    Wheel(1, Qt::ControlModifier);
    EXPECT_EQ(Window->FrameView().Zoom(), 150);
    Wheel(-2, Qt::ControlModifier);
    EXPECT_EQ(Window->FrameView().Zoom(), 75);
    Wheel(-10, Qt::ControlModifier);   // stops at the smallest zoom, never at "Fit"
    EXPECT_EQ(Window->FrameView().Zoom(), 25);
    EXPECT_EQ(Session->Project().Position(), 11);
}

TEST_F(WindowZoom, ALargePictureScrollsInsteadOfBeingCropped)
{
    auto *scroll = Window->findChild<QScrollArea *>(QStringLiteral("FrameScroll"));
    ASSERT_NE(scroll, nullptr);
    Box->setCurrentIndex(Box->findData(500));   // 320 x 240
    Window->resize(700, 500);
    QApplication::processEvents();
    if (scroll->viewport()->width() < 320) {
        EXPECT_GT(scroll->horizontalScrollBar()->maximum(), 0);
    }
    if (scroll->viewport()->height() < 240) {
        EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    }
    EXPECT_GE(Window->FrameView().width(), 320);
    EXPECT_GE(Window->FrameView().height(), 240);
    // Fitting shows the whole picture again.
    Trigger("ViewFitItem");
    QApplication::processEvents();
    EXPECT_EQ(scroll->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
}

TEST_F(WindowZoom, ThePreviewVideoStaysInsideItsArea)
{
    gui::TPreviewPlayer &preview = Window->Tools().Preview();
    QWidget *video = preview.VideoWidget();
    ASSERT_NE(video, nullptr);
    QWidget *area = video->parentWidget();
    Box->setCurrentIndex(Box->findData(500));
    Window->resize(640, 480);
    QApplication::processEvents();
    preview.LayoutVideo();
    EXPECT_TRUE(area->rect().contains(video->geometry())) << area->width() << "x" << area->height();
    // Fitting fills the area keeping the shape 4:3.
    Trigger("ViewFitItem");
    preview.LayoutVideo();
    const QRect g = video->geometry();
    EXPECT_TRUE(area->rect().contains(g));
    EXPECT_TRUE(g.width() == area->width() || g.height() == area->height());
    EXPECT_NEAR(double(g.width()) / g.height(), 4.0 / 3.0, 0.05);
}

} // namespace
} // namespace tessaly::test
