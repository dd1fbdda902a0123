// Tests of the shared trimming and ASCII case helpers.
#include "platform/text_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

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

} // namespace
} // namespace tessaly
