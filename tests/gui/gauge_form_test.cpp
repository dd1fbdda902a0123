// Tests of the progress window: the percentage shown, repaints, Esc, the disabled owner
// and the one program-wide window.
#include <cmath>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "gui_fixture.h"

#include "gui/gauge_form.h"

namespace tessaly::gui {
namespace {

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

class GaugeForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication(); }
    void TearDown() override { CloseProgress(); }
    QWidget owner;
};

TEST_F(GaugeForm, ShowsTheRoundedPercentage)
{
    TGaugeForm *form = ShowProgress(&owner);
    struct {
        double fraction;
        int percent;
    } cases[] = {{0.125, 12}, {0.375, 38}, {-0.2, 0}, {1.7, 100}, {0.5, 50}, {NAN, 0}, {0.994, 99}, {0.995, 100}};
    for (const auto &c : cases) {
        form->SetProgress(c.fraction);
        EXPECT_EQ(form->Percent(), c.percent) << c.fraction;
        EXPECT_EQ(form->BarText(), QString("%1%").arg(c.percent)) << c.fraction;
    }
    EXPECT_EQ(form->findChild<QLabel *>("Comment")->text(), "Press <ESC> to abort ...");
    EXPECT_EQ(form->findChild<QPushButton *>("CancelBtn")->text(), "&Abort");
    EXPECT_TRUE(form->findChild<QPushButton *>("CancelBtn")->font().bold());
}

TEST_F(GaugeForm, BarRepaintsOnlyWhenThePercentageChanges)
{
    TGaugeForm *form = ShowProgress(&owner);
    auto *bar = form->findChild<QProgressBar *>("Gauge");
    TPaintCounter counter;
    bar->installEventFilter(&counter);
    form->SetProgress(0.5);
    const int afterChange = counter.Paints;
    EXPECT_GE(afterChange, 1);
    form->SetProgress(0.501);
    form->SetProgress(0.4951);
    EXPECT_EQ(counter.Paints, afterChange);
    form->SetProgress(0.51);
    EXPECT_GT(counter.Paints, afterChange);
}

TEST_F(GaugeForm, EscapeSetsTheAbortFlagOnce)
{
    TGaugeForm *form = ShowProgress(&owner);
    QSignalSpy requests(form, &TGaugeForm::AbortRequested);
    EXPECT_FALSE(form->Aborted());
    QTest::keyClick(form, Qt::Key_Escape);
    QTest::keyClick(form, Qt::Key_Escape);
    EXPECT_EQ(requests.count(), 1);
    EXPECT_TRUE(form->Aborted());
    EXPECT_TRUE(form->isVisible());   // the run closes the window, not the key
    form->SetAborted(false);
    EXPECT_FALSE(form->Aborted());
}

TEST_F(GaugeForm, AbortedDeliversPendingInputFirst)
{
    TGaugeForm *form = ShowProgress(&owner);
    QCoreApplication::postEvent(form->findChild<QPushButton *>("CancelBtn"),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " "));
    QCoreApplication::postEvent(form->findChild<QPushButton *>("CancelBtn"),
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " "));
    EXPECT_TRUE(form->Aborted());   // the queued key press reached the button in this call
}

TEST_F(GaugeForm, OwnerIsDisabledWhileShownAndEnabledAfterAReplacement)
{
    owner.show();
    QPointer<TGaugeForm> first = ShowProgress(&owner);
    EXPECT_FALSE(owner.isEnabled());
    QPointer<TGaugeForm> second = ShowProgress(&owner);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(CurrentProgress(), second.data());
    EXPECT_FALSE(owner.isEnabled());
    CloseProgress();
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(CurrentProgress(), nullptr);
    EXPECT_TRUE(owner.isEnabled());

    // An owner disabled before keeps its state.
    owner.setEnabled(false);
    ShowProgress(&owner);
    CloseProgress();
    EXPECT_FALSE(owner.isEnabled());
}

TEST_F(GaugeForm, CoreProgressInterfaceDrivesTheProgramWideWindow)
{
    TQtProgress progress(&owner);
    progress.SetProgress(0.5);   // nothing shown: ignored
    EXPECT_FALSE(progress.Aborted());
    progress.Show();
    ASSERT_NE(CurrentProgress(), nullptr);
    progress.SetCaption("Render \xc3\xa4.avi");
    progress.SetComment("Performing prescan ...");
    progress.SetProgress(0.25);
    EXPECT_EQ(CurrentProgress()->windowTitle(), QString::fromUtf8("Render \xc3\xa4.avi"));
    EXPECT_EQ(CurrentProgress()->findChild<QLabel *>("Comment")->text(), "Performing prescan ...");
    EXPECT_EQ(CurrentProgress()->Percent(), 25);
    QTest::keyClick(CurrentProgress(), Qt::Key_Escape);
    EXPECT_TRUE(progress.Aborted());
    progress.Show();   // a new run starts unaborted
    EXPECT_FALSE(progress.Aborted());
    progress.Close();
    EXPECT_EQ(CurrentProgress(), nullptr);
    EXPECT_TRUE(owner.isEnabled());
}

} // namespace
} // namespace tessaly::gui
