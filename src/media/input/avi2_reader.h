// TAvi2Reader: reads AVI 1.0 ('idx1'), OpenDML AVI (super and standard indexes over
// several RIFF blocks, beyond 4 GiB) and WAVE files with AVIFile-shaped results.
#pragma once

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"
#include "media/input/avi2_records.h"
#include "platform/file64.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class TAvi2Reader {
public:
    static constexpr int MaxStreams = 100;

    TAvi2Reader();
    virtual ~TAvi2Reader();
    TAvi2Reader(const TAvi2Reader &) = delete;
    TAvi2Reader &operator=(const TAvi2Reader &) = delete;

    // Closes, opens fileName read-only and parses it. 0 or AVIERR_FILEOPEN,
    // AVIERR_FILEREAD, AVIERR_MEMORY, AVIERR_BADFORMAT; closed again on failure.
    virtual int32_t Open(const std::string &fileName);
    // Closes the file and frees every index, format and chunk list.
    virtual void Close();
    // True when an open file passed every structural check (remembered until Close).
    bool IsValid();

    // Taken as dwStart = 0 for every stream by the next Open; off after construction.
    void SetStartAtZero(bool on) { FStartAtZero = on; }
    bool StartAtZero() const { return FStartAtZero; }

    // Description records; zeros when not valid or the stream is out of range.
    void GetFileInfo(AVIFILEINFO &info);
    void GetStreamInfo(int stream, AVISTREAMINFO &info);

    int StreamCount();      // streams declared in the main header (0 when not valid)
    int VideoStreamCount(); // streams of kind video / audio
    int AudioStreamCount();
    int VideoStream(int i); // stream number of the i-th (0-based) video stream, -1 if none
    int AudioStream(int i);
    TAvi2StreamKind StreamKind(int stream);
    TAvi2FileKind FileKind() const { return FFileKind; }

    // Stream format ('strf', or 'fmt ' for WAVE). size: buffer size in, format length
    // out. Without buffer only the length; a short buffer gets size bytes and
    // AVIERR_BUFFERTOOSMALL. AVIERR_BADPARAM for a stream out of range.
    int32_t ReadFormat(int stream, int32_t &size, void *buffer);
    // AVIStreamReadData convention for 'strh', 'strf' or any chunk of the stream's
    // 'strl' list ('strd', 'strn', ...); AVIERR_NODATA when there is no such chunk.
    int32_t ReadData(int stream, uint32_t chunkId, int32_t &size, void *buffer);
    // File-level counterpart: 'avih' (56 bytes) or any chunk found directly in 'hdrl'.
    int32_t ReadFileData(uint32_t chunkId, int32_t &size, void *buffer);

    int RiffCount() const { return FRiffCount; }
    int64_t FileSize() const { return FFile.Size(); }
    const std::string &FileName() const { return FFile.FileName(); }
    // Why the last Open refused the file's wave format (empty otherwise).
    const TMediaProblem &Problem() const { return FProblem; }

    // AVIStreamRead convention: reads count samples (-1 = 1) from start into buffer
    // (bufferSize bytes). Reports the bytes and samples delivered (either pointer may
    // be null). AVIERR_BUFFERTOOSMALL when none was delivered; a call without buffer
    // is a size query: AVIERR_BUFFERTOOSMALL with the bytes and samples a read would
    // give. AVIERR_BADHANDLE for a bad stream/start/count, AVIERR_FILEREAD on a failed read,
    // AVIERR_BADFORMAT when a chunk's header does not carry the index's chunk id and size
    // (the index points at other bytes; nothing of that chunk is delivered).
    int32_t Read(int stream, int32_t start, int32_t count, void *buffer, int32_t bufferSize,
                 int32_t *bytesRead, int32_t *samplesRead);
    // AVIStreamFindSample convention with the FIND_ flags; -1 when none.
    int32_t FindSample(int stream, int32_t position, uint32_t flags);
    // The chunk holding the sample carries the key-frame flag (AVI only; false for WAVE).
    bool IsKeyFrame(int stream, int32_t sample);

    // Locates a sample of a valid stream; false when out of dwStart..dwStart+dwLength-1.
    bool LocateSample(int stream, int32_t sample, TAvi2SamplePos &pos);
    // Moves pos to the first sample of the next chunk; false at the last one.
    bool NextChunk(TAvi2SamplePos &pos);

    // A stream's record (header, format, index, totals); null when not valid or out of range.
    const TAvi2StreamRec *StreamRecord(int stream);

protected:
    // The open file (read-only); derived readers read stored chunks through it.
    TFile64 &File() { return FFile; }

private:
    TMediaProblem FProblem;
    struct TParseState;
    int32_t Parse();
    int64_t ReadChunk(TParseState &ps, int64_t pos, int64_t end);
    bool ReadSubChunks(TParseState &ps, int64_t start, int64_t end, const std::string &pathAdd);
    bool HandleChunk(TParseState &ps, uint32_t id, int64_t dataPos, uint32_t size);
    bool HandleRiff(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleList(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleAvih(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleStrh(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleStrf(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleIdx1(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleDmlh(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleIndx(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleFmt(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleData(TParseState &ps, int64_t dataPos, uint32_t size);
    bool HandleOther(TParseState &ps, uint32_t id, int64_t dataPos, uint32_t size);
    bool ReadBlock(int64_t position, void *buffer, size_t count);
    bool ReadIndexChunk(uint32_t id, int64_t dataPos, uint32_t size, std::vector<uint8_t> &out);
    bool OpenDmlComplete();
    int32_t FinishAvi();
    int32_t FinishWave();
    bool ReadStandardIndexes(TAvi2StreamRec &s, std::vector<std::vector<uint8_t>> &out);
    bool BuildFromOpenDml(int stream);
    bool BuildFromIdx1(int stream);
    int64_t Idx1Base();
    bool ChunkHeaderIs(int64_t headerPos, uint32_t id, uint32_t size);
    bool EntryHeaderMatches(TAvi2StreamRec &s, int32_t entry);
    bool AddEntry(TAvi2StreamRec &s, int64_t position, uint32_t size, uint32_t flags);
    void BuildDescriptions();
    void BuildFileInfo();
    void BuildStreamInfos();
    int32_t ChunkRead(const TAvi2ChunkRef *ref, int32_t &size, void *buffer);
    int32_t FindEntry(const TAvi2StreamRec &s, int32_t sample, int32_t guess) const;

    TFile64 FFile;
    bool FReadFailed = false;
    bool FMemoryFailed = false;
    bool FValidCache = false;
    bool FOpenDmlCache = false;
    bool FStartAtZero = false;
    TAvi2FileKind FFileKind = fkNone;
    int FRiffCount = 0;
    int FCurrentStream = -1;
    int FErrorCount = 0;
    int64_t FEntryBudget = 0;
    uint8_t FMainHeader[56] = {};
    bool FHasAvih = false;
    std::vector<uint8_t> FIdx1;
    int64_t FMoviBase = 0;
    int64_t FIdx1Base = 0; // added to the 'idx1' offsets: FMoviBase, or 8 for absolute ones
    std::vector<uint8_t> FDmlh;
    std::vector<TAvi2ChunkRef> FFileChunks;
    std::vector<uint8_t> FVideoStreams; // stream numbers in file order
    std::vector<uint8_t> FAudioStreams;
    std::vector<TAvi2StreamRec> FStreams;
    AVIFILEINFO FFileInfo = {};
};

} // namespace tessaly
