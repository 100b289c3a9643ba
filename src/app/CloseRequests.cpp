#include "app/CloseRequests.h"

#include <array>
#include <cerrno>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>

#include "platform/Messages.h"

namespace app {
namespace {

// The self-pipe: the signal handler may only write a byte; the event loop reads it.
std::array<int, 2> g_pipe = {-1, -1};
struct sigaction g_previous
{};

void OnTerminate(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// Longest line a client may send before it is dropped.
constexpr qint64 MaxLine = 256;

} // namespace

QString CloseRequests::SocketPathFor(const QString& lockPath)
{
    const QFileInfo info(lockPath);
    return info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".sock");
}

CloseRequests::CloseRequests() = default;

CloseRequests::~CloseRequests()
{
    if (m_handlerInstalled) {
        ::sigaction(SIGTERM, &g_previous, nullptr);
        delete m_notifier;
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe = {-1, -1};
    }
    if (m_server != nullptr) {
        m_server->close(); // removes the socket file
    }
}

bool CloseRequests::CatchTerminate()
{
    if (m_handlerInstalled) {
        return true;
    }
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action
    {};
    action.sa_handler = &OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &g_previous) != 0) {
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe = {-1, -1};
        return false;
    }
    m_handlerInstalled = true;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { OnSignalPipe(); });
    return true;
}

bool CloseRequests::Listen(const QString& socketPath)
{
    if (m_server == nullptr) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] { OnConnection(); });
    }
    if (m_server->isListening()) {
        return true;
    }
    QLocalServer::removeServer(socketPath);
    return m_server->listen(socketPath);
}

void CloseRequests::SetTarget(platform::WindowHandle target)
{
    m_target = target;
    if (m_target != 0 && m_pending) {
        m_pending = false;
        platform::PostMessageTo(m_target, platform::msg::ExternalClose, 0, 0);
    }
}

void CloseRequests::Request()
{
    m_requested = true;
    if (m_target == 0 || !platform::PostMessageTo(m_target, platform::msg::ExternalClose, 0, 0)) {
        m_pending = true;
    }
}

void CloseRequests::OnSignalPipe()
{
    std::array<char, 64> bytes{};
    bool any = false;
    while (::read(g_pipe[0], bytes.data(), bytes.size()) > 0) {
        any = true;
    }
    if (any) {
        Request();
    }
}

void CloseRequests::OnConnection()
{
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                const QByteArray line = client->readLine(MaxLine).trimmed();
                if (line == "close") {
                    client->write("ok\n");
                    Request();
                }
            }
            if (client->bytesAvailable() > MaxLine) {
                client->abort(); // no line end in sight: not one of ours
            }
        });
    }
}

} // namespace app
