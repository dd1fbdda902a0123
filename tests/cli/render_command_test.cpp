// Tests of `tessaly-cli project`, `render` and `info`: the program run as a user runs it,
// results checked sample by sample and packet by packet, bad input refused.
#include <chrono>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/cli_support.h"
#include "support/render_media.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::ShellQuote;

constexpr int kN = 300; // sample frames per video frame (7500 Hz, 25 fps)

std::string Cli() { return test::CliProgram(); }

// Runs tessaly-cli with `args`; returns the exit status with stdout and stderr.
int RunCli(const std::string &args, std::string *out = nullptr, std::string *err = nullptr)
{
    test::TTempDir tmp;
    std::string errFile = tmp.File("stderr");
    std::string text;
    int status = test::RunCommand(Cli() + " " + args + " 2>" + ShellQuote(errFile) + " </dev/null", &text);
    if (out)
        *out = text;
    if (err) {
        std::vector<uint8_t> bytes = test::ReadFileBytes(errFile);
        err->assign(bytes.begin(), bytes.end());
    }
    return status;
}

class CliRender : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::MakeTestVideo(Dir.File("video.avi"), 60, 10));
        ASSERT_TRUE(test::WriteIndexWave(Dir.File("audio.wav"), 7500, 30000));
        Project = Dir.File("p.tsp");
        ASSERT_EQ(RunCli("project create " + ShellQuote(Project) + " --video " + ShellQuote(Dir.File("video.avi")) +
                      " --audio " + ShellQuote(Dir.File("audio.wav"))),
                  0);
    }
    std::string Q(const std::string &name) { return ShellQuote(Dir.File(name)); }

    test::TTempDir Dir;
    std::string Project;
};

TEST_F(CliRender, ProjectCommandsBuildTheProjectThatIsRendered)
{
    // Options before or after the arguments.
    ASSERT_EQ(RunCli("project add-marker " + ShellQuote(Project) + " 30 cut 5 --affect"), 0);
    ASSERT_EQ(RunCli("project --deactivated add-marker " + ShellQuote(Project) + " 10 spline 3"), 0);
    ASSERT_EQ(RunCli("project add-marker " + ShellQuote(Project) + " 40 option --volume 80 --double-off"), 0);
    ASSERT_EQ(RunCli("project add-chapter " + ShellQuote(Project) + " 50 --disabled"), 0);
    ASSERT_EQ(RunCli("project delete-marker " + ShellQuote(Project) + " 40"), 0);
    std::string out;
    ASSERT_EQ(RunCli("project list " + ShellQuote(Project), &out), 0);
    std::string expected = "Video:     " + Dir.File("video.avi") + "\nAudio:     " + Dir.File("audio.wav") +
                           "\nDouble:    -\nReference: -\n"
                           "Frames:    60 at 25.000 fps, 50 output frames\n"
                           "Options:   UseChapters=1 ConcatChapters=0 CrossFading=1 UseGlobalShift=0 GlobalShift=0\n"
                           "Mixing:    Resampling=band-limited CrossFadeMs=5\n"
                           "Markers (2):\n  Spl%       10       +3\n  Cut >      30       +5\n"
                           "Chapters (2):\n  Start          0  on\n  Chapter       50  off\n";
    EXPECT_EQ(out, expected);
    // Nearest samples and hard cuts, so every output sample names its source sample.
    ASSERT_EQ(RunCli("project set " + ShellQuote(Project) + " --resampling sample-copy --cross-fade-ms 0"), 0);

    // Separate chapter files: the disabled last chapter shortens the result to 50 frames.
    std::string err;
    ASSERT_EQ(RunCli("render " + ShellQuote(Project) + " " + Q("out.avi"), &out, &err), 0) << err;
    EXPECT_EQ(out, Dir.File("out.00.avi") + "\n");
    std::string avi = Dir.File("out.00.avi");
    EXPECT_TRUE(test::DecodesCleanly(avi));
    std::vector<std::string> source = test::VideoPacketHashes(Dir.File("video.avi"));
    ASSERT_EQ(source.size(), 60u);
    EXPECT_EQ(test::VideoPacketHashes(avi), std::vector<std::string>(source.begin(), source.begin() + 50));
    std::vector<int16_t> audio = test::DecodedAudio(avi);
    ASSERT_EQ(audio.size(), size_t(50 * kN * 2));
    for (int64_t j = 0; j < 50 * kN; ++j) {
        int64_t src = j < 30 * kN ? j : j + 5 * kN;
        ASSERT_EQ(audio[size_t(2 * j)], test::IndexLeft(src)) << j;
        ASSERT_EQ(audio[size_t(2 * j + 1)], test::IndexRight(src)) << j;
    }

    // Any other extension: the WAV result, the extension replaced.
    ASSERT_EQ(RunCli("project set " + ShellQuote(Project) + " --use-chapters 0"), 0);
    ASSERT_EQ(RunCli("render " + ShellQuote(Project) + " " + Q("sound.mp3"), &out), 0);
    EXPECT_EQ(out, Dir.File("sound.wav") + "\n");
    EXPECT_TRUE(test::DecodesCleanly(Dir.File("sound.wav")));
    EXPECT_EQ(test::DecodedAudio(Dir.File("sound.wav")).size(), size_t(60 * kN * 2));
}

TEST_F(CliRender, BadInputIsRefusedWithTheProgramsMessage)
{
    std::string before = test::FileMd5(Dir.File("audio.wav"));
    std::string out, err;
    // The result named like a source, also through "./" and a symbolic link.
    std::filesystem::create_symlink(Dir.File("audio.wav"), Dir.File("link.wav"));
    for (const std::string &name : {Dir.File("audio.wav"), Dir.Path() + "/./audio.wav", Dir.File("link.wav")}) {
        EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(Project) + " " + ShellQuote(name), &out, &err), 1) << name;
        std::string shown = std::filesystem::path(name).filename().string();
        EXPECT_EQ(err, "error: The file \"" + shown + "\"\nis a source file of this project and cannot be overwritten.\n"
                       "Choose another file name for the result file.\n");
        EXPECT_EQ(out, "");
    }
    EXPECT_EQ(test::FileMd5(Dir.File("audio.wav")), before);

    // A target folder that cannot hold files.
    EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(Project) + " " + Q("audio.wav/out.avi"), &out, &err), 1);
    EXPECT_EQ(err.substr(0, 33), "error: Error opening target file!");
    EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(Project) + " " + Q("none/out.wav"), &out, &err), 1);
    EXPECT_EQ(err, "error: Error opening target file!\nCannot create \"" + Dir.File("none/out.wav") +
                       "\": No such file or directory\n");

    // Missing media.
    std::filesystem::rename(Dir.File("video.avi"), Dir.File("moved.avi"));
    EXPECT_EQ(RunCli("render --no-progress " + ShellQuote(Project) + " " + Q("x.avi"), &out, &err), 1);
    EXPECT_EQ(err, "error: Error opening video file:\n\"" + Dir.File("video.avi") + "\"\n\nFile not found.\n");
    std::filesystem::rename(Dir.File("moved.avi"), Dir.File("video.avi"));

    // A malformed marker line: reported, and nothing rendered from the damaged project.
    std::string text = "[Files]\nVideo=video.avi\nAudio=audio.wav\n[Markers]\nCount=1\n0=Spl  7  +1\n";
    test::WriteFileBytes(Dir.File("bad.tsp"), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(RunCli("render --no-progress " + Q("bad.tsp") + " " + Q("y.avi"), &out, &err), 1);
    EXPECT_EQ(err, "error: The following items could not be loaded completely:\n- Marker list\n");
    EXPECT_FALSE(std::filesystem::exists(Dir.File("y.avi")));

    // Usage errors and help.
    EXPECT_EQ(RunCli("render " + ShellQuote(Project)), 2);
    EXPECT_EQ(RunCli("render --frobnicate " + ShellQuote(Project) + " " + Q("z.avi")), 2);
    EXPECT_EQ(RunCli("project add-marker " + ShellQuote(Project) + " 5 sideways 1"), 2);
    EXPECT_EQ(RunCli("info"), 2);
    for (const char *command : {"render", "info", "project", "analyze", "example"}) {
        EXPECT_EQ(RunCli(std::string(command) + " --help", &out), 0) << command;
        EXPECT_NE(out.find("usage: tessaly-cli"), std::string::npos) << command;
    }
}

// A full disk (a 16 KiB file system) and a file size limit end every kind of result with a
// message that names the file and the reason; the earlier result of the name stays as it
// was and no other file is left in the folder.
TEST_F(CliRender, FullDiskEndsTheRunWithAMessageAndKeepsTheEarlierResult)
{
    const std::string mount = Dir.File("small");
    std::filesystem::create_directory(mount);
    // A file system in a private mount namespace, where that is allowed.
    std::string probe;
    const bool mountable =
        test::RunCommand("unshare -rm sh -c " + ShellQuote("mount -t tmpfs -o size=16k tmpfs " + ShellQuote(mount) +
                                                           " && echo mounted") + " 2>/dev/null",
                         &probe) == 0 &&
        probe == "mounted\n";
    const std::string before = test::FileMd5(Dir.File("video.avi"));
    // The AVI writer reserves the room of its data and index ahead: it finds the disk
    // full before it writes.
    const std::vector<std::pair<std::string, std::string>> targets{
        {"out.avi", "Not enough disk space to write additional data"},
        {"out.wav", ""}, {"out.mkv", ""}, {"out.mp4", ""}};
    for (const auto &[name, message] : targets) {
        for (const bool full : {true, false}) {
            SCOPED_TRACE(name + (full ? " on a full disk" : " beyond the file size limit"));
            if (full && !mountable) {
                std::printf("note: cannot mount a small file system here; the full disk is not tried\n");
                continue;
            }
            const std::string folder = full ? mount : Dir.File("limited");
            std::filesystem::create_directory(folder);
            const std::string target = folder + "/" + name;
            // The earlier result, the run, then what the folder holds.
            std::string script = "printf earlier > " + ShellQuote(target) + " && ";
            if (full)
                script = "mount -t tmpfs -o size=16k tmpfs " + ShellQuote(mount) + " && " + script;
            else
                script += "trap '' XFSZ && prlimit --fsize=12288 ";
            script += Cli() + " render " + ShellQuote(Project) + " " + ShellQuote(target) +
                      " --no-progress; echo rc=$?; ls -A " + ShellQuote(folder) + "; cat " + ShellQuote(target);
            std::string out;
            test::RunCommand((full ? "unshare -rm sh -c " : "sh -c ") + ShellQuote(script) + " 2>" +
                                 ShellQuote(Dir.File("err")),
                             &out);
            const std::vector<uint8_t> err = test::ReadFileBytes(Dir.File("err"));
            const std::string reason = full ? "No space left on device" : "File too large";
            const std::string expected = message.empty() ? "Cannot write to \"" + target + "\": " + reason : message;
            EXPECT_EQ(std::string(err.begin(), err.end()), "error: " + expected + "\n");
            EXPECT_EQ(out, "rc=1\n" + name + "\nearlier");
            std::filesystem::remove_all(Dir.File("limited"));
        }
    }
    EXPECT_EQ(test::FileMd5(Dir.File("video.avi")), before);
}

TEST_F(CliRender, KilledRenderLeavesTheEarlierResultAndNoHalfFile)
{
    // A longer video, so that the kill lands inside the run.
    ASSERT_TRUE(test::MakeTestVideo(Dir.File("long.avi"), 1500, 25));
    ASSERT_TRUE(test::WriteIndexWave(Dir.File("long.wav"), 7500, 1500 * kN));
    const std::string project = Dir.File("long.tsp");
    ASSERT_EQ(RunCli("project create " + ShellQuote(project) + " --video " + Q("long.avi") + " --audio " + Q("long.wav")),
              0);
    std::mt19937 random(std::random_device{}());
    for (const char *ext : {".avi", ".wav"}) {
        const std::string target = Dir.File(std::string("killed") + ext);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(RunCli("render --no-progress " + ShellQuote(project) + " " + ShellQuote(target)), 0);
        const auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        const std::string complete = test::FileMd5(target);
        for (int round = 0; round < 6; ++round) {
            const bool earlier = round % 2 == 0;
            std::filesystem::remove(target);
            if (earlier) {
                ASSERT_TRUE(test::WriteFileBytes(target, {'o', 'l', 'd'}));
            }
            test::TChildProcess render;
            ASSERT_TRUE(render.Start(std::string(TESSALY_BIN_DIR) + "/tessaly-cli", {"render", "--no-progress", project, target}));
            std::this_thread::sleep_for(std::chrono::microseconds(random() % uint64_t(full.count() + 1)));
            render.Kill(SIGKILL);
            render.Wait(20000);
            // Killed before the finished file was renamed onto the target: the earlier
            // file or none; after it (or finished): the complete result. Never a half file.
            const bool done = std::filesystem::exists(target) && test::FileMd5(target) == complete;
            if (!done && earlier) {
                EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'})) << ext << round;
            } else if (!done) {
                EXPECT_FALSE(std::filesystem::exists(target)) << ext << round;
            }
        }
    }
}

TEST_F(CliRender, InfoShowsThePropertiesOfVideoAndAudio)
{
    std::string out;
    ASSERT_EQ(RunCli("info " + Q("video.avi"), &out), 0);
    EXPECT_EQ(out, "File: " + Dir.File("video.avi") +
                       "\nContainer: AVI (Audio Video Interleaved)\nVideo\n  Type:        libavformat video\n  Codec:       FMP4 / FMP4\n"
                       "  Image Size:  64 x 48 pixels\n  Color depth: 24 bit\n  Frames:      60\n"
                       "  Quality:     default\n  Frames/sec:  25.00 fps\n  Length:      2.40 s\n"
                       "Smart Rendering is used for:\n  Preview:     YES\n  Result:      YES\n");
    ASSERT_EQ(RunCli("info " + Q("audio.wav"), &out), 0);
    EXPECT_EQ(out, "File: " + Dir.File("audio.wav") +
                       "\nContainer: WAV / WAVE (Waveform Audio)\nAudio streams\n"
                       "  #0: pcm_s16le; 7500 Hz; 2 channels; 16 bit; 4.00 s (30000 samples)\n"
                       "Audio\n  Type:        libavformat audio\n  Format:      7500 Hz; 16 bit; stereo\n"
                       "  Length:      4.00 s\n");
    std::string err;
    EXPECT_EQ(RunCli("info " + Q("nothing.avi"), &out, &err), 1);
    EXPECT_EQ(err, "Error opening video file:\n\"" + Dir.File("nothing.avi") + "\"\n\nFile not found.\n");
}

} // namespace
} // namespace tessaly
