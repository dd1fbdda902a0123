// Analysis signal preparation: channel weighting, resampling with libsoxr, and the
// onset envelope computed with FFTW.
#include "sync/sync_signal.h"

#include <algorithm>
#include <cmath>

#include <fftw3.h>
#include <soxr.h>

#include "sync/fft_plan.h"

namespace tessaly::sync {

namespace {

constexpr float kGain = 16384.0f;   // headroom for the weighted sum of several channels

int16_t ToSample(float v)
{
    float s = std::nearbyint(v * kGain);
    return static_cast<int16_t>(std::clamp(s, -32767.0f, 32767.0f));
}

} // namespace

struct TSyncSignalBuilder::TResampler {
    soxr_t Handle = nullptr;
    ~TResampler()
    {
        if (Handle)
            soxr_delete(Handle);
    }
};

std::vector<float> ChannelWeights(int channels, bool stereoSide)
{
    if (channels <= 0)
        return {};
    if (channels == 1)
        return {1.0f};
    if (channels == 2)
        return stereoSide ? std::vector<float>{1.125f, -0.875f} : std::vector<float>{0.5f, 0.5f};
    std::vector<float> w(static_cast<size_t>(channels), 1.0f / channels);
    if (channels == 6 && stereoSide) {
        // Front pair, rear pair; the centre (dialogue) and LFE barely.
        w = {0.25f, 0.25f, 0.05f, 0.0f, 0.25f, 0.25f};
    }
    return w;
}

TSyncSignalBuilder::TSyncSignalBuilder() = default;
TSyncSignalBuilder::~TSyncSignalBuilder() = default;

void TSyncSignalBuilder::Reserve(int64_t inputFrames, double inputRate)
{
    if (inputFrames > 0 && inputRate > 0)
        FSignal.Samples.reserve(static_cast<size_t>(inputFrames * (kSyncRate / inputRate)) + 64);
}

bool TSyncSignalBuilder::Begin(double inputRate, int channels, bool stereoSide)
{
    FResampler.reset();
    FSignal = TSyncSignal{};
    if (!(inputRate >= 1000 && inputRate <= 768000) || channels < 1 || channels > 64)
        return false;
    FChannels = channels;
    FWeights = ChannelWeights(channels, stereoSide);
    auto r = std::make_unique<TResampler>();
    soxr_error_t error = nullptr;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    r->Handle = soxr_create(inputRate, kSyncRate, 1, &error, nullptr, &quality, nullptr);
    if (error || !r->Handle)
        return false;
    FResampler = std::move(r);
    return true;
}

bool TSyncSignalBuilder::Push(const float *mono, size_t count)
{
    size_t done = 0;
    while (true) {
        size_t in = 0, out = 0;
        FOut.resize(4096);
        soxr_error_t error = soxr_process(FResampler->Handle, mono ? mono + done : nullptr, mono ? count - done : 0,
                                          &in, FOut.data(), FOut.size(), &out);
        if (error)
            return false;
        const size_t at = FSignal.Samples.size();
        FSignal.Samples.resize(at + out);
        int16_t *to = FSignal.Samples.data() + at;
        for (size_t i = 0; i < out; ++i)
            to[i] = ToSample(FOut[i]);
        done += in;
        if (mono ? (done >= count && out < FOut.size()) : out == 0)
            return true;
    }
}

bool TSyncSignalBuilder::Append(const float *interleaved, size_t frames)
{
    if (!FResampler)
        return false;
    FMono.resize(frames);
    MixDown(interleaved, frames, 1.0f);
    return Push(FMono.data(), frames);
}

bool TSyncSignalBuilder::AppendPcm16(const uint8_t *interleaved, size_t frames)
{
    if (!FResampler)
        return false;
    const size_t values = frames * static_cast<size_t>(FChannels);
    FValues.resize(values);
    FMono.resize(frames);
    float *v = FValues.data();
    for (size_t i = 0; i < values; ++i)
        v[i] = static_cast<float>(static_cast<int16_t>(interleaved[2 * i] | (interleaved[2 * i + 1] << 8)));
    MixDown(v, frames, 1.0f / 32768);
    return Push(FMono.data(), frames);
}

// FMono[i] = scale * the weighted sum of frame i's channels. Mono and stereo, nearly
// every track, get loops of their own that the compiler turns into vector code.
void TSyncSignalBuilder::MixDown(const float *interleaved, size_t frames, float scale)
{
    float *out = FMono.data();
    const size_t c = static_cast<size_t>(FChannels);
    if (c == 1) {
        const float w = FWeights[0] * scale;
        for (size_t i = 0; i < frames; ++i)
            out[i] = interleaved[i] * w;
    } else if (c == 2) {
        const float w0 = FWeights[0] * scale, w1 = FWeights[1] * scale;
        for (size_t i = 0; i < frames; ++i)
            out[i] = interleaved[2 * i] * w0 + interleaved[2 * i + 1] * w1;
    } else {
        for (size_t i = 0; i < frames; ++i) {
            float v = 0;
            for (size_t k = 0; k < c; ++k)
                v += interleaved[i * c + k] * FWeights[k];
            out[i] = v * scale;
        }
    }
}

bool TSyncSignalBuilder::Finish(TSyncSignal &out)
{
    if (!FResampler)
        return false;
    bool ok = Push(nullptr, 0);
    FResampler.reset();
    FSignal.Samples.shrink_to_fit();
    out = std::move(FSignal);
    FSignal = TSyncSignal{};
    return ok;
}

bool ResampleSignal(const TSyncSignal &in, double ratio, TSyncSignal &out)
{
    out = TSyncSignal{};
    out.Rate = in.Rate;   // the caller decides what the new samples mean
    if (!(ratio > 0.01 && ratio < 100))
        return false;
    soxr_error_t error = nullptr;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    // No dither on the 16-bit output: the resampler seeds it from the clock, so the same
    // track would measure differently from run to run.
    io.flags |= SOXR_NO_DITHER;
    soxr_t h = soxr_create(1.0, ratio, 1, &error, &io, &quality, nullptr);
    if (error || !h)
        return false;
    size_t expect = static_cast<size_t>(std::ceil(in.Samples.size() * ratio)) + 16;
    out.Samples.resize(expect);
    size_t idone = 0, odone = 0, total = 0;
    // Fed in blocks: handed the whole track at once the resampler would buffer all of it.
    constexpr size_t kBlock = 1 << 16;
    for (size_t at = 0; !error && at < in.Samples.size();) {
        size_t count = std::min(kBlock, in.Samples.size() - at);
        error = soxr_process(h, in.Samples.data() + at, count, &idone, out.Samples.data() + total, expect - total,
                             &odone);
        at += idone;
        total += odone;
        if (idone == 0 && odone == 0)
            break;
    }
    while (!error && total < expect) {
        error = soxr_process(h, nullptr, 0, nullptr, out.Samples.data() + total, expect - total, &odone);
        if (odone == 0)
            break;
        total += odone;
    }
    soxr_delete(h);
    out.Samples.resize(std::min(total, static_cast<size_t>(std::llround(in.Samples.size() * ratio))));
    return !error;
}

std::vector<float> OnsetEnvelope(const TSyncSignal &signal)
{
    constexpr int kFrame = 256;
    const int hop = static_cast<int>(std::lround(signal.Rate / kEnvelopeRate));
    const int64_t n = static_cast<int64_t>(signal.Samples.size());
    const int64_t count = n / hop;
    std::vector<float> env(static_cast<size_t>(std::max<int64_t>(count, 0)), 0.0f);
    if (count <= 0)
        return env;
    TRealFft fft(kFrame);
    constexpr int kBands = 16;
    std::vector<float> window(kFrame), prev(kBands, 0.0f), cur(kBands);
    for (int i = 0; i < kFrame; ++i)
        window[static_cast<size_t>(i)] = 0.5f - 0.5f * std::cos(2 * M_PI * (i + 0.5) / kFrame);
    for (int64_t f = 0; f < count; ++f) {
        // Frame centred on the envelope instant f * hop.
        int64_t start = f * hop - kFrame / 2 + hop / 2;
        float *in = fft.Input();
        for (int i = 0; i < kFrame; ++i) {
            int64_t p = start + i;
            in[i] = (p >= 0 && p < n) ? signal.Samples[static_cast<size_t>(p)] * window[static_cast<size_t>(i)] : 0.0f;
        }
        fft.Forward();
        const fftwf_complex *out = fft.Output();
        // Bands of 8 bins (250 Hz) above the first bin.
        for (int b = 0; b < kBands; ++b) {
            float e = 0;
            for (int k = 1 + b * 8; k < 1 + (b + 1) * 8 && k <= kFrame / 2; ++k)
                e += out[k][0] * out[k][0] + out[k][1] * out[k][1];
            cur[static_cast<size_t>(b)] = std::log1p(e * 1e-6f);
        }
        float flux = 0;
        for (int b = 0; b < kBands; ++b)
            flux += std::max(0.0f, cur[static_cast<size_t>(b)] - prev[static_cast<size_t>(b)]);
        prev = cur;
        env[static_cast<size_t>(f)] = flux;
    }
    return env;
}

} // namespace tessaly::sync
