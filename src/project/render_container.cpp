// Container results: the video file's packets copied beside the mixed track.
#include "project/render_container.h"

#include <algorithm>

#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"
#include "media/output/lavf_result_writer.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "shell/progress.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

// The mixed audio of the renderer's run handed to the container writer; each file (the
// result, or one per chapter starting at a key frame) is created when the run opens it.
class TContainerSink : public TMixSink {
public:
    TContainerSink(TLavfResultWriter &writer, const TLavfResultOptions &options) : FWriter(writer), FOptions(options)
    {
    }
    bool Open(const std::string &name, const WAVEFORMATEX &format, uint32_t channelMask, int32_t first,
              int32_t last) override
    {
        return FWriter.Open(name, first, last, &format, channelMask, FOptions);
    }
    bool Write(const uint8_t *data, int32_t count) override { return FWriter.WriteAudio(data, count); }
    bool Close() override { return FWriter.Finish(); }
    bool CanStartFile(int32_t frame) const override { return FWriter.IsFileStart(frame); }
    std::string ErrorText() const override { return FWriter.ErrorText(); }

private:
    TLavfResultWriter &FWriter;
    const TLavfResultOptions &FOptions;
};

} // namespace

TContainerRenderer::TContainerRenderer(TProjectSession &session, TProgress *progress)
    : FSession(session), FProgress(progress)
{
}

bool TContainerRenderer::Refuse(const std::string &text)
{
    if (FProgress)
        FProgress->Close();
    if (FSession.UserInterface())
        FSession.UserInterface()->Error(text);
    return false;
}

bool TContainerRenderer::Render(const std::string &target, const TRenderOptions &options,
                                const TLavfResultOptions &result)
{
    FAborted = false;
    FFiles.clear();
    FNotes.clear();
    const TProject &project = FSession.Project();
    TIOMovieReader &video = FSession.Sources().Video();
    if (!video.IsOpen() || !project.HasVideo())
        return false;
    if (!FSession.CheckNotSource(target))
        return false;
    const std::vector<std::string> files = FSession.Files(srVideo);
    if (files.size() != 1)
        return Refuse(Msg("ErrResultSegments"));
    const bool separate = options.UseChapters && project.ChapterCount() > 1 && !project.Options().ConcatChapters;
    if (options.UseChapters && project.ChapterCount() > 1 && !separate) {
        bool skipped = false;
        for (int32_t i = 0; i < project.ChapterCount(); ++i) {
            const TChapter chapter = project.GetChapter(i);
            skipped = skipped || (!chapter.Enabled && chapter.Frame >= 0 && chapter.Frame <= options.LastFrame);
        }
        if (skipped)
            return Refuse(Msg("ErrResultLeftOut"));
    }
    if (separate && !project.HasAudio() && !project.HasDouble())
        return Refuse(Msg("ErrNoAudio"));
    TLavfResultWriter writer;
    // Reading the video's index takes a while on a long film: shown, and Esc (or Ctrl+C) stops it.
    const bool shown = options.ShowProgress && FProgress;
    if (shown) {
        FProgress->Show();
        FProgress->SetCaption(options.Caption);
        FProgress->SetCancelText(Msg("CapAbort"));
        FProgress->SetComment(Msg("MsgReadIndex"));
    }
    // A video read through the container path comes with its packet index; other
    // sources (the own AVI reader) are indexed here.
    const TLavfVideoSource *lavf = video.Kind() == ksLavf ? video.LavfVideo() : nullptr;
    const bool indexed = lavf ? writer.UseIndex(files.front(), lavf->Index())
                              : writer.OpenSource(files.front(), [&]() { return !shown || !FProgress->Aborted(); });
    if (shown && FProgress->Aborted()) {
        FAborted = true;
        FProgress->Close();
        return false;
    }
    if (!indexed)
        return Refuse(FormatText(Msg("ErrResultSource"),
                                 {writer.ErrorText()}));
    // A video read through the container path may be numbered on a frame grid (variable
    // rate, dropped frames): the result counts its frames the same way.
    if (lavf && lavf->Facts().StoredFrames == writer.SourcePictureCount() && lavf->FrameCount() > 0) {
        std::vector<int32_t> grid(size_t(lavf->FrameCount()));
        for (int32_t n = 0; n < lavf->FrameCount(); ++n)
            grid[size_t(n)] = lavf->SourceFrame(n);
        writer.SetFrameGrid(std::move(grid));
    }
    if (writer.SourceFrameCount() != project.FrameCount())
        return Refuse(FormatText(Msg("ErrResultFrames"),
                                 {std::to_string(writer.SourceFrameCount()), std::to_string(project.FrameCount())}));
    TLavfResultOptions chosen = result;
    // The new track is named like the primary track's stream unless the user names it.
    const std::vector<std::string> primary = FSession.Files(srAudio);
    if (chosen.AudioLanguage.empty() && !primary.empty())
        chosen.AudioLanguage = MediaAudioTag(primary.front(), "language");
    if (chosen.AudioTitle.empty() && !primary.empty())
        chosen.AudioTitle = MediaAudioTag(primary.front(), "title");
    const int32_t last = std::min(options.LastFrame, project.FrameCount() - 1);
    const int32_t first = writer.KeyFrameAtOrBefore(std::max(options.FirstFrame, 0));
    bool ok;
    if (project.HasAudio() || project.HasDouble()) {
        TRenderOptions run = options;
        run.FirstFrame = first;
        run.LastFrame = last;
        run.UseChapters = separate;
        TContainerSink sink(writer, chosen);
        TRenderer renderer(FSession, FProgress);
        ok = renderer.CalcAudio(target, run, &sink);
        FAborted = renderer.Aborted();
        FFiles = renderer.FilesWritten();
    } else {
        // A video without audio tracks gives a result of the video (and kept streams) alone.
        ok = writer.Open(target, first, last, nullptr, 0, chosen) || Refuse(writer.ErrorText());
        if (ok && !writer.Finish())
            ok = Refuse(writer.ErrorText());
        if (ok)
            FFiles.push_back(target);
    }
    if (!ok) {
        writer.Discard();
        return false;
    }
    FNotes = writer.Notes();
    return true;
}

bool UsesOwnAviWriter(TProjectSession &session)
{
    if (session.Sources().Video().CanReadStored())
        return true;
    // Only a single file in a container libavformat demuxes has packets to copy; phantom
    // clips, still images and plug-in media keep the own writer's decoded frames.
    const std::vector<std::string> files = session.Files(srVideo);
    if (files.size() != 1)
        return true;
    // A video read through the FFmpeg container path has its packets indexed: any
    // container it opens (FLV, MPEG program streams, WMV ...) is copied from.
    if (session.Sources().Video().Kind() == ksLavf)
        return false;
    const std::string ext = LowerAscii(ExtractFileExt(files.front()));
    for (const char *container : {".mkv", ".webm", ".mp4", ".m4v", ".mov", ".ts", ".m2ts", ".mts"})
        if (ext == container)
            return false;
    return true;
}

TCalcOutcome CalculateAnyResult(TProjectSession &session, TProgress *progress, const std::string &chosen,
                                const TLavfResultOptions &result, bool warnOnCalc, std::string *written,
                                std::vector<std::string> *files, std::vector<std::string> *notes)
{
    if (result.Container == rcWave || (result.Container == rcAvi && UsesOwnAviWriter(session))) {
        TRenderer renderer(session, progress);
        TCalcOutcome outcome = CalculateResult(session, renderer, chosen, result.Container == rcAvi ? 2 : 1,
                                               warnOnCalc, written);
        if (files)
            *files = renderer.FilesWritten();
        return outcome;
    }
    if (written)
        *written = chosen;
    const TProject &project = session.Project();
    TRenderOptions options;
    options.CrossFade = project.Options().CrossFading;
    options.ShowProgress = true;
    options.UseChapters = true;
    options.LastFrame = project.LastOutputFrame();
    options.Caption = Msg("MsgCalcVid");
    TContainerRenderer renderer(session, progress);
    bool ok = renderer.Render(chosen, options, result);
    if (files)
        *files = renderer.FilesWritten();
    if (notes)
        *notes = renderer.Notes();
    if (ok)
        return coDone;
    return renderer.Aborted() ? coAborted : coFailed;
}

} // namespace tessaly
