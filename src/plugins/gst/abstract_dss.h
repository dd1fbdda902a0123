// TAbstractDSS: one GStreamer pipeline per source that ends the wanted stream in a TGetSample.
#pragma once

#include "get_sample.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace tessaly::gst {

// Seek modes of a source.
enum : int32_t {
    smRestart = 0,     // never seek forward; to go back, restart at 0 and step
    smSeek = 1,        // seek when useful
    smForwardOnly = 2, // never seek, never go back
};

class TAbstractDSS {
public:
    // timeout: milliseconds; a negative value means strict (a late sample is a failure).
    TAbstractDSS(const std::string &fileName, int32_t timeout, int32_t seekMode);
    virtual ~TAbstractDSS();
    TAbstractDSS(const TAbstractDSS &) = delete;
    TAbstractDSS &operator=(const TAbstractDSS &) = delete;

    // Number of repositionings of the pipeline so far (for diagnostics and tests).
    uint32_t SeekCount() const { return FSeekCount; }
    int32_t SeekMode() const { return FSeekMode; }
    TGetSample *Grabber() const { return FGrabber; }

protected:
    // Builds the pipeline up to a prerolled, connected grabber: the steps shared by the
    // video and audio sources. Returns 0 or the last-error code of the failed step.
    int BuildGraph(bool audio, uint32_t acceptedFormats, bool copiesFrames);
    // Duration of the stream in the given format (time in 100 ns, frames), or 0 when unknown.
    int64_t QueryDuration(GstFormat format) const;
    // The open time-out: the source's, clamped to 5 s ... 300 s.
    int OpenTimeout() const;
    int SeekTo(int64_t time);
    int SeekToNs(int64_t time);
    // Stream time (ns) of the first timed packet that entered a decoder of the wanted kind,
    // INT64_MIN while none did (or no decoder runs, as for PCM).
    int64_t FirstPacketNs() const { return FFirstPacketNs.load(); }
    // Stops and releases the pipeline; the grabber dies with it.
    void Close();

    TGetSample *FGrabber = nullptr; // owned by the pipeline
    GstElement *FPipeline = nullptr;
    int32_t FSeekMode;
    bool FStrict;
    int32_t FTimeout;
    std::string FFileName;
    uint32_t FSeekCount = 0;

private:
    bool LoadSavedGraph(int &error);
    bool BuildRenderGraph();
    bool Preroll(int &error);
    // Decodebin's choice of a factory: refused elements are skipped, decoders of the other
    // media kind leave their stream undecoded.
    static gint AutoplugSelect(GstElement *bin, GstPad *pad, GstCaps *caps, GstElementFactory *factory,
                               gpointer self);
    static void UnknownType(GstElement *bin, GstPad *pad, GstCaps *caps, gpointer self);
    // Every element any bin of the pipeline creates passes here before it runs.
    static void DeepElementAdded(GstBin *pipeline, GstBin *bin, GstElement *element, gpointer self);
    static GstPadProbeReturn FirstPacket(GstPad *pad, GstPadProbeInfo *info, gpointer self);
    void GuardBin(GstElement *bin);
    // Ends the open at once with the reason (the first reason given is kept).
    void Refuse(const std::string &why);
    std::string Refusal() const;
    static void PadAdded(GstElement *element, GstPad *pad, gpointer self);
    static void NoMorePads(GstElement *element, gpointer self);
    void WatchDynamicPads(GstElement *element);
    bool TryLink(GstPad *pad);
    void Prune();

    GstElement *FConverter = nullptr; // raw format converter in front of the grabber
    std::vector<GstElement *> FRemoved; // pruned elements, referenced until Close
    bool FAudio = false;
    std::atomic<bool> FNoMorePads{false};
    bool FPrerolled = false; // the pipeline reached PAUSED with its first buffer
    std::mutex FLinkLock;
    mutable std::mutex FRefusalLock;
    std::string FRefusal; // why the medium was refused, empty while it was not
    std::atomic<int64_t> FFirstPacketNs{INT64_MIN};
};

} // namespace tessaly::gst
