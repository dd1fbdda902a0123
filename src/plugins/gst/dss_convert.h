// Pixel and sample conversions of the source layer: raw frames to 24-bit RGB, source PCM
// to 8- or 16-bit PCM of at most two channels, and the 64-bit ratio reduction.
#pragma once

#include "dss_types.h"

#include <cstdint>

namespace tessaly::gst {

// The clamp of the YUV conversion: index value + 384, entries below 384 are 0, from 640 on 255.
uint8_t ClampYuv(int value);

// One pixel of the fixed-point YUV to RGB conversion; writes blue, green, red.
void YuvToBgr(int y, int u, int v, uint8_t *bgr);

// DWORD-aligned stride of a 24-bit line of the given width.
int32_t Rgb24Stride(uint32_t width);

// Converts a raw frame (layout of TGetSample::CopyFrameTo) into a 24-bit bottom-up picture:
// output line k (0 = bottom) at destination + k * pitch, or with reversed the top line at
// destination and a step of -pitch. Pitch 0 means Rgb24Stride. At most |pitch| bytes are
// written per line. False for a format that cannot be converted.
bool ConvertRawToRgb24(const DssVideoInfo &info, const uint8_t *raw, uint8_t *destination, int32_t pitch,
                       bool reversed);

// Weights of each source channel in the left and right output of a down-mix to stereo.
struct TStereoWeights {
    double Left[kMaxLayoutChannels] = {};
    double Right[kMaxLayoutChannels] = {};
};
// The down-mix of a layout by speaker position (-3 dB centre and surrounds, no LFE), scaled
// so that neither output side can exceed full scale.
TStereoWeights StereoDownmix(const TChannelLayout &layout);

// Converts frames of interleaved source samples to the delivered PCM (8-bit stays 8-bit,
// everything else 16-bit; more than two channels are mixed down to two by their positions).
void ConvertToPcm(const DssAudioInfo &info, const TChannelLayout &layout, const uint8_t *source, int64_t frames,
                  uint8_t *destination);

// The WAVE speaker mask of a layout when every channel has a WAVE place of its own, else 0.
uint32_t WaveChannelMask(const TChannelLayout &layout);

// Converts frames of interleaved source samples to PCM of every channel at 16 or 24 bits,
// the channels put in WAVE speaker order when the layout has a mask (as they come otherwise).
void ConvertToAllChannels(const DssAudioInfo &info, const TChannelLayout &layout, const uint8_t *source,
                          int64_t frames, uint32_t bits, uint8_t *destination);

// Channels of the delivered PCM: 1 for a mono source, else 2.
inline uint32_t DeliveredChannels(const DssAudioInfo &info) { return info.Channels < 2 ? 1 : 2; }
inline uint32_t DeliveredBits(const DssAudioInfo &info) { return info.SampleType == stInt8 ? 8 : 16; }

// Reduces num : den to a rate and scale that fit in 31 bits each (rounding when it must
// shift). A zero term gives rate 0 and scale 1.
void ReduceRatio64(uint64_t num, uint64_t den, uint32_t &rate, uint32_t &scale);

} // namespace tessaly::gst
