// TFile64: modes, bounded reads, seeks and the reset on close.
#include "platform/file64.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tessaly {
namespace {

using namespace tessaly::test;

TEST(File64, ReadsUpToTheEndAndNotBeyond)
{
    TTempDir dir;
    std::string path = dir.File("ten.bin");
    ASSERT_TRUE(WriteFileBytes(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    TFile64 f;
    ASSERT_TRUE(f.Open(path, TFile64::fmRead));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_FALSE(f.Writable());
    EXPECT_EQ(f.Size(), 10);
    EXPECT_EQ(f.FileName(), path);
    uint8_t buf[16] = {};
    ASSERT_TRUE(f.SeekTo(4));
    EXPECT_EQ(f.Position(), 4);
    EXPECT_TRUE(f.Read(buf, 6)); // exactly up to the end
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(buf[5], 9);
    EXPECT_EQ(f.Position(), 10);
    ASSERT_TRUE(f.SeekTo(4));
    buf[0] = 0xEE;
    EXPECT_FALSE(f.Read(buf, 7)); // one byte more: refused, nothing read
    EXPECT_EQ(f.Position(), 4);
    EXPECT_EQ(buf[0], 0xEE);
    EXPECT_TRUE(f.Rewind());
    EXPECT_TRUE(f.Read(buf, 1));
    EXPECT_EQ(buf[0], 0);
    EXPECT_TRUE(f.Seek(-2, TFile64::soEnd));
    EXPECT_EQ(f.Position(), 8);
    EXPECT_TRUE(f.Seek(1, TFile64::soCurrent));
    EXPECT_EQ(f.Position(), 9);
    EXPECT_FALSE(f.SeekTo(-1));
    EXPECT_NE(f.LastError(), 0u);
    EXPECT_EQ(f.Position(), 9);
}

TEST(File64, ModesAndClose)
{
    TTempDir dir;
    std::string path = dir.File("new.bin");
    TFile64 f;
    EXPECT_FALSE(f.Open(path, TFile64::fmRead)); // does not exist yet
    EXPECT_NE(f.LastError(), 0u);
    EXPECT_FALSE(f.Open(path, 3));
    EXPECT_FALSE(f.IsOpen());
    ASSERT_TRUE(f.Open(path, TFile64::fmCreate));
    EXPECT_TRUE(f.Writable());
    EXPECT_EQ(f.Size(), 0);
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.FileName(), "");
    EXPECT_EQ(f.Handle(), -1);
    EXPECT_TRUE(f.Close()); // closing a closed object
    ASSERT_TRUE(WriteFileBytes(path, {1, 2, 3}));
    ASSERT_TRUE(f.Open(path, TFile64::fmReadWrite));
    EXPECT_EQ(f.Size(), 3);
    // Opening again closes the first file; a folder cannot be opened.
    EXPECT_FALSE(f.Open(dir.Path(), TFile64::fmRead));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Size(), 0);
    uint8_t b;
    EXPECT_FALSE(f.Read(&b, 1));
    EXPECT_FALSE(f.SeekTo(0));
}

TEST(File64, NamedPipeDoesNotBlockTheOpen)
{
    TTempDir dir;
    std::string path = dir.File("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    TFile64 f;
    // No writer: the open returns at once, and the empty pipe has nothing to read.
    ASSERT_TRUE(f.Open(path, TFile64::fmRead));
    EXPECT_EQ(f.Size(), 0);
    uint8_t b;
    EXPECT_FALSE(f.Read(&b, 1));
}

} // namespace
} // namespace tessaly
