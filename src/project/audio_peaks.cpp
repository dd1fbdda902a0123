// The audio strip's peaks: both tracks run through the real audio mixer over the frames
// around the position, so the strip shows exactly the placement the result will have.
#include "project/audio_peaks.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "project/audio_mixer.h"
#include "project/project.h"

namespace tessaly {

namespace {

// Frames mixed ahead of the strip, state only, so that a backward cut up to this long
// before the strip still keeps the primary track silent where the result does.
constexpr double kLeadSeconds = 4.0;
// Mixed frames kept behind the strip, so stepping back mixes nothing.
constexpr int64_t kKeepBehind = 50;
// Computed strips kept (stepping back and forth, repaints, a second zoom level).
constexpr size_t kStripLimit = 64;

int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

void TAudioPeaks::SetSources(TMixSource *primary, TMixSource *dbl)
{
    Invalidate();
    FPrimary.Detach();
    FDouble.Detach();
    FRate = 0;
    TMixSource *main = primary ? primary : dbl;
    if (!main || !main->SetOutputFormat(nullptr, 0))
        return;
    WAVEFORMATEX own{};
    int32_t size = 0;
    main->OutputFormat(own, size);
    if (size < 16 || own.nSamplesPerSec == 0)
        return;
    FRate = own.nSamplesPerSec;
    FPrimary.Attach(primary, FRate);
    FDouble.Attach(dbl, FRate);
}

int64_t TAudioPeaks::SamplesUpTo(int64_t frame) const
{
    return FProject.SamplesUpToFrame(frame, FRate);
}

int64_t TAudioPeaks::FrameOfSample(int64_t sample) const
{
    const long double perFrame = static_cast<long double>(FRate) / FProject.Fps();
    auto g = static_cast<int64_t>(std::floor(static_cast<long double>(sample) / perFrame));
    while (SamplesUpTo(g) > sample)
        --g;
    while (SamplesUpTo(g + 1) <= sample)
        ++g;
    return g;
}

void TAudioPeaks::Layout(int32_t frame, int32_t width, double seconds, TAudioStrip &strip)
{
    const int64_t start = SamplesUpTo(frame), end = SamplesUpTo(int64_t{frame} + 1);
    const int64_t span = std::llround(2.0 * seconds * FRate);
    const int64_t perColumn = std::max<int64_t>(1, (span + width - 1) / width);
    // Columns sit on a grid of whole columns from sample 0, so stepping moves the
    // picture by whole columns and the columns keep their contents.
    const int64_t first = FloorDiv(start + (end - start) / 2 - perColumn * width / 2, perColumn) * perColumn;
    strip.Frame = frame;
    strip.Width = width;
    strip.SamplesPerColumn = static_cast<int32_t>(std::min<int64_t>(perColumn, INT32_MAX));
    strip.FirstSample = first;
    strip.SampleRate = FRate;
    const auto x = [&](int64_t sample) { return static_cast<double>(sample - first) / perColumn; };
    strip.CurrentX0 = x(start);
    strip.CurrentX1 = x(end);
    const int64_t last = first + perColumn * width;   // one past the strip
    for (int64_t g = std::max<int64_t>(0, FrameOfSample(first));
         g < FProject.FrameCount() && SamplesUpTo(g) < last; ++g)
        if (SamplesUpTo(g) >= first)
            strip.Frames.push_back(TStripFrame{static_cast<int32_t>(g), x(SamplesUpTo(g))});
}

bool TAudioPeaks::RunLane(TLane &lane, int64_t g0, int64_t g1)
{
    // A run that covers g0 continues; anything else starts again ahead of the strip.
    const bool covers = lane.Mixer && lane.State.Valid && !lane.Frames.empty() && lane.Frames.front().Frame <= g0 &&
                        g0 <= lane.Next;
    if (!covers) {
        lane.Frames.clear();
        lane.Mixer = std::make_unique<TAudioMixer>(FProject, lane.Primary ? lane.Track : nullptr,
                                                   lane.Primary ? nullptr : lane.Track);
        lane.Mixer->SetMixing(rsSampleCopy, 0);   // peaks need no interpolation between samples
        const int64_t lead = lane.Primary ? std::llround(kLeadSeconds * static_cast<double>(FProject.Fps())) : 0;
        const int64_t from = std::max<int64_t>(0, g0 - lead);
        lane.Mixer->InitAudioMix(static_cast<int32_t>(from), 0, lane.State, false);
        if (!lane.State.Valid)
            return false;
        for (lane.Next = from; lane.Next < g0; ++lane.Next)   // lead-in: position history only
            lane.Mixer->MixFrameAudio(static_cast<int32_t>(lane.Next), lane.State, false, nullptr, 0);
    }
    const size_t channels = lane.Track->Channels();
    FBuffer.resize(static_cast<size_t>(lane.State.MaxSamples) * static_cast<size_t>(lane.State.BlockSize));
    for (; lane.Next <= g1; ++lane.Next) {
        TMixedFrame mixed;
        mixed.Frame = lane.Next;
        mixed.OutPos = lane.State.OutPos;
        const bool doubleOff = lane.State.Cur.DoubleOff();
        lane.Mixer->MixFrameAudio(static_cast<int32_t>(lane.Next), lane.State, false, FBuffer.data(), 0);
        mixed.Sounding = lane.Primary ? !lane.State.Silent : !doubleOff;
        mixed.Samples.resize(static_cast<size_t>(lane.State.OutPos - mixed.OutPos) * channels);
        std::memcpy(mixed.Samples.data(), FBuffer.data(), mixed.Samples.size() * sizeof(int16_t));
        lane.Frames.push_back(std::move(mixed));
    }
    // Keep some frames behind the strip for stepping back.
    while (!lane.Frames.empty() && lane.Frames.front().Frame < g0 - kKeepBehind)
        lane.Frames.pop_front();
    return true;
}

void TAudioPeaks::LanePeaks(TLane &lane, const TAudioStrip &strip, std::vector<TPeakColumn> &out)
{
    out.assign(static_cast<size_t>(strip.Width), TPeakColumn{});
    const int64_t perColumn = strip.SamplesPerColumn;
    const int64_t first = strip.FirstSample, last = first + perColumn * strip.Width;
    const int64_t g0 = std::max<int64_t>(0, FrameOfSample(first));
    const int64_t g1 = std::min<int64_t>(FProject.FrameCount() - 1, FrameOfSample(last - 1));
    if (g0 > g1 || !RunLane(lane, g0, g1))
        return;
    const size_t channels = lane.Track->Channels();
    std::vector<bool> touched(out.size(), false);
    for (const TMixedFrame &mixed : lane.Frames) {
        if (mixed.Frame < g0 || mixed.Frame > g1)
            continue;
        const int64_t count = static_cast<int64_t>(mixed.Samples.size() / channels);
        int64_t t = std::max<int64_t>(0, first - mixed.OutPos);
        const int64_t end = std::min<int64_t>(count, last - mixed.OutPos);
        while (t < end) {
            // The samples of this frame inside one column.
            const int64_t column = (mixed.OutPos + t - first) / perColumn;
            const int64_t stop = std::min<int64_t>(end, first + (column + 1) * perColumn - mixed.OutPos);
            const int16_t *from = mixed.Samples.data() + t * static_cast<int64_t>(channels);
            const int16_t *to = mixed.Samples.data() + stop * static_cast<int64_t>(channels);
            const auto [lo, hi] = std::minmax_element(from, to);
            TPeakColumn &col = out[static_cast<size_t>(column)];
            if (!touched[static_cast<size_t>(column)]) {
                col.Min = *lo;
                col.Max = *hi;
                touched[static_cast<size_t>(column)] = true;
            }
            col.Min = std::min(col.Min, *lo);
            col.Max = std::max(col.Max, *hi);
            col.Sounding = col.Sounding || mixed.Sounding;
            t = stop;
        }
    }
}

uint64_t TAudioPeaks::Signature() const
{
    // FNV-1a over what places the audio: the video's length and rate and the markers.
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *data, size_t size) {
        for (size_t i = 0; i < size; ++i)
            h = (h ^ static_cast<const uint8_t *>(data)[i]) * 1099511628211ull;
    };
    const int32_t facts[3] = {FProject.FrameCount(), FProject.RateNumerator(), FProject.RateDenominator()};
    mix(facts, sizeof facts);
    for (const TMarker &m : FProject.Markers()) {
        const int32_t fields[3] = {m.Frame, m.Value, m.Milli};
        const uint8_t flags[3] = {m.Kind, m.Affect, m.Deactivated};
        mix(fields, sizeof fields);
        mix(flags, sizeof flags);
    }
    return h;
}

void TAudioPeaks::Invalidate()
{
    FStrips.clear();
    for (TLane *lane : {&FPrimaryLane, &FDoubleLane}) {
        lane->Mixer.reset();
        lane->State = TAudioMixState{};
        lane->Frames.clear();
    }
}

bool TAudioPeaks::Compute(int32_t frame, int32_t width, double seconds, TAudioStrip &strip)
{
    strip = TAudioStrip{};
    const bool any = FPrimary.Attached() || FDouble.Attached();
    if (!FProject.HasVideo() || FProject.Fps() <= 0 || width < 1 || FRate == 0 || !any || !(seconds > 0))
        return false;
    seconds = std::min(seconds, 600.0);
    const uint64_t signature = Signature();
    if (signature != FSignature) {
        Invalidate();
        FSignature = signature;
    }
    Layout(frame, width, seconds, strip);
    const TKey key{strip.SamplesPerColumn, width, frame};
    auto found = FStrips.find(key);
    if (found != FStrips.end()) {
        strip = found->second;
        return true;
    }
    strip.HasPrimary = FPrimary.Attached();
    strip.HasDouble = FDouble.Attached();
    if (strip.HasPrimary)
        LanePeaks(FPrimaryLane, strip, strip.Primary);
    if (strip.HasDouble)
        LanePeaks(FDoubleLane, strip, strip.Double);
    ++FComputed;
    if (FStrips.size() >= kStripLimit) {
        // Forget the strip furthest from this one.
        auto far = std::max_element(FStrips.begin(), FStrips.end(), [frame](const auto &a, const auto &b) {
            return std::abs(int64_t{std::get<2>(a.first)} - frame) < std::abs(int64_t{std::get<2>(b.first)} - frame);
        });
        FStrips.erase(far);
    }
    FStrips.emplace(key, strip);
    return true;
}

} // namespace tessaly
