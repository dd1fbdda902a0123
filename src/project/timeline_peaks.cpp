// The timeline's waveforms: the whole film mixed frame by frame on a worker thread, kept
// as the extremes of a few parts of each frame with summaries per frame and per group of
// frames, so a pixel column over any stretch reads a handful of entries.
#include "project/timeline_peaks.h"

#include <algorithm>
#include <cmath>

#include "media/input/wave_reader.h"
#include "project/audio_mixer.h"
#include "project/audio_peaks_track.h"
#include "project/project.h"
#include "project/project_session.h"
#include "project/wave_mix_source.h"

namespace tessaly {

namespace {

// The facts of the film as the project model asks its media for them: the worker's copy
// of the project is built from these instead of the window's sources.
class TFilmFacts final : public TProjectMedia {
public:
    TFilmFacts(const TPeakJob &job, uint32_t sampleRate) : FJob(job), FRate(sampleRate) {}
    std::string VideoFileName() const override { return "film"; }
    int32_t VideoFrameCount() const override { return FJob.FrameCount; }
    int32_t VideoRate() const override { return FJob.RateNum; }
    int32_t VideoScale() const override { return FJob.RateDen; }
    bool HasAudio() const override { return !FJob.Primary.FileList.empty(); }
    bool HasDouble() const override { return !FJob.Double.FileList.empty(); }
    bool HasReference() const override { return false; }
    uint32_t AudioSampleRate() const override { return FRate; }
    void CloseAll() override {}

private:
    const TPeakJob &FJob;
    uint32_t FRate;
};

bool OpenTrack(TWaveReader &reader, const TTrackOpening &opening)
{
    if (opening.FileList.empty() || !reader.Open(opening.FileList, opening.KindString, true, 0))
        return false;
    // The same stream as the window's reader.
    for (int i = 0; i < reader.AudioStreamCount(); ++i)
        if (reader.AudioStreamNumber(i) == opening.Stream && reader.SelectedStream() != opening.Stream)
            reader.SelectStream(i);
    return true;
}

} // namespace

bool TPeakJob::operator==(const TPeakJob &other) const
{
    return SameFilm(other) && Placement == other.Placement;
}

bool TPeakJob::SameFilm(const TPeakJob &other) const
{
    return FrameCount == other.FrameCount && RateNum == other.RateNum && RateDen == other.RateDen &&
           Primary == other.Primary && Double == other.Double;
}

TPeakJob PeakJobOf(const TProject &project, const TTrackOpening &primary, const TTrackOpening &dbl)
{
    TPeakJob job;
    if (!project.HasVideo() || project.Fps() <= 0 || (primary.FileList.empty() && dbl.FileList.empty()))
        return job;
    job.Primary = primary;
    job.Double = dbl;
    job.FrameCount = project.FrameCount();
    job.RateNum = project.RateNumerator();
    job.RateDen = project.RateDenominator();
    job.Placement = project.Snapshot();
    // Where the user looks does not place the audio.
    job.Placement.Position = 0;
    job.Placement.ViewOffset = 0;
    return job;
}

TPeakJob PeakJobOf(TProjectSession &session)
{
    TMediaSources &sources = session.Sources();
    const auto opening = [&sources](TWaveReader &shown, TSourceRole role) {
        TTrackOpening o;
        if (shown.IsOpen() && !sources.FileList(role).empty()) {
            o.FileList = sources.FileList(role);
            o.KindString = sources.KindString(role);
            o.Stream = shown.SelectedStream();
        }
        return o;
    };
    return PeakJobOf(session.Project(), opening(sources.Audio(), srAudio), opening(sources.Double(), srDouble));
}

bool TTimelineWaves::AllReady() const
{
    return std::all_of(Ready.begin(), Ready.end(), [](uint8_t r) { return r != 0; });
}

// --- TFilmPeaks --------------------------------------------------------------

TFilmPeaks::TFilmPeaks(int32_t frames, bool primary, bool dbl) : FFrames(std::max(0, frames))
{
    FLanes[0].Present = primary;
    FLanes[1].Present = dbl;
    const uint64_t lanes = uint64_t(primary) + uint64_t(dbl);
    const uint64_t perPart = std::max<uint64_t>(1, uint64_t(FFrames) * lanes * sizeof(TPeakColumn));
    FParts = int32_t(std::clamp<uint64_t>(kBudget / perPart, 1, kMaxParts));
    for (TLaneData &lane : FLanes) {
        if (!lane.Present)
            continue;
        lane.Parts.resize(size_t(FFrames) * size_t(FParts));
        lane.PerFrame.resize(size_t(FFrames));
        lane.PerGroup.resize(size_t((FFrames + kGroup - 1) / kGroup));
    }
}

void TFilmPeaks::Merge(TPeakColumn &into, const TPeakColumn &part, bool &first)
{
    if (first) {
        into = part;
        first = false;
        return;
    }
    into.Min = std::min(into.Min, part.Min);
    into.Max = std::max(into.Max, part.Max);
    into.Sounding = into.Sounding || part.Sounding;
}

void TFilmPeaks::Put(int lane, int32_t frame, const int16_t *samples, int64_t count, int channels, bool sounding)
{
    TLaneData &l = FLanes[lane];
    if (!l.Present || frame < 0 || frame >= FFrames || channels < 1)
        return;
    count = std::max<int64_t>(0, count);
    TPeakColumn whole;
    bool first = true;
    for (int32_t j = 0; j < FParts; ++j) {
        // Part j holds samples [count * j / parts, count * (j + 1) / parts) of the frame.
        const int64_t a = count * j / FParts, b = count * (j + 1) / FParts;
        TPeakColumn part{0, 0, sounding};
        if (b > a) {
            const auto [lo, hi] = std::minmax_element(samples + a * channels, samples + b * channels);
            part.Min = *lo;
            part.Max = *hi;
        }
        l.Parts[size_t(frame) * size_t(FParts) + size_t(j)] = part;
        Merge(whole, part, first);
    }
    l.PerFrame[size_t(frame)] = whole;
    TPeakColumn &group = l.PerGroup[size_t(frame / kGroup)];
    bool start = frame % kGroup == 0;
    Merge(group, whole, start);
}

void TFilmPeaks::Publish(int32_t frames)
{
    FDone.store(std::clamp(frames, 0, FFrames), std::memory_order_release);
}

TPeakColumn TFilmPeaks::Range(int lane, int64_t p0, int64_t p1) const
{
    const TLaneData &l = FLanes[lane];
    TPeakColumn out;
    bool first = true;
    int64_t p = p0;
    while (p < p1 && p % FParts != 0)
        Merge(out, l.Parts[size_t(p++)], first);
    // Whole frames, and whole groups of frames among them.
    int64_t f = p / FParts;
    const int64_t fEnd = p1 / FParts;
    if (p < p1 && f < fEnd) {
        while (f < fEnd && f % kGroup != 0)
            Merge(out, l.PerFrame[size_t(f++)], first);
        for (; f + kGroup <= fEnd; f += kGroup)
            Merge(out, l.PerGroup[size_t(f / kGroup)], first);
        while (f < fEnd)
            Merge(out, l.PerFrame[size_t(f++)], first);
        p = fEnd * FParts;
    }
    while (p < p1)
        Merge(out, l.Parts[size_t(p++)], first);
    return out;
}

void TFilmPeaks::Columns(double first, double perPixel, TTimelineWaves &out) const
{
    const int64_t total = int64_t(FFrames) * FParts;
    const int64_t ready = int64_t(Done()) * FParts;
    for (int x = 0; x < out.Width; ++x) {
        // The parts whose start lies inside the column (at least one).
        int64_t p0 = int64_t(std::floor((first + x * perPixel) * FParts));
        int64_t p1 = int64_t(std::floor((first + (x + 1) * perPixel) * FParts));
        p1 = std::max(p1, p0 + 1);
        p0 = std::clamp<int64_t>(p0, 0, total);
        p1 = std::clamp<int64_t>(p1, 0, total);
        if (p0 >= p1) {
            // Beyond the film: nothing to compute there.
            out.Ready[size_t(x)] = 1;
            continue;
        }
        if (p1 > ready)
            continue;
        if (FLanes[0].Present && out.HasPrimary)
            out.Primary[size_t(x)] = Range(0, p0, p1);
        if (FLanes[1].Present && out.HasDouble)
            out.Double[size_t(x)] = Range(1, p0, p1);
        out.Ready[size_t(x)] = 1;
    }
}

TTimelineWaves BlankWaves(int width, bool primary, bool dbl)
{
    TTimelineWaves out;
    out.Width = std::max(0, width);
    out.HasPrimary = primary;
    out.HasDouble = dbl;
    if (primary)
        out.Primary.assign(size_t(out.Width), TPeakColumn{});
    if (dbl)
        out.Double.assign(size_t(out.Width), TPeakColumn{});
    out.Ready.assign(size_t(out.Width), 0);
    return out;
}

TTimelineWaves TFilmPeaks::Waves(double first, double perPixel, int width) const
{
    TTimelineWaves out = BlankWaves(width, FLanes[0].Present, FLanes[1].Present);
    Columns(first, perPixel, out);
    return out;
}

std::shared_ptr<TFilmPeaks> NewFilmPeaks(const TPeakJob &job)
{
    const bool primary = !job.Primary.FileList.empty(), dbl = !job.Double.FileList.empty();
    if (job.FrameCount <= 0 || (!primary && !dbl))
        return nullptr;
    return std::make_shared<TFilmPeaks>(job.FrameCount, primary, dbl);
}

bool ComputeFilmPeaks(const TPeakJob &job, TFilmPeaks &out, const std::function<bool()> &cancelled,
                      const std::function<void(int32_t)> &progress)
{
    if (job.FrameCount <= 0 || out.Frames() != job.FrameCount)
        return false;
    // Readers of their own, in 16-bit PCM at the primary track's rate.
    TWaveReader readers[2];
    TWaveMixSource mixes[2] = {TWaveMixSource(readers[0]), TWaveMixSource(readers[1])};
    const TTrackOpening *openings[2] = {&job.Primary, &job.Double};
    TMixSource *sources[2] = {nullptr, nullptr};
    for (int lane = 0; lane < 2; ++lane) {
        if (!out.Has(lane))
            continue;
        if (!OpenTrack(readers[lane], *openings[lane]))
            return false;
        sources[lane] = &mixes[lane];
    }
    TMixSource *main = sources[0] ? sources[0] : sources[1];
    if (!main || !main->SetOutputFormat(nullptr, 0))
        return false;
    WAVEFORMATEX own{};
    int32_t size = 0;
    main->OutputFormat(own, size);
    if (size < 16 || own.nSamplesPerSec == 0)
        return false;
    TPeakTrack tracks[2];
    for (int lane = 0; lane < 2; ++lane)
        if (sources[lane] && !tracks[lane].Attach(sources[lane], own.nSamplesPerSec))
            return false;

    // The worker's own copy of what places the audio.
    TFilmFacts facts(job, own.nSamplesPerSec);
    TProject project(nullptr, &facts);
    project.VideoOpened();
    project.AudioOpened();
    if (!project.Restore(job.Placement) || !project.HasVideo())
        return false;

    struct TLane {
        std::unique_ptr<TAudioMixer> Mixer;
        TAudioMixState State;
        std::vector<uint8_t> Buffer;
    } lanes[2];
    for (int lane = 0; lane < 2; ++lane) {
        if (!sources[lane])
            continue;
        TLane &l = lanes[lane];
        l.Mixer = std::make_unique<TAudioMixer>(project, lane == 0 ? &tracks[0] : nullptr,
                                                lane == 1 ? &tracks[1] : nullptr);
        l.Mixer->SetMixing(rsSampleCopy, 0);   // peaks need no interpolation between samples
        l.Mixer->InitAudioMix(0, 0, l.State, false);
        if (!l.State.Valid)
            return false;
        l.Buffer.resize(size_t(l.State.MaxSamples) * size_t(l.State.BlockSize));
    }
    for (int32_t g = 0; g < job.FrameCount; ++g) {
        if (cancelled && cancelled())
            return false;
        for (int lane = 0; lane < 2; ++lane) {
            TLane &l = lanes[lane];
            if (!l.Mixer)
                continue;
            const bool doubleOff = l.State.Cur.DoubleOff();
            const int64_t from = l.State.OutPos;
            l.Mixer->MixFrameAudio(g, l.State, false, l.Buffer.data(), 0);
            const bool sounding = lane == 0 ? !l.State.Silent : !doubleOff;
            const int channels = tracks[lane].Channels();
            const int64_t count = std::min<int64_t>(l.State.OutPos - from, l.State.MaxSamples);
            out.Put(lane, g, reinterpret_cast<const int16_t *>(l.Buffer.data()), count, channels, sounding);
        }
        out.Publish(g + 1);
        if (progress)
            progress(g + 1);
    }
    return true;
}

// --- TTimelinePeaks ------------------------------------------------------------

TTimelinePeaks::TTimelinePeaks(TNotify notify, std::chrono::milliseconds interval)
    : FNotify(std::move(notify)), FInterval(interval)
{
    FThread = std::thread([this] { Run(); });
}

TTimelinePeaks::~TTimelinePeaks()
{
    {
        std::lock_guard lock(FMutex);
        FStop = true;
        ++FGeneration;
    }
    FWake.notify_all();
    FThread.join();
}

void TTimelinePeaks::Start(const TPeakJob &job)
{
    {
        std::lock_guard lock(FMutex);
        if (job == FJob)
            return;
        // While the same film is computed again, its columns not reached yet are shown
        // from the most complete earlier run.
        if (FPeaks && job.SameFilm(FJob)) {
            if (!FPrevious || FPeaks->Done() == FPeaks->Frames())
                FPrevious = FPeaks;
        } else if (!job.SameFilm(FJob)) {
            FPrevious.reset();
        }
        FJob = job;
        // The worker allocates the new data: the caller only hands the job over.
        FPeaks.reset();
        FFailed = false;
        FPending = job.FrameCount > 0 && (!job.Primary.FileList.empty() || !job.Double.FileList.empty());
        ++FGeneration;
    }
    FWake.notify_all();
}

void TTimelinePeaks::Run()
{
    std::unique_lock lock(FMutex);
    for (;;) {
        FWake.wait(lock, [this] { return FStop || FPending; });
        if (FStop)
            break;
        FPending = false;
        FRunning = true;
        const TPeakJob job = FJob;
        const uint64_t generation = FGeneration.load();
        lock.unlock();
        const std::shared_ptr<TFilmPeaks> data = NewFilmPeaks(job);
        lock.lock();
        if (generation != FGeneration.load() || !data) {
            FRunning = false;
            FIdle.notify_all();
            continue;
        }
        FPeaks = data;
        lock.unlock();
        auto last = std::chrono::steady_clock::now();
        const bool done = ComputeFilmPeaks(
            job, *data, [this, generation] { return FGeneration.load(std::memory_order_relaxed) != generation; },
            [this, &last](int32_t) {
                const auto now = std::chrono::steady_clock::now();
                if (now - last >= FInterval) {
                    last = now;
                    if (FNotify)
                        FNotify();
                }
            });
        lock.lock();
        FRunning = false;
        if (generation == FGeneration.load()) {
            // Once the film is complete the earlier run's columns are not needed any
            // more; a run that could not read its tracks shows no waveform at all.
            FPrevious.reset();
            FFailed = !done;
        }
        FIdle.notify_all();
        if (FStop)
            break;
        lock.unlock();
        if (FNotify)
            FNotify();
        lock.lock();
    }
}

bool TTimelinePeaks::Columns(double first, double perPixel, int width, TTimelineWaves &out) const
{
    std::shared_ptr<TFilmPeaks> now, before;
    bool primary = false, dbl = false;
    int32_t frames = 0;
    {
        std::lock_guard lock(FMutex);
        now = FPeaks;
        before = FPrevious;
        if ((FPending || FRunning || now) && !FFailed) {
            primary = !FJob.Primary.FileList.empty();
            dbl = !FJob.Double.FileList.empty();
            frames = FJob.FrameCount;
        }
    }
    out = TTimelineWaves{};
    if (frames <= 0 || (!primary && !dbl) || width < 1 || !(perPixel > 0))
        return false;
    // Before the worker has taken the job up, every column is still to come.
    out = BlankWaves(width, primary, dbl);
    if (before) {
        // The earlier run's columns, left marked as not ready.
        before->Columns(first, perPixel, out);
        std::fill(out.Ready.begin(), out.Ready.end(), uint8_t{0});
    }
    if (now)
        now->Columns(first, perPixel, out);
    // Frame starts, where frames are wide enough to tell apart.
    if (perPixel <= 0.25) {
        const double last = std::min<double>(first + width * perPixel, frames);
        for (double g = std::ceil(first); g < last; g += 1)
            out.FrameStarts.push_back((g - first) / perPixel);
    }
    return true;
}

bool TTimelinePeaks::Finished() const
{
    std::lock_guard lock(FMutex);
    return FPeaks && !FPending && !FRunning && FPeaks->Done() == FPeaks->Frames();
}

int32_t TTimelinePeaks::FramesDone() const
{
    std::lock_guard lock(FMutex);
    return FPeaks ? FPeaks->Done() : 0;
}

bool TTimelinePeaks::WaitIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(FMutex);
    return FIdle.wait_for(lock, timeout, [this] { return !FPending && !FRunning; });
}

} // namespace tessaly
