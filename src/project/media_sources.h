// TMediaSources: the project's real media sources (video, primary and double audio
// track, reference video) behind the interfaces the project model, the project file
// and the mixer use.
#pragma once

#include <memory>
#include <string>

#include "media/input/io_movie_reader.h"
#include "media/input/wave_reader.h"
#include "project/project_media.h"
#include "project/project_sources.h"
#include "project/wave_mix_source.h"

namespace tessaly {

class TMediaSources : public TProjectMedia, public TProjectSources {
public:
    TMediaSources();

    TIOMovieReader &Video() { return FVideo; }
    TWaveReader &Audio() { return FAudio; }
    TWaveReader &Double() { return FDouble; }
    TIOMovieReader &Reference() { return FReference; }
    // Mixer views of the audio tracks; null when the track is not open.
    TMixSource *AudioMix() { return HasAudio() ? &FAudioMix : nullptr; }
    TMixSource *DoubleMix() { return HasDouble() ? &FDoubleMix : nullptr; }
    // Closes one source (removing the double track or the reference video).
    void Close(TSourceRole role);

    // TProjectMedia
    std::string VideoFileName() const override;
    int32_t VideoFrameCount() const override;
    int32_t VideoRate() const override;
    int32_t VideoScale() const override;
    bool HasAudio() const override;
    bool HasDouble() const override;
    bool HasReference() const override;
    uint32_t AudioSampleRate() const override;
    void CloseAll() override;

    // TProjectSources
    TMediaError Open(TSourceRole role, const std::string &fileList, const std::string &kind) override;
    TMediaProblem Problem(TSourceRole role) const override { return FProblems[role]; }
    TMediaError OpenPhantom(const TPhantomClip &clip) override;
    std::string FileList(TSourceRole role) const override;
    std::string KindString(TSourceRole role) const override;
    bool Phantom(TPhantomClip &clip) const override;
    std::vector<std::string> Files(TSourceRole role) const override;
    void SetFlipImage(bool flip) override;

private:
    TIOMovieReader FVideo;
    TWaveReader FAudio;
    TWaveReader FDouble;
    TIOMovieReader FReference;
    TWaveMixSource FAudioMix;
    TWaveMixSource FDoubleMix;
    std::string FLists[4];   // file lists of the open sources, by role
    TMediaProblem FProblems[4]; // reasons of the last failed opens, by role
};

} // namespace tessaly
