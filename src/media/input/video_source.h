// TVideoSource: one access path of the video front-end behind a small interface. A source
// is one opened clip (a file with one video stream, a list of pictures, a generated clip);
// frames are numbered 0 .. FrameCount() - 1 on the grid of Rate() / Scale() frames per
// second and delivered as pictures of the source's size. Opening is each path's own, as
// what it opens differs.
#pragma once

#include "media/common/io_image.h"
#include "media/common/media_error.h"

#include <cstdint>
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

class TVideoSource {
public:
    virtual ~TVideoSource() = default;

    // The result of the last failed call (meOk before any failure).
    TMediaError Status() const { return FStatus; }

    // Frames on the source's frame grid.
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

protected:
    // Keeps a failure's code for Status(); false, for returning it.
    bool Fail(TMediaError code)
    {
        FStatus = code;
        return false;
    }
    TMediaError FStatus = meOk;
};

} // namespace tessaly
