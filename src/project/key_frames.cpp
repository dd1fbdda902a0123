// Key frame search over the video's index.
#include "project/key_frames.h"

#include "media/input/io_movie_reader.h"

namespace tessaly {

int32_t NearestKeyFrame(TIOMovieReader &video, int32_t frame, int32_t direction, int32_t frameCount, int32_t maxScan)
{
    if (!video.IsOpen() || direction == 0 || frameCount <= 0)
        return -1;
    const int32_t step = direction > 0 ? 1 : -1;
    int64_t n = int64_t(frame) + step;
    for (int32_t scanned = 0; n >= 0 && n < frameCount && scanned < maxScan; n += step, ++scanned)
        if (video.IsKeyFrame(int32_t(n)))
            return int32_t(n);
    return -1;
}

} // namespace tessaly
