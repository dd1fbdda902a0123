// File-system helpers: existence tests, path pieces, the volume type for the FAT
// limit, the program folder, and durable whole-file replacement.
#pragma once

#include <string>

namespace tessaly {

// True when `path` names an existing regular file (after following links).
bool FileExists(const std::string &path);
// True when `path` names an existing folder (after following links).
bool DirectoryExists(const std::string &path);

// Absolute, lexically normalised form of `path` (relative paths resolve against the
// current folder; links are not followed). Empty input gives an empty result.
std::string ExpandFileName(const std::string &path);
// The folder part of `path` including its final "/" ("" when there is none).
std::string ExtractFilePath(const std::string &path);
// The part after the last "/".
std::string ExtractFileName(const std::string &path);
// The extension of the file name part, from its last "." on ("" when there is none).
std::string ExtractFileExt(const std::string &path);
// `path` with its extension replaced by `ext` (which includes its "." or is empty).
std::string ChangeFileExt(const std::string &path, const std::string &ext);
// `dir` with a "/" appended unless it is empty or already ends in one.
std::string IncludeTrailingSlash(const std::string &dir);

// Kind of volume holding `path` (or, when it does not exist yet, its folder).
enum TVolumeKind { vkUnknown, vkOther, vkFat, vkExFat };
TVolumeKind VolumeKind(const std::string &path);
// A name for the volume's file system ("FAT32", "exFAT", "ext4", "tmpfs", ... or a
// hexadecimal magic number); empty when the volume cannot be queried.
std::string FileSystemName(const std::string &path);
// True only when the volume is FAT12/16/32, whose files cannot reach 4 GiB.
// exFAT is not limited and answers false.
bool IsFatVolume(const std::string &path);

// Folder of the running program with a trailing "/", from /proc/self/exe, unless an
// override is set. Never empty: "./" when the program path cannot be found.
std::string ProgramDir();
// Makes ProgramDir() return `dir` (with a trailing "/" added); empty clears it.
// Meant for tests and for plug-in discovery pointed elsewhere.
void SetProgramDirOverride(const std::string &dir);

// The system temporary folder: $TMPDIR when it names an existing folder, else "/tmp/";
// always with a trailing "/".
std::string SystemTempDir();
// The user's configuration folder: $XDG_CONFIG_HOME when absolute, else $HOME/.config
// (home from the password database when $HOME is unset); with a trailing "/".
std::string UserConfigDir();
// Creates `dir` and any missing parents (mode 0777 minus umask); true when it exists
// afterwards.
bool ForceDirectories(const std::string &dir);

// Replaces the file `path` with `contents` so that a crash or a full disk never leaves
// a half-written file: a temporary file beside the target is written, flushed to disk
// and renamed over it (links are followed, the old file's permissions kept).
// False on failure, with `error` (optional) naming the file and the system's reason;
// the old file is then untouched.
bool WriteFileAtomic(const std::string &path, const std::string &contents, std::string *error = nullptr);
// `what` "PATH": the system's text for `err` (e.g. Cannot create "/x/y.avi": Permission
// denied), for messages that must name the file and the reason.
std::string FileErrorText(const std::string &what, const std::string &path, int err);

// Reads a whole file of at most `maxBytes`. Returns false when it cannot be read; `err`
// (optional) receives errno (ENOENT for a missing file, EFBIG when too large).
bool ReadWholeFile(const std::string &path, std::string &contents, int *err = nullptr,
                   size_t maxBytes = 64u << 20);

} // namespace tessaly
