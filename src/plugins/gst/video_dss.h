// TVideoDSS: a video source that serves frames by stepping through delivered buffers or
// seeking its pipeline.
#pragma once

#include "abstract_dss.h"

namespace tessaly::gst {

class TVideoDSS : public TAbstractDSS {
public:
    // Builds and runs the pipeline; Ok() tells the result (the last-error code says why not).
    // timeout in ms, negative for strict; acceptedFormats: the grabber's mask.
    TVideoDSS(const std::string &fileName, int32_t timeout, uint32_t acceptedFormats, int32_t seekMode);

    bool Ok() const { return FOk; }
    // The accepted picture, completed with the frame count and a measured frame rate.
    const DssVideoInfo &Info() const { return FInfo; }
    // Duration of one frame, 100 ns units.
    int64_t FrameDuration() const { return FFrameDuration; }
    bool FramePositioning() const { return FFramePositioning; }
    int32_t CurrentFrame() const { return FCurrentFrame; }
    uint32_t RawFrameSize() const { return FGrabber ? FGrabber->RawFrameSize() : 0; }

    // Copies frame `frame` into destination (RawFrameSize bytes, raw layout); a grey frame
    // when none arrived in time and the source is not strict. False on failure.
    bool ReadFrame(int32_t frame, uint8_t *destination);

private:
    int Open(uint32_t acceptedFormats);
    int MeasureFrameRate(int64_t duration);
    // Stream time of the middle of a frame, 100 ns.
    int64_t MiddleOf(int32_t frame) const;

    bool FFramePositioning = false;
    int32_t FCurrentFrame = 0;
    DssVideoInfo FInfo{};
    int64_t FFrameDuration = 0;
    bool FOk = false;
};

} // namespace tessaly::gst
