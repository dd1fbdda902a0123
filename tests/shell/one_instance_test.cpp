// Single instance: hand-over between real processes (a probe program copied under
// names unique to each test), the per-process rule, dropped foreign connections, the
// character cut and the object names.
#include "shell/one_instance.h"

#include "platform/ipc.h"
#include "support/child_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <poll.h>
#include <unistd.h>

namespace tessaly {
namespace {

using test::TChildProcess;

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A name that no other test (nor a parallel run) uses.
std::string UniqueName(const std::string &tag) {
    static int counter = 0;
    return "probe-" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "-" + tag;
}

class OneInstanceProcessTest : public ::testing::Test {
protected:
    // Removes the names a killed copy may have left.
    void TearDown() override {
        for (const std::string &name : names) {
            TSharedBlock::Unlink(TOneInstance::BlockName(name));
            TNamedSemaphore::Unlink(TOneInstance::SemaphoreName(name));
        }
    }
    // The probe program copied into the test folder under a unique name.
    std::string Program(const std::string &name) {
        namespace fs = std::filesystem;
        names.push_back(name);
        const std::string path = dir.File(name);
        fs::copy_file(std::string(TESSALY_BIN_DIR) + "/one_instance_probe", path, fs::copy_options::overwrite_existing);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    // Starts a copy and returns the role it reports.
    static std::string StartCopy(TChildProcess &p, const std::string &program, const std::vector<std::string> &args,
                                 const std::vector<std::string> &env = {}) {
        std::string role;
        if (!p.Start(program, args, env) || !p.ReadLine(role, 20000))
            return "(no answer)";
        return role;
    }
    // Reads one reported hand-over of a first copy.
    static std::vector<std::string> ReadHandOver(TChildProcess &first) {
        std::string line;
        EXPECT_TRUE(first.ReadLine(line, 20000));
        EXPECT_EQ(line.rfind("received ", 0), 0u) << line;
        std::vector<std::string> params;
        const int count = std::atoi(line.c_str() + 9);
        std::string rest;
        for (int i = 0; i < count && first.ReadLine(line, 5000); ++i) {
            // "LENGTH:TEXT"; a text holding line feeds spans several lines
            const size_t colon = line.find(':');
            const size_t length = std::stoul(line.substr(0, colon));
            std::string text = line.substr(colon + 1);
            while (text.size() < length && first.ReadLine(rest, 5000))
                text += "\n" + rest;
            params.push_back(text);
        }
        return params;
    }
    static std::vector<std::string> Numbered(int count) {
        std::vector<std::string> v;
        for (int i = 1; i <= count; ++i)
            v.push_back("param " + std::to_string(i));
        return v;
    }

    test::TTempDir dir;
    std::vector<std::string> names;
};

TEST_F(OneInstanceProcessTest, SecondStartHandsOverTheFirstTenOfTwelveParameters) {
    const std::string program = Program(UniqueName("twelve"));
    TChildProcess first, second;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    EXPECT_EQ(StartCopy(second, program, Numbered(12)), "handed-over");
    EXPECT_EQ(second.Wait(20000), 0);
    EXPECT_EQ(ReadHandOver(first), Numbered(10));

    // The first copy goes on answering: a start without parameters hands over none,
    // and one with three hands over three.
    TChildProcess third, fourth;
    EXPECT_EQ(StartCopy(third, program, {}), "handed-over");
    EXPECT_EQ(third.Wait(20000), 0);
    EXPECT_TRUE(ReadHandOver(first).empty());
    EXPECT_EQ(StartCopy(fourth, program, Numbered(3)), "handed-over");
    EXPECT_EQ(ReadHandOver(first), Numbered(3));
}

TEST_F(OneInstanceProcessTest, StartsAtTheSameTimeEachHandOverOnce) {
    const std::string program = Program(UniqueName("burst"));
    TChildProcess first;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    constexpr int kCopies = 5;
    TChildProcess copies[kCopies];
    for (int i = 0; i < kCopies; ++i)
        ASSERT_TRUE(copies[i].Start(program, {"copy " + std::to_string(i), "second"}));
    for (TChildProcess &copy : copies) {
        std::string role;
        EXPECT_TRUE(copy.ReadLine(role, 20000));
        EXPECT_EQ(role, "handed-over");
        EXPECT_EQ(copy.Wait(20000), 0);
    }
    std::multiset<std::string> got;
    for (int i = 0; i < kCopies; ++i) {
        const std::vector<std::string> params = ReadHandOver(first);
        ASSERT_EQ(params.size(), 2u);
        EXPECT_EQ(params[1], "second");
        got.insert(params[0]);
    }
    for (int i = 0; i < kCopies; ++i)
        EXPECT_EQ(got.count("copy " + std::to_string(i)), 1u) << i;
    std::string extra;
    EXPECT_FALSE(first.ReadLine(extra, 300)) << "a hand-over arrived twice: " << extra;
}

TEST_F(OneInstanceProcessTest, LongParametersArriveCutTo300Characters) {
    const std::string program = Program(UniqueName("long"));
    std::string umlauts, wide;
    for (int i = 0; i < 350; ++i)
        umlauts += "\xC3\xA4";   // a with diaeresis, 2 bytes
    for (int i = 0; i < 310; ++i)
        wide += "\xF0\x9F\x8E\xAC";   // 4 bytes each
    const std::vector<std::string> args{std::string(400, 'x'), umlauts, wide, "", "/home/me/film 2.tsp",
                                        std::string(300, 'y')};
    TChildProcess first, second;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    EXPECT_EQ(StartCopy(second, program, args), "handed-over");
    EXPECT_EQ(second.Wait(20000), 0);
    const std::vector<std::string> got = ReadHandOver(first);
    ASSERT_EQ(got.size(), args.size());
    EXPECT_EQ(got[0], std::string(300, 'x'));
    EXPECT_EQ(got[1], umlauts.substr(0, 600));   // 300 characters, no character split
    EXPECT_EQ(got[2], wide.substr(0, 1200));
    EXPECT_EQ(got[3], "");
    EXPECT_EQ(got[4], "/home/me/film 2.tsp");
    EXPECT_EQ(got[5], std::string(300, 'y'));
}

TEST_F(OneInstanceProcessTest, RenamedCopyRunsOnItsOwn) {
    const std::string original = Program(UniqueName("orig"));
    const std::string renamed = Program(UniqueName("renamed"));
    TChildProcess first, other, second;
    ASSERT_EQ(StartCopy(first, original, {}), "first");
    EXPECT_EQ(StartCopy(other, renamed, {"a.tsp"}), "first");
    // A start of the original still goes to the original's first copy.
    EXPECT_EQ(StartCopy(second, original, {"b.tsp"}), "handed-over");
    EXPECT_EQ(ReadHandOver(first), std::vector<std::string>{"b.tsp"});
    EXPECT_EQ(other.Wait(0), -1) << "the renamed copy keeps running";
}

TEST_F(OneInstanceProcessTest, StartAfterKilledFirstCopyBecomesFirstAtOnce) {
    const std::string program = Program(UniqueName("killed"));
    const std::vector<std::string> slow{"TESSALY_PROBE_TIMEOUT_MS=10000"};
    TChildProcess first, next, later;
    ASSERT_EQ(StartCopy(first, program, {}, slow), "first");
    first.Kill(SIGKILL);
    ASSERT_EQ(first.Wait(10000), 128 + SIGKILL);

    const long long t0 = NowMs();
    EXPECT_EQ(StartCopy(next, program, {"x"}, slow), "first");
    EXPECT_LT(NowMs() - t0, 3000) << "the killed copy's names held the new start up";
    // The left-over block and semaphore work for the new first copy.
    EXPECT_EQ(StartCopy(later, program, {"y"}, slow), "handed-over");
    EXPECT_EQ(ReadHandOver(next), std::vector<std::string>{"y"});
}

TEST_F(OneInstanceProcessTest, SilentFirstCopyLetsLaterStartsRunAsNormalCopies) {
    const std::string program = Program(UniqueName("silent"));
    const std::vector<std::string> env{"TESSALY_PROBE_TIMEOUT_MS=300", "TESSALY_PROBE_MUTE=1"};
    TChildProcess first, second, third;
    ASSERT_EQ(StartCopy(first, program, {}, env), "first");
    const long long t0 = NowMs();
    EXPECT_EQ(StartCopy(second, program, {"a"}, env), "independent");
    // The second copy still holds the block for the silent one; a third waits for it.
    EXPECT_EQ(StartCopy(third, program, {"b"}, env), "independent");
    EXPECT_LT(NowMs() - t0, 5000);
    EXPECT_EQ(second.Wait(0), -1) << "an independent copy runs on";
    second.CloseInput();
    EXPECT_EQ(second.Wait(10000), 0);
}

TEST_F(OneInstanceProcessTest, EndedFirstCopyLeavesNoNamesBehind) {
    const std::string name = UniqueName("clean");
    const std::string program = Program(name);
    const std::string block = "/dev/shm" + TOneInstance::BlockName(name);
    const std::string sem = "/dev/shm/sem." + TOneInstance::SemaphoreName(name).substr(1);
    TChildProcess first, second;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    EXPECT_TRUE(std::filesystem::exists(block));
    EXPECT_TRUE(std::filesystem::exists(sem));
    first.CloseInput();
    EXPECT_EQ(first.Wait(10000), 0);
    EXPECT_FALSE(std::filesystem::exists(block));
    EXPECT_FALSE(std::filesystem::exists(sem));
    EXPECT_EQ(StartCopy(second, program, {}), "first");
}

TEST(OneInstance, OnlyOneCheckRunsPerProcess) {
    const std::string name = UniqueName("inproc");
    {
        TOneInstance a(name, 200);
        ASSERT_EQ(a.Start({}), irFirst);
        EXPECT_GE(a.NotifyFd(), 0);
        TOneInstance b(UniqueName("inproc-other"), 200);
        EXPECT_EQ(b.Start({}), irIndependent);
        EXPECT_FALSE(b.LastError().empty());
        EXPECT_EQ(b.NotifyFd(), -1);
    }
    TOneInstance c(name, 200);
    EXPECT_EQ(c.Start({}), irFirst) << c.LastError();
}

TEST(OneInstance, ConnectionWithoutHandOverIsDropped) {
    const std::string name = UniqueName("foreign");
    TOneInstance a(name, 200);
    ASSERT_EQ(a.Start({}), irFirst);
    const int fd = ConnectLocal(TOneInstance::SocketName(name));
    ASSERT_GE(fd, 0);
    pollfd p{a.NotifyFd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    std::vector<std::string> params{"stale"};
    EXPECT_FALSE(a.ReceiveHandOver(params));
    EXPECT_TRUE(params.empty());
    close(fd);
    TNamedSemaphore sem;
    ASSERT_TRUE(sem.Open(TOneInstance::SemaphoreName(name)));
    EXPECT_EQ(sem.Value(), 1) << "a dropped connection must not release the block again";
    EXPECT_FALSE(a.ReceiveHandOver(params)) << "nothing waits any more";
}

TEST(CutToChars, NeverSplitsACharacter) {
    EXPECT_EQ(CutToChars("abcdef", 3), "abc");
    EXPECT_EQ(CutToChars("ab", 3), "ab");
    EXPECT_EQ(CutToChars("\xC3\xA4\xC3\xB6\xC3\xBC", 2), "\xC3\xA4\xC3\xB6");
    EXPECT_EQ(CutToChars("a\xE2\x82\xAC" "b", 2), "a\xE2\x82\xAC");
    // Bytes that start no valid sequence (a lone continuation byte, a cut sequence at
    // the end) count as one character each.
    EXPECT_EQ(CutToChars("\x80\x80\x80", 2), "\x80\x80");
    EXPECT_EQ(CutToChars("a\xE2\x82", 2), "a\xE2");
    EXPECT_EQ(CutToChars("\xC3" "a", 1), "\xC3");
}

TEST(IpcObjectName, GivesShortDistinctNames) {
    EXPECT_EQ(IpcObjectName("tessaly-1000-tessaly"), "/tessaly-1000-tessaly");
    EXPECT_EQ(IpcObjectName("a b/c"), "/a_b_c");
    const std::string longA = std::string(150, 'a') + "1", longB = std::string(150, 'a') + "2";
    EXPECT_NE(IpcObjectName(longA), IpcObjectName(longB));
    EXPECT_LE(IpcObjectName(longA).size(), 100u);
    EXPECT_EQ(IpcObjectName(longA), IpcObjectName(longA));
}

} // namespace
} // namespace tessaly
