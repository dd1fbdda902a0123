// TMediaSources: video, audio, double and reference sources of a project.
#include "project/media_sources.h"

#include "media/input/source_kind.h"

namespace tessaly {

TMediaSources::TMediaSources() : FAudioMix(FAudio), FDoubleMix(FDouble) {}

std::string TMediaSources::VideoFileName() const
{
    return FVideo.IsOpen() ? FVideo.FileList() : std::string();
}

int32_t TMediaSources::VideoFrameCount() const
{
    return FVideo.IsOpen() ? FVideo.FrameCount() : 0;
}

int32_t TMediaSources::VideoRate() const
{
    return FVideo.IsOpen() ? FVideo.Rate() : -1;
}

int32_t TMediaSources::VideoScale() const
{
    return FVideo.IsOpen() ? FVideo.Scale() : 1;
}

bool TMediaSources::HasAudio() const
{
    return FAudio.IsOpen() && !FLists[srAudio].empty();
}

bool TMediaSources::HasDouble() const
{
    return FDouble.IsOpen() && !FLists[srDouble].empty();
}

bool TMediaSources::HasReference() const
{
    return FReference.IsOpen() && !FLists[srReference].empty();
}

uint32_t TMediaSources::AudioSampleRate() const
{
    return HasAudio() && FAudio.SampleRate() > 0 ? static_cast<uint32_t>(FAudio.SampleRate()) : 0;
}

void TMediaSources::Close(TSourceRole role)
{
    switch (role) {
    case srVideo: FVideo.Close(); break;
    case srAudio: FAudio.Close(); break;
    case srDouble: FDouble.Close(); break;
    case srReference: FReference.Close(); break;
    }
    FLists[role].clear();
}

void TMediaSources::CloseAll()
{
    for (TSourceRole role : {srVideo, srAudio, srDouble, srReference})
        Close(role);
}

TMediaError TMediaSources::Open(TSourceRole role, const std::string &fileList, const std::string &kind)
{
    Close(role);
    FProblems[role] = {};
    bool ok = false;
    TMediaError status = meUnknown;
    switch (role) {
    case srVideo:
        ok = FVideo.Open(fileList, kind);
        status = FVideo.Status();
        if (!ok)
            FProblems[role] = FVideo.Problem();
        break;
    case srAudio:
    case srDouble: {
        TWaveReader &r = role == srAudio ? FAudio : FDouble;
        ok = r.Open(fileList, kind, true, 0);
        status = r.Status();
        if (!ok)
            FProblems[role] = r.Problem();
        break;
    }
    case srReference:
        ok = FReference.Open(fileList, kind);
        status = FReference.Status();
        if (!ok)
            FProblems[role] = FReference.Problem();
        break;
    }
    if (!ok)
        return status == meOk ? meUnknown : status;
    FLists[role] = fileList;
    return meOk;
}

TMediaError TMediaSources::OpenPhantom(const TPhantomClip &clip)
{
    Close(srVideo);
    if (!PhantomWithinLimits(clip))
        return meParam;   // refused before anything is allocated for it
    if (!FVideo.OpenPhantom(static_cast<uint32_t>(clip.Width), static_cast<uint32_t>(clip.Height), clip.Frames,
                            clip.Scale, clip.Rate, static_cast<TIOPixelFormat>(clip.PixelFormat)))
        return FVideo.Status() == meOk ? meUnknown : FVideo.Status();
    FLists[srVideo] = FVideo.FileList();
    return meOk;
}

std::string TMediaSources::FileList(TSourceRole role) const
{
    return FLists[role];
}

std::string TMediaSources::KindString(TSourceRole role) const
{
    switch (role) {
    case srVideo: return FVideo.KindString();
    case srAudio: return FAudio.KindString();
    case srDouble: return FDouble.KindString();
    default: return FReference.KindString();
    }
}

bool TMediaSources::Phantom(TPhantomClip &clip) const
{
    if (!FVideo.IsOpen() || FVideo.Kind() != ksDumy)
        return false;
    clip.Width = static_cast<int32_t>(FVideo.Width());
    clip.Height = static_cast<int32_t>(FVideo.Height());
    clip.PixelFormat = FVideo.PixelFormat();
    clip.Frames = FVideo.FrameCount();
    clip.Rate = FVideo.Rate();
    clip.Scale = FVideo.Scale();
    return true;
}

std::vector<std::string> TMediaSources::Files(TSourceRole role) const
{
    if (FLists[role].empty() || (role == srVideo && FVideo.Kind() == ksDumy))
        return {};
    return SplitFileList(FLists[role]);
}

void TMediaSources::SetFlipImage(bool flip)
{
    FVideo.SetUpsideDown(flip);
}

} // namespace tessaly
