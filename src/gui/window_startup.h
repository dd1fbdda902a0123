// The start of the window program: settings, language and plug-ins, the main window, the
// project named on the command line, the event loop, and the closing steps.
#pragma once

class QApplication;

namespace tessaly::gui {

// Runs the program until the main window closes; returns the exit status.
int RunWindowProgram(QApplication &app);

} // namespace tessaly::gui
