// Helpers for the picture tests: FFmpeg decodes, row comparisons and packet checksums.
#include "video_test_support.h"

#include "test_support.h"

#include <cstring>
#include <sstream>

extern "C" {
#include <libavutil/md5.h>
}

namespace tessaly::test {

std::string FfmpegBgr24(const std::string &input, const std::string &extraArgs)
{
    std::string out;
    const std::string cmd = "ffmpeg -nostdin -hide_banner -v error -i " + ShellQuote(input) + " " + extraArgs +
                            " -fps_mode passthrough -sws_flags bicubic -f rawvideo -pix_fmt bgr24 - </dev/null";
    if (RunCommand(cmd, &out) != 0)
        return {};
    return out;
}

int FirstDifferentRow(const uint8_t *bits, uint32_t stride, uint32_t width, uint32_t height, const uint8_t *expected)
{
    const size_t rowBytes = size_t(width) * 3;
    for (uint32_t y = 0; y < height; ++y)
        if (std::memcmp(bits + size_t(stride) * (height - 1 - y), expected + rowBytes * y, rowBytes) != 0)
            return int(y);
    return -1;
}

int FirstDifferentRow(const TIOImage &image, const uint8_t *expected)
{
    return FirstDifferentRow(image.Bits(), image.Stride(), image.Width(), image.Height(), expected);
}

std::vector<std::string> FfmpegPacketMd5(const std::string &input)
{
    std::string out;
    const std::string cmd = "ffmpeg -nostdin -hide_banner -v error -i " + ShellQuote(input) +
                            " -map 0:v:0 -c copy -f framemd5 - </dev/null";
    std::vector<std::string> sums;
    if (RunCommand(cmd, &out) != 0)
        return sums;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const size_t comma = line.rfind(',');
        if (comma == std::string::npos)
            continue;
        std::string sum = line.substr(comma + 1);
        const size_t start = sum.find_first_not_of(' ');
        sums.push_back(start == std::string::npos ? std::string() : sum.substr(start));
    }
    return sums;
}

std::string Md5Hex(const uint8_t *data, size_t size)
{
    uint8_t digest[16];
    av_md5_sum(digest, data, size);
    static const char *hex = "0123456789abcdef";
    std::string s;
    for (uint8_t b : digest) {
        s += hex[b >> 4];
        s += hex[b & 15];
    }
    return s;
}

} // namespace tessaly::test
