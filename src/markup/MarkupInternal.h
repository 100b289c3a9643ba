#pragma once

// Internals shared by the document and its file functions: the node scanner, name matching,
// attribute scanning, result notes and the entity table. Not part of the module's interface.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace markup::detail {

// Kinds of node the scanner returns.
enum NodeKind : int
{
    NodeEndTag = 0,
    NodeElement = 1,
    NodeText = 2,
    NodeWhitespace = 4,
    NodeCData = 8,
    NodeProcessingInstruction = 16,
    NodeComment = 32,
    NodeDocType = 64,
    NodeError = -1,
    NodeEndOfDocument = -2,
};

struct Node
{
    int kind = NodeEndOfDocument;
    std::size_t start = 0;
    std::size_t length = 0;
    bool empty = false; // element start tag closed by "/>"
};

constexpr std::size_t ResultLimit = 1000;

inline bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

// Characters that end a tag or attribute name in the document.
inline bool IsNameEnd(char16_t c)
{
    switch (c) {
    case u' ':
    case u'\t':
    case u'\n':
    case u'\r':
    case u'<':
    case u'>':
    case u'=':
    case u'\\':
    case u'/':
    case u'?':
    case u'!':
    case u'"':
    case u'\'':
    case u';':
        return true;
    default:
        return false;
    }
}

// First offset at or after 'from' holding a or b; npos when none. Eight units at a time where SSE2 is there.
inline std::size_t FindEither(std::u16string_view text, std::size_t from, char16_t a, char16_t b)
{
    const std::size_t n = text.size();
    const char16_t* data = text.data();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    for (; i + 8 <= n; i += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
        if (mask != 0) {
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask))) / 2;
        }
    }
#endif
    for (; i < n; ++i) {
        if (data[i] == a || data[i] == b) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

// Length of the name that begins at pos (stops at the end of text).
std::size_t NameLength(std::u16string_view text, std::size_t pos);
// Offset of the name of the tag at start ('<', optional '/' or '?', white space skipped).
std::size_t TagNameStart(std::u16string_view text, std::size_t start);
// The name in the document matches the wanted name (exact, or the IgnoreCase rule).
bool MatchName(std::u16string_view docName, std::u16string_view wanted, bool ignoreCase);
// Hash consistent with MatchName of equal-length names, for the open-element stack.
std::uint64_t NameHash(std::u16string_view name, bool ignoreCase);
// The hash built one character at a time: NameHash(name) is NameHashSeed stepped through every
// character of name, with exact starting as !ignoreCase.
constexpr std::uint64_t NameHashSeed = 1469598103934665603ULL;
inline std::uint64_t NameHashStep(std::uint64_t hash, char16_t c, bool& exact)
{
    if (!exact) {
        if (c >= 128) {
            exact = true;
        } else if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return (hash ^ c) * 1099511628211ULL;
}

// Scans one node at pos. Errors and unterminated nodes are noted in notes when it is not null.
void ScanNode(std::u16string_view text, std::size_t pos, Node& node, std::u16string* notes, bool classifyText);

// Where an attribute lies inside a tag (offsets into the text).
struct AttributeSpot
{
    bool found = false;
    bool hasValue = false;      // the name was followed by '='
    std::size_t nameEnd = 0;    // end of the attribute's name
    std::size_t valueBegin = 0; // the raw value (without quotes)
    std::size_t valueEnd = 0;
    std::size_t spanBegin = 0; // the value with its quotes
    std::size_t spanEnd = 0;
    std::size_t insertAt = 0; // after the tag name or the last attribute
};

// Scans the attributes of the tag whose name begins at nameStart, up to tagEnd (exclusive).
AttributeSpot FindAttribute(std::u16string_view text,
                            std::size_t nameStart,
                            std::size_t tagEnd,
                            std::u16string_view wanted,
                            bool ignoreCase);

// Appends <word textName="textValue" numName="number" offset2="offset2"/> to notes unless the
// result would pass its limit; with update, the first earlier note of that word is replaced.
void AddNote(std::u16string* notes,
             std::u16string_view word,
             std::u16string_view textName = {},
             std::u16string_view textValue = {},
             std::u16string_view numberName = {},
             std::optional<long long> number = std::nullopt,
             std::optional<long long> offset2 = std::nullopt,
             bool update = false);

// Code point of a named reference as written (exact case first, then without regard to case); 0 when none.
char32_t LookupEntity(std::u16string_view name);

// Appends the UTF-16 form of an ASCII string.
std::u16string Widen(std::string_view ascii);

} // namespace markup::detail
