// BITMAPINFOHEADER in its 40-byte stored form: one reader and one writer for every
// format block, stored-frame header and image header the media code builds or parses.
#pragma once

#include <cstdint>
#include <vector>

#include "media/common/byte_order.h"
#include "media/common/vfw_types.h"

namespace tessaly {

constexpr size_t kBitmapHeaderSize = 40;

// Appends the 40 stored bytes of `h`.
inline void WriteBitmapHeader(TByteWriter &w, const BITMAPINFOHEADER &h)
{
    w.U32(h.biSize);
    w.U32(uint32_t(h.biWidth));
    w.U32(uint32_t(h.biHeight));
    w.U16(h.biPlanes);
    w.U16(h.biBitCount);
    w.U32(h.biCompression);
    w.U32(h.biSizeImage);
    w.U32(uint32_t(h.biXPelsPerMeter));
    w.U32(uint32_t(h.biYPelsPerMeter));
    w.U32(h.biClrUsed);
    w.U32(h.biClrImportant);
}

// The 40 stored bytes of `h` as a new buffer.
inline std::vector<uint8_t> BitmapHeaderBytes(const BITMAPINFOHEADER &h)
{
    std::string bytes;
    TByteWriter w(bytes);
    WriteBitmapHeader(w, h);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Reads 40 stored bytes; a short input leaves `r` failed and the missing fields zero.
inline BITMAPINFOHEADER ReadBitmapHeader(TByteReader &r)
{
    BITMAPINFOHEADER h{};
    h.biSize = r.U32();
    h.biWidth = int32_t(r.U32());
    h.biHeight = int32_t(r.U32());
    h.biPlanes = r.U16();
    h.biBitCount = r.U16();
    h.biCompression = r.U32();
    h.biSizeImage = r.U32();
    h.biXPelsPerMeter = int32_t(r.U32());
    h.biYPelsPerMeter = int32_t(r.U32());
    h.biClrUsed = r.U32();
    h.biClrImportant = r.U32();
    return h;
}

} // namespace tessaly
