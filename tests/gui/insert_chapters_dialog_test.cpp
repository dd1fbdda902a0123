// Tests of the Insert chapters dialog: when OK is allowed, and its choices handed to the
// editor for a backward cut of -50 at frame 1000 ("skip cut out parts").
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "gui_fixture.h"

#include "gui/insert_chapters_dialog.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

TEST(InsertChaptersDialog, OkNeedsAnIntervalOfAtLeast100InFixedLengthMode)
{
    EnsureApplication();
    gui::TInsertChaptersDialog dialog(2500);
    QPushButton *ok = dialog.Buttons().button(QDialogButtonBox::Ok);
    EXPECT_EQ(dialog.Mode(), acFixedLength);
    EXPECT_EQ(dialog.Interval(), 2500);
    EXPECT_TRUE(ok->isEnabled());
    dialog.IntervalField().setText("99");
    EXPECT_FALSE(ok->isEnabled());
    dialog.IntervalField().setText("");
    EXPECT_EQ(dialog.Interval(), -1);
    EXPECT_FALSE(ok->isEnabled());
    QTest::keyClicks(&dialog.IntervalField(), "1x0-0");   // only digits get in
    EXPECT_EQ(dialog.IntervalField().text(), "100");
    EXPECT_TRUE(ok->isEnabled());
    dialog.IntervalField().setText("12");
    dialog.SkipButton().setChecked(true);   // the interval does not matter then
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(dialog.IntervalField().isEnabled());
}

class InsertChapters : public TWindowTest {};

TEST_F(InsertChapters, SkipCutOutPartsAroundABackwardCut)
{
    ASSERT_TRUE(Session->OpenSource(srVideo, MakeVideo("film.avi", 1200)));
    ASSERT_TRUE(Session->OpenSource(srAudio, MakeAudio("sound.wav", 48.5)));
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.AddChapter(500).Applied);   // cleared by the dialog's choice
    ASSERT_TRUE(ed.MoveTo(1000).Applied);
    ASSERT_TRUE(ed.NewMarker(mkRelCut).Applied);
    ed.SetShiftValue(Session->Project().FindMarker(1000), "-50");
    ASSERT_EQ(Session->Project().GetMarker(Session->Project().FindMarker(1000)).Value, -50);

    gui::TInsertChaptersDialog dialog(Settings->AutoChaptersInterval());
    dialog.SkipButton().setChecked(true);
    dialog.ClearBox().setChecked(true);
    dialog.Buttons().button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(ed.InsertChapters(dialog.Mode(), dialog.Interval(), dialog.ClearFirst()).Applied);

    const TProject &p = Session->Project();
    EXPECT_TRUE(p.Options().UseChapters);
    EXPECT_TRUE(p.Options().ConcatChapters);
    ASSERT_EQ(p.ChapterListCount(), 3);
    EXPECT_EQ(p.GetListChapter(0).Frame, 0);
    EXPECT_TRUE(p.GetListChapter(0).Enabled);
    EXPECT_EQ(p.GetListChapter(1).Frame, 1000);
    EXPECT_FALSE(p.GetListChapter(1).Enabled);
    EXPECT_EQ(p.GetListChapter(2).Frame, 1050);
    EXPECT_TRUE(p.GetListChapter(2).Enabled);
}

} // namespace
} // namespace tessaly::test
