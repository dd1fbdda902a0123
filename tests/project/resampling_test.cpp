// Tests of reading the primary track between stored samples: the band-limited kernel, the
// mix's sample codec, where band-limited clicks land along a curve, the fades at cuts and
// at option markers, exactness where nothing drifts, and the options in project files.
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>

#include <gtest/gtest.h>

#include "media/output/avi_creator.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "project/resampler.h"
#include "project/resampler_pcm.h"
#include "project/stretcher.h"
#include "support/make_marker.h"
#include "support/mix_fakes.h"
#include "support/mix_project_test.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using test::Make;
using test::TFakeMixSource;

constexpr int32_t kFrames = test::kMixFrames;
constexpr int32_t kPerFrame = test::kMixPerFrame;
constexpr int32_t kLength = kFrames * kPerFrame;

// The instruction sets this build and processor run (plain C++ always).
std::vector<TSimd> SupportedSimd()
{
    std::vector<TSimd> v;
    for (TSimd s : {TSimd::Plain, TSimd::Sse2, TSimd::Avx2, TSimd::Avx512})
        if (TResampler::Supported(s))
            v.push_back(s);
    return v;
}

TEST(Resampler, BandLimitedReadingMatchesTheContinuousSignal)
{
    // A 24-bit-scale sine up to 0.8 of the Nyquist frequency, read at rates around 1 and
    // at 25/24 on every instruction set: every value within -125 dB of the exact
    // continuous signal.
    ASSERT_TRUE(TResampler::Supported(TResampler::Best()));
    for (TSimd simd : SupportedSimd())
    for (double f : {0.02, 0.2, 0.4}) {
        for (long double rate : {1.0001L, 1.001L, 0.999L, 25.0L / 24}) {
            const int n = 20000;
            std::vector<float> src(n);
            for (int i = 0; i < n; ++i)
                src[size_t(i)] = float(std::sin(2 * std::numbers::pi * f * i));
            TResampler r;
            const TSincKernel &k = r.KernelFor(rate);
            const long double x0 = 1000.37L;
            const int count = 10000;
            std::vector<double> out(count);
            TResampler::Read(simd, k, src.data(), n, 0, n, 1, x0, rate, count, out.data());
            double worst = 0;
            for (int t = 0; t < count; ++t) {
                const double x = static_cast<double>(x0 + t * rate);
                worst = std::max(worst, std::fabs(out[size_t(t)] - std::sin(2 * std::numbers::pi * f * x)));
            }
            EXPECT_LT(20 * std::log10(worst), -125) << f << " " << double(rate) << " " << int(simd);
        }
    }
    // Three channels (the pair path and the single one): channel c, the sine times c + 1,
    // reads as c + 1 times the one-channel result.
    {
        const int n = 4000, count = 2000;
        std::vector<float> planar(size_t(3 * n));
        std::vector<double> one(count), three(size_t(3 * count));
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < n; ++i)
                planar[size_t(c * n + i)] = float((c + 1) * std::sin(0.3 * i));
        TResampler r;
        const TSincKernel &k = r.KernelFor(0.999L);
        TResampler::Read(k, planar.data(), n, 0, n, 1, 500.6L, 0.999L, count, one.data());
        TResampler::Read(k, planar.data(), n, 0, n, 3, 500.6L, 0.999L, count, three.data());
        for (int t = 0; t < count; ++t)
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(three[size_t(3 * t + c)], (c + 1) * one[size_t(t)], 1e-5) << t << " " << c;
    }
    // A whole position reads the stored sample itself.
    TResampler r;
    std::vector<float> src = {3, -7, 11, 5, 2, -1, 8, 4};
    std::vector<double> out(1);
    const TSincKernel &k = r.KernelFor(1);
    TResampler::Read(k, src.data(), 8, -40, 8, 1, -36, 1, 1, out.data());
    EXPECT_EQ(out[0], 2.0);
}

// count values of 24-bit noise (a linear congruential sequence from seed).
std::vector<float> Noise24(size_t count, uint32_t seed)
{
    std::vector<float> v(count);
    for (float &e : v) {
        seed = seed * 1664525u + 1013904223u;
        e = float(int32_t(seed) >> 8);
    }
    return v;
}

TEST(Resampler, EveryInstructionSetReadsAsTheFastest)
{
    // Noise in one to three channels, read by the kernels of rates 1 (56 taps), 25/24 (64)
    // and 2 (a tap count without a loop of its own) across both ends of the source and in
    // its middle, with odd counts: every instruction set gives the values of the fastest
    // within the rounding of single-precision sums.
    const int n = 3000;
    const std::vector<float> planar = Noise24(size_t(3 * n), 5);
    const TSimd best = TResampler::Best();
    TResampler r;
    for (long double rate : {1.0L, 0.9993L, 25.0L / 24, 2.0L}) {
        const TSincKernel &k = r.KernelFor(rate);
        for (int channels : {1, 2, 3})
            for (long double x0 : {-40.3L, 1200.77L, 2950.1L}) {
                const int32_t count = 131;
                std::vector<double> want(size_t(count * channels)), got(want.size());
                TResampler::Read(best, k, planar.data(), n, 0, n, channels, x0, rate, count, want.data());
                for (TSimd simd : SupportedSimd()) {
                    TResampler::Read(simd, k, planar.data(), n, 0, n, channels, x0, rate, count, got.data());
                    for (size_t i = 0; i < got.size(); ++i)
                        ASSERT_NEAR(got[i], want[i], 8388608.0 * 1e-6)
                            << int(simd) << " " << double(rate) << " " << channels << " " << double(x0) << " " << i;
                }
                // Channel 0 of a read of several channels is the one-channel read.
                std::vector<double> one(static_cast<size_t>(count));
                TResampler::Read(best, k, planar.data(), n, 0, n, 1, x0, rate, count, one.data());
                for (int32_t t = 0; t < count; ++t)
                    ASSERT_NEAR(want[size_t(t * channels)], one[size_t(t)], 8388608.0 * 1e-6) << t;
            }
    }
    // At a whole position of rate 1 every instruction set gives the stored sample.
    for (TSimd simd : SupportedSimd()) {
        std::vector<double> out(size_t(4));
        TResampler::Read(simd, r.KernelFor(1), planar.data(), n, 0, n, 2, 1500, 1, 2, out.data());
        EXPECT_EQ(out[0], planar[1500]) << int(simd);
        EXPECT_EQ(out[1], planar[size_t(n) + 1500]) << int(simd);
        EXPECT_EQ(out[2], planar[1501]) << int(simd);
    }
}

TEST(Resampler, AReadOfManyOutputsEqualsEachOutputReadAlone)
{
    // Stereo noise read at gentle rates (consecutive outputs in the same phase share its
    // coefficients), at 25/24 and at 2, in one read of 301 outputs and output by output,
    // on every instruction set: the values agree within single-precision sums.
    const int n = 4000;
    const std::vector<float> planar = Noise24(size_t(2 * n), 11);
    TResampler r;
    for (long double rate : {1.00001L, 1.001L, 0.9995L, 25.0L / 24, 2.0L}) {
        const TSincKernel &k = r.KernelFor(rate);
        const long double x0 = 700.123L;
        const int32_t count = 301;
        for (TSimd simd : SupportedSimd()) {
            std::vector<double> all(size_t(2 * count)), one(2);
            TResampler::Read(simd, k, planar.data(), n, 0, n, 2, x0, rate, count, all.data());
            for (int32_t t = 0; t < count; ++t) {
                TResampler::Read(simd, k, planar.data(), n, 0, n, 2, x0 + t * rate, rate, 1, one.data());
                const double tolerance = 8388608.0 * 1e-6;
                ASSERT_NEAR(all[size_t(2 * t)], one[0], tolerance) << int(simd) << " " << double(rate) << " " << t;
                ASSERT_NEAR(all[size_t(2 * t + 1)], one[1], tolerance) << int(simd) << " " << double(rate) << " " << t;
            }
        }
    }
}

TEST(PitchKeeper, ClicksLandWhereTheCurvePutsThem)
{
    // A click every 0.1 s at 48 kHz, read with the pitch kept at the PAL speed-up and at
    // -1,000 ppm in frames of 1,920 samples: after the first half second every click's
    // peak lies within 24 samples (0.5 ms) of the output sample the curve gives it, and
    // the stretcher's own timing measurements agree.
    constexpr int64_t kSpacing = 4800, kOffset = 1234;
    auto read = [](int64_t first, int32_t frames, double *out) {
        for (int32_t i = 0; i < frames; ++i)
            out[i] = (first + i) % kSpacing == kOffset ? 30000.0 : 0.0;
    };
    for (long double rate : {25.0L / 24, 0.999L}) {
        TPitchKeeper keeper(48000, 1, 32768);
        const long double x0 = 96000.25L;
        const int32_t frame = 1920, frames = 100;
        std::vector<double> out(size_t(frame) * frames);
        for (int32_t f = 0; f < frames; ++f)
            keeper.Read(read, x0 + rate * (int64_t(f) * frame), rate, frame, out.data() + size_t(f) * frame);
        int checked = 0;
        for (int64_t s = kOffset; s < 400000; s += kSpacing) {
            const double expect = double((s - x0) / rate);
            if (expect < 24000 || expect + 2400 > double(out.size()))
                continue;
            size_t m = size_t(expect) - 1200;
            for (size_t i = m; i < size_t(expect) + 1200; ++i)
                if (std::fabs(out[i]) > std::fabs(out[m]))
                    m = i;
            ASSERT_GT(std::fabs(out[m]), 3000.0) << s;
            ASSERT_NEAR(double(m), expect, 24.0) << double(rate) << " " << s;
            ++checked;
        }
        EXPECT_GT(checked, 25);
        ASSERT_GT(keeper.TimingErrors().size(), size_t(50));
        for (size_t i = 10; i < keeper.TimingErrors().size(); ++i)
            ASSERT_LT(std::fabs(keeper.TimingErrors()[i]), 24.0) << i;
    }
}

TEST(ResamplerPcm, DecodesAndEncodesEveryWidthAndDithersOnlyWhenBitsAreLost)
{
    const uint8_t s24[] = {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00};
    WAVEFORMATEX f24 = MakePcmFormat(48000, 24, 1);
    double v[3];
    DecodePcm(f24, s24, 3, v);
    EXPECT_EQ(v[0], 8388607.0);
    EXPECT_EQ(v[1], -8388608.0);
    EXPECT_EQ(v[2], 1.0);
    uint8_t back[9];
    TTpdfDither dither;
    EncodePcm(f24, v, 3, f24, back, &dither);   // same width: no dither, exact
    EXPECT_EQ(std::memcmp(back, s24, 9), 0);

    // 8-bit values are centred on 128; out-of-range values clamp.
    WAVEFORMATEX f8 = MakePcmFormat(8000, 8, 1);
    const double big[] = {-300, 127.5, 0.4};
    uint8_t b8[3];
    EncodePcm(f8, big, 3, f8, b8, nullptr);
    EXPECT_EQ(b8[0], 0);
    EXPECT_EQ(b8[1], 255);
    EXPECT_EQ(b8[2], 128);

    // 24 to 16 bits: scaled and rounded without dither; with it, noise of at most one step
    // around the value whose mean is the value.
    WAVEFORMATEX f16 = MakePcmFormat(48000, 16, 1);
    const int n = 20000;
    std::vector<double> in(n, 256.0 * 100 + 64);   // 100.25 steps of 16 bits
    std::vector<uint8_t> plain(2 * n), dithered(2 * n);
    EncodePcm(f24, in.data(), n, f16, plain.data(), nullptr);
    EncodePcm(f24, in.data(), n, f16, dithered.data(), &dither);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        int16_t a, b;
        std::memcpy(&a, &plain[size_t(2 * i)], 2);
        std::memcpy(&b, &dithered[size_t(2 * i)], 2);
        ASSERT_EQ(a, 100);
        ASSERT_GE(b, 99);
        ASSERT_LE(b, 101);
        sum += b;
    }
    EXPECT_NEAR(sum / n, 100.25, 0.02);
}

class Resampling : public test::TMixProjectTest {
protected:
    std::vector<int16_t> Render(TMixSource &audio, TMixSource *dbl, TResampling mode, int32_t fadeMs,
                                bool crossFade = false)
    {
        TAudioMixer mixer(project, &audio, dbl);
        mixer.SetMixing(mode, fadeMs);
        return MixFrames(mixer, crossFade);
    }
    static std::vector<int16_t> Noise(int32_t length, uint32_t seed)
    {
        std::vector<int16_t> v(static_cast<size_t>(length));
        for (auto &s : v) {
            seed = seed * 1664525u + 1013904223u;
            s = static_cast<int16_t>(seed >> 16);
        }
        return v;
    }
    TFakeMixSource noise{8000, 1, Noise(kLength, 7)};
    TFakeMixSource other{8000, 1, Noise(kLength, 99)};
};

TEST_F(Resampling, WithoutDriftEveryModeRendersTheStoredSamples)
{
    // No markers, then a constant offset of whole frames (so whole samples): every mode,
    // with or without cut fades, gives sample copy's output bit for bit.
    for (int step = 0; step < 2; ++step) {
        if (step == 1)
            Add(Make(10, 2, mkSpline));
        const std::vector<int16_t> copy = Render(noise, nullptr, rsSampleCopy, 0);
        for (TResampling mode : {rsSampleCopy, rsBandLimited, rsKeepPitch})
            for (int32_t ms : {0, 5})
                EXPECT_EQ(Render(noise, nullptr, mode, ms), copy) << step << " " << mode << " " << ms;
        EXPECT_EQ(copy[5], noise.OutputLength() > 0 ? Noise(kLength, 7)[size_t(5 + 2 * kPerFrame * step)] : 0);
    }
}

TEST_F(Resampling, ClicksRenderedBandLimitedLandWhereTheCurvePutsThem)
{
    // Gaussian clicks every 400 source samples; the curve reads source position 1.02 j at
    // output sample j (shift(f) = f / 50 frames). Each click's peak, found by a parabola
    // through the logarithms around the largest sample, lies within 0.05 samples of s / 1.02.
    Add(Make(0, 0, mkSpline));
    Add(Make(50, 1, mkSpline));
    std::vector<int16_t> clicks(static_cast<size_t>(kLength), 0);
    std::vector<double> centres;
    for (double c = 200.3; c + 20 < kLength; c += 400) {
        centres.push_back(c);
        for (int i = int(c) - 20; i <= int(c) + 20; ++i)
            clicks[size_t(i)] = int16_t(std::lrint(30000 * std::exp(-(i - c) * (i - c) / (2 * 2.5 * 2.5))));
    }
    TFakeMixSource track(8000, 1, clicks);
    const std::vector<int16_t> out = Render(track, nullptr, rsBandLimited, 0);
    int checked = 0;
    for (double c : centres) {
        const double expect = c / 1.02;
        const int64_t j = std::lrint(expect);
        if (j < 10 || j + 10 >= 90 * kPerFrame)
            continue;
        int64_t m = j;
        for (int64_t i = j - 3; i <= j + 3; ++i)
            if (out[size_t(i)] > out[size_t(m)])
                m = i;
        const double a = std::log(double(out[size_t(m - 1)])), b = std::log(double(out[size_t(m)])),
                     d = std::log(double(out[size_t(m + 1)]));
        const double peak = double(m) + 0.5 * (a - d) / (a - 2 * b + d);
        ASSERT_NEAR(peak, expect, 0.05) << c;
        ++checked;
    }
    EXPECT_GT(checked, 60);
    // Sample copy would have put them up to half a sample off.
}

TEST_F(Resampling, ACutFadesFromTheOldRunWhileTheNewOneStartsInPlace)
{
    // Forward cut of 5 frames at frame 30, fades of 5 ms (40 samples at 8000 Hz): the old
    // run carries on under an equal-power fade-out; the new run sits at the rules' positions.
    test::TFakeMixSource ramp(8000, 1, test::IndexSamples(kLength));
    Add(Make(30, 5, mkRelCut, true));
    const std::vector<int16_t> hard = Render(ramp, nullptr, rsSampleCopy, 0);
    const std::vector<int16_t> soft = Render(ramp, nullptr, rsSampleCopy, 5);
    const int64_t cut = 30 * kPerFrame;
    for (int64_t j = 0; j < kLength - 5 * kPerFrame; ++j) {
        if (j >= cut && j < cut + 40) {
            const double a = std::numbers::pi / 2 * (double(j - cut) + 0.5) / 40;
            const double old = double(j + 1), now = double(j + 5 * kPerFrame + 1);
            ASSERT_EQ(soft[size_t(j)], std::lrint(std::cos(a) * old + std::sin(a) * now)) << j;
        } else {
            ASSERT_EQ(soft[size_t(j)], hard[size_t(j)]) << j;
        }
    }

    // A 333 Hz sine read band-limited: the hard cut jumps by 0.6 of a period; with the fade
    // the step into the cut is a steady one, and no step of the fade exceeds an equal-power
    // sum's (sqrt 2 times the steady step).
    std::vector<int16_t> sine(static_cast<size_t>(kLength));
    for (int32_t i = 0; i < kLength; ++i)
        sine[size_t(i)] = int16_t(std::lrint(10000 * std::sin(2 * std::numbers::pi * 333 * i / 8000.0)));
    TFakeMixSource tone(8000, 1, sine);
    const double steady = 10000 * 2 * std::sin(std::numbers::pi * 333 / 8000.0) + 1;
    auto step = [](const std::vector<int16_t> &v, int64_t j) { return std::abs(int(v[size_t(j)]) - int(v[size_t(j - 1)])); };
    EXPECT_GT(step(Render(tone, nullptr, rsBandLimited, 0), cut), 4 * steady);
    const std::vector<int16_t> faded = Render(tone, nullptr, rsBandLimited, 5);
    EXPECT_LE(step(faded, cut), steady);
    for (int64_t j = cut; j < cut + 41; ++j)
        ASSERT_LE(step(faded, j), std::sqrt(2.0) * steady) << j;
}

TEST_F(Resampling, TheFadeAtAnOptionMarkerRunsFromThePrimary)
{
    // The option switches the primary off at frame 30 with cross-fading: in that frame the
    // primary (still read along the curve) fades into the double track, in every mode.
    Add(Make(30, PackOption(-1, true, false), mkOption));
    for (TResampling mode : {rsSampleCopy, rsBandLimited}) {
        const std::vector<int16_t> out = Render(noise, &other, mode, 0, true);
        const std::vector<int16_t> p = Noise(kLength, 7), d = Noise(kLength, 99);
        for (int32_t t = 0; t < kPerFrame; ++t) {
            const size_t j = size_t(30 * kPerFrame + t);
            const double w = double(t) / kPerFrame;
            ASSERT_NEAR(out[j], w * d[j] + (1 - w) * p[j], 0.5 + 1e-9) << mode << " " << t;
        }
        EXPECT_EQ(out[size_t(29 * kPerFrame + 7)], p[size_t(29 * kPerFrame + 7)]);
        EXPECT_EQ(out[size_t(31 * kPerFrame + 7)], d[size_t(31 * kPerFrame + 7)]);
    }
}

TEST_F(Resampling, APreviewOfA24BitTrackIsDitheredTo16Bits)
{
    // The floating-point mix reads the 24-bit track itself and rounds to the preview's 16
    // bits once, with triangular dither: each value within 1.5 steps of the exact one, the
    // error without bias, and not simply the rounded value everywhere.
    std::vector<int32_t> v(static_cast<size_t>(kLength));
    for (int32_t i = 0; i < kLength; ++i)
        v[size_t(i)] = int32_t(std::lrint(4000000 * std::sin(i * 0.01)));
    const std::vector<int32_t> ideal = v;
    test::TIntMixSource track(std::move(v), 24, 1, 8000);
    TAudioMixer mixer(project, &track, nullptr);
    mixer.SetMixing(rsBandLimited, 5);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, true);
    ASSERT_TRUE(state.Valid);
    EXPECT_EQ(state.Format.wBitsPerSample, 16);
    EXPECT_EQ(state.ReadFormat.wBitsPerSample, 24);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    double bias = 0;
    int64_t differs = 0;
    for (int32_t f = 0; f < kFrames; ++f) {
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, false, buf.data(), 0));
        for (int32_t t = 0; t < kPerFrame; ++t) {
            int16_t got;
            std::memcpy(&got, &buf[size_t(2 * t)], 2);
            const double exact = ideal[size_t(f * kPerFrame + t)] / 256.0;
            ASSERT_LE(std::fabs(got - exact), 1.5) << f << " " << t;   // dither of one step, then rounding
            bias += got - exact;
            differs += got != std::nearbyint(exact);
        }
    }
    EXPECT_LT(std::fabs(bias / kLength), 0.02);
    EXPECT_GT(differs, kLength / 10);
}

TEST(ResamplingOptions, OldProjectsLoadAsSampleCopyAndSaveBackUnchanged)
{
    test::TTempDir dir;
    auto write = [](const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; };
    auto read = [](const std::string &path) {
        std::vector<uint8_t> b = test::ReadFileBytes(path);
        return std::string(b.begin(), b.end());
    };
    write(dir.File("clip.avi"), "video 1000 25 1");
    write(dir.File("sound.wav"), "audio 48000");
    test::TFakeSources sources;
    test::TRecordingUserInterface ui;
    TProjectDefaults defaults;
    defaults.Resampling = rsBandLimited;
    defaults.CrossFadeMs = 5;
    TProject project(&ui, &sources);
    project.SetDefaults(defaults);
    TProjectEditor editor(project, &sources);
    TProjectFile file(editor, sources);
    const std::string head = "[Files]\nVideo=" + dir.File("clip.avi") + "\nVideoFT=ODML|-1\nAudio=" +
                             dir.File("sound.wav") + "\nAudioFT=ODML|-1\nDouble=\nDoubleFT=\nRef=\nRefFT=\n\n"
                             "[Config]\nPreviewEnv=2\nZoom=100\nPosition=0\nUseChapters=0\nConcatChapters=0\n"
                             "GlobalShift=0\nUseGlobalShift=0\nCrossFading=1\nPreScan=0\nDisableZoom=0\nFlipImage=0\n"
                             "ForceVFW=0\nRefZoom=100\nMarkerDrawSize=1\n";
    const std::string tail = "\n[Markers]\nCount=0\n\n[Chapters]\nCount=1\n0=0,1\n";
    const std::string old = head + tail;
    write(dir.File("old.tsp"), old);
    ASSERT_TRUE(file.LoadProject(dir.File("old.tsp")));
    EXPECT_EQ(project.Options().Resampling, rsSampleCopy);
    EXPECT_EQ(project.Options().CrossFadeMs, 0);
    ASSERT_TRUE(file.SaveProject(dir.File("old.tsp")));
    EXPECT_EQ(read(dir.File("old.tsp")), old);

    // Once chosen, the choice is stored and read back; unknown values fall back.
    TProjectOptions o = project.Options();
    o.Resampling = rsKeepPitch;
    o.CrossFadeMs = 12;
    o.StoreMixing = true;
    project.SetOptions(o);
    ASSERT_TRUE(file.SaveProject(dir.File("old.tsp")));
    EXPECT_EQ(read(dir.File("old.tsp")), head + "Resampling=2\nCrossFadeMs=12\n" + tail);
    ASSERT_TRUE(file.LoadProject(dir.File("old.tsp")));
    EXPECT_EQ(project.Options().Resampling, rsKeepPitch);
    EXPECT_EQ(project.Options().CrossFadeMs, 12);
    write(dir.File("bad.tsp"), head + "Resampling=7\nCrossFadeMs=-4\n" + tail);
    ASSERT_TRUE(file.LoadProject(dir.File("bad.tsp")));
    EXPECT_EQ(project.Options().Resampling, rsSampleCopy);
    EXPECT_EQ(project.Options().CrossFadeMs, 0);

    // A new project takes the defaults and writes them.
    project.ClearProject();
    EXPECT_EQ(project.Options().Resampling, rsBandLimited);
    EXPECT_EQ(project.Options().CrossFadeMs, 5);
    EXPECT_TRUE(project.Options().StoreMixing);
}

} // namespace
} // namespace tessaly
