// TAvi2Reader against FFmpeg: files written by the ffmpeg command from lavfi sources
// must give the same stored video packets (MD5 per packet), key frames and PCM bytes.
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "support/riff_builder.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/md5.h>
}

#include <sstream>

namespace tessaly {
namespace {

using namespace tessaly::test;

std::string Md5Hex(const std::string &data)
{
    uint8_t sum[16];
    av_md5_sum(sum, reinterpret_cast<const uint8_t *>(data.data()), int(data.size()));
    static const char *digits = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : sum) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// FFmpeg's view of the stored video packets: size and MD5 per packet, in order.
std::vector<std::pair<int, std::string>> FfmpegPackets(const std::string &file)
{
    std::string out;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -map 0:v -c copy -f framemd5 -",
                         &out),
              0);
    std::vector<std::pair<int, std::string>> packets;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> fields;
        std::istringstream f(line);
        std::string field;
        while (std::getline(f, field, ','))
            fields.push_back(field.substr(field.find_first_not_of(' ')));
        if (fields.size() == 6)
            packets.emplace_back(std::stoi(fields[4]), fields[5]);
    }
    return packets;
}

// FFmpeg's key-frame flags of the video packets.
std::vector<bool> FfmpegKeyFlags(const std::string &file)
{
    std::string out;
    EXPECT_EQ(RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " +
                             ShellQuote(file),
                         &out),
              0);
    std::vector<bool> keys;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty())
            keys.push_back(line[0] == 'K');
    return keys;
}

// FFmpeg's PCM bytes of the first audio stream in the given raw format (s16le, u8).
std::string FfmpegPcm(const std::string &file, const std::string &format)
{
    std::string out;
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file) + " -map 0:a:0 -f " + format + " -",
                         &out),
              0);
    return out;
}

// Reads every sample of a stream in requests of `chunk` samples.
std::string ReadAll(TAvi2Reader &r, int stream, int32_t chunk)
{
    AVISTREAMINFO si;
    r.GetStreamInfo(stream, si);
    std::string all;
    std::vector<char> buf(1 << 20);
    for (int64_t s = si.dwStart; s < int64_t(si.dwStart) + si.dwLength;) {
        int32_t bytes = 0, samples = 0;
        EXPECT_EQ(r.Read(stream, int32_t(s), chunk, buf.data(), int32_t(buf.size()), &bytes, &samples), 0);
        if (samples <= 0)
            break;
        all.append(buf.data(), size_t(bytes));
        s += samples;
    }
    return all;
}

void ExpectVideoEqualsFfmpeg(TAvi2Reader &r, const std::string &file)
{
    auto packets = FfmpegPackets(file);
    auto keys = FfmpegKeyFlags(file);
    ASSERT_EQ(r.VideoStreamCount(), 1);
    int v = r.VideoStream(0);
    AVISTREAMINFO si;
    r.GetStreamInfo(v, si);
    ASSERT_EQ(packets.size(), size_t(si.dwLength));
    ASSERT_EQ(keys.size(), packets.size());
    std::vector<char> buf(1 << 20);
    for (size_t i = 0; i < packets.size(); ++i) {
        int32_t bytes = 0, samples = 0;
        ASSERT_EQ(r.Read(v, int32_t(i), 1, buf.data(), int32_t(buf.size()), &bytes, &samples), 0);
        EXPECT_EQ(bytes, packets[i].first) << "frame " << i;
        EXPECT_EQ(Md5Hex(std::string(buf.data(), size_t(bytes))), packets[i].second) << "frame " << i;
        EXPECT_EQ(r.IsKeyFrame(v, int32_t(i)), bool(keys[i])) << "frame " << i;
    }
}

class Avi2ReaderFfmpegTest : public ::testing::Test {
protected:
    TTempDir FDir;
    TAvi2Reader FReader;
};

TEST_F(Avi2ReaderFfmpegTest, Mpeg4WithStereoPcm)
{
    std::string f = FDir.File("mpeg4.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=160x120:rate=25:duration=3 -f lavfi "
                       "-i sine=frequency=440:sample_rate=44100:duration=3 -ac 2 -c:v mpeg4 -g 10 "
                       "-c:a pcm_s16le " + ShellQuote(f)));
    ASSERT_EQ(FReader.Open(f), 0);
    EXPECT_EQ(FReader.AudioStreamCount(), 1);
    ExpectVideoEqualsFfmpeg(FReader, f);
    std::string pcm = FfmpegPcm(f, "s16le");
    ASSERT_EQ(pcm.size(), size_t(44100 * 3 * 4));
    int a = FReader.AudioStream(0);
    EXPECT_TRUE(ReadAll(FReader, a, 1000) == pcm);
    EXPECT_TRUE(ReadAll(FReader, a, 44100 * 3) == pcm);
    // The key frames every 10 frames are found from either side.
    EXPECT_EQ(FReader.FindSample(FReader.VideoStream(0), 15, FIND_PREV | FIND_KEY), 10);
    EXPECT_EQ(FReader.FindSample(FReader.VideoStream(0), 15, FIND_NEXT | FIND_KEY), 20);
}

TEST_F(Avi2ReaderFfmpegTest, MjpegWithEightBitMonoPcm)
{
    std::string f = FDir.File("mjpeg.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=30:duration=2 -f lavfi "
                       "-i sine=frequency=1000:sample_rate=22050:duration=2 -c:v mjpeg -q:v 5 "
                       "-c:a pcm_u8 " + ShellQuote(f)));
    ASSERT_EQ(FReader.Open(f), 0);
    ExpectVideoEqualsFfmpeg(FReader, f);
    AVIFILEINFO fi;
    FReader.GetFileInfo(fi);
    EXPECT_EQ(fi.dwCaps, uint32_t(AVIFILECAPS_CANREAD | AVIFILECAPS_ALLKEYFRAMES));
    EXPECT_TRUE(ReadAll(FReader, FReader.AudioStream(0), 777) == FfmpegPcm(f, "u8"));
}

TEST_F(Avi2ReaderFfmpegTest, WaveFilesOfEightAndSixteenBits)
{
    struct TCase {
        const char *Name, *Codec, *Raw;
        int Channels, Rate;
    } cases[] = {
        {"u8_mono.wav", "pcm_u8", "u8", 1, 11025},
        {"s16_mono.wav", "pcm_s16le", "s16le", 1, 44100},
        {"s16_stereo.wav", "pcm_s16le", "s16le", 2, 48000},
        {"u8_quad.wav", "pcm_u8", "u8", 4, 8000},
        {"s16_six.wav", "pcm_s16le", "s16le", 6, 48000},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        std::string f = FDir.File(c.Name);
        // An odd duration gives an odd sample count (and an odd 8-bit mono data size).
        ASSERT_TRUE(Ffmpeg("-f lavfi -i sine=frequency=300:sample_rate=" + std::to_string(c.Rate) +
                           ":duration=1.2345 -ac " + std::to_string(c.Channels) + " -c:a " + c.Codec + " " +
                           ShellQuote(f)));
        ASSERT_EQ(FReader.Open(f), 0);
        AVISTREAMINFO si;
        FReader.GetStreamInfo(0, si);
        int block = c.Channels * (std::string(c.Codec) == "pcm_u8" ? 1 : 2);
        EXPECT_EQ(si.dwSampleSize, uint32_t(block));
        EXPECT_EQ(si.dwRate, uint32_t(c.Rate * block));
        std::string pcm = FfmpegPcm(f, c.Raw);
        EXPECT_EQ(uint64_t(si.dwLength) * uint32_t(block), pcm.size());
        EXPECT_TRUE(ReadAll(FReader, 0, 333) == pcm);
    }
}

TEST_F(Avi2ReaderFfmpegTest, OpenDmlIndexesOfRealFileAgreeWithIdx1)
{
    // FFmpeg writes OpenDML indexes only beyond 1 GiB. Its small files reserve a
    // 'JUNK' chunk in each 'strl' for the 'indx' and one in 'hdrl' for the 'odml'
    // list: filling them in turns the file into an OpenDML file whose indexes must
    // give exactly the entries that its 'idx1' gave.
    std::string f = FDir.File("small.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10:duration=2 -f lavfi "
                       "-i sine=sample_rate=8000:duration=2 -c:v mpeg4 -g 5 -c:a pcm_s16le " + ShellQuote(f)));
    ASSERT_EQ(FReader.Open(f), 0);
    ASSERT_EQ(FReader.StreamCount(), 2);
    std::vector<std::vector<TAvi2IndexEntry>> before;
    std::vector<uint32_t> ids;
    for (int s = 0; s < 2; ++s) {
        before.push_back(FReader.StreamRecord(s)->Entries);
        ids.push_back(FReader.StreamRecord(s)->ChunkId);
    }
    std::string video = ReadAll(FReader, 0, 1), audio = ReadAll(FReader, 1, 500);
    FReader.Close();

    std::vector<uint8_t> bytes = ReadFileBytes(f);
    std::string d(bytes.begin(), bytes.end());
    size_t at = 0;
    for (int s = 0; s < 2; ++s) {
        at = d.find("JUNK", d.find("strf", at));
        ASSERT_NE(at, std::string::npos);
        uint32_t room = GetLE32(reinterpret_cast<const uint8_t *>(&d[at + 4]));
        std::string ix = U16(2) + std::string(1, '\0') + std::string(1, '\1') +
                         U32(uint32_t(before[size_t(s)].size())) + U32(ids[size_t(s)]) + U64(0) + U32(0);
        for (const TAvi2IndexEntry &e : before[size_t(s)])
            ix += U32(uint32_t(e.Position)) + U32(uint32_t(e.Size) | ((e.Flags & AVIIF_KEYFRAME) ? 0 : 0x80000000u));
        ASSERT_LE(ix.size(), room);
        ix.resize(room, '\0');
        d.replace(at, 8 + room, "indx" + U32(room) + ix);
    }
    size_t hdrlJunk = d.find("JUNK", at + 8);
    ASSERT_NE(hdrlJunk, std::string::npos);
    uint32_t junkSize = GetLE32(reinterpret_cast<const uint8_t *>(&d[hdrlJunk + 4]));
    ASSERT_GE(junkSize, 4u + 8u + 4u);
    std::string odml = "LIST" + U32(junkSize) + "odml" + "dmlh" + U32(junkSize - 12) + U32(20);
    odml.resize(8 + junkSize, '\0');
    d.replace(hdrlJunk, 8 + junkSize, odml);
    std::string g = FDir.File("odml.avi");
    ASSERT_TRUE(WriteFileBytes(g, std::vector<uint8_t>(d.begin(), d.end())));

    ASSERT_EQ(FReader.Open(g), 0);
    for (int s = 0; s < 2; ++s) {
        const auto &after = FReader.StreamRecord(s)->Entries;
        ASSERT_EQ(after.size(), before[size_t(s)].size());
        for (size_t i = 0; i < after.size(); ++i) {
            const TAvi2IndexEntry &x = after[i], &y = before[size_t(s)][i];
            EXPECT_TRUE(x.Position == y.Position && x.Size == y.Size && x.FirstSample == y.FirstSample &&
                        x.SampleCount == y.SampleCount && x.Flags == y.Flags)
                << "stream " << s << " entry " << i;
        }
    }
    char buf[300];
    int32_t size = sizeof buf;
    EXPECT_EQ(FReader.ReadFileData(FourCC("dmlh"), size, buf), 0);
    EXPECT_TRUE(ReadAll(FReader, 0, 1) == video);
    EXPECT_TRUE(ReadAll(FReader, 1, 500) == audio);
    // FFmpeg reads the converted file the same way.
    ExpectVideoEqualsFfmpeg(FReader, g);
    EXPECT_TRUE(audio == FfmpegPcm(g, "s16le"));
}

} // namespace
} // namespace tessaly
