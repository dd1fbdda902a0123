// Hand-built AVI, OpenDML and WAVE byte files for the reader tests, with knobs
// for the broken variants the reader must refuse.
#pragma once

#include "support/riff_builder.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessaly::test {

// Stored bytes of video frame i and audio chunk j of the generated files.
std::string TestFrame(int i);
std::string TestAudio(int j, int bytes);

// An AVI 1.0 file: one video stream ('00dc', frames of 10+i bytes) and optionally
// one 16-bit stereo PCM stream ('01wb'), indexed by 'idx1'.
struct TAvi1Layout {
    int Frames = 6;
    std::vector<uint32_t> VideoFlags = {0x10, 0, 0, 0x10, 0, 0}; // idx1 flags per frame
    std::vector<int> AudioChunkBytes = {40, 80, 40};              // empty: no audio stream
    uint32_t VideoLength = 0;                                     // strh dwLength; 0: Frames
    uint32_t VideoStart = 0;
    uint32_t AudioSampleSize = 4;
    std::string StreamName;       // a 'strn' chunk in the video 'strl' when not empty
    bool WithIdx1 = true;
    std::string Trailer;          // bytes appended after the RIFF block
    // Called on the 'hdrl' list after the main header, to misplace chunks.
    std::function<void(TRiffBuilder &)> ExtraInHdrl;
};
TRiffBuilder BuildAvi1(const TAvi1Layout &layout);

// An OpenDML file of two RIFF blocks: video only, frames 0..2 in 'AVI ' and 3..4
// in 'AVIX', each block with its own 'ix00', reached from the super index.
struct TOdmlLayout {
    bool WithDmlh = true;
    bool NotKeyFrame[5] = {false, true, true, false, true}; // bit 31 of dwSize
    uint32_t SecondDuration = 2;   // super-index dwDuration of the second 'ix00'
    bool BogusIdx1 = true;         // an 'idx1' that must be ignored
};
TRiffBuilder BuildOdml(const TOdmlLayout &layout);

// A WAVE file with the given format and one 'data' chunk per element of data.
TRiffBuilder BuildWave(const std::string &format, const std::vector<std::string> &data);

} // namespace tessaly::test
