// The Qt dialogs of the window: the segment question, the phantom clip dialog, the
// message boxes and the file dialog filters, each answered by clicking its buttons.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "gui/phantom_dialog.h"
#include "gui/qt_dialogs.h"
#include "gui/segment_dialog.h"
#include "gui_fixture.h"

namespace tessaly::test {
namespace {

// Runs `act` on the modal dialog once it is shown.
void WhenModal(std::function<void(QWidget &)> act)
{
    QTimer::singleShot(0, [act] {
        QWidget *modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(*modal);
    });
}

TEST(Dialogs, SegmentQuestionReturnsTicksAndChoice)
{
    EnsureApplication();
    gui::TSegmentDialog dialog("Segments", {"a1.avi", "a2.avi", "a3.avi"}, true);
    EXPECT_NE(dialog.findChild<QPushButton *>(QStringLiteral("HelpBtn")), nullptr);
    WhenModal([](QWidget &w) {
        auto *list = w.findChild<QListWidget *>(QStringLiteral("FileList"));
        list->item(1)->setCheckState(Qt::Unchecked);
        w.findChild<QPushButton *>(QStringLiteral("TickedBtn"))->click();
    });
    TSegmentAnswer a = dialog.Ask();
    EXPECT_EQ(a.Choice, scAll);
    EXPECT_EQ(a.Ticked, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(a.Selected, 0);

    WhenModal([](QWidget &w) {
        w.findChild<QListWidget *>(QStringLiteral("FileList"))->setCurrentRow(2);
        w.findChild<QPushButton *>(QStringLiteral("SelectedBtn"))->click();
    });
    a = dialog.Ask();
    EXPECT_EQ(a.Choice, scSelected);
    EXPECT_EQ(a.Selected, 2);

    WhenModal([](QWidget &w) { w.findChild<QPushButton *>(QStringLiteral("CancelBtn"))->click(); });
    EXPECT_EQ(dialog.Ask().Choice, scCancel);
    gui::TSegmentDialog noHelp("Segments", {"b1.avi", "b2.avi"}, false);
    EXPECT_EQ(noHelp.findChild<QPushButton *>(QStringLiteral("HelpBtn")), nullptr);
}

TEST(Dialogs, PhantomPresetsSetRateAndScale)
{
    EnsureApplication();
    gui::TPhantomDialog dialog;
    auto *presets = dialog.findChild<QComboBox *>(QStringLiteral("RateBox"));
    auto *rate = dialog.findChild<QSpinBox *>(QStringLiteral("RateEdit"));
    auto *length = dialog.findChild<QSpinBox *>(QStringLiteral("LengthEdit"));
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
    presets->setCurrentIndex(presets->findText(QStringLiteral("29.97")));
    EXPECT_EQ(dialog.Values().Rate, 29970);
    EXPECT_EQ(dialog.Values().Scale, 1000);
    EXPECT_FALSE(rate->isEnabled());
    presets->setCurrentIndex(0);   // "Rate / Scale": the fields are typed
    EXPECT_TRUE(rate->isEnabled());
    EXPECT_EQ(dialog.Values().Rate, 29970);
    EXPECT_TRUE(ok->isEnabled());
    length->setValue(0);
    EXPECT_FALSE(ok->isEnabled());
}

TEST(Dialogs, MessageBoxesMapTheirButtons)
{
    EnsureApplication();
    gui::TQtDialogs dialogs;
    WhenModal([](QWidget &w) {
        auto *box = qobject_cast<QMessageBox *>(&w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), QStringLiteral("Save changes ?\nreally"));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.Message(mtConfirmation, "Save changes ?\r\nreally", mbYes | mbNo | mbCancel), mrNo);
    WhenModal([](QWidget &w) { qobject_cast<QMessageBox *>(&w)->button(QMessageBox::Abort)->click(); });
    EXPECT_EQ(dialogs.Message(mtWarning, "Smart rendering?", mbYes | mbAbort | mbHelp), mrAbort);
    WhenModal([](QWidget &w) { qobject_cast<QMessageBox *>(&w)->reject(); });
    EXPECT_EQ(dialogs.Message(mtConfirmation, "Closed?", mbYes | mbNo | mbCancel), mrCancel);
}

TEST(Dialogs, FileFiltersUseBlankSeparatedPatterns)
{
    TChooseFilter filter;
    filter.Label = "AVI files (*.avi;*.divx)";
    filter.Patterns = "*.avi;*.divx";
    EXPECT_EQ(gui::QtNameFilter(filter), QStringLiteral("AVI files (*.avi *.divx)"));
}

} // namespace
} // namespace tessaly::test
