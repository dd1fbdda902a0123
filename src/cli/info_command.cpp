// `tessaly-cli info MEDIA`: what the Properties window shows for a video or audio file,
// and what the container holds: every audio stream (numbered as the container numbers its
// streams), subtitle streams and chapters.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/info_video.h"
#include "media/input/io_movie_reader.h"
#include "media/input/lavf/lavf_audio.h"
#include "media/input/wave_reader.h"
#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/properties_texts.h"
#include "shell/messages.h"

namespace tessaly::cli {

namespace {

const char *const kInfoHelp =
    "usage: tessaly-cli info MEDIA\n"
    "Prints the properties of a video or audio file: the container; type, codec, image size,\n"
    "colour depth, frames, quality, frame rate and length of the video; each audio stream,\n"
    "numbered as the container numbers its streams (the number --audio-stream takes), with\n"
    "codec, rate, channels and layout, bits, length and the encoder delay dropped at its\n"
    "start; subtitle streams and chapters; the format and length of the audio a project\n"
    "would use; whether the video can be copied as stored (smart rendering). A part that\n"
    "cannot be read is named.\n";

void Row(const char *label, const std::string &value)
{
    std::cout << "  " << label << std::string(13 - std::string(label).size(), ' ') << value << "\n";
}

std::string OpenError(const char *key, const std::string &name, TMediaError code, const TMediaProblem &problem = {})
{
    return TerminalText(TranslatedErrorSentence(FormatText(Msg(key), {name}), code, problem));
}

// The streams as the reader that opened the file lists them (for files FFmpeg cannot read).
void PrintStreams(TWaveReader &audio)
{
    std::vector<TAudioStreamText> streams = AudioStreamTexts(audio);
    if (streams.empty())
        return;
    std::cout << "Audio streams\n";
    for (const TAudioStreamText &s : streams)
        std::cout << "  #" << s.Number << ": " << s.Codec << "; " << s.Format << "; " << s.Length << "\n";
}

std::string Seconds(double s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", s);
    return text;
}

// " [eng] \"Title\"" for the tags a stream or chapter carries.
std::string Tags(const std::string &language, const std::string &title)
{
    std::string t;
    if (!language.empty() && language != "und")
        t += " [" + language + "]";
    if (!title.empty())
        t += " \"" + title + "\"";
    return t;
}

std::string AudioStreamLine(const TLavfStreamText &s)
{
    std::string line = "#" + std::to_string(s.Index) + ": " + s.Codec + "; " + std::to_string(s.Rate) + " Hz; " +
                       std::to_string(s.Channels) + (s.Channels == 1 ? " channel" : " channels");
    if (!s.Layout.empty())
        line += " (" + s.Layout + ")";
    if (s.Length < 0)
        return line + "; cannot be decoded" + Tags(s.Language, s.Title);
    line += "; " + std::to_string(s.Bits) + " bit" + (s.Float ? " float" : "");
    line += "; " + (s.Rate > 0 ? DurationText(double(s.Length) / s.Rate) : std::string("?")) + " (" +
            std::to_string(s.Length) + " samples)";
    if (s.Delay > 0)
        line += "; encoder delay " + std::to_string(s.Delay) + " samples dropped";
    // A start that only reflects the dropped delay says nothing new.
    if (s.StartTime != 0.0 && !(s.Rate > 0 && std::abs(s.StartTime - double(s.Delay) / s.Rate) < 0.001))
        line += "; starts at " + Seconds(s.StartTime);
    return line + Tags(s.Language, s.Title);
}

// The audio and subtitle streams and the chapters of the container as FFmpeg reads it.
void PrintContainer(const TLavfAudio &media)
{
    bool audioHeader = false, subtitleHeader = false;
    for (const TLavfStreamText &s : media.StreamTexts())
        if (s.Type == 'a') {
            std::cout << (audioHeader ? "" : "Audio streams\n") << "  " << AudioStreamLine(s) << "\n";
            audioHeader = true;
        }
    for (const TLavfStreamText &s : media.StreamTexts())
        if (s.Type == 's') {
            std::cout << (subtitleHeader ? "" : "Subtitle streams\n") << "  #" << s.Index << ": " << s.Codec
                      << Tags(s.Language, s.Title) << "\n";
            subtitleHeader = true;
        }
    if (!media.Chapters().empty()) {
        std::cout << "Chapters\n";
        int n = 0;
        for (const TLavfChapterText &c : media.Chapters())
            std::cout << "  " << ++n << ": " << Seconds(c.Start) << " - " << Seconds(c.End) << Tags("", c.Title)
                      << "\n";
    }
}

// The RIFF form type of a file ("AVI ", "WAVE"), empty for anything else (a pipe is not
// opened: the read would wait for a writer).
std::string RiffForm(const std::string &name)
{
    char head[12] = {};
    if (CheckMediaPath(name) != meOk)
        return std::string();
    std::ifstream in(name, std::ios::binary);
    if (!in.read(head, sizeof head) || std::string(head, 4) != "RIFF")
        return std::string();
    return std::string(head + 8, 4);
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
    const std::string &shown = args.Positional[0];
    const std::string name = ExpandFileName(shown);
    TIOMovieReader video;
    TWaveReader audio;
    bool hasVideo = video.Open(name, "AUTO|-1");
    bool hasAudio = audio.Open(name, "AUTO|-1", true, 0);
    // An AVI is asked about for its video and its audio; any other file that gives no
    // video is an audio file, and only its audio is named when it fails.
    // A WAVE file is an audio file whatever a video plug-in said about it.
    const std::string form = RiffForm(name);
    bool avi = form == "AVI " || UpperAscii(ExtractFileExt(name)) == ".AVI";
    bool showVideo = hasVideo || avi ||
                     (form != "WAVE" && video.Status() != meFileFormat && video.Status() != meNoVideoStream);
    bool audioMissing = !hasAudio && audio.Status() == meNoAudioStream;
    if (!hasVideo && !hasAudio) {
        if (video.Status() == audio.Status() || !showVideo || audioMissing)
            std::cerr << OpenError(showVideo || audioMissing ? "ErrOpenVid" : "ErrOpenAud", shown,
                                   showVideo || audioMissing ? video.Status() : audio.Status(),
                                   showVideo || audioMissing ? video.Problem() : audio.Problem())
                      << "\n";
        else
            std::cerr << OpenError("ErrOpenVid", shown, video.Status(), video.Problem()) << "\n"
                      << OpenError("ErrOpenAud", shown, audio.Status(), audio.Problem()) << "\n";
        return kExitFailure;
    }
    TPropertiesTexts t = PropertiesTexts(hasVideo ? &video : nullptr, hasAudio ? &audio : nullptr, -1, nullptr, false);
    std::cout << "File: " << name << "\n";
    // The container as FFmpeg reads it; files only a plug-in reads list the plug-in's streams.
    TLavfAudio media;
    media.Open(name);
    const bool listed = !media.StreamTexts().empty();
    if (listed)
        std::cout << "Container: " << media.ContainerName() << "\n";
    if (hasVideo) {
        std::cout << "Video\n";
        Row("Type:", t.VidType);
        Row("Codec:", t.VidCodec);
        Row("Image Size:", t.VidSize);
        Row("Color depth:", t.VidCD);
        Row("Frames:", t.VidFrm);
        Row("Quality:", t.VidQuality);
        Row("Frames/sec:", t.VidFPS);
        Row("Length:", t.VidLen);
        PrintVideoDetails(video, std::cout);
    } else if (showVideo) {
        std::cout << "Video\n  " << OpenError("ErrOpenVid", shown, video.Status(), video.Problem()) << "\n";
    }
    // The container's video streams, each on its line, belong here, before the audio.
    if (listed)
        PrintContainer(media);
    if (hasAudio) {
        if (!listed)
            PrintStreams(audio);
        std::cout << "Audio\n";
        Row("Type:", t.AudType);
        Row("Format:", t.AudFmt);
        Row("Length:", t.AudLen);
    } else if (!audioMissing) {
        std::cout << "Audio\n  " << OpenError("ErrOpenAud", shown, audio.Status(), audio.Problem()) << "\n";
    }
    if (hasVideo) {
        std::cout << "Smart Rendering is used for:\n";
        Row("Preview:", t.SRPreview);
        Row("Result:", t.SRResult);
    }
    return kExitOk;
}

} // namespace tessaly::cli
