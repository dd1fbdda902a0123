// TVfapAudio: the audio of a file read through a reader plug-in: one stream of the
// plug-in's PCM format, addressed by sample number.
#pragma once

#include <string>

#include "media/input/audio_source.h"
#include "media/input/vfapi_host.h"

namespace tessaly {

class TVfapAudio final : public TAudioSource {
public:
    // Opens file with the loaded plug-in `plugin`. meOk, the plug-in's failure status,
    // meNoAudioStream, meFileFormat (no length, or one beyond 32 bits), meAudioFormat
    // (no format), meCodec (the format changed between two reads).
    TMediaError Open(int plugin, const std::string &file);

    const AVIFILEINFO &FileInfo() const override { return FFileInfo; }
    const std::vector<TAudioStreamRecord> &Streams() const override { return FStreams; }
    TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) override;

private:
    TVfHandlePtr FHandle;
    AVIFILEINFO FFileInfo{};
    std::vector<TAudioStreamRecord> FStreams;
    uint32_t FBlock = 0;
};

} // namespace tessaly
