// Small text helpers for the settings, ini and language files.
#include "platform/text_util.h"

namespace tessaly {

std::string TrimText(const std::string &s, const char *blanks) {
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

namespace {

char UpperChar(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

} // namespace

std::string UpperAscii(std::string s) {
    for (char &c : s)
        c = UpperChar(c);
    return s;
}

bool SameTextAscii(const std::string &a, const std::string &b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperChar(a[i]) != UpperChar(b[i]))
            return false;
    return true;
}

} // namespace tessaly
