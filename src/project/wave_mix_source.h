// TWaveMixSource: the mixer's view of an audio track read by a TWaveReader.
#pragma once

#include "media/input/wave_reader.h"
#include "project/mix_source.h"

namespace tessaly {

class TWaveMixSource : public TMixSource {
public:
    // The reader is not owned and must outlive this object.
    explicit TWaveMixSource(TWaveReader &reader) : FReader(reader) {}

    bool SetOutputFormat(const WAVEFORMATEX *format, int32_t formatSize) override
    {
        return FReader.SetOutputFormat(format, format ? static_cast<uint32_t>(formatSize) : 0);
    }
    void OutputFormat(WAVEFORMATEX &format, int32_t &formatSize) const override
    {
        format = FReader.OutputFormat();
        formatSize = FReader.IsOpen() ? static_cast<int32_t>(sizeof(WAVEFORMATEX)) : 0;
    }
    int64_t OutputLength() const override { return FReader.OutputLength(); }
    int64_t OutputPosition() const override { return FReader.Position(); }
    void Seek(int64_t sample) override { FReader.Seek(sample); }
    bool ReadSamples(uint8_t *buffer, int32_t count) override { return FReader.ReadSamples(buffer, count); }
    bool Silence(uint8_t *buffer, int32_t count) override { return FReader.Silence(buffer, count); }
    uint32_t ChannelMask() const override { return FReader.OutputChannelMask(); }

private:
    TWaveReader &FReader;
};

} // namespace tessaly
