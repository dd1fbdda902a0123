// TPhantomVideoSource: a generated clip (kind DUMY) of a given size, pixel format, length
// and rate, each frame a blank picture with its number in the middle, named "(*)".
#pragma once

#include "media/input/video_source.h"

#include <vector>

namespace tessaly {

class TPhantomVideoSource final : public TVideoSource {
public:
    // meParam for a size, length, rate or format out of range, meMemory for a picture no
    // frame buffer can hold.
    bool Create(uint32_t width, uint32_t height, int32_t length, int32_t scale, int32_t rate, TIOPixelFormat format);

    int32_t FrameCount() const override { return FLength; }
    int32_t Rate() const override { return FRate; }
    int32_t Scale() const override { return FScale; }
    uint32_t Width() const override { return FWidth; }
    uint32_t Height() const override { return FHeight; }
    // Draws frame n into an image of the clip's size (any pixel format).
    bool GetFrame(int32_t n, TIOImage &image) override;
    bool IsKeyFrame(int32_t) override { return true; }
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    // The bitmap description of the clip's pictures and their pixel bytes.
    const std::vector<uint8_t> &Format() const { return FFormat; }
    uint32_t ImageSize() const { return FImageSize; }

private:
    std::vector<uint8_t> FFormat;
    uint32_t FWidth = 0, FHeight = 0, FImageSize = 0;
    int32_t FLength = 0, FScale = 1, FRate = 1;
};

} // namespace tessaly
