// PCM wave-format helpers of the audio front-end: format tests, reading and building the
// stored format records (plain and extensible), the conversion of one sample frame between
// channel layouts and sample encodings, cross-fading and amplification.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"

namespace tessaly {

// Largest channel count the conversion handles (between equal counts; the mapping table
// covers 1, 2, 3, 4 and 6 channels); one sample frame of it in 64 bits.
constexpr int kMaxConvertChannels = 32;
constexpr int kMaxSampleFrameBytes = kMaxConvertChannels * 8;

// Sample encodings that are read, mixed and written unchanged: unsigned 8-bit, signed
// 16-, 24- and 32-bit integers, 32- and 64-bit IEEE floats (all little-endian).
enum TSampleType { stNone, stU8, stS16, stS24, stS32, stF32, stF64 };

// The encoding of a format whose tag is WAVE_FORMAT_PCM or WAVE_FORMAT_IEEE_FLOAT
// (stNone for any other tag or width).
TSampleType SampleTypeOf(const WAVEFORMATEX &format);

// wFormatTag 1, nBlockAlign = bits * channels / 8, nAvgBytesPerSec = rate * nBlockAlign, cbSize 0.
WAVEFORMATEX MakePcmFormat(uint32_t rate, uint16_t bits, uint16_t channels);
// PCM (8, 16, 24 or 32 bits) or IEEE float (32 or 64 bits) with channels and rate above 0
// and a block align of bits * channels / 8.
bool IsSupportedPcm(const WAVEFORMATEX &format);
// For a PCM or IEEE float record (plain or extensible): whether its fields agree with
// each other: a supported sample size, 1 to kMaxConvertChannels channels, a rate above 0
// and a block align of channels x bytes per sample. False with `problem` (optional)
// saying which field is wrong. Records of other encodings pass unchecked.
bool PcmHeaderConsistent(const WAVEFORMATEX &format, TMediaProblem *problem = nullptr);
// Both supported, with 1, 2, 3, 4 or 6 channels each or with the same channel count
// (up to kMaxConvertChannels).
bool AreConvertible(const WAVEFORMATEX &a, const WAVEFORMATEX &b);
// Equal tag, channels, rate, byte rate, block align and bits (and cbSize for non-PCM formats).
bool SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b);

// Reads a stored format record (a 'strf' or 'fmt ' body of `size` bytes, at least 16). A
// WAVE_FORMAT_EXTENSIBLE record whose sub-format is PCM or IEEE float comes back with that
// tag and cbSize 0, and its channel mask in `channelMask`; every other record comes back as
// stored (cbSize 0 when the record has none) with a mask of 0. False below 16 bytes.
bool ReadWaveFormat(const uint8_t *bytes, size_t size, WAVEFORMATEX &format, uint32_t &channelMask);
// The usual speaker mask of a channel count (stereo FL|FR, 5.1 FL|FR|FC|LFE|BL|BR, ...).
uint32_t DefaultChannelMask(int channels);
// `mask` when it names exactly `channels` speakers, else the default mask of that count.
uint32_t EffectiveChannelMask(uint32_t mask, int channels);
// The record a written file carries for a supported format: the 16-byte PCM record for up
// to two channels of 8 or 16 bits (as before high-resolution audio existed), else the
// 40-byte WAVE_FORMAT_EXTENSIBLE record with the effective channel mask.
std::vector<uint8_t> ResultWaveFormat(const WAVEFORMATEX &format, uint32_t channelMask);

// Converts one sample frame from format in to format out (both convertible): channels mapped
// by the downmix/upmix table, values rounded to nearest (ties to even) and clamped.
void ConvertSampleFrame(const WAVEFORMATEX &in, const uint8_t *src, const WAVEFORMATEX &out, uint8_t *dst);

// One sample frame: out = x * a + (1 - x) * b per channel (8-bit values around 128),
// integers rounded. meOk, or meAudioFormat for a format that is not supported.
TMediaError CrossFade(const WAVEFORMATEX &format, const void *a, const void *b, void *out, double x);
// One sample frame: out = in * factor per channel (8-bit around 128); integers clamped to
// their range and rounded, floats scaled as they are.
TMediaError Amplify(const WAVEFORMATEX &format, void *out, const void *in, double factor);

} // namespace tessaly
