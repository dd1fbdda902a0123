// The audio sources over AVI/WAVE files: TOdmlAudio reads through the own AVI/WAVE reader,
// TMsvwAudio through the system media layer (which takes the speaker masks the own reader
// finds, as the layer hands out formats without them). Streams keep the file's numbering.
#pragma once

#include <memory>
#include <string>

#include "media/input/audio_source.h"
#include "media/input/avi2_reader.h"
#include "platform/avi_file.h"

namespace tessaly {

// The reading both share: samples of a stream by sample number, in its stored format.
class TRiffAudio : public TAudioSource {
public:
    const AVIFILEINFO &FileInfo() const override { return FFileInfo; }
    const std::vector<TAudioStreamRecord> &Streams() const override { return FStreams; }
    TMediaError Read(int stream, int64_t first, int32_t count, uint8_t *out) override;

protected:
    // One read request as the reader takes it: AVIERR result, bytes and samples delivered.
    virtual int32_t ReadStream(int stream, int32_t start, int32_t count, uint8_t *out, int32_t bytes,
                               int32_t *bytesRead, int32_t *samplesRead) = 0;
    AVIFILEINFO FFileInfo{};
    std::vector<TAudioStreamRecord> FStreams;
};

// The source over one reader type, whose sample reads are the reader's.
template <class TReader> class TRiffReaderAudio : public TRiffAudio {
public:
    TMediaProblem Problem() const override { return FReader ? FReader->Problem() : TMediaProblem{}; }

protected:
    int32_t ReadStream(int stream, int32_t start, int32_t count, uint8_t *out, int32_t bytes, int32_t *bytesRead,
                       int32_t *samplesRead) override
    {
        return FReader->Read(stream, start, count, out, bytes, bytesRead, samplesRead);
    }
    std::unique_ptr<TReader> FReader;
};

class TOdmlAudio final : public TRiffReaderAudio<TAvi2Reader> {
public:
    // meOk, or the reader's failure translated; meFileFormat without streams, meStreamFormat
    // for a negative stream start.
    TMediaError Open(const std::string &file);
};

class TMsvwAudio final : public TRiffReaderAudio<TAviFile> {
public:
    // As TOdmlAudio::Open, and meFileNotFound/meFileSize/meFileExceeds2GB for the file size.
    TMediaError Open(const std::string &file);

private:
    void AdoptChannelMasks(const std::string &file);
};

} // namespace tessaly
