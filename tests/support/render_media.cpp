// Media and checks for rendering tests.
#include "support/render_media.h"

#include <sstream>

#include "media/common/byte_order.h"
#include "support/test_support.h"

namespace tessaly::test {

int16_t IndexLeft(int64_t i, bool doubleTrack)
{
    int v = int(i & 0x7FFF);
    return int16_t(doubleTrack ? -1 - v : v);
}

int16_t IndexRight(int64_t i, bool doubleTrack)
{
    int v = int(i >> 15);
    return int16_t(doubleTrack ? -1 - v : v);
}

bool WriteIndexWave(const std::string &path, uint32_t sampleRate, int64_t samples, bool doubleTrack)
{
    const uint32_t dataBytes = uint32_t(samples * 4);
    std::string b;
    b.reserve(44 + size_t(dataBytes));
    TByteWriter w(b);
    w.U32(FourCC("RIFF"));
    w.U32(36 + dataBytes);
    w.U32(FourCC("WAVE"));
    w.U32(FourCC("fmt "));
    w.U32(16);
    w.U16(1);                 // plain PCM
    w.U16(2);                 // stereo
    w.U32(sampleRate);
    w.U32(sampleRate * 4);
    w.U16(4);
    w.U16(16);
    w.U32(FourCC("data"));
    w.U32(dataBytes);
    for (int64_t i = 0; i < samples; ++i) {
        w.U16(uint16_t(IndexLeft(i, doubleTrack)));
        w.U16(uint16_t(IndexRight(i, doubleTrack)));
    }
    return WriteFileBytes(path, std::vector<uint8_t>(b.begin(), b.end()));
}

bool MakeTestVideo(const std::string &path, int frames, int gop, const std::string &size, int fps)
{
    return Ffmpeg("-f lavfi -i testsrc=size=" + size + ":rate=" + std::to_string(fps) + " -frames:v " +
                  std::to_string(frames) + " -c:v mpeg4 -q:v 5 -g " + std::to_string(gop) + " -bf 0 " +
                  ShellQuote(path));
}

std::vector<std::string> VideoPacketHashes(const std::string &path)
{
    std::string out;
    RunCommand("ffmpeg -nostdin -hide_banner -v error -i " + ShellQuote(path) +
                   " -map 0:v -c copy -f framemd5 - 2>/dev/null",
               &out);
    std::vector<std::string> hashes;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        // stream, dts, pts, duration, size, hash
        std::vector<std::string> f;
        std::istringstream fields(line);
        for (std::string x; std::getline(fields, x, ',');)
            f.push_back(x.substr(x.find_first_not_of(' ')));
        if (f.size() >= 6)
            hashes.push_back(f[4] + " " + f[5]);
    }
    return hashes;
}

std::vector<std::string> PictureHashes(const std::string &path)
{
    std::string out;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v:0 -f framemd5 - 2>/dev/null | "
               "grep -v '^#' | sed 's/.*, //'",
               &out);
    std::vector<std::string> hashes;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        hashes.push_back(line);
    return hashes;
}

std::vector<int16_t> DecodedAudio(const std::string &path)
{
    TTempDir dir;
    std::string raw = dir.File("audio.raw");
    if (!Ffmpeg("-i " + ShellQuote(path) + " -map 0:a:0 -f s16le -c:a pcm_s16le " + ShellQuote(raw)))
        return {};
    std::vector<uint8_t> bytes = ReadFileBytes(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return samples;
}

bool DecodesCleanly(const std::string &path)
{
    std::string out;
    // Every video and audio stream, not only the one of each kind FFmpeg picks by itself.
    int status = RunCommand("ffmpeg -nostdin -hide_banner -v error -i " + ShellQuote(path) +
                                " -map 0:v? -map 0:a? -f null - 2>&1",
                            &out);
    return status == 0 && out.empty();
}

std::string FileMd5(const std::string &path)
{
    std::string out;
    if (RunCommand("md5sum " + ShellQuote(path) + " 2>/dev/null", &out) != 0)
        return {};
    return out.substr(0, out.find(' '));
}

} // namespace tessaly::test
