// Read-back of written AVI files through TAvi2Reader.
#include "support/avi_reader_check.h"

#include "media/input/avi2_reader.h"

namespace tessaly::test {

namespace {

std::string Diff(const char *what, int64_t got, int64_t want)
{
    if (got == want)
        return "";
    return std::string(what) + ": " + std::to_string(got) + ", want " + std::to_string(want) + "\n";
}

} // namespace

std::string CheckWithReader(const std::string &path, const TReaderExpectation &e)
{
    TAvi2Reader reader;
    int32_t rc = reader.Open(path);
    if (rc != 0)
        return "reader Open failed: " + std::to_string(rc) + "\n";
    std::string r;
    r += Diff("valid", reader.IsValid(), 1);
    r += Diff("streams", reader.StreamCount(), e.HasAudio ? 2 : 1);
    r += Diff("video streams", reader.VideoStreamCount(), 1);
    r += Diff("audio streams", reader.AudioStreamCount(), e.HasAudio ? 1 : 0);
    int v = reader.VideoStream(0);
    if (v < 0)
        return r + "no video stream\n";
    AVISTREAMINFO vi;
    reader.GetStreamInfo(v, vi);
    r += Diff("video length", vi.dwLength, int64_t(e.Frames.size()));
    r += Diff("video handler", vi.fccHandler, e.Handler);
    r += Diff("video rate", vi.dwRate, e.Rate);
    r += Diff("video scale", vi.dwScale, e.Scale);
    std::vector<uint8_t> buf;
    for (size_t i = 0; i < e.Frames.size() && r.empty(); ++i) {
        const std::vector<uint8_t> &want = e.Frames[i];
        buf.assign(want.size() + 16, 0xEE);
        int32_t bytes = -1, samples = -1;
        rc = reader.Read(v, int32_t(i), 1, buf.data(), int32_t(buf.size()), &bytes, &samples);
        r += Diff(("frame " + std::to_string(i) + " read").c_str(), rc, 0);
        r += Diff(("frame " + std::to_string(i) + " size").c_str(), bytes, int64_t(want.size()));
        if (bytes == int32_t(want.size()) && !std::equal(want.begin(), want.end(), buf.begin()))
            r += "frame " + std::to_string(i) + ": bytes differ\n";
        if (i < e.Keys.size())
            r += Diff(("frame " + std::to_string(i) + " key flag").c_str(), reader.IsKeyFrame(v, int32_t(i)),
                      e.Keys[i]);
    }
    if (e.HasAudio) {
        int a = reader.AudioStream(0);
        if (a < 0)
            return r + "no audio stream\n";
        AVISTREAMINFO ai;
        reader.GetStreamInfo(a, ai);
        int64_t frames = e.BlockAlign ? int64_t(e.Audio.size() / e.BlockAlign) : 0;
        r += Diff("audio length", ai.dwLength, frames);
        r += Diff("audio sample size", ai.dwSampleSize, e.BlockAlign);
        r += Diff("audio initial frames", ai.dwInitialFrames, e.AudioInitialFrames);
        int32_t size = 0;
        reader.ReadFormat(a, size, nullptr);
        std::vector<uint8_t> fmt(size_t(std::max(size, 0)));
        if (size >= 16 && reader.ReadFormat(a, size, fmt.data()) == 0) {
            r += Diff("audio channels", fmt[2] | (fmt[3] << 8), e.Channels);
            r += Diff("audio rate", int64_t(fmt[4] | (fmt[5] << 8) | (fmt[6] << 16)) | (int64_t(fmt[7]) << 24),
                      e.SampleRate);
        } else {
            r += "audio format unreadable\n";
        }
        if (frames > 0) {
            buf.assign(e.Audio.size(), 0xEE);
            int32_t bytes = 0, samples = 0;
            rc = reader.Read(a, 0, int32_t(frames), buf.data(), int32_t(buf.size()), &bytes, &samples);
            r += Diff("audio read", rc, 0);
            r += Diff("audio samples read", samples, frames);
            if (buf != e.Audio)
                r += "audio bytes differ\n";
        }
    }
    return r;
}

} // namespace tessaly::test
