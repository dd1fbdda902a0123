// Records of the AVI/RIFF reader: index entries, chunk references, sample
// positions, stream headers and the per-stream record.
#pragma once

#include "media/common/vfw_types.h"

#include <cstdint>
#include <vector>

namespace tessaly {

// One stored data chunk of a stream; 24 bytes in memory.
struct TAvi2IndexEntry {
    int64_t Position;    // file position of the chunk's first data byte
    int32_t Size;        // chunk data size in bytes
    int32_t FirstSample; // stream start plus the samples of all earlier chunks
    int32_t SampleCount; // 1 when the sample size is 0, else Size / sample size
    uint32_t Flags;      // AVIIF_KEYFRAME marks a key frame
};
static_assert(sizeof(TAvi2IndexEntry) == 24, "index entry must stay 24 bytes");

// A chunk registered for ReadData / ReadFileData.
struct TAvi2ChunkRef {
    uint32_t Id;      // fourcc
    int64_t Position; // file position of the chunk's data
    uint32_t Length;  // data length in bytes
};

// Where a sample lies: the result of LocateSample, advanced by NextChunk.
struct TAvi2SamplePos {
    int Stream = -1;
    int32_t Sample = 0;       // sample number
    int32_t Entry = 0;        // index entry number
    int32_t OffsetInChunk = 0; // in samples
    int64_t FilePos = 0;      // file position of the sample's first byte
    int32_t SamplesLeft = 0;  // samples left in the chunk from this sample on
    int32_t BytesLeft = 0;    // bytes left in the chunk from this sample on
    uint32_t Flags = 0;       // the entry's flags
};

enum TAvi2FileKind { fkNone = 0, fkAvi = 1, fkWave = 2 };
enum TAvi2StreamKind { skOther = 0, skVideo = 1, skAudio = 2 };

// The 56-byte 'strh' stream header, field by field (rcFrame as 16-bit values).
struct TAvi2StreamHeader {
    uint32_t fccType = 0; // 0: not read
    uint32_t fccHandler = 0, dwFlags = 0;
    uint16_t wPriority = 0, wLanguage = 0;
    uint32_t dwInitialFrames = 0, dwScale = 0, dwRate = 0, dwStart = 0, dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0, dwQuality = 0, dwSampleSize = 0;
    int16_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;
};

// Everything the reader keeps about one stream.
struct TAvi2StreamRec {
    TAvi2StreamHeader Header;
    std::vector<uint8_t> Format;     // whole 'strf' ('fmt ' for WAVE); empty: not read
    std::vector<uint8_t> SuperIndex; // the 'indx' chunk until the index is built
    bool HasIndx = false;
    std::vector<TAvi2ChunkRef> Chunks; // 'strh', 'strf', 'indx', 'strd', 'strn', ...
    uint32_t ChunkId = 0;              // fourcc of the data chunks
    int32_t LargestChunk = 0;          // bytes
    int32_t FewestSamples = 2147483647, MostSamples = 0; // per chunk
    int64_t TotalSamples = 0;
    std::vector<TAvi2IndexEntry> Entries;
    // The chunk id of every entry, kept only when an 'idx1' lists the stream's chunks
    // under more than one id ("00dc" and "00db"); empty: every entry has ChunkId.
    std::vector<uint32_t> EntryIds;
    // Entries whose chunk header was found to carry the index's id and size.
    std::vector<bool> HeaderChecked;
    TAvi2StreamKind Kind = skOther;
    AVISTREAMINFO Info = {};
};

} // namespace tessaly
