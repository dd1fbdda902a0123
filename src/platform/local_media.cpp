// Local-only opening of media files with libavformat.
#include "platform/local_media.h"

#include <cerrno>
#include <cstring>

#include "platform/riff_check.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace tessaly {

namespace {

// Demuxers whose input is a list of other files or URLs, or a description of a network
// session: opening such a file would read something the user did not name.
const char *const kRefusedDemuxers[] = {"hls", "dash", "concat", "sdp", "rtsp", "rtp", "sap", "imf",
                                        "webm_dash_manifest"};

AVDictionary *LocalOptions()
{
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    return options;
}

} // namespace

bool IsRefusedDemuxer(const char *name)
{
    if (!name)
        return true;
    // A demuxer may carry several comma-separated names ("mov,mp4,m4a,3gp,3g2,mj2").
    std::string names(name);
    size_t start = 0;
    while (start <= names.size()) {
        size_t comma = names.find(',', start);
        std::string one = names.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        for (const char *refused : kRefusedDemuxers)
            if (one == refused)
                return true;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return false;
}

int OpenLocalMedia(const std::string &fileName, AVFormatContext **context)
{
    *context = nullptr;
    // A folder or a pipe is never opened (reading a pipe would wait for a writer).
    if (const TMediaError path = CheckMediaPath(fileName); path != meOk)
        return path == meFileNotFound ? AVERROR(ENOENT) : path == meIsFolder ? AVERROR(EISDIR) : AVERROR(ENODEV);
    // "file:" keeps a name such as "http:x" or "concat:a|b" from being read as a protocol.
    const std::string url = "file:" + fileName;
    AVDictionary *options = LocalOptions();
    AVIOContext *io = nullptr;
    int r = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, nullptr, &options);
    av_dict_free(&options);
    if (r < 0)
        return r;
    const AVInputFormat *format = nullptr;
    r = av_probe_input_buffer2(io, &format, url.c_str(), nullptr, 0, 0);
    avio_closep(&io);
    if (r < 0 || !format)
        return r < 0 ? r : AVERROR_INVALIDDATA;
    if (IsRefusedDemuxer(format->name))
        return AVERROR(EPERM);
    // The AVI demuxer sizes its tables by the index counts before reading the entries.
    if (TMediaProblem problem; std::strcmp(format->name, "avi") == 0 && !AviIndexesFit(fileName, problem))
        return AVERROR_INVALIDDATA;
    options = LocalOptions();
    AVFormatContext *ctx = nullptr;
    r = avformat_open_input(&ctx, url.c_str(), format, &options);
    av_dict_free(&options);
    if (r < 0)
        return r;
    *context = ctx;
    return 0;
}

} // namespace tessaly
