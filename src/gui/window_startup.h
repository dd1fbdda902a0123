// The start of the window program: the main window over the application context, the
// project named on the command line, hand-overs from later starts, the event loop, and
// the closing steps.
#pragma once

class QApplication;

namespace tessaly {
class TAppContext;
class TOneInstance;
} // namespace tessaly

namespace tessaly::gui {

// Runs the program until the main window closes; returns the exit status. `instance`:
// when it is the first copy, later starts hand their arguments over to this window.
int RunWindowProgram(QApplication &app, TAppContext &context, TOneInstance &instance);

class TMainForm;
// For a first copy: each hand-over of a later start brings `window` to the front and
// opens the first argument as a project (after the question to save changes).
void WatchHandOvers(TOneInstance &instance, TMainForm &window);

} // namespace tessaly::gui
