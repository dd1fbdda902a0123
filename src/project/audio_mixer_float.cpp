// The audio mixer's floating-point path: the primary track read along the curve (nearest
// sample or band-limited), the double track at its volume, the frame-long cross-fades and
// the short equal-power fades at cuts and track switches, rounded once at the end.
#include "project/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "project/project.h"
#include "project/resampler_pcm.h"

namespace tessaly {

namespace {

bool IsWhole(long double v) { return v == std::floor(v); }

int64_t RoundToInt(long double v) { return static_cast<int64_t>(std::llrintl(v)); }

} // namespace

void TAudioMixer::FillWindow(const TAudioMixState &state, int64_t first, int64_t last)
{
    const int ch = state.Format.nChannels;
    TWindow &w = FWindow;
    const int64_t frames = last + 1 - first;
    // The window slides forward: the overlap is kept, only what follows it is read.
    int64_t keep = 0;
    if (w.Frames > 0 && first >= w.First && first <= w.First + w.Frames)
        keep = std::min(w.First + w.Frames, last + 1) - first;
    const size_t stride = std::max(w.Stride, static_cast<size_t>(frames)), shift = static_cast<size_t>(first - w.First);
    if (stride > w.Stride) {
        std::vector<float> grown(stride * static_cast<size_t>(ch));
        for (int c = 0; c < ch && keep > 0; ++c)
            std::copy_n(w.Values.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(c) * w.Stride + shift), keep,
                        grown.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(c) * stride));
        w.Values.swap(grown);
        w.Stride = stride;
    } else if (keep > 0 && shift > 0) {
        for (int c = 0; c < ch; ++c) {
            float *row = w.Values.data() + static_cast<size_t>(c) * stride;
            std::copy_n(row + shift, keep, row);
        }
    }
    w.First = first;
    w.Frames = frames;
    const int64_t from = first + keep, count = last + 1 - from;
    if (count <= 0)
        return;
    const int64_t length = FAudio->OutputLength();
    FBytes.resize(static_cast<size_t>(count) * static_cast<size_t>(state.ReadBlockSize));
    ReadSpan(FAudio, from, static_cast<int32_t>(count), state, FBytes.data());
    DecodePcmPlanar(state.ReadFormat, FBytes.data(), count, w.Values.data() + keep, stride);
    // Beyond the ends the track is mirrored, so the kernel sees no step into silence;
    // a mirrored position not in the window reads as silence.
    auto mirror = [&](int64_t p, int64_t m) {
        const bool have = m >= first && m <= last && m >= 0 && m < length;
        for (int c = 0; c < ch; ++c) {
            float *row = w.Values.data() + static_cast<size_t>(c) * stride;
            row[p - first] = have ? row[m - first] : 0.0f;
        }
    };
    for (int64_t p = std::max(from, length); p <= last; ++p)
        mirror(p, 2 * length - 1 - p);
    for (int64_t p = first; p <= std::min<int64_t>(-1, last); ++p)
        mirror(p, -1 - p);
}

bool TAudioMixer::CopiesPrimary(const TAudioMixState &state, long double start, long double step)
{
    // Whole positions at a constant offset are the stored samples themselves; a curve so
    // steep that a frame reads more than four times its length takes the nearest samples.
    return state.Resampling == rsSampleCopy || (step == 0 && IsWhole(start)) || step > 3 || step < -1;
}

void TAudioMixer::ReadPrimary(const TAudioMixState &state, int64_t base, long double start, long double step,
                              int32_t count, double *out, bool tail)
{
    if (CopiesPrimary(state, start, step)) {
        FBytes.resize(static_cast<size_t>(count) * state.ReadBlockSize);
        ReadTrack(FAudio, start, step, base, count, state, FBytes.data());
        DecodePcm(state.ReadFormat, FBytes.data(), count, out);
        return;
    }
    const long double x0 = static_cast<long double>(base) + start, rate = 1 + step;
    if (state.Resampling == rsKeepPitch && !tail) {
        if (!FKeeper)
            FKeeper = std::make_unique<TPitchKeeper>(state.Format.nSamplesPerSec, state.Format.nChannels,
                                                     PcmFullScale(state.ReadFormat));
        std::vector<uint8_t> bytes;
        FKeeper->Read(
            [&](int64_t first, int32_t frames, double *values) {
                bytes.resize(static_cast<size_t>(frames) * state.ReadBlockSize);
                ReadSpan(FAudio, first, frames, state, bytes.data());
                DecodePcm(state.ReadFormat, bytes.data(), frames, values);
            },
            x0, rate, count, out);
        return;
    }
    const TSincKernel &k = FResampler.KernelFor(rate);
    int64_t first = 0, last = 0;
    TResampler::Span(k, x0, rate, count, first, last);
    FillWindow(state, first, last);
    TResampler::Read(k, FWindow.Values.data(), FWindow.Stride, FWindow.First, FWindow.Frames, state.Format.nChannels,
                     x0, rate, count, out);
}

void TAudioMixer::ReadDoubleValues(const TAudioMixState &state, int64_t first, int32_t count, double *out)
{
    FBytes.resize(static_cast<size_t>(count) * state.ReadBlockSize);
    ReadTrack(FDouble, 0, 0, first, count, state, FBytes.data());
    DecodePcm(state.ReadFormat, FBytes.data(), count, out);
    const int volume = state.Cur.DoubleVolume;
    if (volume == 100)
        return;
    const double factor = (volume * 0.01) * (volume * 0.01);
    for (int64_t i = 0, e = int64_t{count} * state.Format.nChannels; i < e; ++i)
        out[i] *= factor;
}

bool TAudioMixer::TailFades(const TAudioMixState &state, bool beginsPrimary, bool primaryRead, bool beginsDouble,
                            bool doubleRead, int64_t base)
{
    using T = TAudioMixState;
    if (state.FadeSamples <= 0)
        return false;
    switch (state.Tail) {
    case T::tkPrimary:
        // The primary runs on unless the frame starts elsewhere in it (a cut) or leaves it
        // for the other track; running out at the end of the track stays as it was.
        if (beginsPrimary && primaryRead)
            return std::fabs(static_cast<long double>(base) + state.StartShift - state.TailPos) > 0.5L;
        return !(state.PastEnd && !(beginsDouble && doubleRead));
    case T::tkDouble: return !beginsDouble;
    case T::tkSilence: return (beginsPrimary && primaryRead) || (beginsDouble && doubleRead);
    default: return false;
    }
}

void TAudioMixer::FadeFromTail(TAudioMixState &state, bool beginsPrimary, bool primaryRead, bool beginsDouble,
                               bool doubleRead, int64_t base, int32_t count, double *mix)
{
    using T = TAudioMixState;
    const int32_t len = std::min(state.FadeSamples, count);
    if (len <= 0 || !TailFades(state, beginsPrimary, primaryRead, beginsDouble, doubleRead, base))
        return;
    const int ch = state.Format.nChannels;
    FTail.assign(static_cast<size_t>(len) * ch, 0.0);
    if (state.Tail == T::tkPrimary) {
        // The old run carries on past its end while the new material fades in, so every
        // sample position of the rules stays where it was.
        const long double from = state.TailPos - static_cast<long double>(base);
        ReadPrimary(state, base, from, state.TailStep, len, FTail.data(), true);
    } else if (state.Tail == T::tkDouble && !state.Cur.DoubleOff() && !state.DoubleMuted) {
        ReadDoubleValues(state, base + state.TailDouble, len, FTail.data());
    }
    for (int32_t t = 0; t < len; ++t) {
        const double a = std::numbers::pi / 2 * (t + 0.5) / len;
        const double gin = std::sin(a), gout = std::cos(a);
        for (int c = 0; c < ch; ++c) {
            double &m = mix[static_cast<size_t>(t) * ch + c];
            m = gout * FTail[static_cast<size_t>(t) * ch + c] + gin * m;
        }
    }
}

void TAudioMixer::MixSamplesFloat(TAudioMixState &state, bool crossFade, uint8_t *buffer, int32_t count, int64_t n)
{
    using T = TAudioMixState;
    const bool audioOff = state.Cur.AudioOff();
    const bool doubleOff = state.Cur.DoubleOff();
    const int64_t dblOffset = state.ReadDouble ? RoundToInt(state.Cur.DoubleShift * n) : 0;
    if (state.ReadAudio)
        state.Step = (state.EndShift - state.StartShift) / count;
    else
        state.StartShift = state.EndShift = state.Step = 0;
    const int ch = state.Format.nChannels;
    const size_t values = static_cast<size_t>(count) * ch;
    const bool fadeOut = crossFade && state.Silent && !state.PrevSilent;
    const bool fadeIn = crossFade && state.PrevSilent && !state.Silent;
    const bool useDouble = state.Silent || audioOff;
    const bool primaryRead = state.ReadAudio && !(audioOff && !fadeOut) && !state.AudioMuted;
    const bool doubleRead = state.ReadDouble && !doubleOff && !state.DoubleMuted;
    const bool needPrimary = fadeOut || fadeIn || !useDouble, needDouble = fadeOut || fadeIn || useDouble;

    const bool beginsPrimary = fadeOut || (!useDouble && !fadeIn);
    const bool beginsDouble = fadeIn || (useDouble && !fadeOut);
    // A frame of the primary alone at whole positions of a constant offset, without a fade,
    // in the format it is read in, holds the stored samples: they are copied as they are
    // (decoding and encoding them again would give the same bytes).
    if (!useDouble && !fadeIn && primaryRead && CopiesPrimary(state, state.StartShift, state.Step) &&
        !TailFades(state, beginsPrimary, primaryRead, beginsDouble, doubleRead, state.OutPos) &&
        IsSupportedPcm(state.ReadFormat) && std::memcmp(&state.ReadFormat, &state.Format, sizeof state.Format) == 0) {
        ReadTrack(FAudio, state.StartShift, state.Step, state.OutPos, count, state, buffer);
        state.Tail = T::tkPrimary;
        state.TailPos = static_cast<long double>(state.OutPos + count) + state.EndShift;
        state.TailStep = state.Step;
        return;
    }

    // Each track's values are written by its read or are silence.
    FMix.resize(values);
    FOther.resize(values);
    if (!(needPrimary && primaryRead))
        std::fill(FMix.begin(), FMix.end(), 0.0);
    if (needDouble && !doubleRead)
        std::fill(FOther.begin(), FOther.end(), 0.0);
    double *primary = FMix.data(), *dbl = FOther.data();
    if (needPrimary && primaryRead)
        ReadPrimary(state, state.OutPos, state.StartShift, state.Step, count, primary);
    if (needDouble && doubleRead)
        ReadDoubleValues(state, state.OutPos + dblOffset, count, dbl);

    if (fadeOut || fadeIn) {
        for (int32_t t = 0; t < count; ++t) {
            const double w = static_cast<double>(t) / count;
            for (int c = 0; c < ch; ++c) {
                const size_t i = static_cast<size_t>(t) * ch + c;
                primary[i] = fadeOut ? w * dbl[i] + (1 - w) * primary[i] : w * primary[i] + (1 - w) * dbl[i];
            }
        }
    } else if (useDouble) {
        std::swap(FMix, FOther);
    }
    double *mix = FMix.data();
    FadeFromTail(state, beginsPrimary, primaryRead, beginsDouble, doubleRead, state.OutPos, count, mix);
    EncodePcm(state.ReadFormat, mix, count, state.Format, buffer, &FDither);

    // What the frame ends with, for the next frame's fade.
    const bool endsPrimary = fadeIn || (!useDouble && !fadeOut);
    if (endsPrimary && primaryRead) {
        state.Tail = T::tkPrimary;
        state.TailPos = static_cast<long double>(state.OutPos + count) + state.EndShift;
        state.TailStep = state.Step;
    } else if (!endsPrimary && doubleRead) {
        state.Tail = T::tkDouble;
        state.TailDouble = dblOffset;
    } else {
        state.Tail = T::tkSilence;
    }
}

} // namespace tessaly
