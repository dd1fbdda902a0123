// TProjectSources: how loading and saving a project reaches the media sources: open a
// source from its file list and kind string, describe the open ones, list their files.
// The front-end implements it over the video and audio front-ends, next to TProjectMedia.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/common/media_error.h"

namespace tessaly {

enum TSourceRole { srVideo, srAudio, srDouble, srReference };

// A generated clip of grey frames instead of a video file.
struct TPhantomClip {
    int32_t Width = 96;
    int32_t Height = 72;
    int32_t PixelFormat = 0;   // 0 .. 3
    int32_t Frames = 1;
    int32_t Rate = 25;         // frame rate Rate / Scale
    int32_t Scale = 1;
};

// Limits of a generated clip, checked before anything is allocated for it: frames of at
// most 16384 x 16384 pixels, at most 10,000,000 frames, at most 1000 frames a second.
inline constexpr int32_t kPhantomMaxSide = 16384;
inline constexpr int32_t kPhantomMaxFrames = 10000000;
inline constexpr int32_t kPhantomMaxFps = 1000;
// True when `clip` lies within those limits (and its fields are valid); otherwise
// `problem` (optional) says which value is out of range.
bool PhantomWithinLimits(const TPhantomClip &clip, std::string *problem = nullptr);

class TProjectSources {
public:
    virtual ~TProjectSources() = default;

    // Opens `fileList` (a file name or a segment template with its parts) as the source
    // of `role` through the access path of `kind` ("" or "AUTO|-1" to detect); meOk or
    // the reason of the failure (meFileNotFound when a file does not exist).
    virtual TMediaError Open(TSourceRole role, const std::string &fileList, const std::string &kind) = 0;
    // After a failed Open of `role`: what the reader found wrong with the file, when it
    // can say (for the message beside the code).
    virtual TMediaProblem Problem(TSourceRole role) const = 0;
    // Creates a phantom clip as the video.
    virtual TMediaError OpenPhantom(const TPhantomClip &clip) = 0;

    // The open source's file list ("" when none) and kind string ("" when none).
    virtual std::string FileList(TSourceRole role) const = 0;
    virtual std::string KindString(TSourceRole role) const = 0;
    // True (with its values) when the video is a phantom clip.
    virtual bool Phantom(TPhantomClip &clip) const = 0;
    // Every file the source reads (each segment of a segmented source).
    virtual std::vector<std::string> Files(TSourceRole role) const = 0;
    // Hands the flip state of the display to the video source.
    virtual void SetFlipImage(bool flip) = 0;
};

} // namespace tessaly
