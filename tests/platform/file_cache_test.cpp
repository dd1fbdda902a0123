// TFileCache: write-behind buffering, clamped seeks, latched failures and modes.
#include "platform/file_cache.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessaly {
namespace {

using namespace tessaly::test;

std::vector<uint8_t> Pattern(int n, int seed = 0)
{
    std::vector<uint8_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        v[size_t(i)] = uint8_t(i * 13 + seed);
    return v;
}

TEST(FileCache, BufferIsWrittenWhenFullAndOnClose)
{
    TTempDir dir;
    std::string path = dir.File("out.bin");
    TFileCache c;
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.Flags(), TFileCache::cfClosed);
    ASSERT_TRUE(c.Open(path, 2));
    EXPECT_EQ(c.BufferSize(), 8192);
    std::vector<uint8_t> data = Pattern(8193);
    // 8192 bytes in one Write fill the buffer once and flush it at once.
    EXPECT_EQ(c.Write(data.data(), 8192), 8192);
    EXPECT_EQ(c.State(), TFileCache::csIdle);
    EXPECT_EQ(std::filesystem::file_size(path), 8192u);
    // The 8193rd byte starts a new buffer at position 8192.
    EXPECT_TRUE(c.WriteByte(data[8192]));
    EXPECT_EQ(c.State(), TFileCache::csWrite);
    EXPECT_EQ(c.BufferStart(), 8192);
    EXPECT_EQ(c.BufferLength(), 1);
    EXPECT_EQ(c.Size(), 8193);
    EXPECT_EQ(std::filesystem::file_size(path), 8192u);
    EXPECT_TRUE(c.Close());
    EXPECT_EQ(ReadFileBytes(path), data);
}

TEST(FileCache, SeekClampsAndRewritesInside)
{
    TTempDir dir;
    std::string path = dir.File("out.bin");
    TFileCache c;
    ASSERT_TRUE(c.Open(path, 2));
    std::vector<uint8_t> data = Pattern(100);
    ASSERT_TRUE(c.WriteAll(data.data(), 100));
    c.Seek(1000);
    EXPECT_EQ(c.Position(), 100);
    c.Seek(-5);
    EXPECT_EQ(c.Position(), 0);
    c.Seek(10);
    uint8_t patch[3] = {0xAA, 0xBB, 0xCC};
    ASSERT_TRUE(c.WriteAll(patch, 3));
    EXPECT_EQ(c.Size(), 100); // rewriting inside does not grow the file
    c.Seek(100);
    ASSERT_TRUE(c.WriteByte(0x55));
    EXPECT_EQ(c.Size(), 101);
    c.Close();
    data[10] = 0xAA;
    data[11] = 0xBB;
    data[12] = 0xCC;
    data.push_back(0x55);
    EXPECT_EQ(ReadFileBytes(path), data);
    // Opening an existing file in mode 0 keeps its bytes and size.
    ASSERT_TRUE(c.Open(path, 0));
    EXPECT_EQ(c.Size(), 101);
    EXPECT_EQ(c.Position(), 0);
    c.Close();
    EXPECT_EQ(ReadFileBytes(path).size(), 101u);
}

TEST(FileCache, ReadOnlyAndBadOpens)
{
    TTempDir dir;
    std::string path = dir.File("ro.bin");
    ASSERT_TRUE(WriteFileBytes(path, {1, 2, 3}));
    TFileCache c;
    ASSERT_TRUE(c.Open(path, 1));
    EXPECT_FALSE(c.Writable());
    EXPECT_FALSE(c.WriteByte(9));
    uint8_t two[2] = {7, 8};
    EXPECT_EQ(c.Write(two, 2), 0);
    c.Close();
    EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(c.Open("", 2));
    EXPECT_FALSE(c.Open(dir.File("missing.bin"), 0));
    EXPECT_FALSE(c.Open(path, 5));
    EXPECT_FALSE(c.Open(dir.File("no/such/folder.bin"), 2));
    EXPECT_FALSE(c.IsOpen());
}

TEST(FileCache, FailedWriteIsLatched)
{
    // /dev/full takes the open but refuses every byte written to it.
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TFileCache c;
    ASSERT_TRUE(c.Open("/dev/full", 0));
    std::vector<uint8_t> data = Pattern(10);
    EXPECT_TRUE(c.WriteAll(data.data(), 10)); // still in the buffer
    EXPECT_FALSE(c.Flush());
    EXPECT_EQ(c.Flags(), TFileCache::cfWriteFailed);
    EXPECT_FALSE(c.WriteByte(1));
    EXPECT_EQ(c.Write(data.data(), 10), 0);
    EXPECT_FALSE(c.Flush());
    c.Seek(0);
    EXPECT_EQ(c.Position(), 10); // ignored
    EXPECT_TRUE(c.Close());
    EXPECT_EQ(c.Flags(), TFileCache::cfClosed);
    // A write that fills the buffer reports the failed flush.
    FileCacheBufferSize = 16;
    ASSERT_TRUE(c.Open("/dev/full", 0));
    EXPECT_EQ(c.BufferSize(), 16);
    std::vector<uint8_t> more = Pattern(40);
    EXPECT_EQ(c.Write(more.data(), 40), 15);
    FileCacheBufferSize = 8192;
    c.Close();
}

TEST(FileCache, RenameAndDeleteCloseFirst)
{
    TTempDir dir;
    std::string a = dir.File("a.bin"), b = dir.File("b.bin");
    TFileCache c;
    ASSERT_TRUE(c.Open(a, 2));
    std::vector<uint8_t> data = Pattern(20);
    ASSERT_TRUE(c.WriteAll(data.data(), 20));
    EXPECT_TRUE(c.Rename(b));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(a));
    EXPECT_EQ(ReadFileBytes(b), data); // pending bytes were written before the rename
    EXPECT_FALSE(c.Rename(""));
    EXPECT_TRUE(c.Delete());
    EXPECT_FALSE(std::filesystem::exists(b));
    EXPECT_FALSE(c.Delete());
}

} // namespace
} // namespace tessaly
