// The reader plug-in audio source.
#include "media/input/vfap/vfap_audio.h"

#include "media/input/wave_format.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tessaly {

TMediaError TVfapAudio::Open(int plugin, const std::string &file)
{
    TMediaError status = meOk;
    FHandle.reset(VfOpen(plugin, file, status));
    if (!FHandle)
        return status;
    VfHostHandle *h = FHandle.get();
    if (!HasAudio(h))
        return meNoAudioStream;
    VfAudioStreamInfo ai = AudioInfo(h);
    if (ai.lengthHigh != 0 || ai.lengthLow < 1 || ai.lengthLow > uint32_t(INT32_MAX))
        return meFileFormat;
    TAudioStreamRecord s;
    s.Format = AudioFormatBytes(h); // plain PCM, or extensible with the speaker mask
    if (s.Format.empty())
        return meAudioFormat;
    WAVEFORMATEX wf;
    uint32_t mask = 0;
    if (!ReadWaveFormat(s.Format.data(), s.Format.size(), wf, mask))
        return meCodec;
    s.Info = PluginAudioStreamInfo(ai, wf);
    SetSourceName(s.Info.szName, file, "Audio #1");
    FStreams.push_back(std::move(s));
    FFileInfo.dwStreams = 1;
    FBlock = wf.nBlockAlign;
    return meOk;
}

TMediaError TVfapAudio::Read(int stream, int64_t first, int32_t count, uint8_t *out)
{
    if (stream != 0 || FStreams.empty() || FBlock == 0)
        return meParam;
    while (count > 0) {
        const int32_t want = std::min<int32_t>(count, int32_t(INT32_MAX / FBlock));
        uint32_t got = ReadAudioPcm(FHandle.get(), first, uint32_t(want), out, uint32_t(want) * FBlock);
        if (got != uint32_t(want) * FBlock)
            return HandleStatus(FHandle.get());
        first += want;
        count -= want;
        out += size_t(want) * FBlock;
    }
    return meOk;
}

} // namespace tessaly
