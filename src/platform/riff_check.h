// A check of a RIFF AVI file's OpenDML indexes made before any reader opens it: each index
// chunk ('indx' super and standard indexes, 'ix##' standard indexes) must have room for
// the entries it claims. Demuxers size their tables by that count before reading the
// entries, so a count of 0x7fffffff in a chunk of a few bytes would make them ask for many
// gigabytes (and end the program where memory is limited).
#pragma once

#include <string>

#include "media/common/media_error.h"

namespace tessaly {

// True when every index chunk of the RIFF AVI file at `path` holds the entries it claims,
// and for any file that is no RIFF AVI or cannot be read (its readers will say so). False
// with `problem` (reason wrIndexEntries: the count claimed, the entries the chunk holds)
// otherwise. Reads the header lists and the standard indexes the super indexes point at
// (at most 100,000 chunk headers in all); never blocks on a pipe.
bool AviIndexesFit(const std::string &path, TMediaProblem &problem);

} // namespace tessaly
