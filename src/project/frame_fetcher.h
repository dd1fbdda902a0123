// TFrameFetcher: pictures of the video decoded on a worker thread of their own, so that
// the one asking never waits. Only the latest request counts: one overtaken before it
// started is dropped, and a decode run it makes useless is given up. Each picture decoded
// on the way to a frame (from the key frame before it) is kept in a TFrameCache, so that
// stepping back inside a group of pictures needs no decoding. A frame the cache holds is
// handed over at once on the asking thread, whatever the worker is decoding: a request
// never waits behind the decoding ahead. When idle, the worker decodes a few frames ahead
// and refills the frames behind the one looked at; only a request the cache cannot answer
// stops that work.
#pragma once

#include "media/common/io_image.h"
#include "media/common/media_error.h"
#include "project/frame_cache.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tessaly {

class TIOMovieReader;

// What the worker decodes from: frames by number, with their key frame flags.
class TFrameSource {
public:
    virtual ~TFrameSource() = default;
    virtual int32_t FrameCount() const = 0;
    // Whether decoding can start at frame n.
    virtual bool IsKeyFrame(int32_t n) = 0;
    // Whether frame n right after n - 1 costs much less than frame n alone (decoders of
    // groups of pictures); sources with cheap random access answer false.
    virtual bool Sequential() const = 0;
    // A new picture of frame n; null with `error` set when it cannot be had.
    virtual std::unique_ptr<TIOImage> Decode(int32_t n, TMediaError &error) = 0;
};

// How to open one more reader on a video that is open: its file list and kind, or the
// phantom clip's description, and the reading switches.
struct TVideoOpening {
    std::string FileList, KindString;
    bool Phantom = false;
    uint32_t Width = 0, Height = 0;
    int32_t Frames = 0, Scale = 1, Rate = 25;
    TIOPixelFormat Format = pf24Bit;
    int Stream = 0;
    bool UpsideDown = false, DecodeOnly = false;
    bool operator==(const TVideoOpening &) const = default;
};

// The opening of the reader's video; empty FileList when nothing is open.
TVideoOpening VideoOpeningOf(const TIOMovieReader &video);
// A reader of its own on that video as a frame source; null with `error` on failure.
std::unique_ptr<TFrameSource> OpenReaderSource(const TVideoOpening &opening, TMediaError &error);

enum TFetchMode {
    fmExact,    // the frame asked for
    fmKeyFrame, // the key frame at or before it (cheap: for dragging the slider)
};

// One picture handed to the delivery function.
struct TFetchedFrame {
    uint64_t Ticket = 0;     // the request it answers
    uint64_t Source = 0;     // the source's number (SetSource's result)
    int32_t Requested = -1;  // the frame asked for
    int32_t Frame = -1;      // the frame the picture shows
    TFramePicture Picture;   // null when it could not be had
    TMediaError Error = meOk;
    bool FromCache = false;
    // False for a picture passed on the way to a later frame that was asked for
    // meanwhile (a held key shows these while the worker catches up).
    bool Final = true;
};

struct TFetchStats {
    uint64_t Decoded = 0;   // pictures decoded
    uint64_t CacheHits = 0; // requests answered from the cache
    uint64_t Dropped = 0;   // requests overtaken before they were started
    uint64_t Abandoned = 0; // decode runs given up for a newer request
    uint64_t Delivered = 0; // pictures handed over, intermediate ones included
    uint64_t CacheBytes = 0, CacheBudget = 0;
    size_t CachedFrames = 0;
};

class TFrameFetcher {
public:
    // Called on the worker thread; it must not call back into the fetcher's waits.
    using TDelivery = std::function<void(const TFetchedFrame &)>;
    // Run on the worker thread to open a source; null with `error` on failure.
    using TOpener = std::function<std::unique_ptr<TFrameSource>(TMediaError &error)>;

    static constexpr uint64_t kDefaultBudget = uint64_t(512) << 20;

    TFrameFetcher(TDelivery delivery, uint64_t budgetBytes = kDefaultBudget);
    ~TFrameFetcher();
    TFrameFetcher(const TFrameFetcher &) = delete;
    TFrameFetcher &operator=(const TFrameFetcher &) = delete;

    // A new source, opened on the worker; the cache and any request waiting go with the
    // old one. Returns the source's number, found again in its pictures.
    uint64_t SetSource(TOpener opener);
    void CloseSource() { SetSource(nullptr); }
    // Asks for a frame and returns at once with the request's ticket. A frame kept in the
    // cache is delivered before this returns, on the calling thread; any other on the
    // worker. The delivery function must accept both.
    uint64_t Request(int32_t frame, TFetchMode mode = fmExact);
    void SetBudget(uint64_t bytes);
    // Decoding ahead of and behind the frame looked at when idle (on by default).
    void SetPrefetch(bool on);
    TFetchStats Stats() const;
    // Waits until the latest request was answered and the idle decoding is done; false on
    // timeout. For tests and measurements.
    bool WaitIdle(std::chrono::milliseconds timeout);

private:
    struct TRequest {
        uint64_t Ticket = 0;
        int32_t Frame = 0;
        TFetchMode Mode = fmExact;
    };
    // How a decode run ends.
    enum TRunEnd { reDone, reFailed, reOvertaken };

    void Run();
    void OpenPending(TOpener opener, uint64_t source);
    void Serve(const TRequest &request);
    // Decodes from the best start up to `target`, keeping what fits. With `request` the
    // run answers it (and may take over newer requests it leads to); without, it is idle
    // work that any request stops.
    TRunEnd DecodeRun(int32_t target, TRequest *request, int32_t keepFrom);
    void Prefetch();
    int32_t KeyFrameBefore(int32_t n);
    // The target frame of a request: the key frame before it in fmKeyFrame.
    int32_t TargetOf(const TRequest &request);
    // Whether something newer than the run answering `runTicket` (0: an idle run) came:
    // a request for the worker, a new source, the end, or (for a request's run) a later
    // request answered from the cache.
    bool PeekRequest(TRequest &request, uint64_t runTicket) const;
    bool TakeRequest(uint64_t ticket);
    void Deliver(TFetchedFrame frame);
    TFramePicture DecodeOne(int32_t n, TMediaError &error);
    void PublishStats();
    // Frames the budget holds, from the size of the pictures seen (0 before the first).
    int32_t Capacity() const;

    TDelivery FDelivery;
    mutable std::mutex FMutex;
    std::condition_variable FWake, FIdle;
    // Shared with the callers (under FMutex).
    bool FStop = false, FHasRequest = false, FHasSource = false, FBusy = false, FPrefetchDone = true;
    bool FPrefetchOn = true;
    TRequest FRequest;
    TOpener FOpener;
    uint64_t FTicket = 0, FSourceNumber = 0, FBudget;
    uint64_t FAnswered = 0;     // the latest ticket answered at once from the cache
    uint64_t FCacheSource = 0;  // the source whose pictures the cache holds
    TFetchStats FStats;
    // The worker's own (only the worker touches these).
    std::unique_ptr<TFrameSource> FSource;
    TMediaError FOpenError = meState;
    uint64_t FCurrentSource = 0;
    TFrameCache FCache;
    int32_t FLastDecoded = -1;  // the source decoded this frame last (continuing is cheap)
    uint64_t FPictureBytes = 0;
    uint64_t FDecoded = 0, FHits = 0, FAbandoned = 0, FDelivered = 0;
    std::chrono::steady_clock::time_point FLastDelivery;
    std::thread FThread;
};

} // namespace tessaly
