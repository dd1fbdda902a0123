// TLavfVideoSource: opening, the frame grid, frame-exact decoding and stored packets.
#include "media/input/lavf/lavf_video.h"

#include "platform/local_media.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace tessaly {

namespace {

TMediaError OpenError(int r)
{
    if (r == AVERROR(ENOENT))
        return meFileNotFound;
    if (r == AVERROR(EACCES) || r == AVERROR(EISDIR))
        return meFileOpen;
    if (r == AVERROR(ENOMEM))
        return meMemory;
    return meFileFormat;
}

// Demuxers whose stored positions lead straight to a packet: seeking by file position is
// exact there, while their timestamp seeks only estimate.
bool SeeksByPosition(const AVInputFormat *format)
{
    static const char *const names[] = {"mpegts", "mpeg", "mpegvideo", "h264", "hevc", "m4v", "mpegtsraw"};
    for (const char *n : names)
        if (std::strcmp(format->name, n) == 0)
            return true;
    return false;
}

// The clockwise rotation the stream's display matrix asks for: 0, 90, 180 or 270.
int DisplayRotation(const AVStream *stream)
{
    const uint8_t *matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    const double angle = -av_display_rotation_get(reinterpret_cast<const int32_t *>(matrix));
    if (std::isnan(angle))
        return 0;
    int quarter = int(std::lround(angle / 90.0)) % 4;
    if (quarter < 0)
        quarter += 4;
    return quarter * 90;
}

// Copies a bottom-up 24-bit picture of w x h into a bottom-up one turned clockwise by rotation.
void RotateRows(const uint8_t *src, uint32_t w, uint32_t h, uint8_t *dst, uint32_t dstStride, int rotation)
{
    const size_t srcStride = (size_t(w) * 3 + 3) & ~size_t(3);
    const uint32_t W = rotation == 180 ? w : h, H = rotation == 180 ? h : w;
    for (uint32_t ty = 0; ty < H; ++ty) {
        uint8_t *row = dst + size_t(dstStride) * (H - 1 - ty);
        for (uint32_t tx = 0; tx < W; ++tx) {
            uint32_t sx, sy;
            if (rotation == 90) {
                sx = ty;
                sy = h - 1 - tx;
            } else if (rotation == 180) {
                sx = w - 1 - tx;
                sy = h - 1 - ty;
            } else {
                sx = w - 1 - ty;
                sy = tx;
            }
            std::memcpy(row + 3 * size_t(tx), src + srcStride * (h - 1 - sy) + 3 * size_t(sx), 3);
        }
    }
}

} // namespace

uint32_t LavfCodecTag(const AVCodecParameters *parameters)
{
    const uint32_t tag = parameters->codec_tag;
    bool printable = tag != 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned c = (tag >> (8 * i)) & 0xFF;
        printable = printable && c >= 0x20 && c < 0x7F;
    }
    if (printable)
        return tag;
    const AVCodecTag *const tables[] = {avformat_get_riff_video_tags(), avformat_get_mov_video_tags(), nullptr};
    return av_codec_get_tag(tables, parameters->codec_id);
}

struct TLavfVideoSource::TDemuxer {
    AVFormatContext *Ctx = nullptr;
    TPicturePacketPtr Packet{av_packet_alloc()};
    int32_t Current = -1;  // index of the packet held in Packet, -1 when unknown
    bool Pending = false;  // Packet is read but not yet decoded
    bool Eof = false;
    bool ByPosition = false;
    ~TDemuxer() { avformat_close_input(&Ctx); }
    int32_t NextToRead() const { return Current < 0 ? -1 : Pending ? Current : Current + 1; }
};

TLavfVideoSource::TLavfVideoSource() = default;
TLavfVideoSource::~TLavfVideoSource() = default;

const AVCodecParameters *TLavfVideoSource::CodecParameters() const
{
    if (!FDecodeDemux || FIndex.Stream < 0)
        return nullptr;
    return FDecodeDemux->Ctx->streams[FIndex.Stream]->codecpar;
}

bool TLavfVideoSource::Open(const std::string &fileName)
{
    SilenceFfmpegLog();
    FStatus = meOk;
    FFileName = fileName;
    auto demux = std::make_unique<TDemuxer>();
    int r = OpenLocalMedia(fileName, &demux->Ctx);
    if (r < 0)
        return Fail(OpenError(r));
    if (avformat_find_stream_info(demux->Ctx, nullptr) < 0)
        return Fail(meFileFormat);
    // The main video stream; attached pictures (cover art) are no video.
    int stream = av_find_best_stream(demux->Ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream >= 0 && (demux->Ctx->streams[stream]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        stream = -1;
    for (unsigned i = 0; stream < 0 && i < demux->Ctx->nb_streams; ++i) {
        const AVStream *s = demux->Ctx->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            stream = int(i);
    }
    if (stream < 0)
        return Fail(meNoVideoStream);
    AVStream *st = demux->Ctx->streams[stream];
    const AVCodecParameters *par = st->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > 65535 || par->height > 65535)
        return Fail(meFrameFormat);
    const AVCodec *decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder)
        return Fail(meCodec);
    FCodec.reset(avcodec_alloc_context3(decoder));
    FFrame.reset(av_frame_alloc());
    if (!FCodec || !FFrame || avcodec_parameters_to_context(FCodec.get(), par) < 0)
        return Fail(meMemory);
    FCodec->thread_count = 0;
    FCodec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    FCodec->pkt_timebase = st->time_base;
    if (avcodec_open2(FCodec.get(), decoder, nullptr) < 0)
        return Fail(meCodec);

    TLavfFileKey key;
    const bool keyed = LavfFileKey(fileName, key);
    FIndex = TLavfIndex();
    FFromCache = keyed && LoadLavfIndex(key, stream, FIndex) && FIndex.TimeBaseNum == st->time_base.num &&
                 FIndex.TimeBaseDen == st->time_base.den;
    if (!FFromCache) {
        if (!FIndex.Build(demux->Ctx, stream))
            return Fail(FIndex.Packets.empty() ? meFileRead : meNoVideoStream);
        if (keyed)
            SaveLavfIndex(key, FIndex); // a cache that cannot be written only costs time
    }
    FByPos.clear();
    FMaxPacket = 0;
    for (size_t i = 0; i < FIndex.Packets.size(); ++i) {
        const TLavfPacket &p = FIndex.Packets[i];
        if (p.Pos >= 0)
            FByPos.emplace(p.Pos, int32_t(i));
        FMaxPacket = std::max(FMaxPacket, p.Size);
    }
    demux->ByPosition = SeeksByPosition(demux->Ctx->iformat) && !(demux->Ctx->iformat->flags & AVFMT_NO_BYTE_SEEK);
    for (unsigned i = 0; i < demux->Ctx->nb_streams; ++i)
        demux->Ctx->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    FFacts = TLavfVideoFacts();
    FFacts.Container = demux->Ctx->iformat->long_name ? demux->Ctx->iformat->long_name : demux->Ctx->iformat->name;
    const AVCodecDescriptor *desc = avcodec_descriptor_get(par->codec_id);
    FFacts.Codec = desc ? (desc->long_name ? desc->long_name : desc->name) : "unknown";
    FFacts.CodecLine = avcodec_get_name(par->codec_id);
    if (const char *profile = avcodec_profile_name(par->codec_id, par->profile)) {
        FFacts.Codec += std::string(" (") + profile + ")";
        FFacts.CodecLine += std::string(" (") + profile + ")";
    }
    if (const char *pixels = av_get_pix_fmt_name(AVPixelFormat(par->format)))
        FFacts.CodecLine += std::string(" / ") + pixels;
    FFacts.StoredWidth = uint32_t(par->width);
    FFacts.StoredHeight = uint32_t(par->height);
    if (const AVPixFmtDescriptor *pix = av_pix_fmt_desc_get(AVPixelFormat(par->format)))
        FFacts.BitDepth = pix->comp[0].depth;
    FFacts.Rotation = DisplayRotation(st);
    FFacts.FieldOrder = int(par->field_order);
    FFacts.StoredFrames = FIndex.FrameCount();
    const bool turned = FFacts.Rotation == 90 || FFacts.Rotation == 270;
    FWidth = turned ? FFacts.StoredHeight : FFacts.StoredWidth;
    FHeight = turned ? FFacts.StoredWidth : FFacts.StoredHeight;
    if (!SetUpGrid(st))
        return Fail(meStreamFormat);
    FDecodeDemux = std::move(demux);
    FCurrent = -1;
    FLive = false;
    // Room for the pictures before a request: up to 64, within about 192 MB.
    const uint64_t pictureBytes = uint64_t(FFacts.StoredWidth) * FFacts.StoredHeight * 3 / 2 *
                                  (FFacts.BitDepth > 8 ? 2 : 1);
    FRecentLimit = int32_t(std::clamp<uint64_t>((uint64_t(192) << 20) / std::max<uint64_t>(pictureBytes, 1), 2, 64));
    FRecent.clear();
    return true;
}

// The frame grid: the nominal rate is that of the most common frame duration; a stream
// whose pictures stray more than half a frame from that grid is of variable rate, and
// grid frame n then shows the picture displayed at time n / rate.
bool TLavfVideoSource::SetUpGrid(const AVStream *stream)
{
    const int32_t count = FIndex.FrameCount();
    if (count < 1)
        return false;
    const AVRational tb{FIndex.TimeBaseNum, FIndex.TimeBaseDen};
    std::map<int64_t, int32_t> durations;
    for (int32_t i = 1; i < count; ++i)
        ++durations[FIndex.Frame(i).Pts - FIndex.Frame(i - 1).Pts];
    int64_t modal = 0;
    int32_t most = 0;
    for (const auto &[d, c] : durations)
        if (d > 0 && c > most) {
            modal = d;
            most = c;
        }
    if (modal <= 0)
        modal = FIndex.Frame(0).Duration > 0 ? FIndex.Frame(0).Duration : 0;
    // Ticks per frame of a candidate rate; a rate the container states wins when it fits
    // the common duration within a tick (millisecond time bases round 29.97 fps to 33/34).
    const auto ticks = [&](AVRational rate) { return (long double)tb.den / ((long double)tb.num * rate.num / rate.den); };
    AVRational rate{0, 1};
    for (AVRational candidate : {stream->r_frame_rate, stream->avg_frame_rate})
        if (rate.num == 0 && candidate.num > 0 && candidate.den > 0 &&
            (modal <= 0 || std::fabs(double(ticks(candidate) - (long double)modal)) <= 1.0))
            rate = candidate;
    if (rate.num == 0 && modal > 0)
        av_reduce(&rate.num, &rate.den, int64_t(tb.den), int64_t(tb.num) * modal, INT32_MAX);
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{25, 1};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
    FRate = rate.num;
    FScale = rate.den;
    const long double step = ticks(rate);
    const int64_t first = FIndex.Frame(0).Pts;
    bool variable = false;
    for (int32_t i = 0; i < count && !variable; ++i)
        variable = std::fabs(double((long double)(FIndex.Frame(i).Pts - first) - i * step)) > double(step / 2);
    FFacts.VariableRate = variable;
    FGrid.clear();
    if (!variable) {
        FFrameCount = count;
        return true;
    }
    const TLavfPacket &last = FIndex.Frame(count - 1);
    // The last picture lasts its packet's duration, else as long as the one before it.
    const int64_t lastDuration = last.Duration > 0 ? last.Duration
                                 : count > 1     ? last.Pts - FIndex.Frame(count - 2).Pts
                                                 : 0;
    const long double end = (long double)(last.Pts - first) + (lastDuration > 0 ? lastDuration : step);
    const int64_t frames = std::max<int64_t>(1, std::llround(end / step));
    if (frames > INT32_MAX - 1)
        return false;
    FGrid.resize(size_t(frames));
    int32_t shown = 0;
    for (int64_t n = 0; n < frames; ++n) {
        // The last picture that starts no later than the grid time (a tick of rounding allowed).
        const long double t = (long double)first + n * step + 1;
        while (shown + 1 < count && (long double)FIndex.Frame(shown + 1).Pts <= t)
            ++shown;
        FGrid[size_t(n)] = shown;
    }
    FFrameCount = int32_t(frames);
    return true;
}

int32_t TLavfVideoSource::SourceFrame(int32_t n) const
{
    if (n < 0 || n >= FFrameCount)
        return -1;
    return FGrid.empty() ? n : FGrid[size_t(n)];
}

int32_t TLavfVideoSource::Identify(const AVPacket &packet, int32_t expected) const
{
    const auto matches = [&](int32_t i) {
        const TLavfPacket &p = FIndex.Packets[size_t(i)];
        const bool samePos = p.Pos >= 0 && packet.pos >= 0;
        if (samePos && p.Pos != packet.pos)
            return false;
        const bool ptsAgrees = packet.pts == AV_NOPTS_VALUE || p.Pts == kNoTimestamp || p.Pts == packet.pts;
        // A decode time the demuxer guessed (Matroska stores none) can differ after a seek
        // from the one guessed on the pass from the start; the position and the presentation
        // time then still name the packet.
        if (packet.dts != AV_NOPTS_VALUE && p.Dts != kNoTimestamp && p.Dts != packet.dts)
            return samePos && packet.pts != AV_NOPTS_VALUE && p.Pts == packet.pts;
        return ptsAgrees;
    };
    if (expected >= 0 && size_t(expected) < FIndex.Packets.size() && matches(expected))
        return expected;
    if (packet.pos >= 0) {
        auto it = FByPos.find(packet.pos);
        if (it != FByPos.end() && matches(it->second))
            return it->second;
    }
    return -1;
}

bool TLavfVideoSource::ReadNext(TDemuxer &d)
{
    av_packet_unref(d.Packet.get());
    d.Pending = false;
    for (;;) {
        const int r = av_read_frame(d.Ctx, d.Packet.get());
        if (r < 0) {
            d.Eof = true;
            return false;
        }
        if (d.Packet->stream_index == FIndex.Stream)
            break;
        av_packet_unref(d.Packet.get());
    }
    d.Current = Identify(*d.Packet, d.Current >= 0 ? d.Current + 1 : -1);
    d.Pending = true;
    return true;
}

// Places the demuxer so that the next packet read lies at or before packet `target` in
// decode order and is known by the index. Timestamp seeks that overshoot are retried
// from earlier key packets, and in the end from the start of the file.
bool TLavfVideoSource::Seek(TDemuxer &d, int32_t target)
{
    const auto landed = [&]() {
        d.Eof = false;
        d.Current = -1;
        return ReadNext(d) && d.Current >= 0 && d.Current <= target;
    };
    int32_t key = target;
    for (int attempt = 0; attempt < 4 && key >= 0; ++attempt) {
        const TLavfPacket &k = FIndex.Packets[size_t(key)];
        if (d.ByPosition && k.Pos >= 0) {
            if (av_seek_frame(d.Ctx, -1, k.Pos, AVSEEK_FLAG_BYTE) >= 0 && landed())
                return true;
        } else {
            for (int64_t ts : {k.Pts, k.Dts})
                if (ts != kNoTimestamp && av_seek_frame(d.Ctx, FIndex.Stream, ts, AVSEEK_FLAG_BACKWARD) >= 0 &&
                    landed())
                    return true;
        }
        key = FIndex.PreviousKey(key);
    }
    const TLavfPacket &first = FIndex.Packets.front();
    if (d.ByPosition && first.Pos >= 0 && av_seek_frame(d.Ctx, -1, first.Pos, AVSEEK_FLAG_BYTE) >= 0 && landed())
        return true;
    const int64_t start = first.Dts != kNoTimestamp ? first.Dts : first.Pts;
    if (avformat_seek_file(d.Ctx, FIndex.Stream, INT64_MIN, start, start, 0) >= 0 && landed())
        return true;
    return avformat_seek_file(d.Ctx, -1, INT64_MIN, INT64_MIN, INT64_MIN, AVSEEK_FLAG_BYTE) >= 0 && landed();
}

// Decodes on until the picture of index frame `frame` comes out. Pictures shown before it
// are not needed: their packets are skipped when no other picture refers to them.
int32_t TLavfVideoSource::FrameOfPts(int64_t pts) const
{
    const std::vector<int32_t> &frames = FIndex.Frames();
    auto it = std::lower_bound(frames.begin(), frames.end(), pts, [this](int32_t p, int64_t value) {
        return FIndex.Packets[size_t(p)].Pts < value;
    });
    if (it == frames.end() || FIndex.Packets[size_t(*it)].Pts != pts)
        return -1;
    return int32_t(it - frames.begin());
}

void TLavfVideoSource::KeepRecent(int32_t frame, const AVFrame *picture)
{
    for (const auto &[f, p] : FRecent)
        if (f == frame)
            return;
    TPictureFramePtr copy(av_frame_clone(picture));
    if (!copy)
        return;
    FRecent.emplace_back(frame, std::move(copy));
    while (int32_t(FRecent.size()) > FRecentLimit)
        FRecent.pop_front();
}

bool TLavfVideoSource::DecodeSource(int32_t frame)
{
    FPreviousRequest = FLastRequest;
    FLastRequest = frame;
    if (frame == FCurrent)
        return true;
    for (const auto &[f, picture] : FRecent)
        if (f == frame) {
            av_frame_unref(FFrame.get());
            if (av_frame_ref(FFrame.get(), picture.get()) < 0)
                break;
            FCurrent = frame;
            return true;
        }
    const int64_t target = FIndex.Frame(frame).Pts;
    const int32_t start = FIndex.StartPacket(frame);
    TDemuxer &d = *FDecodeDemux;
    const int32_t next = d.NextToRead();
    if (FLive && !FDrained && FCurrent >= 0 && next >= 0 && start <= next && target > FLastOutPts &&
        DecodeFrom(frame, -1))
        return true;
    if (DecodeFrom(frame, start))
        return true;
    // A key flag the decoder could not start from: one group earlier.
    const int32_t earlier = FIndex.PreviousKey(start);
    return earlier >= 0 && DecodeFrom(frame, earlier);
}

// With start >= 0 the decoder is flushed and the demuxer placed at that packet first.
bool TLavfVideoSource::DecodeFrom(int32_t frame, int32_t start)
{
    TDemuxer &d = *FDecodeDemux;
    AVCodecContext *c = FCodec.get();
    const int64_t target = FIndex.Frame(frame).Pts;
    // A few pictures before the target are kept, all that fit while the requests step
    // backwards; those shown earlier than that are not needed, and the ones nothing
    // refers to are not decoded at all.
    const int32_t keep = FPreviousRequest == frame + 1 ? FRecentLimit : std::min(FRecentLimit, 8);
    const int64_t keepFrom = FIndex.Frame(std::max(0, frame - keep)).Pts;
    FCurrent = -1;
    if (start >= 0) {
        avcodec_flush_buffers(c);
        FDrained = false;
        FLastOutPts = INT64_MIN;
        FLive = Seek(d, start);
        if (!FLive)
            return false;
    }
    for (;;) {
        const int r = avcodec_receive_frame(c, FFrame.get());
        if (r == 0) {
            const int64_t pts = FFrame->pts != AV_NOPTS_VALUE ? FFrame->pts : FFrame->best_effort_timestamp;
            FLastOutPts = pts;
            if (pts == target) {
                FCurrent = frame;
                KeepRecent(frame, FFrame.get());
                return true;
            }
            if (pts != AV_NOPTS_VALUE && pts >= keepFrom && pts < target) {
                const int32_t shown = FrameOfPts(pts);
                if (shown >= 0)
                    KeepRecent(shown, FFrame.get());
            }
            if (pts != AV_NOPTS_VALUE && pts > target)
                break;
            continue;
        }
        if (r != AVERROR(EAGAIN))
            break;
        if (d.Pending) {
            const TLavfPacket *p = d.Current >= 0 ? &FIndex.Packets[size_t(d.Current)] : nullptr;
            c->skip_frame = p && p->Pts != kNoTimestamp && p->Pts < keepFrom ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            // A packet stored without a presentation time gets the one the index worked out,
            // so its picture comes out with it.
            if (p && d.Packet->pts == AV_NOPTS_VALUE && p->Pts != kNoTimestamp)
                d.Packet->pts = p->Pts;
            const int s = avcodec_send_packet(c, d.Packet.get());
            if (s == AVERROR(EAGAIN))
                continue; // output first; the packet stays pending
            d.Pending = false;
            continue;     // a damaged packet is passed over
        }
        if (!d.Eof && ReadNext(d))
            continue;
        if (FDrained)
            break;
        avcodec_send_packet(c, nullptr);
        FDrained = true;
    }
    FLive = false;
    return false;
}

bool TLavfVideoSource::PictureToImage(TIOImage &image)
{
    const AVFrame *f = FFrame.get();
    if (uint32_t(f->width) != FFacts.StoredWidth || uint32_t(f->height) != FFacts.StoredHeight)
        return Fail(meFrameFormat);
    const int rotation = FFacts.Rotation;
    bool ok;
    if (rotation == 0) {
        ok = FConverter.ToBgr24BottomUp(f, image.Bits(), int(image.Stride()));
    } else {
        const size_t stride = (size_t(f->width) * 3 + 3) & ~size_t(3);
        FScratch.resize(stride * size_t(f->height));
        ok = FConverter.ToBgr24BottomUp(f, FScratch.data(), int(stride));
        if (ok)
            RotateRows(FScratch.data(), uint32_t(f->width), uint32_t(f->height), image.Bits(), image.Stride(),
                       rotation);
    }
    if (!ok)
        return Fail(meFrameFormat);
    image.Changed(TIORect{0, 0, int(image.Width()) - 1, int(image.Height()) - 1});
    return true;
}

bool TLavfVideoSource::GetFrame(int32_t n, TIOImage &image)
{
    const int32_t frame = FDecodeDemux ? SourceFrame(n) : -1;
    if (frame < 0)
        return Fail(meParam);
    if (image.Width() != FWidth || image.Height() != FHeight || image.PixelFormat() != pf24Bit)
        return Fail(meFrameFormat);
    if (!DecodeSource(frame))
        return Fail(meFileRead);
    return PictureToImage(image);
}

bool TLavfVideoSource::IsKeyFrame(int32_t n)
{
    const int32_t frame = SourceFrame(n);
    return frame >= 0 && (FIndex.Frame(frame).Flags & lpKey);
}

bool TLavfVideoSource::ReadPacket(int32_t n, TVideoPacket &packet)
{
    const int32_t frame = FDecodeDemux ? SourceFrame(n) : -1;
    if (frame < 0)
        return Fail(meParam);
    const int32_t wanted = FIndex.Frames()[size_t(frame)];
    if (!FPacketDemux) {
        // Stored reads have a demuxer of their own so that they never disturb decoding.
        auto d = std::make_unique<TDemuxer>();
        if (OpenLocalMedia(FFileName, &d->Ctx) < 0 || avformat_find_stream_info(d->Ctx, nullptr) < 0 ||
            unsigned(FIndex.Stream) >= d->Ctx->nb_streams)
            return Fail(meFileRead);
        for (unsigned i = 0; i < d->Ctx->nb_streams; ++i)
            d->Ctx->streams[i]->discard = int(i) == FIndex.Stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
        d->ByPosition = FDecodeDemux->ByPosition;
        FPacketDemux = std::move(d);
    }
    TDemuxer &d = *FPacketDemux;
    // Read on when the packet lies ahead of the demuxer, else seek to a key packet before it.
    const bool ahead = d.Current >= 0 && !d.Eof && (d.Pending ? d.Current <= wanted : d.Current < wanted);
    if (!ahead) {
        const int32_t key = FIndex.PreviousKey(wanted + 1);
        if (!Seek(d, key >= 0 ? key : wanted))
            return Fail(meFileRead);
    }
    if (!d.Pending && !ReadNext(d))
        return Fail(meFileRead);
    while (d.Current != wanted)
        if (d.Current > wanted || !ReadNext(d))
            return Fail(meFileRead);
    d.Pending = false;
    const TLavfPacket &p = FIndex.Packets[size_t(wanted)];
    packet.Data = d.Packet->data;
    packet.Size = d.Packet->size;
    packet.Pts = p.Pts;
    packet.Dts = p.Dts;
    packet.KeyFrame = (p.Flags & lpKey) != 0;
    return true;
}

} // namespace tessaly
