#pragma once

// Paints a picture as a window's background.

#include <QPointer>

#include "skin/SkinObject.h"

class QPainter;
class QWidget;

namespace skin {

class EngineCore;

class SkinPicture;

class WindowSkin : public SkinObject
{
public:
    // Attach flag: a top-level window loses its system frame.
    static constexpr int Frameless = 1;

    WindowSkin() = default;
    ~WindowSkin() override;

    // Takes over the background of window: the picture is painted before the window paints.
    // Call before the window is shown when Frameless is given. False for a null window.
    bool Attach(QWidget* window, int flags = Frameless);
    // mode -1: the window takes the picture's size; 0: drawn at its size; 1: stretched to the window.
    void SetBackground(SkinPicture* picture, int mode = -1);

    QWidget* Window() const;
    SkinPicture* Background() const;
    void PaintBackground(QPainter& painter) const;

private:
    friend class SkinEngine;
    friend class EngineCore;
    QPointer<QWidget> m_window;
    int m_pictureId = 0;
    int m_mode = -1;
};

} // namespace skin
