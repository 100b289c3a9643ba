#include "skin/Markup.h"

#include <algorithm>

#include <QList>

namespace skin {
namespace {

constexpr int MaxDimension = 8192; // sizes and widths above this are clamped
constexpr int MaxFontHeight = 512;

bool IsSpace(QChar ch)
{
    return ch == u' ' || ch == u'\t' || ch == u'\r' || ch == u'\n';
}

std::optional<int> ParseInt(QStringView value)
{
    value = value.trimmed();
    bool ok = false;
    int result = 0;
    if (value.startsWith(u"0x", Qt::CaseInsensitive)) {
        result = value.mid(2).toInt(&ok, 16);
    } else {
        result = value.toInt(&ok, 10);
    }
    if (!ok) {
        return std::nullopt;
    }
    return result;
}

std::optional<int> ParseSize(QStringView value)
{
    const auto number = ParseInt(value);
    if (!number) {
        return std::nullopt;
    }
    return std::clamp(*number, 0, MaxDimension);
}

// Reads one block of keys starting after its opening slash; returns the index after the block.
class BlockReader
{
public:
    BlockReader(QStringView content, qsizetype pos)
        : m_content(content)
        , m_pos(pos)
    {}

    qsizetype Read(MarkupSegment& segment)
    {
        while (true) {
            SkipSpaces();
            if (AtEnd()) {
                return m_pos;
            }
            const QChar ch = m_content[m_pos];
            if (ch == u'/') {
                return m_pos + 1;
            }
            if (ch == u',') {
                ++m_pos;
                continue;
            }
            const QString name = ReadName();
            SkipSpaces();
            QString value;
            bool hasValue = false;
            if (!AtEnd() && m_content[m_pos] == u'=') {
                ++m_pos;
                SkipSpaces();
                value = ReadValue();
                hasValue = true;
            }
            if (name.isEmpty()) {
                // A stray character that is neither a name nor a separator: skip it.
                if (!hasValue && !AtEnd() && m_content[m_pos] != u'/' && m_content[m_pos] != u',') {
                    ++m_pos;
                }
                continue;
            }
            Apply(segment, name, value, hasValue);
        }
    }

private:
    bool AtEnd() const { return m_pos >= m_content.size(); }

    void SkipSpaces()
    {
        while (!AtEnd() && IsSpace(m_content[m_pos])) {
            ++m_pos;
        }
    }

    QString ReadName()
    {
        const qsizetype start = m_pos;
        while (!AtEnd()) {
            const QChar ch = m_content[m_pos];
            if (ch == u'=' || ch == u',' || ch == u'/' || IsSpace(ch) || ch == u'\'' || ch == u'"') {
                break;
            }
            ++m_pos;
        }
        return m_content.mid(start, m_pos - start).toString().toLower();
    }

    QString ReadValue()
    {
        if (AtEnd()) {
            return {};
        }
        const QChar quote = m_content[m_pos];
        if (quote == u'\'' || quote == u'"') {
            ++m_pos;
            QString value;
            while (!AtEnd()) {
                const QChar ch = m_content[m_pos];
                if (ch == quote) {
                    ++m_pos;
                    return value;
                }
                if (ch == u'\\' && m_pos + 1 < m_content.size()
                    && (m_content[m_pos + 1] == u'\'' || m_content[m_pos + 1] == u'"')) {
                    value += m_content[m_pos + 1];
                    m_pos += 2;
                    continue;
                }
                if (ch == u'/' && m_pos + 1 < m_content.size() && m_content[m_pos + 1] == u'/') {
                    value += u'/';
                    m_pos += 2;
                    continue;
                }
                value += ch;
                ++m_pos;
            }
            return value; // unterminated quote: the rest of the content
        }
        const qsizetype start = m_pos;
        while (!AtEnd() && m_content[m_pos] != u',' && m_content[m_pos] != u'/') {
            ++m_pos;
        }
        return m_content.mid(start, m_pos - start).trimmed().toString();
    }

    static void Apply(MarkupSegment& segment, const QString& name, const QString& value, bool hasValue)
    {
        if (name == u"global") {
            segment.global = true;
        } else if (name == u"a") {
            segment.anchor = true;
        } else if (name == u"font") {
            // Announces the font keys; they take effect without it too.
        } else if (!hasValue) {
            return;
        } else if (name == u"c") {
            if (const auto colour = ParseMarkupColour(value)) {
                segment.colour = colour;
            }
        } else if (name == u"font_face") {
            if (!value.trimmed().isEmpty()) {
                segment.fontFace = value.trimmed();
            }
        } else if (name == u"font_height") {
            if (const auto height = ParseInt(value); height && *height > 0) {
                segment.fontHeight = std::min(*height, MaxFontHeight);
            }
        } else if (name == u"font_bold") {
            if (const auto bold = ParseInt(value)) {
                segment.fontBold = *bold != 0;
            }
        } else if (name == u"p") {
            if (const auto id = ParseInt(value)) {
                segment.picture = *id;
            }
        } else if (name == u"p3") {
            const auto parts = QStringView(value).split(u'|');
            std::array<int, 3> ids{};
            for (qsizetype i = 0; i < parts.size() && i < 3; ++i) {
                ids[static_cast<std::size_t>(i)] = ParseInt(parts[i]).value_or(0);
            }
            // A missing hover or pressed look falls back to the normal one.
            for (auto& id : ids) {
                if (id == 0) {
                    id = ids[0];
                }
            }
            segment.pictures3 = ids;
        } else if (name == u"p5") {
            if (const auto id = ParseInt(value)) {
                segment.picture5 = *id;
            }
        } else if (name == u"btn_text") {
            segment.buttonText = value;
        } else if (name == u"btn_width") {
            if (const auto width = ParseSize(value)) {
                segment.buttonWidth = *width;
            }
        } else if (name == u"btn_height") {
            if (const auto height = ParseSize(value)) {
                segment.buttonHeight = *height;
            }
        } else if (name == u"linkt") {
            segment.tooltip = value;
        } else if (name == u"linkl") {
            if (const auto mode = ParseInt(value)) {
                segment.linkLine = std::clamp(*mode, 0, 2);
            }
        } else if (name == u"linkc") {
            if (const auto flag = ParseInt(value)) {
                segment.linkColour = *flag;
            }
        } else if (name == u"linkh") {
            if (const auto colour = ParseMarkupColour(value)) {
                segment.hoverColour = colour;
            }
        } else if (name == u"line_width") {
            if (const auto width = ParseSize(value)) {
                segment.lineWidth = *width;
            }
        } else if (name == u"line_space") {
            if (const auto space = ParseInt(value)) {
                segment.lineSpace = std::clamp(*space, 0, MaxDimension);
            }
        } else if (name == u"single_line") {
            if (const auto mode = ParseInt(value)) {
                segment.singleLine = std::clamp(*mode, 0, 2);
            }
        }
    }

    QStringView m_content;
    qsizetype m_pos;
};

} // namespace

std::optional<std::uint32_t> ParseMarkupColour(QStringView value)
{
    value = value.trimmed();
    if (value.startsWith(u"0x", Qt::CaseInsensitive)) {
        value = value.mid(2);
    } else if (value.startsWith(u'#')) {
        value = value.mid(1);
    }
    if (value.isEmpty() || value.size() > 8) {
        return std::nullopt;
    }
    bool ok = false;
    const uint number = value.toUInt(&ok, 16);
    if (!ok) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(number) & 0xFFFFFFu;
}

std::vector<MarkupSegment> ParseMarkup(QStringView content)
{
    std::vector<MarkupSegment> segments;
    MarkupSegment current;
    bool currentHasBlock = false;
    qsizetype pos = 0;
    const qsizetype size = content.size();
    while (pos < size) {
        const QChar ch = content[pos];
        if (ch == u'/') {
            if (pos + 1 < size && content[pos + 1] == u'/') {
                current.text += u'/';
                pos += 2;
                continue;
            }
            if (currentHasBlock || !current.text.isEmpty()) {
                segments.push_back(std::move(current));
            }
            current = MarkupSegment{};
            currentHasBlock = true;
            pos = BlockReader(content, pos + 1).Read(current);
            continue;
        }
        if (ch == u'\\' && pos + 1 < size && (content[pos + 1] == u'"' || content[pos + 1] == u'\'')) {
            current.text += content[pos + 1];
            pos += 2;
            continue;
        }
        current.text += ch;
        ++pos;
    }
    if (currentHasBlock || !current.text.isEmpty()) {
        segments.push_back(std::move(current));
    }
    return segments;
}

QString EscapeMarkupText(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == u'/') {
            result += u"//";
        } else {
            result += ch;
        }
    }
    return result;
}

} // namespace skin
