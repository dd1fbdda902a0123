// Tests of kind strings and file lists shared by the source front-ends.
#include "media/input/source_kind.h"

#include <gtest/gtest.h>

#include "media/input/vfapi_host.h"

using namespace tessaly;

namespace {

TEST(SourceKindTest, FileListsExpandTheTemplate)
{
    EXPECT_EQ(SplitFileList("  /v/a.wav "), std::vector<std::string>{"/v/a.wav"});
    EXPECT_EQ(SplitFileList("/v/clip.*.wav| 00 |01"),
              (std::vector<std::string>{"/v/clip.00.wav", "/v/clip.01.wav"}));
    EXPECT_TRUE(SplitFileList("").empty());
    EXPECT_TRUE(SplitFileList("   ").empty());
    EXPECT_TRUE(SplitFileList("/v/clip.wav|00").empty());   // no "*" to replace
    EXPECT_TRUE(SplitFileList("/v/*.*.wav|00").empty());    // two of them
    EXPECT_TRUE(SplitFileList("/v/clip.*.wav|00||01").empty());
    EXPECT_EQ(UpperExtension("/a.b/clip.wav"), ".WAV");
    EXPECT_EQ(UpperExtension("/a.b/clip"), "");
}

TEST(SourceKindTest, KindStringsRoundTrip)
{
    UnloadPlugins();
    LoadPluginsFrom({" Test AV =" + std::string(TESSALY_BIN_DIR) + "/testplug_av.vfp"});
    ASSERT_EQ(PluginCount(), 1);
    EXPECT_EQ(MakeKindString(ksOdml, -1), "ODML|-1");
    EXPECT_EQ(MakeKindString(ksMsvw, 3), "MSVW|3");
    EXPECT_EQ(MakeKindString(ksVfap, 0), "VFAP|TEST AV");
    EXPECT_EQ(MakeKindString(ksVfap, 5), "VFAP|");

    TSourceKind kind;
    int param;
    ParseKindString(" vfap | test av ", kind, param);
    EXPECT_EQ(kind, ksVfap);
    EXPECT_EQ(param, 0);
    ParseKindString("VFAP|other", kind, param);
    EXPECT_EQ(kind, ksVfap);
    EXPECT_EQ(param, -1);
    ParseKindString("odml|-1", kind, param);
    EXPECT_EQ(kind, ksOdml);
    EXPECT_EQ(param, -1);
    ParseKindString("MSVW|12", kind, param);
    EXPECT_EQ(param, 12);
    ParseKindString("MSVW|12x", kind, param);
    EXPECT_EQ(param, -1);
    ParseKindString("XYZW|4", kind, param);
    EXPECT_EQ(kind, ksAuto);
    EXPECT_EQ(param, 4);
    ParseKindString("none", kind, param);
    EXPECT_EQ(kind, ksNone);
    UnloadPlugins();
}

} // namespace
