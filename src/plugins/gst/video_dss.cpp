// TVideoDSS: opening a video pipeline, frame-rate measurement and frame reads.
#include "video_dss.h"

#include "dss_convert.h"

#include <chrono>

namespace tessaly::gst {

namespace {
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int32_t kMaxStepFrames = 10;
constexpr int kMeasureMs = 500;
} // namespace

TVideoDSS::TVideoDSS(const std::string &fileName, int32_t timeout, uint32_t acceptedFormats, int32_t seekMode)
    : TAbstractDSS(fileName, timeout, seekMode)
{
    const int error = Open(acceptedFormats);
    FOk = error == 0;
    if (!FOk) {
        SetDssLastError(error);
        Close(); // a failed source gives its pipeline up at once
    }
}

int TVideoDSS::Open(uint32_t acceptedFormats)
{
    if (int error = BuildGraph(false, acceptedFormats, true))
        return error;
    FInfo = FGrabber->VideoInfo();
    if (FInfo.Valid != kDescriptionValid)
        return 40;
    const int64_t d = QueryDuration(GST_FORMAT_TIME);
    const int64_t f = QueryDuration(GST_FORMAT_DEFAULT);
    FFramePositioning = f > 0;
    if (d <= 0 && f <= 0)
        return 42;
    bool measure = false;
    int64_t fd = FInfo.Rate > 0 ? (int64_t(FInfo.Scale) * kUnitsPerSecond + FInfo.Rate / 2) / FInfo.Rate : 0;
    if (fd > 0) {
        const int64_t count = FFramePositioning ? f : d / fd;
        FInfo.FrameCount = uint32_t(std::min<int64_t>(count, INT32_MAX));
    } else if (d > 0 && f > 0) {
        fd = (d + f / 2) / f;
        FInfo.FrameCount = uint32_t(std::min<int64_t>(f, INT32_MAX));
        ReduceRatio64(uint64_t(f) * kUnitsPerSecond, uint64_t(d), FInfo.Rate, FInfo.Scale);
    } else {
        fd = kUnitsPerSecond;
        measure = true;
    }
    FFrameDuration = fd;
    FGrabber->SetFrameDuration(fd);
    if (!FGrabber->RunGraph())
        return 29;
    if (!FStrict) {
        FCurrentFrame = 0;
        int timeout = OpenTimeout();
        if (FGrabber->WaitSample(timeout))
            return 30;
    }
    return measure ? MeasureFrameRate(d) : 0;
}

// Frame rate of a stream whose type carries none: the average distance of the buffers
// delivered within half a second.
int TVideoDSS::MeasureFrameRate(int64_t duration)
{
    int timeout = FTimeout;
    if (SeekTo(0) < 0 || !FGrabber->NextSample(timeout))
        return 42;
    const int64_t first = FGrabber->CurrentStart();
    int64_t last = first;
    int64_t n = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMeasureMs);
    while (std::chrono::steady_clock::now() < end && FGrabber->NextSample(timeout)) {
        ++n;
        last = FGrabber->CurrentStart();
    }
    SeekTo(0);
    FCurrentFrame = 0;
    if (!FStrict) {
        int wait = OpenTimeout();
        FGrabber->WaitSample(wait);
    }
    const int64_t fd = n > 0 ? (last - first + n / 2) / n : 0;
    if (fd <= 0)
        return 42;
    FFrameDuration = fd;
    FGrabber->SetFrameDuration(fd);
    const int64_t count = duration / fd;
    FInfo.FrameCount = uint32_t(std::min<int64_t>(count, INT32_MAX));
    ReduceRatio64(uint64_t(count) * kUnitsPerSecond, uint64_t(duration), FInfo.Rate, FInfo.Scale);
    return 0;
}

int64_t TVideoDSS::MiddleOf(int32_t frame) const
{
    // Exact from the rate where it is known, so long streams do not drift by the rounding of
    // the frame duration; otherwise from the frame duration.
    if (FInfo.Rate > 0 && FInfo.Scale > 0)
        return int64_t((__int128(2 * int64_t(frame) + 1) * FInfo.Scale * kUnitsPerSecond) / (2 * int64_t(FInfo.Rate)));
    return frame * FFrameDuration + FFrameDuration / 2;
}

bool TVideoDSS::ReadFrame(int32_t a, uint8_t *destination)
{
    if (!FOk || !destination)
        return false;
    int timeout = FTimeout;
    const int32_t m = a == 0 ? smRestart : FSeekMode;
    const bool step = (m == smRestart && a >= FCurrentFrame) || m == smForwardOnly ||
                      (FCurrentFrame <= a && int64_t(a) <= int64_t(FCurrentFrame) + kMaxStepFrames);
    if (step) {
        // In forward-only mode a frame before the current one is answered with the current frame.
        while (FCurrentFrame < a && FGrabber->NextSample(timeout))
            ++FCurrentFrame;
    } else {
        const int64_t target = MiddleOf(a);
        int r = m == smSeek ? SeekTo(target) : SeekTo(0);
        if (r < 0) {
            SetDssLastError(44);
            return false;
        }
        // Whether or not the pipeline could be positioned, the delivered buffers' times tell
        // which frame is held: step until the buffer covers the middle of the wanted frame.
        if (!FGrabber->WaitSample(timeout))
            while (FGrabber->CurrentEnd() <= target && FGrabber->NextSample(timeout)) {
            }
        FCurrentFrame = a;
    }
    int error = 0;
    const bool ok = FGrabber->CopyFrameTo(destination, timeout, FStrict, error);
    if (error)
        SetDssLastError(error);
    return ok;
}

} // namespace tessaly::gst
