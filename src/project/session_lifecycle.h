// Start-up and closing of the main window's session: the window settings of section
// Current, the language, the project defaults and the project named on the command
// line; on closing the save question, the settings written back and the temporary
// preview file deleted.
#pragma once

#include <string>
#include <vector>

#include "project/tool_window_rules.h"

namespace tessaly {

class TProjectSession;
class TSettings;

// The window state kept in the settings (section Current).
struct TWindowSettings {
    bool ShowHints = true;
    bool ShowFileman = true;
    bool ShowStatus = true;
    int MarkerDrawSize = 1;       // 1 .. 3
    std::string Language;         // the selected language ("" when none)
    std::string PreviewEnv = "2"; // the preview range field
    TWindowRect MainWindow;       // the main window's last place, without its frame (Width 0: none)
    std::string Docks;            // where the tool windows were docked: the window's own
                                  // record as lower-case hex digits ("" when none)
};

// A dock record as stored: an even number of lower-case hex digits, at most 64 KB of
// record; anything else reads as "" (the tool windows then take their first places).
bool DockRecordValid(const std::string &hex);

// Start-up: the language file of setting LanguageFile is loaded when it exists and the
// stored language selected; the window settings are read; the project starts empty with
// the defaults of the settings; the first argument, when given, is loaded as a project
// (its failure is reported through the user interface and leaves the empty project).
TWindowSettings StartSession(TProjectSession &session, TSettings &settings, const std::vector<std::string> &args);

// Opens a project file named by the user, a drop or a later start: a file that does not
// exist is refused with a message through the user interface before anything else, so the
// loaded project stays; otherwise the save question, then the load. False when refused,
// cancelled or failed.
bool OpenProjectFile(TProjectSession &session, const std::string &fileName);

// Command-line arguments made absolute against `folder` (the starting copy's working
// folder), so that a copy running elsewhere reads the same files; options ("-x") and
// empty arguments stay as they are.
std::vector<std::string> AbsoluteArguments(const std::vector<std::string> &args, const std::string &folder);

// The recently opened or saved projects, newest first (settings section [Recent], keys
// File1 .. File8); AddRecentProject puts a name in front, once, and keeps eight.
constexpr int kRecentProjects = 8;
std::vector<std::string> RecentProjects(const TSettings &settings);
void AddRecentProject(TSettings &settings, const std::string &fileName);

// What a file dropped on the window is opened as: a project (".tsp", or a text file
// beginning with an ini section), an audio file (by its extension: the primary track),
// anything else a video.
enum TDropKind { dkProject, dkVideo, dkAudio };
TDropKind DroppedFileKind(const std::string &fileName);

// Closing: refused (false) while a preview runs or when the save question is cancelled.
// Otherwise the window settings are stored (PreviewEnv only when the preview was
// available), the temporary preview file is deleted and the sources are closed. A
// settings file that cannot be written is reported and does not keep the window open.
bool CloseSession(TProjectSession &session, TSettings &settings, const TWindowSettings &window, bool previewRunning,
                  bool previewAvailable);

} // namespace tessaly
