// Small text helpers shared by the file readers and the front-ends: trimming, ASCII-only
// case folding (non-ASCII bytes are compared and kept as they are), splitting and
// strict integer parsing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// Every blank the text files know: space, tab, CR, LF, vertical tab, form feed.
inline constexpr const char *kTextBlanks = " \t\r\n\v\f";

// s without leading and trailing characters from blanks (a zero-terminated set); a new string.
std::string TrimText(const std::string &s, const char *blanks = kTextBlanks);

// s with the ASCII letters a-z raised to A-Z; other bytes unchanged.
std::string UpperAscii(std::string s);

// Whether a and b are equal ignoring the case of ASCII letters only.
bool SameTextAscii(const std::string &a, const std::string &b);

// The fields of `text` between the separators: "a||b" gives "a", "", "b"; an empty
// text gives one empty field.
std::vector<std::string> SplitText(const std::string &text, char separator);

// A decimal integer: an optional sign and digits only (no blanks); false when empty,
// malformed or outside [lo, hi] (value untouched then).
bool ParseInt(const std::string &text, int64_t lo, int64_t hi, int64_t &value);

} // namespace tessaly
