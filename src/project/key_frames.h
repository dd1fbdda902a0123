// Key frames of the video: the nearest one before or after a frame, for stepping from
// key frame to key frame.
#pragma once

#include <cstdint>

namespace tessaly {

class TIOMovieReader;

// The nearest key frame after (direction > 0) or before (direction < 0) `frame` among the
// video's `frameCount` frames; -1 when there is none within `maxScan` frames (a video
// without key frame flags would otherwise cost a pass over the whole file).
int32_t NearestKeyFrame(TIOMovieReader &video, int32_t frame, int32_t direction, int32_t frameCount,
                        int32_t maxScan = 100000);

} // namespace tessaly
