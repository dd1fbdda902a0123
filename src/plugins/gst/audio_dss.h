// TAudioDSS: an audio source that serves any range of sample frames from its pipeline.
#pragma once

#include "abstract_dss.h"

namespace tessaly::gst {

class TAudioDSS : public TAbstractDSS {
public:
    // Builds and runs the pipeline; Ok() tells the result. timeout in ms, negative for
    // strict; acceptedFormats is not used for audio.
    TAudioDSS(const std::string &fileName, int32_t timeout, uint32_t acceptedFormats, int32_t seekMode);

    bool Ok() const { return FOk; }
    // The accepted sound, completed with the length in sample frames.
    const DssAudioInfo &Info() const { return FInfo; }
    // Where each source channel plays.
    const TChannelLayout &Layout() const { return FLayout; }
    // Decoded sample frames that lie before the stream's first sample (encoder priming, or a
    // first timestamp that is only rounding); reads start after them.
    int64_t Lead() const { return FLead; }
    // Bytes of one sample frame in the source format.
    uint32_t FrameSize() const;
    int64_t Position() const { return FPosition - FLead; }

    // Reads count sample frames from sample frame start, in the source format, into
    // destination (count x FrameSize bytes). Data that does not exist or does not arrive
    // becomes silence unless the source is strict. False on failure.
    bool Read(uint8_t *destination, int64_t count, int64_t start);

private:
    int Open();
    int64_t EstimateDuration();
    // Drops what the decoder delivered before the stream's real start (see Lead).
    void FindLead(int64_t firstStartNs);
    int64_t Frames(int64_t bytes) const;
    // The sample frame at a stream time in ns, to the nearest.
    int64_t FrameAt(int64_t time) const;
    int64_t Bytes(int64_t frames) const;
    uint8_t SilenceByte() const { return FInfo.SampleType == stInt8 ? 128 : 0; }
    // Repositions so that the next delivered byte is frame start (or earlier data is
    // known); false on a failed seek or, when strict, a late buffer.
    bool MoveTo(int64_t &start, int64_t &count, uint8_t *&destination, int &timeout);
    bool Skip(int64_t bytes, int &timeout);

    // Positions count decoded sample frames: sample s of the stream is decoded frame s + FLead.
    int64_t FPosition = 0; // decoded frame at the read point of the held buffer
    uint32_t FOffset = 0;  // bytes of the held buffer already used
    DssAudioInfo FInfo{};
    TChannelLayout FLayout{};
    int64_t FLead = 0;     // decoded frames before sample 0
    bool FOk = false;
};

} // namespace tessaly::gst
