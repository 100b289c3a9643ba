#include "views/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>

namespace views {
namespace {

class MessageEvent final : public QEvent
{
public:
    explicit MessageEvent(const platform::Message& message)
        : QEvent(static_cast<QEvent::Type>(MessageWindow::EventType()))
        , m_message(message)
    {}

    const platform::Message& Message() const { return m_message; }

private:
    platform::Message m_message;
};

} // namespace

int MessageWindow::EventType()
{
    static const int type = QEvent::registerEventType();
    return type;
}

MessageWindow::MessageWindow(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    // Registered last, once the widget exists; a post may arrive from another thread at once.
    m_handle = platform::RegisterWindow(this);
}

MessageWindow::~MessageWindow()
{
    // No Accept runs after this; events already queued die with the QObject.
    platform::UnregisterWindow(m_handle);
}

void MessageWindow::Accept(const platform::Message& message)
{
    // postEvent is thread-safe and only queues; the event is delivered on this object's thread.
    QCoreApplication::postEvent(this, new MessageEvent(message));
}

bool MessageWindow::event(QEvent* event)
{
    if (event->type() == EventType()) {
        OnMessage(static_cast<MessageEvent*>(event)->Message());
        return true;
    }
    return QWidget::event(event);
}

} // namespace views
