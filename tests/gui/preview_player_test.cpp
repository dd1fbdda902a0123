// Tests of the preview player: the frames and the audio of the preview file in each mode
// and with the mutes, the loop that re-renders an out-of-date preview at the end of a
// playback (checked through the player's state and its video sink), keys and images.
#include <algorithm>
#include <memory>

#include <QSignalSpy>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>
#include <QWidget>

#include <gtest/gtest.h>

#include "gui_fixture.h"

#include "gui/preview_player.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/render.h"
#include "shell/settings.h"
#include "support/make_marker.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly::gui {
namespace {

constexpr uint32_t kRate = 7500;   // 300 sample frames per video frame at 25 fps
constexpr int kN = 300;
constexpr int kFrames = 250;

class PreviewPlayer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test::EnsureApplication();
        Media = new test::TTempDir;
        ASSERT_TRUE(test::MakeTestVideo(Media->File("video.avi"), kFrames, 12));
        ASSERT_TRUE(test::WriteIndexWave(Media->File("audio.wav"), kRate, int64_t{kFrames} * kN));
        ASSERT_TRUE(test::WriteIndexWave(Media->File("double.wav"), kRate, int64_t{kFrames} * kN, true));
        Hashes = new std::vector<std::string>(test::VideoPacketHashes(Media->File("video.avi")));
        ASSERT_EQ(Hashes->size(), size_t(kFrames));
    }
    static void TearDownTestSuite()
    {
        delete Media;
        delete Hashes;
    }
    void SetUp() override
    {
        settings.SetTempDir(Temp.Path());
        ASSERT_TRUE(session.OpenSource(srVideo, Media->File("video.avi")));
        ASSERT_TRUE(session.OpenSource(srAudio, Media->File("audio.wav")));
        ASSERT_TRUE(session.OpenSource(srDouble, Media->File("double.wav")));
        ASSERT_TRUE(session.Editor().MoveTo(100));
        SetPreviewEnv("2");
        area.resize(320, 240);
    }
    // The preview range of the project settings, as the settings dialog sets it.
    void SetPreviewEnv(const std::string &range)
    {
        TProjectOptions o = session.Project().Options();
        if (o.PreviewEnv == range)
            return;   // nothing to change: the editor makes no edit of it
        o.PreviewEnv = range;
        ASSERT_TRUE(session.Editor().SetOptions(o));
    }
    std::vector<std::string> SourceHashes(int first, int last)
    {
        return std::vector<std::string>(Hashes->begin() + first, Hashes->begin() + last + 1);
    }
    // Left channel of the preview's audio.
    std::vector<int16_t> Left(const std::string &file)
    {
        std::vector<int16_t> all = test::DecodedAudio(file), left;
        for (size_t i = 0; i < all.size(); i += 2)
            left.push_back(all[i]);
        return left;
    }

    static test::TTempDir *Media;
    static std::vector<std::string> *Hashes;
    test::TTempDir Temp;
    TSettings settings{Temp.File("tessaly.ini")};
    test::TRecordingUi ui;
    TProjectSession session{&ui};
    QWidget area;
};

test::TTempDir *PreviewPlayer::Media = nullptr;
std::vector<std::string> *PreviewPlayer::Hashes = nullptr;

TEST_F(PreviewPlayer, FileHoldsTheFramesOfEachMode)
{
    TPreviewPlayer player(session, settings, nullptr, &area);
    EXPECT_EQ(player.RangeLabel(), QString::fromUtf8("Range [\xc2\xb1s]"));
    // Around frame 100, 2 s = 50 frames: from the key frame at or before 50 (48) to 150.
    ASSERT_TRUE(player.CreatePreview(false, false));
    // In a private folder of its own inside the temporary folder.
    EXPECT_EQ(ExtractFilePath(ExtractFilePath(player.TempFile()).substr(0, ExtractFilePath(player.TempFile()).size() - 1)),
              Temp.Path() + "/");
    EXPECT_EQ(ExtractFileName(player.TempFile()), "~tsytmp~.avi");
    EXPECT_EQ(test::VideoPacketHashes(player.TempFile()), SourceHashes(48, 150));
    EXPECT_TRUE(test::DecodesCleanly(player.TempFile()));

    player.CycleMode();   // from: key frame at or before 100 (96) up to 150
    EXPECT_EQ(player.RangeLabel(), "Range [+s]");
    ASSERT_TRUE(player.CreatePreview(false, false));
    EXPECT_EQ(test::VideoPacketHashes(player.TempFile()), SourceHashes(96, 150));

    player.CycleMode();   // to: key frame at or before 50 (48) up to 100
    EXPECT_EQ(player.RangeLabel(), "Range [-s]");
    ASSERT_TRUE(player.CreatePreview(false, false));
    EXPECT_EQ(test::VideoPacketHashes(player.TempFile()), SourceHashes(48, 100));
    std::vector<int16_t> left = Left(player.TempFile());
    ASSERT_EQ(left.size(), size_t(53 * kN));
    for (size_t k = 0; k < left.size(); k += 97)
        ASSERT_EQ(left[k], test::IndexLeft(48 * kN + int64_t(k))) << k;   // the primary track in step

    const std::string file = player.TempFile();
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(player.DeleteTempFile());
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(ExtractFilePath(file)));
}

TEST_F(PreviewPlayer, MutesChooseTheTrackOfThePreviewButNotOfTheResult)
{
    TPreviewPlayer player(session, settings, nullptr, &area);
    QSignalSpy mutes(&player, &TPreviewPlayer::MutesChanged);
    SetPreviewEnv("0.4");   // 10 frames either side, from key frame 84 to 110
    const size_t samples = size_t(27 * kN);
    const int64_t start = 84 * kN;

    EXPECT_FALSE(player.HandleKey(Qt::Key_A, Qt::ControlModifier));
    EXPECT_FALSE(session.MutePrimary);
    ASSERT_TRUE(player.HandleKey(Qt::Key_A, Qt::NoModifier));
    EXPECT_TRUE(session.MutePrimary);
    ASSERT_TRUE(player.CreatePreview(false, false));
    std::vector<int16_t> left = Left(player.TempFile());
    ASSERT_EQ(left.size(), samples);
    for (size_t k = 0; k < samples; ++k)
        ASSERT_EQ(left[k], test::IndexLeft(start + int64_t(k), true)) << k;   // the double track alone

    ASSERT_TRUE(player.HandleKey(Qt::Key_A, Qt::NoModifier));
    ASSERT_TRUE(player.HandleKey(Qt::Key_D, Qt::NoModifier));
    EXPECT_FALSE(session.MutePrimary);
    EXPECT_TRUE(session.MuteDouble);
    EXPECT_EQ(mutes.count(), 3);
    ASSERT_TRUE(player.CreatePreview(false, false));
    left = Left(player.TempFile());
    ASSERT_EQ(left.size(), samples);
    for (size_t k = 0; k < samples; ++k)
        ASSERT_EQ(left[k], test::IndexLeft(start + int64_t(k))) << k;

    // Both muted: silence in the preview, while the result keeps the primary track.
    session.MutePrimary = true;
    ASSERT_TRUE(player.CreatePreview(false, false));
    left = Left(player.TempFile());
    ASSERT_EQ(left.size(), samples);
    EXPECT_EQ(*std::max_element(left.begin(), left.end()), 0);
    EXPECT_EQ(*std::min_element(left.begin(), left.end()), 0);
    TRenderer renderer(session, nullptr);
    const std::string result = Temp.File("result.wav");
    TRenderOptions options;
    options.CrossFade = true;
    options.FirstFrame = 90;
    options.LastFrame = 110;
    ASSERT_TRUE(renderer.CalcAudio(result, options));
    std::vector<int16_t> resultLeft = Left(result);
    ASSERT_EQ(resultLeft.size(), size_t(21 * kN));
    for (size_t k = 0; k < resultLeft.size(); ++k)
        ASSERT_EQ(resultLeft[k], test::IndexLeft(90 * kN + int64_t(k))) << k;
}

TEST_F(PreviewPlayer, LoopReRendersAnOutOfDatePreviewAtTheEndOfAPlayback)
{
    SetPreviewEnv("0.4");   // under a second per playback
    auto player = std::make_unique<TPreviewPlayer>(session, settings, nullptr, &area);
    area.show();
    QSignalSpy running(player.get(), &TPreviewPlayer::RunningChanged);
    QSignalSpy image(player.get(), &TPreviewPlayer::ButtonImageChanged);
    int frames = 0;
    QObject::connect(player->VideoWidget()->videoSink(), &QVideoSink::videoFrameChanged,
                     [&frames](const QVideoFrame &frame) { frames += frame.isValid() ? 1 : 0; });

    player->MarkOutOfDate(true);   // not running: stays up to date
    EXPECT_FALSE(player->OutOfDate());
    ASSERT_TRUE(player->Start(Qt::NoModifier));
    EXPECT_TRUE(player->Running());
    EXPECT_FALSE(player->CanClose());
    ASSERT_EQ(running.count(), 1);
    EXPECT_TRUE(running.at(0).at(0).toBool());
    EXPECT_TRUE(player->VideoWidget()->isVisible());
    EXPECT_EQ(player->VideoWidget()->geometry(), QRect((320 - 64) / 2, (240 - 48) / 2, 64, 48));
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames >= 5; }, 20000)) << "no picture reached the video sink";
    EXPECT_EQ(player->Player().playbackState(), QMediaPlayer::PlayingState);

    // An edit while running: out of date (yellow) until the next playback starts.
    ASSERT_TRUE(session.Editor().PlaceMarker(test::Make(100, 5, mkSpline)));
    const int imagesBefore = int(image.count());
    player->MarkOutOfDate(true);
    EXPECT_TRUE(player->OutOfDate());
    EXPECT_STREQ(PreviewButtonImageName(player->Mode(), player->OutOfDate()), "PREVNRMY");
    EXPECT_EQ(image.count(), imagesBefore + 1);
    EXPECT_EQ(player->Renders(), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->Renders() == 2 && player->Playbacks() >= 2; }, 30000));
    EXPECT_FALSE(player->OutOfDate());
    // The re-rendered file carries the edit: the audio is 5 frames ahead.
    std::vector<int16_t> left = Left(player->TempFile());
    ASSERT_FALSE(left.empty());
    EXPECT_EQ(left[0], test::IndexLeft((84 + 5) * kN));
    const int framesBefore = frames;
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > framesBefore + 3; }, 20000)) << "the new file does not play";

    // Playing on without changes does not render again.
    const int playbacks = player->Playbacks();
    ASSERT_TRUE(QTest::qWaitFor([&] { return player->Playbacks() > playbacks; }, 30000));
    EXPECT_EQ(player->Renders(), 2);

    ASSERT_TRUE(player->HandleKey(Qt::Key_Escape, Qt::NoModifier));
    EXPECT_FALSE(player->Running());
    EXPECT_TRUE(player->CanClose());
    EXPECT_FALSE(player->VideoWidget()->isVisible());
    EXPECT_TRUE(player->Player().source().isEmpty());
    ASSERT_EQ(running.count(), 2);
    EXPECT_FALSE(running.at(1).at(0).toBool());
    EXPECT_FALSE(player->HandleKey(Qt::Key_Escape, Qt::NoModifier));

    // Closing deletes the temporary file.
    const std::string file = player->TempFile();
    EXPECT_TRUE(FileExists(file));
    player.reset();
    EXPECT_FALSE(FileExists(file));
}

TEST_F(PreviewPlayer, ModesAndRangeText)
{
    TPreviewPlayer player(session, settings, nullptr, &area);
    QSignalSpy modes(&player, &TPreviewPlayer::ModeChanged);
    ASSERT_TRUE(player.HandleKey(Qt::Key_M, Qt::NoModifier));
    ASSERT_TRUE(player.HandleKey(Qt::Key_M, Qt::NoModifier));
    ASSERT_TRUE(player.HandleKey(Qt::Key_M, Qt::NoModifier));
    ASSERT_EQ(modes.count(), 3);
    EXPECT_EQ(modes.at(0).at(0).toInt(), 1);
    EXPECT_EQ(modes.at(2).at(0).toInt(), 0);
    EXPECT_FALSE(player.HandleKey(Qt::Key_M, Qt::AltModifier));

    SetPreviewEnv("abc");
    EXPECT_FALSE(player.CreatePreview(false, false));
    EXPECT_FALSE(player.Start(Qt::NoModifier));
    EXPECT_FALSE(player.Running());
}

TEST(PreviewButtonImages, GreenOrYellowAndOneGlyphPerMode)
{
    test::EnsureApplication();
    for (bool outOfDate : {false, true}) {
        QImage images[3];
        for (int mode = 0; mode < 3; ++mode) {
            images[mode] = PreviewButtonImage(mode, outOfDate, 24).toImage();
            QColor corner = images[mode].pixelColor(12, 2);   // the background, above every glyph
            if (outOfDate)
                EXPECT_TRUE(corner.red() > 200 && corner.green() > 150 && corner.blue() < 80) << corner.name().toStdString();
            else
                EXPECT_TRUE(corner.green() > 120 && corner.red() < 100) << corner.name().toStdString();
        }
        EXPECT_NE(images[0], images[1]);
        EXPECT_NE(images[1], images[2]);
        EXPECT_NE(images[0], images[2]);
    }
    EXPECT_STREQ(PreviewButtonImageName(0, false), "PREVNRMG");
    EXPECT_STREQ(PreviewButtonImageName(1, true), "PREVFROMY");
    EXPECT_STREQ(PreviewButtonImageName(2, false), "PREVTOG");
}

} // namespace
} // namespace tessaly::gui
