#include "platform/Utf.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Utf, RoundTripsChineseAndAstralCharacters)
{
    const std::string text = "每日最新 a/b \xF0\x9F\x8E\xAE"; // ends with U+1F3AE
    std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide.substr(0, 4), u"每日最新");
    EXPECT_EQ(wide.size(), 4u + 5u + 2u);
    EXPECT_EQ(Utf16ToUtf8(wide), text);
    EXPECT_TRUE(IsValidUtf8(text));
}

TEST(Utf, BadInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");                             // truncated sequence
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");                     // overlong
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");         // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xC4\xE3\xBA\xC3"), u"\uFFFD\uFFFD\uFFFD\uFFFD"); // GBK bytes are not UTF-8
    EXPECT_FALSE(IsValidUtf8("\xC4\xE3\xBA\xC3"));
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x"), "\xEF\xBF\xBDx");
}
