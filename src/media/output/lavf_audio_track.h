// TLavfAudioTrack: the new mixed track of a container result. Takes the mix's PCM sample
// frames and hands out the packets of one output stream: PCM packed as it comes, FLAC and
// ALAC from exact integer samples (16 or 24 bits), the lossy codecs through libswresample
// at a rate they accept.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/common/vfw_types.h"
#include "media/input/wave_format.h"
#include "media/output/lavf_result_options.h"

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVAudioFifo;
struct AVFrame;
struct AVPacket;
struct SwrContext;

namespace tessaly {

// FFmpeg's text of an AVERROR code.
std::string LavfErrorText(int code);

class TLavfAudioTrack {
public:
    // Receives each finished packet (time base: TimeBase(), stream index set); false stops the run.
    using TPacketSink = std::function<bool(AVPacket *)>;

    TLavfAudioTrack() = default;
    ~TLavfAudioTrack();
    TLavfAudioTrack(const TLavfAudioTrack &) = delete;
    TLavfAudioTrack &operator=(const TLavfAudioTrack &) = delete;

    // Adds the track's stream to `output` (before its header is written) for the mix
    // format `mix` (PCM or IEEE float) with the speaker mask `channelMask` (0: the usual
    // one), encoded as `codec` (acDefault resolved by the caller) at `bitrate` bits/s (0:
    // the encoder's default; lossy codecs only). False with ErrorText() when the container
    // cannot hold the codec or the encoder refuses the format.
    bool Create(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask, TResultAudioCodec codec,
                int64_t bitrate);
    AVStream *Stream() const { return FStream; }
    // The time base of the packets handed out (one tick per sample of the coded rate).
    int32_t CodedRate() const { return FCodedRate; }

    // Takes `frames` sample frames of the mix format from `data`; finished packets go to sink.
    bool Write(const uint8_t *data, int32_t frames, const TPacketSink &sink);
    // Encodes what is left and drains the encoder.
    bool Flush(const TPacketSink &sink);
    // Sample frames of the mix taken so far.
    int64_t SamplesTaken() const { return FTaken; }
    const std::string &ErrorText() const { return FError; }

private:
    bool CreatePcm(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask);
    bool CreateEncoder(AVFormatContext *output, const WAVEFORMATEX &mix, uint32_t channelMask,
                       TResultAudioCodec codec, int64_t bitrate);
    bool Fail(const std::string &text, int code = 0);
    // Converts mix frames to the encoder's sample format and appends them to the fifo.
    bool QueueExact(const uint8_t *data, int32_t frames);
    bool QueueResampled(const uint8_t *data, int32_t frames);
    bool EncodeQueued(bool flush, const TPacketSink &sink);
    bool Drain(const TPacketSink &sink);

    WAVEFORMATEX FMix{};
    TSampleType FType = stNone;
    TResultAudioCodec FCodec = acPcm;
    AVStream *FStream = nullptr;
    AVCodecContext *FEncoder = nullptr;
    AVAudioFifo *FFifo = nullptr;
    SwrContext *FResampler = nullptr;
    AVFrame *FFrame = nullptr;
    AVPacket *FPacket = nullptr;
    int32_t FCodedRate = 0;
    int64_t FTaken = 0;       // mix sample frames taken
    int64_t FEncoded = 0;     // coded sample frames sent to the encoder (or packed)
    std::vector<uint8_t> FScratch;
    std::string FError;
};

} // namespace tessaly
