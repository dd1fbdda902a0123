// The Calculate command of the window (F9, "Start calculation ...", the "Calculate"
// button): the save dialog for the result, the stored folder and file type, then the
// core's rendering of the result under the progress window.
#pragma once

#include <string>
#include <vector>

#include "gui/window_dialogs.h"
#include "project/render.h"

class QWidget;

namespace tessaly {
class TProjectSession;
class TSettings;
} // namespace tessaly

namespace tessaly::gui {


// What one Calculate run did.
struct TCalculateRun {
    TCalcOutcome Outcome = coCancelled;   // coCancelled also when the dialog was cancelled
    std::string Target;                   // the result name used ("" when cancelled)
    std::vector<std::string> Files;       // every file written (chapter files in order)
};

// The save dialog's request: title "Save file as", the WAV and AVI filters, the folder
// of setting ResDir with the project's name (without folder and extension), the filter
// of setting ResFmt.
TFileRequest CalculateFileRequest(const TProjectSession &session, const TSettings &settings);

// Runs the command: asks for the file through `dialogs`, stores the folder and type,
// renders with the progress window over `owner` (disabled meanwhile). Messages go
// through the session's user interface.
TCalculateRun RunCalculate(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *owner);

} // namespace tessaly::gui
