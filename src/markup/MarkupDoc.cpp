#include "markup/MarkupDoc.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <sys/mman.h>

#include "markup/MarkupInternal.h"
#include "markup/TextEncoding.h"

namespace markup {

using namespace detail;

namespace {

constexpr std::uint32_t SegmentBits = 16;
constexpr std::uint32_t SegmentSize = 1U << SegmentBits; // records per segment
constexpr std::uint32_t StartTagMask = 0x3FFFFF;
constexpr std::uint32_t EndTagShift = 22;
constexpr std::uint32_t EndTagMax = 0x3FF;
constexpr std::size_t MaxTextLength = std::numeric_limits<std::uint32_t>::max() - 1;

std::uint32_t StartTagLength(const ElementRecord& r)
{
    return r.tagLengths & StartTagMask;
}

std::uint32_t EndTagLength(const ElementRecord& r)
{
    return r.tagLengths >> EndTagShift;
}

// A tag length at the top of its bit field may have been cut to fit it, so where that tag ends is
// not known: an edit that needs it (or that would make a tag that long) is refused.
bool FitsStartTag(std::size_t length)
{
    return length < StartTagMask;
}

bool FitsEndTag(std::size_t length)
{
    return length < EndTagMax;
}

bool TagLengthsKnown(const ElementRecord& r)
{
    return FitsStartTag(StartTagLength(r)) && FitsEndTag(EndTagLength(r));
}

std::uint32_t PackTagLengths(std::size_t startTag, std::size_t endTag)
{
    return static_cast<std::uint32_t>(std::min<std::size_t>(startTag, StartTagMask))
           | (static_cast<std::uint32_t>(std::min<std::size_t>(endTag, EndTagMax)) << EndTagShift);
}

void* Reallocate(void* block, std::size_t bytes)
{
    void* grown = std::realloc(block, bytes);
    if (grown == nullptr) {
        std::abort(); // out of memory ends the program
    }
    return grown;
}

} // namespace

// The element records, in segments of 65,536. The last segment holds exactly the records needed;
// growing past it first fills it to a whole segment, then adds one new last segment.
class ElementIndex
{
public:
    ElementIndex() = default;
    ElementIndex(const ElementIndex&) = delete;
    ElementIndex& operator=(const ElementIndex&) = delete;
    ~ElementIndex() { Release(); }

    // Only for numbers below Capacity(); every parse reserves at least one segment first.
    ElementRecord& operator[](std::uint32_t n)
    {
        return m_segments[n >> SegmentBits][n & (SegmentSize - 1)]; // NOLINT(clang-analyzer-core.NullDereference)
    }
    const ElementRecord& operator[](std::uint32_t n) const
    {
        return m_segments[n >> SegmentBits][n & (SegmentSize - 1)];
    }
    [[nodiscard]] std::uint64_t Capacity() const { return m_capacity; }

    // One growth step towards target records: at most one new segment.
    void GrowStep(std::uint64_t target)
    {
        if (target <= m_capacity) {
            return;
        }
        if (m_segmentCount == 0) {
            EnsureTable(0);
            const auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(target, SegmentSize));
            m_segments[0] = NewSegment(size);
            m_segmentCount = 1;
            m_capacity = size;
            return;
        }
        const std::uint32_t last = m_segmentCount - 1;
        const std::uint64_t lastBase = static_cast<std::uint64_t>(last) << SegmentBits;
        if (target <= lastBase + SegmentSize) {
            Resize(last, m_capacity - lastBase, target - lastBase);
            m_capacity = target;
            return;
        }
        if (m_capacity < lastBase + SegmentSize) {
            Resize(last, m_capacity - lastBase, SegmentSize);
        }
        EnsureTable(last + 1);
        const std::uint64_t base = lastBase + SegmentSize;
        const auto size = static_cast<std::uint32_t>(std::min<std::uint64_t>(target - base, SegmentSize));
        m_segments[last + 1] = NewSegment(size);
        m_segmentCount = last + 2;
        m_capacity = base + size;
    }

    void Reserve(std::uint64_t target)
    {
        while (m_capacity < target) {
            GrowStep(target);
        }
    }

    // Gives back the room past the used records: whole segments beyond them, then the tail of the
    // last segment in use.
    void Trim(std::uint64_t used)
    {
        if (m_segmentCount == 0 || used >= m_capacity || used == 0) {
            return;
        }
        const auto keep = static_cast<std::uint32_t>((used + SegmentSize - 1) >> SegmentBits);
        std::uint64_t lastRecords = m_capacity - (static_cast<std::uint64_t>(m_segmentCount - 1) << SegmentBits);
        if (keep < m_segmentCount) {
            for (std::uint32_t i = keep; i < m_segmentCount; ++i) {
                std::free(m_segments[i]);
                m_segments[i] = nullptr;
            }
            m_segmentCount = keep;
            lastRecords = SegmentSize;
        }
        const std::uint64_t lastBase = static_cast<std::uint64_t>(keep - 1) << SegmentBits;
        if (used - lastBase < lastRecords) {
            Resize(keep - 1, lastRecords, used - lastBase);
        }
        m_capacity = used;
    }

    void Release()
    {
        for (std::uint32_t i = 0; i < m_segmentCount; ++i) {
            std::free(m_segments[i]);
        }
        std::free(m_segments);
        m_segments = nullptr;
        m_tableSize = 0;
        m_segmentCount = 0;
        m_capacity = 0;
    }

    [[nodiscard]] std::size_t Bytes() const { return m_capacity * sizeof(ElementRecord) + m_tableSize * sizeof(void*); }

private:
    // A whole segment is exactly 2 MiB: it is aligned to that and offered a huge page, so that a
    // large index is not built one 4 KiB page fault at a time.
    static ElementRecord* NewSegment(std::uint64_t records)
    {
        if (records == SegmentSize) {
            constexpr std::size_t Bytes = SegmentSize * sizeof(ElementRecord);
            void* block = std::aligned_alloc(Bytes, Bytes);
            if (block == nullptr) {
                std::abort();
            }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
            ::madvise(block, Bytes, MADV_HUGEPAGE);
#endif
            return static_cast<ElementRecord*>(block);
        }
        return static_cast<ElementRecord*>(Reallocate(nullptr, records * sizeof(ElementRecord)));
    }

    void Resize(std::uint32_t segment, std::uint64_t oldRecords, std::uint64_t records)
    {
        if (records == SegmentSize) {
            ElementRecord* whole = NewSegment(records);
            std::memcpy(whole, m_segments[segment], std::min(oldRecords, records) * sizeof(ElementRecord));
            std::free(m_segments[segment]);
            m_segments[segment] = whole;
            return;
        }
        m_segments[segment] =
            static_cast<ElementRecord*>(Reallocate(m_segments[segment], records * sizeof(ElementRecord)));
    }

    void EnsureTable(std::uint32_t segment)
    {
        if (segment < m_tableSize) {
            return;
        }
        const std::uint32_t size = 2 * segment + 4;
        m_segments = static_cast<ElementRecord**>(Reallocate(m_segments, size * sizeof(void*)));
        std::fill(m_segments + m_tableSize, m_segments + size, nullptr);
        m_tableSize = size;
    }

    ElementRecord** m_segments = nullptr;
    std::uint32_t m_tableSize = 0;
    std::uint32_t m_segmentCount = 0;
    std::uint64_t m_capacity = 0;
};

namespace {

// One open element during the parse. Entries of one hash bucket are chained downwards.
struct OpenElement
{
    std::uint64_t hash;
    std::uint32_t nameStart;
    std::uint32_t nameLength;
    std::uint32_t element;
    std::int32_t below; // next lower stack entry in the same bucket, -1 for none
};

// The open-element stack with its name lookup; its entries are reused from one element to the next.
class OpenStack
{
public:
    OpenStack()
        : m_heads(32, -1)
    {}

    [[nodiscard]] bool Empty() const { return m_entries.empty(); }
    [[nodiscard]] std::size_t Size() const { return m_entries.size(); }
    [[nodiscard]] const OpenElement& At(std::size_t i) const { return m_entries[i]; }

    void Push(std::uint64_t hash, std::uint32_t nameStart, std::uint32_t nameLength, std::uint32_t element)
    {
        if (m_entries.size() >= m_heads.size()) {
            Rehash(m_heads.size() * 2);
        }
        std::int32_t& head = m_heads[hash & (m_heads.size() - 1)];
        m_entries.push_back({hash, nameStart, nameLength, element, head});
        head = static_cast<std::int32_t>(m_entries.size() - 1);
    }

    void PopTo(std::size_t size)
    {
        while (m_entries.size() > size) {
            const OpenElement& top = m_entries.back();
            m_heads[top.hash & (m_heads.size() - 1)] = top.below;
            m_entries.pop_back();
        }
    }

    // Topmost entry whose stored name matches the end tag's name by the name rule: the stored name
    // is the whole end-tag name, or the part of it before a "[" or "]" (the other characters that
    // may continue a name end an end tag's name). -1 when none.
    std::int64_t Find(std::u16string_view text, std::u16string_view name, bool ignoreCase) const
    {
        std::int64_t found = -1;
        std::uint64_t hash = NameHashSeed;
        bool exact = !ignoreCase;
        for (std::size_t i = 0; i < name.size(); ++i) {
            hash = NameHashStep(hash, name[i], exact);
            if (i + 1 == name.size() || name[i + 1] == u'[' || name[i + 1] == u']') {
                found = std::max(found, FindHashed(text, name, hash, ignoreCase));
            }
        }
        return found;
    }

private:
    // Topmost entry of that name hash that matches the end tag's name.
    std::int64_t
    FindHashed(std::u16string_view text, std::u16string_view name, std::uint64_t hash, bool ignoreCase) const
    {
        for (std::int32_t i = m_heads[hash & (m_heads.size() - 1)]; i >= 0; i = m_entries[i].below) {
            const OpenElement& e = m_entries[i];
            if (e.hash == hash && MatchName(text.substr(e.nameStart, e.nameLength), name, ignoreCase)) {
                return i;
            }
        }
        return -1;
    }

    void Rehash(std::size_t buckets)
    {
        m_heads.assign(buckets, -1);
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            std::int32_t& head = m_heads[m_entries[i].hash & (buckets - 1)];
            m_entries[i].below = head;
            head = static_cast<std::int32_t>(i);
        }
    }

    std::vector<OpenElement> m_entries;
    std::vector<std::int32_t> m_heads;
};

} // namespace

MarkupDoc::MarkupDoc(std::uint32_t flags)
    : m_index(std::make_unique<ElementIndex>())
    , m_flags(flags)
{
    SetDocument();
}

MarkupDoc::~MarkupDoc() = default;
MarkupDoc::MarkupDoc(MarkupDoc&&) noexcept = default;
MarkupDoc& MarkupDoc::operator=(MarkupDoc&&) noexcept = default;

bool MarkupDoc::SetDocument(std::u16string_view text)
{
    if ((m_flags & (ReadingFile | WritingFile)) != 0) {
        return false;
    }
    m_text.assign(text);
    m_result.clear();
    Parse();
    return IsWellFormed();
}

bool MarkupDoc::TakeDocument(std::u16string&& text)
{
    if ((m_flags & (ReadingFile | WritingFile)) != 0) {
        return false;
    }
    m_text = std::move(text);
    m_result.clear();
    Parse();
    return IsWellFormed();
}

bool MarkupDoc::SetDocument()
{
    if ((m_flags & (ReadingFile | WritingFile)) != 0) {
        return false;
    }
    m_text.clear();
    m_text.shrink_to_fit();
    m_result.clear();
    m_index->Release();
    Parse();
    return IsWellFormed();
}

void MarkupDoc::ResetPos()
{
    m_parent = m_main = m_child = 0;
    m_nodeKind = 0;
}

void MarkupDoc::Parse()
{
    ResetPos();
    m_nextFree = 1;
    m_deleted = 0;
    m_ordered = 0;
    ElementIndex& index = *m_index;
    const std::u16string_view text =
        m_text.size() <= MaxTextLength ? std::u16string_view(m_text) : std::u16string_view();
    index.Reserve(text.size() / 64 + 8);
    index[0] = ElementRecord{0, static_cast<std::uint32_t>(text.size()), 0, 0, 0, 0, 0, 0};
    if (text.empty()) {
        return;
    }
    const bool ignoreCase = (m_flags & IgnoreCase) != 0;
    OpenStack stack;
    std::uint32_t current = 0;

    // Closes the stack entries above 'keep' as unended, top first: their children follow them
    // as siblings under the element that stays open ('keep' - 1, or the document).
    auto closeUnended = [&](std::size_t keep, std::size_t offset2) {
        if (stack.Size() <= keep) {
            return;
        }
        const std::uint32_t owner = keep == 0 ? 0 : stack.At(keep - 1).element;
        index[0].flags |= IllFormed;
        bool innerError = false;
        for (std::size_t i = stack.Size(); i-- > keep;) {
            ElementRecord& r = index[stack.At(i).element];
            r.flags |= Unended;
            r.length = StartTagLength(r);
            r.tagLengths &= StartTagMask;
            innerError = innerError || (r.flags & InnerError) != 0;
            r.flags &= ~InnerError;
            const OpenElement& e = stack.At(i);
            AddNote(&m_result,
                    u"unended_start_tag",
                    u"tagname",
                    text.substr(e.nameStart, e.nameLength),
                    u"offset",
                    r.start,
                    static_cast<long long>(offset2));
        }
        if (innerError) {
            index[owner].flags |= InnerError;
        }
        // Each closed element is the last child of the one below it, so appending its children
        // right after it, bottom up, gives the order that closing them one by one would give.
        const std::uint32_t ownerFirst = index[owner].firstChild;
        for (std::size_t i = keep; i < stack.Size(); ++i) {
            const std::uint32_t element = stack.At(i).element;
            ElementRecord& r = index[element];
            const std::uint32_t first = r.firstChild;
            if (first == 0) {
                continue;
            }
            const std::uint32_t last = index[first].prev;
            for (std::uint32_t c = first; c != 0; c = index[c].next) {
                index[c].parent = owner;
            }
            index[first].flags &= ~FirstChild;
            index[first].prev = element;
            r.next = first;
            r.firstChild = 0;
            index[ownerFirst].prev = last;
        }
    };

    Node node;
    std::size_t pos = 0;
    while (true) {
        ScanNode(text, pos, node, &m_result, false);
        if (node.kind == NodeEndOfDocument) {
            break;
        }
        if (node.kind == NodeElement) {
            if (m_nextFree >= index.Capacity()) {
                index.GrowStep(index.Capacity() + index.Capacity() / 2 + 1);
            }
            const std::uint32_t element = m_nextFree++;
            ElementRecord& r = index[element];
            const std::uint32_t level = current == 0 ? 0 : ((index[current].flags & LevelMask) + 1) & LevelMask;
            r = ElementRecord{static_cast<std::uint32_t>(node.start),
                              static_cast<std::uint32_t>(node.length),
                              PackTagLengths(node.length, 0),
                              level,
                              current,
                              0,
                              0,
                              0};
            ElementRecord& parent = index[current];
            if (parent.firstChild == 0) {
                parent.firstChild = element;
                r.prev = element;
                r.flags |= FirstChild;
            } else {
                ElementRecord& first = index[parent.firstChild];
                index[first.prev].next = element;
                r.prev = first.prev;
                first.prev = element;
            }
            if (!node.empty) {
                const std::size_t nameStart = node.start + 1;
                const std::size_t nameLength = NameLength(text.substr(0, node.start + node.length), nameStart);
                const std::u16string_view name = text.substr(nameStart, nameLength);
                stack.Push(NameHash(name, ignoreCase),
                           static_cast<std::uint32_t>(nameStart),
                           static_cast<std::uint32_t>(nameLength),
                           element);
                current = element;
            }
        } else if (node.kind == NodeEndTag) {
            const std::u16string_view tag = text.substr(0, node.start + node.length);
            const std::size_t nameStart = TagNameStart(tag, node.start);
            const std::u16string_view name = tag.substr(nameStart, NameLength(tag, nameStart));
            const std::int64_t found = stack.Find(text, name, ignoreCase);
            if (found >= 0) {
                const auto k = static_cast<std::size_t>(found);
                closeUnended(k + 1, node.start);
                ElementRecord& r = index[stack.At(k).element];
                r.length = static_cast<std::uint32_t>(node.start + node.length - r.start);
                r.tagLengths = PackTagLengths(StartTagLength(r), node.length);
                stack.PopTo(k);
                current = stack.Empty() ? 0 : stack.At(stack.Size() - 1).element;
            } else {
                index[0].flags |= IllFormed;
                index[current].flags |= InnerError;
                AddNote(&m_result, u"lone_end_tag", u"tagname", name, u"offset", static_cast<long long>(node.start));
            }
        } else if (node.kind == NodeError) {
            index[0].flags |= IllFormed;
            index[current].flags |= InnerError;
        }
        pos = node.start + node.length;
    }
    closeUnended(0, text.size());

    ElementRecord& document = index[0];
    document.length = static_cast<std::uint32_t>(text.size());
    if (document.firstChild == 0) {
        AddNote(&m_result, u"no_root_element");
    } else if (index[document.firstChild].next != 0) {
        AddNote(&m_result, u"root_has_sibling");
    }
    m_ordered = m_nextFree - 1;
    index.Trim(m_nextFree);
}

bool MarkupDoc::IsWellFormed() const
{
    if ((m_flags & WritingFile) != 0) {
        return true;
    }
    const ElementRecord& document = (*m_index)[0];
    if ((m_flags & ReadingFile) != 0) {
        return (document.flags & IllFormed) == 0;
    }
    return (document.flags & IllFormed) == 0 && document.firstChild != 0 && (*m_index)[document.firstChild].next == 0;
}

bool MarkupDoc::IsElement(std::uint32_t element) const
{
    return element != 0 && element < m_nextFree;
}

std::uint32_t MarkupDoc::ElementCount() const
{
    return m_nextFree - 1;
}

std::size_t MarkupDoc::IndexBytes() const
{
    return m_index->Bytes();
}

ElementRecord MarkupDoc::Element(std::uint32_t element) const
{
    if (element >= m_nextFree) {
        return ElementRecord{};
    }
    return (*m_index)[element];
}

std::u16string MarkupDoc::GetTagName(std::uint32_t element) const
{
    if (!IsElement(element)) {
        return {};
    }
    const std::size_t start = TagNameStart(m_text, (*m_index)[element].start);
    return m_text.substr(start, NameLength(m_text, start));
}

bool MarkupDoc::FindElement(std::u16string_view name)
{
    if ((m_flags & WritingFile) != 0) {
        return false;
    }
    const ElementIndex& index = *m_index;
    const bool ignoreCase = (m_flags & IgnoreCase) != 0;
    std::uint32_t candidate = m_main != 0 ? index[m_main].next : index[m_parent].firstChild;
    for (; candidate != 0; candidate = index[candidate].next) {
        if (name.empty()) {
            break;
        }
        const std::size_t start = TagNameStart(m_text, index[candidate].start);
        if (MatchName(std::u16string_view(m_text).substr(start, NameLength(m_text, start)), name, ignoreCase)) {
            break;
        }
    }
    if (candidate == 0) {
        return false;
    }
    m_main = candidate;
    m_parent = index[candidate].parent;
    m_child = 0;
    m_nodeKind = NodeElement;
    return true;
}

bool MarkupDoc::FindChildElement(std::u16string_view name)
{
    if ((m_flags & (ReadingFile | WritingFile)) != 0) {
        return false;
    }
    if (m_main == 0 && !FindElement()) {
        return false;
    }
    const ElementIndex& index = *m_index;
    const bool ignoreCase = (m_flags & IgnoreCase) != 0;
    std::uint32_t candidate = m_child != 0 ? index[m_child].next : index[m_main].firstChild;
    for (; candidate != 0; candidate = index[candidate].next) {
        if (name.empty()) {
            break;
        }
        const std::size_t start = TagNameStart(m_text, index[candidate].start);
        if (MatchName(std::u16string_view(m_text).substr(start, NameLength(m_text, start)), name, ignoreCase)) {
            break;
        }
    }
    if (candidate == 0) {
        return false;
    }
    m_child = candidate;
    m_main = index[candidate].parent;
    m_parent = index[m_main].parent;
    m_nodeKind = NodeElement;
    return true;
}

bool MarkupDoc::EnterElement()
{
    if (m_main == 0 || m_nodeKind != NodeElement) {
        return false;
    }
    m_parent = m_main;
    m_main = m_child;
    m_child = 0;
    m_nodeKind = m_main != 0 ? NodeElement : 0;
    return true;
}

bool MarkupDoc::LeaveElement()
{
    if (m_parent == 0) {
        return false;
    }
    m_child = m_main;
    m_main = m_parent;
    m_parent = (*m_index)[m_main].parent;
    m_nodeKind = NodeElement;
    return true;
}

std::u16string MarkupDoc::GetContent(std::uint32_t element) const
{
    if (!IsElement(element)) {
        return {};
    }
    const ElementRecord& r = (*m_index)[element];
    if (r.firstChild != 0 || EndTagLength(r) == 0) {
        return {};
    }
    const std::size_t size = m_text.size();
    const std::size_t begin = std::min<std::size_t>(static_cast<std::size_t>(r.start) + StartTagLength(r), size);
    const std::size_t endTagStart = static_cast<std::size_t>(r.start) + r.length - EndTagLength(r);
    const std::size_t end = std::min(endTagStart, size);
    if (begin >= end) {
        return {};
    }
    const std::u16string_view all(m_text);
    const std::u16string_view content = all.substr(begin, end - begin);
    const std::size_t special = FindEither(content, 0, u'<', u'&');
    if (special == std::u16string_view::npos) {
        return std::u16string(content);
    }
    if (FindEither(content, special, u'<', u'<') == std::u16string_view::npos) {
        return UnescapeText(content);
    }
    // Mixed content: text and CDATA sections count, comments and instructions do not.
    const std::u16string_view bounded = all.substr(0, end);
    std::u16string out;
    Node node;
    for (std::size_t pos = begin; pos < end; pos = node.start + node.length) {
        ScanNode(bounded, pos, node, nullptr, false);
        if (node.kind == NodeEndOfDocument) {
            break;
        }
        if (node.kind == NodeText) {
            out += UnescapeText(bounded.substr(node.start, node.length));
        } else if (node.kind == NodeCData) {
            const std::size_t innerEnd = node.start + node.length - 3;
            const std::size_t innerBegin = std::min(node.start + 9, innerEnd);
            out += bounded.substr(innerBegin, innerEnd - innerBegin);
        }
    }
    return out;
}

std::u16string MarkupDoc::GetAttribute(std::u16string_view name) const
{
    if (!IsElement(m_main) || name.empty()) {
        return {};
    }
    const ElementRecord& r = (*m_index)[m_main];
    const AttributeSpot spot = FindAttribute(m_text,
                                             TagNameStart(m_text, r.start),
                                             static_cast<std::size_t>(r.start) + StartTagLength(r),
                                             name,
                                             (m_flags & IgnoreCase) != 0);
    if (!spot.found) {
        return {};
    }
    return UnescapeText(std::u16string_view(m_text).substr(spot.valueBegin, spot.valueEnd - spot.valueBegin));
}

std::u16string MarkupDoc::GetChildAttribute(std::u16string_view name) const
{
    if (!IsElement(m_child) || name.empty()) {
        return {};
    }
    const ElementRecord& r = (*m_index)[m_child];
    const AttributeSpot spot = FindAttribute(m_text,
                                             TagNameStart(m_text, r.start),
                                             static_cast<std::size_t>(r.start) + StartTagLength(r),
                                             name,
                                             (m_flags & IgnoreCase) != 0);
    if (!spot.found) {
        return {};
    }
    return UnescapeText(std::u16string_view(m_text).substr(spot.valueBegin, spot.valueEnd - spot.valueBegin));
}

void MarkupDoc::Splice(std::uint32_t pos,
                       std::uint32_t oldLength,
                       std::u16string_view replacement,
                       std::uint32_t container)
{
    ElementIndex& index = *m_index;
    const std::uint32_t delta = static_cast<std::uint32_t>(replacement.size()) - oldLength; // modular
    const std::uint64_t threshold = static_cast<std::uint64_t>(pos) + oldLength;
    m_text.replace(pos, oldLength, replacement);

    // Elements 1..m_ordered are in document order: those at or after the threshold form a tail.
    std::uint32_t lo = 1;
    std::uint32_t hi = m_ordered + 1;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (index[mid].start >= threshold) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    for (std::uint32_t e = lo; e <= m_ordered; ++e) {
        index[e].start += delta;
    }
    for (std::uint32_t e = m_ordered + 1; e < m_nextFree; ++e) {
        if (index[e].start >= threshold) {
            index[e].start += delta;
        }
    }
    for (std::uint32_t e = container; e != 0; e = index[e].parent) {
        index[e].length += delta;
    }
    index[0].length = static_cast<std::uint32_t>(m_text.size());
}

bool MarkupDoc::SetAttribute(std::u16string_view name, std::u16string_view value)
{
    return SetAttributeOf(m_main, name, value);
}

bool MarkupDoc::SetChildAttribute(std::u16string_view name, std::u16string_view value)
{
    return SetAttributeOf(m_child, name, value);
}

bool MarkupDoc::SetAttributeOf(std::uint32_t element, std::u16string_view name, std::u16string_view value)
{
    if ((m_flags & ReadingFile) != 0 || !IsElement(element) || name.empty()) {
        return false;
    }
    ElementRecord& r = (*m_index)[element];
    if (!FitsStartTag(StartTagLength(r))) {
        return false;
    }
    const std::u16string escaped = EscapeText(value, true);
    const AttributeSpot spot = FindAttribute(m_text,
                                             TagNameStart(m_text, r.start),
                                             static_cast<std::size_t>(r.start) + StartTagLength(r),
                                             name,
                                             (m_flags & IgnoreCase) != 0);
    std::u16string replacement;
    std::size_t pos = 0;
    std::size_t oldLength = 0;
    if (spot.found && spot.hasValue) {
        pos = spot.spanBegin;
        oldLength = spot.spanEnd - spot.spanBegin;
        replacement = u"\"" + escaped + u"\"";
    } else if (spot.found) {
        pos = spot.nameEnd;
        replacement = u"=\"" + escaped + u"\"";
    } else {
        pos = spot.insertAt;
        replacement = u" " + std::u16string(name) + u"=\"" + escaped + u"\"";
    }
    if (m_text.size() - oldLength + replacement.size() > MaxTextLength
        || !FitsStartTag(StartTagLength(r) - oldLength + replacement.size())) {
        return false;
    }
    // The edited start tag must still scan as the same kind of tag, ending where it is expected
    // to. In an odd tag such as the start tag of "g" closed by "x</>" (not an empty-element tag), an
    // attribute added before the "/" would turn it into one, and the index would no longer match
    // the text: such an edit is refused.
    const std::size_t tagStart = r.start;
    const std::size_t tagLength = StartTagLength(r);
    std::u16string edited(std::u16string_view(m_text).substr(tagStart, tagLength));
    edited.replace(pos - tagStart, oldLength, replacement);
    Node before;
    Node after;
    ScanNode(std::u16string_view(m_text).substr(tagStart, tagLength), 0, before, nullptr, false);
    ScanNode(edited, 0, after, nullptr, false);
    if (after.kind != before.kind || after.empty != before.empty || after.length != edited.size()) {
        return false;
    }
    const std::uint32_t delta = static_cast<std::uint32_t>(replacement.size() - oldLength);
    Splice(static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(oldLength), replacement, element);
    ElementRecord& updated = (*m_index)[element];
    updated.tagLengths = PackTagLengths(StartTagLength(updated) + delta, EndTagLength(updated));
    return true;
}

bool MarkupDoc::AddElement(std::u16string_view name, std::u16string_view value, std::uint32_t options)
{
    return AddNew(name, value, options, false);
}

bool MarkupDoc::AddChildElement(std::u16string_view name, std::u16string_view value, std::uint32_t options)
{
    return AddNew(name, value, options, true);
}

bool MarkupDoc::AddNew(std::u16string_view name, std::u16string_view value, std::uint32_t options, bool childForm)
{
    if ((m_flags & ReadingFile) != 0 || name.empty()) {
        return false;
    }
    if (childForm && (m_main == 0 || (m_flags & WritingFile) != 0)) {
        return false;
    }
    if ((options & NoEndTag) != 0 && !value.empty()) {
        return false;
    }
    ElementIndex& index = *m_index;
    const std::uint32_t parent = childForm ? m_main : m_parent;
    const std::uint32_t pred = childForm ? m_child : m_main;
    const bool lineBreak = (options & NoLineBreak) == 0;

    // The new element's own text.
    std::u16string tag = u"<" + std::u16string(name);
    std::size_t startTag = 0;
    std::size_t endTag = 0;
    if (!value.empty()) {
        tag += u'>';
        if ((options & AsCData) != 0) {
            tag += u"<![CDATA[";
            const std::u16string_view closer = u"]]>";
            std::size_t from = 0;
            for (std::size_t at = value.find(closer); at != std::u16string_view::npos; at = value.find(closer, from)) {
                tag += value.substr(from, at - from);
                tag += u"]]]]><![CDATA[>";
                from = at + closer.size();
            }
            tag += value.substr(from);
            tag += u"]]>";
        } else {
            tag += EscapeText(value, false);
        }
        tag += u"</";
        tag += name;
        tag += u'>';
        startTag = name.size() + 2;
        endTag = name.size() + 3;
    } else {
        tag += (options & NoEndTag) != 0 ? u">" : (options & SpacedEmptyTag) != 0 ? u" />" : u"/>";
        startTag = tag.size();
    }
    const std::size_t tagLength = tag.size();
    if (!FitsStartTag(startTag) || !FitsEndTag(endTag)) {
        return false;
    }
    if (lineBreak) {
        tag += u"\r\n";
    }

    // Where it goes.
    std::u16string replacement;
    std::size_t pos = 0;
    std::size_t oldLength = 0;
    std::size_t newStart = 0;
    bool openParent = false;
    std::u16string parentName;
    if (pred != 0) {
        const ElementRecord& p = index[pred];
        pos = std::min<std::size_t>(static_cast<std::size_t>(p.start) + p.length, m_text.size());
        if (lineBreak) {
            std::size_t after = pos;
            while (after < m_text.size() && IsSpace(m_text[after])) {
                ++after;
            }
            if (after == m_text.size() || m_text[after] == u'<') {
                pos = after;
            }
        }
        replacement = tag;
        newStart = pos;
    } else if (parent != 0) {
        const ElementRecord& p = index[parent];
        if (!TagLengthsKnown(p)) {
            return false; // the place inside the parent cannot be found exactly
        }
        const std::size_t startEnd = static_cast<std::size_t>(p.start) + StartTagLength(p);
        const std::size_t endTagStart = static_cast<std::size_t>(p.start) + p.length - EndTagLength(p);
        if (EndTagLength(p) == 0 && (p.flags & Unended) == 0 && startEnd >= 2 && startEnd <= m_text.size()
            && m_text[startEnd - 2] == u'/' && m_text[startEnd - 1] == u'>') {
            // An empty parent is opened: "/>" becomes ">", the new element, and the end tag.
            openParent = true;
            parentName = GetTagName(parent);
            if (!FitsEndTag(parentName.size() + 3)) {
                return false;
            }
            pos = startEnd - 2;
            oldLength = 1;
            replacement = u">";
            if (lineBreak) {
                replacement += u"\r\n";
            }
            newStart = pos + replacement.size();
            replacement += tag;
            replacement += u"</";
            replacement += parentName;
        } else if (EndTagLength(p) != 0 && startEnd == endTagStart) {
            pos = startEnd;
            if (lineBreak) {
                replacement = u"\r\n";
            }
            newStart = pos + replacement.size();
            replacement += tag;
        } else {
            pos = std::min(endTagStart, m_text.size());
            replacement = tag;
            newStart = pos;
        }
    } else {
        pos = m_text.size();
        replacement = tag;
        newStart = pos;
    }
    if (m_text.size() + replacement.size() > MaxTextLength || m_nextFree == std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }

    Splice(static_cast<std::uint32_t>(pos), static_cast<std::uint32_t>(oldLength), replacement, parent);
    if (openParent) {
        ElementRecord& p = index[parent];
        p.tagLengths = PackTagLengths(StartTagLength(p) - 1, parentName.size() + 3);
    }

    if (m_nextFree >= index.Capacity()) {
        index.GrowStep(index.Capacity() + index.Capacity() / 2 + 1);
    }
    const std::uint32_t element = m_nextFree++;
    ElementRecord& r = index[element];
    const std::uint32_t level = parent == 0 ? 0 : ((index[parent].flags & LevelMask) + 1) & LevelMask;
    r = ElementRecord{static_cast<std::uint32_t>(newStart),
                      static_cast<std::uint32_t>(tagLength),
                      PackTagLengths(startTag, endTag),
                      level | ((options & NoEndTag) != 0 ? static_cast<std::uint32_t>(Unended) : 0U),
                      parent,
                      0,
                      0,
                      0};
    ElementRecord& owner = index[parent];
    if (pred != 0) {
        ElementRecord& before = index[pred];
        r.next = before.next;
        r.prev = pred;
        before.next = element;
        if (r.next != 0) {
            index[r.next].prev = element;
        } else {
            index[owner.firstChild].prev = element;
        }
    } else if (owner.firstChild == 0) {
        owner.firstChild = element;
        r.prev = element;
        r.flags |= FirstChild;
    } else {
        ElementRecord& first = index[owner.firstChild];
        index[first.prev].next = element;
        r.prev = first.prev;
        first.prev = element;
    }
    if (m_ordered == element - 1 && (m_ordered == 0 || index[m_ordered].start < r.start)) {
        m_ordered = element;
    }

    if (childForm) {
        m_child = element;
    } else {
        m_main = element;
        m_child = 0;
    }
    m_nodeKind = NodeElement;
    return true;
}

bool MarkupDoc::SetContent(std::uint32_t element, std::u16string_view value)
{
    if ((m_flags & ReadingFile) != 0 || !IsElement(element)) {
        return false;
    }
    ElementRecord& r = (*m_index)[element];
    if (r.firstChild != 0 || (r.flags & Unended) != 0 || !TagLengthsKnown(r)) {
        return false;
    }
    const std::u16string escaped = EscapeText(value, false);
    const std::size_t startEnd = static_cast<std::size_t>(r.start) + StartTagLength(r);
    if (EndTagLength(r) != 0) {
        const std::size_t endTagStart = static_cast<std::size_t>(r.start) + r.length - EndTagLength(r);
        if (startEnd > endTagStart || endTagStart > m_text.size()
            || m_text.size() - (endTagStart - startEnd) + escaped.size() > MaxTextLength) {
            return false;
        }
        Splice(static_cast<std::uint32_t>(startEnd),
               static_cast<std::uint32_t>(endTagStart - startEnd),
               escaped,
               element);
    } else {
        if (startEnd < 2 || startEnd > m_text.size() || m_text[startEnd - 2] != u'/') {
            return false;
        }
        if (!escaped.empty()) {
            const std::u16string name = GetTagName(element);
            const std::u16string replacement = u">" + escaped + u"</" + name;
            if (m_text.size() + replacement.size() > MaxTextLength || !FitsEndTag(name.size() + 3)) {
                return false;
            }
            Splice(static_cast<std::uint32_t>(startEnd - 2), 1, replacement, element);
            ElementRecord& updated = (*m_index)[element];
            updated.tagLengths = PackTagLengths(StartTagLength(updated) - 1, name.size() + 3);
        }
    }
    (*m_index)[element].flags &= ~InnerError;
    return true;
}

bool MarkupDoc::Load(const std::filesystem::path& path)
{
    std::u16string text;
    if (!LoadFile(path, text, &m_result, &m_flags)) {
        std::u16string notes = std::move(m_result);
        SetDocument();
        m_result = std::move(notes);
        return false;
    }
    return TakeDocument(std::move(text));
}

bool MarkupDoc::Save(const std::filesystem::path& path)
{
    return SaveFile(&m_flags, m_text, path, &m_result);
}

std::u16string MarkupDoc::EscapeText(std::u16string_view text, bool attribute)
{
    std::u16string out;
    out.reserve(text.size() + text.size() / 8);
    for (char16_t c : text) {
        switch (c) {
        case u'<':
            out += u"&lt;";
            break;
        case u'&':
            out += u"&amp;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'\'':
            out += attribute ? u"&apos;" : u"'";
            break;
        case u'"':
            out += attribute ? u"&quot;" : u"\"";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::u16string MarkupDoc::UnescapeText(std::u16string_view text)
{
    if (FindEither(text, 0, u'&', u'&') == std::u16string_view::npos) {
        return std::u16string(text);
    }
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t amp = FindEither(text, i, u'&', u'&');
        if (amp == std::u16string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, amp - i));
        std::size_t end = amp + 1;
        while (end < text.size() && end - amp - 1 < 9 && text[end] < 128 && text[end] != u';') {
            ++end;
        }
        if (end >= text.size() || text[end] != u';') {
            out += u'&';
            i = amp + 1;
            continue;
        }
        const std::u16string_view name = text.substr(amp + 1, end - amp - 1);
        char32_t code = 0;
        if (!name.empty() && name[0] == u'#') {
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            for (std::size_t k = hex ? 2 : 1; k < name.size(); ++k) {
                const char16_t c = name[k];
                unsigned digit = 0;
                if (c >= u'0' && c <= u'9') {
                    digit = c - u'0';
                } else if (hex && c >= u'a' && c <= u'f') {
                    digit = c - u'a' + 10;
                } else if (hex && c >= u'A' && c <= u'F') {
                    digit = c - u'A' + 10;
                } else {
                    break;
                }
                code = code * (hex ? 16 : 10) + digit;
            }
        } else {
            code = LookupEntity(name);
        }
        if (code == 0 || code > 0x10FFFF) {
            out += u'&';
            i = amp + 1;
            continue;
        }
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i = end + 1;
    }
    return out;
}

} // namespace markup
