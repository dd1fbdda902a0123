// TStillVideoSource: still pictures as a clip (kind STIL): one picture file, or a list of
// them, one frame each at one frame per second, in the first picture's size and pixel
// format. Each frame is loaded from its file when asked for.
#pragma once

#include "media/input/video_source.h"

#include <string>
#include <vector>

namespace tessaly {

class TStillVideoSource final : public TVideoSource {
public:
    // Opens the pictures of `files` (at least one); the first is loaded to learn the size
    // and format. False with Status() set from the loader's result.
    bool Open(const std::vector<std::string> &files);

    int32_t FrameCount() const override { return int32_t(FFiles.size()); }
    int32_t Rate() const override { return 1; }
    int32_t Scale() const override { return 1; }
    uint32_t Width() const override { return FWidth; }
    uint32_t Height() const override { return FHeight; }
    // The picture of file n into an image of the first picture's size and pixel format
    // (meFrameFormat when its file holds another shape).
    bool GetFrame(int32_t n, TIOImage &image) override;
    bool IsKeyFrame(int32_t) override { return true; }
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    // The bitmap description of the first picture (its pixel format) and its pixel bytes.
    const std::vector<uint8_t> &Format() const { return FFormat; }
    uint32_t ImageSize() const { return FImageSize; }

private:
    std::vector<std::string> FFiles;
    std::vector<uint8_t> FFormat;
    uint32_t FWidth = 0, FHeight = 0, FImageSize = 0;
};

} // namespace tessaly
