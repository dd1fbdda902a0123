// TWaveWriter: exact file layout, fmt rules, pad bytes, the size guard and the
// finalising rules; the files are read back by TAvi2Reader and by FFmpeg.
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "media/output/wave_writer.h"
#include "platform/file_system.h"
#include "support/riff_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using namespace tessaly::test;

std::string Samples(int bytes, int seed)
{
    std::string s;
    for (int i = 0; i < bytes; ++i)
        s.push_back(char(i * 7 + seed));
    return s;
}

std::string FileText(const std::string &path)
{
    std::vector<uint8_t> b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

class WaveWriterTest : public ::testing::Test {
protected:
    TTempDir FDir;
    TWaveWriter FWriter;
};

TEST_F(WaveWriterTest, WritesExactLayoutThatFfmpegReads)
{
    std::string fmt = WaveFormat(1, 2, 44100, 16);
    ASSERT_EQ(FWriter.SetFormat(fmt.data(), int32_t(fmt.size())), meOk);
    ASSERT_EQ(FWriter.Open(FDir.File("result.avi")), meOk);
    EXPECT_EQ(FWriter.FileName(), FDir.File("result.wav"));
    std::string a = Samples(4 * 1000, 1), b = Samples(4 * 3000, 2);
    EXPECT_EQ(FWriter.Write(a.data(), 1000), meOk);
    EXPECT_EQ(FWriter.Write(b.data(), 3000), meOk);
    EXPECT_EQ(FWriter.TotalBlocks(), 4000);
    EXPECT_EQ(FWriter.Close(), meOk);
    std::string expected = "RIFF" + U32(36 + 16000) + "WAVEfmt " + U32(16) + fmt + "data" + U32(16000) + a + b;
    EXPECT_TRUE(FileText(FDir.File("result.wav")) == expected);
    std::string pcm;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(FDir.File("result.wav")) + " -f s16le -", &pcm),
              0);
    EXPECT_TRUE(pcm == a + b);
    TAvi2Reader reader;
    ASSERT_EQ(reader.Open(FDir.File("result.wav")), 0);
    AVISTREAMINFO si;
    reader.GetStreamInfo(0, si);
    EXPECT_EQ(si.dwLength, 4000u);
}

TEST_F(WaveWriterTest, OddDataSizeGetsPadByte)
{
    std::string fmt = WaveFormat(1, 1, 8000, 8);
    ASSERT_EQ(FWriter.SetFormat(fmt.data(), 16), meOk);
    ASSERT_EQ(FWriter.Open(FDir.File("odd.wav")), meOk);
    std::string a = Samples(7, 3);
    ASSERT_EQ(FWriter.Write(a.data(), 7), meOk);
    ASSERT_EQ(FWriter.Close(), meOk);
    std::string file = FileText(FDir.File("odd.wav"));
    ASSERT_EQ(file.size(), 44u + 7 + 1);
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[40])), 7u);       // excludes the pad
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[4])), 44u);       // includes it
    EXPECT_EQ(file.substr(44, 7), a);
    EXPECT_EQ(file[51], '\0');
    std::string pcm;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(FDir.File("odd.wav")) + " -f u8 -", &pcm), 0);
    EXPECT_EQ(pcm, a);
}

TEST_F(WaveWriterTest, FmtChunkLengthRules)
{
    struct TCase {
        std::string Format;
        uint32_t Written;
    } cases[] = {
        {WaveFormat(1, 2, 48000, 16, true), 16},                 // plain PCM with cbSize: 16 bytes
        {WaveFormat(2, 2, 48000, 4, true, "ab"), 20},            // non-PCM of 20 bytes: whole
        {WaveFormat(0x11, 1, 8000, 4, true, "a"), 19},           // 19 bytes: whole, padded
        {WaveFormat(1, 2, 48000, 24, true), 18},                 // 24-bit is not plain PCM
        {WaveFormat(1, 2, 48000, 16, false) .substr(0, 12) + U16(3) + U16(16), 16}, // bad align: stored 16
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Written);
        ASSERT_EQ(FWriter.SetFormat(c.Format.data(), int32_t(c.Format.size())), meOk);
        ASSERT_EQ(FWriter.Open(FDir.File("f.wav")), meOk);
        ASSERT_EQ(FWriter.Close(), meOk);
        std::string file = FileText(FDir.File("f.wav"));
        uint32_t pad = c.Written & 1;
        ASSERT_EQ(file.size(), 20 + c.Written + pad + 8);
        EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[16])), c.Written);
        EXPECT_EQ(file.substr(20, c.Written), c.Format.substr(0, c.Written));
        EXPECT_EQ(file.substr(20 + c.Written + pad, 4), "data");
        // An empty file: data size 0 and RIFF size = data chunk position.
        EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[20 + c.Written + pad + 4])), 0u);
        EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[4])), 20 + c.Written + pad);
    }
    EXPECT_TRUE(IsPlainPcmFormat(cases[0].Format.data(), 18));
    EXPECT_FALSE(IsPlainPcmFormat(cases[3].Format.data(), 18));
    EXPECT_FALSE(IsPlainPcmFormat(cases[4].Format.data(), 16));
    EXPECT_FALSE(IsPlainPcmFormat(cases[0].Format.data(), 15));
}

TEST_F(WaveWriterTest, ParameterAndStateErrors)
{
    std::string fmt = WaveFormat(1, 2, 8000, 16);
    char data[16] = {};
    EXPECT_EQ(FWriter.Write(data, 1), meState);
    EXPECT_EQ(FWriter.Open(FDir.File("x.wav")), meAudioFormat);
    EXPECT_EQ(FWriter.SetFormat(nullptr, 16), meParam);
    EXPECT_EQ(FWriter.SetFormat(fmt.data(), 15), meParam);
    ASSERT_EQ(FWriter.SetFormat(fmt.data(), 16), meOk);
    EXPECT_EQ(FWriter.Open(FDir.File("no/such/dir/x.wav")), meFileOpen);
    EXPECT_FALSE(FWriter.IsOpen());
    ASSERT_EQ(FWriter.Open(FDir.File("x.wav")), meOk);
    EXPECT_EQ(FWriter.SetFormat(fmt.data(), 16), meState);
    EXPECT_EQ(FWriter.Write(data, 0), meParam);
    EXPECT_EQ(FWriter.Write(data, -1), meParam);
    EXPECT_EQ(FWriter.Write(data, 2), meOk);
    // Until finalised the file is written under a temporary name beside the target.
    EXPECT_FALSE(FileExists(FDir.File("x.wav")));
    // Opening the next file finalises the first one.
    ASSERT_EQ(FWriter.Open(FDir.File("y.name.tmp")), meOk);
    EXPECT_EQ(FWriter.FileName(), FDir.File("y.name.wav"));
    std::string first = FileText(FDir.File("x.wav"));
    EXPECT_EQ(first.substr(0, 4), "RIFF");
    EXPECT_EQ(first.size(), 44u + 8);
    EXPECT_EQ(FWriter.Close(), meOk);
    EXPECT_EQ(FWriter.Close(), meOk);
}

TEST_F(WaveWriterTest, SizeGuardKeepsFileValid)
{
    // With a limit of one 64 KiB unit the file can grow to 65531 bytes.
    FWriter.SetSizeLimit(1);
    std::string fmt = WaveFormat(1, 1, 8000, 8);
    ASSERT_EQ(FWriter.SetFormat(fmt.data(), 16), meOk);
    ASSERT_EQ(FWriter.Open(FDir.File("big.wav")), meOk);
    std::string a = Samples(65531 - 44, 5);
    ASSERT_EQ(FWriter.Write(a.data(), int32_t(a.size())), meOk); // 65531 bytes: allowed
    EXPECT_EQ(FWriter.Write(a.data(), 1), meFileExceeds2GB);     // 65532 would reach the limit
    EXPECT_EQ(FWriter.Write(a.data(), 1), meFileWrite);          // latched
    EXPECT_EQ(FWriter.Close(), meOk);
    std::string file = FileText(FDir.File("big.wav"));
    ASSERT_EQ(file.size(), 65532u); // with the pad byte of the odd data size
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[4])), 65524u);
    EXPECT_EQ(GetLE32(reinterpret_cast<const uint8_t *>(&file[40])), uint32_t(a.size()));
    std::string pcm;
    ASSERT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(FDir.File("big.wav")) + " -f u8 -", &pcm), 0);
    EXPECT_TRUE(pcm == a);
    // The error is cleared by Close: the next file takes data again.
    ASSERT_EQ(FWriter.Open(FDir.File("next.wav")), meOk);
    EXPECT_EQ(FWriter.Write(a.data(), 10), meOk);
    EXPECT_EQ(FWriter.Close(), meOk);
}

} // namespace
} // namespace tessaly
