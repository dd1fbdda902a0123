// Parsing of the result options of the render and sync commands.
#include "cli/result_args.h"

#include <cctype>
#include <stdexcept>

namespace tessaly::cli {

const char *const kResultOptionsHelp =
    "  --audio-codec C     the new track's codec: default (lossless: FLAC in .mkv, ALAC in .mp4,\n"
    "                      PCM in .mov and .avi; Opus in .webm), pcm, flac, alac, aac, opus,\n"
    "                      ac3, eac3\n"
    "  --audio-bitrate B   bits per second of a lossy codec (\"192k\", \"1.5M\", \"256000\")\n"
    "  --audio-language L  language code of the new track (default: the primary track's)\n"
    "  --audio-title T     title of the new track (default: the primary track's)\n"
    "  --keep K            what else of the video file is kept: all (its audio tracks,\n"
    "                      subtitles, fonts, chapters, metadata; default), video-only (all\n"
    "                      but its audio tracks) or none\n";

const std::set<std::string> &ResultOptionNames()
{
    static const std::set<std::string> names = {"--audio-codec", "--audio-bitrate", "--audio-language",
                                                "--audio-title", "--keep"};
    return names;
}

namespace {

bool ParseBitrate(const std::string &text, int64_t &bitrate)
{
    size_t used = 0;
    double value = 0;
    // std::stod refuses a text without a number and one beyond a double's range by these
    // two exceptions; both are a bit rate not understood.
    try {
        value = std::stod(text, &used);
    } catch (const std::invalid_argument &) {
        return false;
    } catch (const std::out_of_range &) {
        return false;
    }
    std::string unit = text.substr(used);
    double factor = 1;
    if (unit == "k" || unit == "K")
        factor = 1e3;
    else if (unit == "m" || unit == "M")
        factor = 1e6;
    else if (!unit.empty())
        return false;
    value *= factor;
    if (!(value >= 6000 && value <= 6.4e6))
        return false;
    bitrate = int64_t(value + 0.5);
    return true;
}

} // namespace

bool ParseResultOptions(const TArgs &args, const std::string &output, TLavfResultOptions &options,
                        std::string &error)
{
    options.Container = ResultContainerOfName(output);
    if (args.Has("--audio-codec") && !ParseResultAudioCodec(args.Value("--audio-codec"), options.AudioCodec)) {
        error = "unknown audio codec \"" + args.Value("--audio-codec") + "\"";
        return false;
    }
    if (args.Has("--audio-bitrate") && !ParseBitrate(args.Value("--audio-bitrate"), options.AudioBitrate)) {
        error = "--audio-bitrate \"" + args.Value("--audio-bitrate") +
                "\" is not understood: it needs bits per second from 6k to 6.4M (\"192k\", \"1.5M\")";
        return false;
    }
    if (args.Has("--keep") && !ParseKeepStreams(args.Value("--keep"), options.Keep)) {
        error = "--keep takes all, video-only or none";
        return false;
    }
    options.AudioLanguage = args.Value("--audio-language");
    options.AudioTitle = args.Value("--audio-title");
    const bool container = options.Container != rcWave;
    if (!container && (args.Has("--audio-codec") || args.Has("--keep") || args.Has("--audio-bitrate"))) {
        error = "a WAV result takes no --audio-codec, --audio-bitrate or --keep";
        return false;
    }
    return true;
}

} // namespace tessaly::cli
