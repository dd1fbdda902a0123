// TIOMovieReader: delivering pictures and stored frame data, and the image copy helpers.
#include "media/input/io_movie_reader.h"

#include "media/common/byte_order.h"

#include <cmath>
#include <cstring>

namespace tessaly {

bool TIOMovieReader::GetFrame(int32_t n, TIOImage &image)
{
    if (!HasFrame(n))
        return Fail(meParam);
    if (image.Width() != Width() || image.Height() != Height() ||
        (!FConvert && image.BitCount() != GetLE16(FOutputFormat.data() + 14)))
        return Fail(meFrameFormat);
    image.BeginUpdate();
    const bool ok = FSource->GetPicture(n, image, Mode()) || Fail(FSource->Status());
    image.EndUpdate();
    return ok;
}

// Sources with stored data: smart rendering copies it (also while decode-only hides it).
bool TIOMovieReader::CanSmartRender() const
{
    return IsOpen() && !FInputFormat.empty() && FSource->HasStoredData(TVideoReadMode{FUpsideDown, false});
}

bool TIOMovieReader::CanReadStored() const { return CanSmartRender() && FSource->HasStoredData(Mode()); }

std::vector<uint8_t> TIOMovieReader::GetStoredFormat()
{
    if (CanReadStored())
        return FInputFormat;
    if (!FOutputFormat.empty())
        return FOutputFormat;
    Fail(meState);
    return {};
}

TStoredFrame TIOMovieReader::ReadStored(int32_t n)
{
    TStoredFrame r;
    TVideoPacket packet;
    if (!HasFrame(n)) {
        Fail(meParam);
        return r;
    }
    if (!FSource->ReadStored(n, Mode(), FRaw, packet)) {
        Fail(FSource->Status());
        return r;
    }
    r.Ok = true;
    r.Size = packet.Size;
    r.KeyFrame = packet.Size > 0 && packet.KeyFrame;
    r.Data = FRaw.data();
    return r;
}

bool TIOMovieReader::IsKeyFrame(int32_t n)
{
    if (!HasFrame(n))
        return false;
    // Frames decoded in place of the stored ones (decode-only) stand alone.
    if (CanSmartRender() && !CanReadStored())
        return true;
    return FSource->IsKeyFrame(n);
}

std::vector<uint8_t> TIOMovieReader::ReadCodecData()
{
    return IsOpen() ? FSource->CodecData() : std::vector<uint8_t>();
}

namespace {

void CopyLooks(const TIOImage &source, TIOImage &target)
{
    target.SetPalette(source.Palette());
    target.SetDisplayMode(source.DisplayMode());
    target.SetZoom(source.Zoom());
    target.SetDpi(source.DpiX(), source.DpiY());
}

} // namespace

bool CopyImage(const TIOImage &source, TIOImage &target)
{
    if (!source.SameShape(target))
        return false;
    target.BeginUpdate();
    CopyLooks(source, target);
    std::memcpy(target.Bits(), source.Bits(), source.ImageSize());
    target.Changed(TIORect{0, 0, int(target.Width()) - 1, int(target.Height()) - 1});
    target.EndUpdate();
    return true;
}

bool ScaleImage(const TIOImage &source, TIOImage &target)
{
    if (source.PixelFormat() != target.PixelFormat())
        return false;
    const long double fx = (long double)source.Width() / target.Width();
    const long double fy = (long double)source.Height() / target.Height();
    target.BeginUpdate();
    CopyLooks(source, target);
    for (uint32_t y = 0; y < target.Height(); ++y) {
        const uint32_t sy = std::min(uint32_t(y * fy), source.Height() - 1);
        const uint8_t *src = source.Row(sy);
        uint8_t *dst = target.Row(y);
        for (uint32_t x = 0; x < target.Width(); ++x) {
            const uint32_t sx = std::min(uint32_t(x * fx), source.Width() - 1);
            if (source.PixelFormat() == pf24Bit)
                std::memcpy(dst + 3 * size_t(x), src + 3 * size_t(sx), 3);
            else if (source.PixelFormat() == pf8Bit)
                dst[x] = src[sx];
            else
                target.SetPixel(int(x), int(y), source.Pixel(int(sx), int(sy)));
        }
    }
    target.Changed(TIORect{0, 0, int(target.Width()) - 1, int(target.Height()) - 1});
    target.EndUpdate();
    return true;
}

} // namespace tessaly
