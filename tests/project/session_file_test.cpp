// Project files loaded into a session with real media: the documented forms saved
// back, media moved with the project, phantom clips, bad entries and missing media.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "project/project_session.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class SessionFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Media = new test::TTempDir;
        ASSERT_TRUE(test::MakeTestVideo(Media->File("video.avi"), 600, 25));
        ASSERT_TRUE(test::WriteIndexWave(Media->File("audio.wav"), 8000, 8000));
    }
    static void TearDownTestSuite() { delete Media; }

    // Writes a project file in the folder of the test with the media copied beside it.
    std::string Write(const std::string &name, const std::string &text)
    {
        std::string path = Dir.File(name);
        EXPECT_TRUE(test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
        return path;
    }
    void CopyMedia()
    {
        std::filesystem::copy_file(Media->File("video.avi"), Dir.File("video.avi"));
        std::filesystem::copy_file(Media->File("audio.wav"), Dir.File("audio.wav"));
    }

    static test::TTempDir *Media;
    test::TTempDir Dir;
    test::TRecordingUi Ui{mrNo};
    TProjectSession Session{&Ui};
};

test::TTempDir *SessionFileTest::Media = nullptr;

TEST_F(SessionFileTest, DocumentedFormsLoadAndSaveBack)
{
    CopyMedia();
    // Media written on another machine: a Windows path and a moved folder; both are
    // found by name in the project's folder.
    std::string file = Write("example.tsp",
                             "[Files]\r\nVideo=C:\\clips\\video.avi\r\nVideoFT=ODML|-1\r\n"
                             "Audio=/no/such/folder/audio.wav\r\nAudioFT=MSVW|-1\r\nDouble=\r\nRef=\r\n"
                             "[Markers]\r\nCount=3\r\n"
                             "0=Spl       100    +12\r\n"              // the older 20-character form
                             "1=Cut >     200       -5\r\n"
                             "2=Opt       300      A -\r\n"            // no volume change: four blanks
                             "[Chapters]\r\nCount=3\r\n0=\r\n1=500\r\n2=Chapter      550\r\n"
                             "[Config]\r\nPreviewEnv=5\r\nZoom=50\r\nPosition=42\r\nUseChapters=1\r\n"
                             "GlobalShift=-3\r\nUseGlobalShift=1\r\nCrossFading=0\r\nMarkerDrawSize=7\r\n"
                             "[Mine]\r\nKept=yes\r\n");
    ASSERT_TRUE(Session.LoadProject(file, true));
    EXPECT_TRUE(Ui.Messages.empty()) << Ui.Messages[0];
    const TProject &p = Session.Project();
    EXPECT_EQ(p.FrameCount(), 600);
    EXPECT_EQ(Session.FileList(srVideo), Dir.File("video.avi"));
    EXPECT_EQ(Session.FileList(srAudio), Dir.File("audio.wav"));
    ASSERT_EQ(p.MarkerCount(), 3);
    EXPECT_EQ(p.MarkerLine(0), "Spl       100      +12");
    EXPECT_EQ(p.GetMarker(2).Value & kOptionVolumeMask, kOptionNoVolume);
    ASSERT_EQ(p.ChapterListCount(), 3);
    EXPECT_EQ(p.GetListChapter(0).Frame, 0);   // the empty entry 0 keeps "Start"
    EXPECT_TRUE(p.GetListChapter(1).Enabled);
    EXPECT_EQ(p.GetListChapter(1).Frame, 500);
    EXPECT_EQ(p.GetListChapter(2).Frame, 550);  // the old list form
    EXPECT_TRUE(p.GetListChapter(2).Enabled);
    EXPECT_EQ(p.Options().GlobalShift, 3);
    EXPECT_EQ(p.PreviewOffset(), 3);
    EXPECT_FALSE(p.Options().CrossFading);
    EXPECT_EQ(p.Options().MarkerDrawSize, 1);
    EXPECT_EQ(p.Options().PreviewEnv, "5");
    EXPECT_EQ(p.Options().Zoom, "50");
    EXPECT_EQ(p.Position(), 42);
    EXPECT_EQ(p.FileName(), file);
    EXPECT_FALSE(p.Changed());

    ASSERT_TRUE(Session.SaveProject(file));
    TIniFile ini(file);
    EXPECT_EQ(ini.ReadString("Files", "Video", ""), Dir.File("video.avi"));
    EXPECT_EQ(ini.ReadString("Files", "Audio", ""), Dir.File("audio.wav"));
    EXPECT_EQ(ini.ReadString("Files", "Double", "?"), "");
    EXPECT_EQ(ini.ReadSectionLines("Markers"),
              (std::vector<std::string>{"Count=3", "0=Spl       100      +12", "1=Cut >     200       -5",
                                        "2=Opt       300      A -"}));
    EXPECT_EQ(ini.ReadSectionLines("Chapters"),
              (std::vector<std::string>{"Count=3", "0=0,1", "1=500,1", "2=550,1"}));
    EXPECT_EQ(ini.ReadString("Config", "GlobalShift", ""), "-3");
    EXPECT_EQ(ini.ReadString("Config", "MarkerDrawSize", ""), "1");
    EXPECT_EQ(ini.ReadString("Config", "Position", ""), "42");
    EXPECT_EQ(ini.ReadString("Mine", "Kept", ""), "yes");
    const std::vector<std::string> config = {"PreviewEnv", "Zoom", "Position", "UseChapters", "ConcatChapters",
                                             "GlobalShift", "UseGlobalShift", "CrossFading", "PreScan",
                                             "DisableZoom", "FlipImage", "ForceVFW", "RefZoom", "MarkerDrawSize"};
    // A new file holds the keys in the order they are written.
    std::string copy = Dir.File("copy.tsp");
    ASSERT_TRUE(Session.SaveProject(copy));
    EXPECT_EQ(TIniFile(copy).ReadSection("Config"), config);
    EXPECT_EQ(TIniFile(copy).ReadSections(),
              (std::vector<std::string>{"Files", "Markers", "Chapters", "Config", "Arrange"}));
    EXPECT_EQ(ini.ReadSection("Arrange"),
              (std::vector<std::string>{"Screen", "ShowFileman", "ShowStatus", "MainWnd"}));

    // What was saved loads to the same project.
    TProjectSession again(&Ui);
    ASSERT_TRUE(again.LoadProject(copy, false));
    EXPECT_EQ(again.Project().MarkerLine(1), p.MarkerLine(1));
    EXPECT_EQ(again.Project().Options().GlobalShift, 3);
}

TEST_F(SessionFileTest, PhantomClipInBothForms)
{
    std::string file = Write("phantom.tsp", "[Files]\nVideo=*64*48*3*250*30000*1001*\nAudio=\n");
    ASSERT_TRUE(Session.LoadProject(file, true));
    EXPECT_EQ(Session.Project().FrameCount(), 250);
    EXPECT_EQ(Session.Project().RateNumerator(), 30000);
    EXPECT_EQ(Session.Project().RateDenominator(), 1001);

    file = Write("old.tsp", "[Files]\nVideo=*64*48*2*100*29.97\nAudio=\n");
    ASSERT_TRUE(Session.LoadProject(file, true));
    EXPECT_EQ(Session.Project().RateNumerator(), 299700);
    EXPECT_EQ(Session.Project().RateDenominator(), 10000);
    ASSERT_TRUE(Session.SaveProject(file));
    EXPECT_EQ(TIniFile(file).ReadString("Files", "Video", ""), "*64*48*2*100*299700*10000*");

    // A malformed descriptor fails the load with a message naming the field at fault.
    const std::pair<const char *, const char *> bad[] = {{"*64*48*4*100*25*1*", "pixel format \"4\""},
                                                         {"*64*0*3*100*25*1*", "height \"0\""},
                                                         {"*64*48*3*100*0.0*", "frame rate \"0.0\""},
                                                         {"*64*48*3*100*x*1*", "frame rate \"x\""}};
    for (const auto &[video, field] : bad) {
        Ui.Messages.clear();
        file = Write("bad.tsp", std::string("[Files]\nVideo=") + video + "\nAudio=\n");
        EXPECT_FALSE(Session.LoadProject(file, true)) << video;
        EXPECT_FALSE(Session.Project().HasVideo());
        ASSERT_EQ(Ui.Messages.size(), 1u) << video;
        EXPECT_NE(Ui.Messages[0].find(std::string("[Files] Video=") + video + ": the " + field),
                  std::string::npos)
            << Ui.Messages[0];
    }
}

TEST_F(SessionFileTest, BadEntriesAreSkippedAndReported)
{
    CopyMedia();
    std::string file = Write("bad.tsp", "[Files]\nVideo=video.avi\nAudio=audio.wav\n"
                                        "[Markers]\nCount=3\n0=Spl        10       +1\n1=Xyz        20       +1\n"
                                        "2=Spl          30 +1\n"
                                        "[Chapters]\nCount=2\n0=0,1\n1=Chapter   abc\n");
    ASSERT_TRUE(Session.LoadProject(file, true));
    EXPECT_EQ(Session.Project().MarkerCount(), 1);
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0], "The following items could not be loaded completely:\r\n- Marker list\r\n- Chapter list");
}

TEST_F(SessionFileTest, MissingMediaFailsTheLoadWithTheOpenMessage)
{
    std::string file = Write("missing.tsp", "[Files]\nVideo=gone.avi\nAudio=\n[Markers]\nCount=1\n0=Spl  10  +1\n");
    EXPECT_FALSE(Session.LoadProject(file, true));
    ASSERT_EQ(Ui.Messages.size(), 1u);
    EXPECT_EQ(Ui.Messages[0], "Error opening video file:\r\n\"gone.avi\"\n\nFile not found.");
    EXPECT_FALSE(Session.Project().HasVideo());
    EXPECT_EQ(Session.Project().MarkerCount(), 0);
    EXPECT_EQ(Session.Project().FileName(), "");

    // Another extension: nothing happens.
    Ui.Messages.clear();
    EXPECT_FALSE(Session.LoadProject(Dir.File("project.ini"), true));
    EXPECT_TRUE(Ui.Messages.empty());
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

TEST_F(SessionFileTest, AVideoOnlyProjectSavesAndLoadsAgain)
{
    CopyMedia();
    ASSERT_TRUE(Session.OpenSource(srVideo, Dir.File("video.avi")));
    std::string file = Dir.File("silent.tsp");
    ASSERT_TRUE(Session.SaveProject(file));
    EXPECT_EQ(TIniFile(file).ReadString("Files", "Audio", "?"), "");
    TProjectSession again(&Ui);
    ASSERT_TRUE(again.LoadProject(file, true));
    EXPECT_TRUE(again.Project().HasVideo());
    EXPECT_FALSE(again.Project().HasAudio());
    EXPECT_TRUE(Ui.Messages.empty());
}

} // namespace
} // namespace tessaly
