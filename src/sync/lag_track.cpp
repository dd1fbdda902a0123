// Window lag search: Pearson correlation over candidate lags on the onset envelope,
// then on 1 kHz and on the analysis rate, with a parabola through the top three values
// for the part of a sample.
#include "sync/lag_track.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

#include "sync/fft_plan.h"

namespace tessaly::sync {

namespace {

constexpr long kFullReach = 6;   // full-rate samples searched around a 1 kHz lag
constexpr double kQuietShare = 0.1;     // an envelope window whose spread is below this share of
                                       // the stretch's is a pause ...
constexpr double kSoundingShare = 1.0; // ... and one above this share clearly sounds
constexpr double kPhatLowHz = 100;    // the phase transform's band: below, hum and rumble;
constexpr double kPhatHighHz = 3800;  // above, the analysis rate's anti-alias slope

template <typename T>
double At(const std::vector<T> &x, long i)
{
    return (i >= 0 && i < static_cast<long>(x.size())) ? static_cast<double>(x[static_cast<size_t>(i)]) : 0.0;
}

// Sum of x[i] * y[i] over n values, in four independent vector sums so that the
// additions do not wait on each other; a wider instruction set is used where the
// processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=haswell", "default")))
#endif
float Dot(const float *x, const float *y, long n)
{
    typedef float TVec __attribute__((vector_size(32)));
    TVec s0{}, s1{}, s2{}, s3{};
    long i = 0;
    for (; i + 32 <= n; i += 32) {
        TVec x0, x1, x2, x3, y0, y1, y2, y3;
        std::memcpy(&x0, x + i, sizeof x0);
        std::memcpy(&x1, x + i + 8, sizeof x1);
        std::memcpy(&x2, x + i + 16, sizeof x2);
        std::memcpy(&x3, x + i + 24, sizeof x3);
        std::memcpy(&y0, y + i, sizeof y0);
        std::memcpy(&y1, y + i + 8, sizeof y1);
        std::memcpy(&y2, y + i + 16, sizeof y2);
        std::memcpy(&y3, y + i + 24, sizeof y3);
        s0 += x0 * y0;
        s1 += x1 * y1;
        s2 += x2 * y2;
        s3 += x3 * y3;
    }
    TVec v = (s0 + s1) + (s2 + s3);
    float sum = 0;
    for (int k = 0; k < 8; ++k)
        sum += v[k];
    for (; i < n; ++i)
        sum += x[i] * y[i];
    return sum;
}

// Pearson correlation of x[a .. a+n) with y[a+lag .. a+lag+n) for lag in [lo, hi];
// lags whose test window leaves y give NaN. The part of y the scan reads is turned
// into floats once.
template <typename TX, typename TY>
std::vector<double> PearsonScan(const std::vector<TX> &x, long a, long n, const std::vector<TY> &y, long lo, long hi)
{
    std::vector<double> out(static_cast<size_t>(std::max(0L, hi - lo + 1)), std::nan(""));
    if (n < 4 || a < 0 || a + n > static_cast<long>(x.size()))
        return out;
    const long ny = static_cast<long>(y.size());
    // Only lags whose test window lies inside y are measured.
    const long first = std::max(lo, -a), last = std::min(hi, ny - n - a);
    if (first > last)
        return out;
    // The window's mean and spread in independent partial sums (exact integer sums for
    // 16-bit samples), so that the additions do not wait on each other.
    const TX *xs = x.data() + a;
    double sum = 0, squares = 0;
    if constexpr (std::is_integral_v<TX>) {
        int64_t s0 = 0, q0 = 0;
        for (long i = 0; i < n; ++i) {
            const int64_t v = xs[i];
            s0 += v;
            q0 += v * v;
        }
        sum = static_cast<double>(s0), squares = static_cast<double>(q0);
    } else {
        double s4[4] = {0, 0, 0, 0}, q4[4] = {0, 0, 0, 0};
        long i = 0;
        for (; i + 4 <= n; i += 4)
            for (int k = 0; k < 4; ++k) {
                const double v = xs[i + k];
                s4[k] += v;
                q4[k] += v * v;
            }
        for (; i < n; ++i)
            s4[0] += xs[i], q4[0] += double(xs[i]) * xs[i];
        sum = (s4[0] + s4[1]) + (s4[2] + s4[3]), squares = (q4[0] + q4[1]) + (q4[2] + q4[3]);
    }
    const double mx = sum / static_cast<double>(n);
    const double sxx = squares - sum * mx;
    // Working copies kept per thread: the scan runs thousands of times per alignment.
    thread_local std::vector<float> xc, yf;
    xc.resize(static_cast<size_t>(n));
    const float mean = static_cast<float>(mx);
    for (long i = 0; i < n; ++i)
        xc[static_cast<size_t>(i)] = static_cast<float>(xs[i]) - mean;
    const long base = a + first, span = n + (last - first);
    yf.resize(static_cast<size_t>(span));
    std::copy(y.begin() + base, y.begin() + base + span, yf.begin());
    double sy = 0, syy = 0;
    {
        double s4[4] = {0, 0, 0, 0}, q4[4] = {0, 0, 0, 0};
        long i = 0;
        for (; i + 4 <= n; i += 4)
            for (int k = 0; k < 4; ++k) {
                const double v = yf[static_cast<size_t>(i + k)];
                s4[k] += v;
                q4[k] += v * v;
            }
        for (; i < n; ++i)
            s4[0] += yf[static_cast<size_t>(i)], q4[0] += double(yf[static_cast<size_t>(i)]) * yf[static_cast<size_t>(i)];
        sy = (s4[0] + s4[1]) + (s4[2] + s4[3]), syy = (q4[0] + q4[1]) + (q4[2] + q4[3]);
    }
    for (long lag = first; lag <= last; ++lag) {
        const long b = lag - first;
        if (b > 0) {
            double out0 = yf[static_cast<size_t>(b - 1)], in = yf[static_cast<size_t>(b + n - 1)];
            sy += in - out0;
            syy += in * in - out0 * out0;
        }
        const double sxy = Dot(xc.data(), yf.data() + b, n);
        double vy = syy - sy * sy / n;
        out[static_cast<size_t>(lag - lo)] = (vy > 1e-9 && sxx > 1e-9) ? sxy / std::sqrt(sxx * vy) : 0.0;
    }
    return out;
}

// Index of the largest valid value, -1 when none.
long ArgMax(const std::vector<double> &v)
{
    long best = -1;
    for (size_t i = 0; i < v.size(); ++i)
        if (!std::isnan(v[i]) && (best < 0 || v[i] > v[static_cast<size_t>(best)]))
            best = static_cast<long>(i);
    return best;
}

// Vertex of the parabola through three neighbouring values, relative to the middle.
double Vertex(double a, double b, double c)
{
    double den = a - 2 * b + c;
    if (!(den < 0) || std::isnan(a) || std::isnan(c))
        return 0;
    return std::clamp(0.5 * (a - c) / den, -0.5, 0.5);
}

// Windowed-sinc interpolation kernels for kPhases fractional positions: a short
// cubic blurs and shifts the upper half of the band differently at each fraction,
// which a read along a slope turns into a lag error of a good part of a sample.
constexpr int kSincHalf = 12;                 // taps on each side
constexpr int kSincTaps = 2 * kSincHalf;
constexpr int kPhases = 1024;

const std::vector<float> &SincTable()
{
    static const std::vector<float> table = [] {
        constexpr double kPi = 3.14159265358979323846, kBeta = 8.0;
        auto bessel0 = [](double x) {
            double sum = 1, term = 1;
            for (int k = 1; k < 30; ++k) {
                term *= (x / (2 * k)) * (x / (2 * k));
                sum += term;
            }
            return sum;
        };
        std::vector<float> t(static_cast<size_t>((kPhases + 1) * kSincTaps));
        for (int ph = 0; ph <= kPhases; ++ph) {
            const double f = double(ph) / kPhases;
            double w[kSincTaps], sum = 0;
            for (int m = 0; m < kSincTaps; ++m) {
                const double d = (m - kSincHalf + 1) - f;   // tap position relative to the point read
                const double x = d / (kSincHalf + 0.5);
                const double win = std::fabs(x) < 1 ? bessel0(kBeta * std::sqrt(1 - x * x)) / bessel0(kBeta) : 0;
                w[m] = (std::fabs(d) < 1e-12 ? 1.0 : std::sin(kPi * d) / (kPi * d)) * win;
                sum += w[m];
            }
            for (int m = 0; m < kSincTaps; ++m)
                t[static_cast<size_t>(ph * kSincTaps + m)] = static_cast<float>(w[m] / sum);
        }
        return t;
    }();
    return table;
}

// One interpolated value: the kSincTaps weights c against the samples at src.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("arch=haswell", "default")))
#endif
float SincDot(const float *c, const float *src)
{
    static_assert(kSincTaps == 24, "three vectors of eight taps");
    typedef float TVec __attribute__((vector_size(32)));
    TVec c0, c1, c2, s0, s1, s2;
    std::memcpy(&c0, c, sizeof c0);
    std::memcpy(&c1, c + 8, sizeof c1);
    std::memcpy(&c2, c + 16, sizeof c2);
    std::memcpy(&s0, src, sizeof s0);
    std::memcpy(&s1, src + 8, sizeof s1);
    std::memcpy(&s2, src + 16, sizeof s2);
    const TVec v = c0 * s0 + c1 * s1 + c2 * s2;
    return ((v[0] + v[1]) + (v[2] + v[3])) + ((v[4] + v[5]) + (v[6] + v[7]));
}

// y read around centre (a fractional index) at `step` per output sample, windowed sinc
// between samples: element j is position centre + (j - count / 2) * step. The samples
// the read reaches are turned into floats once (each is a tap of some 24 outputs).
template <typename T>
std::vector<float> WarpedRead(const std::vector<T> &y, double centre, long count, double step)
{
    const std::vector<float> &table = SincTable();
    const long size = static_cast<long>(y.size());
    std::vector<float> out(static_cast<size_t>(count));
    if (count <= 0)
        return out;
    const double p0 = centre - (count / 2) * step, p1 = centre + (count - 1 - count / 2) * step;
    const long from = std::clamp<long>(static_cast<long>(std::floor(std::min(p0, p1))) - kSincHalf, 0, size);
    const long to = std::clamp<long>(static_cast<long>(std::floor(std::max(p0, p1))) + kSincHalf + 2, from, size);
    thread_local std::vector<float> span;
    span.assign(y.begin() + from, y.begin() + to);
    for (long j = 0; j < count; ++j) {
        const double p = centre + (j - count / 2) * step;
        long i = static_cast<long>(std::floor(p));
        const long ph = static_cast<long>((p - static_cast<double>(i)) * kPhases + 0.5);
        const float *c = table.data() + ph * kSincTaps;
        const long first = i - kSincHalf + 1;
        float v = 0;
        if (first >= from && first + kSincTaps <= to) {
            v = SincDot(c, span.data() + (first - from));
        } else {
            for (int m = 0; m < kSincTaps; ++m)
                v += c[m] * static_cast<float>(At(y, first + m));
        }
        out[static_cast<size_t>(j)] = v;
    }
    return out;
}

// Best lag (in samples of `rate`, fractional) of x[a, a+n) against y read with `slope`
// around the window centre, searched +- margin samples around `lag` samples.
template <typename T>
bool WarpedPeak(const std::vector<T> &x, const std::vector<T> &y, long a, long n, double lag, double slope,
                long margin, double &best, double &score)
{
    if (a < 0 || a + n > static_cast<long>(x.size()))
        return false;
    const double centre = a + n / 2 + lag;
    if (centre - (n / 2 + margin) * (1 + slope) < 0 || centre + (n / 2 + margin + 2) * (1 + slope) > y.size())
        return false;
    std::vector<float> xs(x.begin() + a, x.begin() + a + n);
    std::vector<float> ys = WarpedRead(y, centre, n + 2 * margin, 1 + slope);
    // ys[margin + i + k] lines up with xs[i] at lag offset k.
    std::vector<double> v = PearsonScan(xs, 0, n, ys, 0, 2 * margin);
    long k = ArgMax(v);
    if (k < 0)
        return false;
    double frac = 0;
    if (k > 0 && k + 1 < static_cast<long>(v.size()))
        frac = Vertex(v[static_cast<size_t>(k - 1)], v[static_cast<size_t>(k)], v[static_cast<size_t>(k + 1)]);
    best = lag + (k - margin + frac) * (1 + slope);
    score = v[static_cast<size_t>(k)];
    return true;
}

struct TEnvPeak {
    long Lag;
    double Value;
};

} // namespace

bool PrepareTrackSignal(TTrackSignal &s)
{
    TSyncSignal low;
    if (!ResampleSignal(s.Full, kLowRate / s.Full.Rate, low))
        return false;
    s.Low.assign(low.Samples.begin(), low.Samples.end());
    s.Envelope = OnsetEnvelope(s.Full);
    return true;
}

std::vector<TLagCandidate> WindowLags(const TTrackSignal &ref, const TTrackSignal &test, double start,
                                      double length, const std::vector<double> &centres, double search,
                                      size_t maxCandidates, const std::vector<double> &follow, double near,
                                      size_t maxFollow)
{
    std::vector<TLagCandidate> result;
    const long a = std::lround(start * kEnvelopeRate), n = std::lround(length * kEnvelopeRate);
    // Envelope: every searched lag once (centres may overlap).
    std::map<long, double> scan;
    for (double c : centres) {
        long lo = std::lround((c - search) * kEnvelopeRate), hi = std::lround((c + search) * kEnvelopeRate);
        std::vector<double> v = PearsonScan(ref.Envelope, a, n, test.Envelope, lo, hi);
        for (long k = lo; k <= hi; ++k)
            if (!std::isnan(v[static_cast<size_t>(k - lo)]))
                scan[k] = v[static_cast<size_t>(k - lo)];
    }
    if (scan.size() < 5)
        return result;
    double sum = 0, sq = 0;
    for (auto &[k, v] : scan)
        sum += v, sq += v * v;
    const double mean = sum / scan.size(), sd = std::sqrt(std::max(1e-12, sq / scan.size() - mean * mean));
    std::vector<TEnvPeak> peaks;
    for (auto it = scan.begin(); it != scan.end(); ++it) {
        auto prev = scan.find(it->first - 1), next = scan.find(it->first + 1);
        double p = prev == scan.end() ? -2 : prev->second, q = next == scan.end() ? -2 : next->second;
        if (it->second >= p && it->second > q)
            peaks.push_back({it->first, it->second});
    }
    std::sort(peaks.begin(), peaks.end(), [](const TEnvPeak &x, const TEnvPeak &y) { return x.Value > y.Value; });
    std::vector<TEnvPeak> chosen;
    for (const TEnvPeak &p : peaks) {
        bool near = false;
        for (const TEnvPeak &c : chosen)
            near = near || std::labs(c.Lag - p.Lag) < 5;
        if (!near)
            chosen.push_back(p);
        if (chosen.size() >= maxCandidates)
            break;
    }
    // The continuation of each followed lag: its best peak within `near`.
    const long reach = std::max(1L, std::lround(near * kEnvelopeRate));
    size_t followed = 0;
    for (double lag : follow) {
        if (followed >= maxFollow)
            break;
        const long at = std::lround(lag * kEnvelopeRate);
        const TEnvPeak *best = nullptr;
        for (const TEnvPeak &p : peaks)
            if (std::labs(p.Lag - at) <= reach && (!best || p.Value > best->Value))
                best = &p;
        bool have = false;
        for (const TEnvPeak &c : chosen)
            have = have || (best && std::labs(c.Lag - best->Lag) < 2);
        if (best && !have) {
            chosen.push_back(*best);
            ++followed;
        }
    }
    for (const TEnvPeak &p : chosen) {
        // 1 kHz: +- 15 ms around the envelope lag.
        const double lowPerEnv = kLowRate / kEnvelopeRate;
        long la = std::lround(start * kLowRate), ln = std::lround(length * kLowRate);
        long lc = std::lround(p.Lag * lowPerEnv);
        std::vector<double> low = PearsonScan(ref.Low, la, ln, test.Low, lc - 15, lc + 15);
        long lbest = ArgMax(low);
        if (lbest < 0)
            continue;
        double lowFrac = 0;
        if (lbest > 0 && lbest + 1 < static_cast<long>(low.size()))
            lowFrac = Vertex(low[static_cast<size_t>(lbest - 1)], low[static_cast<size_t>(lbest)],
                             low[static_cast<size_t>(lbest + 1)]);
        // Full rate: around the 1 kHz lag with its part of a sample (a quarter of a 1 kHz
        // sample is 2 samples here), kFullReach either side.
        const double perLow = ref.Full.Rate / kLowRate;
        long fa = std::lround(start * ref.Full.Rate), fn = std::lround(length * ref.Full.Rate);
        long fc = std::lround((static_cast<double>(lc - 15 + lbest) + lowFrac) * perLow);
        std::vector<double> full =
            PearsonScan(ref.Full.Samples, fa, fn, test.Full.Samples, fc - kFullReach, fc + kFullReach);
        long fbest = ArgMax(full);
        if (fbest < 0)
            continue;
        double frac = 0;
        if (fbest > 0 && fbest + 1 < static_cast<long>(full.size()))
            frac = Vertex(full[static_cast<size_t>(fbest - 1)], full[static_cast<size_t>(fbest)],
                          full[static_cast<size_t>(fbest + 1)]);
        TLagCandidate c;
        c.Lag = (static_cast<double>(fc - kFullReach + fbest) + frac) / ref.Full.Rate;
        c.LowLag = (lc - 15 + lbest + lowFrac) / kLowRate;
        c.Score = full[static_cast<size_t>(fbest)];
        c.Z = (p.Value - mean) / sd;
        c.EnvScore = p.Value;
        const auto before = scan.find(p.Lag - 1), after = scan.find(p.Lag + 1);
        const double envFrac = before != scan.end() && after != scan.end()
                                   ? Vertex(before->second, p.Value, after->second)
                                   : 0.0;
        c.EnvLag = (static_cast<double>(p.Lag) + envFrac) / kEnvelopeRate;
        result.push_back(c);
    }
    std::sort(result.begin(), result.end(),
              [](const TLagCandidate &x, const TLagCandidate &y) { return x.Score > y.Score; });
    return result;
}

bool RefineLag(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
               double slope, double search, TLagCandidate &out)
{
    double full = 0, score = 0;
    const double rate = ref.Full.Rate;
    const long fa = std::lround(start * rate), fn = std::lround(length * rate);
    const long margin = std::max(2L, std::lround(search * rate));
    if (!WarpedPeak(ref.Full.Samples, test.Full.Samples, fa, fn, lag * rate, slope, margin, full, score))
        return false;
    out.Lag = out.LowLag = full / rate;
    out.Score = score;
    return true;
}

namespace {

// The phase-transform correlation of reference window [a, a + n) samples with the test
// read along `slope` around `lag` (s), +- margin samples: c[k] lines the window up with
// lag + (k - margin) samples. Empty when the window leaves the signals.
std::vector<float> PhatScan(const TTrackSignal &ref, const TTrackSignal &test, long a, long n, double lag,
                            double slope, long margin)
{
    const double rate = ref.Full.Rate;
    const double centre = a + n / 2 + lag * rate;
    if (a < 0 || a + n > static_cast<long>(ref.Full.Samples.size()) || centre - (n / 2 + margin) * (1 + slope) < 0 ||
        centre + (n / 2 + margin + 2) * (1 + slope) > test.Full.Samples.size())
        return {};
    std::vector<float> xs(ref.Full.Samples.begin() + a, ref.Full.Samples.begin() + a + n);
    std::vector<float> ys = WarpedRead(test.Full.Samples, centre, n + 2 * margin, 1 + slope);
    // One correlator per thread and size; FFTW makes its plans one at a time.
    const int size = NextPow2(static_cast<size_t>(n + 2 * margin + 1));
    static std::mutex planning;
    thread_local std::unique_ptr<TCorrelator> correlator;
    if (!correlator || correlator->Size() != size) {
        std::lock_guard<std::mutex> lock(planning);
        correlator = std::make_unique<TCorrelator>(size);
    }
    const std::vector<float> first = correlator->Spectrum(xs.data(), xs.size());
    correlator->SetSecond(ys.data(), ys.size());
    const size_t low = static_cast<size_t>(kPhatLowHz * size / rate), high = static_cast<size_t>(kPhatHighHz * size / rate);
    const std::vector<float> &c = correlator->CorrelatePhat(first, low, high);
    // c[k]: ys[i + k] against xs[i]; k = margin is the lag asked about.
    return std::vector<float>(c.begin(), c.begin() + 2 * margin + 1);
}

// Mean and spread of the values of c.
void MeanSpread(const std::vector<float> &c, double &mean, double &spread)
{
    double sum = 0, squares = 0;
    for (float v : c)
        sum += v, squares += double(v) * v;
    const double count = static_cast<double>(c.size());
    mean = sum / count;
    spread = std::sqrt(std::max(1e-30, squares / count - mean * mean));
}

} // namespace

bool PhatLag(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
             double slope, double search, TLagCandidate &out)
{
    const double rate = ref.Full.Rate;
    const long a = std::lround(start * rate), n = std::lround(length * rate);
    const long margin = std::max(2L, std::lround(search * rate));
    const std::vector<float> c = PhatScan(ref, test, a, n, lag, slope, margin);
    if (c.empty())
        return false;
    const long best = static_cast<long>(std::max_element(c.begin(), c.end()) - c.begin());
    double mean = 0, spread = 0;
    MeanSpread(c, mean, spread);
    double frac = 0;
    if (best > 0 && best < 2 * margin)
        frac = Vertex(c[static_cast<size_t>(best - 1)], c[static_cast<size_t>(best)], c[static_cast<size_t>(best + 1)]);
    const double found = lag * rate + (best - margin + frac) * (1 + slope);
    double at = 0, score = 0;
    if (!WarpedPeak(ref.Full.Samples, test.Full.Samples, a, n, found, slope, 1, at, score))
        return false;
    out.Lag = out.LowLag = found / rate;
    out.Score = score;
    out.Z = (c[static_cast<size_t>(best)] - mean) / spread;
    return true;
}

bool PhatPolarity(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
                  double search, double &positiveZ, double &negativeZ)
{
    const double rate = ref.Full.Rate;
    const long margin = std::max(2L, std::lround(search * rate));
    const std::vector<float> c = PhatScan(ref, test, std::lround(start * rate), std::lround(length * rate), lag, 0, margin);
    if (c.empty())
        return false;
    double mean = 0, spread = 0;
    MeanSpread(c, mean, spread);
    positiveZ = (*std::max_element(c.begin(), c.end()) - mean) / spread;
    negativeZ = (mean - *std::min_element(c.begin(), c.end())) / spread;
    return true;
}

void InvertPolarity(TTrackSignal &signal)
{
    for (int16_t &v : signal.Full.Samples)
        v = static_cast<int16_t>(-std::max<int>(v, -32767));
    for (float &v : signal.Low)
        v = -v;
}

bool EnvelopeAgreement(const TTrackSignal &ref, const TTrackSignal &test, double start, double length, double lag,
                       double search, double &score, double &at)
{
    const long a = std::lround(start * kEnvelopeRate), n = std::lround(length * kEnvelopeRate);
    const long lo = std::lround((lag - search) * kEnvelopeRate), hi = std::lround((lag + search) * kEnvelopeRate);
    const std::vector<double> v = PearsonScan(ref.Envelope, a, n, test.Envelope, lo, hi);
    const long k = ArgMax(v);
    if (k < 0)
        return false;
    double frac = 0;
    if (k > 0 && k + 1 < static_cast<long>(v.size()))
        frac = Vertex(v[static_cast<size_t>(k - 1)], v[static_cast<size_t>(k)], v[static_cast<size_t>(k + 1)]);
    score = v[static_cast<size_t>(k)];
    at = (static_cast<double>(lo + k) + frac) / kEnvelopeRate;
    return true;
}

std::vector<double> LocalAgreement(const TTrackSignal &ref, const TTrackSignal &test, double lagFrom, double lagTo,
                                   double from, double to, double length, double step)
{
    std::vector<double> out;
    const double rate = ref.Full.Rate;
    const long n = std::lround(length * rate);
    for (double t = from; t + length <= to + 1e-9; t += step) {
        const double lag = to > from ? lagFrom + (lagTo - lagFrom) * (t - from) / (to - from) : lagFrom;
        const long shift = std::lround(lag * rate);
        long a = std::lround(t * rate);
        std::vector<double> v = PearsonScan(ref.Full.Samples, a, n, test.Full.Samples, shift, shift);
        out.push_back(v.empty() || std::isnan(v[0]) ? 0.0 : v[0]);
    }
    return out;
}

std::vector<double> EnvelopeLocalAgreement(const TTrackSignal &ref, const TTrackSignal &test, double lagFrom,
                                           double lagTo, double from, double to, double length, double step)
{
    std::vector<double> out;
    const long n = std::max(4L, std::lround(length * kEnvelopeRate));
    // Linear interpolation between envelope values; 0 outside.
    auto read = [](const std::vector<float> &e, double p) {
        const double f = std::floor(p);
        const long i = static_cast<long>(f);
        const double w = p - f;
        return (1 - w) * At(e, i) + w * At(e, i + 1);
    };
    // The spread of each envelope over the whole stretch: a window whose own spread is
    // far below it is a pause.
    auto spread = [&](const std::vector<float> &e, double lag) {
        double s = 0, q = 0;
        long m = 0;
        for (double p = (from + lag) * kEnvelopeRate; p < (to + lag) * kEnvelopeRate; p += 1, ++m) {
            const double v = read(e, p);
            s += v, q += v * v;
        }
        return m > 1 ? std::sqrt(std::max(0.0, q / m - (s / m) * (s / m))) : 0.0;
    };
    const double spreadX = spread(ref.Envelope, 0), spreadY = spread(test.Envelope, 0.5 * (lagFrom + lagTo));
    const double quietX = kQuietShare * spreadX, quietY = kQuietShare * spreadY;
    for (double t = from; t + length <= to + 1e-9; t += step) {
        const double lag = to > from ? lagFrom + (lagTo - lagFrom) * (t - from) / (to - from) : lagFrom;
        const double a = t * kEnvelopeRate, b = (t + lag) * kEnvelopeRate;
        double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
        for (long i = 0; i < n; ++i) {
            const double x = read(ref.Envelope, a + i), y = read(test.Envelope, b + i);
            sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
        }
        const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
        const double sx1 = std::sqrt(std::max(0.0, vx / n)), sy1 = std::sqrt(std::max(0.0, vy / n));
        const bool flatX = !(sx1 > quietX), flatY = !(sy1 > quietY);
        if (flatX && flatY)
            out.push_back(std::nan(""));
        else if (flatX || flatY)
            // One side pauses while the other clearly sounds (speech where the reference
            // is silent): that disagrees. A faint sound against a pause says nothing.
            out.push_back((flatX ? sy1 > kSoundingShare * spreadY : sx1 > kSoundingShare * spreadX) ? 0.0 : std::nan(""));
        else
            out.push_back((sxy - sx * sy / n) / std::sqrt(vx * vy));
    }
    return out;
}

} // namespace tessaly::sync
