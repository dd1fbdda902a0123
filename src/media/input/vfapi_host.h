// The reader plug-in host: the process-wide table of plug-ins listed in the registry
// stand-in, which plug-in claims a file, and files opened through a plug-in, delivered
// as bottom-up 24-bit frames, PCM audio with silence outside the stream, and stored
// stream data through the optional RIFF extension.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/common/media_error.h"
#include "media/common/vfw_types.h"
#include "plugins/vfapi/vfapi.h"

namespace tessaly {

// ---- The plug-in table (built and used on the main thread) ----

// Builds the table once from the registry stand-in (registryFile: default location when
// empty); later calls do nothing until UnloadPlugins. Plug-ins failing any step are skipped.
void LoadPlugins(const std::string &registryFile = std::string());
// Builds the table once from "name=path" lines (what the registry lists).
void LoadPluginsFrom(const std::vector<std::string> &lines);
// Releases every library (last loaded first); the count becomes 0. Handles still open
// stay safe to close: they no longer call into the released library.
void UnloadPlugins();
bool PluginsLoaded();

int PluginCount();
// Accessors; an invalid index gives "" / 0 / false.
std::string PluginName(int i);
uint32_t PluginStreamTypes(int i);
bool PluginHasVideo(int i);
bool PluginHasAudio(int i);
std::string PluginInfoText(int i);
std::string PluginFileTypes(int i);
bool PluginHasRiff(int i);
// The filter label (first "|"-field of the file types) and the pattern list (last field).
std::string PluginFilterLabel(int i);
std::string PluginPatternList(int i);

// True when plug-in i serves video (mask bit 0) or audio (mask bit 1) as asked, has the
// RIFF extension or the access level is below 2, and the extension of the first file of
// the file list equals one of its patterns (both stripped of \/.:*?"<>| and blanks and
// upper-cased).
bool PluginClaimsFile(int i, const std::string &fileList, uint32_t typeMask, int accessLevel);
// Index of the first claiming plug-in, -1 when none.
int FindPlugin(const std::string &fileList, uint32_t typeMask, int accessLevel);
// The patterns of every admitted plug-in joined with ";" (lower-cased, trimmed, no duplicates).
std::string PluginPatterns(uint32_t typeMask, int accessLevel);

// ---- Files opened through a plug-in ----

struct VfHostHandle;

// Opens name through plug-in i. Returns the handle, or null with status set (meParam,
// meFileNotFound, meMemory, meFileOpen, meFileFormat, meStreamFormat). The handle is owned
// by the caller and released with VfClose.
VfHostHandle *VfOpen(int plugin, const std::string &name, TMediaError &status);
// Closes the plug-in's file and frees the handle; null is accepted.
void VfClose(VfHostHandle *h);
// RAII owner for a handle.
struct TVfHandleCloser {
    void operator()(VfHostHandle *h) const { VfClose(h); }
};
using TVfHandlePtr = std::unique_ptr<VfHostHandle, TVfHandleCloser>;

int HandlePlugin(const VfHostHandle *h);        // -1 for none
TMediaError HandleStatus(const VfHostHandle *h); // meHandle for none
bool HasVideo(const VfHostHandle *h);
bool HasAudio(const VfHostHandle *h);
VfVideoStreamInfo VideoInfo(const VfHostHandle *h); // zeros when absent
VfAudioStreamInfo AudioInfo(const VfHostHandle *h);
void SetTopDown(VfHostHandle *h, bool topDown);
bool HasRiff(const VfHostHandle *h);

// Video. Sizes in bytes; every read fails (0 bytes, status set) when the buffer is smaller
// than the frame. Frames outside 0 .. length - 1 come back zero-filled.
// Bytes of one frame in the plug-in's own bit count (rows padded to 4 bytes).
uint32_t VideoFrameSize(const VfHostHandle *h);
// Reads frame into buffer in the plug-in's own bit count, bottom row first (top row first
// with SetTopDown). meNoVideoStream, meBufSize, meStreamFormat.
uint32_t ReadVideoFrame(VfHostHandle *h, int32_t frame, void *buffer, uint32_t bufferSize);
// The 40-byte header of a 24-bit bottom-up frame; copies it when header is given; returns 40.
uint32_t VideoHeader24(const VfHostHandle *h, BITMAPINFOHEADER *header);
uint32_t FrameSize24(const VfHostHandle *h);
// Reads frame converted to 24 bits (32-bit pixels lose their fourth byte; other bit counts
// fail with meFrameFormat).
uint32_t ReadFrame24(VfHostHandle *h, int32_t frame, void *buffer, uint32_t bufferSize);
// As ReadFrame24 into the handle's own buffer; data points at it (valid until the next read).
uint32_t ReadFrame24Buffered(VfHostHandle *h, int32_t frame, const uint8_t **data);

// Audio. first may be negative; samples outside the stream are silence (128 for 8-bit, else 0).
// Reads count sample frames in the plug-in's own sample size; bytes = count * its block align.
uint32_t ReadAudio(VfHostHandle *h, int64_t first, uint32_t count, void *buffer, uint32_t bufferSize);
// The PCM wave format delivered by ReadAudioPcm; copies it when format is given; returns
// sizeof(WAVEFORMATEX), or 0 without audio.
uint32_t AudioFormat(const VfHostHandle *h, WAVEFORMATEX *format);
// The wave format record of the audio ReadAudioPcm delivers: the plain PCM record, or for a
// plug-in that delivers every channel or 24 bits, the extensible record with the speaker mask.
// Empty without audio.
std::vector<uint8_t> AudioFormatBytes(const VfHostHandle *h);
// The stream description of a plug-in's audio stream: its rate and scale (1/1 when either
// is not positive), length and sample size, and a buffer of one second of format `wf`.
AVISTREAMINFO PluginAudioStreamInfo(const VfAudioStreamInfo &ai, const WAVEFORMATEX &wf);
// count * the wave format's block align.
uint64_t AudioBytes(const VfHostHandle *h, uint32_t count);
// Reads count sample frames converted to the wave format (24- and 32-bit samples keep their
// upper two bytes unless the plug-in's wide delivery was selected; other sizes fail with
// meAudioFormat).
uint32_t ReadAudioPcm(VfHostHandle *h, int64_t first, uint32_t count, void *buffer, uint32_t bufferSize);

// RIFF extension (false / 0 unless the handle's RIFF flag is set). Selectors:
// VF_RIFF_SELECT_VIDEO, VF_RIFF_SELECT_AUDIO, VF_RIFF_SELECT_FILE (chunks) or a stream number.
bool RiffInfo(VfHostHandle *h, VfRiffInfo &info);
bool RiffSelectStream(VfHostHandle *h, uint32_t kind, uint32_t index);
bool RiffStreamHeader(VfHostHandle *h, uint32_t selector, VfRiffStreamHeader &header);
// Length of the chunk; with a buffer the chunk is copied as well (meBufSize when it does
// not fit, 0 returned).
uint32_t RiffReadChunk(VfHostHandle *h, uint32_t selector, uint32_t chunkId, void *buffer, uint32_t bufferSize);
// Bytes of count units from unit first (count -1 means 1); with a buffer they are copied.
uint32_t RiffReadStream(VfHostHandle *h, uint32_t selector, uint32_t first, void *buffer, uint32_t bufferSize,
                        int32_t count);
bool RiffIsKeyFrame(VfHostHandle *h, uint32_t selector, uint32_t sample);
// Shorthands: the video stream's 'strf', the audio stream's 'strf', the video stream's 'strd'.
uint32_t RiffVideoFormat(VfHostHandle *h, void *buffer, uint32_t bufferSize);
uint32_t RiffAudioFormat(VfHostHandle *h, void *buffer, uint32_t bufferSize);
uint32_t RiffVideoCodecData(VfHostHandle *h, void *buffer, uint32_t bufferSize);

} // namespace tessaly
