// Benchmark of video frame delivery: makes a 720 x 576 MPEG-4 AVI with the ffmpeg command
// (or takes a file named on the command line), then prints frames per second for
// sequential and random access through the video source front-end, and how many frames
// each random request decoded (at most one group of pictures).
//   bench_video_decode [file.avi] [--frames N] [--gop G]
#include "media/input/avi2_decoder.h"
#include "media/input/io_movie_reader.h"
#include "shell/messages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>

using namespace tessaly;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

bool MakeFile(const std::string &path, int frames, int gop)
{
    const std::string cmd = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=720x576:rate=25 -frames:v " +
                            std::to_string(frames) + " -c:v mpeg4 -q:v 3 -bf 0 -g " + std::to_string(gop) + " '" +
                            path + "'";
    return std::system(cmd.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string path;
    int frames = 500, gop = 25;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--frames" && i + 1 < argc)
            frames = std::atoi(argv[++i]);
        else if (a == "--gop" && i + 1 < argc)
            gop = std::atoi(argv[++i]);
        else
            path = a;
    }
    bool made = false;
    if (path.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_video_decode_" + std::to_string(getpid()) + ".avi";
        std::printf("making %d frames of 720x576 MPEG-4 (key frame every %d) ...\n", frames, gop);
        if (!MakeFile(path, frames, gop)) {
            std::fprintf(stderr, "ffmpeg failed\n");
            return 1;
        }
        made = true;
    }

    TIOMovieReader reader;
    if (!reader.Open(path, "ODML|-1")) {
        std::fprintf(stderr, "cannot open %s (media error %d)\n", path.c_str(), int(reader.Status()));
        return 1;
    }
    auto image = reader.NewFrameImage();
    const int count = reader.FrameCount();
    std::printf("%s: %u x %u, %d frames, %s\n", path.c_str(), reader.Width(), reader.Height(), count,
                SourceDescriptionText(reader.Description()).c_str());

    auto t0 = Clock::now();
    for (int n = 0; n < count; ++n)
        if (!reader.GetFrame(n, *image)) {
            std::fprintf(stderr, "frame %d failed\n", n);
            return 1;
        }
    auto t1 = Clock::now();
    std::printf("sequential: %d frames in %.3f s = %.1f frames/s\n", count, Seconds(t0, t1), count / Seconds(t0, t1));

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pick(0, count - 1);
    const int requests = std::max(50, count / 5);
    t0 = Clock::now();
    for (int i = 0; i < requests; ++i)
        if (!reader.GetFrame(pick(random), *image)) {
            std::fprintf(stderr, "random request %d failed\n", i);
            return 1;
        }
    t1 = Clock::now();
    std::printf("random:     %d requests in %.3f s = %.1f frames/s delivered\n", requests, Seconds(t0, t1),
                requests / Seconds(t0, t1));

    // The decode work per random request, counted on the decoder itself.
    TAvi2Decoder decoder;
    TAvi2FrameDecoder *dec = decoder.Open(path) == AVIERR_OK ? decoder.GetFrameOpen(0, nullptr) : nullptr;
    if (!dec) {
        std::fprintf(stderr, "cannot open a decoder\n");
        return 1;
    }
    random.seed(12345);
    size_t decoded = 0, most = 0;
    for (int i = 0; i < requests; ++i) {
        if (!decoder.GetFrame(dec, pick(random)))
            return 1;
        decoded += dec->LastWalk().size();
        most = std::max(most, dec->LastWalk().size());
    }
    std::printf("random:     %.1f frames decoded per request on average, %zu at most (group of pictures %d)\n",
                double(decoded) / requests, most, gop);
    if (made)
        std::remove(path.c_str());
    return most <= size_t(gop) ? 0 : 2;
}
