// TAbstractDSS: builds, prerolls, seeks and closes the pipeline of one source.
#include "abstract_dss.h"
#include "pipeline_guard.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tessaly::gst {

namespace {

// Values of decodebin's autoplug-select answer.
enum { kAutoplugTry = 0, kAutoplugExpose = 1, kAutoplugSkip = 2 };

constexpr size_t kMaxGraphFileSize = 64 * 1024;

bool EnsureGstreamer()
{
    static const bool ok = gst_init_check(nullptr, nullptr, nullptr);
    return ok;
}

GstBusSyncReply BusMessage(GstBus *, GstMessage *message, gpointer data)
{
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
        static_cast<TGetSample *>(data)->NoteError();
    return GST_BUS_DROP; // nobody polls this bus: keep nothing queued
}

// The preroll of a file that never gets there ends after this long, whatever the source's
// time-out: a medium that can be read delivers its first buffer well within it.
constexpr int kPrerollCapMs = 5000;
// A stream that ended upstream before anything reached the grabber is restarted once
// after it stayed so for this long.
constexpr int kStallMs = 200;

// Keeps decoders of the other media kind out of the pipeline: their streams are exposed
// undecoded and left unlinked.
bool OtherKindDecoder(GstElementFactory *factory, bool wantAudio)
{
    const char *klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (!klass || !std::strstr(klass, "Decoder"))
        return false;
    const bool isAudio = std::strstr(klass, "Audio") != nullptr;
    const bool isVideo = std::strstr(klass, "Video") != nullptr || std::strstr(klass, "Image") != nullptr;
    return (wantAudio && isVideo && !isAudio) || (!wantAudio && isAudio && !isVideo);
}

// Whether `test` holds for any pad (any source pad when sourcesOnly) of any element
// inside the bin.
template <class TTest> bool AnyPadInside(GstElement *bin, bool sourcesOnly, TTest test)
{
    bool found = false;
    GstIterator *elements = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        GstElement *element = GST_ELEMENT(g_value_get_object(&item));
        GstIterator *pads = sourcesOnly ? gst_element_iterate_src_pads(element) : gst_element_iterate_pads(element);
        GValue pad = G_VALUE_INIT;
        while (!found && gst_iterator_next(pads, &pad) == GST_ITERATOR_OK) {
            found = test(GST_PAD(g_value_get_object(&pad)));
            g_value_reset(&pad);
        }
        g_value_unset(&pad);
        gst_iterator_free(pads);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return found;
}

// Whether any source pad inside the bin holds an end-of-stream event, that is, a stream
// stopped somewhere upstream.
bool SomeStreamEnded(GstElement *bin)
{
    return AnyPadInside(bin, true, [](GstPad *pad) {
        GstEvent *eos = gst_pad_get_sticky_event(pad, GST_EVENT_EOS, 0);
        if (eos)
            gst_event_unref(eos);
        return eos != nullptr;
    });
}

// Drops everything that would reach a refused element, so that it never sees a byte of the
// file (a playlist demuxer that gets no playlist fetches nothing).
GstPadProbeReturn DropAll(GstPad *, GstPadProbeInfo *, gpointer) { return GST_PAD_PROBE_DROP; }

void Starve(GstElement *element)
{
    GstIterator *it = gst_element_iterate_sink_pads(element);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        gst_pad_add_probe(GST_PAD(g_value_get_object(&item)), GST_PAD_PROBE_TYPE_DATA_DOWNSTREAM, DropAll, nullptr,
                          nullptr);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
}

bool EndsWithGrf(const std::string &name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    const size_t at = upper.find(".GRF");
    return at != std::string::npos && at + 4 == upper.size();
}

bool HasSometimesSource(GstElement *element)
{
    const GList *templates = gst_element_class_get_pad_template_list(GST_ELEMENT_GET_CLASS(element));
    for (const GList *l = templates; l; l = l->next) {
        auto *t = static_cast<GstPadTemplate *>(l->data);
        if (GST_PAD_TEMPLATE_DIRECTION(t) == GST_PAD_SRC && GST_PAD_TEMPLATE_PRESENCE(t) == GST_PAD_SOMETIMES)
            return true;
    }
    return false;
}

bool HasLinkedSource(GstElement *element)
{
    bool linked = false;
    GstIterator *it = gst_element_iterate_src_pads(element);
    GValue item = G_VALUE_INIT;
    while (!linked && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        linked = gst_pad_is_linked(GST_PAD(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return linked;
}

std::vector<GstElement *> TopLevelElements(GstElement *bin)
{
    std::vector<GstElement *> out;
    GstIterator *it = gst_bin_iterate_elements(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    GstIteratorResult r;
    while ((r = gst_iterator_next(it, &item)) != GST_ITERATOR_DONE) {
        if (r == GST_ITERATOR_RESYNC) {
            for (GstElement *e : out)
                gst_object_unref(e);
            out.clear();
            gst_iterator_resync(it);
            continue;
        }
        if (r != GST_ITERATOR_OK)
            break;
        out.push_back(GST_ELEMENT(gst_object_ref(g_value_get_object(&item))));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    std::reverse(out.begin(), out.end()); // bins iterate the newest element first
    return out;
}

} // namespace

TAbstractDSS::TAbstractDSS(const std::string &fileName, int32_t timeout, int32_t seekMode)
    : FSeekMode(seekMode), FStrict(timeout < 0),
      FTimeout(timeout >= 0 ? timeout : timeout == INT32_MIN ? INT32_MAX : -timeout), FFileName(fileName)
{
}

TAbstractDSS::~TAbstractDSS() { Close(); }

int TAbstractDSS::OpenTimeout() const { return std::clamp<int32_t>(FTimeout, 5000, 300000); }

int TAbstractDSS::BuildGraph(bool audio, uint32_t acceptedFormats, bool copiesFrames)
{
    FAudio = audio;
    if (!EnsureGstreamer())
        return 21;
    FGrabber = TGetSample::Create(audio, acceptedFormats, copiesFrames);
    if (!FGrabber)
        return 1;
    gst_object_ref_sink(FGrabber->Element()); // the source keeps the grabber until Close
    int error = 0;
    const bool saved = EndsWithGrf(FFileName);
    if (saved) {
        if (!LoadSavedGraph(error))
            return error;
    } else {
        FPipeline = gst_pipeline_new(nullptr);
        if (!FPipeline)
            return 21;
        gst_object_ref_sink(FPipeline);
    }
    // Elements that bins create while the pipeline prerolls are checked like the file's own.
    g_signal_connect(FPipeline, "deep-element-added", G_CALLBACK(DeepElementAdded), this);
    GstBus *bus = gst_element_get_bus(FPipeline);
    gst_bus_set_sync_handler(bus, BusMessage, FGrabber, nullptr);
    gst_object_unref(bus);
    FGrabber->SetPipeline(FPipeline);
    FConverter = gst_element_factory_make(audio ? "audioconvert" : "videoconvert", nullptr);
    if (!FConverter || !gst_bin_add(GST_BIN(FPipeline), FConverter) ||
        !gst_bin_add(GST_BIN(FPipeline), FGrabber->Element()) ||
        !gst_element_link(FConverter, FGrabber->Element()))
        return 22;
    GstPad *input = gst_element_get_static_pad(FConverter, "sink");
    FGrabber->SetInput(input); // the grabber counts as connected once the converter is fed
    gst_object_unref(input);
    if (saved) {
        for (GstElement *e : TopLevelElements(FPipeline)) {
            if (e != FConverter && e != FGrabber->Element()) {
                GstIterator *it = gst_element_iterate_src_pads(e);
                GValue item = G_VALUE_INIT;
                while (!FGrabber->IsConnected() && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
                    TryLink(GST_PAD(g_value_get_object(&item)));
                    g_value_reset(&item);
                }
                g_value_unset(&item);
                gst_iterator_free(it);
                WatchDynamicPads(e);
            }
            gst_object_unref(e);
        }
        Prune();
    } else if (!BuildRenderGraph()) {
        return 24;
    }
    // No clock: the pipeline runs as fast as the reader releases buffers.
    gst_pipeline_use_clock(GST_PIPELINE(FPipeline), nullptr);
    return Preroll(error) ? 0 : error;
}

bool TAbstractDSS::LoadSavedGraph(int &error)
{
    error = 23;
    std::ifstream in(FFileName, std::ios::binary);
    if (!in)
        return false;
    std::string text;
    text.resize(kMaxGraphFileSize + 1);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    if (text.empty() || text.size() > kMaxGraphFileSize || text.find('\0') != std::string::npos)
        return false;
    GError *err = nullptr;
    GstElement *parsed = gst_parse_launch_full(text.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &err);
    if (err) {
        SetLastPipelineRefusal(err->message ? err->message : "the pipeline cannot be built");
        g_printerr("The pipeline file \"%s\" cannot be read: %s.\n", FFileName.c_str(),
                   err->message ? err->message : "?");
        g_error_free(err);
    }
    if (!parsed)
        return false;
    gst_object_ref_sink(parsed);
    if (GST_IS_PIPELINE(parsed)) {
        FPipeline = parsed;
    } else {
        FPipeline = gst_pipeline_new(nullptr);
        gst_object_ref_sink(FPipeline);
        if (!gst_bin_add(GST_BIN(FPipeline), parsed)) {
            gst_object_unref(parsed);
            return false;
        }
        gst_object_unref(parsed);
    }
    // Decoding bins of the file report what they refuse or cannot read, as the medium's own do.
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(FPipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GuardBin(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    // Nothing of the file has run yet: what it may not hold is refused before any state change.
    const std::string refusal = CheckSavedPipeline(FPipeline);
    SetLastPipelineRefusal(refusal);
    if (!refusal.empty()) {
        g_printerr("The pipeline file \"%s\" is refused: %s.\n", FFileName.c_str(), refusal.c_str());
        gst_object_unref(FPipeline);
        FPipeline = nullptr;
        return false;
    }
    return true;
}

bool TAbstractDSS::BuildRenderGraph()
{
    GstElement *source = gst_element_factory_make("filesrc", nullptr);
    GstElement *decoder = gst_element_factory_make("decodebin", nullptr);
    if (!source || !decoder) {
        if (source)
            gst_object_unref(gst_object_ref_sink(source));
        if (decoder)
            gst_object_unref(gst_object_ref_sink(decoder));
        return false;
    }
    g_object_set(source, "location", FFileName.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(FPipeline), source, decoder, nullptr);
    if (!gst_element_link(source, decoder))
        return false;
    GuardBin(decoder);
    WatchDynamicPads(decoder);
    return true;
}

void TAbstractDSS::GuardBin(GstElement *bin)
{
    if (g_signal_lookup("autoplug-select", G_OBJECT_TYPE(bin)) != 0)
        g_signal_connect(bin, "autoplug-select", G_CALLBACK(AutoplugSelect), this);
    if (g_signal_lookup("unknown-type", G_OBJECT_TYPE(bin)) != 0)
        g_signal_connect(bin, "unknown-type", G_CALLBACK(UnknownType), this);
}

gint TAbstractDSS::AutoplugSelect(GstElement *, GstPad *, GstCaps *, GstElementFactory *factory, gpointer self)
{
    auto *source = static_cast<TAbstractDSS *>(self);
    std::string why;
    if (!PipelineElementAdmitted(factory, why)) {
        // Skipped, not plugged: nothing of it ever runs. Kept as the reason in case no
        // other element can read the stream.
        std::lock_guard<std::mutex> lock(source->FRefusalLock);
        if (source->FRefusal.empty())
            source->FRefusal = why;
        return kAutoplugSkip;
    }
    return OtherKindDecoder(factory, source->FAudio) ? kAutoplugExpose : kAutoplugTry;
}

void TAbstractDSS::UnknownType(GstElement *, GstPad *, GstCaps *caps, gpointer self)
{
    auto *source = static_cast<TAbstractDSS *>(self);
    gchar *text = caps ? gst_caps_to_string(caps) : nullptr;
    const std::string type = text ? text : "?";
    g_free(text);
    // Only fatal when nothing of the wanted kind turns up: a file may hold other streams
    // (subtitles, data) that no element reads.
    std::lock_guard<std::mutex> lock(source->FRefusalLock);
    if (source->FRefusal.empty())
        source->FRefusal = "no installed GStreamer element reads " + type + " (a demuxer or decoder is missing)";
}

void TAbstractDSS::DeepElementAdded(GstBin *, GstBin *, GstElement *element, gpointer self)
{
    auto *source = static_cast<TAbstractDSS *>(self);
    GstElementFactory *factory = gst_element_get_factory(element);
    if (!factory)
        return; // the grabber, and bins the pipeline itself made
    std::string why;
    if (!PipelineElementAdmitted(factory, why)) {
        Starve(element);
        source->Refuse(why);
        return;
    }
    source->GuardBin(element);
    // The decoder's input tells where the stream starts before any priming it withholds.
    const char *klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (klass && std::strstr(klass, "Decoder") && std::strstr(klass, source->FAudio ? "Audio" : "Video"))
        if (GstPad *sink = gst_element_get_static_pad(element, "sink")) {
            gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, FirstPacket, source, nullptr);
            gst_object_unref(sink);
        }
}

GstPadProbeReturn TAbstractDSS::FirstPacket(GstPad *pad, GstPadProbeInfo *info, gpointer self)
{
    GstBuffer *buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    // Codec headers carry no time; the first timed packet decides.
    if (!buffer || !GST_BUFFER_PTS_IS_VALID(buffer) || GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_HEADER))
        return GST_PAD_PROBE_OK;
    GstEvent *event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    const GstSegment *segment = nullptr;
    if (event)
        gst_event_parse_segment(event, &segment);
    if (segment && segment->format == GST_FORMAT_TIME) {
        guint64 time = 0;
        const int sign = gst_segment_to_stream_time_full(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer), &time);
        int64_t expected = INT64_MIN;
        if (sign != 0)
            static_cast<TAbstractDSS *>(self)->FFirstPacketNs.compare_exchange_strong(
                expected, sign > 0 ? int64_t(time) : -int64_t(time));
    }
    if (event)
        gst_event_unref(event);
    return GST_PAD_PROBE_REMOVE;
}

void TAbstractDSS::Refuse(const std::string &why)
{
    {
        std::lock_guard<std::mutex> lock(FRefusalLock);
        FRefusal = why;
    }
    FGrabber->NoteError();
}

std::string TAbstractDSS::Refusal() const
{
    std::lock_guard<std::mutex> lock(FRefusalLock);
    return FRefusal;
}

void TAbstractDSS::WatchDynamicPads(GstElement *element)
{
    if (!HasSometimesSource(element))
        return;
    g_signal_connect(element, "pad-added", G_CALLBACK(PadAdded), this);
    g_signal_connect(element, "no-more-pads", G_CALLBACK(NoMorePads), this);
}

void TAbstractDSS::PadAdded(GstElement *, GstPad *pad, gpointer self)
{
    static_cast<TAbstractDSS *>(self)->TryLink(pad);
}

void TAbstractDSS::NoMorePads(GstElement *, gpointer self) { static_cast<TAbstractDSS *>(self)->FNoMorePads = true; }

// Links a free source pad of the wanted raw kind to the grabber (through the format
// converter); the first pad that accepts the link wins.
bool TAbstractDSS::TryLink(GstPad *pad)
{
    std::lock_guard<std::mutex> lock(FLinkLock);
    if (FGrabber->IsConnected() || GST_PAD_DIRECTION(pad) != GST_PAD_SRC || gst_pad_is_linked(pad))
        return false;
    GstCaps *caps = gst_pad_get_current_caps(pad);
    if (!caps)
        caps = gst_pad_query_caps(pad, nullptr);
    bool wanted = false;
    if (caps && !gst_caps_is_any(caps) && gst_caps_get_size(caps) > 0)
        wanted = gst_structure_has_name(gst_caps_get_structure(caps, 0), FAudio ? "audio/x-raw" : "video/x-raw");
    if (caps)
        gst_caps_unref(caps);
    if (!wanted)
        return false;
    GstPad *sink = gst_element_get_static_pad(FConverter, "sink");
    const bool linked = gst_pad_link(pad, sink) == GST_PAD_LINK_OK;
    gst_object_unref(sink);
    return linked;
}

// Removes, one at a time, every element that has no linked output and can get none
// (other sinks, branches left dangling), until none is left.
void TAbstractDSS::Prune()
{
    for (bool removed = true; removed;) {
        removed = false;
        std::vector<GstElement *> elements = TopLevelElements(FPipeline);
        for (GstElement *e : elements) {
            if (removed || e == FConverter || e == FGrabber->Element() || HasLinkedSource(e) ||
                HasSometimesSource(e))
                continue;
            GstIterator *it = gst_element_iterate_sink_pads(e);
            GValue item = G_VALUE_INIT;
            while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
                GstPad *pad = GST_PAD(g_value_get_object(&item));
                if (GstPad *peer = gst_pad_get_peer(pad)) {
                    gst_pad_unlink(peer, pad);
                    GstPadTemplate *t = gst_pad_get_pad_template(peer);
                    GstElement *owner = gst_pad_get_parent_element(peer);
                    if (t && owner && GST_PAD_TEMPLATE_PRESENCE(t) == GST_PAD_REQUEST)
                        gst_element_release_request_pad(owner, peer);
                    if (t)
                        gst_object_unref(t);
                    if (owner)
                        gst_object_unref(owner);
                    gst_object_unref(peer);
                }
                g_value_reset(&item);
            }
            g_value_unset(&item);
            gst_iterator_free(it);
            gst_element_set_state(e, GST_STATE_NULL);
            // Kept alive until Close: a link the description asked for may still point at it.
            FRemoved.push_back(GST_ELEMENT(gst_object_ref(e)));
            gst_bin_remove(GST_BIN(FPipeline), e);
            removed = true;
        }
        for (GstElement *e : elements)
            gst_object_unref(e);
    }
}

// Brings the pipeline to PAUSED, which links the grabber (pads appear as the streams are
// found) and delivers the first buffer to it, within the open time-out.
bool TAbstractDSS::Preroll(int &error)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(OpenTimeout(), kPrerollCapMs));
    GstStateChangeReturn r = gst_element_set_state(FPipeline, GST_STATE_PAUSED);
    Clock::time_point stalledSince{};
    bool restarted = false;
    while (r != GST_STATE_CHANGE_FAILURE) {
        r = gst_element_get_state(FPipeline, nullptr, nullptr, 20 * GST_MSECOND);
        if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL)
            break;
        if (FGrabber->HasError() || (FNoMorePads && !FGrabber->IsConnected()) || Clock::now() > deadline) {
            r = GST_STATE_CHANGE_FAILURE;
            break;
        }
        // A demuxer that reads on its own thread may push its first data before decodebin
        // has exposed (and we have linked) its output: the stream then stops upstream with
        // "not linked" while the grabber waits. One flushing seek to the start restarts it.
        if (!restarted && FGrabber->IsConnected() && SomeStreamEnded(FPipeline)) {
            if (stalledSince == Clock::time_point{})
                stalledSince = Clock::now();
            else if (Clock::now() - stalledSince > std::chrono::milliseconds(kStallMs)) {
                restarted = true;
                gst_element_seek_simple(FPipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0);
            }
        }
    }
    if (r != GST_STATE_CHANGE_FAILURE && !FGrabber->HasError())
        return FPrerolled = true;
    const std::string refusal = Refusal();
    if (!refusal.empty() && (FGrabber->HasError() || !FGrabber->IsConnected())) {
        SetLastPipelineRefusal(refusal);
        g_printerr("The medium \"%s\" is refused: %s.\n", FFileName.c_str(), refusal.c_str());
        error = 24;
        return false;
    }
    const bool described = FAudio ? FGrabber->AudioInfo().Valid == kDescriptionValid
                                  : FGrabber->VideoInfo().Valid == kDescriptionValid;
    if (!FGrabber->IsConnected() && FNoMorePads)
        error = 25;
    else if (FGrabber->IsConnected() && !described)
        error = 25; // linked, but no offered format was accepted
    else if (FGrabber->IsConnected() && !FGrabber->HasError())
        error = 30; // no first buffer within the time-out
    else
        error = 24;
    return false;
}

int64_t TAbstractDSS::QueryDuration(GstFormat format) const
{
    gint64 value = 0;
    if (!FPipeline || !gst_element_query_duration(FPipeline, format, &value) || value <= 0)
        return 0;
    return format == GST_FORMAT_TIME ? int64_t((value + 50) / 100) : int64_t(value);
}

int TAbstractDSS::SeekTo(int64_t time)
{
    ++FSeekCount;
    return FGrabber->SeekTo(time);
}

int TAbstractDSS::SeekToNs(int64_t time)
{
    ++FSeekCount;
    return FGrabber->SeekToNs(time);
}

void TAbstractDSS::Close()
{
    if (FPipeline) {
        // A prerolled pipeline may still finish a state change; one that never prerolled
        // is torn down at once (waiting would only add to the failed open's time).
        GstState state = GST_STATE_NULL;
        gst_element_get_state(FPipeline, &state, nullptr, FPrerolled ? 1000 * GST_MSECOND : 0);
        if (FGrabber)
            FGrabber->StopGraph(); // lets a held buffer go, then stops the pipeline
        gst_element_set_state(FPipeline, GST_STATE_NULL);
        GstBus *bus = gst_element_get_bus(FPipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(FPipeline);
        FPipeline = nullptr;
    }
    for (GstElement *e : FRemoved)
        gst_object_unref(e);
    FRemoved.clear();
    if (FGrabber) {
        gst_object_unref(FGrabber->Element());
        FGrabber = nullptr;
    }
}

} // namespace tessaly::gst
