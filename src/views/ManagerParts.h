#pragma once

// Pieces shared by the download manager window, its pages and the settings window: the panel
// background cut in nine from picture 328, the shape with rounded top corners, and opening the
// program's download folder in the desktop's file manager.

#include <string>

#include <QImage>
#include <QRegion>

class QWidget;

namespace views {

class SkinTheme;
class UiTexts;

// Picture 328 cut in nine for a window of w x h: title bar, tab column, edges and the content
// colour stretched between them. Black where the picture is missing.
QImage PanelBackground(const SkinTheme& theme, int w, int h);
// A page's background: the content colour of picture 328 (its pixel at 116, 50) over w x h.
QImage PanelContent(const SkinTheme& theme, int w, int h);
// The window shape: the top corners rounded (a 9 x 9 corner ellipse), the bottom ones square.
QRegion RoundedTopShape(int w, int h);

// Opens programDir + "download" in the desktop's file manager when that folder exists; otherwise
// shows "路径不存在！" in the message box (owner: the window to show it over). False when the folder
// is missing or the desktop could not open it.
bool OpenDownloadFolder(const std::string& programDir, const SkinTheme& theme, const UiTexts& texts, QWidget* owner);

} // namespace views
