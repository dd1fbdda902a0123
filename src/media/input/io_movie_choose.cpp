// The video open dialog's filter table, preselection and remembered last kind.
#include "media/input/io_movie_choose.h"

#include "media/common/io_image_loader.h"
#include "media/input/io_movie_reader.h"
#include "media/input/vfapi_host.h"
#include "platform/avisynth.h"

namespace tessaly {

const char *const kDirectVideoPatterns = "*.asf;*.avi;*.m1v;*.m2v;*.mpeg;*.mpe;*.mpg;*.vob;*.wm;*.wmd;*.wmv;*.grf";

namespace {

// The containers FFmpeg reads, in groups a user knows, with English and German labels.
struct TContainerGroup {
    const char *English, *German, *Patterns;
};
const TContainerGroup kContainerGroups[] = {
    {"Matroska and WebM videos", "Matroska- und WebM-Videos", "*.mkv;*.mk3d;*.webm"},
    {"MP4 and QuickTime videos", "MP4- und QuickTime-Videos", "*.mp4;*.m4v;*.mov;*.3gp"},
    {"MPEG transport and program streams", "MPEG-Transport- und -Programmstr\xC3\xB6me",
     "*.ts;*.m2ts;*.mts;*.mpg;*.mpeg;*.vob;*.m2v"},
    {"Other videos (FLV, WMV, Ogg, DV, MXF ...)", "Andere Videos (FLV, WMV, Ogg, DV, MXF ...)",
     "*.flv;*.wmv;*.asf;*.ogv;*.dv;*.mxf;*.nut;*.y4m;*.h264;*.264;*.hevc"},
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

std::vector<TChooseFilter> IOMovieChooseFilters(bool german, int smartLevel, uint32_t flags)
{
    std::vector<TChooseFilter> list;
    auto add = [&](const std::string &en, const std::string &de, const std::string &patterns, TSourceKind kind,
                   int param) {
        TChooseFilter f;
        f.Patterns = NormalisePatterns(patterns);
        f.Label = (german ? de : en) + " (" + f.Patterns + ")";
        f.Kind = kind;
        f.Param = param;
        list.push_back(std::move(f));
    };
    const bool avs = AviSynthPresent();
    const bool direct = DirectVideoAvailable();
    if (smartLevel >= 1 && (flags & cfAutomatic)) {
        const std::string p = (flags & (cfSystemLayer | cfOwnReader)) ? "*.avi;" : "";
        add("Smart-renderable media files", "Smart-Render-f\xC3\xA4hige Mediendateien",
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
        add("All supported media files", "Alle unterst\xC3\xBCtzten Mediendateien", p, ksAuto, 0);
    }
    if (flags & cfOwnReader)
        add("AVI files", "AVI-Dateien", "*.avi", ksOdml, -1);
    if ((flags & cfContainers) && smartLevel < 2)
        for (const TContainerGroup &g : kContainerGroups)
            add(g.English, g.German, g.Patterns, ksLavf, -1);
    if (flags & cfSystemLayer) {
        add("AVI files read by FFmpeg", "AVI-Dateien \xC3\xBC" "ber FFmpeg", "*.avi", ksMsvw, -1);
        if (avs && smartLevel < 2)
            add("AviSynth scripts", "AviSynth-Skripte", "*.avs", ksMsvw, -1);
    }
    if ((flags & cfImages) && smartLevel < 2)
        add("Images", "Bilder", ImageFilePatterns(), ksStil, -1);
    if (flags & cfPlugins)
        for (int i = 0; i < PluginCount(); ++i) {
            if (!PluginHasVideo(i) || (smartLevel >= 2 && !PluginHasRiff(i)))
                continue;
            const std::string label = PluginFilterLabel(i);
            add(label, label, PluginPatternList(i), ksVfap, i);
        }
    if (smartLevel < 2) {
        if ((flags & cfDirect) && direct)
            add("DirectShow media", "DirectShow-Medien", kDirectVideoPatterns, ksMsds, -1);
        if (flags & cfAutomatic)
            add("All Files", "Alle Dateien", "*.*", ksAuto, -1);
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
