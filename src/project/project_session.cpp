// TProjectSession: opens with their messages and the project file's access to the media.
#include "project/project_session.h"

#include "platform/file_system.h"
#include "platform/text_util.h"
#include "project/window_texts.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

TProjectSession::TProjectSession(TUserInterface *ui, const TProjectDefaults &defaults)
    : FUi(ui), FProject(ui, &FSources), FEditor(FProject, this), FFile(FEditor, *this)
{
    FFile.SetArrange(&FArrange);
    FEditor.StartNew(defaults, FProject.Options().MarkerDrawSize);
    // First observer: the window's refresh after a change sees the mutes released.
    FProject.AddObserver(this);
}

void TProjectSession::ProjectChanged(unsigned changes)
{
    if (!(changes & pcMedia))
        return;
    const bool audio = FProject.HasVideo() && FProject.HasAudio();
    MutePrimary = MutePrimary && audio;
    MuteDouble = MuteDouble && audio && FProject.HasDouble();
}

TProjectSession::~TProjectSession()
{
    FProject.RemoveObserver(this);
    // The sources close with the session; the project must not reach them on the way.
    FProject.SetMedia(nullptr);
}

void TProjectSession::SetUserInterface(TUserInterface *ui)
{
    FUi = ui;
    FProject.SetUserInterface(ui);
}

bool TProjectSession::NewProject()
{
    if (!AskSaveChanges())
        return false;
    FEditor.StartNew(FProject.Defaults(), FProject.Options().MarkerDrawSize);
    return true;
}

bool TProjectSession::OpenProject(const std::string &fileName)
{
    return AskSaveChanges() && LoadProject(fileName, true);
}

void TProjectSession::CloseSource(TSourceRole role)
{
    FSources.Close(role);
    FEditor.MediaChanged();
}

TMediaError TProjectSession::Open(TSourceRole role, const std::string &fileList, const std::string &kind)
{
    if ((role == srAudio || role == srDouble) && TrimText(fileList, kFieldBlanks).empty()) {
        FSources.Close(role);
        return meOk;
    }
    return FSources.Open(role, fileList, kind);
}

bool TProjectSession::OpenSource(TSourceRole role, const std::string &fileList, const std::string &kind,
                                 bool *reset, bool *asked)
{
    std::string list = TrimText(fileList, kFieldBlanks);
    // The first field is a file name or a template; resolve it, keep the parts.
    size_t bar = list.find('|');
    std::string first = list.substr(0, bar);
    if (!first.empty())
        list = ExpandFileName(first) + (bar == std::string::npos ? std::string() : list.substr(bar));
    TMediaError code = list.empty() ? meParam : FSources.Open(role, list, kind);
    if (role == srVideo) {
        bool wasReset = FEditor.VideoOpened(asked);
        if (reset)
            *reset = wasReset;
    } else if (role == srAudio) {
        FEditor.AudioOpened();
    }
    FEditor.MediaChanged();
    if (code == meOk)
        return true;
    if (FUi) {
        // A segmented source is named by its first file, as the user spelled it.
        std::string lead = OpenErrorLead(role, TrimText(fileList, kFieldBlanks));
        FUi->Error(TranslatedErrorSentence(lead, code, FSources.Problem(role)));
    }
    return false;
}

bool TProjectSession::OpenPhantomClip(const TPhantomClip &clip)
{
    TMediaError code = FSources.OpenPhantom(clip);
    FEditor.VideoOpened();
    if (code != meOk && FUi)
        FUi->Error(TranslatedErrorSentence(Msg("ErrOpenDum"), code));
    return code == meOk;
}

} // namespace tessaly
