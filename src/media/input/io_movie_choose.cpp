// The video open dialog's filter table, preselection and remembered last kind.
#include "media/input/io_movie_choose.h"

#include "media/common/io_image_loader.h"
#include "media/input/io_movie_reader.h"
#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"

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
