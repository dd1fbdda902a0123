// Reading ".avids" stream descriptor files.
#include "stream_descriptor.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tessaly::gst {

namespace {

constexpr size_t kDescriptorBytes = 2048;

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && s[b] == ' ')
        ++b;
    while (e > b && s[e - 1] == ' ')
        --e;
    return s.substr(b, e - b);
}

bool StartsWithNoCase(const std::string &s, const char *keyword)
{
    size_t i = 0;
    for (; keyword[i]; ++i)
        if (i >= s.size() || std::toupper(static_cast<unsigned char>(s[i])) != keyword[i])
            return false;
    return true;
}

bool EqualsNoCase(const std::string &s, const char *keyword)
{
    return StartsWithNoCase(s, keyword) && s.size() == std::char_traits<char>::length(keyword);
}

// The lines of the descriptor: tabs become blanks, control bytes and DEL are dropped.
std::vector<std::string> Lines(const std::string &data)
{
    std::vector<std::string> lines(1);
    for (char ch : data) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\r' || c == '\n')
            lines.emplace_back();
        else if (c == '\t')
            lines.back() += ' ';
        else if ((c >= 32 && c <= 126) || c >= 128)
            lines.back() += ch;
    }
    return lines;
}

std::string FolderOf(const std::string &name)
{
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(name));
    return p.parent_path().string();
}

} // namespace

bool IsStreamDescriptorName(const std::string &fileName)
{
    const std::string ext = ".avids";
    if (fileName.size() < ext.size())
        return false;
    return std::equal(ext.begin(), ext.end(), fileName.end() - std::ptrdiff_t(ext.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

TStreamDescriptor ReadStreamDescriptor(const std::string &descriptorName)
{
    TStreamDescriptor d;
    d.FileName = descriptorName.size() >= 2 ? descriptorName.substr(0, descriptorName.size() - 2) : std::string();
    std::ifstream in(descriptorName, std::ios::binary);
    if (!in)
        return d;
    std::string data(kDescriptorBytes, '\0');
    in.read(data.data(), std::streamsize(data.size()));
    data.resize(size_t(in.gcount()));
    std::string inForce = descriptorName;
    for (const std::string &raw : Lines(data)) {
        const std::string line = Trim(raw);
        if (line.empty())
            continue;
        if (StartsWithNoCase(line, "FILE ")) {
            std::string path = Trim(line.substr(5));
            std::replace(path.begin(), path.end(), '\\', '/');
            if (path.empty())
                continue;
            // Resolved against the folder of the name in force, without touching the
            // process's current directory (the host may rely on it).
            std::filesystem::path p(path);
            if (p.is_relative())
                p = std::filesystem::path(FolderOf(inForce)) / p;
            d.FileName = p.lexically_normal().string();
            inForce = d.FileName;
        } else if (StartsWithNoCase(line, "FPS ")) {
            const std::string number = Trim(line.substr(4));
            double value = 0;
            const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
            if (r.ec == std::errc() && r.ptr == number.data() + number.size() && value > 0)
                d.Fps = value;
        } else if (EqualsNoCase(line, "FLIP")) {
            d.Flip = true;
        }
    }
    return d;
}

} // namespace tessaly::gst
