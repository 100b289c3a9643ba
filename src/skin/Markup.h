#pragma once

// The rich-text markup of the skin engine.
//
// Content is a run of segments: a slash, comma-separated keys, a slash, then literal text up to
// the next segment. A slash inside text is doubled ("Kb//s" shows "Kb/s"). Quoted values
// ('...' or "...") may hold commas and slashes. docs/modules/skin.md lists every key.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>
#include <QStringView>

namespace skin {

// One segment: the keys of its slash block and the literal text that follows it.
struct MarkupSegment
{
    bool global = false;                      // global: colour and font carry over to later segments
    bool anchor = false;                      // a: picture and text are one clickable anchor
    std::optional<std::uint32_t> colour;      // c: COLORREF (0xBBGGRR)
    std::optional<QString> fontFace;          // font_face
    std::optional<int> fontHeight;            // font_height, pixels
    std::optional<bool> fontBold;             // font_bold
    int picture = 0;                          // p: picture id, 0 = none
    std::array<int, 3> pictures3{};           // p3: normal | hover | pressed, 0 = none
    int picture5 = 0;                         // p5: five-frame button picture, 0 = none
    std::optional<QString> buttonText;        // btn_text, centred on the button
    int buttonWidth = -1;                     // btn_width, -1 = the picture's width
    int buttonHeight = -1;                    // btn_height, -1 = the picture's height
    QString tooltip;                          // linkt
    int linkLine = -1;                        // linkl: 0 never, 1 always, 2 on hover; -1 = not given
    int linkColour = -1;                      // linkc: 1 = hover colour on the anchor's text
    std::optional<std::uint32_t> hoverColour; // linkh: COLORREF
    int lineWidth = -1;                       // line_width: wrap width from here on, 0 = none
    int lineSpace = -1;                       // line_space: extra pixels between lines
    int singleLine = -1;                      // single_line: 0 wrap, 1 cut, 2 cut with "..."
    QString text;                             // the literal text after the block, unescaped

    bool HasElement() const { return picture != 0 || pictures3[0] != 0 || picture5 != 0 || buttonText.has_value(); }
};

// Parses content into segments. Never fails: unknown keys and malformed values are skipped, an
// unterminated block ends at the end of the content. Text before the first block becomes a
// segment without keys. Inside text, "\"" and "\'" stand for the quote itself.
std::vector<MarkupSegment> ParseMarkup(QStringView content);

// Doubles every slash so that the text shows as written when put after a block.
QString EscapeMarkupText(QStringView text);

// Parses a markup colour: hexadecimal with or without "0x" (or "#"); empty on anything else.
std::optional<std::uint32_t> ParseMarkupColour(QStringView value);

} // namespace skin
