// The check of saved pipeline files: element classes admitted, everything else refused.
#include "pipeline_guard.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace tessaly::gst {

namespace {

// decodebin's autoplug-select answer that leaves a factory out.
constexpr gint kAutoplugSkip = 2;

// Elements that only pass data on, admitted by name.
const char *const kPassThrough[] = {"queue", "multiqueue", "capsfilter", "typefind", "tee", "identity", "bin",
                                     "pipeline"};
// Class words of the elements that read and decode.
const char *const kAdmittedWords[] = {"Demuxer", "Decoder", "Parser", "Converter"};
// Class words that refuse an element whatever else its class says, with the reason.
struct TRefusedWord {
    const char *Word;
    const char *Reason;
};
const TRefusedWord kRefusedWords[] = {
    {"Network", "reaches the network"},
    {"Protocol", "reaches the network"},
    {"Adaptive", "fetches streams from the network"},
    {"Sink", "writes or sends data"},
    {"Source", "reads from elsewhere than a file (only filesrc may read)"},
    {"Encoder", "encodes data"},
    {"Muxer", "packs data into a container"},
    {"Payloader", "packs data for sending"},
};

std::mutex gRefusalLock;
std::string gLastRefusal;

std::vector<std::string> ClassWords(const char *klass)
{
    std::vector<std::string> words(1);
    for (const char *p = klass ? klass : ""; *p; ++p) {
        if (*p == '/')
            words.emplace_back();
        else
            words.back() += *p;
    }
    return words;
}

bool HasWord(const std::vector<std::string> &words, const char *word)
{
    for (const std::string &w : words)
        if (w == word)
            return true;
    return false;
}

// An element that names a place to read or write (a URI handler, or a "uri" or
// "location" property) is admitted only as the file source.
bool TakesAPlace(GstElementFactory *factory)
{
    if (gst_element_factory_get_uri_type(factory) != GST_URI_UNKNOWN)
        return true;
    GType type = gst_element_factory_get_element_type(factory);
    if (type == G_TYPE_INVALID) {
        // Not loaded yet: loading the feature registers its type.
        GstPluginFeature *loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory));
        if (!loaded)
            return true;
        type = gst_element_factory_get_element_type(GST_ELEMENT_FACTORY(loaded));
        gst_object_unref(loaded);
    }
    auto *klass = static_cast<GObjectClass *>(g_type_class_ref(type));
    if (!klass)
        return true;
    const bool place = g_object_class_find_property(klass, "uri") || g_object_class_find_property(klass, "location");
    g_type_class_unref(klass);
    return place;
}

gint AutoplugGuard(GstElement *, GstPad *, GstCaps *, GstElementFactory *factory, gpointer)
{
    std::string why;
    return PipelineElementAdmitted(factory, why) ? 0 : kAutoplugSkip;
}

bool IsPlainBin(GstElement *element)
{
    GstElementFactory *f = gst_element_get_factory(element);
    const char *name = f ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(f)) : nullptr;
    return GST_IS_BIN(element) && (!f || (name && (std::strcmp(name, "bin") == 0 || std::strcmp(name, "pipeline") == 0)));
}

std::string CheckElements(GstElement *bin)
{
    std::string refusal;
    GstIterator *it = gst_bin_iterate_elements(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done && refusal.empty()) {
        switch (gst_iterator_next(it, &item)) {
        case GST_ITERATOR_OK: {
            GstElement *e = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory *f = gst_element_get_factory(e);
            std::string why;
            if (!f)
                refusal = std::string("the element \"") + GST_OBJECT_NAME(e) + "\" has no known kind";
            else if (!PipelineElementAdmitted(f, why))
                refusal = why;
            else if (IsPlainBin(e))
                refusal = CheckElements(e);
            else if (g_signal_lookup("autoplug-select", G_OBJECT_TYPE(e)) != 0)
                g_signal_connect(e, "autoplug-select", G_CALLBACK(AutoplugGuard), nullptr);
            g_value_reset(&item);
            break;
        }
        case GST_ITERATOR_RESYNC: gst_iterator_resync(it); break;
        default: done = true; break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return refusal;
}

} // namespace

bool PipelineElementAdmitted(GstElementFactory *factory, std::string &why)
{
    const char *name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
    const char *klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    const std::string shown = std::string("\"") + (name ? name : "?") + "\" (" + (klass ? klass : "no class") + ")";
    if (name && std::strcmp(name, "filesrc") == 0)
        return true;
    for (const char *pass : kPassThrough)
        if (name && std::strcmp(name, pass) == 0)
            return true;
    const std::vector<std::string> words = ClassWords(klass);
    for (const TRefusedWord &refused : kRefusedWords)
        if (HasWord(words, refused.Word)) {
            why = "the element " + shown + " " + refused.Reason;
            return false;
        }
    bool decodes = false;
    for (const char *word : kAdmittedWords)
        decodes = decodes || HasWord(words, word);
    if (!decodes) {
        why = "the element " + shown + " neither demuxes, parses, decodes nor converts";
        return false;
    }
    if (TakesAPlace(factory)) {
        why = "the element " + shown + " takes an address to read or write (only filesrc may read)";
        return false;
    }
    return true;
}

std::string CheckSavedPipeline(GstElement *pipeline)
{
    if (!pipeline || !GST_IS_BIN(pipeline))
        return "the pipeline file holds no pipeline";
    return CheckElements(pipeline);
}

std::string LastPipelineRefusal()
{
    std::lock_guard<std::mutex> lock(gRefusalLock);
    return gLastRefusal;
}

void SetLastPipelineRefusal(const std::string &text)
{
    std::lock_guard<std::mutex> lock(gRefusalLock);
    gLastRefusal = text;
}

} // namespace tessaly::gst
