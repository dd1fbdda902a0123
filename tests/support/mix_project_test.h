// The fixture of the tests that mix or draw a project's audio: a 100-frame video at
// 25 fps with an 8000 Hz primary track (320 samples a frame) behind a project.
#pragma once

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "project/audio_mixer.h"
#include "project/project.h"
#include "support/project_fakes.h"

namespace tessaly::test {

constexpr int32_t kMixFrames = 100;
constexpr int32_t kMixPerFrame = 320;   // 8000 Hz at 25 fps

class TMixProjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        media.SetVideo("/clips/a.avi", kMixFrames, 25, 1);
        media.Audio = true;
        media.SampleRate = 8000;
        project.VideoOpened();
        project.AudioOpened();
    }
    // Adds a marker and rebuilds the curve (the mixer and the strip notice it by themselves).
    void Add(const TMarker &m)
    {
        ASSERT_GE(project.AddMarker(m), 0);
        project.RebuildSpline();
    }

    // Mixes frames [from, to) of 16-bit mono through `mixer` (prepared here) and returns
    // the samples, kMixPerFrame a frame.
    std::vector<int16_t> MixFrames(TAudioMixer &mixer, bool crossFade, int32_t from = 0, int32_t to = kMixFrames)
    {
        TAudioMixState state;
        mixer.InitAudioMix(from, 0, state, false);
        EXPECT_TRUE(state.Valid);
        std::vector<int16_t> out;
        std::vector<uint8_t> buf(static_cast<size_t>(state.MaxSamples) * 2);
        for (int32_t f = from; f < to; ++f) {
            EXPECT_TRUE(mixer.MixFrameAudio(f, state, crossFade, buf.data(), 0));
            for (int32_t t = 0; t < kMixPerFrame; ++t) {
                int16_t v;
                std::memcpy(&v, buf.data() + 2 * t, 2);
                out.push_back(v);
            }
        }
        return out;
    }

    TFakeProjectMedia media;
    TProject project{nullptr, &media};
};

} // namespace tessaly::test
