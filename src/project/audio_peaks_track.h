// TPeakTrack: one audio track for the audio strip, decoded once into 16-bit PCM chunks
// that are kept in memory, and offered to the audio mixer as a track of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>
#include <vector>

#include "project/mix_source.h"

namespace tessaly {

class TPeakTrack : public TMixSource {
public:
    // Sample frames per decoded chunk, and chunks kept (about 16 MB of stereo audio).
    static constexpr int32_t kChunkFrames = 32768;
    static constexpr size_t kChunkLimit = 128;

    // Reads from `source` (not owned, may be null) in 16-bit PCM at `sampleRate` with the
    // track's own channel count. False (and no track) when the source cannot deliver it.
    bool Attach(TMixSource *source, uint32_t sampleRate);
    void Detach();
    bool Attached() const { return FSource != nullptr; }
    uint16_t Channels() const { return FFormat.nChannels; }
    // Chunks decoded since Attach (a measure of the reading work).
    int64_t ChunksDecoded() const { return FDecoded; }

    // TMixSource: the format is fixed while attached; only it is accepted.
    bool SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize) override;
    void OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const override;
    int64_t OutputLength() const override { return FLength; }
    int64_t OutputPosition() const override { return FPos; }
    void Seek(int64_t sample) override { FPos = sample; }
    bool ReadSamples(uint8_t *buffer, int32_t count) override;
    bool Silence(uint8_t *buffer, int32_t count) override;

private:
    struct TChunk {
        std::vector<int16_t> Samples;
        std::list<int64_t>::iterator Use;
    };
    const TChunk &Chunk(int64_t index);

    TMixSource *FSource = nullptr;
    WAVEFORMATEX FFormat{};
    int64_t FLength = 0;
    int64_t FPos = 0;
    int64_t FDecoded = 0;
    std::unordered_map<int64_t, TChunk> FChunks;
    std::list<int64_t> FUse;   // chunk indexes, most recently used first
};

} // namespace tessaly
