// Wave-format records: format tests, the stored plain and extensible records, channel masks.
#include "media/input/wave_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "media/common/byte_order.h"

namespace tessaly {

WAVEFORMATEX MakePcmFormat(uint32_t rate, uint16_t bits, uint16_t channels)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = uint16_t(bits * channels / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

TSampleType SampleTypeOf(const WAVEFORMATEX &f)
{
    if (f.wFormatTag == WAVE_FORMAT_PCM) {
        switch (f.wBitsPerSample) {
        case 8: return stU8;
        case 16: return stS16;
        case 24: return stS24;
        case 32: return stS32;
        default: return stNone;
        }
    }
    if (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        return f.wBitsPerSample == 32 ? stF32 : f.wBitsPerSample == 64 ? stF64 : stNone;
    return stNone;
}

bool IsSupportedPcm(const WAVEFORMATEX &f)
{
    return SampleTypeOf(f) != stNone && f.nChannels > 0 && f.nSamplesPerSec > 0 &&
           f.nBlockAlign == f.wBitsPerSample * f.nChannels / 8;
}

bool PcmHeaderConsistent(const WAVEFORMATEX &f, TMediaProblem *problem)
{
    const bool isFloat = f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT;
    if (f.wFormatTag != WAVE_FORMAT_PCM && !isFloat)
        return true;
    TMediaProblem why;
    const int bits = f.wBitsPerSample;
    if (isFloat ? bits != 32 && bits != 64 : bits != 8 && bits != 16 && bits != 24 && bits != 32)
        why = {isFloat ? wrFloatBits : wrSampleBits, -1, {bits}};
    else if (f.nChannels < 1 || f.nChannels > kMaxConvertChannels)
        why = {wrChannels, -1, {f.nChannels, kMaxConvertChannels}};
    else if (f.nSamplesPerSec == 0)
        why = {wrSampleRate, -1, {}};
    else if (f.nBlockAlign != bits / 8 * f.nChannels)
        why = {wrBlockAlign, -1, {f.nBlockAlign, f.nChannels, bits, bits / 8 * f.nChannels}};
    if (!why.Known())
        return true;
    if (problem)
        *problem = why;
    return false;
}

namespace {
bool ConvertibleChannels(int n) { return (n >= 1 && n <= 4) || n == 6; }
} // namespace

bool AreConvertible(const WAVEFORMATEX &a, const WAVEFORMATEX &b)
{
    if (!IsSupportedPcm(a) || !IsSupportedPcm(b))
        return false;
    if (a.nChannels == b.nChannels)
        return a.nChannels <= kMaxConvertChannels;
    return ConvertibleChannels(a.nChannels) && ConvertibleChannels(b.nChannels);
}

bool SameFormat(const WAVEFORMATEX &a, const WAVEFORMATEX &b)
{
    return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels && a.nSamplesPerSec == b.nSamplesPerSec &&
           a.nAvgBytesPerSec == b.nAvgBytesPerSec && a.nBlockAlign == b.nBlockAlign &&
           a.wBitsPerSample == b.wBitsPerSample && (a.wFormatTag == WAVE_FORMAT_PCM || a.cbSize == b.cbSize);
}

namespace {

// The sub-format identifiers of an extensible record end in these 12 bytes; the first
// four hold the format tag (KSDATAFORMAT_SUBTYPE_PCM, ..._IEEE_FLOAT).
constexpr uint8_t kSubFormatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr size_t kExtensibleSize = 40;

} // namespace

bool ReadWaveFormat(const uint8_t *bytes, size_t size, WAVEFORMATEX &f, uint32_t &channelMask)
{
    f = WAVEFORMATEX{};
    channelMask = 0;
    if (!bytes || size < 16)
        return false;
    f.wFormatTag = GetLE16(bytes);
    f.nChannels = GetLE16(bytes + 2);
    f.nSamplesPerSec = GetLE32(bytes + 4);
    f.nAvgBytesPerSec = GetLE32(bytes + 8);
    f.nBlockAlign = GetLE16(bytes + 12);
    f.wBitsPerSample = GetLE16(bytes + 14);
    f.cbSize = size >= 18 ? GetLE16(bytes + 16) : 0;
    if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && size >= kExtensibleSize && f.cbSize >= 22 &&
        std::memcmp(bytes + 28, kSubFormatTail, sizeof kSubFormatTail) == 0) {
        uint32_t sub = GetLE32(bytes + 24);
        if (sub == WAVE_FORMAT_PCM || sub == WAVE_FORMAT_IEEE_FLOAT) {
            // Samples stay in their container; fewer valid bits only leave low bits zero.
            f.wFormatTag = uint16_t(sub);
            f.cbSize = 0;
            channelMask = GetLE32(bytes + 20);
        }
    }
    return true;
}

uint32_t DefaultChannelMask(int channels)
{
    // FL 0x1, FR 0x2, FC 0x4, LFE 0x8, BL 0x10, BR 0x20, BC 0x100, SL 0x200, SR 0x400.
    static constexpr uint32_t kMasks[9] = {0, 0x4, 0x3, 0x7, 0x107, 0x37, 0x3F, 0x70F, 0x63F};
    if (channels <= 0)
        return 0;
    if (channels < 9)
        return kMasks[channels];
    return channels <= 18 ? (1u << channels) - 1 : 0;
}

uint32_t EffectiveChannelMask(uint32_t mask, int channels)
{
    return mask != 0 && std::popcount(mask) == channels ? mask : DefaultChannelMask(channels);
}

std::vector<uint8_t> ResultWaveFormat(const WAVEFORMATEX &f, uint32_t channelMask)
{
    const bool plain = f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels <= 2 && f.wBitsPerSample <= 16;
    std::vector<uint8_t> b(plain ? 16 : kExtensibleSize, 0);
    PutLE16(&b[0], plain ? WAVE_FORMAT_PCM : WAVE_FORMAT_EXTENSIBLE);
    PutLE16(&b[2], f.nChannels);
    PutLE32(&b[4], f.nSamplesPerSec);
    PutLE32(&b[8], f.nAvgBytesPerSec);
    PutLE16(&b[12], f.nBlockAlign);
    PutLE16(&b[14], f.wBitsPerSample);
    if (!plain) {
        PutLE16(&b[16], 22);
        PutLE16(&b[18], f.wBitsPerSample);
        PutLE32(&b[20], EffectiveChannelMask(channelMask, f.nChannels));
        PutLE32(&b[24], f.wFormatTag);
        std::memcpy(&b[28], kSubFormatTail, sizeof kSubFormatTail);
    }
    return b;
}

} // namespace tessaly
