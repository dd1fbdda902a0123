// Tests of the optimisation window over the real window: the empty state, the marker
// farthest from the curve in its colour, going there, and removing after the question.
#include <cstdlib>

#include <QLabel>
#include <QPushButton>

#include "gui_fixture.h"

#include "gui/main_window.h"
#include "gui/optimization_form.h"
#include "project/project_session.h"

namespace tessaly::test {
namespace {

class OptimizationForm : public TWindowTest {
protected:
    void Marker(int32_t frame, const char *value, bool active)
    {
        TProjectEditor &ed = Session->Editor();
        ASSERT_TRUE(ed.MoveTo(frame).Applied);
        ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
        const int32_t index = Session->Project().FindMarker(frame);
        ed.SetShiftValue(index, value);   // not applied when the new marker already has it
        ASSERT_EQ(Session->Project().GetMarker(index).Value, std::atoi(value));
        if (!active) {
            ASSERT_TRUE(ed.SetMarkerEnabled(index, false).Applied);
        }
    }
};

TEST_F(OptimizationForm, ShowsTheFarthestDeactivatedMarkerAndRemovesThemAll)
{
    ASSERT_TRUE(Session->OpenSource(srVideo, MakeVideo("film.avi", 200)));
    ASSERT_TRUE(Session->OpenSource(srAudio, MakeAudio("sound.wav", 8.5)));
    gui::TOptimizationForm form(*Session, Window.get());
    QObject::connect(&form, &gui::TOptimizationForm::GoToFrame, Window.get(), &gui::TMainForm::GoToFrame);
    QObject::connect(&form, &gui::TOptimizationForm::RemoveConfirmed,
                     [this] { EXPECT_TRUE(Session->Editor().RemoveDeactivated().Applied); });
    const QColor plain = form.DeviationLabel().palette().color(QPalette::Window);

    EXPECT_EQ(form.CountLabel().text(), "(0)");
    EXPECT_EQ(form.FrameButton().text(), "-");
    EXPECT_EQ(form.DeviationLabel().text(), "");
    EXPECT_FALSE(form.FrameButton().isEnabled());
    EXPECT_FALSE(form.RemoveButton().isEnabled());

    // The curve runs straight through (0, 0) and (100, 10); the deactivated markers lie
    // 0.3 below it at frame 23 and 0.8 above it at frame 52.
    Marker(0, "0", true);
    Marker(100, "10", true);
    Marker(23, "2", false);
    Marker(52, "6", false);
    EXPECT_EQ(form.CountLabel().text(), "(2)");
    EXPECT_EQ(form.FrameButton().text(), "52");
    EXPECT_EQ(form.DeviationLabel().text(), "-0.800");
    EXPECT_EQ(form.DeviationLabel().palette().color(QPalette::Window), QColor(255, 255, 0));
    EXPECT_TRUE(form.RemoveButton().isEnabled());

    form.FrameButton().click();
    EXPECT_EQ(Session->Project().Position(), 52);

    Dialogs.Answers = {mrCancel};
    form.RemoveButton().click();
    EXPECT_EQ(Session->Project().MarkerCount(), 4);
    Dialogs.Answers = {mrYes};
    form.RemoveButton().click();
    EXPECT_EQ(Dialogs.Messages.back(), "Remove all deactivated markers?");
    EXPECT_EQ(Session->Project().MarkerCount(), 2);
    EXPECT_EQ(form.CountLabel().text(), "(0)");
    EXPECT_FALSE(form.RemoveButton().isEnabled());
    EXPECT_EQ(form.DeviationLabel().palette().color(QPalette::Window), plain);
}

} // namespace
} // namespace tessaly::test
