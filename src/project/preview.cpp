// The preview's frame range and render call.
#include "project/preview.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>

#include "platform/file_system.h"
#include "project/project.h"
#include "project/project_session.h"
#include "shell/messages.h"
#include "project/render.h"
#include "project/render_container.h"

namespace tessaly {

namespace {
constexpr const char *kPreviewFileName = "~tsytmp~.avi";
}

std::string TPreviewFile::Prepare(const std::string &tempDir, std::string *error)
{
    if (FFolder.Parent() == tempDir && FFolder.StillPrivate())
        return Path();
    if (!FFolder.Create(tempDir)) {
        if (error)
            *error = FileErrorText("Cannot create a temporary folder in", tempDir, errno);
        return std::string();
    }
    return Path();
}

std::string TPreviewFile::Path() const
{
    return FFolder.Exists() ? FFolder.Path() + kPreviewFileName : std::string();
}

void PreviewRange(const TProject &project, int32_t mode, long double seconds, int32_t &first, int32_t &last)
{
    int64_t centre = int64_t(project.Position()) + project.ViewOffset();
    int64_t a = int64_t(std::nearbyintl(project.Fps() * seconds));
    int64_t f = mode == 1 ? centre : centre - a;
    int64_t l = mode == 2 ? centre : centre + a;
    auto clamp = [](int64_t v) { return int32_t(std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, v))); };
    first = clamp(f);
    last = clamp(l);
}

bool CreatePreviewFile(TProjectSession &session, TRenderer &renderer, const std::string &fileName, int32_t mode,
                       long double seconds, int32_t sizeLimit, bool showProgress, bool preScan, std::string *written)
{
    if (written)
        *written = fileName;
    if (fileName.empty())
        return false;
    const TProject &project = session.Project();
    int32_t first = 0, last = 0;
    PreviewRange(project, mode, seconds, first, last);
    TRenderOptions options;
    options.Caption = Msg("MsgPreview");
    options.SizeLimit = sizeLimit;
    options.CrossFade = project.Options().CrossFading;
    options.ForPreview = true;
    options.ShowProgress = showProgress;
    options.PreScan = preScan;
    options.FrameOffset = project.PreviewOffset();
    options.FirstFrame = first;
    options.LastFrame = last;
    if (session.Sources().Video().IsOpen() && !UsesOwnAviWriter(session)) {
        // The video's packets copied into Matroska, beside the mix as uncompressed PCM: no
        // frame is decoded, and the player plays it as it plays the AVI preview.
        const std::string name = ChangeFileExt(fileName, ".mkv");
        if (written)
            *written = name;
        options.FirstFrame = std::max(first, 0);
        options.LastFrame = std::max(last, options.FirstFrame);
        TLavfResultOptions result;
        result.Container = rcMatroska;
        result.AudioCodec = acPcm;
        result.Keep = kpNone;
        TContainerRenderer container(session, renderer.Progress());
        return container.Render(name, options, result);
    }
    return renderer.CalcVideo(fileName, options);
}

} // namespace tessaly
