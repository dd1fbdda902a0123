// `tessaly-cli info MEDIA`: what the Properties window shows for a video or audio file.
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "project/marker.h"
#include "project/project_text.h"
#include "media/input/io_movie_reader.h"
#include "media/input/wave_reader.h"
#include "platform/file_system.h"
#include "shell/language.h"
#include "shell/messages.h"

namespace tessaly::cli {

namespace {

const char *const kInfoHelp =
    "usage: tessaly-cli info MEDIA\n"
    "Prints the properties of a video or audio file: type, codec, image size, colour depth,\n"
    "frames, quality, frame rate and length of the video; format and length of the audio;\n"
    "whether the video can be copied as stored (smart rendering).\n";

std::string Word(const char *key, const char *english) { return ProjectText(key, english); }

std::string Fixed(double v, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string FourCC(uint32_t code)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += char((code >> (8 * i)) & 0xFF);
    return TrimField(s);
}

// Seconds, and minutes / hours forms for longer durations.
std::string DurationText(double x)
{
    std::string text = TrimField(Fixed(x, 2)) + " " + Word("WrdSec", "s");
    if (x < 60)
        return text;
    long long m = (long long)(x / 60);
    double r = x - 60.0 * double(m);
    std::string rs = Fixed(r, 2);
    if (r < 10)
        rs = "0" + rs;
    text += "  =  " + std::to_string(m) + ":" + rs + " " + Word("WrdMin", "m");
    if (m > 60) {
        long long h = m / 60;
        long long mm = m % 60;
        std::string ms = (mm < 10 ? "0" : "") + std::to_string(mm);
        text += "  =  " + std::to_string(h) + ":" + ms + ":" + rs + " " + Word("WrdHour", "h");
    }
    return text;
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

void PrintVideo(TIOMovieReader &v)
{
    std::cout << "Video\n";
    std::cout << "  Type:        " << v.Description(IsGerman()) << "\n";
    std::string handler = v.Handler() ? FourCC(v.Handler()) : "";
    if (handler.empty())
        handler = Word("WrdUnknown", "unknown");
    std::cout << "  Codec:       " << handler << " / " << CompressionText(v.Compression()) << "\n";
    std::cout << "  Image Size:  " << v.Width() << " x " << v.Height() << " " << Word("WrdPixels", "pixels") << "\n";
    std::cout << "  Color depth: "
              << (v.BitCount() > 0 ? std::to_string(v.BitCount()) + " " + Word("WrdBit", "bit")
                                   : "(" + Word("WrdUnknown", "unknown") + ")")
              << "\n";
    std::cout << "  Frames:      " << v.FrameCount() << "\n";
    std::cout << "  Quality:     "
              << (v.Quality() < 0 ? Word("WrdDefault", "default") : Fixed(v.Quality() / 100.0, 2) + " %") << "\n";
    double fps = v.Rate() > 0 ? double(v.Rate()) / v.Scale() : 0;
    std::cout << "  Frames/sec:  " << Fixed(fps, 2) << " " << Word("WrdFPS", "fps") << "\n";
    std::cout << "  Length:      " << (fps > 0 ? DurationText(v.FrameCount() / fps) : "-") << "\n";
}

void PrintAudio(TWaveReader &a)
{
    std::cout << "Audio\n";
    std::cout << "  Type:        " << a.Description(IsGerman()) << "\n";
    const WAVEFORMATEX &w = a.OutputFormat();
    if (w.nSamplesPerSec > 0) {
        std::string channels = w.nChannels == 1   ? Word("WrdMono", "mono")
                               : w.nChannels == 2 ? Word("WrdStereo", "stereo")
                                                  : std::to_string(w.nChannels) + " " + Word("WrdChannels", "channels");
        std::cout << "  Format:      " << w.nSamplesPerSec << " " << Word("WrdHertz", "Hz") << "; " << w.wBitsPerSample
                  << " " << Word("WrdBit", "bit") << "; " << channels << "\n";
    } else {
        std::cout << "  Format:      (" << Word("WrdUnknown", "unknown") << ")\n";
    }
    std::cout << "  Length:      " << DurationText(a.Duration()) << "\n";
}

} // namespace

int RunInfo(const std::vector<std::string> &argv)
{
    TArgs args;
    std::string error;
    if (!ParseArgs(argv, {}, {}, args, error)) {
        std::cerr << "tessaly-cli info: " << error << "\n" << kInfoHelp;
        return kExitUsage;
    }
    if (args.Has("--help")) {
        std::cout << kInfoHelp;
        return kExitOk;
    }
    if (args.Positional.size() != 1) {
        std::cerr << "tessaly-cli info: expected one media file\n" << kInfoHelp;
        return kExitUsage;
    }
    const std::string name = ExpandFileName(args.Positional[0]);
    TIOMovieReader video;
    TWaveReader audio;
    bool hasVideo = video.Open(name, "AUTO|-1");
    bool hasAudio = audio.Open(name, "AUTO|-1", true, 0);
    if (!hasVideo && !hasAudio) {
        TMediaError e = video.Status() == meNoVideoStream ? audio.Status() : video.Status();
        std::cerr << TerminalText(TranslatedErrorSentence(FormatText(Msg("ErrOpenVid"), {args.Positional[0]}), e))
                  << "\n";
        return kExitFailure;
    }
    std::cout << "File: " << name << "\n";
    if (hasVideo)
        PrintVideo(video);
    if (hasAudio)
        PrintAudio(audio);
    if (hasVideo) {
        std::string yes = Word("WrdYes", "yes"), no = Word("WrdNo", "no");
        for (char &c : yes)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        std::string sr = video.CanSmartRender() ? yes : no;
        std::cout << "Smart Rendering is used for:\n";
        std::cout << "  Preview:     " << sr << "\n";
        std::cout << "  Result:      " << sr << "\n";
    }
    return kExitOk;
}

} // namespace tessaly::cli
