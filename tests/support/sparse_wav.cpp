// Sparse WAV files: header and a few samples written, the length made by truncation.
#include "support/sparse_wav.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace tessaly::test {

namespace {

void Put(std::vector<uint8_t> &b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

bool WriteSparseWav(const std::string &path, uint32_t rate, int channels, int64_t frames,
                    const std::vector<int64_t> &loud)
{
    const int64_t block = 2 * int64_t{channels};
    const int64_t data = frames * block;
    if (channels < 1 || frames < 0 || data + 36 > int64_t{0xFFFFFFFF})
        return false;
    std::vector<uint8_t> h;
    h.insert(h.end(), {'R', 'I', 'F', 'F'});
    Put(h, uint32_t(data + 36), 4);
    h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(h, 16, 4);
    Put(h, 1, 2);
    Put(h, uint32_t(channels), 2);
    Put(h, rate, 4);
    Put(h, uint32_t(rate * block), 4);
    Put(h, uint32_t(block), 2);
    Put(h, 16, 2);
    h.insert(h.end(), {'d', 'a', 't', 'a'});
    Put(h, uint32_t(data), 4);
    const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, h.data(), h.size()) == ssize_t(h.size());
    for (int64_t at : loud) {
        if (at < 0 || at + 1 >= frames)
            continue;
        std::vector<int16_t> two(size_t(2 * channels), int16_t{-3000});
        std::fill(two.begin() + channels, two.end(), int16_t{9000});
        const ssize_t bytes = ssize_t(two.size() * sizeof(int16_t));
        ok = ok && ::pwrite(fd, two.data(), size_t(bytes), off_t(44 + at * block)) == bytes;
    }
    ok = ok && ::ftruncate(fd, off_t(44 + data)) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace tessaly::test
