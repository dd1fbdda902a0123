// File-system helpers: path pieces, existence, program folder, volume kind, atomic writes.
#include "platform/file_system.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using tessaly::test::TTempDir;

TEST(FileSystem, PathPieces)
{
    EXPECT_EQ(ExtractFilePath("/a/b/c.avi"), "/a/b/");
    EXPECT_EQ(ExtractFilePath("c.avi"), "");
    EXPECT_EQ(ExtractFileName("/a/b/c.avi"), "c.avi");
    EXPECT_EQ(ExtractFileName("/a/b/"), "");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c.TSP"), ".TSP");
    EXPECT_EQ(ExtractFileExt("/a/b.d/c"), "");
    EXPECT_EQ(ChangeFileExt("/opt/tessaly/tessaly", ".ini"), "/opt/tessaly/tessaly.ini");
    EXPECT_EQ(ChangeFileExt("/x/movie.part.avi", ".wav"), "/x/movie.part.wav");
    EXPECT_EQ(IncludeTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(IncludeTrailingSlash("/tmp/"), "/tmp/");
    EXPECT_EQ(IncludeTrailingSlash(""), "");
}

TEST(FileSystem, ExpandFileNameResolvesAgainstTheCurrentFolder)
{
    TTempDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    std::string cwd = ExpandFileName(".");
    EXPECT_EQ(ExpandFileName("sub/../x.avi"), IncludeTrailingSlash(dir.Path()) + "x.avi");
    EXPECT_EQ(ExpandFileName("/a/./b//c/../d.wav"), "/a/b/d.wav");
    EXPECT_EQ(ExpandFileName(""), "");
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(cwd.rfind(dir.Path(), 0), 0u);
}

TEST(FileSystem, ExistenceTellsFilesFromFolders)
{
    TTempDir dir;
    ASSERT_TRUE(tessaly::test::WriteFileBytes(dir.File("f"), {1}));
    EXPECT_TRUE(FileExists(dir.File("f")));
    EXPECT_FALSE(DirectoryExists(dir.File("f")));
    EXPECT_TRUE(DirectoryExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.Path()));
    EXPECT_FALSE(FileExists(dir.File("none")));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(ForceDirectories(dir.File("a/b/c")));
    EXPECT_TRUE(DirectoryExists(dir.File("a/b/c")));
}

TEST(FileSystem, ProgramDirAndItsOverride)
{
    std::string real = ProgramDir();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real.back(), '/');
    EXPECT_TRUE(FileExists(real + "test_platform"));   // this very test program
    SetProgramDirOverride("/opt/elsewhere");
    EXPECT_EQ(ProgramDir(), "/opt/elsewhere/");
    SetProgramDirOverride("");
    EXPECT_EQ(ProgramDir(), real);
}

TEST(FileSystem, TempAndConfigFolders)
{
    TTempDir dir;
    std::string oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", dir.Path().c_str(), 1);
    EXPECT_EQ(SystemTempDir(), dir.Path() + "/");
    setenv("TMPDIR", dir.File("gone").c_str(), 1);
    EXPECT_EQ(SystemTempDir(), "/tmp/");
    if (oldTmp.empty())
        unsetenv("TMPDIR");
    else
        setenv("TMPDIR", oldTmp.c_str(), 1);

    std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "/cfg/x", 1);
    EXPECT_EQ(UserConfigDir(), "/cfg/x/");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(UserConfigDir(), "/home/someone/.config/");
    if (oldXdg.empty())
        unsetenv("XDG_CONFIG_HOME");
    else
        setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
    setenv("HOME", oldHome.c_str(), 1);
}

TEST(FileSystem, VolumeKindOfOrdinaryFoldersIsNotFat)
{
    TTempDir dir;
    EXPECT_EQ(VolumeKind(dir.Path()), vkOther);
    EXPECT_FALSE(IsFatVolume(dir.File("not-yet-created.avi")));   // asks the folder
    EXPECT_FALSE(FileSystemName(dir.Path()).empty());
    EXPECT_EQ(VolumeKind("/no/such/folder/x.avi"), vkUnknown);
    EXPECT_EQ(FileSystemName("/no/such/folder/x.avi"), "");
}

TEST(FileSystem, WriteFileAtomicReplacesWholeFiles)
{
    TTempDir dir;
    const std::string path = dir.File("a.txt");
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(path, "first", &error)) << error;
    ASSERT_TRUE(WriteFileAtomic(path, "second, longer", &error)) << error;
    std::string text;
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text, "second, longer");
    ASSERT_TRUE(WriteFileAtomic(path, "", &error));
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(text, "");

    EXPECT_FALSE(WriteFileAtomic(dir.Path(), "x", &error));
    EXPECT_NE(error.find(dir.Path()), std::string::npos);
    int err = 0;
    EXPECT_FALSE(ReadWholeFile(dir.File("none"), text, &err));
    EXPECT_EQ(err, ENOENT);
    EXPECT_FALSE(ReadWholeFile(dir.Path(), text, &err));
    EXPECT_EQ(err, EISDIR);
}
