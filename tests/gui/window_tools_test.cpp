// Tests of the work pieces wired into the real main window: their actions follow the
// core's enable record, Calculate through the action equals `tessaly-cli render`, the
// analysis, chapters, optimisation, preview and help entries reach their windows, the
// program answers --version, and a second start hands over into the window.
#include <QApplication>
#include <functional>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <unistd.h>

#include "gui_fixture.h"

#include "gui/action_registry.h"
#include "gui/analysis_form.h"
#include "gui/edit_lists.h"
#include "gui/frame_view.h"
#include "gui/help_window.h"
#include "gui/insert_chapters_dialog.h"
#include "gui/main_window_tools.h"
#include "gui/marker_pages.h"
#include "gui/optimization_form.h"
#include "gui/preview_player.h"
#include "gui/segment_dialog.h"
#include "shell/help_topics.h"
#include "gui/project_settings_dlg.h"
#include "gui/qt_text.h"
#include <QSpinBox>
#include "gui/window_startup.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "project/enables.h"
#include "shell/one_instance.h"
#include "support/cli_support.h"
#include "support/render_media.h"

namespace tessaly::test {
namespace {

class WindowTools : public TWindowTest {
protected:
    // A 100-frame video with a primary track, a curve and a backward cut.
    void MakeProject()
    {
        MakeCurveProject();
        Window->RefreshAll();
    }
    // The core's enables for the window as it stands.
    TEnables CoreEnables() const
    {
        TWindowFacts facts;
        facts.Page = Window->EditLists().Page();
        Window->Tools().FillFacts(facts);
        return CheckEnables(EnableStateOf(Session->Project(), facts));
    }
    void ExpectEnablesOfTheCore()
    {
        const TEnables e = CoreEnables();
        EXPECT_EQ(Enabled("ProjectCalcItem"), e.Calculate);
        EXPECT_EQ(Window->MarkerPanel().CalculateButton->isEnabled(), e.CalculateButton);
        EXPECT_EQ(Enabled("ProjectAnalyzeItem"), e.Analyze);
        EXPECT_EQ(Enabled("ProjectInsertChaptersItem"), e.InsertChapters);
        EXPECT_EQ(Enabled("ProjectSuggestItem"), e.SuggestMarkers);
        EXPECT_EQ(Enabled("ViewOptimizationItem"), e.Optimization);
        for (const char *name : {"PreviewStartItem", "PreviewAroundItem", "PreviewFromItem", "PreviewToItem"})
            EXPECT_EQ(Enabled(name), e.Preview) << name;
        EXPECT_EQ(Window->Tools().PreviewButton().isEnabled(), e.Preview);
        EXPECT_EQ(Window->Tools().RangeField().isEnabled(), e.Navigate);
    }
};

TEST_F(WindowTools, WorkEntriesFollowTheCoreEnables)
{
    EXPECT_FALSE(Enabled("ProjectCalcItem"));
    EXPECT_FALSE(Enabled("PreviewStartItem"));
    ExpectEnablesOfTheCore();
    for (const char *name : {"HelpContentsItem", "HelpTutorialItem", "HelpOnHelpItem", "HelpAboutItem"})
        EXPECT_TRUE(Enabled(name)) << name;

    ASSERT_TRUE(Session->OpenSource(srVideo, MakeVideo("film.avi", 100)));
    Window->RefreshAll();
    EXPECT_FALSE(Enabled("ProjectCalcItem"));   // no audio yet
    ExpectEnablesOfTheCore();

    MakeProject();
    EXPECT_TRUE(Enabled("ProjectCalcItem"));
    EXPECT_TRUE(Enabled("ProjectAnalyzeItem"));
    ExpectEnablesOfTheCore();
    Window->EditLists().setCurrentIndex(epOutput);
    ExpectEnablesOfTheCore();

    // A range that is not a number disables the preview as the core decides.
    Window->Tools().RangeField().selectAll();
    QTest::keyClicks(&Window->Tools().RangeField(), "0");
    ExpectEnablesOfTheCore();
    EXPECT_FALSE(Enabled("PreviewStartItem"));
}

TEST_F(WindowTools, CalculateThroughTheActionAndTheButtonEqualsTheCommandLineRender)
{
    MakeProject();
    ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp")));
    std::string out;
    ASSERT_EQ(RunCommand(CliProgram() + " render " + ShellQuote(Dir.File("film.tsp")) + " " +
                             ShellQuote(Dir.File("cli.avi")) + " --yes --no-progress",
                         &out),
              0)
        << out;
    ASSERT_EQ(RunCommand(CliProgram() + " render " + ShellQuote(Dir.File("film.tsp")) + " " +
                             ShellQuote(Dir.File("cli.wav")) + " --yes --no-progress",
                         &out),
              0)
        << out;

    Dialogs.Filters = {1};   // the AVI result
    Dialogs.Files = {Dir.File("gui.avi")};
    // The notice when done offers the result's folder.
    std::vector<std::string> opened;
    Window->Tools().OpenFolder = [&opened](const std::string &folder) {
        opened.push_back(folder);
        return true;
    };
    Dialogs.Answers = {mrYes};
    Trigger("ProjectCalcItem");
    EXPECT_EQ(FileMd5(Dir.File("gui.avi")), FileMd5(Dir.File("cli.avi")));
    EXPECT_TRUE(Window->isEnabled());
    ASSERT_FALSE(Dialogs.Messages.empty());
    EXPECT_NE(Dialogs.Messages.back().find(Dir.File("gui.avi")), std::string::npos) << Dialogs.Messages.back();
    EXPECT_EQ(opened, std::vector<std::string>{ExtractFilePath(Dir.File("gui.avi"))});

    Window->EditLists().setCurrentIndex(epOutput);
    Window->RefreshAll();
    ASSERT_TRUE(Window->MarkerPanel().CalculateButton->isEnabled());
    Dialogs.Filters = {0};   // the WAV result
    Dialogs.Files = {Dir.File("button.wav")};
    Dialogs.Answers = {mrNo};
    Window->MarkerPanel().CalculateButton->click();
    EXPECT_EQ(FileMd5(Dir.File("button.wav")), FileMd5(Dir.File("cli.wav")));
    EXPECT_EQ(opened.size(), 1u);   // "No" leaves the folder closed
}

TEST_F(WindowTools, AnalysisChaptersAndOptimisationOpenFromTheirEntries)
{
    MakeProject();
    int rows = 0;
    AnswerModal<gui::TAnalysisForm>([&rows](gui::TAnalysisForm &form) {
        rows = form.Grid().rowCount();
        for (int r = 0; r < rows; ++r)
            if (form.RowFrame(r) == 60) {
                form.Grid().selectRow(r);
                form.GoToButton().click();
            }
        form.reject();
    });
    Trigger("ProjectAnalyzeItem");
    EXPECT_GT(rows, 1);
    EXPECT_EQ(Session->Project().Position(), 60);   // "Go to" on the cut's row

    AnswerModal<gui::TInsertChaptersDialog>([](gui::TInsertChaptersDialog &d) {
        d.FixedButton().setChecked(true);
        d.IntervalField().setText("100");
        d.ClearBox().setChecked(true);
        d.accept();
    });
    Trigger("ProjectInsertChaptersItem");
    EXPECT_EQ(Window->EditLists().Page(), epOutput);
    EXPECT_EQ(Settings->AutoChaptersInterval(), 100);
    EXPECT_GE(Session->Project().ChapterListCount(), 1);

    Trigger("ViewOptimizationItem");
    EXPECT_TRUE(Window->Tools().Optimization().isVisible());
    Trigger("ViewOptimizationItem");
    EXPECT_FALSE(Window->Tools().Optimization().isVisible());
}

TEST_F(WindowTools, SavedProjectRecordsTheWindowAsItIs)
{
    MakeProject();
    Window->show();
    Window->resize(900, 650);
    Window->move(40, 30);
    Trigger("ViewFileAreaItem");   // the file area off
    QApplication::processEvents();
    const std::string file = Dir.File("layout.tsp");
    ASSERT_TRUE(Session->SaveProject(file));
    TIniFile ini(file);
    const QRect frame = Window->frameGeometry();
    const QSize screen = Window->screen()->size();
    EXPECT_EQ(ini.ReadString("Arrange", "MainWnd", ""), gui::S(QStringLiteral("%1,%2,%3,%4")
                                                                   .arg(frame.x())
                                                                   .arg(frame.y())
                                                                   .arg(frame.width())
                                                                   .arg(frame.height())));
    EXPECT_GE(frame.width(), 900);   // the frame around the 900 pixels asked for
    EXPECT_EQ(ini.ReadString("Arrange", "Screen", ""),
              gui::S(QStringLiteral("%1,%2").arg(screen.width()).arg(screen.height())));
    EXPECT_EQ(ini.ReadString("Arrange", "ShowFileman", ""), "0");
    EXPECT_EQ(ini.ReadString("Arrange", "ShowStatus", ""), "1");
}

TEST_F(WindowTools, ProjectSettingsAndHintsReachTheProjectAndTheSettings)
{
    MakeProject();
    ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp")));
    ASSERT_TRUE(Enabled("OptionsProjectItem"));
    AnswerModal<gui::TProjectSettingsDlg>([](gui::TProjectSettingsDlg &d) {
        EXPECT_TRUE(d.CrossFadingBox().isChecked());
        EXPECT_FALSE(d.OffsetField().isEnabled());   // only while its box is ticked
        d.CrossFadingBox().setChecked(false);
        d.OffsetBox().setChecked(true);
        EXPECT_TRUE(d.OffsetField().isEnabled());
        d.OffsetField().setValue(-7);
        EXPECT_EQ(d.ResamplingField().count(), 3);
        d.ResamplingField().setCurrentIndex(rsKeepPitch);
        d.CrossFadeField().setValue(12);
        d.accept();
    });
    Trigger("OptionsProjectItem");
    EXPECT_EQ(Session->Project().Options().Resampling, rsKeepPitch);
    EXPECT_EQ(Session->Project().Options().CrossFadeMs, 12);
    EXPECT_TRUE(Session->Project().Options().StoreMixing);
    EXPECT_FALSE(Session->Project().Options().CrossFading);
    EXPECT_TRUE(Session->Project().Options().UseGlobalShift);
    EXPECT_EQ(Session->Project().Options().GlobalShift, -7);
    EXPECT_TRUE(Session->Project().Changed());
    Trigger("EditUndoItem");   // an undoable step like every option change
    EXPECT_TRUE(Session->Project().Options().CrossFading);

    // "Show hints" off is stored at closing.
    ASSERT_TRUE(Window->Actions().Action(QStringLiteral("HelpHintsItem"))->isChecked());
    Trigger("HelpHintsItem");
    ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp")));
    EXPECT_TRUE(Window->close());
    EXPECT_FALSE(Settings->ShowHints());
}

TEST_F(WindowTools, PreviewRunsFromSpaceGoesOutOfDateOnEditsAndStopsOnQuit)
{
    MakeProject();
    ASSERT_TRUE(Session->OpenSource(srDouble, MakeAudio("double.wav", 4.5)));
    Window->RefreshAll();
    Window->show();
    gui::TPreviewPlayer &preview = Window->Tools().Preview();
    Trigger("PreviewStartItem");
    ASSERT_TRUE(preview.Running());
    EXPECT_FALSE(Window->FrameView().isVisible());
    EXPECT_FALSE(Enabled("ProjectCalcItem"));   // the core's enables while a preview runs
    ExpectEnablesOfTheCore();

    ASSERT_TRUE(Session->Editor().MoveTo(40).Applied);
    Window->RefreshAll();
    ASSERT_TRUE(Enabled("PreviewStartItem"));
    QTest::keyClick(Window.get(), Qt::Key_A);
    EXPECT_TRUE(Window->Actions().Action(QStringLiteral("PreviewMuteAudioItem"))->isChecked());
    EXPECT_TRUE(Session->MutePrimary);
    EXPECT_TRUE(preview.OutOfDate());

    // "M" moves to the next mode: the radio items and the range label follow.
    EXPECT_TRUE(Window->Actions().Action(QStringLiteral("PreviewAroundItem"))->isChecked());
    QTest::keyClick(Window.get(), Qt::Key_M);
    EXPECT_EQ(preview.Mode(), 1);
    EXPECT_TRUE(Window->Actions().Action(QStringLiteral("PreviewFromItem"))->isChecked());
    EXPECT_EQ(Window->findChild<QLabel *>(QStringLiteral("RangeLabel"))->text(), preview.RangeLabel());

    QTest::keyClick(Window.get(), Qt::Key_Escape);
    EXPECT_FALSE(preview.Running());
    EXPECT_TRUE(Window->FrameView().isVisible());
    ExpectEnablesOfTheCore();

    // Quit while a preview runs stops it, then asks as always; cancelled, the window stays.
    Trigger("PreviewStartItem");
    ASSERT_TRUE(preview.Running());
    Session->Editor().MarkChanged();
    Dialogs.Answers = {mrCancel};
    Trigger("FileQuitItem");
    EXPECT_FALSE(preview.Running());
    EXPECT_TRUE(Window->isVisible());
    Trigger("PreviewStartItem");
    Dialogs.Answers = {mrNo};
    Trigger("FileQuitItem");
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(WindowTools, HelpEntriesShowTheManualAndAboutTheVersion)
{
    Trigger("HelpContentsItem");
    gui::THelpWindow &help = Window->Tools().Help();
    EXPECT_TRUE(help.isVisible());
    EXPECT_TRUE(help.Browser().source().isLocalFile());
    EXPECT_FALSE(help.Browser().toPlainText().isEmpty());
    Trigger("HelpTutorialItem");
    EXPECT_TRUE(help.Browser().source().toLocalFile().endsWith(QStringLiteral("tutorials.html")));

    // A dialog's help button opens its topic over the dialog.
    gui::TSegmentDialog segments("Segments", {"a1.avi", "a2.avi"}, true);
    auto *helpButton = segments.findChild<QPushButton *>(QStringLiteral("HelpBtn"));
    ASSERT_NE(helpButton, nullptr);
    ASSERT_TRUE(helpButton->isEnabled());
    helpButton->click();
    auto *topic = segments.findChild<gui::THelpWindow *>();
    ASSERT_NE(topic, nullptr);
    EXPECT_TRUE(topic->Browser().source().toLocalFile().endsWith(QLatin1String(HelpPageOf(htSegments).File)));
    EXPECT_FALSE(topic->Browser().toPlainText().isEmpty());

    Trigger("HelpAboutItem");
    auto *about = Window->findChild<gui::TAboutDlg *>();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->VersionLabel().text().contains(QLatin1String(gui::ProgramVersion())));
    about->close();
}

std::string WindowProgram()
{
    return std::string(TESSALY_BIN_DIR) + "/tessaly";
}

TEST(WindowProgram, VersionNeedsNoDisplay)
{
    std::string out;
    ASSERT_EQ(RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + ShellQuote(WindowProgram()) +
                             " --version",
                         &out),
              0);
    EXPECT_EQ(out, std::string("tessaly ") + gui::ProgramVersion() + "\n");
}

TEST_F(WindowTools, SecondStartHandsItsProjectOverIntoTheWindowOnceThePreviewEnds)
{
    MakeProject();
    ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp")));   // two markers
    ASSERT_TRUE(Session->Editor().MoveTo(80).Applied);
    ASSERT_TRUE(Session->Editor().NewMarker(mkSpline).Applied);
    ASSERT_TRUE(Session->SaveProject(Dir.File("more.tsp")));   // three markers, shown
    Window->RefreshAll();
    Window->show();
    Trigger("PreviewStartItem");
    ASSERT_TRUE(Window->Tools().Preview().Running());

    // A renamed copy of the program has a hand-over block of its own: this test is its
    // first copy and a real second process hands over to the window.
    const std::string copy = Dir.File("tessaly-handover-" + std::to_string(getpid()));
    ASSERT_EQ(RunCommand("cp " + ShellQuote(WindowProgram()) + " " + ShellQuote(copy)), 0);
    TOneInstance first(ExtractFileName(copy));
    ASSERT_EQ(first.Start({}), irFirst);
    gui::WatchHandOvers(first, *Window);

    QProcess second;
    second.start(QString::fromStdString(copy), {QString::fromStdString(Dir.File("film.tsp"))});
    ASSERT_TRUE(second.waitForStarted(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    // Not while the preview runs: the project stays until it ends.
    QTest::qWait(400);
    EXPECT_EQ(Session->Project().MarkerCount(), 3);
    QTest::keyClick(Window.get(), Qt::Key_Escape);
    ASSERT_FALSE(Window->Tools().Preview().Running());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Session->Project().MarkerCount() == 2; }, 5000));
    EXPECT_EQ(Session->Project().FileName(), Dir.File("film.tsp"));
}

} // namespace
} // namespace tessaly::test
