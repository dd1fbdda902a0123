// A stereo PCM WAV file of `samples` frames filled with a fixed byte pattern, for the
// benchmarks whose projects need a long primary track but no particular sound.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace tessaly::bench {

inline bool WritePatternWav(const std::string &path, int64_t samples, uint32_t rate, uint16_t bits)
{
    std::ofstream out(path, std::ios::binary);
    auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(char(v >> (8 * i)));
    };
    const uint16_t align = uint16_t(2 * bits / 8);
    const uint32_t data = uint32_t(samples * align);
    out.write("RIFF", 4);
    put(36 + data, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(rate, 4);
    put(rate * align, 4);
    put(align, 2);
    put(bits, 2);
    out.write("data", 4);
    put(data, 4);
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = char(i * 7);
    for (int64_t left = int64_t(data); left > 0; left -= int64_t(block.size()))
        out.write(block.data(), std::min<int64_t>(left, int64_t(block.size())));
    return bool(out);
}

} // namespace tessaly::bench
