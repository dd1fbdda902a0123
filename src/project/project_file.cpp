// The project file (".tsp"): loading, saving, reverting and the save-changes question.
#include "project/project_session.h"

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "project/project_text.h"
#include "shell/messages.h"
#include "shell/user_interface.h"

namespace tessaly {

namespace {

std::vector<std::string> Split(const std::string &text, char sep)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t p = text.find(sep, start);
        fields.push_back(text.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return fields;
        start = p + 1;
    }
}

bool ParseField(const std::string &text, int64_t lo, int64_t hi, int32_t &out)
{
    int64_t v = 0;
    if (!ParseInteger(text, lo, hi, v))
        return false;
    out = int32_t(v);
    return true;
}

// A decimal number with "." or the locale's separator; false unless the whole text is one.
bool ParseDecimal(const std::string &text, long double &value)
{
    std::string t = TrimText(text);
    if (t.empty())
        return false;
    const char *sep = std::localeconv()->decimal_point;
    for (char &c : t)
        if (c == ',' || c == '.')
            c = sep && *sep ? *sep : '.';
    char *end = nullptr;
    value = std::strtold(t.c_str(), &end);
    return end && *end == 0 && std::isfinite(value);
}

} // namespace

bool ParsePhantomDescriptor(const std::string &text, bool &isDescriptor, int32_t &width, int32_t &height,
                            int32_t &pixelFormat, int32_t &frames, int32_t &rate, int32_t &scale)
{
    std::vector<std::string> f = Split(text, '*');
    isDescriptor = f.size() > 5;
    if (!isDescriptor)
        return false;
    const int64_t maxInt = 2147483647;
    if (!ParseField(f[1], 1, maxInt, width) || !ParseField(f[2], 1, maxInt, height) ||
        !ParseField(f[3], 0, 3, pixelFormat) || !ParseField(f[4], 1, maxInt, frames))
        return false;
    if (f.size() == 6) {
        long double fps = 0;
        if (!ParseDecimal(f[5], fps) || fps < 1e-10L || fps > 1e10L)
            return false;
        long double r = std::nearbyintl(fps * 10000);
        if (r < 1 || r > maxInt)
            return false;
        rate = int32_t(r);
        scale = 10000;
        return true;
    }
    return ParseField(f[5], 1, maxInt, rate) && ParseField(f[6], 1, maxInt, scale);
}

std::string FormatPhantomDescriptor(int32_t width, int32_t height, int32_t pixelFormat, int32_t frames,
                                    int32_t rate, int32_t scale)
{
    std::string s = "*";
    for (int32_t v : {width, height, pixelFormat, frames, rate, scale})
        s += std::to_string(v) + "*";
    return s;
}

bool TProjectSession::LoadPhantom(const std::string &text)
{
    bool isDescriptor = false;
    int32_t w = 0, h = 0, pf = 0, frames = 0, rate = 0, scale = 0;
    if (!ParsePhantomDescriptor(text, isDescriptor, w, h, pf, frames, rate, scale))
        return false; // a malformed descriptor fails the load without a message of its own
    return OpenPhantom(w, h, pf, frames, rate, scale, true);
}

bool TProjectSession::LoadProject(const std::string &fileName, bool fromUser)
{
    (void)fromUser;
    std::string ext = ExtractFileExt(fileName);
    for (char &c : ext)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    if (ext != ".TSP")
        return false;
    TProject &p = FProject;
    p.SetChanged(false);
    p.ClearProject();
    FLoadIncomplete = false;
    std::string fullName = ExpandFileName(fileName);
    FBaseDir = ExtractFilePath(fullName);
    TIniFile ini(fullName);

    std::string videoText = ini.ReadString("Files", "Video", "*");
    bool isDescriptor = false;
    {
        int32_t a, b, c, d, e, f;
        ParsePhantomDescriptor(videoText, isDescriptor, a, b, c, d, e, f);
    }
    bool ok = isDescriptor ? LoadPhantom(videoText)
                           : OpenVideo(videoText, ini.ReadString("Files", "VideoFT", ""), true);
    // An empty Audio value is a project without a primary track (saved that way).
    std::string audioText = ini.ReadString("Files", "Audio", "*");
    if (ok && !TrimText(audioText).empty())
        ok = OpenAudio(audioText, ini.ReadString("Files", "AudioFT", ""), true);
    if (ok && !TrimText(ini.ReadString("Files", "Double", "")).empty())
        ok = OpenDouble(ini.ReadString("Files", "Double", ""), ini.ReadString("Files", "DoubleFT", ""), true);
    if (ok && !TrimText(ini.ReadString("Files", "Ref", "")).empty())
        ok = OpenReference(ini.ReadString("Files", "Ref", ""), ini.ReadString("Files", "RefFT", ""), true);

    p.ResetMarkers();
    bool markersIncomplete = false, chaptersIncomplete = false;
    if (ok) {
        int32_t count = ini.ReadInteger("Markers", "Count", 0);
        for (int32_t i = 0; i < count; ++i) {
            TMarker m;
            std::string line;
            if (ParseMarker(ini.ReadString("Markers", std::to_string(i), ""), m) && FormatMarker(m, line) &&
                p.AddMarker(m) >= 0)
                continue;
            markersIncomplete = true;
        }
        count = ini.ReadInteger("Chapters", "Count", 0);
        for (int32_t i = 0; i < count; ++i) {
            std::string value = ini.ReadString("Chapters", std::to_string(i), "");
            if (i == 0) {
                if (value.empty())
                    continue;
                p.ClearChapters();
            }
            std::vector<std::string> fields = Split(value, ',');
            int64_t frame = -1;
            if (!ParseInteger(fields[0], 0, 2147483647, frame))
                frame = ParseChapterFrame(value);
            if (frame < 0) {
                chaptersIncomplete = true;
                continue;
            }
            TChapter c;
            c.Frame = int32_t(frame);
            c.Enabled = !(fields.size() > 1 && fields[1] == "0");
            p.AddChapter(c);
        }
    }

    TProjectOptions &o = p.Options();
    o.UseChapters = ini.ReadBool("Config", "UseChapters", false);
    o.ConcatChapters = ini.ReadBool("Config", "ConcatChapters", false);
    o.UseGlobalShift = ini.ReadBool("Config", "UseGlobalShift", o.UseGlobalShift);
    if (ini.ValueExists("Config", "GlobalShift")) {
        int32_t stored = ini.ReadInteger("Config", "GlobalShift", -o.GlobalShift);
        // The one stored value without a negation keeps the largest offset.
        o.GlobalShift = stored == INT32_MIN ? INT32_MAX : -stored;
    }
    o.CrossFading = ini.ReadBool("Config", "CrossFading", o.CrossFading);
    o.PreScan = ini.ReadBool("Config", "PreScan", o.PreScan);
    o.DisableZoom = ini.ReadBool("Config", "DisableZoom", o.DisableZoom);
    o.ForceVFW = ini.ReadBool("Config", "ForceVFW", false);
    o.FlipImage = ini.ReadBool("Config", "FlipImage", false);
    o.RefZoom = ini.ReadInteger("Config", "RefZoom", 100);
    o.MarkerDrawSize = ini.ReadInteger("Config", "MarkerDrawSize", o.MarkerDrawSize);
    if (o.MarkerDrawSize < 1 || o.MarkerDrawSize > 3)
        o.MarkerDrawSize = 1;

    if (ok && p.HasVideo()) {
        o.PreviewEnv = TrimText(ini.ReadString("Config", "PreviewEnv", DefaultPreviewEnv));
        o.Zoom = TrimText(ini.ReadString("Config", "Zoom", "100"));
        p.SetViewOffset(0);
        p.SetPosition(ini.ReadInteger("Config", "Position", 0));
        p.RebuildSpline();
    }
    if (ok) {
        p.SetFileName(fullName);
    } else {
        p.ClearProject();
        FBaseDir.clear();
    }
    p.SetChanged(false);
    FLoadIncomplete = ok && (markersIncomplete || chaptersIncomplete);

    if (ok && (markersIncomplete || chaptersIncomplete) && FUi) {
        std::string text = ProjectText("ErrLoadPrj", "The following items could not loaded completely:");
        if (markersIncomplete)
            text += "\r\n- " + ProjectText("WrdMarkLst", "Marker list");
        if (chaptersIncomplete)
            text += "\r\n- " + ProjectText("WrdChptLst", "Chapter list");
        FUi->Error(text);
    }
    return ok;
}

bool TProjectSession::SaveProject(const std::string &fileName)
{
    if (TrimText(fileName).empty())
        return false;
    std::string fullName = ExpandFileName(fileName);
    TIniFile ini(fullName);
    const TProject &p = FProject;
    const TProjectOptions &o = p.Options();
    ini.BeginUpdate();
    bool ok = true;
    auto put = [&](const char *section, const std::string &key, const std::string &value) {
        if (ok)
            ok = ini.WriteString(section, key, value);
    };
    auto putBool = [&](const char *key, bool value) { put("Config", key, value ? "1" : "0"); };
    put("Files", "Video", TrimText(VideoText()));
    put("Files", "VideoFT", FVideo ? FVideo->KindString() : "");
    put("Files", "Audio", FAudio ? TrimText(FAudio->FileList()) : "");
    put("Files", "AudioFT", FAudio ? FAudio->KindString() : "");
    put("Files", "Double", FDouble ? TrimText(FDouble->FileList()) : "");
    put("Files", "DoubleFT", FDouble ? FDouble->KindString() : "");
    put("Files", "Ref", FReference ? TrimText(FReference->FileList()) : "");
    put("Files", "RefFT", FReference ? FReference->KindString() : "");
    if (ok)
        ok = ini.EraseSection("Markers");
    put("Markers", "Count", std::to_string(p.MarkerCount()));
    for (int32_t i = 0; i < p.MarkerCount(); ++i)
        put("Markers", std::to_string(i), p.MarkerLine(i));
    if (ok)
        ok = ini.EraseSection("Chapters");
    put("Chapters", "Count", std::to_string(p.ChapterListCount()));
    for (int32_t i = 0; i < p.ChapterListCount(); ++i) {
        TChapter c = p.GetListChapter(i);
        put("Chapters", std::to_string(i), std::to_string(c.Frame) + (c.Enabled ? ",1" : ",0"));
    }
    put("Config", "PreviewEnv", TrimText(o.PreviewEnv));
    put("Config", "Zoom", TrimText(o.Zoom));
    put("Config", "Position", std::to_string(p.Position()));
    putBool("UseChapters", o.UseChapters);
    putBool("ConcatChapters", o.ConcatChapters);
    put("Config", "GlobalShift", std::to_string(o.GlobalShift == INT32_MIN ? INT32_MAX : -o.GlobalShift));
    putBool("UseGlobalShift", o.UseGlobalShift);
    putBool("CrossFading", o.CrossFading);
    putBool("PreScan", o.PreScan);
    putBool("DisableZoom", o.DisableZoom);
    putBool("FlipImage", o.FlipImage);
    putBool("ForceVFW", o.ForceVFW);
    put("Config", "RefZoom", std::to_string(o.RefZoom));
    put("Config", "MarkerDrawSize", std::to_string(o.MarkerDrawSize));
    const TArrangeInfo &a = FArrange;
    put("Arrange", "Screen", std::to_string(a.ScreenWidth) + "," + std::to_string(a.ScreenHeight));
    put("Arrange", "ShowFileman", a.ShowFileman ? "1" : "0");
    put("Arrange", "ShowStatus", a.ShowStatus ? "1" : "0");
    put("Arrange", "MainWnd", std::to_string(a.Left) + "," + std::to_string(a.Top) + "," +
                                  std::to_string(a.ClientWidth) + "," + std::to_string(a.ClientHeight));
    if (ok) {
        ok = ini.EndUpdate();
    } else {
        ini.CancelUpdate();
    }
    if (!ok) {
        // The file on disk is left as it was: the keys are stored in one replacement.
        if (FUi)
            FUi->Error(ini.LastError().empty() ? "Cannot write the file \"" + fullName + "\"." : ini.LastError());
        return false;
    }
    FProject.SetFileName(fullName);
    FBaseDir = ExtractFilePath(fullName);
    FProject.SetChanged(false);
    return true;
}

bool TProjectSession::AskSaveChanges()
{
    if (!FProject.Changed() || !FProject.HasVideo())
        return true;
    TMsgResult r = FUi ? FUi->Message(mtConfirmation, ProjectText("MsgSaveChg", "Save changes ?"),
                                      mbYes | mbNo | mbCancel)
                       : mrCancel;
    if (r == mrNo)
        return true;
    if (r != mrYes)
        return false;
    const std::string &name = FProject.FileName();
    if (name.empty() || !FileExists(name))
        return false; // Save as needs a file dialog: the caller offers it
    return SaveProject(name) && FileExists(FProject.FileName());
}

bool TProjectSession::Revert()
{
    std::string name = FProject.FileName();
    if (name.empty() || !FUi)
        return false;
    std::string text = FormatText(ProjectText("MsgRevert", "Do you really want revert to the\r\nlast saved version of %s ?"),
                                  {ExtractFileName(name)});
    if (FUi->Message(mtConfirmation, text, mbYes | mbCancel | mbHelp) != mrYes)
        return false;
    return LoadProject(name, false);
}

} // namespace tessaly
