// Checks of written AVI files with FFmpeg, MKVToolNix and GStreamer.
#include "support/avi_external_check.h"

#include <map>
#include <sstream>

#include "support/test_support.h"

namespace tessaly::test {

namespace {

// key=value lines of ffprobe's flat output.
std::map<std::string, std::string> ParseFlat(const std::string &text)
{
    std::map<std::string, std::string> m;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string v = line.substr(eq + 1);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
            v = v.substr(1, v.size() - 2);
        m[line.substr(0, eq)] = v;
    }
    return m;
}

std::string Expect(bool ok, const std::string &what)
{
    return ok ? std::string() : what + "\n";
}

std::string CheckStreamBytes(const std::string &path, const std::string &map, const std::string &format,
                             const std::vector<uint8_t> &want, const std::string &what)
{
    TTempDir dir;
    std::string out = dir.File("stream.bin");
    std::string log;
    int rc = RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(path) + " -map " + map + " -c copy -f " +
                            format + " " + ShellQuote(out) + " 2>&1",
                        &log);
    if (rc != 0 || !log.empty())
        return what + ": ffmpeg -c copy failed: " + log + "\n";
    std::vector<uint8_t> got = ReadFileBytes(out);
    return Expect(got == want, what + ": " + std::to_string(got.size()) + " bytes copied out, want " +
                                   std::to_string(want.size()) + " (or contents differ)");
}

} // namespace

std::string CheckWithFfmpeg(const std::string &path, const TAviExpectation &e)
{
    std::string r, text;
    std::string q = ShellQuote(path);
    int rc = RunCommand("ffprobe -v error -count_packets -show_entries "
                        "stream=codec_type,codec_name,nb_frames,nb_read_packets,sample_rate,channels -of flat " +
                            q + " 2>&1",
                        &text);
    auto m = ParseFlat(text);
    r += Expect(rc == 0 && text.find("error") == std::string::npos, "ffprobe failed: " + text);
    std::string v = "streams.stream.0.", a = "streams.stream.1.";
    r += Expect(m[v + "codec_type"] == "video", "stream 0 is " + m[v + "codec_type"] + ", want video");
    r += Expect(m[v + "nb_frames"] == std::to_string(e.VideoFrames),
                "video nb_frames " + m[v + "nb_frames"] + " want " + std::to_string(e.VideoFrames));
    std::string packets = std::to_string(e.VideoFrames - e.EmptyFrames);
    r += Expect(m[v + "nb_read_packets"] == packets, "video packets " + m[v + "nb_read_packets"] + " want " + packets);
    if (e.HasAudio) {
        r += Expect(m[a + "codec_type"] == "audio" && m[a + "codec_name"] == "pcm_s16le",
                    "stream 1 is " + m[a + "codec_type"] + " " + m[a + "codec_name"] + ", want audio pcm_s16le");
        r += Expect(m[a + "nb_frames"] == std::to_string(e.AudioSampleFrames),
                    "audio length " + m[a + "nb_frames"] + " want " + std::to_string(e.AudioSampleFrames));
        r += Expect(m[a + "sample_rate"] == std::to_string(e.SampleRate), "audio rate " + m[a + "sample_rate"]);
    } else {
        r += Expect(m.count(a + "codec_type") == 0, "unexpected second stream");
    }
    r += CheckStreamBytes(path, "0:v", "rawvideo", e.VideoBytes, "video bytes (ffmpeg -c copy)");
    if (e.HasAudio)
        r += CheckStreamBytes(path, "0:a", "s16le", e.AudioBytes, "audio bytes (ffmpeg -c copy)");
    std::string err;
    std::string decode = e.DecodeVideo ? "-map 0" : "-map 0:a?";
    rc = RunCommand("ffmpeg -nostdin -v error -i " + q + " " + decode + " -f null - 2>&1 >/dev/null", &err);
    r += Expect(rc == 0 && err.empty(), "ffmpeg full decode: rc " + std::to_string(rc) + " " + err);
    return r;
}

std::string CheckWithMkvmerge(const std::string &path, const TAviExpectation &e)
{
    std::string json;
    int rc = RunCommand("mkvmerge -J " + ShellQuote(path) + " 2>&1", &json);
    std::string flat;
    for (char c : json)
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            flat += c;
    auto count = [&](const std::string &s) {
        size_t n = 0;
        for (size_t p = flat.find(s); p != std::string::npos; p = flat.find(s, p + 1))
            ++n;
        return n;
    };
    std::string r;
    r += Expect(rc == 0, "mkvmerge -J rc " + std::to_string(rc));
    r += Expect(flat.find("\"recognized\":true") != std::string::npos && count("\"type\":\"AVI\"") == 1,
                "mkvmerge: not recognised as AVI");
    r += Expect(count("\"type\":\"video\"") == 1, "mkvmerge: video tracks != 1");
    r += Expect(count("\"type\":\"audio\"") == (e.HasAudio ? 1u : 0u), "mkvmerge: wrong audio track count");
    r += Expect(flat.find("\"errors\":[]") != std::string::npos && flat.find("\"warnings\":[]") != std::string::npos,
                "mkvmerge reports errors or warnings");
    return r.empty() ? r : r + json;
}

std::string CheckWithGStreamer(const std::string &path, const TAviExpectation &e)
{
    std::string r, out;
    std::string q = ShellQuote(path);
    int rc = RunCommand("gst-discoverer-1.0 " + q + " 2>&1", &out);
    double want = double(e.VideoFrames) * e.Scale / e.Rate;
    if (e.HasAudio && e.SampleRate)
        want = std::max(want, double(e.AudioSampleFrames) / e.SampleRate);
    double secs = -1;
    size_t p = out.find("Duration: ");
    if (p != std::string::npos) {
        int h = 0, mi = 0;
        double s = 0;
        if (std::sscanf(out.c_str() + p + 10, "%d:%d:%lf", &h, &mi, &s) == 3)
            secs = h * 3600.0 + mi * 60.0 + s;
    }
    bool clean = out.find("rror") == std::string::npos && out.find("arning") == std::string::npos;
    r += Expect(rc == 0 && clean && out.find("AVI") != std::string::npos && out.find(" video #") != std::string::npos &&
                    (out.find(" audio #") != std::string::npos) == e.HasAudio,
                "gst-discoverer: " + out);
    r += Expect(secs > want - 0.05 && secs < want + 0.05,
                "gst-discoverer duration " + std::to_string(secs) + " s, want " + std::to_string(want));

    TTempDir dir;
    std::string cmd = "GST_DEBUG=0 gst-launch-1.0 -q filesrc location=" + q +
                      " ! avidemux name=d d.video_0 ! queue ! filesink location=" + ShellQuote(dir.File("v.bin"));
    if (e.HasAudio)
        cmd += " d.audio_0 ! queue ! filesink location=" + ShellQuote(dir.File("a.bin"));
    std::string log;
    rc = RunCommand(cmd + " 2>&1", &log);
    r += Expect(rc == 0 && log.empty(), "gst-launch avidemux: rc " + std::to_string(rc) + " " + log);
    r += Expect(ReadFileBytes(dir.File("v.bin")) == e.VideoBytes, "gst avidemux: video bytes differ");
    if (e.HasAudio)
        r += Expect(ReadFileBytes(dir.File("a.bin")) == e.AudioBytes, "gst avidemux: audio bytes differ");
    return r;
}

std::string CheckAviExternally(const std::string &path, const TAviExpectation &e)
{
    return CheckWithFfmpeg(path, e) + CheckWithMkvmerge(path, e) + CheckWithGStreamer(path, e);
}

std::vector<std::string> VideoPacketMd5s(const std::string &inputArgs)
{
    std::string text;
    RunCommand("ffmpeg -nostdin -v error " + inputArgs + " -map 0:v -c copy -f framemd5 - 2>/dev/null", &text);
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        size_t comma = line.rfind(',');
        size_t start = line.find_first_not_of(' ', comma + 1);
        // Size and hash: the size column precedes the hash.
        size_t prev = line.rfind(',', comma - 1);
        out.push_back(line.substr(prev + 1, comma - prev - 1) + ":" + line.substr(start));
    }
    return out;
}

} // namespace tessaly::test
