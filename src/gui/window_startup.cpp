// The start of the window program.
#include "gui/window_startup.h"

#include <QAction>
#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include "gui/action_registry.h"
#include "gui/gauge_form.h"
#include "gui/main_window.h"
#include "gui/qt_dialogs.h"
#include "gui/qt_text.h"
#include "project/project_session.h"
#include "shell/app_context.h"
#include "shell/one_instance.h"
#include "shell/settings.h"

namespace tessaly::gui {

namespace {

// Opens a handed-over project once the window is free: never in the middle of a render,
// an analysis, a dialog or a running preview (their nested event loops also deliver the
// hand-over), so it waits for them to end.
void LoadWhenFree(TMainForm &window, const std::string &file)
{
    window.RefreshAll();   // the enables as they are now
    const bool free = !QApplication::activeModalWidget() && !CurrentProgress() &&
                      window.Actions().Action(cmFileOpen)->isEnabled();
    if (!free) {
        QTimer::singleShot(250, &window, [&window, file] { LoadWhenFree(window, file); });
        return;
    }
    window.LoadProjectFile(file);
}

// A later start handed its arguments over: the window comes to the front and the first
// argument is opened as a project (after the question to save changes).
void TakeHandOver(TOneInstance &instance, TMainForm &window)
{
    std::vector<std::string> params;
    if (!instance.ReceiveHandOver(params))
        return;
    if (window.isMinimized())
        window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
    if (!params.empty() && !params.front().empty())
        LoadWhenFree(window, params.front());
}

} // namespace

void WatchHandOvers(TOneInstance &instance, TMainForm &window)
{
    if (!instance.IsFirst() || instance.NotifyFd() < 0)
        return;
    auto *notifier = new QSocketNotifier(instance.NotifyFd(), QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window,
                     [&instance, &window] { TakeHandOver(instance, window); });
}

int RunWindowProgram(QApplication &app, TAppContext &context, TOneInstance &instance)
{
    app.setApplicationName(QStringLiteral("Tessaly"));
    TSettings &settings = context.Settings();
    int status = 0;
    {
        TQtDialogs dialogs;
        TProjectSession session(&dialogs, context.ProjectDefaults());
        TMainForm window(session, settings, dialogs);
        dialogs.SetParent(&window);
        std::vector<std::string> args;
        const QStringList arguments = app.arguments();
        for (qsizetype i = 1; i < arguments.size(); ++i)
            args.push_back(S(arguments[i]));
        window.Start(args);
        window.show();
        WatchHandOvers(instance, window);
        status = app.exec();
    }
    // The language chosen in the window is the one of the next start.
    try {
        context.StoreLanguage();
    } catch (const ESettingsWriteError &) {
        // Reported by the closing steps already (they store the language too).
    }
    return status;
}

} // namespace tessaly::gui
