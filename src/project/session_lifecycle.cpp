// Start-up and closing steps of the session.
#include "project/session_lifecycle.h"

#include <cstdio>

#include "platform/file_system.h"
#include "project/project_session.h"
#include "shell/language.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly {

TWindowSettings StartSession(TProjectSession &session, TSettings &settings, const std::vector<std::string> &args)
{
    const std::string languageFile = settings.LanguageFile();
    if (!languageFile.empty() && FileExists(languageFile))
        LoadLanguageFile(languageFile);
    TWindowSettings w;
    w.Language = settings.LanguageName();
    if (!w.Language.empty())
        SelectLanguage(w.Language);
    w.Language = CurrentLanguage();
    w.ShowHints = settings.ShowHints();
    w.ShowFileman = settings.ShowFileman();
    w.ShowStatus = settings.ShowStatus();
    w.MarkerDrawSize = settings.MarkerDrawSize();
    w.PreviewEnv = settings.PreviewEnv();

    TProject &project = session.Project();
    TProjectDefaults defaults;
    defaults.UseGlobalShift = settings.UseDefGlobShift();
    defaults.GlobalShift = settings.PreviewOffset();
    defaults.PreviewEnv = w.PreviewEnv;
    project.SetDefaults(defaults);
    project.ClearProject();
    TProjectOptions o = project.Options();
    o.PreviewEnv = w.PreviewEnv;
    o.MarkerDrawSize = w.MarkerDrawSize;
    project.SetOptions(o);
    if (!args.empty() && !args.front().empty())
        session.LoadProject(args.front(), true);
    return w;
}

bool CloseSession(TProjectSession &session, TSettings &settings, const TWindowSettings &w, bool previewRunning,
                  bool previewAvailable)
{
    if (previewRunning || !session.AskSaveChanges())
        return false;
    try {
        if (previewAvailable)
            settings.SetPreviewEnv(w.PreviewEnv);
        settings.SetShowHints(w.ShowHints);
        settings.SetLanguageName(w.Language);
        settings.SetShowFileman(w.ShowFileman);
        settings.SetShowStatus(w.ShowStatus);
        settings.SetMarkerDrawSize(w.MarkerDrawSize);
    } catch (const ESettingsWriteError &e) {
        if (TUserInterface *ui = session.UserInterface())
            ui->Error(e.what());
    }
    // The preview file lives in a private folder that the window's preview removes; a
    // file at the fixed name in the shared temporary folder may belong to anybody and
    // is left alone.
    session.Sources().CloseAll();
    session.Project().VideoOpened();   // the project now has no media
    return true;
}

} // namespace tessaly
