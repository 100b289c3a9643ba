// Decodes any bytes as a file, replaces the content of every element that has an end tag and no
// child element (as the exit update does with laststate) and makes those edits in the bytes: when
// the bytes take them, reading the new bytes must give exactly the edited text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzWalk.h"
#include "markup/MarkupDoc.h"
#include "markup/TextEncoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::u16string text;
    markup::FileLayout layout;
    markup::DecodeFileBytes(bytes, text, nullptr, nullptr, &layout);
    markup::MarkupDoc doc;
    doc.SetDocument(text);
    std::vector<markup::TextEdit> edits;
    std::size_t end = 0;
    for (std::uint32_t e = 1; e <= doc.ElementCount(); ++e) {
        const markup::ElementRecord r = doc.Element(e);
        const std::uint32_t startTag = r.tagLengths & 0x3FFFFF;
        const std::uint32_t endTag = r.tagLengths >> 22;
        if (r.firstChild != 0 || endTag == 0 || startTag >= 0x3FFFFF || endTag >= 0x3FF) {
            continue;
        }
        const std::size_t from = static_cast<std::size_t>(r.start) + startTag;
        const std::size_t to = static_cast<std::size_t>(r.start) + r.length - endTag;
        if (from < end || to < from || to > text.size()) {
            continue;
        }
        edits.push_back({from, to - from, (e % 3 == 0) ? std::u16string() : std::u16string(e % 2 == 0 ? u"7" : u"12")});
        end = to;
    }
    const std::optional<std::string> updated = markup::SpliceFileBytes(bytes, layout, text, edits);
    if (!updated) {
        return 0;
    }
    std::u16string expected;
    std::size_t from = 0;
    for (const markup::TextEdit& edit : edits) {
        expected.append(text, from, edit.pos - from);
        expected += edit.replacement;
        from = edit.pos + edit.oldLength;
    }
    expected.append(text, from, std::u16string::npos);
    std::u16string reread;
    markup::DecodeFileBytes(*updated, reread);
    markup::fuzz::Check(reread == expected);
    return 0;
}
