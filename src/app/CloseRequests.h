#pragma once

// The external close request from outside the program: SIGTERM (as sent at logout or by a service
// manager) and a "close" line on the per-user local socket. Both become ExternalClose, posted to
// the target window inside the event loop. Requests that arrive before a target is set are kept
// and delivered when it is set. GUI thread only; one object per process (it owns the SIGTERM
// handler).

#include <memory>

#include <QObject>
#include <QString>

#include "platform/HandleTable.h"

class QLocalServer;
class QSocketNotifier;

namespace app {

class CloseRequests : public QObject
{
public:
    // The local socket beside the lock file: the lock's path with the extension ".sock".
    static QString SocketPathFor(const QString& lockPath);

    CloseRequests();
    ~CloseRequests() override; // puts the previous SIGTERM disposition back, removes the socket
    CloseRequests(const CloseRequests&) = delete;
    CloseRequests& operator=(const CloseRequests&) = delete;
    CloseRequests(CloseRequests&&) = delete;
    CloseRequests& operator=(CloseRequests&&) = delete;

    // Catches SIGTERM from now on. False when the self-pipe or the handler cannot be set up.
    [[nodiscard]] bool CatchTerminate();
    // Listens on socketPath (only this user may connect); a stale socket file left by a crashed
    // copy is replaced, so call it only while holding the single-instance lock. False on failure.
    [[nodiscard]] bool Listen(const QString& socketPath);

    // Where requests go (0: keep them). A request kept so far is posted at once.
    void SetTarget(platform::WindowHandle target);
    // True once a request has arrived, delivered or not.
    bool Requested() const { return m_requested; }

private:
    void Request();
    void OnSignalPipe();
    void OnConnection();

    platform::WindowHandle m_target = 0;
    bool m_requested = false;
    bool m_pending = false;
    QSocketNotifier* m_notifier = nullptr;
    QLocalServer* m_server = nullptr;
    bool m_handlerInstalled = false;
};

} // namespace app
