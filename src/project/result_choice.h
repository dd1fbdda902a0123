// The Calculate command's choices, for the window and its tests: the result types the
// save dialog offers, the name it proposes, the name the chosen type gives a typed name,
// the question before an existing file is replaced, and the stored audio codec.
#pragma once

#include <string>
#include <vector>

#include "media/output/lavf_result_options.h"

namespace tessaly {

class TProjectSession;
class TSettings;
class TUserInterface;

// One entry of the save dialog's type list.
struct TResultType {
    TResultContainer Container;
    std::string Label;      // "Matroska files (*.mkv)"
    std::string Patterns;   // "*.mkv;*.mka"
};

// WAV, AVI, Matroska, MP4, MOV and WebM, in this order; the position is the stored ResFmt - 1.
std::vector<TResultType> ResultTypes();
// The list position of a container.
int ResultTypeIndex(TResultContainer container);

// What the save dialog starts with.
struct TResultProposal {
    std::string Path;       // folder and name
    int Type = 0;           // position in ResultTypes()
};
// For a video file in a container the program writes: "NAME.synced.EXT" in the video's
// folder with that container (an AVI video proposes the AVI result). Otherwise the stored
// result folder (ResDir) with the project's name and the stored type (ResFmt).
TResultProposal ProposeResult(const TProjectSession &session, const TSettings &settings);

// The name written for `chosen` and the type at `type`: the WAV and AVI results replace
// any extension by ".wav" or ".avi"; the containers keep one of their own extensions
// (".mkv"/".mka", ".mp4"/".m4v") and replace any other.
std::string ResultFileName(const std::string &chosen, int type);

// True when `name` does not exist or the user agreed to replace it (a question naming the file).
bool ConfirmReplaceResult(TUserInterface *ui, const std::string &name);

// The new track's codec stored for the window's container results (setting ResAudioCodec
// of section Current; acDefault when none or unknown).
TResultAudioCodec StoredAudioCodec(const TSettings &settings);
void StoreAudioCodec(TSettings &settings, TResultAudioCodec codec);

} // namespace tessaly
