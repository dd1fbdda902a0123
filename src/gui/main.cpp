// The window program `tessaly`: answers --version, hands its arguments to a running copy,
// builds the application context, starts Qt and hands over to the window start-up.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "gui/help_window.h"
#include "gui/window_startup.h"
#include "project/session_lifecycle.h"
#include "shell/app_context.h"
#include "shell/one_instance.h"

int main(int argc, char **argv)
{
    // Needs no display: answered before anything else starts.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessaly %s\n", tessaly::gui::ProgramVersion());
        return 0;
    }
    // A second start hands its arguments to the running copy and ends without a window.
    // The running copy may work in another folder: it gets absolute file names.
    char folder[4096];
    const std::vector<std::string> args = tessaly::AbsoluteArguments(
        std::vector<std::string>(argv + 1, argv + argc), getcwd(folder, sizeof folder) ? folder : "");
    tessaly::TOneInstance instance;
    if (instance.Start(args) == tessaly::irHandedOver)
        return 0;
    // Settings, language, plug-ins and the defaults of a new project, before any window.
    tessaly::TAppContext context;
    // The GStreamer back end of Qt Multimedia: the preview loops and needs no audio device.
    qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    return tessaly::gui::RunWindowProgram(app, context, instance);
}
