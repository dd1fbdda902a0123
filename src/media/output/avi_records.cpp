// Little-endian serialisation of the 'avih' and 'strh' records.
#include "media/output/avi_records.h"

#include "media/common/byte_order.h"

namespace tessaly {

void TAviMainHeader::Store(uint8_t *out) const
{
    const uint32_t v[14] = {dwMicroSecPerFrame, dwMaxBytesPerSec, dwPaddingGranularity, dwFlags, dwTotalFrames,
                            dwInitialFrames,    dwStreams,        dwSuggestedBufferSize, dwWidth, dwHeight,
                            dwReserved[0],      dwReserved[1],    dwReserved[2],         dwReserved[3]};
    for (int i = 0; i < 14; ++i)
        PutLE32(out + 4 * i, v[i]);
}

void TAviStreamHeader::Store(uint8_t *out) const
{
    PutLE32(out + 0, fccType);
    PutLE32(out + 4, fccHandler);
    PutLE32(out + 8, dwFlags);
    PutLE16(out + 12, wPriority);
    PutLE16(out + 14, wLanguage);
    PutLE32(out + 16, dwInitialFrames);
    PutLE32(out + 20, dwScale);
    PutLE32(out + 24, dwRate);
    PutLE32(out + 28, dwStart);
    PutLE32(out + 32, dwLength);
    PutLE32(out + 36, dwSuggestedBufferSize);
    PutLE32(out + 40, dwQuality);
    PutLE32(out + 44, dwSampleSize);
    PutLE16(out + 48, uint16_t(rcLeft));
    PutLE16(out + 50, uint16_t(rcTop));
    PutLE16(out + 52, uint16_t(rcRight));
    PutLE16(out + 54, uint16_t(rcBottom));
}

} // namespace tessaly
