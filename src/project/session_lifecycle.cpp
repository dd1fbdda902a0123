// Start-up and closing steps of the session.
#include "project/session_lifecycle.h"

#include <cctype>
#include <cstdio>
#include <fstream>

#include "platform/file_system.h"
#include "project/project_file.h"
#include "project/project_session.h"
#include "shell/app_context.h"
#include "shell/language.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

// False, with the message, when the project file is missing or not a regular file.
bool ProjectFileExists(TProjectSession &session, const std::string &fileName)
{
    const std::string problem = ProjectFileProblem(fileName);
    if (problem.empty())
        return true;
    if (TUserInterface *ui = session.UserInterface())
        ui->Error(problem);
    return false;
}

} // namespace

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
    if (!ParseWindowRect(settings.ReadString("Current", "MainWindow", ""), w.MainWindow))
        w.MainWindow = {};
    w.Docks = settings.ReadString("Current", "Docks", "");
    if (!DockRecordValid(w.Docks))
        w.Docks.clear();

    // The same defaults as every front-end's new project, the mixing choices included.
    TProjectDefaults defaults = ProjectDefaultsOf(settings);
    defaults.PreviewEnv = w.PreviewEnv;
    session.Editor().StartNew(defaults, w.MarkerDrawSize);
    if (!args.empty() && !args.front().empty() && ProjectFileExists(session, args.front()))
        session.LoadProject(args.front(), true);
    return w;
}

bool OpenProjectFile(TProjectSession &session, const std::string &fileName)
{
    return ProjectFileExists(session, fileName) && session.OpenProject(fileName);
}

std::vector<std::string> RecentProjects(const TSettings &settings)
{
    std::vector<std::string> files;
    for (int i = 1; i <= kRecentProjects; ++i) {
        const std::string name = settings.ReadString("Recent", "File" + std::to_string(i), "");
        if (!name.empty())
            files.push_back(name);
    }
    return files;
}

void AddRecentProject(TSettings &settings, const std::string &fileName)
{
    if (fileName.empty())
        return;
    std::vector<std::string> files{fileName};
    for (const std::string &f : RecentProjects(settings))
        if (f != fileName && int(files.size()) < kRecentProjects)
            files.push_back(f);
    if (files == RecentProjects(settings))
        return;   // nothing to write
    for (int i = 1; i <= kRecentProjects; ++i)
        settings.WriteString("Recent", "File" + std::to_string(i), size_t(i) <= files.size() ? files[size_t(i - 1)] : "");
}

TDropKind DroppedFileKind(const std::string &fileName)
{
    std::string ext;
    const size_t dot = fileName.rfind('.');
    if (dot != std::string::npos && fileName.find('/', dot) == std::string::npos)
        for (char c : fileName.substr(dot + 1))
            ext += char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "tsp")
        return dkProject;
    static const char *const audio[] = {"wav", "w64", "mp3", "mp2", "flac", "ogg", "oga", "opus", "m4a",
                                        "aac", "ac3", "eac3", "dts", "mka", "aif", "aiff", "wma"};
    for (const char *a : audio)
        if (ext == a)
            return dkAudio;
    // A project under another name: an ini file's first line is a section. Anything but
    // a regular file (a pipe is not opened) goes to the video open, which names it.
    if (CheckMediaPath(fileName) != meOk)
        return dkVideo;
    std::ifstream in(fileName, std::ios::binary);
    char first = 0;
    while (in.get(first) && (first == ' ' || first == '\t' || first == '\r' || first == '\n' ||
                             static_cast<unsigned char>(first) == 0xEF || static_cast<unsigned char>(first) == 0xBB ||
                             static_cast<unsigned char>(first) == 0xBF)) {
    }
    return in && first == '[' ? dkProject : dkVideo;
}

std::vector<std::string> AbsoluteArguments(const std::vector<std::string> &args, const std::string &folder)
{
    std::vector<std::string> out;
    for (const std::string &arg : args) {
        if (arg.empty() || arg[0] == '-' || arg[0] == '/' || folder.empty())
            out.push_back(arg);
        else
            out.push_back(folder + (folder.back() == '/' ? "" : "/") + arg);
    }
    return out;
}

bool DockRecordValid(const std::string &hex)
{
    if (hex.size() % 2 != 0 || hex.size() > 2 * 65536)
        return false;
    for (char c : hex)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
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
        if (w.MainWindow.Width > 0 && w.MainWindow.Height > 0)
            settings.WriteString("Current", "MainWindow", FormatWindowRect(w.MainWindow));
        if (DockRecordValid(w.Docks) && !w.Docks.empty())
            settings.WriteString("Current", "Docks", w.Docks);
    } catch (const ESettingsWriteError &e) {
        if (TUserInterface *ui = session.UserInterface())
            ui->Error(e.what());
    }
    // The preview file lives in a private folder that the window's preview removes; a
    // file at the fixed name in the shared temporary folder may belong to anybody and
    // is left alone.
    session.Sources().CloseAll();
    session.Editor().VideoOpened();   // the project now has no media
    return true;
}

} // namespace tessaly
