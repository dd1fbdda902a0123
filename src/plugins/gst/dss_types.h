// Picture and sound descriptions shared by the sample grabber, the sources and the handle layer.
#pragma once

#include <cstdint>

namespace tessaly::gst {

// Picture formats the video grabber accepts (bit 31 planar 4:2:0, bit 29 packed 4:2:2,
// bits 30+28 RGB; the low bits repeat the accepted-formats mask value or the byte count).
enum : uint32_t {
    pfYV12 = 0xA0000008u,
    pfYUY2 = 0x60000004u,
    pfRGB32 = 0x50000002u, // also ARGB32: both keep blue, green, red in the first three bytes
    pfRGB24 = 0x50000001u,
};

// Accepted-formats mask values of the video grabber.
enum : uint32_t {
    fmYV12 = 2,
    fmYUY2 = 4,
    fmARGB32 = 8,
    fmRGB32 = 16,
    fmRGB24 = 32,
    fmAll = 63,
};

// Sample types of the audio grabber.
enum : uint32_t {
    stInt8 = 1,
    stInt16 = 2,
    stInt24 = 4,
    stInt32 = 8,
    stFloat32 = 16,
};

// Interlace flags of a picture description.
enum : uint32_t {
    ifField2First = 1,
    ifField1First = 2,
    ifOneFieldPerSample = 4,
};

constexpr uint32_t kDescriptionValid = 0xFFFFFFFFu;

// The picture description of a video grabber or source: 32 bytes.
struct DssVideoInfo {
    uint32_t Valid;      // all ones once a video type was accepted
    uint32_t Width;
    uint32_t Height;
    uint32_t Rate;       // frames per second = Rate / Scale
    uint32_t Scale;
    uint32_t FrameCount; // filled in by the video source
    uint32_t PixelFormat;
    uint32_t Interlace;
};

// The sound description of an audio grabber or source: 24 bytes.
#pragma pack(push, 4)
struct DssAudioInfo {
    uint32_t Valid;      // all ones once an audio type was accepted
    uint32_t SampleRate; // sample frames per second
    uint32_t SampleType;
    uint32_t Channels;
    int64_t Length;      // sample frames, filled in by the audio source
};
#pragma pack(pop)

// What DssGetInfo reports: 56 bytes.
#pragma pack(push, 4)
struct DssInfo {
    DssVideoInfo Video;
    DssAudioInfo Audio;
};
#pragma pack(pop)

static_assert(sizeof(DssVideoInfo) == 32, "DssVideoInfo layout");
static_assert(sizeof(DssAudioInfo) == 24, "DssAudioInfo layout");
static_assert(sizeof(DssInfo) == 56, "DssInfo layout");

// Where each channel of a sound plays: for every channel its WAVE speaker bit (0 front left,
// 1 front right, 2 front centre, 3 LFE, 4 back left, 5 back right, 6/7 front left/right of
// centre, 8 back centre, 9/10 side left/right, 11 top centre, 12..17 top front and top back
// left/centre/right), or kSpeakerNone for a channel without a WAVE position.
constexpr uint32_t kMaxLayoutChannels = 64;
constexpr uint8_t kSpeakerNone = 0xFF;
struct TChannelLayout {
    uint32_t Count = 0;
    uint8_t Speaker[kMaxLayoutChannels] = {};
};

// Bytes per sample of a sample type (0 for an unknown type).
constexpr uint32_t BytesPerSample(uint32_t sampleType)
{
    switch (sampleType) {
    case stInt8: return 1;
    case stInt16: return 2;
    case stInt24: return 3;
    case stInt32:
    case stFloat32: return 4;
    default: return 0;
    }
}

// Bits per pixel of the first plane of a pixel format (0 for an unknown one).
constexpr uint32_t BitsPerPixel(uint32_t pixelFormat)
{
    switch (pixelFormat) {
    case pfYV12: return 8;
    case pfYUY2: return 16;
    case pfRGB32: return 32;
    case pfRGB24: return 24;
    default: return 0;
    }
}

} // namespace tessaly::gst

namespace tessaly::gst {

// The source layer's last-error code: one per plug-in, shared by all its handles.
int32_t GetDssLastError();
void SetDssLastError(int32_t code);

} // namespace tessaly::gst
