#pragma once

// A Qt window that receives the program's posted messages: it registers in the platform handle
// table when it is made and leaves it when it is destroyed, so posts to a destroyed window are
// dropped. A message posted from any thread arrives on the window's (GUI) thread, in posting
// order, as a call of OnMessage.

#include <QWidget>

#include "platform/HandleTable.h"

namespace views {

class MessageWindow
    : public QWidget
    , private platform::MessageSink
{
public:
    explicit MessageWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = {});
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    MessageWindow(MessageWindow&&) = delete;
    MessageWindow& operator=(MessageWindow&&) = delete;

    // The handle others post to. Valid from construction until destruction.
    platform::WindowHandle Handle() const { return m_handle; }
    // Posts to this window (any thread).
    bool Post(platform::MessageId id, platform::Param wParam, platform::Param lParam) const
    {
        return platform::PostMessageTo(m_handle, id, wParam, lParam);
    }

    // The QEvent type that carries a posted message.
    static int EventType();

protected:
    // Called on the GUI thread for every message posted to Handle().
    virtual void OnMessage(const platform::Message& message) = 0;
    bool event(QEvent* event) override;

private:
    void Accept(const platform::Message& message) override;

    platform::WindowHandle m_handle = 0;
};

} // namespace views
