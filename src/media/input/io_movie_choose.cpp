// The video open dialog's filter table, preselection and remembered last kind.
#include "media/input/io_movie_choose.h"

#include "media/common/io_image_loader.h"
#include "media/input/avi/avi_video.h"
#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/still/still_video.h"
#include "media/input/vfap/vfap_video.h"
#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"

#include <algorithm>

namespace tessaly {

const char *const kDirectVideoPatterns = "*.asf;*.avi;*.m1v;*.m2v;*.mpeg;*.mpe;*.mpg;*.vob;*.wm;*.wmd;*.wmv;*.grf";

namespace {

// The containers FFmpeg reads, in groups a user knows, with the message keys of their labels.
struct TContainerGroup {
    const char *LabelKey, *Patterns;
};
const TContainerGroup kContainerGroups[] = {
    {"CapFltMatroska", "*.mkv;*.mk3d;*.webm"},
    {"CapFltMp4", "*.mp4;*.m4v;*.mov;*.3gp"},
    {"CapFltMpeg", "*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob;*.m2v"},
    {"CapFltOtherVideo", "*.flv;*.wmv;*.asf;*.ogv;*.dv;*.mxf;*.nut;*.y4m;*.h264;*.264;*.hevc"},
};

std::string ContainerPatterns()
{
    std::string all;
    for (const TContainerGroup &g : kContainerGroups)
        all += std::string(all.empty() ? "" : ";") + g.Patterns;
    return all;
}

std::string &LastKind()
{
    static std::string last;
    return last;
}
} // namespace

std::vector<TChooseFilter> IOMovieChooseFilters(int smartLevel, uint32_t flags)
{
    std::vector<TChooseFilter> list;
    auto add = [&](const char *key, const std::string &patterns, TSourceKind kind, int param) {
        TChooseFilter f;
        f.Patterns = NormalisePatterns(patterns);
        f.LabelKey = key;
        f.Kind = kind;
        f.Param = param;
        list.push_back(std::move(f));
    };
    const bool avs = AviSynthPresent();
    const bool direct = DirectVideoAvailable();
    if (smartLevel >= 1 && (flags & cfAutomatic)) {
        const std::string p = (flags & (cfSystemLayer | cfOwnReader)) ? "*.avi;" : "";
        add("CapFltSmart",
            p + PluginPatterns(VF_STREAM_VIDEO, 2), ksAuto, 1);
    }
    if (smartLevel < 2 && (flags & cfAutomatic)) {
        std::string p = "*.avi";
        if ((flags & cfSystemLayer) && avs)
            p += ";*.avs";
        if (flags & cfContainers)
            p += ";" + ContainerPatterns();
        if (flags & cfImages)
            p += ";" + ImageFilePatterns();
        if ((flags & cfDirect) && direct)
            p += std::string(";") + kDirectVideoPatterns;
        p += ";" + PluginPatterns(VF_STREAM_VIDEO, smartLevel);
        add("CapFltAll", p, ksAuto, 0);
    }
    if (flags & cfOwnReader)
        add("CapFltAvi", "*.avi", ksOdml, -1);
    if ((flags & cfContainers) && smartLevel < 2)
        for (const TContainerGroup &g : kContainerGroups)
            add(g.LabelKey, g.Patterns, ksLavf, -1);
    if (flags & cfSystemLayer) {
        add("CapFltAviFfmpeg", "*.avi", ksMsvw, -1);
        if (avs && smartLevel < 2)
            add("CapFltAvs", "*.avs", ksMsvw, -1);
    }
    if ((flags & cfImages) && smartLevel < 2)
        add("CapFltImages", ImageFilePatterns(), ksStil, -1);
    if (flags & cfPlugins)
        for (int i = 0; i < PluginCount(); ++i) {
            if (!PluginHasVideo(i) || (smartLevel >= 2 && !PluginHasRiff(i)))
                continue;
            list.push_back(PluginChooseFilter(PluginFilterLabel(i), PluginPatternList(i), ksVfap, i));
        }
    if (smartLevel < 2) {
        if ((flags & cfDirect) && direct)
            add("CapFltDirect", kDirectVideoPatterns, ksMsds, -1);
        if (flags & cfAutomatic)
            add("CapFltAllFiles", "*.*", ksAuto, -1);
    }
    return list;
}

std::vector<TPathAttempt> VideoPathOrder(const std::string &fileList, TSourceKind kind, int param,
                                         bool allowFallback, bool withAudio, int accessLevel)
{
    const std::vector<std::string> files = SplitFileList(fileList);
    bool detected = false;
    if (kind == ksAuto && !files.empty()) {
        const std::string ext = UpperExtension(files[0]);
        if (ext == ".AVI") {
            kind = ksOdml;
        } else if (ext == ".AVS" && AviSynthPresent() && accessLevel < 2) {
            kind = ksMsvw;
        } else if (IsImageFileName(files[0]) && accessLevel < 2) {
            kind = ksStil;
        } else if (accessLevel < 2) {
            kind = ksLavf;
            detected = true;
        } else {
            param = FindPlugin(fileList, VF_STREAM_VIDEO, accessLevel);
            kind = param >= 0 ? ksVfap : ksNone;
        }
    }
    if (kind == ksNone || kind == ksAuto || kind == ksDumy)
        return {};
    std::vector<TPathAttempt> order{{kind, param, allowFallback}};
    if (detected) {
        if (const int p = FindPlugin(fileList, VF_STREAM_VIDEO, accessLevel); p >= 0)
            order.push_back({ksVfap, p, allowFallback});
        else if (DirectVideoAvailable())
            order.push_back({ksMsds, -1, allowFallback});
    }
    if (kind == ksOdml)
        order.push_back({ksMsvw, -1, false});
    if (allowFallback && (kind == ksMsvw || kind == ksOdml)) {
        const uint32_t mask = withAudio ? 3u : 1u;
        for (int i = 0; i < PluginCount(); ++i)
            if (PluginClaimsFile(i, fileList, mask, accessLevel))
                order.push_back({ksVfap, i, false});
        if (DirectVideoAvailable())
            order.push_back({ksMsds, -1, false});
    }
    return order;
}

namespace {

// An FFmpeg container's video as the front-end lists it: decoded 24-bit pictures on the
// source's frame grid; the stored packets stay with the source.
std::unique_ptr<TVideoSource> OpenLavfVideo(const std::string &file, TMediaError &status)
{
    auto source = std::make_unique<TLavfVideoSource>();
    if (!source->Open(file)) {
        status = source->Status();
        return nullptr;
    }
    TIOImage picture(source->Width(), source->Height(), pf24Bit);
    const AVCodecParameters *par = source->CodecParameters();
    TVideoStreamRecord stream = PictureStreamRecord(file, par ? LavfCodecTag(par) : 0, source->Scale(),
                                                    source->Rate(), source->FrameCount(), source->Width(),
                                                    source->Height());
    stream.Info.dwSuggestedBufferSize = std::max(source->MaxPacketSize(), picture.ImageSize());
    stream.Format = picture.BitmapInfo();
    std::vector<TVideoStreamRecord> streams;
    streams.push_back(std::move(stream));
    const std::string container = source->Facts().Container;
    source->Describe(file, AVIFILEINFO{}, std::move(streams), {"WrdSrcVideo", container}, container);
    return source;
}

// Opens through a path class whose Open answers with a status.
template <class TSource, class... TArgs>
std::unique_ptr<TVideoSource> OpenWith(TMediaError &status, TArgs &&...args)
{
    auto source = std::make_unique<TSource>();
    if ((status = source->Open(std::forward<TArgs>(args)...)) != meOk)
        return nullptr;
    return source;
}

} // namespace

std::unique_ptr<TVideoSource> OpenVideoPath(const TPathAttempt &path, const std::vector<std::string> &files,
                                            size_t index, bool withAudio, int accessLevel, int &plugin,
                                            TMediaError &status)
{
    const std::string &file = files[index];
    switch (path.Kind) {
    case ksOdml: return OpenWith<TOdmlVideoSource>(status, file);
    case ksMsvw: return OpenWith<TMsvwVideoSource>(status, file);
    case ksLavf: return OpenLavfVideo(file, status);
    case ksStil: {
        auto source = std::make_unique<TStillVideoSource>();
        if (source->Open(files))
            return source;
        status = source->Status();
        return nullptr;
    }
    case ksVfap:
        plugin = path.Param;
        if (plugin < 0 && path.AllowFallback)
            plugin = FindPlugin(file, withAudio ? 3u : 1u, accessLevel);
        if (plugin < 0 || plugin >= PluginCount()) {
            status = meFileHandler;
            return nullptr;
        }
        return OpenWith<TVfapVideoSource>(status, plugin, file, withAudio);
    default: // MSDS: no media-framework access is bound
        status = meFileHandler;
        return nullptr;
    }
}

std::string IOMovieLastKind() { return LastKind(); }
void SetIOMovieLastKind(const std::string &kind) { LastKind() = kind.substr(0, 31); }

int IOMoviePreselectedFilter(const std::vector<TChooseFilter> &filters, const std::string &callerLastKind)
{
    if (!callerLastKind.empty())
        SetIOMovieLastKind(callerLastKind);
    for (size_t i = 0; i < filters.size(); ++i)
        if (filters[i].KindString() == LastKind())
            return int(i);
    return 0;
}

std::string IOMovieChosenKind(const TChooseFilter &chosen, std::string *callerLastKind)
{
    const std::string kind = chosen.KindString();
    SetIOMovieLastKind(kind);
    if (callerLastKind)
        *callerLastKind = LastKind();
    return chosen.Kind > ksDumy ? kind : std::string();
}

} // namespace tessaly
