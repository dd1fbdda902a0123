// Tests of the analysis in the window: the scan under the progress window (and its
// abort), the result grid's texts and looks, and "Go to" moving the real window.
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "gui_fixture.h"

#include "gui/analysis_form.h"
#include "gui/gauge_form.h"
#include "gui/main_window.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class AnalysisForm : public TWindowTest {
protected:
    void Open()
    {
        ASSERT_TRUE(Session->OpenSource(srVideo, MakeVideo("film.avi", 200)));
        ASSERT_TRUE(Session->OpenSource(srAudio, MakeAudio("sound.wav", 8.5)));
    }
    QString Cell(const gui::TAnalysisForm &form, int row, int column)
    {
        return form.Grid().item(row, column)->text();
    }
};

TEST_F(AnalysisForm, WithoutMarkersShiftsAreZeroAndSpeedsFull)
{
    Open();
    TAnalysisResult result;
    ASSERT_TRUE(gui::RunProjectAnalysis(*Session, Window.get(), result));
    EXPECT_TRUE(Window->isEnabled());
    gui::TAnalysisForm form(result);
    EXPECT_EQ(form.windowTitle(), "Project analysis");
    ASSERT_EQ(form.Grid().rowCount(), 8);
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(Cell(form, r, 1), "0.000") << r;
    EXPECT_EQ(Cell(form, 4, 1), "100.000 %");
    EXPECT_EQ(Cell(form, 5, 1), "100.000 %");
    EXPECT_EQ(Cell(form, 7, 1), "-");
    EXPECT_EQ(Cell(form, 7, 2), "-");

    // Looks: bold header, values and frames right-aligned, the selection yellow.
    EXPECT_TRUE(form.Grid().horizontalHeader()->font().bold());
    EXPECT_TRUE(form.Grid().item(0, 1)->textAlignment() & Qt::AlignRight);
    EXPECT_TRUE(form.Grid().item(0, 2)->textAlignment() & Qt::AlignRight);
    EXPECT_FALSE(form.Grid().item(0, 0)->textAlignment() & Qt::AlignRight);
    EXPECT_EQ(form.Grid().palette().color(QPalette::Inactive, QPalette::Highlight), QColor(255, 255, 0));

    // "Go to" only for rows with a frame.
    EXPECT_FALSE(form.GoToButton().isEnabled());
    form.Grid().selectRow(6);   // the speed range has no frame
    EXPECT_FALSE(form.GoToButton().isEnabled());
    form.Grid().selectRow(0);
    EXPECT_TRUE(form.GoToButton().isEnabled());
}

TEST_F(AnalysisForm, GoToMovesTheWindowToTheRowsFrame)
{
    Open();
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.MoveTo(50).Applied);
    ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
    ASSERT_TRUE(ed.MoveTo(150).Applied);
    ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
    ASSERT_TRUE(ed.SetShiftValue(Session->Project().FindMarker(150), "10").Applied);
    ASSERT_TRUE(ed.MoveTo(0).Applied);

    TAnalysisResult result;
    ASSERT_TRUE(gui::RunProjectAnalysis(*Session, Window.get(), result));
    gui::TAnalysisForm form(result);
    QObject::connect(&form, &gui::TAnalysisForm::GoToFrame, Window.get(), &gui::TMainForm::GoToFrame);
    // The line through (50, 0) and (150, 10) is lowest at frame 0 and highest at the end.
    EXPECT_EQ(Cell(form, 0, 1), "-5.000");
    EXPECT_EQ(Cell(form, 0, 2), "0");
    EXPECT_EQ(form.RowFrame(1), 200);   // the scan runs up to N inclusive
    form.Grid().selectRow(1);
    form.GoToButton().click();
    EXPECT_EQ(Session->Project().Position(), 199);   // going there stops at the last frame

    // A double click on another row goes there too.
    QTableWidget &grid = form.Grid();
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect cell = grid.visualItemRect(grid.item(0, 0));
    // A real double click: press and release, then the double click on the same cell.
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(Session->Project().Position(), 0);
}

TEST_F(AnalysisForm, EscapeAbortsTheScanWithoutAResult)
{
    Open();
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout, [] {
        if (gui::TGaugeForm *form = gui::CurrentProgress(); form && form->Percent() >= 20)
            QTest::keyClick(form, Qt::Key_Escape);
    });
    presser.start(0);
    TAnalysisResult result;
    EXPECT_FALSE(gui::RunProjectAnalysis(*Session, Window.get(), result));
    presser.stop();
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_EQ(gui::CurrentProgress(), nullptr);
}

} // namespace
} // namespace tessaly::test
