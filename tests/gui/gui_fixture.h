// The GUI test fixture: the real main window over a session and settings in a scratch
// folder, with every question answered by a script instead of a modal dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_window.h"
#include "gui/window_dialogs.h"
#include "project/project_session.h"
#include "shell/settings.h"
#include "support/test_support.h"

namespace tessaly::test {

// Answers in the order given; a question without a prepared answer fails the test
// and is cancelled. Every message text is recorded.
class TScriptedDialogs : public gui::TWindowDialogs {
public:
    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override;
    bool ChooseFile(const gui::TFileRequest &request, gui::TFileAnswer &answer) override;
    bool AskText(const std::string &caption, const std::string &prompt, std::string &value) override;
    bool AskPhantomClip(TPhantomValues &values) override;
    TSegmentAnswer AskSegments(const std::string &caption, const std::vector<std::string> &files,
                               int helpContext) override;
    int AskAudioStream(const std::string &question, const std::vector<std::string> &streams) override;

    std::deque<TMsgResult> Answers;          // for Message questions (errors need none)
    std::deque<std::string> Files;           // "" cancels
    std::deque<int> Filters;                 // the file type chosen with each file (default: the preselected)
    std::deque<std::string> Texts;
    std::deque<TPhantomValues> Clips;
    std::deque<TSegmentAnswer> Segments;
    std::vector<std::vector<std::string>> SegmentLists;   // the files of each segment question
    std::deque<int> AudioStreams;                         // answers to the audio stream question
    std::vector<std::vector<std::string>> AudioStreamLists;
    TPhantomValues PhantomStart;                          // the phantom dialog's start values
    std::vector<std::string> Messages;       // every message shown
    std::vector<gui::TFileRequest> FileRequests;
};

// Creates the application once (offscreen unless a platform is set) with
// XDG_CONFIG_HOME in a scratch folder, so no test reads or writes the user's settings.
void EnsureApplication();

class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Asserts that the action exists and is enabled, then triggers it.
    void Trigger(const char *name);
    bool Enabled(const char *name) const;
    // A test video (MPEG-4 AVI, 64 x 48, 25 fps) and a WAV of `seconds` in the folder.
    std::string MakeVideo(const std::string &name, int frames, bool withAudio = false);
    std::string MakeAudio(const std::string &name, double seconds);
    // A 100-frame video with a 4.5 s primary track, a spline point of 3 at frame 20 and a
    // backward cut of -4 at frame 60, made through the editing operations.
    void MakeCurveProject();
    // Waits (running the event loop) until the frame view shows the picture of `frame`,
    // which the window's decoding worker delivers; false after 20 s.
    bool WaitForPicture(int32_t frame);

    // Runs `answer` once on the first modal dialog of type T that shows. The timer
    // never blocks, so progress windows keep running until the dialog comes.
    template <class T> void AnswerModal(std::function<void(T &)> answer)
    {
        auto *timer = new QTimer(Window.get());
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
            if (auto *d = qobject_cast<T *>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                answer(*d);
            }
        });
        timer->start(10);
    }

    TTempDir Dir;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TSettings> Settings;
    std::unique_ptr<TProjectSession> Session;
    std::unique_ptr<gui::TMainForm> Window;
};

} // namespace tessaly::test
