// CalcAudio: renders the mixed audio of a project into a WAV file, or one WAV file per
// enabled chapter, frame by frame as the audio of the video result would be.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessaly {

class TProject;
class TAudioMixer;
class TProgress;

struct TAudioRenderParams {
    std::string Target;              // result name; its extension becomes ".wav"
    std::string Caption;             // progress caption
    bool CrossFade = true;
    bool PreScan = false;            // advance the mix from frame 0 before FirstFrame
    bool UseChapters = true;
    int32_t FrameOffset = 0;         // added to every frame handed to the mixer
    int32_t FirstFrame = 0;
    int32_t LastFrame = -1;          // inclusive
};

// Renders frames FirstFrame .. LastFrame. `progress` may be null (no display, no abort).
// `isSourceFile` (may be empty) says whether a name is a source of the project (it shows
// its own message). False, after a message through the project's user interface, on
// every failure and on abort; chapter files finished before stay.
bool CalcAudio(TProject &project, TAudioMixer &mixer, TProgress *progress, const TAudioRenderParams &params,
               const std::function<bool(const std::string &)> &isSourceFile = {});

// The name of chapter file `number` of a run: target without extension, ".", the number
// with at least two digits, and `extension` (".wav", ".avi").
std::string ChapterFileName(const std::string &target, int32_t number, const std::string &extension);

} // namespace tessaly
