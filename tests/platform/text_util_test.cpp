// Tests of the shared trimming and ASCII case helpers.
#include "platform/text_util.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tessaly
