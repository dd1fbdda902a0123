// Single instance: hand-over between real processes (a probe program copied under
// names unique to each test), the per-process rule, dropped foreign connections, names
// planted by another user, the character cut and the object names.
#include "shell/one_instance.h"

#include "platform/ipc.h"
#include "support/child_process.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include "platform/safe_file.h"

#include <csignal>
#include <cstring>
#include <functional>

#include <chrono>
#include <filesystem>
#include <set>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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
    // The probe program copied into the test folder under a unique name.
    std::string Program(const std::string &name) {
        namespace fs = std::filesystem;
        names.push_back(name);
        const std::string path = dir.File(name);
        fs::copy_file(std::string(TESSALY_BIN_DIR) + "/one_instance_probe", path, fs::copy_options::overwrite_existing);
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    // Starts a copy (its private folder: `runtime`) and returns the role it reports.
    std::string StartCopy(TChildProcess &p, const std::string &program, const std::vector<std::string> &args,
                          std::vector<std::string> env = {}) {
        env.insert(env.begin(), "XDG_RUNTIME_DIR=" + runtime.Path());
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
    test::TTempDir runtime;   // made with mode 0700, like a real runtime folder
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
        ASSERT_TRUE(copies[i].Start(program, {"copy " + std::to_string(i), "second"},
                                    {"XDG_RUNTIME_DIR=" + runtime.Path()}));
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
    const std::string block = TOneInstance::ObjectPath(runtime.Path(), name, ".block");
    const std::string socket = TOneInstance::ObjectPath(runtime.Path(), name, ".sock");
    TChildProcess first, second;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    EXPECT_TRUE(std::filesystem::exists(block));
    EXPECT_TRUE(std::filesystem::exists(socket));
    first.CloseInput();
    EXPECT_EQ(first.Wait(10000), 0);
    EXPECT_FALSE(std::filesystem::exists(block));
    EXPECT_FALSE(std::filesystem::exists(socket));
    EXPECT_EQ(StartCopy(second, program, {}), "first");
}

TEST_F(OneInstanceProcessTest, AnotherDisplayIsAnInstanceOfItsOwn) {
    const std::string program = Program(UniqueName("display"));
    TChildProcess first, other, second;
    ASSERT_EQ(StartCopy(first, program, {}, {"DISPLAY=:5", "WAYLAND_DISPLAY="}), "first");
    EXPECT_EQ(StartCopy(other, program, {"a.tsp"}, {"DISPLAY=:6", "WAYLAND_DISPLAY="}), "first");
    EXPECT_EQ(StartCopy(second, program, {"b.tsp"}, {"DISPLAY=:5", "WAYLAND_DISPLAY="}), "handed-over");
    EXPECT_EQ(ReadHandOver(first), std::vector<std::string>{"b.tsp"});
}

// Runs `plant` in a child process under another user id and waits until it has done
// its work; the child then keeps running (so its sockets listen) until killed.
pid_t AsOtherUser(const std::function<void()> &plant, int &ready) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        plant();
        if (write(fds[1], "r", 1) != 1)
            _exit(4);
        for (;;)
            pause();
    }
    close(fds[1]);
    char c = 0;
    ready = read(fds[0], &c, 1) == 1 && c == 'r';
    close(fds[0]);
    return pid;
}

// A socket listening at `path` (abstract when it starts with a zero byte).
int ListenAt(const std::string &path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), std::min(path.size(), sizeof addr.sun_path - 1));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] ? 1 : 0));
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&addr), length) != 0 || listen(fd, 4) != 0)
        return -1;
    return fd;
}

TEST_F(OneInstanceProcessTest, AnotherUserCannotSquatTheNamesOrReceiveAPath) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    const std::string name = UniqueName("squat");
    const std::string program = Program(name);
    // A shared temporary folder like /tmp; without a runtime folder the copies fall
    // back to "tessaly-0" in it, which the other user makes first.
    test::TTempDir shared;
    ASSERT_EQ(chmod(shared.Path().c_str(), 01777), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const std::string squatted = shared.Path() + "/tessaly-0";
    const std::string abstractName = std::string(1, '\0') + "tessaly-0-" + name;
    int ready = 0;
    int listened = -1;
    const pid_t other = AsOtherUser([&] {
        mkdir(squatted.c_str(), 0777);
        chmod(squatted.c_str(), 0777);
        for (const char *ext : {".lock", ".block"})
            close(open(TOneInstance::ObjectPath(squatted, name, ext).c_str(), O_CREAT | O_RDWR, 0666));
        listened = ListenAt(TOneInstance::ObjectPath(squatted, name, ".sock"));
        ListenAt(abstractName);   // the name an earlier version listened on
        if (listened < 0)
            _exit(5);
    }, ready);
    ASSERT_GT(other, 0);
    ASSERT_TRUE(ready) << "the other user could not plant its names";
    const std::vector<std::string> env{"XDG_RUNTIME_DIR=", "TMPDIR=" + shared.Path()};
    TChildProcess mine, again;
    // The planted folder belongs to somebody else: no check, the copy opens its window.
    auto start = [&](TChildProcess &p, const std::vector<std::string> &args) {
        std::string role;
        return p.Start(program, args, env) && p.ReadLine(role, 20000) ? role : std::string("(no answer)");
    };
    EXPECT_EQ(start(mine, {"/home/me/secret film.tsp"}), "independent");
    EXPECT_EQ(start(again, {"/home/me/other.tsp"}), "independent");
    EXPECT_EQ(mine.Wait(0), -1) << "an independent copy runs on (its window opens)";

    // With a runtime folder of its own the copies find each other even while the other
    // user's names exist.
    TChildProcess first, second;
    ASSERT_EQ(StartCopy(first, program, {}), "first");
    EXPECT_EQ(StartCopy(second, program, {"/home/me/film.tsp"}), "handed-over");
    EXPECT_EQ(ReadHandOver(first), std::vector<std::string>{"/home/me/film.tsp"});
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}

TEST(OneInstance, PlantedFilesInThePrivateFolderAreNotUsed) {
    // A block that is a link, or open to others, is refused; the copy takes over.
    test::TTempDir runtime;
    const std::string name = UniqueName("planted");
    const std::string block = TOneInstance::ObjectPath(runtime.Path(), name, ".block");
    test::TTempDir elsewhere;
    ASSERT_TRUE(test::WriteFileBytes(elsewhere.File("victim"), {1, 2, 3}));
    ASSERT_EQ(symlink(elsewhere.File("victim").c_str(), block.c_str()), 0);
    TSharedBlock shared;
    EXPECT_FALSE(shared.Open(block, 64));
    TOneInstance a(name, 200, runtime.Path());
    ASSERT_EQ(a.Start({}), irFirst) << a.LastError();
    EXPECT_EQ(test::ReadFileBytes(elsewhere.File("victim")), (std::vector<uint8_t>{1, 2, 3}));
    struct stat st {};
    ASSERT_EQ(lstat(block.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
}

TEST(OneInstance, NoPrivateFolderMeansNoCheck) {
    test::TTempDir open;
    ASSERT_EQ(chmod(open.Path().c_str(), 0777), 0);
    std::string why;
    EXPECT_FALSE(IsPrivateFolder(open.Path(), &why));
    EXPECT_NE(why.find("other users"), std::string::npos) << why;
    TOneInstance a(UniqueName("open"), 200, open.Path() + "/missing");
    EXPECT_EQ(a.Start({}), irIndependent);
}

TEST(OneInstance, OnlyOneCheckRunsPerProcess) {
    test::TTempDir runtime;
    const std::string name = UniqueName("inproc");
    {
        TOneInstance a(name, 200, runtime.Path());
        ASSERT_EQ(a.Start({}), irFirst);
        EXPECT_GE(a.NotifyFd(), 0);
        TOneInstance b(UniqueName("inproc-other"), 200, runtime.Path());
        EXPECT_EQ(b.Start({}), irIndependent);
        EXPECT_FALSE(b.LastError().empty());
        EXPECT_EQ(b.NotifyFd(), -1);
    }
    TOneInstance c(name, 200, runtime.Path());
    EXPECT_EQ(c.Start({}), irFirst) << c.LastError();
}

TEST(OneInstance, ConnectionWithoutHandOverIsDropped) {
    test::TTempDir runtime;
    const std::string name = UniqueName("foreign");
    TOneInstance a(name, 200, runtime.Path());
    ASSERT_EQ(a.Start({}), irFirst);
    pid_t pid = 0;
    uid_t uid = 1;
    const int fd = ConnectLocal(TOneInstance::ObjectPath(runtime.Path(), name, ".sock"), pid, uid);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(pid, getpid());
    EXPECT_EQ(uid, getuid());
    pollfd p{a.NotifyFd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    std::vector<std::string> params{"stale"};
    EXPECT_FALSE(a.ReceiveHandOver(params));
    EXPECT_TRUE(params.empty());
    close(fd);
    TSharedBlock block;
    ASSERT_TRUE(block.Open(TOneInstance::ObjectPath(runtime.Path(), name, ".block"), 64)) << block.LastError();
    TBlockSemaphore sem;
    ASSERT_TRUE(sem.Attach(block, 0));
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
