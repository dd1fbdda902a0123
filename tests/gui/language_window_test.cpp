// The window's texts in the shipped languages: captions by object name, the language
// menu, and the way back to English.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>

#include "gui/action_registry.h"
#include "gui/edit_lists.h"
#include "gui/language_apply.h"
#include "gui/main_window.h"
#include "gui/spline_form.h"
#include "gui_fixture.h"
#include "shell/language.h"

namespace tessaly::test {
namespace {

class LanguageWindow : public TWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(LoadLanguageFile(std::string(TESSALY_BIN_DIR) + "/lang/tessaly.lng"));
        SelectLanguage("English");
        TWindowTest::SetUp();
    }
    void TearDown() override
    {
        SelectLanguage("English");
        TWindowTest::TearDown();
    }
    QString Caption(const char *name) { return Window->Actions().Action(QLatin1String(name))->text(); }
    QMenu *Menu(const char *name) { return Window->findChild<QMenu *>(QLatin1String(name)); }
};

TEST_F(LanguageWindow, GermanCaptionsAndBackToEnglish)
{
    ASSERT_TRUE(SelectLanguage("Deutsch"));
    ASSERT_TRUE(gui::ApplyLanguage(*Window));
    EXPECT_EQ(Menu("FileMenu")->title(), QString::fromUtf8("&Datei"));
    EXPECT_EQ(Caption("FileOpenVideoItem"), QString::fromUtf8("&Videodatei öffnen ..."));
    EXPECT_EQ(Window->findChild<QPushButton *>(QStringLiteral("DeleteMarkerBtn"))->text(),
              QString::fromUtf8("Marker löschen"));
    EXPECT_EQ(Window->EditLists().tabText(epOutput), QString::fromUtf8("Ausgabe"));
    // Shortcuts stay what they are in every language.
    EXPECT_EQ(Window->Actions().Action(QStringLiteral("FileSaveItem"))->shortcut(), QKeySequence(Qt::Key_F2));

    // English has no window keys: the built-in texts come back.
    ASSERT_TRUE(SelectLanguage("English"));
    ASSERT_TRUE(gui::ApplyLanguage(*Window));
    EXPECT_EQ(Menu("FileMenu")->title(), QStringLiteral("&File"));
    EXPECT_EQ(Caption("FileOpenVideoItem"), QStringLiteral("Open &video file ..."));
    EXPECT_EQ(Window->EditLists().tabText(epOutput), QStringLiteral("Output"));
}

TEST_F(LanguageWindow, EnglishAndGermanHaveTooltips)
{
    const char *const names[] = {"MoveBackBtn", "MoveForwardBtn", "ShiftEdit", "StatusPanel3", "StatusPanel4",
                                 "FrameView", "SplineBtn"};
    for (const char *language : {"Deutsch", "English"}) {
        ASSERT_TRUE(SelectLanguage(language));
        ASSERT_TRUE(gui::ApplyLanguage(*Window));
        for (const char *name : names) {
            auto *widget = Window->findChild<QWidget *>(QLatin1String(name));
            ASSERT_NE(widget, nullptr) << name;
            EXPECT_FALSE(widget->toolTip().isEmpty()) << language << " " << name;
        }
    }
    EXPECT_EQ(Window->findChild<QWidget *>(QStringLiteral("MoveBackBtn"))->toolTip(),
              QStringLiteral("Move the marker one frame back"));
}

TEST_F(LanguageWindow, ASwitchReachesTheRangeLabelAndTheToolWindows)
{
    auto *range = Window->findChild<QLabel *>(QStringLiteral("RangeLabel"));
    ASSERT_NE(range, nullptr);
    EXPECT_TRUE(range->text().startsWith(QStringLiteral("Range")));
    auto *curve = Window->findChild<gui::TSplineForm *>();
    ASSERT_NE(curve, nullptr);
    QAction *german = nullptr;
    for (QAction *a : Window->Actions().LanguageMenu()->actions())
        if (a->text() == QStringLiteral("Deutsch"))
            german = a;
    ASSERT_NE(german, nullptr);
    german->trigger();
    EXPECT_TRUE(range->text().startsWith(QStringLiteral("Bereich"))) << range->text().toStdString();
    EXPECT_EQ(curve->windowTitle(), QStringLiteral("Korrekturkurve"));   // never shown yet
    EXPECT_EQ(Window->findChild<QWidget *>(QStringLiteral("TOptionsDlg"))
                  ->findChild<QPushButton *>(QStringLiteral("BtnHelp"))
                  ->text(),
              QStringLiteral("&Hilfe"));
}

TEST_F(LanguageWindow, LanguageMenuListsTheFileAndSwitches)
{
    QMenu *menu = Window->Actions().LanguageMenu();
    ASSERT_NE(menu, nullptr);
    QStringList names;
    QAction *german = nullptr;
    for (QAction *a : menu->actions()) {
        names << a->text();
        if (a->text() == QLatin1String("Deutsch"))
            german = a;
    }
    EXPECT_EQ(names, (QStringList{QStringLiteral("English"), QStringLiteral("Deutsch")}));
    ASSERT_NE(german, nullptr);
    german->trigger();
    EXPECT_TRUE(IsGerman());
    EXPECT_TRUE(german->isChecked());
    EXPECT_EQ(Menu("EditMenu")->title(), QString::fromUtf8("&Bearbeiten"));
}

} // namespace
} // namespace tessaly::test
