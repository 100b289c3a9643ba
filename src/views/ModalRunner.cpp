#include "views/ModalRunner.h"

#include <algorithm>

#include <QDialog>
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

// Ends a run however its window is answered or put away: a close event (the window manager,
// Alt+F4), a dialog that finishes (a QMessageBox answered with a button, Enter or Escape finishes
// without a close event reaching us), or the window hidden by its own code. Nothing else could
// bring a hidden modal window back, so a run must never outlive its window being shown.
class RunWatcher final : public QObject
{
public:
    explicit RunWatcher(QWidget* window)
        : m_window(window)
    {
        window->installEventFilter(this);
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            connect(dialog, &QDialog::accepted, this, [this] { End(ModalRunner::Ok); });
            connect(dialog, &QDialog::rejected, this, [this] { End(ModalRunner::Cancel); });
            connect(dialog, &QDialog::finished, this, [this] { End(ModalRunner::Cancel); });
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_window) {
            return false;
        }
        if (event->type() == QEvent::Close) {
            End(ModalRunner::Cancel);
        } else if (event->type() == QEvent::Hide && !event->spontaneous()) {
            // Not a minimise (those are spontaneous). A dialog hides itself before it says how it
            // was answered, so wait for that first.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_window.isNull() && m_window->isHidden()) {
                        End(ModalRunner::Cancel);
                    }
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    void End(int result)
    {
        if (!m_window.isNull()) {
            ModalRunner::Instance().Done(m_window, result);
        }
    }

    QPointer<QWidget> m_window;
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
    RunWatcher watcher(window);
    // A window with an owner blocks its owner (and the owner's owners) only, as a modal dialog
    // disables its owner: the desktop's tray icon, a window of its own, must keep taking clicks.
    window->setWindowModality(window->parentWidget() != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
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

void ModalRunner::EndAll(int result)
{
    for (auto it = m_running.rbegin(); it != m_running.rend(); ++it) {
        if (!(*it)->done) {
            (*it)->result = result;
            (*it)->done = true;
            (*it)->loop.exit(result);
        }
    }
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
