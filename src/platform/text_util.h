// Small text helpers for the settings, ini and language files: trimming and ASCII-only
// case folding (non-ASCII bytes are compared and kept as they are).
#pragma once

#include <string>

namespace tessaly {

// Every blank the text files know: space, tab, CR, LF, vertical tab, form feed.
inline constexpr const char *kTextBlanks = " \t\r\n\v\f";

// s without leading and trailing characters from blanks (a zero-terminated set); a new string.
std::string TrimText(const std::string &s, const char *blanks = kTextBlanks);

// s with the ASCII letters a-z raised to A-Z; other bytes unchanged.
std::string UpperAscii(std::string s);

// Whether a and b are equal ignoring the case of ASCII letters only.
bool SameTextAscii(const std::string &a, const std::string &b);

} // namespace tessaly
