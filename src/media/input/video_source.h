// TVideoSource: one access path of the video front-end behind a small interface. A source
// is one opened clip (a file with its streams, a list of pictures, a generated clip, or
// several segment files joined into one); frames of the selected video stream are numbered
// 0 .. FrameCount() - 1 on the grid of Rate() / Scale() frames per second and delivered as
// pictures of the source's size. Opening is each path's own, as what it opens differs;
// an opened source describes its file and streams for the front-end (Describe).
#pragma once

#include "media/common/io_image.h"
#include "media/common/media_error.h"
#include "media/common/vfw_types.h"
#include "media/input/source_kind.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tessaly {

// A frame's packet as stored in the file. Data points into the source's own buffer and
// stays valid until the next read. Timestamps are in TimeBase units of the stream.
struct TVideoPacket {
    const uint8_t *Data = nullptr;
    int32_t Size = 0;
    int64_t Pts = 0, Dts = 0;
    bool KeyFrame = false;
};

// One stream of an opened file as the front-end lists it.
struct TVideoStreamRecord {
    int32_t Start = 0; // the stream's first sample number in its file
    AVISTREAMINFO Info{};
    std::vector<uint8_t> Format;
};

// How the pictures of the selected stream come out.
struct TVideoOutput {
    std::vector<uint8_t> Input;  // the stored format, for sources whose stored data can be read; else empty
    std::vector<uint8_t> Output; // header (with palette for 1, 4 and 8 bits) of the delivered pictures
    bool Convert = false;        // 16- or 32-bit decoded pixels are turned into the image's 24 bits
    bool Indeo = false;          // 24-bit input of a code beginning with "IV" (own AVI reader)
};

// How the front-end wants frames read: turned upside down, and plug-in files with stored
// data decoded instead.
struct TVideoReadMode {
    bool UpsideDown = false;
    bool DecodeOnly = false;
};

class TVideoSource {
public:
    virtual ~TVideoSource() = default;

    // The result of the last failed call (meOk before any failure).
    TMediaError Status() const { return FStatus; }

    // Frames on the source's frame grid (of the selected stream for files with several).
    virtual int32_t FrameCount() const = 0;
    // The grid's rate as rate / scale frames per second, both above 0.
    virtual int32_t Rate() const = 0;
    virtual int32_t Scale() const = 0;
    // Size of the delivered pictures (after rotation).
    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;

    // The picture of frame n into an image of Width() x Height() in the source's pixel
    // format (24-bit for decoded video): meParam for a bad n, meFrameFormat for a wrong
    // image, meFileRead when the frame cannot be decoded.
    virtual bool GetFrame(int32_t n, TIOImage &image) = 0;
    virtual bool IsKeyFrame(int32_t n) = 0;
    // The stored packet of frame n; false with Status() set.
    virtual bool ReadPacket(int32_t n, TVideoPacket &packet) = 0;

    // ---- The front-end's view: the file, its streams, the selected stream's pictures ----

    // The file (the first of a joined clip), its description, its streams in file order
    // (video, and audio when the front-end asked for it), and the access path's name.
    const std::string &FileName() const { return FFileName; }
    const AVIFILEINFO &FileInfo() const { return FFileInfo; }
    const std::vector<TVideoStreamRecord> &Streams() const { return FStreams; }
    const TSourceDescription &Description() const { return FDescription; }
    // Sets that view. fileType: the label of the file-type text filled into the file
    // description when a stream is selected ("" keeps the file's own description).
    void Describe(const std::string &fileName, const AVIFILEINFO &fileInfo, std::vector<TVideoStreamRecord> streams,
                  const TSourceDescription &description, const std::string &fileType);

    // The parts of a joined clip; a single file is its own only part.
    virtual int SegmentCount() const { return 1; }
    virtual const TVideoSource &Segment(int) const { return *this; }

    // Prepares stream `stream` (an index into Streams()) for delivery. first: the output of
    // the clip's first segment, which a later segment must match; null for the first.
    // By default the stream's format must be an uncompressed picture of 1, 4, 8 or 24
    // bits (meFrameFormat) and is the output.
    virtual bool SelectStream(int stream, bool prefer24, const TVideoOutput *first);
    const TVideoOutput &Output() const { return FOutput; }

    // The picture of frame n, turned upside down when the mode asks for it.
    virtual bool GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode);
    // Whether frames can be read as stored in the file (smart rendering), with the mode's
    // decode-only setting.
    virtual bool HasStoredData(const TVideoReadMode &) const { return false; }
    // Frame n as the result writer copies it, into buffer (grown, never shrunk): the
    // stored data when HasStoredData, else the decoded picture's rows in the output format
    // in their normal orientation. A dropped frame gives Size 0.
    virtual bool ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                            TVideoPacket &packet);
    // The selected stream's codec data ('strd'), empty when there is none.
    virtual std::vector<uint8_t> CodecData() { return {}; }

protected:
    // Keeps a failure's code for Status(); false, for returning it.
    bool Fail(TMediaError code)
    {
        FStatus = code;
        return false;
    }
    // Fills the file description for display from the streams and the selected stream.
    void FillDisplayInfo(int stream);
    // The picture size of the output header (0 before a selection).
    uint32_t OutputWidth() const;
    uint32_t OutputHeight() const;
    // Grows a read buffer to bytes (meMemory when that fails).
    bool Reserve(std::vector<uint8_t> &buffer, size_t bytes);

    TMediaError FStatus = meOk;
    std::string FFileName;
    AVIFILEINFO FFileInfo{};
    std::vector<TVideoStreamRecord> FStreams;
    TSourceDescription FDescription;
    std::string FFileType;
    TVideoOutput FOutput;

private:
    std::unique_ptr<TIOImage> FStoredPicture; // the decoded picture of stored reads
};

// The stream-name rule of the front-ends: the file name without folder, cut to 58 minus
// the label's length plus "..." when longer than 61 minus it, a blank and the label.
std::string MovieStreamName(const std::string &fileName, const std::string &label);
// Copies a text into a 64-character name field, always terminated.
void SetNameField(char (&field)[64], const std::string &text);
// The description of a decoded picture stream of `frames` pictures: type 'vids',
// handler, the rate, the picture's size in rcFrame, quality -1, named "Video #1".
TVideoStreamRecord PictureStreamRecord(const std::string &fileName, uint32_t handler, int32_t scale, int32_t rate,
                                       int32_t frames, uint32_t width, uint32_t height);

} // namespace tessaly
