// The mixer over real WAV files read by TWaveReader: exact samples end to end.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "media/input/wave_reader.h"
#include "media/output/avi_creator.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/wave_mix_source.h"
#include "support/mix_fakes.h"
#include "support/project_fakes.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

TEST(WaveMixSource, MixesRealFilesSampleExactly)
{
    test::TTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("a.wav"), test::IndexWavBytes(8000, 8000, 1)));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("d.wav"), test::IndexWavBytes(16000, 16000, -1)));
    TWaveReader audioReader, doubleReader;
    ASSERT_TRUE(audioReader.Open(dir.File("a.wav"), "ODML|-1", false, 0)) << int(audioReader.Status());
    ASSERT_TRUE(doubleReader.Open(dir.File("d.wav"), "ODML|-1", false, 0)) << int(doubleReader.Status());
    TWaveMixSource audio(audioReader), dbl(doubleReader);

    test::TFakeProjectMedia media;
    media.SetVideo("/clips/a.avi", 25, 25, 1);   // one second, 320 samples per frame
    TProject project(nullptr, &media);
    project.VideoOpened();
    project.AddMarker({10, PackOption(-1, true, false), mkOption, false, false});
    project.AddMarker({15, PackOption(-1, false, false), mkOption, false, false});

    TAudioMixer mixer(project, &audio, &dbl);
    TAudioMixState state;
    mixer.InitAudioMix(0, 0, state, false);
    ASSERT_TRUE(state.Valid);
    EXPECT_EQ(state.Format.nSamplesPerSec, 8000u);
    // The double track is delivered in the primary's format (16 kHz read at 8 kHz).
    EXPECT_EQ(doubleReader.OutputFormat().nSamplesPerSec, 8000u);
    std::vector<uint8_t> buf(size_t(state.MaxSamples) * 2);
    for (int32_t f = 0; f < 25; ++f) {
        ASSERT_TRUE(mixer.MixFrameAudio(f, state, false, buf.data(), 0));
        for (int32_t t = 0; t < 320; ++t) {
            int16_t v;
            std::memcpy(&v, buf.data() + 2 * t, 2);
            int32_t o = f * 320 + t;
            int32_t expected = (f >= 10 && f < 15) ? -(2 * o + 1) : o + 1;
            ASSERT_EQ(v, expected) << f << " " << t;
        }
    }
}

} // namespace
} // namespace tessaly
