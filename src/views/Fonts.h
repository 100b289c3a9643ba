#pragma once

#include <QString>

namespace views {

// Maps the theme's font face "宋体" (and SimSun, 新宋体, NSimSun) to an installed CJK font, so that
// Chinese text never falls back to boxes. Call once at start-up, after the QApplication exists.
// Returns the family used; empty when no CJK font is installed (Qt's own fallback then applies).
QString InstallFontSubstitutes();

} // namespace views
