// Tests of the numbered-segment probing and the phantom clip dialog values.
#include <gtest/gtest.h>

#include <set>

#include "project/media_open.h"
#include "project/project_session.h"
#include "project/segment_probe.h"

namespace tessaly {
namespace {

TSegmentProbe Probe(const std::string &name, const std::set<std::string> &files)
{
    return ProbeSegments(name, [&files](const std::string &f) { return files.count(f) > 0; });
}

TEST(SegmentProbe, FollowsTheNumbersWithAnyLeadingZeros)
{
    TSegmentProbe p = Probe("/v/cap007.avi", {"/v/cap007.avi", "/v/cap8.avi", "/v/cap009.avi", "/v/cap00000010.avi",
                                              "/v/cap012.avi"});
    EXPECT_EQ(p.Template, "/v/cap*.avi");
    EXPECT_EQ(p.Parts, (std::vector<std::string>{"007", "8", "009", "00000010"}));
    EXPECT_EQ(p.FileList(), "/v/cap*.avi|007|8|009|00000010");   // 11 is missing: 12 is not reached
    EXPECT_EQ(p.FileList({true, false, true, true}), "/v/cap*.avi|007|009|00000010");
    EXPECT_EQ(p.FileList({false, false, true, false}), "/v/cap009.avi");
    EXPECT_EQ(p.Files.back(), "/v/cap00000010.avi");
}

TEST(SegmentProbe, SingleFilesStaySingle)
{
    // No trailing digits, no follower, a missing chosen file, digits only in the folder.
    for (const char *name : {"/v/film.avi", "/v/take1.avi", "/v/gone5.avi", "/v2/x.avi"}) {
        TSegmentProbe p = Probe(name, {"/v/film.avi", "/v/take1.avi", "/v/take3.avi", "/v/gone6.avi", "/v2/x.avi"});
        EXPECT_EQ(p.FileList(), name);
        EXPECT_TRUE(p.Template.empty()) << name;
    }
    // More than 8 digits are never probed.
    EXPECT_EQ(Probe("/v/a99999999.avi", {"/v/a99999999.avi", "/v/a100000000.avi"}).FileList(), "/v/a99999999.avi");
    // The extension is split off at the last dot of the name only.
    EXPECT_EQ(Probe("/v.d/p1", {"/v.d/p1", "/v.d/p2"}).FileList(), "/v.d/p*|1|2");
}

TEST(PhantomDialog, PresetsSetRateAndScale)
{
    ASSERT_EQ(PhantomPresets().size(), 11u);
    TPhantomValues v = ApplyPhantomPreset(TPhantomValues{}, 6);   // 23.976
    EXPECT_EQ(v.Rate, 23976);
    EXPECT_EQ(v.Scale, 1000);
    EXPECT_EQ(ApplyPhantomPreset(v, 9).Rate, 29970);
    EXPECT_EQ(ApplyPhantomPreset(v, 0).Rate, 23976);   // Rate / Scale keeps the fields
    TProjectSession session;
    TPhantomValues start = PhantomDialogValues(session);
    EXPECT_EQ(PhantomPresets()[size_t(start.Preset)], "25");
    EXPECT_EQ(start.Rate, 25000);
    EXPECT_FALSE(PhantomValuesValid(TPhantomValues{0, 25, 1, 0}));
    EXPECT_FALSE(PhantomValuesValid(TPhantomValues{5, 25, 0, 0}));

    TPhantomValues made{300, 12500, 1000, 2};
    ASSERT_EQ(CreatePhantom(session, made), ooOpened);
    EXPECT_EQ(session.Project().FrameCount(), 300);
    EXPECT_EQ(session.Project().Options().Zoom, "200");
    TPhantomValues again = PhantomDialogValues(session);
    EXPECT_EQ(again.Frames, 300);
    EXPECT_EQ(PhantomPresets()[size_t(again.Preset)], "12.5");
}

} // namespace
} // namespace tessaly
