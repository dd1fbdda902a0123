// TAppContext: what a front-end's start-up sets up from the settings file, the language
// file and the registry stand-in, the defaults a new project takes, and the teardown.
#include "shell/app_context.h"

#include "media/input/vfapi_host.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tessaly;
using tessaly::test::TTempDir;

namespace {

void WriteText(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(ForceDirectories(ExtractFilePath(path)));
    ASSERT_TRUE(tessaly::test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

// A fresh user: an empty configuration folder, and the program in the build's bin folder
// (the plug-ins and lang/tessaly.lng beside it).
class AppContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *old = std::getenv("XDG_CONFIG_HOME");
        FHadOld = old != nullptr;
        if (old)
            FOld = old;
        setenv("XDG_CONFIG_HOME", Dir.File("config").c_str(), 1);
        SetProgramDirOverride(TESSALY_BIN_DIR);
        Ini = Dir.File("config/tessaly/tessaly.ini");
    }
    void TearDown() override
    {
        SetProgramDirOverride("");
        if (FHadOld)
            setenv("XDG_CONFIG_HOME", FOld.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    TTempDir Dir;
    std::string Ini;
    bool FHadOld = false;
    std::string FOld;
};

} // namespace

TEST_F(AppContextTest, FreshUserGetsTheDefaultsBesideTheProgram)
{
    {
        TAppContext context;
        EXPECT_EQ(context.ProgramDir(), std::string(TESSALY_BIN_DIR) + "/");
        EXPECT_EQ(context.Settings().FileName(), Ini);
        // The language file shipped beside the program; its first language is current.
        EXPECT_EQ(context.LanguageFile(), std::string(TESSALY_BIN_DIR) + "/lang/tessaly.lng");
        EXPECT_EQ(context.Language(), "English");
        EXPECT_EQ(Msg("WrdYes"), "yes");
        // No registry file: framepull and soundpull beside the program.
        EXPECT_EQ(context.PluginNames(), (std::vector<std::string>{"framepull", "soundpull"}));
        EXPECT_EQ(PluginCount(), 2);
        const TProjectDefaults d = context.ProjectDefaults();
        EXPECT_FALSE(d.UseGlobalShift);
        EXPECT_EQ(d.GlobalShift, 0);
        EXPECT_EQ(d.PreviewEnv, "2");
        EXPECT_FALSE(FileExists(Ini)) << "start-up writes nothing";
    }
    // Torn down: no plug-in, no language left behind.
    EXPECT_EQ(PluginCount(), 0);
    EXPECT_FALSE(PluginsLoaded());
    EXPECT_TRUE(Language().Languages().empty());
}

TEST_F(AppContextTest, StoredSettingsChooseLanguageAndNewProjectDefaults)
{
    WriteText(Ini, "[Current]\nLanguage=deutsch\nPreviewEnv=5\n[Options]\nDefGlobShift=-40\nUseDefGlobShift=1\n");
    TAppContext context;
    EXPECT_EQ(context.Language(), "Deutsch");
    EXPECT_TRUE(IsGerman());
    EXPECT_EQ(Msg("meFileFormat"), "Dateiformat wird nicht unterstützt");
    const TProjectDefaults d = context.ProjectDefaults();
    EXPECT_TRUE(d.UseGlobalShift);
    EXPECT_EQ(d.GlobalShift, 40) << "the stored value is the negated preview offset";
    EXPECT_EQ(d.PreviewEnv, "5");

    // A new project of a session starts from them, and a cleared one again.
    TProjectSession session(nullptr, d);
    EXPECT_TRUE(session.Project().Options().UseGlobalShift);
    EXPECT_EQ(session.Project().Options().GlobalShift, 40);
    EXPECT_EQ(session.Project().PreviewOffset(), 40);
    EXPECT_EQ(session.Project().Options().PreviewEnv, "5");
    TProjectOptions o = session.Project().Options();
    o.GlobalShift = 3;
    ASSERT_TRUE(session.Editor().SetOptions(o));
    ASSERT_TRUE(session.NewProject());
    EXPECT_EQ(session.Project().Options().GlobalShift, 40);
}

TEST_F(AppContextTest, LanguageFileSettingAndOneRunOverride)
{
    const std::string other = Dir.File("mine.lng");
    WriteText(other, "[Klingon]\nWrdYes='HIja'\n[Deutsch]\nWrdYes='ja'\n");
    WriteText(Ini, "[Defaults]\nLanguageFile=" + other + "\n[Current]\nLanguage=Klingon\n");
    {
        TAppContext context;
        EXPECT_EQ(context.LanguageFile(), other);
        EXPECT_EQ(context.Language(), "Klingon");
        EXPECT_EQ(Msg("WrdYes"), "HIja");
    }
    {
        TAppStart start;
        start.Language = "DEUTSCH";
        TAppContext context(start);
        EXPECT_TRUE(context.LanguageAccepted());
        EXPECT_EQ(context.Language(), "Deutsch");
        EXPECT_EQ(Msg("WrdYes"), "ja");
    }
    TSettings after(Ini);
    EXPECT_EQ(after.LanguageName(), "Klingon") << "an override is for one run only";
    {
        TAppStart start;
        start.Language = "Vulcan";
        TAppContext context(start);
        EXPECT_FALSE(context.LanguageAccepted());
        EXPECT_EQ(context.Language(), "Klingon");
    }
}

TEST_F(AppContextTest, RegistryFileListsThePlugins)
{
    const std::string registry = Dir.File("config/tessaly/registry.ini");
    WriteText(registry, "[Software\\VFPlugin]\nsound=" + std::string(TESSALY_BIN_DIR) + "/soundpull.vfp\nbroken=" +
                            Dir.File("missing.vfp") + "\n");
    TAppContext context;
    EXPECT_EQ(context.PluginNames(), std::vector<std::string>{"sound"});
}
