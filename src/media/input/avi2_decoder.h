// TAvi2Decoder: the own AVI reader plus frame-decoder instances that decompress video
// frames read through it, in the manner of the AVIFile "get frame" functions.
#pragma once

#include "media/input/avi2_reader.h"
#include "media/input/frame_decompressor.h"

#include <memory>
#include <vector>

namespace tessaly {

class TAvi2Decoder;

// One decoder instance per opened video stream; made by GetFrameOpen, freed by
// GetFrameClose (or by the reader's Close).
class TAvi2FrameDecoder : public TFrameWalker {
public:
    int Stream() const { return FStream; }
    const AVISTREAMINFO &StreamInfo() const { return FInfo; }
    const std::vector<uint8_t> &InputFormat() const { return FFormat; }

protected:
    int32_t ReadStored(int32_t k, void *buffer, int32_t bufferSize, int32_t *bytes) override;
    int32_t PrevKeyFrame(int32_t n) override;
    bool KeyFrame(int32_t k) override;
    int32_t EndFrame() override;

private:
    friend class TAvi2Decoder;
    TAvi2FrameDecoder(TAvi2Decoder &reader, int stream) : FReader(reader), FStream(stream) {}
    TAvi2Decoder &FReader;
    int FStream;
    AVISTREAMINFO FInfo{};
    std::vector<uint8_t> FFormat;
};

class TAvi2Decoder : public TAvi2Reader {
public:
    // A marker passed as the wanted format to ask for the best display format (24 bits).
    static const BITMAPINFOHEADER *BestDisplayFormat();

    TAvi2Decoder() = default;
    ~TAvi2Decoder() override;

    // Opens a decoder instance for a video stream with a format of at least 40 bytes.
    // wanted: a header whose bit count is asked for, null for the stream's own depth
    // (24 for compressed streams), or BestDisplayFormat(). Null when no decoder fits.
    TAvi2FrameDecoder *GetFrameOpen(int stream, const BITMAPINFOHEADER *wanted);
    // Output header (with palette) followed by the pixels of frame n (valid until the
    // next call on the instance), or null when a read, key-frame search or decode fails.
    const uint8_t *GetFrame(TAvi2FrameDecoder *instance, int32_t n);
    // Frees an instance: 0, or AVIERR_BADHANDLE for none or a foreign one.
    int32_t GetFrameClose(TAvi2FrameDecoder *instance);

    // Closing the file (or opening another) frees every instance first.
    int32_t Open(const std::string &fileName) override;
    void Close() override;

private:
    std::vector<std::unique_ptr<TAvi2FrameDecoder>> FInstances;
};

} // namespace tessaly
