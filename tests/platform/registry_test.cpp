// The plug-in registry stand-in: listed lines, defaults beside the program.
#include "platform/registry.h"

#include "platform/file_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

using namespace tessaly;
using tessaly::test::TTempDir;

namespace {

// Points the program folder at `dir` for the life of the object.
struct TProgramDirScope {
    explicit TProgramDirScope(const std::string &dir) { SetProgramDirOverride(dir); }
    ~TProgramDirScope() { SetProgramDirOverride(""); }
};

void Touch(const std::string &path)
{
    ASSERT_TRUE(tessaly::test::WriteFileBytes(path, {0}));
}

} // namespace

TEST(Registry, ListsTheSectionLinesInOrder)
{
    TTempDir dir;
    const std::string reg = dir.File("registry.ini");
    ASSERT_TRUE(tessaly::test::WriteFileBytes(reg, {}));
    std::string text = "[Other]\nx=y\n[software\\vfplugin]\n  zeta = /p/z.vfp \nalpha=/p/a.vfp\n"
                       "; comment\nnovalue\n=/p/nameless.vfp\n";
    ASSERT_TRUE(tessaly::test::WriteFileBytes(reg, std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_EQ(ReadPluginRegistry(reg),
              (std::vector<std::string>{"zeta=/p/z.vfp", "alpha=/p/a.vfp"}));
}

TEST(Registry, DefaultsAreThePlugInsBesideTheProgram)
{
    TTempDir prog;
    TProgramDirScope scope(prog.Path());
    TTempDir cfg;
    // No registry file: only the default plug-ins that exist are listed.
    EXPECT_TRUE(ReadPluginRegistry(cfg.File("registry.ini")).empty());
    Touch(prog.File("soundpull.vfp"));
    EXPECT_EQ(ReadPluginRegistry(cfg.File("registry.ini")),
              (std::vector<std::string>{"soundpull=" + prog.Path() + "/soundpull.vfp"}));
    Touch(prog.File("framepull.vfp"));
    EXPECT_EQ(ReadPluginRegistry(cfg.File("registry.ini")),
              (std::vector<std::string>{"framepull=" + prog.Path() + "/framepull.vfp",
                                        "soundpull=" + prog.Path() + "/soundpull.vfp"}));

    // A file without the section: still the defaults.
    std::string text = "[Unrelated]\na=b\n";
    ASSERT_TRUE(tessaly::test::WriteFileBytes(cfg.File("registry.ini"),
                                              std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_EQ(ReadPluginRegistry(cfg.File("registry.ini")).size(), 2u);

    // An empty section lists nothing: the user switched the plug-ins off.
    text = "[Software\\VFPlugin]\n";
    ASSERT_TRUE(tessaly::test::WriteFileBytes(cfg.File("registry.ini"),
                                              std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_TRUE(ReadPluginRegistry(cfg.File("registry.ini")).empty());
}

TEST(Registry, DefaultFileLivesInTheConfigFolder)
{
    TTempDir cfg;
    std::string old = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", cfg.Path().c_str(), 1);
    EXPECT_EQ(RegistryFileName(), cfg.Path() + "/tessaly/registry.ini");
    std::string error;
    ASSERT_TRUE(WritePluginRegistryEntry("mine", "/opt/mine.vfp", "", &error)) << error;
    EXPECT_EQ(ReadPluginRegistry(), (std::vector<std::string>{"mine=/opt/mine.vfp"}));
    if (old.empty())
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", old.c_str(), 1);
}
