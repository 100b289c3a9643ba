#pragma once

// The numbered page buttons below the game list and the downloaded-games page.

namespace skin {
class RichText;
}

namespace views {

class SkinTheme;
struct TextStyle;

// Formats button as the button of page (from 0), drawn selected in the style's second colour when
// it is the current page. The caller binds its click and shows it.
void FormatPageButton(skin::RichText& button, const SkinTheme& theme, const TextStyle& style, int page, bool current);

} // namespace views
