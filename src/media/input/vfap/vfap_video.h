// TVfapVideoSource: the video of a file read through a reader plug-in (kind VFAP): decoded
// 24-bit pictures, and with the plug-in's RIFF extension the stream descriptions, stored
// frames and codec data as the file holds them.
#pragma once

#include "media/input/vfapi_host.h"
#include "media/input/video_source.h"

#include <string>

namespace tessaly {

class TVfapVideoSource final : public TVideoSource {
public:
    // Opens file with the loaded plug-in `plugin`; withAudio lists the plug-in's audio as a
    // second stream. meOk, the plug-in's status, meNoVideoStream, meFileFormat (no length or
    // one beyond 31 bits), meFrameFormat/meAudioFormat (no picture or sound format),
    // meSegment (the RIFF extension disagrees about audio), meInternal (RIFF descriptions
    // of the wrong type or a format that changes between reads).
    TMediaError Open(int plugin, const std::string &file, bool withAudio);
    int Plugin() const { return FPlugin; }

    int32_t FrameCount() const override;
    int32_t Rate() const override;
    int32_t Scale() const override;
    uint32_t Width() const override { return OutputWidth(); }
    uint32_t Height() const override { return OutputHeight(); }
    // The plug-in's 24-bit rows, bottom-up.
    bool GetFrame(int32_t n, TIOImage &image) override;
    // Key frames as the RIFF extension reports them; every frame without it.
    bool IsKeyFrame(int32_t n) override;
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    // The output is the plug-in's 24-bit header; a later segment must give the same
    // picture (meSegment).
    bool SelectStream(int stream, bool prefer24, const TVideoOutput *first) override;
    // The plug-in turns the picture over itself (its rows taken top-down).
    bool GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode) override;
    bool HasStoredData(const TVideoReadMode &mode) const override { return FRiff && !mode.DecodeOnly; }
    // Stored frames through the RIFF extension, else the plug-in's decoded rows (top-down
    // when turning the picture over).
    bool ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                    TVideoPacket &packet) override;
    std::vector<uint8_t> CodecData() override;

private:
    bool FailHandle();
    bool ReadRiffFrame(int32_t n, std::vector<uint8_t> &buffer, TVideoPacket &packet);
    TVfHandlePtr FHandle;
    int FPlugin = -1;
    bool FRiff = false;
    std::vector<uint8_t> FPacketBuffer;
};

} // namespace tessaly
