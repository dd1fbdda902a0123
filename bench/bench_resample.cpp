// Benchmark of reading the primary track along a drifting curve: renders 24-bit sines and
// a 20 Hz - 20 kHz sweep through the mixer along straight curves (100 ppm, 1,000 ppm and
// the 25/24 speed-up) in each mode and prints THD+N and the largest spurious component
// against the ideal stretched signal, the click at a cut, keep pitch's tone error and the
// render time of band-limited reading against sample copy, and the kernel's time per stereo
// output on every instruction set. Usage: bench_resample [--kernel] (the kernel times only).
#include <algorithm>
#include <ctime>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "media/input/wave_format.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/resampler.h"
#include "support/mix_fakes.h"
#include "support/project_fakes.h"

using namespace tessaly;

namespace {

constexpr double kFs = 48000;
constexpr int32_t kPerFrame = 1920;   // 48 kHz at 25 fps
constexpr double kAmp = 0.5;          // -6 dBFS

struct TCurve {
    const char *Name;
    int32_t MarkerFrame, MarkerValue;   // a straight curve: 0 at frame 0, value at MarkerFrame
    int32_t First, Frames;              // the frames rendered
    double Slope() const { return double(MarkerValue) / MarkerFrame; }
};

// A project over a 25 fps video of 20,000 frames with a 48 kHz primary track.
struct TBenchProject {
    test::TFakeProjectMedia Media;
    TProject Project{nullptr, &Media};
    TBenchProject()
    {
        Media.SetVideo("bench.avi", 20000);
        Media.Audio = true;
        Media.SampleRate = 48000;
        Project.VideoOpened();
        Project.AudioOpened();
    }
};

// Renders frames [first, first + frames) of the first channel as values of full scale 1.
std::vector<double> Render(TProject &project, TMixSource &source, TResampling mode, int32_t fadeMs, int32_t first,
                           int32_t frames, double *seconds = nullptr)
{
    TAudioMixer mixer(project, &source, nullptr);
    mixer.SetMixing(mode, fadeMs);
    TAudioMixState state;
    mixer.InitAudioMix(first, 0, state, false);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * size_t(state.BlockSize));
    std::vector<double> out;
    const int width = state.Format.wBitsPerSample / 8;
    const double scale = 1.0 / double(1u << (state.Format.wBitsPerSample - 1));
    const std::clock_t start = std::clock();   // processor time: the machine may be shared
    for (int32_t f = first; f < first + frames; ++f) {
        mixer.MixFrameAudio(f, state, false, buf.data(), 0);
        if (seconds)
            continue;
        for (int32_t t = 0; t < kPerFrame; ++t) {
            int32_t v = 0;
            std::memcpy(&v, buf.data() + size_t(t) * state.BlockSize, size_t(width));
            v = (v << (32 - 8 * width)) >> (32 - 8 * width);
            out.push_back(v * scale);
        }
    }
    if (seconds)
        *seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    return out;
}

void Fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2 * std::numbers::pi / double(len);
        for (size_t i = 0; i < n; i += len)
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> w = std::polar(1.0, ang * double(k));
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
    }
}

struct TQuality {
    double ThdN, Spurious, MedianFrame, WorstFrame;
};

// Compares `got` (from output sample j0 on) with ideal(j); skips 0.25 s at both ends.
TQuality Compare(const std::vector<double> &got, int64_t j0, const std::function<double(int64_t)> &ideal)
{
    const size_t skip = 12000, end = got.size() - skip;
    double err = 0, sig = 0;
    std::vector<double> residual;
    std::vector<double> frameRatio;
    double fe = 0, fs = 0;
    for (size_t i = skip; i < end; ++i) {
        const double y = ideal(j0 + int64_t(i)), r = got[i] - y;
        err += r * r;
        sig += y * y;
        fe += r * r;
        fs += y * y;
        residual.push_back(r);
        if ((i - skip + 1) % kPerFrame == 0) {
            frameRatio.push_back(10 * std::log10(std::max(fe, 1e-30) / fs));
            fe = fs = 0;
        }
    }
    TQuality q{};
    q.ThdN = 10 * std::log10(std::max(err, 1e-30) / sig);
    std::sort(frameRatio.begin(), frameRatio.end());
    q.MedianFrame = frameRatio[frameRatio.size() / 2];
    q.WorstFrame = frameRatio.back();
    size_t n = 1;
    while (n * 2 <= residual.size())
        n *= 2;
    std::vector<std::complex<double>> a(n);
    double wsum = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n));
        a[i] = residual[i] * w;
        wsum += w;
    }
    Fft(a);
    double peak = 0;
    for (size_t k = 1; k < n / 2; ++k)
        peak = std::max(peak, 2 * std::abs(a[k]) / wsum);
    q.Spurious = 20 * std::log10(std::max(peak, 1e-30) / kAmp);
    return q;
}

// A source of integers of `bits` bits holding amplitude * signal(x) around the positions read.
std::vector<int32_t> Source(int64_t from, int64_t to, int bits, const std::function<double(double)> &signal)
{
    std::vector<int32_t> v(size_t(to), 0);
    const double full = double(1u << (bits - 1));
    for (int64_t x = std::max<int64_t>(from, 0); x < to; ++x)
        v[size_t(x)] = int32_t(std::clamp(std::nearbyint(kAmp * full * signal(double(x))), -full, full - 1));
    return v;
}

const char *ModeName(TResampling m) { return ResamplingName(m); }

} // namespace

// The kernel alone: nanoseconds of processor time per stereo output, reading 2 s blocks of
// planar noise at a rate (the fastest of nine runs of 10 blocks each: on a shared machine
// the others carry the neighbours' load).
double KernelNs(TSimd simd, long double rate)
{
    const int32_t count = 96000;
    const int64_t n = int64_t(double(count) * double(rate)) + 256;
    std::vector<float> src(size_t(2 * n));
    uint32_t seed = 7;
    for (float &v : src) {
        seed = seed * 1664525u + 1013904223u;
        v = float(int32_t(seed) >> 8);
    }
    std::vector<double> out(size_t(2 * count));
    TResampler r;
    const TSincKernel &k = r.KernelFor(rate);
    std::vector<double> runs;
    for (int run = 0; run < 9; ++run) {
        const std::clock_t start = std::clock();
        for (int b = 0; b < 10; ++b)
            TResampler::Read(simd, k, src.data(), size_t(n), 0, n, 2, 40.37L + b * 1e-3L, rate, count, out.data());
        runs.push_back(double(std::clock() - start) / CLOCKS_PER_SEC * 1e9 / (10.0 * count));
    }
    return *std::min_element(runs.begin(), runs.end());
}

void PrintKernelTimes()
{
    const std::pair<TSimd, const char *> sets[] = {{TSimd::Plain, "plain"}, {TSimd::Sse2, "SSE2"},
                                                   {TSimd::Avx2, "AVX2"}, {TSimd::Avx512, "AVX-512"}};
    std::printf("kernel, ns of processor time per stereo output:\n%-8s %12s %12s %12s\n", "set", "1.00001",
                "1,000 ppm", "25/24");
    for (const auto &[simd, name] : sets)
        if (TResampler::Supported(simd))
            std::printf("%-8s %12.2f %12.2f %12.2f\n", name, KernelNs(simd, 1.00001L), KernelNs(simd, 1.001L),
                        KernelNs(simd, 25.0L / 24));
}

int main(int argc, char **argv)
{
    PrintKernelTimes();
    if (argc > 1 && std::strcmp(argv[1], "--kernel") == 0)
        return 0;
    const TCurve curves[] = {{"100 ppm", 10000, 1, 2000, 250},
                             {"1,000 ppm", 10000, 10, 2000, 250},
                             {"25/24", 2400, 100, 1000, 250}};
    std::printf("%-10s %-13s %-8s %12s %12s %20s\n", "curve", "mode", "signal", "THD+N dB", "spurious dB",
                "frames median/worst");
    for (const TCurve &c : curves) {
        TBenchProject b;
        b.Project.AddMarker({0, 0, mkSpline, false, false});
        b.Project.AddMarker({c.MarkerFrame, c.MarkerValue, mkSpline, false, false});
        b.Project.RebuildSpline();
        const double rate = 1 + c.Slope();   // source positions per output sample
        const int64_t j0 = int64_t(c.First) * kPerFrame, j1 = j0 + int64_t(c.Frames) * kPerFrame;
        const int64_t x0 = int64_t(std::floor(j0 * rate)) - 2000, x1 = int64_t(std::ceil(j1 * rate)) + 2000;
        struct TSignal {
            const char *Name;
            int Bits;
            std::function<double(double)> At;   // of the source position
        };
        const double t0 = double(x0) / kFs, t1 = double(x1) / kFs, span = (t1 - t0) / std::log(1000.0);
        auto sweep = [=](double x) {
            const double t = x / kFs - t0;
            return std::sin(2 * std::numbers::pi * 20 * span * (std::exp(t / span) - 1));
        };
        std::vector<TSignal> signals = {
            {"1 kHz", 24, [](double x) { return std::sin(2 * std::numbers::pi * 1000 * x / kFs); }},
            {"9 kHz", 24, [](double x) { return std::sin(2 * std::numbers::pi * 9000 * x / kFs); }},
            {"15 kHz", 24, [](double x) { return std::sin(2 * std::numbers::pi * 15000 * x / kFs); }},
            {"sweep", 24, sweep},
            {"1k 16bit", 16, [](double x) { return std::sin(2 * std::numbers::pi * 1000 * x / kFs); }}};
        for (const TSignal &s : signals) {
            test::TIntMixSource src(Source(x0, x1, s.Bits, s.At), s.Bits, 1, 48000);
            auto ideal = [&](int64_t j) { return kAmp * s.At(double(j) * rate); };
            for (TResampling m : {rsSampleCopy, rsBandLimited}) {
                const TQuality q = Compare(Render(b.Project, src, m, 0, c.First, c.Frames), j0, ideal);
                std::printf("%-10s %-13s %-8s %12.1f %12.1f %13.1f/%.1f\n", c.Name, ModeName(m), s.Name, q.ThdN,
                            q.Spurious, q.MedianFrame, q.WorstFrame);
            }
            if (s.Bits == 16) {
                // The floor: the ideal signal itself rounded to 16 bits.
                double e = 0, g = 0;
                for (int64_t j = j0; j < j1; ++j) {
                    const double y = ideal(j), r = std::nearbyint(y * 32768) / 32768 - y;
                    e += r * r;
                    g += y * y;
                }
                std::printf("%-10s %-13s %-8s %12.1f\n", c.Name, "16-bit floor", s.Name, 10 * std::log10(e / g));
            }
        }
    }

    // The click at a forward cut of 3 frames (a 997 Hz sine jumps in phase): the largest step
    // around the cut against the largest steady step, hard and with a 5 ms fade.
    {
        TBenchProject b;
        b.Project.AddMarker({100, 3, mkRelCut, true, false});
        b.Project.RebuildSpline();
        test::TIntMixSource src(
            Source(0, 400 * kPerFrame, 24, [](double x) { return std::sin(2 * std::numbers::pi * 997 * x / kFs); }), 24,
            1, 48000);
        for (TResampling m : {rsSampleCopy, rsBandLimited})
            for (int32_t ms : {0, 5}) {
                const std::vector<double> y = Render(b.Project, src, m, ms, 50, 100);
                double steady = 0, atCut = 0;
                const size_t cut = 50 * kPerFrame;
                for (size_t i = 10 * kPerFrame; i < 45 * kPerFrame; ++i)
                    steady = std::max(steady, std::fabs(y[i] - y[i - 1]));
                for (size_t i = cut - 2; i < cut + 260; ++i)
                    atCut = std::max(atCut, std::fabs(y[i] - y[i - 1]));
                std::printf("cut click, %-13s fade %d ms: largest step %+.1f dB against the steady step\n", ModeName(m),
                            ms, 20 * std::log10(atCut / steady));
            }
    }

    // Keep pitch along 25/24: the tone's frequency (from its rising zero crossings) in cents
    // against the source's 1 kHz, and where the clicks of a train every 0.1 s land against
    // the curve's positions.
    {
        TBenchProject b;
        b.Project.AddMarker({0, 0, mkSpline, false, false});
        b.Project.AddMarker({2400, 100, mkSpline, false, false});
        b.Project.RebuildSpline();
        const double rate = 25.0 / 24;
        const int64_t length = 1400 * kPerFrame;
        test::TIntMixSource tone(
            Source(0, length, 24, [](double x) { return std::sin(2 * std::numbers::pi * 1000 * x / kFs); }), 24, 1,
            48000);
        test::TIntMixSource train(Source(0, length, 24, [](double x) { return std::fmod(x, 4800) == 2400 ? 1.0 : 0.0; }),
                                  24, 1, 48000);
        const int32_t first = 1000;
        const std::vector<double> y = Render(b.Project, tone, rsKeepPitch, 0, first, 200);
        std::vector<double> ups;
        for (size_t i = 1; i < y.size(); ++i)
            if (y[i - 1] < 0 && y[i] >= 0)
                ups.push_back(double(i - 1) + y[i - 1] / (y[i - 1] - y[i]));
        const double f = double(ups.size() - 1) * kFs / (ups.back() - ups.front());
        const std::vector<double> clicks = Render(b.Project, train, rsKeepPitch, 0, first, 200);
        const int64_t j0 = int64_t(first) * kPerFrame;
        double worst = 0, sum = 0;
        int found = 0;
        for (int64_t s = 2400; double(s) / rate < double(j0 + int64_t(clicks.size())); s += 4800) {
            const double expect = double(s) / rate - double(j0);
            if (expect < 4800 || expect + 4800 > double(clicks.size()))
                continue;
            size_t m = size_t(expect) - 1200;
            for (size_t i = m; i < size_t(expect) + 1200; ++i)
                if (std::fabs(clicks[i]) > std::fabs(clicks[m]))
                    m = i;
            const double d = double(m) - expect;
            if (std::getenv("BENCH_VERBOSE"))
                std::printf("  click at source %lld: %+.1f samples\n", (long long)s, d);
            worst = std::max(worst, std::fabs(d));
            sum += d;
            ++found;
        }
        std::printf("keep pitch at 25/24: tone %.3f Hz (%+.2f cents from 1 kHz); %d clicks: mean %+.1f, worst %.1f "
                    "samples (%.3f ms) from the curve\n",
                    f, 1200 * std::log2(f / 1000), found, sum / std::max(found, 1), worst, 1000 * worst / kFs);
    }

    // Render time along the 1,000 ppm curve: 60 s of 24-bit stereo from memory.
    {
        TBenchProject b;
        b.Project.AddMarker({0, 0, mkSpline, false, false});
        b.Project.AddMarker({10000, 10, mkSpline, false, false});
        b.Project.RebuildSpline();
        std::vector<int32_t> v = Source(0, 1600 * kPerFrame + 10000, 24,
                                        [](double x) { return std::sin(2 * std::numbers::pi * 1000 * x / kFs); });
        test::TIntMixSource src(std::move(v), 24, 2, 48000);
        double copy = 0, band = 0;
        Render(b.Project, src, rsSampleCopy, 0, 0, 1500, &copy);
        Render(b.Project, src, rsBandLimited, 0, 0, 1500, &band);
        std::printf("render time, 60 s of 24-bit stereo at 1,000 ppm: sample copy %.3f s, band-limited %.3f s (%.1fx)\n",
                    copy, band, band / copy);
    }
    return 0;
}
