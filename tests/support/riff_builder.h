// A small builder of RIFF byte files (AVI, OpenDML, WAVE) for tests: nested chunks
// with sizes patched on close, pad bytes, and the common header records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly::test {

class TRiffBuilder {
public:
    // Opens a 'RIFF' or 'LIST' chunk with its form/list type; closed by End().
    TRiffBuilder &Begin(const std::string &id, const std::string &type);
    // Closes the innermost open chunk: patches its size and adds a pad byte when odd.
    TRiffBuilder &End();
    // A whole chunk with its data (and a pad byte when the size is odd).
    TRiffBuilder &Chunk(const std::string &id, const std::string &data);
    // A chunk header with a size of one's own choosing and no data (for broken files).
    TRiffBuilder &Header(const std::string &id, uint32_t size);
    // Raw bytes, appended as they are.
    TRiffBuilder &Raw(const std::string &bytes);
    // Offset where the next byte goes.
    size_t Pos() const { return FData.size(); }
    // Overwrites a 32-bit little-endian value at an offset already written.
    void PatchU32(size_t at, uint32_t value);
    const std::string &Data() const { return FData; }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(FData.begin(), FData.end()); }
    bool Save(const std::string &path) const;

private:
    std::string FData;
    std::vector<size_t> FOpen; // offsets of the open chunks' size fields
};

// Little-endian field packers for building records.
std::string U16(uint16_t v);
std::string U32(uint32_t v);
std::string U64(uint64_t v);

// 56-byte 'avih'.
std::string AviMainHeader(uint32_t microSecPerFrame, uint32_t totalFrames, uint32_t streams, uint32_t width,
                          uint32_t height, uint32_t flags = 0x10);
// 56-byte 'strh' (rcFrame 0, 0, right, bottom as 16-bit values).
std::string StreamHeader(const std::string &type, const std::string &handler, uint32_t scale, uint32_t rate,
                         uint32_t start, uint32_t length, uint32_t sampleSize, uint16_t right = 0,
                         uint16_t bottom = 0);
// 40-byte BITMAPINFOHEADER.
std::string BitmapInfo(int32_t width, int32_t height, uint16_t bitCount, const std::string &compression);
// WAVEFORMATEX: 16 bytes, or 18 with cbSize and extra bytes when withSize is set.
std::string WaveFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, bool withSize = false,
                       const std::string &extra = "");
// One 16-byte 'idx1' entry.
std::string Idx1Entry(const std::string &ckid, uint32_t flags, uint32_t offset, uint32_t length);
// An OpenDML index chunk body: 24-byte header and entries (each a string of words).
std::string IndexChunk(uint16_t longsPerEntry, uint8_t subType, uint8_t type, const std::string &chunkId,
                       uint64_t baseOffset, const std::vector<std::string> &entries);

} // namespace tessaly::test
