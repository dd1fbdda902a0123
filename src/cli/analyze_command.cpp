// The `analyze` command: the eight rows of the analysis grid and the statistics of the
// deactivated spline markers of a project file.
#include "cli/analyze_command.h"

#include <cstdio>
#include <ostream>

#include "cli/console_ui.h"
#include "project/analysis.h"
#include "project/project_session.h"
#include "shell/app_context.h"
#include "shell/console_progress.h"
#include "shell/messages.h"

namespace tessaly::cli {

namespace {

std::string Pad(const std::string &s, size_t width, bool right)
{
    if (s.size() >= width)
        return s;
    return right ? std::string(width - s.size(), ' ') + s : s + std::string(width - s.size(), ' ');
}

} // namespace

int RunAnalyze(const TAppContext &context, const std::vector<std::string> &args, std::ostream &out,
               std::ostream &err)
{
    std::string projectName;
    for (const std::string &a : args) {
        if (a == "--help" || a == "-h") {
            out << "usage: tessaly-cli analyze PROJECT.tsp\n"
                   "Loads the project and prints the rows of the project analysis (label, value,\n"
                   "frame) and the statistics of the deactivated spline markers.\n";
            return 0;
        }
        if (!a.empty() && a[0] == '-') {
            err << "tessaly-cli analyze: unknown option \"" << a << "\" (see --help)\n";
            return 2;
        }
        if (!projectName.empty()) {
            err << "tessaly-cli analyze: one project file expected (see --help)\n";
            return 2;
        }
        projectName = a;
    }
    if (projectName.empty()) {
        err << "tessaly-cli analyze: a project file is needed (see --help)\n";
        return 2;
    }

    // A folder or a pipe is named as such (and a pipe is not opened).
    if (CheckMediaPath(projectName) != meOk) {
        err << "error: " << ProjectFileProblem(projectName) << "\n";
        return 1;
    }

    // Loaded through the same session as render and the window: the same media opens,
    // the same refusals.
    TConsoleUserInterface ui;
    TProjectSession session(&ui, context.ProjectDefaults());
    const TProject &project = session.Project();
    if (!session.LoadProject(projectName, true)) {
        if (ui.ErrorCount() == 0)
            err << "error: cannot load the project \"" << projectName << "\" (a .tsp file is expected)\n";
        return 1;
    }
    if (ui.ErrorCount() > 0)
        return 1;   // entries were lost on loading: the analysis would not be the saved project's
    if (!project.HasAudio()) {
        ui.Error(Msg("ErrNoAudio"));   // as Calculate: analysis needs the audio track
        return 1;
    }
    TConsoleProgress progress;
    TConsoleProgress::InstallInterruptHandler();
    TAnalysisResult result;
    if (!AnalyzeProject(project, &progress, result)) {
        err << "aborted\n";
        return 1;
    }
    for (const TAnalysisRow &row : AnalysisRows(result))
        out << Pad(row.Label, 32, false) << Pad(row.Value, 16, true) << Pad(row.Frame, 10, true) << "\n";
    const TDeactivatedStats &st = project.DeactivatedStats();
    out << "Deactivated markers: " << st.Count;
    if (st.Frame >= 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(st.Error));
        out << ", largest deviation " << buf << " at frame " << st.Frame;
    }
    out << "\n";
    return 0;
}

} // namespace tessaly::cli
