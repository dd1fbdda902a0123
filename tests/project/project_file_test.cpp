// Tests of project files: the written text, loading every documented form, moved and
// missing media, bad entries, save failures and source protection.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "support/project_fakes.h"
#include "support/test_support.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::TFakeSources;
using test::TRecordingUserInterface;
using test::TTempDir;

using test::Make;

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string &path)
{
    std::vector<uint8_t> b = test::ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

class ProjectFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(dir.File("clip.avi"), "video 1000 25 1");
        WriteText(dir.File("sound.wav"), "audio 48000");
        WriteText(dir.File("second.wav"), "audio 48000");
    }
    // A project file with these [Files] lines and more text after them.
    std::string WriteProject(const std::string &name, const std::string &files, const std::string &rest)
    {
        std::string path = dir.File(name);
        WriteText(path, "[Files]\n" + files + rest);
        return path;
    }
    std::string Files() { return "Video=" + dir.File("clip.avi") + "\nAudio=" + dir.File("sound.wav") + "\n"; }

    TTempDir dir;
    TFakeSources sources;
    TRecordingUserInterface ui;
    TProject project{&ui, &sources};
    TProjectEditor editor{project, &sources};
    TProjectFile file{editor, sources};
};

TEST_F(ProjectFile, SavesEveryKeyInItsForm)
{
    ASSERT_TRUE(file.LoadProject(WriteProject("a.tsp", Files(), "")));
    project.AddMarker(Make(100, 5, mkSpline, true));
    project.AddMarker(Make(200, PackOption(-1, true, false), mkOption));
    project.Options().UseChapters = true;
    project.AddChapter({500, false});
    project.Options().GlobalShift = 3;
    project.Options().UseGlobalShift = true;
    project.SetPosition(42);
    TProjectArrange arrange{1920, 1080, true, false, 10, 20, 800, 600};
    file.SetArrange(&arrange);
    std::string out = dir.File("out.tsp");
    ASSERT_TRUE(file.SaveProject(out));
    EXPECT_EQ(project.FileName(), out);
    EXPECT_FALSE(project.Changed());
    EXPECT_EQ(ReadText(out),
              "[Files]\nVideo=" + dir.File("clip.avi") + "\nVideoFT=ODML|-1\nAudio=" + dir.File("sound.wav") +
                  "\nAudioFT=ODML|-1\nDouble=\nDoubleFT=\nRef=\nRefFT=\n\n"
                  "[Markers]\nCount=2\n0=Spl >     100       +5\n1=Opt       200      - D\n\n"
                  "[Chapters]\nCount=2\n0=0,1\n1=500,0\n\n"
                  "[Config]\nPreviewEnv=2\nZoom=100\nPosition=42\nUseChapters=1\nConcatChapters=0\n"
                  "GlobalShift=-3\nUseGlobalShift=1\nCrossFading=1\nPreScan=0\nDisableZoom=0\nFlipImage=0\n"
                  "ForceVFW=0\nRefZoom=100\nMarkerDrawSize=1\n\n"
                  "[Arrange]\nScreen=1920,1080\nShowFileman=1\nShowStatus=0\nMainWnd=10,20,800,600\n");

    // And it loads back to the same project.
    TFakeSources s2;
    TProject p2(&ui, &s2);
    TProjectEditor e2(p2, &s2);
    TProjectFile f2(e2, s2);
    ASSERT_TRUE(f2.LoadProject(out));
    EXPECT_EQ(p2.MarkerCount(), 2);
    EXPECT_EQ(p2.GetMarker(0), Make(100, 5, mkSpline, true));
    EXPECT_EQ(p2.GetMarker(1), Make(200, PackOption(-1, true, false), mkOption));
    EXPECT_EQ(p2.ChapterCount(), 2);
    EXPECT_FALSE(p2.GetChapter(1).Enabled);
    EXPECT_EQ(p2.Options().GlobalShift, 3);
    EXPECT_EQ(p2.Position(), 42);
    EXPECT_EQ(p2.FileName(), out);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(ProjectFile, LoadsOlderFormsAndSavesThemBackInTheCurrentOnes)
{
    std::string path = WriteProject("old.TSP", Files(),
                                    "[Markers]\nCount=3\n0=Spl       100    +50\n1=Opt       200      A D\n"
                                    "2=Cut >     300  -1234\n"
                                    "[Chapters]\nCount=4\n0=\n1=500\n2=Chapter      700\n3=900,0\n"
                                    "[Config]\nGlobalShift=-3\nUseChapters=1\nMarkerDrawSize=7\nFlipImage=1\n");
    ASSERT_TRUE(file.LoadProject(path));
    EXPECT_TRUE(ui.Messages.empty());
    EXPECT_EQ(project.MarkerLine(0), "Spl       100      +50");
    EXPECT_EQ(OptionVolume(project.GetMarker(1).Value), -1);
    EXPECT_EQ(project.MarkerLine(1), "Opt       200      A D");
    EXPECT_EQ(project.GetMarker(2), Make(300, -1234, mkRelCut, true));
    // The empty key 0 keeps "Start"; 500 without flag and the old line are enabled.
    ASSERT_EQ(project.ChapterCount(), 4);
    EXPECT_EQ(project.ChapterLine(0), "Start          0");
    EXPECT_TRUE(project.GetChapter(1).Enabled);
    EXPECT_EQ(project.GetChapter(2).Frame, 700);
    EXPECT_TRUE(project.GetChapter(2).Enabled);
    EXPECT_FALSE(project.GetChapter(3).Enabled);
    EXPECT_EQ(project.PreviewOffset(), 0);   // offset 3, but not in use
    EXPECT_EQ(project.Options().GlobalShift, 3);
    EXPECT_EQ(project.Options().MarkerDrawSize, 1);
    EXPECT_TRUE(sources.Flip);
    EXPECT_NEAR(static_cast<double>(project.SplineShiftAt(0)), 50.0, 1e-9);

    ASSERT_TRUE(file.SaveProject(path));
    std::string text = ReadText(path);
    EXPECT_NE(text.find("0=Spl       100      +50\n1=Opt       200      A D\n2=Cut >     300    -1234\n"),
              std::string::npos);
    EXPECT_NE(text.find("[Chapters]\nCount=4\n0=0,1\n1=500,1\n2=700,1\n3=900,0\n"), std::string::npos);
    EXPECT_NE(text.find("GlobalShift=-3\n"), std::string::npos);
}

TEST_F(ProjectFile, ANonEmptyFirstChapterKeyReplacesTheStartChapter)
{
    std::string path = WriteProject("c.tsp", Files(), "[Chapters]\nCount=2\n0=100,1\n1=300\n[Config]\nUseChapters=1\n");
    ASSERT_TRUE(file.LoadProject(path));
    ASSERT_EQ(project.ChapterCount(), 2);
    EXPECT_EQ(project.GetChapter(0).Frame, 100);
    EXPECT_EQ(project.GetChapter(1).Frame, 300);
}

TEST_F(ProjectFile, BadEntriesAreSkippedAndReportedTogether)
{
    std::string path = WriteProject("bad.tsp", Files(),
                                    "[Markers]\nCount=2000000000\n0=Spl       100       +5\n1=Xyz       200       +5\n"
                                    "2=Spl       100       +7\n3=Dbl       300       +2\n"
                                    "[Chapters]\nCount=3\n0=0,1\n1=abc\n2=-5,1\n");
    ASSERT_TRUE(file.LoadProject(path));
    EXPECT_EQ(project.MarkerCount(), 2);
    EXPECT_EQ(project.GetMarker(0), Make(100, 5, mkSpline));   // the second marker on 100 is refused
    EXPECT_EQ(project.GetMarker(1), Make(300, 2, mkDShift));
    EXPECT_EQ(project.ChapterListCount(), 1);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Type, mtError);
    EXPECT_EQ(ui.Messages[0].Text,
              "The following items could not be loaded completely:\r\n- Marker list\r\n- Chapter list");
    EXPECT_EQ(project.FileName(), path);
    EXPECT_FALSE(project.Changed());
}

// The list keys are the positions as saving writes them: another spelling is no
// position (that one is missing), a key given twice counts once, the first time; entries
// beyond Count are not read.
TEST_F(ProjectFile, ListPositionsAreReadAsSavedAndOnlyOnce)
{
    std::string path = WriteProject("keys.tsp", Files(),
                                    "[Markers]\nCount=3\n2=Spl       300       +3\n0=Spl       100       +1\n"
                                    "0=Spl       150       +9\n 1 =Spl       200       +2\n3=Spl       400       +4\n"
                                    "[Chapters]\nCount=3\n2=700,1\n1=500,0\n");
    ASSERT_TRUE(file.LoadProject(path));
    ASSERT_EQ(project.MarkerCount(), 3);
    EXPECT_EQ(project.GetMarker(0), Make(100, 1, mkSpline));
    EXPECT_EQ(project.GetMarker(1), Make(200, 2, mkSpline));
    EXPECT_EQ(project.GetMarker(2), Make(300, 3, mkSpline));
    // Without key 0 the start chapter stays; the others come in frame order.
    ASSERT_EQ(project.ChapterListCount(), 3);
    EXPECT_EQ(project.GetListChapter(0), (TChapter{0, true}));
    EXPECT_EQ(project.GetListChapter(1), (TChapter{500, false}));
    EXPECT_EQ(project.GetListChapter(2), (TChapter{700, true}));
    EXPECT_TRUE(ui.Messages.empty());

    path = WriteProject("spelled.tsp", Files(),
                        "[Markers]\nCount=2\n0=Spl       100       +1\n01=Spl       200       +2\n"
                        "[Chapters]\nCount=2\n0=0,1\n+1=500,1\n");
    ASSERT_TRUE(file.LoadProject(path));
    ASSERT_EQ(project.MarkerCount(), 1);
    EXPECT_EQ(project.ChapterListCount(), 1);
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text,
              "The following items could not be loaded completely:\r\n- Marker list\r\n- Chapter list");
}

// A saved project cut at every byte: loaded unasked only when nothing of it is lost;
// otherwise the question names what is missing, and No leaves the project empty.
TEST_F(ProjectFile, FileCutShortIsNeverLoadedAsAComplete)
{
    ASSERT_TRUE(file.LoadProject(WriteProject("a.tsp", Files(), "")));
    project.AddMarker(Make(100, 5, mkSpline, true));
    project.Options().UseChapters = true;
    project.Options().CrossFading = true;
    project.AddChapter({500, false});
    project.SetPosition(42);
    const std::string full = dir.File("full.tsp");
    ASSERT_TRUE(file.SaveProject(full));
    const std::string text = ReadText(full);
    int asked = 0;
    for (size_t cut = 1; cut < text.size(); ++cut) {
        const std::string path = dir.File("cut.tsp");
        WriteText(path, text.substr(0, cut));
        TFakeSources s2;
        TRecordingUserInterface ui2;   // answers No
        TProject p2(&ui2, &s2);
        TProjectEditor e2(p2, &s2);
        TProjectFile f2(e2, s2);
        const bool loaded = f2.LoadProject(path);
        const bool question = !ui2.Messages.empty() && ui2.Messages[0].Type == mtConfirmation;
        asked += question;
        if (loaded && !ui2.Messages.empty()) {
            // Loaded with the incomplete lists reported.
            EXPECT_EQ(ui2.Messages[0].Text.rfind("The following items could not be loaded completely:", 0), 0u) << cut;
        } else if (loaded) {
            // Only the [Arrange] tail (never applied) may be missing.
            EXPECT_EQ(p2.MarkerCount(), 1) << cut;
            EXPECT_EQ(p2.ChapterListCount(), 2) << cut;
            EXPECT_TRUE(p2.Options().UseChapters) << cut;
            EXPECT_TRUE(p2.Options().CrossFading) << cut;
            EXPECT_EQ(p2.Position(), 42) << cut;
        } else {
            EXPECT_FALSE(p2.HasVideo()) << cut;
            EXPECT_FALSE(ui2.Messages.empty()) << cut << " refused without a word";
        }
        if (question) {
            EXPECT_EQ(ui2.Messages[0].Text.rfind("The project file \"cut.tsp\" is incomplete (cut short?). Missing:", 0), 0u)
                << ui2.Messages[0].Text;
            EXPECT_NE(ui2.Messages[0].Text.find("Open what could be read?"), std::string::npos);
        }
    }
    EXPECT_GT(asked, 100);

    // Cut inside [Config]: the question names the keys; Yes opens what was read.
    const std::string path = dir.File("cut.tsp");
    WriteText(path, text.substr(0, text.find("CrossFading")));
    TFakeSources s3;
    TRecordingUserInterface ui3;
    ui3.Answers = {mrYes};
    TProject p3(&ui3, &s3);
    TProjectEditor e3(p3, &s3);
    TProjectFile f3(e3, s3);
    ASSERT_TRUE(f3.LoadProject(path));
    ASSERT_FALSE(ui3.Messages.empty());
    EXPECT_NE(ui3.Messages[0].Text.find("\r\n- [Config] CrossFading\r\n- [Config] PreScan"), std::string::npos);
    EXPECT_EQ(p3.MarkerCount(), 1);
    EXPECT_EQ(p3.Position(), 42);   // written before the cut
}

TEST_F(ProjectFile, PhantomClipBeyondTheLimitsIsRefusedBeforeItIsMade)
{
    for (const char *video : {"*96*72*0*2147483647*2147483647*1*", "*2147483647*2147483647*3*100*25*1*",
                              "*96*72*0*100*1001*1*"}) {
        ui.Messages.clear();
        sources.Opens.clear();
        EXPECT_FALSE(file.LoadProject(WriteProject("ph.tsp", std::string("Video=") + video + "\n", ""))) << video;
        EXPECT_TRUE(sources.Opens.empty()) << video;
        ASSERT_EQ(ui.Messages.size(), 1u);
        EXPECT_EQ(ui.Messages[0].Text.rfind("Error creating phantom clip.\n\n[Files] Video=", 0), 0u);
    }
    EXPECT_NE(ui.Messages[0].Text.find("above 1000 frames per second"), std::string::npos) << ui.Messages[0].Text;
    TPhantomClip c;
    c.Frames = kPhantomMaxFrames + 1;
    std::string why;
    EXPECT_FALSE(PhantomWithinLimits(c, &why));
    EXPECT_EQ(why, "the frame count 10000001 is not from 1 to 10000000");
}

TEST_F(ProjectFile, MediaMovedWithTheProjectAreFoundBesideIt)
{
    std::string path = WriteProject("moved.tsp",
                                    "Video=C:\\clips\\clip.avi\nVideoFT=ODML|-1\nAudio=/gone/elsewhere/sound.wav\n"
                                    "Double=second.wav\n",
                                    "[Markers]\nCount=0\n[Chapters]\nCount=0\n[Config]\n");
    ASSERT_TRUE(file.LoadProject(path)) << (ui.Messages.empty() ? "" : ui.Messages[0].Text);
    EXPECT_TRUE(project.HasVideo());
    EXPECT_EQ(project.FrameCount(), 1000);
    EXPECT_TRUE(project.HasAudio());
    EXPECT_TRUE(project.HasDouble());
    EXPECT_EQ(project.SampleTime(), 1.0L / 48000);
    ASSERT_EQ(sources.Opens.size(), 5u);
    EXPECT_EQ(sources.Opens[0].List, dir.Path() + "/C:\\clips\\clip.avi");
    EXPECT_EQ(sources.Opens[1].List, dir.File("clip.avi"));
    EXPECT_EQ(sources.Opens[1].Kind, "ODML|-1");
    EXPECT_EQ(sources.Opens[2].List, "/gone/elsewhere/sound.wav");
    EXPECT_EQ(sources.Opens[3].List, dir.File("sound.wav"));
    EXPECT_EQ(sources.Opens[4].List, dir.File("second.wav"));   // relative: the project's folder
}

TEST_F(ProjectFile, MissingOrBrokenMediaFailTheLoadWithTheOpenMessage)
{
    std::string path = WriteProject("m.tsp", "Video=/nowhere/none.avi\nAudio=" + dir.File("sound.wav") + "\n",
                                    "[Markers]\nCount=1\n0=Spl       100       +5\n");
    EXPECT_FALSE(file.LoadProject(path));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Error opening video file:\r\n\"/nowhere/none.avi\"\n\nFile not found.");
    EXPECT_FALSE(project.HasVideo());
    EXPECT_EQ(project.MarkerCount(), 0);
    EXPECT_EQ(project.FileName(), "");
    EXPECT_EQ(sources.Opens.size(), 2u);   // the name alone was tried; the audio was not

    ui.Messages.clear();
    WriteText(dir.File("broken.wav"), "garbage");
    path = WriteProject("m2.tsp", "Video=" + dir.File("clip.avi") + "\nAudio=" + dir.File("broken.wav") + "\n", "");
    EXPECT_FALSE(file.LoadProject(path));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text,
              "Error opening audio file:\r\n\"" + dir.File("broken.wav") + "\"\n\nFile format not supported.");
    EXPECT_FALSE(project.HasVideo());
    // Without a [Files] section the video "*" cannot be opened.
    EXPECT_FALSE(file.LoadProject(WriteProject("empty.tsp", "", "")));
}

TEST_F(ProjectFile, PhantomClipDescriptors)
{
    TPhantomClip c;
    bool phantom = false;
    ASSERT_TRUE(ParsePhantom("*96*72*0*250*30000*1001*", c, phantom));
    EXPECT_EQ(FormatPhantom(c), "*96*72*0*250*30000*1001*");
    ASSERT_TRUE(ParsePhantom("*320*240*3*100*29.97", c, phantom));
    EXPECT_TRUE(phantom);
    EXPECT_EQ(c.Rate, 299700);
    EXPECT_EQ(c.Scale, 10000);
    ASSERT_TRUE(ParsePhantom("*320*240*3*100*12,5", c, phantom));
    EXPECT_EQ(c.Rate, 125000);
    for (const char *bad : {"*0*72*0*250*25*1*", "*96*72*4*250*25*1*", "*96*72*0*0*25*1*", "*96*72*0*250*0*1*",
                            "*96*72*0*250*x", "*96*72*0*250*1e11"}) {
        EXPECT_FALSE(ParsePhantom(bad, c, phantom)) << bad;
        EXPECT_TRUE(phantom) << bad;
    }
    EXPECT_FALSE(ParsePhantom("/clips/a*b.avi", c, phantom));
    EXPECT_FALSE(phantom);

    std::string path = WriteProject("p.tsp", "Video=*96*72*0*250*25*1*\nAudio=" + dir.File("sound.wav") + "\n", "");
    ASSERT_TRUE(file.LoadProject(path));
    EXPECT_EQ(project.FrameCount(), 250);
    ASSERT_TRUE(file.SaveProject(path));
    // Keys already in the file keep their place; new ones follow.
    EXPECT_NE(ReadText(path).find("[Files]\nVideo=*96*72*0*250*25*1*\nAudio="), std::string::npos);
    EXPECT_NE(ReadText(path).find("\nVideoFT=DUMY|-1\n"), std::string::npos);
    // A malformed descriptor fails with a message naming the key and the field at fault;
    // a refused clip with ErrOpenDum and the media error.
    EXPECT_FALSE(file.LoadProject(WriteProject("p2.tsp", "Video=*96*72*9*250*25*1*\n", "")));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text, "Error creating phantom clip.\n\n[Files] Video=*96*72*9*250*25*1*: the pixel "
                                   "format \"9\" is not a whole number from 0 to 3.");
    ui.Messages.clear();
    sources.PhantomResult = meMemory;
    EXPECT_FALSE(file.LoadProject(path));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_EQ(ui.Messages[0].Text.substr(0, 30), "Error creating phantom clip.\n\n");
}

TEST_F(ProjectFile, WrongExtensionIsIgnored)
{
    project.SetFileName("keep.tsp");
    EXPECT_FALSE(file.LoadProject(WriteProject("x.ini", Files(), "")));
    EXPECT_EQ(project.FileName(), "keep.tsp");
    EXPECT_TRUE(sources.Opens.empty());
}

TEST_F(ProjectFile, SaveFailureLeavesTheNameAndReportsTheFile)
{
    ASSERT_TRUE(file.LoadProject(WriteProject("a.tsp", Files(), "")));
    project.SetChanged(true);
    std::string target = dir.File("no/such/folder/b.tsp");
    EXPECT_FALSE(file.SaveProject(target));
    ASSERT_EQ(ui.Messages.size(), 1u);
    EXPECT_NE(ui.Messages[0].Text.find("b.tsp"), std::string::npos);
    EXPECT_EQ(project.FileName(), dir.File("a.tsp"));
    EXPECT_TRUE(project.Changed());
    EXPECT_FALSE(file.SaveProject(""));
}

TEST_F(ProjectFile, AskSaveChangesAndRevert)
{
    std::string path = WriteProject("a.tsp", Files(), "[Markers]\nCount=1\n0=Spl       100       +5\n");
    ASSERT_TRUE(file.LoadProject(path));
    EXPECT_TRUE(file.AskSaveChanges());   // unchanged: no question
    EXPECT_TRUE(ui.Messages.empty());
    project.AddMarker(Make(200, 1, mkDShift));
    project.SetChanged(true);
    ui.Answers = {mrCancel};
    EXPECT_FALSE(file.AskSaveChanges());
    EXPECT_EQ(ui.Messages.back().Text, "Save changes ?");
    EXPECT_EQ(ui.Messages.back().Buttons, unsigned(mbYes | mbNo | mbCancel));
    ui.Answers = {mrNo};
    EXPECT_TRUE(file.AskSaveChanges());
    EXPECT_TRUE(project.Changed());
    // Revert asks with the file name and loads the saved version.
    ui.Answers = {mrYes};
    EXPECT_TRUE(file.Revert());
    EXPECT_EQ(ui.Messages.back().Text, "Do you really want revert to the\r\nlast saved version of a.tsp ?");
    EXPECT_EQ(project.MarkerCount(), 1);
    EXPECT_FALSE(project.Changed());
    // Yes saves to the project's file.
    project.AddMarker(Make(200, 1, mkDShift));
    project.SetChanged(true);
    ui.Answers = {mrYes};
    EXPECT_TRUE(file.AskSaveChanges());
    EXPECT_FALSE(project.Changed());
    EXPECT_NE(ReadText(path).find("1=Dbl       200       +1"), std::string::npos);
    // An unnamed project asks for a name; cancelling that cancels.
    project.SetFileName("");
    project.SetChanged(true);
    ui.Answers = {mrYes};
    EXPECT_FALSE(file.AskSaveChanges());
    file.SetChooseFileName([&] { return dir.File("named.tsp"); });
    ui.Answers = {mrYes};
    EXPECT_TRUE(file.AskSaveChanges());
    EXPECT_EQ(project.FileName(), dir.File("named.tsp"));
}

TEST_F(ProjectFile, SourceFilesCannotBeResultFiles)
{
    ASSERT_TRUE(file.LoadProject(WriteProject("a.tsp", Files(), "")));
    EXPECT_FALSE(file.IsSourceFile(dir.File("result.avi")));
    EXPECT_TRUE(ui.Messages.empty());
    std::filesystem::create_symlink(dir.File("clip.avi"), dir.File("link.avi"));
    std::string relative = std::filesystem::relative(dir.File("sound.wav")).string();
    // Another spelling of the case names another file on Linux.
    EXPECT_FALSE(file.IsSourceFile(dir.File("CLIP.AVI")));
    EXPECT_TRUE(ui.Messages.empty());
    for (const std::string &name : {dir.File("clip.avi"), dir.File("link.avi"),
                                    dir.Path() + "/./sub/../sound.wav", std::string("./") + relative}) {
        ui.Messages.clear();
        EXPECT_TRUE(file.IsSourceFile(name)) << name;
        ASSERT_EQ(ui.Messages.size(), 1u) << name;
    }
    EXPECT_EQ(ui.Messages[0].Text, "The file \"sound.wav\"\r\nis a source file of this project and cannot be "
                                   "overwritten.\r\nChoose another file name for the result file.");
}

} // namespace
} // namespace tessaly
