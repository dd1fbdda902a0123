// WAV rendering of a project: pre-scan, chapter files, frame loop, messages.
#include "project/render_audio.h"

#include <cstdio>
#include <vector>

#include "media/output/avi_creator.h"
#include "media/output/wave_writer.h"
#include "project/audio_mixer.h"
#include "project/project.h"
#include "project/project_text.h"
#include "shell/messages.h"
#include "shell/progress.h"

namespace tessaly {

namespace {

std::string NameOnly(const std::string &path)
{
    size_t p = path.find_last_of('/');
    return p == std::string::npos ? path : path.substr(p + 1);
}

// One run: the writer, the chapter state and the messages.
class TAudioRun {
public:
    TAudioRun(TProject &project, TProgress *progress) : FProject(project), FProgress(progress) {}
    ~TAudioRun()
    {
        FWriter.Close();
        if (FProgress)
            FProgress->Close();
        FProject.EndCalc();
    }
    bool Aborted() { return FProgress && FProgress->Aborted(); }
    void Comment(const std::string &text)
    {
        if (FProgress)
            FProgress->SetComment(text);
    }
    void Error(const std::string &text) { FProject.ShowErrorText(text); }
    bool Open(const std::string &name, const TAudioMixState &mix)
    {
        if (FWriter.SetFormat(&mix.Format, mix.FormatSize) != meOk || FWriter.Open(name) != meOk) {
            Error(ProjectText("ErrTarget", "Error opening target file!"));
            return false;
        }
        return true;
    }
    bool Close()
    {
        if (!FWriter.IsOpen())
            return true;
        TMediaError code = FWriter.Close();
        if (code != meOk) {
            Error(MediaErrorMsg(code));
            return false;
        }
        return true;
    }
    TWaveWriter &Writer() { return FWriter; }

private:
    TProject &FProject;
    TProgress *FProgress;
    TWaveWriter FWriter;
};

std::string Writing(const std::string &name)
{
    return FormatText(ProjectText("MsgWriting", "Writing file %s ..."), {NameOnly(name)});
}

std::string Skipping(int32_t chapter)
{
    return FormatText(ProjectText("MsgSkipChp", "Skipping chapter %d ..."), {std::to_string(chapter)});
}

} // namespace

std::string ChapterFileName(const std::string &target, int32_t number, const std::string &extension)
{
    size_t slash = target.find_last_of('/');
    size_t dot = target.find_last_of('.');
    std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? target
                                                                                                 : target.substr(0, dot);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%02d", number);
    return base + "." + digits + extension;
}

bool CalcAudio(TProject &project, TAudioMixer &mixer, TProgress *progress, const TAudioRenderParams &params,
               const std::function<bool(const std::string &)> &isSourceFile)
{
    if (!project.HasVideo())
        return false;
    const bool chapterMode = params.UseChapters && project.ChapterCount() > 1;
    const bool separate = chapterMode && !project.Options().ConcatChapters;
    const bool concatenated = chapterMode && project.Options().ConcatChapters;
    if (!separate && isSourceFile && isSourceFile(params.Target))
        return false;
    if (progress) {
        progress->Show();
        progress->SetCaption(params.Caption);
        progress->SetCancelText(ProjectText("CapAbort", "&Abort"));
    }
    const int32_t first = params.FirstFrame > 0 ? params.FirstFrame : 0;
    int32_t current = params.PreScan ? 0 : first;
    TAudioMixState mix;
    mixer.InitAudioMix(current, params.FrameOffset, mix, false);
    if (!mix.Valid) {
        if (progress)
            progress->Close();
        project.ShowError("ErrNoAudio", "No audio tracks defined!");
        return false;
    }
    project.BeginCalc();
    TAudioRun run(project, progress);
    std::vector<uint8_t> buffer(static_cast<size_t>(mix.MaxSamples) * static_cast<size_t>(mix.BlockSize));
    const int32_t n = project.FrameCount();

    if (params.PreScan && current < first) {
        run.Comment(ProjectText("MsgPrescan", "Performing prescan ..."));
        for (; current < first && current < n && !run.Aborted(); ++current)
            mixer.MixFrameAudio(current, mix, params.CrossFade, nullptr, 0);
    }
    if (run.Aborted())
        return false;
    if (!separate) {
        if (!run.Open(params.Target, mix))
            return false;
        run.Comment(Writing(run.Writer().FileName()));
    }

    bool due = separate, skipping = false;
    int32_t files = 0;
    const uint32_t rate = static_cast<uint32_t>(project.RateNumerator());
    const uint32_t scale = static_cast<uint32_t>(project.RateDenominator());
    for (current = first; current <= params.LastFrame; ++current) {
        int32_t number = 0, start = 0;
        bool enabled = true;
        if (due) {
            due = false;
            project.ChapterAt(current, number, start, enabled);
            if (!run.Close())
                return false;
            skipping = !enabled;
            if (skipping) {
                run.Comment(Skipping(number));
            } else {
                std::string name = ChapterFileName(params.Target, files, ".wav");
                if (isSourceFile && isSourceFile(name))
                    return false;
                if (!run.Open(name, mix))
                    return false;
                ++files;
                run.Comment(Writing(run.Writer().FileName()));
            }
        } else if (concatenated) {
            project.ChapterAt(current, number, start, enabled);
            if (skipping != !enabled) {
                skipping = !enabled;
                run.Comment(skipping ? Skipping(number) : Writing(run.Writer().FileName()));
            }
        }
        if (run.Aborted())
            return false;
        if (current >= n)
            break;   // the video ends here
        if (progress)
            progress->SetProgress(static_cast<double>(current - first) / (params.LastFrame - first + 1));
        if (skipping) {
            mixer.MixFrameAudio(current, mix, params.CrossFade, nullptr, 0);
        } else {
            int32_t k = static_cast<int32_t>(
                TAVICreator::SamplesOfFrame(current, rate, scale, mix.Format.nSamplesPerSec));
            if (k > mix.MaxSamples) {
                project.ShowError("ErrInternal", "Internal error occured.");
                return false;
            }
            mixer.MixFrameAudio(current, mix, params.CrossFade, buffer.data(), k);
            if (k > 0) {
                TMediaError code = run.Writer().Write(buffer.data(), k);
                if (code != meOk) {
                    run.Error(MediaErrorMsg(code));
                    return false;
                }
            }
        }
        if (separate) {
            project.ChapterAt(current + 1, number, start, enabled);
            due = number > 1 && start == current + 1;
        }
    }
    return run.Close();
}

} // namespace tessaly
