// The markup parser: every key, quoting, escapes and malformed input.

#include "skin/Markup.h"

#include <functional>
#include <random>

#include <gtest/gtest.h>

#include <QStringList>

using skin::MarkupSegment;
using skin::ParseMarkup;

namespace {

struct MarkupCase
{
    const char* name;
    const char16_t* markup;
    std::size_t segments;
    std::function<void(const std::vector<MarkupSegment>&)> check;
};

void PrintTo(const MarkupCase& c, std::ostream* os)
{
    *os << c.name;
}

class MarkupTable : public ::testing::TestWithParam<MarkupCase>
{};

TEST_P(MarkupTable, Parses)
{
    const MarkupCase& c = GetParam();
    const auto segments = ParseMarkup(QStringView(c.markup));
    ASSERT_EQ(segments.size(), c.segments);
    if (c.check) {
        c.check(segments);
    }
}

const MarkupCase Cases[] = {
    {"PlainText", u"hello", 1, [](const auto& s) { EXPECT_EQ(s[0].text, u"hello"); }},
    {"DoubledSlashIsOneSlash", u"/c=ffffff/35Kb//s", 1, [](const auto& s) { EXPECT_EQ(s[0].text, u"35Kb/s"); }},
    {"ColourWithPrefix",
     u"/c=0xffffff/abc",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].colour, 0xFFFFFFu);
         EXPECT_EQ(s[0].text, u"abc");
     }},
    {"ColourWithoutPrefix", u"/c=c59900/", 1, [](const auto& s) { EXPECT_EQ(s[0].colour, 0xC59900u); }},
    {"ColourWithHash", u"/c=#0000FF/", 1, [](const auto& s) { EXPECT_EQ(s[0].colour, 0x0000FFu); }},
    {"ColourOfNegativeNumberIsMasked", u"/c=ffffffff/", 1, [](const auto& s) { EXPECT_EQ(s[0].colour, 0xFFFFFFu); }},
    {"BadColourIgnored", u"/c=zz/x", 1, [](const auto& s) { EXPECT_FALSE(s[0].colour.has_value()); }},
    {"FontKeys",
     u"/global,c=123456,font,font_face=宋体,font_height=13,font_bold=1/",
     1,
     [](const auto& s) {
         EXPECT_TRUE(s[0].global);
         EXPECT_EQ(s[0].colour, 0x123456u);
         EXPECT_EQ(s[0].fontFace, u"宋体");
         EXPECT_EQ(s[0].fontHeight, 13);
         EXPECT_EQ(s[0].fontBold, true);
     }},
    {"FontKeysWithoutFontFlag",
     u"/font_height=20,font_bold=0/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].fontHeight, 20);
         EXPECT_EQ(s[0].fontBold, false);
     }},
    {"AnchorWithPicture",
     u"/a,p=7,linkt='搜索'/",
     1,
     [](const auto& s) {
         EXPECT_TRUE(s[0].anchor);
         EXPECT_EQ(s[0].picture, 7);
         EXPECT_EQ(s[0].tooltip, u"搜索");
     }},
    {"ThreePictures",
     u"/a,p3=309|308|310/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].pictures3, (std::array<int, 3>{309, 308, 310}));
     }},
    {"ThreePicturesFallBackToNormal",
     u"/p3=4/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].pictures3, (std::array<int, 3>{4, 4, 4}));
     }},
    {"Button",
     u"/a,p5=9,btn_text='确定',btn_width=50,btn_height=23/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].picture5, 9);
         EXPECT_EQ(s[0].buttonText, u"确定");
         EXPECT_EQ(s[0].buttonWidth, 50);
         EXPECT_EQ(s[0].buttonHeight, 23);
     }},
    {"LastDuplicateKeyWins",
     u"/btn_height=41,btn_height=18/",
     1,
     [](const auto& s) { EXPECT_EQ(s[0].buttonHeight, 18); }},
    {"SpacesAroundKeys",
     u"/a, p5=3 , linkt = '关闭' /",
     1,
     [](const auto& s) {
         EXPECT_TRUE(s[0].anchor);
         EXPECT_EQ(s[0].picture5, 3);
         EXPECT_EQ(s[0].tooltip, u"关闭");
     }},
    {"LinkKeys",
     u"/a,linkl=2,linkc=1,linkh=0x9134a6/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].linkLine, 2);
         EXPECT_EQ(s[0].linkColour, 1);
         EXPECT_EQ(s[0].hoverColour, 0x9134A6u);
     }},
    {"LinkLineModeClamped", u"/linkl=9/", 1, [](const auto& s) { EXPECT_EQ(s[0].linkLine, 2); }},
    {"WrapKeys",
     u"/line_width=130,line_space=5,single_line=2/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].lineWidth, 130);
         EXPECT_EQ(s[0].lineSpace, 5);
         EXPECT_EQ(s[0].singleLine, 2);
     }},
    {"QuotedValueKeepsCommaAndSlash",
     u"/btn_text='a,b/c'/tail",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].buttonText, u"a,b/c");
         EXPECT_EQ(s[0].text, u"tail");
     }},
    {"DoubleQuotes", u"/linkt=\"it's\"/", 1, [](const auto& s) { EXPECT_EQ(s[0].tooltip, u"it's"); }},
    {"QuotedDoubledSlash", u"/btn_text='Kb//s'/", 1, [](const auto& s) { EXPECT_EQ(s[0].buttonText, u"Kb/s"); }},
    {"GlobalThenAnchor",
     u"/global,c=ffffff//a,p5=318,btn_text='x'/",
     2,
     [](const auto& s) {
         EXPECT_TRUE(s[0].global);
         EXPECT_FALSE(s[0].anchor);
         EXPECT_TRUE(s[1].anchor);
         EXPECT_FALSE(s[1].global);
     }},
    {"EscapedQuoteInText", u"/c=1/say \\\"hi\\\"", 1, [](const auto& s) { EXPECT_EQ(s[0].text, u"say \"hi\""); }},
    {"BackslashElsewhereKept", u"C:\\dir\\b", 1, [](const auto& s) { EXPECT_EQ(s[0].text, u"C:\\dir\\b"); }},
    {"LeadingText",
     u"ab/c=1/cd",
     2,
     [](const auto& s) {
         EXPECT_EQ(s[0].text, u"ab");
         EXPECT_FALSE(s[0].colour.has_value());
         EXPECT_EQ(s[1].colour, 1u);
         EXPECT_EQ(s[1].text, u"cd");
     }},
    {"UnterminatedBlock",
     u"/c=ff,font_height=",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].colour, 0xFFu);
         EXPECT_FALSE(s[0].fontHeight.has_value());
     }},
    {"UnterminatedQuote", u"/btn_text='abc", 1, [](const auto& s) { EXPECT_EQ(s[0].buttonText, u"abc"); }},
    {"BadNumbersIgnored",
     u"/font_height=-3,btn_width=abc,p5=x/",
     1,
     [](const auto& s) {
         EXPECT_FALSE(s[0].fontHeight.has_value());
         EXPECT_EQ(s[0].buttonWidth, -1);
         EXPECT_EQ(s[0].picture5, 0);
     }},
    {"HugeSizesClamped",
     u"/btn_width=999999,line_width=99999999/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].buttonWidth, 8192);
         EXPECT_EQ(s[0].lineWidth, 8192);
     }},
    {"KeysAreCaseInsensitive",
     u"/C=ff,A/",
     1,
     [](const auto& s) {
         EXPECT_EQ(s[0].colour, 0xFFu);
         EXPECT_TRUE(s[0].anchor);
     }},
    {"UnknownKeysIgnored",
     u"/zz=1,qq,a/x",
     1,
     [](const auto& s) {
         EXPECT_TRUE(s[0].anchor);
         EXPECT_EQ(s[0].text, u"x");
     }},
    {"Empty", u"", 0, nullptr},
    {"TripleSlash", u"///", 2, [](const auto& s) { EXPECT_EQ(s[0].text, u"/"); }},
    {"SlashRuns", u"///x//", 3, [](const auto& s) { EXPECT_EQ(s[0].text, u"/"); }},
    {"StrayQuoteInBlock",
     u"/'a/b",
     1,
     [](const auto& s) {
         EXPECT_TRUE(s[0].anchor);
         EXPECT_EQ(s[0].text, u"b");
     }},
};

INSTANTIATE_TEST_SUITE_P(Keys, MarkupTable, ::testing::ValuesIn(Cases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST(Markup, EscapedTextComesBackUnchanged)
{
    const QString text = QStringLiteral("a/b//c/ 下载/s");
    const auto segments = ParseMarkup(QString(QStringLiteral("/c=1/") + skin::EscapeMarkupText(text)));
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].text, text);
}

TEST(Markup, RandomInputNeverHangsOrCrashes)
{
    // Characters that steer the parser, mixed with key names.
    const QStringList pieces = {QStringLiteral("/"),
                                QStringLiteral(","),
                                QStringLiteral("="),
                                QStringLiteral("'"),
                                QStringLiteral("\""),
                                QStringLiteral("\\"),
                                QStringLiteral("|"),
                                QStringLiteral(" "),
                                QStringLiteral("a"),
                                QStringLiteral("p5=1"),
                                QStringLiteral("p3=1|2"),
                                QStringLiteral("c=0x"),
                                QStringLiteral("btn_text="),
                                QStringLiteral("line_width=5"),
                                QStringLiteral("字")};
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(pieces.size()) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int round = 0; round < 3000; ++round) {
        QString markup;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            markup += pieces[pick(random)];
        }
        const auto segments = ParseMarkup(markup);
        EXPECT_LE(segments.size(), static_cast<std::size_t>(markup.size()) + 1);
    }
}

} // namespace
