// Opening media as the window's open commands do it: the numbered-segment question, the
// smart-rendering question, the silent second open as double track or reference video,
// the stored folders, the open error messages; removing the double track and the
// reference; the phantom clip dialog's values. Questions go through the session's user
// interface, so tessaly-cli answers them from flags and tests from a script.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project/project_sources.h"

namespace tessaly {

class TProjectSession;
class TSettings;
struct TLavfStreamText;

struct TOpenMediaOptions {
    bool SegmentSearch = true;       // not DisableSegments
    bool SRWarnOnLoad = false;       // ask when a video cannot be copied as stored
    TSettings *Folders = nullptr;    // stores the file's folder when set (not owned)
};
// The options from the settings (DisableSegments, SRWarnOnLoad), storing folders there.
TOpenMediaOptions OpenMediaOptionsFrom(TSettings &settings);

// The open dialog of a role: its title (translated) and its starting folder (AviDir,
// WavDir, DblDir, RefDir; "" when unset or gone).
std::string OpenDialogTitle(TSourceRole role);
std::string OpenDialogFolder(const TSettings &settings, TSourceRole role);

enum TOpenOutcome {
    ooOpened,      // the source is open
    ooCancelled,   // the user cancelled (save question, segment question, smart rendering)
    ooFailed,      // the open failed; its message was shown
};

// The open command of `role` for the chosen `fileName` and file-type string `kind`:
// video first asks AskSaveChanges; numbered segments are offered (help context 9000);
// an audio or double track from a file with several audio streams asks which one, unless
// the kind names one ("AUTO|2");
// the video's smart-rendering question; then the silent second open (video -> double
// track when the project was reset or has none and no reset question was asked;
// audio -> reference video when there is none); the folder is stored; after a video the
// position, view offset and zoom are reset.
TOpenOutcome OpenMedia(TProjectSession &session, TSourceRole role, const std::string &fileName,
                       const std::string &kind, const TOpenMediaOptions &options);

// One line of the audio stream question: "#2: ac3, 48000 Hz, 5.1(side) [ger] \"Title\"".
std::string AudioStreamChoiceText(const TLavfStreamText &stream);

// "Remove double audio entry" / "Remove reference video entry": closes the source and
// marks the project changed; false when there was nothing to remove (or another role).
bool RemoveMedia(TProjectSession &session, TSourceRole role);

// --- phantom clip dialog ---------------------------------------------------------
// The frame-rate choices: "Rate / Scale" first, then "12" ... "30".
const std::vector<std::string> &PhantomPresets();
struct TPhantomValues {
    int32_t Frames = 1;
    int32_t Rate = 25000;
    int32_t Scale = 1000;
    int Preset = 8;   // index into PhantomPresets(); 0 = "Rate / Scale" (fields editable)
};
// The dialog's start: the open video's count, rate and scale (and the matching preset
// when its scale is 1000), else 1 frame at the preset "25".
TPhantomValues PhantomDialogValues(const TProjectSession &session);
// A preset sets rate = round(fps x 1000) and scale 1000; preset 0 keeps the values.
TPhantomValues ApplyPhantomPreset(TPhantomValues values, int preset);
// OK is allowed only with frames, rate and scale of at least 1.
bool PhantomValuesValid(const TPhantomValues &values);
// Creates the 96 x 72 phantom clip (pixel format 0); when the values differ from the
// open video, AskSaveChanges comes first and the position goes to 0. Zoom becomes 200.
TOpenOutcome CreatePhantom(TProjectSession &session, const TPhantomValues &values);

} // namespace tessaly
