// TWaveReader: the audio source front-end. Opens one audio file or a list of segments
// through the system media layer (MSVW), the own AVI/WAVE reader (ODML), FFmpeg's demuxers
// and decoders (LAVF) or a reader plug-in (VFAP), each a TAudioSource tried in the order
// AudioPathOrder gives, selects an audio stream and delivers it as PCM in a chosen output
// format, converting rate, sample width and channels, addressed by output sample number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"
#include "media/input/audio_source.h"
#include "media/input/source_kind.h"
#include "media/input/wave_choose.h"
#include "media/input/wave_format.h"

namespace tessaly {

// Whether a direct media-framework audio component (kind MSDS) is bound: none is.
bool DirectAudioAvailable();

class TWaveReader {
public:
    // Input samples kept in memory ahead of the read position (bytes, rounded to blocks).
    static constexpr uint32_t kReadAheadBytes = 64 * 1024;

    TWaveReader();
    ~TWaveReader();
    TWaveReader(const TWaveReader &) = delete;
    TWaveReader &operator=(const TWaveReader &) = delete;

    // Opens fileList ("name" or "template with *|part|...") with the kind string (empty or
    // unknown: detect; WAV and AVI through the own readers, everything else through FFmpeg,
    // the plug-ins for what FFmpeg cannot read). For AUTO, ODML, MSVW and LAVF a parameter of
    // 0 or more selects the audio stream of that number in the file (meNoAudioStream when it
    // is none). allowFallback admits the plug-in and other fallbacks; accessLevel 2 admits
    // only sources with access to the stored data. False with Status() on failure.
    bool Open(const std::string &fileList, const std::string &kindString, bool allowFallback, int accessLevel);
    // Releases everything; the status keeps its value.
    void Close();

    bool IsOpen() const { return FOpen; }
    TMediaError Status() const { return FStatus; }
    // After a failed Open: what the reader found wrong with the file when it can say
    // (Reason wrNone otherwise). Such a file is not handed to other paths.
    const TMediaProblem &Problem() const { return FProblem; }
    // Kind string of the open source ("ODML|-1", "VFAP|NAME", "LAVF|2" when stream 2 is
    // selected and is not the first audio stream); empty when nothing is open.
    std::string KindString() const;
    TSourceKind Kind() const { return FKind; }
    int PluginIndex() const { return FPlugin; }
    // The access path as a message key and name ("WrdSrcAudio" with "OpenDML", "WrdSrcNone").
    TSourceDescription Description() const;

    int AudioStreamCount() const { return int(FAudioStreams.size()); }
    // Stream number of the i-th audio stream, -1 when there is none.
    int AudioStreamNumber(int i) const;
    int SelectedStream() const { return FSelected; }
    // The position in the audio stream list of the stream numbered `number` in the file, -1
    // when that is no audio stream.
    int AudioStreamIndex(int number) const;
    // Selects the i-th audio stream; the output format becomes its input format.
    bool SelectStream(int i);

    // Sets the output format (null: the input format); length in bytes, at least 16. An
    // extensible record (40 bytes) sets the encoding of its sub-format and its channel mask.
    bool SetOutputFormat(const WAVEFORMATEX *format, uint32_t formatLength);
    // The formats with an extensible record resolved: tag PCM or IEEE float, cbSize 0.
    const WAVEFORMATEX &InputFormat() const { return FInput; }
    const WAVEFORMATEX &OutputFormat() const { return FOutput; }
    // The speaker masks of the selected stream and of the delivered format (0: none stored).
    uint32_t InputChannelMask() const { return FInputMask; }
    uint32_t OutputChannelMask() const { return FOutputMask; }
    int32_t SampleRate() const;  // output samples per second, -1 when not open
    int32_t BlockAlign() const;  // output bytes per sample frame, 0 when not open
    int64_t InputLength() const { return FInputLength; }
    int64_t OutputLength() const { return FOutputLength; }
    double Duration() const;     // seconds, 0 when not open
    int64_t Position() const { return FPosition; }
    // File and stream descriptions of a segment (zeros for an invalid index).
    int SegmentCount() const;
    AVIFILEINFO SegmentFileInfo(int segment) const;
    AVISTREAMINFO SegmentStreamInfo(int segment, int stream) const;

    // Moves the output position (in output sample frames).
    void Seek(int64_t position);
    // Delivers count output sample frames (count * BlockAlign() bytes at buffer) from the
    // position and advances it by count. Past the end the buffer holds silence; false with
    // meFileRead once no sample was left, meState when not open, meParam for count <= 0.
    bool ReadSamples(void *buffer, int32_t count);
    // Fills count output sample frames with silence; false (meState) when not open.
    bool Silence(void *buffer, int32_t count);

private:
    bool OpenOnce(const std::vector<std::string> &files, const TPathAttempt &path, int accessLevel);
    int WantedAudioIndex();
    void FillDisplayInfo();
    bool Fail(TMediaError code); // a failed open check: status set, ok flag cleared
    bool Err(TMediaError code);  // a failed call on an open reader: status set
    // Input samples [first, first + count) of the selected stream into out (input format).
    bool ReadInput(int64_t first, int64_t count, uint8_t *out);
    bool ReadDirect(int64_t first, int64_t count, uint8_t *out);

    std::string FFileList;
    TSourceKind FKind = ksNone;
    int FPlugin = -1;
    TMediaError FStatus = meOk;
    TMediaProblem FProblem;
    bool FOk = false, FOpen = false, FEnd = false;
    // The open track: one path's source, or the segments joined; each segment's file and
    // its description as shown (filled in for plug-in sources).
    std::unique_ptr<TAudioSource> FSource;
    std::vector<std::string> FSegmentFiles;
    std::vector<AVIFILEINFO> FSegmentInfo;
    int FStreamCount = 0;
    std::vector<int> FAudioStreams;
    int FSelected = -1;
    int FWantedStream = -1; // the stream number the kind string asked for, -1: the first audio stream
    bool FWantedMissing = false; // an open found streams, but not that one among the audio streams
    WAVEFORMATEX FInput{}, FOutput{};
    uint32_t FInputMask = 0, FOutputMask = 0;
    double FRatio = 1.0;
    bool FRateDiffers = false, FFormatDiffers = false;
    bool FPlain = false; // open and delivered without conversion
    int64_t FInputLength = 0, FOutputLength = 0, FPosition = 0;
    int64_t FLastInput = -1;
    uint8_t FOneSample[kMaxSampleFrameBytes] = {};
    // Read-ahead of input samples [FCacheFirst, FCacheFirst + FCacheCount).
    std::vector<uint8_t> FCache;
    int64_t FCacheFirst = 0, FCacheCount = 0;
};

} // namespace tessaly
