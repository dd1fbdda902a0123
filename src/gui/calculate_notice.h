// The notice after a Calculate run: where the result went, with the choice to open the
// folder that holds it in the desktop's file manager.
#pragma once

#include <functional>
#include <string>

#include "gui/calculate_command.h"

namespace tessaly::gui {

// Says that `run` is done (nothing for a cancelled, aborted or failed run: those spoke
// for themselves) and asks through `dialogs` whether to open the result's folder;
// `openFolder` opens it (the desktop's file manager in the program, a recorder in tests).
// True when the folder was opened.
bool NoticeCalculateDone(const TCalculateRun &run, TWindowDialogs &dialogs,
                         const std::function<bool(const std::string &folder)> &openFolder);

// Opens a folder in the desktop's file manager; false when nothing could open it.
bool OpenFolderOnDesktop(const std::string &folder);

} // namespace tessaly::gui
