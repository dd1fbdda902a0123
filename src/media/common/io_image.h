// The frame image: an in-memory bottom-up bitmap of 1, 4, 8 or 24 bits per pixel with
// palette, zoom, print resolution, text drawing and change notification for its painter.
#pragma once

#include "media/common/vfw_types.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

// Pixel formats; the values are stored and compared as numbers.
enum TIOPixelFormat : uint8_t { pf1Bit = 0, pf4Bit = 1, pf8Bit = 2, pf24Bit = 3 };

// 1 -> pf1Bit, 4 -> pf4Bit, 8 -> pf8Bit, anything else -> pf24Bit.
TIOPixelFormat PixelFormatOfBits(int bits);
// pf1Bit -> 1, pf4Bit -> 4, pf8Bit -> 8, pf24Bit -> 24.
int BitsOfPixelFormat(TIOPixelFormat format);
// Row size in bytes padded to 4 bytes: ((width * bits - 1) div 32) * 4 + 4.
uint32_t ImageStride(uint32_t width, int bits);
// Highest palette index: 1, 15, 255; 0 for 24 bits (no palette).
int HighestPaletteIndex(TIOPixelFormat format);

// A red-green-blue colour value.
struct TIOColor {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const TIOColor &) const = default;
};

// Kinds of change reported to the change callback, as bits (1 << kind) of a set.
enum TIOChangeKind : uint8_t { ckPixels = 0, ckPalette = 1, ckZoom = 2, ckDisplayMode = 3 };
using TIOChangeSet = uint8_t;

// A rectangle of pixels with inclusive edges; empty when Right < Left or Bottom < Top.
struct TIORect {
    int Left = 0, Top = 0, Right = -1, Bottom = -1;
    bool Empty() const { return Right < Left || Bottom < Top; }
    bool operator==(const TIORect &) const = default;
};

// Raised only when an image cannot be built at all (missing header, no dimensions).
class EIOImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TIOImage {
public:
    using TChangeCallback = std::function<void(TIOImage &image, TIOChangeSet kinds, void *user)>;

    // A width x height picture (1..65535 each, else EIOImageError). With borrowedBits the
    // caller keeps ownership of a buffer of Stride() * Height() bytes; otherwise an owned
    // zero-filled buffer is made. Without a palette the standard palette of kind 0 is used.
    TIOImage(uint32_t width, uint32_t height, TIOPixelFormat format, uint8_t *borrowedBits = nullptr,
             const std::vector<TIOColor> *palette = nullptr);
    // From a BITMAPINFOHEADER with its palette (little-endian bytes): dimensions and bit
    // count are taken, the palette copied; info null raises EIOImageError.
    static std::unique_ptr<TIOImage> CreateFromBitmapInfo(const uint8_t *info, size_t length,
                                                           uint8_t *borrowedBits = nullptr);
    TIOImage(const TIOImage &) = delete;
    TIOImage &operator=(const TIOImage &) = delete;
    ~TIOImage() = default;

    uint32_t Width() const { return FWidth; }
    uint32_t Height() const { return FHeight; }
    TIOPixelFormat PixelFormat() const { return FFormat; }
    int BitCount() const { return BitsOfPixelFormat(FFormat); }
    uint32_t Stride() const { return FStride; }
    uint32_t ImageSize() const { return FStride * FHeight; }
    bool OwnsBits() const { return FOwned.size() > 0; }
    // The pixel buffer (bottom row first) and the address of picture row y (0 = top).
    uint8_t *Bits() { return FBits; }
    const uint8_t *Bits() const { return FBits; }
    uint8_t *Row(uint32_t y) { return FBits + size_t(FStride) * (FHeight - y - 1); }
    const uint8_t *Row(uint32_t y) const { return FBits + size_t(FStride) * (FHeight - y - 1); }
    // Two images match when width, height and pixel format are equal.
    bool SameShape(const TIOImage &other) const;

    // The 40-byte header, and the header followed by the palette as little-endian bytes.
    const BITMAPINFOHEADER &Header() const { return FHeader; }
    std::vector<uint8_t> BitmapInfo() const;

    // Palette: length HighestPaletteIndex() + 1, 0 for 24 bits; out-of-range gets are black.
    int PaletteLength() const { return FFormat == pf24Bit ? 0 : HighestPaletteIndex(FFormat) + 1; }
    TIOColor PaletteEntry(int index) const;
    void SetPaletteEntry(int index, TIOColor color);
    // Sets entries from the start (extra ones ignored); changes notified once.
    void SetPalette(const std::vector<TIOColor> &palette);
    std::vector<TIOColor> Palette() const;
    // Standard palettes: 0 system, 1 grey ramp, 2 grey/red/green/blue bands, 3 spectrum.
    void SetStandardPalette(int kind);

    // Pixel reads: the palette index (grey value for 24 bits); outside, the background.
    int Pixel(int x, int y) const;
    TIOColor PixelColor(int x, int y) const;
    // Pixel writes inside the picture only; the colour form picks the nearest palette entry.
    void SetPixel(int x, int y, int index);
    void SetPixelColor(int x, int y, TIOColor color);
    int NearestIndex(TIOColor color) const;
    uint8_t Background() const { return FBackground; }
    void SetBackground(uint8_t index) { FBackground = index; }
    // Fills the picture with the background index and marks it all dirty.
    void Clear();

    // Text in the built-in 8 x 8 font. Horizontal: 0 starts, 1 centred, 2 ends at the
    // point; vertical: 0 above, 1 centred, 2 below the point.
    void SetTextAlign(int horizontal, int vertical);
    int TextAlignH() const { return FTextAlignH; }
    int TextAlignV() const { return FTextAlignV; }
    uint8_t TextColor() const { return FTextColor; }
    void SetTextColor(uint8_t index) { FTextColor = index; }
    void DrawText(int x, int y, const std::string &text);

    // 0 mirrors left to right, 1 turns upside down, 2 rotates by 180 degrees.
    void MirrorRotate(int operation);

    // Zoom in percent (never below 1) and the zoomed size.
    int Zoom() const { return FZoom; }
    void SetZoom(int percent);
    uint32_t ZoomedWidth() const { return uint32_t(uint64_t(FWidth) * FZoom / 100); }
    uint32_t ZoomedHeight() const { return uint32_t(uint64_t(FHeight) * FZoom / 100); }
    // Display mode 0..3, a wish for whoever paints the image.
    int DisplayMode() const { return FDisplayMode; }
    void SetDisplayMode(int mode);
    // Print resolution as dots per inch, from and to the header's pixels per metre.
    int DpiX() const;
    int DpiY() const;
    void SetDpi(int dpiX, int dpiY);

    // Change tracking: nested updates accumulate; the last EndUpdate fires the callback once.
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    void SetChangeCallback(TChangeCallback callback, void *user = nullptr);
    // Marks a rectangle changed (pixels written straight into Bits()).
    void Changed(const TIORect &rect);
    TIORect DirtyRect() const { return FDirty; }
    int DirtyGrid() const { return FGrid; }
    void SetDirtyGrid(int pixels) { FGrid = pixels < 1 ? 1 : pixels; }
    // The dirty rectangle widened to the grid and limited to the picture.
    TIORect GridDirtyRect() const;
    // For the painter: the rectangle to paint (the whole picture, or the widened dirty
    // rectangle); resets the dirty rectangle; painting the whole clears NeedsRepaint().
    TIORect BeginPaint(bool whole);
    bool NeedsRepaint() const { return FNeedsRepaint; }

private:
    void Init(uint32_t width, uint32_t height, TIOPixelFormat format, uint8_t *borrowed);
    void Notify(TIOChangeKind kind);
    void MarkPixel(int x, int y);
    void PutIndex(uint8_t *row, uint32_t x, int index);
    int GetIndex(const uint8_t *row, uint32_t x) const;

    uint32_t FWidth = 0, FHeight = 0, FStride = 0;
    TIOPixelFormat FFormat = pf24Bit;
    BITMAPINFOHEADER FHeader{};
    TIOColor FPalette[256]{};
    std::vector<uint8_t> FOwned;
    uint8_t *FBits = nullptr;
    uint8_t FBackground = 0, FTextColor = 0;
    int FTextAlignH = 0, FTextAlignV = 2;
    int FZoom = 100, FDisplayMode = 3, FGrid = 8, FUpdateCount = 0;
    TIOChangeSet FPending = 0;
    TIORect FDirty;
    bool FNeedsRepaint = true;
    TChangeCallback FCallback;
    void *FUser = nullptr;
};

// Standard palette of a kind for a format (empty for 24 bits); see SetStandardPalette.
std::vector<TIOColor> StandardPalette(TIOPixelFormat format, int kind);

} // namespace tessaly
