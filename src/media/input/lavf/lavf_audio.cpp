// The libavformat/libavcodec audio path: one indexing pass that decodes every audio stream
// once (its exact length, and per packet how many samples were out after it), kept in the
// index cache so that later opens read it instead of decoding again; then reads that decode
// again at any position by seeking to a packet some way before the target and decoding
// forward.
#include "media/input/lavf/lavf_audio.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "media/common/ffmpeg_picture.h"
#include "media/input/lavf/lavf_audio_format.h"
#include "media/input/lavf/lavf_audio_index.h"
#include "platform/local_media.h"

namespace tessaly {

namespace {

struct TFormatCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct TCodecCloser {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct TPacketCloser {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};
struct TFrameCloser {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
using TFormatPtr = std::unique_ptr<AVFormatContext, TFormatCloser>;
using TCodecPtr = std::unique_ptr<AVCodecContext, TCodecCloser>;
using TPacketPtr = std::unique_ptr<AVPacket, TPacketCloser>;
using TFramePtr = std::unique_ptr<AVFrame, TFrameCloser>;

static_assert(AV_NOPTS_VALUE == kNoTimestamp);

using TPacketEntry = TLavfAudioPacket;
using TStreamIndex = TLavfAudioStreamIndex;

TMediaError OpenError(int r)
{
    if (r == AVERROR(ENOENT))
        return meFileNotFound;
    if (r == AVERROR(EACCES))
        return meFileOpen;
    if (r == AVERROR(ENOMEM))
        return meMemory;
    return meFileFormat;
}

// Opens the file and reads its stream information; non-audio streams are left undemuxed.
int OpenContext(const std::string &file, TFormatPtr &out)
{
    AVFormatContext *raw = nullptr;
    int r = OpenLocalMedia(file, &raw);
    if (r < 0)
        return r;
    TFormatPtr ctx(raw);
    if ((r = avformat_find_stream_info(ctx.get(), nullptr)) < 0)
        return r;
    out = std::move(ctx);
    return 0;
}

TCodecPtr OpenDecoder(const AVStream *st)
{
    const AVCodec *codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return nullptr;
    TCodecPtr dec(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0)
        return nullptr;
    dec->pkt_timebase = st->time_base;
    dec->thread_count = 1;
    if (avcodec_open2(dec.get(), codec, nullptr) < 0)
        return nullptr;
    return dec;
}

// Packets decoded ahead of a seek target: enough for the decoder's state (overlapping
// transforms, the MPEG audio bit reservoir, prediction) to equal a linear decode's.
int CodecPreroll(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3: return 10;
    case AV_CODEC_ID_OPUS: return 25;
    case AV_CODEC_ID_VORBIS: return 4;
    default: return 3;
    }
}

// Makes a packet carry exactly the skip record and discard flag of the indexing pass, so the
// decoder trims the same samples however the packet was reached.
void RestorePacketProps(AVPacket *pkt, const TPacketEntry &e)
{
    for (int i = 0; i < pkt->side_data_elems; ++i) {
        if (pkt->side_data[i].type != AV_PKT_DATA_SKIP_SAMPLES)
            continue;
        av_freep(&pkt->side_data[i].data);
        std::memmove(&pkt->side_data[i], &pkt->side_data[i + 1],
                     size_t(pkt->side_data_elems - i - 1) * sizeof *pkt->side_data);
        --pkt->side_data_elems;
        --i;
    }
    if (e.HasSkip) {
        if (uint8_t *sd = av_packet_new_side_data(pkt, AV_PKT_DATA_SKIP_SAMPLES, kSkipRecordBytes))
            std::memcpy(sd, e.Skip, kSkipRecordBytes);
    }
    pkt->flags = e.Discard ? (pkt->flags | AV_PKT_FLAG_DISCARD) : (pkt->flags & ~AV_PKT_FLAG_DISCARD);
}

std::string MetadataText(AVDictionary *m, const char *key)
{
    const AVDictionaryEntry *e = av_dict_get(m, key, nullptr, 0);
    return e && e->value ? e->value : "";
}

char StreamTypeLetter(AVMediaType t)
{
    switch (t) {
    case AVMEDIA_TYPE_AUDIO: return 'a';
    case AVMEDIA_TYPE_VIDEO: return 'v';
    case AVMEDIA_TYPE_SUBTITLE: return 's';
    case AVMEDIA_TYPE_DATA: return 'd';
    case AVMEDIA_TYPE_ATTACHMENT: return 't';
    default: return '?';
    }
}

uint32_t StreamFcc(AVMediaType t)
{
    switch (t) {
    case AVMEDIA_TYPE_AUDIO: return streamtypeAUDIO;
    case AVMEDIA_TYPE_VIDEO: return streamtypeVIDEO;
    case AVMEDIA_TYPE_SUBTITLE: return streamtypeTEXT;
    default: return 0;
    }
}

// A stream's display text from what the container says of it.
TLavfStreamText StreamText(const AVStream *st)
{
    const AVCodecParameters *par = st->codecpar;
    TLavfStreamText t;
    t.Index = st->index;
    t.Type = StreamTypeLetter(par->codec_type);
    t.Codec = par->codec_id == AV_CODEC_ID_NONE ? "unknown" : avcodec_get_name(par->codec_id);
    t.Language = MetadataText(st->metadata, "language");
    t.Title = MetadataText(st->metadata, "title");
    if (st->start_time != AV_NOPTS_VALUE)
        t.StartTime = double(st->start_time) * av_q2d(st->time_base);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        t.Rate = par->sample_rate;
        t.Channels = par->ch_layout.nb_channels;
        char layout[64] = {};
        if (par->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC &&
            av_channel_layout_describe(&par->ch_layout, layout, sizeof layout) >= 0)
            t.Layout = layout;
    }
    return t;
}

} // namespace

struct TLavfAudio::TImpl {
    std::string File;
    AVIFILEINFO FileInfo{};
    std::vector<TAudioStreamRecord> Records;
    std::vector<TLavfStreamText> Texts;
    std::vector<TLavfChapterText> Chapters;
    std::string Container;
    std::vector<std::unique_ptr<TStreamIndex>> Index; // per container stream; null when not decodable
    std::vector<int> Preroll;                          // per container stream: CodecPreroll
    bool FromCache = false;
    int PrerollOverride = -1;

    // The reading state: one stream decoded at a time.
    TFormatPtr Ctx;
    TCodecPtr Dec;
    TPacketPtr Pending; // a packet read while finding the position after a seek
    TFramePtr Frame;
    int Stream = -1;
    int64_t Next = -1;     // ordinal of the next packet the demuxer gives; -1: unknown
    int64_t FeedFrom = 0;  // packets before this ordinal are not decoded (before the pre-roll)
    bool Drained = false;
    std::vector<uint8_t> Buf; // the samples of the last packet decoded
    int64_t BufFirst = 0, BufCount = 0;

    TMediaError IndexFile();
    TMediaError DecodeAll(AVFormatContext *ctx);
    bool UseCached(AVFormatContext *ctx, TLavfAudioIndex &cached);
    TMediaError DecodeIndexFrames(AVCodecContext *dec, TStreamIndex &ix, AVFrame *frame, bool &bad);
    void Describe();
    TMediaError StartReading(int stream);
    TMediaError Restart(int64_t feedFrom);
    TMediaError SeekTo(int64_t packet);
    TMediaError DecodeNext();
    TMediaError ReadPacket(AVPacket *pkt, bool &eof);
    TMediaError ReceiveAll(int64_t end);
};

TMediaError TLavfAudio::TImpl::DecodeIndexFrames(AVCodecContext *dec, TStreamIndex &ix, AVFrame *frame, bool &bad)
{
    for (;;) {
        int r = avcodec_receive_frame(dec, frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return meOk;
        if (r == AVERROR(ENOMEM))
            return meMemory;
        if (r < 0)
            continue; // a damaged packet: skipped, as a plain decode skips it
        if (ix.Total == 0 && ix.Shape.Type == stNone)
            ix.Shape = ShapeOfFrame(frame, dec->bits_per_raw_sample);
        if (!ix.Shape.Matches(frame))
            bad = true; // the format changes inside the stream
        ix.Total += frame->nb_samples;
        av_frame_unref(frame);
    }
}

TMediaError TLavfAudio::TImpl::IndexFile()
{
    TFormatPtr ctx;
    if (int r = OpenContext(File, ctx); r < 0)
        return OpenError(r);
    TLavfFileKey key;
    const bool keyed = LavfFileKey(File, key);
    TLavfAudioIndex cached;
    FromCache = keyed && LoadLavfAudioIndex(key, cached) && UseCached(ctx.get(), cached);
    if (!FromCache) {
        if (TMediaError m = DecodeAll(ctx.get()); m != meOk)
            return m;
        if (keyed) {
            // A cache that cannot be written only costs the next open a decode.
            cached.Streams = std::move(Index);
            SaveLavfAudioIndex(key, cached);
            Index = std::move(cached.Streams);
        }
    }
    Preroll.assign(Index.size(), 0);
    for (size_t i = 0; i < Index.size(); ++i)
        if (Index[i])
            Preroll[i] = CodecPreroll(AVCodecID(Index[i]->CodecId));
    Container = ctx->iformat->long_name ? ctx->iformat->long_name : ctx->iformat->name;
    Ctx = std::move(ctx); // kept for the stream texts; reading opens its own context
    Describe();
    Ctx.reset();
    return std::any_of(Index.begin(), Index.end(), [](const auto &ix) { return ix != nullptr; }) ? meOk
                                                                                                 : meNoAudioStream;
}

// Takes a cached index when it describes these streams: the same number of them, and each
// indexed one an audio stream of the same codec that can still be decoded here.
bool TLavfAudio::TImpl::UseCached(AVFormatContext *ctx, TLavfAudioIndex &cached)
{
    if (cached.Streams.size() != ctx->nb_streams)
        return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVCodecParameters *par = ctx->streams[i]->codecpar;
        const TStreamIndex *ix = cached.Streams[i].get();
        if (ix && (par->codec_type != AVMEDIA_TYPE_AUDIO || int(par->codec_id) != ix->CodecId ||
                   !avcodec_find_decoder(par->codec_id)))
            return false;
    }
    Index = std::move(cached.Streams);
    return true;
}

// The indexing pass: every audio stream decoded once from the start to the end.
TMediaError TLavfAudio::TImpl::DecodeAll(AVFormatContext *ctx)
{
    const unsigned n = ctx->nb_streams;
    Index.clear();
    Index.resize(n);
    std::vector<TCodecPtr> decoders(n);
    std::unique_ptr<bool[]> bad(new bool[n]());
    for (unsigned i = 0; i < n; ++i) {
        AVStream *st = ctx->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && (decoders[i] = OpenDecoder(st))) {
            Index[i] = std::make_unique<TStreamIndex>();
            Index[i]->CodecId = int(st->codecpar->codec_id);
        } else {
            st->discard = AVDISCARD_ALL;
        }
    }
    TPacketPtr pkt(av_packet_alloc());
    TFramePtr frame(av_frame_alloc());
    if (!pkt || !frame)
        return meMemory;
    int r = 0;
    while ((r = av_read_frame(ctx, pkt.get())) >= 0) {
        const int s = pkt->stream_index;
        if (s < 0 || unsigned(s) >= n || !Index[size_t(s)]) {
            av_packet_unref(pkt.get());
            continue;
        }
        TStreamIndex &ix = *Index[size_t(s)];
        TPacketEntry e;
        e.Pos = pkt->pos;
        e.Dts = pkt->dts;
        e.Pts = pkt->pts;
        e.Discard = (pkt->flags & AV_PKT_FLAG_DISCARD) != 0;
        size_t size = 0;
        if (const uint8_t *sd = av_packet_get_side_data(pkt.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
            sd && size >= kSkipRecordBytes) {
            e.HasSkip = true;
            std::memcpy(e.Skip, sd, kSkipRecordBytes);
        }
        r = avcodec_send_packet(decoders[size_t(s)].get(), pkt.get());
        av_packet_unref(pkt.get());
        if (r == AVERROR(ENOMEM))
            return meMemory;
        if (TMediaError m = DecodeIndexFrames(decoders[size_t(s)].get(), ix, frame.get(), bad[size_t(s)]); m != meOk)
            return m;
        e.End = ix.Total;
        ix.Packets.push_back(e);
    }
    if (r != AVERROR_EOF && r < 0 && r != AVERROR_INVALIDDATA)
        return meFileRead;
    for (unsigned i = 0; i < n; ++i) {
        if (!Index[i])
            continue;
        TStreamIndex &ix = *Index[i];
        avcodec_send_packet(decoders[i].get(), nullptr);
        if (TMediaError m = DecodeIndexFrames(decoders[i].get(), ix, frame.get(), bad[i]); m != meOk)
            return m;
        if (bad[i] || ix.Total <= 0 || ix.Shape.Type == stNone) {
            Index[i].reset(); // nothing decoded, a format it cannot deliver, or one that changes
            continue;
        }
        ix.FindAnchors();
    }
    return meOk;
}

// The stream records and display texts of every stream, the chapters and file description.
void TLavfAudio::TImpl::Describe()
{
    AVFormatContext *ctx = Ctx.get();
    const std::string base = File.substr(File.find_last_of('/') + 1);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream *st = ctx->streams[i];
        const AVCodecParameters *par = st->codecpar;
        TLavfStreamText t = StreamText(st);
        TAudioStreamRecord rec;
        rec.Stream = int(i);
        rec.Info.fccType = StreamFcc(par->codec_type);
        rec.Info.dwQuality = 0xFFFFFFFFu;
        // An audio stream it cannot decode is listed as data, so nobody selects it.
        if (par->codec_type == AVMEDIA_TYPE_AUDIO)
            rec.Info.fccType = Index[i] ? streamtypeAUDIO : 0;
        if (const TStreamIndex *ix = Index[i].get()) {
            const TLavfSampleShape &sh = ix->Shape;
            t.Rate = sh.Rate;
            t.Channels = sh.Channels;
            t.Layout = sh.LayoutName;
            t.Bits = sh.Bits;
            t.Float = sh.Type == stF32 || sh.Type == stF64;
            t.Length = ix->Total;
            t.Delay = ix->Delay();
            rec.Format = sh.FormatRecord();
            const uint32_t block = uint32_t(sh.Channels) * uint32_t(sh.Bits / 8);
            rec.Info.dwScale = block;
            rec.Info.dwRate = block * uint32_t(sh.Rate);
            rec.Info.dwSampleSize = block;
            rec.Info.dwSuggestedBufferSize = block * uint32_t(sh.Rate);
            rec.Info.dwLength = uint32_t(std::min<int64_t>(ix->Total, UINT32_MAX));
        }
        std::snprintf(rec.Info.szName, sizeof rec.Info.szName, "%.40s #%u %s", base.c_str(), i, t.Codec.c_str());
        Texts.push_back(t);
        Records.push_back(std::move(rec));
    }
    for (unsigned i = 0; i < ctx->nb_chapters; ++i) {
        const AVChapter *c = ctx->chapters[i];
        TLavfChapterText ch;
        ch.Start = double(c->start) * av_q2d(c->time_base);
        ch.End = double(c->end) * av_q2d(c->time_base);
        ch.Title = MetadataText(c->metadata, "title");
        Chapters.push_back(ch);
    }
    FileInfo.dwStreams = ctx->nb_streams;
    FileInfo.dwCaps = 0x11;
    std::snprintf(FileInfo.szFileType, sizeof FileInfo.szFileType, "%s", Container.c_str());
}

TMediaError TLavfAudio::TImpl::StartReading(int stream)
{
    Dec.reset();
    Stream = -1;
    TCodecPtr dec;
    TFormatPtr ctx;
    if (int r = OpenContext(File, ctx); r < 0)
        return OpenError(r);
    if (!(dec = OpenDecoder(ctx->streams[stream])))
        return meCodec;
    Dec = std::move(dec);
    Stream = stream;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        ctx->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    Ctx = std::move(ctx);
    Next = 0;
    FeedFrom = 0;
    Drained = false;
    Pending.reset();
    BufCount = 0;
    return meOk;
}

// Reads from the start of the file again: the packets come as in the indexing pass.
TMediaError TLavfAudio::TImpl::Restart(int64_t feedFrom)
{
    int stream = Stream;
    if (TMediaError m = StartReading(stream); m != meOk)
        return m;
    FeedFrom = feedFrom;
    return meOk;
}

// Positions the reading before packet `packet` with its pre-roll: the demuxer is sought to a
// packet whose file position names it alone, and reading resumes from there.
TMediaError TLavfAudio::TImpl::SeekTo(int64_t packet)
{
    const TStreamIndex &ix = *Index[size_t(Stream)];
    const int preroll = PrerollOverride >= 0 ? PrerollOverride : Preroll[size_t(Stream)];
    const int64_t from = std::max<int64_t>(0, packet - preroll);
    int64_t anchor = from;
    while (anchor > 0 && !(ix.AnchorAt(ix.Packets[size_t(anchor)].Pos) >= 0 &&
                           (ix.Packets[size_t(anchor)].Dts != AV_NOPTS_VALUE ||
                            ix.Packets[size_t(anchor)].Pts != AV_NOPTS_VALUE)))
        --anchor;
    if (anchor <= 0)
        return Restart(from);
    const TPacketEntry &a = ix.Packets[size_t(anchor)];
    avcodec_flush_buffers(Dec.get());
    Pending.reset();
    BufCount = 0;
    Drained = false;
    const int64_t ts = a.Dts != AV_NOPTS_VALUE ? a.Dts : a.Pts;
    if (av_seek_frame(Ctx.get(), Stream, ts, AVSEEK_FLAG_BACKWARD) < 0)
        return Restart(from);
    TPacketPtr pkt(av_packet_alloc());
    if (!pkt)
        return meMemory;
    // The first packet whose position identifies it tells where the demuxer landed.
    for (int tries = 0; tries < 100000; ++tries) {
        bool eof = false;
        if (TMediaError m = ReadPacket(pkt.get(), eof); m != meOk)
            return m;
        if (eof)
            break;
        const int64_t ordinal = ix.AnchorAt(pkt->pos);
        if (ordinal < 0) {
            av_packet_unref(pkt.get());
            continue;
        }
        if (ordinal > anchor)
            break; // landed after the packet asked for
        Next = ordinal;
        FeedFrom = from;
        Pending = std::move(pkt);
        return meOk;
    }
    return Restart(from);
}

// The next packet of the selected stream; eof at the end of the file.
TMediaError TLavfAudio::TImpl::ReadPacket(AVPacket *pkt, bool &eof)
{
    eof = false;
    for (;;) {
        int r = av_read_frame(Ctx.get(), pkt);
        if (r == AVERROR_EOF || r == AVERROR_INVALIDDATA) {
            eof = true;
            return meOk;
        }
        if (r < 0)
            return r == AVERROR(ENOMEM) ? meMemory : meFileRead;
        if (pkt->stream_index == Stream)
            return meOk;
        av_packet_unref(pkt);
    }
}

// Takes every frame the decoder has ready into the buffer; the samples end at `end`.
TMediaError TLavfAudio::TImpl::ReceiveAll(int64_t end)
{
    const TLavfSampleShape &sh = Index[size_t(Stream)]->Shape;
    const size_t block = size_t(sh.Channels) * size_t(sh.Bits / 8);
    int64_t got = 0;
    for (;;) {
        int r = avcodec_receive_frame(Dec.get(), Frame.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            break;
        if (r == AVERROR(ENOMEM))
            return meMemory;
        if (r < 0)
            continue;
        if (!sh.Matches(Frame.get())) {
            av_frame_unref(Frame.get());
            return meCodec;
        }
        const size_t bytes = size_t(Frame->nb_samples) * block;
        if (Buf.size() < size_t(got) * block + bytes)
            Buf.resize(size_t(got) * block + bytes);
        sh.Interleave(Frame.get(), Buf.data() + size_t(got) * block);
        got += Frame->nb_samples;
        av_frame_unref(Frame.get());
    }
    BufFirst = end - got;
    BufCount = got;
    return meOk;
}

// Sends the next packet (or, at the end, the drain) through the decoder.
TMediaError TLavfAudio::TImpl::DecodeNext()
{
    const TStreamIndex &ix = *Index[size_t(Stream)];
    if (Drained)
        return meFileRead;
    TPacketPtr pkt = std::move(Pending);
    bool eof = false;
    if (!pkt) {
        pkt.reset(av_packet_alloc());
        if (!pkt)
            return meMemory;
        if (TMediaError m = ReadPacket(pkt.get(), eof); m != meOk)
            return m;
    }
    BufCount = 0;
    if (eof) {
        avcodec_send_packet(Dec.get(), nullptr);
        Drained = true;
        return ReceiveAll(ix.Total);
    }
    const int64_t ordinal = Next++;
    if (ordinal >= int64_t(ix.Packets.size()))
        return meFileRead; // more packets than the indexing pass saw: the file changed
    const TPacketEntry &e = ix.Packets[size_t(ordinal)];
    if (pkt->pos >= 0 && e.Pos >= 0 && pkt->pos != e.Pos)
        return meFileRead;
    if (ordinal < FeedFrom)
        return meOk;
    RestorePacketProps(pkt.get(), e);
    int r = avcodec_send_packet(Dec.get(), pkt.get());
    if (r == AVERROR(ENOMEM))
        return meMemory;
    return ReceiveAll(e.End);
}

std::vector<TLavfStreamText> ProbeLavfStreams(const std::string &fileName)
{
    SilenceFfmpegLog();
    std::vector<TLavfStreamText> texts;
    TFormatPtr ctx;
    if (OpenContext(fileName, ctx) < 0)
        return texts;
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        texts.push_back(StreamText(ctx->streams[i]));
    return texts;
}

TLavfAudio::TLavfAudio() : FImpl(std::make_unique<TImpl>()) {}
TLavfAudio::~TLavfAudio() = default;

TMediaError TLavfAudio::Open(const std::string &fileName)
{
    SilenceFfmpegLog();
    FImpl = std::make_unique<TImpl>();
    FImpl->File = fileName;
    FImpl->Frame.reset(av_frame_alloc());
    if (!FImpl->Frame)
        return meMemory;
    TMediaError m = FImpl->IndexFile();
    // A file without decodable audio keeps its description (streams, chapters) for display.
    if (m != meOk && m != meNoAudioStream)
        FImpl = std::make_unique<TImpl>();
    return m;
}

const AVIFILEINFO &TLavfAudio::FileInfo() const { return FImpl->FileInfo; }
const std::vector<TAudioStreamRecord> &TLavfAudio::Streams() const { return FImpl->Records; }
std::string TLavfAudio::ContainerName() const { return FImpl->Container; }
const std::vector<TLavfStreamText> &TLavfAudio::StreamTexts() const { return FImpl->Texts; }
const std::vector<TLavfChapterText> &TLavfAudio::Chapters() const { return FImpl->Chapters; }
void TLavfAudio::SetPrerollPackets(int packets) { FImpl->PrerollOverride = packets; }
bool TLavfAudio::IndexFromCache() const { return FImpl->FromCache; }

TMediaError TLavfAudio::Read(int stream, int64_t first, int32_t count, uint8_t *out)
{
    TImpl &m = *FImpl;
    if (stream < 0 || size_t(stream) >= m.Index.size() || !m.Index[size_t(stream)])
        return meParam;
    const TStreamIndex &ix = *m.Index[size_t(stream)];
    if (first < 0 || count < 0 || first + count > ix.Total)
        return meFileRead;
    if (m.Stream != stream)
        if (TMediaError e = m.StartReading(stream); e != meOk)
            return e;
    const size_t block = size_t(ix.Shape.Channels) * size_t(ix.Shape.Bits / 8);
    int seeks = 0;
    while (count > 0) {
        if (m.BufCount > 0 && first >= m.BufFirst && first < m.BufFirst + m.BufCount) {
            const int64_t k = std::min<int64_t>(count, m.BufFirst + m.BufCount - first);
            std::memcpy(out, m.Buf.data() + size_t(first - m.BufFirst) * block, size_t(k) * block);
            out += size_t(k) * block;
            first += k;
            count -= int32_t(k);
            continue;
        }
        // The packet after which sample `first` is out; decoding forward reaches it unless
        // it lies behind the reading or far ahead of it.
        auto it = std::upper_bound(ix.Packets.begin(), ix.Packets.end(), first,
                                   [](int64_t s, const TPacketEntry &e) { return s < e.End; });
        const int64_t target = int64_t(it - ix.Packets.begin());
        const bool behind = m.Drained || (m.BufCount > 0 && first < m.BufFirst) || target < m.Next;
        const int preroll = m.PrerollOverride >= 0 ? m.PrerollOverride : m.Preroll[size_t(stream)];
        if (behind || target - std::max(m.Next, m.FeedFrom) > preroll + 64) {
            // A decode that does not give the samples the index promised twice is damaged.
            if (++seeks > 2)
                return meFileRead;
            if (TMediaError e = m.SeekTo(target); e != meOk)
                return e;
        }
        if (TMediaError e = m.DecodeNext(); e != meOk)
            return e;
    }
    return meOk;
}

} // namespace tessaly
