#pragma once

#include <string>

#include <gtest/gtest.h>

#include "markup/MarkupDoc.h"
#include "platform/Utf.h"

namespace markup::test {

inline std::string U8(std::u16string_view text)
{
    return platform::Utf16ToUtf8(text);
}

inline std::u16string U16(std::string_view text)
{
    return platform::Utf8ToUtf16(text);
}

// Walks two element trees side by side and compares what the index says about each element.
inline void ExpectSameTree(const MarkupDoc& a, std::uint32_t ea, const MarkupDoc& b, std::uint32_t eb)
{
    std::uint32_t ca = a.Element(ea).firstChild;
    std::uint32_t cb = b.Element(eb).firstChild;
    while (ca != 0 && cb != 0) {
        const ElementRecord ra = a.Element(ca);
        const ElementRecord rb = b.Element(cb);
        EXPECT_EQ(ra.start, rb.start);
        EXPECT_EQ(ra.length, rb.length) << "element at " << ra.start;
        EXPECT_EQ(ra.tagLengths, rb.tagLengths) << "element at " << ra.start;
        EXPECT_EQ(ra.parent == 0, rb.parent == 0);
        EXPECT_EQ(ra.flags & (FirstChild | Unended), rb.flags & (FirstChild | Unended));
        ExpectSameTree(a, ca, b, cb);
        ca = ra.next;
        cb = rb.next;
    }
    EXPECT_EQ(ca == 0, cb == 0) << "children differ in number";
}

// An edited document's index must equal the index a fresh parse of its text gives.
inline void ExpectIndexMatchesText(const MarkupDoc& edited)
{
    MarkupDoc fresh;
    fresh.SetDocument(edited.GetDocument());
    EXPECT_EQ(edited.Element(0).length, edited.GetDocument().size());
    ExpectSameTree(edited, 0, fresh, 0);
    // The last-child link of every first child names the real last child.
    for (std::uint32_t e = 0; e <= edited.ElementCount(); ++e) {
        const std::uint32_t first = edited.Element(e).firstChild;
        if (first == 0) {
            continue;
        }
        std::uint32_t last = first;
        while (edited.Element(last).next != 0) {
            EXPECT_EQ(edited.Element(edited.Element(last).next).prev, last);
            last = edited.Element(last).next;
        }
        EXPECT_EQ(edited.Element(first).prev, last);
    }
}

} // namespace markup::test
