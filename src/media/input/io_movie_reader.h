// TIOMovieReader: the video source front-end. Opens a video (or a list of segment files
// forming one clip) through one of the access paths (the own AVI reader, the system media
// layer, FFmpeg's demuxers, a reader plug-in, still images, or a generated phantom clip;
// each a TVideoSource, tried in the order VideoPathOrder gives) and delivers frame n as a
// frame image in one fixed output format, plus each frame's stored data for smart rendering.
#pragma once

#include "media/common/io_image.h"
#include "media/common/media_error.h"
#include "media/common/vfw_types.h"
#include "media/input/source_kind.h"
#include "media/input/video_source.h"
#include "media/input/wave_choose.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

class TLavfVideoSource;

// One frame's stored data; Data points into the reader's raw buffer (valid until the next
// read). A dropped frame is Ok with Size 0 and KeyFrame false.
struct TStoredFrame {
    bool Ok = false;
    bool KeyFrame = false;
    int32_t Size = 0;
    const uint8_t *Data = nullptr;
};

class TIOMovieReader {
public:
    TIOMovieReader();
    ~TIOMovieReader();
    TIOMovieReader(const TIOMovieReader &) = delete;
    TIOMovieReader &operator=(const TIOMovieReader &) = delete;

    // Opens a file list ("name" or "template*|part|part") by kind string ("ODML|-1",
    // "AUTO|-1", ...); withAudio also lists audio streams; accessLevel 0..2 (2: only
    // sources with stored-data access). False with Status() set; closed on failure.
    bool Open(const std::string &fileList, const std::string &kindString, bool allowFallback = true,
              bool withAudio = false, bool prefer24 = true, int accessLevel = 0);
    // A generated clip of length frames at rate/scale frames per second (meParam).
    bool OpenPhantom(uint32_t width, uint32_t height, int32_t length, int32_t scale, int32_t rate,
                     TIOPixelFormat format);
    void Close();
    // Open with a selected video stream.
    bool IsOpen() const;

    const std::string &FileList() const { return FFileList; }
    TSourceKind Kind() const { return FKind; }
    int PluginIndex() const { return FPlugin; }
    // The kind string of the open source, "" when nothing is open.
    std::string KindString() const;
    TMediaError Status() const { return FStatus; }
    // After a failed Open: what was found wrong with the file, when that can be said.
    const TMediaProblem &Problem() const { return FProblem; }
    // The access path as a message key and name ("WrdSrcVideo" with "OpenDML", "WrdSrcPhantom").
    TSourceDescription Description() const;

    int SegmentCount() const { return FSource ? FSource->SegmentCount() : 0; }
    int VideoStreamCount() const { return int(FVideoStreams.size()); }
    int VideoStreamNumber(int i) const; // -1 for a bad index
    int AudioStreamCount() const { return int(FAudioStreams.size()); }
    int AudioStreamNumber(int i) const;
    // Selects the i-th video stream; 24-bit output preferred for 16- and 32-bit input.
    bool SelectVideoStream(int i, bool prefer24 = true);
    int SelectedStream() const { return FSelected; } // index in the video stream list, -1 none
    // A stream's description merged over the segments (zeros for a bad stream number).
    AVISTREAMINFO GetStreamInfo(int stream) const;
    AVISTREAMINFO GetVideoStreamInfo(int i) const;
    // The file description of a segment (zeros for a bad index).
    AVIFILEINFO FileInfo(int segment) const;

    uint32_t Width() const;
    uint32_t Height() const;
    TIOPixelFormat PixelFormat() const; // of the output bit count; 24 bits when closed
    int BitCount() const;               // the input format's, else the output's
    int32_t Scale() const;              // dwScale, 1 when not above 0
    int32_t Rate() const;               // dwRate, -1 when not above 0
    long double FrameRate() const { return (long double)Rate() / Scale(); }
    uint32_t Handler() const;
    uint32_t Compression() const;
    int32_t Quality() const;
    int32_t FrameCount() const { return FFrameCount; }
    uint32_t MaxBufferSize() const;
    uint32_t MaxBytesPerSec() const;
    bool ConvertFlag() const { return FConvert; }
    bool IndeoFlag() const { return FIndeo; }
    const std::vector<uint8_t> &InputFormat() const { return FInputFormat; }
    const std::vector<uint8_t> &OutputFormat() const { return FOutputFormat; }

    // A new image of the output format for the caller to own; null when nothing is open.
    std::unique_ptr<TIOImage> NewFrameImage() const;
    // The picture of frame n into image (output width and height, and bit count unless
    // converting). meParam, meFrameFormat, meFileRead and the plug-in's status on failure.
    bool GetFrame(int32_t n, TIOImage &image);

    // Smart rendering: stored frames of MSVW and ODML sources and of plug-ins with the
    // RIFF extension (CanReadStored also needs decode-only off).
    bool CanSmartRender() const;
    bool CanReadStored() const;
    // The input format when stored data can be read, else the output format; empty with
    // meState when neither exists.
    std::vector<uint8_t> GetStoredFormat();
    TStoredFrame ReadStored(int32_t n);
    bool IsKeyFrame(int32_t n);
    // The selected stream's 'strd' data, empty when there is none.
    std::vector<uint8_t> ReadCodecData();

    // The FFmpeg container source of a segment (kind LAVF), null for other kinds: its
    // facts, codec parameters and packet timestamps.
    const TLavfVideoSource *LavfVideo(int segment = 0) const;
    TLavfVideoSource *LavfVideo(int segment = 0);

    // Every delivered frame is turned upside down.
    bool UpsideDown() const { return FUpsideDown; }
    void SetUpsideDown(bool on) { FUpsideDown = on; }
    // Plug-ins with the RIFF extension are decoded instead of read as stored.
    bool DecodeOnly() const { return FDecodeOnly; }
    void SetDecodeOnly(bool on) { FDecodeOnly = on; }

private:
    bool OpenKind(const std::vector<std::string> &files, const TPathAttempt &path, bool withAudio, bool prefer24,
                  int accessLevel);
    // Takes opened segments as the source: checks them, joins several, selects the first
    // video stream and sizes the raw buffer. Closed on failure.
    bool Adopt(std::vector<std::unique_ptr<TVideoSource>> segments, bool withAudio, bool prefer24);
    bool Fail(TMediaError code);
    bool HasFrame(int32_t n) const { return IsOpen() && n >= 0 && n < FFrameCount; }
    TVideoReadMode Mode() const { return {FUpsideDown, FDecodeOnly}; }
    const AVISTREAMINFO *SelectedInfo() const;
    bool EnsureRaw(size_t bytes);

    std::string FFileList;
    TSourceKind FKind = ksNone;
    int FPlugin = -1;
    bool FOk = false;
    TMediaError FStatus = meOk;
    TMediaProblem FProblem;
    // The open clip: one path's source, or the segments joined.
    std::unique_ptr<TVideoSource> FSource;
    int FStreamCount = 0;
    std::vector<int> FVideoStreams, FAudioStreams;
    int FSelected = -1;
    std::vector<uint8_t> FInputFormat, FOutputFormat;
    bool FConvert = false, FIndeo = false;
    int32_t FFrameCount = 0;
    std::vector<uint8_t> FRaw;
    bool FUpsideDown = false, FDecodeOnly = false;
};

// Whether a file name has the extension of a still-image format the loader reads.
bool IsImageFileName(const std::string &fileName);

// Whether direct media-framework access (kind MSDS) is available: no such component is
// bound, so it never is, and opening with that kind fails with meFileHandler.
inline bool DirectVideoAvailable() { return false; }

// Copies a picture into one of the same width, height and pixel format (palette, display
// mode, zoom, print resolution and pixels) in one change bracket; false otherwise.
bool CopyImage(const TIOImage &source, TIOImage &target);
// Nearest-neighbour scaling between two images of the same pixel format; false otherwise.
bool ScaleImage(const TIOImage &source, TIOImage &target);

} // namespace tessaly
