// The encoder delay and padding of MP3 files: read from the LAME tag behind an ID3v2 tag,
// refused for anything that is not such a tag, and never read past the bytes given.
#include "plugin_media.h"
#include "plugins/gst/mp3_gapless.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tessaly::gst;
using namespace tessaly::test;

TEST(Mp3Gapless, DelayAndLengthFromTheLameTag)
{
    const std::string mp3 = PluginMedia("stereo.mp3", std::string(kStereoSource) + " -c:a libmp3lame -b:a 192k");
    TMp3Gapless g;
    ASSERT_TRUE(ReadMp3Gapless(mp3, g));
    EXPECT_EQ(g.Skip, 576 + 529) << "LAME's delay plus the decoder's";
    EXPECT_EQ(g.Length, 132300) << "3 s at 44.1 kHz, as encoded";
    EXPECT_EQ(g.DecodedFrames % 1152, 0);

    // Every cut of the head parses or refuses without reading beyond it; a damaged tag name
    // or a file without a Xing/Info frame is refused.
    const std::vector<uint8_t> bytes = ReadFileBytes(mp3);
    ASSERT_GT(bytes.size(), 2000u);
    for (size_t n = 0; n < 1200; ++n) {
        TMp3Gapless cut;
        const bool ok = ParseMp3Gapless(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(n)), cut);
        EXPECT_TRUE(!ok || (cut.Skip == g.Skip && cut.Length == g.Length)) << n;
    }
    // The encoder name that follows the Info frame's header (not the one in the ID3v2 tag).
    std::vector<uint8_t> damaged = bytes;
    const std::string info = "Info";
    auto at = std::search(damaged.begin(), damaged.end(), info.begin(), info.end());
    ASSERT_NE(at, damaged.end());
    const std::string lav = "Lav";
    at = std::search(at, damaged.end(), lav.begin(), lav.end());
    ASSERT_NE(at, damaged.end()) << "ffmpeg names itself in the LAME tag";
    *at = 'X';
    EXPECT_FALSE(ParseMp3Gapless(damaged, g));
    const std::string mp2 = PluginMedia("stereo.mp2", std::string(kStereoSource) + " -c:a mp2");
    EXPECT_FALSE(ReadMp3Gapless(mp2, g)) << "layer II has no such tag";
    EXPECT_FALSE(ParseMp3Gapless(std::vector<uint8_t>{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, g));
}
