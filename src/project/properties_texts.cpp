// The Properties window's texts and the duration text.
#include "project/properties_texts.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/source_kind.h"
#include "media/input/wave_reader.h"
#include "platform/text_util.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tessaly {

namespace {

std::string FourCC(uint32_t code)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += char((code >> (8 * i)) & 0xFF);
    return TrimText(s);
}

std::string CompressionText(uint32_t c)
{
    switch (c) {
    case 0: return "BI_RGB";
    case 1: return "BI_RLE8";
    case 2: return "BI_RLE4";
    case 3: return "BI_BITF";
    default: return FourCC(c);
    }
}

// The readers name their access paths after the services they stand in for; the window
// names the Linux libraries that do the work.
std::string LinuxWording(std::string text)
{
    static const std::pair<const char *, const char *> words[] = {{"VfW", "libavformat"}, {"DirectShow", "GStreamer"}};
    for (const auto &[from, to] : words)
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + std::strlen(to)))
            text.replace(at, std::strlen(from), to);
    return text;
}

void VideoTexts(const TIOMovieReader &v, bool forceVfw, TPropertiesTexts &t)
{
    t.VidType = LinuxWording(SourceDescriptionText(v.Description()));
    if (!v.IsOpen())
        return;
    std::string handler = v.Handler() ? FourCC(v.Handler()) : std::string();
    t.VidCodec = (handler.empty() ? Msg("WrdUnknown") : handler) + " / " + CompressionText(v.Compression());
    // A container video has no AVI handler and compression: its codec is named as FFmpeg names it.
    if (const TLavfVideoSource *lavf = v.LavfVideo())
        t.VidCodec = lavf->Facts().CodecLine;
    t.VidQuality = v.Quality() < 0 ? Msg("WrdDefault") : FormatFixed(v.Quality() / 100.0L, 2) + " %";
    t.VidSize = std::to_string(v.Width()) + " x " + std::to_string(v.Height()) + " " + Msg("WrdPixels");
    t.VidCD = v.BitCount() > 0 ? std::to_string(v.BitCount()) + " " + Msg("WrdBit") : "(" + Msg("WrdUnknown") + ")";
    t.VidFrm = std::to_string(v.FrameCount());
    long double fps = v.Rate() > 0 && v.Scale() > 0 ? static_cast<long double>(v.Rate()) / v.Scale() : 0;
    t.VidFPS = FormatFixed(fps, 2) + " " + Msg("WrdFPS");
    t.VidLen = fps > 0 ? DurationText(v.FrameCount() / fps) : "-";
    std::string yes = UpperAscii(Msg("WrdYes"));
    if (v.CanSmartRender()) {
        t.SRResult = yes;
        t.SRPreview = v.Kind() == ksVfap && forceVfw ? Msg("WrdDeact") : yes;
    } else {
        t.SRResult = t.SRPreview = Msg("WrdNo");
    }
}

void AudioTexts(const TWaveReader &a, std::string &type, std::string &format, std::string &length)
{
    type = LinuxWording(SourceDescriptionText(a.Description()));
    if (!a.IsOpen())
        return;
    format = AudioFormatText(a);
    length = DurationText(a.Duration());
}

} // namespace

std::string DurationText(long double x)
{
    std::string text = TrimText(FormatFixed(x, 2), kTextBlanks) + " " + Msg("WrdSec");
    if (x < 60)
        return text;
    long long m = static_cast<long long>(x / 60);
    long double r = x - 60.0L * m;
    std::string rs = (r < 10 ? "0" : "") + FormatFixed(r, 2);
    text += "  =  " + std::to_string(m) + ":" + rs + " " + Msg("WrdMin");
    if (m > 60) {
        long long mm = m % 60;
        text += "  =  " + std::to_string(m / 60) + ":" + (mm < 10 ? "0" : "") + std::to_string(mm) + ":" + rs + " " +
                Msg("WrdHour");
    }
    return text;
}

std::string AudioFormatText(const TWaveReader &a)
{
    const WAVEFORMATEX &w = a.OutputFormat();
    if (!a.IsOpen() || w.nSamplesPerSec == 0)
        return "(" + Msg("WrdUnknown") + ")";
    std::string channels = w.nChannels == 1   ? Msg("WrdMono")
                           : w.nChannels == 2 ? Msg("WrdStereo")
                                              : std::to_string(w.nChannels) + " " + Msg("WrdChannels");
    return std::to_string(w.nSamplesPerSec) + " " + Msg("WrdHertz") + "; " + std::to_string(w.wBitsPerSample) + " " +
           Msg("WrdBit") + "; " + channels;
}

TPropertiesTexts PropertiesTexts(const TIOMovieReader *video, const TWaveReader *audio, long double refFps,
                                 const TWaveReader *doubleTrack, bool forceVfw)
{
    TPropertiesTexts t;
    if (video)
        VideoTexts(*video, forceVfw, t);
    if (audio)
        AudioTexts(*audio, t.AudType, t.AudFmt, t.AudLen);
    if (doubleTrack) {
        AudioTexts(*doubleTrack, t.DblType, t.DblFmt, t.DblLen);
        if (refFps > 0)
            t.DblType += " @ " + FormatFixed(refFps, 2) + " " + Msg("WrdFPS");
    }
    return t;
}

std::string WaveFormatName(uint16_t tag)
{
    switch (tag) {
    case 0x0001: return "PCM";
    case 0x0003: return "IEEE float";
    case 0x0006: return "A-law";
    case 0x0007: return "mu-law";
    case 0x0011: return "IMA ADPCM";
    case 0x0050: return "MPEG Layer 1/2";
    case 0x0055: return "MPEG Layer 3";
    case 0x00FF: return "AAC";
    case 0x2000: return "AC-3";
    case 0x2001: return "DTS";
    case 0xFFFE: return "extensible";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", tag);
        return text;
    }
    }
}

std::vector<TAudioStreamText> AudioStreamTexts(TWaveReader &audio)
{
    std::vector<TAudioStreamText> rows;
    if (!audio.IsOpen())
        return rows;
    const int selected = audio.SelectedStream();
    const int count = audio.AudioStreamCount() > 0 ? audio.AudioStreamCount() : 1;
    for (int i = 0; i < count; ++i) {
        if (audio.AudioStreamCount() > 0 && !audio.SelectStream(i))
            continue;
        TAudioStreamText row;
        row.Number = audio.AudioStreamCount() > 0 ? audio.AudioStreamNumber(i) : 0;
        row.Codec = WaveFormatName(audio.InputFormat().wFormatTag);
        row.Format = AudioFormatText(audio);
        row.Length = DurationText(audio.Duration());
        rows.push_back(row);
    }
    if (audio.AudioStreamCount() > 0 && selected >= 0)
        audio.SelectStream(selected);
    return rows;
}

} // namespace tessaly
