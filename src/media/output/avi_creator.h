// TAVICreator: writes a result AVI from frames copied as stored and the rebuilt PCM audio,
// interleaving the audio ahead of the video by a preload time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/output/avi_creator_cache.h"
#include "media/common/vfw_types.h"
#include "media/output/avi_records.h"

namespace tessaly {

class TAviOutputFile;

enum TAVICreatorMode { cmPreview = 1, cmResult = 2 };

class TAVICreator {
public:
    // mode: cmPreview writes plain AVI 1.0, cmResult OpenDML. blockLimit: RIFF block size
    // limit of the output (0: the standard 0x7F000000; small values in tests).
    explicit TAVICreator(int mode, uint32_t blockLimit = 0);
    // Discards a file still open (see Discard).
    ~TAVICreator();
    TAVICreator(const TAVICreator &) = delete;
    TAVICreator &operator=(const TAVICreator &) = delete;

    // Setters: refused (false, nothing changed) while open.
    // Bitmap info bytes for 'strf'; size <= 0: false and the old format is gone.
    bool SetVideoFormat(const void *bitmapInfo, int size);
    // Bytes of an optional 'strd' chunk; size <= 0 removes it.
    bool SetVideoExtra(const void *data, int size);
    // Frame rate rate/scale (both >= 1), handler four-character code, quality.
    bool SetVideoTiming(uint32_t rate, uint32_t scale, uint32_t handler, uint32_t quality);
    // 16-bit-style PCM format: bits < 8 are taken as bytes; preload in seconds (0..2, else
    // 0.75). Switches audio on. False for a rate, size or channel count below 1.
    bool SetAudioFormat(uint32_t sampleRate, uint32_t bitsPerSample, double preload, uint32_t channels);
    // Any supported encoding (8- to 32-bit PCM, 32- or 64-bit float, channels as given);
    // more than two channels or more than 16 bits go into 'strf' as an extensible record
    // with the channel mask (0: the usual mask of the channel count). False for a format
    // that is not supported.
    bool SetAudioFormat(const WAVEFORMATEX &format, uint32_t channelMask, double preload);
    // 'segm' chunk: written when enabled; its byte is 0 for the last segment, else 1.
    bool SetSegmentFlags(bool enabled, bool lastSegment);

    // Creates the file; false when already open, without a video format, or when the
    // output cannot be set up (ErrorText tells why).
    bool Open(const std::string &fileName);
    // Buffer size and data rate of the source (0: measure them); only while open.
    bool SetSourceLimits(uint32_t suggestedBufferSize, uint32_t maxBytesPerSec);
    // Hands over one frame (copied). False when not open, on a cache failure or when the
    // output refused a chunk (missing disk space, FAT limit, block limit, write error).
    bool WriteFrame(const void *data, uint32_t size, bool keyFrame);
    // Audio sample frames still missing for the current frame (0 without audio or closed).
    uint32_t AudioRequired() const;
    // Copies up to `frames` sample frames into the current audio entry. False when not
    // open, without audio, without room, or after the output refused a chunk.
    bool WriteAudio(const void *data, uint32_t frames);
    // Writes what is held back, completes the file and renames it onto the name given
    // to Open (nothing is written without frames). False when it was not open, a cache
    // ran dry, or any chunk or header write failed; the unfinished file is then removed
    // and an earlier file of the target name stays. Always leaves the creator closed.
    bool Close();
    // Abandons an open file: its temporary file is removed, the target name untouched.
    void Discard();

    bool IsOpen() const { return FOpen; }
    // Bytes written to the file so far; 0 when closed.
    int64_t FileSize() const;
    // The first failure message of the output (empty when none); kept after Close.
    const std::string &ErrorText() const { return FErrorText; }
    // The code of that failure: meFileOpen, meFileWrite (disk full, write errors),
    // meFileSize (FAT or block limits), meMemory, meDataSize; meState for an Open while
    // open, meFrameFormat without a video format; meOk when none. Kept after Close.
    TMediaError Error() const { return FError; }
    uint32_t FramesWritten() const { return FFramesWritten; }

    // round(n x sampleRate / frameRate), halves to even; 0 for a frame rate of 0.
    static int64_t SamplesUpToFrame(int64_t n, long double frameRate, uint32_t sampleRate);
    // The same for the frame rate rate/scale, computed exactly (the one formula of
    // media/common/frame_timing.h).
    static int64_t SamplesUpToFrame(int64_t n, uint32_t rate, uint32_t scale, uint32_t sampleRate);
    // Sample frames of frame n: SamplesUpToFrame(n + 1) - SamplesUpToFrame(n).
    static int64_t SamplesOfFrame(int64_t n, long double frameRate, uint32_t sampleRate);
    static int64_t SamplesOfFrame(int64_t n, uint32_t rate, uint32_t scale, uint32_t sampleRate);

private:
    void BuildHeaders(uint32_t width, uint32_t height);
    bool SetUpOutput(const std::string &fileName, uint32_t width, uint32_t height);
    bool WriteVideoChunk(const void *data, uint32_t size, uint32_t flags);
    bool WriteAudioChunk(const TAVIChunkBuffer &buffer);
    // Writes the given dequeued video chunk (if any), then the next cached audio chunk
    // (if any), keeping the audio stream's largest chunk size.
    void WriteCachedPair(const TAVIChunkBuffer *video);
    bool Interleave();
    bool Drain();
    void NoteFrameSize(uint32_t size);
    void KeepError();
    void Release();

    int FMode;
    uint32_t FBlockLimit;
    bool FOpen = false;
    std::unique_ptr<TAviOutputFile> FOutput;
    std::string FFileName;
    uint32_t FRate = 25, FScale = 1, FHandler, FQuality = 10000;
    std::vector<uint8_t> FVideoFormat, FVideoExtra;
    bool FAudioOn = false;
    uint32_t FSampleRate = 22050, FBits = 16, FChannels = 1, FBlockAlign = 2, FAvgBytes = 44100;
    uint16_t FFormatTag = 1;
    uint32_t FChannelMask = 0;
    double FPreload = 0.75;
    bool FSegmentEnabled = false, FLastSegment = false;
    TAviMainHeader FMain;
    TAviStreamHeader FVideoHeader, FAudioHeader;
    TAVICreatorCache FVideoCache, FAudioCache;
    uint32_t FFramesWritten = 0;
    uint64_t FAudioBytesQueued = 0;
    int FInterleaveCountdown = 0, FVideoCountdown = 0;
    uint32_t FAudioBeforeVideo = 0;
    bool FVideoStarted = false;
    std::vector<uint32_t> FFrameSizes;
    uint32_t FFramesPerSecond = 0;
    uint64_t FMaxBytesPerSec = 0;
    uint32_t FSourceBufferSize = 0, FSourceBytesPerSec = 0;
    bool FFailed = false;
    std::string FErrorText;
    TMediaError FError = meOk;
};

} // namespace tessaly
