// TProjectSession: the open project together with its media sources (video, primary and
// double audio track, reference video through the real front-ends), its project file
// procedures and the state the main window keeps for it. The GUI's main window and
// tessaly-cli both sit on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "project/media_sources.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/project_file.h"
#include "project/project_sources.h"

namespace tessaly {

class TUserInterface;

class TProjectSession : public TProjectSources, private TProjectObserver {
public:
    // ui: not owned, may be null (no messages; questions answered No). The project
    // starts as a new one with `defaults` (the application context's ProjectDefaults).
    explicit TProjectSession(TUserInterface *ui = nullptr, const TProjectDefaults &defaults = {});
    ~TProjectSession() override;
    TProjectSession(const TProjectSession &) = delete;
    TProjectSession &operator=(const TProjectSession &) = delete;

    // The project is read here and changed only through the editor: there is no
    // writable access to it outside the session, its file and its editor.
    const TProject &Project() const { return FProject; }
    // The one editing path of this project (markers, chapters, options, navigation,
    // media opened, undo).
    TProjectEditor &Editor() { return FEditor; }
    TMediaSources &Sources() { return FSources; }
    TProjectFile &File() { return FFile; }
    TUserInterface *UserInterface() const { return FUi; }
    void SetUserInterface(TUserInterface *ui);

    // Opens a source (a relative name resolves against the working folder) and tells
    // the project; on failure shows the open's message and returns false. For a video,
    // `reset` and `asked` (optional) tell whether the markers were reset and whether the
    // reset question was put. The window's open commands go through OpenMedia instead.
    bool OpenSource(TSourceRole role, const std::string &fileList, const std::string &kind = "AUTO|-1",
                    bool *reset = nullptr, bool *asked = nullptr);
    bool OpenPhantomClip(const TPhantomClip &clip);
    // Removes the double track or the reference video.
    void CloseSource(TSourceRole role);

    // --- project file -------------------------------------------------------------
    // LoadProject without a question (command line, file drop); true when loaded.
    bool LoadProject(const std::string &fileName, bool fromUser) { return FFile.LoadProject(fileName, fromUser); }
    // Save as: writes the project to `fileName` and takes that name.
    bool SaveProject(const std::string &fileName) { return FFile.SaveProject(fileName); }
    // Save: to the project's own file, else through the file-name chooser (Save as).
    bool Save() { return FFile.Save(); }
    bool AskSaveChanges() { return FFile.AskSaveChanges(); }
    // New: AskSaveChanges, then an empty project; false when the user cancelled.
    bool NewProject();
    // Open project: AskSaveChanges, then LoadProject; false when cancelled or failed.
    bool OpenProject(const std::string &fileName);
    // Revert: asks MsgRevert, then loads the saved file again.
    bool Revert() { return FFile.Revert(); }

    // --- TProjectSources, as the project file reaches the media ------------------
    // An empty audio or double entry is a project without that track (it is saved so).
    TMediaError Open(TSourceRole role, const std::string &fileList, const std::string &kind) override;
    TMediaProblem Problem(TSourceRole role) const override { return FSources.Problem(role); }
    TMediaError OpenPhantom(const TPhantomClip &clip) override { return FSources.OpenPhantom(clip); }
    std::string FileList(TSourceRole role) const override { return FSources.FileList(role); }
    std::string KindString(TSourceRole role) const override { return FSources.KindString(role); }
    bool Phantom(TPhantomClip &clip) const override { return FSources.Phantom(clip); }
    std::vector<std::string> Files(TSourceRole role) const override { return FSources.Files(role); }
    void SetFlipImage(bool flip) override { FSources.SetFlipImage(flip); }

    // --- source protection ----------------------------------------------------------
    // False with the "is a source file" error when `fileName` names a file of one of
    // the sources (compared without regard to letter case, and as the same file on
    // disk: links, "./" and ".." spellings, hard links).
    bool CheckNotSource(const std::string &fileName) const { return !FFile.IsSourceFile(fileName); }

    // --- window state carried for the GUI -----------------------------------------
    TProjectArrange &Arrange() { return FArrange; }
    // The preview's mutes; a mute is released when its track goes (or the video).
    bool MutePrimary = false;
    bool MuteDouble = false;

private:
    void ProjectChanged(unsigned changes) override;

    TUserInterface *FUi;
    TMediaSources FSources;
    TProject FProject;
    TProjectEditor FEditor;   // before the file, which changes the project through it
    TProjectFile FFile;
    TProjectArrange FArrange;
};

} // namespace tessaly
