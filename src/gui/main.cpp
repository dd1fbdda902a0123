// The window program `tessaly`: starts Qt and hands over to the window start-up.
#include <QApplication>

#include "gui/window_startup.h"

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    return tessaly::gui::RunWindowProgram(app);
}
