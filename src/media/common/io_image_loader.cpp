// Still-image loading: the handler table, file reading, and the bounds-checked BMP parser.
#include "media/common/io_image_loader.h"

#include "media/common/byte_order.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <new>
#include <sys/stat.h>

namespace tessaly {
namespace {

// Larger files are no still image this program can hold (65535 x 65535 x 3 bytes is
// about 12 GiB, but no real picture comes near that).
constexpr uint64_t kMaxImageFile = 512ull << 20;

bool ProbeBmp(const uint8_t *d, size_t n) { return n >= 26 && d[0] == 'B' && d[1] == 'M'; }
bool ProbePng(const uint8_t *d, size_t n)
{
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return n >= 8 && std::memcmp(d, sig, 8) == 0;
}
bool ProbeJpeg(const uint8_t *d, size_t n) { return n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF; }

// One colour channel of a packed pixel scaled to 8 bits by shifting, as 5-5-5 pixels
// are widened elsewhere in the program.
uint8_t Channel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    uint32_t v = (pixel & mask) >> shift;
    if (width < 8)
        v <<= (8 - width);
    else if (width > 8)
        v >>= (width - 8);
    return uint8_t(v);
}

struct TBmpInfo {
    int32_t Width = 0, Height = 0;
    int Bits = 0;
    uint32_t Compression = BI_RGB, ClrUsed = 0;
    int32_t XPpm = 0, YPpm = 0;
    uint32_t Masks[3] = {0, 0, 0};
    size_t PaletteAt = 0, PaletteEntrySize = 4;
};

// Reads the file and information headers; false for anything not understood.
bool ParseBmpHeader(const std::vector<uint8_t> &f, TBmpInfo &info)
{
    TByteReader r(f.data(), f.size());
    r.Skip(14);
    const uint32_t headerSize = r.U32();
    if (headerSize == 12) {
        info.Width = r.U16();
        info.Height = r.U16();
        r.U16();
        info.Bits = r.U16();
        info.PaletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 1024) {
        info.Width = int32_t(r.U32());
        info.Height = int32_t(r.U32());
        r.U16();
        info.Bits = r.U16();
        info.Compression = r.U32();
        r.U32();
        info.XPpm = int32_t(r.U32());
        info.YPpm = int32_t(r.U32());
        info.ClrUsed = r.U32();
        r.U32();
        // Bit masks follow a 40-byte header, or are part of a longer one.
        if (info.Compression == BI_BITFIELDS)
            for (uint32_t &m : info.Masks)
                m = r.U32();
    } else {
        return false;
    }
    if (r.Failed())
        return false;
    info.PaletteAt = 14 + headerSize + (headerSize == 40 && info.Compression == BI_BITFIELDS ? 12 : 0);
    return true;
}

TIOLoadStatus ConvertPacked(const std::vector<uint8_t> &f, const TBmpInfo &info, size_t srcStride, size_t offBits,
                            bool topDown, TIOImage &image)
{
    uint32_t masks[3] = {info.Masks[0], info.Masks[1], info.Masks[2]};
    if (info.Compression != BI_BITFIELDS) {
        if (info.Bits == 16) {
            masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
        } else {
            masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
        }
    }
    const size_t bpp = size_t(info.Bits) / 8;
    for (uint32_t y = 0; y < image.Height(); ++y) {
        // Source rows are bottom-up unless the header's height was negative.
        const uint32_t srcRow = topDown ? y : image.Height() - 1 - y;
        const uint8_t *src = f.data() + offBits + srcStride * srcRow;
        uint8_t *dst = image.Row(y);
        for (uint32_t x = 0; x < image.Width(); ++x) {
            const uint32_t pixel = bpp == 2 ? GetLE16(src + 2 * size_t(x)) : GetLE32(src + 4 * size_t(x));
            dst[3 * size_t(x)] = Channel(pixel, masks[2]);
            dst[3 * size_t(x) + 1] = Channel(pixel, masks[1]);
            dst[3 * size_t(x) + 2] = Channel(pixel, masks[0]);
        }
    }
    return lsOk;
}

} // namespace

TIOLoadStatus LoadBmp(const std::vector<uint8_t> &f, std::unique_ptr<TIOImage> &image)
{
    if (!ProbeBmp(f.data(), f.size()))
        return lsUnknownFormat;
    TBmpInfo info;
    if (!ParseBmpHeader(f, info))
        return lsImageFormat;
    const bool topDown = info.Height < 0;
    const int64_t height = topDown ? -int64_t(info.Height) : info.Height;
    if (info.Width <= 0 || height <= 0 || info.Width > 65535 || height > 65535)
        return lsImageFormat;
    const int b = info.Bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
        return lsImageFormat;
    if (!(info.Compression == BI_RGB || (info.Compression == BI_BITFIELDS && (b == 16 || b == 32))))
        return lsImageFormat;
    const size_t srcStride = ImageStride(uint32_t(info.Width), b);
    const uint64_t offBits = GetLE32(f.data() + 10);
    if (offBits > f.size() || uint64_t(srcStride) * uint64_t(height) > f.size() - offBits)
        return lsImageFormat;

    const TIOPixelFormat format = b <= 8 ? PixelFormatOfBits(b) : pf24Bit;
    try {
        image = std::make_unique<TIOImage>(uint32_t(info.Width), uint32_t(height), format);
    } catch (const std::bad_alloc &) {
        return lsMemory;
    }
    if (info.XPpm > 0 && info.YPpm > 0)
        image->SetDpi(int(info.XPpm * 2.54 / 100 + 0.5), int(info.YPpm * 2.54 / 100 + 0.5));
    if (format != pf24Bit) {
        size_t count = size_t(1) << b;
        if (info.ClrUsed > 0 && info.ClrUsed < count)
            count = info.ClrUsed;
        if (info.PaletteAt + count * info.PaletteEntrySize > f.size()) {
            image.reset();
            return lsImageFormat;
        }
        std::vector<TIOColor> palette = image->Palette();
        for (size_t i = 0; i < count; ++i) {
            const uint8_t *q = f.data() + info.PaletteAt + i * info.PaletteEntrySize;
            palette[i] = {q[2], q[1], q[0]};
        }
        image->SetPalette(palette);
    }
    if (b == 16 || b == 32)
        return ConvertPacked(f, info, srcStride, size_t(offBits), topDown, *image);
    for (uint32_t y = 0; y < image->Height(); ++y) {
        const uint32_t srcRow = topDown ? y : image->Height() - 1 - y;
        std::memcpy(image->Row(y), f.data() + offBits + srcStride * srcRow, srcStride);
    }
    return lsOk;
}

const std::vector<TIOImageFormatHandler> &ImageFormatHandlers()
{
    static const std::vector<TIOImageFormatHandler> handlers = {
        {"BMP", "*.bmp;*.dib", ProbeBmp, LoadBmp},
        {"PNG", "*.png", ProbePng, LoadPng},
        {"JPEG", "*.jpg;*.jpeg;*.jpe;*.jfif", ProbeJpeg, LoadJpeg},
    };
    return handlers;
}

std::string ImageFilePatterns()
{
    std::string out;
    for (const TIOImageFormatHandler &h : ImageFormatHandlers()) {
        if (!out.empty())
            out += ';';
        out += h.Patterns;
    }
    return out;
}

TIOLoadStatus LoadImageFile(const std::string &path, std::unique_ptr<TIOImage> &image)
{
    image.reset();
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return lsFileNotFound;
    if (uint64_t(st.st_size) > kMaxImageFile)
        return lsImageFormat;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size_t(st.st_size));
    } catch (const std::bad_alloc &) {
        return lsMemory;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in || !in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size())))
        return lsFileOpen;
    for (const TIOImageFormatHandler &h : ImageFormatHandlers())
        if (h.Probe(bytes.data(), bytes.size())) {
            TIOLoadStatus status = h.Load(bytes, image);
            if (status != lsOk)
                image.reset();
            return status;
        }
    return lsUnknownFormat;
}

} // namespace tessaly
