// The video decompressor over FFmpeg's decoders and the key-frame-aware frame walk.
#include "media/input/frame_decompressor.h"

#include "media/common/bitmap_header.h"
#include "media/common/byte_order.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
}

namespace tessaly {
namespace {

bool IsRawCompression(uint32_t c)
{
    return c == BI_RGB || c == FourCC("DIB ") || c == FourCC("RGB ") || c == FourCC("RAW ");
}

uint32_t RowBytes(uint32_t width, int bits) { return uint32_t(((uint64_t(width) * uint32_t(bits) + 31) / 32) * 4); }

int PaletteIndexAt(const uint8_t *row, uint32_t x, int bits)
{
    switch (bits) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default: return row[x];
    }
}

} // namespace

TFrameDecompressor::~TFrameDecompressor() { Close(); }

void TFrameDecompressor::Close()
{
    FCodec.reset();
    FPacket.reset();
    FFrame.reset();
    FLast.reset();
    sws_freeContext(FPacked);
    FPacked = nullptr;
    FOutput.clear();
    FInPalette.clear();
    FCodecData.clear();
    FQueue.clear();
    FCurrent = FReceived = -1;
    FOpen = FRaw = FPaletteSent = FHavePicture = FStale = FDrained = false;
}

bool TFrameDecompressor::Open(const uint8_t *format, size_t length, uint32_t fccHandler, int outBits)
{
    Close();
    if (!format || length < 40)
        return false;
    TByteReader r(format, length);
    FInHeader = ReadBitmapHeader(r);
    const int bits = FInHeader.biBitCount;
    FTopDown = FInHeader.biHeight < 0;
    const int64_t height = FTopDown ? -int64_t(FInHeader.biHeight) : FInHeader.biHeight;
    if (FInHeader.biWidth <= 0 || height <= 0 || FInHeader.biWidth > 65535 || height > 65535)
        return false;
    const uint32_t width = uint32_t(FInHeader.biWidth);
    FRaw = IsRawCompression(FInHeader.biCompression) &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (FRaw) {
        const bool same = outBits == bits;
        const bool widen = outBits == 24;
        if (!same && !widen)
            return false;
        FInStride = RowBytes(width, bits);
    } else if (!(outBits == 24 || outBits == 32 || outBits == 16 || (outBits == 8 && bits > 0 && bits <= 8))) {
        return false;
    }
    // The palette of a palettised stream follows the 40-byte header.
    if (bits > 0 && bits <= 8 && length > 40) {
        const size_t bytes = std::min(length - 40, size_t(4) << bits);
        FInPalette.assign(format + 40, format + 40 + bytes);
    }
    if (length > 40)
        FCodecData.assign(format + 40, format + length);

    FOutHeader = BITMAPINFOHEADER{};
    FOutHeader.biSize = 40;
    FOutHeader.biWidth = int32_t(width);
    FOutHeader.biHeight = int32_t(height);
    FOutHeader.biPlanes = 1;
    FOutHeader.biBitCount = uint16_t(outBits);
    FOutHeader.biCompression = BI_RGB;
    FOutStride = RowBytes(width, outBits);
    FOutHeader.biSizeImage = FOutStride * uint32_t(height);
    FOutHeader.biXPelsPerMeter = FInHeader.biXPelsPerMeter;
    FOutHeader.biYPelsPerMeter = FInHeader.biYPelsPerMeter;
    FHeaderSize = 40 + (outBits <= 8 ? size_t(4) << outBits : 0);
    FOutput.assign(FHeaderSize + FOutHeader.biSizeImage, 0);
    WriteHeader();
    if (outBits <= 8 && !FInPalette.empty())
        std::memcpy(FOutput.data() + 40, FInPalette.data(), std::min(FInPalette.size(), FHeaderSize - 40));
    if (!FRaw && !OpenCodec(fccHandler)) {
        Close();
        return false;
    }
    FOpen = true;
    return true;
}

bool TFrameDecompressor::OpenCodec(uint32_t fccHandler)
{
    SilenceFfmpegLog();
    const AVCodecTag *const tags[] = {avformat_get_riff_video_tags(), nullptr};
    AVCodecID id = av_codec_get_id(tags, FInHeader.biCompression);
    if (id == AV_CODEC_ID_NONE && fccHandler != 0)
        id = av_codec_get_id(tags, fccHandler);
    const AVCodec *codec = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!codec)
        return false;
    FCodec.reset(avcodec_alloc_context3(codec));
    FPacket.reset(av_packet_alloc());
    FFrame.reset(av_frame_alloc());
    FLast.reset(av_frame_alloc());
    if (!FCodec || !FPacket || !FFrame || !FLast)
        return false;
    AVCodecContext *c = FCodec.get();
    c->codec_tag = FInHeader.biCompression;
    c->width = FOutHeader.biWidth;
    c->height = FOutHeader.biHeight;
    c->bits_per_coded_sample = FInHeader.biBitCount;
    // Slice threads use the machine's cores without delaying the pictures: one frame in
    // gives that frame out, as the decompression interface needs.
    c->thread_count = 0;
    c->thread_type = FF_THREAD_SLICE;
    if (!FCodecData.empty()) {
        c->extradata = static_cast<uint8_t *>(av_mallocz(FCodecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata)
            return false;
        std::memcpy(c->extradata, FCodecData.data(), FCodecData.size());
        c->extradata_size = int(FCodecData.size());
    }
    return avcodec_open2(c, codec, nullptr) >= 0;
}

void TFrameDecompressor::WriteHeader()
{
    const std::vector<uint8_t> header = BitmapHeaderBytes(FOutHeader);
    std::memcpy(FOutput.data(), header.data(), header.size());
}

void TFrameDecompressor::SetPaletteEntry(size_t i, uint8_t b, uint8_t g, uint8_t r)
{
    uint8_t *q = FOutput.data() + 40 + 4 * i;
    q[0] = b;
    q[1] = g;
    q[2] = r;
    q[3] = 0;
}

bool TFrameDecompressor::CopyRaw(const uint8_t *data, size_t size)
{
    const uint32_t width = uint32_t(FOutHeader.biWidth), height = uint32_t(FOutHeader.biHeight);
    const int inBits = FInHeader.biBitCount, outBits = FOutHeader.biBitCount;
    if (size < size_t(FInStride) * height)
        return false;
    for (uint32_t row = 0; row < height; ++row) {
        // Stored rows run bottom-up unless the header's height is negative.
        const uint8_t *src = data + size_t(FInStride) * (FTopDown ? height - 1 - row : row);
        uint8_t *dst = OutputPixels() + size_t(FOutStride) * row;
        if (inBits == outBits) {
            std::memcpy(dst, src, FInStride);
            continue;
        }
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t *d = dst + 3 * size_t(x);
            if (inBits == 16) {
                const uint16_t v = GetLE16(src + 2 * size_t(x));
                d[0] = uint8_t((v & 0x1F) << 3);
                d[1] = uint8_t(((v >> 5) & 0x1F) << 3);
                d[2] = uint8_t(((v >> 10) & 0x1F) << 3);
            } else if (inBits == 32) {
                std::memcpy(d, src + 4 * size_t(x), 3);
            } else {
                const size_t i = size_t(PaletteIndexAt(src, x, inBits)) * 4;
                for (int k = 0; k < 3; ++k)
                    d[k] = i + size_t(k) < FInPalette.size() ? FInPalette[i + size_t(k)] : 0;
            }
        }
    }
    return true;
}

bool TFrameDecompressor::StoreFrame(const AVFrame *f)
{
    const int width = FOutHeader.biWidth, height = FOutHeader.biHeight;
    if (f->width != width || f->height != height)
        return false;
    const int outBits = FOutHeader.biBitCount;
    if (outBits == 24)
        return FConverter.ToBgr24BottomUp(f, OutputPixels(), int(FOutStride));
    if (outBits == 8) {
        if (f->format != AV_PIX_FMT_PAL8 && f->format != AV_PIX_FMT_GRAY8)
            return false;
        for (size_t i = 0; i < 256; ++i) {
            if (f->format == AV_PIX_FMT_PAL8) {
                const uint8_t *q = f->data[1] + 4 * i; // native ARGB words: B, G, R, A in memory
                SetPaletteEntry(i, q[0], q[1], q[2]);
            } else {
                SetPaletteEntry(i, uint8_t(i), uint8_t(i), uint8_t(i));
            }
        }
        for (int y = 0; y < height; ++y)
            std::memcpy(OutputPixels() + size_t(FOutStride) * size_t(height - 1 - y),
                        f->data[0] + size_t(f->linesize[0]) * size_t(y), size_t(width));
        return true;
    }
    // 16 bits (5-5-5) and 32 bits through the scaler, stored bottom row first.
    const AVPixelFormat target = outBits == 16 ? AV_PIX_FMT_RGB555LE : AV_PIX_FMT_BGR0;
    FPacked = sws_getCachedContext(FPacked, width, height, AVPixelFormat(f->format), width, height, target,
                                   SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!FPacked)
        return false;
    uint8_t *dst[4] = {OutputPixels() + size_t(FOutStride) * size_t(height - 1), nullptr, nullptr, nullptr};
    int dstStride[4] = {-int(FOutStride), 0, 0, 0};
    return sws_scale(FPacked, f->data, f->linesize, 0, height, dst, dstStride) == height;
}

// Palettised codecs take the stream palette as side data of the first packet.
void TFrameDecompressor::AttachPalette(AVPacket *pkt)
{
    if (FPaletteSent || FInPalette.empty())
        return;
    uint8_t *pal = av_packet_new_side_data(pkt, AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    if (pal) {
        std::memset(pal, 0, AVPALETTE_SIZE);
        for (size_t i = 0; i + 3 < FInPalette.size(); i += 4) {
            const uint32_t argb = 0xFF000000u | (uint32_t(FInPalette[i + 2]) << 16) |
                                  (uint32_t(FInPalette[i + 1]) << 8) | FInPalette[i];
            std::memcpy(pal + i, &argb, 4);
        }
    }
    FPaletteSent = true;
}

bool TFrameDecompressor::Decompress(const uint8_t *data, size_t size, bool keyFrame, bool preroll)
{
    if (!FOpen)
        return false;
    if (FRaw)
        return size == 0 || CopyRaw(data, size);
    if (size > 0) {
        AVPacket *pkt = FPacket.get();
        av_packet_unref(pkt);
        pkt->data = const_cast<uint8_t *>(data);
        pkt->size = int(size);
        pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
        AttachPalette(pkt);
        const int sent = avcodec_send_packet(FCodec.get(), pkt);
        av_packet_unref(pkt);
        if (sent < 0 && sent != AVERROR(EAGAIN))
            return false;
        while (avcodec_receive_frame(FCodec.get(), FFrame.get()) >= 0) {
            av_frame_unref(FLast.get());
            av_frame_move_ref(FLast.get(), FFrame.get());
            FHavePicture = FStale = true;
        }
    }
    if (preroll || !FStale)
        return true;
    FStale = false;
    return StoreFrame(FLast.get());
}

void TFrameDecompressor::Flush()
{
    if (FCodec)
        avcodec_flush_buffers(FCodec.get());
    FQueue.clear();
    FCurrent = FReceived = -1;
    FDrained = false;
}

int TFrameDecompressor::Delay() const { return FCodec ? std::max(FCodec->has_b_frames, 0) : 0; }

// Each packet carries its stored frame number as decode time stamp, as FFmpeg's AVI reader
// gives it. A picture comes out stamped with the packet that was being decoded then, so
// its display number is the stamp less the reorder delay; pictures without a stamp (those
// drained at the end) follow the one before.
bool TFrameDecompressor::ReceiveAll()
{
    for (;;) {
        TPictureFramePtr f(av_frame_alloc());
        if (!f)
            return false;
        const int r = avcodec_receive_frame(FCodec.get(), f.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        const int64_t stamp = f->best_effort_timestamp;
        int64_t number = stamp != AV_NOPTS_VALUE ? stamp - Delay() : FReceived + 1;
        if (FReceived >= 0 && number <= FReceived)
            number = FReceived + 1; // display numbers only grow
        FReceived = number;
        FQueue.emplace_back(number, std::move(f));
    }
}

bool TFrameDecompressor::Send(const uint8_t *data, size_t size, bool keyFrame, int64_t frame)
{
    if (!FOpen || FRaw || !FCodec || FDrained)
        return false;
    if (size == 0)
        return true;
    AVPacket *pkt = FPacket.get();
    av_packet_unref(pkt);
    pkt->data = const_cast<uint8_t *>(data);
    pkt->size = int(size);
    pkt->flags = keyFrame ? AV_PKT_FLAG_KEY : 0;
    pkt->dts = frame;
    pkt->pts = AV_NOPTS_VALUE;
    AttachPalette(pkt);
    int sent = avcodec_send_packet(FCodec.get(), pkt);
    if (sent == AVERROR(EAGAIN)) {
        // The decoder wants its pictures taken first.
        if (!ReceiveAll())
            sent = -1;
        else
            sent = avcodec_send_packet(FCodec.get(), pkt);
    }
    av_packet_unref(pkt);
    if (sent < 0)
        return false;
    return ReceiveAll();
}

bool TFrameDecompressor::Drain()
{
    if (!FOpen || FRaw || !FCodec)
        return false;
    if (FDrained)
        return true;
    FDrained = true;
    const int sent = avcodec_send_packet(FCodec.get(), nullptr);
    return (sent >= 0 || sent == AVERROR_EOF) && ReceiveAll();
}

bool TFrameDecompressor::TakeUpTo(int64_t n)
{
    while (!FQueue.empty() && FQueue.front().first <= n) {
        av_frame_unref(FLast.get());
        av_frame_move_ref(FLast.get(), FQueue.front().second.get());
        FCurrent = FQueue.front().first;
        FQueue.pop_front();
        FHavePicture = FStale = true;
    }
    return FCurrent == n;
}

bool TFrameDecompressor::StoreCurrent()
{
    if (FCurrent < 0) {
        // Nothing decodable precedes the frame: it shows black.
        std::memset(OutputPixels(), 0, FOutput.size() - FHeaderSize);
        FStale = false;
        return true;
    }
    if (!FStale)
        return true;
    FStale = false;
    return StoreFrame(FLast.get());
}

const uint8_t *TFrameWalker::GetFrame(int32_t n)
{
    FWalk.clear();
    if (n < 0 || n >= EndFrame()) {
        FLast = -1;
        return nullptr;
    }
    if (n == FLast)
        return FDecompressor.Output();
    if (FDecompressor.Uncompressed())
        return GetRawFrame(n);
    int32_t key = PrevKeyFrame(n);
    if (key < 0) {
        FLast = -1;
        return nullptr;
    }
    // Going on from what the decoder has seen is cheaper unless a key frame lies between.
    bool restart = FLast < 0 || n < FLast || key > FFed;
    for (;;) {
        if (restart) {
            FDecompressor.Flush();
            FFed = key - 1;
        }
        const TAdvance r = Advance(n);
        if (r == adFailed) {
            // A failed walk leaves no trusted picture: the next request starts afresh.
            FLast = FFed = -1;
            return nullptr;
        }
        if (r == adFound || FDecompressor.CurrentNumber() >= 0)
            break;
        // Nothing shows at or before n since the key frame: B-frames of an open group that
        // need the group before, or empty frames right after the key frame.
        const int32_t earlier = key > 0 ? PrevKeyFrame(key - 1) : -1;
        if (earlier < 0)
            break;
        key = earlier;
        restart = true;
    }
    if (!FDecompressor.StoreCurrent()) {
        FLast = FFed = -1;
        return nullptr;
    }
    FLast = n;
    return FDecompressor.Output();
}

// Hands stored frames to the decoder until the picture numbered n comes out (adFound), or
// it is plain that n has none of its own (adMissing: a later picture came out, the frames
// up to n plus the decoder's delay gave none, or the stream ended).
TFrameWalker::TAdvance TFrameWalker::Advance(int32_t n)
{
    const int32_t end = EndFrame();
    for (;;) {
        if (FDecompressor.TakeUpTo(n))
            return adFound;
        if (FDecompressor.HasQueued() || (FFed >= n && FFed >= n + FDecompressor.Delay()))
            return adMissing;
        if (FFed + 1 >= end) {
            if (FDecompressor.Drained())
                return adMissing;
            if (!FDecompressor.Drain())
                return adFailed;
            continue;
        }
        const int32_t k = FFed + 1;
        int32_t bytes = 0;
        if (!ReadInput(k, bytes))
            return adFailed;
        FWalk.emplace_back(k, k < n);
        FFed = k;
        if (!FDecompressor.Send(FInput.data(), size_t(bytes), bytes > 0 && KeyFrame(k), k))
            return adFailed;
    }
}

// Uncompressed frames stand alone: the walk reads from the key frame (every stored
// picture is one) and copies the last.
const uint8_t *TFrameWalker::GetRawFrame(int32_t n)
{
    int32_t start = n;
    if (FLast < 0 || n != FLast + 1) {
        const int32_t key = PrevKeyFrame(n);
        if (key < 0) {
            FLast = -1;
            return nullptr;
        }
        start = key < n && FLast >= key && FLast < n - 1 ? FLast + 1 : key;
    }
    for (int32_t k = start; k <= n; ++k)
        if (!DecodeOne(k, k < n)) {
            FLast = -1;
            return nullptr;
        }
    return FDecompressor.Output();
}

// Reads stored frame k into the input buffer (padded with zeros), growing it as needed.
bool TFrameWalker::ReadInput(int32_t k, int32_t &bytes)
{
    if (FInput.size() < AV_INPUT_BUFFER_PADDING_SIZE)
        ReserveInput(0);
    const int32_t capacity = int32_t(FInput.size() - AV_INPUT_BUFFER_PADDING_SIZE);
    bytes = 0;
    int32_t r = ReadStored(k, FInput.data(), capacity, &bytes);
    if (r == AVIERR_BUFFERTOOSMALL) {
        int32_t need = 0;
        // A size query answers with the size, as success or as "buffer too small".
        const int32_t q = ReadStored(k, nullptr, 0, &need);
        if ((q != AVIERR_OK && q != AVIERR_BUFFERTOOSMALL) || need <= capacity)
            return false;
        ReserveInput(size_t(need));
        r = ReadStored(k, FInput.data(), need, &bytes);
    }
    if (r != AVIERR_OK || bytes < 0 || bytes > int32_t(FInput.size() - AV_INPUT_BUFFER_PADDING_SIZE))
        return false;
    std::memset(FInput.data() + bytes, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    return true;
}

bool TFrameWalker::DecodeOne(int32_t k, bool preroll)
{
    int32_t bytes = 0;
    if (!ReadInput(k, bytes))
        return false;
    FWalk.emplace_back(k, preroll);
    // An empty (dropped) frame decodes nothing; the last picture stays.
    if (!FDecompressor.Decompress(FInput.data(), size_t(bytes), bytes > 0 && KeyFrame(k), preroll))
        return false;
    FLast = k;
    return true;
}

} // namespace tessaly
