// The two fixed 56-byte AVI header records the writer keeps in memory ('avih' and 'strh'),
// with their little-endian serialisation.
#pragma once

#include <cstdint>

namespace tessaly {

// Size in bytes of 'avih' and 'strh' data in a file.
constexpr uint32_t kAviHeaderRecordSize = 56;

// MainAVIHeader: the 'avih' chunk.
struct TAviMainHeader {
    uint32_t dwMicroSecPerFrame = 0;
    uint32_t dwMaxBytesPerSec = 0;
    uint32_t dwPaddingGranularity = 0;
    uint32_t dwFlags = 0;
    uint32_t dwTotalFrames = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwStreams = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwWidth = 0;
    uint32_t dwHeight = 0;
    uint32_t dwReserved[4] = {0, 0, 0, 0};

    // Writes the 56 bytes of the record to out.
    void Store(uint8_t *out) const;
};

// AVIStreamHeader: the 'strh' chunk; rcFrame is four 16-bit values as stored.
struct TAviStreamHeader {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int16_t rcLeft = 0, rcTop = 0, rcRight = 0, rcBottom = 0;

    // Writes the 56 bytes of the record to out.
    void Store(uint8_t *out) const;
};

} // namespace tessaly
