// Start-up and closing of the window: the project of the first argument, the window
// settings read and written back, closing refused when the save question is cancelled.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "gui/action_registry.h"
#include "gui/file_panel.h"
#include "gui/frame_view.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"
#include "platform/ini_file.h"

namespace tessaly::test {
namespace {

class Lifecycle : public TWindowTest {};

TEST_F(Lifecycle, FirstArgumentIsLoadedAndClosingAsksAndStoresSettings)
{
    const std::string project = Dir.File("start.tsp");
    {
        TProjectSession maker;
        ASSERT_TRUE(maker.OpenSource(srVideo, MakeVideo("start.avi", 30)));
        ASSERT_TRUE(maker.OpenSource(srAudio, MakeAudio("start.wav", 1.2)));
        ASSERT_TRUE(maker.SaveProject(project));
    }
    Settings->SetShowFileman(false);
    Window->Start({project});
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("start.tsp - Tessaly"));
    EXPECT_FALSE(Window->FilePanel().isVisibleTo(Window.get()));
    EXPECT_FALSE(Window->Actions().Action(QStringLiteral("ViewFileAreaItem"))->isChecked());
    Window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));

    Window->GoToFrame(12);
    Window->MarkerPanel().SplineButton->click();
    Trigger("ViewFileAreaItem");   // the file panel comes back
    Trigger("ViewMarkerSize3Item");
    Dialogs.Answers = {mrCancel};
    Trigger("FileQuitItem");
    EXPECT_TRUE(Window->isVisible());   // "Save changes ?" cancelled
    EXPECT_EQ(Dialogs.Messages.back(), "Save changes ?");

    Dialogs.Answers = {mrNo};
    Trigger("FileQuitItem");
    EXPECT_FALSE(Window->isVisible());
    TIniFile ini(Settings->FileName());
    EXPECT_TRUE(ini.ReadBool("Current", "ShowFileman", false));
    EXPECT_EQ(ini.ReadInteger("Current", "MarkerDrawSize", 0), 3);
}

TEST_F(Lifecycle, DroppedFileIsOpenedAsProject)
{
    const std::string project = Dir.File("dropped.tsp");
    {
        TProjectSession maker;
        ASSERT_TRUE(maker.OpenSource(srVideo, MakeVideo("dropped.avi", 20)));
        ASSERT_TRUE(maker.SaveProject(project));
    }
    // The picture reports the first dropped file.
    emit Window->FrameView().FileDropped(QString::fromStdString(project));
    EXPECT_EQ(Session->Project().FrameCount(), 20);
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("dropped.tsp - Tessaly"));
    EXPECT_TRUE(Dialogs.Messages.empty());
}

} // namespace
} // namespace tessaly::test
