// TLavfResultWriter: a result in a container written with libavformat. The video packets
// of a frame range are copied from the source file as stored (timestamps moved so that
// the first frame starts at 0), the new mixed track is encoded beside them as the first,
// default audio stream, and the source's other streams, chapters and metadata follow on
// request. The file is written under a temporary name and renamed when complete. Files of
// ranges that follow each other (chapter files) are written one after the other from one
// reading of the source.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/common/vfw_types.h"
#include "media/output/lavf_result_options.h"

namespace tessaly {

class TLavfIndex;

class TLavfResultWriter {
public:
    TLavfResultWriter();
    ~TLavfResultWriter();   // an unfinished result is discarded
    TLavfResultWriter(const TLavfResultWriter &) = delete;
    TLavfResultWriter &operator=(const TLavfResultWriter &) = delete;

    // Opens the video file and indexes its video stream: frame n is the n-th picture in
    // presentation order. False with ErrorText() when the file cannot be read or has no
    // video, or when `keepGoing` (asked now and then while the file is read) said false.
    bool OpenSource(const std::string &videoFile, const std::function<bool()> &keepGoing = {});
    // The same from the index the video's reader made of the file (its stream, packets in
    // decode order, frames in presentation order), without reading the file again. A
    // packet found different from the index when it is copied ends the result with an error.
    bool UseIndex(const std::string &videoFile, const TLavfIndex &index);
    // The pictures of the file in presentation order.
    int32_t SourcePictureCount() const;
    // Numbers frames on a grid instead: frame n shows picture pictureOfFrame[n] (ascending,
    // each below SourcePictureCount()), as a video of variable rate or with dropped frames is
    // numbered by its reader. False (nothing changed) for a list that does not fit.
    bool SetFrameGrid(std::vector<int32_t> pictureOfFrame);
    // Frames: the grid's, else one per picture.
    int32_t SourceFrameCount() const;
    // The first frame showing the key picture at or before the picture of `frame` (0 when none).
    int32_t KeyFrameAtOrBefore(int32_t frame) const;
    // Whether a file may start at this frame: the first frame showing a key picture.
    bool IsFileStart(int32_t frame) const;

    // Creates `target`'s temporary file for frames first .. last (inclusive; first a key
    // frame) of the source and the mixed track of format `mix` (null: no new track).
    // False with ErrorText() when the container cannot hold the video or the codec. After
    // Finish it may be called again: a range after the last one reads the source on.
    bool Open(const std::string &target, int32_t first, int32_t last, const WAVEFORMATEX *mix, uint32_t channelMask,
              const TLavfResultOptions &options);
    // Appends `frames` sample frames of the mix format and copies the source's packets
    // up to the time reached.
    bool WriteAudio(const uint8_t *data, int32_t frames);
    // Copies the rest of the range, completes the file and renames it onto the target.
    bool Finish();
    // Drops the unfinished result (also done by the destructor).
    void Discard();

    const std::string &ErrorText() const;
    // Streams of the source left out because the container cannot hold them.
    const std::vector<std::string> &Notes() const;
    // Video packets copied so far.
    int64_t VideoPacketsCopied() const;

private:
    struct TState;
    std::unique_ptr<TState> F;
};

// A tag ("language", "title") of the first audio stream of a media file; "" when the
// file cannot be read or has no such tag.
std::string MediaAudioTag(const std::string &file, const char *key);

} // namespace tessaly
