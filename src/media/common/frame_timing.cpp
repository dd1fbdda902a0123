// The sample count before a video frame, in exact integer arithmetic.
#include "media/common/frame_timing.h"

namespace tessaly {

namespace {

// num / den rounded to the nearest integer, halves to even.
int64_t RoundRatioEven(__int128 num, __int128 den)
{
    if (den < 0) {
        num = -num;
        den = -den;
    }
    __int128 q = num / den, r = num % den;
    if (r < 0) {   // floor division
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1)))
        ++q;
    return static_cast<int64_t>(q);
}

} // namespace

int64_t SamplesUpToFrame(int64_t frame, TFrameRate rate, uint32_t sampleRate)
{
    if (!rate.Valid())
        return 0;
    return RoundRatioEven(__int128(frame) * sampleRate * rate.Scale, __int128(rate.Rate));
}

int64_t SamplesOfFrame(int64_t frame, TFrameRate rate, uint32_t sampleRate)
{
    return SamplesUpToFrame(frame + 1, rate, sampleRate) - SamplesUpToFrame(frame, rate, sampleRate);
}

} // namespace tessaly
