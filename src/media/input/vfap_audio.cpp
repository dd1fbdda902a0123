// The reader plug-in audio source.
#include "media/input/vfap_audio.h"

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
    uint32_t len = AudioFormat(h, nullptr);
    if (len == 0)
        return meAudioFormat;
    s.Format.resize(len);
    WAVEFORMATEX wf;
    if (AudioFormat(h, &wf) != len)
        return meCodec;
    std::memcpy(s.Format.data(), &wf, std::min<size_t>(len, sizeof wf));
    AVISTREAMINFO &si = s.Info;
    si.fccType = streamtypeAUDIO;
    bool scaled = ai.scale >= 1 && ai.rate >= 1;
    si.dwScale = scaled ? ai.scale : 1;
    si.dwRate = scaled ? ai.rate : 1;
    si.dwLength = ai.lengthLow;
    si.dwSuggestedBufferSize = wf.nSamplesPerSec * wf.nBlockAlign;
    si.dwQuality = 0xFFFFFFFFu;
    si.dwSampleSize = ai.blockAlign;
    SetSourceName(si.szName, file, "Audio #1");
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
