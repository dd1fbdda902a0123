// TAvi2Decoder: decoder instances over the own AVI reader.
#include "media/input/avi2_decoder.h"

#include "media/common/byte_order.h"

#include <algorithm>
#include <cstdint>

namespace tessaly {

const BITMAPINFOHEADER *TAvi2Decoder::BestDisplayFormat()
{
    static const BITMAPINFOHEADER marker{};
    return &marker;
}

TAvi2Decoder::~TAvi2Decoder() { FInstances.clear(); }

int32_t TAvi2Decoder::Open(const std::string &fileName)
{
    FInstances.clear();
    return TAvi2Reader::Open(fileName);
}

void TAvi2Decoder::Close()
{
    FInstances.clear();
    TAvi2Reader::Close();
}

TAvi2FrameDecoder *TAvi2Decoder::GetFrameOpen(int stream, const BITMAPINFOHEADER *wanted)
{
    if (!IsValid() || stream < 0 || stream >= StreamCount() || StreamKind(stream) != skVideo)
        return nullptr;
    std::unique_ptr<TAvi2FrameDecoder> d(new TAvi2FrameDecoder(*this, stream));
    GetStreamInfo(stream, d->FInfo);
    int32_t size = 0;
    if (ReadFormat(stream, size, nullptr) != AVIERR_OK || size < 40)
        return nullptr;
    d->FFormat.resize(size_t(size));
    if (ReadFormat(stream, size, d->FFormat.data()) != AVIERR_OK)
        return nullptr;
    const int inBits = d->FFormat[14] | (d->FFormat[15] << 8);
    const uint32_t compression = GetLE32(d->FFormat.data() + 16);
    int outBits;
    if (wanted == BestDisplayFormat())
        outBits = 24;
    else if (wanted)
        outBits = wanted->biBitCount;
    else
        outBits = compression == BI_RGB && (inBits == 1 || inBits == 4 || inBits == 8) ? inBits : 24;
    if (!d->FDecompressor.Open(d->FFormat.data(), d->FFormat.size(), d->FInfo.fccHandler, outBits))
        return nullptr;
    // The input buffer starts at the stream's suggested size, or the picture size.
    uint32_t start = d->FInfo.dwSuggestedBufferSize;
    if (start == 0)
        start = d->FDecompressor.OutputHeader().biSizeImage;
    d->ReserveInput(std::min<uint32_t>(start, 64u << 20));
    FInstances.push_back(std::move(d));
    return FInstances.back().get();
}

const uint8_t *TAvi2Decoder::GetFrame(TAvi2FrameDecoder *instance, int32_t n)
{
    auto it = std::find_if(FInstances.begin(), FInstances.end(), [&](auto &p) { return p.get() == instance; });
    if (!instance || it == FInstances.end())
        return nullptr;
    return instance->GetFrame(n);
}

int32_t TAvi2Decoder::GetFrameClose(TAvi2FrameDecoder *instance)
{
    auto it = std::find_if(FInstances.begin(), FInstances.end(), [&](auto &p) { return p.get() == instance; });
    if (!instance || it == FInstances.end())
        return AVIERR_BADHANDLE;
    FInstances.erase(it);
    return AVIERR_OK;
}

int32_t TAvi2FrameDecoder::ReadStored(int32_t k, void *buffer, int32_t bufferSize, int32_t *bytes)
{
    return FReader.Read(FStream, k, 1, buffer, bufferSize, bytes, nullptr);
}

int32_t TAvi2FrameDecoder::PrevKeyFrame(int32_t n)
{
    return FReader.FindSample(FStream, n, FIND_PREV | FIND_KEY);
}

bool TAvi2FrameDecoder::KeyFrame(int32_t k) { return FReader.IsKeyFrame(FStream, k); }

int32_t TAvi2FrameDecoder::EndFrame() { return int32_t(std::min<int64_t>(int64_t(FInfo.dwStart) + FInfo.dwLength, INT32_MAX)); }

} // namespace tessaly
