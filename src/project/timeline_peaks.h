// The waveforms of the whole film for the timeline, computed on a worker thread of their
// own: both tracks run through the real audio mixer from the first frame to the last
// (so the timeline shows the placement the result will have), each frame's samples cut
// into a few parts of which the lowest and highest values are kept. The window asks for
// pixel columns at any zoom and scroll; it gets what is ready at once and never waits.
// A change of the media, the markers or the options starts the work again; the columns
// the new run has not reached yet come from the previous run while the film stays the
// same, marked as not ready.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "project/audio_peaks.h"
#include "project/project_observer.h"

namespace tessaly {

class TProject;
class TProjectSession;

// One more reader on an audio track that is open: its files, kind and the stream number
// the open reader has selected. Empty FileList: no track.
struct TTrackOpening {
    std::string FileList, KindString;
    int Stream = -1;
    bool operator==(const TTrackOpening &) const = default;
};

// Everything the peaks depend on: the video's length and rate, what places the audio
// (markers, chapters, options) and the tracks.
struct TPeakJob {
    int32_t FrameCount = 0;
    int32_t RateNum = -1, RateDen = 1;
    TProjectSnapshot Placement;   // position and view offset are left at 0
    TTrackOpening Primary, Double;
    bool operator==(const TPeakJob &other) const;
    bool SameFilm(const TPeakJob &other) const;   // same length, rate and tracks
};

// The job of a project as it stands over the given tracks, and of the session with its
// own tracks; FrameCount 0 without a video or a track.
TPeakJob PeakJobOf(const TProject &project, const TTrackOpening &primary, const TTrackOpening &dbl);
TPeakJob PeakJobOf(TProjectSession &session);

// Pixel columns' extremes per track, each column ready or left over from an earlier run.
struct TTimelineWaves {
    int Width = 0;
    bool HasPrimary = false, HasDouble = false;
    std::vector<TPeakColumn> Primary, Double;   // Width entries for each track present
    std::vector<uint8_t> Ready;                 // 1 where the column is computed for the current job
    std::vector<double> FrameStarts;            // frame starts in pixels when frames are 4 pixels or wider
    bool AllReady() const;
};
// `width` empty columns of the lanes given, none ready.
TTimelineWaves BlankWaves(int width, bool primary, bool dbl);

// The computed peaks of one film: per frame `PartsPerFrame` parts of its output samples,
// filled from the first frame on by one writer while any number of readers read the
// frames published so far.
class TFilmPeaks {
public:
    // At most this many bytes for the parts of all lanes (the parts per frame go down to 1
    // for very long films); 16 parts a frame match the timeline's deepest zoom.
    static constexpr uint64_t kBudget = uint64_t(48) << 20;
    static constexpr int32_t kMaxParts = 16;

    TFilmPeaks(int32_t frames, bool primary, bool dbl);
    int32_t Frames() const { return FFrames; }
    int32_t PartsPerFrame() const { return FParts; }
    bool Has(int lane) const { return FLanes[lane].Present; }
    // Frames published (0 .. Frames()); readers see these frames complete.
    int32_t Done() const { return FDone.load(std::memory_order_acquire); }

    // The writer: frame `frame`'s output samples of a lane (16-bit, interleaved), then
    // Publish once every lane of the frame is put.
    void Put(int lane, int32_t frame, const int16_t *samples, int64_t count, int channels, bool sounding);
    void Publish(int32_t frames);

    // Columns of out.Width pixels starting at frame `first`, `perPixel` frames a pixel.
    // Columns beyond Done() are left untouched and not marked ready.
    void Columns(double first, double perPixel, TTimelineWaves &out) const;
    // The columns of a view filled (as far as published).
    TTimelineWaves Waves(double first, double perPixel, int width) const;
    // The extremes of parts [p0, p1) of a lane (all published).
    TPeakColumn Range(int lane, int64_t p0, int64_t p1) const;

private:
    // Frames per summary entry: column ranges over long stretches read these.
    static constexpr int32_t kGroup = 64;
    struct TLaneData {
        bool Present = false;
        std::vector<TPeakColumn> Parts, PerFrame, PerGroup;
    };
    static void Merge(TPeakColumn &into, const TPeakColumn &part, bool &first);

    int32_t FFrames = 0, FParts = 1;
    TLaneData FLanes[2];
    std::atomic<int32_t> FDone{0};
};

// Computes the whole job in the calling thread; `cancelled` (optional) is asked between
// frames and `progress` (optional) is told every published frame count. False when the
// job has no film or track, a track cannot be opened, or the run was cancelled.
bool ComputeFilmPeaks(const TPeakJob &job, TFilmPeaks &out, const std::function<bool()> &cancelled = {},
                      const std::function<void(int32_t)> &progress = {});
// A data set of the right size for the job (null without film or track).
std::shared_ptr<TFilmPeaks> NewFilmPeaks(const TPeakJob &job);

class TTimelinePeaks {
public:
    // Called on the worker thread when more frames are ready (at most every `interval`)
    // and when a run ends; it must only schedule a repaint.
    using TNotify = std::function<void()>;

    explicit TTimelinePeaks(TNotify notify, std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    // Cancels the run and waits for the worker (at most one frame's mixing).
    ~TTimelinePeaks();
    TTimelinePeaks(const TTimelinePeaks &) = delete;
    TTimelinePeaks &operator=(const TTimelinePeaks &) = delete;

    // Computes `job` unless it is the one computed or being computed; a run of another
    // job is cancelled. Returns at once.
    void Start(const TPeakJob &job);
    // The columns for a view: what is ready now (never waits). False without peaks to show.
    bool Columns(double first, double perPixel, int width, TTimelineWaves &out) const;
    // Whether the current job is computed to its end (false while running or without job).
    bool Finished() const;
    // Frames of the current job done, and its frame count.
    int32_t FramesDone() const;
    // Waits until the current job is finished or failed; false on timeout. For tests and
    // measurements.
    bool WaitIdle(std::chrono::milliseconds timeout) const;

private:
    void Run();

    TNotify FNotify;
    std::chrono::milliseconds FInterval;
    mutable std::mutex FMutex;
    mutable std::condition_variable FWake, FIdle;
    TPeakJob FJob;                                   // the job asked for last
    std::shared_ptr<TFilmPeaks> FPeaks, FPrevious;   // its data, and the last run's of the same film
    bool FPending = false, FRunning = false, FStop = false, FFailed = false;
    std::atomic<uint64_t> FGeneration{0};            // bumped by every new job: cancels the run
    std::thread FThread;
};

} // namespace tessaly
