// The fixture of the tests that mix or draw a project's audio: a 100-frame video at
// 25 fps with an 8000 Hz primary track (320 samples a frame) behind a project.
#pragma once

#include <gtest/gtest.h>

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

    TFakeProjectMedia media;
    TProject project{nullptr, &media};
};

} // namespace tessaly::test
