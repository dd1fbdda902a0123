// The sample shape FFmpeg decodes an audio stream to, and how those samples are delivered:
// the decoder's own encoding kept (24-bit sources as 24-bit), planes interleaved, the
// channel layout as a WAVE speaker mask.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/input/wave_format.h"

struct AVFrame;

namespace tessaly {

struct TLavfSampleShape {
    TSampleType Type = stNone; // stNone: an encoding that is not delivered (64-bit integers)
    int Bits = 0, Rate = 0, Channels = 0;
    int DecodedFormat = -1;    // the decoder's AVSampleFormat
    uint32_t Mask = 0;         // WAVE speaker mask, 0 when the layout names no WAVE speakers
    std::string LayoutName;    // FFmpeg's description ("5.1(side)")

    // Whether a decoded frame has this shape (format, rate, channels and layout).
    bool Matches(const AVFrame *frame) const;
    // Writes the frame's samples interleaved in the delivered encoding (nb_samples * block bytes).
    void Interleave(const AVFrame *frame, uint8_t *out) const;
    // The stored format record of the delivered samples (plain or extensible).
    std::vector<uint8_t> FormatRecord() const;
};

// The shape of a decoded frame; rawBits is the decoder's bits_per_raw_sample (24 for a
// 24-bit source decoded into 32-bit integers).
TLavfSampleShape ShapeOfFrame(const AVFrame *frame, int rawBits);

} // namespace tessaly
