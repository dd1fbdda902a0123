// The Calculate command: file dialog, stored choices, rendering with the progress window.
#include "gui/calculate_command.h"

#include <QCloseEvent>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include "gui/gauge_form.h"
#include "gui/window_dialogs.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/render_container.h"
#include "project/result_choice.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaly::gui {

namespace {

// While a render runs, closing the owner window aborts the render instead: the run ends
// through its own abort path (no half result is kept under the target name), and the
// window is closed again once the run is over.
class TCloseDuringRender : public QObject {
public:
    explicit TCloseDuringRender(QWidget *owner) : FOwner(owner)
    {
        if (owner)
            owner->installEventFilter(this);
    }
    ~TCloseDuringRender() override
    {
        if (FOwner)
            FOwner->removeEventFilter(this);
    }
    // Closes the owner (queued) when a close was asked during the run.
    void CloseIfAsked()
    {
        if (FAsked && FOwner)
            QMetaObject::invokeMethod(FOwner, "close", Qt::QueuedConnection);
    }
    bool CloseAsked() const { return FAsked; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == FOwner && event->type() == QEvent::Close) {
            FAsked = true;
            if (TGaugeForm *form = CurrentProgress())
                form->SetAborted(true);
            event->ignore();
            return true;
        }
        return false;
    }

private:
    QPointer<QWidget> FOwner;
    bool FAsked = false;
};

} // namespace

TFileRequest CalculateFileRequest(const TProjectSession &session, const TSettings &settings)
{
    TFileRequest request;
    request.Title = Msg("CapSaveAs");
    request.Save = true;
    request.ConfirmOverwrite = false;   // asked about the name the chosen type gives
    for (const TResultType &type : ResultTypes())
        request.Filters.push_back(TChooseFilter{type.Label, type.Patterns, ksAuto, -1, {}});
    const TResultProposal proposal = ProposeResult(session, settings);
    request.Folder = proposal.Path;
    request.Preselected = proposal.Type;
    return request;
}

TCalculateRun RunCalculate(TProjectSession &session, TSettings &settings, TWindowDialogs &dialogs, QWidget *owner)
{
    TCalculateRun run;
    TFileAnswer answer;
    if (!dialogs.ChooseFile(CalculateFileRequest(session, settings), answer) || answer.FileName.empty())
        return run;
    const std::vector<TResultType> types = ResultTypes();
    const int type = answer.Filter >= 0 && answer.Filter < int(types.size()) ? answer.Filter : 0;
    TLavfResultOptions result;
    result.Container = types[size_t(type)].Container;
    result.AudioCodec = StoredAudioCodec(settings);
    const std::string name = ResultFileName(answer.FileName, type);
    if (result.Container != rcWave && !(result.Container == rcAvi && UsesOwnAviWriter(session))) {
        // The new track's codec, kept for the next run.
        std::string codec = ResultAudioCodecName(result.AudioCodec);
        if (!dialogs.AskText(Msg("CapAudioCodec"),
                             Msg("MsgAudioCodec"),
                             codec))
            return run;
        if (!ParseResultAudioCodec(codec, result.AudioCodec)) {
            dialogs.Error(FormatText(Msg("ErrAudioCodec"), {codec}));
            return run;
        }
    }
    if (!ConfirmReplaceResult(&dialogs, name))
        return run;
    try {
        settings.SetFolder(fkRes, ExtractFilePath(name));
        settings.SetResFmt(type + 1);
        if (result.Container != rcWave)
            StoreAudioCodec(settings, result.AudioCodec);
    } catch (const ESettingsWriteError &e) {
        dialogs.Error(e.what());   // the render still runs; only the choices are not kept
    }
    TCloseDuringRender closeGuard(owner);
    TQtProgress progress(owner);
    run.Outcome = CalculateAnyResult(session, &progress, name, result, settings.SRWarnOnCalc(), &run.Target,
                                     &run.Files);
    CloseProgress();   // a run that failed early may have left it open
    run.CloseAsked = closeGuard.CloseAsked();
    closeGuard.CloseIfAsked();
    return run;
}

} // namespace tessaly::gui
