// Tests of the FFmpeg-backed AVIFile-shaped layer on files made by the ffmpeg command:
// descriptions, formats, sample-exact PCM reads and stored video packets.
#include "platform/avi_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "media/common/byte_order.h"
#include "support/test_support.h"
#include "support/video_test_support.h"

using namespace tessaly;
using namespace tessaly::test;

namespace {

// The bytes of the first 'data' chunk of a WAV file, found by walking its chunks.
std::vector<uint8_t> WavData(const std::string &path)
{
    std::vector<uint8_t> f = ReadFileBytes(path);
    size_t p = 12;
    while (p + 8 <= f.size()) {
        uint32_t id = GetLE32(&f[p]), size = GetLE32(&f[p + 4]);
        if (id == FourCC("data"))
            return std::vector<uint8_t>(f.begin() + long(p + 8), f.begin() + long(std::min<size_t>(p + 8 + size, f.size())));
        p += 8 + size + (size & 1);
    }
    return {};
}

class AviFileTest : public ::testing::Test {
protected:
    TTempDir dir;
};

TEST_F(AviFileTest, WavDescriptionAndFormat)
{
    std::string wav = dir.File("s.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=sin(2*PI*440*t)|0.5*sin(2*PI*300*t):s=48000:d=1.5\" -c:a pcm_s16le " +
                       ShellQuote(wav)));
    TAviFile f;
    ASSERT_EQ(f.Open(wav), AVIERR_OK);
    ASSERT_EQ(f.StreamCount(), 1);
    AVISTREAMINFO si;
    ASSERT_EQ(f.GetStreamInfo(0, si), AVIERR_OK);
    EXPECT_EQ(si.fccType, streamtypeAUDIO);
    EXPECT_EQ(si.dwScale, 4u);
    EXPECT_EQ(si.dwRate, 192000u);
    EXPECT_EQ(si.dwSampleSize, 4u);
    EXPECT_EQ(si.dwStart, 0u);
    EXPECT_EQ(si.dwLength, 72000u);
    EXPECT_STREQ(si.szName, "s.wav Audio #1");
    EXPECT_EQ(f.StreamStart(0), 0);
    AVIFILEINFO fi;
    ASSERT_EQ(f.GetFileInfo(fi), AVIERR_OK);
    EXPECT_EQ(fi.dwStreams, 1u);
    EXPECT_EQ(fi.dwLength, 72000u);

    int32_t size = 0;
    ASSERT_EQ(f.ReadFormat(0, size, nullptr), AVIERR_OK);
    ASSERT_EQ(size, 18);
    uint8_t fmt[18];
    ASSERT_EQ(f.ReadFormat(0, size, fmt), AVIERR_OK);
    EXPECT_EQ(GetLE16(fmt), 1);        // PCM
    EXPECT_EQ(GetLE16(fmt + 2), 2);    // channels
    EXPECT_EQ(GetLE32(fmt + 4), 48000u);
    EXPECT_EQ(GetLE32(fmt + 8), 192000u);
    EXPECT_EQ(GetLE16(fmt + 12), 4);
    EXPECT_EQ(GetLE16(fmt + 14), 16);
    EXPECT_EQ(GetLE16(fmt + 16), 0);
    int32_t small = 10;
    EXPECT_EQ(f.ReadFormat(0, small, fmt), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(small, 18);
    EXPECT_EQ(f.ReadData(0, FourCC("strd"), size, nullptr), AVIERR_NODATA);
    EXPECT_EQ(f.GetStreamInfo(1, si), AVIERR_BADPARAM);
}

// Sample n through this layer is byte n * block align of the file's data chunk, for
// forward, backward and one-sample reads, across packet boundaries and at the end.
TEST_F(AviFileTest, WavSamplesAreExactAtEveryPosition)
{
    for (const char *codec : {"pcm_u8", "pcm_s16le", "pcm_s24le"}) {
        SCOPED_TRACE(codec);
        std::string wav = dir.File(std::string(codec) + ".wav");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i \"aevalsrc=sin(2*PI*440*t)|cos(2*PI*97*t)|0.3:s=44100:d=1\" -c:a " +
                           std::string(codec) + " " + ShellQuote(wav)));
        std::vector<uint8_t> data = WavData(wav);
        TAviFile f;
        ASSERT_EQ(f.Open(wav), AVIERR_OK);
        int32_t fmtSize = 18;
        uint8_t fmt[18];
        ASSERT_EQ(f.ReadFormat(0, fmtSize, fmt), AVIERR_OK);
        int block = GetLE16(fmt + 12);
        ASSERT_EQ(f.StreamLength(0), int32_t(data.size() / size_t(block)));
        const int32_t length = f.StreamLength(0);
        std::vector<uint8_t> buf(size_t(block) * 5000);
        for (int32_t start : {30000, 0, 1023, 1024, 44100 - 5000, 17, 44099}) {
            int32_t bytes = -1, samples = -1;
            ASSERT_EQ(f.Read(0, start, 5000, buf.data(), int32_t(buf.size()), &bytes, &samples), AVIERR_OK);
            int32_t expect = std::min(5000, length - start);
            ASSERT_EQ(samples, expect) << start;
            ASSERT_EQ(bytes, expect * block);
            ASSERT_EQ(0, std::memcmp(buf.data(), data.data() + size_t(start) * size_t(block), size_t(bytes))) << start;
        }
        // One sample frame at a time, as the mixer asks.
        for (int32_t n = 2000; n < 2600; ++n) {
            int32_t bytes = 0;
            ASSERT_EQ(f.Read(0, n, 1, buf.data(), block, &bytes, nullptr), AVIERR_OK);
            ASSERT_EQ(0, std::memcmp(buf.data(), data.data() + size_t(n) * size_t(block), size_t(block))) << n;
        }
        int32_t bytes = 0, samples = 0;
        EXPECT_EQ(f.Read(0, length, 1, buf.data(), block, &bytes, &samples), AVIERR_BADPARAM);
        EXPECT_EQ(f.Read(0, -1, 1, buf.data(), block, &bytes, &samples), AVIERR_BADPARAM);
        EXPECT_EQ(f.Read(0, 0, 2, buf.data(), block - 1, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
        EXPECT_EQ(samples, 0);
        ASSERT_EQ(f.Read(0, 10, 7, nullptr, 0, &bytes, &samples), AVIERR_OK);
        EXPECT_EQ(samples, 7);
        EXPECT_EQ(bytes, 7 * block);
    }
}

// An AVI with MPEG-4 video (a key frame every 10 frames) and PCM audio: stored packets
// equal ffmpeg's stream copy, audio equals ffmpeg's decode.
TEST_F(AviFileTest, AviVideoPacketsAndPcmAudio)
{
    std::string avi = dir.File("clip.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -f lavfi -i "
                       "\"aevalsrc=sin(2*PI*440*t):s=22050:d=2\" -c:v mpeg4 -g 10 -bf 0 -c:a pcm_s16le " +
                       ShellQuote(avi)));
    std::string rawVideo = dir.File("v.bin"), rawAudio = dir.File("a.bin");
    ASSERT_TRUE(Ffmpeg("-i " + ShellQuote(avi) + " -map 0:v -c copy -f data " + ShellQuote(rawVideo)));
    ASSERT_TRUE(Ffmpeg("-i " + ShellQuote(avi) + " -map 0:a -f s16le " + ShellQuote(rawAudio)));
    std::vector<uint8_t> video = ReadFileBytes(rawVideo), audio = ReadFileBytes(rawAudio);

    TAviFile f;
    ASSERT_EQ(f.Open(avi), AVIERR_OK);
    ASSERT_EQ(f.StreamCount(), 2);
    AVISTREAMINFO vi, ai;
    ASSERT_EQ(f.GetStreamInfo(0, vi), AVIERR_OK);
    ASSERT_EQ(f.GetStreamInfo(1, ai), AVIERR_OK);
    EXPECT_EQ(vi.fccType, streamtypeVIDEO);
    EXPECT_EQ(vi.dwLength, 50u);
    EXPECT_EQ(uint64_t(vi.dwRate) * 1, uint64_t(vi.dwScale) * 25);
    EXPECT_EQ(vi.rcFrame.right, 64);
    EXPECT_EQ(vi.rcFrame.bottom, 48);
    EXPECT_STREQ(vi.szName, "clip.avi Video #1");
    EXPECT_EQ(ai.fccType, streamtypeAUDIO);
    EXPECT_EQ(ai.dwLength, 44100u);
    int32_t size = 0;
    ASSERT_EQ(f.ReadFormat(0, size, nullptr), AVIERR_OK);
    std::vector<uint8_t> bih(size_t(size), 0);
    ASSERT_EQ(f.ReadFormat(0, size, bih.data()), AVIERR_OK);
    EXPECT_EQ(GetLE32s(&bih[4]), 64);
    EXPECT_EQ(GetLE32s(&bih[8]), 48);
    EXPECT_EQ(FourCCText(GetLE32(&bih[16])), "FMP4");

    // Every stored frame, in order and then backwards, concatenates to ffmpeg's copy.
    std::vector<uint8_t> joined;
    std::vector<std::vector<uint8_t>> frames(50);
    for (int32_t n = 49; n >= 0; --n) {
        int32_t bytes = 0, samples = 0;
        ASSERT_EQ(f.Read(0, n, 1, nullptr, 0, &bytes, &samples), AVIERR_OK);
        frames[size_t(n)].resize(size_t(bytes));
        ASSERT_EQ(f.Read(0, n, 1, frames[size_t(n)].data(), bytes, &bytes, &samples), AVIERR_OK);
        ASSERT_EQ(samples, 1);
        EXPECT_EQ(f.IsKeyFrame(0, n), n % 10 == 0) << n;
    }
    for (auto &fr : frames)
        joined.insert(joined.end(), fr.begin(), fr.end());
    EXPECT_EQ(joined, video);

    std::vector<uint8_t> pcm(audio.size());
    int32_t bytes = 0, samples = 0;
    ASSERT_EQ(f.Read(1, 0, 44100, pcm.data(), int32_t(pcm.size()), &bytes, &samples), AVIERR_OK);
    EXPECT_EQ(samples, 44100);
    EXPECT_EQ(pcm, audio);
    ASSERT_EQ(f.Read(1, 30001, 100, pcm.data(), 200, &bytes, &samples), AVIERR_OK);
    EXPECT_EQ(samples, 100);
    EXPECT_EQ(0, std::memcmp(pcm.data(), audio.data() + 60002, 200));
}

// A local file whose name looks like an FFmpeg protocol is opened as the file it is.
TEST_F(AviFileTest, NamesAreAlwaysLocalFiles)
{
    std::string wav = dir.File("concat:tone.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i \"sine=frequency=300:sample_rate=8000:duration=0.5\" -c:a pcm_s16le -f wav " +
                       ShellQuote(wav)));
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    TAviFile f;
    int32_t r = f.Open("concat:tone.wav");
    std::filesystem::current_path(old);
    ASSERT_EQ(r, AVIERR_OK);
    EXPECT_EQ(f.StreamLength(0), 4000);
    // A playlist pointing elsewhere is not followed over the network.
    std::string list = dir.File("list.m3u8");
    ASSERT_TRUE(WriteFileBytes(list, {'#', 'E', 'X', 'T', 'M', '3', 'U', '\n'}));
    std::string text = "#EXTM3U\n#EXTINF:1,\nhttp://127.0.0.1:9/a.ts\n";
    ASSERT_TRUE(WriteFileBytes(list, std::vector<uint8_t>(text.begin(), text.end())));
    EXPECT_NE(f.Open(list), AVIERR_OK);
}

// HLS playlists named like media files: refused, and the server they name (a local one
// the test starts) never sees a request.
TEST_F(AviFileTest, PlaylistsNamedLikeMediaNeverReachTheNetwork)
{
    const std::string log = dir.File("server.log");
    const int port = 20000 + int(getpid() % 20000);
    const std::string server = "python3 -m http.server " + std::to_string(port) + " --bind 127.0.0.1 --directory " +
                               ShellQuote(dir.Path()) + " >" + ShellQuote(log) + " 2>&1 & echo $!";
    std::string pid;
    ASSERT_EQ(RunCommand(server, &pid), 0);
    std::string ready;
    for (int i = 0; i < 50 && RunCommand("curl -s -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/", &ready) != 0; ++i)
        RunCommand("sleep 0.1");
    RunCommand(": > " + ShellQuote(log));   // forget the readiness probe
    const std::string text = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nhttp://127.0.0.1:" + std::to_string(port) +
                             "/seg.ts\n#EXT-X-ENDLIST\n";
    for (const char *name : {"list.avi", "list.mp3", "list.wav"}) {
        ASSERT_TRUE(WriteFileBytes(dir.File(name), std::vector<uint8_t>(text.begin(), text.end())));
        TAviFile f;
        EXPECT_NE(f.Open(dir.File(name)), AVIERR_OK) << name;
    }
    RunCommand("sleep 0.3");
    RunCommand("kill " + pid);
    const std::vector<uint8_t> requests = ReadFileBytes(log);
    EXPECT_EQ(std::string(requests.begin(), requests.end()).find("GET"), std::string::npos)
        << std::string(requests.begin(), requests.end());
}

// Damaged indexes: every stored chunk read must be the chunk the index names, whole,
// with the stream's id and size; otherwise the read fails instead of delivering other
// bytes (audio taken for video, junk after a chunk, nothing for frames cut off).
TEST_F(AviFileTest, StoredChunksMustMatchTheirIndexEntry)
{
    const std::string avi = dir.File("src.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=2 -f lavfi -i "
                       "\"sine=frequency=440:sample_rate=8000:duration=2\" -c:v mjpeg -c:a pcm_s16le " +
                       ShellQuote(avi)));
    const std::vector<uint8_t> good = ReadFileBytes(avi);
    size_t idx1 = 0;
    for (size_t i = good.size() - 8; i > 0 && !idx1; --i)
        if (std::memcmp(&good[i], "idx1", 4) == 0)
            idx1 = i;
    ASSERT_GT(idx1, 0u);
    const uint32_t length = GetLE32(&good[idx1 + 4]);
    auto variant = [&](const std::string &name, const std::function<void(std::vector<uint8_t> &, size_t)> &change) {
        std::vector<uint8_t> bytes = good;
        for (size_t e = idx1 + 8; e + 16 <= idx1 + 8 + length; e += 16)
            change(bytes, e);
        EXPECT_TRUE(WriteFileBytes(dir.File(name), bytes));
        return dir.File(name);
    };
    auto frames = [&](const std::string &file, int &read, int &failed) {
        TAviFile f;
        read = failed = 0;
        if (f.Open(file) != AVIERR_OK)
            return false;
        std::vector<uint8_t> buffer(1 << 20);
        for (int k = 0; k < f.StreamLength(0); ++k) {
            int32_t bytes = 0, samples = 0;
            if (f.Read(0, k, 1, buffer.data(), int32_t(buffer.size()), &bytes, &samples) == AVIERR_OK && samples == 1)
                ++read;
            else
                ++failed;
        }
        return true;
    };
    int read = 0, failed = 0;
    ASSERT_TRUE(frames(avi, read, failed));
    EXPECT_EQ(read, 50);
    EXPECT_EQ(failed, 0);
    const std::string swapped = variant("swapped.avi", [](std::vector<uint8_t> &b, size_t e) {
        if (std::memcmp(&b[e], "00dc", 4) == 0)
            std::memcpy(&b[e], "01wb", 4);
        else if (std::memcmp(&b[e], "01wb", 4) == 0)
            std::memcpy(&b[e], "00dc", 4);
    });
    const std::string sized = variant("sized.avi", [](std::vector<uint8_t> &b, size_t e) {
        if (std::memcmp(&b[e], "00dc", 4) == 0)
            PutLE32(&b[e + 12], GetLE32(&b[e + 12]) + 52);
    });
    for (const std::string &file : {swapped, sized})
        if (frames(file, read, failed)) {
            EXPECT_EQ(read, 0) << file;   // no frame of other or extra bytes
        }
    std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2));
    ASSERT_TRUE(WriteFileBytes(dir.File("cut.avi"), cut));
    if (frames(dir.File("cut.avi"), read, failed)) {
        EXPECT_GT(failed, 0);
        EXPECT_LT(read, 50);
    }
}

// A file cut short loses its index: whatever opens must answer every read with data or a
// failure result, never a crash or a hang, and what it delivers must be the stored bytes.
TEST_F(AviFileTest, TruncatedAviIsReadSafely)
{
    std::string avi = dir.File("cut.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=25:duration=2 -f lavfi -i "
                       "\"aevalsrc=sin(2*PI*440*t):s=8000:d=2\" -c:v mpeg4 -c:a pcm_s16le " + ShellQuote(avi)));
    std::vector<uint8_t> whole = ReadFileBytes(avi);
    whole.resize(whole.size() / 2);
    ASSERT_TRUE(WriteFileBytes(avi, whole));
    TAviFile f;
    ASSERT_EQ(f.Open(avi), AVIERR_OK); // the demuxer scans a file without index
    std::vector<uint8_t> buf(1 << 16);
    int delivered = 0;
    for (int s = 0; s < f.StreamCount(); ++s) {
        for (int32_t n = f.StreamLength(s) + 2; n >= -2; n -= 7) {
            int32_t bytes = -1, samples = -1;
            int32_t r = f.Read(s, n, 100, buf.data(), int32_t(buf.size()), &bytes, &samples);
            if (r == AVIERR_OK) {
                ++delivered;
                EXPECT_GT(samples, 0);
                EXPECT_LE(bytes, int32_t(buf.size()));
            } else {
                EXPECT_EQ(samples, 0);
            }
        }
    }
    EXPECT_GT(delivered, 0);
    // The audio that survived is ffmpeg's decode of the cut file, sample for sample.
    std::string raw = dir.File("cut.raw");
    ASSERT_TRUE(Ffmpeg("-i " + ShellQuote(avi) + " -map 0:a -f s16le " + ShellQuote(raw)));
    std::vector<uint8_t> expect = ReadFileBytes(raw);
    ASSERT_GE(expect.size(), 4000u);
    int32_t bytes = 0, samples = 0;
    ASSERT_EQ(f.Read(1, 0, 2000, buf.data(), 4000, &bytes, &samples), AVIERR_OK);
    ASSERT_EQ(samples, 2000);
    EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + 4000), std::vector<uint8_t>(expect.begin(), expect.begin() + 4000));
}

TEST_F(AviFileTest, OpenFailures)
{
    TAviFile f;
    EXPECT_EQ(f.Open(dir.File("missing.wav")), AVIERR_FILEOPEN);
    EXPECT_FALSE(f.IsOpen());
    std::string junk = dir.File("junk.wav");
    ASSERT_TRUE(WriteFileBytes(junk, std::vector<uint8_t>(3000, 0x11)));
    EXPECT_EQ(f.Open(junk), AVIERR_BADFORMAT);
    AVIFILEINFO fi;
    EXPECT_EQ(f.GetFileInfo(fi), AVIERR_BADHANDLE);
    int32_t bytes = 0;
    uint8_t b[4];
    EXPECT_EQ(f.Read(0, 0, 1, b, 4, &bytes, nullptr), AVIERR_BADHANDLE);
}

} // namespace

namespace {

// Only the containers of the AVI library are taken: a Matroska or MP4 file named ".avi"
// is refused (its index lists key frames only and its streams carry no AVI formats),
// whatever its name, while AVI and WAVE files open.
TEST_F(AviFileTest, OnlyRiffContainersAreTaken)
{
    TAviFile f;
    for (const char *format : {"matroska", "mp4", "nut"}) {
        SCOPED_TRACE(format);
        const std::string named = dir.File(std::string(format) + ".avi");
        ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4 -g 5 -f " +
                           std::string(format) + " " + ShellQuote(named)));
        EXPECT_EQ(f.Open(named), AVIERR_BADFORMAT);
        EXPECT_FALSE(f.IsOpen());
    }
    const std::string avi = dir.File("real.avi"), wav = dir.File("real.wav");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v mpeg4 " + ShellQuote(avi)));
    ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=duration=0.5 " + ShellQuote(wav)));
    EXPECT_EQ(f.Open(avi), AVIERR_OK);
    EXPECT_EQ(f.Open(wav), AVIERR_OK);
}

// An AVI without any index: every frame is listed and read, not only the first.
TEST_F(AviFileTest, AviWithoutIndexListsEveryFrame)
{
    const std::string avi = dir.File("noindex.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25:duration=0.48 -c:v rawvideo -pix_fmt bgr24 " +
                       ShellQuote(avi)));
    const std::vector<std::string> packets = FfmpegPacketMd5(avi);
    ASSERT_EQ(packets.size(), 12u);
    std::vector<uint8_t> bytes = ReadFileBytes(avi);
    const std::string text(bytes.begin(), bytes.end());
    const size_t idx1 = text.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    std::memcpy(&bytes[idx1], "JUNK", 4);
    ASSERT_TRUE(WriteFileBytes(avi, bytes));
    TAviFile f;
    ASSERT_EQ(f.Open(avi), AVIERR_OK);
    ASSERT_EQ(f.StreamLength(0), 12);
    std::vector<uint8_t> frame(64 * 48 * 3);
    for (int32_t n : {11, 0, 5}) {
        int32_t got = 0;
        ASSERT_EQ(f.Read(0, n, 1, frame.data(), int32_t(frame.size()), &got, nullptr), AVIERR_OK) << n;
        EXPECT_EQ(Md5Hex(frame.data(), size_t(got)), packets[size_t(n)]) << n;
        EXPECT_TRUE(f.IsKeyFrame(0, n)) << n;
    }
}

} // namespace
