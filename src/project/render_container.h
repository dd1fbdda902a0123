// TContainerRenderer: writes a project's result into a container (Matroska, WebM, MP4,
// MOV, or AVI from a video the own AVI writer cannot copy): the video file's packets of
// the rendered frames copied as stored, the mixed track from the same mixer run as the
// WAV result beside them, the source's other streams kept as the options say.
#pragma once

#include <string>
#include <vector>

#include "media/output/lavf_result_options.h"
#include "project/render.h"

namespace tessaly {

class TProjectSession;
class TProgress;

class TContainerRenderer {
public:
    // Neither is owned; progress may be null.
    TContainerRenderer(TProjectSession &session, TProgress *progress);

    // Renders frames FirstFrame .. LastFrame of `options` (from the key frame at or before
    // FirstFrame) into `target` (written under a temporary name, renamed when complete).
    // Chapter files are numbered files, each from a key frame; left-out chapters inside
    // one file are refused (they are AVI and WAV results).
    // True when the file was completed; false after an error (shown) or an abort.
    bool Render(const std::string &target, const TRenderOptions &options, const TLavfResultOptions &result);

    bool Aborted() const { return FAborted; }
    const std::vector<std::string> &FilesWritten() const { return FFiles; }
    // Streams of the source the container could not hold (left out).
    const std::vector<std::string> &Notes() const { return FNotes; }

private:
    bool Refuse(const std::string &text);

    TProjectSession &FSession;
    TProgress *FProgress;
    bool FAborted = false;
    std::vector<std::string> FFiles;
    std::vector<std::string> FNotes;
};

// Whether an AVI result of this session goes through the own AVI writer: the video's
// stored frames can be read, or the video is no single file in a container libavformat
// copies from (phantom clips, still images, plug-in media are decoded as before).
bool UsesOwnAviWriter(TProjectSession &session);

// The Calculate command for any result type: the container is taken from `result`
// (rcWave and rcAvi with the own writer go through CalculateResult); `chosen` is the
// file name as chosen. `written` gets the target name, `notes` the streams left out.
TCalcOutcome CalculateAnyResult(TProjectSession &session, TProgress *progress, const std::string &chosen,
                                const TLavfResultOptions &result, bool warnOnCalc, std::string *written = nullptr,
                                std::vector<std::string> *files = nullptr, std::vector<std::string> *notes = nullptr);

} // namespace tessaly
