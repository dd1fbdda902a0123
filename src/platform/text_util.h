// Small text helpers shared by the file readers and the front-ends: trimming, ASCII-only
// case folding (non-ASCII bytes are compared and kept as they are), splitting and
// strict integer parsing.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Every blank the text files know: space, tab, CR, LF, vertical tab, form feed.
inline constexpr std::string_view kTextBlanks = " \t\r\n\v\f";
// The blanks of a list entry or a kind string: space, tab and the line ends.
inline constexpr std::string_view kLineBlanks = " \t\r\n";
// Every control character and the space (bytes 0 to 32): what may stand around a field
// of a project file or a value typed into an edit field.
inline constexpr std::string_view kFieldBlanks{"\0\1\2\3\4\5\6\7\10\11\12\13\14\15\16\17"
                                               "\20\21\22\23\24\25\26\27\30\31\32\33\34\35\36\37 ",
                                               33};

// s without leading and trailing characters from `blanks`; a new string.
std::string TrimText(std::string_view s, std::string_view blanks = kTextBlanks);

// s with the ASCII letters a-z raised to A-Z; other bytes unchanged.
std::string UpperAscii(std::string s);

// Whether a and b are equal ignoring the case of ASCII letters only.
bool SameTextAscii(const std::string &a, const std::string &b);

// The fields of `text` between the separators: "a||b" gives "a", "", "b"; an empty
// text gives one empty field.
std::vector<std::string> SplitText(const std::string &text, char separator);

// How a whole number may be written besides an optional sign and decimal digits.
struct TIntSyntax {
    std::string_view Blanks;   // may stand around the number (none by default)
    size_t MaxDigits = 19;     // a longer run of decimal digits (leading zeros) is refused
    bool Hex32 = false;        // "0x" and hex digits: a 32-bit word, read as signed
};
// A number in a field of a project file or an edit field: blanks around it allowed.
inline constexpr TIntSyntax kFieldInt{kFieldBlanks};

// A whole number written as `syntax` allows (by default an optional sign and at most 19
// digits, nothing else); false when empty, malformed or outside [lo, hi] (value
// untouched then).
bool ParseInt(std::string_view text, int64_t lo, int64_t hi, int64_t &value, const TIntSyntax &syntax = {});

// v with exactly `decimals` digits after the point (printf's %.*Lf).
std::string FormatFixed(long double v, int decimals);

} // namespace tessaly
