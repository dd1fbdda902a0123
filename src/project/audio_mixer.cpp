// The audio mixer: primary track along the shift curve (forward only), double track in
// step with the video, cross-fades where the primary track stops or resumes.
#include "project/audio_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/input/wave_format.h"
#include "media/output/avi_creator.h"
#include "project/project.h"

namespace tessaly {

namespace {

// Nearest integer, halves to even (the default rounding mode).
int64_t RoundToInt(long double v)
{
    return static_cast<int64_t>(std::llrintl(v));
}

} // namespace

TAudioMixer::TAudioMixer(TProject &project, TMixSource *audio, TMixSource *dbl)
    : FProject(project), FAudio(audio), FDouble(dbl)
{
}

void TAudioMixer::SetPreviewMutes(bool audioMuted, bool doubleMuted)
{
    FPreviewAudioMuted = audioMuted;
    FPreviewDoubleMuted = doubleMuted;
}

int64_t TAudioMixer::SamplesUpTo(int64_t frame, const TAudioMixState &state) const
{
    // The same exact count the result-AVI creator asks for, so the two never drift apart.
    return TAVICreator::SamplesUpToFrame(frame, static_cast<uint32_t>(FProject.RateNumerator()),
                                         static_cast<uint32_t>(FProject.RateDenominator()),
                                         state.Format.nSamplesPerSec);
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
    WAVEFORMATEX f{};
    int32_t size = 0;
    if (forPreview) {
        // The preview plays at most 48 kHz, 16 bits, stereo.
        main->OutputFormat(f, size);
        ok = ok && size >= 16;
        if (ok) {
            WAVEFORMATEX p = MakePcmFormat(std::min<uint32_t>(f.nSamplesPerSec, 48000),
                                       std::min<uint16_t>(f.wBitsPerSample, 16), std::min<uint16_t>(f.nChannels, 2));
            ok = main->SetOutputFormat(&p, sizeof p);
        }
    }
    main->OutputFormat(state.Format, state.FormatSize);
    ok = ok && state.FormatSize >= 16;
    if (ok && FAudio && FDouble)
        ok = FDouble->SetOutputFormat(&state.Format, state.FormatSize);
    state.BlockSize = state.Format.nBlockAlign;
    ok = ok && state.BlockSize > 0 && state.Format.nSamplesPerSec > 0;
    if (ok) {
        state.SilenceSample.assign(static_cast<size_t>(state.BlockSize), 0);
        state.AudioSample = state.DoubleSample = state.SilenceSample;
        ok = main->Silence(state.SilenceSample.data(), 1);
    }
    long double fps = FProject.Fps();
    state.Valid = ok && fps > 0 && FProject.RateNumerator() > 0 && FProject.RateDenominator() > 0;
    if (!state.Valid)
        return;
    state.MaxSamples = static_cast<int32_t>(RoundToInt(state.Format.nSamplesPerSec / fps)) + 2;
    state.OutPos = SamplesUpTo(state.Frame, state);
    state.LastSrcPos = -2147483647;
    state.Cur = FProject.GetStateAt(state.Frame);
    state.Silent = state.AudioMuted || state.Cur.AudioOff();
}

void TAudioMixer::UpdateShifts(TAudioMixState &state, int64_t n, int32_t count, bool crossFade)
{
    const TFrameState &cur = state.Cur, &next = state.Next;
    state.CurCut = cur.CutShift;
    bool cutHere = cur.MarkerKind == mkRelCut && !cur.MarkerDeactivated;
    if (state.EndShift == 0 || cutHere)
        state.StartShift = n * (cur.CutShift + cur.SplineShift);
    else
        state.StartShift = state.EndShift;   // continuity with the previous frame
    state.EndShift = n * (cur.CutShift + next.SplineShift);

    // The primary track is read forward only and within its length.
    int64_t length = FAudio->OutputLength();
    int64_t p = RoundToInt(state.StartShift) + state.OutPos;
    state.Silent = !(state.LastSrcPos < p && p < length);
    if (!state.Silent) {
        p = RoundToInt(state.EndShift) + state.OutPos + count - 1;
        state.Silent = !(state.LastSrcPos < p && p < length);
    }
    // Before a backward jump the primary track fades out already.
    if (crossFade && !state.Silent && next.MarkerKind == mkRelCut && !next.MarkerDeactivated &&
        next.CutShift < state.CurCut)
        state.Silent = true;
}

void TAudioMixer::ReadTrack(TMixSource *source, long double start, long double step, int64_t base,
                            int32_t count, const TAudioMixState &state, uint8_t *out)
{
    // Sample t comes from round(t * step + start) + base + t. Positions that follow each
    // other are read in one request; positions outside the track are silence.
    FPositions.resize(static_cast<size_t>(count));
    const int64_t fixed = RoundToInt(start);
    for (int32_t t = 0; t < count; ++t)
        FPositions[static_cast<size_t>(t)] = (step == 0 ? fixed : RoundToInt(t * step + start)) + base + t;
    auto position = [this](int32_t t) { return FPositions[static_cast<size_t>(t)]; };
    const size_t bs = static_cast<size_t>(state.BlockSize);
    const int64_t length = source->OutputLength();
    int32_t t = 0;
    while (t < count) {
        int64_t first = position(t);
        if (first < 0 || first >= length) {
            std::memcpy(out + t * bs, state.SilenceSample.data(), bs);
            ++t;
            continue;
        }
        int32_t run = 1;
        while (t + run < count && position(t + run) == first + run && first + run < length)
            ++run;
        if (source->OutputPosition() != first)
            source->Seek(first);
        if (!source->ReadSamples(out + t * bs, run)) {
            for (int32_t k = 0; k < run; ++k)
                std::memcpy(out + (t + k) * bs, state.SilenceSample.data(), bs);
        }
        t += run;
    }
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
    const size_t bs = static_cast<size_t>(state.BlockSize);
    FPrimary.resize(static_cast<size_t>(count) * bs);
    FSecondary.resize(static_cast<size_t>(count) * bs);

    // Primary: along the shift, interpolated linearly across the frame.
    if (!state.ReadAudio || audioOff || state.AudioMuted) {
        for (int32_t t = 0; t < count; ++t)
            std::memcpy(FPrimary.data() + t * bs, state.SilenceSample.data(), bs);
    } else {
        ReadTrack(FAudio, state.StartShift, state.Step, state.OutPos, count, state, FPrimary.data());
    }
    // Double: in step with the video, moved by whole frames, at its volume.
    if (!state.ReadDouble || doubleOff || state.DoubleMuted) {
        for (int32_t t = 0; t < count; ++t)
            std::memcpy(FSecondary.data() + t * bs, state.SilenceSample.data(), bs);
    } else {
        ReadTrack(FDouble, 0, 0, state.OutPos + dblOffset, count, state, FSecondary.data());
        const int volume = state.Cur.DoubleVolume;
        if (volume != 100) {
            const double factor = (volume * 0.01) * (volume * 0.01);
            std::vector<uint8_t> in(bs);
            for (int32_t t = 0; t < count; ++t) {
                std::memcpy(in.data(), FSecondary.data() + t * bs, bs);
                Amplify(state.Format, FSecondary.data() + t * bs, in.data(), factor);
            }
        }
    }

    const bool fadeOut = crossFade && state.Silent && !state.PrevSilent;   // the primary stops
    const bool fadeIn = crossFade && state.PrevSilent && !state.Silent;    // the primary resumes
    const uint8_t *useDouble = (state.Silent || audioOff) ? FSecondary.data() : nullptr;
    if (!fadeOut && !fadeIn) {
        std::memcpy(buffer, useDouble ? FSecondary.data() : FPrimary.data(), static_cast<size_t>(count) * bs);
        count = 0;   // nothing left to fade
    }
    for (int32_t t = 0; t < count; ++t) {
        uint8_t *out = buffer + static_cast<size_t>(t) * bs;
        const uint8_t *a = FPrimary.data() + t * bs, *d = FSecondary.data() + t * bs;
        const double w = static_cast<double>(t) / count;
        std::memcpy(out, useDouble ? d : a, bs);   // also what stays for formats not faded
        if (fadeOut) {
            std::memcpy(out, a, bs);
            CrossFade(state.Format, d, a, out, w);
        } else if (fadeIn) {
            std::memcpy(out, a, bs);
            CrossFade(state.Format, a, d, out, w);
        }
    }
    if (!FPrimary.empty()) {
        std::memcpy(state.AudioSample.data(), FPrimary.data() + FPrimary.size() - bs, bs);
        std::memcpy(state.DoubleSample.data(), FSecondary.data() + FSecondary.size() - bs, bs);
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
    }
    state.Next = FProject.GetStateAt(state.Frame + 1);
    int64_t n = SamplesUpTo(int64_t{state.Frame} + 1, state) - state.OutPos;
    if (count < 1)
        count = static_cast<int32_t>(n);
    const bool audioOff = state.Cur.AudioOff();
    state.PrevSilent = state.Silent;
    state.Silent = state.AudioMuted || audioOff;
    if (!state.Silent)
        UpdateShifts(state, n, count, crossFade);

    if (crossFade) {
        state.ReadAudio = !(state.Silent && state.PrevSilent);
        state.ReadDouble = state.Silent || state.PrevSilent;
    } else {
        state.ReadAudio = !state.Silent;
        state.ReadDouble = state.Silent;
    }
    if (buffer && count > 0)
        MixSamples(state, crossFade, buffer, count, n);
    if (state.ReadAudio && !state.Silent)
        state.LastSrcPos = RoundToInt(state.EndShift) + count + state.OutPos - 1;
    state.OutPos += count;
    ++state.Frame;
    state.Cur = state.Next;
    return state.Valid;
}

} // namespace tessaly
