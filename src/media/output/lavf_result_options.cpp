// Container, codec and stream-keeping choices of a container result.
#include "media/output/lavf_result_options.h"

#include <cctype>

namespace tessaly {

std::string LowerAscii(std::string text)
{
    for (char &c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

namespace {

const char *const kCodecNames[] = {"default", "pcm", "flac", "alac", "aac", "opus", "ac3", "eac3"};

} // namespace

TResultContainer ResultContainerOfName(const std::string &fileName)
{
    size_t slash = fileName.rfind('/');
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return rcWave;
    const std::string ext = LowerAscii(fileName.substr(dot));
    if (ext == ".mkv" || ext == ".mka")
        return rcMatroska;
    if (ext == ".webm")
        return rcWebm;
    if (ext == ".mp4" || ext == ".m4v")
        return rcMp4;
    if (ext == ".mov")
        return rcMov;
    if (ext == ".avi")
        return rcAvi;
    return rcWave;
}

const char *ResultContainerExtension(TResultContainer container)
{
    switch (container) {
    case rcAvi: return ".avi";
    case rcMatroska: return ".mkv";
    case rcWebm: return ".webm";
    case rcMp4: return ".mp4";
    case rcMov: return ".mov";
    case rcWave: break;
    }
    return ".wav";
}

const char *ResultMuxerName(TResultContainer container)
{
    switch (container) {
    case rcAvi: return "avi";
    case rcMatroska: return "matroska";
    case rcWebm: return "webm";
    case rcMp4: return "mp4";
    case rcMov: return "mov";
    case rcWave: break;
    }
    return "";
}

bool ParseResultAudioCodec(const std::string &name, TResultAudioCodec &codec)
{
    const std::string lower = LowerAscii(name);
    for (int i = 0; i < int(sizeof(kCodecNames) / sizeof(kCodecNames[0])); ++i)
        if (lower == kCodecNames[i]) {
            codec = TResultAudioCodec(i);
            return true;
        }
    return false;
}

const char *ResultAudioCodecName(TResultAudioCodec codec)
{
    return kCodecNames[int(codec)];
}

TResultAudioCodec DefaultAudioCodec(TResultContainer container)
{
    switch (container) {
    case rcMatroska: return acFlac;
    case rcWebm: return acOpus;
    case rcMp4: return acAlac;
    default: return acPcm;
    }
}

bool IsLosslessCodec(TResultAudioCodec codec)
{
    return codec == acPcm || codec == acFlac || codec == acAlac;
}

bool ParseKeepStreams(const std::string &name, TKeepStreams &keep)
{
    const std::string lower = LowerAscii(name);
    if (lower == "all")
        keep = kpAll;
    else if (lower == "video-only")
        keep = kpVideoOnly;
    else if (lower == "none")
        keep = kpNone;
    else
        return false;
    return true;
}

} // namespace tessaly
