// TFile64: a thin wrapper round a POSIX file descriptor with 64-bit sizes and
// positions, through which the AVI/RIFF reader reads every byte (one pread per Read).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly {

class TFile64 {
public:
    // Open modes.
    static constexpr int fmReadWrite = 0; // existing file, read and write
    static constexpr int fmRead = 1;      // existing file, read only
    static constexpr int fmCreate = 2;    // create or truncate, read and write
    // Seek origins (the system's numbering).
    static constexpr int soBegin = 0, soCurrent = 1, soEnd = 2;

    TFile64();
    ~TFile64();
    TFile64(const TFile64 &) = delete;
    TFile64 &operator=(const TFile64 &) = delete;

    // Closes first (failing when that fails), then opens fileName in mode 0, 1 or 2;
    // any other mode fails. On success Position is 0 and Size the file size in bytes.
    bool Open(const std::string &fileName, int mode);
    // Closes the descriptor when open (result = the system's success); true when
    // already closed. Always resets the object.
    bool Close();
    // Moves Position by a signed byte offset from origin; a position below 0 fails
    // (EINVAL) and leaves Position unchanged.
    bool Seek(int64_t offset, int origin);
    bool Rewind() { return Seek(0, soBegin); }
    bool SeekTo(int64_t position) { return Seek(position, soBegin); }
    // Reads count bytes into buffer at Position. Refused without touching the file
    // when Position + count exceeds Size. Position advances by the bytes read; a
    // short read is not reported as failure.
    bool Read(void *buffer, size_t count);

    int Handle() const { return FHandle; }
    const std::string &FileName() const { return FFileName; }
    bool IsOpen() const { return FIsOpen; }
    bool Writable() const { return FWritable; }
    int64_t Size() const { return FSize; }
    int64_t Position() const { return FPosition; }
    // errno after the last Open, Close, Seek or Read (0 on success).
    uint32_t LastError() const { return FLastError; }

private:
    void Reset();

    int FHandle = -1;
    std::string FFileName;
    bool FIsOpen = false;
    bool FWritable = false;
    int64_t FSize = 0;
    int64_t FPosition = 0;
    uint32_t FLastError = 0;
};

} // namespace tessaly
