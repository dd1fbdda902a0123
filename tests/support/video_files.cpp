// Test AVI files made with the ffmpeg command and their reference decodes.
#include "video_files.h"

#include "packed_avi.h"
#include "test_support.h"
#include "video_test_support.h"

#include <algorithm>
#include <sstream>

namespace tessaly::test {
namespace {

struct TVideoFileLayout {
    const char *Name;
    const char *Args;   // encoder options behind the lavfi input
    uint32_t Width, Height;
    int Frames;
    bool BottomUp = false; // uncompressed rows turned to bottom-up order after writing
    bool Packed = false;   // B-frames repacked into the chunk of the reference before them
};

const TVideoFileLayout kSpecs[] = {
    {"mpeg4", "-c:v mpeg4 -g 12 -bf 0 -q:v 4", 176, 144, 60},
    {"mjpeg", "-c:v mjpeg -q:v 4", 176, 144, 30},
    {"h264", "-c:v libx264 -g 12 -bf 0 -sc_threshold 0 -pix_fmt yuv420p -threads 1", 176, 144, 40},
    {"raw24", "-c:v rawvideo -pix_fmt bgr24", 66, 50, 12},
    {"pal8", "-c:v rawvideo -pix_fmt pal8", 66, 50, 12},
    {"raw16", "-c:v rawvideo -pix_fmt rgb555le", 66, 50, 6},
    {"raw24up", "-vf vflip -c:v rawvideo -pix_fmt bgr24", 66, 50, 12, true},
    {"pal8up", "-vf vflip -c:v rawvideo -pix_fmt pal8", 66, 50, 12, true},
    {"raw16up", "-vf vflip -c:v rawvideo -pix_fmt rgb555le", 66, 50, 6, true},
    {"raw32up", "-vf vflip -c:v rawvideo -pix_fmt bgra", 66, 50, 6, true},
    {"mpeg4b", "-c:v mpeg4 -g 12 -bf 2 -q:v 4 -vtag XVID", 176, 144, 60},
    {"h264b", "-c:v libx264 -g 12 -bf 2 -sc_threshold 0 -pix_fmt yuv420p -threads 1", 176, 144, 60},
    {"mpeg4packed", "-c:v mpeg4 -g 12 -bf 1 -q:v 4 -vtag XVID", 176, 144, 60, false, true},
    {"drop", "-vf select='not(between(n\\,20\\,22))' -fps_mode passthrough -c:v mpeg4 -g 12 -bf 0 -q:v 4", 176, 144, 40},
};

TTempDir &Dir()
{
    static TTempDir dir;
    return dir;
}

// Stored frame numbers of the packets FFmpeg reads, from their time stamps (the empty
// chunks of dropped frames are skipped by its reader but still count as frames).
std::vector<int> PacketFrames(const std::string &path)
{
    std::string out;
    std::vector<int> frames;
    if (RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=dts -of csv=p=0 " + ShellQuote(path),
                   &out) != 0)
        return frames;
    // One line per packet; a packet carrying side data adds lines that hold no number.
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] >= '0' && line[0] <= '9')
            frames.push_back(std::stoi(line));
    return frames;
}

// ffmpeg stores uncompressed pictures top row first (a negative height). Written from a
// flipped source, the same bytes read bottom-up show the source picture once the height
// in the stream format is made positive.
bool MakeBottomUp(const std::string &path)
{
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    const char tag[4] = {'s', 't', 'r', 'f'};
    auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    if (at == bytes.end() || size_t(bytes.end() - at) < 8 + 40)
        return false;
    uint8_t *height = &*at + 8 + 8;
    const int32_t h = int32_t(uint32_t(height[0]) | uint32_t(height[1]) << 8 | uint32_t(height[2]) << 16 |
                              uint32_t(height[3]) << 24);
    if (h >= 0)
        return false;
    const uint32_t v = uint32_t(-h);
    for (int i = 0; i < 4; ++i)
        height[i] = uint8_t(v >> (8 * i));
    return WriteFileBytes(path, bytes);
}

std::unique_ptr<TVideoFile> Make(const TVideoFileLayout &layout)
{
    auto f = std::make_unique<TVideoFile>();
    f->Path = Dir().File(std::string(layout.Name) + ".avi");
    f->Width = layout.Width;
    f->Height = layout.Height;
    const std::string size = std::to_string(layout.Width) + "x" + std::to_string(layout.Height);
    if (!Ffmpeg("-f lavfi -i testsrc2=size=" + size + ":rate=25 -frames:v " + std::to_string(layout.Frames) + " " +
                layout.Args + " " + ShellQuote(f->Path)))
        return nullptr;
    if (layout.BottomUp && !MakeBottomUp(f->Path))
        return nullptr;
    if (layout.Packed && !PackBFrames(f->Path))
        return nullptr;
    const std::string all = FfmpegBgr24(f->Path);
    const size_t frameSize = Bgr24FrameSize(layout.Width, layout.Height);
    const std::vector<int> stamps = PacketFrames(f->Path);
    if (all.empty() || all.size() % frameSize != 0 || stamps.size() != all.size() / frameSize)
        return nullptr;
    // Every stored frame shows the picture of the last packet at or before it.
    f->Frames = stamps.back() + 1;
    size_t next = 0;
    for (int k = 0; k < f->Frames; ++k) {
        while (next < stamps.size() && stamps[next] <= k)
            ++next;
        if (next == 0)
            return nullptr;
        f->Reference.push_back(all.substr((next - 1) * frameSize, frameSize));
    }
    return f;
}

} // namespace

const TVideoFile *VideoFile(const std::string &name)
{
    static std::map<std::string, std::unique_ptr<TVideoFile>> made;
    auto it = made.find(name);
    if (it != made.end())
        return it->second.get();
    for (const TVideoFileLayout &layout : kSpecs)
        if (name == layout.Name)
            return (made[name] = Make(layout)).get();
    return nullptr;
}

const std::string &VideoFileDir() { return Dir().Path(); }

} // namespace tessaly::test
