// Segment files forming one audio track: the checks that they fit together, and
// TJoinedAudioSource, which numbers the samples of each stream on from segment to segment
// and reads across segment ends.
#pragma once

#include "media/input/audio_source.h"

#include <memory>
#include <vector>

namespace tessaly {

// Checks that opened segments (one or more, with equal stream counts) form one track and
// lists the numbers of the first segment's audio streams: every segment holds the same
// number of audio streams, at least one; their formats are at least 16 bytes; in later
// segments each listed stream is audio with the same handler, scale, rate, sample size
// and an equal format (channel mask included). meOk, meNoAudioStream, meStreamFormat or
// meSegment.
TMediaError CheckAudioSegments(const std::vector<std::unique_ptr<TAudioSource>> &segments,
                               std::vector<int> &audioStreams);

class TJoinedAudioSource final : public TAudioSource {
public:
    // Segments checked by CheckAudioSegments. The track lists the first segment's file
    // description and streams, each stream starting at sample 0.
    explicit TJoinedAudioSource(std::vector<std::unique_ptr<TAudioSource>> segments);

    const AVIFILEINFO &FileInfo() const override { return FSegments[0]->FileInfo(); }
    const std::vector<TAudioStreamRecord> &Streams() const override { return FStreams; }
    // Samples [first, first + count) of the track, read from the segments holding them;
    // meFileRead for samples outside the track.
    TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) override;
    int64_t Length(int stream) const override;
    int SegmentCount() const override { return int(FSegments.size()); }
    const TAudioSource &Segment(int i) const override { return *FSegments[size_t(i)]; }

private:
    std::vector<std::unique_ptr<TAudioSource>> FSegments;
    std::vector<TAudioStreamRecord> FStreams;
    // Per stream, per segment: the first track sample the segment holds; one more entry
    // for the track's end.
    std::vector<std::vector<int64_t>> FFirst;
    size_t FCurrent = 0; // the segment of the last read
};

} // namespace tessaly
