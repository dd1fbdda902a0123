// Xing/Info and LAME tag parsing, bounds-checked on the bytes read.
#include "mp3_gapless.h"

#include <fstream>

namespace tessaly::gst {

namespace {

// The fixed decoder delay of MPEG layer III decoders (the synthesis filter bank), in samples.
constexpr int64_t kDecoderDelay = 529;
constexpr size_t kHeadBytes = 64 * 1024;

uint32_t Be32(const std::vector<uint8_t> &d, size_t at)
{
    return uint32_t(d[at]) << 24 | uint32_t(d[at + 1]) << 16 | uint32_t(d[at + 2]) << 8 | d[at + 3];
}

bool Has(const std::vector<uint8_t> &d, size_t at, size_t n) { return at <= d.size() && n <= d.size() - at; }

// Offset of the first frame: after an ID3v2 tag (with its footer when flagged).
size_t FirstFrame(const std::vector<uint8_t> &d)
{
    if (!Has(d, 0, 10) || d[0] != 'I' || d[1] != 'D' || d[2] != '3')
        return 0;
    for (int i = 6; i < 10; ++i)
        if (d[size_t(i)] & 0x80)
            return 0; // not a sync-safe size: no tag after all
    const size_t size = size_t(d[6]) << 21 | size_t(d[7]) << 14 | size_t(d[8]) << 7 | d[9];
    return 10 + size + ((d[5] & 0x10) ? 10 : 0);
}

} // namespace

bool ParseMp3Gapless(const std::vector<uint8_t> &d, TMp3Gapless &out)
{
    const size_t frame = FirstFrame(d);
    if (!Has(d, frame, 4))
        return false;
    const uint32_t header = Be32(d, frame);
    const uint32_t version = (header >> 19) & 3; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const uint32_t layer = (header >> 17) & 3;   // 1 layer III
    if ((header & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer != 1)
        return false;
    const bool mpeg1 = version == 3;
    const bool mono = ((header >> 6) & 3) == 3;
    const size_t sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    size_t at = frame + 4 + sideInfo;
    if (!Has(d, at, 8))
        return false;
    const bool xing = d[at] == 'X' && d[at + 1] == 'i' && d[at + 2] == 'n' && d[at + 3] == 'g';
    const bool info = d[at] == 'I' && d[at + 1] == 'n' && d[at + 2] == 'f' && d[at + 3] == 'o';
    if (!xing && !info)
        return false;
    const uint32_t flags = Be32(d, at + 4);
    at += 8;
    uint32_t frames = 0;
    if (flags & 1) {
        if (!Has(d, at, 4))
            return false;
        frames = Be32(d, at);
        at += 4;
    }
    at += (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    // The LAME tag: a 9-character encoder name, then at +21 the 12-bit delay and padding.
    if (!Has(d, at, 24) || frames == 0)
        return false;
    const std::string encoder(d.begin() + std::ptrdiff_t(at), d.begin() + std::ptrdiff_t(at + 4));
    if (encoder != "LAME" && encoder != "Lavf" && encoder != "Lavc")
        return false;
    const int64_t delay = int64_t(d[at + 21]) << 4 | d[at + 22] >> 4;
    const int64_t padding = int64_t(d[at + 22] & 0x0F) << 8 | d[at + 23];
    const int64_t perFrame = mpeg1 ? 1152 : 576;
    const int64_t decoded = int64_t(frames) * perFrame;
    const int64_t length = decoded - delay - padding;
    if (length <= 0 || delay + kDecoderDelay >= decoded)
        return false;
    out.Skip = delay + kDecoderDelay;
    out.Length = length;
    out.DecodedFrames = decoded;
    return true;
}

bool ReadMp3Gapless(const std::string &fileName, TMp3Gapless &out)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return false;
    std::vector<uint8_t> head(kHeadBytes);
    in.read(reinterpret_cast<char *>(head.data()), std::streamsize(head.size()));
    head.resize(size_t(in.gcount()));
    // An ID3v2 tag larger than the first read: parse the bytes from the frame after it on.
    const size_t frame = FirstFrame(head);
    if (frame + 512 > head.size() && head.size() == kHeadBytes) {
        std::vector<uint8_t> rest(512);
        in.clear();
        in.seekg(std::streamoff(frame));
        in.read(reinterpret_cast<char *>(rest.data()), std::streamsize(rest.size()));
        rest.resize(size_t(in.gcount()));
        return ParseMp3Gapless(rest, out);
    }
    return ParseMp3Gapless(head, out);
}

} // namespace tessaly::gst
