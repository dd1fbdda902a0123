// TFileCache: a write-behind buffered output file with random repositioning and a
// latched write failure, for output files below 2 GiB (the WAV writer).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaly {

// Capacity of the buffer of a cache opened from now on; 0 or less means 8192.
inline int FileCacheBufferSize = 8192;

class TFileCache {
public:
    // Bits of Flags().
    static constexpr uint8_t cfClosed = 0x01;
    static constexpr uint8_t cfWriteFailed = 0x02;
    // Values of State().
    static constexpr uint8_t csIdle = 0, csRead = 1, csWrite = 2;

    TFileCache();
    ~TFileCache();
    TFileCache(const TFileCache &) = delete;
    TFileCache &operator=(const TFileCache &) = delete;

    // Closes first; opens fileName in mode 0 (existing, read/write), 1 (existing,
    // read only) or 2 (create or truncate, read/write). An empty name, another mode
    // or a file of 2 GiB or more fails. Position 0, Size the file length.
    bool Open(const std::string &fileName, int mode);
    // Takes over the open descriptor `fd` (closed by this object from now on, also when
    // this fails) as the file `fileName`; the rest as Open.
    bool Adopt(int fd, const std::string &fileName, bool writable);
    // Flushes pending bytes and closes; always true. Owners that must know whether
    // the pending bytes reached the file call Flush first.
    bool Close();
    bool IsOpen() const { return (FFlags & cfClosed) == 0; }

    // Appends one byte at Position. Refused unless writable and Flags is 0; a full
    // buffer is flushed at once and that flush decides the result.
    bool WriteByte(uint8_t b);
    // Writes bytes until one is refused; returns the number of bytes taken.
    int Write(const void *data, int count);
    // True when all count bytes were taken.
    bool WriteAll(const void *data, int count) { return Write(data, count) == count; }
    // Flushes and moves Position to position clamped to 0..Size; ignored unless Flags is 0.
    void Seek(int32_t position);
    // Writes the pending buffer; false when the write fell short or Flags is not 0.
    bool Flush();
    // Flush, then the system's flush to disk (fsync); false when either fails.
    bool Sync();
    // Why the last failed write or sync failed (errno; ENOSPC for a write that took no
    // byte), 0 when none failed since the file was opened. Kept after Close.
    int WriteErrno() const { return FWriteErrno; }
    // Closes when open and renames the file; true when the system reports no error.
    bool Rename(const std::string &newName);
    // Closes when open and removes the file; true when the system reports no error.
    bool Delete();

    const std::string &FileName() const { return FFileName; }
    bool Writable() const { return FWritable; }
    uint8_t Flags() const { return FFlags; }
    uint8_t State() const { return FState; }
    int32_t Size() const { return FSize; }
    int32_t Position() const { return FPosition; }
    int32_t BufferStart() const { return FBufferStart; }
    int32_t BufferLength() const { return FBufferLength; }
    int32_t BufferSize() const { return FBufferSize; }

private:
    bool CloseFile();

    std::string FFileName;
    int FHandle = -1;
    bool FWritable = false;
    uint8_t FFlags = cfClosed;
    uint8_t FState = csIdle;
    int32_t FSize = 0;
    int32_t FPosition = 0;
    int32_t FBufferStart = 0;
    int32_t FBufferLength = 0;
    int32_t FBufferOffset = 0;
    int32_t FBufferSize = 0;
    int FWriteErrno = 0;
    std::unique_ptr<uint8_t[]> FBuffer;
};

} // namespace tessaly
