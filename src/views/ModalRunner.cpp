#include "views/ModalRunner.h"

#include <algorithm>

#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QWidget>

namespace views {

struct ModalRunner::Frame
{
    QPointer<QWidget> window;
    QEventLoop loop;
    int result = Cancel;
    bool done = false;
};

namespace {

// Ends a run with Cancel when its window is closed from outside (the window manager, Alt+F4).
class CloseWatcher final : public QObject
{
public:
    explicit CloseWatcher(QWidget* window)
        : m_window(window)
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Close) {
            ModalRunner::Instance().Done(m_window, ModalRunner::Cancel);
        }
        return false;
    }

private:
    QWidget* m_window;
};

} // namespace

ModalRunner& ModalRunner::Instance()
{
    static ModalRunner runner;
    return runner;
}

int ModalRunner::Run(QWidget* window, const QString& description)
{
    Record record;
    record.description = description;
    if (window != nullptr) {
        record.title = window->windowTitle();
    }
    if (!m_answers.empty()) {
        record.result = m_answers.front();
        record.preloaded = true;
        m_answers.pop_front();
        m_history.push_back(record);
        return record.result;
    }
    if (window == nullptr) {
        record.result = Cancel;
        m_history.push_back(record);
        return Cancel;
    }

    Frame frame;
    frame.window = window;
    m_running.push_back(&frame);
    QObject::connect(window, &QObject::destroyed, &frame.loop, [&frame] {
        frame.done = true;
        frame.loop.exit(Cancel);
    });
    CloseWatcher watcher(window);
    window->setWindowModality(Qt::ApplicationModal);
    window->show();
    window->raise();
    window->activateWindow();
    if (m_observer) {
        m_observer(window);
    }
    if (!frame.done) {
        frame.loop.exec(QEventLoop::DialogExec);
    }
    m_running.erase(std::remove(m_running.begin(), m_running.end(), &frame), m_running.end());
    if (!frame.window.isNull()) {
        QObject::disconnect(frame.window, &QObject::destroyed, &frame.loop, nullptr);
        frame.window->removeEventFilter(&watcher);
        frame.window->hide();
    }
    record.result = frame.result;
    m_history.push_back(record);
    return frame.result;
}

bool ModalRunner::Done(QWidget* window, int result)
{
    for (Frame* frame : m_running) {
        if (frame->window == window && !frame->done) {
            frame->result = result;
            frame->done = true;
            frame->loop.exit(result);
            return true;
        }
    }
    return false;
}

bool ModalRunner::IsRunning(const QWidget* window) const
{
    return std::any_of(m_running.begin(), m_running.end(), [window](const Frame* frame) {
        return frame->window == window && !frame->done;
    });
}

QWidget* ModalRunner::Current() const
{
    for (auto it = m_running.rbegin(); it != m_running.rend(); ++it) {
        if (!(*it)->done) {
            return (*it)->window.data();
        }
    }
    return nullptr;
}

void ModalRunner::QueueAnswer(int result)
{
    m_answers.push_back(result);
}

} // namespace views
