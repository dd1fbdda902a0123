// The open commands of the main window as core operations.
#include "project/media_open.h"

#include <cmath>
#include <cstdlib>

#include "media/input/lavf/lavf_audio.h"
#include "media/input/source_kind.h"
#include "platform/file_system.h"
#include "project/project_session.h"
#include "project/segment_probe.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

TFolderKey FolderKeyOf(TSourceRole role)
{
    switch (role) {
    case srVideo: return fkAvi;
    case srAudio: return fkWav;
    case srDouble: return fkDbl;
    default: return fkRef;
    }
}

// The numbered-segment question: the file list to open, "" when cancelled.
std::string ChooseSegments(TProjectSession &session, const std::string &fileName)
{
    TSegmentProbe probe = ProbeSegments(fileName);
    if (probe.Files.size() < 2)
        return fileName;
    std::vector<std::string> names;
    for (const std::string &f : probe.Files)
        names.push_back(ExtractFileName(f));
    TSegmentAnswer answer;
    answer.Ticked.assign(names.size(), true);
    if (TUserInterface *ui = session.UserInterface())
        answer = ui->AskSegments(Msg("CapSegments"), names, 9000);
    switch (answer.Choice) {
    case scCancel: return {};
    case scSelected:
        return answer.Selected >= 0 && size_t(answer.Selected) < probe.Files.size() ? probe.Files[size_t(answer.Selected)]
                                                                                   : std::string();
    default: return probe.FileList(answer.Ticked);
    }
}

// The audio stream question for a file with several audio streams, asked when the kind
// string names no stream: false when the open is abandoned, else the kind to open with
// in `kind` (an empty kind still means: detect).
bool ChooseAudioStream(TProjectSession &session, const std::string &fileList, std::string &kind)
{
    TSourceKind code;
    int param;
    ParseKindString(kind, code, param);
    const std::vector<std::string> files = SplitFileList(fileList);
    TUserInterface *ui = session.UserInterface();
    const bool listsStreams = code == ksAuto || code == ksOdml || code == ksMsvw || code == ksLavf;
    if (!listsStreams || param >= 0 || files.empty() || !ui)
        return true;
    std::vector<int> numbers;
    std::vector<std::string> lines;
    for (const TLavfStreamText &s : ProbeLavfStreams(files[0])) {
        if (s.Type != 'a')
            continue;
        numbers.push_back(s.Index);
        lines.push_back(AudioStreamChoiceText(s));
    }
    if (numbers.size() < 2)
        return true;
    const int i = ui->AskAudioStream(FormatText(Msg("CapAudioStream"), {ExtractFileName(files[0])}), lines);
    if (i < 0 || size_t(i) >= numbers.size())
        return false;
    if (i > 0)
        kind = MakeKindString(code, numbers[size_t(i)]);
    return true;
}

void StoreFolder(TProjectSession &session, const TOpenMediaOptions &options, TSourceRole role,
                 const std::string &fileName)
{
    if (!options.Folders)
        return;
    try {
        options.Folders->SetFolder(FolderKeyOf(role), ExtractFilePath(fileName));
    } catch (const ESettingsWriteError &e) {
        if (TUserInterface *ui = session.UserInterface())
            ui->Error(e.what());
    }
}

// The smart-rendering question; false when the user did not say Yes.
bool AcceptVideo(TProjectSession &session, const TOpenMediaOptions &options)
{
    if (!options.SRWarnOnLoad || session.Sources().Video().CanSmartRender())
        return true;
    TUserInterface *ui = session.UserInterface();
    return ui && ui->Message(mtWarning, Msg("WrnSRLoad"), mbYes | mbAbort | mbHelp) == mrYes;
}

} // namespace

std::string AudioStreamChoiceText(const TLavfStreamText &s)
{
    std::string text = "#" + std::to_string(s.Index) + ": " + s.Codec;
    if (s.Rate > 0)
        text += ", " + std::to_string(s.Rate) + " Hz";
    text += ", " + (s.Layout.empty() ? std::to_string(s.Channels) + " ch" : s.Layout);
    if (!s.Language.empty() && s.Language != "und")
        text += " [" + s.Language + "]";
    if (!s.Title.empty())
        text += " \"" + s.Title + "\"";
    return text;
}

TOpenMediaOptions OpenMediaOptionsFrom(TSettings &settings)
{
    TOpenMediaOptions o;
    o.SegmentSearch = settings.SegmentSearch();
    o.SRWarnOnLoad = settings.SRWarnOnLoad();
    o.Folders = &settings;
    return o;
}

std::string OpenDialogTitle(TSourceRole role)
{
    static const char *const keys[] = {"OpenVidDlg.Title", "OpenAudDlg.Title", "OpenDblDlg.Title", "OpenRefDlg.Title"};
    return Msg(keys[role]);
}

std::string OpenDialogFolder(const TSettings &settings, TSourceRole role)
{
    return settings.Folder(FolderKeyOf(role));
}

TOpenOutcome OpenMedia(TProjectSession &session, TSourceRole role, const std::string &fileName,
                       const std::string &kind, const TOpenMediaOptions &options)
{
    const TProject &project = session.Project();
    TProjectEditor &editor = session.Editor();
    if (role == srVideo && !session.AskSaveChanges())
        return ooCancelled;
    const std::string chosen = ExpandFileName(fileName);
    const std::string list = options.SegmentSearch ? ChooseSegments(session, chosen) : chosen;
    if (list.empty())
        return ooCancelled;
    std::string openKind = kind;
    if ((role == srAudio || role == srDouble) && !ChooseAudioStream(session, list, openKind))
        return ooCancelled;
    editor.BeginUpdate();
    bool reset = false, asked = false;
    TOpenOutcome outcome = ooFailed;
    if (session.OpenSource(role, list, openKind, &reset, &asked)) {
        outcome = ooOpened;
        if (role == srVideo && !AcceptVideo(session, options)) {
            session.CloseSource(srVideo);
            editor.VideoOpened();
            outcome = ooCancelled;
        }
    }
    if (outcome == ooOpened) {
        // The silent second open: a video's sound as double track, an audio file's
        // picture as reference video. Its failure is no error.
        if (role == srVideo && !asked && (reset || !project.HasDouble()))
            session.Open(srDouble, list, "AUTO|-1");
        if (role == srAudio && !project.HasReference())
            session.Open(srReference, list, "AUTO|-1");
        StoreFolder(session, options, role, chosen);
        // After a video the position, the view offset and the zoom start afresh.
        editor.MediaOpened(role == srVideo, role == srVideo ? "100" : "");
    }
    editor.MediaChanged();
    editor.EndUpdate();
    return outcome;
}

bool RemoveMedia(TProjectSession &session, TSourceRole role)
{
    const TProject &project = session.Project();
    if (!(role == srDouble && project.HasDouble()) && !(role == srReference && project.HasReference()))
        return false;
    TProjectEditor &editor = session.Editor();
    editor.BeginUpdate();
    session.CloseSource(role);
    editor.MarkChanged();
    editor.EndUpdate();
    return true;
}

const std::vector<std::string> &PhantomPresets()
{
    static const std::vector<std::string> presets = {"Rate / Scale", "12", "12.5", "15", "16", "18",
                                                     "23.976", "24",  "25",   "29.97", "30"};
    return presets;
}

TPhantomValues ApplyPhantomPreset(TPhantomValues v, int preset)
{
    if (preset <= 0 || size_t(preset) >= PhantomPresets().size()) {
        v.Preset = 0;
        return v;
    }
    v.Preset = preset;
    v.Rate = static_cast<int32_t>(std::nearbyint(std::strtod(PhantomPresets()[size_t(preset)].c_str(), nullptr) * 1000));
    v.Scale = 1000;
    return v;
}

TPhantomValues PhantomDialogValues(const TProjectSession &session)
{
    const TProject &p = session.Project();
    TPhantomValues v = ApplyPhantomPreset(TPhantomValues{}, 8);
    if (!p.HasVideo())
        return v;
    v.Frames = p.FrameCount();
    v.Rate = p.RateNumerator();
    v.Scale = p.RateDenominator();
    v.Preset = 0;
    for (int i = 1; v.Scale == 1000 && size_t(i) < PhantomPresets().size(); ++i)
        if (ApplyPhantomPreset(v, i).Rate == v.Rate)
            v.Preset = i;
    return v;
}

bool PhantomValuesValid(const TPhantomValues &v)
{
    return v.Frames >= 1 && v.Rate >= 1 && v.Scale >= 1;
}

TOpenOutcome CreatePhantom(TProjectSession &session, const TPhantomValues &v)
{
    if (!PhantomValuesValid(v))
        return ooFailed;
    const TProject &p = session.Project();
    TProjectEditor &editor = session.Editor();
    const bool differs = !p.HasVideo() || p.FrameCount() != v.Frames || p.RateNumerator() != v.Rate ||
                         p.RateDenominator() != v.Scale;
    if (differs && !session.AskSaveChanges())
        return ooCancelled;
    TPhantomClip clip;
    clip.Frames = v.Frames;
    clip.Rate = v.Rate;
    clip.Scale = v.Scale;
    editor.BeginUpdate();
    bool ok = session.OpenPhantomClip(clip);
    if (ok)
        editor.MediaOpened(differs, "200");
    editor.EndUpdate();
    return ok ? ooOpened : ooFailed;
}

} // namespace tessaly
