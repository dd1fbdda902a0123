// TSettings: keys of the settings file with their defaults and reading rules.
#include "shell/settings.h"

#include "platform/file_system.h"
#include "platform/text_util.h"

#include <cstdio>

namespace tessaly {

namespace {

constexpr const char *kOptions = "Options";
constexpr const char *kCurrent = "Current";
constexpr const char *kDefaults = "Defaults";
constexpr const char *kAutoChapters = "AutoChapters";
constexpr int32_t kDefaultSizeLimit = 384;

std::string Trim(const std::string &s) {
    return TrimText(s, kLineBlanks);
}

} // namespace

ESettingsWriteError::ESettingsWriteError(const std::string &fileName, const std::string &reason)
    : std::runtime_error("Cannot write the settings file \"" + fileName + "\"" +
                         (reason.empty() ? std::string(".") : ": " + reason)),
      FFileName(fileName) {}

TSettings::TSettings(const std::string &fileName) : FIni(fileName.empty() ? DefaultFileName() : fileName) {}

std::string TSettings::DefaultFileName() {
    const std::string beside = ProgramDir() + "tessaly.ini";
    if (FileExists(beside))
        return beside;
    return UserConfigDir() + "tessaly/tessaly.ini";
}

std::string TSettings::ReadString(const std::string &section, const std::string &key,
                                  const std::string &def) const {
    return FIni.ReadString(section, key, def);
}

int32_t TSettings::ReadInteger(const std::string &section, const std::string &key, int32_t def) const {
    return FIni.ReadInteger(section, key, def);
}

bool TSettings::ReadBool(const std::string &section, const std::string &key, bool def) const {
    return FIni.ReadBool(section, key, def);
}

std::string TSettings::ReadFolder(const std::string &section, const std::string &key) const {
    std::string dir = Trim(FIni.ReadString(section, key, ""));
    return DirectoryExists(dir) ? dir : std::string();
}

void TSettings::WriteString(const std::string &section, const std::string &key, const std::string &value) {
    // The first write creates the settings folder (the configuration folder may be new).
    std::string dir = ExtractFilePath(FIni.FileName());
    if (!dir.empty() && !DirectoryExists(dir))
        ForceDirectories(dir);
    if (!FIni.WriteString(section, key, value))
        throw ESettingsWriteError(FIni.FileName(), FIni.LastError());
}

void TSettings::WriteInteger(const std::string &section, const std::string &key, int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TSettings::WriteBool(const std::string &section, const std::string &key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::string TSettings::TempDir() const {
    std::string dir = ReadFolder(kOptions, "TempDir");
    return dir.empty() ? SystemTempDir() : IncludeTrailingSlash(dir);
}

void TSettings::SetTempDir(const std::string &dir) {
    WriteString(kOptions, "TempDir", IncludeTrailingSlash(Trim(dir)));
}

bool TSettings::GetTempFile(bool ask, std::string &fileName,
                            const std::function<bool(std::string &folder)> &chooseFolder) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string dir = TempDir();
        if (DirectoryExists(dir)) {
            fileName = dir + kTempFileName;
            return true;
        }
        if (attempt > 0 || !ask || !chooseFolder)
            break;
        std::string chosen = dir;
        if (chooseFolder(chosen))
            SetTempDir(chosen);
    }
    fileName.clear();
    return false;
}

int32_t TSettings::DefGlobShift() const { return ReadInteger(kOptions, "DefGlobShift", 0); }
void TSettings::SetDefGlobShift(int32_t value) { WriteInteger(kOptions, "DefGlobShift", value); }

int32_t TSettings::PreviewOffset() const {
    int64_t offset = -static_cast<int64_t>(DefGlobShift());
    return offset > INT32_MAX ? INT32_MAX : static_cast<int32_t>(offset);
}

void TSettings::SetPreviewOffset(int32_t offset) {
    SetDefGlobShift(offset == INT32_MIN ? INT32_MAX : -offset);
}

bool TSettings::UseDefGlobShift() const { return ReadBool(kOptions, "UseDefGlobShift", false); }
void TSettings::SetUseDefGlobShift(bool on) { WriteBool(kOptions, "UseDefGlobShift", on); }
int32_t TSettings::DefResampling() const
{
    const int32_t v = ReadInteger(kOptions, "DefResampling", 1);
    return v >= 0 && v <= 2 ? v : 1;
}
int32_t TSettings::DefCrossFadeMs() const
{
    const int32_t v = ReadInteger(kOptions, "DefCrossFadeMs", 5);
    return v >= 0 && v <= 1000 ? v : 5;
}
int32_t TSettings::FrameCacheMB() const
{
    const int32_t v = ReadInteger(kOptions, "FrameCacheMB", 512);
    return v >= kMinFrameCacheMB && v <= kMaxFrameCacheMB ? v : 512;
}
void TSettings::SetFrameCacheMB(int32_t megabytes) { WriteInteger(kOptions, "FrameCacheMB", megabytes); }
bool TSettings::DisableSegments() const { return ReadBool(kOptions, "DisableSegments", false); }
void TSettings::SetDisableSegments(bool on) { WriteBool(kOptions, "DisableSegments", on); }
bool TSettings::SRWarnOnLoad() const { return ReadBool(kOptions, "SRWarnOnLoad", false); }
void TSettings::SetSRWarnOnLoad(bool on) { WriteBool(kOptions, "SRWarnOnLoad", on); }
bool TSettings::SRWarnOnCalc() const { return ReadBool(kOptions, "SRWarnOnCalc", true); }
void TSettings::SetSRWarnOnCalc(bool on) { WriteBool(kOptions, "SRWarnOnCalc", on); }
bool TSettings::SRLimitSize() const { return ReadBool(kOptions, "SRLimitSize", true); }
void TSettings::SetSRLimitSize(bool on) { WriteBool(kOptions, "SRLimitSize", on); }
std::string TSettings::SRSizeLimit() const { return ReadString(kOptions, "SRSizeLimit", "384"); }
void TSettings::SetSRSizeLimit(const std::string &text) { WriteString(kOptions, "SRSizeLimit", text); }

bool TSettings::SizeLimitTextValid(const std::string &text) {
    int64_t v = 0;
    std::string t = Trim(text);
    // Decimal only: the list holds pixel counts as typed.
    if (t.empty() || t.find_first_not_of("+-0123456789") != std::string::npos)
        return false;
    return ParseInt(t, INT32_MIN, INT32_MAX, v, kIniInt) && v >= 8;
}

int32_t TSettings::PreviewSizeLimit() const {
    if (!SRLimitSize())
        return 0;
    int64_t v = 0;
    std::string text = SRSizeLimit();
    return SizeLimitTextValid(text) && ParseInt(text, INT32_MIN, INT32_MAX, v, kIniInt) ? static_cast<int32_t>(v)
                                                                                        : kDefaultSizeLimit;
}

const char *TSettings::FolderKeyName(TFolderKey key) {
    switch (key) {
    case fkAvi: return "AviDir";
    case fkWav: return "WavDir";
    case fkPrj: return "PrjDir";
    case fkDbl: return "DblDir";
    case fkRef: return "RefDir";
    case fkRes: return "ResDir";
    }
    return "AviDir";
}

std::string TSettings::Folder(TFolderKey key) const { return ReadFolder(kCurrent, FolderKeyName(key)); }
void TSettings::SetFolder(TFolderKey key, const std::string &dir) { WriteString(kCurrent, FolderKeyName(key), dir); }
int32_t TSettings::ResFmt() const { return ReadInteger(kCurrent, "ResFmt", rfWav); }
void TSettings::SetResFmt(int32_t format) { WriteInteger(kCurrent, "ResFmt", format); }
std::string TSettings::PreviewEnv() const { return ReadString(kCurrent, "PreviewEnv", "2"); }
void TSettings::SetPreviewEnv(const std::string &seconds) { WriteString(kCurrent, "PreviewEnv", seconds); }
bool TSettings::ShowHints() const { return ReadBool(kCurrent, "ShowHints", true); }
void TSettings::SetShowHints(bool on) { WriteBool(kCurrent, "ShowHints", on); }
bool TSettings::ShowFileman() const { return ReadBool(kCurrent, "ShowFileman", true); }
void TSettings::SetShowFileman(bool on) { WriteBool(kCurrent, "ShowFileman", on); }
bool TSettings::ShowStatus() const { return ReadBool(kCurrent, "ShowStatus", true); }
void TSettings::SetShowStatus(bool on) { WriteBool(kCurrent, "ShowStatus", on); }

int32_t TSettings::MarkerDrawSize() const {
    int32_t size = ReadInteger(kCurrent, "MarkerDrawSize", 1);
    return size >= 1 && size <= 3 ? size : 1;
}

void TSettings::SetMarkerDrawSize(int32_t size) { WriteInteger(kCurrent, "MarkerDrawSize", size); }
std::string TSettings::LanguageName() const { return ReadString(kCurrent, "Language", ""); }
void TSettings::SetLanguageName(const std::string &name) { WriteString(kCurrent, "Language", name); }
std::string TSettings::LanguageFile() const { return ReadString(kDefaults, "LanguageFile", ""); }
void TSettings::SetLanguageFile(const std::string &fileName) { WriteString(kDefaults, "LanguageFile", fileName); }

int32_t TSettings::AutoChaptersInterval() const {
    int32_t frames = ReadInteger(kAutoChapters, "Interval", 0);
    return frames < 100 ? 2500 : frames;
}

void TSettings::SetAutoChaptersInterval(int32_t frames) { WriteInteger(kAutoChapters, "Interval", frames); }

} // namespace tessaly
