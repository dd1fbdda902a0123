// TAudioSource: one open audio file of the audio front-end, as one access path sees it
// (or several segment files joined into one track): its file description, its streams in
// container order, and sample reads of one stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"

namespace tessaly {

// One stream of an open file. Audio streams the path can deliver carry fccType 'auds'
// and the format record of the samples delivered (plain or extensible, at least 16 bytes);
// any other stream keeps its own type and may have no format.
struct TAudioStreamRecord {
    int Stream = 0;        // stream number in the file (the container's stream index)
    int32_t Start = 0;     // sample number of the first sample in the file's numbering
    AVISTREAMINFO Info{};  // dwLength: sample frames delivered
    std::vector<uint8_t> Format;
};

// The front-end's stream-name rule: the file name without folder, a blank and the label,
// the name cut to its first 58 minus label-length characters and "..." when it is longer
// than 61 minus the label's length.
inline void SetSourceName(char (&name)[64], const std::string &file, const std::string &label)
{
    std::string base = file.substr(file.find_last_of('/') + 1);
    const int room = 61 - int(label.size());
    if (int(base.size()) > room)
        base = base.substr(0, size_t(std::max(0, 58 - int(label.size())))) + "...";
    std::snprintf(name, sizeof name, "%s", (base + " " + label).c_str());
}

class TAudioSource {
public:
    virtual ~TAudioSource() = default;
    virtual const AVIFILEINFO &FileInfo() const = 0;
    virtual const std::vector<TAudioStreamRecord> &Streams() const = 0;
    // Reads count sample frames of stream `stream` (an index into Streams()) starting at
    // sample `first` (Start-based) into out, in the stream's format: count * nBlockAlign
    // bytes. meOk, or the failure's code; out may be partly written on failure.
    virtual TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) = 0;
    // After a failed open: what the path found wrong with the file, when it can say.
    virtual TMediaProblem Problem() const { return {}; }
    // Sample frames stream `stream` delivers: its dwLength, summed over a joined track's
    // segments.
    virtual int64_t Length(int stream) const { return Streams()[size_t(stream)].Info.dwLength; }
    // The files of a joined track; a single file is its own only segment.
    virtual int SegmentCount() const { return 1; }
    virtual const TAudioSource &Segment(int) const { return *this; }
};

} // namespace tessaly
