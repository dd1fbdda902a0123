// What users of other editors expect of the window: dropped media files, the usual
// Ctrl keys, recent projects, the time beside the frame, Go to a time, key frames.
#include <QAction>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "gui/action_registry.h"
#include "gui/main_window.h"
#include "gui_fixture.h"
#include "project/project_session.h"
#include "project/window_texts.h"

namespace tessaly::test {
namespace {

class Conveniences : public TWindowTest {
protected:
    // What a drop on the window does with its first file.
    void Drop(const std::string &file)
    {
        ASSERT_TRUE(Window->acceptDrops());
        Window->OpenDroppedFile(file);
    }
    QMenu *Recent() { return Window->menuBar()->findChild<QMenu *>(QStringLiteral("MenuFileRecent")); }
};

TEST_F(Conveniences, DroppedMediaOpenAsVideoAndPrimaryTrack)
{
    const std::string video = MakeVideo("drop.avi", 30), audio = MakeAudio("drop.wav", 1.2);
    Drop(video);
    EXPECT_TRUE(Session->Project().HasVideo());
    EXPECT_EQ(Session->Sources().FileList(srVideo), video);
    Drop(audio);
    EXPECT_TRUE(Session->Project().HasAudio());
    EXPECT_EQ(Session->Sources().FileList(srAudio), audio);
    // A project dropped is opened as one.
    ASSERT_TRUE(Session->SaveProject(Dir.File("dropped.tsp")));
    ASSERT_TRUE(Session->NewProject());
    Drop(Dir.File("dropped.tsp"));
    EXPECT_EQ(Session->Project().FileName(), Dir.File("dropped.tsp"));
}

TEST_F(Conveniences, CtrlKeysBesideTheFunctionKeys)
{
    const std::pair<const char *, const char *> keys[] = {{"FileNewItem", "Ctrl+N"},   {"FileOpenItem", "Ctrl+O"},
                                                          {"FileSaveItem", "Ctrl+S"},  {"FileSaveAsItem", "Ctrl+Shift+S"},
                                                          {"FileQuitItem", "Ctrl+Q"}};
    for (const auto &[name, key] : keys) {
        const QList<QKeySequence> shortcuts = Window->Actions().Action(QLatin1String(name))->shortcuts();
        EXPECT_TRUE(shortcuts.contains(QKeySequence(QLatin1String(key)))) << name;
    }
    EXPECT_EQ(Window->Actions().Action(QStringLiteral("FileOpenItem"))->shortcut(), QKeySequence(Qt::Key_F3));
    // The key works: Ctrl+O asks for a project file.
    Window->show();
    QApplication::setActiveWindow(Window.get());
    Dialogs.Files = {""};
    QTest::keyClick(Window.get(), Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
}

TEST_F(Conveniences, RecentProjectsAreListedAndOpen)
{
    Dialogs.Files = {MakeVideo("a.avi", 30), MakeAudio("a.wav", 1.2), Dir.File("first.tsp")};
    Trigger("FileOpenVideoItem");
    Trigger("FileOpenAudioItem");
    Trigger("FileSaveAsItem");
    ASSERT_NE(Recent(), nullptr);
    emit Recent()->aboutToShow();
    QAction *first = Window->findChild<QAction *>(QStringLiteral("RecentItem1"));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->text().contains(QStringLiteral("first.tsp")));
    ASSERT_TRUE(Session->NewProject());
    Window->RefreshAll();
    first->trigger();
    EXPECT_EQ(Session->Project().FileName(), Dir.File("first.tsp"));
    EXPECT_TRUE(Session->Project().HasVideo());
}

TEST_F(Conveniences, TimeBesideTheFrameAndGoToATime)
{
    Dialogs.Files = {MakeVideo("t.avi", 100)};
    Trigger("FileOpenVideoItem");
    Window->GoToFrame(50);
    EXPECT_TRUE(Window->StatusText(spFrame).contains(QStringLiteral("00:00:02.000"))) << Window->StatusText(spFrame).toStdString();
    Dialogs.Texts = {"0:01.5"};
    Trigger("ProjectGotoItem");
    EXPECT_EQ(Session->Project().Position(), 37);   // 1.5 s x 25 fps
    Dialogs.Texts = {"12"};
    Trigger("ProjectGotoItem");
    EXPECT_EQ(Session->Project().Position(), 12);
}

TEST_F(Conveniences, KeyFrameStepping)
{
    Dialogs.Files = {MakeVideo("k.avi", 45)};   // a key frame every 10 frames
    Trigger("FileOpenVideoItem");
    Window->GoToFrame(13);
    Trigger("NextKeyFrameItem");
    EXPECT_EQ(Session->Project().Position(), 20);
    Trigger("NextKeyFrameItem");
    EXPECT_EQ(Session->Project().Position(), 30);
    Trigger("PrevKeyFrameItem");
    Trigger("PrevKeyFrameItem");
    EXPECT_EQ(Session->Project().Position(), 10);
    Window->GoToFrame(42);
    Trigger("NextKeyFrameItem");   // none after the last: stays
    EXPECT_EQ(Session->Project().Position(), 42);
}

} // namespace
} // namespace tessaly::test
