// TLavfVideoSource: the video of any container libavformat demuxes (kind LAVF), frame-exact:
// a packet index (cached per file) maps frames to packets, a frame is decoded from the
// key packet that can start it, and pictures are matched by presentation time.
#pragma once

#include "media/common/ffmpeg_picture.h"
#include "media/input/lavf/lavf_index.h"
#include "media/input/video_source.h"

#include <deque>
#include <memory>
#include <unordered_map>

struct AVCodecParameters;
struct AVPacket;
struct AVStream;

namespace tessaly {

// What `info` and the properties show of a LAVF video.
struct TLavfVideoFacts {
    std::string Container;      // the demuxer's long name ("Matroska / WebM")
    std::string Codec;          // the codec's long name, with its profile when known
    std::string CodecLine;      // as ffprobe names it: codec, profile, pixel format ("h264 (High) / yuv420p")
    uint32_t StoredWidth = 0, StoredHeight = 0; // before rotation
    int BitDepth = 8;           // bits per colour component
    bool VariableRate = false;
    int Rotation = 0;           // clockwise degrees applied to the pictures: 0, 90, 180, 270
    int FieldOrder = 0;         // AVFieldOrder: 0 unknown, 1 progressive, else interlaced
    int32_t StoredFrames = 0;   // pictures shown in the file (before the frame grid)
};

// A four-character code naming the stream's codec: the container's own tag when it is
// printable, else the AVI or QuickTime tag of the codec; 0 when there is none.
uint32_t LavfCodecTag(const AVCodecParameters *parameters);

class TLavfVideoSource final : public TVideoSource {
public:
    TLavfVideoSource();
    ~TLavfVideoSource() override;
    TLavfVideoSource(const TLavfVideoSource &) = delete;
    TLavfVideoSource &operator=(const TLavfVideoSource &) = delete;

    // Opens a file; false with Status() set (the source stays closed).
    bool Open(const std::string &fileName);
    int32_t FrameCount() const override { return FFrameCount; }
    int32_t Rate() const override { return FRate; }
    int32_t Scale() const override { return FScale; }
    uint32_t Width() const override { return FWidth; }
    uint32_t Height() const override { return FHeight; }
    bool GetFrame(int32_t n, TIOImage &image) override;
    bool IsKeyFrame(int32_t n) override;
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    const TLavfVideoFacts &Facts() const { return FFacts; }
    bool IsVariableRate() const { return FFacts.VariableRate; }
    // The stream's codec parameters (for copying packets into another container); null when closed.
    const AVCodecParameters *CodecParameters() const;
    int TimeBaseNum() const { return FIndex.TimeBaseNum; }
    int TimeBaseDen() const { return FIndex.TimeBaseDen; }
    const TLavfIndex &Index() const { return FIndex; }
    bool IndexFromCache() const { return FFromCache; }
    // The index frame (presentation order) shown at grid frame n; -1 for a bad n.
    int32_t SourceFrame(int32_t n) const;
    // The largest packet of the stream in bytes.
    uint32_t MaxPacketSize() const { return FMaxPacket; }

private:
    struct TDemuxer;
    bool SetUpGrid(const AVStream *stream);
    bool DecodeSource(int32_t frame);
    bool DecodeFrom(int32_t frame, int32_t start);
    bool Seek(TDemuxer &d, int32_t packet);
    bool ReadNext(TDemuxer &d);
    int32_t Identify(const AVPacket &packet, int32_t expected) const;
    bool PictureToImage(TIOImage &image);
    void KeepRecent(int32_t frame, const AVFrame *picture);
    int32_t FrameOfPts(int64_t pts) const;

    std::string FFileName;
    std::unique_ptr<TDemuxer> FDecodeDemux, FPacketDemux;
    TPictureCodecPtr FCodec;
    TPictureFramePtr FFrame;     // the picture of FCurrent
    TPictureConverter FConverter;
    std::vector<uint8_t> FScratch; // converted rows before rotation
    TLavfIndex FIndex;
    bool FFromCache = false;
    std::unordered_map<int64_t, int32_t> FByPos; // packet index by file position
    std::vector<int32_t> FGrid;  // VFR: index frame of each grid frame
    TLavfVideoFacts FFacts;
    int32_t FFrameCount = 0, FRate = 25, FScale = 1;
    uint32_t FWidth = 0, FHeight = 0, FMaxPacket = 0;
    int32_t FCurrent = -1;       // index frame held in FFrame
    bool FLive = false;          // the decoder continues from FDecodeDemux's position
    bool FDrained = false;       // the decoder was sent the end of the stream
    int64_t FLastOutPts = 0;     // pts of the last picture the decoder gave
    // Decoded pictures shown just before the last requested one (stepping backwards
    // finds them here), at most FRecentLimit of them.
    std::deque<std::pair<int32_t, TPictureFramePtr>> FRecent;
    int32_t FRecentLimit = 0;
    int32_t FLastRequest = -1, FPreviousRequest = -1; // index frames of the last two requests
};

} // namespace tessaly
