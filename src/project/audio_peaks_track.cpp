// The audio strip's decoded-sample cache over one audio track.
#include "project/audio_peaks_track.h"

#include <algorithm>
#include <cstring>

#include "media/input/wave_format.h"

namespace tessaly {

bool TPeakTrack::Attach(TMixSource *source, uint32_t sampleRate)
{
    Detach();
    if (!source || sampleRate == 0)
        return false;
    WAVEFORMATEX own{};
    int32_t size = 0;
    if (!source->SetOutputFormat(nullptr, 0))
        return false;
    source->OutputFormat(own, size);
    if (size < 16 || own.nChannels == 0)
        return false;
    WAVEFORMATEX wanted = MakePcmFormat(sampleRate, 16, own.nChannels);
    if (!source->SetOutputFormat(&wanted, sizeof wanted))
        return false;
    FSource = source;
    FFormat = wanted;
    FLength = source->OutputLength();
    return true;
}

void TPeakTrack::Detach()
{
    FSource = nullptr;
    FFormat = WAVEFORMATEX{};
    FLength = 0;
    FPos = 0;
    FDecoded = 0;
    FChunks.clear();
    FUse.clear();
}

bool TPeakTrack::SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize)
{
    if (!FSource)
        return false;
    return !format || (formatSize >= 16 && std::memcmp(format, &FFormat, 16) == 0);
}

void TPeakTrack::OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const
{
    format = FFormat;
    formatSize = FSource ? static_cast<int32_t>(sizeof(WAVEFORMATEX)) : 0;
}

const TPeakTrack::TChunk &TPeakTrack::Chunk(int64_t index)
{
    auto found = FChunks.find(index);
    if (found != FChunks.end()) {
        FUse.splice(FUse.begin(), FUse, found->second.Use);
        return found->second;
    }
    if (FChunks.size() >= kChunkLimit) {
        FChunks.erase(FUse.back());
        FUse.pop_back();
    }
    const int64_t first = index * kChunkFrames;
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(kChunkFrames, FLength - first));
    TChunk chunk;
    chunk.Samples.assign(static_cast<size_t>(count) * FFormat.nChannels, 0);
    FSource->Seek(first);
    if (!FSource->ReadSamples(reinterpret_cast<uint8_t *>(chunk.Samples.data()), count))
        std::fill(chunk.Samples.begin(), chunk.Samples.end(), int16_t{0});   // unreadable: silence
    ++FDecoded;
    FUse.push_front(index);
    chunk.Use = FUse.begin();
    return FChunks.emplace(index, std::move(chunk)).first->second;
}

bool TPeakTrack::ReadSamples(uint8_t *buffer, int32_t count)
{
    if (!FSource || count <= 0)
        return false;
    const size_t block = FFormat.nBlockAlign;
    bool inside = true;
    int32_t done = 0;
    while (done < count) {
        if (FPos < 0 || FPos >= FLength) {
            std::memset(buffer + done * block, 0, block);
            inside = false;
            ++done;
            ++FPos;
            continue;
        }
        const int64_t index = FPos / kChunkFrames;
        const int64_t offset = FPos - index * kChunkFrames;
        const TChunk &chunk = Chunk(index);
        const int64_t available = static_cast<int64_t>(chunk.Samples.size() / FFormat.nChannels) - offset;
        const int32_t run = static_cast<int32_t>(std::min<int64_t>(available, count - done));
        std::memcpy(buffer + done * block, chunk.Samples.data() + offset * FFormat.nChannels, run * block);
        done += run;
        FPos += run;
    }
    return inside;
}

bool TPeakTrack::Silence(uint8_t *buffer, int32_t count)
{
    if (!FSource || count <= 0)
        return false;
    std::memset(buffer, 0, static_cast<size_t>(count) * FFormat.nBlockAlign);
    return true;
}

} // namespace tessaly
