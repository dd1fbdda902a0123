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
#include "project/project_media.h"
#include "project/session_media.h"

namespace tessaly {

class TUserInterface;

// Window arrangement stored with a project (written, not applied on load).
struct TArrangeInfo {
    int32_t ScreenWidth = 0, ScreenHeight = 0;   // desktop work area
    bool ShowFileman = true, ShowStatus = true;
    int32_t Left = 0, Top = 0, ClientWidth = 0, ClientHeight = 0;
};

class TProjectSession : public TProjectMedia {
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

    // Opens a source from a file list and kind string. A relative name resolves against
    // the project file's folder (the working folder without a project). On failure the
    // open's message is shown (when showError) and the status kept in LastError().
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

    // --- project file ---------------------------------------------------------
    // Loads a ".tsp" file (any letter case); false for another extension (nothing
    // happens) or when a source cannot be opened (the project is then empty).
    bool LoadProject(const std::string &fileName, bool fromUser);
    // True when the last successful load skipped bad marker or chapter entries.
    bool LoadIncomplete() const { return FLoadIncomplete; }
    // Writes every key; false (with an error naming the file) when it cannot be written.
    bool SaveProject(const std::string &fileName);
    // True: go on (saved, or nothing to save, or No); false: cancelled or save failed.
    bool AskSaveChanges();
    // Asks, then loads the project file again; false when cancelled or failed.
    bool Revert();
    // The value of Files/Video for the open video: its file list or the phantom descriptor.
    std::string VideoText() const;

    // --- source protection ------------------------------------------------------
    // Every file of the video, audio, double and reference sources.
    std::vector<std::string> SourceFiles() const;
    // True when `fileName` names one of them: compared without regard to letter case,
    // and as the same file on disk (links, "./" and ".." spellings, hard links).
    bool IsSourceFile(const std::string &fileName) const;
    // False with the "is a source file" error when `fileName` is a source file.
    bool CheckNotSource(const std::string &fileName) const;

    // --- window state carried for the GUI -------------------------------------
    TArrangeInfo &Arrange() { return FArrange; }
    bool MutePrimary = false;    // preview mute buttons
    bool MuteDouble = false;
    // Setting PreviewEnv of section Current, used when a project file has none.
    std::string DefaultPreviewEnv = "2";

private:
    // Resolves a stored name: absolute as is, else against the project's folder.
    std::string Resolve(const std::string &name) const;
    bool OpenAudioTrack(std::unique_ptr<TSessionAudio> &slot, const std::string &fileList,
                        const std::string &kind, const char *key, const char *english, bool showError);
    void ShowOpenError(const char *key, const char *english, const std::string &fileList) const;
    bool LoadPhantom(const std::string &text);

    TUserInterface *FUi;
    TProject FProject;
    std::unique_ptr<TSessionVideo> FVideo;
    std::unique_ptr<TSessionAudio> FAudio;
    std::unique_ptr<TSessionAudio> FDouble;
    std::unique_ptr<TSessionVideo> FReference;
    TMediaError FLastError = meOk;
    std::string FBaseDir;   // folder that relative names resolve against ("" = working folder)
    std::string FPhantomText;
    bool FLoadIncomplete = false;
    TArrangeInfo FArrange;
};

// Splits a phantom clip descriptor; false when the text is not one or is malformed.
// `isDescriptor` tells whether it has the descriptor's shape (more than 5 fields).
bool ParsePhantomDescriptor(const std::string &text, bool &isDescriptor, int32_t &width, int32_t &height,
                            int32_t &pixelFormat, int32_t &frames, int32_t &rate, int32_t &scale);
std::string FormatPhantomDescriptor(int32_t width, int32_t height, int32_t pixelFormat, int32_t frames,
                                    int32_t rate, int32_t scale);

} // namespace tessaly
