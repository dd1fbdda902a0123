// The suggest operation's refusals and the pictures of a measurement: a project without
// the tracks to compare says what is missing, unreadable recordings are named, reading
// stops when asked, and the plot is well-formed SVG with a dot per matched window and a
// legend of only what it shows.
#include <gtest/gtest.h>

#include <algorithm>

#include "autosync/suggest_run.h"
#include "autosync/sync_audio.h"
#include "autosync/sync_plot.h"
#include "project/project_session.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using namespace autosync;

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

class SuggestRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::MakeTestVideo(Dir.File("clip.avi"), 50, 10));
        ASSERT_TRUE(test::WriteIndexWave(Dir.File("sound.wav"), 8000, 16000));
    }
    TSuggestStatus Run(const std::string &against)
    {
        Error.clear();
        return SuggestMarkers(Session, against, nullptr, Result, Error);
    }
    test::TTempDir Dir;
    TProjectSession Session;
    TSuggestRun Result;
    std::string Error;
};

TEST_F(SuggestRun, MissingTracksAndUnreadableRecordingsAreNamed)
{
    EXPECT_EQ(Run(""), ssFailed);
    EXPECT_EQ(Error, "the project needs a video and a primary track");
    ASSERT_TRUE(Session.OpenSource(srVideo, Dir.File("clip.avi")));
    ASSERT_TRUE(Session.OpenSource(srAudio, Dir.File("sound.wav")));
    EXPECT_EQ(Run(""), ssFailed);
    EXPECT_EQ(Error, "the project has neither a double track nor a reference video; use --against FILE");
    EXPECT_EQ(Run("double"), ssFailed);
    EXPECT_EQ(Error, "the project has no double track");
    EXPECT_EQ(Run("reference"), ssFailed);
    EXPECT_EQ(Error, "the project has no reference video");
    ASSERT_TRUE(test::WriteFileBytes(Dir.File("notes.txt"), {'n', 'o', 't', 'e', 's'}));
    EXPECT_EQ(Run(Dir.File("notes.txt")), ssFailed);
    EXPECT_EQ(Error, Dir.File("notes.txt") + ": \"" + Dir.File("notes.txt") + "\" cannot be opened as audio");
    EXPECT_EQ(Session.Project().MarkerCount(), 0);
}

TEST_F(SuggestRun, ReadingStopsWhenTheProgressSaysSo)
{
    sync::TSyncSignal signal;
    std::string error;
    std::vector<double> seen;
    EXPECT_FALSE(ReadSyncFile(Dir.File("sound.wav"), signal, error, "", [&seen](double f) {
        seen.push_back(f);
        return false;
    }));
    EXPECT_EQ(error, "reading was stopped");
    EXPECT_EQ(seen.size(), 1u);
    seen.clear();
    error.clear();
    EXPECT_TRUE(ReadSyncFile(Dir.File("sound.wav"), signal, error, "", [&seen](double f) {
        seen.push_back(f);
        return true;
    })) << error;
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_DOUBLE_EQ(seen.back(), 1.0);
}

TEST(SyncPlot, WellFormedWithADotPerMatchedWindowAndALegendOfWhatItShows)
{
    test::TTempDir dir;
    TPlotData d;
    d.Title = "Primary <against> \"A&B\"";
    d.Seconds = 10;
    for (int i = 0; i < 5; ++i) {
        sync::TSyncWindow w;
        w.Start = 2.0 * i;
        w.Length = 2;
        w.Matched = i != 2;
        w.Offset = 0.001 * i;
        w.Score = 0.8;
        w.Inlier = true;
        d.Windows.push_back(w);
    }
    const std::string plain = PlotSvg(d);
    EXPECT_EQ(Count(plain, "<circle"), 4u + 1u);   // four windows and the legend's dot
    EXPECT_NE(plain.find("Primary &lt;against&gt; &quot;A&amp;B&quot;"), std::string::npos) << plain;
    for (const char *absent : {"left out", "curve", "spline point", "cut, primary", "tolerance"})
        EXPECT_EQ(plain.find(absent), std::string::npos) << absent;

    d.Windows[1].Inlier = false;
    d.Windows[1].Segment = 0;
    d.Curves.push_back({{0, 0}, {10, 4}});
    d.Marks = {{0, ""}, {5, "cut -25"}};
    d.BandLowMs = -15;
    d.BandHighMs = 45;
    const std::string full = PlotSvg(d);
    for (const char *present : {"left out", "curve", "spline point", "cut, primary", "tolerance", "cut -25"})
        EXPECT_NE(full.find(present), std::string::npos) << present;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("plot.svg"), std::vector<uint8_t>(full.begin(), full.end())));
    EXPECT_EQ(test::RunCommand("xmllint --noout " + test::ShellQuote(dir.File("plot.svg")) + " 2>&1"), 0);
}

} // namespace
} // namespace tessaly
