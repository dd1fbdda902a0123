// TProjectMedia: the few facts the project model needs of its media sources. The main
// window (or tessaly-cli, or a test) implements it over the real video and audio
// front-ends; the model never touches a source directly.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

class TProjectMedia {
public:
    virtual ~TProjectMedia() = default;

    // Full path (or file list) of the open video, "" when none.
    virtual std::string VideoFileName() const = 0;
    // Frames of the open video, 0 without one.
    virtual int32_t VideoFrameCount() const = 0;
    // Frame rate as VideoRate / VideoScale; -1 and 1 without a video.
    virtual int32_t VideoRate() const = 0;
    virtual int32_t VideoScale() const = 0;

    // Presence tests: the source exists, has a file name and reports itself open.
    virtual bool HasAudio() const = 0;
    virtual bool HasDouble() const = 0;
    virtual bool HasReference() const = 0;

    // Sample rate of the primary track's output format in Hz, 0 when there is none.
    virtual uint32_t AudioSampleRate() const = 0;

    // Closes the video, both audio tracks and the reference video (a new project).
    virtual void CloseAll() = 0;
};

} // namespace tessaly
