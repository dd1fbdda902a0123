// The walk over a RIFF AVI file's chunks that checks its OpenDML index counts.
#include "platform/riff_check.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "media/common/byte_order.h"

namespace tessaly {

namespace {

class TIndexWalk {
public:
    TIndexWalk(int fd, int64_t size) : FFd(fd), FSize(size) {}

    // Walks the chunks in [pos, end) at list depth `depth`, not into the 'movi' data; false
    // once an index is found that claims more entries than it holds (Problem says which).
    bool Walk(int64_t pos, int64_t end, int depth)
    {
        while (pos + 8 <= end && ++FChunks <= kMaxChunks) {
            uint8_t head[12];
            if (!Read(pos, head, 8))
                return true;
            const int64_t size = GetLE32(head + 4);
            const int64_t dataEnd = std::min(pos + 8 + size, end);
            const bool list = (std::memcmp(head, "LIST", 4) == 0 || std::memcmp(head, "RIFF", 4) == 0) &&
                              Read(pos, head, 12) && std::memcmp(head + 8, "movi", 4) != 0;
            if (list && depth < kMaxDepth) {
                if (!Walk(pos + 12, dataEnd, depth + 1))
                    return false;
            } else if (std::memcmp(head, "indx", 4) == 0 && !IndexFits(pos + 8, dataEnd - (pos + 8))) {
                return false;
            }
            pos += 8 + size + (size & 1);
        }
        return true;
    }

    TMediaProblem Problem;

private:
    static constexpr int64_t kMaxChunks = 100000;
    static constexpr int kMaxDepth = 8;

    bool Read(int64_t pos, uint8_t *out, size_t count) const
    {
        return pos >= 0 && pos + int64_t(count) <= FSize && ::pread(FFd, out, count, pos) == ssize_t(count);
    }
    // An index header: longs per entry (2 bytes), sub-type, type, entries in use (4 bytes),
    // then 16 bytes before the entries. A super index (type 0) points at standard indexes,
    // each of which is checked in turn.
    bool IndexFits(int64_t data, int64_t bytes)
    {
        uint8_t h[8];
        if (bytes < 8 || !Read(data, h, 8))
            return true; // too short to claim anything; the readers refuse it
        const int64_t entryBytes = int64_t(GetLE16(h)) * 4;
        const int64_t claimed = GetLE32(h + 4);
        const int64_t room = entryBytes > 0 ? std::max<int64_t>(bytes - 24, 0) / entryBytes : 0;
        if (claimed > room) {
            Problem = {wrIndexEntries, -1, {claimed, room}};
            return false;
        }
        if (h[3] != 0 || entryBytes != 16)
            return true;
        for (int64_t i = 0; i < claimed && ++FChunks <= kMaxChunks; ++i) {
            uint8_t entry[16], chunk[8];
            if (!Read(data + 24 + i * 16, entry, 16))
                return true;
            const int64_t at = int64_t(GetLE64(entry));
            if (at < 0 || !Read(at, chunk, 8))
                continue; // an entry pointing outside the file: the readers refuse it
            const int64_t size = std::min<int64_t>(GetLE32(chunk + 4), FSize - at - 8);
            uint8_t sub[8];
            // Standard indexes only: a super index pointing at one is not followed.
            if (!Read(at + 8, sub, 8) || sub[3] == 0)
                continue;
            if (!IndexFits(at + 8, size))
                return false;
        }
        return true;
    }

    int FFd;
    int64_t FSize;
    int64_t FChunks = 0;
};

} // namespace

bool AviIndexesFit(const std::string &path, TMediaProblem &problem)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return true;
    struct stat st {};
    uint8_t head[12];
    bool fits = true;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, head, 12, 0) == 12 &&
        std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0) {
        TIndexWalk walk(fd, int64_t(st.st_size));
        fits = walk.Walk(0, int64_t(st.st_size), 0);
        if (!fits)
            problem = walk.Problem;
    }
    ::close(fd);
    return fits;
}

} // namespace tessaly
