// The new mixed track of a container result: PCM packets or encoded packets of the mix.
#include "media/output/lavf_audio_track.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace tessaly {

std::string LavfErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return text;
}

namespace {

AVChannelLayout LayoutOf(uint32_t channelMask, int channels)
{
    AVChannelLayout layout{};
    const uint32_t mask = EffectiveChannelMask(channelMask, channels);
    if (mask == 0 || av_channel_layout_from_mask(&layout, mask) < 0 || layout.nb_channels != channels)
        av_channel_layout_default(&layout, channels);
    return layout;
}

AVCodecID PcmCodecOf(TSampleType type)
{
    switch (type) {
    case stU8: return AV_CODEC_ID_PCM_U8;
    case stS16: return AV_CODEC_ID_PCM_S16LE;
    case stS24: return AV_CODEC_ID_PCM_S24LE;
    case stS32: return AV_CODEC_ID_PCM_S32LE;
    case stF32: return AV_CODEC_ID_PCM_F32LE;
    case stF64: return AV_CODEC_ID_PCM_F64LE;
    case stNone: break;
    }
    return AV_CODEC_ID_NONE;
}

// A mix sample as a 16-bit (wide = false) or left-aligned 24-bit value in 32 bits.
// 16- and 24-bit integers keep their value; 8-bit values are widened exactly; 32-bit
// integers and floats are rounded to 24 bits.
int32_t ExactSample(TSampleType type, const uint8_t *p, bool wide)
{
    int32_t v24 = 0;
    switch (type) {
    case stU8: return wide ? (int32_t(p[0]) - 128) << 24 : (int32_t(p[0]) - 128) << 8;
    case stS16: {
        int32_t v = int16_t(uint16_t(p[0] | (p[1] << 8)));
        return wide ? v << 16 : v;
    }
    case stS24:
        return int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24);
    case stS32: {
        int32_t v = int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
        int64_t r = (int64_t(v) + 128) >> 8;
        v24 = int32_t(std::min<int64_t>(r, 8388607));
        break;
    }
    case stF32:
    case stF64: {
        double x;
        if (type == stF32) {
            float f;
            std::memcpy(&f, p, 4);
            x = f;
        } else {
            std::memcpy(&x, p, 8);
        }
        if (std::isnan(x))
            x = 0;
        v24 = int32_t(std::clamp(std::nearbyint(x * 8388608.0), -8388608.0, 8388607.0));
        break;
    }
    case stNone: break;
    }
    return int32_t(uint32_t(v24) << 8);
}

} // namespace

TLavfAudioTrack::~TLavfAudioTrack()
{
    avcodec_free_context(&FEncoder);
    if (FFifo)
        av_audio_fifo_free(FFifo);
    swr_free(&FResampler);
    av_frame_free(&FFrame);
    av_packet_free(&FPacket);
}

bool TLavfAudioTrack::Fail(const std::string &text, int code)
{
    FError = code ? text + " (" + LavfErrorText(code) + ")" : text;
    return false;
}

bool TLavfAudioTrack::Create(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask,
                             TResultAudioCodec codec, int64_t bitrate)
{
    FMix = mix;
    FType = SampleTypeOf(mix);
    FCodec = codec;
    if (FType == stNone || mix.nChannels == 0 || mix.nSamplesPerSec == 0)
        return Fail("the mixed audio has no PCM format");
    FPacket = av_packet_alloc();
    FFrame = av_frame_alloc();
    if (!FPacket || !FFrame)
        return Fail("out of memory");
    if (codec == acPcm || codec == acDefault)
        return CreatePcm(output, mix, channelMask);
    return CreateEncoder(output, mix, channelMask, codec, bitrate);
}

bool TLavfAudioTrack::CreatePcm(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask)
{
    const AVCodecID id = PcmCodecOf(FType);
    if (avformat_query_codec(output->oformat, id, FF_COMPLIANCE_NORMAL) != 1)
        return Fail(std::string("the container cannot hold PCM audio"));
    FStream = avformat_new_stream(output, nullptr);
    if (!FStream)
        return Fail("out of memory");
    AVCodecParameters *par = FStream->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = id;
    par->ch_layout = LayoutOf(channelMask, mix.nChannels);
    par->sample_rate = int(mix.nSamplesPerSec);
    par->bits_per_coded_sample = mix.wBitsPerSample;
    par->bits_per_raw_sample = mix.wBitsPerSample;
    par->block_align = mix.nBlockAlign;
    par->bit_rate = int64_t(mix.nSamplesPerSec) * mix.nBlockAlign * 8;
    par->frame_size = 0;
    FCodedRate = int32_t(mix.nSamplesPerSec);
    FStream->time_base = AVRational{1, FCodedRate};
    return true;
}

bool TLavfAudioTrack::CreateEncoder(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask,
                                    TResultAudioCodec codec, int64_t bitrate)
{
    const AVCodec *encoder = nullptr;
    switch (codec) {
    case acFlac: encoder = avcodec_find_encoder(AV_CODEC_ID_FLAC); break;
    case acAlac: encoder = avcodec_find_encoder(AV_CODEC_ID_ALAC); break;
    case acAac: encoder = avcodec_find_encoder_by_name("aac"); break;
    case acOpus:
        encoder = avcodec_find_encoder_by_name("libopus");
        if (!encoder)
            encoder = avcodec_find_encoder(AV_CODEC_ID_OPUS);
        break;
    case acAc3: encoder = avcodec_find_encoder_by_name("ac3"); break;
    case acEac3: encoder = avcodec_find_encoder_by_name("eac3"); break;
    default: break;
    }
    const std::string name = ResultAudioCodecName(codec);
    if (!encoder)
        return Fail("no " + name + " encoder is installed");
    if (avformat_query_codec(output->oformat, encoder->id, FF_COMPLIANCE_NORMAL) != 1)
        return Fail("the container cannot hold " + name + " audio");
    FEncoder = avcodec_alloc_context3(encoder);
    if (!FEncoder)
        return Fail("out of memory");
    const bool exact = codec == acFlac || codec == acAlac;
    const bool wide = FType != stU8 && FType != stS16;
    AVSampleFormat format = AV_SAMPLE_FMT_FLTP;
    if (exact) {
        if (codec == acFlac)
            format = wide ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
        else
            format = wide ? AV_SAMPLE_FMT_S32P : AV_SAMPLE_FMT_S16P;
        FEncoder->bits_per_raw_sample = wide ? 24 : 16;
    } else if (encoder->sample_fmts) {
        format = encoder->sample_fmts[0];
        for (const AVSampleFormat *f = encoder->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
            if (*f == AV_SAMPLE_FMT_FLT || *f == AV_SAMPLE_FMT_FLTP)
                format = *f;
    }
    int rate = int(mix.nSamplesPerSec);
    if (!exact && encoder->supported_samplerates) {
        // The mix rate when the encoder takes it, else the nearest rate above (or the highest).
        int best = 0;
        for (const int *r = encoder->supported_samplerates; *r; ++r) {
            if (*r == rate) {
                best = rate;
                break;
            }
            if ((*r > rate && (best < rate || *r < best)) || (best < rate && *r > best))
                best = *r;
        }
        rate = best;
    }
    FEncoder->sample_fmt = format;
    FEncoder->sample_rate = rate;
    FEncoder->time_base = AVRational{1, rate};
    FEncoder->ch_layout = LayoutOf(channelMask, mix.nChannels);
    if (!exact && bitrate > 0)
        FEncoder->bit_rate = bitrate;
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        FEncoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int r = avcodec_open2(FEncoder, encoder, nullptr);
    if (r < 0)
        return Fail("the " + name + " encoder refuses " + std::to_string(mix.nChannels) + " channels at " +
                        std::to_string(rate) + " Hz",
                    r);
    FStream = avformat_new_stream(output, nullptr);
    if (!FStream)
        return Fail("out of memory");
    r = avcodec_parameters_from_context(FStream->codecpar, FEncoder);
    if (r < 0)
        return Fail("the encoder's parameters", r);
    FStream->time_base = FEncoder->time_base;
    FCodedRate = rate;
    FFifo = av_audio_fifo_alloc(format, mix.nChannels, 4096);
    if (!FFifo)
        return Fail("out of memory");
    if (!exact) {
        AVChannelLayout in = LayoutOf(channelMask, mix.nChannels);
        AVSampleFormat inFormat = FType == stU8    ? AV_SAMPLE_FMT_U8
                                  : FType == stS16 ? AV_SAMPLE_FMT_S16
                                  : FType == stF32 ? AV_SAMPLE_FMT_FLT
                                  : FType == stF64 ? AV_SAMPLE_FMT_DBL
                                                   : AV_SAMPLE_FMT_S32;   // 24-bit widened first
        r = swr_alloc_set_opts2(&FResampler, &FEncoder->ch_layout, format, rate, &in, inFormat,
                                int(mix.nSamplesPerSec), 0, nullptr);
        if (r >= 0)
            r = swr_init(FResampler);
        av_channel_layout_uninit(&in);
        if (r < 0)
            return Fail("the resampler refuses the mix format", r);
    }
    return true;
}

bool TLavfAudioTrack::QueueExact(const uint8_t *data, int32_t frames)
{
    const int channels = FMix.nChannels;
    const int bytes = FMix.wBitsPerSample / 8;
    const bool wide = FEncoder->sample_fmt == AV_SAMPLE_FMT_S32 || FEncoder->sample_fmt == AV_SAMPLE_FMT_S32P;
    const bool planar = av_sample_fmt_is_planar(FEncoder->sample_fmt);
    const size_t size = wide ? 4 : 2;
    FScratch.resize(size_t(frames) * channels * size);
    uint8_t *planes[64] = {};
    for (int c = 0; c < channels && c < 64; ++c)
        planes[c] = FScratch.data() + (planar ? size_t(c) * frames * size : 0);
    for (int32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const uint8_t *p = data + (size_t(i) * channels + c) * bytes;
            int32_t v = ExactSample(FType, p, wide);
            size_t at = planar ? size_t(i) : size_t(i) * channels + c;
            if (wide)
                std::memcpy(planes[planar ? c : 0] + at * 4, &v, 4);
            else {
                int16_t s = int16_t(v);
                std::memcpy(planes[planar ? c : 0] + at * 2, &s, 2);
            }
        }
    return av_audio_fifo_write(FFifo, reinterpret_cast<void **>(planes), frames) == frames ||
           Fail("out of memory");
}

bool TLavfAudioTrack::QueueResampled(const uint8_t *data, int32_t frames)
{
    const uint8_t *in = data;
    if (FType == stS24) {
        // libswresample takes no packed 24-bit samples: widened to 32 bits first.
        const size_t count = size_t(frames) * FMix.nChannels;
        FScratch.resize(count * 4);
        for (size_t i = 0; i < count; ++i) {
            int32_t v = ExactSample(stS24, data + i * 3, true);
            std::memcpy(FScratch.data() + i * 4, &v, 4);
        }
        in = FScratch.data();
    }
    const int room = swr_get_out_samples(FResampler, frames);
    if (room < 0)
        return Fail("the resampler failed", room);
    AVFrame *out = FFrame;
    av_frame_unref(out);
    out->format = FEncoder->sample_fmt;
    out->nb_samples = std::max(room, 1);
    av_channel_layout_copy(&out->ch_layout, &FEncoder->ch_layout);
    int r = av_frame_get_buffer(out, 0);
    if (r < 0)
        return Fail("out of memory", r);
    const uint8_t *inPlanes[1] = {in};
    int got = swr_convert(FResampler, out->data, room, data ? inPlanes : nullptr, data ? frames : 0);
    if (got < 0)
        return Fail("the resampler failed", got);
    if (got > 0 && av_audio_fifo_write(FFifo, reinterpret_cast<void **>(out->data), got) != got)
        return Fail("out of memory");
    av_frame_unref(out);
    return true;
}

bool TLavfAudioTrack::Write(const uint8_t *data, int32_t frames, const TPacketSink &sink)
{
    if (frames <= 0)
        return true;
    FTaken += frames;
    if (!FEncoder) {
        // PCM: the mix bytes are the packet.
        const int size = frames * FMix.nBlockAlign;
        int r = av_new_packet(FPacket, size);
        if (r < 0)
            return Fail("out of memory", r);
        std::memcpy(FPacket->data, data, size_t(size));
        FPacket->pts = FPacket->dts = FEncoded;
        FPacket->duration = frames;
        FPacket->flags |= AV_PKT_FLAG_KEY;
        FPacket->stream_index = FStream->index;
        FEncoded += frames;
        bool ok = sink(FPacket);
        av_packet_unref(FPacket);
        return ok;
    }
    if (!(FResampler ? QueueResampled(data, frames) : QueueExact(data, frames)))
        return false;
    return EncodeQueued(false, sink);
}

bool TLavfAudioTrack::EncodeQueued(bool flush, const TPacketSink &sink)
{
    const int frameSize = FEncoder->frame_size > 0 ? FEncoder->frame_size : 4096;
    const bool smallLast = FEncoder->codec->capabilities &
                           (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(FFifo) >= frameSize || (flush && av_audio_fifo_size(FFifo) > 0)) {
        const int available = std::min(av_audio_fifo_size(FFifo), frameSize);
        AVFrame *frame = FFrame;
        av_frame_unref(frame);
        frame->format = FEncoder->sample_fmt;
        frame->sample_rate = FEncoder->sample_rate;
        frame->nb_samples = smallLast || FEncoder->frame_size == 0 ? available : frameSize;
        av_channel_layout_copy(&frame->ch_layout, &FEncoder->ch_layout);
        int r = av_frame_get_buffer(frame, 0);
        if (r < 0)
            return Fail("out of memory", r);
        av_samples_set_silence(frame->data, 0, frame->nb_samples, frame->ch_layout.nb_channels,
                               AVSampleFormat(frame->format));
        if (av_audio_fifo_read(FFifo, reinterpret_cast<void **>(frame->data), available) != available)
            return Fail("the sample queue failed");
        frame->pts = FEncoded;
        FEncoded += frame->nb_samples;
        r = avcodec_send_frame(FEncoder, frame);
        av_frame_unref(frame);
        if (r < 0)
            return Fail("the " + std::string(ResultAudioCodecName(FCodec)) + " encoder failed", r);
        if (!Drain(sink))
            return false;
    }
    return true;
}

bool TLavfAudioTrack::Drain(const TPacketSink &sink)
{
    for (;;) {
        int r = avcodec_receive_packet(FEncoder, FPacket);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return Fail("the " + std::string(ResultAudioCodecName(FCodec)) + " encoder failed", r);
        FPacket->stream_index = FStream->index;
        bool ok = sink(FPacket);
        av_packet_unref(FPacket);
        if (!ok)
            return false;
    }
}

bool TLavfAudioTrack::Flush(const TPacketSink &sink)
{
    if (!FEncoder)
        return true;
    if (FResampler && !QueueResampled(nullptr, 0))
        return false;
    if (!EncodeQueued(true, sink))
        return false;
    int r = avcodec_send_frame(FEncoder, nullptr);
    if (r < 0 && r != AVERROR_EOF)
        return Fail("the encoder failed", r);
    if (!Drain(sink))
        return false;
    // The encoder may have updated its header (FLAC's stream info with the real totals).
    if (FEncoder->extradata_size > 0 && FStream->codecpar->extradata_size == FEncoder->extradata_size)
        std::memcpy(FStream->codecpar->extradata, FEncoder->extradata, size_t(FEncoder->extradata_size));
    return true;
}

} // namespace tessaly
