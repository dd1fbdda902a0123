// Container results read by FFmpeg, MKVToolNix, GStreamer and mpv.
#include "support/result_readers.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/cli_support.h"
#include "support/test_support.h"

namespace tessaly::test {

namespace {

std::string Expect(bool ok, const std::string &what)
{
    return ok ? std::string() : what + "\n";
}

std::string Extension(const std::string &path)
{
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

// How mkvmerge and GStreamer name the container of a result with this extension.
struct TContainerNames {
    const char *Mkvmerge;
    const char *Discoverer;
};

TContainerNames NamesOf(const std::string &path)
{
    const std::string ext = Extension(path);
    if (ext == ".mkv" || ext == ".mka")
        return {"Matroska", "Matroska"};
    if (ext == ".webm")
        return {"Matroska", "WebM"};
    if (ext == ".avi")
        return {"AVI", "AVI"};
    return {"QuickTime/MP4", "Quicktime"};
}

size_t Count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string Tracks(int audio, int subtitles)
{
    return "1 video, " + std::to_string(audio) + " audio, " + std::to_string(subtitles) + " subtitle tracks";
}

} // namespace

std::string CheckResultWithFfprobe(const std::string &path, const TResultLayout &layout)
{
    std::string streams, duration, err;
    const std::string q = ShellQuote(path);
    const int rc = RunCommand("ffprobe -v error -show_entries stream=codec_name,codec_type,avg_frame_rate -of csv=p=0 " +
                                  q + " 2>&1",
                              &streams);
    RunCommand("ffprobe -v error -show_entries format=duration -of csv=p=0 " + q + " 2>&1", &duration);
    // codec_name,codec_type,avg_frame_rate per stream
    std::vector<std::vector<std::string>> rows;
    for (const std::string &line : SplitLines(streams)) {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
            fields.push_back(line.substr(start, comma - start));
        fields.push_back(line.substr(start));
        if (!line.empty())
            rows.push_back(fields);
    }
    std::string r = Expect(rc == 0, "ffprobe: rc " + std::to_string(rc));
    int audio = 0, subtitles = 0;
    bool malformed = false;
    for (const auto &row : rows) {
        malformed = malformed || row.size() != 3;
        audio += row.size() == 3 && row[1] == "audio";
        subtitles += row.size() == 3 && row[1] == "subtitle";
    }
    if (malformed || rows.size() < 2)
        return r + "ffprobe: " + streams + "\n";
    r += Expect(rows[0][1] == "video", "ffprobe: the first stream is " + rows[0][1]);
    r += Expect(rows[0][2] == layout.FrameRate, "ffprobe: video frame rate " + rows[0][2] + ", want " + layout.FrameRate);
    r += Expect(rows[1][1] == "audio" && rows[1][0] == layout.MixCodec,
                "ffprobe: the second stream is " + rows[1][1] + " " + rows[1][0] + ", want the " + layout.MixCodec + " mix");
    r += Expect(audio == layout.AudioTracks && subtitles == layout.SubtitleTracks,
                "ffprobe: " + streams + " want " + Tracks(layout.AudioTracks, layout.SubtitleTracks));
    double seconds = -1;
    std::sscanf(duration.c_str(), "%lf", &seconds);
    r += Expect(std::fabs(seconds - layout.Seconds) < 0.1,
                "ffprobe: length " + duration + " want " + std::to_string(layout.Seconds) + " s");
    return r;
}

std::string CheckResultDecodes(const std::string &path)
{
    std::string out;
    const int rc = RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -map 0:v -map 0:a? -f null - 2>&1",
                              &out);
    return Expect(rc == 0 && out.empty(), "ffmpeg decode: rc " + std::to_string(rc) + " " + out);
}

std::string CheckResultWithMkvmerge(const std::string &path, const TResultLayout &layout)
{
    std::string json;
    const int rc = RunCommand("mkvmerge -J " + ShellQuote(path) + " 2>&1", &json);
    std::string flat;
    for (char c : json)
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            flat += c;
    const std::string container = NamesOf(path).Mkvmerge;
    std::string r;
    r += Expect(rc == 0, "mkvmerge -J: rc " + std::to_string(rc));
    r += Expect(Count(flat, "\"recognized\":true,\"supported\":true,\"type\":\"" + container + "\"") == 1,
                "mkvmerge: not read as " + container);
    r += Expect(Count(flat, "\"type\":\"video\"") == 1 &&
                    Count(flat, "\"type\":\"audio\"") == size_t(layout.AudioTracks) &&
                    Count(flat, "\"type\":\"subtitles\"") == size_t(layout.SubtitleTracks),
                "mkvmerge: want " + Tracks(layout.AudioTracks, layout.SubtitleTracks));
    r += Expect(Count(flat, "\"errors\":[]") == 1 && Count(flat, "\"warnings\":[]") == 1,
                "mkvmerge reports errors or warnings");
    return r.empty() ? r : r + json;
}

std::string CheckResultWithGStreamer(const std::string &path, const TResultLayout &layout)
{
    std::string out;
    const int rc = RunCommand("gst-discoverer-1.0 " + ShellQuote(path) + " 2>&1", &out);
    double seconds = -1;
    if (const size_t at = out.find("Duration: "); at != std::string::npos) {
        int h = 0, m = 0;
        double s = 0;
        if (std::sscanf(out.c_str() + at + 10, "%d:%d:%lf", &h, &m, &s) == 3)
            seconds = h * 3600.0 + m * 60.0 + s;
    }
    const std::string container = NamesOf(path).Discoverer;
    std::string r;
    r += Expect(rc == 0 && Count(out, "rror") == 0 && Count(out, "arning") == 0 && Count(out, "issing") == 0,
                "gst-discoverer: rc " + std::to_string(rc));
    r += Expect(Count(out, "container #0: ") == 1 && Count(out, container) > 0,
                "gst-discoverer: not read as " + container);
    r += Expect(Count(out, " video #") == 1 && Count(out, " audio #") == size_t(layout.AudioTracks) &&
                    Count(out, " subtitles #") == size_t(layout.SubtitleTracks),
                "gst-discoverer: want " + Tracks(layout.AudioTracks, layout.SubtitleTracks));
    r += Expect(std::fabs(seconds - layout.Seconds) < 0.1,
                "gst-discoverer: length " + std::to_string(seconds) + " want " + std::to_string(layout.Seconds) + " s");
    return r.empty() ? r : r + out;
}

bool MpvInstalled()
{
    return RunCommand("command -v mpv >/dev/null 2>&1") == 0;
}

std::string CheckResultPlaysInMpv(const std::string &path)
{
    // Played as fast as it decodes; the player's own lines (the tracks it chose, its
    // outputs, the end) shown besides warnings and errors.
    std::string out;
    const int rc = RunCommand("timeout 120 mpv --no-config --vo=null --ao=null --untimed --ao-null-untimed "
                              "--msg-level=all=warn,cplayer=info " + ShellQuote(path) + " 2>&1 </dev/null",
                              &out);
    std::string r = Expect(rc == 0, "mpv: rc " + std::to_string(rc));
    r += Expect(Count(out, " (+) Video --vid=1 ") == 1 && Count(out, " (+) Audio --aid=1 ") == 1,
                "mpv: the video and the mix are not the tracks it plays");
    r += Expect(Count(out, "Exiting... (End of file)") == 1, "mpv: did not play to the end");
    for (const std::string &line : SplitLines(out)) {
        if (line.empty() || line.rfind(" (+) ", 0) == 0 || line.rfind("     ", 0) == 0 || line.rfind("VO: ", 0) == 0 ||
            line.rfind("AO: ", 0) == 0 || line == "Exiting... (End of file)")
            continue;
        // Played untimed, the player's estimate of audio and video drift depends on the
        // machine's load rather than on the file.
        if (line.rfind("Audio/Video desynchronisation detected!", 0) == 0 ||
            line.rfind("hardware, temporary CPU spikes", 0) == 0 || line.rfind("position will not match", 0) == 0)
            continue;
        // AVI stores no presentation times: a player numbers the pictures of a codec
        // that reorders them itself, and says so.
        if (Extension(path) == ".avi" &&
            (line.rfind("No video PTS! Making something up.", 0) == 0 || line == "Ignoring further missing PTS warnings."))
            continue;
        r += "mpv: " + line + "\n";
    }
    return r.empty() ? r : r + out;
}

std::string CheckResultReaders(const std::string &path, const TResultLayout &layout)
{
    return CheckResultWithFfprobe(path, layout) + CheckResultDecodes(path) + CheckResultWithMkvmerge(path, layout) +
           CheckResultWithGStreamer(path, layout) + (MpvInstalled() ? CheckResultPlaysInMpv(path) : std::string());
}

} // namespace tessaly::test
