// TRenderer: writes the result of a project, an AVI file with the video chunks copied
// as stored beside the newly mixed audio (CalcVideo; also the preview file), or a WAV
// file with the mixed audio alone (CalcAudio), cut into chapter files on request.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/common/vfw_types.h"

namespace tessaly {

class TProjectSession;
class TProgress;

// Where the mixed audio of an audio run goes instead of the WAV writer (a container
// result that copies the video beside it). Open receives the mix format and the frames
// the file holds; a false result ends the run, its ErrorText() shown.
class TMixSink {
public:
    virtual ~TMixSink() = default;
    virtual bool Open(const std::string &name, const WAVEFORMATEX &format, uint32_t channelMask, int32_t first,
                      int32_t last) = 0;
    // count sample frames of the mix format.
    virtual bool Write(const uint8_t *data, int32_t count) = 0;
    // Completes the open file.
    virtual bool Close() = 0;
    // Whether a chapter file may start at this frame (a key frame of copied video).
    virtual bool CanStartFile(int32_t frame) const = 0;
    virtual std::string ErrorText() const = 0;
};

// What one render run covers and how it is shown.
struct TRenderOptions {
    std::string Caption;        // progress window caption
    int32_t SizeLimit = 0;      // > 8: uncompressed frames reduced to fit this size
    bool CrossFade = false;     // cross-fade between primary and double track
    bool ForPreview = false;    // the plain AVI form below 2 GB, with the preview mutes
    bool ShowProgress = false;  // show the progress window (when there is one)
    bool PreScan = false;       // run the audio state from frame 0
    bool UseChapters = false;   // cut into or skip chapters as the project says
    int32_t FrameOffset = 0;    // moves the audio by this many frames
    int32_t FirstFrame = 0;
    int32_t LastFrame = 0;      // inclusive
};

class TRenderer {
public:
    // Neither is owned; progress may be null (no display, never aborted).
    TRenderer(TProjectSession &session, TProgress *progress);

    // Renders frames FirstFrame .. LastFrame (inclusive) into an AVI file, starting at
    // the key frame at or before FirstFrame. True when every frame was written and every
    // file completed; false after an error (its message shown) or an abort.
    bool CalcVideo(const std::string &target, const TRenderOptions &options);
    // The same for the audio alone into a WAV file (no key-frame alignment; SizeLimit is
    // not used, ForPreview only with a sink: the preview's mutes and format). With a sink the mix goes there under the name `target`
    // as given (chapter files start where the sink allows); every file it completes is
    // closed, an unfinished one is left to the sink's owner.
    bool CalcAudio(const std::string &target, const TRenderOptions &options, TMixSink *sink = nullptr);

    // The image reduction factor of the last video run (1 = frames copied as stored).
    int32_t ReductionFactor() const { return FReduction; }
    // True when the last run ended because the user aborted.
    bool Aborted() const { return FAborted; }
    // Every file the last run completed, in order (an unfinished file is discarded).
    const std::vector<std::string> &FilesWritten() const { return FFiles; }
    // The progress display the runs show (may be null).
    TProgress *Progress() const { return FProgress; }
        // RIFF block size limit handed to the AVI creator (0: standard; small in tests).
    void SetBlockLimit(uint32_t limit) { FBlockLimit = limit; }

    // Chapter file name: target without extension, ".", the number with at least two
    // digits, then ext (".avi", ".wav" or the container's).
    static std::string ChapterFileName(const std::string &target, int32_t number, const std::string &ext);

private:
    struct TRun;
    struct TFileOps;
    bool HasOutputFrames(int32_t first, int32_t last, bool useChapters);
    bool RunVideo(TRun &run);
    bool PrepareVideoFormat(TRun &run);
    bool OpenVideoFile(TRun &run, const std::string &name);
    bool CloseVideoFile(TRun &run, bool quiet);
    bool RunChapters(TRun &run, const TFileOps &files, bool &completed);
    int32_t FileEnd(const TRun &run, int32_t first, const TFileOps &files) const;
    bool NextChapterFile(TRun &run, const TFileOps &files, bool &skip);
    void CommentWriting(const std::string &name);
    void CommentSkipping(int32_t chapter);
    bool RunAudio(TRun &run);
    bool WriteVideoFrame(TRun &run);
    bool WriteAudioFrame(TRun &run);
    // False with the message when a track could not deliver samples inside its length:
    // the result would hold silence there without anybody knowing.
    bool AudioReadOk(const TRun &run, int32_t frame);
    bool StartRun(TRun &run, bool showProgress, const std::string &caption);
    bool PreScan(TRun &run);
    bool CheckProgress(TRun &run);
    void Comment(const std::string &text);
    void ShowError(const std::string &text);

    TProjectSession &FSession;
    TProgress *FProgress;
    int32_t FReduction = 1;
    bool FAborted = false;
    std::vector<std::string> FFiles;
    uint32_t FBlockLimit = 0;
};

// The Calculate command's choices: file type 2 is the AVI result, every other the WAV
// result; the chosen name gets ".avi" or ".wav" in place of any extension.
std::string CalculateResultName(const std::string &chosen, int32_t fileType);

// The size question before an AVI result whose frames cannot be copied as stored:
// true when no warning is due or the user answered Yes. warnOnCalc: setting SRWarnOnCalc.
bool ConfirmResultSize(TProjectSession &session, bool warnOnCalc);

enum TCalcOutcome { coDone, coFailed, coCancelled, coAborted };

// The Calculate command after the file dialog: renders `chosen` (name with extension
// as given) through `renderer` as the AVI result (fileType 2, after the size question)
// or as the WAV result, with the project's chapters and cross-fading. `written` gets the
// target name used. coFailed: an error message was shown; coCancelled: the size
// question was not answered Yes; coAborted: the user aborted.
TCalcOutcome CalculateResult(TProjectSession &session, TRenderer &renderer, const std::string &chosen,
                             int32_t fileType, bool warnOnCalc, std::string *written = nullptr);

} // namespace tessaly
