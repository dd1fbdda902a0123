// The GUI test fixture: application set-up, scripted answers and the window.
#include "gui_fixture.h"

#include <QTest>

#include "gui/frame_presenter.h"

#include <QAction>
#include <QApplication>
#include <cstdlib>

#include "gui/action_registry.h"
#include "gui/main_window.h"
#include "project/project_editor.h"
#include "project/project_session.h"
#include "shell/app_context.h"
#include "shell/settings.h"

namespace tessaly::test {

TMsgResult TScriptedDialogs::Message(TMsgType type, const std::string &text, unsigned buttons)
{
    Messages.push_back(text);
    if (buttons == mbOK || type == mtError)
        return mrOK;
    if (Answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return (buttons & mbCancel) ? mrCancel : mrNo;
    }
    TMsgResult r = Answers.front();
    Answers.pop_front();
    return r;
}

bool TScriptedDialogs::ChooseFile(const gui::TFileRequest &request, gui::TFileAnswer &answer)
{
    FileRequests.push_back(request);
    if (Files.empty()) {
        ADD_FAILURE() << "unexpected file dialog: " << request.Title;
        return false;
    }
    answer.FileName = Files.front();
    answer.Filter = request.Preselected;
    if (!Filters.empty()) {
        answer.Filter = Filters.front();
        Filters.pop_front();
    }
    Files.pop_front();
    return !answer.FileName.empty();
}

bool TScriptedDialogs::AskText(const std::string &caption, const std::string &, std::string &value)
{
    if (Texts.empty()) {
        ADD_FAILURE() << "unexpected question: " << caption;
        return false;
    }
    value = Texts.front();
    Texts.pop_front();
    return true;
}

bool TScriptedDialogs::AskPhantomClip(TPhantomValues &values)
{
    PhantomStart = values;
    if (Clips.empty()) {
        ADD_FAILURE() << "unexpected phantom clip dialog";
        return false;
    }
    values = Clips.front();
    Clips.pop_front();
    return true;
}

TSegmentAnswer TScriptedDialogs::AskSegments(const std::string &caption, const std::vector<std::string> &files, int)
{
    SegmentLists.push_back(files);
    if (Segments.empty()) {
        ADD_FAILURE() << "unexpected segment question: " << caption;
        TSegmentAnswer cancel;
        cancel.Choice = scCancel;
        return cancel;
    }
    TSegmentAnswer a = Segments.front();
    Segments.pop_front();
    return a;
}

int TScriptedDialogs::AskAudioStream(const std::string &question, const std::vector<std::string> &streams)
{
    AudioStreamLists.push_back(streams);
    if (AudioStreams.empty()) {
        ADD_FAILURE() << "unexpected audio stream question: " << question;
        return -1;
    }
    int a = AudioStreams.front();
    AudioStreams.pop_front();
    return a;
}

void EnsureApplication()
{
    static TTempDir *config = nullptr;
    if (QApplication::instance())
        return;
    config = new TTempDir;   // lives as long as the application
    setenv("XDG_CONFIG_HOME", config->Path().c_str(), 1);
    // Qt's own file dialog keeps state under the home folder; the window under test sees
    // a fresh one, whatever the user running the tests keeps there.
    setenv("HOME", config->Path().c_str(), 1);
    setenv("QT_MEDIA_BACKEND", "gstreamer", 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_gui";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void TWindowTest::SetUp()
{
    EnsureApplication();
    Settings = std::make_unique<TSettings>(Dir.File("tessaly.ini"));
    Session = std::make_unique<TProjectSession>(&Dialogs, ProjectDefaultsOf(*Settings));
    Window = std::make_unique<gui::TMainForm>(*Session, *Settings, Dialogs);
    Window->Start({});
}

void TWindowTest::TearDown()
{
    Window.reset();
    Session.reset();
}

bool TWindowTest::Enabled(const char *name) const
{
    QAction *a = Window->Actions().Action(QLatin1String(name));
    return a && a->isEnabled();
}

void TWindowTest::Trigger(const char *name)
{
    QAction *a = Window->Actions().Action(QLatin1String(name));
    ASSERT_NE(a, nullptr) << name;
    ASSERT_TRUE(a->isEnabled()) << name << " is disabled";
    a->trigger();
}

std::string TWindowTest::MakeVideo(const std::string &name, int frames, bool withAudio)
{
    std::string path = Dir.File(name);
    std::string args = "-f lavfi -i testsrc=size=64x48:rate=25 ";
    if (withAudio)
        args += "-f lavfi -i sine=frequency=440:sample_rate=44100 -c:a pcm_s16le -ac 2 ";
    args += "-frames:v " + std::to_string(frames) + " -c:v mpeg4 -g 10 -bf 0 -shortest " + ShellQuote(path);
    EXPECT_TRUE(Ffmpeg(args)) << args;
    return path;
}

bool TWindowTest::WaitForPicture(int32_t frame)
{
    return QTest::qWaitFor([&] { return Window->Frames().Shown() == frame; }, 20000);
}

std::string TWindowTest::MakeAudio(const std::string &name, double seconds)
{
    std::string path = Dir.File(name);
    std::string args = "-f lavfi -i sine=frequency=330:sample_rate=44100 -t " + std::to_string(seconds) +
                       " -ac 2 -c:a pcm_s16le " + ShellQuote(path);
    EXPECT_TRUE(Ffmpeg(args)) << args;
    return path;
}

void TWindowTest::MakeCurveProject()
{
    ASSERT_TRUE(Session->OpenSource(srVideo, MakeVideo("film.avi", 100)));
    ASSERT_TRUE(Session->OpenSource(srAudio, MakeAudio("sound.wav", 4.5)));
    TProjectEditor &ed = Session->Editor();
    ASSERT_TRUE(ed.MoveTo(20).Applied);
    ASSERT_TRUE(ed.NewMarker(mkSpline).Applied);
    ASSERT_TRUE(ed.SetShiftValue(Session->Project().FindMarker(20), "3").Applied);
    ASSERT_TRUE(ed.MoveTo(60).Applied);
    ASSERT_TRUE(ed.NewMarker(mkRelCut).Applied);
    ASSERT_TRUE(ed.SetShiftValue(Session->Project().FindMarker(60), "-4").Applied);
}

} // namespace tessaly::test
