// Coarse alignment: chunks of the reference's onset envelope are correlated with the
// primary's envelope warped by each candidate rate; the rate whose chunks give the
// sharpest peaks wins, then a finer scan around it; the peaks give candidate offsets.
// Where a chunk's onsets match several lags alike (a repeated rhythm), the pitch-class
// energies of the two tracks pick the lag whose chords agree.
#include "sync/coarse_search.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>

#include "sync/chroma.h"
#include "sync/fft_plan.h"
#include "sync/sync_signal.h"

namespace tessaly::sync {

namespace {

constexpr int kDecimate = 4;            // coarse envelope at 25 values per second ...
constexpr double kFullEnvelopeBelow = 300;   // ... on references this long or longer; shorter
                                             // ones keep 100 per second, which short chunks
                                             // need to tell rates 0.001 apart
constexpr double kChunkSeconds = 40;
constexpr double kLocalSeconds = 5;     // the envelope's level is judged over +- this
constexpr double kBound = 4;            // ... and its values kept within +- this many times it
constexpr int kMaxChunks = 6;
constexpr double kGridStep = 0.001;     // 1000 ppm: 40 ms over a 40 s chunk
constexpr double kFineStep = 0.0001;
constexpr double kMinZ = 4;             // a chunk peak below this is noise
constexpr double kShortChunkSeconds = 12;   // chunks that find the offsets of short parts
constexpr size_t kMaxShortChunks = 24;
constexpr double kShortMinZ = 6;        // a short chunk's peak is taken from this height ...
constexpr double kShortClear = 1.5;     // ... and this many times the chunk's next peak
constexpr size_t kMaxOffsets = 12;      // candidate offsets handed to the lag track
constexpr double kLineTolerance = 1.5;  // coarse samples a chunk's lag may lie off the common line
constexpr double kMaxSlope = 0.005;     // the rate scan is not off by more than this
constexpr double kSlopeApplied = 2e-5;  // smaller corrections are left to the lag track
constexpr double kKeepScore = 0.8;      // the corrected rate must keep this share of the peaks' score
constexpr double kQuietShare = 0.1;     // a quiet stretch's level counts as at least this share of
                                        // the whole envelope's (no noise blown up to full scale)
constexpr double kSameOffset = 0.1;     // candidate offsets closer than this (s) are one
constexpr double kNamedPreference = 1.02;   // another named rate must score this many times rate 1
constexpr double kGridPreference = 1.05;    // a grid rate this many times the named rate's score
constexpr double kFinePreference = 1.01;    // a rate of the fine grid this many times the best one's
constexpr double kChunkZCap = 40;       // one chunk's peak counts at most this high in a rate's score
constexpr double kSlopeSpanShare = 0.3; // the chunks on the common line span this share of the reference
constexpr double kAmbiguous = 0.8;      // a chunk's second onset peak this high against its first: the
                                        // onsets alone do not tell the lags apart
constexpr double kHarmonyMinZ = 5;      // a chunk's harmony peak counts from this height ...
constexpr double kHarmonyClear = 1.25;  // ... when it stands this many times higher than any other
constexpr double kHarmonyApart = 1.5;   // ... lying more than this many seconds away
constexpr double kHarmonyReach = 0.3;   // the onset peak taken for it lies within this (s)
constexpr double kHarmonyNear = 0.5;    // an onset offset this close (s) already covers its lag

// Envelope summed over blocks, its slow level removed, scaled to unit spread.
std::vector<float> Prepare(const std::vector<float> &env, int factor)
{
    std::vector<float> out(env.size() / static_cast<size_t>(factor));
    for (size_t i = 0; i < out.size(); ++i)
        for (int k = 0; k < factor; ++k)
            out[i] += env[i * static_cast<size_t>(factor) + static_cast<size_t>(k)];
    const int half = std::max(2, static_cast<int>(kEnvelopeRate / factor));
    std::vector<double> prefix(out.size() + 1, 0.0);
    for (size_t i = 0; i < out.size(); ++i)
        prefix[i + 1] = prefix[i] + out[i];
    std::vector<float> hp(out.size());
    for (size_t i = 0; i < out.size(); ++i) {
        size_t a = i >= static_cast<size_t>(half) ? i - static_cast<size_t>(half) : 0;
        size_t b = std::min(out.size(), i + static_cast<size_t>(half) + 1);
        hp[i] = static_cast<float>(out[i] - (prefix[b] - prefix[a]) / static_cast<double>(b - a));
    }
    double sq = 0;
    for (float v : hp)
        sq += double(v) * v;
    const double overall = std::sqrt(sq / static_cast<double>(std::max<size_t>(1, hp.size())));
    // Each stretch scaled to unit spread over its neighbourhood (a floor keeps quiet
    // stretches from being raised beyond a tenth of the overall level), and the values
    // bounded: the correlations are not normalised per lag, so a loud passage would
    // otherwise match every chunk better than the chunk's own place does.
    const size_t reach = static_cast<size_t>(kLocalSeconds * kEnvelopeRate / factor);
    std::vector<double> energy(hp.size() + 1, 0.0);
    for (size_t i = 0; i < hp.size(); ++i)
        energy[i + 1] = energy[i] + double(hp[i]) * hp[i];
    std::vector<float> out2(hp.size());
    for (size_t i = 0; i < hp.size(); ++i) {
        const size_t a = i >= reach ? i - reach : 0, b = std::min(hp.size(), i + reach + 1);
        const double local = std::sqrt((energy[b] - energy[a]) / static_cast<double>(b - a));
        const double level = std::max(local, kQuietShare * overall);
        out2[i] = level > 0 ? static_cast<float>(std::clamp(hp[i] / level, -kBound, kBound)) : 0.0f;
    }
    return out2;
}

// x(t * rate) on the reference axis, linear between values.
void Warp(const std::vector<float> &x, double rate, std::vector<float> &out)
{
    size_t n = static_cast<size_t>(std::floor((x.size() - 1) / rate));
    out.resize(n);
    for (size_t j = 0; j < n; ++j) {
        double p = j * rate;
        size_t i = static_cast<size_t>(p);
        double f = p - static_cast<double>(i);
        out[j] = static_cast<float>(x[i] * (1 - f) + (i + 1 < x.size() ? x[i + 1] : x[i]) * f);
    }
}

struct TChunk {
    size_t Start = 0, Length = 0;
    std::vector<float> Spectrum;
};

struct TPeak {
    double Lag = 0;   // coarse samples, warped primary index minus reference index
    double Z = 0;
};

// The peaks of one chunk's correlation over the valid lags, best first. The lags run
// from -length/2 (stored at the end of the circular result) to the end of the warped
// primary; they are read once into one contiguous run.
std::vector<TPeak> Peaks(const std::vector<float> &c, const TChunk &chunk, size_t warpedLength, size_t maxPeaks,
                         int decimate)
{
    const long n = static_cast<long>(c.size());
    const long lo = -static_cast<long>(chunk.Length / 2);
    const long hi = static_cast<long>(warpedLength) - static_cast<long>(chunk.Length / 2);
    const long count = hi - lo + 1;
    if (count < 3 || count > n)
        return {};
    thread_local std::vector<float> v;
    v.resize(static_cast<size_t>(count));
    std::copy(c.end() + lo, c.end(), v.begin());
    std::copy(c.begin(), c.begin() + hi + 1, v.begin() - lo);
    double sum = 0, sq = 0;
    for (float x : v) {
        sum += x;
        sq += double(x) * x;
    }
    const double mean = sum / static_cast<double>(count);
    const double sd = std::sqrt(std::max(1e-20, sq / static_cast<double>(count) - mean * mean));
    // Index i of v is lag lo + i.
    std::vector<std::pair<float, long>> order;
    if (maxPeaks == 1) {
        // The rate scan asks for the best peak only: the highest one (the first of equals).
        long best = -1;
        for (long i = 1; i + 1 < count; ++i)
            if (v[static_cast<size_t>(i)] >= v[static_cast<size_t>(i - 1)] &&
                v[static_cast<size_t>(i)] > v[static_cast<size_t>(i + 1)] &&
                (best < 0 || v[static_cast<size_t>(i)] > v[static_cast<size_t>(best)]))
                best = i;
        if (best >= 0)
            order.push_back({v[static_cast<size_t>(best)], best});
    } else {
        for (long i = 1; i + 1 < count; ++i)
            if (v[static_cast<size_t>(i)] >= v[static_cast<size_t>(i - 1)] &&
                v[static_cast<size_t>(i)] > v[static_cast<size_t>(i + 1)])
                order.push_back({v[static_cast<size_t>(i)], i});
        std::stable_sort(order.begin(), order.end(), [](auto &a, auto &b) { return a.first > b.first; });
    }
    std::vector<TPeak> peaks;
    const long separation = static_cast<long>(kEnvelopeRate / decimate);   // one second
    for (auto &[value, i] : order) {
        const long k = lo + i;
        bool near = false;
        for (const TPeak &p : peaks)
            near = near || std::labs(static_cast<long>(p.Lag) + static_cast<long>(chunk.Start) - k) < separation;
        if (near)
            continue;
        const double z = (value - mean) / sd;
        // Three-point parabola for a lag between the coarse samples.
        const double a = v[static_cast<size_t>(i - 1)], b = value, d = v[static_cast<size_t>(i + 1)], den = a - 2 * b + d;
        const double frac = den < 0 ? 0.5 * (a - d) / den : 0;
        peaks.push_back({static_cast<double>(k) + frac - static_cast<double>(chunk.Start), z});
        if (peaks.size() >= maxPeaks)
            break;
    }
    return peaks;
}

// `count` chunks of `length` spread evenly over the reference, with their spectra.
std::vector<TChunk> SpreadChunks(TCorrelator &correlator, const std::vector<float> &ref, size_t length, int count)
{
    std::vector<TChunk> parts(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        TChunk &c = parts[static_cast<size_t>(i)];
        c.Length = length;
        c.Start = static_cast<size_t>((ref.size() - length) * (i + 0.5) / count);
        c.Start = std::min(c.Start, ref.size() - length);
        c.Spectrum = correlator.Spectrum(ref.data() + c.Start, length);
    }
    return parts;
}

// Adds offset b unless the list is full or holds one within kSameOffset of it.
void AddDistinct(std::vector<double> &offsets, double b)
{
    bool near = false;
    for (double o : offsets)
        near = near || std::fabs(o - b) < kSameOffset;
    if (!near && offsets.size() < kMaxOffsets)
        offsets.push_back(b);
}

// The offsets (primary seconds) of the clear chunk peaks, strongest first, each at
// least 0.1 s from the others; at most kMaxOffsets. envRate: values per second.
std::vector<double> DistinctOffsets(const std::vector<std::vector<TPeak>> &peaks, double rate, double envRate)
{
    std::vector<TPeak> all;
    for (auto &p : peaks)
        for (const TPeak &q : p)
            if (q.Z >= kMinZ)
                all.push_back(q);
    std::sort(all.begin(), all.end(), [](const TPeak &a, const TPeak &b) { return a.Z > b.Z; });
    std::vector<double> offsets;
    for (const TPeak &q : all)
        AddDistinct(offsets, rate * q.Lag / envRate);
    return offsets;
}

// The twelve pitch-class rows of chroma frames, `rate` primary frames per reference frame
// read onto the reference axis, each row less its mean (a colour every frame shares
// would otherwise favour the lags of the widest overlap).
std::vector<std::vector<float>> ChromaRows(const std::vector<TChromaFrame> &frames, double rate)
{
    std::vector<std::vector<float>> rows(12);
    if (frames.size() < 2)
        return rows;
    std::vector<float> row(frames.size());
    for (size_t d = 0; d < 12; ++d) {
        double sum = 0;
        for (size_t i = 0; i < frames.size(); ++i)
            sum += row[i] = frames[i][d];
        const float mean = static_cast<float>(sum / static_cast<double>(frames.size()));
        for (float &v : row)
            v -= mean;
        Warp(row, rate, rows[d]);
    }
    return rows;
}

// The lags (warped primary index minus reference index, in coarse samples of `envRate`)
// that the harmony singles out for the chunks: each chunk's chroma rows are correlated
// with the primary's over all lags; a peak clearly above every other lag's (and high over
// their spread) is taken to the highest onset correlation near it, if that is a peak
// about as high as the chunk's best (warpedLength: the warped primary envelope's).
// Strongest first, with their heights.
std::vector<TPeak> HarmonyLags(const std::vector<std::vector<float>> &ref, const std::vector<std::vector<float>> &prim,
                               const std::vector<TChunk> &chunks, double envRate, TCorrelator &envCorrelator,
                               size_t warpedLength)
{
    std::vector<TPeak> out;
    const long nr = static_cast<long>(ref[0].size()), np = static_cast<long>(prim[0].size());
    if (nr < 8 || np < 8 || chunks.empty())
        return out;
    const double toFrames = kChromaRate / envRate;
    long longest = 0;
    for (const TChunk &c : chunks)
        longest = std::max(longest, static_cast<long>(std::lround(static_cast<double>(c.Length) * toFrames)));
    TCorrelator corr(NextPow2(static_cast<size_t>(np + 2 * longest + 2)));
    const long size = corr.Size();
    std::vector<std::vector<float>> sums(chunks.size(), std::vector<float>(static_cast<size_t>(size), 0.0f));
    std::vector<long> starts(chunks.size()), lengths(chunks.size());
    for (size_t k = 0; k < chunks.size(); ++k) {
        starts[k] = std::min(nr - 1, static_cast<long>(std::lround(static_cast<double>(chunks[k].Start) * toFrames)));
        lengths[k] = std::min(nr - starts[k], static_cast<long>(std::lround(static_cast<double>(chunks[k].Length) * toFrames)));
    }
    for (size_t d = 0; d < 12; ++d) {
        corr.SetSecond(prim[d].data(), prim[d].size());
        for (size_t k = 0; k < chunks.size(); ++k) {
            const std::vector<float> &c = corr.CorrelateSpectrum(
                corr.Spectrum(ref[d].data() + starts[k], static_cast<size_t>(lengths[k])));
            for (long i = 0; i < size; ++i)
                sums[k][static_cast<size_t>(i)] += c[static_cast<size_t>(i)];
        }
    }
    auto at = [&](const std::vector<float> &v, long lag) { return v[static_cast<size_t>(((lag % size) + size) % size)]; };
    const long apart = std::lround(kHarmonyApart * kChromaRate);
    for (size_t k = 0; k < chunks.size(); ++k) {
        // Lags (primary frame minus the chunk's first) at which half the chunk or more overlaps.
        const long lo = -lengths[k] / 2, hi = np - lengths[k] / 2;
        if (hi - lo < 3 * apart)
            continue;
        double sum = 0, sq = 0;
        long best = lo;
        for (long l = lo; l <= hi; ++l) {
            const double v = at(sums[k], l);
            sum += v, sq += v * v;
            if (v > at(sums[k], best))
                best = l;
        }
        const double count = static_cast<double>(hi - lo + 1), mean = sum / count;
        const double sd = std::sqrt(std::max(1e-20, sq / count - mean * mean));
        double second = -1e300;
        for (long l = lo; l <= hi; ++l)
            if (std::labs(l - best) > apart)
                second = std::max(second, static_cast<double>(at(sums[k], l)));
        const double z = (at(sums[k], best) - mean) / sd;
        if (z < kHarmonyMinZ || at(sums[k], best) - mean < kHarmonyClear * (second - mean))
            continue;
        // The highest onset correlation within reach of the harmony's lag; its index runs
        // as the chunk placed at 0 (see Peaks).
        const std::vector<float> &e = envCorrelator.CorrelateSpectrum(chunks[k].Spectrum);
        const long n = static_cast<long>(e.size()), reach = std::lround(kHarmonyReach * envRate);
        const long centre = std::lround(static_cast<double>(best - starts[k]) / toFrames) + static_cast<long>(chunks[k].Start);
        long top = centre - reach;
        auto env = [&](long i) { return e[static_cast<size_t>(((i % n) + n) % n)]; };
        for (long i = centre - reach; i <= centre + reach; ++i)
            if (env(i) > env(top))
                top = i;
        // Only a lag the onsets match about as well as their best one is taken: the harmony
        // chooses among the rounds, it does not overrule the onsets.
        const long elo = -static_cast<long>(chunks[k].Length / 2);
        const long ehi = static_cast<long>(warpedLength) - static_cast<long>(chunks[k].Length / 2);
        double esum = 0, esq = 0, ebest = -1e300;
        for (long i = elo; i <= ehi; ++i) {
            const double v = env(i);
            esum += v, esq += v * v, ebest = std::max(ebest, v);
        }
        const double ecount = static_cast<double>(std::max(1L, ehi - elo + 1)), emean = esum / ecount;
        const double esd = std::sqrt(std::max(1e-20, esq / ecount - emean * emean));
        const double ez = (env(top) - emean) / esd;
        if (ez < kMinZ || ez < kAmbiguous * (ebest - emean) / esd)
            continue;
        const double a = env(top - 1), b = env(top), c = env(top + 1), den = a - 2 * b + c;
        const double frac = den < 0 ? std::clamp(0.5 * (a - c) / den, -0.5, 0.5) : 0;
        out.push_back({static_cast<double>(top) + frac - static_cast<double>(chunks[k].Start), z});
    }
    std::sort(out.begin(), out.end(), [](const TPeak &a, const TPeak &b) { return a.Z > b.Z; });
    return out;
}

// The rate whose chunks give the sharpest peaks: the named rates, then a grid over
// +- maxDrift, then a finer grid around the best; scoreAll scores a batch of rates.
template <typename TScoreAll>
double ChooseRate(const TScoreAll &scoreAll, double maxDrift)
{
    // Named rates; 1 keeps its place unless another is clearly better (short chunks
    // cannot tell 1001/1000 from 1 apart, and the lag track follows such drift).
    std::vector<double> named{1.0};
    for (double r : NamedRates())
        if (r != 1.0 && std::fabs(r - 1) <= maxDrift + 1e-9)
            named.push_back(r);
    std::vector<double> scores = scoreAll(named);
    double best = scores[0], bestRate = 1;
    for (size_t i = 1; i < named.size(); ++i)
        if (scores[i] > best * (bestRate == 1.0 ? kNamedPreference : 1.0))
            best = scores[i], bestRate = named[i];
    std::vector<double> grid;
    for (double r = 1 - maxDrift; r <= 1 + maxDrift + 1e-12; r += kGridStep)
        grid.push_back(r);
    scores = scoreAll(grid);
    for (size_t i = 0; i < grid.size(); ++i)
        // A named rate keeps its place unless the grid is clearly better.
        if (scores[i] > best * kGridPreference)
            best = scores[i], bestRate = grid[i];
    std::vector<double> fine;
    for (double r = bestRate - kGridStep; r <= bestRate + kGridStep + 1e-12; r += kFineStep)
        fine.push_back(r);
    scores = scoreAll(fine);
    for (size_t i = 0; i < fine.size(); ++i)
        if (scores[i] > best * kFinePreference)
            best = scores[i], bestRate = fine[i];
    return bestRate;
}

// A chunk's best lag (warped primary index minus reference index) at its centre, both
// in coarse samples.
struct TLinePoint {
    double Time = 0, Lag = 0;
    size_t Chunk = 0;
};

// The slope of the line that the peaks of most chunks lie on (within kLineTolerance; a
// chunk counts once, with its nearest peak), from at least three chunks spanning
// `minSpan` or more; refined by least squares over those peaks. Music that repeats gives
// each chunk peaks at other lags too, but these do not line up over the whole programme.
// False when no line holds three chunks that far apart.
bool CommonSlope(const std::vector<TLinePoint> &points, double minSpan, double &slope)
{
    size_t bestCount = 0;
    double bestSpread = 0;
    std::vector<size_t> bestSet;
    for (size_t i = 0; i < points.size(); ++i)
        for (size_t j = i + 1; j < points.size(); ++j) {
            const double dt = points[j].Time - points[i].Time;
            if (std::fabs(dt) < 0.5 * minSpan)
                continue;
            const double b = (points[j].Lag - points[i].Lag) / dt;
            if (std::fabs(b) > kMaxSlope)
                continue;
            std::vector<size_t> set;
            std::vector<double> nearest;
            double spread = 0;
            for (size_t k = 0; k < points.size(); ++k) {
                const double d = points[k].Lag - (points[i].Lag + b * (points[k].Time - points[i].Time));
                if (std::fabs(d) > kLineTolerance)
                    continue;
                // One peak per chunk: the nearest.
                size_t m = 0;
                while (m < set.size() && points[set[m]].Chunk != points[k].Chunk)
                    ++m;
                if (m == set.size()) {
                    set.push_back(k);
                    nearest.push_back(d);
                } else if (std::fabs(d) < std::fabs(nearest[m])) {
                    set[m] = k;
                    nearest[m] = d;
                }
            }
            for (double d : nearest)
                spread += d * d;
            if (set.size() > bestCount || (set.size() == bestCount && spread < bestSpread))
                bestCount = set.size(), bestSpread = spread, bestSet = set;
        }
    if (bestCount < 3)
        return false;
    double mt = 0, ml = 0, lo = 1e300, hi = -1e300;
    for (size_t k : bestSet) {
        mt += points[k].Time, ml += points[k].Lag;
        lo = std::min(lo, points[k].Time), hi = std::max(hi, points[k].Time);
    }
    if (hi - lo < minSpan)
        return false;
    mt /= static_cast<double>(bestCount), ml /= static_cast<double>(bestCount);
    double stt = 0, stl = 0;
    for (size_t k : bestSet) {
        stt += (points[k].Time - mt) * (points[k].Time - mt);
        stl += (points[k].Time - mt) * (points[k].Lag - ml);
    }
    if (stt <= 0)
        return false;
    slope = stl / stt;
    return true;
}

} // namespace

std::vector<double> NamedRates()
{
    const double r[] = {1.0, 25 / 23.976, 23.976 / 25, 25.0 / 24, 24.0 / 25, 1.001, 1 / 1.001, 30 / 29.97 * 25 / 24,
                        24 / 25.0 * 29.97 / 30};
    return std::vector<double>(std::begin(r), std::end(r));
}

TCoarseResult CoarseSearch(const std::vector<float> &refEnv, const std::vector<float> &primEnv, double maxDrift,
                           const TSyncSignal *refSignal, const TSyncSignal *primSignal)
{
    TCoarseResult result;
    const int decimate = refEnv.size() < kFullEnvelopeBelow * kEnvelopeRate ? 1 : kDecimate;
    std::vector<float> ref = Prepare(refEnv, decimate), prim = Prepare(primEnv, decimate);
    const double rate = kEnvelopeRate / decimate;
    if (ref.size() < 8 * rate || prim.size() < 8 * rate)
        return result;
    // Chunks spread over the reference.
    size_t chunkLength = std::min<size_t>(static_cast<size_t>(kChunkSeconds * rate), ref.size() / 2);
    int chunks = static_cast<int>(std::clamp<size_t>(ref.size() / chunkLength, 1, kMaxChunks));
    const int size = NextPow2(static_cast<size_t>(prim.size() / (1 - maxDrift)) + 2 * chunkLength + 2);
    TCorrelator correlator(size);
    std::vector<TChunk> parts = SpreadChunks(correlator, ref, chunkLength, chunks);
    // Two correlators (plans are made here, on one thread) score the rates of a batch
    // on two threads; the choice below walks the scores in order, as one thread would.
    TCorrelator second(size);
    auto scoreChunks = [&](TCorrelator &corr, std::vector<float> &warped, double r,
                           std::vector<std::vector<TPeak>> *peaks, const std::vector<TChunk> &chunkSet) {
        Warp(prim, r, warped);
        // The chunk is placed at its own start inside the correlation: shift it to 0.
        corr.SetSecond(warped.data(), warped.size());
        double total = 0;
        for (const TChunk &c : chunkSet) {
            const std::vector<float> &values = corr.CorrelateSpectrum(c.Spectrum);
            TChunk at0 = c;
            at0.Start = 0;
            std::vector<TPeak> p = Peaks(values, at0, warped.size(), peaks ? 3 : 1, decimate);
            for (TPeak &q : p)
                q.Lag -= static_cast<double>(c.Start);
            total += p.empty() ? 0 : std::min(p[0].Z, kChunkZCap);
            if (peaks)
                peaks->push_back(p);
        }
        return total;
    };
    auto score = [&](TCorrelator &corr, std::vector<float> &warped, double r, std::vector<std::vector<TPeak>> *peaks) {
        return scoreChunks(corr, warped, r, peaks, parts);
    };
    auto scoreAll = [&](const std::vector<double> &rates) {
        std::vector<double> out(rates.size());
        auto run = [&](TCorrelator &corr, size_t first) {
            std::vector<float> warped;
            for (size_t i = first; i < rates.size(); i += 2)
                out[i] = score(corr, warped, rates[i], nullptr);
        };
        std::thread other([&]() { run(second, 1); });
        run(correlator, 0);
        other.join();
        return out;
    };
    const double chosen = ChooseRate(scoreAll, maxDrift);
    // Shorter chunks over the whole reference at the chosen rate: a part shorter than
    // the long chunks (a first reel before a cut) still gets its offset.
    const size_t shortLength = std::min(chunkLength, static_cast<size_t>(kShortChunkSeconds * rate));
    const int shortCount = static_cast<int>(std::clamp<size_t>(ref.size() / shortLength, 1, kMaxShortChunks));
    const std::vector<TChunk> shortParts =
        shortLength < chunkLength ? SpreadChunks(correlator, ref, shortLength, shortCount) : std::vector<TChunk>{};
    std::vector<float> warped;
    std::vector<std::vector<TPeak>> peaks;
    std::vector<TLinePoint> points;
    auto measure = [&](double r) {
        peaks.clear();
        points.clear();
        result.Score = score(correlator, warped, r, &peaks);
        for (size_t i = 0; i < parts.size(); ++i)
            for (const TPeak &q : peaks[i])
                if (q.Z >= kMinZ)
                    points.push_back({parts[i].Start + 0.5 * static_cast<double>(parts[i].Length), q.Lag, i});
        // Short chunks see many chance peaks (music that repeats): only a peak that stands
        // well clear of the chunk's next one gives an offset.
        std::vector<std::vector<TPeak>> shortPeaks;
        if (!shortParts.empty())
            scoreChunks(correlator, warped, r, &shortPeaks, shortParts);
        for (size_t i = 0; i < shortPeaks.size(); ++i) {
            const std::vector<TPeak> &p = shortPeaks[i];
            if (!p.empty() && p[0].Z >= kShortMinZ && (p.size() < 2 || p[0].Z >= kShortClear * p[1].Z))
                peaks.push_back({p[0]});
            for (const TPeak &q : p)
                if (q.Z >= kShortMinZ)
                    points.push_back({shortParts[i].Start + 0.5 * static_cast<double>(shortParts[i].Length), q.Lag,
                                      parts.size() + i});
        }
    };
    measure(chosen);
    double bestRate = chosen;
    // Chunks only 40 s long tell rates apart to about 0.001; the offsets of all chunks
    // over the whole programme give the rest. A line through the chunks' lags that most
    // of them agree on: its slope is what the chosen rate is off by (a cut moves the
    // lags of the chunks after it, not their slope).
    double slope = 0;
    if (CommonSlope(points, kSlopeSpanShare * static_cast<double>(ref.size()), slope) &&
        std::fabs(slope) >= kSlopeApplied) {
        const double scoreChosen = result.Score;
        const std::vector<std::vector<TPeak>> peaksChosen = peaks;
        bestRate = chosen * (1 + slope);
        measure(bestRate);
        if (result.Score < kKeepScore * scoreChosen) {
            bestRate = chosen;
            peaks = peaksChosen;
            result.Score = scoreChosen;
        }
    }
    result.Rate = bestRate;
    result.Offsets = DistinctOffsets(peaks, bestRate, rate);
    // A rhythm that repeats gives a long chunk peaks of about one height a round apart;
    // where the harmony tells one of them from the rest and the onsets missed it, that
    // lag leads the offsets.
    bool ambiguous = false;
    for (size_t i = 0; i < parts.size() && i < peaks.size(); ++i)
        ambiguous = ambiguous || (peaks[i].size() >= 2 && peaks[i][1].Z >= kAmbiguous * peaks[i][0].Z);
    if (ambiguous && refSignal && primSignal) {
        Warp(prim, bestRate, warped);
        correlator.SetSecond(warped.data(), warped.size());
        std::vector<TChunk> all = parts;
        all.insert(all.end(), shortParts.begin(), shortParts.end());
        const std::vector<TPeak> harmony = HarmonyLags(ChromaRows(ChromaFrames(*refSignal), 1.0),
                                                       ChromaRows(ChromaFrames(*primSignal), bestRate), all, rate,
                                                       correlator, warped.size());
        // Only lags the onsets' offsets lack are added, ahead of them: where the onsets
        // already hold the lag, the lag track searches it as before.
        std::vector<double> onsets;
        onsets.swap(result.Offsets);
        for (const TPeak &q : harmony) {
            const double b = bestRate * q.Lag / rate;
            bool held = false;
            for (double o : onsets)
                held = held || std::fabs(o - b) < kHarmonyNear;
            if (!held)
                AddDistinct(result.Offsets, b);
        }
        for (double b : onsets)
            AddDistinct(result.Offsets, b);
    }
    result.Found = !result.Offsets.empty();
    return result;
}

} // namespace tessaly::sync
