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
enum { kAutoplugTry = 0, kAutoplugExpose = 1 };

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

// Keeps decoders of the other media kind out of the pipeline: their streams are exposed
// undecoded and left unlinked.
gint AutoplugSelect(GstElement *, GstPad *, GstCaps *, GstElementFactory *factory, gpointer audio)
{
    const char *klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (!klass || !std::strstr(klass, "Decoder"))
        return kAutoplugTry;
    const bool wantAudio = GPOINTER_TO_INT(audio) != 0;
    const bool isAudio = std::strstr(klass, "Audio") != nullptr;
    const bool isVideo = std::strstr(klass, "Video") != nullptr || std::strstr(klass, "Image") != nullptr;
    if ((wantAudio && isVideo && !isAudio) || (!wantAudio && isAudio && !isVideo))
        return kAutoplugExpose;
    return kAutoplugTry;
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
    } else if (!BuildRenderGraph(audio)) {
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

bool TAbstractDSS::BuildRenderGraph(bool audio)
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
    g_signal_connect(decoder, "autoplug-select", G_CALLBACK(AutoplugSelect), GINT_TO_POINTER(audio ? 1 : 0));
    WatchDynamicPads(decoder);
    return true;
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(OpenTimeout());
    GstStateChangeReturn r = gst_element_set_state(FPipeline, GST_STATE_PAUSED);
    while (r != GST_STATE_CHANGE_FAILURE) {
        r = gst_element_get_state(FPipeline, nullptr, nullptr, 20 * GST_MSECOND);
        if (r == GST_STATE_CHANGE_SUCCESS || r == GST_STATE_CHANGE_NO_PREROLL)
            break;
        if (FGrabber->HasError() || (FNoMorePads && !FGrabber->IsConnected()) ||
            std::chrono::steady_clock::now() > deadline) {
            r = GST_STATE_CHANGE_FAILURE;
            break;
        }
    }
    if (r != GST_STATE_CHANGE_FAILURE && !FGrabber->HasError())
        return true;
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
        GstState state = GST_STATE_NULL;
        gst_element_get_state(FPipeline, &state, nullptr, 1000 * GST_MSECOND);
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
