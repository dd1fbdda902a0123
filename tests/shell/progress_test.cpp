// Progress: the percentage rule and the console display in both of its forms.
#include "shell/console_progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace tessaly;

namespace {

// Collects what a console progress writes.
class TCapture {
public:
    TCapture() { FFile = open_memstream(&FBuf, &FSize); }
    ~TCapture()
    {
        std::fclose(FFile);
        std::free(FBuf);
    }
    std::FILE *File() { return FFile; }
    std::string Text()
    {
        std::fflush(FFile);
        return std::string(FBuf, FSize);
    }

private:
    char *FBuf = nullptr;
    size_t FSize = 0;
    std::FILE *FFile;
};

} // namespace

TEST(Progress, PercentRoundsHalfToEvenAndClamps)
{
    EXPECT_EQ(ProgressPercent(0.125), 12);
    EXPECT_EQ(ProgressPercent(0.375), 38);
    EXPECT_EQ(ProgressPercent(0.625), 62);
    EXPECT_EQ(ProgressPercent(0.005), 0);   // the product is exactly 0.5: to the even 0
    EXPECT_EQ(ProgressPercent(0.994), 99);
    EXPECT_EQ(ProgressPercent(0.996), 100);
    EXPECT_EQ(ProgressPercent(-0.2), 0);
    EXPECT_EQ(ProgressPercent(1.7), 100);
    EXPECT_EQ(ProgressPercent(1.0), 100);
    EXPECT_EQ(ProgressPercent(0.0), 0);
    EXPECT_EQ(ProgressPercent(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(ProgressPercent(std::numeric_limits<double>::infinity()), 100);
    EXPECT_EQ(ProgressPercent(-std::numeric_limits<double>::infinity()), 0);
}

TEST(ConsoleProgress, PlainLinesWhenNotATerminal)
{
    TCapture out;
    TConsoleProgress p(out.File(), cmPlain);
    EXPECT_FALSE(p.Terminal());
    p.Show();
    p.SetCaption("Calculating &video file ...");
    p.SetComment("Writing file a.avi ...");
    p.SetCancelText("&Abort");
    for (int i = 0; i <= 40; ++i)
        p.SetProgress(i / 40.0);
    p.SetProgress(1.7);
    p.Close();
    EXPECT_EQ(out.Text(), "Calculating video file ...\nWriting file a.avi ...\n"
                          "0%\n10%\n20%\n30%\n40%\n50%\n60%\n70%\n80%\n90%\n100%\n");
    EXPECT_EQ(p.Percent(), 100);
}

TEST(ConsoleProgress, BarRedrawnOnlyWhenThePercentageChanges)
{
    TCapture out;
    TConsoleProgress p(out.File(), cmTerminal, 60);
    p.Show();
    p.SetCaption("Analyze project ...");
    p.SetProgress(0.001);   // 0 %: drawn once
    size_t before = out.Text().size();
    p.SetProgress(0.004);   // 0 % again: nothing drawn
    EXPECT_EQ(out.Text().size(), before);
    p.SetProgress(0.5);
    std::string text = out.Text();
    std::string last = text.substr(text.rfind('\r'));
    EXPECT_EQ(last, "\r\033[KAnalyze project ... [##########----------]  50%");
    p.Close();
    EXPECT_EQ(out.Text().back(), '\n');
}

TEST(ConsoleProgress, LongLabelsAreCutToTheLine)
{
    TCapture out;
    TConsoleProgress p(out.File(), cmTerminal, 40);
    p.Show();
    p.SetCaption("Calculating audio track ...");
    p.SetComment("Writing file\r\nwith a very long name.avi ...");
    p.SetProgress(0.125);
    std::string text = out.Text();
    std::string last = text.substr(text.rfind('\r'));
    EXPECT_EQ(last, "\r\033[KCalculating [##------------------]  12%");
    EXPECT_EQ(last.size() - 4, 39u);   // one column short of the width
}

TEST(ConsoleProgress, AbortByFlagOrInterrupt)
{
    TCapture out;
    TConsoleProgress p(out.File(), cmPlain);
    p.Show();
    EXPECT_FALSE(p.Aborted());
    p.SetAborted(true);
    p.SetAborted(true);   // twice sets it once
    EXPECT_TRUE(p.Aborted());
    p.Show();             // a new display starts without abort
    EXPECT_FALSE(p.Aborted());

    TConsoleProgress::InstallInterruptHandler();
    std::raise(SIGINT);   // as if Ctrl+C was pressed
    EXPECT_TRUE(p.Aborted());
    EXPECT_TRUE(p.Aborted());
    p.SetAborted(false);
    EXPECT_FALSE(p.Aborted());
    std::signal(SIGINT, SIG_DFL);
    p.Close();
}
