// TIOMovieReader: delivering pictures and stored frame data, and the image copy helpers.
#include "media/input/io_movie_segment.h"

#include "media/common/byte_order.h"

#include <cmath>
#include <cstring>

namespace tessaly {

TIOMovieReader::TSegment *TIOMovieReader::SegmentOf(int32_t n, int32_t &sample)
{
    for (size_t k = 0; k < FSegments.size(); ++k) {
        const TStream *st = Selected(k);
        if (st && n >= st->First && n <= st->Last) {
            sample = st->Start + (n - st->First);
            return FSegments[k].get();
        }
    }
    return nullptr;
}

bool TIOMovieReader::DecodedToImage(const uint8_t *decoded, TIOImage &image)
{
    const int32_t width = GetLE32s(decoded + 4), height = GetLE32s(decoded + 8);
    const int bits = GetLE16(decoded + 14);
    if (uint32_t(width) != Width() || uint32_t(height) != Height() || FOutputFormat.size() < 40 ||
        bits != GetLE16(FOutputFormat.data() + 14))
        return Fail(meFrameFormat);
    // The decoders place the pixels right behind the header and its palette, also for
    // codes beginning with "IV".
    const size_t headerSize = 40 + (bits <= 8 ? size_t(4) << bits : 0);
    const uint8_t *pixels = decoded + headerSize;
    if (bits <= 8 && image.PixelFormat() != pf24Bit) {
        std::vector<TIOColor> palette(size_t(1) << bits);
        for (size_t i = 0; i < palette.size(); ++i)
            palette[i] = {decoded[40 + 4 * i + 2], decoded[40 + 4 * i + 1], decoded[40 + 4 * i]};
        image.SetPalette(palette);
    }
    if (FConvert && (bits == 16 || bits == 32)) {
        const uint32_t stride = ImageStride(uint32_t(width), bits);
        for (int32_t r = 0; r < height; ++r) {
            // Stored rows run from the bottom picture row upwards.
            const uint8_t *src = pixels + size_t(stride) * size_t(r);
            uint8_t *dst = image.Row(uint32_t(height - 1 - r));
            for (int32_t x = 0; x < width; ++x) {
                uint8_t *d = dst + 3 * size_t(x);
                if (bits == 16) {
                    const uint16_t v = GetLE16(src + 2 * size_t(x));
                    d[0] = uint8_t((v & 0x1F) << 3);
                    d[1] = uint8_t(((v >> 5) & 0x1F) << 3);
                    d[2] = uint8_t(((v >> 10) & 0x1F) << 3);
                } else {
                    std::memcpy(d, src + 4 * size_t(x), 3);
                }
            }
        }
    } else {
        const uint32_t size = GetLE32(decoded + 20);
        std::memcpy(image.Bits(), pixels, std::min<size_t>(size, image.ImageSize()));
    }
    image.Changed(TIORect{0, 0, width - 1, height - 1});
    return true;
}

bool TIOMovieReader::GetFrame(int32_t n, TIOImage &image)
{
    int32_t sample = 0;
    TSegment *seg = IsOpen() ? SegmentOf(n, sample) : nullptr;
    if (!seg)
        return Fail(meParam);
    if (image.Width() != Width() || image.Height() != Height() ||
        (!FConvert && image.BitCount() != GetLE16(FOutputFormat.data() + 14)))
        return Fail(meFrameFormat);
    const TStream &st = seg->Streams[size_t(FVideoStreams[size_t(FSelected)])];
    image.BeginUpdate();
    bool ok = false;
    // The paths with a source class of their own; the AVI readers and plug-ins below.
    if (seg->Source) {
        ok = seg->Source->GetFrame(sample, image) || Fail(seg->Source->Status());
    } else if (FKind == ksMsvw || FKind == ksOdml) {
        const uint8_t *decoded = st.MsvwDecoder  ? st.MsvwDecoder->GetFrame(sample)
                                 : st.OdmlDecoder ? seg->Odml->GetFrame(st.OdmlDecoder, sample)
                                                  : nullptr;
        ok = decoded ? DecodedToImage(decoded, image) : Fail(meFileRead);
    } else if (FKind == ksVfap) {
        ok = ReadVfapFrame(*seg, n - st.First, image);
    } else {
        ok = Fail(meFileHandler);
    }
    if (ok && FUpsideDown && FKind != ksVfap)
        image.MirrorRotate(1);
    image.EndUpdate();
    return ok;
}

bool TIOMovieReader::ReadVfapFrame(TSegment &seg, int32_t local, TIOImage &image)
{
    if (image.PixelFormat() != pf24Bit)
        return Fail(meFrameFormat);
    // The plug-in's rows come bottom-up, or top-down to turn the picture over.
    SetTopDown(seg.Vfap.get(), FUpsideDown);
    if (ReadFrame24(seg.Vfap.get(), local, image.Bits(), image.ImageSize()) == 0)
        return Fail(HandleStatus(seg.Vfap.get()) == meOk ? meFileRead : HandleStatus(seg.Vfap.get()));
    image.Changed(TIORect{0, 0, int(image.Width()) - 1, int(image.Height()) - 1});
    return true;
}

bool TIOMovieReader::CanSmartRender() const
{
    if (!IsOpen() || FInputFormat.empty())
        return false;
    return FKind == ksMsvw || FKind == ksOdml || (FKind == ksVfap && FSegments[0]->Riff);
}

bool TIOMovieReader::CanReadStored() const { return CanSmartRender() && !(FKind == ksVfap && FDecodeOnly); }

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
    int32_t sample = 0;
    TSegment *seg = IsOpen() ? SegmentOf(n, sample) : nullptr;
    if (!seg) {
        Fail(meParam);
        return r;
    }
    const int stream = FVideoStreams[size_t(FSelected)];
    const TStream &st = seg->Streams[size_t(stream)];
    int32_t size = 0;
    bool key = true;
    switch (FKind) {
    case ksMsvw:
    case ksOdml: {
        const auto read = [&](void *buffer, int32_t bufferSize, int32_t *bytes) {
            return seg->Msvw ? seg->Msvw->Read(stream, sample, 1, buffer, bufferSize, bytes, nullptr)
                             : seg->Odml->Read(stream, sample, 1, buffer, bufferSize, bytes, nullptr);
        };
        // The size query answers as success or as "buffer too small", with the size.
        int32_t result = read(nullptr, 0, &size);
        if (result == AVIERR_BUFFERTOOSMALL)
            result = AVIERR_OK;
        if (result == AVIERR_OK && size > 0) {
            if (!EnsureRaw(size_t(size))) {
                Fail(meMemory);
                return r;
            }
            result = read(FRaw.data(), int32_t(FRaw.size()), &size);
        }
        if (result != AVIERR_OK) {
            Fail(MediaErrorFromAviErr(result));
            return r;
        }
        key = seg->Msvw ? seg->Msvw->IsKeyFrame(stream, sample) : seg->Odml->IsKeyFrame(stream, sample);
        break;
    }
    case ksVfap: {
        VfHostHandle *h = seg->Vfap.get();
        if (seg->Riff && !FDecodeOnly) {
            size = int32_t(RiffReadStream(h, VF_RIFF_SELECT_VIDEO, uint32_t(sample), nullptr, 0, 1));
            if (size > 0 && (!EnsureRaw(size_t(size)) ||
                             RiffReadStream(h, VF_RIFF_SELECT_VIDEO, uint32_t(sample), FRaw.data(),
                                            uint32_t(FRaw.size()), 1) != uint32_t(size))) {
                Fail(HandleStatus(h) == meOk ? meFileRead : HandleStatus(h));
                return r;
            }
            key = RiffIsKeyFrame(h, VF_RIFF_SELECT_VIDEO, uint32_t(sample));
        } else {
            SetTopDown(h, FUpsideDown);
            size = int32_t(FrameSize24(h));
            if (!EnsureRaw(size_t(size)) ||
                ReadFrame24(h, n - st.First, FRaw.data(), uint32_t(FRaw.size())) != uint32_t(size)) {
                Fail(HandleStatus(h) == meOk ? meFileRead : HandleStatus(h));
                return r;
            }
        }
        break;
    }
    case ksLavf:
    case ksDumy: {
        // Phantom clips: the generated picture in its normal orientation. FFmpeg container
        // videos: without smart rendering the decoded picture in the output format (the
        // packets themselves stay reachable through LavfVideo()).
        if (!FStoredPicture)
            FStoredPicture = NewFrameImage();
        if (!FStoredPicture) {
            Fail(meMemory);
            return r;
        }
        if (!seg->Source->GetFrame(sample, *FStoredPicture)) {
            Fail(seg->Source->Status());
            return r;
        }
        size = int32_t(FStoredPicture->ImageSize());
        if (!EnsureRaw(size_t(size))) {
            Fail(meMemory);
            return r;
        }
        std::memcpy(FRaw.data(), FStoredPicture->Bits(), size_t(size));
        break;
    }
    default:
        Fail(meUnsupported);
        return r;
    }
    r.Ok = true;
    r.Size = size;
    r.KeyFrame = size > 0 && key;
    r.Data = FRaw.data();
    return r;
}

bool TIOMovieReader::IsKeyFrame(int32_t n)
{
    int32_t sample = 0;
    TSegment *seg = IsOpen() ? SegmentOf(n, sample) : nullptr;
    if (!seg)
        return false;
    const int stream = FVideoStreams[size_t(FSelected)];
    switch (FKind) {
    case ksMsvw: return seg->Msvw->IsKeyFrame(stream, sample);
    case ksOdml: return seg->Odml->IsKeyFrame(stream, sample);
    case ksVfap:
        if (seg->Riff && !FDecodeOnly)
            return RiffIsKeyFrame(seg->Vfap.get(), VF_RIFF_SELECT_VIDEO, uint32_t(sample));
        return true;
    case ksLavf: return seg->Lavf->IsKeyFrame(sample);
    default: return true;
    }
}

std::vector<uint8_t> TIOMovieReader::ReadCodecData()
{
    std::vector<uint8_t> data;
    if (!IsOpen())
        return data;
    TSegment &seg = *FSegments[0];
    const int stream = FVideoStreams[size_t(FSelected)];
    const uint32_t strd = FourCC("strd");
    int32_t size = 0;
    if (seg.Msvw || seg.Odml) {
        const auto read = [&](void *buffer) {
            return seg.Msvw ? seg.Msvw->ReadData(stream, strd, size, buffer)
                            : seg.Odml->ReadData(stream, strd, size, buffer);
        };
        if (read(nullptr) != AVIERR_OK || size <= 0)
            return data;
        data.resize(size_t(size));
        if (read(data.data()) != AVIERR_OK)
            data.clear();
    } else if (FKind == ksVfap && seg.Riff) {
        const uint32_t length = RiffVideoCodecData(seg.Vfap.get(), nullptr, 0);
        if (length == 0)
            return data;
        data.resize(length);
        if (RiffVideoCodecData(seg.Vfap.get(), data.data(), length) != length)
            data.clear();
    }
    return data;
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
