// PNG encoding of frame images.
#include "media/common/io_image_png.h"

#include "media/common/ffmpeg_picture.h"

namespace tessaly {

bool EncodePng(const TIOImage &image, std::vector<uint8_t> &png)
{
    SilenceFfmpegLog();
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
    if (!codec)
        return false;
    TPictureCodecPtr ctx(avcodec_alloc_context3(codec));
    TPictureFramePtr frame(av_frame_alloc());
    TPicturePacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet)
        return false;
    ctx->width = int(image.Width());
    ctx->height = int(image.Height());
    ctx->pix_fmt = AV_PIX_FMT_RGB24;
    ctx->time_base = AVRational{1, 25};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return false;
    frame->width = ctx->width;
    frame->height = ctx->height;
    frame->format = AV_PIX_FMT_RGB24;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return false;
    for (uint32_t y = 0; y < image.Height(); ++y) {
        uint8_t *dst = frame->data[0] + size_t(frame->linesize[0]) * y;
        if (image.PixelFormat() == pf24Bit) {
            const uint8_t *src = image.Row(y);
            for (uint32_t x = 0; x < image.Width(); ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        } else {
            for (uint32_t x = 0; x < image.Width(); ++x) {
                const TIOColor c = image.PixelColor(int(x), int(y));
                dst[3 * x] = c.R;
                dst[3 * x + 1] = c.G;
                dst[3 * x + 2] = c.B;
            }
        }
    }
    if (avcodec_send_frame(ctx.get(), frame.get()) < 0 || avcodec_send_frame(ctx.get(), nullptr) < 0 ||
        avcodec_receive_packet(ctx.get(), packet.get()) < 0)
        return false;
    png.assign(packet->data, packet->data + packet->size);
    return true;
}

} // namespace tessaly
