// A container result through libavformat: copied video, new mixed track, kept streams.
#include "media/output/lavf_result_writer.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/mathematics.h>
}

#include "media/input/lavf/lavf_index.h"
#include "media/output/lavf_audio_track.h"
#include "platform/file_system.h"
#include "platform/local_media.h"
#include "platform/safe_output.h"

namespace tessaly {

namespace {

struct TInputCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
using TInput = std::unique_ptr<AVFormatContext, TInputCloser>;

int OpenInput(const std::string &file, TInput &input)
{
    AVFormatContext *ctx = nullptr;
    int r = OpenLocalMedia(file, &ctx);
    if (r < 0)
        return r;
    input.reset(ctx);
    return avformat_find_stream_info(ctx, nullptr);
}

// One video packet of the source in decode order.
struct TIndexEntry {
    int64_t Pts = AV_NOPTS_VALUE;   // presentation time (the decode time where the container has none)
    int64_t Dts = AV_NOPTS_VALUE;
    int64_t ReadDts = AV_NOPTS_VALUE;   // the decode time as read (checked when the packet is copied)
    int32_t Size = 0;
    bool Key = false;
};

// A source packet read ahead of the file being written, kept for the next one; Entry is
// its place among the video packets (-1 for other streams).
struct THeldPacket {
    AVPacket *Packet = nullptr;
    int64_t Entry = -1;
};

// The descriptor-backed output of libavformat (the temporary file of the result).
int WriteOutput(void *opaque, uint8_t *data, int size)
{
    const int fd = *static_cast<int *>(opaque);
    int done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return AVERROR(n < 0 ? errno : EIO);
        done += int(n);
    }
    return size;
}

int64_t SeekOutput(void *opaque, int64_t offset, int whence)
{
    const int fd = *static_cast<int *>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
    }
    off_t at = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

// Tags that describe the source file's encoding run rather than the stream's content.
bool IsStaleTag(const char *key)
{
    static const char *const kStale[] = {"DURATION", "NUMBER_OF_FRAMES", "NUMBER_OF_BYTES", "BPS", "encoder",
                                         "major_brand", "minor_version", "compatible_brands"};
    for (const char *stale : kStale)
        if (av_strcasecmp(key, stale) == 0)
            return true;
    return std::strncmp(key, "_STATISTICS_", 12) == 0;
}

void CopyTags(AVDictionary **to, const AVDictionary *from)
{
    const AVDictionaryEntry *e = nullptr;
    while ((e = av_dict_get(from, "", e, AV_DICT_IGNORE_SUFFIX)))
        if (!IsStaleTag(e->key))
            av_dict_set(to, e->key, e->value, 0);
}

// Audio of fixed frame length whose container times are coarser than a sample (Matroska's
// milliseconds): its packets are timed by their samples in the result.
bool SampleTimed(const AVStream *in)
{
    const AVCodecParameters *par = in->codecpar;
    return par->codec_type == AVMEDIA_TYPE_AUDIO && par->frame_size > 0 && par->sample_rate > 0 &&
           int64_t(in->time_base.num) * par->sample_rate > in->time_base.den;
}

const char *ContainerName(TResultContainer c)
{
    switch (c) {
    case rcMatroska: return "Matroska";
    case rcWebm: return "WebM";
    case rcMp4: return "MP4";
    case rcMov: return "MOV";
    case rcAvi: return "AVI";
    case rcWave: break;
    }
    return "WAV";
}

// Gives every packet of a stream stored in decode order without presentation times the
// time of its place in presentation order, found by decoding the stream once: the n-th
// picture shown takes the n-th decode time. The decode times are dropped, so that the
// copy derives new ones that precede the presentation times.
bool PresentationOrder(const std::string &file, int video, std::vector<TIndexEntry> &entries, std::string &error,
                       const std::function<bool()> &keepGoing)
{
    TInput input;
    int r = OpenInput(file, input);
    const AVCodec *codec = r >= 0 ? avcodec_find_decoder(input->streams[video]->codecpar->codec_id) : nullptr;
    AVCodecContext *decoder = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    std::vector<int64_t> shown;   // decode numbers in the order the pictures come out
    bool ok = decoder && packet && frame && avcodec_parameters_to_context(decoder, input->streams[video]->codecpar) >= 0;
    if (ok) {
        decoder->thread_count = 0;
        ok = avcodec_open2(decoder, codec, nullptr) >= 0;
    }
    int64_t number = 0;
    auto receive = [&]() {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            shown.push_back(frame->pts);
            av_frame_unref(frame);
        }
    };
    bool stopped = false;
    while (ok && av_read_frame(input.get(), packet) >= 0) {
        if (packet->stream_index == video) {
            if (keepGoing && number % 64 == 0 && !keepGoing()) {
                av_packet_unref(packet);
                ok = false;
                stopped = true;
                break;
            }
            packet->pts = packet->dts = number++;
            for (;;) {   // a full decoder takes the packet once its pictures were taken out
                int sent = avcodec_send_packet(decoder, packet);
                receive();
                if (sent != AVERROR(EAGAIN))
                    break;
            }
        }
        av_packet_unref(packet);
    }
    if (ok) {
        avcodec_send_packet(decoder, nullptr);
        receive();
    }
    avcodec_free_context(&decoder);
    av_packet_free(&packet);
    av_frame_free(&frame);
    std::vector<int64_t> decodeTimes;
    for (const TIndexEntry &e : entries)
        decodeTimes.push_back(e.Dts);
    std::vector<bool> seen(entries.size(), false);
    for (int64_t n : shown)
        if (n >= 0 && size_t(n) < seen.size())
            seen[size_t(n)] = true;
    if (stopped) {
        error = "stopped";
        return false;
    }
    if (!ok || shown.size() != entries.size() || std::count(seen.begin(), seen.end(), true) != int64_t(seen.size())) {
        error = "the order in which the video's frames are shown cannot be found (not every frame decodes)";
        return false;
    }
    std::sort(decodeTimes.begin(), decodeTimes.end());
    for (size_t place = 0; place < shown.size(); ++place) {
        TIndexEntry &e = entries[size_t(shown[place])];
        e.Pts = decodeTimes[place];
        e.Dts = AV_NOPTS_VALUE;
    }
    return true;
}

} // namespace

struct TLavfResultWriter::TState {
    // Source and its index.
    std::string File;
    int Video = -1;
    std::vector<TIndexEntry> Entries;   // video packets in decode order
    std::vector<int64_t> Order;         // presentation times, ascending: picture n = Order[n]
    std::vector<int32_t> KeyPictures;   // pictures decoding may start at, ascending
    std::vector<int32_t> Grid;          // picture of each frame; empty: frame n is picture n
    int32_t PictureOf(int32_t frame) const
    {
        return Grid.empty() ? frame : Grid[size_t(std::clamp<int32_t>(frame, 0, int32_t(Grid.size()) - 1))];
    }
    bool FinishIndex();
    // The source as read for copying, on from one file of a run to the next.
    TInput Source;
    int64_t Decoded = 0;                // video packets read from Source
    bool SourceEof = false;
    std::deque<THeldPacket> Carry;      // read for an earlier file, handed to this one first
    std::deque<THeldPacket> Held;       // read for this file, belonging to a later one
    int64_t PreviousLastPts = AV_NOPTS_VALUE;
    // Output (one file).
    TLavfResultOptions Options;
    TSafeOutput Safe;
    int Fd = -1;
    AVIOContext *Io = nullptr;
    AVFormatContext *Out = nullptr;
    std::unique_ptr<TLavfAudioTrack> Audio;
    std::vector<int> Map;               // source stream -> result stream, -1 left out
    std::vector<int64_t> NextSample;    // sample-timed audio: where the next packet starts
    AVBSFContext *VideoFilter = nullptr;
    AVPacket *Packet = nullptr;
    int64_t FirstPts = 0, LastPts = 0;  // presentation times of the first and last frame (video time base)
    int64_t BaseUs = 0, EndUs = 0;      // the range in microseconds
    bool FromStart = false;             // the range starts at the source's first picture
    int64_t DtsShift = 0;               // generated decode times: presentation order shifted back by this
    bool GenerateDts = false;
    int64_t Copied = 0;
    bool PastRange = false;             // a picture of a later range was read (decode order)
    int64_t LeftOut = 0;                // pictures of the range left out after it
    int64_t LastVideoUs = INT64_MIN;
    bool FileDone = false;
    bool Headed = false;
    uint32_t MixRate = 0;
    std::string Error;
    std::vector<std::string> Notes;

    ~TState()
    {
        Close();
        DropHeld();
    }
    void Close()
    {
        av_bsf_free(&VideoFilter);
        av_packet_free(&Packet);
        if (Out)
            avformat_free_context(Out);
        Out = nullptr;
        if (Io)
            avio_context_free(&Io);
        Audio.reset();
        Safe.Discard();
        Fd = -1;
        Headed = false;
    }
    void DropHeld()
    {
        for (std::deque<THeldPacket> *queue : {&Carry, &Held})
            for (THeldPacket &h : *queue)
                av_packet_free(&h.Packet);
        Carry.clear();
        Held.clear();
    }
    bool Fail(const std::string &text, int code = 0)
    {
        Error = code ? text + " (" + LavfErrorText(code) + ")" : text;
        return false;
    }
    // A step of writing the result failed: where the file itself could not be written
    // (a full disk, the file size limit) the message names the file and the system's
    // reason, else the muxer's.
    bool FailOutput(const std::string &text, int code)
    {
        if (Io && Io->error < 0)
            return Fail(FileErrorText("Cannot write to", Safe.Target(), AVUNERROR(Io->error)));
        return Fail(text, code);
    }
    void Note(const std::string &text)
    {
        if (std::find(Notes.begin(), Notes.end(), text) == Notes.end())
            Notes.push_back(text);
    }
    bool OpenCopy();
    bool AddVideo();
    bool AddOthers();
    void AddChapters();
    bool Write(AVPacket *packet, AVRational from);
    bool Hold(AVPacket *packet, int64_t entry, bool copy);
    bool CopyVideo(AVPacket *packet, int64_t entry);
    bool CopyOther(AVPacket *packet);
    bool CopyTimed(AVPacket *packet, AVRational tb);
    bool Pump(int64_t untilUs);
};

TLavfResultWriter::TLavfResultWriter() : F(std::make_unique<TState>()) {}
TLavfResultWriter::~TLavfResultWriter() = default;

const std::string &TLavfResultWriter::ErrorText() const { return F->Error; }
const std::vector<std::string> &TLavfResultWriter::Notes() const { return F->Notes; }
int64_t TLavfResultWriter::VideoPacketsCopied() const { return F->Copied; }
int32_t TLavfResultWriter::SourcePictureCount() const { return int32_t(F->Order.size()); }

int32_t TLavfResultWriter::SourceFrameCount() const
{
    return F->Grid.empty() ? int32_t(F->Order.size()) : int32_t(F->Grid.size());
}

bool TLavfResultWriter::SetFrameGrid(std::vector<int32_t> pictureOfFrame)
{
    const int32_t pictures = int32_t(F->Order.size());
    if (pictureOfFrame.empty() || !std::is_sorted(pictureOfFrame.begin(), pictureOfFrame.end()) ||
        pictureOfFrame.front() < 0 || pictureOfFrame.back() >= pictures)
        return false;
    F->Grid = std::move(pictureOfFrame);
    return true;
}

bool TLavfResultWriter::OpenSource(const std::string &videoFile, const std::function<bool()> &keepGoing)
{
    TState &s = *F;
    TInput index;
    int r = OpenInput(videoFile, index);
    if (r < 0)
        return s.Fail("cannot read the video file \"" + videoFile + "\"", r);
    s.File = videoFile;
    s.Video = av_find_best_stream(index.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s.Video < 0 || (index->streams[s.Video]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        return s.Fail("the file \"" + videoFile + "\" holds no video stream");
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return s.Fail("out of memory");
    bool missingPts = false;
    int64_t count = 0;
    while ((r = av_read_frame(index.get(), packet)) >= 0) {
        if (keepGoing && ++count % 256 == 0 && !keepGoing()) {
            av_packet_free(&packet);
            return s.Fail("stopped");
        }
        if (packet->stream_index == s.Video) {
            TIndexEntry e;
            e.Pts = packet->pts;
            e.Dts = e.ReadDts = packet->dts;
            e.Size = packet->size;
            e.Key = packet->flags & AV_PKT_FLAG_KEY;
            missingPts = missingPts || e.Pts == AV_NOPTS_VALUE;
            s.Entries.push_back(e);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    if (r != AVERROR_EOF)
        return s.Fail("cannot read the video file \"" + videoFile + "\"", r);
    const AVCodecParameters *par = index->streams[s.Video]->codecpar;
    if (missingPts) {
        // Containers without presentation times (AVI) store the frames in decode order;
        // where the codec reorders them, the decoder tells the order they are shown in.
        for (TIndexEntry &e : s.Entries)
            e.Pts = e.Dts;
        if (par->video_delay > 0 && !PresentationOrder(videoFile, s.Video, s.Entries, s.Error, keepGoing))
            return false;
    }
    for (const TIndexEntry &e : s.Entries)
        if (e.Pts != AV_NOPTS_VALUE)
            s.Order.push_back(e.Pts);
    std::sort(s.Order.begin(), s.Order.end());
    return s.FinishIndex();
}

bool TLavfResultWriter::UseIndex(const std::string &videoFile, const TLavfIndex &index)
{
    TState &s = *F;
    s.File = videoFile;
    s.Video = index.Stream;
    s.Entries.clear();
    s.Entries.reserve(index.Packets.size());
    for (const TLavfPacket &p : index.Packets) {
        TIndexEntry e;
        e.Pts = p.Pts == kNoTimestamp ? AV_NOPTS_VALUE : p.Pts;
        e.Dts = e.ReadDts = p.Dts == kNoTimestamp ? AV_NOPTS_VALUE : p.Dts;
        e.Size = int32_t(p.Size);
        e.Key = p.Flags & lpKey;
        s.Entries.push_back(e);
    }
    s.Order.clear();
    for (int32_t n = 0; n < index.FrameCount(); ++n)
        s.Order.push_back(index.Frame(n).Pts);
    return s.FinishIndex();
}

// The key pictures of the index; false when it holds no picture.
bool TLavfResultWriter::TState::FinishIndex()
{
    if (Order.empty())
        return Fail("the video stream of \"" + File + "\" holds no frames");
    KeyPictures.clear();
    for (const TIndexEntry &e : Entries) {
        if (!e.Key || e.Pts == AV_NOPTS_VALUE)
            continue;
        auto it = std::lower_bound(Order.begin(), Order.end(), e.Pts);
        if (it != Order.end() && *it == e.Pts)
            KeyPictures.push_back(int32_t(it - Order.begin()));
    }
    std::sort(KeyPictures.begin(), KeyPictures.end());
    KeyPictures.erase(std::unique(KeyPictures.begin(), KeyPictures.end()), KeyPictures.end());
    // The first picture always starts a range: a stream without key flags is decoded from it.
    if (KeyPictures.empty() || KeyPictures.front() != 0)
        KeyPictures.insert(KeyPictures.begin(), 0);
    return true;
}

int32_t TLavfResultWriter::KeyFrameAtOrBefore(int32_t frame) const
{
    const TState &s = *F;
    if (s.Order.empty() || frame <= 0)
        return 0;
    const int32_t picture = std::min<int32_t>(s.PictureOf(frame), int32_t(s.Order.size()) - 1);
    auto it = std::upper_bound(s.KeyPictures.begin(), s.KeyPictures.end(), picture);
    if (it == s.KeyPictures.begin())
        return 0;
    const int32_t key = *(it - 1);
    if (s.Grid.empty())
        return key;
    return int32_t(std::lower_bound(s.Grid.begin(), s.Grid.end(), key) - s.Grid.begin());
}

bool TLavfResultWriter::IsFileStart(int32_t frame) const
{
    const TState &s = *F;
    if (frame < 0 || frame >= SourceFrameCount())
        return false;
    const int32_t picture = s.PictureOf(frame);
    return std::binary_search(s.KeyPictures.begin(), s.KeyPictures.end(), picture) &&
           (frame == 0 || s.PictureOf(frame - 1) != picture);
}

std::string MediaAudioTag(const std::string &file, const char *key)
{
    TInput input;
    if (OpenInput(file, input) < 0)
        return {};
    int a = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (a < 0)
        return {};
    const AVDictionaryEntry *e = av_dict_get(input->streams[a]->metadata, key, nullptr, 0);
    return e ? e->value : std::string();
}

bool TLavfResultWriter::TState::AddVideo()
{
    const AVStream *in = Source->streams[Video];
    AVStream *out = avformat_new_stream(Out, nullptr);
    if (!out)
        return Fail("out of memory");
    int r = avcodec_parameters_copy(out->codecpar, in->codecpar);
    if (r < 0)
        return Fail("cannot copy the video's parameters", r);
    const AVCodecID id = in->codecpar->codec_id;
    if (avformat_query_codec(Out->oformat, id, FF_COMPLIANCE_NORMAL) != 1)
        return Fail(std::string(ContainerName(Options.Container)) + " cannot hold the video's " +
                    avcodec_get_name(id) + " stream; choose Matroska (.mkv)" +
                    (Options.Container == rcWebm ? "" : " or MOV (.mov)"));
    // The source's codec tag stays where the container knows it for the same codec.
    uint32_t tag = in->codecpar->codec_tag, known = 0;
    if (Out->oformat->codec_tag && av_codec_get_id(Out->oformat->codec_tag, tag) != id &&
        av_codec_get_tag2(Out->oformat->codec_tag, id, &known))
        out->codecpar->codec_tag = 0;
    else if (!Out->oformat->codec_tag)
        out->codecpar->codec_tag = 0;
    out->time_base = in->time_base;
    // AVI counts time in frames: with the source's clock (milliseconds in Matroska) each
    // picture would be followed by empty chunks up to the next tick it takes, and players
    // would show a 1000 fps film. The frame rate that every time of the stream falls on is
    // its time base instead.
    if (Options.Container == rcAvi) {
        const AVRational rate = in->r_frame_rate.num > 0 && in->r_frame_rate.den > 0 ? in->r_frame_rate
                                                                                       : in->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            out->time_base = av_inv_q(rate);
    }
    out->avg_frame_rate = in->avg_frame_rate;
    out->r_frame_rate = in->r_frame_rate;
    out->sample_aspect_ratio = in->sample_aspect_ratio;
    out->disposition = in->disposition;
    if (Options.Keep != kpNone)
        CopyTags(&out->metadata, in->metadata);
    // Display matrix, mastering display, light level ...: what a player needs to show it.
    for (int i = 0; i < in->nb_side_data; ++i) {
        const AVPacketSideData &sd = in->side_data[i];
        if (sd.type == AV_PKT_DATA_DISPLAYMATRIX &&
            (Options.Container == rcMatroska || Options.Container == rcWebm))
            Note("the video's rotation (display matrix) is left out: this libavformat writes none "
                            "into Matroska; MP4 and MOV keep it");
        uint8_t *data = av_stream_new_side_data(out, sd.type, sd.size);
        if (!data)
            return Fail("out of memory");
        std::memcpy(data, sd.data, sd.size);
    }
    // AVI stores H.264 and HEVC as start-code streams.
    const uint8_t *extra = in->codecpar->extradata;
    if (Options.Container == rcAvi && (id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC) && extra &&
        in->codecpar->extradata_size > 0 && extra[0] == 1) {
        const AVBitStreamFilter *filter =
            av_bsf_get_by_name(id == AV_CODEC_ID_H264 ? "h264_mp4toannexb" : "hevc_mp4toannexb");
        if (!filter || av_bsf_alloc(filter, &VideoFilter) < 0)
            return Fail("no bit-stream filter for the video");
        avcodec_parameters_copy(VideoFilter->par_in, in->codecpar);
        VideoFilter->time_base_in = in->time_base;
        r = av_bsf_init(VideoFilter);
        if (r < 0)
            return Fail("the bit-stream filter refuses the video", r);
        avcodec_parameters_copy(out->codecpar, VideoFilter->par_out);
        out->codecpar->codec_tag = 0;
    }
    Map[size_t(Video)] = out->index;
    return true;
}

bool TLavfResultWriter::TState::AddOthers()
{
    for (unsigned i = 0; i < Source->nb_streams; ++i) {
        const AVStream *in = Source->streams[i];
        const AVCodecParameters *par = in->codecpar;
        if (int(i) == Video || Options.Keep == kpNone)
            continue;
        const bool audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
        const bool subtitle = par->codec_type == AVMEDIA_TYPE_SUBTITLE;
        const bool attachment = par->codec_type == AVMEDIA_TYPE_ATTACHMENT;
        const bool cover = par->codec_type == AVMEDIA_TYPE_VIDEO && (in->disposition & AV_DISPOSITION_ATTACHED_PIC);
        if (audio && Options.Keep == kpVideoOnly)
            continue;
        const std::string what = "stream " + std::to_string(i) + " (" + av_get_media_type_string(par->codec_type) +
                                 " " + avcodec_get_name(par->codec_id) + ")";
        bool fits;
        if (attachment)
            fits = Options.Container == rcMatroska && par->extradata_size > 0;
        else if (audio || subtitle || cover)
            fits = avformat_query_codec(Out->oformat, par->codec_id, FF_COMPLIANCE_NORMAL) == 1;
        else
            fits = false;
        if (!fits) {
            Note(what + " left out: " + ContainerName(Options.Container) + " cannot hold it");
            continue;
        }
        AVStream *out = avformat_new_stream(Out, nullptr);
        if (!out || avcodec_parameters_copy(out->codecpar, par) < 0)
            return Fail("out of memory");
        uint32_t known = 0;
        if (!Out->oformat->codec_tag || (av_codec_get_id(Out->oformat->codec_tag, par->codec_tag) != par->codec_id &&
                                         av_codec_get_tag2(Out->oformat->codec_tag, par->codec_id, &known)))
            out->codecpar->codec_tag = 0;
        out->time_base = SampleTimed(in) ? AVRational{1, par->sample_rate} : in->time_base;
        out->disposition = in->disposition & ~AV_DISPOSITION_DEFAULT;
        if (subtitle)
            out->disposition = in->disposition;
        CopyTags(&out->metadata, in->metadata);
        Map[i] = out->index;
    }
    return true;
}

void TLavfResultWriter::TState::AddChapters()
{
    if (Options.Keep == kpNone || Source->nb_chapters == 0)
        return;
    if (Options.Container == rcAvi) {
        Note("the video's chapters are left out: AVI cannot hold them");
        return;
    }
    const int64_t length = EndUs - BaseUs;
    for (unsigned i = 0; i < Source->nb_chapters; ++i) {
        const AVChapter *in = Source->chapters[i];
        int64_t start = av_rescale_q(in->start, in->time_base, AV_TIME_BASE_Q) - BaseUs;
        int64_t end = av_rescale_q(in->end, in->time_base, AV_TIME_BASE_Q) - BaseUs;
        if (end <= 0 || start >= length)
            continue;
        start = std::max<int64_t>(start, 0);
        end = std::min(end, length);
        AVChapter *out = static_cast<AVChapter *>(av_mallocz(sizeof(AVChapter)));
        if (!out || av_dynarray_add_nofree(&Out->chapters, reinterpret_cast<int *>(&Out->nb_chapters), out) < 0) {
            av_free(out);
            return;
        }
        out->id = in->id;
        out->time_base = AV_TIME_BASE_Q;
        out->start = start;
        out->end = end;
        CopyTags(&out->metadata, in->metadata);
    }
}

// Opens the source for copying, or reads it again from its start when the range asked
// for begins before the packets read so far.
bool TLavfResultWriter::TState::OpenCopy()
{
    if (Source && PreviousLastPts != AV_NOPTS_VALUE && FirstPts > PreviousLastPts)
        return true;   // the next range: read on, the packets read ahead first
    DropHeld();
    Source.reset();
    Decoded = 0;
    SourceEof = false;
    int r = OpenInput(File, Source);
    if (r < 0)
        return Fail("cannot read the video file again", r);
    NextSample.assign(Source->nb_streams, INT64_MIN);
    if (Video < 0 || unsigned(Video) >= Source->nb_streams)
        return Fail("the video file changed while it was read");
    return true;
}

bool TLavfResultWriter::Open(const std::string &target, int32_t first, int32_t last, const WAVEFORMATEX *mix,
                             uint32_t channelMask, const TLavfResultOptions &options)
{
    TState &s = *F;
    s.Close();
    s.Options = options;
    s.Error.clear();
    if (s.Order.empty())
        return s.Fail("no video source is open");
    first = std::clamp<int32_t>(s.PictureOf(first), 0, int32_t(s.Order.size()) - 1);
    last = std::clamp<int32_t>(s.PictureOf(last), first, int32_t(s.Order.size()) - 1);
    s.FirstPts = s.Order[size_t(first)];
    s.LastPts = s.Order[size_t(last)];
    s.FromStart = first == 0;
    if (!s.OpenCopy())
        return false;
    const AVStream *video = s.Source->streams[s.Video];
    // The last frame lasts as long as the one before it (or one frame of the nominal rate).
    int64_t lastDuration = last > 0 ? s.Order[size_t(last)] - s.Order[size_t(last) - 1] : 0;
    if (lastDuration <= 0 && video->avg_frame_rate.num > 0)
        lastDuration = std::max<int64_t>(1, av_rescale_q(1, av_inv_q(video->avg_frame_rate), video->time_base));
    s.BaseUs = av_rescale_q(s.FirstPts, video->time_base, AV_TIME_BASE_Q);
    s.EndUs = av_rescale_q(s.LastPts + lastDuration, video->time_base, AV_TIME_BASE_Q);
    // Decode times: the source's, unless some packet of the range lacks one; then the
    // presentation times in decode order, shifted back as far as the reordering needs.
    std::vector<int64_t> range;
    s.GenerateDts = false;
    s.DtsShift = 0;
    for (const TIndexEntry &e : s.Entries)
        if (e.Pts != AV_NOPTS_VALUE && e.Pts >= s.FirstPts && e.Pts <= s.LastPts) {
            range.push_back(e.Pts);
            s.GenerateDts = s.GenerateDts || e.Dts == AV_NOPTS_VALUE;
        }
    std::vector<int64_t> sorted = range;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < range.size(); ++i)
        s.DtsShift = std::max(s.DtsShift, sorted[i] - range[i]);
    s.Copied = 0;
    s.PastRange = false;
    s.LeftOut = 0;
    s.LastVideoUs = INT64_MIN;
    s.FileDone = false;
    s.PreviousLastPts = s.LastPts;
    // What an earlier file read ahead comes first, in the order it was read.
    s.Held.insert(s.Held.end(), s.Carry.begin(), s.Carry.end());
    s.Carry = std::move(s.Held);
    s.Held.clear();

    const AVOutputFormat *format = av_guess_format(ResultMuxerName(options.Container), nullptr, nullptr);
    if (!format)
        return s.Fail("no muxer for the container");
    int r = avformat_alloc_output_context2(&s.Out, format, nullptr, nullptr);
    if (r < 0 || !s.Out)
        return s.Fail("cannot create the result", r);
    s.Map.assign(s.Source->nb_streams, -1);
    if (!s.AddVideo())
        return false;
    if (mix) {
        s.Audio = std::make_unique<TLavfAudioTrack>();
        TResultAudioCodec codec = options.AudioCodec == acDefault ? DefaultAudioCodec(options.Container) : options.AudioCodec;
        if (!s.Audio->Create(s.Out, *mix, channelMask, codec, options.AudioBitrate))
            return s.Fail(std::string(ContainerName(options.Container)) + ": " + s.Audio->ErrorText());
        AVStream *a = s.Audio->Stream();
        a->disposition = AV_DISPOSITION_DEFAULT;
        if (!options.AudioLanguage.empty())
            av_dict_set(&a->metadata, "language", options.AudioLanguage.c_str(), 0);
        if (!options.AudioTitle.empty())
            av_dict_set(&a->metadata, "title", options.AudioTitle.c_str(), 0);
        s.MixRate = mix->nSamplesPerSec;
    }
    if (!s.AddOthers())
        return false;
    s.AddChapters();
    if (options.Keep != kpNone)
        CopyTags(&s.Out->metadata, s.Source->metadata);

    s.Fd = s.Safe.Create(target);
    if (s.Fd < 0)
        return s.Fail("cannot create a file in the folder of \"" + target + "\"", AVERROR(errno));
    const int bufferSize = 1 << 18;
    uint8_t *buffer = static_cast<uint8_t *>(av_malloc(bufferSize));
    s.Io = buffer ? avio_alloc_context(buffer, bufferSize, 1, &s.Fd, nullptr, WriteOutput, SeekOutput) : nullptr;
    if (!s.Io) {
        av_free(buffer);
        return s.Fail("out of memory");
    }
    s.Out->pb = s.Io;
    s.Out->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (options.Container == rcMatroska || options.Container == rcWebm) {
        // Matroska signals Opus priming as the track's codec delay and moves the track's
        // timestamps itself; shifting every stream to non-negative times as well would
        // start the video later than the first sample of the mix.
        s.Out->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    }
    r = avformat_write_header(s.Out, nullptr);
    if (r < 0)
        return s.FailOutput("cannot write the result's header", r);
    s.Headed = true;
    s.Packet = av_packet_alloc();
    if (!s.Packet)
        return s.Fail("out of memory");
    return true;
}

bool TLavfResultWriter::TState::Write(AVPacket *packet, AVRational from)
{
    AVStream *out = Out->streams[packet->stream_index];
    av_packet_rescale_ts(packet, from, out->time_base);
    packet->pos = -1;
    int r = av_interleaved_write_frame(Out, packet);
    if (r < 0)
        return FailOutput("cannot write the result", r);
    return true;
}

// Keeps a packet read ahead for a later file: moved, or as a second reference when the
// packet also goes into this file.
bool TLavfResultWriter::TState::Hold(AVPacket *packet, int64_t entry, bool copy)
{
    THeldPacket held;
    held.Packet = av_packet_alloc();
    held.Entry = entry;
    if (!held.Packet)
        return Fail("out of memory");
    if (!copy)
        av_packet_move_ref(held.Packet, packet);
    else if (av_packet_ref(held.Packet, packet) < 0) {
        av_packet_free(&held.Packet);
        return Fail("out of memory");
    }
    Held.push_back(held);
    return true;
}

bool TLavfResultWriter::TState::CopyVideo(AVPacket *packet, int64_t entry)
{
    if (entry < 0 || size_t(entry) >= Entries.size())
        return true;
    const TIndexEntry &e = Entries[size_t(entry)];
    // The index describes the file as it was when it was read: a file replaced since
    // then would have its packets copied under another packet's times.
    if (packet->size != e.Size || packet->dts != e.ReadDts)
        return Fail("the video file changed after its frames were read; open the project again");
    const AVStream *in = Source->streams[Video];
    if (e.Pts != AV_NOPTS_VALUE)
        LastVideoUs = std::max(LastVideoUs, av_rescale_q(e.Pts, in->time_base, AV_TIME_BASE_Q));
    if (e.Pts == AV_NOPTS_VALUE || e.Pts < FirstPts)
        return true;
    if (e.Pts > LastPts) {
        PastRange = true;
        return Hold(packet, entry, false);
    }
    // A picture of the range decoded after one of a later range may be predicted from it
    // (the leading pictures of an open group, the B-frames before a P-frame past the
    // range's end): without that picture it would decode wrongly, so the file ends
    // before it. The next file starts at its key frame and does not show it either.
    if (PastRange) {
        ++LeftOut;
        return true;
    }
    packet->pts = e.Pts - FirstPts;
    if (GenerateDts) {
        // The n-th copied packet takes the n-th presentation time of the range.
        const int64_t rank = Copied;
        auto it = std::lower_bound(Order.begin(), Order.end(), FirstPts);
        packet->dts = *(it + rank) - FirstPts - DtsShift;
    } else {
        packet->dts = e.Dts - FirstPts;
    }
    packet->stream_index = Map[size_t(Video)];
    ++Copied;
    if (!VideoFilter)
        return Write(packet, in->time_base);
    int r = av_bsf_send_packet(VideoFilter, packet);
    if (r < 0)
        return Fail("the bit-stream filter failed", r);
    while ((r = av_bsf_receive_packet(VideoFilter, packet)) >= 0) {
        packet->stream_index = Map[size_t(Video)];
        if (!Write(packet, in->time_base))
            return false;
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF || Fail("the bit-stream filter failed", r);
}

// A packet of a kept stream goes into the file when it sounds or shows inside the range;
// one that reaches past the range is also kept for the next file. Packets before the
// first picture of the source (encoder priming, an audio start before the video's) are
// kept with times before 0, so that the track starts as in the source.
bool TLavfResultWriter::TState::CopyOther(AVPacket *packet)
{
    const AVStream *in = Source->streams[packet->stream_index];
    int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts == AV_NOPTS_VALUE)
        return true;
    if (SampleTimed(in)) {
        // Rounded container times: a packet within one tick of where the previous one
        // ended starts there, so that a container with sample times (MP4, MOV) gets
        // every packet's true length and the priming's exact end.
        const AVRational rate{1, in->codecpar->sample_rate};
        // A packet held for the next file was timed already.
        const bool timed = packet->time_base.num == 1 && packet->time_base.den == rate.den;
        int64_t at = timed ? ts : av_rescale_q(ts, in->time_base, rate);
        if (NextSample.size() <= size_t(in->index))
            NextSample.resize(size_t(in->index) + 1, INT64_MIN);
        int64_t &next = NextSample[size_t(in->index)];
        if (next != INT64_MIN && std::llabs(at - next) <= av_rescale_q(1, in->time_base, rate))
            at = next;
        next = at + in->codecpar->frame_size;
        packet->pts = packet->dts = at;
        packet->duration = in->codecpar->frame_size;
        packet->time_base = rate;
        return CopyTimed(packet, rate);
    }
    return CopyTimed(packet, in->time_base);
}

bool TLavfResultWriter::TState::CopyTimed(AVPacket *packet, AVRational tb)
{
    const AVStream *in = Source->streams[packet->stream_index];
    const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const int64_t us = av_rescale_q(ts, tb, AV_TIME_BASE_Q);
    const int64_t endUs = us + av_rescale_q(std::max<int64_t>(packet->duration, 0), tb, AV_TIME_BASE_Q);
    if (us >= EndUs)
        return Hold(packet, -1, false);
    if (endUs <= BaseUs && !FromStart)
        return true;
    if (endUs > EndUs && !Hold(packet, -1, true))
        return false;
    const int64_t base = av_rescale_q(BaseUs, AV_TIME_BASE_Q, tb);
    if (packet->pts != AV_NOPTS_VALUE)
        packet->pts -= base;
    if (packet->dts != AV_NOPTS_VALUE)
        packet->dts -= base;
    packet->stream_index = Map[size_t(in->index)];
    return Write(packet, tb);
}

// Copies source packets (those read ahead for this file first) until the video has
// passed `untilUs`, the range is over, or the source ends.
bool TLavfResultWriter::TState::Pump(int64_t untilUs)
{
    while (!FileDone && (LastVideoUs == INT64_MIN || LastVideoUs <= untilUs)) {
        int64_t entry = -1;
        if (!Carry.empty()) {
            THeldPacket held = Carry.front();
            Carry.pop_front();
            av_packet_move_ref(Packet, held.Packet);
            av_packet_free(&held.Packet);
            entry = held.Entry;
        } else {
            int r = SourceEof ? AVERROR_EOF : av_read_frame(Source.get(), Packet);
            if (r == AVERROR_EOF) {
                SourceEof = FileDone = true;
                break;
            }
            if (r < 0)
                return Fail("cannot read the video file", r);
            if (Packet->stream_index == Video)
                entry = Decoded++;
        }
        const size_t stream = size_t(Packet->stream_index);
        bool ok = true;
        if (Packet->stream_index == Video)
            ok = CopyVideo(Packet, entry);
        else if (stream < Map.size() && Map[stream] >= 0)
            ok = CopyOther(Packet);
        av_packet_unref(Packet);
        if (!ok)
            return false;
        // Far enough past the range for every other stream: done.
        if (LastVideoUs != INT64_MIN && LastVideoUs > EndUs + 10 * AV_TIME_BASE)
            FileDone = true;
    }
    return true;
}

bool TLavfResultWriter::WriteAudio(const uint8_t *data, int32_t frames)
{
    TState &s = *F;
    if (!s.Headed)
        return s.Fail("the result is not open");
    if (s.Audio) {
        const AVRational tb{1, s.Audio->CodedRate()};
        bool ok = s.Audio->Write(data, frames, [&](AVPacket *p) { return s.Write(p, tb); });
        if (!ok)
            return s.Error.empty() ? s.Fail(s.Audio->ErrorText()) : false;
    }
    const int64_t reached = s.MixRate ? s.BaseUs + s.Audio->SamplesTaken() * AV_TIME_BASE / s.MixRate : s.EndUs;
    return s.Pump(reached + AV_TIME_BASE / 2);
}

bool TLavfResultWriter::Finish()
{
    TState &s = *F;
    if (!s.Headed)
        return s.Fail(s.Error.empty() ? "the result is not open" : s.Error);
    if (s.Audio) {
        const AVRational tb{1, s.Audio->CodedRate()};
        if (!s.Audio->Flush([&](AVPacket *p) { return s.Write(p, tb); }))
            return s.Error.empty() ? s.Fail(s.Audio->ErrorText()) : false;
    }
    if (!s.Pump(INT64_MAX - 1))
        return false;
    if (s.VideoFilter) {
        av_bsf_send_packet(s.VideoFilter, nullptr);
        while (av_bsf_receive_packet(s.VideoFilter, s.Packet) >= 0) {
            s.Packet->stream_index = s.Map[size_t(s.Video)];
            if (!s.Write(s.Packet, s.Source->streams[s.Video]->time_base))
                return false;
        }
    }
    int r = av_write_trailer(s.Out);
    s.Headed = false;
    if (r < 0)
        return s.FailOutput("cannot complete the result", r);
    avio_flush(s.Io);
    if (s.Io->error < 0)
        return s.FailOutput("cannot write the result", s.Io->error);
    s.Fd = -1;   // closed by the commit
    // The commit flushes the file to the disk, which may still find it full, and renames it.
    if (!s.Safe.Commit())
        return s.Fail(FileErrorText("Cannot complete", s.Safe.Target(), errno));
    if (s.LeftOut > 0)
        s.Note("\"" + s.Safe.Target() + "\" ends " + std::to_string(s.LeftOut) +
               " picture(s) early: they are predicted from a picture after its end (an open group of pictures)");
    s.Close();
    return true;
}

void TLavfResultWriter::Discard()
{
    F->Close();
}

} // namespace tessaly
