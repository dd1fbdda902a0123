// The "get frame" decoder of the system media layer: decompresses the video frames of a
// TAviFile stream with the same decoders and key-frame walk as the own reader's.
#pragma once

#include "media/input/frame_decompressor.h"
#include "platform/avi_file.h"

#include <memory>

namespace tessaly {

class TAviFileFrameDecoder : public TFrameWalker {
public:
    // Opens a decoder for a video stream of an open file (which must outlive it), asking
    // for outBits per pixel (see TFrameDecompressor::Open). Null when no decoder fits.
    static std::unique_ptr<TAviFileFrameDecoder> Open(TAviFile &file, int stream, int outBits);

protected:
    int32_t ReadStored(int32_t k, void *buffer, int32_t bufferSize, int32_t *bytes) override;
    int32_t PrevKeyFrame(int32_t n) override;
    bool KeyFrame(int32_t k) override;
    int32_t EndFrame() override;

private:
    TAviFileFrameDecoder(TAviFile &file, int stream) : FFile(file), FStream(stream) {}
    TAviFile &FFile;
    int FStream;
    int32_t FStart = 0;
};

} // namespace tessaly
