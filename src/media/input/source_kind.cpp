// Kind strings and file lists of the source front-ends.
#include "media/input/source_kind.h"

#include <cctype>
#include <charconv>

#include "media/input/vfapi_host.h"
#include "platform/text_util.h"

namespace tessaly {

namespace {
const char *const kCodes[] = {"NONE", "AUTO", "DUMY", "MSVW", "ODML", "STIL", "MSDS", "VFAP", "LAVF"};
}

std::string UpperText(std::string s)
{
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string KindCode(TSourceKind kind)
{
    int k = int(kind);
    return k >= 0 && k <= int(kLastSourceKind) ? kCodes[k] : kCodes[0];
}

std::string MakeKindString(TSourceKind kind, int param)
{
    if (kind == ksVfap)
        return KindCode(kind) + "|" + UpperText(TrimText(PluginName(param), kLineBlanks));
    return KindCode(kind) + "|" + std::to_string(param);
}

void ParseKindString(const std::string &text, TSourceKind &kind, int &param)
{
    std::string upper = UpperText(text);
    size_t bar = upper.find('|');
    std::string code = TrimText(upper.substr(0, bar), kLineBlanks);
    std::string rest = bar == std::string::npos ? std::string() : TrimText(upper.substr(bar + 1), kLineBlanks);
    kind = ksAuto;
    for (int k = 0; k <= int(kLastSourceKind); ++k)
        if (code == kCodes[k])
            kind = TSourceKind(k);
    param = -1;
    if (kind == ksVfap) {
        for (int i = 0; i < PluginCount(); ++i)
            if (UpperText(TrimText(PluginName(i), kLineBlanks)) == rest) {
                param = i;
                break;
            }
        return;
    }
    int value = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec == std::errc() && end == rest.data() + rest.size() && !rest.empty())
        param = value;
}

std::vector<std::string> SplitFileList(const std::string &list)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t bar = list.find('|', start);
        fields.push_back(
            TrimText(list.substr(start, bar == std::string::npos ? std::string::npos : bar - start), kLineBlanks));
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    for (const std::string &f : fields)
        if (f.empty())
            return {};
    if (fields.size() == 1)
        return fields;
    const std::string &tmpl = fields[0];
    size_t star = tmpl.find('*');
    if (star == std::string::npos || tmpl.find('*', star + 1) != std::string::npos)
        return {};
    std::vector<std::string> files;
    for (size_t i = 1; i < fields.size(); ++i)
        files.push_back(tmpl.substr(0, star) + fields[i] + tmpl.substr(star + 1));
    return files;
}

std::string UpperExtension(const std::string &fileName)
{
    size_t slash = fileName.find_last_of('/');
    size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return UpperText(fileName.substr(dot));
}

} // namespace tessaly
