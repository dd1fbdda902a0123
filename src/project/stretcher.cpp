// The pitch-keeping reader over librubberband's real-time stretcher.
#include "project/stretcher.h"

#include <algorithm>
#include <cmath>

#include <rubberband/RubberBandStretcher.h>

namespace tessaly {

namespace {

using RubberBand::RubberBandStretcher;

constexpr int32_t kFeedBlock = 1024;

} // namespace

TPitchKeeper::TPitchKeeper(uint32_t sampleRate, int channels, double fullScale)
    : FRate(sampleRate), FChannels(std::max(channels, 1)), FScale(fullScale > 0 ? fullScale : 1)
{
    FStretch = std::make_unique<RubberBandStretcher>(
        FRate, static_cast<size_t>(FChannels),
        RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFiner |
            RubberBandStretcher::OptionChannelsTogether,
        1.0, 1.0);
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
    FFed += frames;
}

void TPitchKeeper::Restart(const TReader &read, long double x0, long double rate)
{
    FStretch->reset();
    FStretch->setTimeRatio(static_cast<double>(1 / rate));
    // The stretcher wants some input ahead of the true start and delays its output: the
    // pad is the track's own audio before the start, the delay is read and dropped, so
    // the first kept output sample belongs to the run's first position.
    const auto pad = static_cast<int64_t>(FStretch->getPreferredStartPad());
    const auto delay = static_cast<int64_t>(FStretch->getStartDelay());
    FFed = static_cast<int64_t>(std::llround(x0)) - pad;
    for (int64_t left = pad; left > 0;) {
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kFeedBlock));
        Feed(read, n);
        left -= n;
    }
    for (int64_t dropped = 0; dropped < delay;) {
        while (FStretch->available() <= 0)
            Feed(read, kFeedBlock);
        const int64_t n = std::min<int64_t>(delay - dropped, FStretch->available());
        for (int c = 0; c < FChannels; ++c) {
            FPlanar[static_cast<size_t>(c)].resize(static_cast<size_t>(n));
            FPointers[static_cast<size_t>(c)] = FPlanar[static_cast<size_t>(c)].data();
        }
        FStretch->retrieve(FPointers.data(), static_cast<size_t>(n));
        dropped += n;
    }
    FActive = true;
    FLeadSet = false;
    FLeadError = 0;
}

void TPitchKeeper::Read(const TReader &read, long double x0, long double rate, int32_t count, double *out)
{
    if (count <= 0)
        return;
    if (!(rate > 0))
        rate = 1;
    if (!FActive || std::fabs(x0 - FNext) > 0.5L) {
        Restart(read, x0, rate);
    } else {
        // The stretcher rounds its hops, so its input runs a little ahead of or behind the
        // asked ratio: how far the input fed leads the curve, against the lead at the start
        // of the run, steers the ratio (smoothed over about a second) to hold the timing.
        const long double lead = static_cast<long double>(FFed) - x0;
        if (!FLeadSet) {
            // The lead once the start-up has passed is the one to hold.
            FLead0 = lead;
            FLeadSet = true;
        }
        const double error = static_cast<double>(lead - FLead0);
        const double a = std::min(1.0, static_cast<double>(count) / FRate);
        FLeadError += a * (error - FLeadError);
        const double correction = std::clamp(FLeadError / FRate, -0.01, 0.01);
        FStretch->setTimeRatio(static_cast<double>(1 / rate) * (1 + correction));
    }
    while (FStretch->available() < count) {
        const size_t need = FStretch->getSamplesRequired();
        Feed(read, static_cast<int32_t>(std::clamp<size_t>(need, 1, kFeedBlock)));
    }
    for (int c = 0; c < FChannels; ++c) {
        FPlanar[static_cast<size_t>(c)].resize(static_cast<size_t>(count));
        FPointers[static_cast<size_t>(c)] = FPlanar[static_cast<size_t>(c)].data();
    }
    FStretch->retrieve(FPointers.data(), static_cast<size_t>(count));
    for (int32_t t = 0; t < count; ++t)
        for (int c = 0; c < FChannels; ++c)
            out[static_cast<size_t>(t) * FChannels + c] = FPlanar[static_cast<size_t>(c)][static_cast<size_t>(t)] * FScale;
    FNext = x0 + count * rate;
}

} // namespace tessaly
