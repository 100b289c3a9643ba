#include "skin/WindowSkin.h"

#include <QPainter>
#include <QWidget>

#include "skin/EngineImpl.h"
#include "skin/SkinPicture.h"

namespace skin {

WindowSkin::~WindowSkin()
{
    if (!EngineAlive() || m_window.isNull()) {
        return;
    }
    if (WindowHook* hook = Core().Hook(m_window.data(), false); hook != nullptr && hook->skin == this) {
        hook->skin = nullptr;
    }
}

bool WindowSkin::Attach(QWidget* window, int flags)
{
    if (window == nullptr) {
        return false;
    }
    if (!m_window.isNull() && m_window != window) {
        if (WindowHook* old = Core().Hook(m_window.data(), false); old != nullptr && old->skin == this) {
            old->skin = nullptr;
        }
    }
    m_window = window;
    if ((flags & Frameless) != 0 && window->isWindow()) {
        window->setWindowFlag(Qt::FramelessWindowHint, true);
    }
    Core().Hook(window, true)->skin = this;
    window->update();
    return true;
}

void WindowSkin::SetBackground(SkinPicture* picture, int mode)
{
    m_pictureId = picture != nullptr ? picture->GetId() : 0;
    m_mode = mode;
    QWidget* window = m_window.data();
    if (window == nullptr) {
        return;
    }
    if (mode == -1 && picture != nullptr && !picture->IsNull()) {
        window->resize(picture->Image().size());
    }
    window->update();
}

QWidget* WindowSkin::Window() const
{
    return m_window.data();
}

SkinPicture* WindowSkin::Background() const
{
    return m_pictureId != 0 ? SkinEngine::Instance().Picture(m_pictureId) : nullptr;
}

void WindowSkin::PaintBackground(QPainter& painter) const
{
    const SkinPicture* picture = Background();
    const QWidget* window = m_window.data();
    if (picture == nullptr || picture->IsNull() || window == nullptr) {
        return;
    }
    if (m_mode == 1) {
        painter.drawImage(window->rect(), picture->Image());
    } else {
        painter.drawImage(QPoint(0, 0), picture->Image());
    }
}

} // namespace skin
