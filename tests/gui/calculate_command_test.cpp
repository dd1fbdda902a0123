// Tests of the Calculate command through the real window's pieces: the save dialog's
// request, results equal to those of `tessaly-cli render` byte for byte, and an abort
// from the progress window that keeps the chapter files written so far.
#include <QTest>
#include <QTimer>

#include "gui_fixture.h"

#include "gui/calculate_command.h"
#include "gui/gauge_form.h"
#include "gui/main_window.h"
#include "gui/qt_dialogs.h"

#include <QFileDialog>
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

TEST_F(CalculateCommand, DialogProposesTheSourceContainerBesideTheVideo)
{
    MakeProject();
    Save();
    Settings->SetFolder(fkRes, Dir.Path() + "/elsewhere");
    Settings->SetResFmt(rfWav);
    gui::TFileRequest request = gui::CalculateFileRequest(*Session, *Settings);
    EXPECT_EQ(request.Title, "Save file as");
    EXPECT_TRUE(request.Save);
    EXPECT_FALSE(request.ConfirmOverwrite);
    ASSERT_EQ(request.Filters.size(), 6u);
    EXPECT_EQ(request.Filters[0].Patterns, "*.wav");
    EXPECT_EQ(request.Filters[1].Patterns, "*.avi");
    EXPECT_EQ(request.Filters[2].Patterns, "*.mkv;*.mka");
    EXPECT_EQ(request.Filters[3].Patterns, "*.mp4;*.m4v");
    EXPECT_EQ(request.Preselected, 1);   // the video is an AVI
    EXPECT_EQ(request.Folder, ExtractFilePath(Session->FileList(srVideo)) + "film.synced.avi");

    Dialogs.Files = {""};   // cancelled: nothing happens, nothing is stored
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
    CliRender(Dir.File("cli.mkv"));

    std::string sub = Dir.File("out");
    ASSERT_EQ(RunCommand("mkdir -p " + ShellQuote(sub)), 0);
    Dialogs.Filters = {0};
    Dialogs.Files = {sub + "/result.xyz"};   // the extension follows the type
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    ASSERT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, sub + "/result.wav");
    EXPECT_EQ(FileMd5(run.Target), FileMd5(Dir.File("cli.wav")));
    EXPECT_EQ(Settings->Folder(fkRes), sub + "/");
    EXPECT_EQ(Settings->ResFmt(), rfWav);
    EXPECT_EQ(gui::CurrentProgress(), nullptr);
    EXPECT_TRUE(Window->isEnabled());

    Dialogs.Filters = {1};
    Dialogs.Files = {sub + "/result"};
    run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    ASSERT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, sub + "/result.avi");
    EXPECT_EQ(FileMd5(run.Target), FileMd5(Dir.File("cli.avi")));
    EXPECT_TRUE(DecodesCleanly(run.Target));
    EXPECT_EQ(Settings->ResFmt(), rfAvi);

    // Matroska: the codec asked for and kept; the same packets and samples as the program's.
    Dialogs.Filters = {2};
    Dialogs.Files = {sub + "/result"};
    Dialogs.Texts = {"flac"};
    run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    ASSERT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, sub + "/result.mkv");
    EXPECT_EQ(VideoPacketHashes(run.Target), VideoPacketHashes(Dir.File("cli.mkv")));
    EXPECT_EQ(DecodedAudio(run.Target), DecodedAudio(Dir.File("cli.wav")));
    EXPECT_EQ(Settings->ResFmt(), 3);
    EXPECT_EQ(Settings->ReadString("Current", "ResAudioCodec", ""), "flac");
}

TEST_F(CalculateCommand, TheReplaceQuestionNamesTheFileTheTypeGives)
{
    MakeProject();
    Save();
    const std::string other = Dir.File("other.wav");
    ASSERT_TRUE(WriteFileBytes(other, {'k', 'e', 'e', 'p'}));
    Dialogs.Filters = {0};
    Dialogs.Files = {Dir.File("other")};
    Dialogs.Answers = {mrNo};
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    EXPECT_EQ(run.Outcome, coCancelled);
    ASSERT_FALSE(Dialogs.Messages.empty());
    EXPECT_NE(Dialogs.Messages.back().find("\"" + other + "\" already exists"), std::string::npos)
        << Dialogs.Messages.back();
    EXPECT_EQ(ReadFileBytes(other), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

    Dialogs.Filters = {0};
    Dialogs.Files = {Dir.File("other")};
    Dialogs.Answers = {mrYes};
    run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    EXPECT_EQ(run.Outcome, coDone);
    EXPECT_TRUE(DecodesCleanly(other));
}

TEST_F(CalculateCommand, TheSaveDialogGivesATypedNameTheChosenTypesExtension)
{
    // Qt's own file dialog on the offscreen platform now and then ignores every accept of a
    // typed name and waits for ever; until that is understood the dialog is not driven here
    // (ResultChoice's core tests cover the name the chosen type gives).
    GTEST_SKIP() << "the offscreen file dialog sometimes never closes";
    MakeProject();
    Save();
    gui::TFileRequest request = gui::CalculateFileRequest(*Session, *Settings);
    request.Folder = Dir.Path();
    request.Preselected = 2;   // Matroska
    gui::TQtDialogs dialogs(Window.get());
    QString suffixAtStart, suffixAfterWav;
    bool confirms = true;
    AnswerModal<QFileDialog>([&](QFileDialog &dialog) {
        suffixAtStart = dialog.defaultSuffix();
        confirms = !dialog.testOption(QFileDialog::DontConfirmOverwrite);
        const QString wav = dialog.nameFilters().at(0);
        dialog.selectNameFilter(wav);
        emit dialog.filterSelected(wav);   // as the user's choice of the type does
        suffixAfterWav = dialog.defaultSuffix();
        dialog.selectFile(QStringLiteral("other"));
        // Accepted again until it closes: the dialog ignores an accept while it is still
        // reading the folder it was given.
        auto *again = new QTimer(&dialog);
        QObject::connect(again, &QTimer::timeout, &dialog, [&dialog] {
            if (dialog.isVisible())
                QMetaObject::invokeMethod(&dialog, "accept", Qt::QueuedConnection);
        });
        again->start(20);
    });
    gui::TFileAnswer answer;
    ASSERT_TRUE(dialogs.ChooseFile(request, answer));
    EXPECT_EQ(suffixAtStart, QStringLiteral("mkv"));
    EXPECT_EQ(suffixAfterWav, QStringLiteral("wav"));
    EXPECT_FALSE(confirms);   // the command asks about the name the type gives
    EXPECT_EQ(answer.Filter, 0);
    EXPECT_EQ(answer.FileName, Dir.File("other.wav"));
}

TEST_F(CalculateCommand, ClosingTheWindowDuringARenderAbortsItCleanly)
{
    MakeProject();
    Save();
    QTimer closer;
    bool closed = false;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        gui::TGaugeForm *form = gui::CurrentProgress();
        if (form && form->Percent() >= 20 && !closed) {
            closed = true;
            Window->close();
        }
    });
    closer.start(0);
    Dialogs.Filters = {2};
    Dialogs.Files = {Dir.File("closed.mkv")};
    Dialogs.Texts = {"default"};
    gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    closer.stop();
    ASSERT_TRUE(closed);
    EXPECT_EQ(run.Outcome, coAborted);
    EXPECT_TRUE(run.CloseAsked);
    EXPECT_FALSE(FileExists(Dir.File("closed.mkv")));
    for (const std::string &m : Dialogs.Messages)
        EXPECT_EQ(m.find("invalid"), std::string::npos) << m;
    // The close asked for during the run follows it.
    QCoreApplication::processEvents();
    EXPECT_FALSE(Window->isVisible());
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
    Dialogs.Filters = {0};
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
