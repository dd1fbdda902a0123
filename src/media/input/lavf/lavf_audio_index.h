// TLavfAudioIndex: what one indexing pass over a file's audio streams learnt (every
// packet's position, timestamps, trim record and the samples decoded once it went through
// the decoder; each stream's exact length and sample shape), and its on-disk cache beside
// the video index, so that a file is indexed only the first time it is opened.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/input/lavf/lavf_audio_format.h"
#include "media/input/lavf/lavf_index.h"

namespace tessaly {

// The skip-samples record a packet carries (start trim, end trim, reasons), as the decoder reads it.
constexpr int kSkipRecordBytes = 10;

// One packet of an audio stream as the indexing pass saw it.
struct TLavfAudioPacket {
    int64_t Pos = -1, Dts = kNoTimestamp, Pts = kNoTimestamp;
    int64_t End = 0; // samples decoded once this packet went through the decoder
    bool Discard = false, HasSkip = false;
    uint8_t Skip[kSkipRecordBytes] = {};
};

// The index of one decodable audio stream.
struct TLavfAudioStreamIndex {
    int CodecId = 0;  // the decoder it was made with (AVCodecID)
    std::vector<TLavfAudioPacket> Packets;
    int64_t Total = 0; // samples decoded with the decoder drained at the end
    TLavfSampleShape Shape;
    // The file positions held by one packet only, with that packet's ordinal, by position:
    // where a seek can tell where it landed.
    std::vector<std::pair<int64_t, int64_t>> Anchors;

    void FindAnchors();
    // The ordinal of the packet alone at file position pos, -1 when none is.
    int64_t AnchorAt(int64_t pos) const;
    // The encoder delay the packets' trim records drop at the start (sample frames).
    int64_t Delay() const;
};

// Every stream of a file in the container's numbering; null where no audio is decoded.
class TLavfAudioIndex {
public:
    std::vector<std::unique_ptr<TLavfAudioStreamIndex>> Streams;

    // The cache file's bytes; Parse fails on any damage, inconsistency or another key.
    std::string Serialize(const TLavfFileKey &key) const;
    bool Parse(const uint8_t *data, size_t size, const TLavfFileKey &key);
};

// The audio index cache file of a file in the index folder.
std::string LavfAudioIndexCacheFile(const TLavfFileKey &key);
bool LoadLavfAudioIndex(const TLavfFileKey &key, TLavfAudioIndex &index);
bool SaveLavfAudioIndex(const TLavfFileKey &key, const TLavfAudioIndex &index);

} // namespace tessaly
