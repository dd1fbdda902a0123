// Benchmark of the result AVI writer: writes a synthetic OpenDML result (uncompressed
// 640 x 480 frames, 48 kHz stereo PCM) of a given size and prints its speed next to
// `cp` of the same file; optionally verifies it with the project's reader and keeps it.
//
// usage: bench_avi_writer [--size MiB] [--dir DIR] [--keep FILE] [--verify] [--dump-frames FILE]
//                         [--block-limit BYTES] [--frame WxH]
//   --keep FILE         write the result to FILE and keep it
//   --verify            read the result back with TAvi2Reader: every frame's bytes, key
//                       flags, audio sample count and audio bytes
//   --dump-frames FILE  also write the raw frames back to back (a source for packet hashes)
//   --block-limit BYTES RIFF block size limit (default 0x7F000000); small values give many blocks
//   --frame WxH         frame size (default 640x480); frames above 1.4 MB make the standard
//                       indexes hold fewer entries than 3072 so each stays within 4 GiB
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"
#include "media/output/avi_creator.h"

using namespace tessaly;

namespace {

int kWidth = 640, kHeight = 480;
uint32_t kFrameBytes = 640 * 480 * 3;
constexpr uint32_t kSampleRate = 48000, kChannels = 2, kAlign = 4;

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The base picture; each frame carries its number in its first and last four bytes.
std::vector<uint8_t> BasePicture()
{
    std::vector<uint8_t> b(kFrameBytes);
    uint32_t x = 2463534242u;
    for (uint8_t &v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = uint8_t(x);
    }
    return b;
}

void StampFrame(std::vector<uint8_t> &frame, uint32_t n)
{
    PutLE32(frame.data(), n);
    PutLE32(frame.data() + kFrameBytes - 4, n * 2654435761u);
}

void FillAudio(std::vector<uint8_t> &pcm, int64_t first, uint32_t frames)
{
    pcm.resize(size_t(frames) * kAlign);
    for (uint32_t i = 0; i < frames; ++i) {
        int64_t f = first + i;
        PutLE16(&pcm[size_t(i) * 4], uint16_t(f * 3));
        PutLE16(&pcm[size_t(i) * 4 + 2], uint16_t(f * 3 + 7919));
    }
}

bool SyncFile(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

int64_t FileBytes(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return -1;
    std::fseek(f, 0, SEEK_END);
    int64_t n = ftello(f);
    std::fclose(f);
    return n;
}

// Reads the result back: every frame's bytes and flags, the whole audio track.
bool Verify(const std::string &path, uint32_t frames, int64_t samples)
{
    TAvi2Reader reader;
    if (reader.Open(path) != 0 || !reader.IsValid()) {
        std::printf("verify: the reader refused the file\n");
        return false;
    }
    int v = reader.VideoStream(0), a = reader.AudioStream(0);
    AVISTREAMINFO vi, ai;
    reader.GetStreamInfo(v, vi);
    reader.GetStreamInfo(a, ai);
    bool ok = vi.dwLength == frames && int64_t(ai.dwLength) == samples;
    std::printf("verify: %d RIFF blocks, video length %u (want %u), audio length %u (want %lld)\n",
                reader.RiffCount(), vi.dwLength, frames, ai.dwLength, (long long)samples);
    std::vector<uint8_t> want = BasePicture(), got(kFrameBytes);
    for (uint32_t i = 0; ok && i < frames; ++i) {
        StampFrame(want, i);
        int32_t bytes = 0;
        if (reader.Read(v, int32_t(i), 1, got.data(), int32_t(got.size()), &bytes, nullptr) != 0 ||
            bytes != int32_t(kFrameBytes) || got != want || !reader.IsKeyFrame(v, int32_t(i))) {
            std::printf("verify: frame %u differs\n", i);
            ok = false;
        }
    }
    std::vector<uint8_t> pcm, read(size_t(1 << 20) * kAlign);
    for (int64_t f = 0; ok && f < samples;) {
        uint32_t n = uint32_t(std::min<int64_t>(samples - f, 1 << 20));
        int32_t bytes = 0, count = 0;
        if (reader.Read(a, int32_t(f), int32_t(n), read.data(), int32_t(n * kAlign), &bytes, &count) != 0 ||
            count <= 0) {
            std::printf("verify: audio read failed at %lld\n", (long long)f);
            ok = false;
            break;
        }
        FillAudio(pcm, f, uint32_t(count));
        if (std::memcmp(pcm.data(), read.data(), pcm.size()) != 0) {
            std::printf("verify: audio differs near sample frame %lld\n", (long long)f);
            ok = false;
        }
        f += count;
    }
    std::printf("verify: %s\n", ok ? "every frame and every sample as written" : "FAILED");
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    int64_t sizeMiB = 1024;
    const char *tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp", keep, dump;
    bool verify = false;
    uint32_t blockLimit = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc)
            sizeMiB = std::atoll(argv[++i]);
        else if (a == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--dump-frames" && i + 1 < argc)
            dump = argv[++i];
        else if (a == "--block-limit" && i + 1 < argc)
            blockLimit = uint32_t(std::strtoul(argv[++i], nullptr, 0));
        else if (a == "--frame" && i + 1 < argc && std::sscanf(argv[++i], "%dx%d", &kWidth, &kHeight) == 2 &&
                 kWidth > 0 && kHeight > 0 && kWidth * kHeight <= 4096 * 4096)
            kFrameBytes = uint32_t(kWidth * kHeight * 3);
        else if (a == "--verify")
            verify = true;
        else {
            std::fprintf(stderr, "usage: %s [--size MiB] [--dir DIR] [--keep FILE] [--verify] [--dump-frames FILE] [--block-limit BYTES] [--frame WxH]\n",
                         argv[0]);
            return 2;
        }
    }
    std::string path = keep.empty() ? dir + "/bench_avi_" + std::to_string(getpid()) + ".avi" : keep;
    std::string copy = dir + "/bench_avi_copy_" + std::to_string(getpid()) + ".avi";
    int64_t target = sizeMiB << 20;

    TAVICreator creator(cmResult, blockLimit);
    std::vector<uint8_t> bi(40, 0);
    PutLE32(&bi[0], 40);
    PutLE32(&bi[4], kWidth);
    PutLE32(&bi[8], kHeight);
    PutLE16(&bi[12], 1);
    PutLE16(&bi[14], 24);
    PutLE32(&bi[20], kFrameBytes);
    creator.SetVideoFormat(bi.data(), int(bi.size()));
    creator.SetVideoTiming(25, 1, FourCC("DIB "), 10000);
    creator.SetAudioFormat(kSampleRate, 16, 0.75, kChannels);

    auto start = std::chrono::steady_clock::now();
    if (!creator.Open(path)) {
        std::printf("cannot create %s: %s\n", path.c_str(), creator.ErrorText().c_str());
        return 1;
    }
    std::vector<uint8_t> frame = BasePicture(), pcm;
    uint32_t frames = 0;
    int64_t samples = 0;
    bool ok = true;
    while (ok && creator.FileSize() < target) {
        StampFrame(frame, frames);
        ok = creator.WriteFrame(frame.data(), kFrameBytes, true);
        uint32_t k = creator.AudioRequired();
        FillAudio(pcm, samples, k);
        ok = ok && creator.WriteAudio(pcm.data(), k);
        samples += k;
        ++frames;
    }
    ok = creator.Close() && ok;
    double writeTime = Seconds(start);
    bool synced = SyncFile(path);
    double writeSyncTime = Seconds(start);
    if (!ok) {
        std::printf("writing failed: %s\n", creator.ErrorText().c_str());
        return 1;
    }
    int64_t bytes = FileBytes(path);

    start = std::chrono::steady_clock::now();
    int rc = std::system(("cp '" + path + "' '" + copy + "'").c_str());
    double cpTime = Seconds(start);
    bool cpSynced = rc == 0 && SyncFile(copy);
    double cpSyncTime = Seconds(start);
    std::remove(copy.c_str());

    double mb = double(bytes) / 1e6;
    std::printf("result: %lld bytes, %u frames, %lld audio sample frames\n", (long long)bytes, frames,
                (long long)samples);
    std::printf("writer:        %8.1f MB/s (%.2f s)   with fsync %8.1f MB/s%s\n", mb / writeTime, writeTime,
                mb / writeSyncTime, synced ? "" : " (fsync failed)");
    std::printf("cp same size:  %8.1f MB/s (%.2f s)   with fsync %8.1f MB/s%s\n", mb / cpTime, cpTime,
                mb / cpSyncTime, cpSynced ? "" : " (cp failed)");
    std::printf("writer / cp:   %6.0f %%               with fsync %6.0f %%\n", 100 * cpTime / writeTime,
                100 * cpSyncTime / writeSyncTime);
    std::printf("frames=%u samples=%lld\n", frames, (long long)samples);

    if (!dump.empty()) {   // the source frames, after the timed runs
        FILE *f = std::fopen(dump.c_str(), "wb");
        for (uint32_t i = 0; f && i < frames; ++i) {
            StampFrame(frame, i);
            ok = std::fwrite(frame.data(), 1, kFrameBytes, f) == kFrameBytes && ok;
        }
        ok = f && std::fclose(f) == 0 && ok;
    }
    if (verify)
        ok = Verify(path, frames, samples) && ok;
    if (keep.empty())
        std::remove(path.c_str());
    return ok ? 0 : 1;
}
