// RIFF byte-file builder for tests.
#include "support/riff_builder.h"

#include <fstream>

namespace tessaly::test {

std::string U16(uint16_t v) { return std::string{char(v), char(v >> 8)}; }
std::string U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }
std::string U64(uint64_t v) { return U32(uint32_t(v)) + U32(uint32_t(v >> 32)); }

static std::string Id4(const std::string &id) { return (id + "    ").substr(0, 4); }

TRiffBuilder &TRiffBuilder::Begin(const std::string &id, const std::string &type)
{
    FData += Id4(id);
    FOpen.push_back(FData.size());
    FData += U32(0) + Id4(type);
    return *this;
}

TRiffBuilder &TRiffBuilder::End()
{
    size_t at = FOpen.back();
    FOpen.pop_back();
    uint32_t size = uint32_t(FData.size() - at - 4);
    PatchU32(at, size);
    if (size & 1)
        FData.push_back('\0');
    return *this;
}

TRiffBuilder &TRiffBuilder::Chunk(const std::string &id, const std::string &data)
{
    FData += Id4(id) + U32(uint32_t(data.size())) + data;
    if (data.size() & 1)
        FData.push_back('\0');
    return *this;
}

TRiffBuilder &TRiffBuilder::Header(const std::string &id, uint32_t size)
{
    FData += Id4(id) + U32(size);
    return *this;
}

TRiffBuilder &TRiffBuilder::Raw(const std::string &bytes)
{
    FData += bytes;
    return *this;
}

void TRiffBuilder::PatchU32(size_t at, uint32_t value) { FData.replace(at, 4, U32(value)); }

bool TRiffBuilder::Save(const std::string &path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(FData.data(), std::streamsize(FData.size()));
    return bool(out);
}

std::string AviMainHeader(uint32_t microSecPerFrame, uint32_t totalFrames, uint32_t streams, uint32_t width,
                          uint32_t height, uint32_t flags)
{
    return U32(microSecPerFrame) + U32(0) + U32(0) + U32(flags) + U32(totalFrames) + U32(0) + U32(streams) +
           U32(0x10000) + U32(width) + U32(height) + std::string(16, '\0');
}

std::string StreamHeader(const std::string &type, const std::string &handler, uint32_t scale, uint32_t rate,
                         uint32_t start, uint32_t length, uint32_t sampleSize, uint16_t right, uint16_t bottom)
{
    return Id4(type) + Id4(handler) + U32(0) + U16(0) + U16(0) + U32(0) + U32(scale) + U32(rate) + U32(start) +
           U32(length) + U32(0x10000) + U32(0xFFFFFFFF) + U32(sampleSize) + U16(0) + U16(0) + U16(right) +
           U16(bottom);
}

std::string BitmapInfo(int32_t width, int32_t height, uint16_t bitCount, const std::string &compression)
{
    std::string comp = compression.empty() ? U32(0) : Id4(compression);
    return U32(40) + U32(uint32_t(width)) + U32(uint32_t(height)) + U16(1) + U16(bitCount) + comp +
           U32(uint32_t(width * height * bitCount / 8)) + std::string(16, '\0');
}

std::string WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withSize,
                       const std::string &extra)
{
    uint16_t align = uint16_t(channels * bits / 8);
    std::string f = U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
    if (withSize)
        f += U16(uint16_t(extra.size())) + extra;
    return f;
}

std::string Idx1Entry(const std::string &ckid, uint32_t flags, uint32_t offset, uint32_t length)
{
    return Id4(ckid) + U32(flags) + U32(offset) + U32(length);
}

std::string IndexChunk(uint16_t longsPerEntry, uint8_t subType, uint8_t type, const std::string &chunkId,
                       uint64_t baseOffset, const std::vector<std::string> &entries)
{
    std::string s = U16(longsPerEntry) + std::string(1, char(subType)) + std::string(1, char(type)) +
                    U32(uint32_t(entries.size())) + Id4(chunkId) + U64(baseOffset) + U32(0);
    for (const std::string &e : entries)
        s += e;
    return s;
}

} // namespace tessaly::test
