// TAudioDSS: opening an audio pipeline and contiguous, skipping or seeking sample reads.
#include "audio_dss.h"
#include "mp3_gapless.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tessaly::gst {

namespace {
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kNsPerSecond = 1000000000;
constexpr int64_t kSkipLimitFrames = 50000; // jumps forward beyond this seek (mode 1)
constexpr int kEstimateMs = 2000;
} // namespace

TAudioDSS::TAudioDSS(const std::string &fileName, int32_t timeout, uint32_t, int32_t seekMode)
    : TAbstractDSS(fileName, timeout, seekMode)
{
    const int error = Open();
    FOk = error == 0;
    if (!FOk) {
        SetDssLastError(error);
        Close();
    }
}

int TAudioDSS::Open()
{
    if (int error = BuildGraph(true, 0, false))
        return error;
    FInfo = FGrabber->AudioInfo();
    FLayout = FGrabber->AudioLayout();
    if (FInfo.Valid != kDescriptionValid)
        return 60;
    int64_t d = QueryDuration(GST_FORMAT_TIME);
    if (!FGrabber->RunGraph())
        return 29;
    if (d <= 0)
        d = EstimateDuration();
    if (d <= 0)
        return 61;
    FInfo.Length = int64_t((__int128(d) * FInfo.SampleRate + kUnitsPerSecond / 2) / kUnitsPerSecond);
    int64_t start = 0;
    if (!FStrict) {
        FPosition = 0;
        FOffset = 0;
        int timeout = OpenTimeout();
        if (FGrabber->WaitSample(timeout))
            return 30;
        // A stream whose first buffer starts later than 0 has silence before it.
        start = FGrabber->CurrentStartNs();
        if (start > 0)
            FPosition = FrameAt(start);
    }
    FindLead(start);
    return 0;
}

void TAudioDSS::FindLead(int64_t firstStartNs)
{
    // A decoder that withholds the output of its first packets (Vorbis) stamps its first
    // buffer with the time of a later packet, although that buffer's data begins where the
    // stream's first packet does: the difference is no silence. A stream whose first packet
    // itself starts later (audio that begins after the video) keeps its silence.
    const int64_t packet = FirstPacketNs();
    if (packet != INT64_MIN && firstStartNs > 0) {
        const int64_t lead = FrameAt(firstStartNs) - FrameAt(std::max<int64_t>(packet, 0));
        if (lead > 0 && lead < int64_t(FInfo.SampleRate) / 10)
            FLead = lead;
    }
    // MP3 decoders here leave the encoder's priming and the decoder delay in; the file's
    // LAME tag says how much, and how long the stream really is. Only applied when the
    // decoder delivers the untrimmed length (a decoder that trims itself is left alone).
    TMp3Gapless gapless;
    if (FLead == 0 && FPosition == 0 && ReadMp3Gapless(FFileName, gapless) &&
        std::abs(FInfo.Length - gapless.DecodedFrames) < 1152) {
        FLead = gapless.Skip;
        FInfo.Length = gapless.Length;
        return;
    }
    FInfo.Length = std::max<int64_t>(0, FInfo.Length - FLead);
}

// Elementary streams without an index (raw AC3, ...) know their duration only once the
// parser has seen some frames: let it run for a moment, then start again at 0.
int64_t TAudioDSS::EstimateDuration()
{
    int timeout = OpenTimeout();
    int64_t d = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEstimateMs);
    while (d <= 0 && std::chrono::steady_clock::now() < end && FGrabber->NextSample(timeout))
        d = QueryDuration(GST_FORMAT_TIME);
    if (d <= 0)
        d = QueryDuration(GST_FORMAT_TIME); // the end of the stream may have made it known
    return d > 0 && SeekTo(0) == 0 ? d : 0;
}

int64_t TAudioDSS::FrameAt(int64_t time) const
{
    const int64_t rate = FInfo.SampleRate;
    return time >= 0 ? int64_t((__int128(time) * rate + kNsPerSecond / 2) / kNsPerSecond) : 0;
}

uint32_t TAudioDSS::FrameSize() const
{
    if (FInfo.Valid != kDescriptionValid)
        return 0;
    return BytesPerSample(FInfo.SampleType) * FInfo.Channels;
}

int64_t TAudioDSS::Frames(int64_t bytes) const
{
    const uint32_t size = FrameSize();
    return size == 0 || bytes <= 0 ? 0 : bytes / size;
}

int64_t TAudioDSS::Bytes(int64_t frames) const
{
    const uint32_t size = FrameSize();
    return size == 0 || frames <= 0 ? 0 : frames * size;
}

// Consumes bytes of delivered data from the read point on, taking further buffers as
// needed; stops early at the end of the stream.
bool TAudioDSS::Skip(int64_t bytes, int &timeout)
{
    if (FGrabber->WaitSample(timeout) && FStrict) {
        SetDssLastError(62);
        return false;
    }
    while (bytes > 0) {
        const int64_t left = FGrabber->CurrentData() ? int64_t(FGrabber->CurrentLength()) - FOffset : 0;
        if (left > 0) {
            const int64_t n = std::min(left, bytes);
            FOffset += uint32_t(n);
            bytes -= n;
            continue;
        }
        if (!FGrabber->NextSample(timeout))
            break;
        FOffset = 0;
    }
    return true;
}

bool TAudioDSS::MoveTo(int64_t &start, int64_t &count, uint8_t *&destination, int &timeout)
{
    const int32_t m = start == FLead ? smRestart : FSeekMode;
    FPosition -= Frames(FOffset);
    FOffset = 0;
    const int64_t held = FGrabber->CurrentData() ? Frames(FGrabber->CurrentLength()) : 0;
    if ((m != smForwardOnly && start < FPosition) || (m == smSeek && start >= FPosition + held + kSkipLimitFrames)) {
        // Just past the exact time of the frame, so that decoders that cut their first
        // buffer at the seek time never keep the frame before it.
        const int64_t rate = FInfo.SampleRate;
        const int64_t time = m == smRestart ? 0 : int64_t((__int128(start) * kNsPerSecond + rate - 1) / rate) + 1;
        if (SeekToNs(time) < 0) {
            SetDssLastError(63);
            return false;
        }
        // The delivered buffer's time tells where the data really begins, whether or not
        // the pipeline landed exactly where it was asked to.
        if (!FGrabber->WaitSample(timeout))
            FPosition = FrameAt(FGrabber->CurrentStartNs());
    }
    if (start < FPosition) {
        // The delivered data begins later than asked: the frames before it are silence.
        const int64_t silent = std::min(count, FPosition - start);
        std::memset(destination, SilenceByte(), size_t(Bytes(silent)));
        destination += Bytes(silent);
        count -= silent;
        start += silent;
        if (count == 0)
            return true;
    }
    if (start > FPosition) {
        if (!Skip(Bytes(start - FPosition), timeout))
            return false;
        FPosition = start;
    }
    return true;
}

bool TAudioDSS::Read(uint8_t *destination, int64_t count, int64_t start)
{
    if (!destination) {
        SetDssLastError(-3);
        return false;
    }
    if (!FOk || count < 0 || start < 0)
        return false;
    start += FLead;
    int timeout = FTimeout;
    if (start != FPosition) {
        if (!MoveTo(start, count, destination, timeout))
            return false;
        if (count == 0)
            return true; // all of it lay before the delivered data
    }
    if (FGrabber->WaitSample(timeout) && FStrict) {
        SetDssLastError(62);
        return false;
    }
    int64_t bytes = Bytes(count);
    while (bytes > 0) {
        const uint8_t *data = FGrabber->CurrentData();
        const int64_t left = data ? int64_t(FGrabber->CurrentLength()) - FOffset : 0;
        if (left > 0) {
            const int64_t n = std::min(left, bytes);
            std::memcpy(destination, data + FOffset, size_t(n));
            destination += n;
            FOffset += uint32_t(n);
            bytes -= n;
            continue;
        }
        if (!FGrabber->NextSample(timeout)) {
            if (FStrict && FGrabber->WaitSample(timeout)) {
                SetDssLastError(62);
                return false;
            }
            std::memset(destination, SilenceByte(), size_t(bytes));
            break;
        }
        FOffset = 0;
    }
    FPosition += count;
    return true;
}

} // namespace tessaly::gst
