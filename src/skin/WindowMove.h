#pragma once

// Moving a frameless window by dragging any point of it, and placing one on the screen.

class QMouseEvent;
class QWidget;

namespace skin {

// Starts moving window with the press that event reports. Uses the window system's move when it
// offers one; otherwise follows the mouse until the button is released.
void StartWindowMove(QWidget* window, const QMouseEvent* press);

// Moves window to the middle of its screen's work area (the primary screen's when it has none);
// a window larger than the work area keeps its top left corner inside it.
void CentreOnScreen(QWidget* window);

} // namespace skin
