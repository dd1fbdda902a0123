// Test media for the AVI writer tests.
#include "support/avi_test_media.h"

#include <map>
#include <memory>
#include <stdexcept>

#include "support/test_support.h"

namespace tessaly::test {

namespace {

struct TFrameStore {
    TTempDir Dir;
    std::map<int, std::vector<std::vector<uint8_t>>> Sets;
};

TFrameStore &Store()
{
    static TFrameStore store;
    return store;
}

std::string Pattern(int count) { return Store().Dir.File("s" + std::to_string(count) + "_%04d.jpg"); }

} // namespace

const std::vector<std::vector<uint8_t>> &MjpegFrames(int count)
{
    TFrameStore &s = Store();
    auto it = s.Sets.find(count);
    if (it != s.Sets.end())
        return it->second;
    if (!Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -frames:v " + std::to_string(count) +
                " -c:v mjpeg -q:v 4 -start_number 0 " + ShellQuote(Pattern(count))))
        throw std::runtime_error("ffmpeg could not make MJPEG test frames");
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%d_%04d.jpg", count, i);
        frames.push_back(ReadFileBytes(s.Dir.File(name)));
    }
    return s.Sets[count] = std::move(frames);
}

std::string MjpegSourceArgs(int count)
{
    MjpegFrames(count);
    return "-f image2 -framerate 25 -start_number 0 -i " + ShellQuote(Pattern(count));
}

std::vector<uint8_t> BitmapInfo(int width, int height, uint32_t compression)
{
    std::vector<uint8_t> b(40, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, uint32_t(width));
    put32(8, uint32_t(height));
    b[12] = 1;
    b[14] = 24;
    put32(16, compression);
    put32(20, uint32_t(width * height * 3));
    return b;
}

std::vector<uint8_t> PcmPattern(int64_t firstFrame, int64_t frames, int channels)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(frames * channels * 2));
    for (int64_t f = firstFrame; f < firstFrame + frames; ++f)
        for (int c = 0; c < channels; ++c) {
            uint16_t v = uint16_t((f * 7 + c * 12345 + (f >> 8)) & 0xFFFF);
            out.push_back(uint8_t(v));
            out.push_back(uint8_t(v >> 8));
        }
    return out;
}

std::vector<uint8_t> PatternBytes(uint32_t seed, size_t size)
{
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = uint8_t(x);
    }
    return out;
}

} // namespace tessaly::test
