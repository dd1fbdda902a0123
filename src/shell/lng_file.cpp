// TLngFile: language-file reading and value decoding.
#include "shell/lng_file.h"

#include "platform/file_system.h"
#include "platform/text_util.h"

namespace tessaly {

namespace {

bool IsSectionLine(const std::string &t) {
    return t.size() >= 2 && t.front() == '[' && t.back() == ']';
}

void AppendUtf8(std::string &out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return;   // no character to give
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsValidUtf8(const std::string &s) {
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        size_t follow;
        if (c < 0x80)
            follow = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            follow = 1;
        else if ((c & 0xF0) == 0xE0)
            follow = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            follow = 3;
        else
            return false;
        if (i + follow >= s.size() && follow > 0)
            return false;
        for (size_t k = 1; k <= follow; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += follow + 1;
    }
    return true;
}

// Quoted text as UTF-8: kept when it already is, else taken byte by byte as Latin-1
// (the form of older language files).
void AppendLiteral(std::string &out, const std::string &text) {
    if (IsValidUtf8(text)) {
        out += text;
        return;
    }
    for (unsigned char c : text)
        AppendUtf8(out, c);
}

} // namespace

TLngFile::TLngFile(const std::string &fileName) : FFileName(TrimText(fileName)) {}

bool TLngFile::ReadLines(std::vector<std::string> &lines) const {
    std::string text;
    if (FFileName.empty() || !ReadWholeFile(FFileName, text, nullptr, 16u << 20))
        return false;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        size_t stop = nl == std::string::npos ? text.size() : nl;
        lines.push_back(TrimText(text.substr(start, stop - start)));
        start = stop + 1;
    }
    return true;
}

std::vector<std::string> TLngFile::ReadLanguages() const {
    std::vector<std::string> lines, names;
    if (!ReadLines(lines))
        return names;
    for (const std::string &t : lines) {
        if (t.size() > 2 && IsSectionLine(t)) {
            std::string name = TrimText(t.substr(1, t.size() - 2));
            if (!name.empty())
                names.push_back(name);
        }
    }
    return names;
}

bool TLngFile::Lookup(const std::string &language, const std::string &key, std::string &value) const {
    std::vector<std::string> lines;
    if (!ReadLines(lines))
        return false;
    const std::string wantedSection = "[" + UpperAscii(TrimText(language)) + "]";
    const std::string wantedKey = UpperAscii(TrimText(key));
    bool inSection = false;
    for (const std::string &t : lines) {
        if (t.size() < 2)
            continue;
        if (IsSectionLine(t)) {
            if (inSection)
                return false;
            inSection = UpperAscii(t) == wantedSection;
            continue;
        }
        if (!inSection)
            continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        if (UpperAscii(TrimText(t.substr(0, eq))) == wantedKey) {
            value = TrimText(t.substr(eq + 1));
            return true;
        }
    }
    return false;
}

std::string TLngFile::DecodeValue(const std::string &value) {
    std::string out;
    size_t i = 0;
    const size_t n = value.size();
    while (i < n) {
        char c = value[i];
        if (c == '\'') {
            size_t close = value.find('\'', i + 1);
            size_t stop = close == std::string::npos ? n : close;
            AppendLiteral(out, value.substr(i + 1, stop - i - 1));
            i = close == std::string::npos ? n : close + 1;
        } else if (c == '#' || c == '$') {
            const bool hex = c == '$';
            uint32_t code = 0;
            size_t j = i + 1;
            bool any = false;
            for (; j < n; ++j) {
                char d = value[j];
                int digit = d >= '0' && d <= '9' ? d - '0'
                          : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                          : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10 : -1;
                if (digit < 0)
                    break;
                any = true;
                if (code <= 0x10FFFF)
                    code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
            }
            if (any)
                AppendUtf8(out, code);
            i = j;
        } else if (c == '\\') {
            if (i + 1 < n) {
                char e = value[i + 1];
                if (e == 'n' || e == 'N')
                    out += "\r\n";
                else if (e == 't' || e == 'T')
                    out += '\t';
                else
                    out += e;
                i += 2;
            } else {
                i = n;
            }
        } else {
            ++i;   // blanks, "+" and anything else outside quotes
        }
    }
    return out;
}

} // namespace tessaly
