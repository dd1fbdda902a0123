// TAviOutputFile: writes an AVI file with one video and at most one PCM audio stream,
// either plain AVI 1.0 (one RIFF block, 'idx1') or OpenDML ('AVI ' then 'AVIX' blocks,
// super and standard indexes), growing the file ahead of the data and trimming it at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/output/avi_index.h"
#include "media/output/avi_output.h"
#include "platform/safe_file.h"

struct iovec;

namespace tessaly {

class TAviOutputFile : public TAviOutput {
public:
    static constexpr uint32_t kDefaultBlockLimit = 0x7F000000;
    static constexpr int kMaxRiffBlocks = 64;
    static constexpr int kMaxStandardIndexes = 256;
    static constexpr size_t kHeaderBufferSize = 65536;

    // openDml: OpenDML form (results) or plain AVI 1.0 (previews). blockLimit: bytes of
    // chunks per RIFF block before a new 'AVIX' block opens (small values in tests).
    explicit TAviOutputFile(bool openDml, uint32_t blockLimit = kDefaultBlockLimit);
    // Without Finalize, the unfinished file is removed; the target name is not touched.
    ~TAviOutputFile() override;

    bool InitOutputStreams() override;
    // Copies the main header, keeping this file's own dwTotalFrames.
    void SetMainHeader(const TAviMainHeader &header);
    // Sets the 'segm' chunk: size bytes, byte 0 = 0 for the last segment else 1, text from
    // byte 1 (cut to fit). Only the first call allocates. False when memory ran out.
    bool SetSegmentInfo(bool lastSegment, const char *text, uint32_t size);
    // Creates the file under a temporary name beside fileName and writes the header list and the first 'movi' list.
    // False when there is no video stream, the header list exceeds its 64 KiB buffer, or
    // the file cannot be created (message through ReportError).
    bool Init(const std::string &fileName, uint32_t width, uint32_t height, bool hasAudio,
              bool interleaved) override;
    // Writes one chunk ("00db"/"00dc" video, "01wb" audio). Refuses it (false, message
    // reported, file left consistent without it) for lack of disk space, the FAT 4 GiB
    // limit, past the 64th RIFF block, on write errors, and after any earlier refusal.
    bool WriteChunk(uint32_t chunkId, uint32_t flags, uint32_t size, const void *data) override;
    // Writes the indexes, patches the header list, flushes and closes the file and
    // renames it onto the target name. True when not initialised; false when closing
    // failed (the file removed, the target untouched) or any failure was reported
    // before (the file, holding the chunks accepted, still takes the target name).
    bool Finalize() override;
    // Closes and removes the unfinished file when initialised; the target is untouched.
    bool Abort();

    const TAviMainHeader &MainHeader() const { return FMain; }
    // Highest file position written so far, in bytes.
    int64_t WrittenEnd() const { return FWrittenEnd; }
    // RIFF blocks closed so far (after Finalize: all blocks of the file).
    int BlockCount() const { return FBlockCount; }
    bool Initialised() const { return FInitialised; }

protected:
    // Largest file size in bytes the target volume allows, 0 for no limit: 2^32 on FAT
    // volumes (statfs magic numbers of msdos/vfat and exfat). Tests may override it.
    virtual uint64_t VolumeSizeLimit(const std::string &fileName);
    // Largest size in bytes of a plain AVI 1.0 file, whose RIFF size and 'idx1' offsets
    // are 32-bit: 2^32. Tests may override it.
    virtual uint64_t PlainAviSizeLimit() const;

private:
    enum THeaderPatch { hpAvih, hpVideoStrh, hpVideoStrf, hpVideoIndx, hpAudioStrh, hpAudioStrf,
                        hpAudioIndx, hpDmlh, hpSegm, hpCount };

    // Header list building in the 64 KiB buffer; an overflow is latched, never written past.
    size_t HdrList(uint32_t listId, uint32_t type);
    void HdrEndList(size_t pos);
    size_t HdrChunk(uint32_t id, const void *data, uint32_t size);
    void HdrPatch(size_t pos, const void *data, size_t size);
    void BuildHeaderList(bool hasAudio);
    void WriteFiller();
    bool FlushHeader();

    bool OpenRiffBlock();
    void CloseRiffBlock();
    bool WriteLegacyIndex();
    bool CanOpenBlock() const { return FBlockCount + 1 < kMaxRiffBlocks; }

    // Checks the limits, extends the file and readies the index chains for a chunk of
    // `size` bytes of stream s whose header goes to p; false (reported) when refused.
    bool MakeRoom(int s, int64_t p, uint32_t size);
    bool Refuse(TMediaError code, const std::string &message);
    uint32_t EstimateIndexReserve(const uint32_t spacing[2], const uint32_t count[2]) const;
    bool Preallocate(int64_t target);
    bool WriteData(const struct iovec *parts, int count, size_t total);
    bool WriteBytes(const void *data, size_t size);
    bool RawWrite(const struct iovec *parts, int count, size_t total);
    bool WriteAt(int64_t pos, uint32_t value);

    void BuildSuperIndex(int stream);
    size_t WriteStandardIndex(int stream, const std::vector<TAviIndexEntry> &entries, size_t first,
                              size_t limit, uint64_t span);
    void StoreSuperIndex(int stream, uint8_t *out) const;

    bool FOpenDml;
    uint32_t FBlockLimit;
    int FFd = -1;
    TSafeFile FSafe;   // the temporary name the file is written under until Finalize
    std::string FFileName;
    int64_t FPosition = 0;
    int64_t FBlockBytes = 0;
    int FBlockCount = 0;
    int64_t FRiffPos[kMaxRiffBlocks] = {};
    int64_t FRiffSize[kMaxRiffBlocks] = {};
    int64_t FMoviPos[kMaxRiffBlocks] = {};
    int64_t FMoviSize[kMaxRiffBlocks] = {};
    int64_t FPatch[hpCount] = {};
    std::unique_ptr<TAviIndex> FLegacyIndex, FVideoIndex, FAudioIndex;
    std::vector<uint8_t> FHeader;
    size_t FHeaderLen = 0;
    bool FHeaderOverflow = false;
    TAviMainHeader FMain;
    bool FInitialised = false;
    std::vector<uint8_t> FSegment;
    bool FSegmentSet = false;
    int64_t FAllocatedEnd = 0;
    int64_t FWrittenEnd = 0;
    uint32_t FLargestSpacing[2] = {};
    int64_t FPrevChunkPos[2] = {};
    uint32_t FChunkCount[2] = {};
    uint32_t FIndexReserve = 0;
    uint64_t FSizeLimit = 0;       // of the volume, 0: none
    uint64_t FFormatLimit = 0;     // of the plain AVI form, 0: none (OpenDML)
    bool FGrowthOff = false;
    bool FStopped = false;   // a chunk was refused: all later chunks are refused too
    std::vector<uint8_t> FSuperEntries[2];
    uint32_t FSuperCount[2] = {};
};

} // namespace tessaly
