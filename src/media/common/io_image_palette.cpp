// The standard palettes of the frame image: system colours, grey ramp, colour bands, spectrum.
#include "media/common/io_image.h"

#include <cmath>

namespace tessaly {
namespace {

// The 16 colours of the classic PC text and graphics modes.
constexpr TIOColor kSystem16[16] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},   {128, 0, 128},
    {0, 128, 128},   {192, 192, 192}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};

uint8_t RoundByte(double v) { return uint8_t(std::nearbyint(v)); }

// The 256-colour system palette: the 16 system colours, a 6 x 6 x 6 colour cube and a
// 24-step grey ramp between black and white.
std::vector<TIOColor> System256()
{
    std::vector<TIOColor> p(kSystem16, kSystem16 + 16);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)});
    for (int i = 0; i < 24; ++i) {
        uint8_t v = uint8_t(8 + i * 10);
        p.push_back({v, v, v});
    }
    return p;
}

// The 256-entry spectrum: five bands of 51 entries from black over blue, green, red and
// yellow up to white.
TIOColor Spectrum(int n)
{
    if (n >= 255)
        return {255, 255, 255};
    int band = n / 51, i = n % 51;
    switch (band) {
    case 0: return {0, 0, uint8_t(5 * i)};
    case 1: return {0, uint8_t(3 * i), uint8_t(255 - 5 * i)};
    case 2: return {uint8_t(5 * i), uint8_t(3 * (51 - i)), 0};
    case 3: return {255, uint8_t(5 * i), 0};
    default: return {255, 255, uint8_t(5 * i)};
    }
}

} // namespace

std::vector<TIOColor> StandardPalette(TIOPixelFormat format, int kind)
{
    if (format == pf24Bit)
        return {};
    const int highest = HighestPaletteIndex(format);
    const int length = highest + 1;
    std::vector<TIOColor> p(static_cast<size_t>(length), TIOColor{});
    switch (kind) {
    case 1:
        for (int i = 0; i < length; ++i) {
            uint8_t v = RoundByte(i * 255.0 / highest);
            p[size_t(i)] = {v, v, v};
        }
        break;
    case 2: {
        const int quarter = length / 4;
        if (quarter < 2)
            return StandardPalette(format, 1);
        for (int i = 0; i < quarter; ++i) {
            uint8_t v = RoundByte(i * 255.0 / (quarter - 1));
            p[size_t(i)] = {v, v, v};
            p[size_t(quarter + i)] = {v, 0, 0};
            p[size_t(2 * quarter + i)] = {0, v, 0};
            p[size_t(3 * quarter + i)] = {0, 0, v};
        }
        break;
    }
    case 3: {
        const int step = 255 / highest;
        for (int i = 0; i < length; ++i)
            p[size_t(i)] = Spectrum(i * step);
        break;
    }
    default:
        if (format == pf1Bit)
            p = {{0, 0, 0}, {255, 255, 255}};
        else if (format == pf4Bit)
            p.assign(kSystem16, kSystem16 + 16);
        else
            p = System256();
        break;
    }
    return p;
}

} // namespace tessaly
