// TRenderer: the AVI and WAV rendering runs with chapters, pre-scan and progress.
#include "project/render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "media/common/bitmap_header.h"
#include "media/common/byte_order.h"
#include "media/common/io_image.h"
#include "media/common/vfw_types.h"
#include "media/input/io_movie_reader.h"
#include "media/input/wave_format.h"
#include "media/output/avi_creator.h"
#include "media/output/wave_writer.h"
#include "platform/file_system.h"
#include "project/audio_mixer.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "shell/progress.h"
#include "shell/user_interface.h"

namespace tessaly {

// The files one run writes: the chapter loop opens, completes and fills them.
struct TRenderer::TFileOps {
    std::string Ext;                                  // of chapter file names
    std::function<bool(int32_t)> CanStart;            // a file may start at this frame
    std::function<bool(const std::string &)> Open;    // error shown on failure
    std::function<bool()> Close;                      // completes the open file
    std::function<bool()> Write;                      // writes frame run.Current
};

// Everything one rendering run holds.
struct TRenderer::TRun {
    std::string Target;
    bool Audio = false;          // WAV run
    int32_t First = 0;           // max(firstFrame, 0) before key-frame alignment
    int32_t Start = 0;
    int32_t Last = 0;
    int32_t Current = 0;
    bool CrossFade = false;
    bool ForPreview = false;
    bool PreScan = false;
    bool Separate = false;
    bool Concat = false;
    bool ShowProgress = false;
    int32_t LastChapter = 0;     // chapter number of LastOutputFrame()
    int32_t FilesOpened = 0;
    bool FileOpen = false;       // a file was opened and not yet completed
    int32_t FileLast = 0;        // the last frame of the file being opened
    int32_t FrameOffset = 0;
    int32_t SizeLimit = 0;
    TAudioMixState Mix;
    std::unique_ptr<TAudioMixer> Mixer;
    std::vector<uint8_t> Buffer;
    std::unique_ptr<TAVICreator> Creator;
    std::unique_ptr<TWaveWriter> Wave;
    TMixSink *Sink = nullptr;    // takes the mix in place of Wave
    std::vector<uint8_t> VideoFormat, VideoExtra;
    std::vector<uint8_t> Reduced;
    std::unique_ptr<TIOImage> Image;
    int32_t Reduction = 1;
};

TRenderer::TRenderer(TProjectSession &session, TProgress *progress) : FSession(session), FProgress(progress) {}

std::string TRenderer::ChapterFileName(const std::string &target, int32_t number, const std::string &ext)
{
    std::string digits = std::to_string(number);
    if (digits.size() < 2)
        digits = "0" + digits;
    return ChangeFileExt(target, "") + "." + digits + ext;
}

void TRenderer::Comment(const std::string &text)
{
    if (FProgress)
        FProgress->SetComment(text);
}

void TRenderer::ShowError(const std::string &text)
{
    if (FSession.UserInterface())
        FSession.UserInterface()->Error(text);
}

bool TRenderer::StartRun(TRun &run, bool showProgress, const std::string &caption)
{
    run.ShowProgress = showProgress && FProgress;
    if (run.ShowProgress) {
        FProgress->Show();
        FProgress->SetCaption(caption);
        FProgress->SetCancelText(Msg("CapAbort"));
    }
    return true;
}

bool TRenderer::CheckProgress(TRun &run)
{
    if (!run.ShowProgress)
        return true;
    double done = double(run.Current - run.First) / double(int64_t(run.Last) - run.First + 1);
    FProgress->SetProgress(done);
    if (FProgress->Aborted()) {
        FAborted = true;
        return false;
    }
    return true;
}

bool TRenderer::PreScan(TRun &run)
{
    if (!run.PreScan || !run.Mix.Valid)
        return true;
    Comment(Msg("MsgPrescan"));
    const int32_t frames = FSession.Project().FrameCount();
    for (int32_t f = run.Current; f < run.Start && f < frames; ++f) {
        if (run.ShowProgress && FProgress->Aborted()) {
            FAborted = true;
            return false;
        }
        run.Mixer->MixFrameAudio(f, run.Mix, run.CrossFade, nullptr, 0);
    }
    return true;
}

namespace {

// Reads one pixel of `bits` bits at column x of a DIB row; writes it into dst the same way.
inline void CopyPixel(const uint8_t *src, int32_t sx, uint8_t *dst, int32_t dx, int32_t bits)
{
    if (bits >= 8) {
        int32_t bytes = bits / 8;
        std::memcpy(dst + int64_t(dx) * bytes, src + int64_t(sx) * bytes, size_t(bytes));
        return;
    }
    int32_t perByte = 8 / bits;
    int32_t mask = (1 << bits) - 1;
    int32_t sshift = (perByte - 1 - sx % perByte) * bits;
    int32_t dshift = (perByte - 1 - dx % perByte) * bits;
    int32_t v = (src[sx / perByte] >> sshift) & mask;
    uint8_t &d = dst[dx / perByte];
    d = uint8_t((d & ~(mask << dshift)) | (v << dshift));
}

int64_t DibStride(int32_t width, int32_t bits) { return ((int64_t(width) * bits + 31) / 32) * 4; }

} // namespace

// With chapters in use, whether any enabled chapter has frames in first .. last: a run
// without one would write nothing and report success.
bool TRenderer::HasOutputFrames(int32_t first, int32_t last, bool useChapters)
{
    const TProject &project = FSession.Project();
    const int32_t count = useChapters ? project.ChapterCount() : 0;
    if (count <= 1)
        return true;
    for (int32_t i = 0; i < count; ++i) {
        const TChapter c = project.GetChapter(i);
        const int64_t end = int64_t(c.Frame) + project.ChapterLength(i) - 1;
        if (c.Enabled && project.ChapterLength(i) > 0 && c.Frame <= last && end >= first)
            return true;
    }
    ShowError(Msg("ErrNoChapters"));
    return false;
}

bool TRenderer::CalcVideo(const std::string &target, const TRenderOptions &options)
{
    const bool forPreview = options.ForPreview, preScan = options.PreScan;
    FAborted = false;
    FFiles.clear();
    FReduction = 1;
    const TProject &project = FSession.Project();
    TIOMovieReader &video = FSession.Sources().Video();
    if (!video.IsOpen() || !project.HasVideo())
        return false;
    TRun run;
    run.Target = target;
    run.CrossFade = options.CrossFade;
    run.ForPreview = forPreview;
    run.PreScan = preScan;
    run.FrameOffset = options.FrameOffset;
    run.SizeLimit = options.SizeLimit;
    bool chapterMode = options.UseChapters && project.ChapterCount() > 1;
    run.Separate = chapterMode && !project.Options().ConcatChapters;
    run.Concat = chapterMode && project.Options().ConcatChapters;
    if (!run.Separate && !FSession.CheckNotSource(target))
        return false;
    // A result without audio has nothing to re-synchronise; refused like the WAV result,
    // before any file is touched.
    if (!forPreview && !project.HasAudio()) {
        ShowError(Msg("ErrNoAudio"));
        return false;
    }
    if (!HasOutputFrames(std::max(options.FirstFrame, 0), options.LastFrame, options.UseChapters))
        return false;
    // The compatible preview decodes plug-in sources instead of copying their stored data.
    video.SetDecodeOnly(forPreview && project.Options().ForceVFW);
    run.First = std::max(options.FirstFrame, 0);
    run.Start = run.First;
    while (run.Start > 0 && !video.IsKeyFrame(run.Start))
        --run.Start;
    run.Last = options.LastFrame;
    run.Current = preScan ? 0 : run.Start;
    StartRun(run, options.ShowProgress, options.Caption);
    bool ok = RunVideo(run);
    run.Creator.reset();
    if (run.ShowProgress)
        FProgress->Close();
    return ok;
}

bool TRenderer::RunVideo(TRun &run)
{
    const TProject &project = FSession.Project();
    TIOMovieReader &video = FSession.Sources().Video();
    int32_t chapterStart = 0;
    bool enabled = false;
    project.ChapterAt(project.LastOutputFrame(), run.LastChapter, chapterStart, enabled);
    run.Mixer = std::make_unique<TAudioMixer>(project, FSession.Sources().AudioMix(),
                                               FSession.Sources().DoubleMix());
    run.Mixer->SetPreviewMutes(FSession.MutePrimary, FSession.MuteDouble);
    run.Mixer->InitAudioMix(run.Current, run.FrameOffset, run.Mix, run.ForPreview);
    if (!run.Mix.Valid && (project.HasAudio() || project.HasDouble())) {
        // Tracks that cannot be mixed (a frame longer than any audio buffer) would leave a
        // result without its audio: refused as a result without audio tracks.
        ShowError(Msg("ErrNoAudio"));
        return false;
    }
    if (run.Mix.Valid)
        run.Buffer.assign(size_t(run.Mix.MaxSamples) * size_t(run.Mix.BlockSize), 0);
    run.Creator = std::make_unique<TAVICreator>(run.ForPreview ? cmPreview : cmResult, FBlockLimit);
    if (!PrepareVideoFormat(run) || !PreScan(run))
        return false;

    if (run.ShowProgress && FProgress->Aborted()) {
        FAborted = true;
        return false;
    }
    TFileOps files;
    files.Ext = ".avi";
    files.CanStart = [&video](int32_t frame) { return video.IsKeyFrame(frame); };
    files.Open = [this, &run](const std::string &name) { return OpenVideoFile(run, name); };
    files.Close = [this, &run]() { return CloseVideoFile(run, false); };
    files.Write = [this, &run]() { return WriteVideoFrame(run); };
    bool completed = true;
    bool ok = RunChapters(run, files, completed);
    // A run that failed or was aborted leaves its current file unfinished: it is
    // discarded, and an earlier file of that name stays. Chapter files completed before
    // are kept.
    if (!ok || !completed) {
        if (run.FileOpen && !FFiles.empty())
            FFiles.pop_back();
        run.Creator->Discard();
    } else if (!CloseVideoFile(run, false))
        ok = false;
    return ok && completed;
}

// The frame loop of every run. Without separate chapters one file (the target) takes
// the frames; with them each chapter gets a numbered file, opened at the first frame at
// or after the chapter's start where a file may start (so frames before it end the
// previous file); concatenated chapters only start or stop writing there. The frames
// of left-out chapters are mixed without being written, so that the mix runs on.
// `completed` is false after an abort; false is returned after an error (shown).
bool TRenderer::RunChapters(TRun &run, const TFileOps &files, bool &completed)
{
    const int32_t frames = FSession.Project().FrameCount();
    if (!run.Separate) {
        run.Current = run.Start;
        run.FileLast = std::min(run.Last, frames - 1);
        if (!files.Open(run.Target))
            return false;
        run.FileOpen = true;
        CommentWriting(run.Target);
    }
    bool newFileDue = run.Separate, skip = false;
    for (run.Current = run.Start; run.Current <= run.Last; ++run.Current) {
        const int32_t cur = run.Current;
        if (((run.Separate && newFileDue) || run.Concat) && files.CanStart(cur)) {
            if (!NextChapterFile(run, files, skip))
                return false;
            newFileDue = false;
        }
        if (cur >= frames)
            break;
        if (!CheckProgress(run)) {
            completed = false;
            return true;
        }
        if (skip)
            run.Mixer->MixFrameAudio(cur, run.Mix, run.CrossFade, nullptr, 0);
        else if (!files.Write())
            return false;
        if (run.Separate) {
            int32_t n = 0, st = 0;
            bool e = false;
            FSession.Project().ChapterAt(cur + 1, n, st, e);
            if (n > 1 && st == cur + 1)
                newFileDue = true;
        }
    }
    return true;
}

// The last frame of the chapter file that starts at `first`: the frame before the first
// one after a chapter start where a file may start, or the run's last frame.
int32_t TRenderer::FileEnd(const TRun &run, int32_t first, const TFileOps &files) const
{
    const TProject &project = FSession.Project();
    const int32_t last = std::min(run.Last, project.FrameCount() - 1);
    bool due = false;
    for (int32_t f = first + 1; f <= last; ++f) {
        int32_t n = 0, st = 0;
        bool e = false;
        project.ChapterAt(f, n, st, e);
        due = due || (n > 1 && st == f);
        if (due && files.CanStart(f))
            return f - 1;
    }
    return last;
}

// The stored format of the frames (and their codec data), or the decoded format
// reduced to fit the size limit when frames cannot be copied as stored.
bool TRenderer::PrepareVideoFormat(TRun &run)
{
    TIOMovieReader &video = FSession.Sources().Video();
    if (run.SizeLimit > 8 && (video.Compression() == 0 || !video.CanSmartRender())) {
        int32_t fx = int32_t((int64_t(video.Width()) + run.SizeLimit - 1) / run.SizeLimit);
        int32_t fy = int32_t((int64_t(video.Height()) + run.SizeLimit - 1) / run.SizeLimit);
        run.Reduction = std::max({fx, fy, 1});
    }
    if (run.Reduction >= 2) {
        // Decoded frames, reduced: the format of the reader's output with the new size.
        run.Image = video.NewFrameImage();
        run.VideoFormat = video.OutputFormat();
    } else {
        run.VideoFormat = video.GetStoredFormat();
    }
    if (run.VideoFormat.size() < kBitmapHeaderSize || (run.Reduction >= 2 && !run.Image)) {
        ShowError(FormatText(Msg("ErrInvalidFrame"), {std::to_string(run.Start)}));
        return false;
    }
    if (run.Reduction >= 2) {
        TByteReader reader(run.VideoFormat.data(), run.VideoFormat.size());
        BITMAPINFOHEADER header = ReadBitmapHeader(reader);
        header.biWidth = int32_t(video.Width()) / run.Reduction;
        header.biHeight = int32_t(video.Height()) / run.Reduction;
        header.biCompression = 0;
        header.biSizeImage = uint32_t(DibStride(header.biWidth, header.biBitCount) * header.biHeight);
        const std::vector<uint8_t> bytes = BitmapHeaderBytes(header);
        std::copy(bytes.begin(), bytes.end(), run.VideoFormat.begin());
    } else {
        run.VideoExtra = video.ReadCodecData();
        // Codec data the stored format already carries behind its header would be
        // written twice, and readers take the second copy for a separate chunk.
        if (run.VideoFormat.size() >= kBitmapHeaderSize + run.VideoExtra.size() &&
            std::equal(run.VideoExtra.begin(), run.VideoExtra.end(),
                       run.VideoFormat.end() - std::ptrdiff_t(run.VideoExtra.size())))
            run.VideoExtra.clear();
    }
    FReduction = run.Reduction;
    return true;
}

bool TRenderer::OpenVideoFile(TRun &run, const std::string &name)
{
    const TProject &project = FSession.Project();
    TIOMovieReader &video = FSession.Sources().Video();
    int32_t num = 0, st = 0;
    bool en = false;
    project.ChapterAt(run.Current, num, st, en);
    TAVICreator &c = *run.Creator;
    c.SetSegmentFlags(run.Separate, num == run.LastChapter);
    if (run.Mix.Valid)
        c.SetAudioFormat(run.Mix.Format, run.Mix.ChannelMask, 0.75);
    c.SetVideoFormat(run.VideoFormat.data(), int(run.VideoFormat.size()));
    c.SetVideoExtra(run.VideoExtra.data(), int(run.VideoExtra.size()));
    c.SetVideoTiming(uint32_t(std::max(video.Rate(), 1)), uint32_t(video.Scale()), video.Handler(),
                     uint32_t(video.Quality()));
    if (!c.Open(name)) {
        std::string text = Msg("ErrTarget");
        if (!c.ErrorText().empty())
            text += "\r\n" + c.ErrorText();
        ShowError(text);
        return false;
    }
    FFiles.push_back(name);
    c.SetSourceLimits(video.MaxBufferSize(), video.MaxBytesPerSec());
    return true;
}

// Completes the open file; a refused write or header ends the run with a message.
// After a failure already reported (quiet) the file is still completed as far as
// possible, without a second message.
bool TRenderer::CloseVideoFile(TRun &run, bool quiet)
{
    if (!run.Creator->IsOpen())
        return true;
    bool closed = run.Creator->Close();
    std::string error = run.Creator->ErrorText();
    run.Creator = std::make_unique<TAVICreator>(run.ForPreview ? cmPreview : cmResult, FBlockLimit);
    if (!closed && !quiet) {
        ShowError(error.empty() ? Msg("ErrTarget") : error);
        return false;
    }
    return true;
}

// At a key frame where a chapter may begin: separate chapters close the file and open
// the next one (or skip a disabled chapter); concatenated ones only start or stop
// writing. `skip` tells whether the frames that follow are left out.
bool TRenderer::NextChapterFile(TRun &run, const TFileOps &files, bool &skip)
{
    int32_t number = 0, chapterStart = 0;
    bool enabled = false;
    FSession.Project().ChapterAt(run.Current, number, chapterStart, enabled);
    if (!run.Separate) {
        if (skip != !enabled) {
            skip = !enabled;
            if (skip)
                CommentSkipping(number);
            else
                CommentWriting(run.Target);
        }
        return true;
    }
    std::string name = ChapterFileName(run.Target, run.FilesOpened, files.Ext);
    if (!FSession.CheckNotSource(name))
        return false;
    if (run.FileOpen) {
        run.FileOpen = false;
        if (!files.Close()) {
            FFiles.pop_back();   // not completed
            return false;
        }
    }
    skip = !enabled;
    if (!enabled) {
        CommentSkipping(number);
        return true;
    }
    run.FileLast = FileEnd(run, run.Current, files);
    if (!files.Open(name))
        return false;
    run.FileOpen = true;
    ++run.FilesOpened;
    CommentWriting(name);
    return true;
}

void TRenderer::CommentWriting(const std::string &name)
{
    Comment(FormatText(Msg("MsgWriting"), {ExtractFileName(name)}));
}

void TRenderer::CommentSkipping(int32_t chapter)
{
    Comment(FormatText(Msg("MsgSkipChp"), {std::to_string(chapter)}));
}

} // namespace tessaly

namespace tessaly {

namespace {

// The message of a WAV result that could not be written: the file and the system's
// reason (a full disk) where a write failed, else the writer's error.
std::string WaveError(const TWaveWriter &wave, TMediaError e)
{
    if (e == meFileWrite && wave.WriteErrno() != 0)
        return FileErrorText("Cannot write to", wave.FileName(), wave.WriteErrno());
    return MediaErrorMsg(e);
}

} // namespace

bool TRenderer::WriteVideoFrame(TRun &run)
{
    TIOMovieReader &video = FSession.Sources().Video();
    const int32_t cur = run.Current;
    bool key = false;
    const uint8_t *data = nullptr;
    size_t size = 0;
    if (run.Reduction < 2) {
        TStoredFrame stored = video.ReadStored(cur);
        if (!stored.Ok) {
            ShowError(FormatText(Msg("ErrInvalidFrame"), {std::to_string(cur)}));
            return false;
        }
        data = stored.Data;
        size = size_t(stored.Size);
        key = stored.KeyFrame;
    } else {
        // Decoded, then reduced to the nearest pixel: every output pixel takes the source
        // pixel at the truncated scaled position.
        if (!video.GetFrame(cur, *run.Image)) {
            ShowError(FormatText(Msg("ErrInvalidFrame"), {std::to_string(cur)}));
            return false;
        }
        const TIOImage &image = *run.Image;
        const int32_t bits = image.BitCount();
        const int32_t dw = int32_t(image.Width()) / run.Reduction, dh = int32_t(image.Height()) / run.Reduction;
        const int64_t sstride = image.Stride(), dstride = DibStride(dw, bits);
        run.Reduced.assign(size_t(dstride * dh), 0);
        for (int32_t y = 0; y < dh; ++y) {
            const uint8_t *src = image.Bits() + int64_t(y) * run.Reduction * sstride;
            uint8_t *dst = run.Reduced.data() + int64_t(y) * dstride;
            for (int32_t x = 0; x < dw; ++x)
                CopyPixel(src, x * run.Reduction, dst, x, bits);
        }
        data = run.Reduced.data();
        size = run.Reduced.size();
        key = true;
    }
    TAVICreator &c = *run.Creator;
    if (!c.WriteFrame(data, uint32_t(size), key)) {
        ShowError(c.ErrorText().empty() ? Msg("ErrTarget") : c.ErrorText());
        return false;
    }
    if (run.Mix.Valid) {
        uint32_t k = c.AudioRequired();
        if (k > uint32_t(run.Mix.MaxSamples)) {
            ShowError(Msg("ErrInternal"));
            return false;
        }
        run.Mixer->MixFrameAudio(cur, run.Mix, run.CrossFade, run.Buffer.data(), int32_t(k));
        if (!AudioReadOk(run, cur))
            return false;
        if (k > 0 && !c.WriteAudio(run.Buffer.data(), k)) {
            ShowError(c.ErrorText().empty() ? Msg("ErrTarget")
                                            : c.ErrorText());
            return false;
        }
    }
    if (run.ForPreview && c.FileSize() + 52428800LL >= 2147483648LL) {
        ShowError(Msg("ErrFileSize"));
        return false;
    }
    return true;
}

bool TRenderer::AudioReadOk(const TRun &run, int32_t frame)
{
    const TMixReadFailure &failure = run.Mixer->ReadFailure();
    if (!failure)
        return true;
    const std::string track = failure.Double ? Msg("WrdDoubleTrack")
                                             : Msg("WrdPrimaryTrack");
    ShowError(FormatText(Msg("ErrInvalidAudio"),
                         {std::to_string(frame), track, std::to_string(failure.Position)}));
    return false;
}

bool TRenderer::CalcAudio(const std::string &target, const TRenderOptions &options, TMixSink *sink)
{
    FAborted = false;
    FFiles.clear();
    const TProject &project = FSession.Project();
    if (!FSession.Sources().Video().IsOpen() || !project.HasVideo())
        return false;
    TRun run;
    run.Audio = true;
    run.Sink = sink;
    run.Target = sink ? target : ChangeFileExt(target, ".wav");
    run.CrossFade = options.CrossFade;
    run.PreScan = options.PreScan;
    run.FrameOffset = options.FrameOffset;
    bool chapterMode = options.UseChapters && project.ChapterCount() > 1;
    run.Separate = chapterMode && !project.Options().ConcatChapters;
    run.Concat = chapterMode && project.Options().ConcatChapters;
    if (!run.Separate && !FSession.CheckNotSource(run.Target))
        return false;
    if (!HasOutputFrames(std::max(options.FirstFrame, 0), options.LastFrame, options.UseChapters))
        return false;
    StartRun(run, options.ShowProgress, options.Caption);
    run.First = run.Start = std::max(options.FirstFrame, 0);
    run.Last = options.LastFrame;
    run.Current = options.PreScan ? 0 : run.Start;
    run.Mixer = std::make_unique<TAudioMixer>(project, FSession.Sources().AudioMix(),
                                               FSession.Sources().DoubleMix());
    // A preview's mix (copied video beside it) takes the preview's mutes and format.
    run.Mixer->SetPreviewMutes(FSession.MutePrimary, FSession.MuteDouble);
    run.Mixer->InitAudioMix(run.Current, options.FrameOffset, run.Mix, options.ForPreview && sink);
    if (!run.Mix.Valid) {
        ShowError(Msg("ErrNoAudio"));
        if (run.ShowProgress)
            FProgress->Close();
        return false;
    }
    run.Wave = std::make_unique<TWaveWriter>();
    run.Buffer.assign(size_t(run.Mix.MaxSamples) * size_t(run.Mix.BlockSize), 0);
    bool ok = RunAudio(run);
    if (!ok) {
        if (run.FileOpen && !FFiles.empty())
            FFiles.pop_back();
        run.Wave->Discard();   // unfinished: the target name keeps what it held
    } else if (run.Sink) {
        if (run.FileOpen && !run.Sink->Close()) {
            ShowError(run.Sink->ErrorText());
            FFiles.pop_back();
            ok = false;
        }
    } else if (TMediaError closed = run.Wave->Close(); closed != meOk) {
        ShowError(WaveError(*run.Wave, closed));
        ok = false;
    }
    run.Wave.reset();
    if (run.ShowProgress)
        FProgress->Close();
    return ok;
}

bool TRenderer::WriteAudioFrame(TRun &run)
{
    const TProject &project = FSession.Project();
    int64_t k = TAVICreator::SamplesOfFrame(run.Current, uint32_t(project.RateNumerator()),
                                            uint32_t(project.RateDenominator()), run.Mix.Format.nSamplesPerSec);
    if (k > run.Mix.MaxSamples) {
        ShowError(Msg("ErrInternal"));
        return false;
    }
    run.Mixer->MixFrameAudio(run.Current, run.Mix, run.CrossFade, run.Buffer.data(), int32_t(k));
    if (!AudioReadOk(run, run.Current))
        return false;
    if (k <= 0)
        return true;
    if (run.Sink) {
        if (!run.Sink->Write(run.Buffer.data(), int32_t(k))) {
            ShowError(run.Sink->ErrorText());
            return false;
        }
        return true;
    }
    TMediaError e = run.Wave->Write(run.Buffer.data(), int32_t(k));
    if (e != meOk) {
        ShowError(WaveError(*run.Wave, e));
        return false;
    }
    return true;
}

bool TRenderer::RunAudio(TRun &run)
{
    if (!PreScan(run))
        return false;
    if (run.ShowProgress && FProgress->Aborted()) {
        FAborted = true;
        return false;
    }
    TFileOps files;
    files.Ext = run.Sink ? ExtractFileExt(run.Target) : ".wav";
    files.CanStart = [&run](int32_t frame) { return !run.Sink || run.Sink->CanStartFile(frame); };
    files.Open = [this, &run](const std::string &name) {
        if (run.Sink) {
            if (!run.Sink->Open(name, run.Mix.Format, run.Mix.ChannelMask, run.Current, run.FileLast)) {
                ShowError(Msg("ErrTarget") + "\r\n" + run.Sink->ErrorText());
                return false;
            }
            FFiles.push_back(name);
            return true;
        }
        std::vector<uint8_t> format = ResultWaveFormat(run.Mix.Format, run.Mix.ChannelMask);
        TMediaError e = run.Wave->SetFormat(format.data(), int32_t(format.size()));
        if (e == meOk)
            e = run.Wave->Open(name);
        if (e != meOk) {
            std::string text = Msg("ErrTarget");
            if (e == meFileOpen)
                text += "\r\n" + FileErrorText("Cannot create", run.Wave->FileName(), run.Wave->OpenErrno());
            else if (e == meFileWrite)
                text += "\r\n" + WaveError(*run.Wave, e);
            ShowError(text);
            return false;
        }
        FFiles.push_back(run.Wave->FileName());
        return true;
    };
    files.Close = [this, &run]() {
        if (run.Sink) {
            if (run.Sink->Close())
                return true;
            ShowError(run.Sink->ErrorText());
            return false;
        }
        TMediaError e = run.Wave->Close();
        if (e != meOk)
            ShowError(WaveError(*run.Wave, e));
        return e == meOk;
    };
    files.Write = [this, &run]() { return WriteAudioFrame(run); };
    bool completed = true;
    return RunChapters(run, files, completed) && completed;
}

std::string CalculateResultName(const std::string &chosen, int32_t fileType)
{
    return ChangeFileExt(chosen, fileType == 2 ? ".avi" : ".wav");
}

bool ConfirmResultSize(TProjectSession &session, bool warnOnCalc)
{
    TIOMovieReader &video = session.Sources().Video();
    if (!warnOnCalc || !video.IsOpen() || video.CanReadStored())
        return true;
    // Frames are written uncompressed in the frame image's layout.
    int32_t bits = BitsOfPixelFormat(video.PixelFormat());
    long double frameMB = (long double)(DibStride(int32_t(video.Width()), bits) * video.Height()) * 1e-6L;
    long double fps = session.Project().Fps();
    long double rate = fps * frameMB;
    long double total = session.Project().OutputFrameCount() * frameMB / 1024;
    if (rate <= 6 && total <= 10)
        return true;
    TUserInterface *ui = session.UserInterface();
    if (!ui)
        return false;
    std::string text = FormatText(Msg("WrnSRCalc"),
                                  {std::to_string((long long)std::nearbyintl(total)),
                                   std::to_string((long long)std::nearbyintl(rate))});
    return ui->Message(mtWarning, text, mbYes | mbAbort | mbHelp) == mrYes;
}

TCalcOutcome CalculateResult(TProjectSession &session, TRenderer &renderer, const std::string &chosen,
                             int32_t fileType, bool warnOnCalc, std::string *written)
{
    std::string name = CalculateResultName(chosen, fileType);
    if (written)
        *written = name;
    const TProject &project = session.Project();
    TRenderOptions options;   // the whole project with its chapters, as the user set them
    options.CrossFade = project.Options().CrossFading;
    options.ShowProgress = true;
    options.UseChapters = true;
    options.LastFrame = project.LastOutputFrame();
    bool ok;
    if (fileType != 2) {
        options.Caption = Msg("MsgCalcAud");
        ok = renderer.CalcAudio(name, options);
    } else {
        if (!ConfirmResultSize(session, warnOnCalc))
            return coCancelled;
        options.Caption = Msg("MsgCalcVid");
        ok = renderer.CalcVideo(name, options);
    }
    if (ok)
        return coDone;
    return renderer.Aborted() ? coAborted : coFailed;
}

} // namespace tessaly
