// Loading and saving projects (".tsp" ini files), the save-changes question, revert,
// and the protection of source files from being overwritten by a result.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "project/project_options.h"
#include "project/project_sources.h"

namespace tessaly {

// Why `fileName` cannot be read as a project file, in the user's words: "" for a regular
// file; the missing file, a folder, or a pipe or device (never opened, as a read of a pipe
// would wait for a writer) named otherwise.
std::string ProjectFileProblem(const std::string &fileName);

class TIniFile;

class TProject;
class TProjectEditor;

// The window layout written to [Arrange] (never applied when loading).
struct TProjectArrange {
    int32_t ScreenWidth = 0, ScreenHeight = 0;
    bool ShowFileman = true;
    bool ShowStatus = true;
    int32_t Left = 0, Top = 0, Width = 0, Height = 0;
};

// Text of a phantom clip in the project file: "*w*h*pf*frames*rate*scale*".
std::string FormatPhantom(const TPhantomClip &clip);
// Reads both forms (the older one has a decimal frame rate as fifth field); false when
// the text has no more than 5 "*"-fields or a field is malformed; `problem` (optional)
// then says which field is wrong and why.
bool ParsePhantom(const std::string &text, TPhantomClip &clip, bool &isPhantom, std::string *problem = nullptr);

class TProjectFile {
public:
    // Nothing is owned. The project is read through the editor and changed only by its
    // members; its messages go through its user interface.
    TProjectFile(TProjectEditor &editor, TProjectSources &sources);

    // Window layout: filled from [Arrange] when a project is loaded, written back on
    // saving; without it [Arrange] is neither read nor written.
    void SetArrange(TProjectArrange *arrange) { FArrange = arrange; }
    // Asked by Save for a file name when the project has none (a save dialog); empty
    // or unset means cancelled.
    void SetChooseFileName(std::function<std::string()> choose) { FChooseFileName = std::move(choose); }

    // Loads `fileName` (extension .tsp in any case, else false and nothing happens).
    // Relative media paths resolve against the project's folder; a medium not found
    // is tried once more by its file name alone in that folder. On failure the
    // project is empty. Problems are reported through the user interface.
    bool LoadProject(const std::string &fileName, bool fromUser = true);
    // Writes every key (in one replacement of the file); false with an error message
    // naming the file when it cannot be written. An empty name does nothing.
    bool SaveProject(const std::string &fileName);
    // Save: to the project's file when it has one and it exists, else through the
    // file-name chooser. True when saved.
    bool Save();
    // When changed (and saving is possible) asks "Save changes ?"; false = cancelled.
    bool AskSaveChanges();
    // Asks, then loads the saved version again; true when reverted.
    bool Revert();

    // True (after showing the ErrOvwSrc message) when `resultName` names a file of
    // one of the sources: the same device and inode, or, for a result that does not
    // exist yet, the same path after resolving links and relative spellings.
    bool IsSourceFile(const std::string &resultName) const;

private:
    bool OpenSource(TSourceRole role, const std::string &fileList, const std::string &kind);
    bool LoadMedia(const TIniFile &ini);
    void LoadMarkers(const TIniFile &ini, bool &markersBad, bool &chaptersBad);
    void LoadConfig(const TIniFile &ini, bool success);
    void ReadArrange(const TIniFile &ini);
    // Resampling and CrossFadeMs of [Config] into o (absent: sample copy, no fade).
    static void LoadMixing(const TIniFile &ini, TProjectOptions &o);

    TProjectEditor &FEditor;
    const TProject &FProject;
    TProjectSources &FSources;
    TProjectArrange *FArrange = nullptr;
    std::function<std::string()> FChooseFileName;
    std::string FFolder;   // folder of the project being loaded
};

} // namespace tessaly
