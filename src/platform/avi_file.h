// The system media layer (source kind "MSVW"): FFmpeg's demuxers behind a class shaped
// like the AVIFile library, so the front-ends open the files that library reads (AVI and
// WAVE of any size, AviSynth scripts) through one file/stream interface with AVIFILEINFO
// and AVISTREAMINFO records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"

struct AVIndexEntry;
struct AVPacket;

namespace tessaly {

// One file opened read-only. Streams are numbered 0 .. StreamCount() - 1 in file order.
// Every result is an AVIERR code (0 success). Audio streams in a PCM format are read by
// sample frame (one sample of every channel), exact to the sample; every other stream
// is read by stored packet, one packet per sample. AVI video frames are numbered by their
// time stamps, so an empty chunk (a dropped frame) is a frame read as 0 bytes.
class TAviFile {
public:
    TAviFile();
    ~TAviFile();
    TAviFile(const TAviFile &) = delete;
    TAviFile &operator=(const TAviFile &) = delete;

    // Opens fileName read-only (closing first). AVIERR_FILEOPEN when the file cannot be
    // opened, AVIERR_BADFORMAT when no demuxer accepts it or its container is not AVI,
    // WAVE or an AviSynth script, AVIERR_NODATA when it holds no streams, AVIERR_FILEREAD
    // when an AVI without index cannot be read through, AVIERR_MEMORY when an allocation
    // fails. On failure the object stays closed. Uncompressed AVI video is described with
    // its stored header: a negative height for pictures stored top row first.
    // Only local files are read (a playlist or a URL never makes it reach elsewhere), and
    // a PCM stream whose header contradicts itself fails with AVIERR_BADFORMAT and
    // Problem() saying what is wrong.
    int32_t Open(const std::string &fileName);
    // What made the last Open refuse the file (empty when it was not the header).
    const TMediaProblem &Problem() const { return FProblem; }
    void Close();
    bool IsOpen() const { return FContext != nullptr; }

    // The file description; AVIERR_BADHANDLE when not open.
    int32_t GetFileInfo(AVIFILEINFO &info) const;
    int StreamCount() const;
    // The stream description; AVIERR_BADHANDLE when not open, AVIERR_BADPARAM for a bad stream.
    int32_t GetStreamInfo(int stream, AVISTREAMINFO &info) const;
    // First sample number of the stream (its dwStart), -1 for a bad stream.
    int32_t StreamStart(int stream) const;
    // Number of samples of the stream (its dwLength), -1 for a bad stream.
    int32_t StreamLength(int stream) const;

    // The stream format: WAVEFORMATEX (plus cbSize extra bytes) for audio, BITMAPINFOHEADER
    // (plus codec data) with the stream's fourcc for video. Without a buffer, size becomes
    // the format length; with one, min(size, length) bytes are copied, size becomes the
    // length and the result is AVIERR_BUFFERTOOSMALL when the buffer was smaller.
    int32_t ReadFormat(int stream, int32_t &size, void *buffer) const;
    // Extra stream data by chunk id: 'strd' answers the codec data; AVIERR_NODATA when
    // absent. Size and buffer as for ReadFormat.
    int32_t ReadData(int stream, uint32_t chunkId, int32_t &size, void *buffer) const;

    // Reads count samples (AVISTREAMREAD_CONVENIENT: 1) from sample start into buffer
    // (bufferSize bytes). Without a buffer only the sizes are reported. The count is cut at
    // the stream's end; AVIERR_BUFFERTOOSMALL when not one sample fits, AVIERR_BADPARAM for
    // a start outside the stream, AVIERR_FILEREAD when the demuxer fails. bytesRead and
    // samplesRead (either may be null) report what was delivered.
    int32_t Read(int stream, int32_t start, int32_t count, void *buffer, int32_t bufferSize,
                 int32_t *bytesRead, int32_t *samplesRead);
    // True when sample is a key frame (every sample of a PCM stream is).
    bool IsKeyFrame(int stream, int32_t sample);

    // Per-stream state (description, format, last packet); internal to the implementation.
    struct TStreamDesc;

private:
    TMediaProblem FProblem;
    bool ChunkMatchesIndex(const TStreamDesc &s, const AVIndexEntry &entry, const AVPacket &pkt) const;
    static bool PastLastChunk(const TStreamDesc &s, int64_t n);
    using TStream = TStreamDesc;
    struct TPacketCache;
    bool BuildStreams(const std::string &fileName);
    int32_t ReadPcm(TStream &s, int32_t start, int32_t count, uint8_t *out, int32_t bufferSize,
                    int32_t &bytes, int32_t &samples);
    int32_t ReadPackets(TStream &s, int32_t start, int32_t count, uint8_t *out, int32_t bufferSize,
                        int32_t &bytes, int32_t &samples);
    // Makes the cache hold the packet of stream s that contains sample n.
    int32_t LoadPacketAt(TStream &s, int64_t n);
    static int EntryOf(const TStream &s, int64_t n);
    // Reads the next packet of stream s from the demuxer into the cache.
    int32_t NextPacketOf(TStream &s);

    void *FContext = nullptr; // AVFormatContext
    int FFd = -1;             // the file itself, for checking chunk headers against the index
    bool FIsAvi = false;
    std::vector<std::unique_ptr<TStream>> FStreams;
    std::unique_ptr<TPacketCache> FCache;
    AVIFILEINFO FInfo{};
};

} // namespace tessaly
