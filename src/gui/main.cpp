// The window program `tessaly`: starts Qt and hands over to the window start-up.
#include <QApplication>

#include "gui/window_startup.h"

int main(int argc, char **argv)
{
    // The GStreamer back end of Qt Multimedia: the preview loops and needs no audio device.
    qputenv("QT_MEDIA_BACKEND", "gstreamer");
    QApplication app(argc, argv);
    return tessaly::gui::RunWindowProgram(app);
}
