// Track reading for the synchronisation commands: PCM blocks from TWaveReader turned
// into float frames and handed to the analysis signal builder.
#include "autosync/sync_audio.h"

#include <cstring>
#include <vector>

#include "media/input/wave_format.h"

namespace tessaly::autosync {

namespace {

constexpr int32_t kBlockFrames = 32768;
constexpr uint16_t kFormatFloat = 3;

// One sample of `bits` bits at p as full scale +-1.
float SampleValue(const uint8_t *p, int bits, bool isFloat)
{
    switch (bits) {
    case 8: return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16: return static_cast<int16_t>(p[0] | (p[1] << 8)) / 32768.0f;
    case 24: {
        int32_t v = static_cast<int32_t>((uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 24));
        return static_cast<float>(v / 2147483648.0);
    }
    case 32: {
        uint32_t u = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
        if (isFloat) {
            float f;
            std::memcpy(&f, &u, sizeof f);
            return f;
        }
        return static_cast<float>(static_cast<int32_t>(u) / 2147483648.0);
    }
    default: return 0;
    }
}

} // namespace

bool ReadSyncSignal(TWaveReader &reader, sync::TSyncSignal &signal, std::string &error, const TReadProgress &progress)
{
    if (!reader.IsOpen()) {
        error = "the track is not open";
        return false;
    }
    const WAVEFORMATEX in = reader.InputFormat();
    WAVEFORMATEX pcm = MakePcmFormat(in.nSamplesPerSec, 16, in.nChannels);
    if (!reader.SetOutputFormat(&pcm, sizeof pcm))
        reader.SetOutputFormat(nullptr, 0);
    const WAVEFORMATEX f = reader.OutputFormat();
    const int bits = f.wBitsPerSample, channels = f.nChannels;
    const bool isFloat = f.wFormatTag == kFormatFloat;
    if ((bits != 8 && bits != 16 && bits != 24 && bits != 32) || channels < 1 || f.nSamplesPerSec == 0 ||
        f.nBlockAlign != channels * (bits / 8)) {
        error = "the track's sample format cannot be analysed";
        return false;
    }
    sync::TSyncSignalBuilder builder;
    if (!builder.Begin(f.nSamplesPerSec, channels)) {
        error = "the track's sample rate or channel count cannot be analysed";
        return false;
    }
    builder.Reserve(reader.OutputLength(), f.nSamplesPerSec);
    std::vector<uint8_t> block(static_cast<size_t>(kBlockFrames) * f.nBlockAlign);
    std::vector<float> frames(static_cast<size_t>(kBlockFrames) * static_cast<size_t>(channels));
    const int64_t length = reader.OutputLength();
    reader.Seek(0);
    for (int64_t pos = 0; pos < length;) {
        int32_t count = static_cast<int32_t>(std::min<int64_t>(kBlockFrames, length - pos));
        if (!reader.ReadSamples(block.data(), count)) {
            error = "reading the track failed at sample " + std::to_string(pos);
            return false;
        }
        const size_t values = static_cast<size_t>(count) * static_cast<size_t>(channels);
        bool appended = false;
        if (bits == 16) {
            appended = builder.AppendPcm16(block.data(), static_cast<size_t>(count));
        } else {
            for (size_t i = 0; i < values; ++i)
                frames[i] = SampleValue(block.data() + i * static_cast<size_t>(bits / 8), bits, isFloat);
            appended = builder.Append(frames.data(), static_cast<size_t>(count));
        }
        if (!appended) {
            error = "resampling the track failed";
            return false;
        }
        pos += count;
        if (progress && !progress(static_cast<double>(pos) / static_cast<double>(length))) {
            error = "reading was stopped";
            return false;
        }
    }
    if (!builder.Finish(signal)) {
        error = "resampling the track failed";
        return false;
    }
    return true;
}

bool ReadSyncFile(const std::string &fileList, sync::TSyncSignal &signal, std::string &error, const std::string &kind,
                  const TReadProgress &progress)
{
    TWaveReader reader;
    if (!reader.Open(fileList, kind.empty() ? "AUTO|-1" : kind, true, 0)) {
        error = "\"" + fileList + "\" cannot be opened as audio";
        return false;
    }
    return ReadSyncSignal(reader, signal, error, progress);
}

} // namespace tessaly::autosync
