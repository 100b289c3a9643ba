#pragma once

// MarkupDoc: the program's XML document. The whole document is one UTF-16 string; beside it an
// index of element records (offsets into the string) is kept. Navigation moves a position through
// the index, edits splice the string and shift the index. Parsing is tolerant: problems end up as
// notes in the result text and as the ill-formed flag, never as exceptions.
// One thread at a time per document; no shared state between documents.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace markup {

// Document flags.
enum DocFlags : std::uint32_t
{
    IgnoreCase = 0x01,    // tag and attribute names compared without regard to ASCII case
    ReadingFile = 0x02,   // a file read is running
    WritingFile = 0x04,   // a file write is running
    AppendingFile = 0x08, // a file append is running
    MarkUtf16Le = 0x10,   // the file read began with FF FE; a save writes it again
    MarkUtf8 = 0x20,      // the file read began with EF BB BF; a save writes it again
    MarkUtf16Be = 0x40,   // the file read began with FE FF; a save writes it again
};

// Options of AddElement / AddChildElement.
enum AddOptions : std::uint32_t
{
    AsCData = 0x01,        // the value is written as a CDATA section
    NoLineBreak = 0x02,    // no CR LF after the new element
    SpacedEmptyTag = 0x04, // an empty element ends with " />" instead of "/>"
    NoEndTag = 0x08,       // start tag only; refused with a value
};

// Flags of an element record (above the 16-bit nesting level).
enum ElementFlags : std::uint32_t
{
    LevelMask = 0xFFFF,
    FirstChild = 0x10000, // first child of its parent
    Unended = 0x20000,    // no end tag
    InnerError = 0x40000, // an error was found inside the element
    IllFormed = 0x80000,  // on element 0 only: the document is ill-formed
};

// One element of the index: eight 32-bit fields.
struct ElementRecord
{
    std::uint32_t start;      // offset of '<' in the text
    std::uint32_t length;     // units up to the end of the end tag (the tag for an empty element)
    std::uint32_t tagLengths; // low 22 bits start-tag length, high 10 bits end-tag length
    std::uint32_t flags;      // nesting level and ElementFlags
    std::uint32_t parent;     // parent element number (0 for top level)
    std::uint32_t firstChild; // 0 when none
    std::uint32_t next;       // next sibling, 0 for the last
    std::uint32_t prev;       // previous sibling; the first child holds the last child here
};

class ElementIndex;

class MarkupDoc
{
public:
    // Empty, not well-formed document with the given flags (normally none).
    explicit MarkupDoc(std::uint32_t flags = 0);
    ~MarkupDoc();
    MarkupDoc(const MarkupDoc&) = delete;
    MarkupDoc& operator=(const MarkupDoc&) = delete;
    // A moved-from document may only be assigned to or destroyed.
    MarkupDoc(MarkupDoc&&) noexcept;
    MarkupDoc& operator=(MarkupDoc&&) noexcept;

    // Replaces the text and parses it; returns IsWellFormed(). False while a streamed file operation runs.
    bool SetDocument(std::u16string_view text);
    // Same, taking over the text without copying it.
    bool TakeDocument(std::u16string&& text);
    // Empties the document and releases its index; returns false.
    bool SetDocument();
    // The whole document text.
    [[nodiscard]] const std::u16string& GetDocument() const { return m_text; }
    // One root element, no lone end tag, no unended element, no scanner error.
    [[nodiscard]] bool IsWellFormed() const;
    // Notes of the last parse or file operation: empty elements, at most 1,000 characters.
    [[nodiscard]] const std::u16string& GetResult() const { return m_result; }

    // Next sibling after main (or first child of the parent position) with that name (any when empty).
    bool FindElement(std::u16string_view name = {});
    // Next child of main after the child position with that name (any when empty); finds the root first.
    bool FindChildElement(std::u16string_view name = {});
    // Moves down: parent = main, main = child, child = 0. False when main is 0.
    bool EnterElement();
    // Moves up: child = main, main = parent. False when parent is 0.
    bool LeaveElement();
    // Position: element numbers of parent, main and child (0 = none).
    [[nodiscard]] std::uint32_t ParentPos() const { return m_parent; }
    [[nodiscard]] std::uint32_t MainPos() const { return m_main; }
    [[nodiscard]] std::uint32_t ChildPos() const { return m_child; }
    // Forgets the position (parent = main = child = 0).
    void ResetPos();

    // Character content of an element, references replaced; empty for 0, empty elements and parents.
    [[nodiscard]] std::u16string GetContent(std::uint32_t element) const;
    // Content of the main element.
    [[nodiscard]] std::u16string GetContent() const { return GetContent(m_main); }
    // Tag name of an element; empty for 0.
    [[nodiscard]] std::u16string GetTagName(std::uint32_t element) const;
    // Unescaped value of an attribute of the main / child element; empty when missing.
    [[nodiscard]] std::u16string GetAttribute(std::u16string_view name) const;
    [[nodiscard]] std::u16string GetChildAttribute(std::u16string_view name) const;

    // Sets (adds or replaces) an attribute of the main / child element. False without that element.
    bool SetAttribute(std::u16string_view name, std::u16string_view value);
    bool SetChildAttribute(std::u16string_view name, std::u16string_view value);
    // Inserts an element after main (sibling form) / after the child position inside main (child form).
    bool AddElement(std::u16string_view name, std::u16string_view value = {}, std::uint32_t options = 0);
    bool AddChildElement(std::u16string_view name, std::u16string_view value = {}, std::uint32_t options = 0);
    // Replaces the content of an element without child elements; false otherwise.
    bool SetContent(std::uint32_t element, std::u16string_view value);

    // Document flags (DocFlags).
    [[nodiscard]] std::uint32_t GetDocFlags() const { return m_flags; }
    void SetDocFlags(std::uint32_t flags) { m_flags = flags; }
    // Reads a file (any encoding) and parses it; false on a file error or an ill-formed document.
    bool Load(const std::filesystem::path& path);
    // Writes the text atomically in the encoding the document asks for (UTF-8 by default).
    bool Save(const std::filesystem::path& path);

    // Number of element records in use, and bytes the index holds (for measurements).
    [[nodiscard]] std::uint32_t ElementCount() const;
    [[nodiscard]] std::size_t IndexBytes() const;
    // Copy of an element record; all zero for a number out of range.
    [[nodiscard]] ElementRecord Element(std::uint32_t element) const;

    // Replaces <, &, > by references; for attributes also ' and ".
    static std::u16string EscapeText(std::u16string_view text, bool attribute);
    // Replaces numeric and named references (HTML 4.01 names plus apos); others stay as written.
    static std::u16string UnescapeText(std::u16string_view text);

private:
    void Parse();
    bool AddNew(std::u16string_view name, std::u16string_view value, std::uint32_t options, bool childForm);
    bool SetAttributeOf(std::uint32_t element, std::u16string_view name, std::u16string_view value);
    void Splice(std::uint32_t pos, std::uint32_t oldLength, std::u16string_view replacement, std::uint32_t target);
    [[nodiscard]] bool IsElement(std::uint32_t element) const;

    std::u16string m_text;
    std::u16string m_result;
    std::unique_ptr<ElementIndex> m_index;
    std::uint32_t m_flags = 0;
    std::uint32_t m_nextFree = 1;
    std::uint32_t m_ordered = 0; // elements 1..m_ordered lie in document order (start strictly increasing)
    std::uint32_t m_deleted = 0;
    std::uint32_t m_parent = 0;
    std::uint32_t m_main = 0;
    std::uint32_t m_child = 0;
    int m_nodeKind = 0; // selection: element when main is non-zero after navigation
};

} // namespace markup
