#include "skin/RichText.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <optional>

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>

#include "skin/Colour.h"
#include "skin/EngineImpl.h"
#include "skin/Markup.h"
#include "skin/ScrollPanel.h"

namespace skin {
namespace {

constexpr int DefaultFontHeight = 12;
constexpr std::uint32_t DefaultColour = 0x000000;
constexpr std::uint32_t DefaultHoverColour = 0x00CCFF; // amber
constexpr int ButtonTextPadding = 8;
constexpr int MaxCorner = 6; // corner size kept when a picture is stretched
const QString Ellipsis = QStringLiteral("...");

// The resolved look of one segment.
struct SegmentStyle
{
    std::shared_ptr<const FontEntry> font;
    QColor colour;
    QColor hoverColour;
    bool hoverColoured = false;
    int linkLine = 0;
    int anchor = -1;
};

struct LaidItem
{
    enum class Kind : std::uint8_t
    {
        Text,
        Picture,
        Button
    };
    Kind kind = Kind::Text;
    int segment = 0;
    int anchor = -1;
    QRect rect;       // relative to the object's origin
    int baseline = 0; // Text only
    QString text;     // Text run, or the button's text
    int line = 0;
};

struct Layout
{
    std::vector<LaidItem> items;
    std::vector<std::vector<QRect>> anchorRects;
    std::vector<QRect> anchorBounds;
    QSize size;
    int lines = 0;
    unsigned long long pictureGeneration = 0;
};

bool IsCjk(char32_t ch)
{
    return (ch >= 0x2E80 && ch <= 0x9FFF) || (ch >= 0xAC00 && ch <= 0xD7AF) || (ch >= 0xF900 && ch <= 0xFAFF)
           || (ch >= 0xFE30 && ch <= 0xFE4F) || (ch >= 0xFF00 && ch <= 0xFFEF) || (ch >= 0x20000 && ch <= 0x3FFFF);
}

// Punctuation that must not start a line.
bool IsClosing(char32_t ch)
{
    static const std::u32string closing = U"，。、！？；：）」』》〉】”’…,.!?;:)]}%";
    return closing.find(ch) != std::u32string::npos;
}

// Punctuation that must not end a line.
bool IsOpening(char32_t ch)
{
    static const std::u32string opening = U"（「『《〈【“‘([{";
    return opening.find(ch) != std::u32string::npos;
}

char32_t CodePointAt(QStringView text, qsizetype pos, int* length)
{
    const QChar ch = text[pos];
    if (ch.isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(ch, text[pos + 1]);
    }
    *length = 1;
    return ch.unicode();
}

// Lays out the segments of one RichText.
class Layouter
{
public:
    Layouter(const std::vector<MarkupSegment>& segments, const std::vector<SegmentStyle>& styles, Layout& out)
        : m_segments(segments)
        , m_styles(styles)
        , m_out(out)
    {}

    void Run()
    {
        for (std::size_t i = 0; i < m_segments.size(); ++i) {
            const MarkupSegment& segment = m_segments[i];
            if (segment.lineWidth >= 0) {
                m_wrap = segment.lineWidth;
            }
            if (segment.lineSpace >= 0) {
                m_space = segment.lineSpace;
            }
            if (segment.singleLine >= 0) {
                m_single = segment.singleLine;
            }
            m_emptyLineHeight = m_styles[i].font->ascent + m_styles[i].font->descent;
            if (segment.HasElement()) {
                AddElement(static_cast<int>(i));
            }
            if (!segment.text.isEmpty()) {
                AddText(static_cast<int>(i), segment.text);
            }
        }
        if (m_lineStart < m_out.items.size()) {
            FinishLine();
        }
        m_out.size = QSize(m_width, m_lineCount == 0 ? 0 : m_bottom);
        m_out.lines = m_lineCount;
    }

private:
    int Limit() const { return m_wrap > 0 ? m_wrap : -1; }

    void AddElement(int index)
    {
        const MarkupSegment& segment = m_segments[static_cast<std::size_t>(index)];
        const SegmentStyle& style = m_styles[static_cast<std::size_t>(index)];
        SkinEngine& engine = SkinEngine::Instance();
        const int pictureId = segment.picture5 != 0  ? segment.picture5
                              : segment.pictures3[0] ? segment.pictures3[0]
                                                     : segment.picture;
        const SkinPicture* picture = pictureId != 0 ? engine.Picture(pictureId) : nullptr;
        QSize natural;
        if (picture != nullptr && !picture->IsNull()) {
            natural = picture->Image().size();
            if (segment.picture5 != 0 && natural.width() >= 5) {
                natural.setWidth(natural.width() / 5);
            }
        }
        const bool button = segment.buttonText.has_value() || segment.buttonWidth >= 0 || segment.buttonHeight >= 0;
        LaidItem item;
        item.kind = button ? LaidItem::Kind::Button : LaidItem::Kind::Picture;
        item.segment = index;
        item.anchor = style.anchor;
        QSize size = natural;
        if (button) {
            item.text = segment.buttonText.value_or(QString());
            const QFontMetrics& fm = style.font->metrics;
            if (segment.buttonWidth >= 0) {
                size.setWidth(segment.buttonWidth);
            } else if (natural.isEmpty()) {
                size.setWidth(item.text.isEmpty() ? 0 : fm.horizontalAdvance(item.text) + ButtonTextPadding);
            }
            if (segment.buttonHeight >= 0) {
                size.setHeight(segment.buttonHeight);
            } else if (natural.isEmpty()) {
                size.setHeight(item.text.isEmpty() ? 0 : style.font->height + 4);
            }
        }
        if (size.width() <= 0 && size.height() <= 0) {
            return; // nothing to show (a missing picture)
        }
        if (m_lineFull) {
            return;
        }
        const int limit = Limit();
        if (limit > 0 && m_x > 0 && m_x + size.width() > limit) {
            if (m_single > 0) {
                m_lineFull = true;
                return;
            }
            NewLine();
        }
        item.rect = QRect(QPoint(m_x, 0), size);
        item.line = m_lineCount;
        m_out.items.push_back(std::move(item));
        m_x += size.width();
    }

    void AddText(int index, const QString& text)
    {
        const SegmentStyle& style = m_styles[static_cast<std::size_t>(index)];
        qsizetype start = 0;
        while (start <= text.size()) {
            qsizetype end = text.indexOf(u'\n', start);
            const bool last = end < 0;
            if (last) {
                end = text.size();
            }
            QString piece = text.mid(start, end - start);
            piece.remove(u'\r');
            if (m_single > 0) {
                // One line only: a line break counts as a space.
                if (!last) {
                    piece += u' ';
                }
                PlaceSingle(index, style, piece);
            } else {
                PlaceWrapped(index, style, piece);
                if (!last) {
                    NewLine();
                }
            }
            if (last) {
                break;
            }
            start = end + 1;
        }
    }

    void PushText(int index, const SegmentStyle& style, const QString& run, int width)
    {
        if (run.isEmpty()) {
            return;
        }
        LaidItem item;
        item.kind = LaidItem::Kind::Text;
        item.segment = index;
        item.anchor = style.anchor;
        item.text = run;
        item.rect = QRect(m_x, 0, width, style.font->ascent + style.font->descent);
        item.line = m_lineCount;
        m_out.items.push_back(std::move(item));
        m_x += width;
    }

    void PlaceSingle(int index, const SegmentStyle& style, const QString& text)
    {
        if (m_lineFull || text.isEmpty()) {
            return;
        }
        const QFontMetrics& fm = style.font->metrics;
        const int width = fm.horizontalAdvance(text);
        const int limit = Limit();
        if (limit <= 0 || m_x + width <= limit) {
            PushText(index, style, text, width);
            return;
        }
        const int available = limit - m_x;
        m_lineFull = true;
        const int ellipsisWidth = m_single == 2 ? fm.horizontalAdvance(Ellipsis) : 0;
        qsizetype fit = 0;
        int used = 0;
        while (fit < text.size()) {
            int length = 1;
            CodePointAt(text, fit, &length);
            const int advance = fm.horizontalAdvance(text.mid(fit, length));
            if (used + advance + ellipsisWidth > available) {
                break;
            }
            used += advance;
            fit += length;
        }
        QString run = text.left(fit);
        if (m_single == 2) {
            QString dots = Ellipsis;
            while (!dots.isEmpty() && fm.horizontalAdvance(run + dots) > available) {
                dots.chop(1);
            }
            run += dots;
        }
        PushText(index, style, run, fm.horizontalAdvance(run));
    }

    void PlaceWrapped(int index, const SegmentStyle& style, const QString& text)
    {
        const QFontMetrics& fm = style.font->metrics;
        const int limit = Limit();
        qsizetype pos = 0;
        const qsizetype size = text.size();
        while (pos < size) {
            const QStringView rest = QStringView(text).mid(pos);
            const int restWidth = fm.horizontalAdvance(rest.toString());
            if (limit <= 0 || m_x + restWidth <= limit) {
                PushText(index, style, rest.toString(), restWidth);
                return;
            }
            const int available = limit - m_x;
            int used = 0;
            qsizetype i = pos;
            qsizetype lastBreak = -1;
            int widthAtBreak = 0;
            char32_t previous = 0;
            while (i < size) {
                int length = 1;
                const char32_t ch = CodePointAt(text, i, &length);
                if (i > pos && BreakBetween(previous, ch)) {
                    lastBreak = i;
                    widthAtBreak = used;
                }
                const int advance = fm.horizontalAdvance(text.mid(i, length));
                if (used + advance > available) {
                    break;
                }
                used += advance;
                i += length;
                previous = ch;
            }
            qsizetype cut = i;
            int cutWidth = used;
            if (lastBreak > pos) {
                cut = lastBreak;
                cutWidth = widthAtBreak;
            } else if (m_x > 0) {
                // Nothing breaks well on what is left of this line: continue on a fresh one.
                NewLine();
                continue;
            }
            if (cut == pos) {
                // Not even one character fits on an empty line: place it anyway.
                int length = 1;
                CodePointAt(text, pos, &length);
                cut = pos + length;
                cutWidth = fm.horizontalAdvance(text.mid(pos, length));
            }
            QString run = text.mid(pos, cut - pos);
            // Spaces at the end of a wrapped line take no room.
            while (run.endsWith(u' ')) {
                run.chop(1);
                cutWidth = fm.horizontalAdvance(run);
            }
            PushText(index, style, run, cutWidth);
            NewLine();
            pos = cut;
            while (pos < size && text[pos] == u' ') {
                ++pos;
            }
        }
    }

    static bool BreakBetween(char32_t before, char32_t after)
    {
        if (after == U' ') {
            return false; // break after the spaces, not before them
        }
        if (before == U' ') {
            return true;
        }
        if (IsClosing(after) || IsOpening(before)) {
            return false;
        }
        // Addresses and paths break after their separators, not inside a name; a run of the same
        // separator ("...", "//") stays together.
        if ((before == U'@' || before == U'.' || before == U'/') && after != before) {
            return true;
        }
        return IsCjk(before) || IsCjk(after) || before == U'-';
    }

    void NewLine()
    {
        FinishLine();
        m_lineFull = false;
    }

    void FinishLine()
    {
        int maxAscent = 0;
        int maxDescent = 0;
        int maxElement = 0;
        for (std::size_t i = m_lineStart; i < m_out.items.size(); ++i) {
            const LaidItem& item = m_out.items[i];
            if (item.kind == LaidItem::Kind::Text) {
                const FontEntry& font = *m_styles[static_cast<std::size_t>(item.segment)].font;
                maxAscent = std::max(maxAscent, font.ascent);
                maxDescent = std::max(maxDescent, font.descent);
            } else {
                maxElement = std::max(maxElement, item.rect.height());
            }
        }
        const bool empty = m_lineStart == m_out.items.size();
        const int textHeight = maxAscent + maxDescent;
        const int height = empty ? m_emptyLineHeight : std::max(textHeight, maxElement);
        const int top = m_lineCount == 0 ? 0 : m_bottom + m_space;
        const int baseline = top + (height - textHeight) / 2 + maxAscent;
        for (std::size_t i = m_lineStart; i < m_out.items.size(); ++i) {
            LaidItem& item = m_out.items[i];
            if (item.kind == LaidItem::Kind::Text) {
                const FontEntry& font = *m_styles[static_cast<std::size_t>(item.segment)].font;
                item.baseline = baseline;
                item.rect.moveTop(baseline - font.ascent);
            } else {
                item.rect.moveTop(top + (height - item.rect.height()) / 2);
            }
        }
        m_width = std::max(m_width, m_x);
        m_bottom = top + height;
        ++m_lineCount;
        m_lineStart = m_out.items.size();
        m_x = 0;
    }

    const std::vector<MarkupSegment>& m_segments;
    const std::vector<SegmentStyle>& m_styles;
    Layout& m_out;
    int m_x = 0;
    int m_width = 0;
    int m_bottom = 0;
    int m_lineCount = 0;
    std::size_t m_lineStart = 0;
    int m_wrap = 0;
    int m_space = 0;
    int m_single = 0;
    bool m_lineFull = false;
    int m_emptyLineHeight = 0;
};

// Draws source of image into target; when the sizes differ the corners keep their size and the
// edges and middle stretch, so rounded buttons stay crisp at any width.
void DrawStretched(QPainter& painter, const QImage& image, const QRect& source, const QRect& target)
{
    if (source.size() == target.size()) {
        painter.drawImage(target.topLeft(), image, source);
        return;
    }
    const int cx = std::min({MaxCorner, source.width() / 3, target.width() / 2});
    const int cy = std::min({MaxCorner, source.height() / 3, target.height() / 2});
    const int sx[4] = {source.left(), source.left() + cx, source.right() + 1 - cx, source.right() + 1};
    const int sy[4] = {source.top(), source.top() + cy, source.bottom() + 1 - cy, source.bottom() + 1};
    const int tx[4] = {target.left(), target.left() + cx, target.right() + 1 - cx, target.right() + 1};
    const int ty[4] = {target.top(), target.top() + cy, target.bottom() + 1 - cy, target.bottom() + 1};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRect from(QPoint(sx[col], sy[row]), QPoint(sx[col + 1] - 1, sy[row + 1] - 1));
            const QRect to(QPoint(tx[col], ty[row]), QPoint(tx[col + 1] - 1, ty[row + 1] - 1));
            if (from.isEmpty() || to.isEmpty()) {
                continue;
            }
            painter.drawImage(to, image, from);
        }
    }
}

} // namespace

struct RichText::Impl
{
    QString content;
    std::vector<MarkupSegment> segments;
    std::vector<SegmentStyle> styles;
    int anchorCount = 0;
    mutable std::optional<Layout> layout;

    bool visible = true;
    int state = StateNormal;
    int boundValue = 0;
    ClickHandler handler;
    int hover = -1;
    int pressed = -1;

    QPointer<QWidget> window;
    WindowHook* hook = nullptr;
    QPoint drawPos;
    unsigned long long drawSequence = 0;
    bool drawn = false;

    ScrollPanel* panel = nullptr;
    QPoint panelPos;

    const Layout& EnsureLayout() const
    {
        const unsigned long long generation = SkinPicture::Generation();
        if (!layout || layout->pictureGeneration != generation) {
            layout.emplace();
            layout->pictureGeneration = generation;
            Layouter(segments, styles, *layout).Run();
            layout->anchorRects.assign(static_cast<std::size_t>(anchorCount), {});
            layout->anchorBounds.assign(static_cast<std::size_t>(anchorCount), QRect());
            for (const LaidItem& item : layout->items) {
                if (item.anchor >= 0 && item.anchor < anchorCount) {
                    const auto a = static_cast<std::size_t>(item.anchor);
                    layout->anchorRects[a].push_back(item.rect);
                    layout->anchorBounds[a] = layout->anchorBounds[a].united(item.rect);
                }
            }
        }
        return *layout;
    }

    Look LookOf(int anchor) const
    {
        if (state == StateDisabled) {
            return Look::Disabled;
        }
        if (anchor >= 0 && pressed == anchor && hover == anchor) {
            return Look::Pressed;
        }
        if (state == StateSelected) {
            return Look::Selected;
        }
        if (state == StatePressed) {
            return Look::Pressed;
        }
        if (anchor >= 0 && hover == anchor && (pressed < 0 || pressed == anchor)) {
            return Look::Hover;
        }
        return Look::Normal;
    }

    QRect RawRect() const
    {
        if (!drawn) {
            return {};
        }
        return QRect(drawPos, EnsureLayout().size);
    }

    void Resolve()
    {
        styles.clear();
        styles.reserve(segments.size());
        anchorCount = 0;
        EngineCore& engine = Core();
        QString globalFace = QGuiApplication::font().family();
        int globalHeight = DefaultFontHeight;
        bool globalBold = false;
        std::uint32_t globalColour = DefaultColour;
        for (const MarkupSegment& segment : segments) {
            const QString face = segment.fontFace.value_or(globalFace);
            const int height = segment.fontHeight.value_or(globalHeight);
            const bool bold = segment.fontBold.value_or(globalBold);
            const std::uint32_t colour = segment.colour.value_or(globalColour);
            if (segment.global) {
                globalFace = face;
                globalHeight = height;
                globalBold = bold;
                globalColour = colour;
            }
            SegmentStyle style;
            style.font = engine.Font(face, height, bold);
            style.colour = ColourFromRef(colour);
            style.hoverColoured = segment.linkColour == 1 || segment.hoverColour.has_value();
            style.hoverColour = ColourFromRef(segment.hoverColour.value_or(DefaultHoverColour));
            style.linkLine = segment.linkLine < 0 ? 0 : segment.linkLine;
            style.anchor = segment.anchor ? anchorCount++ : -1;
            styles.push_back(std::move(style));
        }
    }

    void Paint(QPainter& painter, QPoint origin) const
    {
        const Layout& laid = EnsureLayout();
        const SkinEngine& engine = SkinEngine::Instance();
        for (const LaidItem& item : laid.items) {
            const MarkupSegment& segment = segments[static_cast<std::size_t>(item.segment)];
            const SegmentStyle& style = styles[static_cast<std::size_t>(item.segment)];
            const Look look = LookOf(item.anchor);
            const bool active = item.anchor >= 0 && (look == Look::Hover || look == Look::Pressed);
            QColor colour = style.hoverColoured && active ? style.hoverColour : style.colour;
            if (look == Look::Disabled) {
                colour.setAlpha(128);
            }
            const QRect rect = item.rect.translated(origin);
            if (item.kind == LaidItem::Kind::Text) {
                painter.setFont(style.font->font);
                painter.setPen(colour);
                painter.drawText(QPoint(rect.left(), origin.y() + item.baseline), item.text);
                if (style.linkLine == 1 || (style.linkLine == 2 && active)) {
                    const int y = origin.y() + item.baseline + std::max(1, style.font->underlinePos);
                    painter.fillRect(QRect(rect.left(), y, rect.width(), style.font->lineWidth), colour);
                }
                continue;
            }
            PaintElement(painter, engine, segment, look, rect);
            if (item.kind == LaidItem::Kind::Button && !item.text.isEmpty()) {
                painter.setFont(style.font->font);
                painter.setPen(colour);
                painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, item.text);
            }
        }
    }

    static void PaintElement(QPainter& painter,
                             const SkinEngine& engine,
                             const MarkupSegment& segment,
                             Look look,
                             const QRect& rect)
    {
        const SkinPicture* picture = nullptr;
        QRect source;
        if (segment.picture5 != 0) {
            picture = engine.Picture(segment.picture5);
            if (picture == nullptr || picture->IsNull()) {
                return;
            }
            const QImage& image = picture->Image();
            if (image.width() >= 5) {
                const int frameWidth = image.width() / 5;
                source = QRect(frameWidth * static_cast<int>(look), 0, frameWidth, image.height());
            } else {
                source = image.rect();
            }
        } else if (segment.pictures3[0] != 0) {
            int index = 0;
            if (look == Look::Hover) {
                index = 1;
            } else if (look == Look::Pressed || look == Look::Selected) {
                index = 2;
            }
            picture = engine.Picture(segment.pictures3[static_cast<std::size_t>(index)]);
            if (picture == nullptr || picture->IsNull()) {
                picture = engine.Picture(segment.pictures3[0]);
            }
            if (picture == nullptr || picture->IsNull()) {
                return;
            }
            source = picture->Image().rect();
        } else if (segment.picture != 0) {
            picture = engine.Picture(segment.picture);
            if (picture == nullptr || picture->IsNull()) {
                return;
            }
            source = picture->Image().rect();
        } else {
            return;
        }
        DrawStretched(painter, picture->Image(), source, rect);
    }
};

RichText::RichText()
    : m_impl(std::make_unique<Impl>())
{}

RichText::~RichText()
{
    if (!EngineAlive()) {
        return;
    }
    if (m_impl->hook != nullptr) {
        m_impl->hook->RemoveDrawn(this);
    }
    if (m_impl->panel != nullptr) {
        m_impl->panel->Forget(this);
    }
    Core().Forget(this);
}

ScrollItem RichText::PlaceAt(int x, int y)
{
    return ScrollItem{this, QPoint(x, y)};
}

void RichText::BindClick(int value, ClickHandler handler)
{
    m_impl->boundValue = value;
    m_impl->handler = std::move(handler);
}

void RichText::Format(const QString& content)
{
    const QRect previous = m_impl->RawRect();
    m_impl->content = content;
    m_impl->segments = ParseMarkup(content);
    m_impl->Resolve();
    m_impl->layout.reset();
    if (m_impl->hover >= m_impl->anchorCount) {
        m_impl->hover = -1;
    }
    if (m_impl->pressed >= m_impl->anchorCount) {
        m_impl->pressed = -1;
    }
    ScheduleRepaint(previous);
}

void RichText::FormatPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    QString content = QString::vasprintf(format, args);
    va_end(args);
    Format(content);
}

void RichText::Draw(QPainter& painter, int x, int y, QWidget* window)
{
    if (!m_impl->visible) {
        return;
    }
    m_impl->drawPos = QPoint(x, y);
    if (window != nullptr) {
        EngineCore& core = Core();
        WindowHook* hook = core.Hook(window, true);
        if (m_impl->hook != hook) {
            if (m_impl->hook != nullptr) {
                m_impl->hook->RemoveDrawn(this);
            }
            hook->AddDrawn(this);
            m_impl->hook = hook;
        }
        m_impl->window = window;
        m_impl->drawSequence = ++core.sequence;
        m_impl->drawn = true;
    }
    m_impl->Paint(painter, QPoint(x, y));
}

void RichText::Show(bool visible, bool redraw)
{
    if (m_impl->visible == visible) {
        return;
    }
    m_impl->visible = visible;
    if (!visible) {
        m_impl->hover = -1;
        m_impl->pressed = -1;
    }
    if (redraw) {
        ScheduleRepaint(m_impl->RawRect());
    }
}

void RichText::SetState(int state)
{
    if (state != StatePressed && state != StateSelected && state != StateDisabled) {
        state = StateNormal;
    }
    if (m_impl->state == state) {
        return;
    }
    m_impl->state = state;
    ScheduleRepaint(m_impl->RawRect());
}

const QString& RichText::Content() const
{
    return m_impl->content;
}

bool RichText::IsVisible() const
{
    return m_impl->visible;
}

int RichText::State() const
{
    return m_impl->state;
}

int RichText::BoundValue() const
{
    return m_impl->boundValue;
}

bool RichText::HasClickHandler() const
{
    return static_cast<bool>(m_impl->handler);
}

QSize RichText::Size() const
{
    return m_impl->EnsureLayout().size;
}

int RichText::AnchorCount() const
{
    return m_impl->anchorCount;
}

int RichText::LineCount() const
{
    return m_impl->EnsureLayout().lines;
}

QString RichText::LaidOutText() const
{
    const Layout& laid = m_impl->EnsureLayout();
    QString result;
    int line = 0;
    for (const LaidItem& item : laid.items) {
        if (item.kind == LaidItem::Kind::Picture) {
            continue;
        }
        while (line < item.line) {
            result += u'\n';
            ++line;
        }
        result += item.text;
    }
    return result;
}

QString RichText::AnchorTooltip(int anchor) const
{
    for (std::size_t i = 0; i < m_impl->styles.size(); ++i) {
        if (m_impl->styles[i].anchor == anchor) {
            return m_impl->segments[i].tooltip;
        }
    }
    return {};
}

RichText::Look RichText::AnchorLook(int anchor) const
{
    return m_impl->LookOf(anchor);
}

QRect RichText::AnchorBounds(int anchor) const
{
    const Layout& laid = m_impl->EnsureLayout();
    if (anchor < 0 || anchor >= static_cast<int>(laid.anchorBounds.size())) {
        return {};
    }
    return laid.anchorBounds[static_cast<std::size_t>(anchor)];
}

QRect RichText::LastRect() const
{
    if (!m_impl->visible || m_impl->window.isNull()) {
        return {};
    }
    return m_impl->RawRect();
}

QRect RichText::LastAnchorRect(int anchor) const
{
    if (!m_impl->visible || m_impl->window.isNull() || !m_impl->drawn) {
        return {};
    }
    if (anchor < 0) {
        return m_impl->RawRect();
    }
    const QRect bounds = AnchorBounds(anchor);
    return bounds.isEmpty() ? QRect() : bounds.translated(m_impl->drawPos);
}

QWidget* RichText::LastWindow() const
{
    return m_impl->window.data();
}

ScrollPanel* RichText::Panel() const
{
    return m_impl->panel;
}

QPoint RichText::PanelPos() const
{
    return m_impl->panelPos;
}

void RichText::ScheduleRepaint(const QRect& previous)
{
    QWidget* window = m_impl->window.data();
    if (window != nullptr && m_impl->drawn) {
        const QRect now = m_impl->RawRect();
        const QRect area = previous.united(now);
        if (!area.isEmpty()) {
            window->update(area);
        }
        return;
    }
    // Never drawn yet but sitting on a panel: let the canvas paint it.
    if (m_impl->panel != nullptr) {
        if (QWidget* canvas = m_impl->panel->Canvas()) {
            canvas->update(QRect(m_impl->panelPos, Size()));
        }
    }
}

int RichText::AnchorAt(QPoint windowPos) const
{
    if (!IsLive()) {
        return -1;
    }
    const Layout& laid = m_impl->EnsureLayout();
    const QPoint local = windowPos - m_impl->drawPos;
    for (std::size_t a = 0; a < laid.anchorRects.size(); ++a) {
        if (!laid.anchorBounds[a].contains(local)) {
            continue;
        }
        for (const QRect& rect : laid.anchorRects[a]) {
            if (rect.contains(local)) {
                return static_cast<int>(a);
            }
        }
    }
    return -1;
}

bool RichText::IsLive() const
{
    if (!m_impl->visible || !m_impl->drawn || m_impl->window.isNull() || m_impl->state == StateDisabled) {
        return false;
    }
    // Drawn before the last paint that covered its whole window, and not again since: gone.
    return m_impl->hook == nullptr || m_impl->drawSequence >= m_impl->hook->FullPaintSequence();
}

void RichText::SetHover(int anchor)
{
    if (m_impl->hover == anchor) {
        return;
    }
    m_impl->hover = anchor;
    ScheduleRepaint(m_impl->RawRect());
}

void RichText::SetPressed(int anchor)
{
    if (m_impl->pressed == anchor) {
        return;
    }
    m_impl->pressed = anchor;
    ScheduleRepaint(m_impl->RawRect());
}

void RichText::ForgetWindow()
{
    m_impl->hook = nullptr;
    m_impl->window = nullptr;
    m_impl->drawn = false;
    m_impl->hover = -1;
    m_impl->pressed = -1;
}

} // namespace skin

namespace skin {

void RichText::SetPanel(ScrollPanel* panel, QPoint pos)
{
    ScrollPanel* old = m_impl->panel;
    if (old != nullptr && old->Canvas() != nullptr && m_impl->window == old->Canvas()) {
        // Taken off the canvas it was drawn on: it shows there no more.
        if (m_impl->hook != nullptr) {
            m_impl->hook->RemoveDrawn(this);
        }
        ForgetWindow();
        Core().Forget(this);
    }
    m_impl->panel = panel;
    m_impl->panelPos = pos;
}

unsigned long long RichText::DrawSequence() const
{
    return m_impl->drawSequence;
}

const RichText::ClickHandler& RichText::Handler() const
{
    return m_impl->handler;
}

} // namespace skin
