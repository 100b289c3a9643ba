#pragma once

// Shared by the markup fuzz targets: walks a parsed document through its navigation and reads,
// and checks the index against the text.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "markup/MarkupDoc.h"

namespace markup::fuzz {

inline void Check(bool condition)
{
    if (!condition) {
        __builtin_trap();
    }
}

// Every record points into the text at a '<' and stays inside it.
inline void CheckIndex(const MarkupDoc& doc)
{
    const std::u16string& text = doc.GetDocument();
    Check(doc.Element(0).length == text.size());
    for (std::uint32_t e = 1; e <= doc.ElementCount(); ++e) {
        const ElementRecord r = doc.Element(e);
        Check(r.start < text.size() && text[r.start] == u'<');
        Check(static_cast<std::uint64_t>(r.start) + r.length <= text.size());
        Check(r.parent <= doc.ElementCount() && r.next <= doc.ElementCount() && r.firstChild <= doc.ElementCount());
    }
}

// Depth-first walk with the navigation operations, reading names, contents and attributes.
inline std::size_t Walk(MarkupDoc& doc)
{
    std::size_t visited = 0;
    std::size_t read = 0;
    doc.ResetPos();
    while (doc.FindElement()) {
        ++visited;
        read += doc.GetContent().size() + doc.GetAttribute(u"id").size() + doc.GetTagName(doc.MainPos()).size();
        int depth = 0;
        // Go down through first children, reading each; come back up one level at a time.
        while (true) {
            if (doc.FindChildElement()) {
                ++visited;
                read += doc.GetChildAttribute(u"id").size() + doc.GetChildAttribute(u"name").size();
                read += doc.GetContent(doc.ChildPos()).size();
                if (depth < 64 && doc.EnterElement()) {
                    ++depth;
                }
                continue;
            }
            if (depth == 0 || !doc.LeaveElement()) {
                break;
            }
            --depth;
        }
        while (depth-- > 0) {
            doc.LeaveElement();
        }
        Check(visited <= 4 * (doc.ElementCount() + 1) + 8);
    }
    return read;
}

} // namespace markup::fuzz
