// Segment checks and the joined track of the audio front-end.
#include "media/input/join/joined_audio.h"

#include "media/input/wave_format.h"

#include <algorithm>

namespace tessaly {
namespace {

// Segments of one track carry equal formats, channel masks included.
bool SameSegmentFormat(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    WAVEFORMATEX fa, fb;
    uint32_t maskA, maskB;
    ReadWaveFormat(a.data(), a.size(), fa, maskA);
    ReadWaveFormat(b.data(), b.size(), fb, maskB);
    return SameFormat(fa, fb) && maskA == maskB;
}

int AudioCount(const TAudioSource &source)
{
    return int(std::count_if(source.Streams().begin(), source.Streams().end(),
                             [](const TAudioStreamRecord &s) { return s.Info.fccType == streamtypeAUDIO; }));
}

} // namespace

TMediaError CheckAudioSegments(const std::vector<std::unique_ptr<TAudioSource>> &segments,
                               std::vector<int> &audioStreams)
{
    audioStreams.clear();
    if (segments.empty() || segments[0]->Streams().empty())
        return meNoAudioStream;
    const int audios = AudioCount(*segments[0]);
    if (audios < 1)
        return meNoAudioStream;
    for (const auto &seg : segments)
        if (AudioCount(*seg) != audios)
            return meSegment;
    for (const TAudioStreamRecord &s : segments[0]->Streams())
        if (s.Info.fccType == streamtypeAUDIO)
            audioStreams.push_back(s.Stream);
    for (int n : audioStreams) {
        const TAudioStreamRecord &first = segments[0]->Streams()[size_t(n)];
        if (first.Format.size() < 16)
            return meStreamFormat;
        for (size_t i = 1; i < segments.size(); ++i) {
            const TAudioStreamRecord &s = segments[i]->Streams()[size_t(n)];
            if (s.Info.fccType != streamtypeAUDIO || s.Format.size() != first.Format.size() ||
                s.Info.fccHandler != first.Info.fccHandler || s.Info.dwScale != first.Info.dwScale ||
                s.Info.dwRate != first.Info.dwRate || s.Info.dwSampleSize != first.Info.dwSampleSize ||
                !SameSegmentFormat(s.Format, first.Format))
                return meSegment;
        }
    }
    return meOk;
}

TJoinedAudioSource::TJoinedAudioSource(std::vector<std::unique_ptr<TAudioSource>> segments)
    : FSegments(std::move(segments)), FStreams(FSegments[0]->Streams())
{
    // Each segment continues where the previous one ended.
    for (size_t n = 0; n < FStreams.size(); ++n) {
        FStreams[n].Start = 0;
        std::vector<int64_t> first{0};
        for (const auto &seg : FSegments)
            first.push_back(first.back() + int64_t(seg->Streams()[n].Info.dwLength));
        FFirst.push_back(std::move(first));
    }
}

int64_t TJoinedAudioSource::Length(int stream) const { return FFirst[size_t(stream)].back(); }

TMediaError TJoinedAudioSource::Read(int stream, int64_t first, int32_t count, uint8_t *out)
{
    if (stream < 0 || size_t(stream) >= FStreams.size())
        return meParam;
    const std::vector<int64_t> &starts = FFirst[size_t(stream)];
    WAVEFORMATEX f;
    uint32_t mask;
    const std::vector<uint8_t> &format = FStreams[size_t(stream)].Format;
    if (!ReadWaveFormat(format.data(), format.size(), f, mask) || f.nBlockAlign == 0)
        return meAudioFormat;
    while (count > 0) {
        const auto holds = [&](size_t k) { return first >= starts[k] && first < starts[k + 1]; };
        if (FCurrent >= FSegments.size() || !holds(FCurrent)) {
            FCurrent = FSegments.size();
            for (size_t k = 0; k < FSegments.size() && FCurrent == FSegments.size(); ++k)
                if (holds(k))
                    FCurrent = k;
            if (FCurrent == FSegments.size())
                return meFileRead;
        }
        TAudioSource &seg = *FSegments[FCurrent];
        const int32_t k = int32_t(std::min<int64_t>(count, starts[FCurrent + 1] - first));
        const int64_t local = first - starts[FCurrent] + seg.Streams()[size_t(stream)].Start;
        if (TMediaError r = seg.Read(stream, local, k, out); r != meOk)
            return r;
        first += k;
        count -= k;
        out += size_t(k) * f.nBlockAlign;
    }
    return meOk;
}

} // namespace tessaly
