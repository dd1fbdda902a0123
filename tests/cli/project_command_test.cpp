// Tests of `tessaly-cli project` through the editing operations: refusals that change
// nothing, the Affect rules on delete and move, and analyze/render without audio.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

class CliProject : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=4:r=8000 " + test::ShellQuote(dir.File("a.wav"))));
        ASSERT_EQ(Run("create p.tsp --phantom 64,48,100,25 --audio " + test::ShellQuote(dir.File("a.wav"))), 0);
    }
    int Run(const std::string &args, std::string *out = nullptr)
    {
        std::string command = "cd " + test::ShellQuote(dir.Path()) + " && " + test::CliProgram() + " project " + args;
        if (out)
            out->clear();
        return test::RunCommand(command + " 2>&1", out);
    }
    std::string Bytes()
    {
        std::string b;
        ReadWholeFile(dir.File("p.tsp"), b);
        return b;
    }
    std::vector<std::string> Markers()
    {
        std::string out;
        Run("list p.tsp", &out);
        std::vector<std::string> lines;
        bool in = false;
        for (const std::string &l : test::SplitLines(out)) {
            if (l.rfind("Markers", 0) == 0)
                in = true;
            else if (l.rfind("Chapters", 0) == 0)
                in = false;
            else if (in)
                lines.push_back(l.substr(2));
        }
        return lines;
    }
    test::TTempDir dir;
};

TEST_F(CliProject, ANewMarkerOnAnOccupiedFrameIsRefusedUnlessReplacing)
{
    ASSERT_EQ(Run("add-marker p.tsp 10 spline 3"), 0);
    std::string before = Bytes(), out;
    EXPECT_EQ(Run("add-marker p.tsp 10 cut -5 --affect", &out), 1);
    EXPECT_EQ(out, "tessaly-cli project: Frame 10 already holds a marker.\n");
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Run("add-marker p.tsp 10 cut -5 --affect --replace"), 0);
    EXPECT_EQ(Markers(), (std::vector<std::string>{"Cut >      10       -5"}));
    EXPECT_EQ(Run("new-marker p.tsp 10 option", &out), 1);
    EXPECT_EQ(Run("add-marker p.tsp 100 spline 1", &out), 1);
    EXPECT_EQ(out, "tessaly-cli project: Frame 100 lies outside the video (100 frames).\n");
}

TEST_F(CliProject, DeletingAndMovingAnAffectCut)
{
    ASSERT_EQ(Run("add-marker p.tsp 10 spline 0"), 0);
    ASSERT_EQ(Run("add-marker p.tsp 40 cut -5 --affect"), 0);
    ASSERT_EQ(Run("add-marker p.tsp 60 spline 2"), 0);
    ASSERT_EQ(Run("add-marker p.tsp 80 spline 4"), 0);
    // Moved: frames change, values stay; never past a neighbour.
    ASSERT_EQ(Run("move-marker p.tsp 40 -5"), 0);
    std::string out;
    EXPECT_EQ(Run("move-marker p.tsp 35 25", &out), 1);
    EXPECT_EQ(Markers(), (std::vector<std::string>{"Spl        10        0", "Cut >      35       -5",
                                                   "Spl        60       +2", "Spl        80       +4"}));
    // Deleted: the following points take the cut's value, so the total shift stays.
    ASSERT_EQ(Run("delete-marker p.tsp 35"), 0);
    EXPECT_EQ(Markers(), (std::vector<std::string>{"Spl        10        0", "Spl        60       -3",
                                                   "Spl        80       -1"}));
    EXPECT_EQ(Run("delete-marker p.tsp 35", &out), 1);
    EXPECT_EQ(out, "tessaly-cli project: There is no marker at frame 35.\n");
}

TEST_F(CliProject, ValueEnableAffectOptionAndOffsetEdits)
{
    ASSERT_EQ(Run("add-marker p.tsp 10 spline 0 --affect"), 0);
    ASSERT_EQ(Run("add-marker p.tsp 50 spline 2"), 0);
    ASSERT_EQ(Run("add-marker p.tsp 70 option --volume 80"), 0);
    ASSERT_EQ(Run("set-value p.tsp 10 3"), 0);   // the following point moves along
    ASSERT_EQ(Run("enable-marker p.tsp 50 0"), 0);
    ASSERT_EQ(Run("affect p.tsp 10 0"), 0);
    ASSERT_EQ(Run("edit-option p.tsp 70 --double-on 0 --volume none"), 0);
    EXPECT_EQ(Markers(), (std::vector<std::string>{"Spl        10       +3", "Spl%       50       +5",
                                                   "Opt        70      A -"}));
    std::string out;
    EXPECT_EQ(Run("set-value p.tsp 70 1", &out), 1);
    EXPECT_EQ(Run("start-offset p.tsp -11", &out), 1);
    EXPECT_EQ(out, "tessaly-cli project: This would move some markers and/or chapters outside of the project.\n");
    ASSERT_EQ(Run("start-offset p.tsp 5"), 0);
    EXPECT_EQ(Markers(), (std::vector<std::string>{"Spl        15       -2", "Spl%       55        0",
                                                   "Opt        75      A -"}));
    ASSERT_EQ(Run("remove-deactivated p.tsp"), 0);
    EXPECT_EQ(Markers().size(), 2u);
    EXPECT_EQ(Run("set p.tsp --marker-size 4", &out), 2);
    ASSERT_EQ(Run("set p.tsp --marker-size 3 --flip-image 1 --preview-range 2.5"), 0);
    EXPECT_NE(Bytes().find("MarkerDrawSize=3"), std::string::npos);
    EXPECT_NE(Bytes().find("PreviewEnv=2.5"), std::string::npos);
    ASSERT_EQ(Run("add-chapter p.tsp 50 --disabled"), 0);
    ASSERT_EQ(Run("tick-chapter p.tsp 50 1"), 0);
    EXPECT_NE(Bytes().find("1=50,1"), std::string::npos);
    ASSERT_EQ(Run("goto p.tsp 42"), 0);
    EXPECT_NE(Bytes().find("Position=42"), std::string::npos);
    EXPECT_EQ(Run("goto p.tsp 100", &out), 1);
    EXPECT_EQ(out, "tessaly-cli project: Please enter a frame number from 0 to 99.\n");
}

TEST_F(CliProject, AnalyzeWithoutAudioRefusesAsRenderDoes)
{
    ASSERT_EQ(Run("create n.tsp --phantom 64,48,100,25"), 0);
    std::string cli = "cd " + test::ShellQuote(dir.Path()) + " && " + test::CliProgram();
    std::string analyzed, rendered;
    EXPECT_EQ(test::RunCommand(cli + " analyze n.tsp 2>&1", &analyzed), 1);
    EXPECT_EQ(test::RunCommand(cli + " render n.tsp out.wav --no-progress 2>&1", &rendered), 1);
    EXPECT_EQ(analyzed, "error: No audio tracks defined!\n");
    EXPECT_EQ(rendered, analyzed);
    EXPECT_FALSE(FileExists(dir.File("out.wav")));
}

} // namespace
} // namespace tessaly

namespace tessaly {
namespace {

// Numbered files open as one source, or only the named one; a video's sound becomes the
// double track and an AVI given as audio the reference video, as in the window.
TEST(CliProjectCreate, SegmentsAndSilentSecondOpens)
{
    test::TTempDir dir;
    for (const char *n : {"cap01.avi", "cap02.avi", "cap03.avi"})
        ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=0.4 -f lavfi -i sine=d=0.4:r=8000 "
                                 "-c:v mpeg4 -c:a pcm_s16le " + test::ShellQuote(dir.File(n))));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=d=1:r=8000 " + test::ShellQuote(dir.File("a.wav"))));
    std::string cli = "cd " + test::ShellQuote(dir.Path()) + " && " + test::CliProgram() + " project ";
    std::string out, bytes;
    ASSERT_EQ(test::RunCommand(cli + "create all.tsp --video cap01.avi --audio a.wav 2>&1", &out), 0) << out;
    ASSERT_TRUE(ReadWholeFile(dir.File("all.tsp"), bytes));
    EXPECT_NE(bytes.find("Video=" + dir.File("cap*.avi") + "|01|02|03\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Double=" + dir.File("cap*.avi") + "|01|02|03\n"), std::string::npos) << bytes;
    EXPECT_NE(out.find("note: the video's sound is the double audio track"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(test::RunCommand(cli + "list all.tsp", &out), 0);
    EXPECT_NE(out.find("Frames:    30 at 25.000 fps"), std::string::npos) << out;

    out.clear();
    ASSERT_EQ(test::RunCommand(cli + "create one.tsp --video cap02.avi --segments first --audio cap03.avi 2>&1", &out),
              0) << out;
    ASSERT_TRUE(ReadWholeFile(dir.File("one.tsp"), bytes));
    EXPECT_NE(bytes.find("Video=" + dir.File("cap02.avi") + "\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Audio=" + dir.File("cap03.avi") + "\n"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Ref=" + dir.File("cap03.avi") + "\n"), std::string::npos) << bytes;
    EXPECT_EQ(test::RunCommand(cli + "create x.tsp --video cap01.avi --segments some 2>/dev/null"), 2);
}

} // namespace
} // namespace tessaly
