// Conversion of decoded FFmpeg pictures into bottom-up 24-bit rows.
#include "media/common/ffmpeg_picture.h"

#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace tessaly {

void SilenceFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

TPictureConverter::~TPictureConverter() { sws_freeContext(FContext); }

static bool IsFullRangeFormat(int format)
{
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

bool TPictureConverter::ToBgr24BottomUp(const AVFrame *frame, uint8_t *bits, int stride)
{
    if (!frame || !bits || frame->width <= 0 || frame->height <= 0)
        return false;
    const int space = frame->colorspace, range = frame->color_range;
    if (!FContext || FWidth != frame->width || FHeight != frame->height || FFormat != frame->format ||
        FSpace != space || FRange != range) {
        SilenceFfmpegLog();
        sws_freeContext(FContext);
        FContext = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), frame->width,
                                  frame->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!FContext)
            return false;
        const AVPixFmtDescriptor *desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
        const bool isYuv = desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3;
        if (isYuv) {
            // The colour matrix the picture names (the standard-definition one when it
            // names none), and full range for JPEG-range pictures.
            const int full = range == AVCOL_RANGE_JPEG || IsFullRangeFormat(frame->format) ? 1 : 0;
            sws_setColorspaceDetails(FContext, sws_getCoefficients(space), full, sws_getCoefficients(SWS_CS_DEFAULT),
                                     0, 0, 1 << 16, 1 << 16);
        }
        FWidth = frame->width;
        FHeight = frame->height;
        FFormat = frame->format;
        FSpace = space;
        FRange = range;
    }
    // Converted top-down into a scratch picture, then stored bottom row first.
    const size_t rowBytes = size_t(frame->width) * 3;
    const int scratchStride = int((rowBytes + 63) & ~size_t(63));
    FScratch.resize(size_t(scratchStride) * size_t(frame->height) + 64);
    uint8_t *dst[4] = {FScratch.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {scratchStride, 0, 0, 0};
    if (sws_scale(FContext, frame->data, frame->linesize, 0, frame->height, dst, dstStride) != frame->height)
        return false;
    for (int y = 0; y < frame->height; ++y)
        std::memcpy(bits + size_t(stride) * size_t(frame->height - 1 - y), FScratch.data() + size_t(scratchStride) * size_t(y),
                    rowBytes);
    return true;
}

} // namespace tessaly
