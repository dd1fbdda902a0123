// TSettings: the program's settings file (tessaly.ini) and its keys, read and written
// key by key with their defaults and reading rules; nothing is cached.
#pragma once

#include "platform/ini_file.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace tessaly {

// Raised when the system refuses to write the settings file; names the file.
class ESettingsWriteError : public std::runtime_error {
public:
    ESettingsWriteError(const std::string &fileName, const std::string &reason);
    const std::string &FileName() const { return FFileName; }

private:
    std::string FFileName;
};

// The last-folder keys of section Current.
enum TFolderKey { fkAvi, fkWav, fkPrj, fkDbl, fkRef, fkRes };

// Result file type chosen last in the result save dialog.
enum TResultFormat { rfWav = 1, rfAvi = 2 };

// Name of the temporary preview file inside TempDir.
inline constexpr const char *kTempFileName = "~tsytmp~.avi";

class TSettings {
public:
    // Uses the settings file `fileName`; DefaultFileName() when empty.
    explicit TSettings(const std::string &fileName = std::string());
    // "tessaly.ini" beside the program when that file exists (portable use), else
    // UserConfigDir() + "tessaly/tessaly.ini".
    static std::string DefaultFileName();
    const std::string &FileName() const { return FIni.FileName(); }

    // Typed access with the file's reading rules (see TIniFile); writes create the
    // file and its folder and throw ESettingsWriteError when refused.
    std::string ReadString(const std::string &section, const std::string &key, const std::string &def) const;
    int32_t ReadInteger(const std::string &section, const std::string &key, int32_t def) const;
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;
    // Trimmed; empty unless the folder exists.
    std::string ReadFolder(const std::string &section, const std::string &key) const;
    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    void WriteInteger(const std::string &section, const std::string &key, int64_t value);
    void WriteBool(const std::string &section, const std::string &key, bool value);

    // Options/TempDir: the stored folder when it exists, else SystemTempDir(); always
    // with a trailing "/".
    std::string TempDir() const;
    // Stores a newly chosen temporary folder (a "/" appended when missing). Nothing is
    // deleted in the old folder: the preview keeps its file in a private folder of its
    // own and removes that itself.
    void SetTempDir(const std::string &dir);
    // TempDir() + "~tsytmp~.avi" when that folder exists (the preview makes its file
    // of this name in a private folder inside TempDir(), see TPreviewFile).
    // When it does not and `ask` is set, `chooseFolder` (the folder selection; it gets
    // the current folder and returns false when cancelled) runs once, a chosen folder
    // is stored as by SetTempDir, and the check is repeated.
    bool GetTempFile(bool ask, std::string &fileName,
                     const std::function<bool(std::string &folder)> &chooseFolder = {});

    // Options: DefGlobShift (default 0) and the preview offset shown for it (its
    // negation; the one value without a negation, -2147483648, gives 2147483647).
    int32_t DefGlobShift() const;
    void SetDefGlobShift(int32_t value);
    int32_t PreviewOffset() const;
    void SetPreviewOffset(int32_t offset);
    bool UseDefGlobShift() const;                       // default false
    // Options: how new projects read the primary track along the curve (0 sample copy,
    // 1 band-limited, 2 keep pitch; default 1) and their cut fade in ms (default 5, 0 .. 1000).
    int32_t DefResampling() const;
    int32_t DefCrossFadeMs() const;
    void SetUseDefGlobShift(bool on);
    bool DisableSegments() const;                       // default false
    void SetDisableSegments(bool on);
    bool SegmentSearch() const { return !DisableSegments(); }
    bool SRWarnOnLoad() const;                          // default false
    void SetSRWarnOnLoad(bool on);
    bool SRWarnOnCalc() const;                          // default true
    void SetSRWarnOnCalc(bool on);
    bool SRLimitSize() const;                           // default true
    void SetSRLimitSize(bool on);
    std::string SRSizeLimit() const;                    // the list text, default "384"
    void SetSRSizeLimit(const std::string &text);
    // The preview size limit in pixels: the SRSizeLimit number when SRLimitSize is on
    // (384 when the stored text is not an integer of at least 8), else 0 (no limit).
    int32_t PreviewSizeLimit() const;
    // The settings window accepts a size-limit text only when it is an integer 8 .. 2147483647.
    static bool SizeLimitTextValid(const std::string &text);

    // Options/FrameCacheMB: the memory the window's decoded pictures may take, in MiB
    // (default 512; a stored value outside 16 .. 65536 reads as 512).
    int32_t FrameCacheMB() const;
    void SetFrameCacheMB(int32_t megabytes);
    static constexpr int32_t kMinFrameCacheMB = 16, kMaxFrameCacheMB = 65536;

    // Current: last folders of the file dialogs (empty unless they exist).
    std::string Folder(TFolderKey key) const;
    void SetFolder(TFolderKey key, const std::string &dir);
    static const char *FolderKeyName(TFolderKey key);
    int32_t ResFmt() const;                             // default rfWav
    void SetResFmt(int32_t format);
    std::string PreviewEnv() const;                     // default "2"
    void SetPreviewEnv(const std::string &seconds);
    bool ShowHints() const;                             // default true
    void SetShowHints(bool on);
    bool ShowFileman() const;                           // default true
    void SetShowFileman(bool on);
    bool ShowStatus() const;                            // default true
    void SetShowStatus(bool on);
    // 1 .. 3; any other stored value reads as 1.
    int32_t MarkerDrawSize() const;
    void SetMarkerDrawSize(int32_t size);
    std::string LanguageName() const;                   // Current/Language, default empty
    void SetLanguageName(const std::string &name);
    // Defaults/LanguageFile: a language file to use instead of the default one.
    std::string LanguageFile() const;
    void SetLanguageFile(const std::string &fileName);
    // AutoChapters/Interval in frames; a stored value below 100 (or none) reads as 2500.
    int32_t AutoChaptersInterval() const;
    void SetAutoChaptersInterval(int32_t frames);

private:
    TIniFile FIni;
};

} // namespace tessaly
