// The main window while a person edits: the focus after a dialog, typing fractions,
// undo steps and their names, the keys after typing, and a new video's frame buffer.
#include <QAction>
#include <QComboBox>
#include <cmath>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QUndoStack>

#include "gui/action_registry.h"
#include "gui/edit_lists.h"
#include "gui/frame_view.h"
#include "gui/insert_chapters_dialog.h"
#include "gui/main_window_tools.h"
#include "gui/main_window.h"
#include "gui/marker_pages.h"
#include "gui_fixture.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class EditingFlow : public TWindowTest {
protected:
    void SetUp() override
    {
        TWindowTest::SetUp();
        Dialogs.Files = {MakeVideo("flow.avi", 80), MakeAudio("flow.wav", 3.2)};
        Trigger("FileOpenVideoItem");
        Trigger("FileOpenAudioItem");
        ASSERT_TRUE(Session->Project().HasAudio());
        Window->show();
        QApplication::setActiveWindow(Window.get());
    }
    gui::TMarkerPages &Panel() { return Window->MarkerPanel(); }
    TMarker At(int32_t frame) { return Session->Project().GetMarker(Session->Project().FindMarker(frame)); }
    // Enters the field (a new visit), replaces its text by typing.
    void Type(QLineEdit *edit, const char *text)
    {
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        QTest::keyClicks(edit, QLatin1String(text));
    }
    QString ActionText(const char *name) { return Window->Actions().Action(QLatin1String(name))->text(); }
};

TEST_F(EditingFlow, MarkerListRegainingTheFocusKeepsThePosition)
{
    Window->GoToFrame(20);
    Panel().SplineButton->click();
    Window->GoToFrame(60);
    Panel().RelCutButton->click();
    QListWidget *list = Window->EditLists().MarkerList;
    list->setFocus(Qt::MouseFocusReason);
    Dialogs.Texts = {"40"};
    Trigger("ProjectGotoItem");
    ASSERT_EQ(Session->Project().Position(), 40);
    // The dialog took the focus; it comes back to the list, which has no current row.
    QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(list, &out);
    QFocusEvent in(QEvent::FocusIn, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(list, &in);
    EXPECT_EQ(Session->Project().Position(), 40);
    // A row chosen by key or click still moves there.
    list->setCurrentRow(1);
    EXPECT_EQ(Session->Project().Position(), 60);
}

TEST_F(EditingFlow, FractionsSurviveTheFieldAndANewSplinePoint)
{
    Window->GoToFrame(10);
    Panel().SplineButton->click();
    Type(Panel().ShiftEdit, "3.25");
    EXPECT_EQ(MarkerMilli(At(10)), 3250);
    Window->GoToFrame(0);
    Window->GoToFrame(10);
    EXPECT_EQ(Panel().ShiftEdit->text(), QStringLiteral("3.25"));

    Window->GoToFrame(40);
    Panel().SplineButton->click();
    Type(Panel().ShiftEdit, "10");
    // Between the points the curve is fractional; a point placed there keeps its value.
    const long double before = Session->Project().SplineShiftAt(23);
    ASSERT_NE(std::nearbyintl(before * 1000) / 1000, std::nearbyintl(before));
    Window->GoToFrame(23);
    Panel().SplineButton->click();
    EXPECT_EQ(MarkerMilli(At(23)), int64_t(std::nearbyintl(before * 1000)));
}

TEST_F(EditingFlow, CtrlZInTheShiftFieldUndoesTheProjectEdit)
{
    Window->GoToFrame(30);
    Panel().SplineButton->click();
    Type(Panel().ShiftEdit, "12");
    ASSERT_EQ(At(30).Value, 12);
    QTest::keyClick(Panel().ShiftEdit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(At(30).Value, 0);
    EXPECT_EQ(Panel().ShiftEdit->text(), QStringLiteral("0"));
    EXPECT_EQ(Window->UndoStack().index(), 1);   // only the new marker is left
}

TEST_F(EditingFlow, SeparateEditsAreSeparateNamedSteps)
{
    Window->GoToFrame(30);
    EXPECT_EQ(ActionText("EditUndoItem"), QStringLiteral("&Undo"));
    Panel().SplineButton->click();
    EXPECT_EQ(ActionText("EditUndoItem"), QStringLiteral("&Undo Add spline point"));
    Type(Panel().ShiftEdit, "5");
    QTest::keyClick(Panel().ShiftEdit, Qt::Key_Return);
    Type(Panel().ShiftEdit, "7");
    EXPECT_EQ(Window->UndoStack().count(), 3);
    EXPECT_EQ(ActionText("EditUndoItem"), QStringLiteral("&Undo Change shift"));
    Trigger("EditUndoItem");
    EXPECT_EQ(At(30).Value, 5);
    EXPECT_EQ(ActionText("EditRedoItem"), QStringLiteral("&Redo Change shift"));
    // Clicks on one move button in a row are one step.
    Panel().DeleteButton->setFocus();
    Window->EditLists().MoveForwardButton->click();
    Window->EditLists().MoveForwardButton->click();
    EXPECT_EQ(Session->Project().FindMarker(32), 0);
    EXPECT_EQ(ActionText("EditUndoItem"), QStringLiteral("&Undo Move marker"));
    Trigger("EditUndoItem");
    EXPECT_EQ(Session->Project().FindMarker(30), 0);
}

TEST_F(EditingFlow, CancellingSaveChangesKeepsTheUndoHistory)
{
    Window->GoToFrame(30);
    Panel().SplineButton->click();
    ASSERT_EQ(Window->UndoStack().count(), 1);
    Dialogs.Files = {Dir.File("other.tsp")};
    Dialogs.Answers = {mrCancel};
    Trigger("FileOpenItem");
    EXPECT_EQ(Window->UndoStack().count(), 1);
    EXPECT_TRUE(Enabled("EditUndoItem"));
}

TEST_F(EditingFlow, KeysReturnToThePictureAfterTyping)
{
    Window->GoToFrame(30);
    Panel().SplineButton->click();
    EXPECT_TRUE(Window->EditLists().MoveBackButton->isEnabled());
    Type(Panel().ShiftEdit, "4");
    QTest::keyClick(Panel().ShiftEdit, Qt::Key_Return);
    EXPECT_TRUE(Window->FrameView().hasFocus());
    QTest::keyClick(&Window->FrameView(), Qt::Key_Right);
    EXPECT_EQ(Session->Project().Position(), 31);
    EXPECT_FALSE(Window->EditLists().MoveBackButton->isEnabled());   // no marker on 31
    QTest::keyClick(&Window->FrameView(), Qt::Key_End);
    EXPECT_EQ(Session->Project().Position(), 79);
    // A click on the picture takes the keys from a field.
    Window->GoToFrame(30);
    Panel().ShiftEdit->setFocus();
    QTest::mouseClick(&Window->FrameView(), Qt::LeftButton);
    EXPECT_TRUE(Window->FrameView().hasFocus());
    QTest::keyClick(&Window->FrameView(), Qt::Key_Left);
    EXPECT_EQ(Session->Project().Position(), 29);
}

TEST_F(EditingFlow, AnotherPixelFormatOfTheSameSizeGetsItsOwnBuffer)
{
    Window->GoToFrame(5);
    ASSERT_FALSE(Window->FrameView().Frame().isNull());
    // The same 64 x 48 picture as 8-bit palette frames.
    const std::string pal = Dir.File("pal.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -frames:v 20 -c:v rawvideo -pix_fmt pal8 " +
                       ShellQuote(pal)));
    Dialogs.Files = {pal};
    Dialogs.Answers = {mrNo};   // save changes?
    Trigger("FileOpenVideoItem");
    ASSERT_EQ(Session->Sources().FileList(srVideo), pal);
    Window->GoToFrame(5);
    ASSERT_TRUE(WaitForPicture(5));
    const QImage frame = Window->FrameView().Frame();
    ASSERT_FALSE(frame.isNull());
    int grey = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            grey += frame.pixel(x, y) == qRgb(64, 64, 64);
    EXPECT_LT(grey, frame.width() * frame.height() / 2);
}

TEST_F(EditingFlow, PreviewRangeTakesNumbersAndOnlyAValidOneIsKept)
{
    QLineEdit &range = Window->Tools().RangeField();
    range.setFocus();
    range.selectAll();
    QTest::keyClicks(&range, "3x,5");
    EXPECT_EQ(range.text(), QStringLiteral("3,5"));   // letters never get in
    EXPECT_EQ(Session->Project().Options().PreviewEnv, "3,5");
    // The list offers ranges; picking one is an edit like typing.
    auto *box = Window->findChild<QComboBox *>(QStringLiteral("RangeBox"));
    ASSERT_NE(box, nullptr);
    ASSERT_GE(box->findText(QStringLiteral("5")), 0);
    box->setCurrentIndex(box->findText(QStringLiteral("5")));
    emit box->textActivated(QStringLiteral("5"));
    EXPECT_EQ(Session->Project().Options().PreviewEnv, "5");
    // A range that cannot preview stays in the project but not in the settings.
    range.selectAll();
    QTest::keyClicks(&range, "0");
    EXPECT_FALSE(Enabled("PreviewStartItem"));
    Dialogs.Answers = {mrNo};   // save changes?
    ASSERT_TRUE(Window->close());
    EXPECT_NE(Settings->PreviewEnv(), "0");
}

TEST_F(EditingFlow, DialogsHaveHelpAndInsertChaptersClearsByDefault)
{
    for (const char *name : {"TOptionsDlg", "TPropertiesDlg", "TRefForm"}) {
        QWidget *window = Window->findChild<QWidget *>(QLatin1String(name));
        ASSERT_NE(window, nullptr) << name;
        EXPECT_NE(window->findChild<QPushButton *>(QStringLiteral("BtnHelp")), nullptr) << name;
    }
    gui::TInsertChaptersDialog dialog(100);
    EXPECT_TRUE(dialog.ClearFirst());
}

} // namespace
} // namespace tessaly::test
