// Independent readers of a container result for tests: ffprobe, a full FFmpeg decode,
// MKVToolNix (mkvmerge -J), GStreamer (gst-discoverer-1.0) and, where installed, the mpv
// player. Each check returns an empty text when the reader takes the file as expected,
// else what it reported.
#pragma once

#include <string>

namespace tessaly::test {

struct TResultLayout {
    int AudioTracks = 1;        // the mix first, then kept tracks
    int SubtitleTracks = 0;
    std::string MixCodec;       // FFmpeg's name of the first audio track's codec ("flac")
    double Seconds = 0;         // length of the video
    std::string FrameRate;      // ffprobe's avg_frame_rate of the video ("25/1")
};

// ffprobe: no message, the video first, then the mix in its codec, the tracks of each
// kind, the video's average frame rate and the file's length within 0.1 s.
std::string CheckResultWithFfprobe(const std::string &path, const TResultLayout &layout);
// ffmpeg -v error: every video and audio track decoded without a message.
std::string CheckResultDecodes(const std::string &path);
// mkvmerge -J: recognised as the container of the file's extension, the tracks of each
// kind, no errors or warnings.
std::string CheckResultWithMkvmerge(const std::string &path, const TResultLayout &layout);
// gst-discoverer-1.0: the container of the extension, the tracks of each kind, the length
// within 0.1 s, nothing missing, no error or warning.
std::string CheckResultWithGStreamer(const std::string &path, const TResultLayout &layout);
// Whether the mpv player is installed.
bool MpvInstalled();
// mpv --vo=null --ao=null plays the file to its end, the video and the mix chosen first,
// exit status 0, no warning or error line.
std::string CheckResultPlaysInMpv(const std::string &path);
// All of the above (mpv only where installed), their failures joined.
std::string CheckResultReaders(const std::string &path, const TResultLayout &layout);

} // namespace tessaly::test
