// The audio open dialog's filter table, preselection and remembered last kind.
#include "media/input/wave_choose.h"

#include <algorithm>
#include <cctype>

#include "media/input/vfapi_host.h"
#include "media/input/wave_reader.h"
#include "platform/avisynth.h"
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
        std::string f = TrimText(patterns.substr(start, p == std::string::npos ? std::string::npos : p - start));
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

} // namespace tessaly
