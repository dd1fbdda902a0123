// A generated clip of numbered blank pictures.
#include "media/input/phantom/phantom_video.h"

#include "media/common/byte_order.h"

#include <exception>
#include <string>

namespace tessaly {

namespace {

// Largest phantom frame (bytes of one picture); a frame of 16384 x 16384 at 24 bits fits.
// A phantom frame is a real picture in memory: sizes from a project file that no frame
// buffer can hold are refused before anything is allocated.
constexpr uint64_t kMaxPhantomFrameBytes = uint64_t(1) << 30;

} // namespace

bool TPhantomVideoSource::Create(uint32_t width, uint32_t height, int32_t length, int32_t scale, int32_t rate,
                                 TIOPixelFormat format)
{
    FStatus = meOk;
    FLength = 0;
    if (width == 0 || height == 0 || width > 65535 || height > 65535 || scale <= 0 || rate <= 0 || length < 1 ||
        format > pf24Bit)
        return Fail(meParam);
    const uint64_t bits = uint64_t(BitsOfPixelFormat(format));
    if ((uint64_t(width) * bits + 31) / 32 * 4 * height > kMaxPhantomFrameBytes)
        return Fail(meMemory);
    try {
        FFormat = TIOImage(width, height, format).BitmapInfo();
    } catch (const std::exception &) {
        return Fail(meMemory);
    }
    FImageSize = GetLE32(FFormat.data() + 20);
    if (FImageSize == 0)
        return Fail(meParam);
    FWidth = width;
    FHeight = height;
    FLength = length;
    FScale = scale;
    FRate = rate;
    const std::string name = "(*)";
    TVideoStreamRecord stream = PictureStreamRecord(name, FourCC("DIB "), scale, rate, length, width, height);
    stream.Info.dwSuggestedBufferSize = FImageSize;
    stream.Info.dwSampleSize = FImageSize;
    stream.Format = FFormat;
    std::vector<TVideoStreamRecord> streams;
    streams.push_back(std::move(stream));
    Describe(name, AVIFILEINFO{}, std::move(streams), {"WrdSrcPhantom", ""}, "Dummy clip");
    return true;
}

bool TPhantomVideoSource::GetFrame(int32_t n, TIOImage &image)
{
    if (n < 0 || n >= FLength)
        return Fail(meParam);
    if (image.Width() != FWidth || image.Height() != FHeight)
        return Fail(meFrameFormat);
    image.Clear();
    image.SetTextAlign(1, 1);
    image.DrawText(int(image.Width() / 2), int(image.Height() / 2), std::to_string(n));
    return true;
}

// A generated picture has no stored packet.
bool TPhantomVideoSource::ReadPacket(int32_t, TVideoPacket &) { return Fail(meUnsupported); }

} // namespace tessaly
