#pragma once

// Small pieces for writing the skin's markup in the views.

#include <cstdint>
#include <string_view>

#include <QString>

#include "skin/Markup.h"
#include "views/QtText.h"

namespace views {

// A COLORREF for the markup's c= key.
inline QString Hex(std::uint32_t colour)
{
    return QString::number(colour, 16);
}

// A UTF-8 text put after a block, shown as written (slashes doubled).
inline QString MarkupText(std::string_view text)
{
    return skin::EscapeMarkupText(FromUtf8(text));
}

// A text for a quoted value such as btn_text='...': slashes doubled, quotes escaped.
inline QString QuotedValue(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == u'/') {
            result += u"//";
        } else if (ch == u'\'' || ch == u'"') {
            result += u'\\';
            result += ch;
        } else {
            result += ch;
        }
    }
    return result;
}
inline QString QuotedValue(std::string_view text)
{
    return QuotedValue(FromUtf8(text));
}

} // namespace views
