// TGetSample: the plug-ins' own sink element that hands each decoded buffer to the
// reading thread and holds it until the reader releases it.
#pragma once

#include "dss_types.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tessaly::gst {

// Time-out a reader falls back to once a wait of the same read has timed out (ms).
constexpr int kShortTimeout = 55;

class TGetSample {
public:
    // Creates a grabber element (a floating GStreamer reference that the bin it is added
    // to takes over); the returned object lives exactly as long as that element.
    // Mask 0 offers no types but accepts all five picture formats. Null on failure.
    static TGetSample *Create(bool audio, uint32_t acceptedFormats, bool copiesFrames);

    GstElement *Element() const { return FElement; }
    bool IsAudio() const { return FAudio; }
    uint32_t AcceptedFormats() const { return FMask; }
    // Picture formats offered to upstream, in offer order (empty for a grabber made with mask 0).
    const std::vector<uint32_t> &OfferedFormats() const { return FOffered; }

    // Whether caps describe a type this grabber accepts; an accepted type is recorded in
    // the description (the last accepted type wins).
    bool QueryAccept(const GstCaps *caps);
    DssVideoInfo VideoInfo() const;
    DssAudioInfo AudioInfo() const;
    // Where each channel of the accepted sound plays (GStreamer's channel positions, or the
    // usual layout of the channel count when the type carries none).
    TChannelLayout AudioLayout() const;

    // Duration given to a video buffer without its own duration, 100 ns units.
    void SetFrameDuration(int64_t duration) { FFrameDuration = duration; }

    // Whether the grabber's input is linked to an upstream pad. The input is the grabber's
    // own pad unless a converter in front of it is named (kept without a reference).
    bool IsConnected() const;
    void SetInput(GstPad *pad) { FInput = pad; }
    // The pipeline this grabber serves (not referenced; set by the source).
    void SetPipeline(GstElement *pipeline) { FPipeline = pipeline; }
    // Records a pipeline error so that every wait ends at once.
    void NoteError();
    bool HasError() const;

    // Sets the pipeline playing; true once it runs (or is still getting there).
    bool RunGraph();
    // Releases a held buffer and stops the pipeline.
    void StopGraph();
    // Repositions the pipeline to a stream time (100 ns): 0 positioned, 1 not positioned
    // (the pipeline goes on where it was), -1 failure.
    int SeekTo(int64_t time);
    // SeekTo with a time in nanoseconds, for sample-exact audio positioning.
    int SeekToNs(int64_t time);
    // True when no first buffer arrived after a run or seek within the time-out (ms);
    // a time-out lowers the caller's time-out to kShortTimeout.
    bool WaitSample(int &timeout);
    // Releases the held buffer and waits for the next one; true when one is held.
    bool NextSample(int &timeout);
    bool EndOfStream() const;

    // Stream times of the held buffer, 100 ns.
    int64_t CurrentStart() const;
    int64_t CurrentEnd() const;
    int64_t CurrentStartNs() const;
    // The held buffer's bytes (audio grabber); valid between a successful wait and the next release.
    const uint8_t *CurrentData() const { return FData; }
    uint32_t CurrentLength() const { return FLength; }

    // Bytes of one raw frame of the accepted picture (0 without a valid description).
    uint32_t RawFrameSize() const;
    // Copies the held picture in the raw frame layout; grey (128) when none arrived and not
    // strict. False for a grabber that does not copy frames, or when strict and none came.
    bool CopyFrameTo(uint8_t *destination, int &timeout, bool strict, int &lastError);

    // Streaming-thread side, called by the element.
    GstFlowReturn Render(GstBuffer *buffer);
    void Unlock();
    void UnlockStop();
    void HandleEvent(GstEvent *event);
    void Started(bool started);
    GstCaps *Caps(GstCaps *filter) const;

private:
    TGetSample(GstElement *element, bool audio, uint32_t mask, bool copiesFrames);
    friend struct TGetSampleAccess;
    bool AcceptVideo(const GstCaps *caps);
    bool AcceptAudio(const GstCaps *caps);
    bool WaitHeldLocked(std::unique_lock<std::mutex> &lock, uint64_t afterSeq, int timeout);
    void CopyHeldFrame(uint8_t *destination) const;

    GstElement *FElement;
    GstElement *FPipeline = nullptr;
    GstPad *FInput = nullptr;
    bool FAudio;
    bool FCopiesFrames;
    uint32_t FMask;
    std::vector<uint32_t> FOffered;

    mutable std::mutex FLock;
    std::condition_variable FChanged;
    bool FStarted = false;     // between the element's start and stop
    bool FUnlocked = false;    // flushing or stopping: a held buffer must be let go
    bool FSeekPending = false; // buffers before the seek's flush are stale
    bool FEos = false;
    bool FError = false;
    bool FWaitingFirst = false;
    bool FHeld = false;
    uint64_t FSeq = 0;         // buffers handed over so far
    uint64_t FReleased = 0;    // buffers the reader let go of

    DssVideoInfo FVideo{};
    DssAudioInfo FAudioInfo{};
    TChannelLayout FLayout{};
    GstVideoInfo FVInfo{};
    GstVideoFrame FFrame{};
    int64_t FSegmentOffset = 0; // stream time minus buffer time, ns
    int64_t FStart = 0, FStop = 0, FMeasured = 0; // buffer times, ns
    int64_t FFrameDuration = 0; // 100 ns
    const uint8_t *FData = nullptr;
    uint32_t FLength = 0;
};

} // namespace tessaly::gst
