// Little-endian byte access and four-character codes for RIFF, AVI and WAVE data.
// Every file structure is read and written field by field through these helpers;
// no struct is ever filled by casting raw file bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tessaly {

inline uint16_t GetLE16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t GetLE64(const uint8_t *p) { return uint64_t(GetLE32(p)) | (uint64_t(GetLE32(p + 4)) << 32); }
inline int16_t GetLE16s(const uint8_t *p) { return int16_t(GetLE16(p)); }
inline int32_t GetLE32s(const uint8_t *p) { return int32_t(GetLE32(p)); }

inline void PutLE16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void PutLE32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void PutLE64(uint8_t *p, uint64_t v) { PutLE32(p, uint32_t(v)); PutLE32(p + 4, uint32_t(v >> 32)); }

// A four-character code as stored in a file: the first character is the lowest byte.
constexpr uint32_t MakeFourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | (uint32_t(uint8_t(b)) << 8) | (uint32_t(uint8_t(c)) << 16) |
           (uint32_t(uint8_t(d)) << 24);
}
constexpr uint32_t FourCC(const char (&s)[5]) { return MakeFourCC(s[0], s[1], s[2], s[3]); }

// The four characters of a code, for messages and file-type texts.
inline std::string FourCCText(uint32_t fcc)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        s[size_t(i)] = char(uint8_t(fcc >> (8 * i)));
    return s;
}

// Appends little-endian values to a growing byte buffer (header lists, index chunks).
class TByteWriter {
public:
    explicit TByteWriter(std::string &out) : FOut(out) {}
    void U8(uint8_t v) { FOut.push_back(char(v)); }
    void U16(uint16_t v) { uint8_t b[2]; PutLE16(b, v); Bytes(b, 2); }
    void U32(uint32_t v) { uint8_t b[4]; PutLE32(b, v); Bytes(b, 4); }
    void U64(uint64_t v) { uint8_t b[8]; PutLE64(b, v); Bytes(b, 8); }
    void Bytes(const void *p, size_t n) { FOut.append(static_cast<const char *>(p), n); }
    void Zeros(size_t n) { FOut.append(n, '\0'); }
    size_t Size() const { return FOut.size(); }
    // Overwrites a 32-bit value written earlier (chunk sizes known only at the end).
    void PatchU32(size_t at, uint32_t v) { uint8_t b[4]; PutLE32(b, v); std::memcpy(&FOut[at], b, 4); }

private:
    std::string &FOut;
};

// Reads little-endian values from a byte range with bounds checks: a read past
// the end yields zero and latches Failed(), so parsers check once after a record.
class TByteReader {
public:
    TByteReader(const uint8_t *data, size_t size) : FData(data), FSize(size) {}
    uint8_t U8() { return Need(1) ? FData[FPos++] : 0; }
    uint16_t U16() { if (!Need(2)) return 0; uint16_t v = GetLE16(FData + FPos); FPos += 2; return v; }
    uint32_t U32() { if (!Need(4)) return 0; uint32_t v = GetLE32(FData + FPos); FPos += 4; return v; }
    uint64_t U64() { if (!Need(8)) return 0; uint64_t v = GetLE64(FData + FPos); FPos += 8; return v; }
    bool Bytes(void *dst, size_t n)
    {
        if (!Need(n)) return false;
        std::memcpy(dst, FData + FPos, n);
        FPos += n;
        return true;
    }
    void Skip(size_t n) { if (Need(n)) FPos += n; }
    size_t Pos() const { return FPos; }
    size_t Remaining() const { return FSize - FPos; }
    bool Failed() const { return FFailed; }

private:
    bool Need(size_t n)
    {
        if (FFailed || n > FSize - FPos) { FFailed = true; return false; }
        return true;
    }
    const uint8_t *FData;
    size_t FSize;
    size_t FPos = 0;
    bool FFailed = false;
};

} // namespace tessaly
