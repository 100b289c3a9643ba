#pragma once

// Moving a frameless window by dragging any point of it.

class QMouseEvent;
class QWidget;

namespace skin {

// Starts moving window with the press that event reports. Uses the window system's move when it
// offers one; otherwise follows the mouse until the button is released.
void StartWindowMove(QWidget* window, const QMouseEvent* press);

} // namespace skin
