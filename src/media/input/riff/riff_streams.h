// The stream description and start sample of an AVI/WAVE stream as each reader gives
// them: the own reader keeps the start in the description, the system media layer asks
// for it.
#pragma once

#include "media/input/avi2_reader.h"
#include "platform/avi_file.h"

namespace tessaly {

inline int32_t RiffStreamInfo(TAvi2Reader &reader, int stream, AVISTREAMINFO &info)
{
    reader.GetStreamInfo(stream, info);
    return AVIERR_OK;
}
inline int32_t RiffStreamInfo(TAviFile &file, int stream, AVISTREAMINFO &info)
{
    return file.GetStreamInfo(stream, info);
}
inline int32_t RiffStreamStart(TAvi2Reader &, int, const AVISTREAMINFO &info) { return int32_t(info.dwStart); }
inline int32_t RiffStreamStart(TAviFile &file, int stream, const AVISTREAMINFO &) { return file.StreamStart(stream); }

} // namespace tessaly
