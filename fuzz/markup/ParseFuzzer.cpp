// Parses any input as UTF-16 units and as UTF-8 text, walks the result, edits well-formed
// documents and checks that the index always matches a fresh parse of the edited text.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzWalk.h"
#include "markup/MarkupDoc.h"
#include "platform/Utf.h"

namespace {

using markup::MarkupDoc;
using markup::fuzz::Check;

void SameTree(const MarkupDoc& a, std::uint32_t ea, const MarkupDoc& b, std::uint32_t eb)
{
    std::uint32_t ca = a.Element(ea).firstChild;
    std::uint32_t cb = b.Element(eb).firstChild;
    while (ca != 0 && cb != 0) {
        const markup::ElementRecord ra = a.Element(ca);
        const markup::ElementRecord rb = b.Element(cb);
        Check(ra.start == rb.start && ra.length == rb.length && ra.tagLengths == rb.tagLengths);
        SameTree(a, ca, b, cb);
        ca = ra.next;
        cb = rb.next;
    }
    Check(ca == 0 && cb == 0);
}

void Exercise(const std::u16string& text, std::uint8_t script, bool ignoreCase)
{
    MarkupDoc doc(ignoreCase ? markup::IgnoreCase : 0);
    const bool wellFormed = doc.SetDocument(text);
    Check(doc.GetResult().size() <= 1000);
    markup::fuzz::CheckIndex(doc);
    markup::fuzz::Walk(doc);
    if (!wellFormed || ignoreCase) {
        // Edits of an ill-formed text need not parse back the same way, but must stay in bounds.
        doc.ResetPos();
        if (doc.FindChildElement()) {
            doc.SetChildAttribute(u"k", u"v<&>\"'");
            doc.AddChildElement(u"x", u"1");
            doc.SetContent(doc.ChildPos(), u"c");
        }
        markup::fuzz::CheckIndex(doc);
        markup::fuzz::Walk(doc);
        return;
    }
    // A script of edits chosen by one input byte.
    doc.ResetPos();
    doc.FindElement();
    for (int step = 0; step < 8; ++step) {
        switch ((script >> (step % 4)) & 7) {
        case 0:
            doc.AddChildElement(u"x", step % 2 ? u"a]]>b" : u"", step % 3 == 0 ? markup::AsCData : 0);
            break;
        case 1:
            doc.SetChildAttribute(u"k", u"<\u5FEB>");
            break;
        case 2:
            doc.SetContent(doc.ChildPos(), u"t&t");
            break;
        case 3:
            doc.EnterElement() || doc.FindChildElement();
            break;
        case 4:
            doc.AddElement(u"y", u"", step % 2 ? markup::NoLineBreak : markup::SpacedEmptyTag);
            break;
        case 5:
            doc.SetAttribute(u"id", u"");
            break;
        case 6:
            doc.LeaveElement();
            break;
        default:
            doc.FindChildElement();
            break;
        }
    }
    markup::fuzz::CheckIndex(doc);
    MarkupDoc fresh;
    fresh.SetDocument(doc.GetDocument());
    SameTree(doc, 0, fresh, 0);
    markup::fuzz::Walk(doc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::uint8_t script = data[0];
    std::u16string wide(size / 2, u'\0');
    std::memcpy(wide.data(), data, wide.size() * 2);
    Exercise(wide, script, false);
    const std::u16string text =
        platform::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    Exercise(text, script, (script & 0x80) != 0);
    // Reference handling on its own.
    const std::u16string unescaped = MarkupDoc::UnescapeText(text);
    Check(unescaped.size() <= text.size());
    Check(MarkupDoc::UnescapeText(MarkupDoc::EscapeText(text, true)) == text);
    return 0;
}
