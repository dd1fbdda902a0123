// TSettings: defaults, reading rules of the keys, file location and write failures.
#include "shell/settings.h"

#include "platform/file_system.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace tessaly;
using tessaly::test::TTempDir;

namespace {

void WriteText(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(tessaly::test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

std::string ReadText(const std::string &path)
{
    auto bytes = tessaly::test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Sets an environment variable for the life of the object.
struct TEnvScope {
    TEnvScope(const char *name, const std::string &value) : FName(name)
    {
        const char *old = std::getenv(name);
        FHad = old != nullptr;
        if (old)
            FOld = old;
        setenv(name, value.c_str(), 1);
    }
    ~TEnvScope()
    {
        if (FHad)
            setenv(FName, FOld.c_str(), 1);
        else
            unsetenv(FName);
    }
    const char *FName;
    bool FHad;
    std::string FOld;
};

} // namespace

TEST(Settings, MissingFileGivesEveryDefault)
{
    TTempDir dir;
    TEnvScope tmp("TMPDIR", dir.Path());
    TSettings s(dir.File("tessaly.ini"));
    EXPECT_EQ(s.TempDir(), dir.Path() + "/");
    EXPECT_EQ(s.DefGlobShift(), 0);
    EXPECT_EQ(s.PreviewOffset(), 0);
    EXPECT_FALSE(s.UseDefGlobShift());
    EXPECT_FALSE(s.DisableSegments());
    EXPECT_TRUE(s.SegmentSearch());
    EXPECT_FALSE(s.SRWarnOnLoad());
    EXPECT_TRUE(s.SRWarnOnCalc());
    EXPECT_TRUE(s.SRLimitSize());
    EXPECT_EQ(s.SRSizeLimit(), "384");
    EXPECT_EQ(s.PreviewSizeLimit(), 384);
    for (TFolderKey k : {fkAvi, fkWav, fkPrj, fkDbl, fkRef, fkRes})
        EXPECT_EQ(s.Folder(k), "") << TSettings::FolderKeyName(k);
    EXPECT_EQ(s.ResFmt(), rfWav);
    EXPECT_EQ(s.PreviewEnv(), "2");
    EXPECT_TRUE(s.ShowHints());
    EXPECT_TRUE(s.ShowFileman());
    EXPECT_TRUE(s.ShowStatus());
    EXPECT_EQ(s.MarkerDrawSize(), 1);
    EXPECT_EQ(s.LanguageName(), "");
    EXPECT_EQ(s.LanguageFile(), "");
    EXPECT_EQ(s.AutoChaptersInterval(), 2500);
    EXPECT_FALSE(FileExists(dir.File("tessaly.ini")));

    // The first write creates the file.
    s.SetSRWarnOnLoad(true);
    EXPECT_EQ(ReadText(dir.File("tessaly.ini")), "[Options]\nSRWarnOnLoad=1\n");
    EXPECT_TRUE(s.SRWarnOnLoad());
}

TEST(Settings, StoredValuesAndReadingRules)
{
    TTempDir dir;
    ASSERT_TRUE(ForceDirectories(dir.File("videos")));
    WriteText(dir.File("s.ini"),
              "[Options]\nDefGlobShift=-40\nUseDefGlobShift=1\nDisableSegments=0x1\nSRWarnOnCalc=0\n"
              "SRLimitSize=1\nSRSizeLimit=96\n"
              "[Current]\nAviDir=  " + dir.File("videos") + "/  \nWavDir=" + dir.File("gone") + "/\n"
              "ResFmt=2\nPreviewEnv=0.5\nShowHints=0\nShowFileman=no\nMarkerDrawSize=7\nLanguage=Deutsch\n"
              "[Defaults]\nLanguageFile=/opt/x.lng\n"
              "[AutoChapters]\nInterval=50\n");
    TSettings s(dir.File("s.ini"));
    EXPECT_EQ(s.DefGlobShift(), -40);
    EXPECT_EQ(s.PreviewOffset(), 40);              // the window shows the negation
    EXPECT_TRUE(s.UseDefGlobShift());
    EXPECT_TRUE(s.DisableSegments());              // hexadecimal 1
    EXPECT_FALSE(s.SegmentSearch());
    EXPECT_FALSE(s.SRWarnOnCalc());
    EXPECT_EQ(s.PreviewSizeLimit(), 96);
    EXPECT_EQ(s.Folder(fkAvi), dir.File("videos") + "/");   // trimmed, exists
    EXPECT_EQ(s.Folder(fkWav), "");                           // dropped: does not exist
    EXPECT_EQ(s.ResFmt(), rfAvi);
    EXPECT_EQ(s.PreviewEnv(), "0.5");
    EXPECT_FALSE(s.ShowHints());
    EXPECT_TRUE(s.ShowFileman());                  // unreadable: the default
    EXPECT_EQ(s.MarkerDrawSize(), 1);              // 7 reads as 1
    EXPECT_EQ(s.LanguageName(), "Deutsch");
    EXPECT_EQ(s.LanguageFile(), "/opt/x.lng");
    EXPECT_EQ(s.AutoChaptersInterval(), 2500);     // 50 reads as 2500

    s.SetPreviewOffset(25);                        // entering 25 stores -25
    EXPECT_EQ(s.DefGlobShift(), -25);
    s.SetMarkerDrawSize(3);
    EXPECT_EQ(s.MarkerDrawSize(), 3);
    s.SetMarkerDrawSize(0);
    EXPECT_EQ(s.MarkerDrawSize(), 1);
    s.SetAutoChaptersInterval(100);
    EXPECT_EQ(s.AutoChaptersInterval(), 100);
    s.SetAutoChaptersInterval(99);
    EXPECT_EQ(s.AutoChaptersInterval(), 2500);
    s.SetFolder(fkRes, dir.Path() + "/");
    EXPECT_EQ(s.Folder(fkRes), dir.Path() + "/");
    // Keys written later keep the others of the file.
    EXPECT_EQ(s.LanguageFile(), "/opt/x.lng");
}

TEST(Settings, PreviewOffsetOfTheExtremeShiftDoesNotOverflow)
{
    TTempDir dir;
    WriteText(dir.File("s.ini"), "[Options]\nDefGlobShift=-2147483648\n");
    TSettings s(dir.File("s.ini"));
    EXPECT_EQ(s.PreviewOffset(), 2147483647);
    s.SetPreviewOffset(INT32_MIN);
    EXPECT_EQ(s.DefGlobShift(), 2147483647);
}

TEST(Settings, SizeLimitRules)
{
    EXPECT_TRUE(TSettings::SizeLimitTextValid("8"));
    EXPECT_TRUE(TSettings::SizeLimitTextValid("2147483647"));
    EXPECT_FALSE(TSettings::SizeLimitTextValid("7"));
    EXPECT_FALSE(TSettings::SizeLimitTextValid("2147483648"));
    EXPECT_FALSE(TSettings::SizeLimitTextValid("abc"));
    EXPECT_FALSE(TSettings::SizeLimitTextValid(""));
    EXPECT_FALSE(TSettings::SizeLimitTextValid("0x100"));

    TTempDir dir;
    TSettings s(dir.File("s.ini"));
    s.SetSRSizeLimit("abc");
    EXPECT_EQ(s.SRSizeLimit(), "abc");             // stored as typed
    EXPECT_EQ(s.PreviewSizeLimit(), 384);
    s.SetSRSizeLimit("4");
    EXPECT_EQ(s.PreviewSizeLimit(), 384);
    s.SetSRSizeLimit("512");
    EXPECT_EQ(s.PreviewSizeLimit(), 512);
    s.SetSRLimitSize(false);
    EXPECT_EQ(s.PreviewSizeLimit(), 0);
}

TEST(Settings, TempDirAndTempFile)
{
    TTempDir dir;
    TEnvScope tmp("TMPDIR", dir.Path());
    ASSERT_TRUE(ForceDirectories(dir.File("old")));
    ASSERT_TRUE(ForceDirectories(dir.File("new")));
    TSettings s(dir.File("s.ini"));

    // A stored folder without a trailing "/" gets one.
    s.WriteString("Options", "TempDir", dir.File("old"));
    EXPECT_EQ(s.TempDir(), dir.File("old") + "/");
    std::string file;
    ASSERT_TRUE(s.GetTempFile(false, file));
    EXPECT_EQ(file, dir.File("old") + "/~tsytmp~.avi");

    // Choosing a new folder stores it at once; a file at the old fixed name is not the
    // preview's (that lives in a private folder) and is left alone.
    WriteText(file, "preview");
    s.SetTempDir(dir.File("new"));
    EXPECT_TRUE(FileExists(file));
    EXPECT_EQ(s.ReadString("Options", "TempDir", ""), dir.File("new") + "/");

    // A stored folder that vanished falls back to the system temporary folder.
    s.WriteString("Options", "TempDir", dir.File("vanished") + "/");
    EXPECT_EQ(s.TempDir(), dir.Path() + "/");
}

TEST(Settings, GetTempFileFallsBackWithoutAsking)
{
    // The fallback folder exists, so the folder selection is not needed.
    TTempDir dir;
    TEnvScope tmp("TMPDIR", dir.Path());
    TSettings s(dir.File("s.ini"));
    s.WriteString("Options", "TempDir", dir.File("vanished"));
    int calls = 0;
    std::string file;
    ASSERT_TRUE(s.GetTempFile(true, file, [&](std::string &) { ++calls; return false; }));
    EXPECT_EQ(file, dir.Path() + "/~tsytmp~.avi");
    EXPECT_EQ(calls, 0);
}

TEST(Settings, FileLocation)
{
    TTempDir prog, cfg;
    TEnvScope xdg("XDG_CONFIG_HOME", cfg.Path());
    SetProgramDirOverride(prog.Path());
    EXPECT_EQ(TSettings::DefaultFileName(), cfg.Path() + "/tessaly/tessaly.ini");
    {
        // The configuration folder is created by the first write.
        TSettings s;
        s.SetShowStatus(false);
        EXPECT_EQ(ReadText(cfg.Path() + "/tessaly/tessaly.ini"), "[Current]\nShowStatus=0\n");
    }
    WriteText(prog.File("tessaly.ini"), "[Current]\nShowStatus=1\n");
    EXPECT_EQ(TSettings::DefaultFileName(), prog.Path() + "/tessaly.ini");   // portable use
    EXPECT_TRUE(TSettings().ShowStatus());
    SetProgramDirOverride("");
}

TEST(Settings, RefusedWriteRaisesAnErrorNamingTheFile)
{
    TTempDir dir;
    ASSERT_TRUE(ForceDirectories(dir.File("settings.ini")));   // a folder in the file's place
    TSettings s(dir.File("settings.ini"));
    try {
        s.SetShowHints(false);
        FAIL() << "no error raised";
    } catch (const ESettingsWriteError &e) {
        EXPECT_EQ(e.FileName(), dir.File("settings.ini"));
        EXPECT_NE(std::string(e.what()).find(dir.File("settings.ini")), std::string::npos);
    }
    EXPECT_TRUE(s.ShowHints());
}
