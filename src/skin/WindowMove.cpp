#include "skin/WindowMove.h"

#include <algorithm>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace skin {
namespace {

// Follows the mouse until the button that started the move is released.
class MoveTracker final : public QObject
{
public:
    MoveTracker(QWidget* window, QPoint pressGlobal, Qt::MouseButton button)
        : m_window(window)
        , m_pressGlobal(pressGlobal)
        , m_windowStart(window->pos())
        , m_button(button)
    {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        Q_UNUSED(watched);
        if (m_window.isNull()) {
            deleteLater();
            return false;
        }
        if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if ((mouse->buttons() & m_button) == 0) {
                Finish();
                return false;
            }
            m_window->move(m_windowStart + (mouse->globalPosition().toPoint() - m_pressGlobal));
            return true;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == m_button) {
                // The moves have placed the window already.
                Finish();
                return true;
            }
        }
        return false;
    }

private:
    void Finish()
    {
        qApp->removeEventFilter(this);
        deleteLater();
    }

    QPointer<QWidget> m_window;
    QPoint m_pressGlobal;
    QPoint m_windowStart;
    Qt::MouseButton m_button;
};

} // namespace

void StartWindowMove(QWidget* window, const QMouseEvent* press)
{
    if (window == nullptr || press == nullptr) {
        return;
    }
    QWidget* top = window->window();
    if (QWindow* handle = top->windowHandle(); handle != nullptr && handle->startSystemMove()) {
        return;
    }
    new MoveTracker(top, press->globalPosition().toPoint(), press->button());
}

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + std::max(0, (area.width() - size.width()) / 2),
                 area.top() + std::max(0, (area.height() - size.height()) / 2));
}

} // namespace skin
