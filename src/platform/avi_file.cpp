// The FFmpeg-backed AVIFile-shaped layer: stream descriptions, formats and reads by
// sample number over libavformat's demuxers, with the last packet kept for sequential reads.
#include "platform/avi_file.h"

#include "media/common/byte_order.h"
#include "platform/local_media.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

namespace tessaly {

namespace {

// The core never prints: FFmpeg's log goes nowhere.
void SilenceFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback([](void *, int, const char *, va_list) {}); });
}

AVFormatContext *Ctx(void *p) { return static_cast<AVFormatContext *>(p); }

bool IsAviFileContainer(const char *demuxer)
{
    const std::string name = demuxer ? demuxer : "";
    return name == "avi" || name == "wav" || name == "avisynth";
}

bool CompleteIndex(AVFormatContext *ctx, AVPacket *pkt);

// FFmpeg's AVI demuxer turns every uncompressed picture's height positive and marks the
// bottom-up ones by appending "BottomUp" and a zero to the codec data. The stored header
// is rebuilt from that: the marker goes, and a picture without it is stored top-down.
bool TakeBottomUpMarker(std::vector<uint8_t> &codecData)
{
    static const uint8_t marker[9] = {'B', 'o', 't', 't', 'o', 'm', 'U', 'p', 0};
    if (codecData.size() < 9 || !std::equal(marker, marker + 9, codecData.end() - 9))
        return false;
    codecData.resize(codecData.size() - 9);
    return true;
}

// Bits per sample of a PCM codec this layer reads by sample, 0 for others.
int PcmBits(AVCodecID id, bool *isFloat)
{
    *isFloat = false;
    switch (id) {
    case AV_CODEC_ID_PCM_U8: return 8;
    case AV_CODEC_ID_PCM_S16LE: return 16;
    case AV_CODEC_ID_PCM_S24LE: return 24;
    case AV_CODEC_ID_PCM_S32LE: return 32;
    case AV_CODEC_ID_PCM_F32LE: *isFloat = true; return 32;
    case AV_CODEC_ID_PCM_F64LE: *isFloat = true; return 64;
    default: return 0;
    }
}

void PutLE16(std::vector<uint8_t> &v, size_t at, uint32_t x) { v[at] = uint8_t(x); v[at + 1] = uint8_t(x >> 8); }
void PutLE32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// The stream name rule of the own reader: file name without folder (cut to 48 characters
// and "..." when longer than 51), a blank, the type word and the 1-based number.
void SetStreamName(AVISTREAMINFO &info, const std::string &fileName, const char *word, int number)
{
    std::string base = fileName.substr(fileName.find_last_of('/') + 1);
    if (base.size() > 51)
        base = base.substr(0, 48) + "...";
    std::string name = base + " " + word + " #" + std::to_string(number);
    std::snprintf(info.szName, sizeof info.szName, "%s", name.c_str());
}

int CountWaveDataChunks(int fd);

} // namespace

struct TAviFile::TStreamDesc {
    int index = 0;                // stream index in the demuxer
    AVISTREAMINFO info{};
    std::vector<uint8_t> format;
    std::vector<uint8_t> codecData;
    bool pcm = false;             // read by sample frame
    int blockAlign = 0;
    int sampleRate = 0;
    bool indexed = false;         // packet stream whose frames are the demuxer's index entries
    // Indexed stream whose time stamps count frames (AVI): frame n is the entry stamped n,
    // -1 for a frame stored empty (a dropped frame, left out of the demuxer's index).
    std::vector<int32_t> entryOfFrame;
    // The cached packet: samples [first, first + samples), its bytes and key flag.
    std::vector<uint8_t> data;
    int64_t first = -1;
    int64_t samples = 0;
    bool key = false;
    uint64_t generation = 0;      // demuxer generation the packet was read in
};

struct TAviFile::TPacketCache {
    AVPacket *packet = nullptr;
    uint64_t generation = 1;      // grows with every seek
    bool eof = false;
    TPacketCache() : packet(av_packet_alloc()) {}
    ~TPacketCache() { av_packet_free(&packet); }
};

TAviFile::TAviFile() = default;

TAviFile::~TAviFile() { Close(); }

void TAviFile::Close()
{
    if (FContext) {
        AVFormatContext *ctx = Ctx(FContext);
        avformat_close_input(&ctx);
        FContext = nullptr;
    }
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
    FIsAvi = false;
    FStreams.clear();
    FCache.reset();
    FInfo = AVIFILEINFO{};
}

int32_t TAviFile::Open(const std::string &fileName)
{
    Close();
    SilenceFfmpegLog();
    FProblem = {};
    // Read as the local file it names, never as a URL, and with no demuxer that would
    // open further files or URLs (playlists, session descriptions).
    AVFormatContext *ctx = nullptr;
    int r = OpenLocalMedia(fileName, &ctx);
    if (r < 0)
        return r == AVERROR(ENOMEM) ? AVIERR_MEMORY : r == AVERROR(ENOENT) || r == AVERROR(EACCES) ? AVIERR_FILEOPEN
                                                                                                   : AVIERR_BADFORMAT;
    // The layer stands in for the AVI library, which reads RIFF files (AVI and WAVE) and
    // AviSynth scripts. Any other container (a Matroska file named ".avi", say) is left
    // to the reader plug-ins: its index does not list every frame and its streams carry
    // no AVI stream formats, so taking it for an AVI would number and copy frames wrongly.
    if (!IsAviFileContainer(ctx->iformat->name)) {
        avformat_close_input(&ctx);
        return AVIERR_BADFORMAT;
    }
    FContext = ctx;
    FIsAvi = std::strcmp(ctx->iformat->name, "avi") == 0;
    FFd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (FFd < 0) {
        Close();
        return AVIERR_FILEOPEN;
    }
    if (const int chunks = std::strcmp(ctx->iformat->name, "wav") == 0 ? CountWaveDataChunks(FFd) : 0; chunks > 1) {
        // Readers disagree which of several sound chunks is the sound (FFmpeg takes the
        // last): refused rather than guessed.
        FProblem = {wrDataChunks, -1, {chunks}};
        Close();
        return AVIERR_BADFORMAT;
    }
    if (avformat_find_stream_info(ctx, nullptr) < 0) {
        Close();
        return AVIERR_BADFORMAT;
    }
    if (ctx->nb_streams == 0) {
        Close();
        return AVIERR_NODATA;
    }
    FCache = std::make_unique<TPacketCache>();
    if (FCache->packet && !CompleteIndex(ctx, FCache->packet)) {
        Close();
        return AVIERR_FILEREAD;
    }
    if (!FCache->packet) {
        Close();
        return AVIERR_MEMORY;
    }
    if (!BuildStreams(fileName)) {
        Close();
        return AVIERR_BADFORMAT;   // FProblem says what is wrong
    }
    return AVIERR_OK;
}

namespace {

// An AVI without an index gets one from FFmpeg only for the packets it has read: until
// then every frame beyond them would count as dropped. Such an index lists fewer frames
// than the header, and behind its last chunk more stream chunks follow (a loaded index
// ends with the last stored chunk). The file is then read through once so that the index
// lists every packet, and the demuxer goes back to the start.
bool CompleteIndex(AVFormatContext *ctx, AVPacket *pkt)
{
    int64_t next = -1;
    bool fewer = false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream *st = ctx->streams[i];
        const int entries = avformat_index_get_entries_count(st);
        if (const AVIndexEntry *last = avformat_index_get_entry(st, entries - 1))
            next = std::max(next, last->pos + 8 + last->size + (last->size & 1));
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && entries < st->nb_frames)
            fewer = true;
    }
    if (!fewer)
        return true;
    AVIOContext *pb = ctx->pb;
    const int64_t here = avio_tell(pb);
    uint8_t b[12] = {};
    const bool peeked = next >= 0 && avio_seek(pb, next, SEEK_SET) >= 0 && avio_read(pb, b, 12) == 12;
    if (avio_seek(pb, here, SEEK_SET) < 0)
        return false;
    const auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
    const bool moreChunks = (digit(b[0]) && digit(b[1])) ||
                            (std::memcmp(b, "LIST", 4) == 0 && std::memcmp(b + 8, "rec ", 4) == 0);
    if (peeked && !moreChunks)
        return true;
    int r;
    while ((r = av_read_frame(ctx, pkt)) >= 0)
        av_packet_unref(pkt);
    if (r != AVERROR_EOF && r != AVERROR_INVALIDDATA)
        return false;
    return avformat_seek_file(ctx, -1, INT64_MIN, 0, INT64_MAX, 0) >= 0 ||
           av_seek_frame(ctx, -1, 0, AVSEEK_FLAG_BACKWARD) >= 0;
}

// The number of 'data' chunks directly in a RIFF WAVE file (walking at most 4096 chunks,
// each header read with bounds checks; a walk that leaves the file stops).
int CountWaveDataChunks(int fd)
{
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0)
        return 0;
    int count = 0;
    int64_t pos = 12;
    for (int i = 0; i < 4096 && pos + 8 <= st.st_size; ++i) {
        uint8_t head[8];
        if (::pread(fd, head, 8, pos) != 8)
            break;
        const uint32_t size = GetLE32(head + 4);
        if (std::memcmp(head, "data", 4) == 0)
            ++count;
        pos += 8 + int64_t(size) + (size & 1);
    }
    return count;
}

// The stored header of a PCM stream must agree with itself: the bits per sample of the
// header those of the encoding FFmpeg chose for them (it rounds 7 up to 8), a channel
// count the mixer handles, and the block size the bytes of one sample of every channel.
bool CheckPcmHeader(const AVCodecParameters &par, int bits, int stream, TMediaProblem &problem)
{
    const int channels = par.ch_layout.nb_channels;
    const int stored = par.bits_per_coded_sample;
    if (stored != 0 && stored != bits)
        problem = {wrSampleBits, stream, {stored}};
    else if (channels < 1 || channels > 32)
        problem = {wrChannels, stream, {channels, 32}};
    else if (par.block_align != 0 && par.block_align != channels * bits / 8)
        problem = {wrBlockAlign, stream, {par.block_align, channels, bits, channels * bits / 8}};
    else
        return true;
    return false;
}

// A PCM audio stream: read by sample frame, described as the WAVE reader describes it.
void DescribePcm(TAviFile::TStreamDesc &s, const AVFormatContext *ctx, const AVStream *st, int bits, bool isFloat)
{
    const AVCodecParameters *par = st->codecpar;
    int channels = par->ch_layout.nb_channels;
    AVISTREAMINFO &info = s.info;
    s.pcm = true;
    s.blockAlign = bits / 8 * channels;
    s.sampleRate = par->sample_rate;
    info.fccType = streamtypeAUDIO;
    info.dwScale = uint32_t(s.blockAlign);
    info.dwRate = uint32_t(s.blockAlign) * uint32_t(par->sample_rate);
    info.dwSampleSize = uint32_t(s.blockAlign);
    info.dwSuggestedBufferSize = info.dwRate;
    AVRational unit{1, par->sample_rate};
    int64_t start = st->start_time != AV_NOPTS_VALUE ? av_rescale_q(st->start_time, st->time_base, unit) : 0;
    int64_t length = st->duration != AV_NOPTS_VALUE ? av_rescale_q(st->duration, st->time_base, unit)
                     : ctx->duration > 0 ? av_rescale(ctx->duration, par->sample_rate, AV_TIME_BASE) : 0;
    // FFmpeg's duration of an AVI's PCM stream can run past the stored samples (it was
    // seen a third of a second long on an audio-only AVI); reads there fail, and a read
    // reaching into that tail fails whole. The stream header's sample count is what the
    // file holds.
    if (std::strcmp(ctx->iformat->name, "avi") == 0 && st->nb_frames > 0 && st->nb_frames < length)
        length = st->nb_frames;
    info.dwStart = uint32_t(std::clamp<int64_t>(start, 0, INT32_MAX));
    info.dwLength = uint32_t(std::clamp<int64_t>(length, 0, INT32_MAX));
    s.format.assign(18, 0);
    PutLE16(s.format, 0, isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM);
    PutLE16(s.format, 2, uint32_t(channels));
    PutLE32(s.format, 4, uint32_t(par->sample_rate));
    PutLE32(s.format, 8, info.dwRate);
    PutLE16(s.format, 12, uint32_t(s.blockAlign));
    PutLE16(s.format, 14, uint32_t(bits));
}

// When a video stream's time base is one frame (as in AVI), frames are numbered by their
// stamps, so that the empty chunks of dropped frames, which FFmpeg's reader leaves out of
// its index, still count. False (numbering by index position) when the stamps do not fit.
bool NumberByStamps(TAviFile::TStreamDesc &s, AVStream *st, AVRational rate)
{
    if (av_cmp_q(st->time_base, av_inv_q(rate)) != 0)
        return false;
    const int entries = avformat_index_get_entries_count(st);
    const AVIndexEntry *last = avformat_index_get_entry(st, entries - 1);
    if (!last || last->timestamp < 0 || last->timestamp >= INT32_MAX)
        return false;
    int64_t length = std::max<int64_t>(last->timestamp + 1, st->nb_frames);
    if (length > int64_t(entries) * 64 + 1024)
        return false; // far more gaps than frames: not frame stamps
    std::vector<int32_t> map(size_t(length), -1);
    int64_t previous = -1;
    for (int e = 0; e < entries; ++e) {
        const int64_t ts = avformat_index_get_entry(st, e)->timestamp;
        if (ts <= previous || ts >= length)
            return false;
        map[size_t(ts)] = e;
        previous = ts;
    }
    s.entryOfFrame = std::move(map);
    return true;
}

// Any other stream: one stored packet per sample; frames follow the demuxer's index.
void DescribePackets(TAviFile::TStreamDesc &s, AVStream *st, bool avi)
{
    const bool topDown = avi && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && st->codecpar->codec_tag == 0 &&
                         !TakeBottomUpMarker(s.codecData);
    const AVCodecParameters *par = st->codecpar;
    AVISTREAMINFO &info = s.info;
    int entries = avformat_index_get_entries_count(st);
    s.indexed = entries > 0;
    AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                      : st->r_frame_rate.num > 0 && st->r_frame_rate.den > 0 ? st->r_frame_rate
                                                                            : av_inv_q(st->time_base);
    info.dwRate = uint32_t(rate.num);
    info.dwScale = uint32_t(rate.den);
    int64_t length = s.indexed ? entries : st->nb_frames > 0 ? st->nb_frames : 0;
    if (s.indexed && par->codec_type == AVMEDIA_TYPE_VIDEO && NumberByStamps(s, st, rate))
        length = int64_t(s.entryOfFrame.size());
    if (!length && st->duration != AV_NOPTS_VALUE)
        length = av_rescale_q(st->duration, st->time_base, av_inv_q(rate));
    info.dwLength = uint32_t(std::clamp<int64_t>(length, 0, INT32_MAX));
    info.fccHandler = par->codec_tag;
    const size_t extra = s.codecData.size();
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
        info.fccType = streamtypeVIDEO;
        info.rcFrame = TESSALY_RECT{0, 0, par->width, par->height};
        int bitCount = par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 24;
        s.format.assign(40 + extra, 0);
        PutLE32(s.format, 0, 40 + uint32_t(extra));
        PutLE32(s.format, 4, uint32_t(par->width));
        PutLE32(s.format, 8, uint32_t(topDown ? -par->height : par->height));
        PutLE16(s.format, 12, 1);
        PutLE16(s.format, 14, uint32_t(bitCount));
        PutLE32(s.format, 16, par->codec_tag);
        if (par->codec_tag == 0)
            PutLE32(s.format, 20, uint32_t((par->width * bitCount + 31) / 32 * 4 * par->height));
        std::copy(s.codecData.begin(), s.codecData.end(), s.format.begin() + 40);
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
        info.fccType = streamtypeAUDIO;
        s.format.assign(18 + extra, 0);
        PutLE16(s.format, 0, par->codec_tag);
        PutLE16(s.format, 2, uint32_t(std::max(par->ch_layout.nb_channels, 0)));
        PutLE32(s.format, 4, uint32_t(std::max(par->sample_rate, 0)));
        PutLE32(s.format, 8, uint32_t(std::max<int64_t>(par->bit_rate / 8, 0)));
        PutLE16(s.format, 12, uint32_t(std::max(par->block_align, 0)));
        PutLE16(s.format, 14, uint32_t(std::max(par->bits_per_coded_sample, 0)));
        PutLE16(s.format, 16, uint32_t(extra));
        std::copy(s.codecData.begin(), s.codecData.end(), s.format.begin() + 18);
    } else {
        info.fccType = par->codec_type == AVMEDIA_TYPE_SUBTITLE ? streamtypeTEXT : 0;
    }
}

} // namespace

// Builds each stream's description and format, then the file description.
bool TAviFile::BuildStreams(const std::string &fileName)
{
    AVFormatContext *ctx = Ctx(FContext);
    int videos = 0, audios = 0, others = 0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream *st = ctx->streams[i];
        const AVCodecParameters *par = st->codecpar;
        auto s = std::make_unique<TStream>();
        s->index = int(i);
        s->info.dwQuality = 0xFFFFFFFFu;
        if (par->extradata && par->extradata_size > 0)
            s->codecData.assign(par->extradata, par->extradata + par->extradata_size);
        bool isFloat = false;
        int bits = par->codec_type == AVMEDIA_TYPE_AUDIO ? PcmBits(par->codec_id, &isFloat) : 0;
        // A PCM header that contradicts itself would be read with the wrong sample size
        // and come out as loud noise: refused, saying which field is wrong.
        if (bits && !CheckPcmHeader(*par, bits, int(i), FProblem))
            return false;
        if (bits && par->ch_layout.nb_channels > 0 && par->sample_rate > 0)
            DescribePcm(*s, ctx, st, bits, isFloat);
        else
            DescribePackets(*s, st, std::strcmp(ctx->iformat->name, "avi") == 0);
        if (s->info.fccType == streamtypeVIDEO)
            SetStreamName(s->info, fileName, "Video", ++videos);
        else if (s->info.fccType == streamtypeAUDIO)
            SetStreamName(s->info, fileName, "Audio", ++audios);
        else
            SetStreamName(s->info, fileName, "Other", ++others);
        FStreams.push_back(std::move(s));
    }
    // The file description follows the first video stream, else stream 0.
    const TStream *lead = FStreams[0].get();
    for (auto &s : FStreams)
        if (s->info.fccType == streamtypeVIDEO) {
            lead = s.get();
            break;
        }
    FInfo.dwMaxBytesPerSec = uint32_t(std::clamp<int64_t>(ctx->bit_rate / 8, 0, UINT32_MAX));
    FInfo.dwCaps = AVIFILECAPS_CANREAD;
    FInfo.dwStreams = ctx->nb_streams;
    FInfo.dwWidth = uint32_t(std::max(lead->info.rcFrame.right, 0));
    FInfo.dwHeight = uint32_t(std::max(lead->info.rcFrame.bottom, 0));
    FInfo.dwScale = lead->info.dwScale;
    FInfo.dwRate = lead->info.dwRate;
    FInfo.dwLength = lead->info.dwLength;
    for (auto &s : FStreams)
        FInfo.dwSuggestedBufferSize = std::max(FInfo.dwSuggestedBufferSize, s->info.dwSuggestedBufferSize);
    std::snprintf(FInfo.szFileType, sizeof FInfo.szFileType, "%s",
                  ctx->iformat->long_name ? ctx->iformat->long_name : ctx->iformat->name);
    return true;
}

int32_t TAviFile::GetFileInfo(AVIFILEINFO &info) const
{
    if (!IsOpen()) {
        info = AVIFILEINFO{};
        return AVIERR_BADHANDLE;
    }
    info = FInfo;
    return AVIERR_OK;
}

int TAviFile::StreamCount() const { return int(FStreams.size()); }

int32_t TAviFile::GetStreamInfo(int stream, AVISTREAMINFO &info) const
{
    info = AVISTREAMINFO{};
    if (!IsOpen())
        return AVIERR_BADHANDLE;
    if (stream < 0 || stream >= StreamCount())
        return AVIERR_BADPARAM;
    info = FStreams[size_t(stream)]->info;
    return AVIERR_OK;
}

int32_t TAviFile::StreamStart(int stream) const
{
    return stream >= 0 && stream < StreamCount() ? int32_t(FStreams[size_t(stream)]->info.dwStart) : -1;
}

int32_t TAviFile::StreamLength(int stream) const
{
    return stream >= 0 && stream < StreamCount() ? int32_t(FStreams[size_t(stream)]->info.dwLength) : -1;
}

namespace {
int32_t CopyOut(const std::vector<uint8_t> &src, int32_t &size, void *buffer)
{
    int32_t length = int32_t(src.size());
    if (!buffer) {
        size = length;
        return AVIERR_OK;
    }
    int32_t n = std::clamp(size, 0, length);
    if (n > 0)
        std::memcpy(buffer, src.data(), size_t(n));
    size = length;
    return n < length ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
}
} // namespace

// The demuxer's index entry of frame n of an indexed stream, -1 for an empty frame.
int TAviFile::EntryOf(const TStream &s, int64_t n)
{
    if (s.entryOfFrame.empty())
        return n >= 0 && n <= INT32_MAX ? int(n) : -1;
    return n >= 0 && n < int64_t(s.entryOfFrame.size()) ? s.entryOfFrame[size_t(n)] : -1;
}

int32_t TAviFile::ReadFormat(int stream, int32_t &size, void *buffer) const
{
    if (!IsOpen())
        return AVIERR_BADHANDLE;
    if (stream < 0 || stream >= StreamCount())
        return AVIERR_BADPARAM;
    return CopyOut(FStreams[size_t(stream)]->format, size, buffer);
}

int32_t TAviFile::ReadData(int stream, uint32_t chunkId, int32_t &size, void *buffer) const
{
    if (!IsOpen())
        return AVIERR_BADHANDLE;
    if (stream < 0 || stream >= StreamCount())
        return AVIERR_BADPARAM;
    const TStream &s = *FStreams[size_t(stream)];
    if (chunkId != TESSALY_FCC('s', 't', 'r', 'd') || s.codecData.empty()) {
        size = 0;
        return AVIERR_NODATA;
    }
    return CopyOut(s.codecData, size, buffer);
}

// In an AVI, a stored chunk is copied into the result as it is: it must be the chunk the
// index names: whole (the packet as long as the index says, within the file), with the
// stream's chunk id (its two-digit number, "dc"/"db" for video, "wb" for audio) and the
// index's size in its header.
bool TAviFile::ChunkMatchesIndex(const TStream &s, const AVIndexEntry &entry, const AVPacket &pkt) const
{
    if (!FIsAvi)
        return true;
    if ((pkt.flags & AV_PKT_FLAG_CORRUPT) || entry.size != pkt.size || entry.pos < 0)
        return false;
    uint8_t head[8];
    if (FFd < 0 || ::pread(FFd, head, sizeof head, entry.pos) != ssize_t(sizeof head))
        return false;
    struct stat st {};
    if (fstat(FFd, &st) != 0 || entry.pos + 8 + int64_t(entry.size) > st.st_size)
        return false;
    const uint32_t size = GetLE32(head + 4);
    const int number = s.index;
    if (head[0] != '0' + number / 10 % 10 || head[1] != '0' + number % 10 || size != uint32_t(entry.size))
        return false;
    if (s.info.fccType == streamtypeVIDEO)
        return head[2] == 'd' && (head[3] == 'c' || head[3] == 'b');
    if (s.info.fccType == streamtypeAUDIO)
        return head[2] == 'w' && head[3] == 'b';
    return true;
}

// Whether frame n of an indexed stream lies behind the last chunk the index lists: a
// file cut short, not a dropped frame.
bool TAviFile::PastLastChunk(const TStream &s, int64_t n)
{
    if (s.entryOfFrame.empty())
        return false;
    for (int64_t k = std::max<int64_t>(n, 0); k < int64_t(s.entryOfFrame.size()); ++k)
        if (s.entryOfFrame[size_t(k)] >= 0)
            return false;
    return true;
}

// Reads the next packet of stream s into its cache, skipping packets of other streams.
int32_t TAviFile::NextPacketOf(TStream &s)
{
    AVFormatContext *ctx = Ctx(FContext);
    AVPacket *pkt = FCache->packet;
    for (;;) {
        av_packet_unref(pkt);
        int r = av_read_frame(ctx, pkt);
        if (r < 0) {
            FCache->eof = true;
            return r == AVERROR_EOF ? AVIERR_NODATA : AVIERR_FILEREAD;
        }
        if (pkt->stream_index != s.index)
            continue;
        AVStream *st = ctx->streams[s.index];
        int64_t ts = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
        if (ts == AV_NOPTS_VALUE && s.pcm && s.first >= 0 && s.generation == FCache->generation)
            ts = av_rescale_q(s.first + s.samples, AVRational{1, s.sampleRate}, st->time_base);
        if (ts == AV_NOPTS_VALUE)
            continue;
        if (s.pcm) {
            s.first = av_rescale_q(ts, st->time_base, AVRational{1, s.sampleRate});
            s.samples = pkt->size / s.blockAlign;
        } else if (s.indexed) {
            int e = av_index_search_timestamp(st, ts, AVSEEK_FLAG_ANY | AVSEEK_FLAG_BACKWARD);
            const AVIndexEntry *entry = e >= 0 ? avformat_index_get_entry(st, e) : nullptr;
            if (!entry || entry->timestamp != ts)
                continue; // a packet the index does not list
            if (!ChunkMatchesIndex(s, *entry, *pkt))
                return AVIERR_FILEREAD;   // copied as it is, it would carry wrong bytes
            s.first = s.entryOfFrame.empty() ? e : ts;
            s.samples = 1;
        } else {
            AVRational frame{int(s.info.dwScale), int(s.info.dwRate)};
            s.first = av_rescale_q_rnd(ts, st->time_base, frame, AV_ROUND_NEAR_INF);
            s.samples = 1;
        }
        s.data.assign(pkt->data, pkt->data + pkt->size);
        s.key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        s.generation = FCache->generation;
        return AVIERR_OK;
    }
}

int32_t TAviFile::LoadPacketAt(TStream &s, int64_t n)
{
    if (s.first >= 0 && n >= s.first && n < s.first + s.samples)
        return AVIERR_OK;
    // Close ahead in the same demuxer run: read on instead of seeking.
    int64_t reach = s.pcm ? int64_t(s.sampleRate) : 16;
    bool onward = s.first >= 0 && s.generation == FCache->generation && !FCache->eof && n >= s.first + s.samples &&
                  n < s.first + s.samples + reach;
    AVFormatContext *ctx = Ctx(FContext);
    AVStream *st = ctx->streams[s.index];
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!onward) {
            int64_t ts;
            int flags = AVSEEK_FLAG_BACKWARD;
            if (s.pcm) {
                ts = av_rescale_q(n, AVRational{1, s.sampleRate}, st->time_base);
            } else if (s.indexed) {
                const AVIndexEntry *entry = avformat_index_get_entry(st, EntryOf(s, n));
                if (!entry)
                    return AVIERR_BADPARAM;
                ts = entry->timestamp;
                flags |= AVSEEK_FLAG_ANY;
            } else {
                ts = av_rescale_q(n, AVRational{int(s.info.dwScale), int(s.info.dwRate)}, st->time_base);
                flags |= AVSEEK_FLAG_ANY;
            }
            // The second attempt starts from the stream's beginning.
            if (attempt == 1)
                ts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
            if (av_seek_frame(ctx, s.index, ts, flags) < 0 && avformat_seek_file(ctx, s.index, INT64_MIN, ts, ts, 0) < 0)
                return AVIERR_FILEREAD;
            ++FCache->generation;
            FCache->eof = false;
            s.first = -1;
            s.samples = 0;
        }
        onward = false;
        for (;;) {
            int32_t r = NextPacketOf(s);
            if (r != AVIERR_OK)
                break;
            if (n >= s.first && n < s.first + s.samples)
                return AVIERR_OK;
            if (s.first > n)
                break; // landed behind the sample: start over from the beginning
        }
    }
    return FCache->eof ? AVIERR_NODATA : AVIERR_FILEREAD;
}

int32_t TAviFile::ReadPcm(TStream &s, int32_t start, int32_t count, uint8_t *out, int32_t bufferSize,
                          int32_t &bytes, int32_t &samples)
{
    if (!out) {
        samples = count;
        bytes = int32_t(int64_t(count) * s.blockAlign);
        return AVIERR_OK;
    }
    count = int32_t(std::min<int64_t>(count, bufferSize / s.blockAlign));
    if (count <= 0)
        return AVIERR_BUFFERTOOSMALL;
    int64_t pos = start;
    while (samples < count) {
        int32_t r = LoadPacketAt(s, pos);
        if (r == AVIERR_NODATA && pos == int64_t(s.info.dwStart) + s.info.dwLength - 1) {
            // A file cut inside its last sample frame: only that sample is lost (silent).
            const uint8_t silence = s.format.size() >= 16 && s.format[14] == 8 ? 0x80 : 0;
            std::memset(out + bytes, silence, size_t(s.blockAlign));
            samples += 1;
            bytes += s.blockAlign;
            break;
        }
        if (r != AVIERR_OK)
            return samples > 0 ? AVIERR_OK : AVIERR_FILEREAD;
        int64_t n = std::min<int64_t>(s.first + s.samples - pos, count - samples);
        std::memcpy(out + bytes, s.data.data() + (pos - s.first) * s.blockAlign, size_t(n * s.blockAlign));
        samples += int32_t(n);
        bytes += int32_t(n * s.blockAlign);
        pos += n;
    }
    return AVIERR_OK;
}

int32_t TAviFile::ReadPackets(TStream &s, int32_t start, int32_t count, uint8_t *out, int32_t bufferSize,
                              int32_t &bytes, int32_t &samples)
{
    AVStream *st = Ctx(FContext)->streams[s.index];
    for (int32_t i = 0; i < count; ++i) {
        int64_t size;
        const int e = s.indexed ? EntryOf(s, start + i) : -1;
        const AVIndexEntry *entry = e >= 0 && !out ? avformat_index_get_entry(st, e) : nullptr;
        if (s.indexed && e < 0) {
            if (FIsAvi && PastLastChunk(s, start + i))
                return samples > 0 ? AVIERR_OK : AVIERR_FILEREAD;   // missing, not dropped
            size = 0; // an empty chunk: a dropped frame
        } else if (entry) {
            size = entry->size;
        } else {
            int32_t r = LoadPacketAt(s, start + i);
            if (r != AVIERR_OK)
                return samples > 0 ? AVIERR_OK : AVIERR_FILEREAD;
            size = int64_t(s.data.size());
        }
        if (out) {
            if (bytes + size > bufferSize)
                break;
            if (size > 0)
                std::memcpy(out + bytes, s.data.data(), size_t(size));
        }
        bytes += int32_t(size);
        ++samples;
    }
    return samples > 0 ? AVIERR_OK : AVIERR_BUFFERTOOSMALL;
}

int32_t TAviFile::Read(int stream, int32_t start, int32_t count, void *buffer, int32_t bufferSize,
                       int32_t *bytesRead, int32_t *samplesRead)
{
    int32_t bytes = 0, samples = 0;
    int32_t r = AVIERR_OK;
    if (!IsOpen())
        r = AVIERR_BADHANDLE;
    else if (stream < 0 || stream >= StreamCount())
        r = AVIERR_BADPARAM;
    if (r == AVIERR_OK) {
        TStream &s = *FStreams[size_t(stream)];
        int64_t first = s.info.dwStart, end = first + int64_t(s.info.dwLength);
        if (count == AVISTREAMREAD_CONVENIENT)
            count = 1;
        if (count <= 0 || start < first || start >= end || (buffer && bufferSize <= 0))
            r = count > 0 && buffer && bufferSize <= 0 ? AVIERR_BUFFERTOOSMALL : AVIERR_BADPARAM;
        else {
            count = int32_t(std::min<int64_t>(count, end - start));
            uint8_t *out = static_cast<uint8_t *>(buffer);
            r = s.pcm ? ReadPcm(s, start, count, out, bufferSize, bytes, samples)
                      : ReadPackets(s, start, count, out, bufferSize, bytes, samples);
        }
    }
    if (bytesRead)
        *bytesRead = bytes;
    if (samplesRead)
        *samplesRead = samples;
    return r;
}

bool TAviFile::IsKeyFrame(int stream, int32_t sample)
{
    if (!IsOpen() || stream < 0 || stream >= StreamCount())
        return false;
    TStream &s = *FStreams[size_t(stream)];
    if (sample < int64_t(s.info.dwStart) || sample >= int64_t(s.info.dwStart) + s.info.dwLength)
        return false;
    if (s.pcm)
        return true;
    if (s.indexed) {
        const int e = EntryOf(s, sample);
        const AVIndexEntry *entry = e >= 0 ? avformat_index_get_entry(Ctx(FContext)->streams[s.index], e) : nullptr;
        return entry && (entry->flags & AVINDEX_KEYFRAME);
    }
    return LoadPacketAt(s, sample) == AVIERR_OK && s.key;
}

} // namespace tessaly
