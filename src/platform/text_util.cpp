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

std::vector<std::string> SplitText(const std::string &text, char separator) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == separator)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool ParseInt(const std::string &text, int64_t lo, int64_t hi, int64_t &value) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        i = 1;
    if (i >= text.size() || text.size() - i > 19)
        return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    // 19 digits fit an unsigned 64-bit value; beyond the signed range nothing is in [lo, hi].
    if (magnitude > uint64_t{INT64_MAX} + (negative ? 1 : 0))
        return false;
    const int64_t v = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    if (v < lo || v > hi)
        return false;
    value = v;
    return true;
}

} // namespace tessaly
