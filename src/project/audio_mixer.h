// TAudioMixer: renders, frame by frame, the audio that belongs to each video frame of
// the result from the primary and the double track, following the frame states.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/common/vfw_types.h"
#include "project/frame_state.h"
#include "project/mix_source.h"
#include "project/project_options.h"
#include "project/resampler.h"
#include "project/resampler_pcm.h"
#include "project/stretcher.h"

namespace tessaly {

class TProject;

// Largest per-frame audio buffer a mix accepts (bytes); a longer frame makes the mix not valid.
inline constexpr long double kMaxMixFrameBytes = 256.0L * 1024 * 1024;

// The state of one mixing run, owned by the caller.
struct TAudioMixState {
    bool Valid = false;          // mixing possible
    bool AudioMuted = false;     // primary track not used at all
    bool DoubleMuted = false;    // double track not used at all
    bool Silent = false;         // the primary track does not sound in the current frame
    bool PrevSilent = false;     // Silent of the previous frame
    bool ReadDouble = false;     // double samples are read in this frame
    bool ReadAudio = false;      // primary samples are read in this frame
    WAVEFORMATEX Format{};       // output format of the mix
    int32_t FormatSize = 0;
    uint32_t ChannelMask = 0;    // speaker mask of the output format, 0: none named
    int32_t Frame = 0;           // source frame the next call renders (offset included)
    int64_t OutPos = 0;          // output sample of the start of Frame
    int64_t LastSrcPos = -2147483647;   // last primary sample used
    int32_t MaxSamples = 0;      // round(sample rate / fps) + 2: per-frame buffer capacity
    int64_t SrcPos = 0;          // scratch
    int32_t BlockSize = 0;       // bytes per sample frame
    // The format the tracks deliver: Format itself, except for a preview of a track of
    // more than 16 bits mixed in floating point, which is read as it is and dithered.
    WAVEFORMATEX ReadFormat{};
    int32_t ReadBlockSize = 0;
    std::vector<uint8_t> ReadSilence;   // one sample frame of silence in ReadFormat
    std::vector<uint8_t> SilenceSample, AudioSample, DoubleSample;
    int32_t FrameOffset = 0;     // added to every frame handed in
    long double StartShift = 0;  // shift in sample frames at the start of the frame
    long double EndShift = 0;    // ... and at its end
    long double Step = 0;        // per-sample increment of the shift
    long double CurCut = 0;      // CutShift of the current frame
    TFrameState Cur, Next;       // states of the current and the following frame

    // Reading between stored samples and the short fades (see TAudioMixer::SetMixing).
    TResampling Resampling = rsSampleCopy;
    int32_t FadeSamples = 0;     // length of the equal-power fade at a cut or switch
    bool PastEnd = false;        // the primary is silent because it reached its end
    // What the previous frame ended with, for the fade at a discontinuity.
    enum TTail : uint8_t { tkStart, tkSilence, tkPrimary, tkDouble };
    TTail Tail = tkStart;
    long double TailPos = 0;     // primary: the source position that would come next
    long double TailStep = 0;    // primary: its per-sample increment of the shift
    int64_t TailDouble = 0;      // double: the offset its positions had
};

// Samples a track could not deliver although they lie inside it (a damaged chunk, a
// failed decode): the mixer writes silence there and keeps the first place.
struct TMixReadFailure {
    int64_t Samples = 0;       // sample frames written as silence for that reason
    bool Double = false;       // the first failure was in the double track
    int64_t Position = 0;      // track position of the first failed read
    explicit operator bool() const { return Samples > 0; }
};

class TAudioMixer {
public:
    // Neither the project nor the sources are owned; a null source is a missing track.
    TAudioMixer(const TProject &project, TMixSource *audio, TMixSource *dbl);

    // The preview's mute buttons (used only by runs prepared for a preview).
    void SetPreviewMutes(bool audioMuted, bool doubleMuted);

    // Prepares `state` for a run starting at firstFrame; state.Valid tells whether
    // mixing is possible (a video, a track, usable formats).
    void InitAudioMix(int32_t firstFrame, int32_t frameOffset, TAudioMixState &state, bool forPreview);

    // Renders the audio of one video frame into `buffer` (count sample frames of
    // state.BlockSize bytes; count < 1 means the frame's own sample count); with a null
    // buffer only advances the state. Returns state.Valid.
    bool MixFrameAudio(int32_t frame, TAudioMixState &state, bool crossFade, uint8_t *buffer, int32_t count);

    // Reading of the primary track and the fade length at cuts and track switches for the
    // following runs; without a call the project's options apply. Sample copy with 0 ms
    // renders as before either choice existed.
    void SetMixing(TResampling resampling, int32_t crossFadeMs);

    // The reads that failed so far.
    const TMixReadFailure &ReadFailure() const { return FReadFailure; }

private:
    int64_t SamplesUpTo(int64_t frame, const TAudioMixState &state) const;
    // StartShift and EndShift of the current frame (continuity unless it starts afresh).
    static void ComputeShifts(TAudioMixState &state, int64_t n);
    void UpdateShifts(TAudioMixState &state, int64_t n, int32_t count, bool crossFade);
    void MixSamples(TAudioMixState &state, bool crossFade, uint8_t *buffer, int32_t count, int64_t n);
    void ReadTrack(TMixSource *source, long double start, long double step, int64_t base, int32_t count,
                   const TAudioMixState &state, uint8_t *out);
    static void FillSilence(const TAudioMixState &state, uint8_t *out, int32_t count);
    // The double track's count sample frames from position first on, at its volume.
    void ReadDoubleTrack(const TAudioMixState &state, int64_t first, int32_t count, uint8_t *out);
    // count sample frames from position first on (silence outside the track) into out.
    void ReadSpan(TMixSource *source, int64_t first, int32_t count, const TAudioMixState &state, uint8_t *out);

    // The mix in floating point: both tracks decoded, faded, rounded once.
    void MixSamplesFloat(TAudioMixState &state, bool crossFade, uint8_t *buffer, int32_t count, int64_t n);
    // count primary values (interleaved doubles) at positions base + start + t * (1 + step);
    // a tail (the fade-out of a run that has ended) is never time-stretched.
    void ReadPrimary(const TAudioMixState &state, int64_t base, long double start, long double step,
                     int32_t count, double *out, bool tail = false);
    // The double track's values from position first on, at its volume.
    void ReadDoubleValues(const TAudioMixState &state, int64_t first, int32_t count, double *out);
    // Makes FWindow hold the primary's values of positions first .. last (track ends
    // mirrored), one row of Stride floats per channel.
    void FillWindow(const TAudioMixState &state, int64_t first, int64_t last);
    // Whether the primary is read at the nearest samples (see ReadPrimary).
    static bool CopiesPrimary(const TAudioMixState &state, long double start, long double step);
    // Whether the frame starting at output sample base fades in from what the previous
    // frame ended with, and that fade.
    static bool TailFades(const TAudioMixState &state, bool beginsPrimary, bool primaryRead, bool beginsDouble,
                          bool doubleRead, int64_t base);
    // The short fade at the frame start from what the previous frame ended with.
    void FadeFromTail(TAudioMixState &state, bool beginsPrimary, bool primaryRead, bool beginsDouble,
                      bool doubleRead, int64_t base, int32_t count, double *mix);

    const TProject &FProject;
    TMixSource *FAudio;
    TMixSource *FDouble;
    bool FPreviewAudioMuted = false;
    bool FPreviewDoubleMuted = false;
    std::vector<uint8_t> FPrimary, FSecondary;   // one frame of each track
    TMixReadFailure FReadFailure;
    bool FMixingSet = false;
    TResampling FResampling = rsSampleCopy;
    int32_t FCrossFadeMs = 0;
    TResampler FResampler;
    TTpdfDither FDither;
    std::unique_ptr<TPitchKeeper> FKeeper;   // the keep-pitch stretch of the current run
    struct TWindow {
        int64_t First = 0, Frames = 0;
        size_t Stride = 0;
        std::vector<float> Values;
    } FWindow;
    std::vector<double> FMix, FOther, FTail;   // one frame of values each
    std::vector<uint8_t> FBytes;
};

} // namespace tessaly
