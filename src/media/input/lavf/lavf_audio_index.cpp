// The audio packet index of a file read through libavformat and its cache file.
#include "media/input/lavf/lavf_audio_index.h"

#include <algorithm>

#include "media/common/byte_order.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace tessaly {

namespace {

constexpr char kMagic[8] = {'T', 'S', 'Y', 'A', 'U', 'D', 'X', '\n'};
constexpr uint32_t kVersion = 1;
// The fewest bytes a packet takes (a flag byte and four one-byte numbers).
constexpr size_t kPacketBytes = 5;
constexpr uint32_t kMaxLayoutName = 255;
// More streams than any container holds are damage, not a file.
constexpr uint32_t kMaxStreams = 1u << 16;

enum : uint8_t { pfDiscard = 1, pfSkip = 2 };

// Differences of 64-bit values wrap (a missing time is the smallest value); they are stored
// zigzag-coded, seven bits a byte, low bits first.
uint64_t Difference(int64_t a, int64_t b)
{
    const uint64_t d = uint64_t(a) - uint64_t(b);
    return (d << 1) ^ (0 - (d >> 63));
}

int64_t Sum(int64_t base, uint64_t zigzag)
{
    const uint64_t d = (zigzag >> 1) ^ (0 - (zigzag & 1));
    return int64_t(uint64_t(base) + d);
}

void PutVarint(TByteWriter &w, uint64_t v)
{
    while (v >= 0x80) {
        w.U8(uint8_t(v | 0x80));
        v >>= 7;
    }
    w.U8(uint8_t(v));
}

// Marks the reader failed for a number longer than ten bytes.
uint64_t GetVarint(TByteReader &r)
{
    uint64_t v = 0;
    for (int shift = 0; shift < 70; shift += 7) {
        const uint8_t b = r.U8();
        if (r.Failed())
            return 0;
        v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return v;
    }
    r.Skip(r.Remaining() + 1); // fails the reader
    return 0;
}

int BitsOf(TSampleType t)
{
    switch (t) {
    case stU8: return 8;
    case stS16: return 16;
    case stS24: return 24;
    case stS32:
    case stF32: return 32;
    case stF64: return 64;
    default: return 0;
    }
}

void WriteStream(TByteWriter &w, const TLavfAudioStreamIndex &ix)
{
    const TLavfSampleShape &sh = ix.Shape;
    w.U32(uint32_t(ix.CodecId));
    w.U32(uint32_t(sh.Type));
    w.U32(uint32_t(sh.Bits));
    w.U32(uint32_t(sh.Rate));
    w.U32(uint32_t(sh.Channels));
    w.U32(uint32_t(sh.DecodedFormat));
    w.U32(sh.Mask);
    const size_t name = std::min<size_t>(sh.LayoutName.size(), kMaxLayoutName);
    w.U32(uint32_t(name));
    w.Bytes(sh.LayoutName.data(), name);
    w.U64(uint64_t(ix.Total));
    w.U32(uint32_t(ix.Packets.size()));
    // Each packet as differences from the one before (positions and times grow by about a
    // packet's size and length): a flag byte and four variable-length numbers.
    TLavfAudioPacket prev;
    prev.Pos = prev.Dts = prev.End = 0;
    for (const TLavfAudioPacket &p : ix.Packets) {
        w.U8(uint8_t((p.Discard ? pfDiscard : 0) | (p.HasSkip ? pfSkip : 0)));
        PutVarint(w, Difference(p.Pos, prev.Pos));
        PutVarint(w, Difference(p.Dts, prev.Dts));
        PutVarint(w, Difference(p.Pts, p.Dts));
        PutVarint(w, Difference(p.End, prev.End));
        if (p.HasSkip)
            w.Bytes(p.Skip, kSkipRecordBytes);
        prev = p;
    }
}

// One stream's record; null when it is damaged or does not hold together.
std::unique_ptr<TLavfAudioStreamIndex> ReadStream(TByteReader &r)
{
    auto ix = std::make_unique<TLavfAudioStreamIndex>();
    TLavfSampleShape &sh = ix->Shape;
    ix->CodecId = int(r.U32());
    const uint32_t type = r.U32();
    sh.Bits = int(r.U32());
    sh.Rate = int(r.U32());
    sh.Channels = int(r.U32());
    sh.DecodedFormat = int(r.U32());
    sh.Mask = r.U32();
    const uint32_t name = r.U32();
    if (r.Failed() || type < stU8 || type > stF64 || name > kMaxLayoutName || r.Remaining() < name)
        return nullptr;
    sh.Type = TSampleType(type);
    sh.LayoutName.resize(name);
    r.Bytes(sh.LayoutName.data(), name);
    ix->Total = int64_t(r.U64());
    const uint32_t count = r.U32();
    if (r.Failed() || sh.Bits != BitsOf(sh.Type) || sh.Rate <= 0 || sh.Channels <= 0 ||
        sh.Channels > kMaxConvertChannels || sh.DecodedFormat < 0 || ix->Total <= 0 ||
        r.Remaining() / kPacketBytes < count)
        return nullptr;
    ix->Packets.resize(count);
    TLavfAudioPacket prev;
    prev.Pos = prev.Dts = prev.End = 0;
    for (TLavfAudioPacket &p : ix->Packets) {
        const uint8_t flags = r.U8();
        p.Discard = (flags & pfDiscard) != 0;
        p.HasSkip = (flags & pfSkip) != 0;
        p.Pos = Sum(prev.Pos, GetVarint(r));
        p.Dts = Sum(prev.Dts, GetVarint(r));
        p.Pts = Sum(p.Dts, GetVarint(r));
        p.End = Sum(prev.End, GetVarint(r));
        if (p.HasSkip)
            r.Bytes(p.Skip, kSkipRecordBytes);
        // The samples out after each packet only grow, up to the stream's length.
        if (r.Failed() || (flags & ~(pfDiscard | pfSkip)) || p.End < prev.End || p.End > ix->Total)
            return nullptr;
        prev = p;
    }
    ix->FindAnchors();
    return ix;
}

} // namespace

void TLavfAudioStreamIndex::FindAnchors()
{
    Anchors.clear();
    Anchors.reserve(Packets.size());
    for (size_t k = 0; k < Packets.size(); ++k)
        if (Packets[k].Pos >= 0)
            Anchors.emplace_back(Packets[k].Pos, int64_t(k));
    std::sort(Anchors.begin(), Anchors.end());
    // A position two packets share names neither.
    size_t kept = 0;
    for (size_t i = 0; i < Anchors.size();) {
        size_t j = i + 1;
        while (j < Anchors.size() && Anchors[j].first == Anchors[i].first)
            ++j;
        if (j == i + 1)
            Anchors[kept++] = Anchors[i];
        i = j;
    }
    Anchors.resize(kept);
}

int64_t TLavfAudioStreamIndex::AnchorAt(int64_t pos) const
{
    auto it = std::lower_bound(Anchors.begin(), Anchors.end(), std::make_pair(pos, INT64_MIN));
    return it != Anchors.end() && it->first == pos ? it->second : -1;
}

int64_t TLavfAudioStreamIndex::Delay() const
{
    int64_t delay = 0;
    for (const TLavfAudioPacket &p : Packets)
        if (p.HasSkip)
            delay += int64_t(GetLE32(p.Skip));
    return delay;
}

std::string TLavfAudioIndex::Serialize(const TLavfFileKey &key) const
{
    std::string out;
    TByteWriter w(out);
    w.Bytes(kMagic, sizeof kMagic);
    w.U32(kVersion);
    WriteLavfCacheKey(w, key);
    // The lengths are what these libraries decode: another version indexes again.
    w.U32(avformat_version());
    w.U32(avcodec_version());
    w.U32(uint32_t(Streams.size()));
    for (const auto &ix : Streams) {
        w.U8(ix ? 1 : 0);
        if (ix)
            WriteStream(w, *ix);
    }
    w.U64(LavfCacheChecksum(out.data(), out.size()));
    return out;
}

bool TLavfAudioIndex::Parse(const uint8_t *data, size_t size, const TLavfFileKey &key)
{
    Streams.clear();
    if (size < sizeof kMagic + 8 || !std::equal(kMagic, kMagic + sizeof kMagic, data) ||
        GetLE64(data + size - 8) != LavfCacheChecksum(data, size - 8))
        return false;
    TByteReader r(data + sizeof kMagic, size - sizeof kMagic - 8);
    if (r.U32() != kVersion || !ReadLavfCacheKey(r, key) || r.U32() != avformat_version() ||
        r.U32() != avcodec_version())
        return false;
    const uint32_t count = r.U32();
    if (r.Failed() || count > kMaxStreams || r.Remaining() < count)
        return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t present = r.U8();
        std::unique_ptr<TLavfAudioStreamIndex> ix;
        if (r.Failed() || present > 1 || (present && !(ix = ReadStream(r)))) {
            Streams.clear();
            return false;
        }
        Streams.push_back(std::move(ix));
    }
    if (r.Remaining() != 0) {
        Streams.clear();
        return false;
    }
    return true;
}

std::string LavfAudioIndexCacheFile(const TLavfFileKey &key) { return LavfIndexCacheFile(key.Path, ".aidx"); }

bool LoadLavfAudioIndex(const TLavfFileKey &key, TLavfAudioIndex &index)
{
    std::string bytes;
    if (!ReadLavfCacheFile(LavfAudioIndexCacheFile(key), bytes))
        return false;
    return index.Parse(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), key);
}

bool SaveLavfAudioIndex(const TLavfFileKey &key, const TLavfAudioIndex &index)
{
    return WriteLavfCacheFile(LavfAudioIndexCacheFile(key), index.Serialize(key));
}

} // namespace tessaly
