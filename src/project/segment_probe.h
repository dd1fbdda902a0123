// Numbered segment files: from a chosen file such as "cap007.avi" the files "cap008.avi",
// "cap009.avi" ... that follow it, and the file list (template and parts) naming them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessaly {

struct TSegmentProbe {
    std::string Template;                // folder + name + "*" + extension; "" without segments
    std::vector<std::string> Parts;      // the digits of each file, the chosen one first
    std::vector<std::string> Files;      // full names, the chosen one first (one entry without segments)
    // The file list: the chosen name alone, or the template and the parts joined by "|".
    std::string FileList() const;
    // The list of the files whose `keep` flag is set (a single name when one is left).
    std::string FileList(const std::vector<bool> &keep) const;
};

// Looks for the files that follow `fileName` by number: its trailing digits n (leading
// zeros kept) are counted on as n + 1, n + 2 ..., each tried with 0, 1, 2 ... leading
// zeros while the digits have at most 8 characters; the search ends at the first number
// without a file. `exists` tells whether a file exists (the file system by default).
TSegmentProbe ProbeSegments(const std::string &fileName,
                            const std::function<bool(const std::string &)> &exists = {});

} // namespace tessaly
