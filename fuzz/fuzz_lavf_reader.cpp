// libFuzzer target: opens arbitrary bytes through the FFmpeg-backed readers (the audio
// source and the frame-exact video source with its packet index), then reads a few
// samples of every audio stream and decodes and copies a few frames, including ones
// before the start and past the end. The index cache goes to a private folder that is
// emptied after every input.
#include "media/common/io_image.h"
#include "media/input/lavf/lavf_audio.h"
#include "media/input/lavf/lavf_video.h"
#include "media/input/video_source.h"
#include "memory_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tessaly;

namespace {

const std::filesystem::path &CacheFolder()
{
    static const std::filesystem::path folder = [] {
        const char *tmp = std::getenv("TMPDIR");
        std::filesystem::path p = std::filesystem::path(tmp && *tmp ? tmp : "/tmp") /
                                  ("fuzz_lavf_cache_" + std::to_string(getpid()));
        std::filesystem::create_directories(p);
        setenv("XDG_CACHE_HOME", p.c_str(), 1);
        return p;
    }();
    return folder;
}

void ReadAudio(TLavfAudio &audio)
{
    std::vector<uint8_t> buffer;
    for (size_t s = 0; s < audio.Streams().size(); ++s) {
        const TAudioStreamRecord &rec = audio.Streams()[s];
        if (rec.Info.fccType != streamtypeAUDIO || rec.Format.size() < 16)
            continue;
        const uint32_t align = std::max<uint32_t>(rec.Info.dwSampleSize, 1);
        if (align > 4096)
            continue;
        buffer.resize(size_t(align) * 1024);
        const int64_t first = rec.Start, length = int64_t(rec.Info.dwLength);
        for (int64_t at : {first, first + length / 2, first + length - 10, first + length + 5})
            audio.Read(int(s), std::max(at, first), 1024, buffer.data());
    }
}

void ReadVideo(TLavfVideoSource &video)
{
    const int32_t frames = video.FrameCount();
    // Pictures beyond 16 megapixels are not decoded here: they only slow the run.
    const bool decode = uint64_t(video.Width()) * video.Height() <= (16u << 20);
    std::unique_ptr<TIOImage> image;
    if (decode && video.Width() > 0 && video.Height() > 0 && video.Width() <= 65535 && video.Height() <= 65535)
        image = std::make_unique<TIOImage>(video.Width(), video.Height(), pf24Bit);
    for (int32_t n : {-1, 0, 1, frames / 2, frames - 1, frames}) {
        video.IsKeyFrame(n);
        TVideoPacket packet;
        video.ReadPacket(n, packet);
        if (image)
            video.GetFrame(n, *image);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::filesystem::path &cache = CacheFolder();
    const std::string path = tessaly::fuzz::WriteMemoryFile("fuzz_lavf", data, size);
    if (path.empty())
        return 0;
    {
        TLavfAudio audio;
        if (audio.Open(path) == meOk)
            ReadAudio(audio);
    }
    {
        TLavfVideoSource video;
        if (video.Open(path))
            ReadVideo(video);
    }
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(cache, ec))
        std::filesystem::remove_all(entry.path(), ec);
    return 0;
}
