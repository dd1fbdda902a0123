// Tests of the shared trimming and ASCII case helpers.
#include "platform/text_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ini_file.h"

namespace tessaly {
namespace {

TEST(TextUtil, TrimRemovesOnlyTheGivenBlanksAtBothEnds) {
    EXPECT_EQ(TrimText(" \t\r\n\v\fa b\t \n"), "a b");
    EXPECT_EQ(TrimText(" \n\t "), "");
    EXPECT_EQ(TrimText(""), "");
    EXPECT_EQ(TrimText("x"), "x");
    // A narrower set keeps what it does not name, also inside the text.
    EXPECT_EQ(TrimText("\n key \n", " \t"), "\n key \n");
    EXPECT_EQ(TrimText(" \tkey \r", " \t"), "key \r");
    // A zero byte is text, not a blank.
    EXPECT_EQ(TrimText(std::string(" \0a ", 4)), std::string("\0a", 2));
}

TEST(TextUtil, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_EQ(UpperAscii("Deutsch-9_z\xE4"), "DEUTSCH-9_Z\xE4");
    EXPECT_TRUE(SameTextAscii("Options", "OPTIONS"));
    EXPECT_TRUE(SameTextAscii("", ""));
    EXPECT_FALSE(SameTextAscii("Option", "Options"));
    EXPECT_FALSE(SameTextAscii("\xE4", "\xC4")); // no folding beyond ASCII
    EXPECT_FALSE(SameTextAscii("[", "{"));       // punctuation 32 apart stays distinct
}

TEST(TextUtil, SplitKeepsEmptyFields) {
    EXPECT_EQ(SplitText("a||b", '|'), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitText("", '*'), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitText("*96*72*", '*'), (std::vector<std::string>{"", "96", "72", ""}));
}

TEST(TextUtil, IntegersAreStrictAndRangeChecked) {
    int64_t v = 7;
    EXPECT_TRUE(ParseInt("-25", -100, 100, v));
    EXPECT_EQ(v, -25);
    EXPECT_TRUE(ParseInt("+3", 0, 9, v));
    EXPECT_EQ(v, 3);
    EXPECT_TRUE(ParseInt("-9223372036854775808", INT64_MIN, 0, v));
    EXPECT_EQ(v, INT64_MIN);
    for (const char *bad : {"", "-", "+", " 5", "5 ", "1e3", "0x10", "12a", "9223372036854775808",
                            "99999999999999999999"})
        EXPECT_FALSE(ParseInt(bad, INT64_MIN, INT64_MAX, v)) << bad;
    EXPECT_FALSE(ParseInt("101", -100, 100, v));
    EXPECT_EQ(v, INT64_MIN);   // untouched by a refusal
}

// The number readers of the program's three places, each with its own rules: the command
// line takes the bare number, the fields of a project file and the edit fields allow any
// control character or blank around it, a settings file (ini) reads a 32-bit value that
// may also be written in hexadecimal with any number of leading zeros.
std::optional<int64_t> Read(const std::string &text, int64_t lo, int64_t hi, const TIntSyntax &syntax)
{
    int64_t v = 0;
    return ParseInt(text, lo, hi, v, syntax) ? std::optional<int64_t>(v) : std::nullopt;
}
std::optional<int64_t> Strict(const std::string &text)
{
    return Read(text, INT64_MIN, INT64_MAX, {});
}
std::optional<int64_t> Field(const std::string &text)
{
    return Read(text, INT64_MIN, INT64_MAX, kFieldInt);
}
std::optional<int64_t> Ini(const std::string &text)
{
    return Read(text, INT32_MIN, INT32_MAX, kIniInt);
}

TEST(TextUtil, EachNumberSyntaxAcceptsAndRefusesWhatItAlwaysDid) {
    constexpr std::nullopt_t no = std::nullopt;
    struct TRow {
        std::string Text;
        std::optional<int64_t> StrictValue, FieldValue, IniValue;
    };
    const std::vector<TRow> rows = {
        {"", no, no, no},
        {" ", no, no, no},
        {"0", 0, 0, 0},
        {"-0", 0, 0, 0},
        {"+5", 5, 5, 5},
        {"-5", -5, -5, -5},
        {" 5", no, 5, 5},
        {"5 ", no, 5, 5},
        {"\t5\r\n", no, 5, no},              // a line end is no blank of a settings line
        {"\v5\f", no, 5, 5},
        {std::string("\0" "5", 2), no, 5, no},   // every control character is a field blank
        {"\x01" "5\x1f", no, 5, no},
        {"+ 5", no, no, no},
        {"1 2", no, no, no},
        {"007", 7, 7, 7},
        {"0000000000000000000007", no, no, 7},   // 22 digits: only a settings file reads them
        {"9223372036854775807", INT64_MAX, INT64_MAX, no},
        {"-9223372036854775808", INT64_MIN, INT64_MIN, no},
        {"9223372036854775808", no, no, no},
        {"99999999999999999999999", no, no, no},
        {"2147483647", 2147483647, 2147483647, 2147483647},
        {"2147483648", 2147483648LL, 2147483648LL, no},
        {"-2147483648", -2147483648LL, -2147483648LL, -2147483648LL},
        {"-2147483649", -2147483649LL, -2147483649LL, no},
        {"0x10", no, no, 16},
        {"0XfF", no, no, 255},
        {" 0x7fffffff ", no, no, 2147483647},
        {"0xFFFFFFFF", no, no, -1},               // the 32-bit word, read as signed
        {"0x000000000080", no, no, 128},
        {"0x100000000", no, no, no},
        {"0x", no, no, no},
        {"0xg", no, no, no},
        {"-0x1", no, no, no},
        {"5x", no, no, no},
        {"1e3", no, no, no},
        {"--5", no, no, no},
        {"+-5", no, no, no},
        {"-", no, no, no},
        {"+", no, no, no},
        {"\xef\xbc\x91", no, no, no},            // a full-width digit is no digit
    };
    for (const TRow &row : rows) {
        EXPECT_EQ(Strict(row.Text), row.StrictValue) << "command line: \"" << row.Text << "\"";
        EXPECT_EQ(Field(row.Text), row.FieldValue) << "field: \"" << row.Text << "\"";
        EXPECT_EQ(Ini(row.Text), row.IniValue) << "settings: \"" << row.Text << "\"";
    }
}

TEST(TextUtil, EachBlankSetTrimsWhatItNames) {
    struct TRow {
        std::string Text, ByText, ByLine, ByField;   // trimmed by kTextBlanks, kLineBlanks, kFieldBlanks
    };
    const std::string nul(1, '\0');
    const std::vector<TRow> rows = {
        {" \t a b \r\n", "a b", "a b", "a b"},
        {"\v a \f", "a", "\v a \f", "a"},
        {nul + " a " + nul, nul + " a " + nul, nul + " a " + nul, "a"},
        {"\x1f" "a\x01", "\x1f" "a\x01", "\x1f" "a\x01", "a"},
        {"\x7f" "a", "\x7f" "a", "\x7f" "a", "\x7f" "a"},   // DEL and bytes above 127 are text
        {"\xa0" "a\xff", "\xa0" "a\xff", "\xa0" "a\xff", "\xa0" "a\xff"},
        {" \n\t ", "", "", ""},
        {"", "", "", ""},
    };
    for (const TRow &row : rows) {
        EXPECT_EQ(TrimText(row.Text), row.ByText);
        EXPECT_EQ(TrimText(row.Text, kLineBlanks), row.ByLine);
        EXPECT_EQ(TrimText(row.Text, kFieldBlanks), row.ByField);
    }
    // The field blanks are exactly the bytes 0 to 32.
    ASSERT_EQ(kFieldBlanks.size(), 33u);
    for (size_t i = 0; i < kFieldBlanks.size(); ++i)
        EXPECT_EQ(static_cast<size_t>(static_cast<unsigned char>(kFieldBlanks[i])), i == 32 ? size_t{32} : i);
}

} // namespace
} // namespace tessaly
