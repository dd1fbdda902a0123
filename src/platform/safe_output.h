// TSafeOutput: a result file written under a temporary name in its target's folder and
// renamed onto the target only when complete (TSafeFile), for writers that hand the
// descriptor to another library: this object owns the descriptor and flushes it.
#pragma once

#include <string>

#include "platform/safe_file.h"

namespace tessaly {

class TSafeOutput {
public:
    TSafeOutput() = default;
    ~TSafeOutput() { Discard(); }   // an uncommitted temporary file is removed
    TSafeOutput(const TSafeOutput &) = delete;
    TSafeOutput &operator=(const TSafeOutput &) = delete;

    // Creates the temporary file beside `target` (see TSafeFile::Create) and returns its
    // descriptor, owned by this object; -1 with errno set on failure. Discards an
    // earlier temporary file first.
    int Create(const std::string &target);
    // Flushes (fsync) and closes the descriptor, renames the temporary file onto the
    // target and syncs the folder. False with errno set; the temporary file is removed.
    bool Commit();
    // Closes and removes the temporary file when one exists and was not committed.
    void Discard();

    int Descriptor() const { return FFd; }
    const std::string &Target() const { return FFile.Target(); }
    const std::string &TempName() const { return FFile.TempName(); }

private:
    TSafeFile FFile;
    int FFd = -1;
};

} // namespace tessaly
