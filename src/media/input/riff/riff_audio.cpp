// The own reader's and the system media layer's audio sources.
#include "media/input/riff/riff_audio.h"

#include <algorithm>
#include <sys/stat.h>

#include "media/input/riff/riff_streams.h"
#include "media/input/wave_format.h"

namespace tessaly {

namespace {

bool IsMultichannelAudio(const TAudioStreamRecord &s)
{
    WAVEFORMATEX f;
    uint32_t mask;
    return s.Info.fccType == streamtypeAUDIO && ReadWaveFormat(s.Format.data(), s.Format.size(), f, mask) &&
           f.nChannels > 2;
}

// Stream records through a reader with the AVIFile-shaped calls of both paths.
template <class TReader> TMediaError ReadStreams(TReader &rd, std::vector<TAudioStreamRecord> &streams)
{
    for (int i = 0; i < rd.StreamCount(); ++i) {
        TAudioStreamRecord s;
        s.Stream = i;
        int32_t r = RiffStreamInfo(rd, i, s.Info);
        if (r != AVIERR_OK)
            return MediaErrorFromAviErr(r);
        s.Start = RiffStreamStart(rd, i, s.Info);
        if (s.Start < 0)
            return meStreamFormat;
        int32_t size = 0;
        if ((r = rd.ReadFormat(i, size, nullptr)) != AVIERR_OK)
            return MediaErrorFromAviErr(r);
        if (size > 0) {
            s.Format.resize(size_t(size));
            if ((r = rd.ReadFormat(i, size, s.Format.data())) != AVIERR_OK)
                return MediaErrorFromAviErr(r);
        }
        streams.push_back(std::move(s));
    }
    return meOk;
}

} // namespace

TMediaError TRiffAudio::Read(int stream, int64_t first, int32_t count, uint8_t *out)
{
    if (stream < 0 || size_t(stream) >= FStreams.size())
        return meParam;
    WAVEFORMATEX f;
    uint32_t mask;
    const std::vector<uint8_t> &format = FStreams[size_t(stream)].Format;
    if (!ReadWaveFormat(format.data(), format.size(), f, mask) || f.nBlockAlign == 0)
        return meAudioFormat;
    const int32_t block = f.nBlockAlign;
    while (count > 0) {
        int32_t bytes = 0, samples = 0;
        const int32_t want = std::min<int32_t>(count, INT32_MAX / block);
        int32_t r = ReadStream(stream, int32_t(first), want, out, want * block, &bytes, &samples);
        if (r != AVIERR_OK)
            return MediaErrorFromAviErr(r);
        if (samples <= 0 || bytes != samples * block)
            return meFileRead;
        first += samples;
        count -= samples;
        out += size_t(samples) * size_t(block);
    }
    return meOk;
}

TMediaError TOdmlAudio::Open(const std::string &file)
{
    FReader = std::make_unique<TAvi2Reader>();
    int32_t r = FReader->Open(file);
    if (r != AVIERR_OK)
        return MediaErrorFromAviErr(r);
    FReader->GetFileInfo(FFileInfo);
    if (FReader->StreamCount() <= 0)
        return meFileFormat;
    return ReadStreams(*FReader, FStreams);
}

TMediaError TMsvwAudio::Open(const std::string &file)
{
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return meFileNotFound;
    if (st.st_size <= 0)
        return meFileSize;
    if (st.st_size >= 2147483647)
        return meFileExceeds2GB;
    FReader = std::make_unique<TAviFile>();
    int32_t r = FReader->Open(file);
    if (r != AVIERR_OK)
        return MediaErrorFromAviErr(r);
    if ((r = FReader->GetFileInfo(FFileInfo)) != AVIERR_OK)
        return MediaErrorFromAviErr(r);
    if (FFileInfo.dwStreams == 0 || FReader->StreamCount() == 0)
        return meFileFormat;
    if (TMediaError m = ReadStreams(*FReader, FStreams); m != meOk)
        return m;
    AdoptChannelMasks(file);
    return meOk;
}

// A stream of more than two channels takes the format record the own reader finds for it
// in the same file (the extensible record with its mask) when both describe the same samples.
void TMsvwAudio::AdoptChannelMasks(const std::string &file)
{
    if (std::none_of(FStreams.begin(), FStreams.end(), IsMultichannelAudio))
        return;
    TAvi2Reader own;
    if (own.Open(file) != AVIERR_OK || own.StreamCount() != int(FStreams.size()))
        return;
    for (TAudioStreamRecord &s : FStreams) {
        int32_t size = 0;
        if (!IsMultichannelAudio(s) || own.ReadFormat(s.Stream, size, nullptr) != AVIERR_OK || size < 16)
            continue;
        std::vector<uint8_t> format(static_cast<size_t>(size), 0);
        WAVEFORMATEX ownFormat, layerFormat;
        uint32_t mask = 0, none = 0;
        if (own.ReadFormat(s.Stream, size, format.data()) == AVIERR_OK &&
            ReadWaveFormat(format.data(), format.size(), ownFormat, mask) &&
            ReadWaveFormat(s.Format.data(), s.Format.size(), layerFormat, none) && SameFormat(ownFormat, layerFormat) &&
            mask != 0)
            s.Format = std::move(format);
    }
}

} // namespace tessaly
