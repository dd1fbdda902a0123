// The frame image: pixel storage, palette, pixel access, text, mirroring and change tracking.
#include "media/common/io_image.h"

#include "media/common/bitmap_header.h"
#include "media/common/byte_order.h"
#include "media/common/io_image_font.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessaly {

TIOPixelFormat PixelFormatOfBits(int bits)
{
    switch (bits) {
    case 1: return pf1Bit;
    case 4: return pf4Bit;
    case 8: return pf8Bit;
    default: return pf24Bit;
    }
}

int BitsOfPixelFormat(TIOPixelFormat format)
{
    switch (format) {
    case pf1Bit: return 1;
    case pf4Bit: return 4;
    case pf8Bit: return 8;
    default: return 24;
    }
}

uint32_t ImageStride(uint32_t width, int bits)
{
    if (width == 0 || bits <= 0)
        return 0;
    return uint32_t(((uint64_t(width) * uint32_t(bits) - 1) / 32) * 4 + 4);
}

int HighestPaletteIndex(TIOPixelFormat format)
{
    switch (format) {
    case pf1Bit: return 1;
    case pf4Bit: return 15;
    case pf8Bit: return 255;
    default: return 0;
    }
}

TIOImage::TIOImage(uint32_t width, uint32_t height, TIOPixelFormat format, uint8_t *borrowedBits,
                   const std::vector<TIOColor> *palette)
{
    Init(width, height, format, borrowedBits);
    std::vector<TIOColor> p = palette ? *palette : StandardPalette(FFormat, 0);
    for (size_t i = 0; i < p.size() && i < size_t(PaletteLength()); ++i)
        FPalette[i] = p[i];
}

void TIOImage::Init(uint32_t width, uint32_t height, TIOPixelFormat format, uint8_t *borrowed)
{
    if (width == 0 || height == 0)
        throw EIOImageError("Bitmap has no dimensions");
    if (width > 65535 || height > 65535)
        throw EIOImageError("Bitmap dimensions too large");
    if (format > pf24Bit)
        format = pf24Bit;
    FWidth = width;
    FHeight = height;
    FFormat = format;
    FStride = ImageStride(width, BitsOfPixelFormat(format));
    if (borrowed) {
        FBits = borrowed;
    } else {
        FOwned.assign(size_t(FStride) * FHeight, 0);
        FBits = FOwned.data();
    }
    FHeader.biSize = 40;
    FHeader.biWidth = int32_t(width);
    FHeader.biHeight = int32_t(height);
    FHeader.biPlanes = 1;
    FHeader.biBitCount = uint16_t(BitsOfPixelFormat(format));
    FHeader.biCompression = BI_RGB;
    FHeader.biSizeImage = FStride * FHeight;
    FHeader.biXPelsPerMeter = 3780;
    FHeader.biYPelsPerMeter = 3780;
    FHeader.biClrUsed = 0;
    FHeader.biClrImportant = 0;
    FTextColor = uint8_t(format == pf24Bit ? 255 : HighestPaletteIndex(format));
    FDirty = TIORect{};
}

std::unique_ptr<TIOImage> TIOImage::CreateFromBitmapInfo(const uint8_t *info, size_t length, uint8_t *borrowedBits)
{
    if (!info || length < 40)
        throw EIOImageError("TIOImage.CreateFromBitmapInfo: NIL parameter");
    TByteReader r(info, length);
    const uint32_t size = r.U32();
    const int32_t width = int32_t(r.U32());
    const int32_t height = int32_t(r.U32());
    r.U16();
    const int bits = r.U16();
    r.Skip(16);
    const uint32_t clrUsed = r.U32();
    const int32_t absHeight = height < 0 ? -height : height;
    if (width <= 0 || absHeight <= 0)
        throw EIOImageError("Bitmap has no dimensions");
    const TIOPixelFormat format = PixelFormatOfBits(bits);
    std::vector<TIOColor> palette;
    if (format != pf24Bit) {
        // The palette starts behind the header's own size; a short table keeps the
        // standard entries for the rest.
        palette = StandardPalette(format, 0);
        size_t count = size_t(HighestPaletteIndex(format)) + 1;
        if (clrUsed > 0 && clrUsed < count)
            count = clrUsed;
        const size_t start = std::max<size_t>(size, 40);
        for (size_t i = 0; i < count && start + 4 * i + 3 < length; ++i) {
            const uint8_t *q = info + start + 4 * i;
            palette[i] = {q[2], q[1], q[0]};
        }
    }
    auto image = std::make_unique<TIOImage>(uint32_t(width), uint32_t(absHeight), format, borrowedBits,
                                            format == pf24Bit ? nullptr : &palette);
    const int32_t xppm = int32_t(GetLE32(info + 24)), yppm = int32_t(GetLE32(info + 28));
    if (xppm > 0)
        image->FHeader.biXPelsPerMeter = xppm;
    if (yppm > 0)
        image->FHeader.biYPelsPerMeter = yppm;
    return image;
}

bool TIOImage::SameShape(const TIOImage &other) const
{
    return FWidth == other.FWidth && FHeight == other.FHeight && FFormat == other.FFormat;
}

std::vector<uint8_t> TIOImage::BitmapInfo() const
{
    std::string out;
    TByteWriter w(out);
    WriteBitmapHeader(w, FHeader);
    for (int i = 0; i < PaletteLength(); ++i) {
        w.U8(FPalette[i].B);
        w.U8(FPalette[i].G);
        w.U8(FPalette[i].R);
        w.U8(0);
    }
    return std::vector<uint8_t>(out.begin(), out.end());
}

TIOColor TIOImage::PaletteEntry(int index) const
{
    if (index < 0 || index >= PaletteLength())
        return {};
    return FPalette[index];
}

void TIOImage::SetPaletteEntry(int index, TIOColor color)
{
    if (index < 0 || index >= PaletteLength() || FPalette[index] == color)
        return;
    FPalette[index] = color;
    Notify(ckPalette);
}

void TIOImage::SetPalette(const std::vector<TIOColor> &palette)
{
    BeginUpdate();
    for (size_t i = 0; i < palette.size() && i < size_t(PaletteLength()); ++i)
        SetPaletteEntry(int(i), palette[i]);
    EndUpdate();
}

std::vector<TIOColor> TIOImage::Palette() const
{
    return std::vector<TIOColor>(FPalette, FPalette + PaletteLength());
}

void TIOImage::SetStandardPalette(int kind)
{
    if (FFormat == pf24Bit)
        return;
    std::vector<TIOColor> p = StandardPalette(FFormat, kind);
    // The spectrum of a short palette keeps the image's own first entry.
    if (kind == 3 && FFormat != pf8Bit)
        p[0] = FPalette[0];
    SetPalette(p);
}

int TIOImage::GetIndex(const uint8_t *row, uint32_t x) const
{
    switch (FFormat) {
    case pf1Bit: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case pf4Bit: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case pf8Bit: return row[x];
    default: {
        const uint8_t *p = row + 3 * size_t(x);
        return int(std::nearbyint(0.11 * p[0] + 0.59 * p[1] + 0.3 * p[2]));
    }
    }
}

void TIOImage::PutIndex(uint8_t *row, uint32_t x, int index)
{
    const uint8_t v = uint8_t(index);
    switch (FFormat) {
    case pf1Bit: {
        const uint8_t mask = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = (v & 1) ? uint8_t(row[x >> 3] | mask) : uint8_t(row[x >> 3] & ~mask);
        break;
    }
    case pf4Bit:
        if (x & 1)
            row[x >> 1] = uint8_t((row[x >> 1] & 0xF0) | (v & 0x0F));
        else
            row[x >> 1] = uint8_t((row[x >> 1] & 0x0F) | (v << 4));
        break;
    case pf8Bit: row[x] = v; break;
    default: std::memset(row + 3 * size_t(x), v, 3); break;
    }
}

int TIOImage::Pixel(int x, int y) const
{
    if (x < 0 || y < 0 || uint32_t(x) >= FWidth || uint32_t(y) >= FHeight)
        return FBackground;
    return GetIndex(Row(uint32_t(y)), uint32_t(x));
}

TIOColor TIOImage::PixelColor(int x, int y) const
{
    if (x < 0 || y < 0 || uint32_t(x) >= FWidth || uint32_t(y) >= FHeight)
        return {FBackground, FBackground, FBackground};
    const uint8_t *row = Row(uint32_t(y));
    if (FFormat == pf24Bit) {
        const uint8_t *p = row + 3 * size_t(x);
        return {p[2], p[1], p[0]};
    }
    return FPalette[GetIndex(row, uint32_t(x))];
}

void TIOImage::SetPixel(int x, int y, int index)
{
    if (x < 0 || y < 0 || uint32_t(x) >= FWidth || uint32_t(y) >= FHeight)
        return;
    PutIndex(Row(uint32_t(y)), uint32_t(x), index);
    MarkPixel(x, y);
}

void TIOImage::SetPixelColor(int x, int y, TIOColor color)
{
    if (x < 0 || y < 0 || uint32_t(x) >= FWidth || uint32_t(y) >= FHeight)
        return;
    if (FFormat == pf24Bit) {
        uint8_t *p = Row(uint32_t(y)) + 3 * size_t(x);
        p[0] = color.B;
        p[1] = color.G;
        p[2] = color.R;
    } else {
        PutIndex(Row(uint32_t(y)), uint32_t(x), NearestIndex(color));
    }
    MarkPixel(x, y);
}

int TIOImage::NearestIndex(TIOColor color) const
{
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < PaletteLength(); ++i) {
        const long dr = long(FPalette[i].R) - color.R, dg = long(FPalette[i].G) - color.G,
                   db = long(FPalette[i].B) - color.B;
        const long d = dr * dr + dg * dg + db * db;
        if (d == 0)
            return i;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

void TIOImage::Clear()
{
    uint8_t fill = FBackground;
    if (FFormat == pf1Bit)
        fill = FBackground ? 0xFF : 0x00;
    else if (FFormat == pf4Bit)
        fill = uint8_t(((FBackground & 0x0F) << 4) | (FBackground & 0x0F));
    std::memset(FBits, fill, size_t(FStride) * FHeight);
    Changed(TIORect{0, 0, int(FWidth) - 1, int(FHeight) - 1});
}

void TIOImage::SetTextAlign(int horizontal, int vertical)
{
    FTextAlignH = std::clamp(horizontal, 0, 2);
    FTextAlignV = std::clamp(vertical, 0, 2);
}

void TIOImage::DrawText(int x, int y, const std::string &text)
{
    const int count = int(text.size());
    int left = x - (FTextAlignH == 1 ? 4 * count : FTextAlignH == 2 ? 8 * count : 0);
    const int top = FTextAlignV == 0 ? y - 8 : FTextAlignV == 1 ? y - 4 : y;
    const int maxLeft = int(FWidth) - 8, maxTop = int(FHeight) - 8;
    if (count == 0 || left < 0 || top < 0 || left > maxLeft || top > maxTop)
        return;
    BeginUpdate();
    for (int c = 0; c < count && left <= maxLeft; ++c, left += 8) {
        const uint8_t *glyph = FontGlyph(static_cast<unsigned char>(text[size_t(c)]));
        for (int r = 0; r < 8; ++r) {
            uint8_t *row = Row(uint32_t(top + r));
            for (int b = 0; b < 8; ++b)
                if (glyph[r] & (0x80 >> b))
                    PutIndex(row, uint32_t(left + b), FTextColor);
        }
        Changed(TIORect{left, top, left + 7, top + 7});
    }
    EndUpdate();
}

void TIOImage::MirrorRotate(int operation)
{
    if (operation == 1 || operation == 2) {
        std::vector<uint8_t> tmp(FStride);
        for (uint32_t y = 0; y < FHeight / 2; ++y) {
            uint8_t *a = Row(y), *b = Row(FHeight - 1 - y);
            std::memcpy(tmp.data(), a, FStride);
            std::memcpy(a, b, FStride);
            std::memcpy(b, tmp.data(), FStride);
        }
    }
    if (operation == 0 || operation == 2) {
        for (uint32_t y = 0; y < FHeight; ++y) {
            uint8_t *row = Row(y);
            if (FFormat == pf24Bit) {
                for (uint32_t a = 0, b = FWidth - 1; a < b; ++a, --b)
                    for (int k = 0; k < 3; ++k)
                        std::swap(row[3 * size_t(a) + k], row[3 * size_t(b) + k]);
            } else if (FFormat == pf8Bit) {
                std::reverse(row, row + FWidth);
            } else {
                for (uint32_t a = 0, b = FWidth - 1; a < b; ++a, --b) {
                    const int va = GetIndex(row, a), vb = GetIndex(row, b);
                    PutIndex(row, a, vb);
                    PutIndex(row, b, va);
                }
            }
        }
    }
    if (operation >= 0 && operation <= 2)
        Changed(TIORect{0, 0, int(FWidth) - 1, int(FHeight) - 1});
}

void TIOImage::SetZoom(int percent)
{
    if (percent < 1)
        percent = 1;
    if (percent == FZoom)
        return;
    FZoom = percent;
    Notify(ckZoom);
}

void TIOImage::SetDisplayMode(int mode)
{
    mode = std::clamp(mode, 0, 3);
    if (mode == FDisplayMode)
        return;
    FDisplayMode = mode;
    Notify(ckDisplayMode);
}

static int PpmToDpi(int32_t ppm) { return int(std::nearbyint(ppm * 2.54 / 100.0)); }
static int32_t DpiToPpm(int dpi) { return int32_t(std::nearbyint(dpi * 100.0 / 2.54)); }

int TIOImage::DpiX() const { return PpmToDpi(FHeader.biXPelsPerMeter); }
int TIOImage::DpiY() const { return PpmToDpi(FHeader.biYPelsPerMeter); }

void TIOImage::SetDpi(int dpiX, int dpiY)
{
    FHeader.biXPelsPerMeter = DpiToPpm(dpiX);
    FHeader.biYPelsPerMeter = DpiToPpm(dpiY);
}

void TIOImage::EndUpdate()
{
    if (FUpdateCount > 0)
        --FUpdateCount;
    if (FUpdateCount == 0 && FPending != 0) {
        const TIOChangeSet kinds = FPending;
        FPending = 0;
        if (FCallback)
            FCallback(*this, kinds, FUser);
    }
}

void TIOImage::SetChangeCallback(TChangeCallback callback, void *user)
{
    FCallback = std::move(callback);
    FUser = user;
}

void TIOImage::Notify(TIOChangeKind kind)
{
    if (kind == ckPixels || kind == ckZoom)
        FNeedsRepaint = true;
    FPending = TIOChangeSet(FPending | (1u << kind));
    if (FUpdateCount == 0)
        EndUpdate();
}

void TIOImage::Changed(const TIORect &rect)
{
    if (rect.Empty())
        return;
    if (FDirty.Empty()) {
        FDirty = rect;
    } else {
        FDirty.Left = std::min(FDirty.Left, rect.Left);
        FDirty.Top = std::min(FDirty.Top, rect.Top);
        FDirty.Right = std::max(FDirty.Right, rect.Right);
        FDirty.Bottom = std::max(FDirty.Bottom, rect.Bottom);
    }
    Notify(ckPixels);
}

void TIOImage::MarkPixel(int x, int y) { Changed(TIORect{x, y, x, y}); }

TIORect TIOImage::GridDirtyRect() const
{
    if (FDirty.Empty())
        return FDirty;
    TIORect r;
    r.Left = std::max(0, FDirty.Left - FDirty.Left % FGrid);
    r.Top = std::max(0, FDirty.Top - FDirty.Top % FGrid);
    r.Right = std::min(int(FWidth) - 1, (FDirty.Right / FGrid + 1) * FGrid - 1);
    r.Bottom = std::min(int(FHeight) - 1, (FDirty.Bottom / FGrid + 1) * FGrid - 1);
    return r;
}

TIORect TIOImage::BeginPaint(bool whole)
{
    TIORect r = whole ? TIORect{0, 0, int(FWidth) - 1, int(FHeight) - 1} : GridDirtyRect();
    FDirty = TIORect{};
    if (whole)
        FNeedsRepaint = false;
    return r;
}

} // namespace tessaly
