// TSafeFile: the result is written without a name (or under a hidden temporary one) and
// appears under the target name only when committed; a process killed while writing
// leaves the folder as it was.
#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/safe_file.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::TTempDir;

std::vector<std::string> Listing(const TTempDir &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool WriteAll(int fd, const std::string &text)
{
    return ::write(fd, text.data(), text.size()) == ssize_t(text.size());
}

TEST(SafeFile, TheResultAppearsWholeUnderItsNameOnlyWhenCommitted)
{
    TTempDir dir;
    const std::string target = dir.File("result.mkv");
    ASSERT_TRUE(test::WriteFileBytes(target, {'o', 'l', 'd'}));
    TSafeFile file;
    const int fd = file.Create(target);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "new result"));
    // This folder (ext4 or tmpfs) has unnamed files: nothing new is visible while writing.
    ASSERT_TRUE(file.Unnamed()) << "the test folder's file system has no O_TMPFILE";
    EXPECT_TRUE(file.TempName().empty());
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"result.mkv"});
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
    ASSERT_EQ(::fsync(fd), 0);
    ASSERT_EQ(::close(fd), 0);
    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(file.Pending());
    const std::string text = "new result";
    EXPECT_EQ(test::ReadFileBytes(target), std::vector<uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"result.mkv"});
    // Permissions as a file created by open(0666) under the umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(std::filesystem::status(target).permissions(),
              std::filesystem::perms(0666 & ~mask));

    // Discarded (and destroyed) without a commit: the folder is as it was.
    {
        TSafeFile dropped;
        const int other = dropped.Create(target);
        ASSERT_GE(other, 0);
        ASSERT_TRUE(WriteAll(other, "half"));
        ::close(other);
    }
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"result.mkv"});
    EXPECT_EQ(test::ReadFileBytes(target), std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(SafeFile, AProcessKilledWhileWritingLeavesNoFile)
{
    TTempDir dir;
    const std::string target = dir.File("killed.mkv");
    ASSERT_TRUE(test::WriteFileBytes(target, {'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Writes a megabyte, tells the parent, then waits to be killed.
        TSafeFile file;
        const int fd = file.Create(target);
        const std::string block(1 << 20, 'x');
        const char state = fd >= 0 && WriteAll(fd, block) ? 'w' : 'e';
        if (::write(ready[1], &state, 1) != 1)
            _exit(3);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(state, 'w');
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"killed.mkv"});
    EXPECT_EQ(test::ReadFileBytes(target), (std::vector<uint8_t>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
}

TEST(SafeFile, AFolderAsTargetIsRefused)
{
    TTempDir dir;
    std::filesystem::create_directory(dir.File("sub"));
    TSafeFile file;
    EXPECT_EQ(file.Create(dir.File("sub")), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(file.Create(dir.File("missing/x.mkv")), -1);
    EXPECT_FALSE(file.Pending());
}

} // namespace
} // namespace tessaly
