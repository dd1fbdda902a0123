// The start of the window program.
#include "gui/window_startup.h"

#include <QApplication>
#include <QStringList>

#include "gui/main_window.h"
#include "gui/qt_dialogs.h"
#include "gui/qt_text.h"
#include "media/input/vfapi_host.h"
#include "project/project_session.h"
#include "shell/language_setup.h"
#include "shell/settings.h"

namespace tessaly::gui {

int RunWindowProgram(QApplication &app)
{
    app.setApplicationName(QStringLiteral("Tessaly"));
    TSettings settings;
    SetUpLanguage(settings);
    LoadPlugins();   // the reader plug-ins beside the program
    int status = 0;
    {
        TQtDialogs dialogs;
        TProjectSession session(&dialogs);
        TMainForm window(session, settings, dialogs);
        dialogs.SetParent(&window);
        std::vector<std::string> args;
        const QStringList arguments = app.arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i)
            args.push_back(S(arguments[i]));
        window.Start(args);
        window.show();
        status = app.exec();
    }
    UnloadPlugins();
    return status;
}

} // namespace tessaly::gui
