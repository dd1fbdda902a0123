// TProjectSession: the open project together with the sources it owns (video, primary
// and double audio, reference video), the project file procedures (load, save, revert,
// save-changes question) and the protection of source files against being overwritten.
// The GUI's main window and tessaly-cli both sit on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "project/project.h"
#include "project/project_file.h"
#include "project/project_media.h"
#include "project/project_sources.h"
#include "project/session_media.h"

namespace tessaly {

class TUserInterface;

class TProjectSession : public TProjectMedia, public TProjectSources {
public:
    // ui: not owned, may be null (no messages; questions answered No).
    explicit TProjectSession(TUserInterface *ui = nullptr);
    ~TProjectSession() override;

    TProject &Project() { return FProject; }
    const TProject &Project() const { return FProject; }
    TUserInterface *UserInterface() const { return FUi; }
    void SetUserInterface(TUserInterface *ui);

    // --- sources (null when not open) ---------------------------------------
    TSessionVideo *Video() const { return FVideo.get(); }
    TSessionAudio *Audio() const { return FAudio.get(); }
    TSessionAudio *Double() const { return FDouble.get(); }
    TSessionVideo *Reference() const { return FReference.get(); }

    // Opens a source from a file list and kind string (a relative name resolves against
    // the working folder) and tells the project. On failure the open's message is shown
    // (when showError) and the status kept in LastError().
    bool OpenVideo(const std::string &fileList, const std::string &kind, bool showError = true);
    bool OpenPhantom(int32_t width, int32_t height, int32_t pixelFormat, int32_t frames, int32_t rate,
                     int32_t scale, bool showError = true);
    bool OpenAudio(const std::string &fileList, const std::string &kind, bool showError = true);
    bool OpenDouble(const std::string &fileList, const std::string &kind, bool showError = true);
    bool OpenReference(const std::string &fileList, const std::string &kind, bool showError = true);
    void CloseAudio();
    void CloseDouble();
    void CloseReference();
    TMediaError LastError() const { return FLastError; }

    // --- TProjectMedia ------------------------------------------------------
    std::string VideoFileName() const override;
    int32_t VideoFrameCount() const override;
    int32_t VideoRate() const override;
    int32_t VideoScale() const override;
    bool HasAudio() const override { return FAudio != nullptr; }
    bool HasDouble() const override { return FDouble != nullptr; }
    bool HasReference() const override { return FReference != nullptr; }
    uint32_t AudioSampleRate() const override;
    void CloseAll() override;

    // --- project file (through TProjectFile) ----------------------------------
    // Loads a ".tsp" file (any letter case); false for another extension (nothing
    // happens) or when a source cannot be opened (the project is then empty).
    bool LoadProject(const std::string &fileName, bool fromUser) { return FFile.LoadProject(fileName, fromUser); }
    // Writes every key; false (with an error naming the file) when it cannot be written.
    bool SaveProject(const std::string &fileName) { return FFile.SaveProject(fileName); }
    bool AskSaveChanges() { return FFile.AskSaveChanges(); }
    bool Revert() { return FFile.Revert(); }
    TProjectFile &File() { return FFile; }
    // The value of Files/Video for the open video: its file list or the phantom descriptor.
    std::string VideoText() const;

    // --- TProjectSources --------------------------------------------------------
    TMediaError Open(TSourceRole role, const std::string &fileList, const std::string &kind) override;
    TMediaError OpenPhantom(const TPhantomClip &clip) override;
    std::string FileList(TSourceRole role) const override;
    std::string KindString(TSourceRole role) const override;
    bool Phantom(TPhantomClip &clip) const override;
    std::vector<std::string> Files(TSourceRole role) const override;
    void SetFlipImage(bool flip) override { FFlip = flip; }

    // --- source protection ------------------------------------------------------
    // Every file of the video, audio, double and reference sources.
    std::vector<std::string> SourceFiles() const;
    // False with the "is a source file" error when `fileName` names one of them
    // (compared without regard to letter case, and as the same file on disk: links,
    // "./" and ".." spellings, hard links).
    bool CheckNotSource(const std::string &fileName) const { return !FFile.IsSourceFile(fileName); }

    // --- window state carried for the GUI -------------------------------------
    TProjectArrange &Arrange() { return FArrange; }
    bool MutePrimary = false;    // preview mute buttons
    bool MuteDouble = false;

private:
    void ShowOpenError(const char *key, const char *english, const std::string &fileList) const;

    TUserInterface *FUi;
    TProject FProject;
    TProjectFile FFile;
    std::unique_ptr<TSessionVideo> FVideo;
    std::unique_ptr<TSessionAudio> FAudio;
    std::unique_ptr<TSessionAudio> FDouble;
    std::unique_ptr<TSessionVideo> FReference;
    TMediaError FLastError = meOk;
    TPhantomClip FPhantom;
    TProjectArrange FArrange;
    bool FFlip = false;
};

} // namespace tessaly
