#include <string>

#include <gtest/gtest.h>

#include "MarkupTestSupport.h"
#include "markup/MarkupDoc.h"

namespace markup::test {
namespace {

TEST(MarkupEdit, FirstChildOpensAnEmptyParent)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<downlog/>"));
    ASSERT_TRUE(doc.FindElement(u"downlog"));
    ASSERT_TRUE(doc.AddChildElement(u"log"));
    EXPECT_EQ(U8(doc.GetDocument()), "<downlog>\r\n<log/>\r\n</downlog>");
    ASSERT_TRUE(doc.AddChildElement(u"log"));
    EXPECT_EQ(U8(doc.GetDocument()), "<downlog>\r\n<log/>\r\n<log/>\r\n</downlog>");
    ExpectIndexMatchesText(doc);
    EXPECT_TRUE(doc.IsWellFormed());
}

TEST(MarkupEdit, ElementsWithoutPredecessorGoFirstIntoAnEmptyBodyOrLastOtherwise)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r></r>"));
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.AddChildElement(u"a", u"1"));
    EXPECT_EQ(U8(doc.GetDocument()), "<r>\r\n<a>1</a>\r\n</r>");
    doc.ResetPos();
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.AddChildElement(u"b", {}, NoLineBreak));
    EXPECT_EQ(U8(doc.GetDocument()), "<r>\r\n<a>1</a>\r\n<b/></r>");
    ExpectIndexMatchesText(doc);
}

TEST(MarkupEdit, OptionsShapeTheNewElement)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r/>"));
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.AddChildElement(u"s", {}, SpacedEmptyTag | NoLineBreak));
    ASSERT_TRUE(doc.AddChildElement(u"n", {}, NoEndTag | NoLineBreak));
    EXPECT_FALSE(doc.AddChildElement(u"bad", u"value", NoEndTag));
    ASSERT_TRUE(doc.AddChildElement(u"c", u"a]]>b<", AsCData | NoLineBreak));
    EXPECT_EQ(U8(doc.GetDocument()), "<r><s /><n><c><![CDATA[a]]]]><![CDATA[>b<]]></c></r>");
    EXPECT_EQ(U8(doc.GetContent(doc.ChildPos())), "a]]>b<");
    EXPECT_TRUE(doc.Element(doc.ChildPos() - 1).flags & Unended);
}

TEST(MarkupEdit, AttributesAreReplacedInPlaceOrAppendedInOrder)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r><g a='1' b=2 c  />\r\n<h/></r>"));
    ASSERT_TRUE(doc.FindChildElement(u"g"));
    ASSERT_TRUE(doc.SetChildAttribute(u"a", u"x\"y"));
    ASSERT_TRUE(doc.SetChildAttribute(u"b", u"<3>"));
    ASSERT_TRUE(doc.SetChildAttribute(u"c", u"&"));
    ASSERT_TRUE(doc.SetChildAttribute(u"d", u"4"));
    EXPECT_EQ(U8(doc.GetDocument()), "<r><g a=\"x&quot;y\" b=\"&lt;3&gt;\" c=\"&amp;\" d=\"4\"  />\r\n<h/></r>");
    EXPECT_EQ(U8(doc.GetChildAttribute(u"a")), "x\"y");
    EXPECT_EQ(U8(doc.GetChildAttribute(u"c")), "&");
    EXPECT_EQ(U8(doc.GetChildAttribute(u"missing")), "");
    EXPECT_EQ(U8(doc.GetChildAttribute({})), "");
    ExpectIndexMatchesText(doc);
    ASSERT_TRUE(doc.FindChildElement(u"h"));
    EXPECT_EQ(doc.GetTagName(doc.ChildPos()), u"h");
}

TEST(MarkupEdit, AnAttributeThatWouldTurnATagIntoAnEmptyElementIsRefused)
{
    // "x</>" ends the start tag of g without making it an empty-element tag ("<" before the "/"
    // neither ends the name nor is a space or a quote); an attribute added before the "/" would.
    const std::u16string text = u"<r><g x</>t</g></r>";
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(text));
    ASSERT_TRUE(doc.FindChildElement(u"g"));
    EXPECT_FALSE(doc.SetChildAttribute(u"id", u""));
    EXPECT_EQ(doc.GetDocument(), text);
    ExpectIndexMatchesText(doc);
    ASSERT_TRUE(doc.SetAttribute(u"id", u"1")); // the root's ordinary tag still takes attributes
    EXPECT_EQ(U8(doc.GetDocument()), "<r id=\"1\"><g x</>t</g></r>");
    ExpectIndexMatchesText(doc);
}

TEST(MarkupEdit, SetContentReplacesTextAndOpensEmptyElements)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<game><laststate>1</laststate><intro/><x><y/></x></game>"));
    ASSERT_TRUE(doc.FindChildElement(u"laststate"));
    ASSERT_TRUE(doc.SetContent(doc.ChildPos(), u"3 < 4"));
    ASSERT_TRUE(doc.FindChildElement(u"intro"));
    ASSERT_TRUE(doc.SetContent(doc.ChildPos(), u"new"));
    ASSERT_TRUE(doc.FindChildElement(u"x"));
    EXPECT_FALSE(doc.SetContent(doc.ChildPos(), u"refused: has a child"));
    EXPECT_FALSE(doc.SetContent(0, u"refused"));
    EXPECT_EQ(U8(doc.GetDocument()), "<game><laststate>3 &lt; 4</laststate><intro>new</intro><x><y/></x></game>");
    ExpectIndexMatchesText(doc);
    doc.ResetPos();
    ASSERT_TRUE(doc.FindChildElement(u"laststate"));
    EXPECT_EQ(U8(doc.GetContent(doc.ChildPos())), "3 < 4");
}

TEST(MarkupEdit, EditsRefusedWithoutTarget)
{
    MarkupDoc doc;
    EXPECT_FALSE(doc.SetAttribute(u"a", u"1"));
    EXPECT_FALSE(doc.AddChildElement(u"a"));
    EXPECT_FALSE(doc.AddElement({}));
    MarkupDoc reading(ReadingFile);
    EXPECT_FALSE(reading.AddElement(u"a"));
    EXPECT_FALSE(reading.SetDocument(u"<a/>"));
}

// Builds the catalogue file the way the store writes it.
void BuildGamelist(MarkupDoc& doc, int games)
{
    ASSERT_TRUE(doc.AddElement(u"gamelist"));
    for (int i = 0; i < games; ++i) {
        const std::u16string id = U16(std::to_string(100 + i));
        ASSERT_TRUE(doc.AddChildElement(u"game"));
        ASSERT_TRUE(doc.SetChildAttribute(u"id", id));
        ASSERT_TRUE(doc.SetChildAttribute(u"name", u"\u5FEB\u4E50 & \"Co\" " + id));
        ASSERT_TRUE(doc.SetChildAttribute(u"srcname", u"(Happy)"));
        ASSERT_TRUE(doc.EnterElement());
        ASSERT_TRUE(doc.AddChildElement(u"cominfo", u"\u4F11\u95F2##2010-1-1##" + id + u"##"));
        ASSERT_TRUE(doc.AddChildElement(u"intro", i % 3 == 0 ? u"" : u"a <b> & c"));
        ASSERT_TRUE(doc.AddChildElement(u"detailintro", u"\u8BE6\u7EC6"));
        ASSERT_TRUE(doc.AddChildElement(u"playskill", u""));
        ASSERT_TRUE(doc.AddChildElement(u"icopic", u"ico\\" + id + u".jpg"));
        if (i % 2 == 0) {
            ASSERT_TRUE(doc.AddChildElement(u"piclist", u"pic\\" + id + u"_1.jpg##"));
        }
        ASSERT_TRUE(doc.LeaveElement());
    }
}

TEST(MarkupEdit, GamelistWriteForm)
{
    MarkupDoc doc;
    BuildGamelist(doc, 2);
    EXPECT_EQ(U8(doc.GetDocument()),
              "<gamelist>\r\n"
              "<game id=\"100\" name=\"\u5FEB\u4E50 &amp; &quot;Co&quot; 100\" srcname=\"(Happy)\">\r\n"
              "<cominfo>\u4F11\u95F2##2010-1-1##100##</cominfo>\r\n"
              "<intro/>\r\n"
              "<detailintro>\u8BE6\u7EC6</detailintro>\r\n"
              "<playskill/>\r\n"
              "<icopic>ico\\100.jpg</icopic>\r\n"
              "<piclist>pic\\100_1.jpg##</piclist>\r\n"
              "</game>\r\n"
              "<game id=\"101\" name=\"\u5FEB\u4E50 &amp; &quot;Co&quot; 101\" srcname=\"(Happy)\">\r\n"
              "<cominfo>\u4F11\u95F2##2010-1-1##101##</cominfo>\r\n"
              "<intro>a &lt;b&gt; &amp; c</intro>\r\n"
              "<detailintro>\u8BE6\u7EC6</detailintro>\r\n"
              "<playskill/>\r\n"
              "<icopic>ico\\101.jpg</icopic>\r\n"
              "</game>\r\n"
              "</gamelist>\r\n");
    EXPECT_TRUE(doc.IsWellFormed());
    ExpectIndexMatchesText(doc);
}

TEST(MarkupEdit, ExitUpdateInPlaceKeepsTheIndexExact)
{
    MarkupDoc doc;
    BuildGamelist(doc, 40);
    MarkupDoc parsed;
    ASSERT_TRUE(parsed.SetDocument(doc.GetDocument()));
    // Add laststate to games that lack it, change it where present, as the exit update does.
    ASSERT_TRUE(parsed.FindElement(u"gamelist"));
    int n = 0;
    while (parsed.FindChildElement(u"game")) {
        ASSERT_TRUE(parsed.EnterElement());
        if (parsed.FindChildElement(u"laststate")) {
            ASSERT_TRUE(parsed.EnterElement());
            ASSERT_TRUE(parsed.SetContent(parsed.MainPos(), u"2"));
            ASSERT_TRUE(parsed.LeaveElement());
        } else {
            ASSERT_TRUE(parsed.AddChildElement(u"laststate", U16(std::to_string(n % 5))));
        }
        ASSERT_TRUE(parsed.LeaveElement());
        ++n;
    }
    EXPECT_EQ(n, 40);
    ExpectIndexMatchesText(parsed);
    // A second pass changes every state.
    parsed.ResetPos();
    ASSERT_TRUE(parsed.FindElement(u"gamelist"));
    while (parsed.FindChildElement(u"game")) {
        ASSERT_TRUE(parsed.EnterElement());
        ASSERT_TRUE(parsed.FindChildElement(u"laststate"));
        ASSERT_TRUE(parsed.SetContent(parsed.ChildPos(), u"12345"));
        ASSERT_TRUE(parsed.LeaveElement());
    }
    ExpectIndexMatchesText(parsed);
    EXPECT_TRUE(parsed.IsWellFormed());
}

TEST(MarkupEdit, InsertingInTheMiddleKeepsTheIndexExact)
{
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(u"<r>\r\n<a><x/></a>\r\n<b/>\r\n<c>t</c>\r\n</r>"));
    ASSERT_TRUE(doc.FindChildElement(u"a"));
    ASSERT_TRUE(doc.AddChildElement(u"m", u"1"));
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.SetAttribute(u"k", u"v"));
    ASSERT_TRUE(doc.AddElement(u"s", u"2"));
    ASSERT_TRUE(doc.AddChildElement(u"inner"));
    ASSERT_TRUE(doc.LeaveElement());
    ASSERT_TRUE(doc.FindChildElement(u"b"));
    ASSERT_TRUE(doc.SetChildAttribute(u"q", u"\u00E9"));
    ASSERT_TRUE(doc.SetContent(doc.ChildPos(), u"bee"));
    EXPECT_EQ(U8(doc.GetDocument()),
              "<r>\r\n<a><x/></a>\r\n<m k=\"v\">1</m>\r\n<s>2<inner/>\r\n</s>\r\n"
              "<b q=\"\u00E9\">bee</b>\r\n<c>t</c>\r\n</r>");
    ExpectIndexMatchesText(doc);
}

TEST(MarkupEdit, EditsAtPlacesTheIndexCannotHoldAreRefused)
{
    // An end tag of more than 1,023 units and a start tag of more than 4,194,303 units do not fit
    // their fields of the record: an edit that needs where they end changes nothing.
    const std::u16string longEnd = u"<r><n>v</n" + std::u16string(1100, u' ') + u"></r>";
    MarkupDoc doc;
    ASSERT_TRUE(doc.SetDocument(longEnd));
    ASSERT_TRUE(doc.FindChildElement(u"n"));
    EXPECT_FALSE(doc.SetContent(doc.ChildPos(), u"w"));
    ASSERT_TRUE(doc.EnterElement());
    EXPECT_FALSE(doc.AddChildElement(u"x"));
    EXPECT_EQ(doc.GetDocument(), longEnd);
    EXPECT_TRUE(doc.SetAttribute(u"k", u"1")); // the start tag is short

    const std::u16string longStart = u"<r><n" + std::u16string(4200000, u' ') + u"/></r>";
    ASSERT_TRUE(doc.SetDocument(longStart));
    ASSERT_TRUE(doc.FindChildElement(u"n"));
    EXPECT_FALSE(doc.SetChildAttribute(u"k", u"1"));
    EXPECT_FALSE(doc.SetContent(doc.ChildPos(), u"w"));
    EXPECT_TRUE(doc.GetDocument() == longStart);
    EXPECT_TRUE(doc.IsWellFormed());

    // Nor is a new tag made that its record could not hold.
    ASSERT_TRUE(doc.SetDocument(u"<r/>"));
    ASSERT_TRUE(doc.FindElement());
    EXPECT_FALSE(doc.AddChildElement(std::u16string(1100, u'n'), u"v"));
    EXPECT_EQ(doc.GetDocument(), u"<r/>");
}

} // namespace
} // namespace markup::test
