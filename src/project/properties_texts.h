// The texts of the Properties window: one per value label of the video, audio, double
// and smart-rendering groups, the duration text, and a row per audio stream of a file
// (for `tessaly-cli info`). Words come through the language module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

class TIOMovieReader;
class TWaveReader;

struct TPropertiesTexts {
    std::string VidType = "-", VidCodec = "-", VidSize = "-", VidCD = "-", VidFrm = "-", VidQuality = "-",
                VidFPS = "-", VidLen = "-";
    std::string AudType = "-", AudFmt = "-", AudLen = "-";
    std::string DblType = "-", DblFmt = "-", DblLen = "-";
    std::string SRPreview = "-", SRResult = "-";
};

// "83.50 s  =  1:23.50 m"; an hour form is added above 60 minutes.
std::string DurationText(long double seconds);

// Every label for the given sources (each may be null or not open: "-"). refFps is the
// reference video's frame rate, -1 when none is shown; forceVfw the menu item "Force
// VfW-compatibility" (a plug-in source then shows "deactivated" for the preview).
TPropertiesTexts PropertiesTexts(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
                                 const TWaveReader *doubleTrack, bool forceVfw);

// The format text of an open audio source ("44100 Hz; 16 bit; stereo").
std::string AudioFormatText(const TWaveReader &audio);

// The name of a wave format tag ("PCM", "IEEE float", "MPEG Layer 3", "AC-3", or "0x1234").
std::string WaveFormatName(uint16_t tag);

// One audio stream of a file as `info` lists it.
struct TAudioStreamText {
    int Number = 0;          // stream number in the file
    std::string Codec;       // WaveFormatName of the stream's stored format
    std::string Format;      // AudioFormatText of the stream
    std::string Length;      // DurationText of the stream
};
// Every audio stream of `audio` (selecting each in turn; the first one stays selected).
std::vector<TAudioStreamText> AudioStreamTexts(TWaveReader &audio);

} // namespace tessaly
