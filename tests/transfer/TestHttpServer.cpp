#include "TestHttpServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {
namespace {

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

std::string HeaderOf(const std::string& head, const std::string& name)
{
    std::size_t pos = 0;
    while (pos < head.size()) {
        std::size_t eol = head.find("\r\n", pos);
        if (eol == std::string::npos) {
            eol = head.size();
        }
        const std::string line = head.substr(pos, eol - pos);
        pos = eol + 2;
        if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0
            && line[name.size()] == ':') {
            std::string value = line.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(' '));
            return value;
        }
    }
    return {};
}

std::string ReasonOf(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 416:
        return "Range Not Satisfiable";
    default:
        return "Status";
    }
}

} // namespace

HttpReply ServeFile(const HttpRequest& request, const ServedFile& file)
{
    HttpReply reply;
    const auto size = static_cast<std::int64_t>(file.content.size());
    reply.headers.push_back("Last-Modified: " + file.lastModified);
    reply.headers.push_back("Accept-Ranges: bytes");
    if (request.method == "HEAD") {
        if (!file.omitLength) {
            reply.headers.push_back("Content-Length: " + std::to_string(file.claimedLength.value_or(size)));
        }
        return reply;
    }
    std::int64_t from = 0;
    std::int64_t to = size - 1;
    bool ranged = false;
    if (!request.range.empty() && !file.ignoreRange) {
        const std::size_t dash = request.range.find('-');
        from = std::stoll(request.range.substr(0, dash));
        const std::string end = request.range.substr(dash + 1);
        if (!end.empty()) {
            to = std::min<std::int64_t>(std::stoll(end), size - 1);
        }
        ranged = true;
        if (from >= size) {
            reply.status = 416;
            reply.headers.push_back("Content-Range: bytes */" + std::to_string(size));
            reply.headers.push_back("Content-Length: 0");
            return reply;
        }
    }
    reply.body = file.content.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from + 1));
    if (ranged) {
        reply.status = 206;
        reply.headers.push_back("Content-Range: bytes " + std::to_string(file.rangeStartLie.value_or(from)) + "-"
                                + std::to_string(to) + "/" + std::to_string(size));
    }
    if (!file.omitLength) {
        reply.headers.push_back("Content-Length: " + std::to_string(reply.body.size()));
    }
    reply.kind = file.getKind;
    reply.cut = file.cut;
    reply.pieceBytes = file.pieceBytes;
    reply.pieceDelayMs = file.pieceDelayMs;
    return reply;
}

TestHttpServer::TestHttpServer(Handler handler)
    : m_handler(std::move(handler))
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listen, 16);
    socklen_t length = sizeof address;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (int fd : m_open) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    m_stopped.notify_all();
    ::shutdown(m_listen, SHUT_RDWR);
    m_acceptor.join();
    ::close(m_listen);
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& thread : connections) {
        thread.join();
    }
}

std::string TestHttpServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

void TestHttpServer::SetHandler(Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

std::vector<HttpRequest> TestHttpServer::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::vector<HttpRequest> TestHttpServer::Requests(const std::string& method) const
{
    std::vector<HttpRequest> out;
    for (const HttpRequest& request : Requests()) {
        if (request.method == method) {
            out.push_back(request);
        }
    }
    return out;
}

void TestHttpServer::AcceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(m_mutex);
        if (fd < 0) {
            if (m_stopping || (errno != EINTR && errno != ECONNABORTED)) {
                return;
            }
            continue;
        }
        if (m_stopping) {
            ::close(fd);
            return;
        }
        m_open.insert(fd);
        m_connections.emplace_back([this, fd] { Serve(fd); });
    }
}

bool TestHttpServer::HoldUntilStopped(int fd)
{
    (void)fd;
    std::unique_lock lock(m_mutex);
    m_stopped.wait(lock, [this] { return m_stopping; });
    return false;
}

void TestHttpServer::Serve(int fd)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    HttpReply reply;
    bool complete = head.find("\r\n\r\n") != std::string::npos;
    if (complete) {
        HttpRequest request;
        const std::size_t space = head.find(' ');
        const std::size_t second = head.find(' ', space + 1);
        request.method = head.substr(0, space);
        request.path = head.substr(space + 1, second - space - 1);
        request.range = HeaderOf(head, "Range");
        if (request.range.rfind("bytes=", 0) == 0) {
            request.range.erase(0, 6);
        }
        request.referrer = HeaderOf(head, "Referer");
        Handler handler;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
            handler = m_handler;
        }
        reply = handler(request);
        if (request.method == "HEAD") {
            reply.body.clear();
        }
    }

    if (complete && reply.kind == HttpReply::Kind::Silent) {
        HoldUntilStopped(fd);
    } else if (complete && reply.kind != HttpReply::Kind::HangUpWithoutAnswer) {
        std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + ReasonOf(reply.status) + "\r\n";
        for (const std::string& line : reply.headers) {
            text += line + "\r\n";
        }
        text += "Connection: close\r\n\r\n";
        bool ok = SendAll(fd, text.data(), text.size());
        std::size_t total = reply.body.size();
        if (reply.kind == HttpReply::Kind::DropMidBody || reply.kind == HttpReply::Kind::StallMidBody) {
            total = std::min(total, reply.cut);
        }
        const std::size_t piece = reply.pieceBytes > 0 ? reply.pieceBytes : std::max<std::size_t>(total, 1);
        for (std::size_t sent = 0; ok && sent < total; sent += piece) {
            ok = SendAll(fd, reply.body.data() + sent, std::min(piece, total - sent));
            if (reply.pieceDelayMs > 0) {
                std::unique_lock lock(m_mutex);
                if (m_stopped.wait_for(lock, std::chrono::milliseconds(reply.pieceDelayMs), [this] {
                        return m_stopping;
                    })) {
                    ok = false;
                }
            }
        }
        if (ok && reply.kind == HttpReply::Kind::StallMidBody) {
            HoldUntilStopped(fd);
        }
    }
    std::lock_guard lock(m_mutex);
    m_open.erase(fd);
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

} // namespace testing_support
