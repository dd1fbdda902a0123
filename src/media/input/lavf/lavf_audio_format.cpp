// Decoded FFmpeg audio frames in the delivered sample encodings.
#include "media/input/lavf/lavf_audio_format.h"

#include <bit>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace tessaly {

namespace {

// FFmpeg's native channel bits up to the top back right speaker are the WAVE speaker bits.
constexpr uint64_t kWaveSpeakerBits = (uint64_t(1) << 18) - 1;

int BytesOf(TSampleType t)
{
    switch (t) {
    case stU8: return 1;
    case stS16: return 2;
    case stS24: return 3;
    case stS32:
    case stF32: return 4;
    case stF64: return 8;
    default: return 0;
    }
}

} // namespace

TLavfSampleShape ShapeOfFrame(const AVFrame *frame, int rawBits)
{
    TLavfSampleShape s;
    const AVSampleFormat fmt = AVSampleFormat(frame->format);
    switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8: s.Type = stU8; break;
    case AV_SAMPLE_FMT_S16: s.Type = stS16; break;
    case AV_SAMPLE_FMT_S32: s.Type = rawBits > 16 && rawBits <= 24 ? stS24 : stS32; break;
    case AV_SAMPLE_FMT_FLT: s.Type = stF32; break;
    case AV_SAMPLE_FMT_DBL: s.Type = stF64; break;
    default: s.Type = stNone; break;
    }
    s.Bits = BytesOf(s.Type) * 8;
    s.Rate = frame->sample_rate;
    s.Channels = frame->ch_layout.nb_channels;
    s.DecodedFormat = frame->format;
    const AVChannelLayout &l = frame->ch_layout;
    if (l.order == AV_CHANNEL_ORDER_NATIVE && (l.u.mask & ~kWaveSpeakerBits) == 0 &&
        std::popcount(l.u.mask) == l.nb_channels)
        s.Mask = uint32_t(l.u.mask);
    char name[64] = {};
    if (l.order != AV_CHANNEL_ORDER_UNSPEC && av_channel_layout_describe(&l, name, sizeof name) >= 0)
        s.LayoutName = name;
    if (s.Rate <= 0 || s.Channels <= 0 || s.Channels > kMaxConvertChannels)
        s.Type = stNone;
    return s;
}

bool TLavfSampleShape::Matches(const AVFrame *frame) const
{
    if (frame->format != DecodedFormat || frame->sample_rate != Rate || frame->ch_layout.nb_channels != Channels)
        return false;
    return frame->ch_layout.order != AV_CHANNEL_ORDER_NATIVE || Mask == 0 || frame->ch_layout.u.mask == Mask;
}

void TLavfSampleShape::Interleave(const AVFrame *frame, uint8_t *out) const
{
    const AVSampleFormat fmt = AVSampleFormat(frame->format);
    const int inBytes = av_get_bytes_per_sample(fmt);
    const int outBytes = Bits / 8;
    const int n = frame->nb_samples;
    const bool planar = av_sample_fmt_is_planar(fmt) != 0;
    if (!planar && inBytes == outBytes) {
        std::memcpy(out, frame->extended_data[0], size_t(n) * size_t(Channels) * size_t(outBytes));
        return;
    }
    if (planar && inBytes == outBytes) { // planes copied channel by channel into their slots
        const size_t stride = size_t(Channels) * size_t(outBytes);
        for (int c = 0; c < Channels; ++c) {
            const uint8_t *src = frame->extended_data[c];
            uint8_t *dst = out + size_t(c) * size_t(outBytes);
            if (outBytes == 4)
                for (int i = 0; i < n; ++i, src += 4, dst += stride)
                    std::memcpy(dst, src, 4);
            else
                for (int i = 0; i < n; ++i, src += outBytes, dst += stride)
                    std::memcpy(dst, src, size_t(outBytes));
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < Channels; ++c, out += outBytes) {
            const uint8_t *src = planar ? frame->extended_data[c] + size_t(i) * size_t(inBytes)
                                        : frame->extended_data[0] + (size_t(i) * size_t(Channels) + size_t(c)) * size_t(inBytes);
            if (Type == stS24) { // the top three bytes of a left-aligned 32-bit value
                uint32_t v;
                std::memcpy(&v, src, 4);
                out[0] = uint8_t(v >> 8);
                out[1] = uint8_t(v >> 16);
                out[2] = uint8_t(v >> 24);
            } else {
                std::memcpy(out, src, size_t(outBytes));
            }
        }
    }
}

std::vector<uint8_t> TLavfSampleShape::FormatRecord() const
{
    WAVEFORMATEX f = MakePcmFormat(uint32_t(Rate), uint16_t(Bits), uint16_t(Channels));
    if (Type == stF32 || Type == stF64)
        f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    return ResultWaveFormat(f, Mask);
}

} // namespace tessaly
