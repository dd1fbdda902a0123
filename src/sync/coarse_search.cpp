// Coarse alignment: chunks of the reference's onset envelope are correlated with the
// primary's envelope warped by each candidate rate; the rate whose chunks give the
// sharpest peaks wins, then a finer scan around it; the peaks give candidate offsets.
#include "sync/coarse_search.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>

#include "sync/fft_plan.h"
#include "sync/sync_signal.h"

namespace tessaly::sync {

namespace {

constexpr int kDecimate = 4;            // coarse envelope at 25 values per second ...
constexpr double kFullEnvelopeBelow = 300;   // ... on references this long or longer; shorter
                                             // ones keep 100 per second, which short chunks
                                             // need to tell rates 0.001 apart
constexpr double kChunkSeconds = 40;
constexpr int kMaxChunks = 6;
constexpr double kGridStep = 0.001;     // 1000 ppm: 40 ms over a 40 s chunk
constexpr double kFineStep = 0.0001;
constexpr double kMinZ = 4;             // a chunk peak below this is noise
constexpr double kShortChunkSeconds = 12;   // chunks that find the offsets of short parts
constexpr size_t kMaxShortChunks = 24;
constexpr double kShortMinZ = 6;        // a short chunk's peak is taken from this height ...
constexpr double kShortClear = 1.5;     // ... and this many times the chunk's next peak
constexpr size_t kMaxOffsets = 12;      // candidate offsets handed to the lag track

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
    float scale = sq > 0 ? static_cast<float>(1.0 / std::sqrt(sq / static_cast<double>(hp.size()))) : 0.0f;
    for (float &v : hp)
        v *= scale;
    return hp;
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

// The peaks of one chunk's correlation over the valid lags, best first.
std::vector<TPeak> Peaks(const std::vector<float> &c, const TChunk &chunk, size_t warpedLength, size_t maxPeaks,
                         int decimate)
{
    const long n = static_cast<long>(c.size());
    const long lo = -static_cast<long>(chunk.Length / 2);
    const long hi = static_cast<long>(warpedLength) - static_cast<long>(chunk.Length / 2);
    auto at = [&](long k) { return c[static_cast<size_t>(((k % n) + n) % n)]; };
    double sum = 0, sq = 0;
    long count = 0;
    for (long k = lo; k <= hi; ++k, ++count) {
        sum += at(k);
        sq += double(at(k)) * at(k);
    }
    if (count < 3)
        return {};
    double mean = sum / count, sd = std::sqrt(std::max(1e-20, sq / count - mean * mean));
    std::vector<TPeak> peaks;
    std::vector<std::pair<float, long>> order;
    for (long k = lo + 1; k < hi; ++k) {
        if (!(at(k) >= at(k - 1) && at(k) > at(k + 1)))
            continue;
        // The rate scan asks for the best peak only: the highest one (the first of equals) is kept.
        if (maxPeaks == 1 && !order.empty()) {
            if (at(k) > order.front().first)
                order.front() = {at(k), k};
            continue;
        }
        order.push_back({at(k), k});
    }
    if (maxPeaks > 1)
        std::stable_sort(order.begin(), order.end(), [](auto &a, auto &b) { return a.first > b.first; });
    const long separation = static_cast<long>(kEnvelopeRate / decimate);   // one second
    for (auto &[v, k] : order) {
        bool near = false;
        for (const TPeak &p : peaks)
            near = near || std::labs(static_cast<long>(p.Lag) - k) < separation;
        if (near)
            continue;
        double z = (v - mean) / sd;
        // Three-point parabola for a lag between the coarse samples.
        double a = at(k - 1), b = at(k), d = at(k + 1), den = a - 2 * b + d;
        double frac = den < 0 ? 0.5 * (a - d) / den : 0;
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
    for (const TPeak &q : all) {
        double b = rate * q.Lag / envRate;
        bool near = false;
        for (double o : offsets)
            near = near || std::fabs(o - b) < 0.1;
        if (!near && offsets.size() < kMaxOffsets)
            offsets.push_back(b);
    }
    return offsets;
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
        if (scores[i] > best * (bestRate == 1.0 ? 1.02 : 1.0))
            best = scores[i], bestRate = named[i];
    std::vector<double> grid;
    for (double r = 1 - maxDrift; r <= 1 + maxDrift + 1e-12; r += kGridStep)
        grid.push_back(r);
    scores = scoreAll(grid);
    for (size_t i = 0; i < grid.size(); ++i)
        // A named rate keeps its place unless the grid is clearly better.
        if (scores[i] > best * 1.05)
            best = scores[i], bestRate = grid[i];
    std::vector<double> fine;
    for (double r = bestRate - kGridStep; r <= bestRate + kGridStep + 1e-12; r += kFineStep)
        fine.push_back(r);
    scores = scoreAll(fine);
    for (size_t i = 0; i < fine.size(); ++i)
        if (scores[i] > best * 1.01)
            best = scores[i], bestRate = fine[i];
    return bestRate;
}

} // namespace

std::vector<double> NamedRates()
{
    const double r[] = {1.0, 25 / 23.976, 23.976 / 25, 25.0 / 24, 24.0 / 25, 1.001, 1 / 1.001, 30 / 29.97 * 25 / 24,
                        24 / 25.0 * 29.97 / 30};
    return std::vector<double>(std::begin(r), std::end(r));
}

TCoarseResult CoarseSearch(const std::vector<float> &refEnv, const std::vector<float> &primEnv, double maxDrift)
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
            total += p.empty() ? 0 : std::min(p[0].Z, 40.0);
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
    const double bestRate = ChooseRate(scoreAll, maxDrift);
    std::vector<float> warped;
    std::vector<std::vector<TPeak>> peaks;
    result.Score = score(correlator, warped, bestRate, &peaks);
    result.Rate = bestRate;
    // Shorter chunks over the whole reference at the chosen rate: a part shorter than
    // the long chunks (a first reel before a cut) still gets its offset.
    const size_t shortLength = std::min(chunkLength, static_cast<size_t>(kShortChunkSeconds * rate));
    const int shortCount = static_cast<int>(std::clamp<size_t>(ref.size() / shortLength, 1, kMaxShortChunks));
    // Short chunks see many chance peaks (music that repeats): only a peak that stands
    // well clear of the chunk's next one is taken.
    if (shortLength < chunkLength) {
        std::vector<std::vector<TPeak>> shortPeaks;
        scoreChunks(correlator, warped, bestRate, &shortPeaks, SpreadChunks(correlator, ref, shortLength, shortCount));
        for (const std::vector<TPeak> &p : shortPeaks)
            if (!p.empty() && p[0].Z >= kShortMinZ && (p.size() < 2 || p[0].Z >= kShortClear * p[1].Z))
                peaks.push_back({p[0]});
    }
    result.Offsets = DistinctOffsets(peaks, bestRate, rate);
    result.Found = !result.Offsets.empty();
    return result;
}

} // namespace tessaly::sync
