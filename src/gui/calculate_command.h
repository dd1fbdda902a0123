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
    bool CloseAsked = false;              // the window was closed during the run (closed again after it)
};

// The save dialog's request: title "Save file as", the result types (WAV, AVI, Matroska,
// MP4, MOV, WebM) and the proposed name and type (ProposeResult); the dialog does not ask
// about an existing file itself: the command asks about the name the type gives.
TFileRequest CalculateFileRequest(const TProjectSession &session, const TSettings &settings);

// Runs the command: asks for the file through `dialogs` (and, for a container result,
// the new track's codec), asks before replacing an existing file, stores the folder,
// type and codec, renders with the progress window over `owner` (disabled meanwhile).
// Closing `owner` meanwhile aborts the run and closes it afterwards. Messages go through
// the session's user interface.
TCalculateRun RunCalculate(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *owner);

} // namespace tessaly::gui
