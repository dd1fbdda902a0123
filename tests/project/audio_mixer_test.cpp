// Tests of the audio mixer with tracks whose samples encode their own index, so every
// output sample tells exactly which source sample landed there.
#include <cmath>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#include "media/output/avi_creator.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "support/mix_fakes.h"
#include "support/mix_project_test.h"
#include "support/project_fakes.h"
#include "support/make_marker.h"

namespace tessaly {
namespace {

using test::IndexSamples;
using test::TFakeMixSource;
using test::TFakeProjectMedia;

constexpr int32_t kFrames = test::kMixFrames;
constexpr int32_t kPerFrame = test::kMixPerFrame;
constexpr int32_t kLength = kFrames * kPerFrame;

using test::Make;

int16_t Primary(int64_t index) { return index >= 0 && index < kLength ? int16_t(index + 1) : 0; }
int16_t Double(int64_t index) { return index >= 0 && index < kLength ? int16_t(-(index + 1)) : 0; }

class Mixer : public test::TMixProjectTest {
protected:
    // Renders frames [from, to) and returns the samples.
    std::vector<int16_t> Render(bool crossFade, bool withDouble = true, int32_t from = 0, int32_t to = kFrames)
    {
        TAudioMixer mixer(project, &audio, withDouble ? &dbl : nullptr);
        return MixFrames(mixer, crossFade, from, to);
    }
    int16_t At(const std::vector<int16_t> &out, int32_t frame, int32_t t) { return out[size_t(frame * kPerFrame + t)]; }

    TFakeMixSource audio{8000, 1, IndexSamples(kLength)};
    TFakeMixSource dbl{8000, 1, IndexSamples(kLength, -1)};
};

TEST_F(Mixer, WithoutMarkersTheTrackIsCopiedSampleForSample)
{
    std::vector<int16_t> out = Render(true);
    ASSERT_EQ(out.size(), size_t(kLength));
    for (int32_t i = 0; i < kLength; ++i)
        ASSERT_EQ(out[size_t(i)], Primary(i)) << i;
    // Read sequentially from the start, one request per frame, no seek at all.
    EXPECT_EQ(audio.Seeks, 0);
    EXPECT_EQ(audio.Reads, kFrames);
    EXPECT_EQ(dbl.Reads, 0);
}

TEST_F(Mixer, ConstantShiftAndTheEndOfTheTrack)
{
    Add(Make(10, 2, mkSpline));   // the audio of frame f is that of frame f + 2
    std::vector<int16_t> out = Render(false);
    for (int32_t f = 0; f < 98; ++f)
        for (int32_t t = 0; t < kPerFrame; ++t)
            ASSERT_EQ(At(out, f, t), Primary((f + 2) * kPerFrame + t)) << f << " " << t;
    // Frames whose audio would lie beyond the track take the double track.
    for (int32_t f = 98; f < kFrames; ++f)
        for (int32_t t = 0; t < kPerFrame; ++t)
            ASSERT_EQ(At(out, f, t), Double(f * kPerFrame + t)) << f << " " << t;
}

TEST_F(Mixer, NegativeShiftStartsWithSilenceBeforeTheTrack)
{
    Add(Make(10, -2, mkSpline));
    std::vector<int16_t> out = Render(false);
    for (int32_t t = 0; t < 2 * kPerFrame; ++t)
        ASSERT_EQ(out[size_t(t)], 0) << t;
    for (int32_t i = 2 * kPerFrame; i < kLength; ++i)
        ASSERT_EQ(out[size_t(i)], Primary(i - 2 * kPerFrame)) << i;
}

TEST_F(Mixer, LinearDriftIsInterpolatedAcrossEachFrame)
{
    Add(Make(0, 0, mkSpline));
    Add(Make(50, 1, mkSpline));   // shift(f) = f / 50 frames = 6.4 f samples
    std::vector<int16_t> out = Render(false);
    for (int32_t f = 0; f < 90; ++f) {
        for (int32_t t = 0; t < kPerFrame; ++t) {
            double shift = 6.4 * f + t / 50.0;
            double frac = shift - std::floor(shift);
            int64_t base = int64_t(f) * kPerFrame + t;
            int16_t got = At(out, f, t);
            if (std::fabs(frac - 0.5) < 1e-6) {   // a half: either neighbour
                EXPECT_TRUE(got == Primary(base + int64_t(std::floor(shift))) ||
                            got == Primary(base + int64_t(std::ceil(shift)))) << f << " " << t;
            } else {
                ASSERT_EQ(got, Primary(base + std::lround(shift))) << f << " " << t;
            }
        }
    }
}

// Steep curves stretch and shrink the track by more than a sample per sample, forwards
// and backwards: every output sample still comes from round(t * Step + StartShift) +
// OutPos + t of its frame, as long double arithmetic gives it, or is silence.
TEST_F(Mixer, SteepCurvesReadEverySampleFromItsRoundedPosition)
{
    for (auto [frame, value] : {std::pair{0, 0}, {15, 24}, {30, -10}, {45, 8}, {60, 30}, {75, 0}, {99, 0}})
        Add(Make(frame, value, mkSpline));
    TAudioMixer mixer(project, &audio, nullptr);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    ASSERT_TRUE(state.Valid);
    std::vector<uint8_t> buf(static_cast<size_t>(state.MaxSamples) * 2);
    int checked = 0, steep = 0;
    for (int32_t f = 0; f < kFrames; ++f) {
        const int64_t outPos = state.OutPos;
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, false, buf.data(), 0));
        steep += std::fabs(double(state.Step)) > 1;
        for (int32_t t = 0; t < kPerFrame; ++t) {
            int16_t got;
            std::memcpy(&got, buf.data() + 2 * t, 2);
            int64_t p = std::llrintl(t * state.Step + state.StartShift) + outPos + t;
            ASSERT_EQ(got, state.Silent ? 0 : Primary(p)) << f << " " << t;
            checked += !state.Silent;
        }
    }
    EXPECT_GT(checked, kLength / 3);
    EXPECT_GT(steep, 10);
}

TEST_F(Mixer, ForwardCutJumpsAtItsFrame)
{
    Add(Make(50, 25, mkRelCut, true));
    std::vector<int16_t> out = Render(true);
    for (int32_t f = 0; f < 75; ++f) {
        int32_t shift = f < 50 ? 0 : 25;
        for (int32_t t = 0; t < kPerFrame; ++t)
            ASSERT_EQ(At(out, f, t), Primary((f + shift) * kPerFrame + t)) << f << " " << t;
    }
    // From frame 75 on the audio would lie beyond the track: the double track, faded in
    // over frame 75.
    for (int32_t t = 0; t < kPerFrame; ++t) {
        double w = double(t) / kPerFrame;
        int16_t p = Primary(100 * kPerFrame + t);   // beyond the end: silence
        ASSERT_EQ(At(out, 75, t), std::lrint(w * Double(75 * kPerFrame + t) + (1 - w) * p)) << t;
    }
    EXPECT_EQ(At(out, 80, 7), Double(80 * kPerFrame + 7));
}

TEST_F(Mixer, BackwardCutBridgesTheRepeatWithTheDoubleTrack)
{
    Add(Make(50, -25, mkRelCut, true));
    for (bool crossFade : {false, true}) {
        std::vector<int16_t> out = Render(crossFade);
        for (int32_t f = 0; f < 49; ++f)
            for (int32_t t = 0; t < kPerFrame; ++t)
                ASSERT_EQ(At(out, f, t), Primary(f * kPerFrame + t));
        for (int32_t t = 0; t < kPerFrame; ++t) {
            int64_t o49 = 49 * kPerFrame + t, o74 = 74 * kPerFrame + t;
            double w = double(t) / kPerFrame;
            if (crossFade) {
                // Frame 49 fades to the double track before the jump back ...
                ASSERT_EQ(At(out, 49, t), std::lrint(w * Double(o49) + (1 - w) * Primary(o49))) << t;
                // ... and frame 74 fades back once the primary passes its last used sample.
                ASSERT_EQ(At(out, 74, t), std::lrint(w * Primary(o49) + (1 - w) * Double(o74))) << t;
            } else {
                // Without fading frame 49 plays on; the primary is used again once its
                // position passes the last sample of frame 49, at frame 75.
                ASSERT_EQ(At(out, 49, t), Primary(o49));
                ASSERT_EQ(At(out, 74, t), Double(o74));
            }
        }
        // In between, the primary track would repeat: the double track plays.
        for (int32_t f = 50; f < 74; ++f)
            for (int32_t t = 0; t < kPerFrame; ++t)
                ASSERT_EQ(At(out, f, t), Double(f * kPerFrame + t)) << crossFade << " " << f << " " << t;
        for (int32_t f = 75; f < kFrames; ++f)
            ASSERT_EQ(At(out, f, 9), Primary((f - 25) * kPerFrame + 9)) << f;
    }
}

TEST_F(Mixer, OptionMarkerSwitchesToTheDoubleTrackWithItsVolumeAndShift)
{
    Add(Make(30, PackOption(50, true, false), mkOption));
    Add(Make(30 - 1, 2, mkDShift));    // the double track is 2 frames late from frame 29
    Add(Make(60, PackOption(-1, false, false), mkOption));
    std::vector<int16_t> out = Render(false);
    EXPECT_EQ(At(out, 29, 5), Primary(29 * kPerFrame + 5));
    for (int32_t f = 30; f < 60; ++f)
        for (int32_t t = 0; t < kPerFrame; ++t) {
            // Volume 50 %: factor 0.25.
            int16_t d = Double((f + 2) * kPerFrame + t);
            ASSERT_EQ(At(out, f, t), std::lrint(0.25 * d)) << f << " " << t;
        }
    // Back to the primary track (the volume stays 50 % for the double track).
    for (int32_t t = 0; t < kPerFrame; ++t)
        ASSERT_EQ(At(out, 60, t), Primary(60 * kPerFrame + t));

    // With cross-fading the frame where the option switches the primary off fades from the
    // primary (read on along the curve) into the double track, and frame 60 fades back.
    std::vector<int16_t> faded = Render(true);
    for (int32_t t = 0; t < kPerFrame; ++t) {
        double w = double(t) / kPerFrame;
        int16_t d30 = int16_t(std::lrint(0.25 * Double(32 * kPerFrame + t)));
        int16_t d60 = int16_t(std::lrint(0.25 * Double(62 * kPerFrame + t)));
        ASSERT_EQ(faded[size_t(30 * kPerFrame + t)], std::lrint(w * d30 + (1 - w) * Primary(30 * kPerFrame + t))) << t;
        ASSERT_EQ(faded[size_t(60 * kPerFrame + t)], std::lrint(w * Primary(60 * kPerFrame + t) + (1 - w) * d60)) << t;
    }
}

TEST_F(Mixer, DoubleOffGivesSilenceWhereThePrimaryIsMissing)
{
    Add(Make(10, PackOption(-1, true, true), mkOption));
    std::vector<int16_t> out = Render(false);
    EXPECT_EQ(At(out, 9, 319), Primary(9 * kPerFrame + 319));
    for (int32_t f = 10; f < kFrames; ++f)
        ASSERT_EQ(At(out, f, 100), 0) << f;
}

TEST_F(Mixer, PreScanReachesTheSameStateAsARenderFromTheStart)
{
    Add(Make(0, 0, mkSpline));
    Add(Make(40, 3, mkSpline));
    Add(Make(70, -1, mkSpline));
    Add(Make(55, 4, mkRelCut, true));
    std::vector<int16_t> full = Render(true);

    TAudioMixer mixer(project, &audio, &dbl);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    for (int32_t f = 0; f < 60; ++f)
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, true, nullptr, 0));
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    for (int32_t f = 60; f < 64; ++f) {
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, true, buf.data(), 0));
        for (int32_t t = 0; t < kPerFrame; ++t) {
            int16_t v;
            std::memcpy(&v, buf.data() + 2 * t, 2);
            ASSERT_EQ(v, At(full, f, t)) << f << " " << t;
        }
    }
}

TEST_F(Mixer, FrameOffsetAndJumps)
{
    TAudioMixer mixer(project, &audio, nullptr);
    TAudioMixState state;
    mixer.InitAudioMix(0, 10, state, false);   // frame f renders source frame f + 10
    ASSERT_TRUE(state.Valid);
    EXPECT_EQ(state.Frame, 10);
    EXPECT_EQ(state.OutPos, 10 * kPerFrame);
    EXPECT_EQ(state.MaxSamples, kPerFrame + 2);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    ASSERT_TRUE(mixer.MixFrameAudio(0, state, false, buf.data(), 0));
    int16_t v;
    std::memcpy(&v, buf.data(), 2);
    EXPECT_EQ(v, Primary(10 * kPerFrame));
    // A jump restarts at the new frame.
    ASSERT_TRUE(mixer.MixFrameAudio(40, state, false, buf.data(), 0));
    std::memcpy(&v, buf.data() + 2 * 7, 2);
    EXPECT_EQ(v, Primary(50 * kPerFrame + 7));
    EXPECT_EQ(state.Frame, 51);
    EXPECT_EQ(state.OutPos, 51 * kPerFrame);
    // An explicit count renders that many samples.
    ASSERT_TRUE(mixer.MixFrameAudio(41, state, false, buf.data(), 5));
    EXPECT_EQ(state.OutPos, 51 * kPerFrame + 5);
}

TEST_F(Mixer, InitRefusesWhatCannotBeMixed)
{
    TAudioMixState state;
    TAudioMixer none(project, nullptr, nullptr);
    none.InitAudioMix(0, 0, state, false);
    EXPECT_FALSE(state.Valid);
    EXPECT_FALSE(none.MixFrameAudio(0, state, false, nullptr, 0));

    // Only a double track: its format is used, the primary counts as muted.
    TAudioMixer onlyDouble(project, nullptr, &dbl);
    onlyDouble.InitAudioMix(0, 0, state, false);
    EXPECT_TRUE(state.Valid);
    EXPECT_TRUE(state.AudioMuted);
    EXPECT_FALSE(state.DoubleMuted);
    EXPECT_EQ(state.Format.nSamplesPerSec, 8000u);

    // A double track of another format must take the primary's.
    TFakeMixSource other(44100, 2, std::vector<int16_t>(100));
    TAudioMixer mismatch(project, &audio, &other);
    mismatch.InitAudioMix(0, 0, state, false);
    EXPECT_FALSE(state.Valid);
    other.AcceptConversion = true;
    mismatch.InitAudioMix(0, 0, state, false);
    EXPECT_TRUE(state.Valid);

    audio.InputFormatSize = 14;
    TAudioMixer broken(project, &audio, nullptr);
    broken.InitAudioMix(0, 0, state, false);
    EXPECT_FALSE(state.Valid);

    audio.InputFormatSize = 18;
    project.ClearProject();   // no video
    broken.InitAudioMix(0, 0, state, false);
    EXPECT_FALSE(state.Valid);
}

TEST_F(Mixer, PreviewLimitsTheFormatAndHonoursTheMuteButtons)
{
    TFakeMixSource wide(96000, 2, IndexSamples(96000 * 8));
    TAudioMixer mixer(project, &wide, &dbl);
    mixer.SetPreviewMutes(true, false);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, true);
    EXPECT_FALSE(state.Valid);   // the source refuses to convert
    wide.AcceptConversion = true;
    dbl.AcceptConversion = true;
    mixer.InitAudioMix(0, 0, state, true);
    ASSERT_TRUE(state.Valid);
    EXPECT_EQ(state.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(state.Format.nChannels, 2);
    EXPECT_EQ(state.Format.wBitsPerSample, 16);
    EXPECT_EQ(state.BlockSize, 4);
    EXPECT_TRUE(state.AudioMuted);
    EXPECT_TRUE(state.Silent);
    // Not for a preview: the mute buttons do not count.
    mixer.InitAudioMix(0, 0, state, false);
    EXPECT_FALSE(state.AudioMuted);
}

TEST(MixerRates, UnevenFrameLengthsStayContiguous)
{
    // 29.97 fps at 8000 Hz: frames of 266 or 267 samples, exactly as the creator counts.
    TFakeProjectMedia media;
    media.SetVideo("/clips/ntsc.avi", 60, 30000, 1001);
    TProject project(nullptr, &media);
    project.VideoOpened();
    TFakeMixSource audio(8000, 1, IndexSamples(20000));
    TAudioMixer mixer(project, &audio, nullptr);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    ASSERT_TRUE(state.Valid);
    EXPECT_EQ(state.MaxSamples, 269);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    int64_t pos = 0;
    for (int32_t f = 0; f < 60; ++f) {
        int64_t n = TAVICreator::SamplesOfFrame(f, 30000, 1001, 8000);
        ASSERT_TRUE(n == 266 || n == 267) << f;
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, true, buf.data(), 0));
        for (int64_t t = 0; t < n; ++t, ++pos) {
            int16_t v;
            std::memcpy(&v, buf.data() + 2 * t, 2);
            ASSERT_EQ(v, pos + 1) << f << " " << t;
        }
    }
    EXPECT_EQ(pos, TAVICreator::SamplesUpToFrame(60, 30000, 1001, 8000));
    EXPECT_EQ(state.OutPos, pos);
}

} // namespace
} // namespace tessaly
