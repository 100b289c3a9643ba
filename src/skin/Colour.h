#pragma once

// Colours in markup and in the program's text styles are Windows COLORREF values:
// 0x00BBGGRR, red in the low byte. These helpers convert them at the Qt edge.

#include <cstdint>

#include <QColor>

namespace skin {

// 0x0000FF is red, 0xC59900 is RGB(0, 153, 197). Bits above the low 24 are ignored.
inline QColor ColourFromRef(std::uint32_t ref)
{
    return QColor(static_cast<int>(ref & 0xFFu),
                  static_cast<int>((ref >> 8) & 0xFFu),
                  static_cast<int>((ref >> 16) & 0xFFu));
}

// The COLORREF of an opaque colour; alpha is dropped.
inline std::uint32_t RefFromColour(const QColor& colour)
{
    return static_cast<std::uint32_t>(colour.red()) | (static_cast<std::uint32_t>(colour.green()) << 8)
           | (static_cast<std::uint32_t>(colour.blue()) << 16);
}

} // namespace skin
