// libFuzzer target: opens arbitrary bytes as an AVI/OpenDML/WAVE file and reads
// everything the reader offers (descriptions, chunks, every sample, searches).
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "memory_file.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace tessaly;

namespace {

void ReadEverything(TAvi2Reader &r)
{
    AVIFILEINFO fi;
    r.GetFileInfo(fi);
    std::vector<char> buf(1 << 16);
    int32_t size = int32_t(buf.size());
    r.ReadFileData(FourCC("avih"), size, buf.data());
    size = int32_t(buf.size());
    r.ReadFileData(FourCC("dmlh"), size, buf.data());
    for (int s = 0; s < r.StreamCount(); ++s) {
        AVISTREAMINFO si;
        r.GetStreamInfo(s, si);
        for (uint32_t id : {FourCC("strh"), FourCC("strf"), FourCC("strn"), FourCC("indx"), FourCC("fmt ")}) {
            size = int32_t(buf.size());
            r.ReadData(s, id, size, buf.data());
            size = 7;
            r.ReadData(s, id, size, buf.data());
        }
        size = 0;
        r.ReadFormat(s, size, nullptr);
        const int64_t first = si.dwStart, end = first + si.dwLength;
        int32_t bytes = 0, samples = 0;
        for (int64_t p = first; p < end;) {
            if (r.Read(s, int32_t(p), 333, buf.data(), int32_t(buf.size()), &bytes, &samples) != 0 || samples <= 0) {
                r.Read(s, int32_t(p), 1, nullptr, 0, &bytes, &samples);
                ++p;
            } else {
                p += samples;
            }
        }
        r.Read(s, int32_t(first), -1, nullptr, 0, &bytes, &samples);
        r.Read(s, int32_t(end - 1), 5, buf.data(), 3, &bytes, &samples);
        const uint32_t dirs[] = {FIND_NEXT, FIND_PREV, FIND_FROM_START};
        const uint32_t types[] = {FIND_KEY, FIND_ANY};
        const uint32_t rets[] = {FIND_POS, FIND_LENGTH, FIND_OFFSET, FIND_SIZE, FIND_INDEX};
        const int64_t probes[] = {first - 1, first, (first + end) / 2, end - 1, end};
        for (uint32_t d : dirs)
            for (uint32_t t : types)
                for (uint32_t k : rets)
                    for (int64_t p : probes)
                        r.FindSample(s, int32_t(p), d | t | k);
        for (int64_t p : probes)
            r.IsKeyFrame(s, int32_t(p));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = tessaly::fuzz::WriteMemoryFile("fuzz_avi", data, size);
    if (path.empty())
        return 0;
    TAvi2Reader reader;
    reader.SetStartAtZero(size & 1);
    if (reader.Open(path) == 0)
        ReadEverything(reader);
    return 0;
}
