// Probing for numbered segment files.
#include "project/segment_probe.h"

#include "platform/file_system.h"

namespace tessaly {

std::string TSegmentProbe::FileList() const
{
    return FileList(std::vector<bool>(Files.size(), true));
}

std::string TSegmentProbe::FileList(const std::vector<bool> &keep) const
{
    std::vector<size_t> kept;
    for (size_t i = 0; i < Files.size(); ++i)
        if (i >= keep.size() || keep[i])
            kept.push_back(i);
    if (Template.empty() || kept.size() == 1)
        return kept.empty() ? std::string() : Files[kept[0]];
    std::string list = kept.empty() ? std::string() : Template;
    for (size_t i : kept)
        list += "|" + Parts[i];
    return list;
}

TSegmentProbe ProbeSegments(const std::string &fileName, const std::function<bool(const std::string &)> &exists)
{
    auto present = [&exists](const std::string &name) { return exists ? exists(name) : FileExists(name); };
    TSegmentProbe probe;
    probe.Files.push_back(fileName);
    if (!present(fileName))
        return probe;
    const std::string dir = ExtractFilePath(fileName);
    std::string name = ExtractFileName(fileName);
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    name = name.substr(0, dot);
    size_t start = name.size();
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9')
        --start;
    const std::string digits = name.substr(start);
    if (digits.empty() || digits.size() > 18)
        return probe;
    const std::string stem = dir + name.substr(0, start);
    probe.Parts.push_back(digits);
    for (unsigned long long n = std::stoull(digits) + 1;; ++n) {
        std::string found;
        for (std::string text = std::to_string(n); text.size() <= 8; text = "0" + text) {
            if (present(stem + text + ext)) {
                found = text;
                break;
            }
        }
        if (found.empty())
            break;
        probe.Parts.push_back(found);
        probe.Files.push_back(stem + found + ext);
    }
    if (probe.Files.size() > 1)
        probe.Template = stem + "*" + ext;
    else
        probe.Parts.clear();
    return probe;
}

} // namespace tessaly
