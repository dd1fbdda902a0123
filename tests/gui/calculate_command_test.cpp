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

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
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

// The window's own save dialog, as ChooseFile runs it: the type chosen in its type box
// gives a typed name its extension, and the dialog leaves the question about an existing
// file to the command (which asks about the name the type gives). The dialog is driven
// through its widgets without its modal loop, whose accept waits for the folder listing.
TEST_F(CalculateCommand, TheSaveDialogGivesATypedNameTheChosenTypesExtension)
{
    MakeProject();
    Save();
    gui::TFileRequest request = gui::CalculateFileRequest(*Session, *Settings);
    EXPECT_EQ(request.Preselected, 1);   // the video is an AVI
    EXPECT_EQ(ExtractFileName(request.Folder), "film.synced.avi");
    QStringList filters;
    std::unique_ptr<QFileDialog> dialog = gui::MakeFileDialog(Window.get(), request, filters);
    ASSERT_EQ(filters.size(), 6);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("avi"));
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    // The proposed name is filled in and answers as it is.
    gui::TFileAnswer answer;
    ASSERT_TRUE(gui::FileDialogAnswer(*dialog, filters, answer));
    EXPECT_EQ(answer.FileName, request.Folder);
    EXPECT_EQ(answer.Filter, 1);

    auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(types && name);
    // Matroska chosen with the keys, then "other" typed: other.mkv.
    QTest::keyClick(types, Qt::Key_Down);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("mkv"));
    name->clear();
    QTest::keyClicks(name, QStringLiteral("other"));
    ASSERT_TRUE(gui::FileDialogAnswer(*dialog, filters, answer));
    EXPECT_EQ(answer.FileName, Dir.File("other.mkv"));
    EXPECT_EQ(answer.Filter, 2);
    // WAV chosen afterwards: the same typed name becomes other.wav.
    QTest::keyClick(types, Qt::Key_Up);
    QTest::keyClick(types, Qt::Key_Up);
    EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("wav"));
    ASSERT_TRUE(gui::FileDialogAnswer(*dialog, filters, answer));
    EXPECT_EQ(answer.FileName, Dir.File("other.wav"));
    EXPECT_EQ(answer.Filter, 0);
    // A name typed with another type's extension keeps the chosen type: the command
    // writes other.wav, not the existing other.mkv.
    ASSERT_TRUE(WriteFileBytes(Dir.File("other.mkv"), {'k', 'e', 'e', 'p'}));
    name->clear();
    QTest::keyClicks(name, QStringLiteral("other.mkv"));
    ASSERT_TRUE(gui::FileDialogAnswer(*dialog, filters, answer));
    EXPECT_EQ(answer.Filter, 0);
    Dialogs.Filters = {answer.Filter};
    Dialogs.Files = {answer.FileName};
    const gui::TCalculateRun run = gui::RunCalculate(*Session, *Settings, Dialogs, Window.get());
    EXPECT_EQ(run.Outcome, coDone);
    EXPECT_EQ(run.Target, Dir.File("other.wav"));
    EXPECT_EQ(ReadFileBytes(Dir.File("other.mkv")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_TRUE(DecodesCleanly(Dir.File("other.wav")));
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
