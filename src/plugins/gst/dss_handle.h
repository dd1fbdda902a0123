// The handle layer through which the plug-in entry points reach the video and audio sources.
#pragma once

#include "audio_dss.h"
#include "dss_types.h"
#include "video_dss.h"

#include "media/common/vfw_types.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tessaly::gst {

// One open file: its sources and the buffers handed out to the caller.
struct DssHandle {
    std::unique_ptr<TVideoDSS> Video;
    std::unique_ptr<TAudioDSS> Audio;
    std::vector<uint8_t> RawFrame;   // allocated by the first frame read
    BITMAPINFOHEADER Header{};
    std::vector<uint8_t> AudioBuffer;
    WAVEFORMATEX WaveFormat{};
    bool HaveWaveFormat = false;
    // The delivery the caller selected: every source channel and/or 24 bits (0: the plain
    // delivery of at most two channels of 8 or 16 bits).
    uint32_t AllChannels = 0;
    uint32_t WideBits = 0;
};

// Open flags: the seek mode is 2 with dfForwardOnly, else 0 with dfNoSeek, else 1.
enum : uint32_t { dfNoSeek = 1, dfForwardOnly = 2 };

// Opens the file's audio and/or video; timeout in ms (negative: strict); colourRequest picks
// the accepted picture formats (0, 32..35, 64..66, 255). Null on failure (see GetDssLastError).
DssHandle *DssOpen(const char *fileName, bool wantAudio, bool wantVideo, uint32_t flags, int32_t timeout,
                   uint32_t colourRequest);
// DssOpen with flags 0, a time-out of 60 s and any picture format.
DssHandle *DssOpenDefault(const char *fileName, bool wantAudio, bool wantVideo);
// Destroys the sources and buffers and clears the caller's handle; null is accepted.
void DssClose(DssHandle *&handle);
// 56 (0 without handle); with a destination, the descriptions of the sources that exist.
int32_t DssGetInfo(DssHandle *handle, DssInfo *destination);
// Reads a frame into the handle's raw frame buffer: its size, with *frame set to the buffer
// (null for a negative index, whose buffer is cleared); 0 on failure or without video.
int32_t DssReadFrame(DssHandle *handle, int32_t index, uint8_t **frame);
// 40 and the 24-bit picture header for lines of pitch bytes (0: aligned stride); 0 without video.
int32_t DssGetBitmapHeader(DssHandle *handle, int32_t pitch, BITMAPINFOHEADER *destination);
// Reads and converts a frame to 24-bit RGB: |pitch| x height, or 0. Without reversed, output
// line k (0 = bottom) is at destination + k x pitch; with reversed the top line is there.
int32_t DssReadRgbFrame(DssHandle *handle, int32_t index, uint8_t *destination, int32_t pitch, bool reversed);
// Source-format bytes of count frames from start (may be negative: silence before 0, and
// after the end); 0 when the source read failed. Without destination only the size.
int64_t DssReadAudio(DssHandle *handle, int64_t start, int32_t count, uint8_t *destination);
// DssReadAudio into the handle's audio buffer, whose address goes to *buffer.
int64_t DssReadAudioBuffered(DssHandle *handle, int64_t start, int32_t count, uint8_t **buffer);
// 18 and the delivered PCM format (8- or 16-bit, one or two channels); 0 without audio.
int32_t DssGetWaveFormat(DssHandle *handle, WAVEFORMATEX *destination);
// Bytes of delivered PCM for count frames from start (count x block align), or 0;
// with a destination the converted frames are written there.
int64_t DssReadPcm(DssHandle *handle, int64_t start, int32_t count, uint8_t *destination);

// The source's channels, WAVE speaker mask (0 when not every channel has a place), bits per
// sample (8, 16, 24, 32) and whether they are floating point; false without audio.
bool DssSourceLayout(DssHandle *handle, uint32_t &channels, uint32_t &mask, uint32_t &bits, bool &floating);
// Selects what DssGetWaveFormat and DssReadPcm deliver: allChannels (every source channel in
// WAVE order instead of at most two) and bits (16, or 24 for sources of more than 16 bits;
// 0 keeps the plain 8/16). False, changing nothing, for a delivery the source cannot give.
bool DssSelectDelivery(DssHandle *handle, bool allChannels, uint32_t bits);

// The accepted-formats mask of a colour request; false for an unknown request.
bool ColourRequestMask(uint32_t request, uint32_t &mask);

} // namespace tessaly::gst
