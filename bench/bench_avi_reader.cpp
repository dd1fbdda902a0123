// Benchmark of TAvi2Reader: writes a one-hour AVI 1.0 file (25 fps video and PCM
// audio, about 180,000 chunks) or takes a file named on the command line, then
// prints the open time, the index memory and the sequential read throughput.
//   bench_avi_reader [file.avi] [--keep]
#include "media/common/byte_order.h"
#include "media/input/avi2_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace tessaly;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

void Chunk(std::string &out, const char *id, const std::string &data)
{
    TByteWriter w(out);
    w.U32(MakeFourCC(id[0], id[1], id[2], id[3]));
    w.U32(uint32_t(data.size()));
    w.Bytes(data.data(), data.size());
    if (data.size() & 1)
        w.U8(0);
}

// One hour at 25 fps: 90,000 video frames of 1,500 to 2,500 bytes and 90,000 audio
// chunks of 640 bytes (8 kHz 16-bit mono), interleaved, with an 'idx1'.
bool WriteTestFile(const std::string &path, int frames)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string head;
    TByteWriter w(head);
    w.U32(FourCC("RIFF"));
    w.U32(0);
    w.U32(FourCC("AVI "));
    std::string hdrl, avih, strl1, strl2, s;
    TByteWriter h(avih);
    for (uint32_t v : {40000u, 0u, 0u, 0x10u, uint32_t(frames), 0u, 2u, 0x10000u, 320u, 240u, 0u, 0u, 0u, 0u})
        h.U32(v);
    Chunk(hdrl, "avih", avih);
    std::string strh, strf;
    TByteWriter sh(strh);
    sh.U32(FourCC("vids")); sh.U32(FourCC("FMP4")); sh.U32(0); sh.U32(0); sh.U32(0);
    sh.U32(1); sh.U32(25); sh.U32(0); sh.U32(uint32_t(frames)); sh.U32(4096); sh.U32(0); sh.U32(0);
    sh.U16(0); sh.U16(0); sh.U16(320); sh.U16(240);
    TByteWriter sf(strf);
    sf.U32(40); sf.U32(320); sf.U32(240); sf.U16(1); sf.U16(24); sf.U32(FourCC("FMP4")); sf.Zeros(20);
    s = "strl";
    Chunk(s, "strh", strh);
    Chunk(s, "strf", strf);
    Chunk(hdrl, "LIST", s);
    strh.clear();
    strf.clear();
    sh.U32(FourCC("auds")); sh.U32(0); sh.U32(0); sh.U32(0); sh.U32(0);
    sh.U32(2); sh.U32(16000); sh.U32(0); sh.U32(uint32_t(frames) * 320); sh.U32(4096); sh.U32(0); sh.U32(2);
    sh.Zeros(8);
    sf.U16(1); sf.U16(1); sf.U32(8000); sf.U32(16000); sf.U16(2); sf.U16(16);
    s = "strl";
    Chunk(s, "strh", strh);
    Chunk(s, "strf", strf);
    Chunk(hdrl, "LIST", s);
    Chunk(head, "LIST", "hdrl" + hdrl);
    size_t moviAt = head.size();
    w.U32(FourCC("LIST"));
    w.U32(0);
    w.U32(FourCC("movi"));
    std::string idx1, block;
    TByteWriter ix(idx1);
    uint64_t pos = 4; // relative to the 'movi' type
    std::string audio(640, '\x11');
    uint64_t total = head.size();
    out.write(head.data(), std::streamsize(head.size()));
    for (int i = 0; i < frames; ++i) {
        std::string frame(size_t(1500 + (i * 7919) % 1000), char(i));
        block.clear();
        Chunk(block, "00dc", frame);
        ix.U32(FourCC("00dc")); ix.U32(i % 12 == 0 ? 0x10 : 0); ix.U32(uint32_t(pos)); ix.U32(uint32_t(frame.size()));
        pos += block.size();
        size_t at = block.size();
        Chunk(block, "01wb", audio);
        ix.U32(FourCC("01wb")); ix.U32(0x10); ix.U32(uint32_t(pos)); ix.U32(uint32_t(audio.size()));
        pos += block.size() - at;
        out.write(block.data(), std::streamsize(block.size()));
        total += block.size();
    }
    uint64_t moviSize = total - moviAt - 8;
    block.clear();
    Chunk(block, "idx1", idx1);
    out.write(block.data(), std::streamsize(block.size()));
    total += block.size();
    uint8_t b[4];
    PutLE32(b, uint32_t(total - 8));
    out.seekp(4);
    out.write(reinterpret_cast<char *>(b), 4);
    PutLE32(b, uint32_t(moviSize));
    out.seekp(std::streamoff(moviAt + 4));
    out.write(reinterpret_cast<char *>(b), 4);
    return bool(out);
}

} // namespace

int main(int argc, char **argv)
{
    std::string path;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--keep")
            keep = true;
        else
            path = a;
    }
    bool generated = path.empty();
    if (generated) {
        const char *tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_avi_reader.avi";
        auto t0 = Clock::now();
        if (!WriteTestFile(path, 90000)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("generated %s in %.2f s\n", path.c_str(), Seconds(t0, Clock::now()));
    }
    TAvi2Reader reader;
    std::vector<double> opens;
    for (int i = 0; i < 5; ++i) {
        auto t0 = Clock::now();
        int32_t r = reader.Open(path);
        opens.push_back(Seconds(t0, Clock::now()));
        if (r != 0) {
            std::fprintf(stderr, "open failed: 0x%08x\n", unsigned(r));
            return 1;
        }
    }
    std::sort(opens.begin(), opens.end());
    size_t entries = 0;
    for (int s = 0; s < reader.StreamCount(); ++s)
        entries += reader.StreamRecord(s)->Entries.size();
    std::printf("file: %.1f MiB, %d streams, %zu index entries (%.1f MiB of index)\n",
                double(reader.FileSize()) / 1048576.0, reader.StreamCount(), entries,
                double(entries * sizeof(TAvi2IndexEntry)) / 1048576.0);
    std::printf("open: best %.1f ms, median %.1f ms (5 runs, warm cache)\n", opens[0] * 1e3, opens[2] * 1e3);

    std::vector<char> buf(16 << 20);
    for (int s = 0; s < reader.StreamCount(); ++s) {
        AVISTREAMINFO si;
        reader.GetStreamInfo(s, si);
        // Video frame by frame; audio in requests of one second.
        int32_t request = si.dwSampleSize ? int32_t(std::max<uint32_t>(1, si.dwRate / si.dwScale)) : 1;
        uint64_t bytes = 0;
        long calls = 0;
        auto t0 = Clock::now();
        for (int64_t p = si.dwStart; p < int64_t(si.dwStart) + si.dwLength;) {
            int32_t nb = 0, ns = 0;
            if (reader.Read(s, int32_t(p), request, buf.data(), int32_t(buf.size()), &nb, &ns) != 0 || ns <= 0) {
                std::fprintf(stderr, "read failed at %lld\n", (long long)p);
                return 1;
            }
            bytes += uint64_t(nb);
            p += ns;
            ++calls;
        }
        double t = Seconds(t0, Clock::now());
        std::printf("stream %d (%s): %ld reads, %.1f MiB in %.3f s = %.0f MiB/s\n", s, si.szName, calls,
                    double(bytes) / 1048576.0, t, double(bytes) / 1048576.0 / t);
    }
    reader.Close();
    if (generated && !keep)
        std::remove(path.c_str());
    return 0;
}
