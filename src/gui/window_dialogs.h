// TWindowDialogs: everything the main window asks the user, as one interface over the
// core's user-interface interface: the core's messages and questions plus the window's
// own dialogs (file choice, number questions, phantom clip), so tests answer them all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/input/wave_choose.h"
#include "project/media_open.h"
#include "project/project_sources.h"
#include "shell/user_interface.h"

namespace tessaly::gui {

// A file-open or file-save dialog request: title, first folder, filter entries with the
// one preselected (no entries: the project file filter).
struct TFileRequest {
    std::string Title;
    std::string Folder;
    std::vector<TChooseFilter> Filters;
    int Preselected = 0;
    bool Save = false;
    bool ConfirmOverwrite = true;   // a save dialog asks before an existing file is chosen
};

// The answer: the file and the filter entry chosen.
struct TFileAnswer {
    std::string FileName;
    int Filter = 0;
};

class TWindowDialogs : public TUserInterface {
public:
    // A file dialog; false when cancelled.
    virtual bool ChooseFile(const TFileRequest &request, TFileAnswer &answer) = 0;
    // A one-line question (Go to frame, Set view offset) started with `value`; false
    // when cancelled.
    virtual bool AskText(const std::string &caption, const std::string &prompt, std::string &value) = 0;
    // The phantom clip dialog, started with `values`; false when cancelled.
    virtual bool AskPhantomClip(TPhantomValues &values) = 0;
};

} // namespace tessaly::gui
