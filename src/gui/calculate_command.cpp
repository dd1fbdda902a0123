// The Calculate command: file dialog, stored choices, rendering with the progress window.
#include "gui/calculate_command.h"

#include "gui/gauge_form.h"
#include "gui/window_dialogs.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/project_text.h"
#include "shell/settings.h"

namespace tessaly::gui {

TFileRequest CalculateFileRequest(const TProjectSession &session, const TSettings &settings)
{
    TFileRequest request;
    request.Title = ProjectText("CapSaveAs", "Save file as");
    request.Save = true;
    request.Filters.push_back(TChooseFilter{ProjectText("CapWavFiles", "Wave files") + " (*.wav)", "*.wav"});
    request.Filters.push_back(TChooseFilter{ProjectText("CapAviFiles", "AVI files") + " (*.avi)", "*.avi"});
    std::string folder = settings.Folder(fkRes);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    const std::string project = session.Project().FileName();
    request.Folder = folder + (project.empty() ? std::string() : ChangeFileExt(ExtractFileName(project), ""));
    request.Preselected = settings.ResFmt() == rfAvi ? 1 : 0;
    return request;
}

TCalculateRun RunCalculate(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *owner)
{
    TCalculateRun run;
    TFileAnswer answer;
    if (!dialogs.ChooseFile(CalculateFileRequest(session, settings), answer) || answer.FileName.empty())
        return run;
    const int32_t fileType = answer.Filter == 1 ? rfAvi : rfWav;
    try {
        settings.SetFolder(fkRes, ExtractFilePath(answer.FileName));
        settings.SetResFmt(fileType);
    } catch (const ESettingsWriteError &e) {
        dialogs.Error(e.what());   // the render still runs; only the choices are not kept
    }
    TQtProgress progress(owner);
    TRenderer renderer(session, &progress);
    run.Outcome = CalculateResult(session, renderer, answer.FileName, fileType, settings.SRWarnOnCalc(), &run.Target);
    run.Files = renderer.FilesWritten();
    CloseProgress();   // a run that failed early may have left it open
    return run;
}

} // namespace tessaly::gui
