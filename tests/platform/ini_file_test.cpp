// TIniFile: private-profile reading and writing rules, and atomic replacement.
#include "platform/ini_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using tessaly::test::TTempDir;

namespace {

std::string ReadText(const std::string &path)
{
    auto bytes = tessaly::test::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(tessaly::test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

} // namespace

TEST(IniFile, MissingFileGivesDefaultsAndFirstWriteCreatesIt)
{
    TTempDir dir;
    TIniFile ini(dir.File("new.ini"));
    EXPECT_EQ(ini.ReadString("Files", "Video", "*"), "*");
    EXPECT_EQ(ini.ReadInteger("Config", "Zoom", 100), 100);
    EXPECT_TRUE(ini.ReadBool("Config", "X", true));
    EXPECT_FALSE(ini.SectionExists("Files"));
    EXPECT_TRUE(ini.ReadSections().empty());

    ASSERT_TRUE(ini.WriteString("Files", "Video", "/media/a.avi"));
    ASSERT_TRUE(ini.WriteInteger("Config", "Position", 42));
    ASSERT_TRUE(ini.WriteBool("Config", "UseChapters", true));
    EXPECT_EQ(ReadText(dir.File("new.ini")),
              "[Files]\nVideo=/media/a.avi\n\n[Config]\nPosition=42\nUseChapters=1\n");
    EXPECT_EQ(ini.ReadString("files", "VIDEO", ""), "/media/a.avi");
    EXPECT_EQ(ini.ReadInteger("CONFIG", "position", 0), 42);
    EXPECT_TRUE(ini.ReadBool("Config", "UseChapters", false));
}

TEST(IniFile, WriteReplacesLineOrAppendsToItsSectionAndKeepsForeignLines)
{
    TTempDir dir;
    const std::string path = dir.File("p.tsp");
    WriteText(path,
              "; hand-written note\n"
              "[Files]\n"
              "Video = old.avi\n"
              "Extra=kept\n"
              "\n"
              "[Mine]\n"
              "Foo=bar\n"
              "[Config]\n"
              "Zoom=100\n");
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("FILES", "video", "new.avi"));   // stored spelling of key kept
    ASSERT_TRUE(ini.WriteString("Files", "Audio", "a.wav"));     // after the last line, before the blank
    ASSERT_TRUE(ini.WriteString("Config", "Position", "7"));     // at the end of the last section
    EXPECT_EQ(ReadText(path),
              "; hand-written note\n"
              "[Files]\n"
              "Video=new.avi\n"
              "Extra=kept\n"
              "Audio=a.wav\n"
              "\n"
              "[Mine]\n"
              "Foo=bar\n"
              "[Config]\n"
              "Zoom=100\n"
              "Position=7\n");
    EXPECT_EQ(ini.ReadString("Mine", "Foo", ""), "bar");
    EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Files", "Mine", "Config"}));
}

TEST(IniFile, EraseThenWriteRebuildsOnlyThatSection)
{
    TTempDir dir;
    const std::string path = dir.File("p.tsp");
    WriteText(path,
              "[Markers]\nCount=3\n0=a\n1=b\n2=c\nHand=1\n"
              "[Other]\nK=v\n"
              "[markers]\nCount=9\n");   // a second copy of the section goes too
    TIniFile ini(path);
    ASSERT_TRUE(ini.EraseSection("Markers"));
    EXPECT_FALSE(ini.SectionExists("Markers"));
    ASSERT_TRUE(ini.WriteInteger("Markers", "Count", 1));
    ASSERT_TRUE(ini.WriteString("Markers", "0", "Spl      10      +5"));
    EXPECT_EQ(ReadText(path), "[Other]\nK=v\n\n[Markers]\nCount=1\n0=Spl      10      +5\n");
    EXPECT_EQ(ini.ReadSection("Markers"), (std::vector<std::string>{"Count", "0"}));
    EXPECT_EQ(ini.ReadSectionValues("Markers")[1].second, "Spl      10      +5");
}

TEST(IniFile, ReplaceSectionWritesWhatEraseAndSingleWritesWrite)
{
    TTempDir dir;
    const std::string start = "[Markers]\nCount=3\n0=a\n\n[Other]\nK=v\n[markers]\nCount=9\n";
    const std::vector<std::vector<std::pair<std::string, std::string>>> cases = {
        {{"Count", "2"}, {"0", "Spl      10      +5"}, {"1", " padded "}},
        {},
        {{" Count ", "1"}, {"0", "\"quoted\""}},
        // A key given twice, and one that cannot be stored, go key by key.
        {{"Count", "1"}, {"count", "2"}},
        {{"Count", "1"}, {"a=b", "x"}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string single = dir.File("single" + std::to_string(i) + ".tsp");
        const std::string bulk = dir.File("bulk" + std::to_string(i) + ".tsp");
        WriteText(single, start);
        WriteText(bulk, start);
        TIniFile a(single), b(bulk);
        bool ok = a.EraseSection("Markers");
        for (const auto &[key, value] : cases[i])
            ok = a.WriteString("Markers", key, value) && ok;
        EXPECT_EQ(b.ReplaceSection("Markers", cases[i]), ok) << i;
        EXPECT_EQ(ReadText(bulk), ReadText(single)) << i;
        // Inside an update the file changes only at its end.
        WriteText(bulk, start);
        b.BeginUpdate();
        b.ReplaceSection("Markers", cases[i]);
        EXPECT_EQ(ReadText(bulk), start);
        b.EndUpdate();
        EXPECT_EQ(ReadText(bulk), ReadText(single)) << i;
    }
}

TEST(IniFile, FirstSectionAndFirstKeyWin)
{
    TTempDir dir;
    const std::string path = dir.File("d.ini");
    WriteText(path, "top=ignored\n[S]\nk=1\nK=2\n[S]\nk=3\n[T]\nk=4\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("s", "k", ""), "1");
    EXPECT_EQ(ini.ReadString("T", "k", ""), "4");
    EXPECT_EQ(ini.ReadString("", "top", "none"), "none");   // keys before any section are not in one
    ASSERT_TRUE(ini.WriteString("S", "K", "5"));
    EXPECT_EQ(ReadText(path), "top=ignored\n[S]\nk=5\nK=2\n[S]\nk=3\n[T]\nk=4\n");
    ASSERT_TRUE(ini.DeleteKey("S", "k"));
    EXPECT_EQ(ReadText(path), "top=ignored\n[S]\n[S]\nk=3\n[T]\nk=4\n");
}

TEST(IniFile, ValuesAreTrimmedUnquotedAndCutAt1023Characters)
{
    TTempDir dir;
    const std::string path = dir.File("v.ini");
    std::string longValue(1500, 'x');
    longValue[1022] = 'y';
    WriteText(path, "[V]\n  spaced  =   a b   \nq1=\"quoted \"\nq2='single'\nq3=\"unbalanced\nempty=\nlong=" +
                        longValue + "\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("V", "spaced", ""), "a b");
    EXPECT_EQ(ini.ReadString("V", "q1", ""), "quoted ");
    EXPECT_EQ(ini.ReadString("V", "q2", ""), "single");
    EXPECT_EQ(ini.ReadString("V", "q3", ""), "\"unbalanced");
    EXPECT_EQ(ini.ReadString("V", "empty", "def"), "");
    std::string cut = ini.ReadString("V", "long", "");
    ASSERT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.back(), 'y');
    EXPECT_EQ(cut, longValue.substr(0, 1023));
}

TEST(IniFile, ValuesThatAReadWouldChangeRoundTripExactly)
{
    TTempDir dir;
    TIniFile ini(dir.File("r.ini"));
    const std::vector<std::string> values = {"  lead", "trail  ", "\"both\"", "'x'", "\"", "a=b=c", ""};
    for (size_t i = 0; i < values.size(); ++i)
        ASSERT_TRUE(ini.WriteString("R", "k" + std::to_string(i), values[i]));
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(ini.ReadString("R", "k" + std::to_string(i), "?"), values[i]) << i;
}

TEST(IniFile, IntegersDecimalHexAndUnreadable)
{
    TTempDir dir;
    const std::string path = dir.File("n.ini");
    WriteText(path,
              "[N]\ndec=-40\nplus=+7\nhex=0x1F\nhex2=0XfF\nneg=0xFFFFFFFF\nbig=0x100000000\n"
              "max=2147483647\nmin=-2147483648\nover=2147483648\ntext=12abc\nbare=0x\nblank=\n"
              "minus=-\nfloat=1.5\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("N", "dec", 0), -40);
    EXPECT_EQ(ini.ReadInteger("N", "plus", 0), 7);
    EXPECT_EQ(ini.ReadInteger("N", "hex", 0), 31);
    EXPECT_EQ(ini.ReadInteger("N", "hex2", 0), 255);
    EXPECT_EQ(ini.ReadInteger("N", "neg", 0), -1);
    EXPECT_EQ(ini.ReadInteger("N", "big", 5), 5);
    EXPECT_EQ(ini.ReadInteger("N", "max", 0), 2147483647);
    EXPECT_EQ(ini.ReadInteger("N", "min", 0), INT32_MIN);
    for (const char *bad : {"over", "text", "bare", "blank", "minus", "float", "absent"})
        EXPECT_EQ(ini.ReadInteger("N", bad, 99), 99) << bad;
    EXPECT_TRUE(ini.ReadBool("N", "hex", false));
    EXPECT_TRUE(ini.ReadBool("N", "text", true));
    EXPECT_FALSE(ini.ReadBool("N", "text", false));
}

TEST(IniFile, CrLfFilesStayCrLf)
{
    TTempDir dir;
    const std::string path = dir.File("w.ini");
    WriteText(path, "[A]\r\nx=1\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "x", ""), "1");
    ASSERT_TRUE(ini.WriteString("A", "y", "2"));
    EXPECT_EQ(ReadText(path), "[A]\r\nx=1\r\ny=2\r\n");
}

TEST(IniFile, TextsThatWouldBreakTheFileAreRefused)
{
    TTempDir dir;
    const std::string path = dir.File("x.ini");
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "v"));
    EXPECT_FALSE(ini.WriteString("S", "k", "one\n[Evil]\nk=2"));
    EXPECT_FALSE(ini.WriteString("S", "a=b", "v"));
    EXPECT_FALSE(ini.WriteString("S", "  ", "v"));
    EXPECT_FALSE(ini.WriteString("S]x", "k", "v"));
    EXPECT_NE(ini.LastError().find(path), std::string::npos);
    EXPECT_EQ(ReadText(path), "[S]\nk=v\n");
}

TEST(IniFile, RefusedWriteLeavesTheOldFileIntact)
{
    TTempDir dir;
    // The target is a folder: rename cannot replace it, even for root.
    ASSERT_EQ(mkdir(dir.File("target.ini").c_str(), 0755), 0);
    TIniFile onDir(dir.File("target.ini"));
    EXPECT_FALSE(onDir.WriteString("S", "k", "v"));
    EXPECT_NE(onDir.LastError().find("target.ini"), std::string::npos);

    // A folder that does not exist.
    TIniFile nowhere(dir.File("missing/sub/x.ini"));
    EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));
    EXPECT_NE(nowhere.LastError().find("missing/sub/x.ini"), std::string::npos);

    // A write that runs out of space half way (a file-size limit stands in for a full
    // disk; it holds for root too): the old contents survive and no temporary file is
    // left behind.
    const std::string path = dir.File("keep.ini");
    WriteText(path, "[S]\nk=old\n");
    TIniFile ini(path);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = ini.WriteString("S", "k", std::string(500, 'n'));
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_NE(ini.LastError().find("keep.ini"), std::string::npos);
    EXPECT_EQ(ReadText(path), "[S]\nk=old\n");
    int entries = 0;
    for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 2);   // target.ini and keep.ini, no temporary file
}

TEST(IniFile, UnreadableFileIsNeverOverwritten)
{
    TTempDir dir;
    const std::string path = dir.File("big.ini");
    // A file too large to be an ini file reads as empty and refuses writes.
    WriteText(path, "[S]\nk=v\n");
    ASSERT_EQ(truncate(path.c_str(), (64 << 20) + 1), 0);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
    EXPECT_FALSE(ini.WriteString("S", "k", "x"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, (64 << 20) + 1);
}

TEST(IniFile, UpdateGathersWritesIntoOneReplacement)
{
    TTempDir dir;
    const std::string path = dir.File("u.tsp");
    WriteText(path, "[Markers]\nCount=5\n[Hand]\nx=1\n");
    TIniFile ini(path);
    ini.BeginUpdate();
    ASSERT_TRUE(ini.EraseSection("Markers"));
    ASSERT_TRUE(ini.WriteInteger("Markers", "Count", 2));
    ini.BeginUpdate();   // nested
    ASSERT_TRUE(ini.WriteString("Markers", "0", "a"));
    EXPECT_TRUE(ini.EndUpdate());
    ASSERT_TRUE(ini.WriteString("Markers", "1", "b"));
    EXPECT_EQ(ReadText(path), "[Markers]\nCount=5\n[Hand]\nx=1\n");   // nothing written yet
    EXPECT_EQ(ini.ReadInteger("Markers", "Count", 0), 2);
    ASSERT_TRUE(ini.EndUpdate());
    EXPECT_EQ(ReadText(path), "[Hand]\nx=1\n\n[Markers]\nCount=2\n0=a\n1=b\n");

    ini.BeginUpdate();
    ASSERT_TRUE(ini.WriteString("Hand", "x", "2"));
    ini.CancelUpdate();
    EXPECT_EQ(ini.ReadString("Hand", "x", ""), "1");

    // A refused replacement at the end of an update is reported and names the file.
    TIniFile onDir(dir.File("sub"));
    onDir.BeginUpdate();
    EXPECT_TRUE(onDir.WriteString("S", "k", "v"));
    ASSERT_TRUE(std::filesystem::create_directory(dir.File("sub")));
    EXPECT_FALSE(onDir.EndUpdate());
    EXPECT_NE(onDir.LastError().find(dir.File("sub")), std::string::npos);
}

TEST(IniFile, PermissionsOfTheReplacedFileAreKept)
{
    TTempDir dir;
    const std::string path = dir.File("perm.ini");
    WriteText(path, "[S]\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    TIniFile ini(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "v"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Writing through a link replaces the file it points to and keeps the link.
    const std::string link = dir.File("link.ini");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    TIniFile viaLink(link);
    ASSERT_TRUE(viaLink.WriteString("S", "k", "w"));
    struct stat lst;
    ASSERT_EQ(lstat(link.c_str(), &lst), 0);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(ReadText(path), "[S]\nk=w\n");
}
