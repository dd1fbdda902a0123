// PCM wave-format helpers of the audio front-end: format tests, the conversion of one
// sample frame between channel layouts and sample widths, cross-fading and amplification.
#pragma once

#include <cstdint>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"

namespace tessaly {

// Largest channel count the conversion handles; one sample frame of it in 16 bits.
constexpr int kMaxConvertChannels = 6;
constexpr int kMaxSampleFrameBytes = kMaxConvertChannels * 2;

// wFormatTag 1, nBlockAlign = bits * channels / 8, nAvgBytesPerSec = rate * nBlockAlign, cbSize 0.
WAVEFORMATEX MakePcmFormat(uint32_t rate, uint16_t bits, uint16_t channels);
// PCM with channels and rate above 0, 8 or 16 bits and a matching block align.
bool IsSupportedPcm(const WAVEFORMATEX &format);
// Both supported PCM with 1, 2, 3, 4 or 6 channels.
bool AreConvertible(const WAVEFORMATEX &a, const WAVEFORMATEX &b);
// Equal tag, channels, rate, byte rate, block align and bits (and cbSize for non-PCM formats).
bool SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b);

// Converts one sample frame from format in to format out (both convertible): channels mapped
// by the downmix/upmix table, values rounded to nearest (ties to even) and clamped.
void ConvertSampleFrame(const WAVEFORMATEX &in, const uint8_t *src, const WAVEFORMATEX &out, uint8_t *dst);

// One sample frame: out = x * a + (1 - x) * b per channel (8-bit values around 128), rounded.
// meOk, or meAudioFormat for a format that is not supported PCM.
TMediaError CrossFade(const WAVEFORMATEX &format, const void *a, const void *b, void *out, double x);
// One sample frame: out = in * factor per channel (8-bit around 128), clamped and rounded.
TMediaError Amplify(const WAVEFORMATEX &format, void *out, const void *in, double factor);

} // namespace tessaly
