// The audio stream question in the window: the Qt list dialog returns the chosen line, and
// opening an audio file with several streams through the menu opens the stream chosen.
#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QTimer>

#include "gui/qt_dialogs.h"
#include "gui_fixture.h"

namespace tessaly::test {
namespace {

TEST(AudioStreamDialog, ReturnsTheChosenLineOrCancel)
{
    EnsureApplication();
    gui::TQtDialogs dialogs;
    QTimer::singleShot(0, [] {
        auto *d = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->labelText(), QStringLiteral("Which?"));
        auto *combo = d->findChild<QComboBox *>();
        ASSERT_NE(combo, nullptr);
        EXPECT_EQ(combo->count(), 2);
        EXPECT_FALSE(combo->isEditable());
        combo->setCurrentIndex(1);
        d->accept();
    });
    EXPECT_EQ(dialogs.AskAudioStream("Which?", {"#1: mp3, 44100 Hz, stereo", "#2: ac3, 48000 Hz, 5.1(side)"}), 1);
    QTimer::singleShot(0, [] { qobject_cast<QInputDialog *>(QApplication::activeModalWidget())->reject(); });
    EXPECT_EQ(dialogs.AskAudioStream("Which?", {"#1: mp3", "#2: ac3"}), -1);
}

class AudioStreamWindow : public TWindowTest {};

TEST_F(AudioStreamWindow, OpenAudioAsksForTheStream)
{
    const std::string video = MakeVideo("film.avi", 50);
    const std::string audio = Dir.File("two.mka");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=f=440:d=2 -f lavfi -i \"sine=f=660:d=2,aformat=channel_layouts=5.1\" "
                       "-map 0 -map 1 -c:a:0 libvorbis -c:a:1 ac3 " + ShellQuote(audio)));
    Dialogs.Files = {video, audio};
    Trigger("FileOpenVideoItem");
    Dialogs.AudioStreams = {1};
    Trigger("FileOpenAudioItem");
    ASSERT_EQ(Dialogs.AudioStreamLists.size(), 1u);
    EXPECT_EQ(Dialogs.AudioStreamLists[0],
              (std::vector<std::string>{"#0: vorbis, 44100 Hz, mono", "#1: ac3, 44100 Hz, 5.1(side)"}));
    EXPECT_EQ(Session->Sources().KindString(srAudio), "LAVF|1");
    EXPECT_EQ(Session->Sources().Audio().InputFormat().nChannels, 6);
}

} // namespace
} // namespace tessaly::test
