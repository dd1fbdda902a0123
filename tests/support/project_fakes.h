// Stand-ins for the project's media sources and for the user, for tests of the core.
#pragma once

#include <string>
#include <vector>

#include "project/project_media.h"
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

} // namespace tessaly::test
