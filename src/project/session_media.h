// The video and audio sources a project session owns, seen through the narrow
// interfaces that loading, rendering, mixing and the properties texts need, with the
// implementations used without a window: files read through the system media layer
// (kind MSVW) and the generated phantom clip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "project/mix_source.h"

namespace tessaly {

// A video source: frames copied as stored, plus the facts of the properties window.
class TSessionVideo {
public:
    virtual ~TSessionVideo() = default;
    // The file list it was opened with ("" for a phantom clip) and its kind string.
    virtual std::string FileList() const = 0;
    virtual std::string KindString() const = 0;
    // Every file the source reads (one per segment); empty for a phantom clip.
    virtual std::vector<std::string> Files() const = 0;
    virtual std::string Description() const = 0;
    virtual bool IsPhantom() const { return false; }
    virtual int32_t FrameCount() const = 0;
    virtual int32_t Rate() const = 0;        // -1 when unknown
    virtual int32_t Scale() const = 0;       // at least 1
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual int32_t BitCount() const = 0;    // stored bit count, 0 when unknown
    virtual uint32_t Handler() const = 0;    // fccHandler
    virtual uint32_t Compression() const = 0;
    virtual int32_t Quality() const = 0;     // -1: default
    virtual uint32_t MaxBufferSize() const = 0;
    virtual uint32_t MaxBytesPerSec() const = 0;
    // True when stored frame data can be copied into a result (smart rendering).
    virtual bool CanSmartRender() const = 0;
    virtual bool CanReadStored() const = 0;
    // BITMAPINFOHEADER (plus palette / codec bytes) of the stored frames; false when none.
    virtual bool GetStoredFormat(std::vector<uint8_t> &format) = 0;
    // The stream's 'strd' data; empty when there is none.
    virtual void ReadCodecData(std::vector<uint8_t> &data) = 0;
    // Stored bytes of frame n (may be empty for a dropped frame) and its key flag.
    virtual bool ReadStored(int32_t frame, std::vector<uint8_t> &data, bool &keyFrame) = 0;
    virtual bool IsKeyFrame(int32_t frame) = 0;
};

// An audio source delivering PCM sample frames by output position (read in large
// blocks), with what the mixer needs (TMixSource) and the facts of the properties window.
class TSessionAudio : public TMixSource {
public:
    virtual std::string FileList() const = 0;
    virtual std::string KindString() const = 0;
    virtual std::vector<std::string> Files() const = 0;
    virtual std::string Description() const = 0;
    // The input format (WAVEFORMATEX bytes, at least 16).
    virtual const std::vector<uint8_t> &InputFormat() const = 0;
    virtual uint32_t SampleRate() const = 0;
    virtual int32_t BlockAlign() const = 0;
    double Duration() const { return SampleRate() ? double(OutputLength()) / SampleRate() : 0.0; }
};

// Opens a video file through the system media layer; null with `error` set on failure
// (meFileNotFound when it does not exist, meNoVideoStream without a video stream).
std::unique_ptr<TSessionVideo> OpenSessionVideo(const std::string &fileName, TMediaError &error);
// The generated clip: blank frames of pixelFormat (0 = 1 bit .. 3 = 24 bit), stored
// uncompressed, every one a key frame. Null with meParam for a value out of range.
std::unique_ptr<TSessionVideo> OpenPhantomVideo(int32_t width, int32_t height, int32_t frames,
                                                int32_t scale, int32_t rate, int32_t pixelFormat,
                                                TMediaError &error);
// Opens the first audio stream of a file (plain 8- or 16-bit PCM); null with `error` set.
std::unique_ptr<TSessionAudio> OpenSessionAudio(const std::string &fileName, TMediaError &error);

} // namespace tessaly
