// Segment files forming one clip: the checks that they fit together, and TJoinedVideoSource,
// which numbers the frames of the selected stream on from segment to segment and hands
// each request to the segment holding the frame.
#pragma once

#include "media/input/video_source.h"

#include <memory>
#include <vector>

namespace tessaly {

// Checks that opened segments (one or more, with equal stream counts) form one clip and
// lists the stream numbers of their video streams, and of their audio streams when
// withAudio: every segment has the same number of video (and audio) streams, at least one
// video stream; the first segment's video formats are longer than 23 bytes and its audio
// formats longer than 15; later segments' streams have the same type, handler, rate,
// picture size and format layout. meOk, meNoVideoStream, meStreamFormat or meSegment.
TMediaError CheckVideoSegments(const std::vector<std::unique_ptr<TVideoSource>> &segments, bool withAudio,
                               std::vector<int> &videoStreams, std::vector<int> &audioStreams);

class TJoinedVideoSource final : public TVideoSource {
public:
    // Segments checked by CheckVideoSegments. The clip lists the first segment's streams
    // with their lengths summed, flags joined and the largest buffer size, named after
    // the first file with "#" and the stream number.
    explicit TJoinedVideoSource(std::vector<std::unique_ptr<TVideoSource>> segments);

    int32_t FrameCount() const override { return FFrames; }
    int32_t Rate() const override { return FSegments[0]->Rate(); }
    int32_t Scale() const override { return FSegments[0]->Scale(); }
    uint32_t Width() const override { return FSegments[0]->Width(); }
    uint32_t Height() const override { return FSegments[0]->Height(); }
    bool GetFrame(int32_t n, TIOImage &image) override;
    bool IsKeyFrame(int32_t n) override;
    bool ReadPacket(int32_t n, TVideoPacket &packet) override;

    int SegmentCount() const override { return int(FSegments.size()); }
    const TVideoSource &Segment(int i) const override { return *FSegments[size_t(i)]; }
    // Selects the stream in every segment, the later ones matching the first one's output.
    bool SelectStream(int stream, bool prefer24, const TVideoOutput *first) override;
    bool GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode) override;
    bool HasStoredData(const TVideoReadMode &mode) const override { return FSegments[0]->HasStoredData(mode); }
    bool ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                    TVideoPacket &packet) override;
    std::vector<uint8_t> CodecData() override { return FSegments[0]->CodecData(); }

private:
    // The segment holding frame n and n's number in it; null (meParam) when none does.
    TVideoSource *Locate(int32_t n, int32_t &local);
    std::vector<std::unique_ptr<TVideoSource>> FSegments;
    std::vector<int32_t> FFirst, FLast; // frames of the selected stream each segment covers
    int32_t FFrames = 0;
};

} // namespace tessaly
