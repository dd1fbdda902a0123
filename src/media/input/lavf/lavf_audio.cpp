// The libavformat/libavcodec audio path: one indexing pass over every audio stream (its exact
// length, and per packet how many samples were out after it; decoded whole, or where the
// codec's packet lengths are known decoded at its start and end and counted in between),
// kept in the index cache so that later opens read it instead; then reads that decode
// again at any position by seeking to a packet some way before the target and decoding
// forward.
#include "media/input/lavf/lavf_audio.h"

#include <algorithm>
#include <cstring>
#include <deque>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavcodec/vorbis_parser.h>
#include <libavutil/channel_layout.h>
}

#include "media/common/ffmpeg_picture.h"
#include "media/input/lavf/lavf_audio_format.h"
#include "media/input/lavf/lavf_audio_index.h"
#include "media/common/byte_order.h"
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
    bool DecodeWhole = false; // index by decoding every packet, never from packet lengths
    bool Predicted = false;   // a stream's index was counted from packet lengths
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
    struct TStreamPass;
    TMediaError IndexStreams(AVFormatContext *ctx, bool predict, bool &redo);
    void ChooseSource(TStreamPass &p);
    bool DecodeTail(TStreamPass &p, TStreamIndex &ix, AVFrame *frame, TMediaError &m);
    TMediaError SpotCheck(TStreamPass &p, TStreamIndex &ix, AVFrame *frame, int64_t length, bool &agrees);
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
        bool redo = false;
        TMediaError m = IndexStreams(ctx.get(), !DecodeWhole, redo);
        if (m == meOk && redo) {
            // A stream's packet lengths did not hold: every stream decoded from the start.
            Predicted = false;
            if (int r = OpenContext(File, ctx); r < 0)
                return OpenError(r);
            m = IndexStreams(ctx.get(), false, redo);
        }
        if (m != meOk)
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

namespace {

// Packets decoded at the start of a stream before its index may go on from packet lengths:
// they hold the encoder delay, and their decoded sample counts show whether the codec's
// length source agrees with the decoder.
constexpr size_t kHeadPackets = 32;
// The last head packets, none of them trimmed, whose decoded counts must equal the lengths.
constexpr size_t kSteadyPackets = 16;
// Packets kept at the end and decoded again there (the first kTailPreroll of them only to
// bring the decoder into its state), so that the last packets' counts, the end trim and
// what the decoder gives when drained are decoded, not predicted.
constexpr size_t kTailPackets = 24;
constexpr size_t kTailPreroll = 8;
// Seconds of audio between two spot checks of a stream counted from lengths: one packet is
// decoded after the one before it, and must give the samples its length says, in the
// stream's format (a broadcast whose channels change between programmes is decoded whole).
constexpr int kSpotSeconds = 10;

// Where a packet's sample count is taken from when it is not decoded.
enum TLengthSource {
    lsNone,
    lsContainer, // the duration the demuxer (or its parser, from the frame header) gives
    lsCodec,     // the codec's fixed frame size, or for PCM the packet's size
    lsOpus,      // the frame count and size in the Opus packet's first bytes
    lsVorbis,    // the block sizes of this and the previous Vorbis packet
};

// The length source of a codec whose packets decode to a length known without decoding, and
// whose decoder gives a packet's samples as soon as it is sent; lsNone for the others.
TLengthSource LengthSource(AVCodecID id)
{
    if (id >= AV_CODEC_ID_FIRST_AUDIO && id < AV_CODEC_ID_ADPCM_IMA_QT)
        return lsCodec; // the PCM family
    switch (id) {
    case AV_CODEC_ID_MP1:
    case AV_CODEC_ID_MP2:
    case AV_CODEC_ID_MP3:
    case AV_CODEC_ID_AAC:
    case AV_CODEC_ID_AC3: return lsCodec;
    // Frames whose sizes the frame headers or the container's table tell: E-AC-3 (one to
    // six blocks), FLAC, DTS, ALAC (a shorter last frame).
    case AV_CODEC_ID_EAC3:
    case AV_CODEC_ID_FLAC:
    case AV_CODEC_ID_DTS:
    case AV_CODEC_ID_ALAC: return lsContainer;
    case AV_CODEC_ID_OPUS: return lsOpus;
    case AV_CODEC_ID_VORBIS: return lsVorbis;
    default: return lsNone;
    }
}

// The sample count a packet's container duration names, -1 unless it names a whole number.
int64_t ContainerLength(const AVPacket *pkt, AVRational tb, int rate)
{
    if (pkt->duration <= 0 || rate <= 0 || tb.num <= 0 || tb.den <= 0)
        return -1;
    const __int128 scaled = __int128(pkt->duration) * tb.num * rate;
    if (scaled % tb.den != 0)
        return -1;
    const __int128 n = scaled / tb.den;
    return n > 0 && n <= INT32_MAX ? int64_t(n) : -1;
}

// The samples (at 48 kHz) of an Opus packet from its table-of-contents byte and frame
// count; -1 for a packet too short to say or longer than 120 ms.
int64_t OpusLength(const uint8_t *data, int size)
{
    if (size < 1)
        return -1;
    const int config = data[0] >> 3;
    static const int silk[4] = {480, 960, 1920, 2880}, celt[4] = {120, 240, 480, 960};
    const int frame = config < 12 ? silk[config & 3] : config < 16 ? (config & 1 ? 960 : 480) : celt[config & 3];
    int frames = 0;
    switch (data[0] & 3) {
    case 0: frames = 1; break;
    case 1:
    case 2: frames = 2; break;
    default:
        if (size < 2)
            return -1;
        frames = data[1] & 0x3F;
    }
    const int64_t n = int64_t(frames) * frame;
    return n > 0 && n <= 5760 ? n : -1;
}

} // namespace

// One audio stream's state in the indexing pass. The first packets are decoded; when the
// stream's codec allows it and the decoded counts of the last of them equal what one of the
// length sources says, the packets after them are counted from that source, the decoder's
// trimming (start skips, discarded packets, end padding) applied as the decoder applies it.
struct TLavfAudio::TImpl::TStreamPass {
    TCodecPtr Dec;
    bool Bad = false;      // the decoded format changed inside the stream
    bool Predicting = false;
    bool MayPredict = false;
    TLengthSource Source = lsNone;
    AVVorbisParseContext *Vorbis = nullptr; // block sizes of a Vorbis stream's packets
    int64_t Skip = 0;      // samples still to drop at the start of the next output
    struct THead {
        int64_t Out = 0, Length = -1;
        bool Trim = false;
    };
    std::vector<THead> Head;
    std::deque<TPacketPtr> Tail; // the last packets counted from lengths
    bool TailDropped = false;    // packets counted from lengths went out of the tail
    int64_t Unchecked = 0;       // samples counted since the last spot check

    TStreamPass() = default;
    TStreamPass(const TStreamPass &) = delete;
    TStreamPass &operator=(const TStreamPass &) = delete;
    ~TStreamPass() { av_vorbis_parse_free(&Vorbis); }
    // The sample count of a packet from the stream's length source, -1 when unknown.
    int64_t Length(const AVPacket *pkt, const AVStream *st, int rate);
};

int64_t TLavfAudio::TImpl::TStreamPass::Length(const AVPacket *pkt, const AVStream *st, int rate)
{
    int64_t n = -1;
    switch (Source) {
    case lsContainer: n = ContainerLength(pkt, st->time_base, rate); break;
    case lsCodec: n = av_get_audio_frame_duration2(st->codecpar, pkt->size); break;
    case lsOpus: n = OpusLength(pkt->data, pkt->size); break;
    case lsVorbis: {
        int flags = 0;
        n = Vorbis ? av_vorbis_parse_frame_flags(Vorbis, pkt->data, pkt->size, &flags) : -1;
        if (flags & VORBIS_FLAG_HEADER)
            n = -1;
        break;
    }
    case lsNone: break;
    }
    return n > 0 ? n : -1;
}

namespace {

// The samples a packet of n decoded samples leaves after the decoder's trimming: a skip
// record sets how many to drop at the start and at the end, a discarded packet's samples
// count against the start skip.
int64_t TrimmedLength(int64_t n, const TLavfAudioPacket &e, int64_t &skip)
{
    int64_t padding = 0;
    if (e.HasSkip) {
        skip = std::max<int64_t>(0, int32_t(GetLE32(e.Skip)));
        padding = GetLE32(e.Skip + 4);
    }
    if (n <= 0)
        return 0;
    if (e.Discard) {
        skip = std::max<int64_t>(0, skip - n);
        return 0;
    }
    if (skip > 0) {
        if (n <= skip) {
            skip -= n;
            return 0;
        }
        n -= skip;
        skip = 0;
    }
    if (padding > 0 && padding <= n)
        n -= padding;
    return n;
}

} // namespace

// After the head packets: the rest are counted from their lengths when the last head packets,
// none of them trimmed, decoded to what their lengths say.
void TLavfAudio::TImpl::ChooseSource(TStreamPass &p)
{
    const size_t n = p.Head.size();
    bool agrees = n >= kSteadyPackets;
    for (size_t k = n - std::min(n, kSteadyPackets); k < n && agrees; ++k)
        agrees = !p.Head[k].Trim && p.Head[k].Out > 0 && p.Head[k].Out == p.Head[k].Length;
    p.Predicting = agrees;
    p.MayPredict = agrees;
    p.Skip = 0;
    p.Head.clear();
}

// Decodes the packets kept at the end of a stream counted from lengths: their counts, the
// end trim and the drained samples as the decoder gives them. False when a packet that was
// decoded after the pre-roll gives another count than its length said: the stream must be
// decoded whole.
bool TLavfAudio::TImpl::DecodeTail(TStreamPass &p, TStreamIndex &ix, AVFrame *frame, TMediaError &m)
{
    const size_t first = ix.Packets.size() - p.Tail.size();
    size_t exact = 0; // tail packets before this one only warm the decoder up
    if (p.TailDropped) {
        avcodec_flush_buffers(p.Dec.get());
        exact = std::min(kTailPreroll, p.Tail.size());
    }
    int64_t end = first > 0 ? ix.Packets[first - 1].End : 0;
    for (size_t k = 0; k < p.Tail.size(); ++k) {
        TPacketEntry &e = ix.Packets[first + k];
        const int64_t before = ix.Total;
        if (avcodec_send_packet(p.Dec.get(), p.Tail[k].get()) == AVERROR(ENOMEM))
            m = meMemory;
        else
            m = DecodeIndexFrames(p.Dec.get(), ix, frame, p.Bad);
        if (m != meOk)
            return true;
        const int64_t out = ix.Total - before;
        const int64_t predicted = e.End - (first + k > 0 ? ix.Packets[first + k - 1].End : 0);
        if (k < exact) {
            end = e.End;
            continue;
        }
        // A packet before the last few that is not trimmed decodes to its length.
        if (k + 4 < p.Tail.size() && !e.HasSkip && !e.Discard && out != predicted)
            return false;
        end += out;
        e.End = end;
    }
    p.Tail.clear();
    const int64_t before = ix.Total;
    avcodec_send_packet(p.Dec.get(), nullptr);
    if ((m = DecodeIndexFrames(p.Dec.get(), ix, frame, p.Bad)) != meOk)
        return true;
    ix.Total = end + (ix.Total - before);
    return true;
}

// Decodes the last packet counted, after the one before it, in a flushed decoder: agrees
// when it comes out in the stream's format with the samples its length says (a packet that
// carries trimming only in the format).
TMediaError TLavfAudio::TImpl::SpotCheck(TStreamPass &p, TStreamIndex &ix, AVFrame *frame, int64_t length,
                                         bool &agrees)
{
    const size_t n = ix.Packets.size();
    const bool trimmed = ix.Packets[n - 1].HasSkip || ix.Packets[n - 1].Discard || ix.Packets[n - 2].HasSkip;
    const int64_t total = ix.Total;
    avcodec_flush_buffers(p.Dec.get());
    int64_t out = 0;
    for (size_t k = p.Tail.size() - 2; k < p.Tail.size(); ++k) {
        const int64_t before = ix.Total;
        if (avcodec_send_packet(p.Dec.get(), p.Tail[k].get()) == AVERROR(ENOMEM))
            return meMemory;
        if (TMediaError m = DecodeIndexFrames(p.Dec.get(), ix, frame, p.Bad); m != meOk)
            return m;
        out = ix.Total - before;
    }
    ix.Total = total;
    agrees = !p.Bad && (trimmed || out == length);
    return meOk;
}

// The indexing pass over every audio stream from the start to the end. With `predict`,
// streams whose packet lengths are known are decoded only at their start and end; redo is
// set when such a stream turns out to need a decode of every packet after all.
TMediaError TLavfAudio::TImpl::IndexStreams(AVFormatContext *ctx, bool predict, bool &redo)
{
    redo = false;
    const unsigned n = ctx->nb_streams;
    Index.clear();
    Index.resize(n);
    std::vector<TStreamPass> pass(n);
    for (unsigned i = 0; i < n; ++i) {
        AVStream *st = ctx->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && (pass[i].Dec = OpenDecoder(st))) {
            Index[i] = std::make_unique<TStreamIndex>();
            Index[i]->CodecId = int(st->codecpar->codec_id);
            TStreamPass &p = pass[i];
            p.Source = predict ? LengthSource(st->codecpar->codec_id) : lsNone;
            // The Opus decoder's delay is that of its resampler, inside each packet's output.
            if (p.Source != lsOpus && (p.Dec->codec->capabilities & AV_CODEC_CAP_DELAY))
                p.Source = lsNone;
            if (p.Source == lsVorbis &&
                !(p.Vorbis = av_vorbis_parse_init(st->codecpar->extradata, st->codecpar->extradata_size)))
                p.Source = lsNone;
            p.MayPredict = p.Source != lsNone;
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
        TStreamPass &p = pass[size_t(s)];
        const AVStream *st = ctx->streams[s];
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
        const int64_t length =
            p.MayPredict ? p.Length(pkt.get(), st, ix.Shape.Rate > 0 ? ix.Shape.Rate : st->codecpar->sample_rate) : -1;
        if (p.Predicting) {
            if (length <= 0) {
                redo = true; // a packet of unknown length
                return meOk;
            }
            ix.Total += TrimmedLength(length, e, p.Skip);
            e.End = ix.Total;
            ix.Packets.push_back(e);
            // The oldest kept packet makes room for this one.
            TPacketPtr kept;
            if (p.Tail.size() == kTailPackets) {
                kept = std::move(p.Tail.front());
                p.Tail.pop_front();
                av_packet_unref(kept.get());
                p.TailDropped = true;
            } else if (!(kept = TPacketPtr(av_packet_alloc()))) {
                return meMemory;
            }
            av_packet_move_ref(kept.get(), pkt.get());
            p.Tail.push_back(std::move(kept));
            p.Unchecked += length;
            if (p.Unchecked >= int64_t(kSpotSeconds) * ix.Shape.Rate && p.Tail.size() >= 2) {
                p.Unchecked = 0;
                bool agrees = true;
                if (TMediaError m = SpotCheck(p, ix, frame.get(), length, agrees); m != meOk)
                    return m;
                if (!agrees) {
                    redo = true;
                    return meOk;
                }
            }
            continue;
        }
        const int64_t before = ix.Total;
        r = avcodec_send_packet(p.Dec.get(), pkt.get());
        av_packet_unref(pkt.get());
        if (r == AVERROR(ENOMEM))
            return meMemory;
        if (TMediaError m = DecodeIndexFrames(p.Dec.get(), ix, frame.get(), p.Bad); m != meOk)
            return m;
        e.End = ix.Total;
        ix.Packets.push_back(e);
        if (p.MayPredict) {
            TStreamPass::THead h;
            h.Out = ix.Total - before;
            h.Length = length;
            h.Trim = e.HasSkip || e.Discard;
            p.Head.push_back(h);
            if (p.Head.size() == kHeadPackets)
                ChooseSource(p);
        }
    }
    if (r != AVERROR_EOF && r < 0 && r != AVERROR_INVALIDDATA)
        return meFileRead;
    for (unsigned i = 0; i < n; ++i) {
        if (!Index[i])
            continue;
        TStreamIndex &ix = *Index[i];
        TStreamPass &p = pass[i];
        if (p.Predicting) {
            TMediaError m = meOk;
            if (!DecodeTail(p, ix, frame.get(), m)) {
                redo = true;
                return meOk;
            }
            if (m != meOk)
                return m;
            Predicted = true;
        } else {
            avcodec_send_packet(p.Dec.get(), nullptr);
            if (TMediaError m = DecodeIndexFrames(p.Dec.get(), ix, frame.get(), p.Bad); m != meOk)
                return m;
        }
        if (p.Bad || ix.Total <= 0 || ix.Shape.Type == stNone) {
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

TMediaError TLavfAudio::Open(const std::string &fileName, bool decodeWhole)
{
    SilenceFfmpegLog();
    FImpl = std::make_unique<TImpl>();
    FImpl->File = fileName;
    FImpl->DecodeWhole = decodeWhole;
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
bool TLavfAudio::IndexFromPacketLengths() const { return FImpl->Predicted; }

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
