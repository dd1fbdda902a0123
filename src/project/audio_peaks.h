// TAudioPeaks: the audio strip under the picture: the primary track as the mixer places
// it (shift curve, cuts, options) and the double track (its shift, volume and switch),
// as min/max peaks per pixel column around the current frame, with the frame bounds.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <tuple>
#include <vector>

#include "project/audio_mixer.h"
#include "project/audio_peaks_track.h"

namespace tessaly {

class TProject;

// One pixel column of one track: the lowest and highest 16-bit sample value of every
// channel over the column; Sounding is false where the mix takes nothing from the track.
struct TPeakColumn {
    int16_t Min = 0;
    int16_t Max = 0;
    bool Sounding = false;
};

// A frame start inside the strip: X in columns from the strip's left edge (fractional).
struct TStripFrame {
    int32_t Frame = 0;
    double X = 0;
};

// What the window draws: two lanes of Width columns, the frame starts as vertical marks,
// the current frame's span highlighted.
struct TAudioStrip {
    int32_t Frame = 0;              // the frame the strip is centred on
    int32_t Width = 0;              // columns
    int32_t SamplesPerColumn = 0;   // the zoom level: output sample frames per column
    int64_t FirstSample = 0;        // output sample position of column 0's left edge
    uint32_t SampleRate = 0;
    bool HasPrimary = false;
    bool HasDouble = false;
    std::vector<TPeakColumn> Primary, Double;   // Width entries each (empty without the track)
    std::vector<TStripFrame> Frames;             // every frame start within the strip
    double CurrentX0 = 0, CurrentX1 = 0;         // the current frame's span, in columns
};

class TAudioPeaks {
public:
    // The project is not owned and must outlive this object.
    explicit TAudioPeaks(const TProject &project) : FProject(project) {}

    // The tracks to read (not owned; null for a missing track). Their output format is
    // set to 16-bit PCM at the primary track's rate (the double track's without one), so
    // they should be readers of the strip's own. Drops every cache.
    void SetSources(TMixSource *primary, TMixSource *dbl);
    // Drops the computed strips and mixing runs, keeps the decoded samples. Changes of
    // the markers or of the video are also noticed by Compute itself.
    void Invalidate();

    // The strip of `width` columns covering `seconds` before and after the middle of
    // `frame`. False (strip emptied) without a video, without tracks or for width < 1.
    // A strip already computed for the same frame and zoom is returned from the cache;
    // stepping on mixes only the frames that came into view.
    bool Compute(int32_t frame, int32_t width, double seconds, TAudioStrip &strip);

    // Work done so far, for tests and the benchmark.
    int64_t ChunksDecoded() const { return FPrimary.ChunksDecoded() + FDouble.ChunksDecoded(); }
    int64_t StripsComputed() const { return FComputed; }

private:
    using TKey = std::tuple<int32_t, int32_t, int32_t>;   // samples per column, width, frame
    // One mixed frame of one track: its output samples (16-bit, interleaved).
    struct TMixedFrame {
        int64_t Frame = 0;
        int64_t OutPos = 0;
        bool Sounding = false;
        std::vector<int16_t> Samples;
    };
    // A mixing run of one track that continues while the strip steps on.
    struct TLane {
        TLane(TPeakTrack *track, bool primary) : Track(track), Primary(primary) {}
        TPeakTrack *Track = nullptr;
        bool Primary = false;
        std::unique_ptr<TAudioMixer> Mixer;
        TAudioMixState State;
        int64_t Next = 0;                  // the frame the run renders next
        std::deque<TMixedFrame> Frames;    // consecutive frames up to Next - 1
    };
    void Layout(int32_t frame, int32_t width, double seconds, TAudioStrip &strip);
    bool RunLane(TLane &lane, int64_t g0, int64_t g1);
    void LanePeaks(TLane &lane, const TAudioStrip &strip, std::vector<TPeakColumn> &out);
    uint64_t Signature() const;
    int64_t SamplesUpTo(int64_t frame) const;
    int64_t FrameOfSample(int64_t sample) const;

    const TProject &FProject;
    TPeakTrack FPrimary, FDouble;
    TLane FPrimaryLane{&FPrimary, true}, FDoubleLane{&FDouble, false};
    uint64_t FSignature = 0;
    uint32_t FRate = 0;
    std::map<TKey, TAudioStrip> FStrips;   // computed strips, by zoom level and frame
    int64_t FComputed = 0;
    std::vector<uint8_t> FBuffer;
};

} // namespace tessaly
