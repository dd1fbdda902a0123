// The records the alignment engine hands out: measured windows, fitted segments and
// the time map between a track in sync with the video and a second track.
#pragma once

#include <cstdint>
#include <vector>

namespace tessaly::sync {

// One analysis window of the reference (the track in sync with the video).
struct TSyncWindow {
    double Start = 0;         // reference time of the window's start, seconds
    double Length = 0;        // seconds
    bool Matched = false;     // a peak was chosen for this window
    double Offset = 0;        // primary time minus reference time at the window centre, s
    double Score = 0;         // normalised correlation of the chosen peak, -1 .. 1
    double Z = 0;             // the peak's height over the spread of the other lags
    bool Inlier = false;      // used by the fit of its segment
    int32_t Segment = -1;     // index of the segment it belongs to, -1 for none
};

// A knot of a piecewise-linear offset curve.
struct TSyncKnot {
    double Time = 0;          // reference time, seconds
    double Offset = 0;        // primary time minus reference time, seconds
};

// A stretch of the reference over which the primary follows one continuous curve.
struct TSyncSegment {
    double Start = 0;         // reference time where the match begins, seconds
    double End = 0;           // ... and where it ends
    std::vector<TSyncKnot> Knots;   // at least two, Start and End included, ascending
    double Drift = 0;         // mean slope of the offset (primary speed - 1)
    double Confidence = 0;    // 0 .. 1
    double Residual = 0;      // RMS of the inlier windows around the fit, seconds
    bool Smeared = false;     // the waveforms agree poorly (a tempo change that keeps the
                              // pitch, a room): edges found on the onsets
    bool Grains = false;      // its lags were measured on the grains of a tempo change
                              // keeping the pitch (WSOLA)
};

// The result of an alignment.
struct TSyncMap {
    bool Matched = false;            // false: unrelated or too short to judge
    double Rate = 1;                 // coarse speed of the primary found by the tempo scan
    bool Inverted = false;           // the primary's waveform has the opposite sign
    double Confidence = 0;           // 0 .. 1 over the whole overlap
    double ReferenceLength = 0;      // seconds
    double PrimaryLength = 0;        // seconds
    std::vector<TSyncSegment> Segments;   // ascending, not overlapping
    std::vector<TSyncWindow> Windows;     // the lag track
};

// The offset of a segment at reference time t (linear between knots, held outside).
double SegmentOffsetAt(const TSyncSegment &segment, double t);

// How close a fitted offset curve must come to the lag track: a sixth of a sample at the
// analysis rate, below what a window's lag measures to, so a curve this close is exact.
constexpr double kFitToleranceSeconds = 20e-6;

// Settings of the engine; the defaults suit film sound.
struct TSyncOptions {
    double MaxDrift = 0.065;          // the tempo scan covers 1 +- this
    double WindowSeconds = 3.0;       // lag-track window length
    double HopSeconds = 1.5;          // distance of the windows
    double ToleranceSeconds = kFitToleranceSeconds;   // largest distance of the fitted curve from the track
    double MinOverlapSeconds = 8.0;   // below this there is nothing to judge
    double JumpPenalty = 1.5;         // cost of a cut in the path search (in score units)
    double MinPathWindows = 3;        // a segment shorter than this many windows is dropped
};

} // namespace tessaly::sync
