// Owning handles for FFmpeg decoder objects and the conversion of decoded pictures into
// bottom-up 24-bit rows, shared by the still-image loaders and the AVI frame decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace tessaly {

struct TPictureCodecFree { void operator()(AVCodecContext *c) const { avcodec_free_context(&c); } };
struct TPictureFrameFree { void operator()(AVFrame *f) const { av_frame_free(&f); } };
struct TPicturePacketFree { void operator()(AVPacket *p) const { av_packet_free(&p); } };
using TPictureCodecPtr = std::unique_ptr<AVCodecContext, TPictureCodecFree>;
using TPictureFramePtr = std::unique_ptr<AVFrame, TPictureFrameFree>;
using TPicturePacketPtr = std::unique_ptr<AVPacket, TPicturePacketFree>;

// FFmpeg's own messages stay off the terminal: the core reports through results only.
// Safe to call any number of times.
void SilenceFfmpegLog();

// Converts decoded pictures to 24-bit blue-green-red rows with the settings the ffmpeg
// command line uses for its own conversions (bicubic, the picture's colour matrix and
// range), so both give the same bytes. Keeps its scaler between pictures of one shape.
class TPictureConverter {
public:
    TPictureConverter() = default;
    TPictureConverter(const TPictureConverter &) = delete;
    TPictureConverter &operator=(const TPictureConverter &) = delete;
    ~TPictureConverter();
    // Writes the picture into a bottom-up buffer of height rows of stride bytes (the
    // bottom picture row first); the picture must be width x height. False on failure.
    bool ToBgr24BottomUp(const AVFrame *frame, uint8_t *bits, int stride);

private:
    SwsContext *FContext = nullptr;
    std::vector<uint8_t> FScratch;
    int FWidth = 0, FHeight = 0, FFormat = -1, FSpace = -1, FRange = -1;
};

} // namespace tessaly
