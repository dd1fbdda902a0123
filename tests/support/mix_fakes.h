// An audio track for mixer tests: 16-bit PCM held in memory, with counters of seeks and
// reads, and a helper that builds tracks whose samples encode their own index.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "project/mix_source.h"

namespace tessaly::test {

class TFakeMixSource : public TMixSource {
public:
    // `samples` interleaved 16-bit values of `channels` channels at `rate` Hz.
    TFakeMixSource(uint32_t rate, uint16_t channels, std::vector<int16_t> samples)
        : FSamples(std::move(samples))
    {
        FInput.wFormatTag = 1;
        FInput.nChannels = channels;
        FInput.nSamplesPerSec = rate;
        FInput.wBitsPerSample = 16;
        FInput.nBlockAlign = static_cast<uint16_t>(2 * channels);
        FInput.nAvgBytesPerSec = rate * FInput.nBlockAlign;
        FOutput = FInput;
    }

    int32_t InputFormatSize = 18;   // set below 16 to present a broken format
    bool AcceptConversion = false;  // else only the input format is accepted
    int Seeks = 0;
    int Reads = 0;

    bool SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize) override
    {
        if (!format) {
            FOutput = FInput;
            return true;
        }
        if (formatSize < 16)
            return false;
        bool same = std::memcmp(format, &FInput, 16) == 0;
        if (!same && !AcceptConversion)
            return false;
        FOutput = *format;
        return true;
    }
    void OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const override
    {
        format = FOutput;
        formatSize = InputFormatSize;
    }
    int64_t OutputLength() const override { return static_cast<int64_t>(FSamples.size()) / FInput.nChannels; }
    int64_t OutputPosition() const override { return FPos; }
    void Seek(int64_t sample) override
    {
        ++Seeks;
        FPos = sample;
    }
    bool ReadSamples(uint8_t *buffer, int32_t count) override
    {
        ++Reads;
        bool ok = true;
        for (int32_t i = 0; i < count; ++i, ++FPos) {
            for (int c = 0; c < FInput.nChannels; ++c) {
                int16_t v = 0;
                if (FPos >= 0 && FPos < OutputLength())
                    v = FSamples[static_cast<size_t>(FPos * FInput.nChannels + c)];
                else
                    ok = false;
                std::memcpy(buffer + (i * FInput.nChannels + c) * 2, &v, 2);
            }
        }
        return ok;
    }
    bool Silence(uint8_t *buffer, int32_t count) override
    {
        std::memset(buffer, 0, static_cast<size_t>(count) * FInput.nBlockAlign);
        return true;
    }

private:
    std::vector<int16_t> FSamples;
    WAVEFORMATEX FInput{};
    WAVEFORMATEX FOutput{};
    int64_t FPos = 0;
};

// A track of integer PCM of `bits` bits (16 or 24) held as values, every channel the same;
// it delivers only its own format.
class TIntMixSource : public TMixSource {
public:
    TIntMixSource(std::vector<int32_t> values, int bits, int channels, uint32_t rate) : FValues(std::move(values))
    {
        FFormat.wFormatTag = 1;
        FFormat.nChannels = static_cast<uint16_t>(channels);
        FFormat.nSamplesPerSec = rate;
        FFormat.wBitsPerSample = static_cast<uint16_t>(bits);
        FFormat.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
        FFormat.nAvgBytesPerSec = rate * FFormat.nBlockAlign;
    }
    bool SetOutputFormat(const WAVEFORMATEX *f, int32_t) override { return !f || std::memcmp(f, &FFormat, 16) == 0; }
    void OutputFormat(WAVEFORMATEX &f, int32_t &size) const override
    {
        f = FFormat;
        size = 18;
    }
    int64_t OutputLength() const override { return static_cast<int64_t>(FValues.size()); }
    int64_t OutputPosition() const override { return FPos; }
    void Seek(int64_t p) override { FPos = p; }
    bool ReadSamples(uint8_t *buffer, int32_t count) override
    {
        const int width = FFormat.wBitsPerSample / 8;
        for (int32_t i = 0; i < count; ++i, ++FPos) {
            const int32_t v = FPos >= 0 && FPos < OutputLength() ? FValues[static_cast<size_t>(FPos)] : 0;
            for (int c = 0; c < FFormat.nChannels; ++c)
                for (int b = 0; b < width; ++b)
                    *buffer++ = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b));
        }
        return true;
    }
    bool Silence(uint8_t *buffer, int32_t count) override
    {
        std::memset(buffer, 0, static_cast<size_t>(count) * FFormat.nBlockAlign);
        return true;
    }

private:
    std::vector<int32_t> FValues;
    WAVEFORMATEX FFormat{};
    int64_t FPos = 0;
};

// Mono samples whose value tells their index: sign * (index + 1).
inline std::vector<int16_t> IndexSamples(int32_t count, int sign = 1)
{
    std::vector<int16_t> v(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        v[static_cast<size_t>(i)] = static_cast<int16_t>(sign * (i + 1));
    return v;
}

// The bytes of a mono 16-bit WAV file whose sample i holds sign * (i + 1).
inline std::vector<uint8_t> IndexWavBytes(uint32_t rate, int32_t count, int sign = 1)
{
    std::vector<uint8_t> b;
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            b.push_back(uint8_t(v >> (8 * i)));
    };
    uint32_t data = uint32_t(count) * 2;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    put(36 + data, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(16, 4);
    put(1, 2);       // PCM
    put(1, 2);       // mono
    put(rate, 4);
    put(rate * 2, 4);
    put(2, 2);
    put(16, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    put(data, 4);
    for (int32_t i = 0; i < count; ++i)
        put(uint16_t(int16_t(sign * (i + 1))), 2);
    return b;
}

} // namespace tessaly::test
