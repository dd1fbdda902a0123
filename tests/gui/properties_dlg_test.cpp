// The Properties window reached through its menu entry: "-" for everything missing,
// the channel count, the default quality, and the minute and hour forms of lengths.
#include <QAction>
#include <QTimer>

#include "gui/properties_dlg.h"
#include "gui/tool_windows.h"
#include "gui_fixture.h"
#include "project/media_open.h"

namespace tessaly::test {
namespace {

class PropertiesWindow : public TWindowTest {
protected:
    gui::TToolWindows &Tools() { return *Window->findChild<gui::TToolWindows *>(); }
    QString Value(const char *name) { return Tools().Properties().Value(name); }
    void Phantom(int32_t frames)
    {
        Dialogs.Clips.push_back(TPhantomValues{frames, 25000, 1000, 0});
        Trigger("FilePhantomItem");
        ASSERT_EQ(Session->Project().FrameCount(), frames);
    }
};

const char *const kValueLabels[] = {"LblVidType", "LblVidCodec", "LblVidSize",   "LblVidCD",     "LblVidFrm",
                                    "LblVidQuality", "LblVidFPS", "LblVidLen",   "LblAudType",   "LblAudFmt",
                                    "LblAudLen",  "LblDblType",  "LblDblFmt",    "LblDblLen",    "LblSRPreview",
                                    "LblSRResult"};

TEST_F(PropertiesWindow, MenuEntryShowsDashesWhenNothingIsOpen)
{
    // The entry opens the modal window; it is closed as soon as it shows.
    QTimer::singleShot(0, [this] { Tools().Properties().accept(); });
    Trigger("FilePropertiesItem");
    for (const char *name : kValueLabels)
        EXPECT_EQ(Value(name), QStringLiteral("-")) << name;
}

TEST_F(PropertiesWindow, ChannelCountAndDefaultQuality)
{
    const std::string video = MakeVideo("film.avi", 30);
    Dialogs.Files = {video};
    Trigger("FileOpenVideoItem");
    const std::string six = Dir.File("six.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=48000 -t 1.2 -ac 6 -c:a pcm_s16le " +
                       ShellQuote(six)));
    Dialogs.Files = {six};
    Trigger("FileOpenAudioItem");
    Tools().FillProperties();
    EXPECT_EQ(Value("LblAudFmt"), QStringLiteral("48000 Hz; 16 bit; 6 channels"));
    EXPECT_EQ(Value("LblAudLen"), QStringLiteral("1.20 s"));
    EXPECT_EQ(Value("LblVidSize"), QStringLiteral("64 x 48 pixels"));
    EXPECT_EQ(Value("LblVidFrm"), QStringLiteral("30"));
    EXPECT_EQ(Value("LblVidFPS"), QStringLiteral("25.00 fps"));
    // The quality ffmpeg stores is -1.
    EXPECT_EQ(Value("LblVidQuality"), QStringLiteral("default"));
    EXPECT_EQ(Value("LblDblType"), QStringLiteral("-"));

    // The preview option "Force VfW-compatibility" reaches the video source first.
    EXPECT_FALSE(Session->Sources().Video().DecodeOnly());
    Trigger("PreviewForceVfwItem");
    ASSERT_TRUE(Session->Project().Options().ForceVFW);
    Tools().FillProperties();
    EXPECT_TRUE(Session->Sources().Video().DecodeOnly());
}

TEST_F(PropertiesWindow, HourFormOnlyAboveSixtyMinutes)
{
    Phantom(90000);   // 3600 s at 25 fps
    Tools().FillProperties();
    EXPECT_EQ(Value("LblVidLen"), QStringLiteral("3600.00 s  =  60:00.00 m"));
    Phantom(91500);   // 3660 s
    Tools().FillProperties();
    EXPECT_EQ(Value("LblVidLen"), QStringLiteral("3660.00 s  =  61:00.00 m  =  1:01:00.00 h"));
}

} // namespace
} // namespace tessaly::test
