#include <string>

#include <gtest/gtest.h>

#include "MarkupTestSupport.h"
#include "markup/MarkupDoc.h"

namespace markup::test {
namespace {

TEST(MarkupParse, EmptyTextIsNotWellFormedAndLeavesNoNote)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.IsWellFormed());
    EXPECT_FALSE(doc.SetDocument(u""));
    EXPECT_TRUE(doc.GetResult().empty());
    EXPECT_FALSE(doc.FindChildElement(u"game"));
    EXPECT_FALSE(doc.FindElement());
    EXPECT_EQ(doc.ElementCount(), 0U);
}

TEST(MarkupParse, WellFormedDocumentIndexesEveryElement)
{
    MarkupDoc doc;
    const std::u16string text = u"\xFEFF<?xml version=\"1.0\"?>\r\n<!-- c --><!DOCTYPE g [<!ENTITY x \"y\">]>"
                                u"<g a=\"1\"><x/><y>t</y><z><w/></z></g>\r\n";
    ASSERT_TRUE(doc.SetDocument(text)) << U8(doc.GetResult());
    EXPECT_TRUE(doc.GetResult().empty());
    EXPECT_EQ(doc.ElementCount(), 5U);
    const ElementRecord root = doc.Element(1);
    EXPECT_EQ(text.substr(root.start, 9), u"<g a=\"1\">");
    EXPECT_EQ(root.length, text.size() - 2 - root.start);
    EXPECT_EQ(root.tagLengths & 0x3FFFFF, 9U);
    EXPECT_EQ(root.tagLengths >> 22, 4U);
    EXPECT_EQ(root.flags & LevelMask, 0U);
    const ElementRecord w = doc.Element(5);
    EXPECT_EQ(w.flags & LevelMask, 2U);
    EXPECT_EQ(w.tagLengths >> 22, 0U);
    // First child's previous link names the last child.
    EXPECT_EQ(doc.Element(doc.Element(1).firstChild).prev, 4U);
    EXPECT_TRUE(doc.Element(2).flags & FirstChild);
}

TEST(MarkupParse, UnendedElementIsClosedAtItsStartTag)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(u"<a><b>text</a>"));
    EXPECT_EQ(U8(doc.GetResult()), "<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"10\"/>");
    const ElementRecord b = doc.Element(2);
    EXPECT_EQ(b.length, 3U);
    EXPECT_TRUE(b.flags & Unended);
    EXPECT_EQ(doc.Element(1).length, 14U);
    EXPECT_TRUE(doc.Element(0).flags & IllFormed);
}

TEST(MarkupParse, ChildrenOfUnendedElementsFollowThemAsSiblings)
{
    MarkupDoc doc;
    // b and c are never closed; their children move up under a, in document order.
    doc.SetDocument(u"<a><b><x/><c><y/><z/></a>");
    std::vector<std::u16string> names;
    for (std::uint32_t e = doc.Element(1).firstChild; e != 0; e = doc.Element(e).next) {
        names.push_back(doc.GetTagName(e));
        EXPECT_EQ(doc.Element(e).parent, 1U);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"b", u"x", u"c", u"y", u"z"}));
    EXPECT_EQ(doc.Element(doc.Element(1).firstChild).prev, 6U);
    EXPECT_EQ(U8(doc.GetResult()),
              "<unended_start_tag tagname=\"c\" offset=\"10\" offset2=\"21\"/>"
              "<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"21\"/>");
    ExpectIndexMatchesText(doc);
}

TEST(MarkupParse, LoneEndTagIsIgnored)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(u"<a>x</b>y</a>"));
    EXPECT_EQ(U8(doc.GetResult()), "<lone_end_tag tagname=\"b\" offset=\"4\"/>");
    EXPECT_EQ(doc.Element(1).length, 13U);
    EXPECT_TRUE(doc.Element(1).flags & InnerError);
    ASSERT_TRUE(doc.FindElement(u"a"));
    EXPECT_EQ(U8(doc.GetContent()), "xy");
}

TEST(MarkupParse, TopLevelSiblingsAndMissingRoot)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(u"<a/><b/>"));
    EXPECT_EQ(U8(doc.GetResult()), "<root_has_sibling/>");
    EXPECT_EQ(doc.ElementCount(), 2U);
    EXPECT_FALSE(doc.SetDocument(u"just text"));
    EXPECT_EQ(U8(doc.GetResult()), "<no_root_element/>");
}

TEST(MarkupParse, UnclosedAtEndOfText)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(u"<a><b>"));
    // b, the child of the unended a, follows a at the top level.
    EXPECT_EQ(U8(doc.GetResult()),
              "<unended_start_tag tagname=\"b\" offset=\"3\" offset2=\"6\"/>"
              "<unended_start_tag tagname=\"a\" offset=\"0\" offset2=\"6\"/><root_has_sibling/>");
}

TEST(MarkupParse, IgnoreCaseMatchesEndTagsAndNames)
{
    MarkupDoc strict;
    EXPECT_FALSE(strict.SetDocument(u"<Game></game>"));
    MarkupDoc relaxed(IgnoreCase);
    EXPECT_TRUE(relaxed.SetDocument(u"<Game><ID>1</id></game>"));
    EXPECT_TRUE(relaxed.FindElement(u"GAME"));
    EXPECT_TRUE(relaxed.FindChildElement(u"id"));
    // After a pair of equal characters at or above 128 the rest compares exactly.
    EXPECT_FALSE(relaxed.SetDocument(u"<\u00E9A></\u00E9a>"));
    EXPECT_TRUE(relaxed.SetDocument(u"<A\u00E9></a\u00E9>"));
}

struct ScannerCase
{
    const char16_t* text;
    const char* note;
};

class ScannerNotes : public ::testing::TestWithParam<ScannerCase>
{};

TEST_P(ScannerNotes, RecordsTheNoteAndMarksTheDocument)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(GetParam().text));
    EXPECT_NE(U8(doc.GetResult()).find(GetParam().note), std::string::npos) << U8(doc.GetResult());
    EXPECT_TRUE(doc.Element(0).flags & IllFormed);
}

INSTANTIATE_TEST_SUITE_P(Syntax,
                         ScannerNotes,
                         ::testing::Values(ScannerCase{u"<r>< a/></r>", "<first_tag_syntax offset=\"3\"/>"},
                                           ScannerCase{u"<r><!x></r>", "<exclamation_tag_syntax offset=\"3\"/>"},
                                           ScannerCase{u"<r><!-x></r>", "<comment_tag_syntax offset=\"3\"/>"},
                                           ScannerCase{u"<r><![X[a]]></r>", "<cdata_section_syntax offset=\"3\"/>"},
                                           ScannerCase{u"<!DOCTYPE r [<!Q>]><r/>",
                                                       "<doctype_tag_syntax offset=\"0\"/>"},
                                           ScannerCase{u"<r><!-- open", "type=\"comment\" offset=\"3\""},
                                           ScannerCase{u"<r><![CDATA[ open", "type=\"cdata_section\" offset=\"3\""},
                                           ScannerCase{u"<r><?pi open", "type=\"processing_instruction\" offset=\"3\""},
                                           ScannerCase{u"<r></r", "type=\"end_tag\" offset=\"3\""},
                                           ScannerCase{u"<r><s a='>", "type=\"start_tag\" offset=\"3\""},
                                           ScannerCase{u"<r><!DOCTYPE ", "type=\"document_type\" offset=\"3\""},
                                           ScannerCase{u"<r><", "type=\"tag\" offset=\"3\""},
                                           ScannerCase{u"<r><!", "type=\"tag\" offset=\"3\""}));

TEST(MarkupParse, QuotedGreaterThanStaysInsideTheTag)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r a=\"x>y\" b = 'p>q'><c/></r>"));
    ASSERT_TRUE(doc.FindElement(u"r"));
    EXPECT_EQ(U8(doc.GetAttribute(u"a")), "x>y");
    EXPECT_EQ(U8(doc.GetAttribute(u"b")), "p>q");
    EXPECT_TRUE(doc.FindChildElement(u"c"));
}

TEST(MarkupParse, ResultTextStaysWithinItsLimit)
{
    std::u16string text = u"<r>";
    for (int i = 0; i < 200; ++i) {
        text += u"</lonely>";
    }
    text += u"</r>";
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(text));
    EXPECT_LE(doc.GetResult().size(), 1000U);
    EXPECT_GT(doc.GetResult().size(), 900U);
}

TEST(MarkupParse, DeepNestingStaysLinear)
{
    // Unended elements nested 200,000 deep: each is re-linked once, not once per level.
    std::u16string text;
    for (int i = 0; i < 200000; ++i) {
        text += u"<a>";
    }
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetDocument(text));
    EXPECT_EQ(doc.ElementCount(), 200000U);
    std::uint32_t count = 0;
    for (std::uint32_t e = doc.Element(0).firstChild; e != 0; e = doc.Element(e).next) {
        ++count;
    }
    EXPECT_EQ(count, 200000U);
}

TEST(MarkupParse, IndexGrowsInSegments)
{
    std::u16string text = u"<r>";
    for (int i = 0; i < 150000; ++i) {
        text += u"<e/>";
    }
    text += u"</r>";
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(text));
    EXPECT_EQ(doc.ElementCount(), 150001U);
    EXPECT_EQ(doc.Element(150001).start, text.size() - 8);
    EXPECT_LE(doc.IndexBytes(), (150002U * sizeof(ElementRecord)) + 64 * sizeof(void*));
}

TEST(MarkupNavigation, ChildSearchGoesForwardOnly)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<gamelist><game id=\"1\"><cominfo>c</cominfo><intro>i</intro></game>"
                                u"<game id=\"2\"/></gamelist>"));
    ASSERT_TRUE(doc.FindElement(u"gamelist"));
    ASSERT_TRUE(doc.FindChildElement(u"game"));
    EXPECT_EQ(U8(doc.GetChildAttribute(u"id")), "1");
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindChildElement(u"intro"));
    EXPECT_FALSE(doc.FindChildElement(u"cominfo"));
    EXPECT_EQ(doc.GetTagName(doc.ChildPos()), u"intro");
    ASSERT_TRUE(doc.LeaveElement());
    EXPECT_EQ(doc.GetTagName(doc.MainPos()), u"gamelist");
    ASSERT_TRUE(doc.FindChildElement(u"game"));
    EXPECT_EQ(U8(doc.GetChildAttribute(u"id")), "2");
    EXPECT_FALSE(doc.FindChildElement(u"game"));
    EXPECT_FALSE(doc.LeaveElement());
}

TEST(MarkupNavigation, FindChildElementStartsAtTheRoot)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<set><maxnum>3</maxnum></set>"));
    ASSERT_TRUE(doc.FindChildElement(u"maxnum"));
    EXPECT_EQ(doc.GetTagName(doc.MainPos()), u"set");
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_EQ(U8(doc.GetContent()), "3");
    EXPECT_FALSE(doc.EnterElement() && doc.EnterElement());
}

TEST(MarkupNavigation, NameMatchingStopsAtDelimiters)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r><gamex/><game/></r>"));
    ASSERT_TRUE(doc.FindChildElement(u"game"));
    EXPECT_EQ(doc.GetTagName(doc.ChildPos()), u"game");
    doc.ResetPos();
    EXPECT_TRUE(doc.FindElement(u"r x"));
}

struct ContentCase
{
    const char16_t* text;
    const char16_t* content;
};

class Content : public ::testing::TestWithParam<ContentCase>
{};

TEST_P(Content, OfTheRoot)
{
    MarkupDoc doc;
    doc.SetDocument(GetParam().text);
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(U8(doc.GetContent()), U8(GetParam().content));
}

INSTANTIATE_TEST_SUITE_P(Reading,
                         Content,
                         ::testing::Values(ContentCase{u"<a>a &amp; b</a>", u"a & b"},
                                           ContentCase{u"<a><![CDATA[<x> &amp; ]]></a>", u"<x> &amp; "},
                                           ContentCase{u"<a>1<!-- no -->2<?pi x?>3<![CDATA[&]]>4</a>", u"123&4"},
                                           ContentCase{u"<a><b>x</b></a>", u""},
                                           ContentCase{u"<a/>", u""},
                                           ContentCase{u"<a></a>", u""},
                                           ContentCase{u"<a>&#65;&#x42;&lt;&GT;</a>", u"AB<>"},
                                           ContentCase{u"<a>\u5FEB\u4E50</a>", u"\u5FEB\u4E50"}));

struct EntityCase
{
    const char16_t* in;
    const char16_t* out;
};

class Unescape : public ::testing::TestWithParam<EntityCase>
{};

TEST_P(Unescape, Replaces)
{
    EXPECT_EQ(U8(MarkupDoc::UnescapeText(GetParam().in)), U8(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(References,
                         Unescape,
                         ::testing::Values(EntityCase{u"&#65;", u"A"},
                                           EntityCase{u"&#x42;", u"B"},
                                           EntityCase{u"&#X42;", u"B"},
                                           EntityCase{u"&oslash;", u"\u00F8"},
                                           EntityCase{u"&Oslash;", u"\u00D8"},
                                           EntityCase{u"&OSLASH;", u"\u00D8"},
                                           EntityCase{u"&prime;&Prime;", u"\u2032\u2033"},
                                           EntityCase{u"&darr;&dArr;&DARR;", u"\u2193\u21D3\u21D3"},
                                           EntityCase{u"&AMP;&apos;&quot;", u"&'\""},
                                           EntityCase{u"&euro;&diams;&thetasym;", u"\u20AC\u2666\u03D1"},
                                           EntityCase{u"&nosuch;", u"&nosuch;"},
                                           EntityCase{u"a & b", u"a & b"},
                                           EntityCase{u"&#0;&#;&;", u"&#0;&#;&;"},
                                           EntityCase{u"&#x1F600;", u"\U0001F600"},
                                           EntityCase{u"&#x110000;", u"&#x110000;"},
                                           EntityCase{u"&verylongname;", u"&verylongname;"},
                                           EntityCase{u"&amp", u"&amp"}));

TEST(MarkupEscape, ElementAndAttributeForms)
{
    EXPECT_EQ(U8(MarkupDoc::EscapeText(u"<a & 'b' \"c\">", false)), "&lt;a &amp; 'b' \"c\"&gt;");
    EXPECT_EQ(U8(MarkupDoc::EscapeText(u"<a & 'b' \"c\">", true)), "&lt;a &amp; &apos;b&apos; &quot;c&quot;&gt;");
}

TEST(MarkupParse, EndTagsMatchByTheNameRule)
{
    // The start tag's name matches an end tag's name that it begins, when the end tag's name ends
    // there or goes on with "[" or "]".
    struct Case
    {
        const char16_t* text;
        std::uint32_t flags;
        bool wellFormed;
    };
    const Case cases[] = {
        {u"<a></a[1]>", 0, true},
        {u"<a></a]>", 0, true},
        {u"<a[x></a[x]>", 0, true},
        {u"<r><a><b></a[2]></r>", 0, false}, // b unended, a closed
        {u"<a[1]></a>", 0, false},
        {u"<ab></a[1]>", 0, false},
        {u"<a></ab>", 0, false},
        {u"<A></a[1]>", IgnoreCase, true},
        {u"<A></a[1]>", 0, false},
    };
    for (const Case& c : cases) {
        MarkupDoc doc(c.flags);
        EXPECT_EQ(doc.SetDocument(c.text), c.wellFormed) << U8(c.text) << " " << U8(doc.GetResult());
    }
    MarkupDoc doc;
    doc.SetDocument(u"<r><a><b></a[2]></r>");
    EXPECT_EQ(U8(doc.GetResult()), "<unended_start_tag tagname=\"b\" offset=\"6\" offset2=\"9\"/>");
    EXPECT_EQ(doc.Element(2).length, 13U);
}

} // namespace
} // namespace markup::test
