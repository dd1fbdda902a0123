// `tessaly-cli info MEDIA`: what the Properties window shows for a video or audio file,
// and every audio stream of the file.
#include <fstream>
#include <iostream>

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/info_video.h"
#include "media/input/io_movie_reader.h"
#include "media/input/wave_reader.h"
#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/properties_texts.h"
#include "shell/messages.h"

namespace tessaly::cli {

namespace {

const char *const kInfoHelp =
    "usage: tessaly-cli info MEDIA\n"
    "Prints the properties of a video or audio file: type, codec, image size, colour depth,\n"
    "frames, quality, frame rate and length of the video; each audio stream (codec, format,\n"
    "length) and the format and length of the one a project would use; whether the video\n"
    "can be copied as stored (smart rendering). A part that cannot be read is named.\n";

void Row(const char *label, const std::string &value)
{
    std::cout << "  " << label << std::string(13 - std::string(label).size(), ' ') << value << "\n";
}

std::string OpenError(const char *key, const std::string &name, TMediaError code)
{
    return TerminalText(TranslatedErrorSentence(FormatText(Msg(key), {name}), code));
}

void PrintStreams(TWaveReader &audio)
{
    std::vector<TAudioStreamText> streams = AudioStreamTexts(audio);
    if (streams.empty())
        return;
    std::cout << "Audio streams\n";
    for (const TAudioStreamText &s : streams)
        std::cout << "  #" << s.Number << ": " << s.Codec << "; " << s.Format << "; " << s.Length << "\n";
}

// The file starts as a RIFF AVI form.
// The RIFF form type of a file ("AVI ", "WAVE"), empty for anything else.
std::string RiffForm(const std::string &name)
{
    char head[12] = {};
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
                                   showVideo || audioMissing ? video.Status() : audio.Status())
                      << "\n";
        else
            std::cerr << OpenError("ErrOpenVid", shown, video.Status()) << "\n"
                      << OpenError("ErrOpenAud", shown, audio.Status()) << "\n";
        return kExitFailure;
    }
    TPropertiesTexts t = PropertiesTexts(hasVideo ? &video : nullptr, hasAudio ? &audio : nullptr, -1, nullptr, false);
    std::cout << "File: " << name << "\n";
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
        std::cout << "Video\n  " << OpenError("ErrOpenVid", shown, video.Status()) << "\n";
    }
    if (hasAudio) {
        PrintStreams(audio);
        std::cout << "Audio\n";
        Row("Type:", t.AudType);
        Row("Format:", t.AudFmt);
        Row("Length:", t.AudLen);
    } else if (!audioMissing) {
        std::cout << "Audio\n  " << OpenError("ErrOpenAud", shown, audio.Status()) << "\n";
    }
    if (hasVideo) {
        std::cout << "Smart Rendering is used for:\n";
        Row("Preview:", t.SRPreview);
        Row("Result:", t.SRResult);
    }
    return kExitOk;
}

} // namespace tessaly::cli
