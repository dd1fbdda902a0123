// Tests of the Calculate command through the real window's pieces: the save dialog's
// request, results equal to those of `tessaly-cli render` byte for byte, and an abort
// from the progress window that keeps the chapter files written so far.
#include <QTest>
#include <QTimer>

#include "gui_fixture.h"

#include "gui/calculate_command.h"
#include "gui/gauge_form.h"
#include "gui/main_window.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/settings.h"
#include "support/cli_support.h"
#include "support/render_media.h"

namespace tessaly::test {
namespace {

class CalculateCommand : public TWindowTest {
protected:
    // A 100-frame video with a primary track, a curve and a backward cut, saved.
    void MakeProject()
    {
        MakeCurveProject();
    }
    void Save() { ASSERT_TRUE(Session->SaveProject(Dir.File("film.tsp"))); }
    // Renders the saved project with the command-line program.
    void CliRender(const std::string &output)
    {
        std::string out;
        ASSERT_EQ(RunCommand(CliProgram() + " render " + ShellQuote(Dir.File("film.tsp")) + " " +
                                 ShellQuote(output) + " --yes --no-progress",
                             &out),
                  0)
            << out;
    }
};

TEST_F(CalculateCommand, DialogStartsInTheStoredFolderWithTheProjectName)
{
    MakeProject();
    Save();
    Settings->SetFolder(fkRes, Dir.Path());
    Settings->SetResFmt(rfAvi);
    gui::TFileRequest request = gui::CalculateFileRequest(*Session, *Settings);
    EXPECT_EQ(request.Title, "Save file as");
    EXPECT_TRUE(request.Save);
    ASSERT_EQ(request.Filters.size(), 2u);
    EXPECT_EQ(request.Filters[0].Patterns, "*.wav");
    EXPECT_EQ(request.Filters[1].Patterns, "*.avi");
    EXPECT_EQ(request.Preselected, 1);
    EXPECT_EQ(request.Folder, Dir.Path() + "/film");

    Dialogs.Files = {""};   // cancelled: nothing happens, nothing is stored
    Settings->SetResFmt(rfWav);
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    EXPECT_EQ(run.Outcome, coCancelled);
    EXPECT_TRUE(run.Files.empty());
    EXPECT_EQ(Settings->ResFmt(), rfWav);
}

TEST_F(CalculateCommand, ResultsEqualTheCommandLineRender)
{
    MakeProject();
    Save();
    CliRender(Dir.File("cli.wav"));
    CliRender(Dir.File("cli.avi"));

    std::string sub = Dir.File("out");
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(sub)), 0);
    Settings->SetResFmt(rfWav);
    Dialogs.Files = {sub + "/result.xyz"};   // the extension is replaced
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    ASSERT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, sub + "/result.wav");
    EXPECT_EQ(FileMd5(run.Target), FileMd5(Dir.File("cli.wav")));
    EXPECT_EQ(Settings->Folder(fkRes), sub + "/");
    EXPECT_EQ(gui::CurrentProgress(), nullptr);
    EXPECT_TRUE(Window->isEnabled());

    Settings->SetResFmt(rfAvi);
    Dialogs.Files = {sub + "/result"};
    run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    ASSERT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, sub + "/result.avi");
    EXPECT_EQ(FileMd5(run.Target), FileMd5(Dir.File("cli.avi")));
    EXPECT_TRUE(DecodesCleanly(run.Target));
    EXPECT_EQ(Settings->ResFmt(), rfAvi);
}

TEST_F(CalculateCommand, EscapeInTheProgressWindowKeepsTheChapterFilesWrittenSoFar)
{
    MakeProject();
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.AddChapter(30).Applied);
    ASSERT_TRUE(ed.AddChapter(60).Applied);
    ASSERT_TRUE(ed.SetUseChapters(true).Applied);
    Save();
    CliRender(Dir.File("cli.wav"));   // cli.00.wav, cli.01.wav, cli.02.wav

    // Esc once the bar passes 70 %: inside the third chapter.
    QTimer presser;
    int presses = 0;
    QObject::connect(&presser, &QTimer::timeout, [&presses] {
        gui::TGaugeForm *form = gui::CurrentProgress();
        if (form && form->Percent() >= 70 && presses == 0) {
            ++presses;
            QTest::keyClick(form, Qt::Key_Escape);
        }
    });
    presser.start(0);
    Settings->SetResFmt(rfWav);
    Dialogs.Files = {Dir.File("gui.wav")};
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    presser.stop();
    EXPECT_EQ(presses, 1);
    ASSERT_EQ(run.Outcome, coAborted);
    ASSERT_EQ(run.Files.size(), 2u);
    // The finished chapters are complete; the aborted one, unfinished, leaves no file.
    EXPECT_EQ(FileMd5(run.Files[0]), FileMd5(Dir.File("cli.00.wav")));
    EXPECT_EQ(FileMd5(run.Files[1]), FileMd5(Dir.File("cli.01.wav")));
    EXPECT_FALSE(FileExists(Dir.File("gui.02.wav")));
    EXPECT_TRUE(Window->isEnabled());
    EXPECT_EQ(gui::CurrentProgress(), nullptr);
}

} // namespace
} // namespace tessaly::test
