// TSafeOutput: a result file written under a temporary name in its target's folder and
// renamed onto the target only when complete, so that a failed, aborted or killed run
// never leaves a half file under the target name nor harms an earlier file of that name.
#pragma once

#include <string>

namespace tessaly {

class TSafeOutput {
public:
    TSafeOutput() = default;
    ~TSafeOutput() { Discard(); }   // an uncommitted temporary file is removed
    TSafeOutput(const TSafeOutput &) = delete;
    TSafeOutput &operator=(const TSafeOutput &) = delete;

    // Creates ".NAME.XXXXXX.part" beside `target` exclusively (O_EXCL, never through a
    // link; mode 0666 less the umask) and returns its descriptor, open for reading and
    // writing and owned by this object; -1 with errno set on failure (EISDIR when the
    // target is a folder). Discards an earlier temporary file first.
    int Create(const std::string &target);
    // Flushes (fsync) and closes the descriptor, renames the temporary file onto the
    // target and syncs the folder. False with errno set; the temporary file is removed.
    bool Commit();
    // Closes and removes the temporary file when one exists and was not committed.
    void Discard();

    int Descriptor() const { return FFd; }
    const std::string &Target() const { return FTarget; }
    const std::string &TempName() const { return FTemp; }

private:
    std::string FTarget;
    std::string FTemp;
    int FFd = -1;
};

} // namespace tessaly
