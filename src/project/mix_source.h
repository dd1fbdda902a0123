// TMixSource: what the audio mixer needs of one audio track (the primary or the double
// track): its output format, positions and reads of single sample frames. An adapter
// over the audio source front-end implements it; tests implement it over sample arrays.
#pragma once

#include <cstdint>

#include "media/common/vfw_types.h"

namespace tessaly {

class TMixSource {
public:
    virtual ~TMixSource() = default;

    // Chooses the delivered format; nullptr means the track's own (input) format.
    // False when the source cannot convert to it.
    virtual bool SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize) = 0;
    // The delivered format and its size in bytes (below 16 when there is none).
    virtual void OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const = 0;
    // Sample frames deliverable in the output format.
    virtual int64_t OutputLength() const = 0;
    // The next sample frame a read delivers.
    virtual int64_t OutputPosition() const = 0;
    virtual void Seek(int64_t sample) = 0;
    // Reads `count` sample frames into `buffer` (count x block align bytes) and advances;
    // positions outside the track read as silence and make the result false.
    virtual bool ReadSamples(uint8_t *buffer, int32_t count) = 0;
    // Fills `count` sample frames with silence of the output format.
    virtual bool Silence(uint8_t *buffer, int32_t count) = 0;
    // The speaker mask of the output format; 0 when the track names none.
    virtual uint32_t ChannelMask() const { return 0; }
};

} // namespace tessaly
