// The lag of a reference window inside a second signal: candidate peaks found on the
// onset envelope, then refined on 1 kHz and on the full analysis rate.
#pragma once

#include <cstddef>
#include <vector>

#include "sync/sync_signal.h"

namespace tessaly::sync {

// One side of a comparison at the three rates of the search.
struct TTrackSignal {
    TSyncSignal Full;             // kSyncRate
    std::vector<float> Low;       // kLowRate
    std::vector<float> Envelope;  // kEnvelopeRate

    double Seconds() const { return Full.Seconds(); }
};

constexpr double kLowRate = 1000;

// Fills Low and Envelope from Full.
bool PrepareTrackSignal(TTrackSignal &signal);

struct TLagCandidate {
    double Lag = 0;     // test time minus reference time, seconds
    double LowLag = 0;  // the same from the 1 kHz signal (less hurt by drift in the window)
    double Score = 0;   // Pearson correlation at the full rate, -1 .. 1
    double EnvScore = 0;   // Pearson correlation of the onset envelopes (robust to drift)
    double EnvLag = 0;  // the lag of the envelope peak (to a few ms; unhurt by a pitch shift or a room)
    double Z = 0;       // envelope peak over the spread of the searched lags
};

// The best lags of reference window [start, start + length) s in `test`, each centre
// searched +- search seconds; up to maxCandidates, best score first. Besides them, the
// best peak within `near` s of each lag of `follow` (in order, up to maxFollow more), so
// that a lag the previous window had stays open even where repeated material gives other
// peaks of the same height. Empty when the window or every searched lag falls outside
// the signals.
std::vector<TLagCandidate> WindowLags(const TTrackSignal &ref, const TTrackSignal &test, double start,
                                      double length, const std::vector<double> &centres, double search,
                                      size_t maxCandidates, const std::vector<double> &follow = {},
                                      double near = 0.05, size_t maxFollow = 0);

// Measures the lag of reference window [start, start + length) s again at the full rate,
// +- search s around `lag`, with the test read `slope` faster (1 + slope test seconds per
// reference second, around the window centre), so that drift inside the window does
// not smear the peak. False when the window leaves the signals.
bool RefineLag(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
               double slope, double search, TLagCandidate &out);

// The lag of a short reference window in the test, as measured by ShortLags.
struct TShortLag {
    double Time = 0;    // reference time of the window's centre, seconds
    double Lag = 0;     // test time minus reference time there
    double Score = 0;   // Pearson correlation at that lag
};

// The lags of short reference windows (`length` s, every `step` s over [from, to)),
// each measured with RefineLag +- search s around lagAt(its centre), the test read
// `slope` faster. Windows that leave the signals are left out. A copy
// whose tempo was changed keeping the pitch (WSOLA) is made of grains copied sample for
// sample from shifted places: read at its own speed, a window inside a grain agrees
// almost exactly at that grain's lag, where a long window spanning many grains agrees
// with none.
template <typename TLagAt>
std::vector<TShortLag> ShortLags(const TTrackSignal &ref, const TTrackSignal &test, double from, double to,
                                 double length, double step, const TLagAt &lagAt, double slope, double search)
{
    std::vector<TShortLag> out;
    for (double t = from; t + length <= to + 1e-9; t += step) {
        TLagCandidate c;
        const double centre = t + 0.5 * length;
        if (RefineLag(ref, test, t, length, lagAt(centre), slope, search, c))
            out.push_back({centre, c.Lag, c.Score});
    }
    return out;
}

// Measures the lag like RefineLag, but from the phase of the cross spectrum over
// 100-3800 Hz (GCC-PHAT): robust where the waveforms no longer agree sample for sample
// (a tempo change that keeps the pitch, a room's reflections). out.Score is the Pearson
// correlation at the lag found. Safe to call from several threads.
bool PhatLag(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
             double slope, double search, TLagCandidate &out);

// The phase-transform correlation of reference window [start, start + length) s with
// the test +- search s around `lag`: how far its highest value stands above the spread
// of all lags (positiveZ) and its lowest below (negativeZ). A copy of inverted polarity
// (a microphone or a filter that flips the sign) has the deep trough at its lag.
bool PhatPolarity(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
                  double search, double &positiveZ, double &negativeZ);

// Flips the sign of the waveform rates of a signal (the onset envelope has none).
void InvertPolarity(TTrackSignal &signal);

// The best Pearson correlation of the onset envelopes of reference window [start,
// start + length) s with the test's, +- search s around `lag`, and the lag where it lies
// (with its part of an envelope step). False when the window leaves the signals.
bool EnvelopeAgreement(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
                       double search, double &score, double &at);

// Pearson correlation of short windows (length s, every step s) over [from, to) of the
// reference at a fixed lag, on the full rate: 1 where the two agree sample for sample.
// The lag runs linearly from lagFrom at `from` to lagTo at `to`.
std::vector<double> LocalAgreement(const TTrackSignal &ref, const TTrackSignal &test, double lagFrom, double lagTo,
                                   double from, double to, double length, double step);

// The same on the onset envelopes: Pearson correlation of windows of `length` s (read
// between envelope values) every `step` s, the test's lag running linearly as above.
// Unhurt where the waveforms no longer agree sample for sample (a tempo change that
// keeps the pitch, a room), at the price of a coarser edge. A window where both
// envelopes are flat (a pause) gives NaN: it says nothing either way; one where one
// pauses while the other clearly sounds gives 0.
std::vector<double> EnvelopeLocalAgreement(const TTrackSignal &ref, const TTrackSignal &test, double lagFrom,
                                           double lagTo, double from, double to, double length, double step);

} // namespace tessaly::sync
