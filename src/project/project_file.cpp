// Project files: load, save, save-changes question, revert, source protection.
#include "project/project_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "project/project.h"
#include "project/project_editor.h"
#include "project/window_texts.h"
#include "platform/text_util.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

// The keys of [Config] in the order SaveProject writes them.
const char *const kConfigKeys[] = {"PreviewEnv", "Zoom", "Position", "UseChapters", "ConcatChapters",
                                   "GlobalShift", "UseGlobalShift", "CrossFading", "PreScan", "DisableZoom",
                                   "FlipImage", "ForceVFW", "RefZoom", "MarkerDrawSize"};

// What a project file cut short lacks, one text per missing part: the end of its last
// line (a saved file always ends with a line break); in a file this program saved
// (recognised by [Files] VideoFT, which saving writes second) the sections [Markers],
// [Chapters] and [Config] that follow [Files]; and, once [Files] is complete (RefFT,
// its last key), every key of [Config]. Hand-written files without those keys are read
// as they are.
std::vector<std::string> MissingParts(const std::string &fileName, const TIniFile &ini)
{
    std::vector<std::string> missing;
    std::string text;
    if (ReadWholeFile(fileName, text) && !text.empty() && text.back() != '\n')
        missing.push_back(Msg("WrdLineEnd"));
    if (!ini.ValueExists("Files", "VideoFT"))
        return missing;
    for (const char *section : {"Markers", "Chapters"})
        if (!ini.ValueExists(section, "Count"))
            missing.push_back(std::string("[") + section + "] Count");
    if (!ini.SectionExists("Config"))
        missing.push_back("[Config]");
    else if (ini.ValueExists("Files", "RefFT"))
        for (const char *key : kConfigKeys)
            if (!ini.ValueExists("Config", key))
                missing.push_back(std::string("[Config] ") + key);
    return missing;
}

// The name after the last "/" or "\" (a path written on Windows splits too).
std::string NameOnly(const std::string &path)
{
    size_t p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string FolderOf(const std::string &path)
{
    std::filesystem::path p = std::filesystem::absolute(path);
    return p.parent_path().string();
}

// A file list's first field is a file name or a template; the rest are parts.
std::string ReplaceFirstField(const std::string &list, const std::string &first)
{
    size_t bar = list.find('|');
    return bar == std::string::npos ? first : first + list.substr(bar);
}

std::string FirstField(const std::string &list)
{
    return TrimText(list.substr(0, list.find('|')), kFieldBlanks);
}

// A decimal number with "." or "," before the fraction; false when anything but the
// number (and blanks around it) is there. A value beyond the range of long double reads
// as infinity or zero, which the callers' range checks refuse.
bool ParseDecimal(std::string text, long double &value)
{
    text = TrimText(text, kFieldBlanks);
    std::replace(text.begin(), text.end(), ',', '.');
    if (text.empty())
        return false;
    char *end = nullptr;
    const long double v = std::strtold(text.c_str(), &end);
    if (end != text.c_str() + text.size())
        return false;
    value = v;
    return true;
}

// Reads one field of a phantom descriptor; on the first bad field `problem` says which
// field holds what and what it must be.
int32_t ReadChecked(const std::string &text, const char *field, int64_t lo, int64_t hi, bool &ok,
                    std::string &problem)
{
    int64_t v = 0;
    if (!ParseInt(text, lo, hi, v, kFieldInt)) {
        if (ok)
            problem = std::string("the ") + field + " \"" + TrimText(text, kFieldBlanks) + "\" is not a whole number from " +
                      std::to_string(lo) + " to " + std::to_string(hi);
        ok = false;
    }
    return static_cast<int32_t>(v);
}

} // namespace

bool PhantomWithinLimits(const TPhantomClip &c, std::string *problem)
{
    std::string why;
    if (c.Width < 1 || c.Width > kPhantomMaxSide || c.Height < 1 || c.Height > kPhantomMaxSide)
        why = "the frame size " + std::to_string(c.Width) + " x " + std::to_string(c.Height) +
              " is not within 1 x 1 to " + std::to_string(kPhantomMaxSide) + " x " + std::to_string(kPhantomMaxSide);
    else if (c.PixelFormat < 0 || c.PixelFormat > 3)
        why = "the pixel format " + std::to_string(c.PixelFormat) + " is not from 0 to 3";
    else if (c.Frames < 1 || c.Frames > kPhantomMaxFrames)
        why = "the frame count " + std::to_string(c.Frames) + " is not from 1 to " + std::to_string(kPhantomMaxFrames);
    else if (c.Rate < 1 || c.Scale < 1 || int64_t(c.Rate) > int64_t(c.Scale) * kPhantomMaxFps)
        why = "the frame rate " + std::to_string(c.Rate) + "/" + std::to_string(c.Scale) + " is above " +
              std::to_string(kPhantomMaxFps) + " frames per second";
    if (why.empty())
        return true;
    if (problem)
        *problem = why;
    return false;
}

std::string FormatPhantom(const TPhantomClip &c)
{
    std::string s = "*";
    for (int32_t v : {c.Width, c.Height, c.PixelFormat, c.Frames, c.Rate, c.Scale})
        s += std::to_string(v) + "*";
    return s;
}

bool ParsePhantom(const std::string &text, TPhantomClip &clip, bool &isPhantom, std::string *problem)
{
    std::vector<std::string> f = SplitText(text, '*');
    isPhantom = f.size() > 5;
    if (!isPhantom)
        return false;
    bool ok = true;
    std::string why;
    TPhantomClip c;
    c.Width = ReadChecked(f[1], "width", 1, 2147483647, ok, why);
    c.Height = ReadChecked(f[2], "height", 1, 2147483647, ok, why);
    c.PixelFormat = ReadChecked(f[3], "pixel format", 0, 3, ok, why);
    c.Frames = ReadChecked(f[4], "frame count", 1, 2147483647, ok, why);
    if (ok && f.size() == 6) {
        // Older form: a decimal frame rate, kept to 1/10000 frame per second.
        long double fps = 0;
        long double rate = 0;
        if (ParseDecimal(f[5], fps) && fps >= 1e-10L && fps <= 1e10L)
            rate = std::nearbyintl(fps * 10000);
        if (rate < 1 || rate > 2147483647.0L) {
            ok = false;
            why = "the frame rate \"" + TrimText(f[5], kFieldBlanks) + "\" is not a decimal number from 0.0001 to 214748.3647";
        } else {
            c.Rate = static_cast<int32_t>(rate);
            c.Scale = 10000;
        }
    } else if (ok) {
        c.Rate = ReadChecked(f[5], "frame rate", 1, 2147483647, ok, why);
        c.Scale = ReadChecked(f[6], "frame rate scale", 1, 2147483647, ok, why);
    }
    if (ok)
        ok = PhantomWithinLimits(c, &why);
    if (ok)
        clip = c;
    else if (problem)
        *problem = why;
    return ok;
}

TProjectFile::TProjectFile(TProjectEditor &editor, TProjectSources &sources)
    : FEditor(editor), FProject(editor.Project()), FSources(sources)
{
}

bool TProjectFile::OpenSource(TSourceRole role, const std::string &fileList, const std::string &kind)
{
    std::string first = FirstField(fileList);
    std::string list = fileList;
    if (!first.empty() && first[0] != '/')
        list = ReplaceFirstField(fileList, FFolder + "/" + first);
    TMediaError code = FSources.Open(role, list, kind);
    if (code == meFileNotFound) {
        // Media moved together with the project: the name alone, in the project's folder.
        std::string retry = ReplaceFirstField(fileList, FFolder + "/" + NameOnly(first));
        if (retry != list)
            code = FSources.Open(role, retry, kind);
    }
    if (code != meOk) {
        std::string lead = OpenErrorLead(role, fileList);
        if (TUserInterface *ui = FProject.UserInterface())
            ui->Error(TranslatedErrorSentence(lead, code, FSources.Problem(role)));
        return false;
    }
    if (role == srVideo)
        FEditor.VideoOpened();
    else if (role == srAudio)
        FEditor.AudioOpened();
    return true;
}

bool TProjectFile::LoadMedia(const TIniFile &ini)
{
    std::string video = ini.ReadString("Files", "Video", "*");
    TPhantomClip clip;
    bool isPhantom = false;
    bool ok;
    std::string problem;
    if (ParsePhantom(video, clip, isPhantom, &problem)) {
        TMediaError code = FSources.OpenPhantom(clip);
        ok = code == meOk;
        if (ok)
            FEditor.VideoOpened();
        else if (TUserInterface *ui = FProject.UserInterface())
            ui->Error(TranslatedErrorSentence(Msg("ErrOpenDum"), code));
    } else if (isPhantom) {
        // A malformed descriptor: the message names the key and the field at fault.
        ok = false;
        if (TUserInterface *ui = FProject.UserInterface())
            ui->Error(Msg("ErrOpenDum") + "\n\n[Files] Video=" +
                      TrimText(video, kFieldBlanks) + ": " + problem + ".");
    } else {
        ok = OpenSource(srVideo, video, ini.ReadString("Files", "VideoFT", ""));
    }
    ok = ok && OpenSource(srAudio, ini.ReadString("Files", "Audio", "*"), ini.ReadString("Files", "AudioFT", ""));
    std::string dbl = TrimText(ini.ReadString("Files", "Double", ""), kFieldBlanks);
    if (ok && !dbl.empty())
        ok = OpenSource(srDouble, dbl, ini.ReadString("Files", "DoubleFT", ""));
    std::string ref = TrimText(ini.ReadString("Files", "Ref", ""), kFieldBlanks);
    if (ok && !ref.empty())
        ok = OpenSource(srReference, ref, ini.ReadString("Files", "RefFT", ""));
    return ok;
}

namespace {

// One entry of a list section: its position (the key) and its text.
struct TListEntry {
    int32_t Index = 0;
    std::string Value;
};

// The entries of a list section ([Markers], [Chapters]) whose keys are the positions
// 0 .. count-1 written as decimals (a key spelled otherwise, "007" or "+7", is none of
// them), in position order; of a key given twice the first counts. One pass over the
// section, so a list of any length is read in time linear in its size.
std::vector<TListEntry> ListEntries(const TIniFile &ini, const char *section, int32_t count)
{
    std::vector<TListEntry> entries;
    for (auto &[key, value] : ini.ReadSectionValues(section)) {
        // Only the spelling a position is saved with: digits, no sign, no leading zero.
        const std::string k = TrimText(key, kFieldBlanks);
        int64_t index = 0;
        if (k.empty() || (k.size() > 1 && k[0] == '0') || k.find_first_not_of("0123456789") != std::string::npos ||
            !ParseInt(k, 0, INT32_MAX, index, kFieldInt) || index >= count)
            continue;
        entries.push_back({static_cast<int32_t>(index), value});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TListEntry &a, const TListEntry &b) { return a.Index < b.Index; });
    entries.erase(std::unique(entries.begin(), entries.end(),
                              [](const TListEntry &a, const TListEntry &b) { return a.Index == b.Index; }),
                  entries.end());
    return entries;
}

} // namespace

void TProjectFile::LoadMarkers(const TIniFile &ini, bool &markersBad, bool &chaptersBad)
{
    // Positions without a key count as bad entries.
    int32_t count = ini.ReadInteger("Markers", "Count", 0);
    std::vector<TListEntry> entries = ListEntries(ini, "Markers", count);
    if (count > 0 && entries.size() < static_cast<size_t>(count))
        markersBad = true;
    std::vector<TMarker> list;
    list.reserve(entries.size());
    std::vector<int32_t> frames;
    frames.reserve(entries.size());
    for (const TListEntry &e : entries) {
        TMarker m;
        if (ParseMarker(e.Value, m) && CanonicalMarker(m, m)) {
            list.push_back(m);
            frames.push_back(m.Frame);
        } else {
            markersBad = true;
        }
    }
    // A second marker on the same frame is reported; the first one read stays.
    std::sort(frames.begin(), frames.end());
    if (std::adjacent_find(frames.begin(), frames.end()) != frames.end())
        markersBad = true;


    count = ini.ReadInteger("Chapters", "Count", 0);
    entries = ListEntries(ini, "Chapters", count);
    // A missing start entry keeps the default start chapter; any other is bad.
    const size_t later = static_cast<size_t>(std::count_if(entries.begin(), entries.end(),
                                                           [](const TListEntry &e) { return e.Index > 0; }));
    if (count > 1 && later < static_cast<size_t>(count) - 1)
        chaptersBad = true;
    // Frame -> enabled; an entry on the frame of an earlier one replaces it.
    std::map<int32_t, bool> chapterList{{0, true}};
    for (const TListEntry &e : entries) {
        const std::string value = TrimText(e.Value, kFieldBlanks);
        if (e.Index == 0) {
            if (value.empty())
                continue;   // keeps the default start chapter
            chapterList.clear();
        }
        std::vector<std::string> fields = SplitText(value, ',');
        int64_t frame = -1;
        if (!ParseInt(fields[0], 0, 2147483647, frame, kFieldInt))
            frame = ParseChapterFrame(value);
        if (frame < 0) {
            chaptersBad = true;
            continue;
        }
        chapterList[static_cast<int32_t>(frame)] = !(fields.size() > 1 && TrimText(fields[1], kFieldBlanks) == "0");
    }
    std::vector<TChapter> chapters;
    for (const auto &[frame, enabled] : chapterList)
        chapters.push_back({frame, enabled});
    FEditor.TakeLoadedLists(std::move(list), chapters);
}

void TProjectFile::LoadMixing(const TIniFile &ini, TProjectOptions &o)
{
    // Files without the keys come from before the choice: nearest samples, hard cuts.
    o.StoreMixing = ini.ValueExists("Config", "Resampling") || ini.ValueExists("Config", "CrossFadeMs");
    const int32_t mode = ini.ReadInteger("Config", "Resampling", rsSampleCopy);
    o.Resampling = mode >= rsSampleCopy && mode <= rsKeepPitch ? static_cast<TResampling>(mode) : rsSampleCopy;
    const int32_t ms = ini.ReadInteger("Config", "CrossFadeMs", 0);
    o.CrossFadeMs = ms >= 0 && ms <= kMaxCrossFadeMs ? ms : 0;
}

void TProjectFile::LoadConfig(const TIniFile &ini, bool success)
{
    TProjectOptions o = FProject.Options();
    o.UseChapters = ini.ReadBool("Config", "UseChapters", false);
    o.ConcatChapters = ini.ReadBool("Config", "ConcatChapters", false);
    o.UseGlobalShift = ini.ReadBool("Config", "UseGlobalShift", o.UseGlobalShift);
    // Stored with its sign inverted; a missing or unreadable key keeps the offset.
    int32_t stored = ini.ReadInteger("Config", "GlobalShift", 0);
    if (ini.ValueExists("Config", "GlobalShift") && stored != INT32_MIN &&
        ini.ReadInteger("Config", "GlobalShift", 1) == stored)
        o.GlobalShift = -stored;
    o.CrossFading = ini.ReadBool("Config", "CrossFading", o.CrossFading);
    LoadMixing(ini, o);
    o.PreScan = ini.ReadBool("Config", "PreScan", o.PreScan);
    o.DisableZoom = ini.ReadBool("Config", "DisableZoom", o.DisableZoom);
    o.ForceVFW = ini.ReadBool("Config", "ForceVFW", false);
    o.FlipImage = ini.ReadBool("Config", "FlipImage", false);
    o.RefZoom = ini.ReadInteger("Config", "RefZoom", 100);
    o.MarkerDrawSize = ini.ReadInteger("Config", "MarkerDrawSize", o.MarkerDrawSize);
    if (o.MarkerDrawSize < 1 || o.MarkerDrawSize > 3)
        o.MarkerDrawSize = 1;
    ReadArrange(ini);
    if (!success || !FProject.HasVideo()) {
        FEditor.TakeLoadedOptions(o);
        return;
    }
    o.PreviewEnv = TrimText(ini.ReadString("Config", "PreviewEnv", FProject.Defaults().PreviewEnv), kFieldBlanks);
    o.Zoom = TrimText(ini.ReadString("Config", "Zoom", "100"), kFieldBlanks);
    FEditor.TakeLoadedOptions(o);
    FEditor.TakeLoadedPosition(ini.ReadInteger("Config", "Position", 0));
    FSources.SetFlipImage(o.FlipImage);
}

namespace {

// "a,b,..." with exactly `count` integers; false (nothing stored) for anything else.
bool ParseIntegerList(const std::string &text, size_t count, int32_t *values)
{
    size_t start = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t comma = i + 1 < count ? text.find(',', start) : text.size();
        if (comma == std::string::npos)
            return false;
        int64_t v = 0;
        if (!ParseInt(text.substr(start, comma - start), INT32_MIN, INT32_MAX, v, kFieldInt))
            return false;
        values[i] = static_cast<int32_t>(v);
        start = comma + 1;
    }
    return true;
}

} // namespace

// The window's layout as the project stored it, so that a project saved by a program
// without a window (the command line) writes it back as it was instead of as zeros.
void TProjectFile::ReadArrange(const TIniFile &ini)
{
    if (!FArrange || !ini.SectionExists("Arrange"))
        return;
    TProjectArrange a = *FArrange;
    int32_t screen[2] = {0, 0}, wnd[4] = {0, 0, 0, 0};
    if (ParseIntegerList(ini.ReadString("Arrange", "Screen", ""), 2, screen)) {
        a.ScreenWidth = screen[0];
        a.ScreenHeight = screen[1];
    }
    if (ParseIntegerList(ini.ReadString("Arrange", "MainWnd", ""), 4, wnd)) {
        a.Left = wnd[0];
        a.Top = wnd[1];
        a.Width = wnd[2];
        a.Height = wnd[3];
    }
    a.ShowFileman = ini.ReadBool("Arrange", "ShowFileman", a.ShowFileman);
    a.ShowStatus = ini.ReadBool("Arrange", "ShowStatus", a.ShowStatus);
    *FArrange = a;
}

std::string ProjectFileProblem(const std::string &fileName)
{
    const TMediaError code = CheckMediaPath(fileName);
    if (code == meOk)
        return {};
    if (code == meFileNotFound)
        return FormatText(Msg("ErrNoProject"), {fileName});
    return FormatText(Msg("ErrPrjNotFile"), {fileName}) + " " + MediaErrorMsg(code) + ".";
}

bool TProjectFile::LoadProject(const std::string &fileName, bool /*fromUser*/)
{
    if (fileName.size() < 4 || UpperAscii(fileName.substr(fileName.size() - 4)) != ".TSP")
        return false;
    if (const std::string problem = ProjectFileProblem(fileName); !problem.empty()) {
        if (TUserInterface *ui = FProject.UserInterface())
            ui->Error(problem);
        return false;
    }
    // Observers hear of the whole load once, at its end.
    FEditor.BeginUpdate();
    FEditor.ClearForLoad();
    FFolder = FolderOf(fileName);
    // A file cut short would load as a project without its markers, chapters or
    // options, and a render from it would look right: the user decides, knowing what
    // is missing.
    // Every read below sees this one reading of the file.
    TIniFile ini(fileName);
    ini.BeginUpdate();
    const std::vector<std::string> missing = MissingParts(fileName, ini);
    if (!missing.empty()) {
        std::string text = FormatText(Msg("ErrPrjCut"), {NameOnly(fileName)});
        for (const std::string &part : missing)
            text += "\r\n- " + part;
        TUserInterface *ui = FProject.UserInterface();
        if (!ui || ui->Message(mtConfirmation, text + "\r\n\r\n" + Msg("MsgOpenPart"), mbYes | mbNo) != mrYes) {
            ini.CancelUpdate();
            FEditor.LoadFinished(fileName, false);
            FEditor.EndUpdate();
            return false;
        }
    }
    bool ok = LoadMedia(ini);
    FEditor.ResetMarkers();
    bool markersBad = false, chaptersBad = false;
    if (ok)
        LoadMarkers(ini, markersBad, chaptersBad);
    LoadConfig(ini, ok);
    ini.CancelUpdate();
    FEditor.LoadFinished(fileName, ok);
    if (ok && (markersBad || chaptersBad)) {
        std::string text = Msg("ErrLoadPrj");
        if (markersBad)
            text += "\r\n- " + Msg("WrdMarkLst");
        if (chaptersBad)
            text += "\r\n- " + Msg("WrdChptLst");
        FProject.ShowErrorText(text);
    }
    FEditor.EndUpdate();
    return ok;
}

bool TProjectFile::SaveProject(const std::string &fileName)
{
    if (fileName.empty())
        return false;
    TIniFile ini(fileName);
    // All keys go into one replacement of the file: a failure leaves the old file whole.
    ini.BeginUpdate();
    TPhantomClip clip;
    ini.WriteString("Files", "Video",
                    FSources.Phantom(clip) ? FormatPhantom(clip) : TrimText(FSources.FileList(srVideo), kFieldBlanks));
    ini.WriteString("Files", "VideoFT", FSources.KindString(srVideo));
    ini.WriteString("Files", "Audio", TrimText(FSources.FileList(srAudio), kFieldBlanks));
    ini.WriteString("Files", "AudioFT", FSources.KindString(srAudio));
    ini.WriteString("Files", "Double", TrimText(FSources.FileList(srDouble), kFieldBlanks));
    ini.WriteString("Files", "DoubleFT", FSources.KindString(srDouble));
    ini.WriteString("Files", "Ref", TrimText(FSources.FileList(srReference), kFieldBlanks));
    ini.WriteString("Files", "RefFT", FSources.KindString(srReference));

    std::vector<std::pair<std::string, std::string>> keys;
    keys.reserve(static_cast<size_t>(FProject.MarkerCount()) + 1);
    keys.emplace_back("Count", std::to_string(FProject.MarkerCount()));
    for (int32_t i = 0; i < FProject.MarkerCount(); ++i)
        keys.emplace_back(std::to_string(i), FProject.MarkerLine(i));
    ini.ReplaceSection("Markers", keys);
    keys.clear();
    keys.emplace_back("Count", std::to_string(FProject.ChapterListCount()));
    for (int32_t i = 0; i < FProject.ChapterListCount(); ++i) {
        TChapter c = FProject.GetListChapter(i);
        keys.emplace_back(std::to_string(i), std::to_string(c.Frame) + (c.Enabled ? ",1" : ",0"));
    }
    ini.ReplaceSection("Chapters", keys);

    const TProjectOptions &o = FProject.Options();
    ini.WriteString("Config", "PreviewEnv", TrimText(o.PreviewEnv, kFieldBlanks));
    ini.WriteString("Config", "Zoom", TrimText(o.Zoom, kFieldBlanks));
    ini.WriteInteger("Config", "Position", FProject.Position());
    ini.WriteBool("Config", "UseChapters", o.UseChapters);
    ini.WriteBool("Config", "ConcatChapters", o.ConcatChapters);
    ini.WriteInteger("Config", "GlobalShift", -int64_t{o.GlobalShift});
    ini.WriteBool("Config", "UseGlobalShift", o.UseGlobalShift);
    ini.WriteBool("Config", "CrossFading", o.CrossFading);
    ini.WriteBool("Config", "PreScan", o.PreScan);
    ini.WriteBool("Config", "DisableZoom", o.DisableZoom);
    ini.WriteBool("Config", "FlipImage", o.FlipImage);
    ini.WriteBool("Config", "ForceVFW", o.ForceVFW);
    ini.WriteInteger("Config", "RefZoom", o.RefZoom);
    ini.WriteInteger("Config", "MarkerDrawSize", o.MarkerDrawSize);
    // Written only by projects that have them, so older files save back unchanged.
    if (o.StoreMixing) {
        ini.WriteInteger("Config", "Resampling", o.Resampling);
        ini.WriteInteger("Config", "CrossFadeMs", o.CrossFadeMs);
    }
    if (FArrange) {
        const TProjectArrange &a = *FArrange;
        ini.WriteString("Arrange", "Screen", std::to_string(a.ScreenWidth) + "," + std::to_string(a.ScreenHeight));
        ini.WriteBool("Arrange", "ShowFileman", a.ShowFileman);
        ini.WriteBool("Arrange", "ShowStatus", a.ShowStatus);
        ini.WriteString("Arrange", "MainWnd", std::to_string(a.Left) + "," + std::to_string(a.Top) + "," +
                                                  std::to_string(a.Width) + "," + std::to_string(a.Height));
    }
    if (!ini.EndUpdate()) {
        FProject.ShowErrorText(ini.LastError().empty() ? "Cannot write \"" + fileName + "\"." : ini.LastError());
        return false;
    }
    FEditor.Saved(fileName);
    return true;
}

bool TProjectFile::Save()
{
    std::error_code ec;
    std::string name = FProject.FileName();
    if (name.empty() || !std::filesystem::exists(name, ec)) {
        name = FChooseFileName ? FChooseFileName() : std::string();
        if (name.empty())
            return false;
    }
    return SaveProject(name);
}

bool TProjectFile::AskSaveChanges()
{
    if (!FProject.Changed() || !FProject.HasVideo() || !FProject.HasAudio())
        return true;
    TUserInterface *ui = FProject.UserInterface();
    TMsgResult r = ui ? ui->Message(mtConfirmation, Msg("MsgSaveChg"), mbYes | mbNo | mbCancel)
                      : mrCancel;
    if (r == mrNo)
        return true;
    if (r != mrYes)
        return false;
    Save();
    std::error_code ec;
    return !FProject.FileName().empty() && std::filesystem::exists(FProject.FileName(), ec);
}

bool TProjectFile::Revert()
{
    TUserInterface *ui = FProject.UserInterface();
    std::string name = FProject.FileName();
    if (!ui || name.empty())
        return false;
    std::string text = FormatText(Msg("MsgRevert"),
                                  {NameOnly(name)});
    if (ui->Message(mtConfirmation, text, mbYes | mbCancel | mbHelp) != mrYes)
        return false;
    return LoadProject(name, false);
}

bool TProjectFile::IsSourceFile(const std::string &resultName) const
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path result = fs::weakly_canonical(fs::absolute(resultName, ec), ec);
    struct stat rs {};
    bool resultExists = ::stat(resultName.c_str(), &rs) == 0;
    for (TSourceRole role : {srVideo, srAudio, srDouble, srReference}) {
        for (const std::string &file : FSources.Files(role)) {
            std::error_code e2;
            fs::path source = fs::weakly_canonical(fs::absolute(file, e2), e2);
            struct stat ss {};
            // Names differing only in case are different files on Linux: the same file is
            // the same device and inode, or (for a result not written yet) the same path.
            bool same = resultExists ? ::stat(file.c_str(), &ss) == 0 && ss.st_dev == rs.st_dev && ss.st_ino == rs.st_ino
                                     : source == result;
            if (same) {
                std::string text = FormatText(
                    Msg("ErrOvwSrc"),
                    {NameOnly(resultName)});
                FProject.ShowErrorText(text);
                return true;
            }
        }
    }
    return false;
}

} // namespace tessaly
