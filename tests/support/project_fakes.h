// Stand-ins for the project's media sources and for the user, for tests of the core.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "project/project_media.h"
#include "project/project_sources.h"
#include "shell/user_interface.h"

namespace tessaly::test {

// Media facts set by the test; CloseAll forgets everything, as closing the sources does.
class TFakeProjectMedia : public TProjectMedia {
public:
    std::string Video;
    int32_t Frames = 0;
    int32_t Rate = -1;
    int32_t Scale = 1;
    bool Audio = false;
    bool Double = false;
    bool Reference = false;
    uint32_t SampleRate = 0;
    int CloseCount = 0;

    // A video of `frames` frames at rate/scale with a primary track at `sampleRate`.
    void SetVideo(const std::string &name, int32_t frames, int32_t rate = 25, int32_t scale = 1)
    {
        Video = name;
        Frames = frames;
        Rate = rate;
        Scale = scale;
    }
    std::string VideoFileName() const override { return Video; }
    int32_t VideoFrameCount() const override { return Frames; }
    int32_t VideoRate() const override { return Rate; }
    int32_t VideoScale() const override { return Scale; }
    bool HasAudio() const override { return Audio; }
    bool HasDouble() const override { return Double; }
    bool HasReference() const override { return Reference; }
    uint32_t AudioSampleRate() const override { return SampleRate; }
    void CloseAll() override
    {
        int closed = CloseCount + 1;
        *this = TFakeProjectMedia{};
        CloseCount = closed;
    }
};

// Records every message and answers questions from a script (default: No / Cancel / OK).
class TRecordingUserInterface : public TUserInterface {
public:
    struct TEntry {
        TMsgType Type;
        std::string Text;
        unsigned Buttons;
    };
    std::vector<TEntry> Messages;
    std::vector<TMsgResult> Answers;   // consumed front first

    TMsgResult Message(TMsgType type, const std::string &text, unsigned buttons) override
    {
        Messages.push_back({type, text, buttons});
        if (!Answers.empty()) {
            TMsgResult r = Answers.front();
            Answers.erase(Answers.begin());
            return r;
        }
        if (buttons & mbNo)
            return mrNo;
        if (buttons & mbCancel)
            return mrCancel;
        return mrOK;
    }
};

// Media sources over small text files: a video file holds "video FRAMES RATE SCALE",
// an audio file "audio SAMPLERATE"; anything else fails with meFileFormat, a missing
// file with meFileNotFound. Every open is recorded.
class TFakeSources : public TFakeProjectMedia, public TProjectSources {
public:
    struct TOpen {
        TSourceRole Role;
        std::string List, Kind;
    };
    std::vector<TOpen> Opens;
    std::string Lists[4], Kinds[4];
    bool IsPhantom = false;
    TPhantomClip Clip;
    bool Flip = false;
    TMediaError PhantomResult = meOk;

    TMediaError Open(TSourceRole role, const std::string &list, const std::string &kind) override
    {
        Opens.push_back({role, list, kind});
        std::string first = list.substr(0, list.find('|'));
        std::ifstream in(first);
        if (!in)
            return meFileNotFound;
        std::string word;
        in >> word;
        if (role == srAudio || role == srDouble) {
            uint32_t rate = 0;
            if (word != "audio" || !(in >> rate))
                return meFileFormat;
            if (role == srAudio) {
                Audio = true;
                SampleRate = rate;
            } else {
                Double = true;
            }
        } else if (role == srVideo) {
            int32_t frames = 0, rate = 0, scale = 0;
            if (word != "video" || !(in >> frames >> rate >> scale))
                return meFileFormat;
            SetVideo(first, frames, rate, scale);
            IsPhantom = false;
        } else {
            Reference = true;
        }
        Lists[role] = list;
        Kinds[role] = kind.empty() ? "ODML|-1" : kind;
        return meOk;
    }
    // The reason every failed open gives (none unless a test sets one).
    TMediaProblem OpenProblem;
    TMediaProblem Problem(TSourceRole) const override { return OpenProblem; }
    TMediaError OpenPhantom(const TPhantomClip &clip) override
    {
        if (PhantomResult != meOk)
            return PhantomResult;
        IsPhantom = true;
        Clip = clip;
        SetVideo("phantom", clip.Frames, clip.Rate, clip.Scale);
        Kinds[srVideo] = "DUMY|-1";
        return meOk;
    }
    std::string FileList(TSourceRole role) const override { return Lists[role]; }
    std::string KindString(TSourceRole role) const override { return Kinds[role]; }
    bool Phantom(TPhantomClip &clip) const override
    {
        clip = Clip;
        return IsPhantom;
    }
    std::vector<std::string> Files(TSourceRole role) const override
    {
        std::vector<std::string> files;
        if (!Lists[role].empty())
            files.push_back(Lists[role].substr(0, Lists[role].find('|')));
        return files;
    }
    void SetFlipImage(bool flip) override { Flip = flip; }
    void CloseAll() override
    {
        TFakeProjectMedia::CloseAll();
        for (auto &l : Lists)
            l.clear();
        for (auto &k : Kinds)
            k.clear();
        IsPhantom = false;
    }
};

} // namespace tessaly::test
