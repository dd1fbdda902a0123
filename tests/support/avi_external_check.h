// Independent judges of a written AVI for tests: FFmpeg (ffprobe counts, a clean full
// decode, the exact stream bytes), MKVToolNix (mkvmerge -J) and GStreamer (discoverer,
// avidemux pass). Each check returns an empty text when it passes, else what failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

struct TAviExpectation {
    int VideoFrames = 0;
    int EmptyFrames = 0;                 // zero-size frames: FFmpeg reads no packet for them
    uint32_t Rate = 25, Scale = 1;       // video frame rate rate/scale
    bool HasAudio = false;
    int64_t AudioSampleFrames = 0;
    uint32_t SampleRate = 0, BlockAlign = 0;
    std::vector<uint8_t> VideoBytes;     // every video chunk's data, concatenated
    std::vector<uint8_t> AudioBytes;     // every audio chunk's data, concatenated
    bool DecodeVideo = true;             // the video is decodable (not synthetic bytes)
};

// ffprobe -count_packets: stream layout, header lengths, packet counts and byte sums;
// the exact bytes of both streams through -c copy; and, when DecodeVideo, a full
// decode (ffmpeg -v error ... -f null -) that prints nothing.
std::string CheckWithFfmpeg(const std::string &path, const TAviExpectation &e);
// mkvmerge -J: an AVI container, recognised, with the expected tracks, no errors or warnings.
std::string CheckWithMkvmerge(const std::string &path, const TAviExpectation &e);
// gst-discoverer-1.0 (container, streams, duration within 50 ms) and a gst-launch-1.0
// avidemux pass whose video and audio bytes equal the expected bytes.
std::string CheckWithGStreamer(const std::string &path, const TAviExpectation &e);
// All of the above, their failures joined.
std::string CheckAviExternally(const std::string &path, const TAviExpectation &e);

// The per-packet MD5 texts of `ffmpeg <inputArgs> -map 0:v -c copy -f framemd5 -`.
std::vector<std::string> VideoPacketMd5s(const std::string &inputArgs);

} // namespace tessaly::test
