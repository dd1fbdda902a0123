// Small text helpers for the settings, ini and language files.
#include "platform/text_util.h"

#include <cstdio>

namespace tessaly {

namespace {

std::string_view TrimView(std::string_view s, std::string_view blanks) {
    const size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

} // namespace

std::string TrimText(std::string_view s, std::string_view blanks) {
    return std::string(TrimView(s, blanks));
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

namespace {

int HexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

bool InRange(int64_t v, int64_t lo, int64_t hi, int64_t &value) {
    if (v < lo || v > hi)
        return false;
    value = v;
    return true;
}

} // namespace

bool ParseInt(std::string_view text, int64_t lo, int64_t hi, int64_t &value, const TIntSyntax &syntax) {
    std::string_view t = TrimView(text, syntax.Blanks);
    if (syntax.Hex32 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        uint64_t word = 0;
        for (char c : t.substr(2)) {
            const int d = HexDigit(c);
            if (d < 0)
                return false;
            word = word * 16 + static_cast<uint64_t>(d);
            if (word > 0xFFFFFFFFu)
                return false;
        }
        return InRange(static_cast<int32_t>(static_cast<uint32_t>(word)), lo, hi, value);
    }
    const bool negative = !t.empty() && t[0] == '-';
    if (!t.empty() && (t[0] == '-' || t[0] == '+'))
        t.remove_prefix(1);
    if (t.empty() || t.size() > syntax.MaxDigits)
        return false;
    // Leading zeros aside, more than 19 digits lie beyond 64 bits; 19 fit an unsigned
    // 64-bit value.
    uint64_t magnitude = 0;
    size_t significant = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        if (magnitude == 0 && c == '0')
            continue;
        if (++significant > 19)
            return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
    }
    if (magnitude > uint64_t{INT64_MAX} + (negative ? 1 : 0))
        return false;
    return InRange(negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude), lo, hi, value);
}

std::string FormatFixed(long double v, int decimals)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, v);
    return text;
}

} // namespace tessaly
