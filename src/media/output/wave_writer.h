// TWaveWriter: writes a RIFF WAVE file from blocks of audio through a TFileCache,
// patching the header sizes when the file is finalised; files stay below 2 GiB.
#pragma once

#include "media/common/media_error.h"
#include "platform/file_cache.h"
#include "platform/safe_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// Plain PCM: tag 1, channels not 0, rate above 0, 8 or 16 bits, block align =
// bits x channels / 8. format points to a WAVEFORMATEX layout of length bytes.
bool IsPlainPcmFormat(const void *format, int32_t length);

class TWaveWriter {
public:
    TWaveWriter();
    ~TWaveWriter(); // discards an open file (see Discard)
    TWaveWriter(const TWaveWriter &) = delete;
    TWaveWriter &operator=(const TWaveWriter &) = delete;

    // Copies the wave-format record (WAVEFORMATEX layout, length >= 16 bytes).
    // meState while open, meParam for null or short, meMemory when the copy fails.
    TMediaError SetFormat(const void *format, int32_t length);
    // Closes any open file (as Close), then creates fileName with its extension replaced by
    // ".wav" (under a temporary name beside it until Close) and writes the header.
    // meAudioFormat, meFileOpen (OpenErrno() tells why) or meFileWrite.
    TMediaError Open(const std::string &fileName);
    // Appends blocks x block-align bytes from data. meState when not open, meParam
    // for no bytes, meFileExceeds2GB at the size limit, meFileWrite once a write failed.
    TMediaError Write(const void *data, int32_t blocks);
    // Patches the sizes, flushes, closes and renames the file onto its name; meOk
    // without an open file, else meOk or meFileWrite. After a failed write the file is
    // removed instead and an earlier file of that name stays; a file that reached the
    // size limit keeps the blocks it took.
    TMediaError Close();
    // Abandons an open file: removed, the target name untouched.
    void Discard();
    // errno of the last failed Open.
    int OpenErrno() const { return FOpenErrno; }
    // errno of the failed write (ENOSPC: the disk is full) behind meFileWrite from Write
    // or Close; 0 when no write of the file failed.
    int WriteErrno() const { return FFile.WriteErrno(); }
    // The name of the file opened last (with its ".wav" extension), or empty.
    std::string FileName() const;
    // The size limit in units of 64 KiB: the file stays below limit x 65536 - 4
    // bytes. 32768 (2 GiB) unless changed; smaller values serve tests.
    void SetSizeLimit(uint32_t units) { FSizeLimit = units; }

    bool IsOpen() const { return FOpen; }
    int32_t TotalBlocks() const { return FTotalBlocks; }
    int32_t BlockAlign() const;

private:
    bool Finalise();

    TFileCache FFile;
    TSafeFile FSafe;
    std::string FTarget;
    int FOpenErrno = 0;
    bool FOpen = false;
    std::vector<uint8_t> FFormat;
    bool FError = false;
    bool FWriteFailed = false;   // a write reached the file short: the file is broken
    int32_t FTotalBlocks = 0;
    int32_t FDataChunkPos = 0;
    uint32_t FSizeLimit = 32768;
};

} // namespace tessaly
