// TProjectSession: sources, opens with their messages, source protection.
#include "project/project_session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "platform/file_system.h"
#include "project/project_text.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

std::string Upper(std::string s)
{
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The file name alone: the part after the last "/" or "\" (a path written on Windows).
std::string BareName(const std::string &path)
{
    size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

// The first file of a file list: a single name, or the template with its first part.
std::string FirstFile(const std::string &fileList)
{
    std::string list = TrimText(fileList);
    size_t bar = list.find('|');
    if (bar == std::string::npos)
        return list;
    std::string tmpl = TrimText(list.substr(0, bar));
    std::string rest = list.substr(bar + 1);
    std::string part = TrimText(rest.substr(0, rest.find('|')));
    size_t star = tmpl.find('*');
    return star == std::string::npos ? tmpl : tmpl.substr(0, star) + part + tmpl.substr(star + 1);
}

// Canonical form of a path whose last part may not exist yet: the folder is resolved
// through its links, the name appended (itself resolved when it exists).
std::string CanonicalName(const std::string &path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec)
        return path;
    std::filesystem::path c = std::filesystem::weakly_canonical(p, ec);
    return ec ? p.lexically_normal().string() : c.string();
}

} // namespace

TProjectSession::TProjectSession(TUserInterface *ui) : FUi(ui), FProject(ui, this) {}

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

std::string TProjectSession::Resolve(const std::string &name) const
{
    std::string n = TrimText(name);
    if (n.empty() || n[0] == '/')
        return n;
    return ExpandFileName(FBaseDir.empty() ? n : IncludeTrailingSlash(FBaseDir) + n);
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
    (void)kind; // the system media path serves every kind until the front-ends take over
    FVideo.reset();
    FPhantomText.clear();
    std::string first = FirstFile(fileList);
    TMediaError error = meOk;
    FVideo = OpenSessionVideo(Resolve(first), error);
    // A file moved together with the project: retry by name in the project's folder.
    if (!FVideo && error == meFileNotFound && !FBaseDir.empty())
        FVideo = OpenSessionVideo(Resolve(BareName(first)), error);
    FLastError = FVideo ? meOk : (error == meOk ? meUnknown : error);
    FProject.VideoOpened();
    if (!FVideo && showError)
        ShowOpenError("ErrOpenVid", "Error opening video file:\r\n\"%s\"", fileList);
    return FVideo != nullptr;
}

bool TProjectSession::OpenPhantom(int32_t width, int32_t height, int32_t pixelFormat, int32_t frames,
                                  int32_t rate, int32_t scale, bool showError)
{
    FVideo.reset();
    TMediaError error = meOk;
    FVideo = OpenPhantomVideo(width, height, frames, scale, rate, pixelFormat, error);
    FLastError = FVideo ? meOk : (error == meOk ? meUnknown : error);
    FPhantomText = FVideo ? FormatPhantomDescriptor(width, height, pixelFormat, frames, rate, scale) : "";
    FProject.VideoOpened();
    if (!FVideo && showError && FUi)
        FUi->Error(TranslatedErrorSentence(ProjectText("ErrOpenDum", "Error creating phantom clip."), FLastError));
    return FVideo != nullptr;
}

bool TProjectSession::OpenAudioTrack(std::unique_ptr<TSessionAudio> &slot, const std::string &fileList,
                                     const std::string &kind, const char *key, const char *english,
                                     bool showError)
{
    (void)kind;
    slot.reset();
    std::string first = FirstFile(fileList);
    TMediaError error = meOk;
    slot = OpenSessionAudio(Resolve(first), error);
    if (!slot && error == meFileNotFound && !FBaseDir.empty())
        slot = OpenSessionAudio(Resolve(BareName(first)), error);
    FLastError = slot ? meOk : (error == meOk ? meUnknown : error);
    if (!slot && showError)
        ShowOpenError(key, english, fileList);
    return slot != nullptr;
}

bool TProjectSession::OpenAudio(const std::string &fileList, const std::string &kind, bool showError)
{
    bool ok = OpenAudioTrack(FAudio, fileList, kind, "ErrOpenAud", "Error opening audio file:\r\n\"%s\"",
                             showError);
    FProject.AudioOpened();
    return ok;
}

bool TProjectSession::OpenDouble(const std::string &fileList, const std::string &kind, bool showError)
{
    return OpenAudioTrack(FDouble, fileList, kind, "ErrOpenDbl", "Error opening double audio file:\r\n\"%s\"",
                          showError);
}

bool TProjectSession::OpenReference(const std::string &fileList, const std::string &kind, bool showError)
{
    (void)kind;
    FReference.reset();
    std::string first = FirstFile(fileList);
    TMediaError error = meOk;
    FReference = OpenSessionVideo(Resolve(first), error);
    if (!FReference && error == meFileNotFound && !FBaseDir.empty())
        FReference = OpenSessionVideo(Resolve(BareName(first)), error);
    FLastError = FReference ? meOk : (error == meOk ? meUnknown : error);
    if (!FReference && showError)
        ShowOpenError("ErrOpenRef", "Error opening reference video file:\r\n\"%s\"", fileList);
    return FReference != nullptr;
}

void TProjectSession::CloseAudio() { FAudio.reset(); }
void TProjectSession::CloseDouble() { FDouble.reset(); }
void TProjectSession::CloseReference() { FReference.reset(); }

std::string TProjectSession::VideoFileName() const
{
    if (!FVideo)
        return {};
    return FVideo->IsPhantom() ? FPhantomText : FVideo->FileList();
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
    FPhantomText.clear();
}

std::string TProjectSession::VideoText() const { return VideoFileName(); }

std::vector<std::string> TProjectSession::SourceFiles() const
{
    std::vector<std::string> files;
    auto add = [&files](const std::vector<std::string> &more) { files.insert(files.end(), more.begin(), more.end()); };
    if (FVideo)
        add(FVideo->Files());
    if (FAudio)
        add(FAudio->Files());
    if (FDouble)
        add(FDouble->Files());
    if (FReference)
        add(FReference->Files());
    return files;
}

bool TProjectSession::IsSourceFile(const std::string &fileName) const
{
    if (TrimText(fileName).empty())
        return false;
    std::string target = ExpandFileName(Resolve(fileName));
    std::string targetUpper = Upper(target);
    std::string targetCanon = CanonicalName(target);
    struct stat ts {};
    bool targetExists = ::stat(target.c_str(), &ts) == 0;
    for (const std::string &source : SourceFiles()) {
        std::string s = ExpandFileName(source);
        if (Upper(s) == targetUpper || CanonicalName(s) == targetCanon)
            return true;
        // The same file reached through a hard link or any other spelling.
        struct stat ss {};
        if (targetExists && ::stat(s.c_str(), &ss) == 0 && ss.st_dev == ts.st_dev && ss.st_ino == ts.st_ino)
            return true;
    }
    return false;
}

bool TProjectSession::CheckNotSource(const std::string &fileName) const
{
    if (!IsSourceFile(fileName))
        return true;
    if (FUi) {
        std::string text = ProjectText("ErrOvwSrc", "The file \"%s\"\r\nis a source file of this project and cannot "
                                                    "be overwritten.\r\nChoose another file name for the result file.");
        FUi->Error(FormatText(text, {ExtractFileName(fileName)}));
    }
    return false;
}

} // namespace tessaly
