// The packet index of a video stream read through libavformat and its cache files.
#include "media/input/lavf/lavf_index.h"

#include "media/common/byte_order.h"
#include "platform/file_system.h"

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tessaly {

namespace {

constexpr char kMagic[8] = {'T', 'S', 'Y', 'V', 'I', 'D', 'X', '\n'};
constexpr uint32_t kVersion = 1;
constexpr size_t kEntryBytes = 40;
// Cache files beyond this are not read (a 10-hour 60 fps film needs about 90 MB).
constexpr size_t kMaxCacheBytes = size_t(1) << 30;

uint64_t Fnv1a(const void *data, size_t size, uint64_t h = 0xcbf29ce484222325ull)
{
    const auto *p = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < size; ++i)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

struct TPacketFree {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

} // namespace

bool TLavfIndex::Build(AVFormatContext *context, int stream)
{
    Packets.clear();
    if (!context || stream < 0 || unsigned(stream) >= context->nb_streams)
        return false;
    Stream = stream;
    const AVRational tb = context->streams[stream]->time_base;
    TimeBaseNum = tb.num;
    TimeBaseDen = tb.den;
    // Only the video stream is demuxed: the others' packets are skipped unread where the
    // container allows it.
    std::vector<AVDiscard> saved;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        saved.push_back(context->streams[i]->discard);
        context->streams[i]->discard = int(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    std::unique_ptr<AVPacket, TPacketFree> packet(av_packet_alloc());
    int r = packet ? 0 : AVERROR(ENOMEM);
    while (r >= 0 && (r = av_read_frame(context, packet.get())) >= 0) {
        if (packet->stream_index == stream) {
            TLavfPacket p;
            p.Pts = packet->pts == AV_NOPTS_VALUE ? kNoTimestamp : packet->pts;
            p.Dts = packet->dts == AV_NOPTS_VALUE ? kNoTimestamp : packet->dts;
            p.Pos = packet->pos;
            p.Duration = packet->duration;
            p.Size = uint32_t(std::max(packet->size, 0));
            p.Flags = ((packet->flags & AV_PKT_FLAG_KEY) ? uint32_t(lpKey) : 0u) |
                      ((packet->flags & AV_PKT_FLAG_DISCARD) ? uint32_t(lpDiscard) : 0u);
            Packets.push_back(p);
        }
        av_packet_unref(packet.get());
    }
    for (unsigned i = 0; i < context->nb_streams; ++i)
        context->streams[i]->discard = saved[i];
    // A file cut short ends in a read error: what was read before it still counts.
    if (r != AVERROR_EOF && Packets.empty())
        return false;
    return Finish();
}

bool TLavfIndex::Finish()
{
    FFrames.clear();
    FKeys.clear();
    // Streams without reordering often carry only decode times: those are then the
    // presentation times too.
    bool reordered = false;
    for (const TLavfPacket &p : Packets)
        reordered = reordered || (p.Pts != kNoTimestamp && p.Dts != kNoTimestamp && p.Pts != p.Dts);
    for (TLavfPacket &p : Packets)
        if (p.Pts == kNoTimestamp && !reordered)
            p.Pts = p.Dts;
    if (reordered)
        FillMissingPts();
    for (size_t i = 0; i < Packets.size(); ++i) {
        const TLavfPacket &p = Packets[i];
        if (p.Flags & lpKey)
            FKeys.push_back(int32_t(i));
        if (!(p.Flags & lpDiscard) && p.Pts != kNoTimestamp && p.Size > 0)
            FFrames.push_back(int32_t(i));
    }
    std::stable_sort(FFrames.begin(), FFrames.end(),
                     [this](int32_t a, int32_t b) { return Packets[size_t(a)].Pts < Packets[size_t(b)].Pts; });
    // Two packets claiming one presentation time (damaged timestamps): the later one in
    // decode order is the picture shown.
    std::vector<int32_t> unique;
    for (int32_t f : FFrames) {
        if (!unique.empty() && Packets[size_t(unique.back())].Pts == Packets[size_t(f)].Pts)
            unique.back() = f;
        else
            unique.push_back(f);
    }
    FFrames.swap(unique);
    if (FKeys.empty() && !Packets.empty())
        FKeys.push_back(0); // no flags at all: decoding starts at the beginning
    return !FFrames.empty();
}

// Program streams carry a time stamp only where a packet starts a stream section, so with
// reordering some pictures have a decode time alone. A decoder that holds back one picture
// shows at each decode time the picture of that presentation time: the presentation times
// are the decode times from the second packet on, plus one frame after the last. The times
// no packet claims go, in increasing order, to the packets without one.
void TLavfIndex::FillMissingPts()
{
    std::vector<size_t> missing;
    std::vector<int64_t> known, expected;
    for (size_t i = 0; i < Packets.size(); ++i) {
        const TLavfPacket &p = Packets[i];
        if (p.Flags & lpDiscard)
            continue;
        if (p.Dts == kNoTimestamp)
            return;
        if (p.Pts == kNoTimestamp)
            missing.push_back(i);
        else
            known.push_back(p.Pts);
        expected.push_back(p.Dts);
    }
    if (missing.empty() || expected.size() < 2)
        return;
    const int64_t step = expected[expected.size() - 1] - expected[expected.size() - 2];
    expected.erase(expected.begin());
    expected.push_back(expected.back() + step);
    std::sort(known.begin(), known.end());
    std::sort(expected.begin(), expected.end());
    std::vector<int64_t> free;
    std::set_difference(expected.begin(), expected.end(), known.begin(), known.end(), std::back_inserter(free));
    if (free.size() != missing.size())
        return;
    for (size_t k = 0; k < missing.size(); ++k)
        Packets[missing[k]].Pts = free[k];
}

int32_t TLavfIndex::StartPacket(int32_t i) const
{
    if (i < 0 || i >= FrameCount())
        return -1;
    const int32_t p = FFrames[size_t(i)];
    const int64_t pts = Packets[size_t(p)].Pts;
    auto it = std::upper_bound(FKeys.begin(), FKeys.end(), p);
    while (it != FKeys.begin()) {
        --it;
        const int64_t keyPts = Packets[size_t(*it)].Pts;
        if (keyPts == kNoTimestamp || keyPts <= pts)
            return *it;
    }
    return FKeys.empty() ? -1 : FKeys.front();
}

int32_t TLavfIndex::PreviousKey(int32_t p) const
{
    auto it = std::lower_bound(FKeys.begin(), FKeys.end(), p);
    return it == FKeys.begin() ? -1 : *(it - 1);
}

std::string TLavfIndex::Serialize(const TLavfFileKey &key) const
{
    std::string out;
    out.reserve(64 + key.Path.size() + Packets.size() * kEntryBytes);
    TByteWriter w(out);
    w.Bytes(kMagic, sizeof kMagic);
    w.U32(kVersion);
    WriteLavfCacheKey(w, key);
    w.U32(uint32_t(Stream));
    w.U32(uint32_t(TimeBaseNum));
    w.U32(uint32_t(TimeBaseDen));
    w.U32(uint32_t(Packets.size()));
    for (const TLavfPacket &p : Packets) {
        w.U64(uint64_t(p.Pts));
        w.U64(uint64_t(p.Dts));
        w.U64(uint64_t(p.Pos));
        w.U64(uint64_t(p.Duration));
        w.U32(p.Size);
        w.U32(p.Flags);
    }
    w.U64(LavfCacheChecksum(out.data(), out.size()));
    return out;
}

bool TLavfIndex::Parse(const uint8_t *data, size_t size, const TLavfFileKey &key)
{
    Packets.clear();
    if (size < sizeof kMagic + 8 || !std::equal(kMagic, kMagic + sizeof kMagic, data))
        return false;
    if (GetLE64(data + size - 8) != LavfCacheChecksum(data, size - 8))
        return false;
    TByteReader r(data + sizeof kMagic, size - sizeof kMagic - 8);
    if (r.U32() != kVersion || !ReadLavfCacheKey(r, key))
        return false;
    const int stream = int(r.U32());
    const int num = int(r.U32()), den = int(r.U32());
    const uint32_t count = r.U32();
    if (r.Failed() || (Stream >= 0 && stream != Stream) || num <= 0 || den <= 0 ||
        r.Remaining() != size_t(count) * kEntryBytes)
        return false;
    Stream = stream;
    TimeBaseNum = num;
    TimeBaseDen = den;
    Packets.resize(count);
    for (TLavfPacket &p : Packets) {
        p.Pts = int64_t(r.U64());
        p.Dts = int64_t(r.U64());
        p.Pos = int64_t(r.U64());
        p.Duration = int64_t(r.U64());
        p.Size = r.U32();
        p.Flags = r.U32();
    }
    if (r.Failed() || !Finish()) {
        Packets.clear();
        return false;
    }
    return true;
}

bool LavfFileKey(const std::string &fileName, TLavfFileKey &key)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    key.Path = ExpandFileName(fileName);
    key.Size = uint64_t(st.st_size);
    key.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::string LavfIndexCacheDir()
{
    const char *xdg = std::getenv("XDG_CACHE_HOME");
    std::string base;
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char *home = std::getenv("HOME");
        base = std::string(home && home[0] ? home : "/tmp") + "/.cache";
    }
    return IncludeTrailingSlash(base) + "tessaly/index/";
}

std::string LavfIndexCacheFile(const std::string &absolutePath, const char *suffix)
{
    char name[40];
    std::snprintf(name, sizeof name, "%016llx%.8s",
                  static_cast<unsigned long long>(Fnv1a(absolutePath.data(), absolutePath.size())), suffix);
    return LavfIndexCacheDir() + name;
}

bool LoadLavfIndex(const TLavfFileKey &key, int stream, TLavfIndex &index)
{
    std::string bytes;
    if (!ReadLavfCacheFile(LavfIndexCacheFile(key.Path), bytes))
        return false;
    index.Stream = stream;
    return index.Parse(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), key);
}

bool SaveLavfIndex(const TLavfFileKey &key, const TLavfIndex &index)
{
    return WriteLavfCacheFile(LavfIndexCacheFile(key.Path), index.Serialize(key));
}

uint64_t LavfCacheChecksum(const void *data, size_t size) { return Fnv1a(data, size); }

void WriteLavfCacheKey(TByteWriter &w, const TLavfFileKey &key)
{
    w.U32(uint32_t(key.Path.size()));
    w.Bytes(key.Path.data(), key.Path.size());
    w.U64(key.Size);
    w.U64(uint64_t(key.ModifiedNs));
}

bool ReadLavfCacheKey(TByteReader &r, const TLavfFileKey &key)
{
    const uint32_t pathLength = r.U32();
    if (r.Failed() || pathLength != key.Path.size() || r.Remaining() < pathLength)
        return false;
    std::string path(pathLength, '\0');
    r.Bytes(path.data(), pathLength);
    return !r.Failed() && path == key.Path && r.U64() == key.Size && int64_t(r.U64()) == key.ModifiedNs &&
           !r.Failed();
}

bool ReadLavfCacheFile(const std::string &target, std::string &bytes)
{
    return ReadWholeFile(target, bytes, nullptr, kMaxCacheBytes);
}

bool WriteLavfCacheFile(const std::string &target, const std::string &bytes)
{
    if (!ForceDirectories(LavfIndexCacheDir()))
        return false;
    // Written beside its final name and renamed onto it, so a reader never sees half a
    // file. Not flushed to disk: a cache lost in a crash is only rebuilt.
    const std::string temp = target + "." + std::to_string(::getpid()) + ".tmp";
    std::FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), target.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

} // namespace tessaly
