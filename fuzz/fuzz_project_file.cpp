// Fuzz target: project files (".tsp") loaded as the program loads them: media entries,
// phantom clip descriptors, marker and chapter lists, options, then the frame states
// and a save. Media files are not opened: a named video becomes a small phantom clip,
// so no input can make the target read arbitrary files.
#include "project/media_sources.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "shell/user_interface.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

using namespace tessaly;

namespace {

// Every message is swallowed; every question answered No.
class TSilentUi : public TUserInterface {
public:
    TMsgResult Message(TMsgType, const std::string &, unsigned buttons) override
    {
        return (buttons & mbNo) ? mrNo : (buttons & mbCancel) ? mrCancel : mrOK;
    }
};

// The real sources for phantom clips (kept small enough for the sanitizers' memory
// limit), a stand-in phantom for every named video, nothing for the audio tracks.
class TFuzzSources : public TProjectSources {
public:
    explicit TFuzzSources(TMediaSources &real) : FReal(real) {}
    TMediaError Open(TSourceRole role, const std::string &list, const std::string &) override
    {
        FLists[role] = list;
        if (role != srVideo)
            return meOk;
        TPhantomClip c;
        c.Frames = 500;
        return FReal.OpenPhantom(c);
    }
    TMediaError OpenPhantom(const TPhantomClip &clip) override
    {
        if (int64_t(clip.Width) * clip.Height > 4096 * 4096 || clip.Frames > 200000)
            return meMemory;
        return FReal.OpenPhantom(clip);
    }
    std::string FileList(TSourceRole role) const override { return FLists[role]; }
    std::string KindString(TSourceRole role) const override { return FReal.KindString(role); }
    bool Phantom(TPhantomClip &clip) const override { return FReal.Phantom(clip); }
    std::vector<std::string> Files(TSourceRole role) const override { return {FLists[role]}; }
    void SetFlipImage(bool flip) override { FReal.SetFlipImage(flip); }

private:
    TMediaSources &FReal;
    std::string FLists[4];
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = "/tmp/fuzz_project_" + std::to_string(getpid()) + ".tsp";
    static const std::string saved = "/tmp/fuzz_project_saved_" + std::to_string(getpid()) + ".tsp";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    TSilentUi ui;
    TMediaSources media;
    TFuzzSources sources(media);
    TProject project(&ui, &media);
    TProjectEditor editor(project, &sources);
    TProjectFile file(editor, sources);
    if (file.LoadProject(path, true)) {
        const int32_t frames = project.FrameCount();
        for (int32_t n = 0; n < frames && n < 2000; n += 7)
            (void)project.GetStateAt(n);
        (void)project.GetStateAt(frames - 1);
        (void)project.LastOutputFrame();
        project.SetChanged(true);
        (void)file.SaveProject(saved);
    }
    std::remove(saved.c_str());
    return 0;
}
