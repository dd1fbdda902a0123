// The check of a pipeline built from a saved pipeline file (".grf") before it runs: such
// a file may come from anyone, so it may hold only elements that read a local file and
// decode it, never ones that write, send, fetch from a network or run anything else.
#pragma once

#include <gst/gst.h>

#include <string>

namespace tessaly::gst {

// Whether an element of this factory may stand in a saved pipeline: the file source
// (filesrc), demuxers, parsers, decoders and converters (by the factory's class), and
// the pass-through elements queue, multiqueue, capsfilter, typefind, tee, identity and
// plain bins and pipelines. Refused are sources other than filesrc, sinks, encoders, muxers, anything
// of the network or adaptive streaming, and any other element that takes a URI or a
// location. `why` names the element and its class when refused.
bool PipelineElementAdmitted(GstElementFactory *factory, std::string &why);

// Checks every element of a parsed pipeline (inside plain bins too) and makes every
// decoding bin skip what it may not plug. Empty when admitted, else the refusal, which
// names the element; nothing has run yet.
std::string CheckSavedPipeline(GstElement *pipeline);

// The refusal of the last saved pipeline that was refused in this process (empty when none).
std::string LastPipelineRefusal();
void SetLastPipelineRefusal(const std::string &text);

} // namespace tessaly::gst
