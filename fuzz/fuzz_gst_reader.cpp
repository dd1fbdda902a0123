// libFuzzer target: writes arbitrary bytes to a temporary file and opens it through the reader
// plug-ins' GStreamer source layer (audio, then video) with a short time-out, reading a few
// ranges of samples and frames, including ones before the start and past the end.
#include "plugins/gst/dss_handle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tessaly::gst;

namespace {

const std::string &TempFile()
{
    static const std::string name = [] {
        const char *dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/fuzz_gst_reader_" + std::to_string(getpid()) + ".bin";
    }();
    return name;
}

void ReadSome(DssHandle *h)
{
    std::vector<uint8_t> buffer(1 << 16);
    if (h->Audio) {
        const int64_t length = h->Audio->Info().Length;
        for (int64_t start : {int64_t(-100), int64_t(0), length / 2, length - 10, length + 5000})
            DssReadPcm(h, start, 1000, buffer.data());
    }
    if (h->Video) {
        const uint32_t frames = h->Video->Info().FrameCount;
        BITMAPINFOHEADER header{};
        std::vector<uint8_t> rgb;
        if (DssGetBitmapHeader(h, 0, &header) == 40 && header.biSizeImage <= (64u << 20))
            rgb.resize(header.biSizeImage);
        for (int32_t frame : {0, 1, int32_t(frames / 2), int32_t(frames) - 1, int32_t(frames) + 3})
            if (!rgb.empty())
                DssReadRgbFrame(h, frame, rgb.data(), 0, false);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *f = std::fopen(TempFile().c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    for (bool audio : {true, false}) {
        DssHandle *h = DssOpen(TempFile().c_str(), audio, !audio, 0, 2000, 0);
        if (h)
            ReadSome(h);
        DssClose(h);
    }
    std::remove(TempFile().c_str());
    return 0;
}
