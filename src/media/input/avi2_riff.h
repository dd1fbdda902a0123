// Chunk ids and the OpenDML index header shared by the parts of TAvi2Reader.
#pragma once

#include "media/common/byte_order.h"

#include <cstdint>
#include <vector>

namespace tessaly::avi2 {

constexpr uint32_t ckRIFF = FourCC("RIFF"), ckLIST = FourCC("LIST"), ckAVI = FourCC("AVI "),
                   ckAVIX = FourCC("AVIX"), ckWAVE = FourCC("WAVE"), ckHdrl = FourCC("hdrl"),
                   ckStrl = FourCC("strl"), ckOdml = FourCC("odml"), ckMovi = FourCC("movi"),
                   ckAvih = FourCC("avih"), ckStrh = FourCC("strh"), ckStrf = FourCC("strf"),
                   ckIdx1 = FourCC("idx1"), ckDmlh = FourCC("dmlh"), ckIndx = FourCC("indx"),
                   ckFmt = FourCC("fmt "), ckData = FourCC("data"), ckJunk = FourCC("JUNK");

// The 24-byte header of an OpenDML index chunk ('indx' or 'ix##').
struct TIndexHeader {
    uint16_t LongsPerEntry;
    uint8_t SubType;
    uint8_t Type; // 0 index of indexes, 1 index of chunks
    int32_t EntriesInUse;
    uint32_t ChunkId;
    uint64_t BaseOffset;
};

// b holds at least 24 bytes (checked by the caller).
inline TIndexHeader ParseIndexHeader(const std::vector<uint8_t> &b)
{
    TIndexHeader h;
    h.LongsPerEntry = GetLE16(&b[0]);
    h.SubType = b[2];
    h.Type = b[3];
    h.EntriesInUse = GetLE32s(&b[4]);
    h.ChunkId = GetLE32(&b[8]);
    h.BaseOffset = GetLE64(&b[12]);
    return h;
}

} // namespace tessaly::avi2
