// Project files read and saved back byte for byte: the saved forms the other tests
// expect, older forms once saved, and 200 generated projects of every marker kind,
// fraction, flag, chapter and option, written here by rules of their own.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::TFakeSources;
using test::TRecordingUserInterface;
using test::TTempDir;

void WriteText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string &path)
{
    std::vector<uint8_t> b = test::ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

std::string Pad(const std::string &text, size_t width)
{
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(dir.File("clip.avi"), "video 400000 25 1");
        WriteText(dir.File("sound.wav"), "audio 48000");
        WriteText(dir.File("dub.wav"), "audio 44100");
    }

    // Loads `text` and saves it under another name; the saved bytes.
    static inline const TProjectArrange kNoLayout{};
    std::string LoadAndSave(const std::string &text, const TProjectArrange *arrange = nullptr)
    {
        const std::string in = dir.File("in.tsp"), out = dir.File("out.tsp");
        WriteText(in, text);
        std::remove(out.c_str());   // a new file: saving over one keeps its other sections' order
        TFakeSources sources;
        TProject project(&ui, &sources);
        TProjectEditor editor(project, &sources);
        TProjectFile file(editor, sources);
        TProjectArrange layout = arrange ? *arrange : TProjectArrange{};
        file.SetArrange(arrange ? &layout : nullptr);
        EXPECT_TRUE(file.LoadProject(in));
        EXPECT_TRUE(file.SaveProject(out));
        return ReadText(out);
    }

    std::string FilesSection(bool dub)
    {
        return "[Files]\nVideo=" + dir.File("clip.avi") + "\nVideoFT=ODML|-1\nAudio=" + dir.File("sound.wav") +
               "\nAudioFT=ODML|-1\nDouble=" + (dub ? dir.File("dub.wav") : "") +
               "\nDoubleFT=" + (dub ? "ODML|-1" : "") + "\nRef=\nRefFT=\n";
    }

    TTempDir dir;
    TRecordingUserInterface ui;
};

// A marker line by the file's rules: kind, deactivated and Affect marks, the frame in 7
// and the value in 8 characters.
std::string MarkerText(std::mt19937 &rng, int32_t frame)
{
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int kind = pick(0, 3);
    static const char *const tags[] = {"Spl", "Cut", "Dbl", "Opt"};
    std::string field;
    bool affect = false, off = false;
    if (kind == 3) {
        const int volume = pick(-1, 999);
        field = (volume < 0 ? std::string(4, ' ') : std::to_string(volume)) + " " + (pick(0, 1) ? "A" : "-") + " " +
                (pick(0, 1) ? "D" : "-");
    } else {
        affect = kind != 2 && pick(0, 1);
        off = pick(0, 3) == 0;
        // Whole frames of 1 to 5 digits and up to three decimals without trailing zeros,
        // as wide as the field allows.
        const int digits = pick(1, 5);
        int64_t whole = pick(digits == 1 ? 0 : 1, 9);
        for (int i = 1; i < digits; ++i)
            whole = whole * 10 + pick(0, 9);
        const int room = std::min(3, 8 - 2 - digits);
        int decimals = pick(0, std::max(room, 0));
        std::string fraction;
        for (int i = 0; i < decimals; ++i)
            fraction += char('0' + (i + 1 == decimals ? pick(1, 9) : pick(0, 9)));
        if (whole == 0 && fraction.empty())
            field = "0";
        else
            field = std::string(pick(0, 1) ? "+" : "-") + std::to_string(whole) +
                    (fraction.empty() ? "" : "." + fraction);
    }
    return std::string(tags[kind]) + (off ? "%" : " ") + (affect ? ">" : " ") + " " +
           Pad(std::to_string(frame), 7) + " " + Pad(field, 8);
}

TEST_F(RoundTrip, TheSavedFormsOfTheOtherTestsSaveBackUnchanged)
{
    const TProjectArrange arrange{1920, 1080, true, false, 10, 20, 800, 600};
    const std::string saved = FilesSection(false) +
                              "\n[Markers]\nCount=2\n0=Spl >     100       +5\n1=Opt       200      - D\n\n"
                              "[Chapters]\nCount=2\n0=0,1\n1=500,0\n\n"
                              "[Config]\nPreviewEnv=2\nZoom=100\nPosition=42\nUseChapters=1\nConcatChapters=0\n"
                              "GlobalShift=-3\nUseGlobalShift=1\nCrossFading=1\nPreScan=0\nDisableZoom=0\nFlipImage=0\n"
                              "ForceVFW=0\nRefZoom=100\nMarkerDrawSize=1\n\n"
                              "[Arrange]\nScreen=1920,1080\nShowFileman=1\nShowStatus=0\nMainWnd=10,20,800,600\n";
    EXPECT_EQ(LoadAndSave(saved, &arrange), saved);
    // A program without a window (the command line) starts from an empty layout: the
    // stored one is read and written back, not replaced by zeros.
    EXPECT_EQ(LoadAndSave(saved, &kNoLayout), saved);

    // Older forms are saved once in the current ones; that file then stays as it is.
    const std::string old = "[Files]\nVideo=" + dir.File("clip.avi") + "\nAudio=" + dir.File("sound.wav") +
                            "\n[Markers]\nCount=3\n0=Spl       100    +50\n1=Opt       200      A D\n"
                            "2=Cut >     300  -1234\n"
                            "[Chapters]\nCount=4\n0=\n1=500\n2=Chapter      700\n3=900,0\n"
                            "[Config]\nGlobalShift=-3\nUseChapters=1\nMarkerDrawSize=7\nFlipImage=1\n";
    const std::string once = LoadAndSave(old);
    EXPECT_NE(once.find("0=Spl       100      +50\n1=Opt       200      A D\n2=Cut >     300    -1234\n"),
              std::string::npos);
    EXPECT_EQ(LoadAndSave(once), once);
    EXPECT_TRUE(ui.Messages.empty());
}

TEST_F(RoundTrip, GeneratedProjectsSaveBackByteForByte)
{
    std::mt19937 rng(20261208);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int project = 0; project < 200; ++project) {
        // Marker counts up to 3000 in some projects, so the bulk paths are covered.
        const int count = project % 20 == 0 ? pick(1000, 3000) : pick(0, 60);
        std::set<int32_t> frames;
        while (static_cast<int>(frames.size()) < count)
            frames.insert(pick(0, 9999999));
        std::string text = FilesSection(project % 3 == 0) + "\n[Markers]\nCount=" + std::to_string(count) + "\n";
        int i = 0;
        for (int32_t frame : frames)
            text += std::to_string(i++) + "=" + MarkerText(rng, frame) + "\n";
        std::set<int32_t> chapters{0};
        const int chapterCount = pick(0, 12);
        while (static_cast<int>(chapters.size()) < chapterCount + 1)
            chapters.insert(pick(1, 399999));
        text += "\n[Chapters]\nCount=" + std::to_string(chapters.size()) + "\n";
        i = 0;
        for (int32_t frame : chapters) {
            text += std::to_string(i) + "=" + std::to_string(frame) + (i == 0 || pick(0, 2) ? ",1" : ",0") + "\n";
            ++i;
        }
        text += "\n[Config]\nPreviewEnv=" + std::to_string(pick(0, 5)) + "\nZoom=" + std::to_string(pick(10, 800)) +
                "\nPosition=" + std::to_string(pick(0, 399999)) + "\nUseChapters=" + std::to_string(pick(0, 1)) +
                "\nConcatChapters=" + std::to_string(pick(0, 1)) + "\nGlobalShift=" +
                std::to_string(pick(-5000, 5000)) + "\nUseGlobalShift=" + std::to_string(pick(0, 1)) +
                "\nCrossFading=" + std::to_string(pick(0, 1)) + "\nPreScan=" + std::to_string(pick(0, 1)) +
                "\nDisableZoom=" + std::to_string(pick(0, 1)) + "\nFlipImage=" + std::to_string(pick(0, 1)) +
                "\nForceVFW=" + std::to_string(pick(0, 1)) + "\nRefZoom=" + std::to_string(pick(1, 400)) +
                "\nMarkerDrawSize=" + std::to_string(pick(1, 3)) + "\n";
        if (pick(0, 1))
            text += "Resampling=" + std::to_string(pick(0, 2)) + "\nCrossFadeMs=" + std::to_string(pick(0, 200)) + "\n";
        TProjectArrange arrange{pick(640, 4000), pick(480, 3000), pick(0, 1) == 1, pick(0, 1) == 1,
                                pick(0, 500),    pick(0, 500),    pick(100, 2000), pick(100, 2000)};
        const bool withArrange = pick(0, 1) == 1;
        if (withArrange)
            text += "\n[Arrange]\nScreen=" + std::to_string(arrange.ScreenWidth) + "," +
                    std::to_string(arrange.ScreenHeight) + "\nShowFileman=" + (arrange.ShowFileman ? "1" : "0") +
                    "\nShowStatus=" + (arrange.ShowStatus ? "1" : "0") + "\nMainWnd=" + std::to_string(arrange.Left) +
                    "," + std::to_string(arrange.Top) + "," + std::to_string(arrange.Width) + "," +
                    std::to_string(arrange.Height) + "\n";
        ASSERT_EQ(LoadAndSave(text, withArrange ? &arrange : nullptr), text) << "project " << project;
    }
    EXPECT_TRUE(ui.Messages.empty());
}

} // namespace
} // namespace tessaly
