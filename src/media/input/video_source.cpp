// The front-end's view of a video source: its description, the default stream selection
// of decoded picture sources, and stored reads of decoded pictures.
#include "media/input/video_source.h"

#include "media/common/byte_order.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace tessaly {

std::string MovieStreamName(const std::string &fileName, const std::string &label)
{
    std::string base = fileName.substr(fileName.find_last_of('/') + 1);
    const size_t limit = label.size() < 61 ? 61 - label.size() : 0;
    if (base.size() > limit)
        base = base.substr(0, label.size() < 58 ? 58 - label.size() : 0) + "...";
    return base + " " + label;
}

void SetNameField(char (&field)[64], const std::string &text)
{
    std::fill(std::begin(field), std::end(field), '\0');
    std::copy_n(text.begin(), std::min<size_t>(text.size(), 63), field);
}

TVideoStreamRecord PictureStreamRecord(const std::string &fileName, uint32_t handler, int32_t scale, int32_t rate,
                                       int32_t frames, uint32_t width, uint32_t height)
{
    TVideoStreamRecord stream;
    AVISTREAMINFO &info = stream.Info;
    info.fccType = streamtypeVIDEO;
    info.fccHandler = handler;
    info.dwScale = uint32_t(scale);
    info.dwRate = uint32_t(rate);
    info.dwLength = uint32_t(frames);
    info.dwQuality = 0xFFFFFFFFu;
    info.rcFrame = TESSALY_RECT{0, 0, int32_t(width), int32_t(height)};
    SetNameField(info.szName, MovieStreamName(fileName, "Video #1"));
    return stream;
}

void TVideoSource::Describe(const std::string &fileName, const AVIFILEINFO &fileInfo,
                            std::vector<TVideoStreamRecord> streams, const TSourceDescription &description,
                            const std::string &fileType)
{
    FFileName = fileName;
    FFileInfo = fileInfo;
    FStreams = std::move(streams);
    FDescription = description;
    FFileType = fileType;
}

bool TVideoSource::SelectStream(int stream, bool, const TVideoOutput *first)
{
    if (stream < 0 || size_t(stream) >= FStreams.size())
        return Fail(meParam);
    FStoredPicture.reset();
    if (first) {
        FOutput = *first;
    } else {
        const std::vector<uint8_t> &f = FStreams[size_t(stream)].Format;
        const int bits = f.size() >= 16 ? GetLE16(f.data() + 14) : 0;
        if (f.size() < 40 || GetLE32(f.data() + 16) != BI_RGB || GetLE16(f.data() + 12) != 1 ||
            !(bits == 1 || bits == 4 || bits == 8 || bits == 24))
            return Fail(meFrameFormat);
        FOutput = TVideoOutput{};
        FOutput.Output = f;
    }
    if (!FFileType.empty())
        FillDisplayInfo(stream);
    return true;
}

void TVideoSource::FillDisplayInfo(int stream)
{
    AVIFILEINFO &fi = FFileInfo;
    long double bytesPerSec = 0;
    uint32_t buffers = 0;
    for (const TVideoStreamRecord &s : FStreams) {
        if (s.Info.dwScale != 0)
            bytesPerSec += (long double)s.Info.dwRate * s.Info.dwSampleSize / s.Info.dwScale;
        buffers += s.Info.dwSuggestedBufferSize;
    }
    fi.dwMaxBytesPerSec = uint32_t(std::nearbyint(std::min<long double>(bytesPerSec, UINT32_MAX)));
    fi.dwFlags = 0;
    fi.dwCaps = 0x11;
    fi.dwStreams = uint32_t(FStreams.size());
    fi.dwSuggestedBufferSize = buffers;
    const AVISTREAMINFO &v = FStreams[size_t(stream)].Info;
    fi.dwWidth = uint32_t(v.rcFrame.right - v.rcFrame.left);
    fi.dwHeight = uint32_t(v.rcFrame.bottom - v.rcFrame.top);
    fi.dwScale = v.dwScale;
    fi.dwRate = v.dwRate;
    fi.dwLength = v.dwLength;
    SetNameField(fi.szFileType, MovieStreamName(FFileName, FFileType));
}

bool TVideoSource::GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode)
{
    if (!GetFrame(n, image))
        return false;
    if (mode.UpsideDown)
        image.MirrorRotate(1);
    return true;
}

uint32_t TVideoSource::OutputWidth() const
{
    return FOutput.Output.size() >= 40 ? uint32_t(GetLE32s(FOutput.Output.data() + 4)) : 0;
}

uint32_t TVideoSource::OutputHeight() const
{
    if (FOutput.Output.size() < 40)
        return 0;
    const int32_t h = GetLE32s(FOutput.Output.data() + 8);
    return uint32_t(h < 0 ? -h : h);
}

bool TVideoSource::Reserve(std::vector<uint8_t> &buffer, size_t bytes)
{
    if (buffer.size() >= bytes)
        return true;
    try {
        buffer.resize(bytes);
    } catch (const std::bad_alloc &) {
        return Fail(meMemory);
    }
    return true;
}

// Sources without stored data hand the decoded picture to the writer as an uncompressed
// frame, in its normal orientation.
bool TVideoSource::ReadStored(int32_t n, const TVideoReadMode &, std::vector<uint8_t> &buffer, TVideoPacket &packet)
{
    if (!FStoredPicture && FOutput.Output.size() >= 40)
        FStoredPicture = TIOImage::CreateFromBitmapInfo(FOutput.Output.data(), FOutput.Output.size());
    if (!FStoredPicture)
        return Fail(meMemory);
    if (!GetFrame(n, *FStoredPicture))
        return false;
    const size_t size = FStoredPicture->ImageSize();
    if (!Reserve(buffer, size))
        return false;
    std::memcpy(buffer.data(), FStoredPicture->Bits(), size);
    packet = TVideoPacket{buffer.data(), int32_t(size), n, n, true};
    return true;
}

} // namespace tessaly
