// The reader plug-ins are built beside the program, where the registry stand-in's defaults
// find them on a machine without a registry file.
#include "media/input/vfapi_host.h"
#include "platform/registry.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::test;

TEST(PluginInstall, DefaultRegistryEntriesLoadBothPlugins)
{
    TTempDir dir;
    const std::vector<std::string> lines = ReadPluginRegistry(dir.File("no-registry.ini"));
    ASSERT_EQ(lines.size(), 2u);
    UnloadPlugins();
    LoadPluginsFrom(lines);
    ASSERT_EQ(PluginCount(), 2);
    EXPECT_EQ(PluginName(0), "framepull");
    EXPECT_EQ(PluginInfoText(0), "Tessaly DirectShow RIFF Reader 1.01");
    EXPECT_TRUE(PluginHasVideo(0));
    EXPECT_TRUE(PluginHasAudio(0));
    EXPECT_TRUE(PluginHasRiff(0));
    EXPECT_EQ(PluginName(1), "soundpull");
    EXPECT_EQ(PluginInfoText(1), "Tessaly DirectShow Audio Reader 1.0");
    EXPECT_FALSE(PluginHasVideo(1));
    EXPECT_TRUE(PluginHasAudio(1));
    EXPECT_FALSE(PluginHasRiff(1));
    // Which plug-in claims which file: video of .avids goes to framepull, .mp3 audio to soundpull.
    EXPECT_EQ(FindPlugin("clip.avids", 1, 2), 0);
    EXPECT_EQ(FindPlugin("song.mp3", 2, 0), 1);
    EXPECT_EQ(FindPlugin("song.mp3", 1, 0), -1);
    UnloadPlugins();
}
