// Editing markers in the real window: the panel's fields, typing merged into one undo
// step, moving, deleting, and the stepping keys.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QUndoStack>

#include "gui/edit_lists.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"
#include "project/project_session.h"
#include "project/window_texts.h"

namespace tessaly::test {
namespace {

class MarkerEditing : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Dialogs.Files = {MakeVideo("edit.avi", 80), MakeAudio("edit.wav", 3.2)};
        Trigger("FileOpenVideoItem");
        Trigger("FileOpenAudioItem");
        ASSERT_TRUE(Session->Project().HasAudio());
    }
    gui::TMarkerPages &Panel() { return Window->MarkerPanel(); }
    TMarker At(int32_t frame) { return Session->Project().GetMarker(Session->Project().FindMarker(frame)); }
    void Type(QLineEdit *edit, const char *text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QLatin1String(text));
    }
};

TEST_F(MarkerEditing, TypingInTheShiftFieldIsOneUndoStep)
{
    Dialogs.Texts = {"30"};
    Trigger("ProjectGotoItem");
    ASSERT_EQ(Session->Project().Position(), 30);
    Panel().SplineButton->click();
    ASSERT_EQ(Panel().Page(), mpShiftProperties);
    EXPECT_EQ(Panel().ShiftEdit->text(), QStringLiteral("0"));
    Type(Panel().ShiftEdit, "-12");
    EXPECT_EQ(At(30).Value, -12);
    EXPECT_EQ(Window->UndoStack().count(), 2);   // new marker, typing
    Trigger("EditUndoItem");
    EXPECT_EQ(At(30).Value, 0);
    Trigger("EditUndoItem");
    EXPECT_EQ(Session->Project().MarkerCount(), 0);
    EXPECT_EQ(Panel().Page(), mpNewMarker);
    Trigger("EditRedoItem");
    Trigger("EditRedoItem");
    EXPECT_EQ(At(30).Value, -12);
    EXPECT_EQ(Panel().ShiftEdit->text(), QStringLiteral("-12"));
}

TEST_F(MarkerEditing, PanelBoxesAndDeleteGoThroughTheEditor)
{
    Window->GoToFrame(20);
    Panel().RelCutButton->click();
    EXPECT_TRUE(Panel().AffectButton->isChecked());   // a new cut passes its value on
    Panel().AffectButton->click();
    EXPECT_FALSE(At(20).Affect);
    Panel().EnableBox->click();
    EXPECT_TRUE(At(20).Deactivated);
    EXPECT_FALSE(Panel().ShiftEdit->isEnabled());     // the field follows the box
    Window->GoToFrame(40);
    Panel().OptionButton->click();
    ASSERT_EQ(Panel().Page(), mpOptionProperties);
    Panel().DoubleBox->click();
    EXPECT_TRUE(At(40).Value & kOptionDoubleOff);
    Type(Panel().VolumeEdit, "80");
    EXPECT_EQ(OptionVolume(At(40).Value), 80);
    Panel().DeleteButton->click();
    EXPECT_EQ(Session->Project().FindMarker(40), -1);
    EXPECT_EQ(Window->EditLists().MarkerList->count(), 1);
}

TEST_F(MarkerEditing, SteppingKeysAndMarkerJumps)
{
    Window->GoToFrame(10);
    Panel().SplineButton->click();
    Window->GoToFrame(50);
    Panel().DShiftButton->click();
    Window->GoToFrame(30);
    Trigger("StepForwardItem");
    EXPECT_EQ(Session->Project().Position(), 31);
    Trigger("SecondForwardItem");
    EXPECT_EQ(Session->Project().Position(), 56);   // 25 fps
    Trigger("PrevMarkerItem");
    EXPECT_EQ(Session->Project().Position(), 50);
    Trigger("PrevMarkerItem");
    EXPECT_EQ(Session->Project().Position(), 10);
    Trigger("NextMarkerItem");
    EXPECT_EQ(Session->Project().Position(), 50);
    Trigger("LastFrameItem");
    EXPECT_EQ(Session->Project().Position(), 79);
    Trigger("StepForwardItem");
    EXPECT_EQ(Session->Project().Position(), 79);   // stays on the last frame
    Trigger("FirstFrameItem");
    Trigger("SecondBackItem");
    EXPECT_EQ(Session->Project().Position(), 0);
    // Selecting a list entry moves to its marker.
    Window->EditLists().MarkerList->setCurrentRow(1);
    EXPECT_EQ(Session->Project().Position(), 50);
}

TEST_F(MarkerEditing, MovingMergesAndTheViewOffsetShowsAnotherFrame)
{
    Window->GoToFrame(20);
    Panel().RelCutButton->click();
    Window->EditLists().MoveForwardButton->click();
    Window->EditLists().MoveForwardButton->click();
    EXPECT_EQ(At(22).Kind, mkRelCut);
    EXPECT_EQ(Session->Project().Position(), 22);
    Trigger("EditUndoItem");
    EXPECT_EQ(At(20).Kind, mkRelCut);
    Dialogs.Texts = {"-3"};
    Trigger("ProjectViewOffsetItem");
    EXPECT_EQ(Session->Project().ViewOffset(), -3);
    EXPECT_NE(Window->StatusText(spFrame).indexOf(QLatin1String("- 3")), -1) << Window->StatusText(spFrame).toStdString();
    Window->GoToFrame(21);
    EXPECT_EQ(Session->Project().ViewOffset(), 0);
}

TEST_F(MarkerEditing, ChapterPageAddsTicksAndDeletesChapters)
{
    gui::TEditLists &lists = Window->EditLists();
    lists.setCurrentIndex(epOutput);
    EXPECT_EQ(Panel().Page(), mpChapter);
    EXPECT_FALSE(lists.ChapterList->isEnabled());   // chapters not used yet
    Panel().SubdivideButton->click();
    EXPECT_TRUE(Session->Project().Options().UseChapters);
    EXPECT_TRUE(lists.ChapterList->isEnabled());
    EXPECT_FALSE(Panel().ChapterDelButton->isEnabled());   // the start chapter stays
    Window->GoToFrame(40);
    ASSERT_TRUE(Panel().ChapterAddButton->isEnabled());
    Panel().ChapterAddButton->click();
    ASSERT_EQ(lists.ChapterList->count(), 2);
    EXPECT_FALSE(Panel().ChapterAddButton->isEnabled());   // a chapter starts here now
    lists.ChapterList->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(Session->Project().GetListChapter(1).Enabled);
    Trigger("EditUndoItem");
    EXPECT_TRUE(Session->Project().GetListChapter(1).Enabled);
    EXPECT_EQ(lists.ChapterList->item(1)->checkState(), Qt::Checked);
    Panel().ChapterDelButton->click();
    EXPECT_EQ(lists.ChapterList->count(), 1);
}

TEST_F(MarkerEditing, CutPopupEntriesOnlyForACut)
{
    Window->GoToFrame(20);
    Panel().SplineButton->click();
    EXPECT_FALSE(Enabled("ListJumpCutEndItem"));
    Window->GoToFrame(30);
    Panel().RelCutButton->click();
    Type(Panel().ShiftEdit, "5");
    EXPECT_TRUE(Enabled("ListViewOffsetItem"));
    EXPECT_TRUE(Enabled("ListJumpCutEndItem"));
    Trigger("ListViewOffsetItem");
    EXPECT_NE(Session->Project().ViewOffset(), 0);
    EXPECT_EQ(Session->Project().Position(), 30);
}

} // namespace
} // namespace tessaly::test
