// The analysis signal of one track: its channels weighted into one (what a dub shares
// counts more than dialogue), resampled to the analysis rate and kept as 16-bit samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tessaly::sync {

constexpr double kSyncRate = 8000;      // analysis rate, samples per second
constexpr double kEnvelopeRate = 100;   // onset envelope rate, values per second

struct TSyncSignal {
    double Rate = kSyncRate;
    std::vector<int16_t> Samples;   // full scale +-32767

    double Seconds() const { return Samples.size() / Rate; }
};

// Weights of the channels of an interleaved frame of `channels` channels. Stereo: the
// side signal (L-R) carries music and effects without the centred dialogue, so it is
// weighted over the mid signal; 5.1 (L R C LFE Ls Rs): the centre and LFE count little.
std::vector<float> ChannelWeights(int channels, bool stereoSide);

// Builds a TSyncSignal from interleaved float blocks of any length (streaming, so a
// long track never has to be held at its own rate).
class TSyncSignalBuilder {
public:
    TSyncSignalBuilder();
    ~TSyncSignalBuilder();
    TSyncSignalBuilder(const TSyncSignalBuilder &) = delete;
    TSyncSignalBuilder &operator=(const TSyncSignalBuilder &) = delete;

    // False for a rate or channel count out of range or when the resampler fails.
    bool Begin(double inputRate, int channels, bool stereoSide = true);
    // Room for a track of inputFrames frames (after Begin), so no growth copies it.
    void Reserve(int64_t inputFrames, double inputRate);
    // `frames` interleaved frames of full scale +-1.
    bool Append(const float *interleaved, size_t frames);
    // `frames` interleaved frames of 16-bit little-endian PCM, as a WAV file stores them.
    bool AppendPcm16(const uint8_t *interleaved, size_t frames);
    // Flushes the resampler and hands out the signal; the builder is empty afterwards.
    bool Finish(TSyncSignal &out);

private:
    bool Push(const float *mono, size_t count);
    void MixDown(const float *interleaved, size_t frames, float scale);

    struct TResampler;
    std::unique_ptr<TResampler> FResampler;
    std::vector<float> FWeights, FMono, FOut, FValues;
    TSyncSignal FSignal;
    int FChannels = 0;
};

// Resamples a signal by `ratio` output samples per input sample (high quality).
bool ResampleSignal(const TSyncSignal &in, double ratio, TSyncSignal &out);

// Onset envelope at kEnvelopeRate: the positive change of the log band energies
// (spectral flux), from frames of 32 ms.
std::vector<float> OnsetEnvelope(const TSyncSignal &signal);

} // namespace tessaly::sync
