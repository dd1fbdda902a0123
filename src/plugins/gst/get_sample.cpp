// TGetSample: a GstBaseSink subclass whose render step hands the buffer to the reader.
#include "get_sample.h"

#include <gst/audio/audio.h>
#include <gst/base/gstbasesink.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace tessaly::gst {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000; // 100 ns units
constexpr int kRenderSliceMs = 15000;

struct TGetSampleElement {
    GstBaseSink Parent;
    TGetSample *Impl;
};
struct TGetSampleElementClass {
    GstBaseSinkClass Parent;
};

GstBaseSinkClass *gParentClass = nullptr;

TGetSample *ImplOf(GstBaseSink *sink) { return reinterpret_cast<TGetSampleElement *>(sink)->Impl; }

// Nanoseconds to 100 ns units, to the nearest.
int64_t To100ns(int64_t t) { return t >= 0 ? (t + 50) / 100 : -((-t + 50) / 100); }

// The WAVE speaker bit of a GStreamer channel position.
uint8_t SpeakerOf(GstAudioChannelPosition p)
{
    switch (p) {
    case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT: return 0;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT: return 1;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_CENTER:
    case GST_AUDIO_CHANNEL_POSITION_MONO: return 2;
    case GST_AUDIO_CHANNEL_POSITION_LFE1:
    case GST_AUDIO_CHANNEL_POSITION_LFE2: return 3;
    case GST_AUDIO_CHANNEL_POSITION_REAR_LEFT: return 4;
    case GST_AUDIO_CHANNEL_POSITION_REAR_RIGHT: return 5;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER: return 6;
    case GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER: return 7;
    case GST_AUDIO_CHANNEL_POSITION_REAR_CENTER: return 8;
    case GST_AUDIO_CHANNEL_POSITION_SIDE_LEFT: return 9;
    case GST_AUDIO_CHANNEL_POSITION_SIDE_RIGHT: return 10;
    case GST_AUDIO_CHANNEL_POSITION_TOP_CENTER: return 11;
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_LEFT: return 12;
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_CENTER: return 13;
    case GST_AUDIO_CHANNEL_POSITION_TOP_FRONT_RIGHT: return 14;
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_LEFT: return 15;
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_CENTER: return 16;
    case GST_AUDIO_CHANNEL_POSITION_TOP_REAR_RIGHT: return 17;
    default: return kSpeakerNone;
    }
}

// The channel layout of accepted caps: the positions the caps carry, else GStreamer's
// usual positions for the channel count (a stereo pair without a mask is front left/right).
TChannelLayout LayoutOf(const GstCaps *caps, int channels)
{
    TChannelLayout layout;
    layout.Count = uint32_t(std::min<int>(channels, int(kMaxLayoutChannels)));
    std::fill(std::begin(layout.Speaker), std::end(layout.Speaker), kSpeakerNone);
    GstAudioInfo info;
    gst_audio_info_init(&info);
    const bool positioned = gst_audio_info_from_caps(&info, caps) && GST_AUDIO_INFO_CHANNELS(&info) == channels &&
                            !GST_AUDIO_INFO_IS_UNPOSITIONED(&info);
    if (positioned) {
        for (uint32_t i = 0; i < layout.Count; ++i)
            layout.Speaker[i] = SpeakerOf(info.position[i]);
        return layout;
    }
    const guint64 mask = gst_audio_channel_get_fallback_mask(channels);
    uint32_t i = 0;
    for (int bit = 0; bit < 64 && i < layout.Count; ++bit)
        if (mask & (guint64(1) << bit))
            layout.Speaker[i++] = SpeakerOf(GstAudioChannelPosition(bit));
    if (mask == 0 && channels == 1)
        layout.Speaker[0] = 2;
    return layout;
}

const char *const kAudioFormats[] = {"U8", "S16LE", "S24LE", "S32LE", "F32LE"};

struct TVideoFormatEntry {
    uint32_t Mask;
    uint32_t PixelFormat;
    const char *Names[2];
};
// Offer order; the Windows byte orders in GStreamer's names: YV12 as I420 or YV12 planes,
// ARGB32 as BGRA, RGB32 as BGRx, RGB24 as BGR.
const TVideoFormatEntry kVideoFormats[] = {
    {fmYV12, pfYV12, {"I420", "YV12"}}, {fmYUY2, pfYUY2, {"YUY2", nullptr}},
    {fmARGB32, pfRGB32, {"BGRA", nullptr}}, {fmRGB32, pfRGB32, {"BGRx", nullptr}},
    {fmRGB24, pfRGB24, {"BGR", nullptr}},
};

const TVideoFormatEntry *FindVideoFormat(GstVideoFormat format)
{
    const char *name = gst_video_format_to_string(format);
    if (!name)
        return nullptr;
    for (const auto &e : kVideoFormats)
        for (const char *n : e.Names)
            if (n && std::strcmp(n, name) == 0)
                return &e;
    return nullptr;
}

GstFlowReturn ElementRender(GstBaseSink *sink, GstBuffer *buffer) { return ImplOf(sink)->Render(buffer); }
gboolean ElementUnlock(GstBaseSink *sink) { ImplOf(sink)->Unlock(); return TRUE; }
gboolean ElementUnlockStop(GstBaseSink *sink) { ImplOf(sink)->UnlockStop(); return TRUE; }
gboolean ElementStart(GstBaseSink *sink) { ImplOf(sink)->Started(true); return TRUE; }
gboolean ElementStop(GstBaseSink *sink) { ImplOf(sink)->Started(false); return TRUE; }
gboolean ElementSetCaps(GstBaseSink *sink, GstCaps *caps) { return ImplOf(sink)->QueryAccept(caps); }
GstCaps *ElementGetCaps(GstBaseSink *sink, GstCaps *filter) { return ImplOf(sink)->Caps(filter); }
gboolean ElementEvent(GstBaseSink *sink, GstEvent *event)
{
    ImplOf(sink)->HandleEvent(event);
    return gParentClass->event(sink, event);
}

void ElementFinalize(GObject *object)
{
    auto *self = reinterpret_cast<TGetSampleElement *>(object);
    delete self->Impl;
    self->Impl = nullptr;
    G_OBJECT_CLASS(gParentClass)->finalize(object);
}

void ElementClassInit(gpointer klass, gpointer)
{
    gParentClass = static_cast<GstBaseSinkClass *>(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->finalize = ElementFinalize;
    auto *element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element, "TGetSample", "Sink", "Hands buffers to a reading thread",
                                          "Tessaly");
    static GstStaticPadTemplate sinkTemplate =
        GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw; audio/x-raw"));
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    auto *base = static_cast<GstBaseSinkClass *>(klass);
    base->render = ElementRender;
    base->unlock = ElementUnlock;
    base->unlock_stop = ElementUnlockStop;
    base->start = ElementStart;
    base->stop = ElementStop;
    base->set_caps = ElementSetCaps;
    base->get_caps = ElementGetCaps;
    base->event = ElementEvent;
}

// Each plug-in registers its own copy of the element type under a name unique to the
// module, so two plug-ins loaded into one process never share (or clash over) a type.
GType ElementType()
{
    static GType type = [] {
        static int anchor;
        char name[64];
        std::snprintf(name, sizeof name, "TessalyGetSample%" PRIxPTR, reinterpret_cast<uintptr_t>(&anchor));
        return g_type_register_static_simple(GST_TYPE_BASE_SINK, g_intern_string(name),
                                             sizeof(TGetSampleElementClass), ElementClassInit,
                                             sizeof(TGetSampleElement), nullptr, GTypeFlags(0));
    }();
    return type;
}

} // namespace

struct TGetSampleAccess {
    static TGetSample *Make(GstElement *e, bool audio, uint32_t mask, bool copies)
    {
        return new TGetSample(e, audio, mask, copies);
    }
};

TGetSample *TGetSample::Create(bool audio, uint32_t acceptedFormats, bool copiesFrames)
{
    GType type = ElementType();
    if (!type)
        return nullptr;
    auto *element = static_cast<GstElement *>(g_object_new(type, "name", "TGetSample", nullptr));
    if (!element)
        return nullptr;
    auto *self = reinterpret_cast<TGetSampleElement *>(element);
    self->Impl = TGetSampleAccess::Make(element, audio, acceptedFormats, copiesFrames);
    // No clock: the reader alone paces decoding; nothing kept back for "last sample".
    g_object_set(element, "sync", FALSE, "qos", FALSE, "enable-last-sample", FALSE, nullptr);
    return self->Impl;
}

TGetSample::TGetSample(GstElement *element, bool audio, uint32_t mask, bool copiesFrames)
    : FElement(element), FAudio(audio), FCopiesFrames(copiesFrames), FMask(mask)
{
    if (!audio)
        for (const auto &e : kVideoFormats)
            if (mask & e.Mask)
                FOffered.push_back(e.Mask);
    if (FMask == 0)
        FMask = fmAll;
    gst_video_info_init(&FVInfo);
}

GstCaps *TGetSample::Caps(GstCaps *filter) const
{
    GstCaps *caps = gst_caps_new_empty();
    if (FAudio) {
        GValue list = G_VALUE_INIT;
        g_value_init(&list, GST_TYPE_LIST);
        for (const char *f : kAudioFormats) {
            GValue v = G_VALUE_INIT;
            g_value_init(&v, G_TYPE_STRING);
            g_value_set_string(&v, f);
            gst_value_list_append_and_take_value(&list, &v);
        }
        GstStructure *s = gst_structure_new("audio/x-raw", "layout", G_TYPE_STRING, "interleaved", "rate",
                                            GST_TYPE_INT_RANGE, 1, G_MAXINT, "channels", GST_TYPE_INT_RANGE, 1,
                                            G_MAXINT, nullptr);
        gst_structure_take_value(s, "format", &list);
        gst_caps_append_structure(caps, s);
    } else {
        for (const auto &e : kVideoFormats) {
            if (!(FMask & e.Mask))
                continue;
            for (const char *n : e.Names)
                if (n)
                    gst_caps_append_structure(
                        caps, gst_structure_new("video/x-raw", "format", G_TYPE_STRING, n, "width",
                                                GST_TYPE_INT_RANGE, 1, G_MAXINT, "height", GST_TYPE_INT_RANGE, 1,
                                                G_MAXINT, nullptr));
        }
    }
    if (filter) {
        GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

bool TGetSample::QueryAccept(const GstCaps *caps)
{
    if (!caps || gst_caps_get_size(caps) < 1)
        return false;
    // Only buffers in system memory can be read by the reading thread.
    GstCapsFeatures *features = gst_caps_get_features(caps, 0);
    for (guint i = 0; features && i < gst_caps_features_get_size(features); ++i) {
        const char *f = gst_caps_features_get_nth(features, i);
        if (std::strncmp(f, "memory:", 7) == 0 && std::strcmp(f, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY) != 0)
            return false;
    }
    return FAudio ? AcceptAudio(caps) : AcceptVideo(caps);
}

bool TGetSample::AcceptAudio(const GstCaps *caps)
{
    if (FCopiesFrames)
        return false;
    // Read field by field: multichannel types without a channel mask are still taken, with
    // the usual positions of their channel count.
    const GstStructure *s = gst_caps_get_structure(caps, 0);
    const char *format = gst_structure_get_string(s, "format");
    const char *layout = gst_structure_get_string(s, "layout");
    int rate = 0, channels = 0;
    if (!gst_structure_has_name(s, "audio/x-raw") || !format || !gst_structure_get_int(s, "rate", &rate) ||
        !gst_structure_get_int(s, "channels", &channels) || rate <= 0 || channels <= 0 ||
        (layout && std::strcmp(layout, "interleaved") != 0))
        return false;
    uint32_t type = 0;
    switch (gst_audio_format_from_string(format)) {
    case GST_AUDIO_FORMAT_U8: type = stInt8; break;
    case GST_AUDIO_FORMAT_S16LE: type = stInt16; break;
    case GST_AUDIO_FORMAT_S24LE: type = stInt24; break;
    case GST_AUDIO_FORMAT_S32LE: type = stInt32; break;
    case GST_AUDIO_FORMAT_F32LE: type = stFloat32; break;
    default: return false; // other sizes, big-endian, padded 24-bit (valid bits below the width)
    }
    const TChannelLayout positions = LayoutOf(caps, channels);
    std::lock_guard<std::mutex> lock(FLock);
    FLayout = positions;
    FAudioInfo.Channels = uint32_t(channels);
    FAudioInfo.SampleType = type;
    FAudioInfo.SampleRate = uint32_t(rate);
    FAudioInfo.Valid = kDescriptionValid;
    return true;
}

bool TGetSample::AcceptVideo(const GstCaps *caps)
{
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, caps))
        return false;
    const TVideoFormatEntry *entry = FindVideoFormat(GST_VIDEO_INFO_FORMAT(&info));
    if (!entry || !(FMask & entry->Mask) || info.width <= 0 || info.height <= 0)
        return false;
    uint32_t rate = 1, scale = 0; // no frame rate in the type
    if (info.fps_n > 0 && info.fps_d > 0) {
        uint64_t a = uint64_t(info.fps_n), b = uint64_t(info.fps_d);
        while (b) { uint64_t t = a % b; a = b; b = t; }
        rate = uint32_t(uint64_t(info.fps_n) / a);
        scale = uint32_t(uint64_t(info.fps_d) / a);
    }
    uint32_t interlace = 0;
    GstVideoInterlaceMode mode = GST_VIDEO_INFO_INTERLACE_MODE(&info);
    if (mode != GST_VIDEO_INTERLACE_MODE_PROGRESSIVE) {
        interlace = GST_VIDEO_INFO_FIELD_ORDER(&info) == GST_VIDEO_FIELD_ORDER_TOP_FIELD_FIRST ? ifField1First
                                                                                                : ifField2First;
        if (mode == GST_VIDEO_INTERLACE_MODE_ALTERNATE)
            interlace |= ifOneFieldPerSample;
    }
    std::lock_guard<std::mutex> lock(FLock);
    FVInfo = info;
    FVideo.Width = uint32_t(info.width);
    FVideo.Height = uint32_t(info.height);
    FVideo.Rate = rate;
    FVideo.Scale = scale;
    FVideo.PixelFormat = entry->PixelFormat;
    FVideo.Interlace = interlace;
    FVideo.Valid = kDescriptionValid;
    return true;
}

DssVideoInfo TGetSample::VideoInfo() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FVideo;
}

DssAudioInfo TGetSample::AudioInfo() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FAudioInfo;
}

TChannelLayout TGetSample::AudioLayout() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FLayout;
}

bool TGetSample::IsConnected() const
{
    GstPad *pad = FInput ? FInput : GST_BASE_SINK_PAD(FElement);
    return pad && gst_pad_is_linked(pad);
}

void TGetSample::NoteError()
{
    std::lock_guard<std::mutex> lock(FLock);
    FError = true;
    FChanged.notify_all();
}

bool TGetSample::HasError() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FError;
}

bool TGetSample::EndOfStream() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FEos;
}

void TGetSample::Started(bool started)
{
    std::lock_guard<std::mutex> lock(FLock);
    FStarted = started;
    FChanged.notify_all();
}

void TGetSample::Unlock()
{
    std::lock_guard<std::mutex> lock(FLock);
    FUnlocked = true;
    FChanged.notify_all();
}

void TGetSample::UnlockStop()
{
    std::lock_guard<std::mutex> lock(FLock);
    FUnlocked = false;
}

void TGetSample::HandleEvent(GstEvent *event)
{
    std::lock_guard<std::mutex> lock(FLock);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
        FEos = true;
        FChanged.notify_all();
        break;
    case GST_EVENT_FLUSH_STOP:
        FEos = false;
        FSeekPending = false;
        break;
    case GST_EVENT_SEGMENT: {
        const GstSegment *segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment && segment->format == GST_FORMAT_TIME)
            FSegmentOffset = int64_t(segment->time) - int64_t(segment->start);
        FStart = FStop = FMeasured = 0;
        FSeekPending = false;
        break;
    }
    default:
        break;
    }
}

GstFlowReturn TGetSample::Render(GstBuffer *buffer)
{
    // A buffer that only primes the decoder is not handed over.
    if (GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DECODE_ONLY))
        return GST_FLOW_OK;
    const bool video = !FAudio;
    GstMapInfo map{};
    GstVideoFrame frame{};
    bool mapped = video ? gst_video_frame_map(&frame, &FVInfo, buffer, GST_MAP_READ)
                        : gst_buffer_map(buffer, &map, GST_MAP_READ);
    if (!mapped)
        return GST_FLOW_ERROR;
    std::unique_lock<std::mutex> lock(FLock);
    if (!FUnlocked && !FSeekPending && FStarted) {
        int64_t duration = FFrameDuration;
        if (video) {
            FFrame = frame;
            FData = static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            FLength = uint32_t(GST_VIDEO_FRAME_SIZE(&frame));
        } else {
            FData = map.data;
            FLength = uint32_t(map.size);
            const int64_t frameBytes = int64_t(BytesPerSample(FAudioInfo.SampleType)) * FAudioInfo.Channels;
            const int64_t perSecond = frameBytes * FAudioInfo.SampleRate;
            duration = perSecond > 0 ? (int64_t(map.size) * kUnitsPerSecond + perSecond / 2) / perSecond : 0;
        }
        const GstClockTime pts = GST_BUFFER_PTS(buffer);
        if (!GST_CLOCK_TIME_IS_VALID(pts)) {
            FStart = FStop; // no times at all: continue from the previous buffer
            FStop = FStart + duration * 100;
        } else if (!GST_BUFFER_DURATION_IS_VALID(buffer)) {
            FStart = int64_t(pts);
            FStop = FStart + duration * 100;
        } else {
            FStart = int64_t(pts);
            FStop = int64_t(pts + GST_BUFFER_DURATION(buffer));
            FMeasured = FStop - FStart;
        }
        FHeld = true;
        const uint64_t seq = ++FSeq;
        FChanged.notify_all();
        // The buffer stays held until the reader releases it or the pipeline stops or flushes.
        while (FReleased < seq && !FUnlocked && FStarted)
            FChanged.wait_for(lock, std::chrono::milliseconds(kRenderSliceMs));
        FHeld = false;
        FData = nullptr;
        FLength = 0;
        FChanged.notify_all();
    }
    lock.unlock();
    if (video)
        gst_video_frame_unmap(&frame);
    else
        gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

bool TGetSample::RunGraph()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FEos = false;
    }
    if (!FPipeline)
        return false;
    GstStateChangeReturn r = gst_element_set_state(FPipeline, GST_STATE_PLAYING);
    if (r == GST_STATE_CHANGE_FAILURE)
        return false;
    if (r == GST_STATE_CHANGE_ASYNC) {
        GstState state = GST_STATE_VOID_PENDING;
        r = gst_element_get_state(FPipeline, &state, nullptr, 5000 * GST_MSECOND);
        if (r == GST_STATE_CHANGE_FAILURE)
            return false;
        // Still on its way after 5 s: it runs as soon as the decoders are ready.
    }
    std::lock_guard<std::mutex> lock(FLock);
    FWaitingFirst = true;
    return true;
}

void TGetSample::StopGraph()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FReleased = FSeq;
        FChanged.notify_all();
    }
    if (FPipeline)
        gst_element_set_state(FPipeline, GST_STATE_NULL);
}

int TGetSample::SeekTo(int64_t time) { return SeekToNs(time < 0 ? 0 : time * 100); }

int TGetSample::SeekToNs(int64_t time)
{
    if (!FPipeline)
        return -1;
    {
        std::lock_guard<std::mutex> lock(FLock);
        FSeekPending = true;
        FReleased = FSeq;
        FChanged.notify_all();
    }
    const bool positioned =
        gst_element_seek(FPipeline, 1.0, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                         GST_SEEK_TYPE_SET, GstClockTime(time < 0 ? 0 : time), GST_SEEK_TYPE_NONE,
                         GST_CLOCK_TIME_NONE);
    if (!positioned) {
        std::lock_guard<std::mutex> lock(FLock);
        FSeekPending = false;
    }
    if (!RunGraph())
        return -1;
    return positioned ? 0 : 1;
}

bool TGetSample::WaitHeldLocked(std::unique_lock<std::mutex> &lock, uint64_t afterSeq, int timeout)
{
    auto ready = [&] { return (FHeld && FSeq > afterSeq) || FEos || FError || !FStarted; };
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeout < 0 ? 0 : timeout), ready);
}

bool TGetSample::WaitSample(int &timeout)
{
    std::unique_lock<std::mutex> lock(FLock);
    if (!FStarted)
        return false;
    if (FWaitingFirst) {
        WaitHeldLocked(lock, FReleased, timeout);
        FWaitingFirst = !(FHeld && FSeq > FReleased) && !FEos;
    }
    if (FWaitingFirst) {
        timeout = kShortTimeout;
        return true;
    }
    return false;
}

bool TGetSample::NextSample(int &timeout)
{
    if (EndOfStream() || WaitSample(timeout))
        return false;
    std::unique_lock<std::mutex> lock(FLock);
    if (FEos || !FStarted)
        return false;
    const uint64_t previous = FSeq;
    FReleased = FSeq;
    FChanged.notify_all();
    if (!WaitHeldLocked(lock, previous, timeout) || FError) {
        timeout = kShortTimeout;
        FWaitingFirst = true;
        return false;
    }
    if (FEos || !FHeld)
        return false;
    return true;
}

int64_t TGetSample::CurrentStartNs() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FSegmentOffset + FStart;
}

int64_t TGetSample::CurrentStart() const { return To100ns(CurrentStartNs()); }

int64_t TGetSample::CurrentEnd() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return To100ns(FSegmentOffset + FStop);
}

uint32_t TGetSample::RawFrameSize() const
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FVideo.Valid != kDescriptionValid)
        return 0;
    const uint64_t line = uint64_t(FVideo.Width) * BitsPerPixel(FVideo.PixelFormat) / 8;
    uint64_t size = ((line + 3) & ~uint64_t(3)) * FVideo.Height;
    if (FVideo.PixelFormat == pfYV12)
        size += size / 2;
    return size > 0x7FFFFFFFu ? 0 : uint32_t(size);
}

bool TGetSample::CopyFrameTo(uint8_t *destination, int &timeout, bool strict, int &lastError)
{
    if (!FCopiesFrames || !destination)
        return false;
    if (WaitSample(timeout) && strict) {
        lastError = 43;
        return false;
    }
    const uint32_t size = RawFrameSize();
    std::lock_guard<std::mutex> lock(FLock);
    if (!FHeld) {
        if (strict) {
            lastError = 43;
            return false;
        }
        std::memset(destination, 128, size);
        return true;
    }
    CopyHeldFrame(destination);
    return true;
}

// Copies the held picture as the raw frame layout: YV12 as the luma plane, then V, then U
// (top line first); packed formats as lines of exactly width x bytes per pixel, RGB bottom
// line first as a Windows bitmap, YUY2 top line first.
void TGetSample::CopyHeldFrame(uint8_t *destination) const
{
    const uint32_t w = FVideo.Width, h = FVideo.Height;
    const GstVideoFrame *f = &FFrame;
    if (FVideo.PixelFormat == pfYV12) {
        const bool i420 = GST_VIDEO_FRAME_FORMAT(f) == GST_VIDEO_FORMAT_I420;
        const int planeV = i420 ? 2 : 1, planeU = i420 ? 1 : 2;
        uint8_t *out = destination;
        auto plane = [&](int index, uint32_t width, uint32_t lines) {
            const auto *src = static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(f, index));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(f, index);
            for (uint32_t y = 0; y < lines; ++y, out += width)
                std::memcpy(out, src + ptrdiff_t(y) * stride, width);
        };
        plane(0, w, h);
        plane(planeV, (w + 1) / 2, h / 2);
        plane(planeU, (w + 1) / 2, h / 2);
        return;
    }
    const uint32_t line = w * BitsPerPixel(FVideo.PixelFormat) / 8;
    const auto *src = static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(f, 0));
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(f, 0);
    const bool bottomUp = FVideo.PixelFormat != pfYUY2;
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t from = bottomUp ? h - 1 - y : y;
        std::memcpy(destination + size_t(y) * line, src + ptrdiff_t(from) * stride, line);
    }
}

} // namespace tessaly::gst
