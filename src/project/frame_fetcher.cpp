// TFrameFetcher: the worker thread, its decode runs and the idle decoding; the reader
// of its own as a frame source.
#include "project/frame_fetcher.h"

#include "media/input/io_movie_reader.h"

#include <algorithm>
#include <new>

namespace tessaly {

namespace {

// Key frames are looked for this far back at most; a source without any in reach decodes
// the frame alone (its reader finds the start itself).
constexpr int32_t kKeyScan = 1200;
// Idle decoding: this many frames ahead of the one looked at...
constexpr int32_t kAhead = 8;
// ...and behind it, for sources read frame by frame.
constexpr int32_t kBehindSingle = 4;
// A picture passed on the way to a later request is shown at most this often.
constexpr auto kRepaintInterval = std::chrono::milliseconds(40);

class TReaderSource final : public TFrameSource {
public:
    explicit TReaderSource(std::unique_ptr<TIOMovieReader> reader) : FReader(std::move(reader))
    {
        const TSourceKind kind = FReader->Kind();
        FSequential = kind == ksMsvw || kind == ksOdml || kind == ksLavf;
    }
    int32_t FrameCount() const override { return FReader->FrameCount(); }
    bool IsKeyFrame(int32_t n) override { return FReader->IsKeyFrame(n); }
    bool Sequential() const override { return FSequential; }
    std::unique_ptr<TIOImage> Decode(int32_t n, TMediaError &error) override
    {
        std::unique_ptr<TIOImage> image = FReader->NewFrameImage();
        if (!image) {
            error = meMemory;
            return nullptr;
        }
        if (!FReader->GetFrame(n, *image)) {
            error = FReader->Status() == meOk ? meFileRead : FReader->Status();
            return nullptr;
        }
        return image;
    }

private:
    std::unique_ptr<TIOMovieReader> FReader;
    bool FSequential = false;
};

} // namespace

TVideoOpening VideoOpeningOf(const TIOMovieReader &video)
{
    TVideoOpening o;
    if (!video.IsOpen())
        return o;
    o.FileList = video.FileList();
    o.KindString = video.KindString();
    o.Phantom = video.Kind() == ksDumy;
    if (o.Phantom) {
        o.Width = video.Width();
        o.Height = video.Height();
        o.Frames = video.FrameCount();
        o.Scale = video.Scale();
        o.Rate = video.Rate();
        o.Format = video.PixelFormat();
    }
    o.Stream = std::max(0, video.SelectedStream());
    o.UpsideDown = video.UpsideDown();
    o.DecodeOnly = video.DecodeOnly();
    return o;
}

std::unique_ptr<TFrameSource> OpenReaderSource(const TVideoOpening &opening, TMediaError &error)
{
    auto reader = std::make_unique<TIOMovieReader>();
    bool ok = false;
    if (opening.FileList.empty())
        ok = false;
    else if (opening.Phantom)
        ok = reader->OpenPhantom(opening.Width, opening.Height, opening.Frames, opening.Scale, opening.Rate,
                                 opening.Format);
    else
        ok = reader->Open(opening.FileList, opening.KindString);
    if (ok && reader->SelectedStream() != opening.Stream)
        ok = reader->SelectVideoStream(opening.Stream);
    if (!ok) {
        error = reader->Status() == meOk ? meState : reader->Status();
        return nullptr;
    }
    reader->SetUpsideDown(opening.UpsideDown);
    reader->SetDecodeOnly(opening.DecodeOnly);
    return std::make_unique<TReaderSource>(std::move(reader));
}

TFrameFetcher::TFrameFetcher(TDelivery delivery, uint64_t budgetBytes)
    : FDelivery(std::move(delivery)), FBudget(budgetBytes), FCache(budgetBytes)
{
    FStats.CacheBudget = budgetBytes;
    FThread = std::thread([this] { Run(); });
}

TFrameFetcher::~TFrameFetcher()
{
    {
        std::lock_guard lock(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    FThread.join();
}

uint64_t TFrameFetcher::SetSource(TOpener opener)
{
    uint64_t number;
    {
        std::lock_guard lock(FMutex);
        FOpener = std::move(opener);
        FHasSource = true;
        if (FHasRequest)
            ++FStats.Dropped;
        FHasRequest = false;
        number = ++FSourceNumber;
    }
    FWake.notify_all();
    return number;
}

uint64_t TFrameFetcher::Request(int32_t frame, TFetchMode mode)
{
    TFetchedFrame answer;
    uint64_t ticket;
    {
        std::lock_guard lock(FMutex);
        if (FHasRequest)
            ++FStats.Dropped;
        ticket = ++FTicket;
        FRequest = TRequest{ticket, frame, mode};
        FPrefetchDone = false;
        // A kept picture of the current source is answered here; the worker goes on with
        // what it is doing (the decoding around the frame looked at is still wanted) and
        // plans its idle work around the new frame afterwards.
        if (!FHasSource && FCacheSource == FSourceNumber)
            answer.Picture = FCache.Find(frame);
        FHasRequest = !answer.Picture;
        if (answer.Picture) {
            FCache.SetFocus(frame);
            FAnswered = ticket;
            ++FStats.CacheHits;
            ++FStats.Delivered;
            answer.Source = FCacheSource;
        }
    }
    FWake.notify_all();
    if (answer.Picture) {
        answer.Ticket = ticket;
        answer.Requested = frame;
        answer.Frame = frame;
        answer.FromCache = true;
        if (FDelivery)
            FDelivery(answer);
    }
    return ticket;
}

void TFrameFetcher::SetBudget(uint64_t bytes)
{
    {
        std::lock_guard lock(FMutex);
        FBudget = bytes;
        FPrefetchDone = false;
    }
    FWake.notify_all();
}

void TFrameFetcher::SetPrefetch(bool on)
{
    std::lock_guard lock(FMutex);
    FPrefetchOn = on;
}

TFetchStats TFrameFetcher::Stats() const
{
    std::lock_guard lock(FMutex);
    return FStats;
}

bool TFrameFetcher::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(FMutex);
    return FIdle.wait_for(lock, timeout,
                          [this] { return !FBusy && !FHasRequest && !FHasSource && (FPrefetchDone || !FPrefetchOn); });
}

void TFrameFetcher::Run()
{
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] {
            return FStop || FHasSource || FHasRequest || (FPrefetchOn && !FPrefetchDone);
        });
        if (FStop)
            break;
        FBusy = true;
        if (FCache.Budget() != FBudget)
            FCache.SetBudget(FBudget);
        if (FHasSource) {
            TOpener opener = std::move(FOpener);
            const uint64_t number = FSourceNumber;
            FHasSource = false;
            lock.unlock();
            OpenPending(std::move(opener), number);
            lock.lock();
        } else if (FHasRequest) {
            const TRequest request = FRequest;
            FHasRequest = false;
            lock.unlock();
            Serve(request);
            lock.lock();
        } else {
            const uint64_t planned = FTicket;
            lock.unlock();
            Prefetch();
            lock.lock();
            // A request that came meanwhile (served or answered from the cache) asks for
            // idle work around its frame.
            if (!FHasRequest && FTicket == planned)
                FPrefetchDone = true;
        }
        FBusy = false;
        FStats.CacheBytes = FCache.Bytes();
        FStats.CacheBudget = FCache.Budget();
        FStats.CachedFrames = FCache.Count();
        FIdle.notify_all();
    }
    lock.unlock();
    FSource.reset();
}

void TFrameFetcher::OpenPending(TOpener opener, uint64_t source)
{
    FSource.reset();
    FCache.Clear();
    {
        std::lock_guard lock(FMutex);
        FCacheSource = source;
    }
    FLastDecoded = -1;
    FPictureBytes = 0;
    FCurrentSource = source;
    FOpenError = meState;
    if (!opener)
        return;
    TMediaError error = meOk;
    try {
        FSource = opener(error);
    } catch (const std::bad_alloc &) {
        error = meMemory;
    } catch (const std::exception &) {
        error = meUnknown;
    }
    if (!FSource)
        FOpenError = error == meOk ? meUnknown : error;
}

void TFrameFetcher::Deliver(TFetchedFrame frame)
{
    frame.Source = FCurrentSource;
    FLastDelivery = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(FMutex);
        ++FStats.Delivered;
    }
    if (FDelivery)
        FDelivery(frame);
}

bool TFrameFetcher::PeekRequest(TRequest &request, uint64_t runTicket) const
{
    std::lock_guard lock(FMutex);
    if (!FHasRequest && !FHasSource && !FStop) {
        if (runTicket == 0 || FAnswered <= runTicket)
            return false;
        // The request this run answers was overtaken by one answered from the cache.
        request = FRequest;
        request.Frame = -1;
        return true;
    }
    request = FRequest;
    // A new source or the end stops every run: report it as a request no run leads to.
    if (FHasSource || FStop)
        request.Frame = -1;
    return true;
}

bool TFrameFetcher::TakeRequest(uint64_t ticket)
{
    std::lock_guard lock(FMutex);
    if (!FHasRequest || FHasSource || FStop || FRequest.Ticket != ticket)
        return false;
    FHasRequest = false;
    return true;
}

TFramePicture TFrameFetcher::DecodeOne(int32_t n, TMediaError &error)
{
    std::unique_ptr<TIOImage> image;
    error = meOk;
    try {
        image = FSource->Decode(n, error);
    } catch (const std::bad_alloc &) {
        error = meMemory;
    } catch (const std::exception &) {
        error = meUnknown;
    }
    {
        std::lock_guard lock(FMutex);
        ++FStats.Decoded;
    }
    if (!image) {
        if (error == meOk)
            error = meFileRead;
        // Where the source stands after a failure is unknown: the next run starts afresh.
        FLastDecoded = -1;
        return nullptr;
    }
    FLastDecoded = n;
    FPictureBytes = TFrameCache::PictureBytes(*image);
    return TFramePicture(std::move(image));
}

int32_t TFrameFetcher::KeyFrameBefore(int32_t n)
{
    if (!FSource->Sequential())
        return n;
    for (int32_t f = n; f >= 0 && n - f <= kKeyScan; --f)
        if (FSource->IsKeyFrame(f))
            return f;
    return n;
}

int32_t TFrameFetcher::TargetOf(const TRequest &request)
{
    if (request.Mode == fmExact || FCache.Contains(request.Frame))
        return request.Frame;
    return KeyFrameBefore(request.Frame);
}

int32_t TFrameFetcher::Capacity() const
{
    return FPictureBytes == 0 ? 0 : int32_t(std::min<uint64_t>(FCache.Budget() / FPictureBytes, INT32_MAX));
}

void TFrameFetcher::Serve(const TRequest &request)
{
    TFetchedFrame answer;
    answer.Ticket = request.Ticket;
    answer.Requested = request.Frame;
    answer.Frame = request.Frame;
    if (!FSource || request.Frame < 0 || request.Frame >= FSource->FrameCount()) {
        answer.Error = FSource ? meParam : FOpenError;
        Deliver(answer);
        return;
    }
    const int32_t target = TargetOf(request);
    FCache.SetFocus(target);
    if (TFramePicture picture = FCache.Find(target)) {
        {
            std::lock_guard lock(FMutex);
            ++FStats.CacheHits;
        }
        answer.Frame = target;
        answer.Picture = std::move(picture);
        answer.FromCache = true;
        Deliver(answer);
        return;
    }
    TRequest current = request;
    DecodeRun(target, &current, 0);
}

TFrameFetcher::TRunEnd TFrameFetcher::DecodeRun(int32_t target, TRequest *request, int32_t keepFrom)
{
    const int32_t key = KeyFrameBefore(target);
    int32_t f = FSource->Sequential() && FLastDecoded >= key && FLastDecoded < target ? FLastDecoded + 1 : key;
    // Frames from the first target on were asked for during the run (a held key): worth
    // showing while the worker catches up.
    const int32_t asked = target;
    for (; f <= target; ++f) {
        TRequest newer;
        if (PeekRequest(newer, request ? request->Ticket : 0) && (!request || newer.Ticket != request->Ticket)) {
            // A newer request this run leads to takes it over; any other ends it.
            const int32_t next = newer.Frame < 0 || !request ? -1 : TargetOf(newer);
            if (next < f || FCache.Contains(next) || KeyFrameBefore(next) > f || !TakeRequest(newer.Ticket)) {
                std::lock_guard lock(FMutex);
                ++FStats.Abandoned;
                return reOvertaken;
            }
            *request = newer;
            target = next;
            FCache.SetFocus(target);
        }
        // Even a frame kept already is decoded: the decoder has to pass it on its way.
        TMediaError error = meOk;
        TFramePicture picture = DecodeOne(f, error);
        if (picture && f >= keepFrom && !FCache.Contains(f) && FCache.WouldKeep(f, FPictureBytes))
            FCache.Insert(f, picture);
        if (!request)
            continue;
        if (f == target) {
            TFetchedFrame answer;
            answer.Ticket = request->Ticket;
            answer.Requested = request->Frame;
            answer.Frame = f;
            answer.Picture = picture;
            answer.Error = error;
            Deliver(answer);
            return picture ? reDone : reFailed;
        }
        if (picture && f >= asked && std::chrono::steady_clock::now() - FLastDelivery >= kRepaintInterval) {
            TFetchedFrame passing;
            passing.Ticket = request->Ticket;
            passing.Requested = request->Frame;
            passing.Frame = f;
            passing.Picture = picture;
            passing.Final = false;
            Deliver(passing);
        }
    }
    return reDone;
}

void TFrameFetcher::Prefetch()
{
    {
        std::lock_guard lock(FMutex);
        if (!FPrefetchOn)
            return;
    }
    if (!FSource || FPictureBytes == 0)
        return;
    const int32_t focus = FCache.Focus();
    const int32_t count = FSource->FrameCount();
    const int32_t capacity = Capacity();
    if (focus < 0 || focus >= count || capacity < 4)
        return;
    // Ahead: the next frames, decoded on from where the source stands.
    const int32_t ahead = std::min({kAhead, capacity / 4, count - 1 - focus});
    for (int32_t f = focus + 1; f <= focus + ahead; ++f) {
        if (FCache.Contains(f))
            continue;
        if (DecodeRun(f, nullptr, f) == reOvertaken)
            return;
    }
    // Behind: refilled when less than half of its share is left, so that a refill, which
    // decodes from a key frame, brings many frames at once.
    const bool sequential = FSource->Sequential();
    const int32_t behind = std::min(focus, sequential ? capacity * 3 / 4 - ahead : std::min(kBehindSingle, capacity / 4));
    if (behind <= 0 || !FCache.Contains(focus))
        return;
    int32_t start = FCache.RunStart(focus);
    if (sequential && focus - start >= behind / 2)
        return;
    while (start > 0 && focus - start < behind) {
        const int32_t goal = start - 1;
        if (DecodeRun(goal, nullptr, focus - behind) == reOvertaken)
            return;
        const int32_t now = FCache.RunStart(focus);
        if (now >= start)
            return;   // nothing more fits or the frames cannot be had
        start = now;
    }
}

} // namespace tessaly
