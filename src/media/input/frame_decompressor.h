// The video decompressor: one stored AVI frame at a time into a bitmap header plus
// bottom-up pixels, through FFmpeg's decoders (found from the stream's fourcc) or a plain
// copy for uncompressed data; and the key-frame-aware "get frame" walk built on it.
#pragma once

#include "media/common/ffmpeg_picture.h"
#include "media/common/vfw_types.h"

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace tessaly {

class TFrameDecompressor {
public:
    TFrameDecompressor() = default;
    TFrameDecompressor(const TFrameDecompressor &) = delete;
    TFrameDecompressor &operator=(const TFrameDecompressor &) = delete;
    ~TFrameDecompressor();

    // Finds a decoder for the stream format (BITMAPINFOHEADER plus palette or codec data,
    // little-endian bytes) and its fccHandler, delivering outBits per pixel: 24 always
    // works; 1, 4 and 8 for uncompressed and palettised streams of that depth; 16 (5-5-5)
    // and 32 for any stream. False when no decoder fits or the format is malformed.
    bool Open(const uint8_t *format, size_t formatLength, uint32_t fccHandler, int outBits);
    void Close();
    bool IsOpen() const { return FOpen; }

    // Decodes one stored frame; keyFrame comes from the index, preroll skips producing the
    // picture (the decoder state still advances). A frame that yields no picture (empty or
    // held back by the decoder) leaves the previous picture. False on a decoder error.
    bool Decompress(const uint8_t *data, size_t size, bool keyFrame, bool preroll);
    // Forgets decoder state and every picture received before a jump to a key frame.
    void Flush();

    // Decoding in display order (compressed streams): Send hands stored frame `frame` to
    // the decoder (empty data sends nothing) and keeps the pictures it gives back, each
    // numbered by its display position: its time stamp less the decoder's reorder delay.
    // Drain hands over the end of the stream. Both false on a decoder error.
    bool Send(const uint8_t *data, size_t size, bool keyFrame, int64_t frame);
    bool Drain();
    bool Drained() const { return FDrained; }
    // Frames the decoder holds back before a picture comes out (0 without B-frames).
    int Delay() const;
    // Makes the newest received picture numbered n or less the current one; true when
    // it is numbered n. Later pictures stay queued.
    bool TakeUpTo(int64_t n);
    bool HasQueued() const { return !FQueue.empty(); }
    // Display number of the current picture, -1 when none since the last Flush.
    int64_t CurrentNumber() const { return FCurrent; }
    // Converts the current picture into the output once (black when there is none).
    bool StoreCurrent();

    // The output: header (40 bytes plus palette for 1, 4 and 8 bits) followed by pixels.
    const uint8_t *Output() const { return FOutput.data(); }
    const BITMAPINFOHEADER &OutputHeader() const { return FOutHeader; }
    size_t OutputHeaderSize() const { return FHeaderSize; }
    const uint8_t *OutputPixels() const { return FOutput.data() + FHeaderSize; }
    uint8_t *OutputPixels() { return FOutput.data() + FHeaderSize; }
    uint32_t OutputStride() const { return FOutStride; }
    // True when the stream is copied without a codec.
    bool Uncompressed() const { return FRaw; }

private:
    bool OpenCodec(uint32_t fccHandler);
    void WriteHeader();
    bool CopyRaw(const uint8_t *data, size_t size);
    bool StoreFrame(const AVFrame *frame);
    void SetPaletteEntry(size_t i, uint8_t b, uint8_t g, uint8_t r);
    void AttachPalette(AVPacket *pkt);
    bool ReceiveAll();

    bool FOpen = false, FRaw = false, FPaletteSent = false, FHavePicture = false, FStale = false;
    BITMAPINFOHEADER FInHeader{};
    std::vector<uint8_t> FInPalette;   // 4 bytes per entry as stored
    std::vector<uint8_t> FCodecData;   // bytes behind the 40-byte header
    bool FTopDown = false;
    uint32_t FInStride = 0;
    BITMAPINFOHEADER FOutHeader{};
    size_t FHeaderSize = 40;
    uint32_t FOutStride = 0;
    std::vector<uint8_t> FOutput;
    TPictureCodecPtr FCodec;
    TPicturePacketPtr FPacket;
    TPictureFramePtr FFrame, FLast;
    TPictureConverter FConverter;
    SwsContext *FPacked = nullptr;      // for 16- and 32-bit output
    // Pictures received ahead of the one asked for, by display number.
    std::deque<std::pair<int64_t, TPictureFramePtr>> FQueue;
    int64_t FCurrent = -1, FReceived = -1; // numbers of the current and the newest picture
    bool FDrained = false;
};

// The walk of the AVIFile "get frame" functions over any store of frames: sequential
// frames decode once, a forward jump inside a group of pictures continues from the last
// frame, anything else restarts at the key frame at or before the frame. Streams whose
// B-frames are stored in decode order give frame n the picture shown n-th, as FFmpeg
// does; a frame without a picture of its own (stored empty) shows the one before it.
class TFrameWalker {
public:
    virtual ~TFrameWalker() = default;
    // Header plus pixels of frame n (valid until the next call), or null on failure.
    const uint8_t *GetFrame(int32_t n);
    int32_t LastFrame() const { return FLast; }
    TFrameDecompressor &Decompressor() { return FDecompressor; }
    // The frames decoded by the last GetFrame, with true for those decoded as preroll.
    const std::vector<std::pair<int32_t, bool>> &LastWalk() const { return FWalk; }

protected:
    // Reads stored frame k into buffer (AVIStreamRead convention); AVIERR code.
    virtual int32_t ReadStored(int32_t k, void *buffer, int32_t bufferSize, int32_t *bytes) = 0;
    // Nearest key frame at or before n, -1 when none.
    virtual int32_t PrevKeyFrame(int32_t n) = 0;
    virtual bool KeyFrame(int32_t k) = 0;
    // One past the stream's last frame.
    virtual int32_t EndFrame() = 0;
    // Sizes the input buffer (bytes) before the first frame.
    void ReserveInput(size_t bytes) { FInput.assign(bytes + AV_INPUT_BUFFER_PADDING_SIZE, 0); }

    TFrameDecompressor FDecompressor;

private:
    enum TAdvance { adFound, adMissing, adFailed };
    const uint8_t *GetRawFrame(int32_t n);
    bool DecodeOne(int32_t k, bool preroll);
    bool ReadInput(int32_t k, int32_t &bytes);
    TAdvance Advance(int32_t n);

    std::vector<uint8_t> FInput;
    int32_t FLast = -1;
    int32_t FFed = -1; // last stored frame handed to the decoder
    std::vector<std::pair<int32_t, bool>> FWalk;
};

} // namespace tessaly
