#pragma once

// Runs every modal window of the program: shows it and runs a nested event loop until the window
// ends its run with a result. Tests preload answers so that a modal run returns at once.
// GUI thread only.

#include <deque>
#include <functional>
#include <vector>

#include <QPointer>
#include <QString>

class QWidget;

namespace views {

class ModalRunner
{
public:
    static constexpr int Ok = 1;
    static constexpr int Cancel = 2;

    // What a run showed and how it ended.
    struct Record
    {
        QString title;       // the window's title
        QString description; // what the caller said the run is about (a message box's text)
        int result = 0;
        bool preloaded = false; // answered from QueueAnswer, the window never shown
    };

    static ModalRunner& Instance();

    // Shows window modally and returns the result its run ends with: the value given to Done, or
    // Cancel when the window is closed, hidden or destroyed; a QDialog's run ends when it finishes
    // (Ok when it was accepted). With a queued answer it returns that answer
    // at once, without showing the window.
    int Run(QWidget* window, const QString& description = {});
    // Ends the run of window with result. False when window is not running.
    bool Done(QWidget* window, int result);
    // Ends every run with result (each returns once the runs inside it have returned).
    void EndAll(int result);
    bool IsRunning(const QWidget* window) const;
    // The innermost window running now, or null.
    QWidget* Current() const;

    // The next modal run returns result without showing its window; answers are used in order.
    void QueueAnswer(int result);
    int QueuedAnswers() const { return static_cast<int>(m_answers.size()); }
    void ClearAnswers() { m_answers.clear(); }

    // Every run so far, oldest first.
    const std::vector<Record>& History() const { return m_history; }
    void ClearHistory() { m_history.clear(); }
    // Called with the window when a run has shown it (tests act inside the window from here).
    void SetShownObserver(std::function<void(QWidget*)> observer) { m_observer = std::move(observer); }

private:
    struct Frame;

    ModalRunner() = default;

    std::deque<int> m_answers;
    std::vector<Frame*> m_running;
    std::vector<Record> m_history;
    std::function<void(QWidget*)> m_observer;
};

} // namespace views
