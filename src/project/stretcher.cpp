// The pitch-keeping reader over librubberband's real-time stretcher.
#include "project/stretcher.h"

#include <algorithm>
#include <cmath>

#include <rubberband/RubberBandStretcher.h>

namespace tessaly {

namespace {

using RubberBand::RubberBandStretcher;

constexpr int32_t kFeedBlock = 1024;
// The probe's clicks are searched this far around the curve's place for them.
constexpr int64_t kSearch = 600;
constexpr float kClickFound = 0.2f;
// Steering: the rate changes by the timing error over kSteerSamples, plus the integral
// of it that takes up the stretcher's own rate error; never by more than kMaxCorrection.
constexpr double kSteerSamples = 12000;
constexpr double kIntegralSamples = 240000;
constexpr double kMaxCorrection = 0.02;

constexpr RubberBandStretcher::Options kOptions = RubberBandStretcher::OptionProcessRealTime |
                                                  RubberBandStretcher::OptionEngineFiner |
                                                  RubberBandStretcher::OptionChannelsTogether;

} // namespace

TPitchKeeper::TPitchKeeper(uint32_t sampleRate, int channels, double fullScale)
    : FRate(sampleRate), FChannels(std::max(channels, 1)), FScale(fullScale > 0 ? fullScale : 1)
{
    FStretch = std::make_unique<RubberBandStretcher>(FRate, static_cast<size_t>(FChannels), kOptions, 1.0, 1.0);
    FProbe = std::make_unique<RubberBandStretcher>(FRate, 1, kOptions, 1.0, 1.0);
    FPlanar.assign(static_cast<size_t>(FChannels), {});
    FPointers.assign(static_cast<size_t>(FChannels), nullptr);
}

TPitchKeeper::~TPitchKeeper() = default;

void TPitchKeeper::Feed(const TReader &read, int32_t frames)
{
    FValues.resize(static_cast<size_t>(frames) * FChannels);
    read(FFed, frames, FValues.data());
    for (int c = 0; c < FChannels; ++c) {
        std::vector<float> &p = FPlanar[static_cast<size_t>(c)];
        p.resize(static_cast<size_t>(frames));
        for (int32_t i = 0; i < frames; ++i)
            p[static_cast<size_t>(i)] = static_cast<float>(FValues[static_cast<size_t>(i) * FChannels + c] / FScale);
        FPointers[static_cast<size_t>(c)] = p.data();
    }
    FStretch->process(FPointers.data(), static_cast<size_t>(frames), false);
    // The probe gets the same block sizes, so both stretchers take the same hops.
    FProbeIn.assign(static_cast<size_t>(frames), 0.0f);
    for (int32_t i = 0; i < frames; ++i)
        if ((FFed + i - FOrigin) % kProbeSpacing == 0)
            FProbeIn[static_cast<size_t>(i)] = 1.0f;
    const float *probe = FProbeIn.data();
    FProbe->process(&probe, static_cast<size_t>(frames), false);
    FFed += frames;
}

void TPitchKeeper::SetRatio(long double rate)
{
    const double ratio = static_cast<double>(1 / (rate * (1 + FCorrection)));
    FStretch->setTimeRatio(ratio);
    FProbe->setTimeRatio(ratio);
}

void TPitchKeeper::Restart(const TReader &read, long double x0, long double rate)
{
    FStretch->reset();
    FProbe->reset();
    FCorrection = FIntegral = 0;
    SetRatio(rate);
    FErrors.clear();
    FHistoryValues.clear();
    FHistoryPositions.clear();
    // The stretcher wants some input ahead of the true start and delays its output: the
    // pad is the track's own audio before the start, the delay is read and dropped, so
    // the first kept output sample belongs to the run's first position.
    const auto pad = static_cast<int64_t>(FStretch->getPreferredStartPad());
    const auto delay = static_cast<int64_t>(FStretch->getStartDelay());
    const int64_t start = static_cast<int64_t>(std::llround(x0));
    FFed = start - pad;
    // Probe clicks from a little after the start on, clear of the start-up.
    FOrigin = start;
    FNextClick = start + kProbeSpacing;
    for (int64_t left = pad; left > 0;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kFeedBlock));
        Feed(read, n);
        left -= n;
    }
    for (int64_t dropped = 0; dropped < delay;) {
        while (FStretch->available() <= 0)
            Feed(read, kFeedBlock);
        const int64_t n = std::min<int64_t>(delay - dropped, FStretch->available());
        Retrieve(static_cast<int32_t>(n));
        dropped += n;
    }
    FActive = true;
}

void TPitchKeeper::Retrieve(int32_t count)
{
    for (int c = 0; c < FChannels; ++c) {
        FPlanar[static_cast<size_t>(c)].resize(static_cast<size_t>(count));
        FPointers[static_cast<size_t>(c)] = FPlanar[static_cast<size_t>(c)].data();
    }
    FStretch->retrieve(FPointers.data(), static_cast<size_t>(count));
    FProbeOut.assign(static_cast<size_t>(count), 0.0f);
    float *probe = FProbeOut.data();
    // Both took the same blocks at the same ratios, so the probe has as much output.
    const auto ready = static_cast<size_t>(std::max(FProbe->available(), 0));
    FProbe->retrieve(&probe, std::min(static_cast<size_t>(count), ready));
}

void TPitchKeeper::Measure(int32_t count, long double x0, long double rate)
{
    for (int32_t t = 0; t < count; ++t) {
        FHistoryValues.push_back(std::fabs(FProbeOut[static_cast<size_t>(t)]));
        FHistoryPositions.push_back(static_cast<double>(x0 + t * rate));
    }
    const auto &v = FHistoryValues;
    const auto &x = FHistoryPositions;
    const int64_t size = static_cast<int64_t>(v.size());
    for (;;) {
        // The output where the curve reaches the click's source position.
        const auto at = std::lower_bound(x.begin(), x.end(), static_cast<double>(FNextClick));
        const int64_t e = at - x.begin();
        if (e + kSearch + 1 >= size)
            break;
        int64_t m = std::max<int64_t>(e - kSearch, 1);
        for (int64_t i = m; i <= e + kSearch; ++i)
            if (v[static_cast<size_t>(i)] > v[static_cast<size_t>(m)])
                m = i;
        if (v[static_cast<size_t>(m)] >= kClickFound) {
            // The peak between samples: a parabola through the largest value and its neighbours.
            const auto value = [&](int64_t i) { return v[static_cast<size_t>(i)]; };
            const double a = value(m - 1), b = value(m), c = value(m + 1);
            const double den = a - 2 * b + c;
            const double d = den < 0 ? 0.5 * (a - c) / den : 0.0;
            const double pos = x[static_cast<size_t>(m)] + d * (x[static_cast<size_t>(m + 1)] - x[static_cast<size_t>(m)]);
            const double error = pos - static_cast<double>(FNextClick);
            FErrors.push_back(error);
            FIntegral = std::clamp(FIntegral + error / kIntegralSamples, -kMaxCorrection, kMaxCorrection);
            FCorrection = std::clamp(error / kSteerSamples + FIntegral, -kMaxCorrection, kMaxCorrection);
        }
        FNextClick += kProbeSpacing;
    }
    // Keep what a click still to come may need.
    const int64_t keep = 4 * kSearch;
    if (size > keep) {
        FHistoryValues.erase(FHistoryValues.begin(), FHistoryValues.end() - keep);
        FHistoryPositions.erase(FHistoryPositions.begin(), FHistoryPositions.end() - keep);
    }
}

void TPitchKeeper::Read(const TReader &read, long double x0, long double rate, int32_t count, double *out)
{
    if (count <= 0)
        return;
    if (!(rate > 0))
        rate = 1;
    if (!FActive || std::fabs(x0 - FNext) > 0.5L)
        Restart(read, x0, rate);
    SetRatio(rate);
    while (FStretch->available() < count) {
        const size_t need = FStretch->getSamplesRequired();
        Feed(read, static_cast<int32_t>(std::clamp<size_t>(need, 1, kFeedBlock)));
    }
    Retrieve(count);
    for (int32_t t = 0; t < count; ++t)
        for (int c = 0; c < FChannels; ++c)
            out[static_cast<size_t>(t) * FChannels + c] = FPlanar[static_cast<size_t>(c)][static_cast<size_t>(t)] * FScale;
    Measure(count, x0, rate);
    FNext = x0 + count * rate;
}

} // namespace tessaly
