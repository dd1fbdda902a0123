// TProjectSession: sources, opens with their messages, the project file's access to them.
#include "project/project_session.h"

#include "platform/file_system.h"
#include "project/project_text.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

// The first file of a file list: a single name, or the template with its first part.
std::string FirstFile(const std::string &fileList)
{
    std::string list = TrimField(fileList);
    size_t bar = list.find('|');
    if (bar == std::string::npos)
        return list;
    std::string tmpl = TrimField(list.substr(0, bar));
    std::string rest = list.substr(bar + 1);
    std::string part = TrimField(rest.substr(0, rest.find('|')));
    size_t star = tmpl.find('*');
    return star == std::string::npos ? tmpl : tmpl.substr(0, star) + part + tmpl.substr(star + 1);
}

} // namespace

TProjectSession::TProjectSession(TUserInterface *ui) : FUi(ui), FProject(ui, this), FFile(FProject, *this)
{
    FFile.SetArrange(&FArrange);
}

TProjectSession::~TProjectSession()
{
    // The project's media pointer refers to this object: detach before members go.
    FProject.SetMedia(nullptr);
}

void TProjectSession::SetUserInterface(TUserInterface *ui)
{
    FUi = ui;
    FProject.SetUserInterface(ui);
}

TMediaError TProjectSession::Open(TSourceRole role, const std::string &fileList, const std::string &kind)
{
    (void)kind; // the system media path serves every kind until the front-ends take over
    std::string first = FirstFile(fileList);
    std::string name = first.empty() ? first : ExpandFileName(first);
    TMediaError error = meOk;
    switch (role) {
    case srVideo:
        FVideo = OpenSessionVideo(name, error);
        break;
    case srReference:
        FReference = OpenSessionVideo(name, error);
        break;
    case srAudio:
    case srDouble: {
        std::unique_ptr<TSessionAudio> &slot = role == srAudio ? FAudio : FDouble;
        slot.reset();
        // An empty audio entry is a project without that track (saved that way).
        if (first.empty())
            return meOk;
        slot = OpenSessionAudio(name, error);
        break;
    }
    }
    if (error == meOk && role == srVideo && !FVideo)
        error = meUnknown;
    return error;
}

TMediaError TProjectSession::OpenPhantom(const TPhantomClip &clip)
{
    TMediaError error = meOk;
    FVideo = OpenPhantomVideo(clip.Width, clip.Height, clip.Frames, clip.Scale, clip.Rate, clip.PixelFormat, error);
    if (FVideo)
        FPhantom = clip;
    return FVideo ? meOk : (error == meOk ? meUnknown : error);
}

std::string TProjectSession::FileList(TSourceRole role) const
{
    switch (role) {
    case srVideo: return FVideo && !FVideo->IsPhantom() ? FVideo->FileList() : std::string();
    case srAudio: return FAudio ? FAudio->FileList() : std::string();
    case srDouble: return FDouble ? FDouble->FileList() : std::string();
    case srReference: return FReference ? FReference->FileList() : std::string();
    }
    return {};
}

std::string TProjectSession::KindString(TSourceRole role) const
{
    switch (role) {
    case srVideo: return FVideo ? FVideo->KindString() : std::string();
    case srAudio: return FAudio ? FAudio->KindString() : std::string();
    case srDouble: return FDouble ? FDouble->KindString() : std::string();
    case srReference: return FReference ? FReference->KindString() : std::string();
    }
    return {};
}

bool TProjectSession::Phantom(TPhantomClip &clip) const
{
    if (!FVideo || !FVideo->IsPhantom())
        return false;
    clip = FPhantom;
    return true;
}

std::vector<std::string> TProjectSession::Files(TSourceRole role) const
{
    switch (role) {
    case srVideo: return FVideo ? FVideo->Files() : std::vector<std::string>();
    case srAudio: return FAudio ? FAudio->Files() : std::vector<std::string>();
    case srDouble: return FDouble ? FDouble->Files() : std::vector<std::string>();
    case srReference: return FReference ? FReference->Files() : std::vector<std::string>();
    }
    return {};
}

void TProjectSession::ShowOpenError(const char *key, const char *english, const std::string &fileList) const
{
    if (!FUi)
        return;
    std::string lead = FormatText(ProjectText(key, english), {FirstFile(fileList)});
    FUi->Error(TranslatedErrorSentence(lead, FLastError));
}

bool TProjectSession::OpenVideo(const std::string &fileList, const std::string &kind, bool showError)
{
    FLastError = Open(srVideo, fileList, kind);
    if (FLastError != meOk)
        FVideo.reset();
    FProject.VideoOpened();
    if (FLastError != meOk && showError)
        ShowOpenError("ErrOpenVid", "Error opening video file:\r\n\"%s\"", fileList);
    return FLastError == meOk;
}

bool TProjectSession::OpenPhantom(int32_t width, int32_t height, int32_t pixelFormat, int32_t frames,
                                  int32_t rate, int32_t scale, bool showError)
{
    TPhantomClip clip;
    clip.Width = width;
    clip.Height = height;
    clip.PixelFormat = pixelFormat;
    clip.Frames = frames;
    clip.Rate = rate;
    clip.Scale = scale;
    FLastError = OpenPhantom(clip);
    FProject.VideoOpened();
    if (FLastError != meOk && showError && FUi)
        FUi->Error(TranslatedErrorSentence(ProjectText("ErrOpenDum", "Error creating phantom clip."), FLastError));
    return FLastError == meOk;
}

bool TProjectSession::OpenAudio(const std::string &fileList, const std::string &kind, bool showError)
{
    FLastError = TrimField(fileList).empty() ? meParam : Open(srAudio, fileList, kind);
    FProject.AudioOpened();
    if (FLastError != meOk && showError)
        ShowOpenError("ErrOpenAud", "Error opening audio file:\r\n\"%s\"", fileList);
    return FLastError == meOk;
}

bool TProjectSession::OpenDouble(const std::string &fileList, const std::string &kind, bool showError)
{
    FLastError = TrimField(fileList).empty() ? meParam : Open(srDouble, fileList, kind);
    if (FLastError != meOk && showError)
        ShowOpenError("ErrOpenDbl", "Error opening double audio file:\r\n\"%s\"", fileList);
    return FLastError == meOk;
}

bool TProjectSession::OpenReference(const std::string &fileList, const std::string &kind, bool showError)
{
    FLastError = Open(srReference, fileList, kind);
    if (FLastError != meOk)
        FReference.reset();
    if (FLastError != meOk && showError)
        ShowOpenError("ErrOpenRef", "Error opening reference video file:\r\n\"%s\"", fileList);
    return FLastError == meOk;
}

void TProjectSession::CloseAudio() { FAudio.reset(); }
void TProjectSession::CloseDouble() { FDouble.reset(); }
void TProjectSession::CloseReference() { FReference.reset(); }

std::string TProjectSession::VideoFileName() const
{
    if (!FVideo)
        return {};
    return FVideo->IsPhantom() ? FormatPhantom(FPhantom) : FVideo->FileList();
}

int32_t TProjectSession::VideoFrameCount() const { return FVideo ? FVideo->FrameCount() : 0; }
int32_t TProjectSession::VideoRate() const { return FVideo ? FVideo->Rate() : -1; }
int32_t TProjectSession::VideoScale() const { return FVideo ? FVideo->Scale() : 1; }

uint32_t TProjectSession::AudioSampleRate() const { return FAudio ? FAudio->SampleRate() : 0; }

void TProjectSession::CloseAll()
{
    FVideo.reset();
    FAudio.reset();
    FDouble.reset();
    FReference.reset();
}

std::string TProjectSession::VideoText() const { return VideoFileName(); }

std::vector<std::string> TProjectSession::SourceFiles() const
{
    std::vector<std::string> files;
    for (TSourceRole role : {srVideo, srAudio, srDouble, srReference}) {
        std::vector<std::string> more = Files(role);
        files.insert(files.end(), more.begin(), more.end());
    }
    return files;
}

} // namespace tessaly
