// The audio mixer: primary track along the shift curve (forward only), double track in
// step with the video, cross-fades where the primary track stops or resumes.
#include "project/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/input/wave_format.h"
#include "project/project.h"
#include "project/resampler_pcm.h"

namespace tessaly {

namespace {

// Nearest integer, halves to even (the default rounding mode).
int64_t RoundToInt(long double v)
{
    return static_cast<int64_t>(std::llrintl(v));
}

} // namespace

TAudioMixer::TAudioMixer(const TProject &project, TMixSource *audio, TMixSource *dbl)
    : FProject(project), FAudio(audio), FDouble(dbl)
{
}

void TAudioMixer::SetMixing(TResampling resampling, int32_t crossFadeMs)
{
    FMixingSet = true;
    FResampling = resampling;
    FCrossFadeMs = std::clamp(crossFadeMs, 0, kMaxCrossFadeMs);
}

void TAudioMixer::SetPreviewMutes(bool audioMuted, bool doubleMuted)
{
    FPreviewAudioMuted = audioMuted;
    FPreviewDoubleMuted = doubleMuted;
}

int64_t TAudioMixer::SamplesUpTo(int64_t frame, const TAudioMixState &state) const
{
    // The same exact count the result-AVI creator asks for, so the two never drift apart.
    return FProject.SamplesUpToFrame(frame, state.Format.nSamplesPerSec);
}

void TAudioMixer::InitAudioMix(int32_t firstFrame, int32_t frameOffset, TAudioMixState &state, bool forPreview)
{
    state = TAudioMixState{};
    if (!FProject.HasVideo())
        return;
    bool ok = true;
    for (TMixSource *s : {FAudio, FDouble})
        if (s)
            ok = s->SetOutputFormat(nullptr, 0) && ok;
    state.FrameOffset = frameOffset;
    state.Frame = frameOffset + firstFrame;
    state.Valid = FAudio || FDouble;
    state.AudioMuted = (forPreview && FPreviewAudioMuted) || !FAudio;
    state.DoubleMuted = (forPreview && FPreviewDoubleMuted) || !FDouble;
    if (!state.Valid)
        return;

    TMixSource *main = FAudio ? FAudio : FDouble;
    const TProjectOptions &o = FProject.Options();
    state.Resampling = FMixingSet ? FResampling : o.Resampling;
    const int32_t ms = std::clamp(FMixingSet ? FCrossFadeMs : o.CrossFadeMs, 0, kMaxCrossFadeMs);
    // The floating-point mix reads a preview's high-resolution track as it is and rounds
    // it to 16 bits itself, with dither; the sample-copy mix lets the track convert.
    const bool floatMix = state.Resampling != rsSampleCopy || ms > 0;
    bool ownRounding = false;
    WAVEFORMATEX f{};
    int32_t size = 0;
    if (forPreview) {
        // The preview plays at most 48 kHz, 16 bits, stereo.
        main->OutputFormat(f, size);
        ok = ok && size >= 16;
        if (ok) {
            WAVEFORMATEX p = MakePcmFormat(std::min<uint32_t>(f.nSamplesPerSec, 48000),
                                       std::min<uint16_t>(f.wBitsPerSample, 16), std::min<uint16_t>(f.nChannels, 2));
            ownRounding = floatMix && ResolutionBits(f) > 16 && IsSupportedPcm(f);
            if (ownRounding) {
                WAVEFORMATEX read = f;
                read.nSamplesPerSec = p.nSamplesPerSec;
                read.nChannels = p.nChannels;
                read.nBlockAlign = static_cast<uint16_t>(read.wBitsPerSample / 8 * read.nChannels);
                read.nAvgBytesPerSec = read.nSamplesPerSec * read.nBlockAlign;
                read.cbSize = 0;
                ok = main->SetOutputFormat(&read, sizeof read);
                f = p;
            } else {
                ok = main->SetOutputFormat(&p, sizeof p);
            }
        }
    }
    main->OutputFormat(state.Format, state.FormatSize);
    state.ReadFormat = state.Format;
    if (ownRounding)
        state.Format = f;
    state.ChannelMask = main->ChannelMask();
    ok = ok && state.FormatSize >= 16;
    if (ok && FAudio && FDouble)
        ok = FDouble->SetOutputFormat(&state.ReadFormat, state.FormatSize);
    state.BlockSize = state.Format.nBlockAlign;
    state.ReadBlockSize = state.ReadFormat.nBlockAlign;
    ok = ok && state.BlockSize > 0 && state.ReadBlockSize > 0 && state.Format.nSamplesPerSec > 0;
    if (ok) {
        state.ReadSilence.assign(static_cast<size_t>(state.ReadBlockSize), 0);
        ok = main->Silence(state.ReadSilence.data(), 1);
        // A 16-bit result of the own rounding is silent at 0.
        state.SilenceSample = ownRounding ? std::vector<uint8_t>(static_cast<size_t>(state.BlockSize), 0)
                                          : state.ReadSilence;
        state.AudioSample = state.DoubleSample = state.SilenceSample;
    }
    long double fps = FProject.Fps();
    state.Valid = ok && fps > 0 && FProject.RateNumerator() > 0 && FProject.RateDenominator() > 0;
    if (!state.Valid)
        return;
    // The caller's per-frame buffer holds MaxSamples sample frames: a frame rate from a
    // project file may make one frame last for years, which no buffer holds.
    const long double perFrame = std::nearbyintl(state.Format.nSamplesPerSec / fps) + 2;
    if (!(perFrame * state.BlockSize <= kMaxMixFrameBytes)) {
        state.Valid = false;
        return;
    }
    state.MaxSamples = static_cast<int32_t>(perFrame);
    state.OutPos = SamplesUpTo(state.Frame, state);
    state.LastSrcPos = -2147483647;
    state.Cur = FProject.GetStateAt(state.Frame);
    state.Silent = state.AudioMuted || state.Cur.AudioOff();
    state.FadeSamples = static_cast<int32_t>(int64_t{ms} * state.Format.nSamplesPerSec / 1000);
    state.Tail = TAudioMixState::tkStart;
    FWindow = TWindow{};
    FKeeper.reset();
    FDither = TTpdfDither{};
}

void TAudioMixer::ComputeShifts(TAudioMixState &state, int64_t n)
{
    const TFrameState &cur = state.Cur, &next = state.Next;
    state.CurCut = cur.CutShift;
    bool cutHere = cur.MarkerKind == mkRelCut && !cur.MarkerDeactivated;
    if (state.EndShift == 0 || cutHere)
        state.StartShift = n * (cur.CutShift + cur.SplineShift);
    else
        state.StartShift = state.EndShift;   // continuity with the previous frame
    state.EndShift = n * (cur.CutShift + next.SplineShift);
}

void TAudioMixer::UpdateShifts(TAudioMixState &state, int64_t n, int32_t count, bool crossFade)
{
    const TFrameState &next = state.Next;
    ComputeShifts(state, n);

    // The primary track is read forward only and within its length.
    int64_t length = FAudio->OutputLength();
    int64_t p = RoundToInt(state.StartShift) + state.OutPos;
    state.Silent = !(state.LastSrcPos < p && p < length);
    state.PastEnd = p >= length;
    if (!state.Silent) {
        p = RoundToInt(state.EndShift) + state.OutPos + count - 1;
        state.Silent = !(state.LastSrcPos < p && p < length);
        state.PastEnd = p >= length;
    }
    // Before a backward jump the primary track fades out already.
    if (crossFade && !state.Silent && next.MarkerKind == mkRelCut && !next.MarkerDeactivated &&
        next.CutShift < state.CurCut)
        state.Silent = true;
}

void TAudioMixer::ReadSpan(TMixSource *source, int64_t first, int32_t count, const TAudioMixState &state,
                           uint8_t *out)
{
    // Positions outside the track are silence; the rest is one sequential read.
    const size_t bs = static_cast<size_t>(state.ReadBlockSize);
    const int64_t length = source->OutputLength(), end = first + count;
    const int64_t from = std::clamp<int64_t>(first, 0, length), to = std::clamp<int64_t>(end, 0, length);
    auto silence = [&](int64_t a, int64_t b) {
        for (int64_t p = a; p < b; ++p)
            std::memcpy(out + static_cast<size_t>(p - first) * bs, state.ReadSilence.data(), bs);
    };
    if (from >= to) {
        silence(first, end);
        return;
    }
    silence(first, from);
    if (source->OutputPosition() != from)
        source->Seek(from);
    if (!source->ReadSamples(out + static_cast<size_t>(from - first) * bs, static_cast<int32_t>(to - from))) {
        silence(from, to);
        if (!FReadFailure) {
            FReadFailure.Double = source == FDouble;
            FReadFailure.Position = from;
        }
        FReadFailure.Samples += to - from;
    }
    silence(to, end);
}

void TAudioMixer::ReadTrack(TMixSource *source, long double start, long double step, int64_t base,
                            int32_t count, const TAudioMixState &state, uint8_t *out)
{
    // Sample t comes from offset(t) + base + t with offset(t) = round(t * step + start).
    // offset is monotone in t (each step of its evaluation rounds monotonically), so the
    // samples of one offset form a run of consecutive positions: each run's end is found
    // by a galloping search and read in one request, instead of rounding every sample.
    const int64_t fixed = RoundToInt(start);
    auto offset = [&](int32_t t) { return step == 0 ? fixed : RoundToInt(t * step + start); };
    const size_t bs = static_cast<size_t>(state.ReadBlockSize);
    int32_t t = 0;
    int64_t o = offset(0);
    while (t < count) {
        // Largest `good` with offset(good) == o: gallop, then bisect (good, bad]. The
        // offset found at `bad` is the next run's, so a run of one sample costs one rounding.
        int32_t good = t, gap = 1, bad = count;
        int64_t badOffset = o;
        while (good + gap < count) {
            const int64_t v = offset(good + gap);
            if (v != o) {
                bad = good + gap;
                badOffset = v;
                break;
            }
            good += gap;
            gap *= 2;
        }
        while (bad - good > 1) {
            const int32_t mid = good + (bad - good) / 2;
            const int64_t v = offset(mid);
            if (v == o) {
                good = mid;
            } else {
                bad = mid;
                badOffset = v;
            }
        }
        ReadSpan(source, o + base + t, good - t + 1, state, out + static_cast<size_t>(t) * bs);
        t = good + 1;
        o = badOffset;
    }
}

void TAudioMixer::FillSilence(const TAudioMixState &state, uint8_t *out, int32_t count)
{
    const size_t bs = static_cast<size_t>(state.BlockSize);
    for (int32_t t = 0; t < count; ++t)
        std::memcpy(out + static_cast<size_t>(t) * bs, state.SilenceSample.data(), bs);
}

void TAudioMixer::ReadDoubleTrack(const TAudioMixState &state, int64_t first, int32_t count, uint8_t *out)
{
    // In step with the video, moved by whole frames, at its volume.
    ReadTrack(FDouble, 0, 0, first, count, state, out);
    const int volume = state.Cur.DoubleVolume;
    if (volume == 100)
        return;
    const double factor = (volume * 0.01) * (volume * 0.01);
    const size_t bs = static_cast<size_t>(state.BlockSize);
    for (int32_t t = 0; t < count; ++t)
        Amplify(state.Format, out + static_cast<size_t>(t) * bs, out + static_cast<size_t>(t) * bs, factor);
}

void TAudioMixer::MixSamples(TAudioMixState &state, bool crossFade, uint8_t *buffer, int32_t count, int64_t n)
{
    const bool audioOff = state.Cur.AudioOff();
    const bool doubleOff = state.Cur.DoubleOff();
    // A fractional double shift moves by the nearest sample; a whole one by whole frames.
    int64_t dblOffset = state.ReadDouble ? RoundToInt(state.Cur.DoubleShift * n) : 0;
    if (state.ReadAudio)
        state.Step = (state.EndShift - state.StartShift) / count;
    else
        state.StartShift = state.EndShift = state.Step = 0;
    const size_t bs = static_cast<size_t>(state.BlockSize), bytes = static_cast<size_t>(count) * bs;
    const bool fadeOut = crossFade && state.Silent && !state.PrevSilent;   // the primary stops
    const bool fadeIn = crossFade && state.PrevSilent && !state.Silent;    // the primary resumes
    const bool useDouble = state.Silent || audioOff;
    // Without a cross-fade only one track sounds (the other is silence): it is read
    // straight into the result.
    uint8_t *primary = nullptr, *dbl = nullptr;
    if (fadeOut || fadeIn) {
        FPrimary.resize(bytes);
        FSecondary.resize(bytes);
        primary = FPrimary.data();
        dbl = FSecondary.data();
    } else if (useDouble) {
        dbl = buffer;
    } else {
        primary = buffer;
    }
    // Primary: along the shift, interpolated linearly across the frame.
    if (primary) {
        // Where an option switches the primary off, the fade runs from it: it is still
        // read along the curve in that frame.
        if (!state.ReadAudio || (audioOff && !fadeOut) || state.AudioMuted)
            FillSilence(state, primary, count);
        else
            ReadTrack(FAudio, state.StartShift, state.Step, state.OutPos, count, state, primary);
    }
    if (dbl) {
        if (!state.ReadDouble || doubleOff || state.DoubleMuted)
            FillSilence(state, dbl, count);
        else
            ReadDoubleTrack(state, state.OutPos + dblOffset, count, dbl);
    }

    if (fadeOut || fadeIn) {
        for (int32_t t = 0; t < count; ++t) {
            uint8_t *out = buffer + static_cast<size_t>(t) * bs;
            const uint8_t *a = primary + static_cast<size_t>(t) * bs, *d = dbl + static_cast<size_t>(t) * bs;
            const double w = static_cast<double>(t) / count;
            TMediaError e = fadeOut ? CrossFade(state.Format, d, a, out, w) : CrossFade(state.Format, a, d, out, w);
            if (e != meOk)
                std::memcpy(out, a, bs);   // formats that are not faded keep the primary track
        }
    }
    if (count > 0) {
        std::memcpy(state.AudioSample.data(), primary ? primary + bytes - bs : state.SilenceSample.data(), bs);
        std::memcpy(state.DoubleSample.data(), dbl ? dbl + bytes - bs : state.SilenceSample.data(), bs);
    }
}

bool TAudioMixer::MixFrameAudio(int32_t frame, TAudioMixState &state, bool crossFade, uint8_t *buffer,
                                int32_t count)
{
    if (!state.Valid)
        return false;
    int32_t a = frame + state.FrameOffset;
    if (a != state.Frame) {
        // A jump: continuity starts again.
        state.Frame = a;
        state.OutPos = SamplesUpTo(a, state);
        state.StartShift = state.EndShift = 0;
        state.LastSrcPos = -2147483647;
        state.Cur = FProject.GetStateAt(a);
        state.Tail = TAudioMixState::tkStart;
    }
    state.Next = FProject.GetStateAt(state.Frame + 1);
    int64_t n = SamplesUpTo(int64_t{state.Frame} + 1, state) - state.OutPos;
    if (count < 1)
        count = static_cast<int32_t>(n);
    const bool audioOff = state.Cur.AudioOff();
    state.PrevSilent = state.Silent;
    state.Silent = state.AudioMuted || audioOff;
    state.PastEnd = false;
    if (!state.Silent)
        UpdateShifts(state, n, count, crossFade);
    else if (crossFade && audioOff && !state.PrevSilent && !state.AudioMuted)
        ComputeShifts(state, n);   // the frame fades out of the primary along the curve

    if (crossFade) {
        state.ReadAudio = !(state.Silent && state.PrevSilent);
        state.ReadDouble = state.Silent || state.PrevSilent;
    } else {
        state.ReadAudio = !state.Silent;
        state.ReadDouble = state.Silent;
    }
    if (buffer && count > 0) {
        if (state.Resampling == rsSampleCopy && state.FadeSamples == 0)
            MixSamples(state, crossFade, buffer, count, n);
        else
            MixSamplesFloat(state, crossFade, buffer, count, n);
    } else {
        state.Tail = TAudioMixState::tkStart;   // nothing sounded to fade from
    }
    if (state.ReadAudio && !state.Silent)
        state.LastSrcPos = RoundToInt(state.EndShift) + count + state.OutPos - 1;
    state.OutPos += count;
    ++state.Frame;
    state.Cur = state.Next;
    return state.Valid;
}

} // namespace tessaly
