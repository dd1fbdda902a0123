// The decoded-frame cache and the worker that fills it: eviction around the frame looked
// at, bounded memory, stepping back from the cache, overtaken requests, damaged frames,
// and the pictures of real videos frame-exact through their readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "media/input/io_movie_reader.h"
#include "project/frame_cache.h"
#include "project/frame_fetcher.h"
#include "project/key_frames.h"
#include "support/media_error_print.h"
#include "support/test_support.h"
#include "support/video_test_support.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;

// A picture that tells its frame: the first two bytes hold the number.
std::unique_ptr<TIOImage> NumberedPicture(int32_t n)
{
    auto image = std::make_unique<TIOImage>(8, 2, pf24Bit);
    image->Bits()[0] = uint8_t(n & 0xFF);
    image->Bits()[1] = uint8_t(n >> 8);
    return image;
}

int32_t NumberOf(const TIOImage &image) { return image.Bits()[0] | image.Bits()[1] << 8; }

uint64_t PictureBytes() { return TFrameCache::PictureBytes(*NumberedPicture(0)); }

// What the fake source did, shared with the test (the fetcher owns the source).
struct TSourceLog {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<int32_t> Decoded;
    bool Hold = false;      // decodes wait while set
    int Waiting = 0;        // decodes waiting at the hold
    std::set<int32_t> Bad;  // frames that cannot be decoded
    int32_t Throws = -1;    // a frame whose decode runs out of memory
    std::chrono::microseconds Cost{0};   // the time each decode takes

    void Release()
    {
        std::lock_guard lock(Mutex);
        Hold = false;
        Changed.notify_all();
    }
    bool WaitForHeld()
    {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, 5s, [this] { return Waiting > 0; });
    }
    std::vector<int32_t> Frames()
    {
        std::lock_guard lock(Mutex);
        return Decoded;
    }
};

// A video of `count` frames with a key frame every `gop` frames.
class TFakeSource : public TFrameSource {
public:
    TFakeSource(int32_t count, int32_t gop, std::shared_ptr<TSourceLog> log) : FCount(count), FGop(gop), FLog(log) {}
    int32_t FrameCount() const override { return FCount; }
    bool IsKeyFrame(int32_t n) override { return n % FGop == 0; }
    bool Sequential() const override { return true; }
    std::unique_ptr<TIOImage> Decode(int32_t n, TMediaError &error) override
    {
        std::unique_lock lock(FLog->Mutex);
        ++FLog->Waiting;
        FLog->Changed.notify_all();
        FLog->Changed.wait(lock, [this] { return !FLog->Hold; });
        --FLog->Waiting;
        if (FLog->Cost.count() > 0) {
            lock.unlock();
            std::this_thread::sleep_for(FLog->Cost);
            lock.lock();
        }
        FLog->Decoded.push_back(n);
        if (n == FLog->Throws)
            throw std::bad_alloc();
        if (FLog->Bad.count(n)) {
            error = meFileRead;
            return nullptr;
        }
        return NumberedPicture(n);
    }

private:
    int32_t FCount, FGop;
    std::shared_ptr<TSourceLog> FLog;
};

// Collects the deliveries of a fetcher.
struct TCollector {
    std::mutex Mutex;
    std::vector<TFetchedFrame> Frames;
    TFrameFetcher::TDelivery Delivery()
    {
        return [this](const TFetchedFrame &f) {
            std::lock_guard lock(Mutex);
            Frames.push_back(f);
        };
    }
    std::vector<TFetchedFrame> Take()
    {
        std::lock_guard lock(Mutex);
        return std::exchange(Frames, {});
    }
};

class FrameFetcher : public ::testing::Test {
protected:
    void Start(int32_t count, int32_t gop, uint64_t budget, bool prefetch)
    {
        Log = std::make_shared<TSourceLog>();
        Fetcher = std::make_unique<TFrameFetcher>(Got.Delivery(), budget);
        Fetcher->SetPrefetch(prefetch);
        Fetcher->SetSource([count, gop, log = Log](TMediaError &) -> std::unique_ptr<TFrameSource> {
            return std::make_unique<TFakeSource>(count, gop, log);
        });
    }
    // Asks for a frame, waits until the worker is idle and returns the final delivery.
    TFetchedFrame Fetch(int32_t frame, TFetchMode mode = fmExact)
    {
        Fetcher->Request(frame, mode);
        EXPECT_TRUE(Fetcher->WaitIdle(10s));
        std::vector<TFetchedFrame> got = Got.Take();
        EXPECT_FALSE(got.empty());
        return got.empty() ? TFetchedFrame() : got.back();
    }

    std::shared_ptr<TSourceLog> Log;
    TCollector Got;
    std::unique_ptr<TFrameFetcher> Fetcher;
};

std::vector<int32_t> Range(int32_t first, int32_t last)
{
    std::vector<int32_t> r;
    for (int32_t f = first; f <= last; ++f)
        r.push_back(f);
    return r;
}

TEST(FrameCache, KeepsThePicturesNearestTheFocusWithinItsBudget)
{
    const uint64_t one = PictureBytes();
    TFrameCache cache(10 * one);
    cache.SetFocus(50);
    for (int32_t f = 30; f <= 70; ++f) {
        cache.Insert(f, NumberedPicture(f));
        ASSERT_LE(cache.Bytes(), cache.Budget());
    }
    // Behind the focus a frame counts its distance, ahead of it three times that.
    EXPECT_EQ(cache.Count(), 10u);
    for (int32_t f = 43; f <= 52; ++f) {
        ASSERT_TRUE(cache.Contains(f)) << f;
        EXPECT_EQ(NumberOf(*cache.Find(f)), f);
    }
    EXPECT_EQ(cache.RunStart(50), 43);
    EXPECT_EQ(cache.RunEnd(50), 52);
    EXPECT_EQ(cache.RunStart(60), 61);
    EXPECT_FALSE(cache.WouldKeep(42, one));
    EXPECT_FALSE(cache.WouldKeep(53, one));
    cache.SetFocus(45);
    EXPECT_TRUE(cache.WouldKeep(42, one));
    EXPECT_TRUE(cache.Insert(42, NumberedPicture(42)));
    EXPECT_FALSE(cache.Contains(52));   // farthest ahead of the new focus
    // A smaller budget evicts at once; a picture larger than the budget is not kept.
    cache.SetBudget(3 * one);
    EXPECT_EQ(cache.Count(), 3u);
    EXPECT_TRUE(cache.Contains(43) && cache.Contains(44) && cache.Contains(45));
    TFrameCache tiny(one / 2);
    EXPECT_FALSE(tiny.Insert(1, NumberedPicture(1)));
    EXPECT_EQ(tiny.Bytes(), 0u);
}

TEST_F(FrameFetcher, SteppingBackInsideAGroupComesFromTheCache)
{
    Start(100, 25, 64 * PictureBytes(), false);
    const TFetchedFrame first = Fetch(60);
    ASSERT_TRUE(first.Picture);
    EXPECT_EQ(NumberOf(*first.Picture), 60);
    EXPECT_FALSE(first.FromCache);
    EXPECT_EQ(Log->Frames(), Range(50, 60));   // from the key frame, once each
    for (int32_t f = 59; f >= 50; --f) {
        const TFetchedFrame back = Fetch(f);
        ASSERT_TRUE(back.Picture) << f;
        EXPECT_EQ(NumberOf(*back.Picture), f);
        EXPECT_TRUE(back.FromCache) << f;
    }
    EXPECT_EQ(Log->Frames().size(), 11u);
    // Forwards the decoder goes on from where it stands.
    Fetch(61);
    EXPECT_EQ(Log->Frames().back(), 61);
    EXPECT_EQ(Log->Frames().size(), 12u);
    // Behind the group's key frame is another group: decoded from its own key frame.
    const TFetchedFrame earlier = Fetch(49);
    ASSERT_TRUE(earlier.Picture);
    EXPECT_EQ(NumberOf(*earlier.Picture), 49);
    const std::vector<int32_t> log = Log->Frames();
    EXPECT_EQ(std::vector<int32_t>(log.begin() + 12, log.end()), Range(25, 49));
}

TEST_F(FrameFetcher, AnOvertakenRequestIsDroppedAndTheLatestWins)
{
    Start(300, 25, 64 * PictureBytes(), false);
    Log->Hold = true;
    Fetcher->Request(10);
    ASSERT_TRUE(Log->WaitForHeld());   // decoding frame 0 of the first request
    Fetcher->Request(40);
    Fetcher->Request(280);
    Log->Release();
    ASSERT_TRUE(Fetcher->WaitIdle(10s));
    const std::vector<TFetchedFrame> got = Got.Take();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Requested, 280);
    ASSERT_TRUE(got[0].Picture);
    EXPECT_EQ(NumberOf(*got[0].Picture), 280);
    // The first run was given up after its current frame; the second never started.
    EXPECT_EQ(Log->Frames(), (std::vector<int32_t>{0, 275, 276, 277, 278, 279, 280}));
    const TFetchStats stats = Fetcher->Stats();
    EXPECT_EQ(stats.Dropped, 1u);
    EXPECT_EQ(stats.Abandoned, 1u);
}

TEST_F(FrameFetcher, ARequestTheRunLeadsToTakesTheRunOver)
{
    // A held key: each newer frame lies ahead in the group being decoded, so the decoder
    // goes on instead of starting again, and passes its pictures on.
    Start(300, 250, 300 * PictureBytes(), false);
    Log->Hold = true;
    Fetcher->Request(100);
    ASSERT_TRUE(Log->WaitForHeld());
    for (int32_t f = 101; f <= 110; ++f)
        Fetcher->Request(f);
    Log->Release();
    ASSERT_TRUE(Fetcher->WaitIdle(10s));
    EXPECT_EQ(Log->Frames(), Range(0, 110));
    const std::vector<TFetchedFrame> got = Got.Take();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().Requested, 110);
    EXPECT_TRUE(got.back().Final);
    for (const TFetchedFrame &f : got) {
        ASSERT_TRUE(f.Picture);
        EXPECT_EQ(NumberOf(*f.Picture), f.Frame);
        EXPECT_GE(f.Frame, 100);   // nothing before the first frame asked for is shown
    }
}

TEST_F(FrameFetcher, TheKeyFrameModeDecodesOnlyTheKeyFrame)
{
    Start(100, 25, 64 * PictureBytes(), false);
    const TFetchedFrame key = Fetch(37, fmKeyFrame);
    EXPECT_EQ(key.Requested, 37);
    EXPECT_EQ(key.Frame, 25);
    ASSERT_TRUE(key.Picture);
    EXPECT_EQ(NumberOf(*key.Picture), 25);
    EXPECT_EQ(Log->Frames(), std::vector<int32_t>{25});
    // Let go: the exact frame, going on from the key frame.
    const TFetchedFrame exact = Fetch(37);
    EXPECT_EQ(exact.Frame, 37);
    EXPECT_EQ(Log->Frames(), Range(25, 37));
}

TEST_F(FrameFetcher, ADamagedFrameIsReportedAndTheOthersStillCome)
{
    Start(100, 25, 64 * PictureBytes(), false);
    Log->Bad = {55};
    Log->Throws = 80;
    const TFetchedFrame after = Fetch(57);
    ASSERT_TRUE(after.Picture);
    EXPECT_EQ(NumberOf(*after.Picture), 57);
    const TFetchedFrame bad = Fetch(55);
    EXPECT_FALSE(bad.Picture);
    EXPECT_EQ(bad.Frame, 55);
    EXPECT_EQ(bad.Error, meFileRead);
    const TFetchedFrame before = Fetch(54);
    ASSERT_TRUE(before.Picture);
    EXPECT_TRUE(before.FromCache);
    EXPECT_EQ(Fetch(80).Error, meMemory);
    EXPECT_EQ(Fetch(100).Error, meParam);
    EXPECT_EQ(Fetch(-1).Error, meParam);
    EXPECT_TRUE(Fetch(81).Picture);
}

TEST_F(FrameFetcher, ASourceThatCannotBeOpenedIsReported)
{
    Start(10, 5, 64 * PictureBytes(), false);
    Fetcher->SetSource([](TMediaError &error) -> std::unique_ptr<TFrameSource> {
        error = meFileNotFound;
        return nullptr;
    });
    const TFetchedFrame got = Fetch(3);
    EXPECT_FALSE(got.Picture);
    EXPECT_EQ(got.Error, meFileNotFound);
    Fetcher->CloseSource();
    EXPECT_EQ(Fetch(3).Error, meState);
}

TEST_F(FrameFetcher, IdleDecodingKeepsTheFramesBehindSoAHeldKeyBackNeverWaits)
{
    // 40 pictures of budget: 8 ahead, the rest behind refilled group by group.
    Start(400, 25, 40 * PictureBytes(), true);
    EXPECT_EQ(NumberOf(*Fetch(330).Picture), 330);
    for (int32_t f = 329; f >= 200; --f) {
        const TFetchedFrame got = Fetch(f);
        ASSERT_TRUE(got.Picture) << f;
        EXPECT_EQ(NumberOf(*got.Picture), f);
        EXPECT_TRUE(got.FromCache) << f;
        const TFetchStats stats = Fetcher->Stats();
        ASSERT_LE(stats.CacheBytes, 40 * PictureBytes());
        ASSERT_LE(stats.CachedFrames, 40u);
    }
    // Forwards the frames ahead were decoded when idle.
    EXPECT_TRUE(Fetch(201).FromCache);
    EXPECT_TRUE(Fetch(202).FromCache);
}

TEST_F(FrameFetcher, AKeptFrameIsAnsweredAtOnceWhileTheWorkerDecodes)
{
    Start(200, 50, 64 * PictureBytes(), false);
    ASSERT_EQ(NumberOf(*Fetch(60).Picture), 60);   // 50 .. 60 kept
    // The worker decodes towards frame 130 and is held inside its first decode.
    {
        std::lock_guard lock(Log->Mutex);
        Log->Hold = true;
    }
    // Whatever fails below, the worker must not stay held (its end waits for it).
    const std::unique_ptr<TSourceLog, void (*)(TSourceLog *)> release(Log.get(), [](TSourceLog *log) { log->Release(); });
    Fetcher->Request(130);
    ASSERT_TRUE(Log->WaitForHeld());
    // Stepping back into the kept frames does not wait for it: the pictures come on this
    // thread before Request returns.
    for (int32_t f : {59, 58, 57}) {
        Fetcher->Request(f);
        const std::vector<TFetchedFrame> got = Got.Take();
        ASSERT_EQ(got.size(), 1u) << f;
        ASSERT_TRUE(got[0].Picture);
        EXPECT_EQ(NumberOf(*got[0].Picture), f);
        EXPECT_TRUE(got[0].FromCache);
        EXPECT_TRUE(got[0].Final);
    }
    // The run towards 130 was overtaken by them: it gives up and never shows 130.
    Log->Release();
    ASSERT_TRUE(Fetcher->WaitIdle(10s));
    for (const TFetchedFrame &f : Got.Take())
        EXPECT_NE(f.Frame, 130);
    EXPECT_GE(Fetcher->Stats().Abandoned, 1u);
    EXPECT_LT(Log->Frames().size(), size_t(11 + 10));
    // A frame not kept still goes to the worker.
    const TFetchedFrame far = Fetch(131);
    ASSERT_TRUE(far.Picture);
    EXPECT_EQ(NumberOf(*far.Picture), 131);
    EXPECT_FALSE(far.FromCache);
}

TEST_F(FrameFetcher, AKeptFrameDoesNotStopTheDecodingBehindIt)
{
    // 40 pictures: the worker refills the frames behind the one looked at while a held
    // key answers from the cache; the refill is not given up for such requests.
    // Each decode takes 1 ms, a refill from the key frame some 60 ms; a step every 25 ms.
    Start(400, 100, 40 * PictureBytes(), true);
    {
        std::lock_guard lock(Log->Mutex);
        Log->Cost = 1ms;
    }
    EXPECT_EQ(NumberOf(*Fetch(390).Picture), 390);
    const uint64_t abandoned = Fetcher->Stats().Abandoned;
    for (int32_t f = 389; f >= 330; --f) {
        Fetcher->Request(f);
        std::this_thread::sleep_for(25ms);
    }
    ASSERT_TRUE(Fetcher->WaitIdle(10s));
    EXPECT_EQ(Fetcher->Stats().Abandoned, abandoned);
    // Every step came, each picture its own frame.
    std::set<int32_t> shown;
    for (const TFetchedFrame &f : Got.Take()) {
        ASSERT_TRUE(f.Picture);
        EXPECT_EQ(NumberOf(*f.Picture), f.Frame);
        if (f.Final)
            shown.insert(f.Frame);
    }
    for (int32_t f = 389; f >= 330; --f)
        EXPECT_TRUE(shown.count(f)) << f;
    EXPECT_GT(Log->Frames().size(), 100u);   // the refills did run
}

// Real videos through their readers: every picture the fetcher gives, in a stepping
// order, equals FFmpeg's decode of that frame.
class FetcherOnVideos : public ::testing::Test {
protected:
    std::vector<TFetchedFrame> FetchAll(const TVideoOpening &opening, const std::vector<int32_t> &frames)
    {
        TCollector got;
        TFrameFetcher fetcher(got.Delivery(), 8 << 20);
        fetcher.SetSource([opening](TMediaError &error) { return OpenReaderSource(opening, error); });
        std::vector<TFetchedFrame> out;
        for (int32_t f : frames) {
            fetcher.Request(f);
            EXPECT_TRUE(fetcher.WaitIdle(30s));
            std::vector<TFetchedFrame> one = got.Take();
            EXPECT_FALSE(one.empty());
            if (!one.empty())
                out.push_back(one.back());
        }
        return out;
    }
    void ExpectFfmpegPictures(const std::string &file, const std::string &kind, uint32_t w, uint32_t h)
    {
        TIOMovieReader video;
        ASSERT_TRUE(video.Open(file, "AUTO|-1"));
        EXPECT_EQ(video.KindString(), kind);
        const std::string reference = FfmpegBgr24(file);
        const size_t size = Bgr24FrameSize(w, h);
        ASSERT_EQ(reference.size(), size * size_t(video.FrameCount()));
        const std::vector<int32_t> order = {30, 29, 28, 27, 26, 25, 24, 23, 5, 47, 46, 12, 13, 0};
        const std::vector<TFetchedFrame> got = FetchAll(VideoOpeningOf(video), order);
        ASSERT_EQ(got.size(), order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            ASSERT_TRUE(got[i].Picture) << order[i];
            EXPECT_EQ(got[i].Frame, order[i]);
            EXPECT_EQ(FirstDifferentRow(*got[i].Picture,
                                        reinterpret_cast<const uint8_t *>(reference.data()) + size * size_t(order[i])),
                      -1)
                << "frame " << order[i];
        }
    }
    TTempDir Dir;
};

TEST_F(FetcherOnVideos, MatroskaH264WithBFramesIsFrameExact)
{
    const std::string mkv = Dir.File("film.mkv");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 48 -c:v libx264 -bf 2 -g 12 "
                       "-sc_threshold 0 -pix_fmt yuv420p " + ShellQuote(mkv)));
    setenv("XDG_CACHE_HOME", Dir.File("cache").c_str(), 1);
    ExpectFfmpegPictures(mkv, "LAVF|-1", 96, 64);
    // The reader's key frames are the stream's (the fetcher starts its runs there, the
    // window's key frame steps land there), as FFmpeg lists them in display order.
    std::string listed;
    ASSERT_EQ(RunCommand("ffprobe -v error -select_streams v -show_entries frame=key_frame -of csv=p=0 " +
                             ShellQuote(mkv),
                         &listed),
              0);
    std::vector<int32_t> keys;
    std::istringstream lines(listed);
    int32_t n = 0;
    // A frame with side data (x264's settings on the first) adds an empty line.
    for (std::string line; std::getline(lines, line);) {
        if (line.empty())
            continue;
        if (line.rfind('1', 0) == 0)
            keys.push_back(n);
        ++n;
    }
    ASSERT_GE(keys.size(), 3u);
    TIOMovieReader video;
    ASSERT_TRUE(video.Open(mkv, "AUTO|-1"));
    std::vector<int32_t> stepped = {0};
    for (int32_t k = NearestKeyFrame(video, 0, 1, 48); k >= 0; k = NearestKeyFrame(video, k, 1, 48))
        stepped.push_back(k);
    EXPECT_EQ(stepped, keys);
}

TEST_F(FetcherOnVideos, AviOfTheOwnReaderIsFrameExact)
{
    const std::string avi = Dir.File("film.avi");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=25 -frames:v 48 -c:v mpeg4 -q:v 5 -g 10 -bf 0 " +
                       ShellQuote(avi)));
    ExpectFfmpegPictures(avi, "ODML|-1", 64, 48);
}

TEST_F(FetcherOnVideos, PhantomAndStillPicturesEqualTheirReaders)
{
    TIOMovieReader phantom;
    ASSERT_TRUE(phantom.OpenPhantom(80, 60, 40, 1, 25, pf24Bit));
    phantom.SetUpsideDown(true);
    const std::string png = Dir.File("still.png");
    ASSERT_TRUE(Ffmpeg("-f lavfi -i testsrc=size=48x32 -frames:v 1 " + ShellQuote(png)));
    TIOMovieReader still;
    ASSERT_TRUE(still.Open(png, "AUTO|-1"));
    for (TIOMovieReader *video : {&phantom, &still}) {
        const std::vector<int32_t> order = video == &phantom ? std::vector<int32_t>{7, 6, 39, 0}
                                                             : std::vector<int32_t>{0};
        const std::vector<TFetchedFrame> got = FetchAll(VideoOpeningOf(*video), order);
        ASSERT_EQ(got.size(), order.size());
        for (size_t i = 0; i < order.size(); ++i) {
            ASSERT_TRUE(got[i].Picture) << order[i];
            std::unique_ptr<TIOImage> expected = video->NewFrameImage();
            ASSERT_TRUE(video->GetFrame(order[i], *expected));
            ASSERT_EQ(got[i].Picture->ImageSize(), expected->ImageSize());
            EXPECT_TRUE(std::equal(expected->Bits(), expected->Bits() + expected->ImageSize(), got[i].Picture->Bits()))
                << video->KindString() << " frame " << order[i];
        }
    }
}

} // namespace
} // namespace tessaly::test
