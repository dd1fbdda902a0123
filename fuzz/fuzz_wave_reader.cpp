// libFuzzer target: opens arbitrary bytes as a WAVE (or AVI) file through the audio
// front-end, once through the own RIFF reader and once through the system media layer,
// and reads samples in the stored format and converted to 16-bit stereo at another rate,
// from the start, the middle, the end and past the end.
#include "media/input/wave_format.h"
#include "media/input/wave_reader.h"
#include "memory_file.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace tessaly;

namespace {

void ReadAround(TWaveReader &r, std::vector<uint8_t> &buffer)
{
    const int64_t length = r.OutputLength();
    const int32_t align = std::max<int32_t>(r.BlockAlign(), 1);
    const int32_t count = int32_t(std::min<size_t>(4096, buffer.size() / size_t(align)));
    if (count < 1)
        return;
    for (int64_t at : {int64_t(0), length / 2, length - 100, length + 10}) {
        r.Seek(std::max<int64_t>(at, 0));
        r.ReadSamples(buffer.data(), count);
        r.ReadSamples(buffer.data(), 1);
    }
}

void ReadAll(TWaveReader &r)
{
    std::vector<uint8_t> buffer(1 << 18);
    // Stored format first: every sample frame of a short file, a bounded span of a long one.
    const int64_t length = r.OutputLength();
    const int32_t align = std::max<int32_t>(r.BlockAlign(), 1);
    const int32_t chunk = int32_t(buffer.size() / size_t(align));
    for (int64_t done = 0; chunk > 0 && done < std::min<int64_t>(length, 1 << 16); done += chunk)
        if (!r.ReadSamples(buffer.data(), chunk))
            break;
    ReadAround(r, buffer);
    const WAVEFORMATEX stereo = MakePcmFormat(32000, 16, 2);
    if (r.SetOutputFormat(&stereo, sizeof stereo))
        ReadAround(r, buffer);
    const WAVEFORMATEX mono = MakePcmFormat(48000, 24, 1);
    if (r.SetOutputFormat(&mono, sizeof mono))
        ReadAround(r, buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = tessaly::fuzz::WriteMemoryFile("fuzz_wave", data, size);
    if (path.empty())
        return 0;
    for (const char *kind : {"ODML|-1", "MSVW|-1"}) {
        TWaveReader reader;
        if (reader.Open(path, kind, false, 0))
            ReadAll(reader);
    }
    return 0;
}
