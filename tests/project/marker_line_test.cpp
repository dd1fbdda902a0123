// Tests of the marker and chapter text lines and the option word.
#include <random>

#include <gtest/gtest.h>

#include "platform/text_util.h"
#include "project/marker.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::Make;

std::string Format(const TMarker &m)
{
    std::string line = "junk";
    EXPECT_TRUE(FormatMarker(m, line));
    return line;
}

// The project holds each marker as its line reads back; CanonicalMarker must give
// exactly that without the text, for every kind, flag, fraction and refusal.
TEST(MarkerLineTest, CanonicalMarkerIsTheLineReadBack)
{
    std::mt19937 rng(7);
    auto pick = [&rng](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
    int refused = 0;
    for (int i = 0; i < 200000; ++i) {
        TMarker m;
        m.Frame = static_cast<int32_t>(pick(-2, 10000001));
        m.Kind = static_cast<uint8_t>(pick(0, 5));
        const int64_t scale = int64_t{1} << pick(0, 34);
        m.Value = static_cast<int32_t>(pick(-std::min<int64_t>(scale, 2147483647), std::min<int64_t>(scale, 2147483647)));
        if (m.Kind == mkOption && pick(0, 1))
            m.Value = PackOption(static_cast<int32_t>(pick(-1, 1100)), pick(0, 1), pick(0, 1)) | static_cast<int32_t>(pick(0, 3) << 18);
        m.Milli = static_cast<int16_t>(pick(-999, 999));
        m.Affect = pick(0, 1);
        m.Deactivated = pick(0, 1);
        std::string line;
        TMarker read;
        const bool viaText = FormatMarker(m, line) && ParseMarker(line, read);
        TMarker canonical;
        ASSERT_EQ(CanonicalMarker(m, canonical), viaText) << line;
        if (viaText)
            ASSERT_EQ(canonical, read) << line;
        else
            ++refused;
    }
    EXPECT_GT(refused, 1000);
    EXPECT_LT(refused, 150000);
}

TEST(MarkerLineTest, FormatsEveryKindInTwentyTwoCharacters)
{
    EXPECT_EQ(Format(Make(100, 5, mkSpline, true)), "Spl >     100       +5");
    EXPECT_EQ(Format(Make(0, 0, mkSpline)), "Spl         0        0");
    EXPECT_EQ(Format(Make(2500, -25, mkRelCut, true, true)), "Cut%>    2500      -25");
    EXPECT_EQ(Format(Make(9999999, -9999999, mkDShift)), "Dbl   9999999 -9999999");
    EXPECT_EQ(Format(Make(42, 9999999, mkSpline)), "Spl        42 +9999999");
    // Affect and deactivation are written only where they mean something.
    EXPECT_EQ(Format(Make(7, 3, mkDShift, true, true)), "Dbl%        7       +3");
    EXPECT_EQ(Format(Make(7, PackOption(-1, false, false), mkOption, true, true)), "Opt         7      A D");
    // Volume 80 with the double track off; no change with both off; volume 0 and 999.
    EXPECT_EQ(Format(Make(12, PackOption(80, false, true), mkOption)), "Opt        12   80 A -");
    EXPECT_EQ(Format(Make(12, PackOption(-1, true, true), mkOption)), "Opt        12      - -");
    EXPECT_EQ(Format(Make(12, PackOption(0, true, false), mkOption)), "Opt        12    0 - D");
    EXPECT_EQ(Format(Make(12, PackOption(999, false, false), mkOption)), "Opt        12  999 A D");
}

TEST(MarkerLineTest, RefusesWhatDoesNotFitTheLine)
{
    std::string line = "old";
    EXPECT_FALSE(FormatMarker(Make(1, 10000000, mkSpline), line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(FormatMarker(Make(1, -10000000, mkRelCut), line));
    EXPECT_FALSE(FormatMarker(Make(1, 2147483647, mkDShift), line));
    // A frame above 9999999 would give a 23-character line no reader accepts.
    EXPECT_FALSE(FormatMarker(Make(10000000, 0, mkSpline), line));
    EXPECT_FALSE(FormatMarker(Make(2147483647, 0, mkOption), line));
    EXPECT_FALSE(FormatMarker(Make(-1, 0, mkSpline), line));
    EXPECT_FALSE(FormatMarker(Make(1, 0, mkNone), line));
    EXPECT_FALSE(FormatMarker(Make(1, 0, 5), line));
}

TEST(MarkerLineTest, ParsesTheLinesItWrites)
{
    const TMarker cases[] = {
        Make(100, 5, mkSpline, true), Make(0, -9999999, mkSpline, false, true),
        Make(2500, -25, mkRelCut, true, true), Make(9999999, 0, mkRelCut),
        Make(3, 17, mkDShift), Make(12, PackOption(80, false, true), mkOption),
        Make(12, PackOption(-1, true, false), mkOption), Make(5, PackOption(0, false, false), mkOption),
    };
    for (const TMarker &m : cases) {
        std::string line = Format(m);
        TMarker back;
        ASSERT_TRUE(ParseMarker(line, back)) << line;
        EXPECT_EQ(back, m) << line;
    }
}

TEST(MarkerLineTest, ReadsTheOlderTwentyCharacterForm)
{
    TMarker m;
    ASSERT_TRUE(ParseMarker("Spl >     100    +50", m));
    EXPECT_EQ(m, Make(100, 50, mkSpline, true));
    EXPECT_EQ(Format(m), "Spl >     100      +50");
    ASSERT_TRUE(ParseMarker("Cut%      900  -1234", m));
    EXPECT_EQ(m, Make(900, -1234, mkRelCut, false, true));
    ASSERT_TRUE(ParseMarker("Opt       300 80 A -", m));
    EXPECT_EQ(m.Kind, mkOption);
    EXPECT_EQ(OptionVolume(m.Value), 80);
    EXPECT_EQ(OptionFlags(m.Value), 2);
    ASSERT_TRUE(ParseMarker("Opt       300    - D", m));
    EXPECT_EQ(m.Value, PackOption(-1, true, false));
    EXPECT_EQ(Format(m), "Opt       300      - D");
}

TEST(MarkerLineTest, OptionFieldWithFourBlanksMeansNoChange)
{
    TMarker m;
    ASSERT_TRUE(ParseMarker("Opt        40      A D", m));
    EXPECT_EQ(OptionVolume(m.Value), -1);
    EXPECT_EQ(m.Value & kOptionVolumeMask, 0xFFFF);
    EXPECT_EQ(Format(m), "Opt        40      A D");
    // An explicit -1 is no change too.
    ASSERT_TRUE(ParseMarker("Opt        40   -1 A D", m));
    EXPECT_EQ(OptionVolume(m.Value), -1);
}

TEST(MarkerLineTest, ReadsOnlyTheFirstLetterAndTheFlagPositions)
{
    TMarker m;
    ASSERT_TRUE(ParseMarker("Sxx       100       +5", m));
    EXPECT_EQ(m.Kind, mkSpline);
    ASSERT_TRUE(ParseMarker("Dzz%>     100       +5", m));   // Affect ignored for Dbl
    EXPECT_EQ(m, Make(100, 5, mkDShift, false, true));
    ASSERT_TRUE(ParseMarker("Opt%>     100    7 A D", m));  // neither flag for Opt
    EXPECT_EQ(m, Make(100, PackOption(7, false, false), mkOption));
    ASSERT_TRUE(ParseMarker("Cut       100 -2147483647", m) == false);   // 25 characters
    ASSERT_TRUE(ParseMarker("Cut   2147483 -2147483", m));
    EXPECT_EQ(m.Frame, 2147483);
}

TEST(MarkerLineTest, RefusesMalformedLines)
{
    TMarker m = Make(1, 2, mkSpline);
    const char *bad[] = {
        "",
        "Spl >     100       +",     // 21 characters
        "Spl >     100       +5 ",   // 23 characters
        "Xyz       100       +5",    // unknown kind
        "spl       100       +5",    // lower case
        "Spl       1x0       +5",    // frame not a number
        "Spl                 +5",     // 21
        "Spl                 +5",    // empty frame
        "Spl       -10       +5",    // negative frame
        "Spl       100   5.5555",    // more than three decimals
        "Spl       100         ",    // empty value
        "Opt       100   80 X D",    // bad audio letter
        "Opt       100   80 A d",    // bad double letter
        "Opt       100 1000 A D",    // volume too large
        "Opt       100   -2 A D",    // volume too small
        "Opt       100   ab A D",    // volume not a number
    };
    for (const char *line : bad)
        EXPECT_FALSE(ParseMarker(line, m)) << '"' << line << '"';
    EXPECT_EQ(m, Make(1, 2, mkSpline));   // untouched on failure
}

TEST(MarkerLineTest, OptionWordPacking)
{
    EXPECT_EQ(PackOption(80, false, false), 80);
    EXPECT_EQ(PackOption(80, true, false), 0x10050);
    EXPECT_EQ(PackOption(80, false, true), 0x20050);
    EXPECT_EQ(PackOption(-1, true, true), 0x3FFFF);
    EXPECT_EQ(PackOption(1000, false, false), 0xFFFF);
    EXPECT_EQ(PackOption(-5, false, false), 0xFFFF);
    EXPECT_EQ(OptionVolume(0x3FFFF), -1);
    EXPECT_EQ(OptionVolume(0x20050), 80);
    EXPECT_EQ(OptionFlags(0x3FFFF), 3);
    EXPECT_EQ(OptionFlags(0x10000), 1);
    EXPECT_EQ(OptionFlags(50), 0);
}

TEST(ChapterLineTest, FormatsAndParses)
{
    EXPECT_EQ(FormatChapter(0), "Start          0");
    EXPECT_EQ(FormatChapter(500), "Chapter      500");
    EXPECT_EQ(FormatChapter(123456789), "Chapter123456789");
    EXPECT_EQ(ParseChapterFrame("Start          0"), 0);
    EXPECT_EQ(ParseChapterFrame("Chapter      500"), 500);
    EXPECT_EQ(ParseChapterFrame("Kapitel      500"), 500);   // the word is not read
    EXPECT_EQ(ParseChapterFrame("Chapter      -5"), -1);
    EXPECT_EQ(ParseChapterFrame("Chapter     5x0"), -1);
    EXPECT_EQ(ParseChapterFrame("Chapter"), -1);
    EXPECT_EQ(ParseChapterFrame(""), -1);
    // A ten-digit frame makes the line one longer; it still reads back whole.
    EXPECT_EQ(FormatChapter(2147483647), "Chapter2147483647");
    EXPECT_EQ(ParseChapterFrame(FormatChapter(2147483647)), 2147483647);
    EXPECT_EQ(ParseChapterFrame(FormatChapter(1000000000)), 1000000000);
}

TEST(ParseIntegerTest, StrictDecimal)
{
    int64_t v = 99;
    EXPECT_TRUE(ParseInt(" +12 ", -100, 100, v, kFieldInt));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ParseInt("-100", -100, 100, v, kFieldInt));
    EXPECT_EQ(v, -100);
    EXPECT_FALSE(ParseInt("101", -100, 100, v, kFieldInt));
    EXPECT_FALSE(ParseInt("1 2", -100, 100, v, kFieldInt));
    EXPECT_FALSE(ParseInt("+", -100, 100, v, kFieldInt));
    EXPECT_FALSE(ParseInt("0x10", -100, 100, v, kFieldInt));
    EXPECT_FALSE(ParseInt("99999999999999999999", 0, 2147483647, v, kFieldInt));
    EXPECT_EQ(v, -100);
}

} // namespace
} // namespace tessaly
