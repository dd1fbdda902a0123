// Segment checks and the joined clip of the video front-end.
#include "media/input/join/joined_video.h"

#include <algorithm>

namespace tessaly {
namespace {

bool SameVideoStream(const TVideoStreamRecord &a, const TVideoStreamRecord &b)
{
    if (b.Info.fccType != streamtypeVIDEO || a.Format.size() != b.Format.size() || a.Format.size() < 24)
        return false;
    const auto rw = [](const AVISTREAMINFO &i) { return i.rcFrame.right - i.rcFrame.left; };
    const auto rh = [](const AVISTREAMINFO &i) { return i.rcFrame.bottom - i.rcFrame.top; };
    if (a.Info.fccHandler != b.Info.fccHandler || a.Info.dwScale != b.Info.dwScale ||
        a.Info.dwRate != b.Info.dwRate || rw(a.Info) != rw(b.Info) || rh(a.Info) != rh(b.Info))
        return false;
    // biWidth, biHeight, biPlanes, biBitCount and biCompression: bytes 4 to 19.
    return std::equal(a.Format.begin() + 4, a.Format.begin() + 20, b.Format.begin() + 4);
}

bool SameAudioStream(const TVideoStreamRecord &a, const TVideoStreamRecord &b)
{
    if (b.Info.fccType != streamtypeAUDIO || a.Format.size() != b.Format.size() || a.Format.size() < 16)
        return false;
    if (a.Info.fccHandler != b.Info.fccHandler || a.Info.dwScale != b.Info.dwScale ||
        a.Info.dwRate != b.Info.dwRate || a.Info.dwSampleSize != b.Info.dwSampleSize)
        return false;
    // wFormatTag, nChannels, nSamplesPerSec (bytes 0 to 7) and nBlockAlign (12 to 13).
    return std::equal(a.Format.begin(), a.Format.begin() + 8, b.Format.begin()) &&
           std::equal(a.Format.begin() + 12, a.Format.begin() + 14, b.Format.begin() + 12);
}

} // namespace

TMediaError CheckVideoSegments(const std::vector<std::unique_ptr<TVideoSource>> &segments, bool withAudio,
                               std::vector<int> &videoStreams, std::vector<int> &audioStreams)
{
    videoStreams.clear();
    audioStreams.clear();
    if (segments.empty() || segments[0]->Streams().empty())
        return meNoVideoStream;
    size_t videos0 = 0, audios0 = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        size_t videos = 0, audios = 0;
        for (const TVideoStreamRecord &s : segments[k]->Streams()) {
            videos += s.Info.fccType == streamtypeVIDEO;
            audios += s.Info.fccType == streamtypeAUDIO;
        }
        if (videos == 0)
            return meNoVideoStream;
        if (k == 0) {
            videos0 = videos;
            audios0 = audios;
        } else if (videos != videos0 || (withAudio && audios != audios0)) {
            return meSegment;
        }
    }
    const std::vector<TVideoStreamRecord> &first = segments[0]->Streams();
    for (size_t s = 0; s < first.size(); ++s) {
        if (first[s].Info.fccType == streamtypeVIDEO) {
            if (first[s].Format.size() <= 23)
                return meStreamFormat;
            videoStreams.push_back(int(s));
        } else if (withAudio && first[s].Info.fccType == streamtypeAUDIO) {
            if (first[s].Format.size() <= 15)
                return meStreamFormat;
            audioStreams.push_back(int(s));
        }
    }
    for (size_t k = 1; k < segments.size(); ++k)
        for (int s : videoStreams)
            if (!SameVideoStream(first[size_t(s)], segments[k]->Streams()[size_t(s)]))
                return meSegment;
    for (size_t k = 1; k < segments.size(); ++k)
        for (int s : audioStreams)
            if (!SameAudioStream(first[size_t(s)], segments[k]->Streams()[size_t(s)]))
                return meSegment;
    return meOk;
}

TJoinedVideoSource::TJoinedVideoSource(std::vector<std::unique_ptr<TVideoSource>> segments)
    : FSegments(std::move(segments))
{
    const TVideoSource &first = *FSegments[0];
    std::vector<TVideoStreamRecord> streams = first.Streams();
    for (size_t stream = 0; stream < streams.size(); ++stream) {
        AVISTREAMINFO &info = streams[stream].Info;
        for (size_t k = 1; k < FSegments.size(); ++k) {
            const AVISTREAMINFO &o = FSegments[k]->Streams()[stream].Info;
            info.dwFlags |= o.dwFlags;
            info.dwCaps &= o.dwCaps;
            info.dwLength += o.dwLength;
            info.dwSuggestedBufferSize = std::max(info.dwSuggestedBufferSize, o.dwSuggestedBufferSize);
        }
        const char *word = info.fccType == streamtypeVIDEO   ? "Video"
                           : info.fccType == streamtypeAUDIO ? "Audio"
                           : info.fccType == streamtypeMIDI  ? "Midi"
                           : info.fccType == streamtypeTEXT  ? "Text"
                                                             : "(unknown)";
        SetNameField(info.szName, MovieStreamName(first.FileName(), std::string(word) + " #" + std::to_string(stream)));
    }
    Describe(first.FileName(), first.FileInfo(), std::move(streams), first.Description(), "");
}

bool TJoinedVideoSource::SelectStream(int stream, bool prefer24, const TVideoOutput *first)
{
    FFirst.clear();
    FLast.clear();
    FFrames = 0;
    for (size_t k = 0; k < FSegments.size(); ++k)
        if (!FSegments[k]->SelectStream(stream, prefer24, k == 0 ? first : &FSegments[0]->Output()))
            return Fail(FSegments[k]->Status());
    FOutput = FSegments[0]->Output();
    // Frame numbers run on from segment to segment.
    int64_t next = 0, total = 0;
    for (const auto &seg : FSegments) {
        const uint32_t length = seg->Streams()[size_t(stream)].Info.dwLength;
        FFirst.push_back(int32_t(next));
        FLast.push_back(int32_t(std::min<int64_t>(next + length - 1, INT32_MAX - 1)));
        next = int64_t(FLast.back()) + 1;
        total += length;
    }
    FFrames = int32_t(std::min<int64_t>(total, INT32_MAX));
    return true;
}

TVideoSource *TJoinedVideoSource::Locate(int32_t n, int32_t &local)
{
    for (size_t k = 0; k < FFirst.size(); ++k)
        if (n >= FFirst[k] && n <= FLast[k]) {
            local = n - FFirst[k];
            return FSegments[k].get();
        }
    Fail(meParam);
    return nullptr;
}

bool TJoinedVideoSource::GetFrame(int32_t n, TIOImage &image)
{
    int32_t local = 0;
    TVideoSource *seg = Locate(n, local);
    return seg && (seg->GetFrame(local, image) || Fail(seg->Status()));
}

bool TJoinedVideoSource::GetPicture(int32_t n, TIOImage &image, const TVideoReadMode &mode)
{
    int32_t local = 0;
    TVideoSource *seg = Locate(n, local);
    return seg && (seg->GetPicture(local, image, mode) || Fail(seg->Status()));
}

bool TJoinedVideoSource::IsKeyFrame(int32_t n)
{
    int32_t local = 0;
    TVideoSource *seg = Locate(n, local);
    return seg && seg->IsKeyFrame(local);
}

bool TJoinedVideoSource::ReadPacket(int32_t n, TVideoPacket &packet)
{
    int32_t local = 0;
    TVideoSource *seg = Locate(n, local);
    return seg && (seg->ReadPacket(local, packet) || Fail(seg->Status()));
}

bool TJoinedVideoSource::ReadStored(int32_t n, const TVideoReadMode &mode, std::vector<uint8_t> &buffer,
                                    TVideoPacket &packet)
{
    int32_t local = 0;
    TVideoSource *seg = Locate(n, local);
    return seg && (seg->ReadStored(local, mode, buffer, packet) || Fail(seg->Status()));
}

} // namespace tessaly
