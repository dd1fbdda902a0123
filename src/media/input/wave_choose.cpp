// The audio open dialog's filter table, preselection and remembered last kind.
#include "media/input/wave_choose.h"

#include <algorithm>
#include <cctype>

#include "media/input/lavf/lavf_audio.h"
#include "media/input/riff/riff_audio.h"
#include "media/input/vfap/vfap_audio.h"
#include "media/input/vfapi_host.h"
#include "media/input/wave_reader.h"
#include "platform/avisynth.h"
#include "platform/text_util.h"
#include "plugins/vfapi/vfapi.h"

namespace tessaly {

const char *const kDirectAudioPatterns =
    "*.asf;*.avi;*.m1v;*.m2v;*.mpeg;*.mpe;*.mpg;*.vob;*.wm;*.wmd;*.wmv;*.grf;*.ac3;*.aif;*.aifc;*.aiff;*.au;"
    "*.mp2;*.mp3;*.mpa;*.snd;*.wav;*.wma";

// Audio containers FFmpeg reads (any other file may still be tried through "All Files").
const char *const kFfmpegAudioPatterns =
    "*.mp3;*.mp2;*.ac3;*.eac3;*.dts;*.aac;*.m4a;*.mp4;*.mov;*.flac;*.ogg;*.oga;*.opus;*.mka;*.mkv;*.webm;"
    "*.wma;*.asf;*.wv;*.tta;*.aif;*.aiff;*.caf;*.au;*.avi;*.wav";

namespace {
std::string &LastKind()
{
    static std::string last;
    return last;
}
} // namespace

std::string NormalisePatterns(const std::string &patterns)
{
    std::vector<std::string> seen;
    std::string out;
    size_t start = 0;
    for (;;) {
        size_t p = patterns.find(';', start);
        std::string f =
            TrimText(patterns.substr(start, p == std::string::npos ? std::string::npos : p - start), kLineBlanks);
        std::transform(f.begin(), f.end(), f.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        if (!f.empty() && std::find(seen.begin(), seen.end(), f) == seen.end()) {
            seen.push_back(f);
            out += (out.empty() ? "" : ";") + f;
        }
        if (p == std::string::npos)
            return out;
        start = p + 1;
    }
}

TChooseFilter PluginChooseFilter(const std::string &label, const std::string &patterns, TSourceKind kind, int param)
{
    TChooseFilter f;
    f.Patterns = NormalisePatterns(patterns);
    f.Label = label + " (" + f.Patterns + ")";
    f.Kind = kind;
    f.Param = param;
    return f;
}

std::vector<TChooseFilter> WaveChooseFilters(int smartLevel, uint32_t flags)
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
    const bool direct = DirectAudioAvailable();
    if (smartLevel >= 1 && (flags & cfAutomatic)) {
        std::string p = (flags & (cfSystemLayer | cfOwnReader)) ? "*.avi;*.wav;" : "";
        add("CapFltSmart",
            p + PluginPatterns(VF_STREAM_AUDIO, 2), ksAuto, 1);
    }
    if (smartLevel < 2 && (flags & cfAutomatic)) {
        std::string p = "*.avi;*.wav";
        if ((flags & cfSystemLayer) && avs)
            p += ";*.avs";
        if ((flags & cfDirect) && direct)
            p += std::string(";") + kDirectAudioPatterns;
        if (flags & cfSystemLayer)
            p += std::string(";") + kFfmpegAudioPatterns;
        p += ";" + PluginPatterns(VF_STREAM_AUDIO, smartLevel);
        add("CapFltAll", p, ksAuto, 0);
    }
    if (flags & cfOwnReader)
        add("CapFltWavAvi", "*.avi;*.wav", ksOdml, -1);
    if (flags & cfSystemLayer) {
        add("CapFltWavAviVfw", "*.avi;*.wav", ksMsvw, -1);
        if (avs && smartLevel < 2)
            add("CapFltAvs", "*.avs", ksMsvw, -1);
        if (smartLevel < 2)
            add("CapFltFfmpegAudio", kFfmpegAudioPatterns,
                ksLavf, -1);
    }
    if (flags & cfPlugins)
        for (int i = 0; i < PluginCount(); ++i) {
            if (!PluginHasAudio(i) || (smartLevel >= 2 && !PluginHasRiff(i)))
                continue;
            list.push_back(PluginChooseFilter(PluginFilterLabel(i), PluginPatternList(i), ksVfap, i));
        }
    if (smartLevel < 2) {
        if ((flags & cfDirect) && direct)
            add("CapFltDirect", kDirectAudioPatterns, ksMsds, -1);
        if (flags & cfAutomatic)
            add("CapFltAllFiles", "*.*", ksAuto, -1);
    }
    return list;
}

std::string ChooseFilterText(const std::vector<TChooseFilter> &filters)
{
    std::string text;
    for (const TChooseFilter &f : filters) {
        text += f.Label;
        text += '\0';
        text += f.Patterns;
        text += '\0';
    }
    text += '\0';
    return text;
}

std::string WaveLastKind() { return LastKind(); }
void SetWaveLastKind(const std::string &kind) { LastKind() = kind.substr(0, 31); }

int WavePreselectedFilter(const std::vector<TChooseFilter> &filters, const std::string &callerLastKind)
{
    if (!callerLastKind.empty())
        SetWaveLastKind(callerLastKind);
    for (size_t i = 0; i < filters.size(); ++i)
        if (filters[i].KindString() == LastKind())
            return int(i);
    return 0;
}

std::string WaveChosenKind(const TChooseFilter &chosen, std::string *callerLastKind)
{
    std::string kind = chosen.KindString();
    SetWaveLastKind(kind);
    if (callerLastKind)
        *callerLastKind = LastKind();
    return chosen.Kind > ksDumy ? kind : std::string();
}

namespace {

// The kind the file's extension points to when no container reader takes it: the first
// reader plug-in claiming it (param set to its index), else direct access, else NONE.
TSourceKind PluginKindOf(const std::string &file, int accessLevel, int &param)
{
    if ((param = FindPlugin(file, VF_STREAM_AUDIO, accessLevel)) >= 0)
        return ksVfap;
    param = -1;
    if (DirectAudioAvailable() && accessLevel < 2)
        return ksMsds;
    return ksNone;
}

// Opens file through the access path TSource; null with the path's findings otherwise.
template <class TSource>
std::unique_ptr<TAudioSource> OpenWith(const std::string &file, TMediaError &status, TMediaProblem &problem)
{
    auto source = std::make_unique<TSource>();
    if ((status = source->Open(file)) == meOk)
        return source;
    problem = source->Problem();
    return nullptr;
}

} // namespace

std::vector<TPathAttempt> AudioPathOrder(const std::string &firstFile, TSourceKind kind, int param,
                                         bool allowFallback, int accessLevel, int wantedStream)
{
    const bool detected = kind == ksAuto;
    if (detected) {
        const std::string ext = UpperExtension(firstFile);
        param = -1;
        if (ext == ".AVI")
            kind = ksOdml;
        else if (ext == ".WAV")
            kind = ksMsvw;
        else if (ext == ".AVS" && AviSynthPresent() && accessLevel <= 1)
            kind = ksMsvw;
        else if (accessLevel < 2)
            kind = ksLavf;
        else
            kind = PluginKindOf(firstFile, accessLevel, param);
    }
    if (kind == ksNone || kind == ksAuto || kind == ksDumy)
        return {};
    std::vector<TPathAttempt> order{{kind, param, allowFallback}};
    const bool riff = kind == ksOdml || kind == ksMsvw;
    if (kind == ksOdml)
        order.push_back({ksMsvw, -1, false});
    // What the own reader and the system media layer cannot decode (MP3 in WAV, AC-3 in
    // AVI), FFmpeg decodes.
    if (riff && (detected || allowFallback) && accessLevel < 2)
        order.push_back({ksLavf, -1, false});
    // A detected file that FFmpeg cannot read goes where the extension points; a file FFmpeg
    // does not know, which the plug-in claiming it finds without audio, is named as such.
    int triedPlugin = -1; // a plug-in tried here is not asked a second time
    if (detected && kind == ksLavf) {
        int p = -1;
        const TSourceKind k = PluginKindOf(firstFile, accessLevel, p);
        if (k != ksNone)
            order.push_back({k, p, false, true});
        if (k == ksVfap)
            triedPlugin = p;
    }
    // The plug-ins and direct access offer one stream: none of them stands in for a stream
    // asked for by number.
    if (allowFallback && wantedStream < 0 && (riff || kind == ksLavf)) {
        for (int i = 0; i < PluginCount(); ++i)
            if (i != triedPlugin && PluginClaimsFile(i, firstFile, VF_STREAM_AUDIO, accessLevel))
                order.push_back({ksVfap, i, false});
        if (DirectAudioAvailable() && accessLevel < 2)
            order.push_back({ksMsds, -1, false});
    }
    return order;
}

std::unique_ptr<TAudioSource> OpenAudioPath(const TPathAttempt &path, const std::string &file, int accessLevel,
                                            int &plugin, TMediaError &status, TMediaProblem &problem)
{
    switch (path.Kind) {
    case ksMsvw: return OpenWith<TMsvwAudio>(file, status, problem);
    case ksOdml: return OpenWith<TOdmlAudio>(file, status, problem);
    case ksLavf: return OpenWith<TLavfAudio>(file, status, problem);
    case ksVfap: {
        status = meFileHandler;
        if (path.Param < 0 && !path.AllowFallback)
            return nullptr;
        plugin = path.Param >= 0 ? path.Param : FindPlugin(file, VF_STREAM_AUDIO, accessLevel);
        if (plugin < 0 || plugin >= PluginCount())
            return nullptr;
        auto source = std::make_unique<TVfapAudio>();
        if ((status = source->Open(plugin, file)) != meOk)
            return nullptr;
        return source;
    }
    case ksMsds: // no direct media-framework component is bound
        status = meFileHandler;
        return nullptr;
    default:
        status = meFileFormat;
        return nullptr;
    }
}

} // namespace tessaly
