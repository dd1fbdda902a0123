// The base of the AVI writer (TAviOutput) and its stream objects: one video and at most
// one audio stream whose chunks the output writes and counts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/output/avi_records.h"

namespace tessaly {

class TAviOutput;

// Key-frame flag of chunk writes (same value as AVIIF_KEYFRAME).
constexpr uint32_t kAviChunkKeyFrame = 0x10;

// One stream of the file: its 'strh' header, 'strf' format, optional 'strd' bytes,
// chunk id and the running count of units written (frames or audio sample frames).
class TAviOutputStream {
public:
    explicit TAviOutputStream(TAviOutput &owner, uint32_t chunkId) : ChunkId(chunkId), FOwner(owner) {}
    virtual ~TAviOutputStream() = default;
    TAviOutputStream(const TAviOutputStream &) = delete;
    TAviOutputStream &operator=(const TAviOutputStream &) = delete;

    // Writes one chunk of `bytes` bytes holding `units` units; flags 0x10 = key frame.
    // The running count grows only when the chunk went into the file; false otherwise.
    virtual bool Write(uint32_t flags, const void *data, uint32_t units, uint32_t bytes) = 0;
    // Sets dwLength from the running count (at least 1).
    virtual bool Finalize();

    TAviStreamHeader Header;
    std::vector<uint8_t> Format;   // 'strf' content
    std::vector<uint8_t> Extra;    // 'strd' content, empty when none
    uint32_t ChunkId;              // "00db"/"00dc" for video, "01wb" for audio
    uint64_t UnitsWritten = 0;

protected:
    TAviOutput &FOwner;
};

class TAviVideoOutputStream : public TAviOutputStream {
public:
    explicit TAviVideoOutputStream(TAviOutput &owner);
    bool Write(uint32_t flags, const void *data, uint32_t units, uint32_t bytes) override;
    bool Finalize() override;
};

class TAviAudioOutputStream : public TAviOutputStream {
public:
    explicit TAviAudioOutputStream(TAviOutput &owner);
    bool Write(uint32_t flags, const void *data, uint32_t units, uint32_t bytes) override;
    bool Finalize() override;
};

// The writer interface. Every failure is recorded (first message and code, count) so that
// callers learn of it, then handed to the ReportError hook as a message text.
class TAviOutput {
public:
    TAviOutput() = default;
    virtual ~TAviOutput() = default;
    TAviOutput(const TAviOutput &) = delete;
    TAviOutput &operator=(const TAviOutput &) = delete;

    // Hook for failure messages; does nothing here (the failure is already recorded).
    virtual void ReportError(const std::string &message);
    // Writes one chunk; true only when the chunk and its index entries are in the file.
    virtual bool WriteChunk(uint32_t chunkId, uint32_t flags, uint32_t size, const void *data) = 0;
    // Creates the video and the audio stream object; true when both exist.
    virtual bool InitOutputStreams() = 0;
    // Creates the file and writes its header list; false when it cannot be created.
    virtual bool Init(const std::string &fileName, uint32_t width, uint32_t height, bool hasAudio,
                      bool interleaved) = 0;
    // Completes and closes the file; false when anything failed during its life.
    virtual bool Finalize() = 0;

    TAviVideoOutputStream *VideoStream() { return FVideo.get(); }
    TAviAudioOutputStream *AudioStream() { return FAudio.get(); }
    // The first failure message, empty when none.
    const std::string &ErrorText() const { return FErrorText; }
    // The code of the first failure (meOk when none).
    TMediaError ErrorCode() const { return FErrorCode; }
    int ErrorCount() const { return FErrorCount; }

protected:
    // Records a failure (the first message and code are kept) and calls ReportError.
    void Report(TMediaError code, const std::string &message);

    std::unique_ptr<TAviVideoOutputStream> FVideo;
    std::unique_ptr<TAviAudioOutputStream> FAudio;

private:
    std::string FErrorText;
    TMediaError FErrorCode = meOk;
    int FErrorCount = 0;
};

// printf-style message text with one integer (the writer's messages carry at most one).
std::string AviMessage(const char *format, int value);

} // namespace tessaly
