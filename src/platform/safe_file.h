// Result files and private temporary folders: a result is written under a temporary
// name beside its target and renamed onto it only when complete; temporary files live
// in a folder that only this user can enter.
#pragma once

#include <string>

namespace tessaly {

// A file written under a temporary name in the folder of its target. Where the file
// system has unnamed files (O_TMPFILE) the file has no name at all until Commit links it
// in, so a killed process leaves nothing behind; elsewhere Create makes a named temporary
// file exclusively (never through a link, never over an existing file). Commit renames it
// onto the target; anything not committed is removed again, so a failed or aborted run
// never leaves a half file under the target name nor harms an earlier file of that name.
class TSafeFile {
public:
    TSafeFile() = default;
    ~TSafeFile() { Discard(); }
    TSafeFile(const TSafeFile &) = delete;
    TSafeFile &operator=(const TSafeFile &) = delete;

    // Creates an unnamed file in the folder of `target`, or ".NAME.XXXXXX" beside it
    // (permissions 0666 less the umask), and returns its descriptor opened read/write
    // (the caller closes it), or -1 with errno set. A target that names a folder fails
    // with EISDIR. Discards any earlier file.
    int Create(const std::string &target);
    // Gives the file its temporary name (an unnamed file is linked in first), renames it
    // onto the target and makes the rename durable; the caller has flushed (fsync) and
    // closed the descriptor. False with errno set; the temporary file is then removed.
    bool Commit();
    // Removes the temporary file when one exists and was not committed.
    void Discard();

    const std::string &Target() const { return FTarget; }
    // The temporary name; empty for an unnamed file until Commit.
    const std::string &TempName() const { return FTemp; }
    bool Pending() const { return !FTemp.empty() || FUnnamed >= 0; }
    // Whether the file being written has no name (O_TMPFILE).
    bool Unnamed() const { return FUnnamed >= 0; }

private:
    std::string FTarget;
    std::string FTemp;
    int FUnnamed = -1;   // own descriptor of an unnamed file, kept for linking it in
};

// A folder "tessaly-XXXXXX" made with mode 0700 inside a parent folder; removed with
// the files it holds on destruction (files are removed by name inside the folder,
// never through a link).
class TPrivateFolder {
public:
    TPrivateFolder() = default;
    ~TPrivateFolder() { Remove(); }
    TPrivateFolder(const TPrivateFolder &) = delete;
    TPrivateFolder &operator=(const TPrivateFolder &) = delete;

    // Makes the folder inside `parent` (removing an earlier one first). False with
    // errno set when the parent does not exist or refuses.
    bool Create(const std::string &parent);
    // Removes the regular files and links directly inside, then the folder.
    void Remove();
    bool Exists() const { return !FPath.empty(); }
    // True while the folder exists and is still private (IsPrivateFolder).
    bool StillPrivate() const;
    // The folder with a trailing "/", empty when none exists.
    std::string Path() const { return FPath.empty() ? std::string() : FPath + "/"; }
    // The parent it was made in, as given to Create.
    const std::string &Parent() const { return FParent; }

private:
    std::string FPath;
    std::string FParent;
};

// Checks that `path` is a folder (not a link) owned by this user that nobody else may
// write to or enter (no group or other permission bits). False with `why` saying what
// is wrong.
bool IsPrivateFolder(const std::string &path, std::string *why = nullptr);

} // namespace tessaly
