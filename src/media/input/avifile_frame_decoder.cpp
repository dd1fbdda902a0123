// The "get frame" decoder of the system media layer.
#include "media/input/avifile_frame_decoder.h"

#include "media/common/byte_order.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tessaly {

std::unique_ptr<TAviFileFrameDecoder> TAviFileFrameDecoder::Open(TAviFile &file, int stream, int outBits)
{
    AVISTREAMINFO info{};
    if (file.GetStreamInfo(stream, info) != AVIERR_OK || info.fccType != streamtypeVIDEO)
        return nullptr;
    int32_t size = 0;
    if (file.ReadFormat(stream, size, nullptr) != AVIERR_OK || size < 40)
        return nullptr;
    std::vector<uint8_t> format(size_t(size), 0);
    if (file.ReadFormat(stream, size, format.data()) != AVIERR_OK)
        return nullptr;
    std::unique_ptr<TAviFileFrameDecoder> d(new TAviFileFrameDecoder(file, stream));
    if (!d->FDecompressor.Open(format.data(), format.size(), info.fccHandler, outBits))
        return nullptr;
    d->FStart = int32_t(info.dwStart);
    uint32_t start = info.dwSuggestedBufferSize;
    if (start == 0)
        start = d->FDecompressor.OutputHeader().biSizeImage;
    d->ReserveInput(std::min<uint32_t>(start, 64u << 20));
    return d;
}

int32_t TAviFileFrameDecoder::ReadStored(int32_t k, void *buffer, int32_t bufferSize, int32_t *bytes)
{
    return FFile.Read(FStream, k, 1, buffer, bufferSize, bytes, nullptr);
}

// The layer has no key-frame search of its own: step back through its index flags.
int32_t TAviFileFrameDecoder::PrevKeyFrame(int32_t n)
{
    for (int32_t k = n; k >= FStart; --k)
        if (FFile.IsKeyFrame(FStream, k))
            return k;
    return -1;
}

bool TAviFileFrameDecoder::KeyFrame(int32_t k) { return FFile.IsKeyFrame(FStream, k); }

int32_t TAviFileFrameDecoder::EndFrame()
{
    const int32_t length = FFile.StreamLength(FStream);
    return length < 0 ? 0 : int32_t(std::min<int64_t>(int64_t(FStart) + length, INT32_MAX));
}

} // namespace tessaly
