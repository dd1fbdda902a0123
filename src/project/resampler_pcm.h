// Sample frames of the mix as floating-point values: stored PCM decoded to doubles on the
// scale of its own integers (16-bit: -32768 .. 32767, 8-bit centred on 128, floats as
// they are), and encoded back with one rounding, optional TPDF dither and clamping.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/input/wave_format.h"

namespace tessaly {

// Decodes `frames` sample frames of `format` (channels interleaved) into `out`
// (frames x channels values). Formats that are not supported PCM decode as zeros.
void DecodePcm(const WAVEFORMATEX &format, const uint8_t *in, int64_t frames, double *out);
// The same as floats, one row per channel: channel c's value of frame i goes to
// out[c * stride + i] (exact up to 24 bits).
void DecodePcmPlanar(const WAVEFORMATEX &format, const uint8_t *in, int64_t frames, float *out, size_t stride);

// A small generator of triangular dither (the sum of two uniform values), seeded per run
// so a render repeats bit for bit.
class TTpdfDither {
public:
    explicit TTpdfDither(uint64_t seed = 0x9e3779b97f4a7c15ull) : FState(seed | 1) {}
    // One value of the triangular distribution over (-1, 1) steps of the output.
    double Next();

private:
    double Uniform();
    uint64_t FState;
};

// Encodes `frames` sample frames of values on the scale of `from` into `format`: values are
// scaled to the output's integers, rounded to nearest (halves to even) and clamped; with a
// dither generator and fewer output than input bits, triangular dither of one output step
// is added before the rounding. `from` and `format` share the channel count.
void EncodePcm(const WAVEFORMATEX &from, const double *in, int64_t frames, const WAVEFORMATEX &format,
               uint8_t *out, TTpdfDither *dither);

// The largest magnitude of a format's values as decoded (32768 for 16 bits, 1 for floats).
double PcmFullScale(const WAVEFORMATEX &format);

// Bits of resolution of a format for the dither decision (float formats count 25 or 53).
int ResolutionBits(const WAVEFORMATEX &format);

} // namespace tessaly
