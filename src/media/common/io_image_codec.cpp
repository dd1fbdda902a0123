// PNG and JPEG still images decoded through FFmpeg's image decoders into frame images.
#include "media/common/ffmpeg_picture.h"
#include "media/common/io_image_loader.h"

#include <cstring>
#include <new>

namespace tessaly {
namespace {

// Decodes one picture from a whole image file.
TIOLoadStatus DecodePicture(AVCodecID id, const std::vector<uint8_t> &file, TPictureFramePtr &frame)
{
    SilenceFfmpegLog();
    const AVCodec *codec = avcodec_find_decoder(id);
    if (!codec)
        return lsImageFormat;
    TPictureCodecPtr ctx(avcodec_alloc_context3(codec));
    TPicturePacketPtr packet(av_packet_alloc());
    frame.reset(av_frame_alloc());
    if (!ctx || !packet || !frame)
        return lsMemory;
    ctx->thread_count = 1;
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return lsImageFormat;
    if (file.size() > size_t(INT32_MAX) - AV_INPUT_BUFFER_PADDING_SIZE || av_new_packet(packet.get(), int(file.size())) < 0)
        return lsMemory;
    std::memcpy(packet->data, file.data(), file.size());
    if (avcodec_send_packet(ctx.get(), packet.get()) < 0)
        return lsImageFormat;
    avcodec_send_packet(ctx.get(), nullptr);
    if (avcodec_receive_frame(ctx.get(), frame.get()) < 0)
        return lsImageFormat;
    if (frame->width <= 0 || frame->height <= 0 || frame->width > 65535 || frame->height > 65535)
        return lsImageFormat;
    return lsOk;
}

// Copies a palettised or one-bit picture row by row; MONOWHITE pictures get a white
// first entry so the bits stay as decoded.
void CopyIndexed(const AVFrame *f, TIOImage &image, size_t rowBytes)
{
    for (uint32_t y = 0; y < image.Height(); ++y)
        std::memcpy(image.Row(y), f->data[0] + size_t(f->linesize[0]) * y, rowBytes);
}

TIOLoadStatus FrameToImage(const AVFrame *f, std::unique_ptr<TIOImage> &image)
{
    const uint32_t w = uint32_t(f->width), h = uint32_t(f->height);
    try {
        switch (f->format) {
        case AV_PIX_FMT_PAL8: {
            image = std::make_unique<TIOImage>(w, h, pf8Bit);
            std::vector<TIOColor> palette(256);
            for (size_t i = 0; i < 256; ++i) {
                const uint8_t *q = f->data[1] + 4 * i; // native 32-bit ARGB: B, G, R, A in memory
                palette[i] = {q[2], q[1], q[0]};
            }
            image->SetPalette(palette);
            CopyIndexed(f, *image, w);
            return lsOk;
        }
        case AV_PIX_FMT_GRAY8:
            image = std::make_unique<TIOImage>(w, h, pf8Bit);
            image->SetStandardPalette(1);
            CopyIndexed(f, *image, w);
            return lsOk;
        case AV_PIX_FMT_MONOBLACK:
        case AV_PIX_FMT_MONOWHITE: {
            std::vector<TIOColor> palette = {{0, 0, 0}, {255, 255, 255}};
            if (f->format == AV_PIX_FMT_MONOWHITE)
                std::swap(palette[0], palette[1]);
            image = std::make_unique<TIOImage>(w, h, pf1Bit, nullptr, &palette);
            CopyIndexed(f, *image, (w + 7) / 8);
            return lsOk;
        }
        default: {
            image = std::make_unique<TIOImage>(w, h, pf24Bit);
            TPictureConverter converter;
            if (!converter.ToBgr24BottomUp(f, image->Bits(), int(image->Stride()))) {
                image.reset();
                return lsImageFormat;
            }
            return lsOk;
        }
        }
    } catch (const std::bad_alloc &) {
        image.reset();
        return lsMemory;
    }
}

TIOLoadStatus LoadWith(AVCodecID id, const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image)
{
    TPictureFramePtr frame;
    const TIOLoadStatus status = DecodePicture(id, file, frame);
    if (status != lsOk)
        return status;
    return FrameToImage(frame.get(), image);
}

} // namespace

TIOLoadStatus LoadPng(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image)
{
    return LoadWith(AV_CODEC_ID_PNG, file, image);
}

TIOLoadStatus LoadJpeg(const std::vector<uint8_t> &file, std::unique_ptr<TIOImage> &image)
{
    return LoadWith(AV_CODEC_ID_MJPEG, file, image);
}

} // namespace tessaly
