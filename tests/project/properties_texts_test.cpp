// Tests of the Properties window's texts: the duration forms and the empty labels.
#include <gtest/gtest.h>

#include "shell/messages.h"

#include "media/input/io_movie_reader.h"
#include "media/input/wave_reader.h"
#include "media/input/source_kind.h"
#include "project/properties_texts.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(DurationText, SecondsMinutesAndHours)
{
    EXPECT_EQ(DurationText(0), "0.00 s");
    EXPECT_EQ(DurationText(59.994L), "59.99 s");
    EXPECT_EQ(DurationText(60), "60.00 s  =  1:00.00 m");
    EXPECT_EQ(DurationText(83.5L), "83.50 s  =  1:23.50 m");
    // Exactly an hour has no hour form yet; 61 minutes have.
    EXPECT_EQ(DurationText(3600), "3600.00 s  =  60:00.00 m");
    EXPECT_EQ(DurationText(3660), "3660.00 s  =  61:00.00 m  =  1:01:00.00 h");
    EXPECT_EQ(DurationText(5025), "5025.00 s  =  83:45.00 m  =  1:23:45.00 h");
}

TEST(PropertiesTexts, NothingOpenShowsDashes)
{
    TPropertiesTexts t = PropertiesTexts(nullptr, nullptr, -1, nullptr, false);
    for (const std::string *label : {&t.VidType, &t.VidCodec, &t.VidSize, &t.VidCD, &t.VidFrm, &t.VidQuality,
                                     &t.VidFPS, &t.VidLen, &t.AudType, &t.AudFmt, &t.AudLen, &t.DblType, &t.DblFmt,
                                     &t.DblLen, &t.SRPreview, &t.SRResult})
        EXPECT_EQ(*label, "-");
    // Closed sources name themselves, every value stays "-"; the reference rate is added
    // to the double track's type.
    TIOMovieReader video;
    TWaveReader dbl;
    t = PropertiesTexts(&video, nullptr, 25, &dbl, false);
    EXPECT_NE(t.VidType, "-");
    EXPECT_EQ(t.VidCodec, "-");
    EXPECT_EQ(t.SRResult, "-");
    EXPECT_EQ(t.DblType, SourceDescriptionText(dbl.Description()) + " @ 25.00 fps");
    EXPECT_EQ(t.DblFmt, "-");
}

TEST(PropertiesTexts, SourcesAreNamedAfterTheLinuxLibraries)
{
    test::TTempDir dir;
    const std::string wav = dir.File("a.wav");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=8000 -t 0.5 -c:a pcm_s16le " +
                             test::ShellQuote(wav)));
    TWaveReader audio;
    ASSERT_TRUE(audio.Open(wav, MakeKindString(ksMsvw, 0), false, 0));
    ASSERT_NE(SourceDescriptionText(audio.Description()).find("VfW"), std::string::npos);   // the reader's own name
    const TPropertiesTexts t = PropertiesTexts(nullptr, &audio, -1, nullptr, false);
    EXPECT_EQ(t.AudType.find("VfW"), std::string::npos) << t.AudType;
    EXPECT_NE(t.AudType.find("libavformat"), std::string::npos) << t.AudType;
}

// A container video names its codec as ffprobe does (codec, profile, pixel format), not by
// AVI handler and compression codes it does not have.
TEST(PropertiesTexts, ContainerVideoCodecIsNamedAsFfmpegNamesIt)
{
    test::TTempDir dir;
    const std::string mkv = dir.File("v.mkv"), webm = dir.File("v.webm");
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=0.4 -c:v libx264 -profile:v high "
                             "-pix_fmt yuv420p " + test::ShellQuote(mkv)));
    ASSERT_TRUE(test::Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=0.4 -c:v libvpx-vp9 -pix_fmt yuv444p " +
                             test::ShellQuote(webm)));
    TIOMovieReader video;
    ASSERT_TRUE(video.Open(mkv, "AUTO|-1"));
    EXPECT_EQ(PropertiesTexts(&video, nullptr, -1, nullptr, false).VidCodec, "h264 (High) / yuv420p");
    ASSERT_TRUE(video.Open(webm, "AUTO|-1"));
    EXPECT_EQ(PropertiesTexts(&video, nullptr, -1, nullptr, false).VidCodec, "vp9 (Profile 1) / yuv444p");
}

TEST(WaveFormatName, KnownTagsAndOthers)
{
    EXPECT_EQ(WaveFormatName(1), "PCM");
    EXPECT_EQ(WaveFormatName(3), "IEEE float");
    EXPECT_EQ(WaveFormatName(0x55), "MPEG Layer 3");
    EXPECT_EQ(WaveFormatName(0x2000), "AC-3");
    EXPECT_EQ(WaveFormatName(0x1234), "0x1234");
}

} // namespace
} // namespace tessaly
